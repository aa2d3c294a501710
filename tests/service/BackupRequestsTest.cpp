#include "service/BackupRequests.h"

#include "engine/BackupOneFile.h"
#include "engine/FileStamp.h"
#include "engine/FileSystem.h"
#include "engine/StoredFile.h"
#include "tests/service/FakeCaller.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace
{
// Who a client is, as the store's read check weighs him (under Wine every
// token is the same elevated administrator's, so the groups and privileges
// are the test's; the token the system's access check weighs is this
// process's own, whose user the file's own descriptor decides on).
enum class Caller
{
    User,                  // a plain user: only what the file grants him
    Administrator,         // the Administrators enabled
    DenyOnlyAdministrator, // the Administrators for denial only (UAC, not elevated)
    DisabledAdministrator, // the group present, neither enabled nor for denial
    BackupOperator,        // the Backup Operators enabled
    BackupPrivilege,       // SeBackupPrivilege held, not enabled
};

// Fills a TOKEN_GROUPS image: the Users and, by the caller, one more group;
// the SIDs live in the same buffer.
void MakeGroups(Caller caller, std::vector<BYTE>& groups)
{
    struct Entry
    {
        WELL_KNOWN_SID_TYPE sid;
        DWORD attributes;
    };
    std::vector<Entry> entries = {{WinBuiltinUsersSid, SE_GROUP_ENABLED | SE_GROUP_MANDATORY}};
    switch (caller)
    {
    case Caller::Administrator:
        entries.push_back({WinBuiltinAdministratorsSid, SE_GROUP_ENABLED | SE_GROUP_OWNER});
        break;
    case Caller::DenyOnlyAdministrator:
        entries.push_back({WinBuiltinAdministratorsSid, SE_GROUP_USE_FOR_DENY_ONLY});
        break;
    case Caller::DisabledAdministrator:
        entries.push_back({WinBuiltinAdministratorsSid, 0});
        break;
    case Caller::BackupOperator:
        entries.push_back({WinBuiltinBackupOperatorsSid, SE_GROUP_ENABLED});
        break;
    case Caller::User:
    case Caller::BackupPrivilege:
        break;
    }
    const size_t header =
        offsetof(TOKEN_GROUPS, Groups) + entries.size() * sizeof(SID_AND_ATTRIBUTES);
    groups.assign(header + entries.size() * SECURITY_MAX_SID_SIZE, 0);
    auto* list = reinterpret_cast<TOKEN_GROUPS*>(groups.data());
    list->GroupCount = static_cast<DWORD>(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
    {
        BYTE* sid = groups.data() + header + i * SECURITY_MAX_SID_SIZE;
        DWORD size = SECURITY_MAX_SID_SIZE;
        EXPECT_TRUE(CreateWellKnownSid(entries[i].sid, nullptr, sid, &size));
        list->Groups[i].Sid = sid;
        list->Groups[i].Attributes = entries[i].attributes;
    }
}

// A TOKEN_PRIVILEGES image: SeChangeNotifyPrivilege enabled, and the backup
// privilege (not enabled) for a caller who holds it.
void MakePrivileges(Caller caller, std::vector<BYTE>& privileges)
{
    const DWORD count = caller == Caller::BackupPrivilege ? 2 : 1;
    privileges.assign(offsetof(TOKEN_PRIVILEGES, Privileges) + count * sizeof(LUID_AND_ATTRIBUTES),
                      0);
    auto* list = reinterpret_cast<TOKEN_PRIVILEGES*>(privileges.data());
    list->PrivilegeCount = count;
    EXPECT_TRUE(LookupPrivilegeValueA(nullptr, SE_CHANGE_NOTIFY_NAME, &list->Privileges[0].Luid));
    list->Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (count == 2)
    {
        EXPECT_TRUE(LookupPrivilegeValueA(nullptr, SE_BACKUP_NAME, &list->Privileges[1].Luid));
    }
}

// The caller's token as a test makes it.
bool MakeCallerToken(Caller who, CCallerToken& caller)
{
    CAccessToken process;
    if (!process.OpenProcess(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE) ||
        !caller.token.Duplicate(process.Get(), TOKEN_QUERY))
        return false;
    MakeGroups(who, caller.groups);
    MakePrivileges(who, caller.privileges);
    return true;
}

// The client as a test plays it: it may refuse to be acted as, and runs a
// check at the moment the service becomes it.
class CFakeClient : public CFakeCallerOf<IBackupClient>
{
public:
    // Only while acted as; a path in `hidden` is one the client cannot see.
    bool ReadAttributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA& data) override
    {
        EXPECT_GT(impersonations, reverts) << "looked at while the thread is the service";
        ++looks;
        for (const CString& secret : hidden)
            if (secret.CompareNoCase(path) == 0)
                return false;
        return IBackupClient::ReadAttributes(path, data);
    }
    // Only while acted as: the caller's token, as `who` says.
    bool ReadCallerToken(CCallerToken& caller) override
    {
        EXPECT_GT(impersonations, reverts) << "token read while the thread is the service";
        ++looks;
        return MakeCallerToken(who, caller);
    }

    Caller who = Caller::User;
    int looks = 0;
    std::vector<CString> hidden;
};

// Gives a file a DACL of its own (SDDL). Under Wine the DACL becomes the
// file's Unix mode, so a file the user may not read is one the tests still
// read: they run as root.
bool SetFileDacl(const char* path, const char* dacl)
{
    CSecurityDescriptor descriptor;
    return descriptor.FromText(dacl) &&
           SetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor.Get());
}
constexpr char kEveryoneDacl[] = "D:(A;;FA;;;WD)";

