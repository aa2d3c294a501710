#include "service/BackupRequests.h"

#include "engine/BackupOneFile.h"
#include "engine/FileStamp.h"
#include "engine/FileSystem.h"
#include "engine/StoredFile.h"
#include "tests/service/CallerTokens.h"
#include "tests/service/FakeCaller.h"
#include "tests/support/StuckSource.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace
{
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

// A large file no two tests share, of bytes of a small alphabet (bzip2
// halves it, slowly enough to matter).
bool WriteLargeFile(const char* path, size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    for (char& byte : bytes)
    {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>('a' + (seed >> 24) % 16);
    }
    HANDLE file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    ::WriteFile(file, bytes.data(), static_cast<DWORD>(size), &written, nullptr) &&
                    written == size;
    ::CloseHandle(file);
    return ok;
}

// A store served on a thread of its own, as an instance of the pipe serves
// it: its reply's result (8: none).
std::future<uint32_t> StoreOnAThread(const char* source, const char* root, uint32_t compress = 0)
{
    auto request =
        std::shared_ptr<IpcQueueRecord>(Request(BACKUP_STORE, source, root, "", compress));
    return std::async(std::launch::async,
                      [request]
                      {
                          CFakeClient client;
                          return ServeBackupRequest(*request, client) == BackupServed::Reply
                                     ? request->result
                                     : 8u;
                      });
}

bool Ended(const std::future<uint32_t>& store)
{
    return store.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// Holds the first read of a source whose path ends in g_heldName until
// g_letGo is set; g_holding is set once it holds.
CString g_heldName;
HANDLE g_holding = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
HANDLE g_letGo = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
bool HoldFirstRead(HANDLE source)
{
    CString path;
    if (!ReadFinalPath(source, path) || path.Right(g_heldName.GetLength()) != g_heldName ||
        ::WaitForSingleObject(g_holding, 0) == WAIT_OBJECT_0)
        return true;
    ::SetEvent(g_holding);
    return ::WaitForSingleObject(g_letGo, wait_bound::kTaskMs) == WAIT_OBJECT_0;
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
        // The service has the source open for its checks alone when it first
        // acts as the client, who is then weighed: it holds the file against
        // nobody. It then has it open for reading, as the caller's own read
        // would, when it acts as him again for the destination.
        std::vector<bool> held;
        client.atImpersonation = [&] { held.push_back(IsOpenElsewhere(source)); };
        auto store = Request(BACKUP_STORE, source, root, "pw", form.compress, form.encrypt);
        EXPECT_EQ(Serve(*store, client), 0u);
        // Once to weigh the caller, once to write the destination; the
        // source is reopened for reading as the service between the two.
        EXPECT_EQ(client.impersonations, 2);
        EXPECT_EQ(client.reverts, 2);
        EXPECT_EQ(client.looks, 1);
        EXPECT_EQ(held, std::vector<bool>({false, true}));
        EXPECT_EQ(std::string(ReadFileStart(stored, 3)) == "BZh", form.compress && !form.encrypt);
        EXPECT_EQ(ReadTextFile(stored) == ReadTextFile(source), !form.compress && !form.encrypt);

        // A restore is the client's on both sides: nothing is open yet.
        client.atImpersonation = [&] { EXPECT_FALSE(IsOpenElsewhere(stored)); };
        auto restore = Request(BACKUP_RESTORE, stored, target, "pw", form.compress, form.encrypt);
        EXPECT_EQ(Serve(*restore, client), 0u);
        EXPECT_EQ(client.reverts, 3);
        EXPECT_STREQ(ReadTextFile(restored), ReadTextFile(source));
        EXPECT_EQ(::GetFileAttributesA(restored), ::GetFileAttributesA(source));
        EXPECT_EQ(LastWrite(restored), LastWrite(source));
    }
}

// The locks of the destinations are exact and held only to put a stored
// file in place: while one store's large source is held half-way through
// its reading, a store of another destination and another store of the
// same destination both end. Stores of one destination take turns at the
// end and each leaves a whole file (a read-only one: a rename between
// another's look at the old copy and its own rename would fail).
TEST(BackupDestinations, OtherStoresProceedAtOnceAndOneDestinationsTakeTurns)
{
    SetSourceIoLimit(0);
    TempFolder folder("backupdest");
    const CString first = folder / "first.bin";
    const CString second = folder / "second.bin";
    ASSERT_TRUE(WriteLargeFile(first, 32u << 20, 1) && WriteLargeFile(second, 24u << 20, 2));
    const CString root = folder / "Files\\";
    g_heldName = "first.bin";
    SetSourceReadCheck(HoldFirstRead);
    auto held = StoreOnAThread(first, root);
    ASSERT_EQ(::WaitForSingleObject(g_holding, wait_bound::kStepMs), WAIT_OBJECT_0);
    auto other = StoreOnAThread(second, root, 1);
    auto same = StoreOnAThread(first, root);
    EXPECT_TRUE(WaitUntil([&] { return Ended(other) && Ended(same); }, wait_bound::kStepMs));
    EXPECT_FALSE(Ended(held));
    ::SetEvent(g_letGo);
    EXPECT_EQ(held.get() + other.get() + same.get(), 0u);
    SetSourceReadCheck(nullptr);
    EXPECT_TRUE(ReadFileBytes(StoredCopyPath(root, first)) == ReadFileBytes(first));
    EXPECT_EQ(ReadFileStart(StoredCopyPath(root, second), 3), CString("BZh"));

    ASSERT_TRUE(::SetFileAttributesA(second, FILE_ATTRIBUTE_READONLY));
    for (int round = 0; round < 4; ++round)
    {
        auto one = StoreOnAThread(second, root);
        EXPECT_EQ(StoreOnAThread(second, root).get() + one.get(), 0u) << round;
    }
    const CString stored = StoredCopyPath(root, second);
    EXPECT_TRUE(ReadFileBytes(stored) == ReadFileBytes(second));
    EXPECT_TRUE(::GetFileAttributesA(stored) & FILE_ATTRIBUTE_READONLY);
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
    EXPECT_EQ(client.impersonations, 2);

    // A source that cannot be read (another program holds it for itself: the
    // checks open it, the read cannot), a client that cannot be acted as,
    // and a request that breaks off: the earlier stored copy stays.
    HANDLE locked = ::CreateFileA(source, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 1u);
    ::CloseHandle(locked);
    EXPECT_EQ(client.looks, 1) << "the client's token, read at his first store";
    client.allow = false;
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 1u);
    EXPECT_EQ(client.looks, 1) << "no look without acting as the client";
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
    for (const char* remote :
         {"\\\\srv\\share\\a.txt", "//srv/share/a.txt", "M:\\a.txt", "m:/a.txt"})
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
// Backup Operators enabled, or the backup privilege enabled.
// A client's token is read once, at his first store, and weighed for each
// file anew: a file he may not read stays refused on his later requests,
// and another client (another connection) is read for himself.
TEST(BackupReadCheck, AClientsTokenIsReadOnceAndEveryFileWeighedAnew)
{
    TempFolder folder("backuponce");
    const CString secret = folder / "secret.txt";
    const CString open = folder / "open.txt";
    ASSERT_TRUE(WriteSecretAndOpenFiles(secret, open));
    const CString root = folder / "Files\\";

    CFakeClient user;
    user.who = Caller::User;
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, secret, root), user), 1u);
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, secret, root), user), 1u) << "refused again";
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, open, root), user), 0u);
    EXPECT_EQ(user.looks, 1) << "the token was read once";
    EXPECT_EQ(GetFileAttributesA(StoredCopyPath(root, secret)), INVALID_FILE_ATTRIBUTES);

    CFakeClient administrator;
    administrator.who = Caller::Administrator;
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, secret, root), administrator), 0u);
    EXPECT_EQ(administrator.looks, 1);
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, secret, root), user), 1u) << "still the user's own";
}

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

    // An administrator who has not elevated holds the Administrators for
    // denial only: that grants nothing, so any program of his session at
    // medium integrity would otherwise have the service copy any file.
    const struct
    {
        Caller who;
        bool served;
    } callers[] = {
        {Caller::User, false},
        {Caller::DisabledAdministrator, false},
        {Caller::Administrator, true},
        {Caller::DenyOnlyAdministrator, false},
        {Caller::BackupOperator, true},
        {Caller::BackupPrivilege, false},
        {Caller::EnabledBackupPrivilege, true},
    };
    for (const auto& c : callers)
    {
        SCOPED_TRACE(static_cast<int>(c.who));
        CCallerToken caller;
        ASSERT_TRUE(MakeCallerToken(c.who, caller));
        EXPECT_EQ(MayReadForCaller(caller, opened.GetHandle()), c.served);
        // Under Wine the source's DACL makes it read-only, and the stored
        // copy takes that attribute.
        SetFileAttributesA(stored, FILE_ATTRIBUTE_NORMAL);
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
// junction swapped would do) never reaches the stored copy. Windows reopens
// the checked file itself for reading and stores it; Wine 8's ReOpenFile
// opens the path again, finds another file, and the store is refused.
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
        // The service holds the first file open for its checks by now.
        if (!swapped)
            swapped = MoveFileA(first, folder / "Gone") && MoveFileA(second, first);
    };
    const uint32_t result = Serve(*Request(BACKUP_STORE, source, root), client);
    ASSERT_TRUE(swapped) << "the path now names the other file";
    EXPECT_STREQ(ReadTextFile(source), "the other file, longer than the first");
    const CString stored = StoredCopyPath(root, source);
    if (result == 0)
    {
        EXPECT_STREQ(ReadTextFile(stored), "the first file");
        EXPECT_EQ(LastWrite(stored), firstWritten);
        EXPECT_TRUE(GetFileAttributesA(stored) & FILE_ATTRIBUTE_HIDDEN);
    }
    else
    {
        EXPECT_EQ(GetFileAttributesA(stored), INVALID_FILE_ATTRIBUTES);
    }
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
// are judged as the client, once for his connection (client object), whose
// caller is one for its life, and anew for the next.
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
    EXPECT_EQ(g_askedAsClient, 1);

    CFakeClient next;
    g_actedAs = &next;
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, "M:\\Files\\"), next), 1u);
    EXPECT_EQ(g_askedAsClient, 2);
    SetDriveTypeProbe(nullptr);
    g_actedAs = nullptr;
}
// The first open of a store's source asks only for what its checks need,
// shares everything, and offers a pipe's server only the caller's
// identification: a file the caller may not read is never held against a
// writer, and a store that passed its checks holds it as the caller's own
// read would. A device name is refused before any open, and a path that
// leads to a pipe (a link would) is opened for the checks alone and refused
// unread.
struct OpenSeen
{
    DWORD access, share, flags;
    int count;
} g_opened = {};
std::string g_pipeName;
HANDLE RecordingOpener(const char* path, DWORD access, DWORD share, DWORD flags)
{
    g_opened = {access, share, flags, g_opened.count + 1};
    if (std::strstr(path, "pipe-link") != nullptr)
        path = g_pipeName.c_str();
    return ::CreateFileA(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr);
}

