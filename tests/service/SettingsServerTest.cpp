// The SETTINGS server: its policy with identities made by the test (under
// Wine every client is the one elevated user), the product values and the
// refusals through HandleSettingsRequest, the deletion-check paths, and the
// startup-entry moves on HKEY_CURRENT_USER through the real pipe (Wine's
// HKEY_USERS\<user SID> is HKEY_CURRENT_USER). Each test is a process of
// its own: the quit that ends a server stays set.
#include "engine/PipeClient.h"
#include "engine/Settings.h"
#include "foundation/Registry.h"
#include "foundation/Security.h"
#include "foundation/Thread.h"
#include "service/ServerThreads.h"
#include "service/SettingsServer.h"
#include "tests/service/FakeCaller.h"
#include "tests/service/FakeHiveRegistry.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/RegistryLink.h"
#include "tests/support/ServiceInThisProcess.h"
#include "tests/support/SharedKeyLock.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
const char kUserSid[] = "S-1-5-21-1-2-3-1001";

PipeClientIdentity Identity(bool known, const char* sid, bool administrator)
{
    PipeClientIdentity identity;
    identity.known = known;
    identity.sid = sid;
    identity.administrator = administrator;
    return identity;
}

std::unique_ptr<IpcSettingsRecord> Request(uint32_t type, uint32_t scope = 0, const char* key = "x")
{
    std::unique_ptr<IpcSettingsRecord> record(new IpcSettingsRecord());
    record->type = type;
    record->scope = scope;
    IpcCopyText(record->key, key);
    return record;
}

CString UniqueName(const char* tag)
{
    CString name;
    name.Format("BwTest-%s-%lu", tag, GetCurrentProcessId());
    return name;
}

// A value's type and bytes, or type REG_NONE when it cannot be read.
RegistryValue Stored(HKEY root, const char* path, const char* name)
{
    RegistryValue value;
    ReadRegistryValue(root, path, name, value);
    return value;
}

std::string Text(const RegistryValue& value)
{
    return std::string(value.data.begin(), value.data.end());
}

RegistryValue StringValue(const char* text)
{
    RegistryValue value;
    value.type = REG_SZ;
    value.data.assign(text, text + strlen(text) + 1);
    return value;
}
} // namespace

TEST(SettingsPolicyTest, EveryTypeIsJudgedByTheClientsToken)
{
    const PipeClientIdentity unknown;
    const PipeClientIdentity user = Identity(true, kUserSid, false);
    const PipeClientIdentity admin = Identity(true, "S-1-5-21-1-2-3-500", true);
    struct Case
    {
        uint32_t type;
        uint32_t scope;
        bool byUser;
        bool byAdmin;
    };
    const Case cases[] = {
        {SETTINGS_PROXY, 0, true, true},
        {SETTINGS_COMPACT_HIVES, 0, false, true},
        {SETTINGS_SAVE_HIVES, 0, false, true},
        {SETTINGS_RESTORE_HIVES, 0, false, true},
        {SETTINGS_LANGUAGE, 0, true, true},
        {SETTINGS_STARTUP_ENABLE, STARTUP_SCOPE_USER, true, true},
        {SETTINGS_STARTUP_ENABLE, STARTUP_SCOPE_MACHINE, false, true},
        {SETTINGS_STARTUP_ENABLE, 7, false, true}, // any other scope is the machine's
        {SETTINGS_STARTUP_DELETE, STARTUP_SCOPE_USER, true, true},
        {SETTINGS_STARTUP_DELETE, STARTUP_SCOPE_MACHINE, false, true},
        {SETTINGS_DELETE_KEY, 1, false, true},
        {SETTINGS_SEARCH_PAGE, 1, false, true},
        {SETTINGS_DELETE_VALUE, 0, false, true},
        {SETTINGS_MAY_DELETE, 0, true, true},
        {12, 0, false, false},
        {IPC_STATUS_OK, 0, false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " scope " << c.scope);
        const auto request = Request(c.type, c.scope);
        EXPECT_EQ(c.byUser, IsSettingsRequestAllowed(*request, user));
        EXPECT_EQ(c.byAdmin, IsSettingsRequestAllowed(*request, admin));
        EXPECT_FALSE(IsSettingsRequestAllowed(*request, unknown));
    }

    // Type 8 only with the caller's own SID, administrator or not.
    const auto profile = Request(SETTINGS_USER_PROFILE);
    IpcCopyText(profile->userKeyRoot, kUserSid);
    EXPECT_TRUE(IsSettingsRequestAllowed(*profile, user));
    EXPECT_FALSE(IsSettingsRequestAllowed(*profile, admin));
    IpcCopyText(profile->userKeyRoot, "");
    EXPECT_FALSE(IsSettingsRequestAllowed(*profile, user));
}

