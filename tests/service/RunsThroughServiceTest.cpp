// The backup and restore runs against the service's own BACKUP server,
// served in this process (BackupServiceHere.h): the real pipe, the real
// serving loops and requests, with data of the sizes users have (files of
// tens of MiB beside thousands of small ones), and a service that stops
// halfway through a restore. The runs keep their own limits: nothing here
// is timed, and every wait is for the run's end.
#include "engine/BackupOneFile.h"
#include "engine/FileWalk.h"
#include "engine/LogFile.h"
#include "engine/PipeClient.h"
#include "engine/RestoreRun.h"
#include "engine/RunContext.h"
#include "engine/StoredFile.h"
#include "tests/service/BackupServiceHere.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace
{
// Old times, a creation time of their own, for a file or folder.
void SetOldTimes(const CString& path, WORD day)
{
    const FILETIME written = testfiles::MakeTime(2009, 3, day, 14, 30, 25, 120);
    testfiles::SetTimes(static_cast<const char*>(path),
                        {testfiles::MakeTime(2008, 3, day, 9, 10, 11, 0), written, written});
}

// Whether two files hold the same bytes.
bool SameBytes(const CString& a, const CString& b)
{
    return testfiles::ReadBytes(static_cast<const char*>(a)) ==
           testfiles::ReadBytes(static_cast<const char*>(b));
}

// Every entry under a folder, each folder (with its backslash) before its
// entries.
void ListTree(const CString& folder, std::vector<WalkEntry>& entries)
{
    const std::atomic<LONG> running{1};
    std::vector<WalkEntry> level;
    ListEntries(folder + "\\*.*", running, level);
    for (const WalkEntry& entry : level)
    {
        entries.push_back(entry);
        if (entry.IsFolder())
            ListTree(entry.ItemPath(), entries);
    }
}

class RunsThroughServiceTest : public ::testing::Test
{
protected:
    RunsThroughServiceTest() : m_folder("runs-service"), m_log(m_folder.Path())
    {
        m_window = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                     nullptr);
        m_context.window = m_window;
        m_context.log = &m_log;
        m_context.profilePath = m_folder / "profile.prb";
        m_context.destination = m_destination;
    }
    ~RunsThroughServiceTest() override { ::DestroyWindow(m_window); }

    // A profile with the source as its one item, storing into m_destination.
    void WriteProfile(bool compress, bool encrypt)
    {
        CProfileDB profile(m_context.profilePath);
        profile.CreateIfMissing();
        ProfileItem item;
        item.path = m_source;
        profile.AddItem(item);
        profile.Save(CSimpleArray<ProfileCheck>(), m_destination, compress, encrypt, 0);
        profile.SavePassword("it's a secret");
    }

    // `small` small files over nested folders, and the large files, all with
    // old times, the folders too (set last, deepest first); its entries.
    std::vector<WalkEntry> MakeSource(int small, std::initializer_list<size_t> large)
    {
        const char* const folders[] = {"", "\\docs", "\\docs\\2009", "\\docs\\2009\\march",
                                       "\\photos", "\\photos\\hidden album", "\\empty"};
        constexpr int kFolders = sizeof folders / sizeof folders[0];
        for (const char* folder : folders)
            EXPECT_TRUE(MakeFolder(m_source + folder));
        // Random bytes: incompressible, so a compressed store takes its full
        // time.
        uint32_t seed = 1;
        for (const size_t size : large)
        {
            CString name;
            name.Format("\\photos\\holiday %d.mov", static_cast<int>(seed));
            testfiles::WriteBytes(std::string(m_source + name), reference::Random(size, seed++));
        }
        for (int i = 0; i < small; ++i)
        {
            CString name;
            // The empty folder stays empty.
            name.Format("%s\\note %04d.txt", folders[i % (kFolders - 1)], i);
            testfiles::WriteBytes(std::string(m_source + name),
                                  reference::Random((i * 7919u) % 9000u, seed++));
        }
        EXPECT_TRUE(SetFileAttributesA(m_source + "\\photos\\hidden album", FILE_ATTRIBUTE_HIDDEN));
        std::vector<WalkEntry> entries;
        ListTree(m_source, entries);
        WORD day = 1;
        for (const WalkEntry& entry : entries)
        {
            if (!entry.IsFolder())
                SetOldTimes(entry.path, static_cast<WORD>(1 + day++ % 28));
        }
        for (int i = kFolders - 1; i >= 0; --i)
            SetOldTimes(m_source + folders[i], static_cast<WORD>(i + 1));
        return entries;
    }

    // Waits for the end of a run started on `worker` and returns the outcome
    // it posted (-1: none).
    int AwaitEnd(UINT message, CWorkerThread& worker)
    {
        // No thread is held when the run had ended before its start looked.
        const HANDLE thread = worker.GetThreadHandle();
        if (thread != nullptr)
            EXPECT_EQ(::WaitForSingleObject(thread, wait_bound::kTaskMs), WAIT_OBJECT_0);
        MSG posted;
        if (!::PeekMessageA(&posted, m_window, message, message, PM_REMOVE))
            return -1;
        return static_cast<int>(posted.wParam);
    }
    int Backup()
    {
        EXPECT_EQ(m_context.StartBackup(false), RunStart::Started);
        const int outcome = AwaitEnd(WM_BACKUP_FINISHED, m_context.backupWorker);
        m_context.CollectBackup();
        return outcome;
    }
    int Restore(const CString& stored, const CString& target)
    {
        m_context.whatPath = stored;
        m_context.wherePath = target;
        EXPECT_EQ(m_context.StartRestore(), RunStart::Started);
        const int outcome = AwaitEnd(WM_RESTORE_FINISHED, m_context.restoreWorker);
        m_context.restoreWorker.StopIfRunning();
        return outcome;
    }

    // The copy of a source entry in another tree (the same path below it).
    CString CopyOf(const CString& copyRoot, const WalkEntry& entry) const
    {
        return copyRoot + entry.ItemPath().Mid(m_source.GetLength());
    }

    // A backup of the source, then a restore of its stored tree into an
    // empty folder: both complete without an error, and every file comes
    // back equal to its source, every folder with its source's times and
    // attributes (the stored ones too).
    void BackUpAndRestore(bool compress, bool encrypt)
    {
        const std::vector<WalkEntry> entries =
            MakeSource(2000, {48u << 20, 40u << 20});
        WriteProfile(compress, encrypt);
        CBackupServiceHere service("runs-real");

        ASSERT_EQ(Backup(), kBackupCompleted) << static_cast<const char*>(LogText());
        RunDisplay shown = m_context.GetDisplay();
        EXPECT_EQ(shown.errors, 0);
        EXPECT_EQ(shown.processedFiles, static_cast<LONG>(entries.size() + 1));

        const CString stored = StoredCopyPath(m_destination + "Files\\", m_source);
        const CString target = m_folder / "restored";
        ASSERT_EQ(Restore(stored, target), kBackupCompleted) << static_cast<const char*>(LogText());
        EXPECT_EQ(m_context.GetDisplay().restoreFailed, 0);
        EXPECT_EQ(LogText().Find("Error at:"), -1) << static_cast<const char*>(LogText());

        const CString restored = StoredCopyPath(target + "\\", stored);
        std::vector<WalkEntry> all = entries;
        WalkEntry root;
        root.path = m_source + "\\";
        root.attributes = ::GetFileAttributesA(m_source);
        all.push_back(root);
        int files = 0;
        for (const WalkEntry& entry : all)
        {
            const CString from = entry.ItemPath();
            WIN32_FILE_ATTRIBUTE_DATA want;
            ASSERT_TRUE(::GetFileAttributesExA(from, GetFileExInfoStandard, &want));
            for (const CString& copy : {CopyOf(stored, entry), CopyOf(restored, entry)})
            {
                SCOPED_TRACE(static_cast<const char*>(copy));
                WIN32_FILE_ATTRIBUTE_DATA have;
                ASSERT_TRUE(::GetFileAttributesExA(copy, GetFileExInfoStandard, &have));
                EXPECT_EQ(have.dwFileAttributes, want.dwFileAttributes);
                EXPECT_EQ(::CompareFileTime(&have.ftLastWriteTime, &want.ftLastWriteTime), 0);
                if (entry.IsFolder())
                {
                    EXPECT_EQ(::CompareFileTime(&have.ftCreationTime, &want.ftCreationTime), 0);
                }
            }
            if (entry.IsFolder())
                continue;
            ++files;
            EXPECT_TRUE(SameBytes(from, CopyOf(restored, entry))) << static_cast<const char*>(from);
        }
        EXPECT_EQ(files, 2002);
    }

    CString LogText() { return ReadTextFile(m_log.GetCurrentFileName()); }

    TempFolder m_folder;
    CLogFile m_log;
    CString m_source = m_folder / "source";
    CString m_destination = m_folder / "dest\\";
    HWND m_window;
    CRunContext m_context;
};