bool IsWritableBeside(const char* path)
{
    HANDLE writer = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ::CloseHandle(writer);
    return writer != INVALID_HANDLE_VALUE;
}

bool g_writableWhileRead = true;
bool TryWriterWhileRead(HANDLE source)
{
    CString path;
    g_writableWhileRead = !ReadFinalPath(source, path) || IsWritableBeside(path.Mid(4));
    return true;
}

TEST(BackupSources, TheChecksHoldNothingAndDevicesAndPipesAreRefusedUnread)
{
    TempFolder folder("backupopen");
    const CString source = folder / "his.txt";
    ASSERT_TRUE(WriteTextFile(source, "only SYSTEM may read this"));
    ASSERT_TRUE(SetFileDacl(source, "D:P(A;;FA;;;SY)"));
    const CString root = folder / "Files\\";
    SetSourceOpener(RecordingOpener);
    CFakeClient client;
    bool writable = false;
    client.atImpersonation = [&] { writable = IsWritableBeside(source); };
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 1u);
    EXPECT_TRUE(writable) << "a refused store held the file against a writer";
    EXPECT_EQ(g_opened.access,
              static_cast<DWORD>(FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE));
    EXPECT_EQ(g_opened.share,
              static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    EXPECT_EQ(g_opened.flags & (SECURITY_SQOS_PRESENT | 0x30000u),
              static_cast<DWORD>(SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION));
    ASSERT_TRUE(SetFileDacl(source, kEveryoneDacl));
    SetSourceReadCheck(TryWriterWhileRead);
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 0u);
    SetSourceReadCheck(nullptr);
    EXPECT_FALSE(g_writableWhileRead);

    for (const char* device :
         {"C:\\bwtest\\dir\\nul.txt", "C:\\bwtest\\AUX.x.y", "c:\\bwtest\\con"})
        EXPECT_TRUE(IsDevicePath(device)) << device;
    for (const char* file : {"C:\\bwtest\\COM1x", "C:\\bwtest\\nul\\x", "C:\\bwtest\\a.txt"})
        EXPECT_FALSE(IsDevicePath(file)) << file;
    g_opened.count = 0;
    const int acted = client.impersonations;
    for (const char* device : {"COM1", "nul.txt", "AUX.x.y"})
        EXPECT_EQ(Serve(*Request(BACKUP_STORE, folder / device, root), client), 1u) << device;
    EXPECT_EQ(g_opened.count, 0);

    g_pipeName = "\\\\.\\pipe\\bwtest-link-" + std::to_string(GetCurrentProcessId());
    CFile pipe;
    pipe.Attach(::CreateNamedPipeA(g_pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096,
                                   4096, 0, nullptr));
    ASSERT_TRUE(pipe.IsOpen());
    EXPECT_EQ(Serve(*Request(BACKUP_STORE, folder / "pipe-link.txt", root), client), 1u);
    EXPECT_EQ(g_opened.count, 1);
    EXPECT_EQ(client.impersonations, acted) << "the caller was weighed for a device or a pipe";
    // The pipe's server may not act as the service beyond identifying it.
    // Wine hands every pipe server an impersonation token whatever the
    // client asked (the flags above are what it asks): only Windows shows it.
    CAccessToken token;
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
    DWORD size = 0;
    if (!::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") &&
        ::ImpersonateNamedPipeClient(pipe.GetHandle()))
    {
        if (token.OpenThread(TOKEN_QUERY))
            ::GetTokenInformation(token.Get(), TokenImpersonationLevel, &level, sizeof level,
                                  &size);
        ::RevertToSelf();
    }
    EXPECT_LE(level, SecurityIdentification);
    SetSourceOpener(nullptr);
}

