#include "service/BackupRequests.h"

#include "engine/BackupOneFile.h"
#include "engine/FileStamp.h"
#include "engine/FileSystem.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace
{
// The client as a test plays it: it may refuse to be acted as, and runs a
// check at the moment the service becomes it.
class CFakeClient : public IBackupClient
{
public:
    bool Impersonate() override
    {
        ++impersonations;
        if (atImpersonation)
            atImpersonation();
        return allow;
    }
    bool Revert() override
    {
        ++reverts;
        return true;
    }
    // Only while acted as; a path in `hidden` is one the client cannot see.
    bool ReadAttributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA& data) override
    {
        EXPECT_GT(impersonations, reverts) << "looked at while the thread is the service";
        ++looks;
        for (const CString& secret : hidden)
            if (secret.CompareNoCase(path) == 0)
                return false;
        if (!IBackupClient::ReadAttributes(path, data))
            return false;
        if (atLook)
            atLook(data);
        return true;
    }

    bool allow = true;
    int impersonations = 0;
    int reverts = 0;
    int looks = 0;
    std::vector<CString> hidden;
    std::function<void()> atImpersonation;
    // Changes what the client sees, as a path swapped between two looks.
    std::function<void(WIN32_FILE_ATTRIBUTE_DATA&)> atLook;
};

// Drive M: plays a drive mapped to a share.
UINT MappedDriveM(const char* root)
{
    return (root[0] == 'M' || root[0] == 'm') ? DRIVE_REMOTE : DRIVE_FIXED;
}

std::unique_ptr<IpcQueueRecord> Request(uint32_t command, const char* path, const char* root,
                                        const char* password = "", uint32_t compress = 0,
                                        uint32_t encrypt = 0)
{
    auto record = std::make_unique<IpcQueueRecord>();
    std::memset(record.get(), 0, sizeof(IpcQueueRecord));
    record->command = command;
    IpcCopyText(record->text3, path);
    IpcCopyText(record->text1, root);
    IpcCopyText(record->text2, password);
    record->compress = compress;
    record->encrypt = encrypt;
    return record;
}

// The result of a request that must be answered.
uint32_t Serve(IpcQueueRecord& record, IBackupClient& client)
{
    EXPECT_EQ(ServeBackupRequest(record, client), BackupServed::Reply);
    EXPECT_EQ(record.command, IPC_STATUS_OK);
    return record.result;
}

// Whether another process could open the file for itself alone right now:
// not while the service holds it open.
bool IsOpenElsewhere(const char* path)
{
    HANDLE file = ::CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_SHARING_VIOLATION;
    ::CloseHandle(file);
    return false;
}

