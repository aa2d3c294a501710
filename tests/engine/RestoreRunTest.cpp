#include "engine/RestoreRun.h"

#include "engine/LogFile.h"
#include "engine/PipeClient.h"
#include "engine/StoredFile.h"
#include "EngineTestSupport.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/ServiceInThisProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace
{
// Restores in this process as the service does, and records every request,
// the threads it came on and how many were under way at once. It can be
// made slow (a stop cuts the wait short, as the pipe's would, and the
// request counts as sent) and made to fail one entry.
class CRecordingRestore : public IFileRestoreService
{
public:
    int RestoreFile(const CString& storedPath, const CString& targetRoot, BOOL compress,
                    BOOL encrypt, const CString& password, HANDLE stopEvent, HANDLE,
                    bool& sent) override
    {
        sent = true;
        const int now = ++inFlight;
        for (int seen = maxInFlight.load(); now > seen && !maxInFlight.compare_exchange_weak(seen, now);)
        {
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(std::string(storedPath));
            m_threads.insert(::GetCurrentThreadId());
        }
        ++begun;
        int result = kPipeNoAnswer;
        if (delayMs == 0 || ::WaitForSingleObject(stopEvent, delayMs) == WAIT_TIMEOUT)
            result = failing != std::string(storedPath) &&
                             TransferFile(storedPath, StoredCopyPath(targetRoot, storedPath),
                                          compress, encrypt, password, kTransferRestore)
                         ? kPipeDone
                         : kPipeFailed;
        if (result == kPipeDone)
            ++restored;
        --inFlight;
        ++ended;
        return result;
    }

    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    std::set<DWORD> Threads()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads;
    }

    std::atomic<int> begun{0}, ended{0}, restored{0}, inFlight{0}, maxInFlight{0};
    DWORD delayMs = 0;
    std::string failing; // set before the run

private:
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::set<DWORD> m_threads;
};

// The run's requests sent on to the real sender (PipeRestoreFile), counted:
// how many were asked for and how many are under way.
class CCountingPipeRestore : public IFileRestoreService
{
public:
    int RestoreFile(const CString& storedPath, const CString& targetRoot, BOOL compress,
                    BOOL encrypt, const CString& password, HANDLE stopEvent, HANDLE cancelEvent,
                    bool& sent) override
    {
        ++calls;
        ++inFlight;
        const int result = PipeRestoreFile(storedPath, targetRoot, compress, encrypt, password,
                                           stopEvent, &sent, cancelEvent);
        --inFlight;
        return result;
    }
    std::atomic<int> calls{0}, inFlight{0};
};

