#include "engine/RestoreRun.h"

#include "engine/LogFile.h"
#include "engine/PipeClient.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/ServiceInThisProcess.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace
{
std::string Field(const std::string& request, size_t offset, size_t width)
{
    return ReadText(request, offset, width);
}

std::string StoredPathOf(const std::string& request)
{
    return Field(request, offsetof(IpcQueueRecord, text3), 4096);
}

class RestoreRunTest : public ::testing::Test
{
protected:
    // The test's own servers stand in for the service.
    CServiceInThisProcess m_serviceHere;

    RestoreRunTest() : m_folder("restore"), m_log(m_folder.Path())
    {
        m_pipe = UniquePipeName("restore");
        SetIpcPipeName(IpcPipe::Backup, m_pipe.c_str());
        m_saved = GetPipePolicy(PipeSender::RestoreFile);
        PipePolicy quick = m_saved;
        quick.attempts = 1;
        quick.waitMs = 200;
        quick.exchangeMsPerMiB = 0;
        SetPipePolicy(PipeSender::RestoreFile, quick);

        m_window = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                     nullptr);
        m_context.window = m_window;
        m_context.log = &m_log;
        m_context.profilePath = m_folder / "profile.prb";
        CProfileDB profile(m_context.profilePath);
        profile.CreateIfMissing();
        profile.Save(CSimpleArray<ProfileCheck>(), "D:\\Backup\\", true, true, 0);
        profile.SavePassword("pa'ss");

        m_stored = m_folder / "Files";
        MakeFolder(m_stored);
        MakeFolder(m_stored + "\\sub");
        MakeFolder(m_stored + "\\sub\\deep");
        MakeFolder(m_stored + "\\empty");
        WriteTextFile(m_stored + "\\a.txt", "a");
        WriteTextFile(m_stored + "\\sub\\b.txt", "b");
        WriteTextFile(m_stored + "\\sub\\deep\\c.txt", "c");
    }

    ~RestoreRunTest() override
    {
        ::DestroyWindow(m_window);
        SetPipePolicy(PipeSender::RestoreFile, m_saved);
        SetIpcPipeName(IpcPipe::Backup, kBackupPipeName);
    }

    // Runs the restore on its worker to its end; the outcome the end
    // message carried, -1 when none came.
    int Run(const char* what, const char* where)
    {
        m_context.whatPath = what;
        m_context.wherePath = where;
        EXPECT_EQ(m_context.StartRestore(), RunStart::Started);
        EXPECT_EQ(::WaitForSingleObject(m_context.restoreWorker.GetThreadHandle(), 60000),
                  WAIT_OBJECT_0);
        m_context.restoreWorker.StopIfRunning();
        return Finished();
    }

    int Finished()
    {
        MSG message;
        if (!::PeekMessageA(&message, m_window, WM_RESTORE_FINISHED, WM_RESTORE_FINISHED,
                            PM_REMOVE))
            return -1;
        return static_cast<int>(message.wParam);
    }

    CString LogText() { return ReadTextFile(m_log.GetCurrentFileName()); }

    TempFolder m_folder;
    CLogFile m_log;
    std::string m_pipe;
    PipePolicy m_saved;
    HWND m_window;
    CRunContext m_context;
    CString m_stored;
};