ULONGLONG LastWrite(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ::GetFileAttributesExA(path, GetFileExInfoStandard, &data);
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

TEST(BackupRequestPaths, OnlyPlainAbsoluteDriveAndUncPathsPass)
{
    for (const char* path : {"C:\\", "c:/data/file.txt", "D:\\Backup\\Files\\", "\\\\srv\\share",
                             "\\\\srv\\share\\dir\\f", "C:\\a.b\\.hidden\\x..y"})
        EXPECT_TRUE(IsAcceptedRequestPath(path)) << path;
    for (const char* path : {"", "dir\\file", "\\dir\\file", "C:file", "C:", "\\\\", "\\\\srv",
                             "\\\\srv\\", "\\\\?\\C:\\x", "//?/C:/x", "\\\\.\\PhysicalDrive0",
                             "\\??\\C:\\x", "C:\\a\\..\\b", "C:/a/..", "\\\\srv\\share\\..\\x",
                             "C:\\a\\...\\b", "C:\\a\\. .\\b", "C:\\file.txt:stream", "C:\\a:b\\c"})
        EXPECT_FALSE(IsAcceptedRequestPath(path)) << path;
}

TEST(BackupRequests, StoreReadsAsTheServiceWritesAsTheClientAndRestoresIdentically)
{
    TempFolder folder("backupreq");
    const CString source = folder / "My Data\\report.txt";
    ASSERT_TRUE(MakeFolder(folder / "My Data"));
    ASSERT_TRUE(WriteTextFile(source, "the report, long enough to be worth compressing"));
    ASSERT_TRUE(::SetFileAttributesA(source, FILE_ATTRIBUTE_HIDDEN));
    const CString root = folder / "Files\\";
    const CString stored = StoredCopyPath(root, source);
    const CString target = folder / "Back\\";
    const CString restored = StoredCopyPath(target, stored);

    const struct
    {
        uint32_t compress, encrypt;
    } forms[] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    for (const auto& form : forms)
    {
        SCOPED_TRACE(form.compress * 2 + form.encrypt);
        CFakeClient client;
        // The service has the source open before it acts as the client, who
        // then looks at it.
        client.atImpersonation = [&] { EXPECT_TRUE(IsOpenElsewhere(source)); };
        auto store = Request(BACKUP_STORE, source, root, "pw", form.compress, form.encrypt);
        EXPECT_EQ(Serve(*store, client), 0u);
        EXPECT_EQ(client.impersonations, 1);
        EXPECT_EQ(client.reverts, 1);
        EXPECT_EQ(client.looks, 1);
        EXPECT_EQ(std::string(ReadFileStart(stored, 3)) == "BZh", form.compress && !form.encrypt);
        EXPECT_EQ(ReadTextFile(stored) == ReadTextFile(source), !form.compress && !form.encrypt);

        // A restore is the client's on both sides: nothing is open yet.
        client.atImpersonation = [&] { EXPECT_FALSE(IsOpenElsewhere(stored)); };
        auto restore = Request(BACKUP_RESTORE, stored, target, "pw", form.compress, form.encrypt);
        EXPECT_EQ(Serve(*restore, client), 0u);
        EXPECT_EQ(client.reverts, 2);
        EXPECT_STREQ(ReadTextFile(restored), ReadTextFile(source));
        EXPECT_EQ(::GetFileAttributesA(restored), ::GetFileAttributesA(source));
        EXPECT_EQ(LastWrite(restored), LastWrite(source));
    }
}

TEST(BackupRequests, StoresOfOneFileFromTwoClientsAtOnceBothSucceed)
{
    // The BACKUP pipe serves several clients at once; two asking for the
    // same stored file must not make each other's store fail.
    TempFolder folder("backupboth");
    const CString source = folder / "shared.bin";
    ASSERT_TRUE(WriteTextFile(source, std::string(2 << 20, 's').c_str()));
    const CString root = folder / "Files\\";
    for (int round = 0; round < 8; ++round)
    {
        SCOPED_TRACE(round);
        uint32_t results[2] = {9, 9};
        std::thread clients[2];
        for (int i = 0; i < 2; ++i)
            clients[i] = std::thread(
                [&, i]
                {
                    CFakeClient client;
                    auto store = Request(BACKUP_STORE, source, root);
                    results[i] = ServeBackupRequest(*store, client) == BackupServed::Reply
                                     ? store->result
                                     : 8;
                });
        for (std::thread& client : clients)
            client.join();
        EXPECT_EQ(results[0], 0u);
        EXPECT_EQ(results[1], 0u);
    }
    EXPECT_STREQ(ReadTextFile(StoredCopyPath(root, source)), ReadTextFile(source));
}

TEST(BackupRequests, EveryFailureRepliesOneAndKeepsTheEarlierStoredCopy)
{
    TempFolder folder("backupfail");
    const CString source = folder / "a.txt";
    ASSERT_TRUE(WriteTextFile(source, "first"));
    const CString root = folder / "Files\\";
    const CString stored = StoredCopyPath(root, source);
    CFakeClient client;
    ASSERT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 0u);
    ASSERT_TRUE(WriteTextFile(source, "second"));

    // Refused paths: the client is never even acted as.
    for (const char* path : {"a.txt", "C:\\bwtest\\..\\a.txt", "\\\\?\\C:\\a.txt"})
        EXPECT_EQ(Serve(*Request(BACKUP_STORE, path, root), client), 1u) << path;
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, "Files\\"), client), 1u);
    EXPECT_EQ(Serve(*Request(BACKUP_RESTORE, stored, folder / "x\\..\\"), client), 1u);
    EXPECT_EQ(client.impersonations, 1);

    // A source that cannot be read, a client that cannot be acted as, and a
    // request that breaks off: the earlier stored copy stays.
    HANDLE locked = ::CreateFileA(source, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 1u);
    ::CloseHandle(locked);
    client.allow = false;
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 1u);
    EXPECT_EQ(client.looks, 1) << "no look without acting as the client, nor at a locked file";
    EXPECT_EQ(Serve(*Request(BACKUP_RESTORE, stored, folder / "Back\\"), client), 1u);
    EXPECT_EQ(::GetFileAttributesA(folder / "Back"), INVALID_FILE_ATTRIBUTES);
    client.allow = true;
    client.atImpersonation = [] { throw std::runtime_error("broken"); };
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 1u);
    EXPECT_STREQ(ReadTextFile(stored), "first");
    client.atImpersonation = nullptr;

    // A vanished source is a failure, never a folder of its name.
    const CString gone = folder / "gone.txt";
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, gone, root), client), 1u);
    EXPECT_EQ(::GetFileAttributesA(StoredCopyPath(root, gone)), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Serve(*Request(BACKUP_RESTORE, StoredCopyPath(root, gone), root), client), 1u);

    // A folder is stored as a folder.
    ASSERT_TRUE(MakeFolder(folder / "empty"));
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, folder / "empty", root), client), 0u);
    EXPECT_TRUE(::GetFileAttributesA(StoredCopyPath(root, folder / "empty")) &
                FILE_ATTRIBUTE_DIRECTORY);
}