// How often a text occurs in another.
int Occurrences(const CString& text, const char* part)
{
    int count = 0;
    for (int at = text.Find(part); at != -1; at = text.Find(part, at + 1))
        ++count;
    return count;
}

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
        // No thread is held when the run had ended before its start looked.
        const HANDLE thread = m_context.restoreWorker.GetThreadHandle();
        if (thread != nullptr)
            EXPECT_EQ(::WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
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

    // Restores `stored` through `service` and, once four requests are under
    // way, stops the worker within the window's bound; the outcome posted.
    template <class Service> int StopWithFourUnderWay(const CString& stored, Service& service)
    {
        m_context.restoreService = &service;
        m_context.whatPath = stored;
        m_context.wherePath = m_folder / "target";
        EXPECT_EQ(m_context.StartRestore(), RunStart::Started);
        EXPECT_TRUE(WaitUntil([&] { return service.inFlight.load() == 4; }));
        EXPECT_TRUE(m_context.restoreWorker.StopWithin(10000));
        return Finished();
    }

    // `count` files over a folder and two below it, stored in the form given
    // (and so set in the profile) into a stored-file tree of their own; the
    // stored folder, whose entries go into m_entries.
    CString StoreSource(int count, bool compress, bool encrypt)
    {
        CProfileDB(m_context.profilePath)
            .Save(CSimpleArray<ProfileCheck>(), "D:\\Backup\\", compress, encrypt, 0);
        const CString tree = m_folder / "tree\\";
        const char* const folders[] = {"", "\\one", "\\one\\two"};
        std::vector<CString> sources;
        for (const char* folder : folders)
            sources.push_back(m_source + folder);
        for (int i = 0; i < count; ++i)
        {
            CString name;
            name.Format("%s\\f%04d.txt", folders[i % 3], i);
            EXPECT_TRUE(MakeFolder(m_source + folders[i % 3]));
            EXPECT_TRUE(WriteTextFile(m_source + name, name));
            sources.push_back(m_source + name);
        }
        for (const CString& source : sources)
        {
            EXPECT_TRUE(TransferFile(source, StoredCopyPath(tree, source), compress, encrypt,
                                     "pa'ss", kTransferStore));
            m_entries.insert(std::string(StoredCopyPath(tree, source)));
        }
        return StoredCopyPath(tree, m_source);
    }

    // Where the restore into `target` put a stored entry.
    static CString Restored(const CString& target, const std::string& stored)
    {
        return StoredCopyPath(target + "\\", stored.c_str());
    }

    TempFolder m_folder;
    CLogFile m_log;
    std::string m_pipe;
    PipePolicy m_saved;
    HWND m_window;
    CRunContext m_context;
    CString m_stored;
    CString m_source = m_folder / "source";
    std::set<std::string> m_entries;
};

TEST_F(RestoreRunTest, FolderGoesFirstThenEveryEntryLevelByLevel)
{
    CFakePipeServer server(m_pipe.c_str(), sizeof(IpcQueueRecord));
    server.Answer(StatusReply(0, sizeof(IpcQueueRecord)));
    // One worker: the requests reach the service in the order the walk
    // hands them out.
    m_context.restoreWorkers = 1;
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

    // No service at all is no success either: the entry is logged, and the
    // run's give-up says why. The count starts afresh with each restore.
    ASSERT_EQ(Run(file, "E:\\Restore\\"), kBackupFailed);
    CString gaveUp;
    gaveUp.Format(kRestoreServiceGoneLine, 1L);
    EXPECT_EQ(std::string(LogText()), line + line + std::string(gaveUp));
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

TEST_F(RestoreRunTest, ARestoreThatEndsBeforeItsStartLooksIsARunAllTheSame)
{
    // Nothing to restore: the run ends at once, now and then (more often on
    // a loaded machine) before its start has looked at its thread. Each
    // start is a run all the same: started, its end posted once, the engine
    // free again after it.
    int endedFirst = 0;
    for (int i = 0; i < 300; ++i)
    {
        m_context.whatPath = "";
        m_context.wherePath = "E:\\Restore\\";
        ASSERT_EQ(m_context.StartRestore(), RunStart::Started) << i;
        endedFirst += m_context.restoreWorker.GetThreadHandle() == nullptr ? 1 : 0;
        ASSERT_TRUE(WaitUntil([&] { return m_context.restoreWorker.HasEnded(); })) << i;
        m_context.restoreWorker.StopIfRunning();
        m_context.restoreWorker.Stop();
        ASSERT_EQ(Finished(), kBackupFailed) << i;
        ASSERT_EQ(Finished(), -1) << i;
        ASSERT_EQ(m_context.activeRun.load(), 0) << i;
    }
    RecordProperty("ended_before_the_start_looked", endedFirst);
}

TEST_F(RestoreRunTest, StoppingTheWorkerEndsTheRunAtTheRequestUnderWay)
{
    PipePolicy slow = m_saved;
    slow.exchangeMsPerMiB = 0;
    SetPipePolicy(PipeSender::RestoreFile, slow);
    CFakePipeServer server(m_pipe.c_str(), sizeof(IpcQueueRecord));
    server.NeverAnswer();
    m_context.whatPath = m_stored;
    m_context.wherePath = "E:\\Restore\\";
    ASSERT_EQ(m_context.StartRestore(), RunStart::Started);
    ASSERT_TRUE(server.WaitRequests(1));
    // The other workers wait for the one instance in their retries (20 waits
    // of 20 s); the stop ends them all within the window's bound.
    EXPECT_TRUE(m_context.restoreWorker.StopWithin(10000));

    EXPECT_EQ(Finished(), kBackupStopped);
    EXPECT_EQ(server.RequestCount(), 1);
    // The one cut off was not restored; those that never reached the
    // service are not counted.
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 1);
    EXPECT_EQ(m_context.engineBusy.load(), 0);
}