// A label above the caller that forbids reading up refuses him whatever the
// DACL grants; a label that forbids only writing up does not, and the
// exempt callers may read anyway. Wine keeps no label on a file: the
// descriptor is made here, and the rule is the service's own (Windows'
// access check weighs the label as well).
TEST(BackupReadCheck, AFileLabelledAboveAMediumCallerIsRefused)
{
    const struct
    {
        const char* label;
        Caller who;
        DWORD level;
        bool served;
    } cases[] = {
        {"", Caller::User, SECURITY_MANDATORY_MEDIUM_RID, true},
        {"S:(ML;;NWNR;;;HI)", Caller::User, SECURITY_MANDATORY_MEDIUM_RID, false},
        {"S:(ML;;NWNR;;;HI)", Caller::User, SECURITY_MANDATORY_HIGH_RID, true},
        {"S:(ML;;NW;;;HI)", Caller::User, SECURITY_MANDATORY_MEDIUM_RID, true},
        {"S:(ML;;NWNR;;;SI)", Caller::Administrator, SECURITY_MANDATORY_HIGH_RID, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.label) + " " + std::to_string(static_cast<int>(c.who)));
        CCallerToken caller;
        ASSERT_TRUE(MakeCallerToken(c.who, caller, c.level));
        // Everyone may read it by its DACL.
        CSecurityDescriptor descriptor;
        ASSERT_TRUE(descriptor.FromText((std::string("O:BAG:BAD:(A;;FA;;;WD)") + c.label).c_str()));
        EXPECT_EQ(MayReadByDescriptor(caller, descriptor.Get()), c.served);
    }
    // A caller's own level comes with his token (Wine's: high).
    CCallerToken read;
    ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation));
    EXPECT_TRUE(read.ReadThread());
    RevertToSelf();
    EXPECT_GE(read.integrityLevel, static_cast<DWORD>(SECURITY_MANDATORY_MEDIUM_RID));
}