TEST(SettingsServerTest, RefusedRequestsDoNothingAndReplyZero)
{
    const PipeClientIdentity user = Identity(true, kUserSid, false);
    const PipeClientIdentity admin = Identity(true, kUserSid, true);
    CFakeHiveRegistry hives;
    auto save = Request(SETTINGS_SAVE_HIVES, 0, "C:\\bwtest\\somewhere");
    ASSERT_EQ(sizeof(IpcSettingsRecord), HandleSettingsRequest(*save, user, hives));
    EXPECT_EQ(IPC_STATUS_OK, save->type);
    EXPECT_EQ(0u, save->result);
    EXPECT_TRUE(hives.calls.empty());
    save = Request(SETTINGS_SAVE_HIVES, 0, "C:\\bwtest\\somewhere");
    ASSERT_EQ(sizeof(IpcSettingsRecord), HandleSettingsRequest(*save, admin, hives));
    EXPECT_EQ(1u, save->result);
    EXPECT_EQ(5u, hives.Calls("save").size());

    // Type 9 on a key of the test's own.
    const CString path = CString("Software\\") + UniqueName("delete");
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, path + "\\Below"));
    key.Close();
    auto remove = Request(SETTINGS_DELETE_KEY, 1, path);
    EXPECT_EQ(0u, HandleSettingsRequest(*remove, user, hives));
    EXPECT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, path, KEY_READ));
    key.Close();
    remove = Request(SETTINGS_DELETE_KEY, 1, path);
    EXPECT_EQ(0u, HandleSettingsRequest(*remove, admin, hives));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_LOCAL_MACHINE, path, KEY_READ));
    // An empty path is never handed to the deletion (it would take every
    // key below the root).
    remove = Request(SETTINGS_DELETE_KEY, 1, "  ");
    EXPECT_EQ(0u, HandleSettingsRequest(*remove, admin, hives));
    EXPECT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, "Software", KEY_READ));

    // An unknown type gets no reply.
    auto unknownType = Request(12);
    EXPECT_EQ(0u, HandleSettingsRequest(*unknownType, admin, hives));
}

namespace
{
// Whether a token holds the backup and restore privileges enabled, and its
// privileges as they stand.
bool HasHiveTaskPrivileges(HANDLE token, std::vector<BYTE>* all = nullptr)
{
    std::vector<BYTE> read;
    if (!ReadTokenInformation(token, TokenPrivileges, read))
        return false;
    const auto& privileges = *reinterpret_cast<TOKEN_PRIVILEGES*>(read.data());
    const bool both = HoldsEnabledPrivilege(privileges, SE_BACKUP_NAME) &&
                      HoldsEnabledPrivilege(privileges, SE_RESTORE_NAME);
    if (all != nullptr)
        all->swap(read);
    return both;
}

// Looks at the tokens while each hive is saved.
class CPrivilegeWatchingHives : public CFakeHiveRegistry
{
public:
    LONG SaveHive(const RegistryHive& hive, const char* file) override
    {
        CAccessToken thread;
        CAccessToken process;
        threadHas = thread.OpenThread(TOKEN_QUERY) && HasHiveTaskPrivileges(thread.Get());
        processHas = !process.OpenProcess(GetCurrentProcess(), TOKEN_QUERY) ||
                     HasHiveTaskPrivileges(process.Get());
        return CFakeHiveRegistry::SaveHive(hive, file);
    }
    bool threadHas = false;
    bool processHas = true;
};
} // namespace