TEST_F(RestoreRunTest, FourWorkersRestoreEveryFileOnceEqualToItsSource)
{
    const CString stored = StoreSource(2000, false, true);
    CRecordingRestore service;
    service.delayMs = 1;
    m_context.restoreService = &service;
    ASSERT_EQ(m_context.restoreWorkers, 4);
    const CString target = m_folder / "target";
    ASSERT_EQ(Run(stored, target), kBackupCompleted);

    // The folder, the two below it and the 2,000 files, each asked for once,
    // several at once on the workers.
    const std::vector<std::string> requests = service.Requests();
    EXPECT_EQ(requests.size(), 2003u);
    EXPECT_EQ(std::set<std::string>(requests.begin(), requests.end()), m_entries);
    EXPECT_GE(service.Threads().size(), 2u);
    EXPECT_GE(service.maxInFlight.load(), 2);
    EXPECT_LE(service.maxInFlight.load(), 4);
    for (int i = 0; i < 2000; ++i)
    {
        CString name;
        name.Format("%s\\f%04d.txt", i % 3 == 0 ? "" : i % 3 == 1 ? "\\one" : "\\one\\two", i);
        EXPECT_STREQ(ReadTextFile(Restored(target, std::string(stored + name))), name);
    }
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 0);
    EXPECT_STREQ(m_context.GetDisplay().currentFile, kNotActiveText);
    EXPECT_TRUE(LogText().IsEmpty());
}

TEST_F(RestoreRunTest, APauseHoldsEveryWorkerBetweenFiles)
{
    const CString stored = StoreSource(400, false, false);
    CRecordingRestore service;
    service.delayMs = 20;
    m_context.restoreService = &service;
    m_context.whatPath = stored;
    m_context.wherePath = m_folder / "target";
    ASSERT_EQ(m_context.StartRestore(), RunStart::Started);
    ASSERT_TRUE(WaitUntil([&] { return service.ended.load() >= 12; }));
    ASSERT_TRUE(m_context.restoreWorker.Pause());
    // Each worker may still end the file it has begun; none begins another
    // (unheld, four would begin about a hundred meanwhile).
    const int atPause = service.begun.load();
    ASSERT_TRUE(WaitUntil([&] { return service.inFlight.load() == 0; }));
    ::Sleep(500);
    EXPECT_LE(service.begun.load(), atPause + 4);

    ASSERT_TRUE(m_context.restoreWorker.Resume());
    ASSERT_EQ(::WaitForSingleObject(m_context.restoreWorker.GetThreadHandle(), 120000),
              WAIT_OBJECT_0);
    m_context.restoreWorker.StopIfRunning();
    EXPECT_EQ(Finished(), kBackupCompleted);
    const std::vector<std::string> requests = service.Requests();
    EXPECT_EQ(requests.size(), m_entries.size());
    EXPECT_EQ(std::set<std::string>(requests.begin(), requests.end()), m_entries);
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 0);
}