// A source whose open or read never ends (an oplock its holder never
// acknowledges, storage that never answers) holds its request only for the
// bound: the open or read is cancelled, the request fails, the earlier
// stored copy stays, and the same thread serves the next request.
TEST(BackupSources, AnOpenOrReadThatNeverEndsFailsWithinTheBoundAndTheNextIsServed)
{
    constexpr DWORD kLimitMs = 500;
    SetSourceIoLimit(kLimitMs);
    CStuckPipe stuck;
    g_stuck = &stuck;
    TempFolder folder("backupbound");
    const CString source = folder / "data.txt";
    ASSERT_TRUE(WriteTextFile(source, "first"));
    const CString root = folder / "Files\\";
    CFakeClient client;
    ASSERT_EQ(Serve(*Request(BACKUP_STORE, source, root), client), 0u);
    ASSERT_TRUE(WriteTextFile(source, "second"));
    SetSourceOpener(StuckOpener);

    // One thread, as one instance of the pipe, serves a store whose open
    // never ends, one whose read never ends, then an ordinary one.
    auto instance =
        std::async(std::launch::async,
                   [&]
                   {
                       std::vector<std::pair<uint32_t, ULONGLONG>> served;
                       for (const CString& path : {folder / "stuck.txt", source, source})
                       {
                           SetSourceReadCheck(served.size() == 1 ? StuckRead : nullptr);
                           const ULONGLONG start = ::GetTickCount64();
                           auto request = Request(BACKUP_STORE, path, root);
                           CFakeClient one;
                           ServeBackupRequest(*request, one);
                           served.emplace_back(request->result, ::GetTickCount64() - start);
                       }
                       return served;
                   });
    // Meanwhile other requests come and go without a pause, as other
    // clients' would on the other instances.
    std::atomic<bool> done{false};
    auto others = std::async(std::launch::async,
                             [&]
                             {
                                 while (!done.load())
                                 {
                                     CFakeClient other;
                                     auto stamp = Request(BACKUP_FILE_STAMP, source, "");
                                     ServeBackupRequest(*stamp, other);
                                 }
                             });
    const bool inTime = instance.wait_for(std::chrono::milliseconds(3 * wait_bound::kAnswerMs)) ==
                        std::future_status::ready;
    done = true;
    stuck.LetGo();
    others.get();
    const auto served = instance.get();
    SetSourceOpener(nullptr);
    ASSERT_TRUE(inTime) << "a stuck open or read was never cut off";
    EXPECT_EQ(g_stuckCalls.load(), 2);
    EXPECT_EQ(served[0].first + served[1].first, 2u);
    EXPECT_GE(std::min(served[0].second, served[1].second), kLimitMs);
    EXPECT_EQ(served[2].first, 0u);
    EXPECT_STREQ(ReadTextFile(StoredCopyPath(root, source)), "second");
}
} // namespace