// A hive task's backup and restore privileges are its own thread's: the
// process token, with which the BACKUP threads serve other callers as
// SYSTEM meanwhile, never has them enabled, and is as it was afterwards.
TEST(SettingsServerTest, AHiveTaskEnablesItsPrivilegesOnItsOwnThreadAlone)
{
    CAccessToken process;
    ASSERT_TRUE(process.OpenProcess(GetCurrentProcess(), TOKEN_QUERY));
    std::vector<BYTE> before;
    std::vector<BYTE> after;
    HasHiveTaskPrivileges(process.Get(), &before);
    CPrivilegeWatchingHives hives;
    auto save = Request(SETTINGS_SAVE_HIVES, 0, "C:\\bwtest\\somewhere");
    ASSERT_EQ(sizeof(IpcSettingsRecord),
              HandleSettingsRequest(*save, Identity(true, kUserSid, true), hives));
    EXPECT_EQ(1u, save->result);
    EXPECT_TRUE(hives.threadHas);
    EXPECT_FALSE(hives.processHas);
    HasHiveTaskPrivileges(process.Get(), &after);
    EXPECT_FALSE(before.empty());
    EXPECT_EQ(before, after);
    CAccessToken thread;
    EXPECT_FALSE(thread.OpenThread(TOKEN_QUERY)) << "the thread still acts with the privileges";
}

TEST(SettingsServerTest, ProductValuesGoIntoAPrivateMachineKeyAndType8KeepsOnlyTheCallersSid)
{
    const PipeClientIdentity user = Identity(true, kUserSid, false);
    const CString host = UniqueName("proxy");
    auto proxy = Request(SETTINGS_PROXY);
    IpcCopyText(proxy->proxyHost, host);
    proxy->proxyPort = 3128;
    IpcCopyText(proxy->proxyLogin, "login");
    IpcCopyText(proxy->proxyPassword, "secret");
    proxy->proxyType = 2;
    EXPECT_EQ(0u, HandleSettingsRequest(*proxy, user));

    RegistryValue value = Stored(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "ProxyHost");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
    EXPECT_EQ(std::string(host) + '\0', Text(value));
    value = Stored(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "ProxyPort");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), value.type);
    EXPECT_EQ(std::string("\x38\x0c\0\0", 4), Text(value));
    EXPECT_EQ(std::string("secret") + '\0',
              Text(Stored(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "ProxyPassword")));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD),
              Stored(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "ProxyType").type);

    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, kSettingsKeyPath, READ_CONTROL));
    char descriptor[1024];
    DWORD size = sizeof descriptor;
    ASSERT_EQ(ERROR_SUCCESS, RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor, &size));
    char* text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_STREQ("D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)", text);
    LocalFree(text);

    // Another user's SID: nothing kept, nothing written.
    const CString path = CString("C:\\bwtest\\") + UniqueName("profile");
    auto profile = Request(SETTINGS_USER_PROFILE);
    IpcCopyText(profile->userKeyRoot, "S-1-5-21-9-9-9-1002");
    IpcCopyText(profile->profilePath, path);
    HandleSettingsRequest(*profile, user);
    EXPECT_FALSE(IsServiceProfilePathKnown());
    EXPECT_NE(std::string(path) + '\0',
              Text(Stored(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "ProfilePath")));

    IpcCopyText(profile->userKeyRoot, kUserSid);
    HandleSettingsRequest(*profile, user);
    EXPECT_STREQ(path, GetServiceProfilePath());
    EXPECT_STREQ(kUserSid, GetServiceUserKeyRoot());
    EXPECT_EQ(std::string(path) + '\0',
              Text(Stored(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "ProfilePath")));
}