TEST_F(RestoreRunTest, TheStopEndsEveryWorkerAtOnceAndCountsWhatItCutOff)
{
    const CString stored = StoreSource(200, false, false);
    CRecordingRestore service;
    service.delayMs = 600000; // until the stop
    EXPECT_EQ(StopWithFourUnderWay(stored, service), kBackupStopped);
    EXPECT_EQ(service.begun.load(), 4);
    EXPECT_EQ(service.restored.load(), 0);
    // The four cut off reached the service and are not restored: each one
    // counted and logged once; nothing else is.
    const CString log = LogText();
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 4);
    EXPECT_EQ(Occurrences(log, "Error at:"), 4);
    for (const std::string& path : service.Requests())
        EXPECT_EQ(Occurrences(log, ("Error at: " + path + "\r\n").c_str()), 1) << path;
    EXPECT_EQ(m_context.engineBusy.load(), 0);
}

TEST_F(RestoreRunTest, OneWorkersFailureIsCountedAndLoggedOnceAndEachEndingHasItsOutcome)
{
    const CString stored = StoreSource(60, false, false);
    const CString target = m_folder / "target";
    CRecordingRestore service;
    service.delayMs = 2;
    service.failing = std::string(stored + "\\f0018.txt");
    m_context.restoreService = &service;
    EXPECT_EQ(Run(stored, target), kBackupFailed);
    EXPECT_EQ(service.Requests().size(), m_entries.size());
    EXPECT_EQ(service.restored.load(), 62);
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 1);
    EXPECT_EQ(Occurrences(LogText(), "Error at:"), 1);
    EXPECT_EQ(Occurrences(LogText(), ("Error at: " + service.failing + "\r\n\r\n").c_str()), 1);

    service.failing.clear();
    EXPECT_EQ(Run(stored, target), kBackupCompleted);
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 0);

    // The window's Stop: what was listed is still restored, and the run
    // counts as stopped.
    service.delayMs = 20;
    m_context.whatPath = stored;
    ASSERT_EQ(m_context.StartRestore(), RunStart::Started);
    ASSERT_TRUE(WaitUntil([&] { return service.begun.load() >= 2 * 63 + 4; }));
    m_context.StopBackup();
    ASSERT_EQ(::WaitForSingleObject(m_context.restoreWorker.GetThreadHandle(), 60000),
              WAIT_OBJECT_0);
    m_context.restoreWorker.StopIfRunning();
    EXPECT_EQ(Finished(), kBackupStopped);
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 0);
    EXPECT_EQ(Occurrences(LogText(), "Error at:"), 1);
}

TEST_F(RestoreRunTest, TheWorkersKeepTheirConnectionsToTheService)
{
    // The retries of the run: four workers share the fake's one instance.
    PipePolicy policy = m_saved;
    policy.exchangeMsPerMiB = 0;
    SetPipePolicy(PipeSender::RestoreFile, policy);
    const CString stored = StoreSource(200, false, false);
    CFakePipeServer server(m_pipe.c_str(), sizeof(IpcQueueRecord));
    server.Answer(StatusReply(0, sizeof(IpcQueueRecord)), 5);
    ASSERT_EQ(Run(stored, m_folder / "target"), kBackupCompleted);
    EXPECT_EQ(server.RequestCount(), static_cast<int>(m_entries.size()));
    // Several requests to a connection, and every one let go at the end.
    EXPECT_LT(server.ConnectionCount(), 100);
    EXPECT_TRUE(WaitUntil([&] { return server.EndedCount() == server.ConnectionCount(); }));
}