// Plays an open file that lies on a share.
bool FinalPathOnAShare(HANDLE, CString& path)
{
    path = "\\\\?\\UNC\\srv\\share\\a.txt";
    return true;
}

// Drive M: plays a drive mapped to a share.
UINT MappedDriveM(const char* root)
{
    return (root[0] == 'M' || root[0] == 'm') ? DRIVE_REMOTE : DRIVE_FIXED;
}

// Drive M: mapped to a share by the client alone: a network drive in his
// logon session, no drive at all for the service. The client the service
// acts as is the one in g_actedAs; g_askedAsClient counts the questions
// about M: asked while acting as him.
const class CFakeClient* g_actedAs = nullptr;
int g_askedAsClient = 0;
bool IsActingAsClient();
UINT MappedForTheClient(const char* root)
{
    if (root[0] != 'M' && root[0] != 'm')
        return DRIVE_FIXED;
    if (!IsActingAsClient())
        return DRIVE_NO_ROOT_DIR;
    ++g_askedAsClient;
    return DRIVE_REMOTE;
}

bool IsActingAsClient()
{
    return g_actedAs != nullptr && g_actedAs->IsActedAs();
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

    // A source the caller may list but not read is not stored, and the
    // earlier stored copy stays.
    ASSERT_TRUE(WriteTextFile(source, "changed"));
    ASSERT_TRUE(SetFileDacl(source, "D:P(A;;FA;;;SY)"));
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 1u);
    EXPECT_STREQ(ReadTextFile(stored), "local");
    ASSERT_TRUE(SetFileDacl(source, kEveryoneDacl));
    // Nor one the service opened on a share (a link swapped in before the
    // open): where the open file lies decides, not what the path says.
    SetFinalPathProbe(FinalPathOnAShare);
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 1u);
    EXPECT_STREQ(ReadTextFile(stored), "local");
    SetFinalPathProbe(nullptr);
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 0u);
    EXPECT_STREQ(ReadTextFile(stored), "changed");
}

// The store reads a file for a caller only when he may read it himself, by
// its own descriptor, or could read any file: the Administrators or the
// Backup Operators (enabled or for denial only) or the backup privilege.
TEST(BackupReadCheck, AStoreReadsOnlyForACallerWhoMayReadTheFile)
{
    TempFolder folder("backupread");
    const CString source = folder / "secret.txt";
    ASSERT_TRUE(WriteTextFile(source, "not for everyone"));
    const CString root = folder / "Files\\";
    const CString stored = StoredCopyPath(root, source);
    // Granted to SYSTEM alone: the user may list the folder and see the
    // file's record, not read it. The service (root under Wine) still
    // opens it.
    ASSERT_TRUE(SetFileDacl(source, "D:P(A;;FA;;;SY)"));
    WIN32_FILE_ATTRIBUTE_DATA listed;
    ASSERT_TRUE(GetFileAttributesExA(source, GetFileExInfoStandard, &listed));
    CTransferSource opened;
    ASSERT_TRUE(opened.Open(source));

    const struct
    {
        Caller who;
        bool served;
    } callers[] = {
        {Caller::User, false},          {Caller::DisabledAdministrator, false},
        {Caller::Administrator, true},  {Caller::DenyOnlyAdministrator, true},
        {Caller::BackupOperator, true}, {Caller::BackupPrivilege, true},
    };
    for (const auto& c : callers)
    {
        SCOPED_TRACE(static_cast<int>(c.who));
        CCallerToken caller;
        ASSERT_TRUE(MakeCallerToken(c.who, caller));
        EXPECT_EQ(MayReadForCaller(caller, opened.GetHandle()), c.served);
        DeleteFileA(stored);
        CFakeClient client;
        client.who = c.who;
        EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), c.served ? 0u : 1u);
        EXPECT_EQ(client.looks, 1);
        EXPECT_EQ(GetFileAttributesA(stored) != INVALID_FILE_ATTRIBUTES, c.served);
        if (c.served)
        {
            EXPECT_STREQ(ReadTextFile(stored), "not for everyone");
        }
    }

    // Granted to the user himself: a plain user is served.
    ASSERT_TRUE(SetFileDacl(source, kEveryoneDacl));
    CTransferSource readable;
    ASSERT_TRUE(readable.Open(source));
    CCallerToken user;
    ASSERT_TRUE(MakeCallerToken(Caller::User, user));
    EXPECT_TRUE(MayReadForCaller(user, readable.GetHandle()));
    CFakeClient client;
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 0u);
}

