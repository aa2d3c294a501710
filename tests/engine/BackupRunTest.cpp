// The backup run end to end, headless: a temporary source tree backed up on
// the backup worker into a temporary destination, with the stores done in
// this process by the same transfer the service runs (or through a fake
// pipe), the end message taken from a message-only window.
#include "engine/BackupRun.h"
#include "engine/BackupCache.h"
#include "engine/FileStamp.h"
#include "engine/FileWalk.h"
#include "engine/FileStoreService.h"
#include "engine/LogFile.h"
#include "engine/PipeClient.h"
#include "engine/RestoreRun.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "engine/StoredFile.h"
#include "engine/StoredTree.h"
#include "EngineTestSupport.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/ServiceInThisProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/UserKeyOverride.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace
{
const char* const kPassword = "s3cret-pass'word";

// Stores as the service does (TransferFile at the stored path), records
// what it stored, on which threads and at which priority, how many stores
// were under way at once, and can be made slow or made to fail one file.
// The run's store workers call it from several threads at once.
class CRecordingService : public IFileStoreService
{
public:
    bool GetFileStamp(const char* path, CString& stamp) override
    {
        ++stamps;
        return m_direct.GetFileStamp(path, stamp);
    }
    bool StoreFile(const char* source, const char* treeRoot, int compress, int encrypt,
                   const char* password) override
    {
        const int now = ++inFlight;
        for (int seen = maxInFlight.load(); now > seen && !maxInFlight.compare_exchange_weak(seen, now);)
        {
        }
        ++begun;
        if (delayMs)
            Sleep(delayMs);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stored.push_back(source);
            m_threads.insert(GetCurrentThreadId());
            m_priorities.insert(GetThreadPriority(GetCurrentThread()));
        }
        const bool stored = failing != source &&
                            m_direct.StoreFile(source, treeRoot, compress, encrypt, password);
        ++storeCount;
        --inFlight;
        return stored;
    }

    std::set<std::string> TakeStored()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::set<std::string> stored(m_stored.begin(), m_stored.end());
        m_stored.clear();
        return stored;
    }
    // Every store request, the same file as often as it was asked for.
    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stored;
    }
    std::set<DWORD> Threads()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads;
    }
    std::set<int> Priorities()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_priorities;
    }

    std::atomic<int> stamps{0};
    std::atomic<int> begun{0};      // stores begun
    std::atomic<int> storeCount{0}; // stores ended
    std::atomic<int> inFlight{0};
    std::atomic<int> maxInFlight{0};
    DWORD delayMs = 0;
    // A source whose store fails (set before the run).
    std::string failing;

private:
    CDirectFileService m_direct;
    std::mutex m_mutex;
    std::vector<std::string> m_stored;
    std::set<DWORD> m_threads;
    std::set<int> m_priorities;
};

class CRecordingDump : public IDatabaseDump
{
public:
    void RunDatabaseBackups(const ProfileItem& item) override
    {
        dumped.push_back(std::string(item.path));
    }
    std::vector<std::string> dumped;
};

// Old times, one a file, so a store that lost them shows.
void SetOldTime(const CString& path, WORD day)
{
    SYSTEMTIME when = {2011, 6, 0, day, 9, 15, 30, 250};
    FILETIME written;
    SystemTimeToFileTime(&when, &written);
    HANDLE file = CreateFileA(path, FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);
}