// No service at all: the first request to find none gives up for the run.
// It ends the requests the other workers have under way, none is sent
// after it, and every entry is counted as not restored; the log holds that
// entry's line and one line for the rest.
TEST_F(RestoreRunTest, WithoutAServiceTheFirstUnansweredRequestEndsTheRestore)
{
    // Ten attempts: the four workers are all in their retries when the
    // first of them gives up.
    PipePolicy retrying = GetPipePolicy(PipeSender::RestoreFile);
    retrying.attempts = 10;
    retrying.pauseMs = 100;
    SetPipePolicy(PipeSender::RestoreFile, retrying);
    const CString stored = StoreSource(200, false, false);
    CCountingPipeRestore service;
    m_context.restoreService = &service;
    ASSERT_EQ(m_context.restoreWorkers, 4);
    const CString target = m_folder / "target";
    ASSERT_EQ(Run(stored, target), kBackupFailed);

    // Each worker asked once at most: the entries after the give-up cost
    // no request.
    EXPECT_GE(service.calls.load(), 1);
    EXPECT_LE(service.calls.load(), 4);
    const LONG entries = static_cast<LONG>(m_entries.size());
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, entries);
    const CString log = LogText();
    EXPECT_EQ(Occurrences(log, "Error at:"), 1) << static_cast<const char*>(log);
    EXPECT_EQ(Occurrences(log, "The Brindlewox service does not answer"), 1);
    CString gaveUp;
    gaveUp.Format(kRestoreServiceGoneLine, entries);
    EXPECT_EQ(Occurrences(log, gaveUp), 1) << static_cast<const char*>(log);
    EXPECT_EQ(GetFileAttributesA(target), INVALID_FILE_ATTRIBUTES);
    EXPECT_STREQ(m_context.GetDisplay().currentFile, kNotActiveText);

    // A run of its own asks the service again.
    ASSERT_EQ(Run(stored, target), kBackupFailed);
    EXPECT_GT(service.calls.load(), 1);
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, entries);
}

// The window's end stops the restore worker within its bound while every
// worker waits in the sender's retries (20 waits, a second apart) for a
// service that is not there: nothing was sent, nothing is counted.
TEST_F(RestoreRunTest, StoppingTheWorkerWhileRequestsWaitForAMissingServiceEndsTheRun)
{
    SetPipePolicy(PipeSender::RestoreFile, m_saved);
    const CString stored = StoreSource(40, false, false);
    CCountingPipeRestore service;
    EXPECT_EQ(StopWithFourUnderWay(stored, service), kBackupStopped);
    EXPECT_EQ(service.calls.load(), 4);
    EXPECT_EQ(m_context.GetDisplay().restoreFailed, 0);
    EXPECT_TRUE(LogText().IsEmpty()) << static_cast<const char*>(LogText());
    EXPECT_EQ(m_context.engineBusy.load(), 0);
}

// Every restored folder ends with its stored folder's times and attributes,
// though the workers restore its files into it after it was made.
TEST_F(RestoreRunTest, EveryRestoredFolderCarriesItsStoredFoldersTimes)
{
    const CString stored = StoreSource(300, false, false);
    MakeFolder(stored + "\\one\\empty");
    ASSERT_TRUE(SetFileAttributesA(stored + "\\one", FILE_ATTRIBUTE_HIDDEN));
    // Old times, deepest first, after everything was written into them.
    const char* const folders[] = {"\\one\\two", "\\one\\empty", "\\one", ""};
    WORD day = 1;
    for (const char* folder : folders)
    {
        const FILETIME old = testfiles::MakeTime(2008, 5, day, 10, 20, 30, 400);
        const FILETIME created = testfiles::MakeTime(2007, 4, day++, 8, 9, 10, 110);
        testfiles::SetTimes(std::string(stored + folder), {created, old, old});
    }
    CRecordingRestore service;
    m_context.restoreService = &service;
    const CString target = m_folder / "target";
    ASSERT_EQ(Run(stored, target), kBackupCompleted);

    for (const char* folder : folders)
    {
        const std::string from(stored + folder);
        const std::string to(Restored(target, from));
        SCOPED_TRACE(to);
        const testfiles::Times want = testfiles::GetTimes(from);
        const testfiles::Times have = testfiles::GetTimes(to);
        EXPECT_EQ(testfiles::Ticks(have.written), testfiles::Ticks(want.written));
        EXPECT_EQ(testfiles::Ticks(have.created), testfiles::Ticks(want.created));
        EXPECT_EQ(GetFileAttributesA(to.c_str()), GetFileAttributesA(from.c_str()));
    }
}

} // namespace