TEST_F(RunsThroughServiceTest, LargeAndManyFilesAreStoredAndRestoredWhole)
{
    BackUpAndRestore(false, false);
}

TEST_F(RunsThroughServiceTest, LargeAndManyFilesAreStoredAndRestoredCompressedAndEncrypted)
{
    BackUpAndRestore(true, true);
}

// The run's requests sent on to the real sender; once `answered` of them
// were restored, the service stops.
class CServiceStopsHalfway : public IFileRestoreService
{
public:
    explicit CServiceStopsHalfway(int answered) : m_answered(answered) {}

    int RestoreFile(const CString& storedPath, const CString& targetRoot, BOOL compress,
                    BOOL encrypt, const CString& password, HANDLE stopEvent, HANDLE cancelEvent,
                    bool& sent) override
    {
        ++calls;
        const int result = PipeRestoreFile(storedPath, targetRoot, compress, encrypt, password,
                                           stopEvent, &sent, cancelEvent);
        if (result == kPipeDone && ++restored == m_answered)
            CBackupServiceHere::Quit();
        return result;
    }

    std::atomic<int> calls{0}, restored{0};

private:
    const int m_answered;
};

// The service stops in the middle of a restore: what it restored stays
// whole, the rest is counted as not restored, the log holds the line of the
// first request left unanswered and one line for the rest, and the run ends
// as failed.
TEST_F(RunsThroughServiceTest, ARestoreWhoseServiceStopsHalfwayEndsFailedAndKeepsWhatItRestored)
{
    const std::vector<WalkEntry> entries = MakeSource(600, {});
    // The stored tree, compressed and encrypted, made here.
    WriteProfile(true, true);
    const CString tree = m_destination + "Files\\";
    ASSERT_TRUE(TransferFile(m_source, StoredCopyPath(tree, m_source), 1, 1, "it's a secret",
                             kTransferStore));
    for (const WalkEntry& entry : entries)
        ASSERT_TRUE(TransferFile(entry.ItemPath(), StoredCopyPath(tree, entry.ItemPath()), 1, 1,
                                 "it's a secret", kTransferStore));
    // A stopped service is given up after a few short waits here (the run's
    // own are 20 waits of 20 s a second apart).
    PipePolicy policy = GetPipePolicy(PipeSender::RestoreFile);
    policy.attempts = 3;
    policy.waitMs = 500;
    policy.pauseMs = 100;
    SetPipePolicy(PipeSender::RestoreFile, policy);
    CBackupServiceHere service("runs-halfway");
    CServiceStopsHalfway stopping(150);
    m_context.restoreService = &stopping;

    const CString stored = StoredCopyPath(tree, m_source);
    const CString target = m_folder / "restored";
    ASSERT_EQ(Restore(stored, target), kBackupFailed);

    const LONG all = static_cast<LONG>(entries.size() + 1);
    const LONG failed = m_context.GetDisplay().restoreFailed;
    EXPECT_GE(stopping.restored.load(), 150);
    EXPECT_EQ(stopping.restored.load() + failed, all);
    EXPECT_GT(failed, 0);
    // Once given up, no worker asked again.
    EXPECT_LE(stopping.calls.load(), stopping.restored.load() + m_context.restoreWorkers);
    const CString log = LogText();
    const auto count = [&log](const char* text)
    {
        int n = 0;
        for (int at = log.Find(text); at != -1; at = log.Find(text, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("Error at:"), 1) << static_cast<const char*>(log);
    EXPECT_EQ(count("The Brindlewox service does not answer"), 1);
    CString gaveUp;
    gaveUp.Format(kRestoreServiceGoneLine, failed);
    EXPECT_EQ(count(gaveUp), 1) << static_cast<const char*>(log);

    // Every file that came back is whole.
    const CString restored = StoredCopyPath(target + "\\", stored);
    int present = 0;
    for (const WalkEntry& entry : entries)
    {
        const CString copy = CopyOf(restored, entry);
        if (entry.IsFolder() || ::GetFileAttributesA(copy) == INVALID_FILE_ATTRIBUTES)
            continue;
        ++present;
        EXPECT_TRUE(SameBytes(entry.ItemPath(), copy)) << static_cast<const char*>(copy);
    }
    EXPECT_GT(present, 100);
}
} // namespace