TEST(SettingsServerTest, DeletionCheckPathsFollowTheFirstKnownRoot)
{
    const CString user = kUserSid;
    auto exists = [](const char* path) { return CString(path) == "SOFTWARE\\Classes\\.txt"; };
    struct Case
    {
        const char* display;
        HKEY root;
        const char* path;
    };
    const Case cases[] = {
        {"HKEY_CLASSES_ROOT\\.txt", HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.txt"},
        // The value mark is cut for the probe only.
        {"HKEY_CLASSES_ROOT\\.txt-[val]-Content", HKEY_LOCAL_MACHINE,
         "SOFTWARE\\Classes\\.txt-[val]-Content"},
        {"HKEY_CLASSES_ROOT\\.bwx", HKEY_USERS, "S-1-5-21-1-2-3-1001\\SOFTWARE\\Classes\\.bwx"},
        {"HKEY_CURRENT_USER\\Software\\X", HKEY_USERS, "S-1-5-21-1-2-3-1001\\Software\\X"},
        {"HKEY_LOCAL_MACHINE\\Software\\X", HKEY_LOCAL_MACHINE, "Software\\X"},
        {"HKEY_USERS\\.DEFAULT\\X", HKEY_USERS, ".DEFAULT\\X"},
        {"HKEY_CURRENT_CONFIG\\System", HKEY_CURRENT_CONFIG, "System"},
        {"Software\\X", HKEY_LOCAL_MACHINE, "Software\\X"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.display);
        const RegistryKeyPath target = ResolveDeletionCheckPath(c.display, user, exists);
        EXPECT_EQ(c.root, target.root);
        EXPECT_STREQ(c.path, target.path);
    }
}

class StartupEntryPipeTest : public testing::Test
{
protected:
    // The test's own servers stand in for the service.
    CServiceInThisProcess m_serviceHere;

    void SetUp() override
    {
        ASSERT_TRUE(m_keys.IsHeld());
        m_pipe = UniquePipeName("settings");
        SetIpcPipeName(IpcPipe::Settings, m_pipe.c_str());
        ASSERT_TRUE(m_server.Start(SettingsServerThread, nullptr));
        for (int i = 0; i < 200 && !WaitNamedPipeA(m_pipe.c_str(), 10); i++)
            Sleep(10);
        m_name = UniqueName("startup");
        m_parking = CString(kSettingsKeyPath) + "\\Run1-Disabled";
    }

    void TearDown() override
    {
        CRegistryKey key;
        if (key.Open(HKEY_CURRENT_USER, setting::RunKeyPath, KEY_ALL_ACCESS) == ERROR_SUCCESS)
            key.DeleteValue(m_name);
        if (key.Open(HKEY_CURRENT_USER, m_parking, KEY_ALL_ACCESS) == ERROR_SUCCESS)
            key.DeleteValue(m_name);
        SetServiceQuitting();
        m_server.Stop();
    }

    SharedKeyLock m_keys;
    std::string m_pipe;
    CWorkerThread m_server;
    CString m_name;
    CString m_parking;
};

TEST_F(StartupEntryPipeTest, MovesKeepTheValueTypeAndRepliesTellWhatHappened)
{
    const std::string command = "%SystemRoot%\\bwtest.exe /quiet";
    RegistryValue entry;
    entry.type = REG_EXPAND_SZ;
    entry.data.assign(command.begin(), command.end());
    entry.data.push_back(0);
    ASSERT_EQ(ERROR_SUCCESS,
              WriteRegistryValue(HKEY_CURRENT_USER, setting::RunKeyPath, m_name, entry));

    // Disable: into the user's parking key, out of the Run key.
    EXPECT_EQ(1, PipeSetStartupEntryEnabled(m_name, STARTUP_SCOPE_USER, FALSE));
    RegistryValue parked = Stored(HKEY_CURRENT_USER, m_parking, m_name);
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), parked.type);
    EXPECT_EQ(entry.data, parked.data);
    EXPECT_EQ(static_cast<DWORD>(REG_NONE),
              Stored(HKEY_CURRENT_USER, setting::RunKeyPath, m_name).type);

    // Disabled again: the name is in no Run key now.
    EXPECT_EQ(0, PipeSetStartupEntryEnabled(m_name, STARTUP_SCOPE_USER, FALSE));

    // Enable: back, still expandable.
    EXPECT_EQ(1, PipeSetStartupEntryEnabled(m_name, STARTUP_SCOPE_USER, TRUE));
    RegistryValue back = Stored(HKEY_CURRENT_USER, setting::RunKeyPath, m_name);
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), back.type);
    EXPECT_EQ(entry.data, back.data);
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), Stored(HKEY_CURRENT_USER, m_parking, m_name).type);

    // A name in neither key.
    EXPECT_EQ(0, PipeSetStartupEntryEnabled(m_name + "-none", STARTUP_SCOPE_USER, TRUE));
    EXPECT_EQ(0, PipeSetStartupEntryEnabled(m_name + "-none", STARTUP_SCOPE_USER, FALSE));

    // Delete: 1 while there was something to delete.
    EXPECT_EQ(1, PipeDeleteStartupEntry(m_name, STARTUP_SCOPE_USER));
    EXPECT_EQ(static_cast<DWORD>(REG_NONE),
              Stored(HKEY_CURRENT_USER, setting::RunKeyPath, m_name).type);
    EXPECT_EQ(0, PipeDeleteStartupEntry(m_name, STARTUP_SCOPE_USER));
}