TEST_F(RestoreRunTest, FolderGoesFirstThenEveryEntryLevelByLevel)
{
    CFakePipeServer server(m_pipe.c_str(), sizeof(IpcQueueRecord));
    server.Answer(StatusReply(0, sizeof(IpcQueueRecord)));
    // The target without its backslash: one is added, so nothing lands in a
    // sibling folder of the chosen one.
    ASSERT_EQ(Run(m_stored + "\\", "E:\\Restore"), kBackupCompleted);

    const std::vector<std::string> requests = server.Requests();
    const std::string s(m_stored);
    std::vector<std::string> paths;
    for (const std::string& request : requests)
    {
        EXPECT_EQ(ReadU32(request, offsetof(IpcQueueRecord, command)), BACKUP_RESTORE);
        EXPECT_EQ(Field(request, offsetof(IpcQueueRecord, text1), 1024), "E:\\Restore\\");
        EXPECT_EQ(Field(request, offsetof(IpcQueueRecord, text2), 1024), "pa'ss");
        EXPECT_EQ(ReadU32(request, offsetof(IpcQueueRecord, compress)), 1u);
        EXPECT_EQ(ReadU32(request, offsetof(IpcQueueRecord, encrypt)), 1u);
        paths.push_back(StoredPathOf(request));
    }
    ASSERT_EQ(paths.size(), 7u);
    // The folder itself, then each depth whole before the next; folders go
    // without their backslash.
    EXPECT_EQ(paths[0], s);
    EXPECT_EQ(std::set<std::string>(paths.begin() + 1, paths.begin() + 4),
              (std::set<std::string>{s + "\\a.txt", s + "\\empty", s + "\\sub"}));
    EXPECT_EQ(std::set<std::string>(paths.begin() + 4, paths.begin() + 6),
              (std::set<std::string>{s + "\\sub\\b.txt", s + "\\sub\\deep"}));
    EXPECT_EQ(paths[6], s + "\\sub\\deep\\c.txt");

    EXPECT_EQ(m_context.engineBusy.load(), 0);
    EXPECT_STREQ(m_context.GetDisplay().currentFile, kNotActiveText);
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 0);
    EXPECT_TRUE(LogText().IsEmpty());
}

TEST_F(RestoreRunTest, OneStoredFileIsOneRequestAndEveryFailureIsLogged)
{
    const CString file = m_stored + "\\a.txt";
    {
        CFakePipeServer server(m_pipe.c_str(), sizeof(IpcQueueRecord));
        server.Answer(StatusReply(1, sizeof(IpcQueueRecord)));
        // A restore with a failure is a failed restore.
        ASSERT_EQ(Run(file, "E:\\Restore\\"), kBackupFailed);
        ASSERT_EQ(server.RequestCount(), 1);
        EXPECT_EQ(StoredPathOf(server.Requests()[0]), std::string(file));
    }
    const std::string line = "Error at: " + std::string(file) + "\r\n\r\n";
    EXPECT_EQ(std::string(LogText()), line);
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 1);

    // No service at all is no success either; the count starts afresh with
    // each restore.
    ASSERT_EQ(Run(file, "E:\\Restore\\"), kBackupFailed);
    EXPECT_EQ(std::string(LogText()), line + line);
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 1);
}

TEST_F(RestoreRunTest, EmptyPathsRestoreNothingAndStillEnd)
{
    CFakePipeServer server(m_pipe.c_str(), sizeof(IpcQueueRecord));
    // Nothing restored is no success.
    EXPECT_EQ(Run("", "E:\\Restore\\"), kBackupFailed);
    EXPECT_EQ(Run(m_stored, ""), kBackupFailed);
    EXPECT_EQ(server.ConnectionCount(), 0);
    EXPECT_EQ(m_context.engineBusy.load(), 0);
}

TEST_F(RestoreRunTest, StoppingTheWorkerEndsTheRunAtTheRequestUnderWay)
{
    PipePolicy slow = GetPipePolicy(PipeSender::RestoreFile);
    slow.exchangeMs = 600000;
    SetPipePolicy(PipeSender::RestoreFile, slow);
    CFakePipeServer server(m_pipe.c_str(), sizeof(IpcQueueRecord));
    server.NeverAnswer();
    m_context.whatPath = m_stored;
    m_context.wherePath = "E:\\Restore\\";
    ASSERT_EQ(m_context.StartRestore(), RunStart::Started);
    ASSERT_TRUE(server.WaitRequests(1));
    m_context.restoreWorker.Stop();

    EXPECT_EQ(Finished(), kBackupStopped);
    EXPECT_EQ(server.RequestCount(), 1);
    // The one cut off was not restored.
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 1);
    EXPECT_EQ(m_context.engineBusy.load(), 0);
}

} // namespace