// The source is looked up once, by its open: what the path names after it
// (here the folder renamed away and another put in its place, as a link or
// junction swapped would do) changes nothing of what is stored.
TEST(BackupReadCheck, TimesAttributesAndContentsComeFromTheOpenedFile)
{
    TempFolder folder("backuphandle");
    const CString first = folder / "Data";
    const CString second = folder / "Other";
    ASSERT_TRUE(MakeFolder(first) && MakeFolder(second));
    const CString source = first + "\\f.txt";
    ASSERT_TRUE(WriteTextFile(source, "the first file"));
    ASSERT_TRUE(WriteTextFile(second + "\\f.txt", "the other file, longer than the first"));
    // Times of their own, far apart, and the first file hidden.
    const auto setTimes = [](const char* path, WORD year)
    {
        SYSTEMTIME time = {year, 3, 0, 7, 12, 30, 15, 250};
        FILETIME stamp;
        HANDLE file = CreateFileA(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        const bool set = file != INVALID_HANDLE_VALUE && SystemTimeToFileTime(&time, &stamp) &&
                         SetFileTime(file, &stamp, &stamp, &stamp);
        CloseHandle(file);
        return set;
    };
    ASSERT_TRUE(setTimes(source, 2001));
    ASSERT_TRUE(setTimes(second + "\\f.txt", 2019));
    ASSERT_TRUE(SetFileAttributesA(source, FILE_ATTRIBUTE_HIDDEN));
    const ULONGLONG firstWritten = LastWrite(source);

    const CString root = folder / "Files\\";
    CFakeClient client;
    bool swapped = false;
    client.atImpersonation = [&]
    {
        // The service holds the first file open by now.
        swapped = MoveFileA(first, folder / "Gone") && MoveFileA(second, first);
    };
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 0u);
    ASSERT_TRUE(swapped) << "the path now names the other file";
    EXPECT_STREQ(ReadTextFile(source), "the other file, longer than the first");
    const CString stored = StoredCopyPath(root, source);
    EXPECT_STREQ(ReadTextFile(stored), "the first file");
    EXPECT_EQ(LastWrite(stored), firstWritten);
    EXPECT_TRUE(GetFileAttributesA(stored) & FILE_ATTRIBUTE_HIDDEN);
}

TEST(BackupReadCheck, AFileOpenedOnTheNetworkIsToldByItsFinalPath)
{
    SetDriveTypeProbe(MappedDriveM);
    for (const char* remote :
         {"\\\\?\\UNC\\srv\\share\\f.txt", "\\\\?\\unc\\srv\\s\\f", "\\\\?\\M:\\f.txt",
          "\\Device\\Mup\\srv\\share\\f.txt", "\\\\srv\\share\\f.txt"})
        EXPECT_TRUE(IsNetworkFinalPath(remote)) << remote;
    for (const char* local : {"\\\\?\\C:\\f.txt", "\\Device\\HarddiskVolume2\\f.txt", "C:\\f.txt"})
        EXPECT_FALSE(IsNetworkFinalPath(local)) << local;
    SetDriveTypeProbe(nullptr);

    // A file on C: is where its path says.
    TempFolder folder("backupfinal");
    const CString file = folder / "f.txt";
    ASSERT_TRUE(WriteTextFile(file, "x"));
    CTransferSource opened;
    ASSERT_TRUE(opened.Open(file));
    CString path;
    ASSERT_TRUE(ReadFinalPath(opened.GetHandle(), path));
    EXPECT_EQ(CString("\\\\?\\") + file, path);
    EXPECT_FALSE(IsNetworkFinalPath(path));
}

// A drive the client mapped is his logon session's: paths used as the client
// are judged as the client, every time anew.
TEST(BackupReadCheck, DriveLettersOfPathsUsedAsTheClientAreHis)
{
    TempFolder folder("backupdrives");
    const CString source = folder / "a.txt";
    ASSERT_TRUE(WriteTextFile(source, "local"));
    const CString root = folder / "Files\\";
    CFakeClient client;
    ASSERT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 0u);
    const CString stored = StoredCopyPath(root, source);

    g_actedAs = &client;
    g_askedAsClient = 0;
    SetDriveTypeProbe(MappedForTheClient);
    // The service sees no M: at all, and keeps that answer for its own paths.
    EXPECT_TRUE(IsServedRequestPath("M:\\a.txt"));
    auto stamp = Request(BACKUP_FILE_STAMP, "M:\\a.txt", "sent");
    EXPECT_EQ(Serve(*stamp, client), 0u);
    EXPECT_STREQ(stamp->text1, "sent");
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, "M:\\Files\\"), client), 1u);
    EXPECT_EQ(Serve(*Request(BACKUP_RESTORE, stored, "M:\\Back\\"), client), 1u);
    EXPECT_EQ(Serve(*Request(BACKUP_RESTORE, "M:\\Files\\C\\a.txt", folder / "Back\\"), client),
              1u);
    EXPECT_EQ(g_askedAsClient, 4);
    SetDriveTypeProbe(nullptr);
    g_actedAs = nullptr;
}
} // namespace