// Type 14 tells what the caller himself may delete: its key is opened as
// him, so a key only SYSTEM could delete, or see, says 0.
TEST(SettingsServerTest, TheDeletionCheckIsMadeAsTheCaller)
{
    CString sid;
    ASSERT_TRUE(GetCurrentUserSidText(sid));
    const PipeClientIdentity user = Identity(true, sid, false);
    const CString path = CString("Software\\") + UniqueName("maydelete");
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, path));
    key.Close();
    const CString display = CString("HKEY_CURRENT_USER\\") + path;
    CFakeHiveRegistry hives;

    CFakeCaller caller;
    auto check = Request(SETTINGS_MAY_DELETE, 0, display);
    ASSERT_EQ(sizeof(IpcSettingsRecord), HandleSettingsRequest(*check, user, hives, &caller));
    EXPECT_EQ(1u, check->result);
    EXPECT_EQ(1, caller.impersonations);
    EXPECT_EQ(1, caller.reverts);
    check = Request(SETTINGS_MAY_DELETE, 0, display + "-none");
    HandleSettingsRequest(*check, user, hives, &caller);
    EXPECT_EQ(0u, check->result);

    // Not as the service: without acting as the caller there is no answer.
    caller.allow = false;
    check = Request(SETTINGS_MAY_DELETE, 0, display);
    HandleSettingsRequest(*check, user, hives, &caller);
    EXPECT_EQ(0u, check->result);
    check = Request(SETTINGS_MAY_DELETE, 0, display);
    HandleSettingsRequest(*check, user, hives);
    EXPECT_EQ(0u, check->result);
    RegDeleteKeyA(HKEY_CURRENT_USER, path);
}

