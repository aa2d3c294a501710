#include "engine/BackupCache.h"
#include "engine/BackupOneFile.h"
#include "engine/FileStamp.h"
#include "engine/FileStoreService.h"
#include "engine/FileSystem.h"
#include "engine/PipeClient.h"
#include "engine/SqlDB.h"
#include "engine/StoredFile.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/ServiceInThisProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// Stamps real files and stores them by copying to their stored path; either
// can be made to fail.
class FakeStoreService : public IFileStoreService
{
public:
    bool GetFileStamp(const char* path, CString& stamp) override
    {
        stamped.push_back(path);
        return stampWorks && MakeFileStamp(path, stamp);
    }
    bool StoreFile(const char* source, const char* treeRoot, int compress, int encrypt,
                   const char* password) override
    {
        stored.push_back(source);
        lastRoot = treeRoot;
        lastSettings = std::to_string(compress) + std::to_string(encrypt) + password;
        if (!storeWorks)
            return false;
        const CString target = StoredCopyPath(treeRoot, source);
        CreateFolderPath(target);
        return CopyFileA(source, target, FALSE) != FALSE;
    }

    bool stampWorks = true;
    bool storeWorks = true;
    std::vector<std::string> stamped, stored;
    std::string lastRoot, lastSettings;
};

class FakeReport : public IBackupFileReport
{
public:
    void FileStarted(const char* path) override
    {
        ++processed;
        shown = path;
    }
    void FileFailed(const char*) override { ++errors; }
    void WriteLog(const char* text) override { log.push_back(text); }
    CString GetLanguageText(const char* key, const char* englishDefault) override
    {
        return CString(key) == kErrorAtKey ? CString("Fehler bei:") : CString(englishDefault);
    }

    long processed = 0;
    long errors = 0;
    std::string shown;
    std::vector<std::string> log;
};

class BackupOneFileTest : public ::testing::Test
{
protected:
    BackupOneFileTest() : folder("decide"), source(folder / "it's;1.txt")
    {
        MakeFolder(folder / "Settings");
        const CString file = GetCacheFilePath(folder.Path() + "\\");
        CreateCacheIfMissing(file);
        cache.Open(file);
        settings.treeRoot = folder.Path() + "\\Files\\";
        WriteTextFile(source, "first");
        SetTime(source, 100);
    }

    int Backup(const char* path) { return BackupOneFile(report, services, cache, settings, path); }

    // The stamps the cache holds for the path.
    std::vector<std::string> Rows(const char* path)
    {
        std::vector<std::string> rows;
        CString sql;
        sql.Format("SELECT attrib_val FROM backup_cache WHERE path='%s';",
                   (const char*)CachePathEscape(path));
        for (CSqlQuery q = cache.Query(sql); !q.IsEof(); q.NextRow())
            rows.push_back(q.GetFieldText(0));
        return rows;
    }

    std::string Stamp(const char* path)
    {
        CString stamp;
        MakeFileStamp(path, stamp);
        return (const char*)stamp;
    }

    // Every time of the file at a fixed moment plus `ms` milliseconds.
    static void SetTime(const char* path, int ms)
    {
        const FILETIME t = testfiles::MakeTime(2012, 12, 12, 12, 0, 0, (WORD)ms);
        testfiles::SetTimes(path, {t, t, t});
    }

    TempFolder folder;
    CString source;
    CSqlDB cache;
    FakeStoreService local, network;
    BackupFileServices services{local, network};
    BackupStoreSettings settings;
    FakeReport report;
};
} // namespace