TEST(BackupRequests, StampOfAFileOrNoneAndUnknownCommandsGetNoReply)
{
    TempFolder folder("backupstamp");
    const CString file = folder / "f.bin";
    ASSERT_TRUE(WriteTextFile(file, "12345"));
    CFakeClient client;
    auto stamp = Request(BACKUP_FILE_STAMP, file, "sent");
    EXPECT_EQ(Serve(*stamp, client), 1u);
    CString expected;
    ASSERT_TRUE(MakeFileStamp(file, expected));
    EXPECT_STREQ(stamp->text1, expected);
    // Made as the client sees the file.
    EXPECT_EQ(client.impersonations, 1);
    EXPECT_EQ(client.reverts, 1);
    client.hidden.push_back(file);
    auto unseen = Request(BACKUP_FILE_STAMP, file, "sent");
    EXPECT_EQ(Serve(*unseen, client), 0u);
    EXPECT_STREQ(unseen->text1, "sent");
    client.hidden.clear();

    auto missing = Request(BACKUP_FILE_STAMP, folder / "none", "sent");
    EXPECT_EQ(Serve(*missing, client), 0u);
    EXPECT_STREQ(missing->text1, "sent");

    auto unknown = Request(3, file, "sent");
    EXPECT_EQ(ServeBackupRequest(*unknown, client), BackupServed::NoReply);
    EXPECT_EQ(unknown->command, 3u);
}

// The service's logon is the machine's: it never reaches the network for a
// caller, neither by a UNC path nor by a mapped drive letter, on either side
// of any request, and it stores only a source the caller can see himself.
TEST(BackupRequests, NetworkPathsAndFilesTheCallerCannotSeeAreRefused)
{
    TempFolder folder("backupnet");
    const CString source = folder / "a.txt";
    ASSERT_TRUE(WriteTextFile(source, "local"));
    const CString root = folder / "Files\\";
    const CString stored = StoredCopyPath(root, source);
    CFakeClient client;
    ASSERT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 0u);
    const int looks = client.looks;

    SetDriveTypeProbe(MappedDriveM);
    for (const char* remote : {"\\\\srv\\share\\a.txt", "//srv/share/a.txt", "M:\\a.txt", "m:/a.txt"})
    {
        SCOPED_TRACE(remote);
        EXPECT_FALSE(IsServedRequestPath(remote));
        auto stamp = Request(BACKUP_FILE_STAMP, remote, "sent");
        EXPECT_EQ(Serve(*stamp, client), 0u);
        EXPECT_STREQ(stamp->text1, "sent");
        EXPECT_EQ(Serve(*Request(BACKUP_STORE, remote, root), client), 1u);
        EXPECT_EQ(Serve(*Request(BACKUP_RESTORE, remote, folder / "Back\\"), client), 1u);
    }
    // The network as the other side: the store's root, the restore's target.
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, "\\\\srv\\share\\Files\\"), client), 1u);
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, "M:\\Files\\"), client), 1u);
    EXPECT_EQ(Serve(*Request(BACKUP_RESTORE, stored, "\\\\srv\\share\\Back\\"), client), 1u);
    EXPECT_EQ(Serve(*Request(BACKUP_RESTORE, stored, "M:\\Back\\"), client), 1u);
    // Refused before anything is looked at or opened.
    EXPECT_EQ(client.looks, looks);
    EXPECT_TRUE(IsServedRequestPath(source));
    SetDriveTypeProbe(nullptr);

    // A source the caller cannot see is not stored, and the earlier stored
    // copy stays.
    ASSERT_TRUE(WriteTextFile(source, "changed"));
    client.hidden.push_back(source);
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 1u);
    EXPECT_STREQ(ReadTextFile(stored), "local");
    // Nor one swapped between the service's open and the client's look:
    // another file (another creation time) than the one the service holds.
    client.hidden.clear();
    client.atLook = [](WIN32_FILE_ATTRIBUTE_DATA& data) { data.ftCreationTime.dwLowDateTime ^= 1; };
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 1u);
    EXPECT_STREQ(ReadTextFile(stored), "local");
    client.atLook = nullptr;
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 0u);
    EXPECT_STREQ(ReadTextFile(stored), "changed");
}
} // namespace