// The user's own Run key (scope 2) is changed as the user: nothing moves
// before the service acts as him, nothing when it cannot.
TEST(SettingsServerTest, TheUsersStartupEntriesAreChangedAsTheUser)
{
    SharedKeyLock keys;
    ASSERT_TRUE(keys.IsHeld());
    CString sid;
    ASSERT_TRUE(GetCurrentUserSidText(sid));
    const PipeClientIdentity user = Identity(true, sid, false);
    const CString name = UniqueName("asuser");
    const CString parking = CString(kSettingsKeyPath) + "\\Run1-Disabled";
    ASSERT_EQ(ERROR_SUCCESS, WriteRegistryValue(HKEY_CURRENT_USER, setting::RunKeyPath, name,
                                                StringValue("C:\\bwtest\\tool.exe")));
    CFakeHiveRegistry hives;
    const auto inRun = [&] { return Stored(HKEY_CURRENT_USER, setting::RunKeyPath, name).type; };

    CFakeCaller refusing;
    refusing.allow = false;
    auto disable = Request(SETTINGS_STARTUP_ENABLE, STARTUP_SCOPE_USER, name);
    HandleSettingsRequest(*disable, user, hives, &refusing);
    EXPECT_EQ(0u, disable->result);
    disable = Request(SETTINGS_STARTUP_ENABLE, STARTUP_SCOPE_USER, name);
    HandleSettingsRequest(*disable, user, hives);
    EXPECT_EQ(0u, disable->result);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), inRun());

    CFakeCaller caller;
    caller.atImpersonation = [&] { EXPECT_EQ(static_cast<DWORD>(REG_SZ), inRun()); };
    disable = Request(SETTINGS_STARTUP_ENABLE, STARTUP_SCOPE_USER, name);
    HandleSettingsRequest(*disable, user, hives, &caller);
    EXPECT_EQ(1u, disable->result);
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), inRun());
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), Stored(HKEY_CURRENT_USER, parking, name).type);
    EXPECT_EQ(1, caller.reverts);

    auto enable = Request(SETTINGS_STARTUP_ENABLE, STARTUP_SCOPE_USER, name);
    enable->proxyType = 1;
    caller.atImpersonation = nullptr;
    HandleSettingsRequest(*enable, user, hives, &caller);
    EXPECT_EQ(1u, enable->result);
    auto remove = Request(SETTINGS_STARTUP_DELETE, STARTUP_SCOPE_USER, name);
    HandleSettingsRequest(*remove, user, hives, &refusing);
    EXPECT_EQ(0u, remove->result);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), inRun());
    remove = Request(SETTINGS_STARTUP_DELETE, STARTUP_SCOPE_USER, name);
    HandleSettingsRequest(*remove, user, hives, &caller);
    EXPECT_EQ(1u, remove->result);
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), inRun());
    EXPECT_EQ(3, caller.impersonations);
    EXPECT_EQ(3, caller.reverts);
}

// A key on a startup entry's way that is a registry link (one the user
// planted in his hive, pointing anywhere) stops the move: nothing is read
// or written through it.
TEST(SettingsServerTest, StartupEntriesNeverGoThroughARegistryLink)
{
    const CString sid = CString("S-1-5-21-9-8-7-") + UniqueName("link").Right(6);
    const CString run = sid + "\\" + setting::RunKeyPath;
    const CString orvanel = sid + "\\Software\\Orvanel";
    const CString elsewhere = sid + "\\Elsewhere";
    ASSERT_EQ(ERROR_SUCCESS, WriteRegistryValue(HKEY_USERS, run, "Tool", StringValue("tool.exe")));
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_USERS, elsewhere));
    key.Close();
    ASSERT_TRUE(MakeRegistryLink(HKEY_USERS, orvanel, elsewhere));

    EXPECT_FALSE(MoveStartupEntry(sid, "Tool", STARTUP_SCOPE_USER, false));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), Stored(HKEY_USERS, run, "Tool").type);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_USERS, elsewhere + "\\Brindlewox", KEY_READ));
    EXPECT_EQ(kErrorStoppedOnLink,
              WriteRegistryValue(HKEY_USERS, orvanel + "\\Brindlewox\\Run1-Disabled", "Tool",
                                 StringValue("tool.exe")));
    // The Run key itself behind a link: neither read nor deleted.
    DeleteRegistryLink(HKEY_USERS, orvanel);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_USERS, sid + "\\Software\\Microsoft"));
    ASSERT_EQ(ERROR_SUCCESS,
              WriteRegistryValue(HKEY_USERS, elsewhere + "\\Windows\\CurrentVersion\\Run", "Tool",
                                 StringValue("tool.exe")));
    ASSERT_TRUE(MakeRegistryLink(HKEY_USERS, sid + "\\Software\\Microsoft", elsewhere));
    EXPECT_FALSE(DeleteStartupEntry(sid, "Tool", STARTUP_SCOPE_USER));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ),
              Stored(HKEY_USERS, elsewhere + "\\Windows\\CurrentVersion\\Run", "Tool").type);
    DeleteRegistryLink(HKEY_USERS, sid + "\\Software\\Microsoft");
    RegDeleteTreeA(HKEY_USERS, sid);
    RegDeleteKeyA(HKEY_USERS, sid);
}