std::string Content(int index, size_t size)
{
    std::string bytes(size, '\0');
    unsigned state = 2166136261u ^ static_cast<unsigned>(index);
    for (char& c : bytes)
    {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

class BackupRunTest : public ::testing::Test
{
protected:
    struct TreeFile
    {
        const char* name;
        size_t size;
        DWORD attributes;
    };

    BackupRunTest() : m_folder("backup-run"), m_log(m_folder.Path())
    {
        m_source = m_folder / "source";
        m_destination = m_folder / "dest\\";
        m_context.profilePath = m_folder / "profile.prb";
        m_context.log = &m_log;
        m_context.destination = m_destination;
        m_context.services = &m_services;
        m_window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                   nullptr);
        m_context.window = m_window;
        CProfileDB(m_context.profilePath).CreateIfMissing();
        SaveSettings(m_destination, 0, 0);
    }

    ~BackupRunTest() override { DestroyWindow(m_window); }

    void SaveSettings(const CString& destination, int compress, int encrypt)
    {
        CProfileDB profile(m_context.profilePath);
        CArray<ProfileItem> items;
        profile.LoadItems(items);
        CSimpleArray<ProfileCheck> checks;
        for (int i = 0; i < items.GetSize(); ++i)
            checks.Add(ProfileCheck{items[i].id, items[i].checked});
        profile.Save(checks, destination, compress != 0, encrypt != 0, 0);
        profile.SavePassword(kPassword);
    }

    void AddSource(const CString& path, int type = PROFILE_ITEM_FILES)
    {
        ProfileItem item;
        item.type = type;
        item.path = path;
        CProfileDB(m_context.profilePath).AddItem(item);
    }

    void Uncheck(const CString& path)
    {
        CProfileDB profile(m_context.profilePath);
        CArray<ProfileItem> items;
        profile.LoadItems(items);
        CSimpleArray<ProfileCheck> checks;
        for (int i = 0; i < items.GetSize(); ++i)
            checks.Add(ProfileCheck{items[i].id, items[i].path != path && items[i].checked});
        ProfileSettings settings;
        profile.LoadSettings(settings);
        profile.Save(checks, settings.destination, settings.compress, settings.encrypt, 0);
    }

    // The test tree: nested and empty folders, read-only and hidden files,
    // names with blanks, apostrophes and dots, and a link to a folder
    // outside the tree. Returns every entry below the source as the walk
    // lists it (folders with a backslash), the link excepted.
    std::vector<CString> MakeTree()
    {
        static const char* const folders[] = {"sub dir", "sub dir\\deeper", "empty folder",
                                              "a.b.c"};
        static const TreeFile files[] = {
            {"plain.txt", 40, 0},
            {"it's a file.txt", 100, 0},
            {"name with spaces.txt", 7, 0},
            {"..dots.txt", 3, 0},
            {"many.dots.in.name.txt", 20, 0},
            {"read only.txt", 17, FILE_ATTRIBUTE_READONLY},
            {"hidden.txt", 18, FILE_ATTRIBUTE_HIDDEN},
            {"big.bin", 3 * 16384 + 5, 0},
            {"empty.dat", 0, 0},
            {"sub dir\\nested.txt", 16384, 0},
            {"sub dir\\deeper\\x.y.z", 20000, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
            {"a.b.c\\it's.deep", 5, 0},
        };
        std::vector<CString> entries;
        EXPECT_TRUE(MakeFolder(m_source));
        for (const char* folder : folders)
        {
            EXPECT_TRUE(MakeFolder(m_source + "\\" + folder));
            entries.push_back(m_source + "\\" + folder + "\\");
        }
        int index = 0;
        for (const TreeFile& file : files)
        {
            const CString path = m_source + "\\" + file.name;
            EXPECT_TRUE(WriteBytes(path, Content(index, file.size)));
            SetOldTime(path, static_cast<WORD>(1 + index++));
            if (file.attributes)
            {
                EXPECT_TRUE(SetFileAttributesA(path, file.attributes));
            }
            entries.push_back(path);
        }
        const CString outside = m_folder / "outside";
        EXPECT_TRUE(MakeFolder(outside));
        EXPECT_TRUE(WriteTextFile(outside + "\\outside.txt", "not in the tree"));
        EXPECT_TRUE(MakeDirectoryLink(m_source + "\\link", outside));
        return entries;
    }

    // A source of `count` small files in one folder, in the profile.
    void MakeFlatSource(int count)
    {
        ASSERT_TRUE(MakeFolder(m_source));
        for (int i = 0; i < count; ++i)
        {
            CString name;
            name.Format("\\file%02d.txt", i);
            ASSERT_TRUE(WriteTextFile(m_source + name, "x"));
        }
        AddSource(m_source);
    }

    // Runs the backup on its worker to its end and returns the outcome the
    // end message carried (-1: no message).
    int Run(bool scheduled = false)
    {
        EXPECT_EQ(m_context.StartBackup(scheduled), RunStart::Started);
        EXPECT_EQ(m_context.engineBusy.load(), 1);
        // No thread is held when the run had ended before its start looked.
        const HANDLE thread = m_context.backupWorker.GetThreadHandle();
        if (thread != nullptr)
            EXPECT_EQ(WaitForSingleObject(thread, 120000), WAIT_OBJECT_0);
        return Collect();
    }

    int Collect()
    {
        MSG message;
        const bool posted =
            PeekMessageA(&message, m_window, WM_BACKUP_FINISHED, WM_BACKUP_FINISHED, PM_REMOVE);
        m_context.CollectBackup();
        return posted ? static_cast<int>(message.wParam) : -1;
    }

    CString Tree() const { return m_destination + "Files\\"; }
    CString Stored(const CString& source) const { return StoredCopyPath(Tree(), source); }
    static CString Item(const CString& entry)
    {
        return entry[entry.GetLength() - 1] == '\\' ? entry.Left(entry.GetLength() - 1) : entry;
    }
    CString LogText() { return ReadTextFile(m_log.GetCurrentFileName()); }

    int CacheRows()
    {
        CSqlDB cache;
        cache.Open(GetCacheFilePath(m_destination));
        return cache.Query("SELECT count(*) FROM backup_cache;").GetFieldInt(0);
    }

    TempFolder m_folder;
    CLogFile m_log;
    CString m_source;
    CString m_destination;
    CRecordingService m_local;
    CRecordingService m_network;
    BackupFileServices m_services{m_local, m_network};
    HWND m_window;
    CRunContext m_context;
};

TEST_F(BackupRunTest, EveryFormStoresTheWholeTreeAndTheNextRunSkipsIt)
{
    const std::vector<CString> entries = MakeTree();
    AddSource(m_source);
    for (int form = 0; form < 4; ++form)
    {
        SCOPED_TRACE(form);
        const int compress = form & 2 ? 1 : 0;
        const int encrypt = form & 1 ? 1 : 0;
        m_destination = m_folder / (std::string("dest") + std::to_string(form) + "\\").c_str();
        m_context.destination = m_destination;
        SaveSettings(m_destination, compress, encrypt);

        ASSERT_EQ(Run(), kBackupCompleted);
        RunDisplay shown = m_context.GetDisplay();
        EXPECT_EQ(shown.errors, 0);
        // The source's own folder, then every entry; the link is not one.
        EXPECT_EQ(shown.processedFiles, static_cast<LONG>(entries.size() + 1));
        std::set<std::string> expected{std::string(m_source)};
        for (const CString& entry : entries)
            expected.insert(std::string(Item(entry)));
        EXPECT_EQ(m_local.TakeStored(), expected);
        // Stamps came from each file's own record, read by the run itself:
        // the service was asked none.
        EXPECT_EQ(m_local.stamps.exchange(0), 0);

        for (const CString& entry : entries)
        {
            const CString item = Item(entry);
            const CString stored = Stored(item);
            SCOPED_TRACE(static_cast<const char*>(stored));
            const DWORD attributes = GetFileAttributesA(stored);
            ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
            EXPECT_EQ(attributes, GetFileAttributesA(item));
            if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            const CString back = m_folder / "restored.tmp";
            ASSERT_TRUE(TransferFile(stored, back, compress, encrypt, kPassword, kTransferRestore));
            EXPECT_EQ(ReadBytes(back), ReadBytes(item));
            SetFileAttributesA(back, FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(back);
        }
        // The link was not followed, and is not stored.
        EXPECT_EQ(GetFileAttributesA(Stored(m_source + "\\link")), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(CacheRows(), static_cast<int>(entries.size() + 1));

        // The profile copy carries no password, not even in its free space.
        const CString copy = m_destination + "Settings\\Profile.prb";
        ProfileSettings copied;
        ASSERT_TRUE(CProfileDB(copy).LoadSettings(copied));
        EXPECT_TRUE(copied.password.IsEmpty());
        EXPECT_EQ(copied.destination, m_destination);
        EXPECT_EQ(ReadBytes(copy).find("s3cret-pass"), std::string::npos);
        ProfileSettings own;
        ASSERT_TRUE(CProfileDB(m_context.profilePath).LoadSettings(own));
        EXPECT_EQ(own.password, kPassword);

        // Nothing changed: nothing is stored again.
        ASSERT_EQ(Run(), kBackupCompleted);
        shown = m_context.GetDisplay();
        EXPECT_EQ(shown.errors, 0);
        EXPECT_EQ(shown.processedFiles, static_cast<LONG>(entries.size() + 1));
        EXPECT_EQ(m_local.TakeStored(), std::set<std::string>());
        EXPECT_EQ(m_local.stamps.exchange(0), 0);
    }
    EXPECT_TRUE(LogText().IsEmpty()) << static_cast<const char*>(LogText());
}

TEST_F(BackupRunTest, OnlyTheChangedFilesAreStoredAgain)
{
    MakeTree();
    AddSource(m_source);
    ASSERT_EQ(Run(), kBackupCompleted);
    m_local.TakeStored();

    const CString resized = m_source + "\\plain.txt";
    const CString touched = m_source + "\\name with spaces.txt";
    const CString protectedFile = m_source + "\\sub dir\\nested.txt";
    ASSERT_TRUE(WriteBytes(resized, "a longer text than before, and another one"));
    SetOldTime(resized, 1);
    SetOldTime(touched, 28);
    ASSERT_TRUE(SetFileAttributesA(protectedFile, FILE_ATTRIBUTE_READONLY));
    // A stored copy deleted by hand is stored again although its row is there.
    const CString lost = m_source + "\\..dots.txt";
    ASSERT_TRUE(DeleteFileA(Stored(lost)));

    ASSERT_EQ(Run(true), kBackupCompleted);
    EXPECT_EQ(m_context.scheduled.load(), 0);
    EXPECT_EQ(m_local.TakeStored(),
              (std::set<std::string>{std::string(resized), std::string(touched),
                                     std::string(protectedFile), std::string(lost)}));
    EXPECT_EQ(ReadBytes(Stored(resized)), ReadBytes(resized));
    EXPECT_EQ(GetFileAttributesA(Stored(protectedFile)), GetFileAttributesA(protectedFile));
    EXPECT_EQ(m_context.GetDisplay().errors, 0);
}

TEST_F(BackupRunTest, CopiesOfDeletedSourcesGoAndEverythingElseStays)
{
    const std::vector<CString> entries = MakeTree();
    const CString other = m_folder / "other";
    ASSERT_TRUE(MakeFolder(other));
    ASSERT_TRUE(WriteTextFile(other + "\\kept.txt", "kept"));
    AddSource(m_source);
    AddSource(other);
    AddSource("http://www.example.com", PROFILE_ITEM_DATABASE);
    CRecordingDump dump;
    m_context.databaseDump = &dump;
    ASSERT_EQ(Run(), kBackupCompleted);
    EXPECT_EQ(dump.dumped, std::vector<std::string>{"http://www.example.com"});
    ASSERT_NE(GetFileAttributesA(Stored(other + "\\kept.txt")), INVALID_FILE_ATTRIBUTES);

    // Deleted since: a file, a folder with everything in it, and a read-only
    // file. A stored temporary file left by a crash has no source either.
    ASSERT_TRUE(DeleteFileA(m_source + "\\plain.txt"));
    ASSERT_TRUE(SetFileAttributesA(m_source + "\\read only.txt", FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(DeleteFileA(m_source + "\\read only.txt"));
    RemoveTree(m_source + "\\sub dir");
    const CString crashed = Stored(m_source) + "\\~bw1234.tmp";
    ASSERT_TRUE(WriteTextFile(crashed, "half"));
    // Unchecked, but still on disk: its copies stay.
    Uncheck(other);
    m_context.databaseDump = nullptr;

    ASSERT_EQ(Run(), kBackupCompleted);
    const std::set<std::string> gone{std::string(m_source + "\\plain.txt"),
                                     std::string(m_source + "\\read only.txt"),
                                     std::string(m_source + "\\sub dir\\")};
    for (const CString& entry : entries)
    {
        const bool deleted =
            gone.count(std::string(entry)) || entry.Find("\\sub dir\\") == m_source.GetLength();
        EXPECT_EQ(GetFileAttributesA(Stored(Item(entry))) == INVALID_FILE_ATTRIBUTES, deleted)
            << static_cast<const char*>(entry);
    }
    EXPECT_EQ(GetFileAttributesA(crashed), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA(Stored(other + "\\kept.txt")), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA(Tree() + "C"), INVALID_FILE_ATTRIBUTES);
    // A web-site row with no dump built in is not backed up, and says so.
    EXPECT_EQ(m_context.GetDisplay().errors, 1);
    EXPECT_NE(LogText().Find("Error at: http://www.example.com"), -1);
}

namespace
{
// The listings of the stored tree a run makes, by pattern.
CString g_storedTree;
std::map<std::string, int> g_storedListings;
void CountStoredListings(const char* pattern, std::vector<WalkEntry>&, size_t)
{
    if (_strnicmp(pattern, g_storedTree, g_storedTree.GetLength()) == 0)
        ++g_storedListings[pattern];
}
} // namespace

// A run with nothing changed lists each stored folder once: its decisions
// list the folders their files are looked for in, and the clean-up takes
// those listings rather than list them again.
TEST_F(BackupRunTest, ARunListsEachStoredFolderOnce)
{
    MakeTree();
    AddSource(m_source);
    ASSERT_EQ(Run(), kBackupCompleted);
    g_storedTree = Tree();
    g_storedListings.clear();
    SetListingHook(CountStoredListings);
    ASSERT_EQ(Run(), kBackupCompleted);
    SetListingHook(nullptr);
    EXPECT_GE(g_storedListings.size(), 4u);
    for (const auto& listing : g_storedListings)
        EXPECT_EQ(listing.second, 1) << listing.first;
    EXPECT_EQ(g_storedListings.count(std::string(Stored(m_source)) + "\\*.*"), 1u);
}

TEST_F(BackupRunTest, CopiesOfUnreachableSourcesAreKept)
{
    MakeTree();
    AddSource(m_source);
    char letter = 0;
    const DWORD drives = GetLogicalDrives();
    for (char c = 'Y'; c > 'D' && !letter; --c)
        if (!(drives & (1u << (c - 'A'))))
            letter = c;
    ASSERT_NE(letter, 0);
    const CString driveCopy = Tree() + CString(letter, 1) + "\\data\\f.txt";
    const CString shareCopy = Tree() + kNetworkMarker + "nosuchserver\\share\\f.txt";
    ASSERT_TRUE(CreateFolderPath(driveCopy));
    ASSERT_TRUE(WriteTextFile(driveCopy, "only copy"));
    ASSERT_TRUE(CreateFolderPath(shareCopy));
    ASSERT_TRUE(WriteTextFile(shareCopy, "only copy"));

    ASSERT_EQ(Run(), kBackupCompleted);
    EXPECT_EQ(ReadTextFile(driveCopy), "only copy");
    EXPECT_EQ(ReadTextFile(shareCopy), "only copy");
    const CString log = LogText();
    EXPECT_NE(log.Find(CString("Stored copies kept: ") + CString(letter, 1) + ":\\ "), -1)
        << static_cast<const char*>(log);
    EXPECT_NE(log.Find("Stored copies kept: \\\\nosuchserver\\share\\ "), -1);
}

TEST_F(BackupRunTest, APauseHoldsEveryWorkerAndTheWorkersStopEndsThem)
{
    MakeFlatSource(400);
    m_local.delayMs = 20;
    ASSERT_EQ(m_context.storeWorkers, 4);
    ASSERT_EQ(m_context.StartBackup(false), RunStart::Started);
    // A second start while one runs is refused.
    EXPECT_EQ(m_context.StartBackup(false), RunStart::BackupActive);
    ASSERT_TRUE(WaitUntil([this] { return m_local.storeCount.load() >= 12; }));

    // Pause and resume hammered: the run is never left stuck.
    for (int i = 0; i < 1000; ++i)
    {
        m_context.PauseBackup();
        m_context.ResumeBackup();
    }
    ASSERT_TRUE(m_context.PauseBackup());
    EXPECT_TRUE(m_context.IsBackupPaused());
    // Each worker may still end the file it has begun; none begins another.
    const int atPause = m_local.begun.load();
    Sleep(300);
    EXPECT_EQ(m_local.inFlight.load(), 0);
    const int held = m_local.storeCount.load();
    EXPECT_LE(held, atPause + 4);
    const LONG shown = m_context.GetDisplay().processedFiles;
    Sleep(500);
    EXPECT_EQ(m_local.begun.load(), held);
    EXPECT_EQ(m_local.storeCount.load(), held);
    EXPECT_EQ(m_context.GetDisplay().processedFiles, shown);

    ASSERT_TRUE(m_context.ResumeBackup());
    ASSERT_TRUE(WaitUntil([&] { return m_local.storeCount.load() >= held + 12; }));
    ASSERT_TRUE(m_context.PauseBackup());
    // The worker's stop while paused ends the run and every store worker.
    m_context.backupWorker.Stop();
    EXPECT_EQ(Collect(), kBackupStopped);
    EXPECT_LT(m_local.storeCount.load(), 300);
    EXPECT_EQ(m_context.engineBusy.load(), 0);
    // What was stored is counted and has its row; nothing else is.
    const RunDisplay display = m_context.GetDisplay();
    EXPECT_EQ(display.processedFiles, m_local.storeCount.load());
    EXPECT_EQ(display.errors, 0);
    EXPECT_EQ(CacheRows(), m_local.storeCount.load());
}

TEST_F(BackupRunTest, FourWorkersStoreEveryFileOnceAndTheCountsAndCacheAreExact)
{
    // 2,000 files: a flat folder of 1,500 and two levels below it.
    ASSERT_TRUE(MakeFolder(m_source));
    std::set<std::string> expected{std::string(m_source)};
    for (const char* folder : {"\\one", "\\one\\two"})
    {
        ASSERT_TRUE(MakeFolder(m_source + folder));
        expected.insert(std::string(m_source + folder));
    }
    for (int i = 0; i < 2000; ++i)
    {
        CString name;
        name.Format(i < 1500 ? "\\f%04d.txt" : i < 1800 ? "\\one\\f%04d.txt" : "\\one\\two\\f%04d.txt", i);
        ASSERT_TRUE(WriteTextFile(m_source + name, name));
        expected.insert(std::string(m_source + name));
    }
    AddSource(m_source);
    // Overlapping sources: the second one's files were stored by the first.
    AddSource(m_source + "\\one");
    m_local.delayMs = 1;
    ASSERT_EQ(Run(), kBackupCompleted);

    const std::vector<std::string> requests = m_local.Requests();
    EXPECT_EQ(requests.size(), expected.size());
    EXPECT_EQ(std::set<std::string>(requests.begin(), requests.end()), expected);
    // Stored on the workers, four at a time at most.
    EXPECT_GE(m_local.Threads().size(), 2u);
    EXPECT_EQ(m_local.Threads().count(m_context.backupWorker.GetThreadId()), 0u);
    EXPECT_GE(m_local.maxInFlight.load(), 2);
    EXPECT_LE(m_local.maxInFlight.load(), 4);

    // Every entry counted once: 2,003 of the first source and the 502 of
    // the second (its folder and what lies in it, skipped as unchanged).
    const RunDisplay shown = m_context.GetDisplay();
    EXPECT_EQ(shown.processedFiles, static_cast<LONG>(expected.size() + 502));
    EXPECT_EQ(shown.errors, 0);
    // One row per stored file, each with the stamp the file has.
    std::set<std::string> cached;
    {
        CSqlDB cache;
        cache.Open(GetCacheFilePath(m_destination));
        for (CSqlQuery rows = cache.Query("SELECT path, attrib_val FROM backup_cache;");
             !rows.IsEof(); rows.NextRow())
        {
            const CString path = rows.GetFieldText(0);
            CString stamp;
            ASSERT_TRUE(MakeFileStamp(path, stamp)) << static_cast<const char*>(path);
            EXPECT_STREQ(rows.GetFieldText(1), stamp);
            EXPECT_TRUE(cached.insert(std::string(path)).second);
        }
    }
    EXPECT_EQ(cached, expected);
    for (const std::string& path : expected)
        EXPECT_NE(GetFileAttributesA(Stored(path.c_str())), INVALID_FILE_ATTRIBUTES) << path;

    // Nothing changed: nothing is stored again, and everything is counted.
    m_local.TakeStored();
    ASSERT_EQ(Run(), kBackupCompleted);
    EXPECT_TRUE(m_local.TakeStored().empty());
    EXPECT_EQ(m_context.GetDisplay().processedFiles, static_cast<LONG>(expected.size() + 502));
    EXPECT_TRUE(LogText().IsEmpty()) << static_cast<const char*>(LogText());
}

TEST_F(BackupRunTest, OneWorkersFailedStoreIsCountedAndLoggedOnce)
{
    MakeFlatSource(60);
    const CString failing = m_source + "\\file17.txt";
    m_local.failing = static_cast<const char*>(failing);
    m_local.delayMs = 2;
    ASSERT_EQ(Run(), kBackupCompleted);
    const RunDisplay shown = m_context.GetDisplay();
    EXPECT_EQ(shown.processedFiles, 61);
    EXPECT_EQ(shown.errors, 1);
    const CString log = LogText();
    const CString line = CString("Error at: ") + failing + "\r\n";
    const int first = log.Find(line);
    EXPECT_NE(first, -1) << static_cast<const char*>(log);
    EXPECT_EQ(log.Find(line, first + 1), -1);
    EXPECT_EQ(log.Find("Error at:", first + 1), -1);
    EXPECT_EQ(CacheRows(), 60);
    EXPECT_EQ(GetFileAttributesA(Stored(failing)), INVALID_FILE_ATTRIBUTES);

    // Stored once it can be: the only store of the next run.
    m_local.failing.clear();
    m_local.TakeStored();
    ASSERT_EQ(Run(), kBackupCompleted);
    EXPECT_EQ(m_local.TakeStored(), std::set<std::string>{std::string(failing)});
    EXPECT_EQ(m_context.GetDisplay().errors, 0);
}

TEST_F(BackupRunTest, EveryWorkerRunsAtThePriorityOfTheSetting)
{
    MakeFlatSource(40);
    m_local.delayMs = 5;
    // Level 8: a normal process, threads below normal. The setting goes into
    // a user key of this process's own: runs of tests beside this one keep
    // their priority.
    UserKeyOverride user("priority");
    ASSERT_TRUE(user.IsActive());
    ASSERT_TRUE(WriteSettingDword(setting::PriorityLevel, 8));
    ASSERT_EQ(Run(), kBackupCompleted);
    EXPECT_GE(m_local.Threads().size(), 2u);
    EXPECT_EQ(m_local.Priorities(), std::set<int>{THREAD_PRIORITY_BELOW_NORMAL});
}

TEST_F(BackupRunTest, StopEndsTheRunWithoutCleanUpAndKeepsWhatWasStored)
{
    // 200 stores of 300 ms, four at a time: 15 s unless stopped.
    MakeFlatSource(200);
    const CString orphan = Stored(m_source + "\\gone.txt");
    ASSERT_TRUE(CreateFolderPath(orphan));
    ASSERT_TRUE(WriteTextFile(orphan, "gone"));
    m_local.delayMs = 300;
    ASSERT_EQ(m_context.StartBackup(false), RunStart::Started);
    ASSERT_TRUE(WaitUntil([this] { return m_local.storeCount.load() >= 8; }));
    // A paused run is let go, so it reaches its stop check.
    m_context.PauseBackup();
    const ULONGLONG stoppedAt = GetTickCount64();
    m_context.StopBackup();
    // Each worker ends the file it has begun, and no other: the run ends
    // within about one store (the limit tells a hang from a slow machine).
    ASSERT_EQ(WaitForSingleObject(m_context.backupWorker.GetThreadHandle(), 60000), WAIT_OBJECT_0);
    EXPECT_LT(GetTickCount64() - stoppedAt, 5000u);
    EXPECT_EQ(Collect(), kBackupStopped);
    const int stored = m_local.storeCount.load();
    EXPECT_LT(stored, 40);
    EXPECT_EQ(m_local.begun.load(), stored);
    // What was stored is counted and its rows are committed; the clean-up
    // did not run.
    EXPECT_EQ(m_context.GetDisplay().processedFiles, stored);
    EXPECT_EQ(m_context.GetDisplay().errors, 0);
    EXPECT_EQ(CacheRows(), stored);
    EXPECT_EQ(ReadTextFile(orphan), "gone");
}

TEST_F(BackupRunTest, TheWorkersStopEndsEveryRequestToTheServiceAtOnce)
{
    const std::string pipe = UniquePipeName("backup-stop");
    SetIpcPipeName(IpcPipe::Backup, pipe.c_str());
    CServiceInThisProcess serviceHere;
    {
        // One instance that takes a request and never answers: the other
        // workers wait for it in their retries (20 waits of 20 s), the one
        // it holds for its reply (a minute).
        CFakePipeServer server(pipe.c_str(), sizeof(IpcQueueRecord));
        server.NeverAnswer();
        MakeFlatSource(20);
        m_context.services = nullptr;
        ASSERT_EQ(m_context.StartBackup(false), RunStart::Started);
        ASSERT_TRUE(server.WaitRequests(1, 60000));
        Sleep(300);
        const ULONGLONG stoppedAt = GetTickCount64();
        m_context.backupWorker.Stop();
        EXPECT_LT(GetTickCount64() - stoppedAt, 10000u);
        EXPECT_EQ(Collect(), kBackupStopped);
        // Cut off by the stop: neither failed nor the service's fault.
        EXPECT_EQ(m_context.GetDisplay().errors, 0);
        EXPECT_EQ(m_context.GetDisplay().processedFiles, 0);
        EXPECT_EQ(LogText().Find(kServiceGoneLine), -1);
        EXPECT_EQ(server.RequestCount(), 1);
    }
    SetIpcPipeName(IpcPipe::Backup, kBackupPipeName);
}

TEST_F(BackupRunTest, TheWorkersShareConnectionsToTheServiceAndLetGoOfThemAtAPause)
{
    const std::string pipe = UniquePipeName("backup-kept");
    SetIpcPipeName(IpcPipe::Backup, pipe.c_str());
    CServiceInThisProcess serviceHere;
    {
        // One instance, 5 ms a request: long enough a run to pause it.
        CFakePipeServer server(pipe.c_str(), sizeof(IpcQueueRecord));
        server.Answer(StatusReply(0, sizeof(IpcQueueRecord)), 5);
        MakeFlatSource(200);
        m_context.services = nullptr;
        ASSERT_EQ(m_context.StartBackup(false), RunStart::Started);
        ASSERT_TRUE(server.WaitRequests(20, 60000));
        ASSERT_TRUE(m_context.PauseBackup());
        // Paused, the workers hold no connection and send nothing, once each
        // has ended the store it had begun (perhaps waiting for the one
        // instance).
        const auto noneHeld = [&] { return server.EndedCount() == server.ConnectionCount(); };
        EXPECT_TRUE(WaitUntil(noneHeld));
        Sleep(300);
        EXPECT_TRUE(WaitUntil(noneHeld));
        const int atPause = server.RequestCount();
        Sleep(300);
        EXPECT_EQ(server.RequestCount(), atPause);
        EXPECT_TRUE(noneHeld());

        ASSERT_TRUE(m_context.ResumeBackup());
        EXPECT_EQ(WaitForSingleObject(m_context.backupWorker.GetThreadHandle(), 120000),
                  WAIT_OBJECT_0);
        EXPECT_EQ(Collect(), kBackupCompleted);
        // The folder and its 200 files, each stored once.
        EXPECT_EQ(m_context.GetDisplay().processedFiles, 201);
        EXPECT_EQ(server.RequestCount(), 201);
        // Requests went several to a connection, and the run's end let go of
        // every one.
        EXPECT_LT(server.ConnectionCount(), 100);
        EXPECT_TRUE(WaitUntil([&] { return server.EndedCount() == server.ConnectionCount(); }));
    }
    SetIpcPipeName(IpcPipe::Backup, kBackupPipeName);
}

TEST_F(BackupRunTest, UnusableDestinationsAreRefused)
{
    MakeTree();
    AddSource(m_source);
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    const bool settingsBefore = GetFileAttributesA("Settings") != INVALID_FILE_ATTRIBUTES;

    struct Case
    {
        CString field;
        CString saved;
        int outcome;
        const char* line;
    } cases[] = {
        {"", m_destination, kBackupFailed, "Backup not started: \"\""},
        {"relative\\", m_destination, kBackupFailed, "Backup not started: \"relative\\\""},
        {m_destination, "", kBackupFailed, "Backup not started: \"\""},
        {m_destination, "\\\\?\\C:\\x\\", kBackupFailed, "Backup not started"},
        // A destination drive that is not there: the cache cannot be opened.
        {"Q:\\nowhere\\", "Q:\\nowhere\\", kBackupFailed, "Backup ended early"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(static_cast<const char*>(c.field + " | " + c.saved));
        DeleteFileA(m_log.GetCurrentFileName());
        m_context.destination = c.field;
        SaveSettings(c.saved, 0, 0);
        EXPECT_EQ(Run(), c.outcome);
        EXPECT_NE(LogText().Find(c.line), -1) << static_cast<const char*>(LogText());
        EXPECT_EQ(m_local.storeCount.load(), 0);
    }
    EXPECT_EQ(GetFileAttributesA("Settings") != INVALID_FILE_ATTRIBUTES, settingsBefore);
    EXPECT_EQ(GetFileAttributesA(CString(cwd) + "\\Files"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(BackupRunTest, ADestinationInsideTheSourceIsNotBackedUpIntoItself)
{
    MakeTree();
    AddSource(m_source);
    m_destination = m_source + "\\backup\\";
    m_context.destination = m_destination;
    SaveSettings(m_destination, 0, 0);
    for (int run = 0; run < 2; ++run)
        ASSERT_EQ(Run(), kBackupCompleted);
    EXPECT_NE(GetFileAttributesA(Stored(m_source + "\\plain.txt")), INVALID_FILE_ATTRIBUTES);
    // The backup's own folder stays out; the folder holding it is stored.
    EXPECT_EQ(GetFileAttributesA(Stored(m_destination + "Files")), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(Stored(m_destination + "Settings")), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA(Stored(m_source + "\\backup")), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(LogText().Find("Not backed up, a folder of the backup itself: "), -1);
    EXPECT_EQ(m_context.GetDisplay().errors, 0);
}

TEST_F(BackupRunTest, AServiceThatDoesNotAnswerIsAskedOnce)
{
    const std::string pipe = UniquePipeName("backup-run");
    SetIpcPipeName(IpcPipe::Backup, pipe.c_str());
    CServiceInThisProcess serviceHere;
    const PipePolicy stampPolicy = GetPipePolicy(PipeSender::FileStamp);
    const PipePolicy storePolicy = GetPipePolicy(PipeSender::StoreFile);
    PipePolicy quick = stampPolicy;
    quick.attempts = 1;
    quick.waitMs = 200;
    quick.exchangeMs = 300;
    quick.exchangeMsPerMiB = 0;
    SetPipePolicy(PipeSender::FileStamp, quick);
    SetPipePolicy(PipeSender::StoreFile, quick);
    {
        CFakePipeServer server(pipe.c_str(), sizeof(IpcQueueRecord));
        server.NeverAnswer();
        const std::vector<CString> entries = MakeTree();
        AddSource(m_source);
        m_context.services = nullptr; // the service's pipe and the in-process store

        // Nothing local was stored: the run failed.
        EXPECT_EQ(Run(), kBackupFailed);
        EXPECT_EQ(server.RequestCount(), 1);
        // Nothing local could be stored, and each entry says so.
        EXPECT_EQ(m_context.GetDisplay().errors, static_cast<LONG>(entries.size() + 1));
        const CString log = LogText();
        const int first = log.Find(kServiceGoneLine);
        EXPECT_NE(first, -1);
        EXPECT_EQ(log.Find(kServiceGoneLine, first + 1), -1);
        EXPECT_NE(log.Find(CString("Error at: ") + m_source + "\\plain.txt"), -1);
    }
    SetPipePolicy(PipeSender::FileStamp, stampPolicy);
    SetPipePolicy(PipeSender::StoreFile, storePolicy);
    SetIpcPipeName(IpcPipe::Backup, kBackupPipeName);
}

// A store whose reads fail, as a failing disk's: the source of this size.
constexpr LONGLONG kUnreadableSize = 12345;
bool FailReadsOfUnreadableSize(HANDLE source)
{
    LARGE_INTEGER size = {};
    return !GetFileSizeEx(source, &size) || size.QuadPart != kUnreadableSize;
}

// Every stored folder ends with its source folder's times and attributes:
// the four workers store the files into it after it was made, the clean-up
// deletes copies in it, and a failed store makes and removes its temporary
// file in it, all after the folder got its times.
TEST_F(BackupRunTest, EveryStoredFolderCarriesItsSourceFoldersTimes)
{
    const char* const folders[] = {"\\a\\b\\c", "\\a\\b", "\\a\\empty", "\\a", "\\h", ""};
    ASSERT_TRUE(MakeFolder(m_source));
    for (int i = 4; i >= 0; --i)
        ASSERT_TRUE(MakeFolder(m_source + folders[i]));
    for (int i = 0; i < 60; ++i)
    {
        CString name;
        name.Format("%s\\f%02d.txt", folders[i % 6 == 2 ? 0 : i % 6], i);
        ASSERT_TRUE(WriteBytes(m_source + name, Content(i, 100 + i)));
    }
    ASSERT_TRUE(SetFileAttributesA(m_source + "\\h", FILE_ATTRIBUTE_HIDDEN));
    // Old times, deepest first, once everything is in place.
    const auto setOldTimes = [&]
    {
        WORD day = 1;
        for (const char* folder : folders)
        {
            const SYSTEMTIME written = {2010, 2, 0, day, 11, 12, 13, 140};
            const SYSTEMTIME created = {2009, 1, 0, day++, 7, 8, 9, 100};
            FILETIME times[2];
            SystemTimeToFileTime(&written, &times[0]);
            SystemTimeToFileTime(&created, &times[1]);
            HANDLE file = CreateFileA(m_source + folder, FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            EXPECT_TRUE(SetFileTime(file, &times[1], nullptr, &times[0]));
            CloseHandle(file);
        }
    };
    setOldTimes();
    const auto expectSameTimes = [&]
    {
        for (const char* folder : folders)
        {
            const CString stored = Stored(m_source + folder);
            SCOPED_TRACE(static_cast<const char*>(stored));
            WIN32_FILE_ATTRIBUTE_DATA want, have;
            ASSERT_TRUE(GetFileAttributesExA(m_source + folder, GetFileExInfoStandard, &want));
            ASSERT_TRUE(GetFileAttributesExA(stored, GetFileExInfoStandard, &have));
            EXPECT_EQ(CompareFileTime(&have.ftLastWriteTime, &want.ftLastWriteTime), 0);
            EXPECT_EQ(CompareFileTime(&have.ftCreationTime, &want.ftCreationTime), 0);
            EXPECT_EQ(have.dwFileAttributes, want.dwFileAttributes);
        }
    };
    AddSource(m_source);
    ASSERT_EQ(m_context.storeWorkers, 4);
    ASSERT_EQ(Run(), kBackupCompleted);
    EXPECT_GE(m_local.maxInFlight.load(), 2);
    expectSameTimes();

    // A source file deleted: the clean-up deletes its copy, in a folder whose
    // source carries its old times again.
    const CString gone = m_source + "\\a\\b\\f01.txt";
    ASSERT_TRUE(DeleteFileA(gone));
    setOldTimes();
    ASSERT_EQ(Run(), kBackupCompleted);
    EXPECT_EQ(GetFileAttributesA(Stored(gone)), INVALID_FILE_ATTRIBUTES);
    expectSameTimes();

    // A changed file whose store fails: its temporary file came and went in
    // the stored folder.
    const CString unreadable = m_source + "\\a\\b\\c\\f00.txt";
    ASSERT_TRUE(WriteBytes(unreadable, Content(99, kUnreadableSize)));
    setOldTimes();
    m_local.TakeStored();
    SetSourceReadCheck(FailReadsOfUnreadableSize);
    ASSERT_EQ(Run(), kBackupCompleted);
    SetSourceReadCheck(nullptr);
    EXPECT_EQ(m_context.GetDisplay().errors, 1);
    EXPECT_EQ(m_local.TakeStored(), std::set<std::string>{std::string(unreadable)});
    expectSameTimes();
}

TEST(BackupRunParts, PathChecksAndCommandLines)
{
    for (const char* good : {"C:\\", "d:\\Backup\\", "\\\\srv\\share\\", "\\\\srv\\share"})
        EXPECT_TRUE(IsAbsoluteFolderPath(good)) << good;
    for (const char* bad : {"", "Backup\\", "C:Backup\\", "\\Backup\\", "\\\\srv\\", "\\\\srv",
                            "\\\\?\\C:\\x\\", "\\\\.\\C:\\", "\\\\srv\\\\x"})
        EXPECT_FALSE(IsAbsoluteFolderPath(bad)) << bad;

    EXPECT_TRUE(IsSameOrInside("C:\\Data\\Backup", "c:\\data\\backup"));
    EXPECT_TRUE(IsSameOrInside("C:\\Data\\Backup\\x.txt", "C:\\Data\\Backup"));
    EXPECT_FALSE(IsSameOrInside("C:\\Data\\Backups", "C:\\Data\\Backup"));
    EXPECT_FALSE(IsSameOrInside("C:\\Data", "C:\\Data\\Backup"));

    EXPECT_STREQ(VolumeInfoCommand('D', "ann smith", true),
                 "cacls \"D:\\System Volume Information\" /E /G \"ann smith\":F");
    EXPECT_STREQ(VolumeInfoCommand('D', "ann", false),
                 "cacls \"D:\\System Volume Information\" /E /R \"ann\"");
}

TEST(BackupRunParts, OnlyDrivesWalkedAtTheirRootGetTheVolumeInformationGrant)
{
    CArray<ProfileItem> items;
    auto add = [&](const char* path, int type, bool checked)
    {
        ProfileItem item;
        item.path = path;
        item.type = type;
        item.checked = checked;
        items.Add(item);
    };
    add("C:\\Users\\ann\\Documents", PROFILE_ITEM_FILES, true);
    add("\\\\srv\\share\\", PROFILE_ITEM_FILES, true);
    EXPECT_EQ(DrivesNeedingVolumeInfoAccess(items), 0u);
    add("d:\\", PROFILE_ITEM_FILES, true);
    add("E:\\System Volume Information\\x", PROFILE_ITEM_FILES, true);
    add("F:\\", PROFILE_ITEM_FILES, false);
    add("G:\\", PROFILE_ITEM_DATABASE, true);
    add("A:\\", PROFILE_ITEM_FILES, true);
    add("H:", PROFILE_ITEM_FILES, true);
    EXPECT_EQ(DrivesNeedingVolumeInfoAccess(items), (1u << 3) | (1u << 4) | (1u << 7));
}

TEST(BackupRunParts, PriorityLevels)
{
    const struct
    {
        DWORD level;
        DWORD priorityClass;
        int thread;
    } table[] = {
        {1, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_IDLE},
        {2, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_LOWEST},
        {3, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_BELOW_NORMAL},
        {4, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_NORMAL},
        {5, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_ABOVE_NORMAL},
        {6, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_HIGHEST},
        {7, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_LOWEST},
        {8, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_BELOW_NORMAL},
        {9, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_NORMAL},
        {10, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_ABOVE_NORMAL},
        {11, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_HIGHEST},
        {0, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_HIGHEST},
    };
    for (const auto& row : table)
    {
        DWORD priorityClass = 0;
        int thread = 99;
        PriorityForLevel(row.level, priorityClass, thread);
        EXPECT_EQ(priorityClass, row.priorityClass) << row.level;
        EXPECT_EQ(thread, row.thread) << row.level;
    }
    // Applied for real: level 6 is the idle class with the highest thread.
    ApplyPriorityLevel(6);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(IDLE_PRIORITY_CLASS));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_HIGHEST);
    ApplyPriorityLevel(9);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
}

// One listing per stored folder answers for the names it holds as listed;
// the file system answers the rest: a name in another case, a copy made
// since the listing, a copy that is not there.
TEST(StoredTree, StoredCopiesAreListedOncePerFolderAndAskedOtherwise)
{
    TempFolder folder("storedcopies");
    ASSERT_TRUE(MakeFolder(folder / "a"));
    ASSERT_TRUE(MakeFolder(folder / "b"));
    ASSERT_TRUE(WriteTextFile(folder / "a\\one.txt", "1"));
    ASSERT_TRUE(WriteTextFile(folder / "b\\two.txt", "2"));
    CStoredCopies copies;
    EXPECT_TRUE(copies.Exists(folder / "a\\one.txt"));
    EXPECT_TRUE(copies.Exists(folder / "a\\ONE.TXT"));
    ASSERT_TRUE(WriteTextFile(folder / "a\\late.txt", "made after the listing"));
    EXPECT_TRUE(copies.Exists(folder / "a\\late.txt"));
    EXPECT_FALSE(copies.Exists(folder / "a\\two.txt"));
    EXPECT_TRUE(copies.Exists(folder / "b\\two.txt"));
    EXPECT_FALSE(copies.Exists(folder / "b\\one.txt"));
    EXPECT_FALSE(copies.Exists(folder / "missing\\one.txt"));
    EXPECT_TRUE(copies.Exists(folder / "a")) << "a folder is listed in its parent";
}

TEST(StoredTree, PathsMapBackToTheirSources)
{
    CString source("untouched");
    EXPECT_FALSE(MapStoredPathToSource("C", source));
    EXPECT_FALSE(MapStoredPathToSource("NETWK-QUARZL-srv", source));
    EXPECT_STREQ(source, "untouched");
    const struct
    {
        const char* relative;
        const char* source;
        const char* root;
    } cases[] = {
        {"C\\x", "C:\\x", "C:\\"},
        {"E\\dir\\it's a file.txt", "E:\\dir\\it's a file.txt", "E:\\"},
        {"NETWK-QUARZL-srv\\share", "\\\\srv\\share", "\\\\srv\\share\\"},
        {"NETWK-QUARZL-srv\\share\\d\\f", "\\\\srv\\share\\d\\f", "\\\\srv\\share\\"},
        // A local folder that holds the marker in its name stays local.
        {"C\\NETWK-QUARZL-x\\f", "C:\\NETWK-QUARZL-x\\f", "C:\\"},
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE(MapStoredPathToSource(c.relative, source)) << c.relative;
        EXPECT_STREQ(source, c.source);
        EXPECT_STREQ(SourceRootOf(source), c.root);
        // And forward again to the same stored path.
        EXPECT_STREQ(StoredCopyPath("R\\", source), CString("R\\") + c.relative);
    }
}

// The listing of the first run, replayed to the second: a file system whose
// directory entries lag behind (NTFS, for a file a writer holds open).
std::vector<std::pair<std::string, std::vector<WalkEntry>>> g_listings;
bool g_replayListings = false;
void RecordOrReplayListing(const char* pattern, std::vector<WalkEntry>& entries, size_t first)
{
    for (auto& listing : g_listings)
    {
        if (listing.first == pattern)
        {
            if (g_replayListings)
            {
                entries.resize(first);
                entries.insert(entries.end(), listing.second.begin(), listing.second.end());
            }
            return;
        }
    }
    g_listings.emplace_back(pattern, std::vector<WalkEntry>(entries.begin() + first, entries.end()));
}

// A changed file whose listing is stale is stored all the same: its stamp
// comes from its own record, not from the listing.
TEST_F(BackupRunTest, AFileWhoseListingIsStaleIsStoredByItsOwnRecord)
{
    MakeFlatSource(3);
    const CString file = m_source + "\\file01.txt";
    SetOldTime(file, 1);
    g_listings.clear();
    g_replayListings = false;
    SetListingHook(RecordOrReplayListing);
    ASSERT_EQ(Run(), kBackupCompleted);
    ASSERT_EQ(m_local.storeCount.load(), 4);
    EXPECT_STREQ(ReadTextFile(Stored(file)), "x");
    m_local.TakeStored();

    // The file changes (size and time); the listing still tells the old ones.
    ASSERT_TRUE(WriteTextFile(file, "changed while listed as before"));
    SetOldTime(file, 2);
    g_replayListings = true;
    ASSERT_EQ(Run(), kBackupCompleted);
    SetListingHook(nullptr);
    EXPECT_STREQ(ReadTextFile(Stored(file)), "changed while listed as before");
    const std::set<std::string> stored = m_local.TakeStored();
    EXPECT_EQ(stored.count(std::string(file)), 1u);
    EXPECT_EQ(stored.count(std::string(m_source + "\\file00.txt")), 0u);
}

// One run at a time: a restore is refused while a backup runs, a backup
// while a restore runs, each with its reason; the flags stay the running
// run's.
TEST_F(BackupRunTest, ARestoreIsRefusedWhileABackupRunsAndTheReverse)
{
    MakeFlatSource(40);
    m_local.delayMs = 20;
    ASSERT_EQ(m_context.StartBackup(false), RunStart::Started);
    ASSERT_TRUE(WaitUntil([this] { return m_local.storeCount.load() >= 2; }));
    m_context.whatPath = Tree();
    m_context.wherePath = m_folder / "back\\";
    EXPECT_EQ(m_context.StartRestore(), RunStart::BackupActive);
    EXPECT_STRNE(DescribeRunStart(RunStart::BackupActive), "");
    EXPECT_EQ(m_context.restoreWorker.GetThreadHandle(), nullptr);
    EXPECT_EQ(m_context.engineBusy.load(), 1);
    m_context.StopBackup();
    ASSERT_EQ(WaitForSingleObject(m_context.backupWorker.GetThreadHandle(), 60000), WAIT_OBJECT_0);
    // Ended but not collected: still the backup's.
    EXPECT_EQ(m_context.StartRestore(), RunStart::BackupActive);
    EXPECT_EQ(Collect(), kBackupStopped);

    // A restore that waits on a service that never answers.
    const std::string pipe = UniquePipeName("run-rule");
    SetIpcPipeName(IpcPipe::Backup, pipe.c_str());
    CServiceInThisProcess serviceHere;
    const PipePolicy saved = GetPipePolicy(PipeSender::RestoreFile);
    PipePolicy slow = saved;
    slow.attempts = 1;
    slow.waitMs = 200;
    slow.exchangeMs = 600000;
    SetPipePolicy(PipeSender::RestoreFile, slow);
    {
        CFakePipeServer server(pipe.c_str(), sizeof(IpcQueueRecord));
        server.NeverAnswer();
        ASSERT_EQ(m_context.StartRestore(), RunStart::Started);
        EXPECT_EQ(m_context.StartBackup(false), RunStart::RestoreActive);
        EXPECT_EQ(m_context.StartRestore(), RunStart::RestoreActive);
        ASSERT_TRUE(server.WaitRequests(1));
        EXPECT_EQ(m_context.StartBackup(false), RunStart::RestoreActive);
        EXPECT_EQ(m_context.engineBusy.load(), 1);
        m_context.restoreWorker.Stop();
    }
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, m_window, WM_RESTORE_FINISHED, WM_RESTORE_FINISHED,
                             PM_REMOVE));
    EXPECT_EQ(message.wParam, static_cast<WPARAM>(kBackupStopped));
    SetPipePolicy(PipeSender::RestoreFile, saved);
    SetIpcPipeName(IpcPipe::Backup, kBackupPipeName);
    // Free again: a backup starts.
    EXPECT_EQ(m_context.engineBusy.load(), 0);
    EXPECT_EQ(Run(), kBackupCompleted);
}
} // namespace