TEST_F(BackupOneFileTest, UnchangedFilesAreSkippedAndChangesStoredAgain)
{
    EXPECT_EQ(Backup(source), kBackupFileDone);
    ASSERT_EQ(local.stored.size(), 1u);
    EXPECT_EQ(Rows(source), std::vector<std::string>{Stamp(source)});

    // Unchanged: not stored, even with other store settings (the key is the
    // path alone).
    settings.compress = 1;
    EXPECT_EQ(Backup(source), kBackupFileDone);
    EXPECT_EQ(local.stored.size(), 1u);

    // A later last-write time, another size, another attribute: each is
    // stored again and leaves one row with the new stamp.
    SetTime(source, 101);
    EXPECT_EQ(Backup(source), kBackupFileDone);
    EXPECT_EQ(local.stored.size(), 2u);
    EXPECT_EQ(Rows(source), std::vector<std::string>{Stamp(source)});

    WriteTextFile(source, "second");
    SetTime(source, 101);
    EXPECT_EQ(Backup(source), kBackupFileDone);
    EXPECT_EQ(local.stored.size(), 3u);

    SetFileAttributesA(source, FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Backup(source), kBackupFileDone);
    EXPECT_EQ(local.stored.size(), 4u);
    EXPECT_EQ(Rows(source), std::vector<std::string>{Stamp(source)});
    SetFileAttributesA(source, FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(report.processed, 5);
    EXPECT_EQ(report.shown, std::string(source));
    EXPECT_EQ(report.errors, 0);
    EXPECT_TRUE(report.log.empty());
    EXPECT_EQ(local.lastSettings, "10");
}

TEST_F(BackupOneFileTest, WithoutAStampTheFileIsStoredEveryTimeAndNeverCached)
{
    // An old cache may hold a row with an empty stamp.
    RecordCachedStamp(cache, CachePathEscape(source), "");
    local.stampWorks = false;
    EXPECT_EQ(Backup(source), kBackupFileDone);
    EXPECT_EQ(Backup(source), kBackupFileDone);
    EXPECT_EQ(local.stored.size(), 2u);
    EXPECT_TRUE(Rows(source).empty());

    // Without a stamp and without a store (no service): counted failed.
    local.storeWorks = false;
    EXPECT_EQ(Backup(source), kBackupFileFailed);
    EXPECT_EQ(report.errors, 1);
}

TEST_F(BackupOneFileTest, FailedStoreIsLoggedCountedAndKeepsNoRow)
{
    EXPECT_EQ(Backup(source), kBackupFileDone);
    SetTime(source, 200);
    local.storeWorks = false;
    EXPECT_EQ(Backup(source), kBackupFileFailed);

    EXPECT_EQ(report.errors, 1);
    ASSERT_EQ(report.log.size(), 1u);
    EXPECT_EQ(report.log[0], "Fehler bei: " + std::string(source) + "\r\n\r\n");
    EXPECT_TRUE(Rows(source).empty());
    // The stored copy of the first run is still there.
    EXPECT_STREQ(ReadTextFile(StoredCopyPath(settings.treeRoot, source)), "first");

    // The next run tries again.
    local.storeWorks = true;
    EXPECT_EQ(Backup(source), kBackupFileDone);
    EXPECT_EQ(local.stored.size(), 3u);
    EXPECT_EQ(Rows(source), std::vector<std::string>{Stamp(source)});
}

TEST_F(BackupOneFileTest, RowWithoutItsStoredCopyDoesNotSkip)
{
    EXPECT_EQ(Backup(source), kBackupFileDone);
    ASSERT_TRUE(DeleteFileA(StoredCopyPath(settings.treeRoot, source)));
    EXPECT_EQ(Backup(source), kBackupFileDone);
    EXPECT_EQ(local.stored.size(), 2u);
    EXPECT_STREQ(ReadTextFile(StoredCopyPath(settings.treeRoot, source)), "first");
    EXPECT_EQ(Rows(source).size(), 1u);
}

TEST_F(BackupOneFileTest, NetworkPathsGoToTheInProcessService)
{
    settings.password = "pw";
    settings.encrypt = 1;
    // Wine has no network redirector: the path cannot be stamped or stored
    // here, which makes it a failure of the network service alone.
    network.storeWorks = false;
    EXPECT_EQ(Backup("\\\\srv\\share\\f.txt"), kBackupFileFailed);
    EXPECT_EQ(network.stamped, std::vector<std::string>{"\\\\srv\\share\\f.txt"});
    EXPECT_EQ(network.stored, std::vector<std::string>{"\\\\srv\\share\\f.txt"});
    EXPECT_EQ(network.lastRoot, std::string(settings.treeRoot));
    EXPECT_EQ(network.lastSettings, "01pw");
    EXPECT_TRUE(local.stamped.empty());
    EXPECT_TRUE(local.stored.empty());

    EXPECT_EQ(Backup(source), kBackupFileDone);
    EXPECT_EQ(local.stored.size(), 1u);
    EXPECT_EQ(network.stored.size(), 1u);
}

namespace
{
// Every drive letter plays a drive mapped to a share.
UINT EveryDriveMapped(const char*)
{
    return DRIVE_REMOTE;
}
} // namespace

// The service never touches the network: a file on a mapped drive, and any
// file when the stored-file tree is on a share, is stored in this process.
TEST_F(BackupOneFileTest, MappedDrivesAndNetworkTreesGoToTheInProcessService)
{
    SetDriveTypeProbe(EveryDriveMapped);
    EXPECT_EQ(Backup(source), kBackupFileDone);
    SetDriveTypeProbe(nullptr);
    EXPECT_EQ(network.stored, std::vector<std::string>{std::string(source)});
    EXPECT_TRUE(local.stored.empty());

    WriteTextFile(source, "changed");
    settings.treeRoot = "\\\\nas\\backup\\Files\\";
    network.storeWorks = false;
    EXPECT_EQ(Backup(source), kBackupFileFailed);
    EXPECT_EQ(network.stored.size(), 2u);
    EXPECT_EQ(network.lastRoot, "\\\\nas\\backup\\Files\\");
    EXPECT_TRUE(local.stored.empty());
}

// A network file that vanished between the walk and its store is a failed
// store, logged and counted, and leaves no folder of its name (which would
// stand in the way of the file when it comes back).
TEST_F(BackupOneFileTest, VanishedNetworkFileFailsAndLeavesNoFolder)
{
    CDirectFileService direct;
    BackupFileServices real{local, direct};
    const CString gone = folder / "gone.txt";
    SetDriveTypeProbe(EveryDriveMapped);
    EXPECT_EQ(BackupOneFile(report, real, cache, settings, gone), kBackupFileFailed);
    SetDriveTypeProbe(nullptr);
    EXPECT_TRUE(local.stored.empty());
    EXPECT_EQ(::GetFileAttributesA(StoredCopyPath(settings.treeRoot, gone)),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(report.errors, 1);
    EXPECT_TRUE(Rows(gone).empty());
    EXPECT_FALSE(direct.StoreFile(gone, settings.treeRoot, 0, 0, ""));
    EXPECT_EQ(::GetFileAttributesA(StoredCopyPath(settings.treeRoot, gone)),
              INVALID_FILE_ATTRIBUTES);
}

TEST(StoredCopyPathTest, MapsDrivesAndShares)
{
    EXPECT_STREQ(StoredCopyPath("D:\\bk\\Files\\", "E:\\dir\\f"), "D:\\bk\\Files\\E\\dir\\f");
    EXPECT_STREQ(StoredCopyPath("D:\\bk\\Files\\", "E:"), "D:\\bk\\Files\\E");
    EXPECT_STREQ(StoredCopyPath("D:\\bk\\Files\\", "\\\\srv\\share\\f"),
                 "D:\\bk\\Files\\NETWK-QUARZL-srv\\share\\f");
    // Only the first ":" or "\\" is mapped; a path without ":" is appended.
    EXPECT_STREQ(StoredCopyPath("R\\", "\\\\srv\\a\\\\b"), "R\\NETWK-QUARZL-srv\\a\\\\b");
    EXPECT_STREQ(StoredCopyPath("R\\", "dir\\f"), "R\\dir\\f");
    EXPECT_TRUE(IsNetworkPath("\\\\s"));
    EXPECT_FALSE(IsNetworkPath("\\\\"));
    EXPECT_FALSE(IsNetworkPath("C:\\x"));
}

TEST_F(BackupOneFileTest, InProcessStoreOfALockedSourceKeepsTheLastGoodCopy)
{
    CDirectFileService direct;
    BackupFileServices real{direct, direct};
    const CString copy = StoredCopyPath(settings.treeRoot, source);
    EXPECT_EQ(BackupOneFile(report, real, cache, settings, source), kBackupFileDone);
    EXPECT_STREQ(ReadTextFile(copy), "first");
    EXPECT_EQ(BackupOneFile(report, real, cache, settings, source), kBackupFileDone);

    // Another program holds the changed source without sharing: it is
    // stamped from its record but cannot be read, so the file fails and the
    // earlier copy stays.
    WriteTextFile(source, "second");
    HANDLE locked = CreateFileA(source, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(BackupOneFile(report, real, cache, settings, source), kBackupFileFailed);
    CloseHandle(locked);
    EXPECT_STREQ(ReadTextFile(copy), "first");
    EXPECT_TRUE(Rows(source).empty());
    EXPECT_EQ(report.errors, 1);

    EXPECT_EQ(BackupOneFile(report, real, cache, settings, source), kBackupFileDone);
    EXPECT_STREQ(ReadTextFile(copy), "second");
    EXPECT_EQ(Rows(source), std::vector<std::string>{Stamp(source)});
}

TEST_F(BackupOneFileTest, ThroughThePipeOnlyAnAnsweredStoreCounts)
{
    const std::string pipe = UniquePipeName("decide");
    SetIpcPipeName(IpcPipe::Backup, pipe.c_str());
    CServiceInThisProcess serviceHere;
    const PipeSender senders[] = {PipeSender::FileStamp, PipeSender::StoreFile};
    PipePolicy saved[2];
    for (int i = 0; i < 2; ++i)
    {
        saved[i] = GetPipePolicy(senders[i]);
        PipePolicy quick = saved[i];
        quick.attempts = 1;
        quick.waitMs = 200;
        quick.exchangeMs = 2000;
        quick.exchangeMsPerMiB = 0;
        SetPipePolicy(senders[i], quick);
    }
    const char* serviceStamp = "20240307123456789-32-5";

    {
        // The service's part: stamps with a fixed text and stores by writing
        // the stored copy.
        CFakePipeServer server(pipe.c_str(), sizeof(IpcQueueRecord));
        server.Answer(
            [&](const std::string& request)
            {
                std::string reply = request;
                reply.resize(sizeof(IpcQueueRecord));
                WriteU32(reply, offsetof(IpcQueueRecord, command), IPC_STATUS_OK);
                if (ReadU32(request, 0) == BACKUP_FILE_STAMP)
                {
                    WriteU32(reply, offsetof(IpcQueueRecord, result), 1);
                    reply.replace(offsetof(IpcQueueRecord, text1), strlen(serviceStamp) + 1,
                                  serviceStamp, strlen(serviceStamp) + 1);
                }
                else
                {
                    const CString copy = StoredCopyPath(
                        ReadText(request, offsetof(IpcQueueRecord, text1), 1024).c_str(),
                        ReadText(request, offsetof(IpcQueueRecord, text3), 4096).c_str());
                    CreateFolderPath(copy);
                    WriteU32(reply, offsetof(IpcQueueRecord, result),
                             WriteTextFile(copy, "copy") ? 0 : 1);
                }
                return reply;
            });
        CPipeFileService service;
        BackupFileServices piped{service, network};
        EXPECT_EQ(BackupOneFile(report, piped, cache, settings, source), kBackupFileDone);
        EXPECT_EQ(Rows(source), std::vector<std::string>{serviceStamp});
        EXPECT_EQ(BackupOneFile(report, piped, cache, settings, source), kBackupFileDone);
        // Stamp, store, stamp: the second time the file was unchanged.
        EXPECT_EQ(server.RequestCount(), 3);
    }

    // No service: no stamp, no store, one failure and no row.
    CPipeFileService service;
    BackupFileServices piped{service, network};
    EXPECT_EQ(BackupOneFile(report, piped, cache, settings, source), kBackupFileFailed);
    EXPECT_EQ(report.errors, 1);
    EXPECT_TRUE(Rows(source).empty());

    SetIpcPipeName(IpcPipe::Backup, kBackupPipeName);
    for (int i = 0; i < 2; ++i)
        SetPipePolicy(senders[i], saved[i]);
}
