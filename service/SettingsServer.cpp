#include "service/SettingsServer.h"

#include "foundation/Registry.h"
#include "foundation/Sync.h"
#include "engine/Settings.h"
#include "service/CrashHandler.h"
#include "service/BackupRequests.h"
#include "service/PipeServingLoop.h"
#include "service/ServerThreads.h"
#include "service/ServiceLog.h"

#include <shlwapi.h>

#include <atomic>
#include <memory>

namespace
{
// Values of the product key written only here.
constexpr const char kCurrentLanguageValue[] = "CurrentLanguage";
constexpr const char kProfilePathValue[] = "ProfilePath";
// The parking keys, below the user's hive.
constexpr const char kMachineParkingKey[] = "\\Software\\Orvanel\\Brindlewox\\Run-Disabled";
constexpr const char kUserParkingKey[] = "\\Software\\Orvanel\\Brindlewox\\Run1-Disabled";
// Type 10's key and values.
constexpr const char kSearchKeyPath[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Search";
constexpr const char kSearchAssistantValue[] = "SearchAssistant";
constexpr const char kCustomizeSearchValue[] = "CustomizeSearch";
// Type 14's marks.
constexpr const char kValueMark[] = "-[val]-";
constexpr const char kMachineClasses[] = "SOFTWARE\\Classes\\";

// What type 8 left, for this thread and the BACKUP server's.
CCriticalSection g_keptLock;
CString g_userKeyRoot;
CString g_profilePath;
// Whether the kept profile path is in the product key already: the main
// program sends type 8 every 2 seconds, and the same value need not be
// written each time.
bool g_profilePathWritten = false;
// Set once the product key's protection is known to be in place.
std::atomic<bool> g_productKeySecured{false};

// A received text field, which a peer may have left without a NUL.
template <size_t N> CString FieldText(const char (&field)[N])
{
    return CString(field, static_cast<int>(IpcTextLength(field)));
}

bool RepliesTo(uint32_t type)
{
    switch (type)
    {
    case SETTINGS_COMPACT_HIVES:
    case SETTINGS_SAVE_HIVES:
    case SETTINGS_RESTORE_HIVES:
    case SETTINGS_STARTUP_ENABLE:
    case SETTINGS_STARTUP_DELETE:
    case SETTINGS_MAY_DELETE:
        return true;
    default:
        return false;
    }
}

bool IsServedType(uint32_t type)
{
    return (type >= SETTINGS_PROXY && type <= SETTINGS_DELETE_VALUE) || type == SETTINGS_MAY_DELETE;
}

bool OpenProductKey(CRegistryKey& key)
{
    CSecurityDescriptor privateKey;
    if (!privateKey.FromText(kPrivateKeyDescriptor))
        return false;
    LONG result = key.Create(HKEY_LOCAL_MACHINE, kSettingsKeyPath, nullptr, 0, KEY_ALL_ACCESS,
                             privateKey.GetAttributes());
    if (result != ERROR_SUCCESS)
    {
        ServiceLog("the product key cannot be opened (error %ld)", result);
        return false;
    }
    // The protection is set once per process on the key as found: a key
    // made before (by an older program, by setup) keeps the DACL it was made
    // with, and Wine 8 ignores the security attributes of a new key.
    if (!g_productKeySecured.load())
    {
        result = ::RegSetKeySecurity(
            key, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, privateKey.Get());
        if (result != ERROR_SUCCESS)
        {
            ServiceLog("the product key cannot be made private (error %ld); nothing is written",
                       result);
            key.Close();
            return false;
        }
    }
    g_productKeySecured.store(true);
    return true;
}

struct StartupKeys
{
    HKEY runRoot;
    CString runPath;
    CString parkingPath; // under HKEY_USERS
};

StartupKeys StartupKeysFor(const char* sid, DWORD scope)
{
    StartupKeys keys;
    const CString user(sid);
    if (scope == STARTUP_SCOPE_USER)
    {
        keys.runRoot = HKEY_USERS;
        keys.runPath = user + "\\" + setting::RunKeyPath;
        keys.parkingPath = user + kUserParkingKey;
    }
    else
    {
        keys.runRoot = HKEY_LOCAL_MACHINE;
        keys.runPath = setting::RunKeyPath;
        keys.parkingPath = user + kMachineParkingKey;
    }
    return keys;
}

bool MachineClassesKeyExists(const char* machinePath)
{
    CRegistryKey key;
    return key.Open(HKEY_LOCAL_MACHINE, machinePath, KEY_QUERY_VALUE) == ERROR_SUCCESS;
}

// Types 2, 3 and 4 run with the backup and restore privileges enabled on
// this thread alone, for the task: the process's BACKUP threads serve other
// callers as SYSTEM meanwhile, with the privileges they had. False (logged)
// when the thread cannot have them: the task is then not run.
const char* const kHiveTaskPrivileges[] = {SE_BACKUP_NAME, SE_RESTORE_NAME, nullptr};

bool HasHiveTaskPrivileges(const CThreadPrivileges& privileges)
{
    if (privileges.IsActive())
        return true;
    ServiceLog("a registry task cannot have the backup and restore privileges (error %lu)",
               ::GetLastError());
    return false;
}

void KeepUserProfile(const CString& userKeyRoot, const CString& profilePath)
{
    bool write;
    {
        CLockGuard guard(g_keptLock);
        write = !g_profilePathWritten || g_profilePath != profilePath;
    }
    const bool written = !write || WriteMachineSettingString(kProfilePathValue, profilePath);
    CLockGuard guard(g_keptLock);
    g_userKeyRoot = userKeyRoot;
    g_profilePath = profilePath;
    g_profilePathWritten = written;
}

// Type 14 as the caller: whether he could open the key for deletion
// himself (and whether the machine's class key is there, as he sees it).
uint32_t MayDeleteAsCaller(const CString& key, const PipeClientIdentity& client,
                           IPipeCaller& caller)
{
    CCallerScope asCaller(caller);
    if (!asCaller.IsActive())
        return 0;
    const RegistryKeyPath target =
        ResolveDeletionCheckPath(key, client.sid, MachineClassesKeyExists);
    CRegistryKey probe;
    return probe.Open(target.root, target.path, DELETE) == ERROR_SUCCESS ? 1 : 0;
}

// Types 6 and 7: the user's own Run key is changed as the user himself, so
// nothing he could not change alone is; the machine's (administrators only)
// as the service.
uint32_t ChangeStartupEntry(const IpcSettingsRecord& record, const CString& name,
                            const PipeClientIdentity& client, IPipeCaller* caller)
{
    if (name.IsEmpty())
        return 0;
    const auto change = [&]
    {
        return record.type == SETTINGS_STARTUP_ENABLE
                   ? MoveStartupEntry(client.sid, name, record.scope, record.proxyType != 0)
                   : DeleteStartupEntry(client.sid, name, record.scope);
    };
    if (record.scope != STARTUP_SCOPE_USER)
        return change() ? 1 : 0;
    if (caller == nullptr)
        return 0;
    CCallerScope asCaller(*caller);
    return asCaller.IsActive() && change() ? 1 : 0;
}

// The work of an allowed request; its result for the reply (1 done).
uint32_t Perform(const IpcSettingsRecord& record, const PipeClientIdentity& client,
                 IHiveRegistry& hives, IPipeCaller* caller)
{
    const CString key = FieldText(record.key);
    switch (record.type)
    {
    case SETTINGS_PROXY:
        WriteMachineSettingString(setting::ProxyHost, FieldText(record.proxyHost));
        WriteMachineSettingDword(setting::ProxyPort, record.proxyPort);
        WriteMachineSettingString(setting::ProxyLogin, FieldText(record.proxyLogin));
        WriteMachineSettingString(setting::ProxyPassword, FieldText(record.proxyPassword));
        WriteMachineSettingDword(setting::ProxyType, record.proxyType);
        return 0;
    case SETTINGS_LANGUAGE:
        WriteMachineSettingString(kCurrentLanguageValue, FieldText(record.language));
        return 0;
    case SETTINGS_USER_PROFILE:
        KeepUserProfile(FieldText(record.userKeyRoot), FieldText(record.profilePath));
        return 0;
    case SETTINGS_COMPACT_HIVES:
    {
        CThreadPrivileges privileges(kHiveTaskPrivileges);
        return HasHiveTaskPrivileges(privileges) && CompactRegistryHives(hives) ? 1 : 0;
    }
    case SETTINGS_SAVE_HIVES:
    {
        if (key.IsEmpty())
            return 0;
        CThreadPrivileges privileges(kHiveTaskPrivileges);
        return HasHiveTaskPrivileges(privileges) && SaveRegistryHives(key, hives) ? 1 : 0;
    }
    case SETTINGS_RESTORE_HIVES:
    {
        if (key.IsEmpty())
            return 0;
        CThreadPrivileges privileges(kHiveTaskPrivileges);
        return HasHiveTaskPrivileges(privileges) && ScheduleRegistryRestore(key, hives) ? 1 : 0;
    }
    case SETTINGS_STARTUP_ENABLE:
    case SETTINGS_STARTUP_DELETE:
        return ChangeStartupEntry(record, key, client, caller);
    case SETTINGS_DELETE_KEY:
    {
        // An empty path would delete every key below the root.
        CString path = key;
        path.Trim();
        if (path.IsEmpty() || path[0] == '\\')
            return 0;
        if (record.scope == 1)
            ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, key);
        else if (record.scope == 2)
            ::SHDeleteKeyA(HKEY_CLASSES_ROOT, key);
        return 0;
    }
    case SETTINGS_SEARCH_PAGE:
    {
        if (record.scope != 1 && record.scope != 2)
            return 0;
        CRegistryKey search;
        if (search.Open(HKEY_LOCAL_MACHINE, kSearchKeyPath, KEY_ALL_ACCESS) == ERROR_SUCCESS)
            search.SetStringValue(key, record.scope == 1 ? kSearchAssistantValue
                                                         : kCustomizeSearchValue);
        return 0;
    }
    case SETTINGS_DELETE_VALUE:
        ::SHDeleteValueA(HKEY_LOCAL_MACHINE, key, FieldText(record.valueName));
        return 0;
    case SETTINGS_MAY_DELETE:
        return caller != nullptr ? MayDeleteAsCaller(key, client, *caller) : 0;
    default:
        return 0;
    }
}
} // namespace

unsigned __stdcall SettingsServerThread(void*)
{
    CPipeServingLoop server;
    if (!server.Create(GetIpcPipeName(IpcPipe::Settings), sizeof(IpcSettingsRecord)))
        return 0;
    std::unique_ptr<IpcSettingsRecord> record(new IpcSettingsRecord());
    server.Serve(record.get(),
                 [&](DWORD, const PipeClientIdentity& client) -> DWORD
                 {
                     CPipeClientIdentity caller(server.GetHandle());
                     const DWORD reply =
                         HandleSettingsRequest(*record, client, GetSystemHiveRegistry(), &caller);
                     if (!caller.IsStuck())
                         return reply;
                     ServiceLog("the SETTINGS pipe could not return to its own rights and "
                                "serves no more requests");
                     server.EndServing();
                     return 0;
                 });
    return 0;
}

bool IsSettingsRequestAllowed(const IpcSettingsRecord& request, const PipeClientIdentity& client)
{
    if (!client.known)
        return false;
    switch (request.type)
    {
    case SETTINGS_PROXY:
    case SETTINGS_LANGUAGE:
    case SETTINGS_MAY_DELETE:
        return true;
    case SETTINGS_USER_PROFILE:
        return !client.sid.IsEmpty() &&
               FieldText(request.userKeyRoot).CompareNoCase(client.sid) == 0;
    case SETTINGS_STARTUP_ENABLE:
    case SETTINGS_STARTUP_DELETE:
        return request.scope == STARTUP_SCOPE_USER || client.administrator;
    case SETTINGS_COMPACT_HIVES:
    case SETTINGS_SAVE_HIVES:
    case SETTINGS_RESTORE_HIVES:
    case SETTINGS_DELETE_KEY:
    case SETTINGS_SEARCH_PAGE:
    case SETTINGS_DELETE_VALUE:
        return client.administrator;
    default:
        return false;
    }
}

DWORD HandleSettingsRequest(IpcSettingsRecord& record, const PipeClientIdentity& client,
                            IHiveRegistry& hives, IPipeCaller* caller)
{
    const uint32_t type = record.type;
    if (!IsServedType(type))
        return 0;
    uint32_t result = 0;
    if (IsSettingsRequestAllowed(record, client))
        result = Perform(record, client, hives, caller);
    else
        ServiceLog("SETTINGS request %lu (scope %lu) refused for %s%s",
                   static_cast<unsigned long>(type), static_cast<unsigned long>(record.scope),
                   client.known ? static_cast<const char*>(client.sid) : "an unknown client",
                   client.administrator ? " (administrator)" : "");
    if (!RepliesTo(type))
        return 0;
    record.type = IPC_STATUS_OK;
    record.result = result;
    return sizeof(IpcSettingsRecord);
}

CString GetServiceUserKeyRoot()
{
    CLockGuard guard(g_keptLock);
    return g_userKeyRoot;
}

CString GetServiceProfilePath()
{
    CLockGuard guard(g_keptLock);
    return g_profilePath;
}

bool IsServiceProfilePathKnown()
{
    CLockGuard guard(g_keptLock);
    return !g_profilePath.IsEmpty();
}

bool WriteMachineSettingString(const char* valueName, const char* data)
{
    CRegistryKey key;
    return OpenProductKey(key) && key.SetStringValue(data, valueName) == ERROR_SUCCESS;
}

bool WriteMachineSettingDword(const char* valueName, DWORD data)
{
    CRegistryKey key;
    return OpenProductKey(key) && key.SetDwordValue(data, valueName) == ERROR_SUCCESS;
}

LONG ReadRegistryValue(HKEY root, const char* keyPath, const char* valueName, RegistryValue& value)
{
    CRegistryKey key;
    LONG result = key.OpenWithoutLinks(root, keyPath, KEY_QUERY_VALUE);
    if (result != ERROR_SUCCESS)
        return result;
    // The value may grow between the two calls: asked again until it fits.
    for (;;)
    {
        DWORD type = REG_NONE;
        DWORD size = 0;
        result = ::RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size);
        if (result != ERROR_SUCCESS)
            return result;
        std::vector<BYTE> data(size);
        result = ::RegQueryValueExA(key, valueName, nullptr, &type, data.data(), &size);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            return result;
        data.resize(size);
        value.type = type;
        value.data.swap(data);
        return ERROR_SUCCESS;
    }
}

LONG WriteRegistryValue(HKEY root, const char* keyPath, const char* valueName,
                        const RegistryValue& value)
{
    CRegistryKey key;
    LONG result = key.CreateWithoutLinks(root, keyPath, KEY_SET_VALUE);
    if (result != ERROR_SUCCESS)
        return result;
    return ::RegSetValueExA(key, valueName, 0, value.type, value.data.data(),
                            static_cast<DWORD>(value.data.size()));
}

LONG DeleteRegistryValue(HKEY root, const char* keyPath, const char* valueName)
{
    CRegistryKey key;
    LONG result = key.OpenWithoutLinks(root, keyPath, KEY_SET_VALUE);
    if (result != ERROR_SUCCESS)
        return result;
    return key.DeleteValue(valueName);
}

bool MoveStartupEntry(const char* sid, const char* name, DWORD scope, bool enable)
{
    const StartupKeys keys = StartupKeysFor(sid, scope);
    const HKEY fromRoot = enable ? HKEY_USERS : keys.runRoot;
    const CString& fromPath = enable ? keys.parkingPath : keys.runPath;
    const HKEY toRoot = enable ? keys.runRoot : HKEY_USERS;
    const CString& toPath = enable ? keys.runPath : keys.parkingPath;
    RegistryValue value;
    if (ReadRegistryValue(fromRoot, fromPath, name, value) != ERROR_SUCCESS)
        return false;
    LONG result = WriteRegistryValue(toRoot, toPath, name, value);
    if (result != ERROR_SUCCESS)
    {
        ServiceLog("startup entry %s cannot be written into %s (error %ld)", name,
                   static_cast<const char*>(toPath), result);
        return false;
    }
    result = DeleteRegistryValue(fromRoot, fromPath, name);
    if (result != ERROR_SUCCESS)
    {
        ServiceLog("startup entry %s is in %s and still in %s (error %ld)", name,
                   static_cast<const char*>(toPath), static_cast<const char*>(fromPath), result);
        return false;
    }
    return true;
}

bool DeleteStartupEntry(const char* sid, const char* name, DWORD scope)
{
    const StartupKeys keys = StartupKeysFor(sid, scope);
    return DeleteRegistryValue(keys.runRoot, keys.runPath, name) == ERROR_SUCCESS;
}

RegistryKeyPath ResolveDeletionCheckPath(const CString& displayPath, const CString& userRoot,
                                         bool (*classesKeyExists)(const char* machinePath))
{
    RegistryKeyPath target = {HKEY_LOCAL_MACHINE, displayPath};
    CString& path = target.path;
    if (path.Find("HKEY_CLASSES_ROOT\\") >= 0)
    {
        ReplaceText(path, "HKEY_CLASSES_ROOT\\", kMachineClasses, FALSE);
        CString probe = path;
        const int mark = probe.Find(kValueMark);
        if (mark >= 0)
            probe.Truncate(mark);
        if (!classesKeyExists(probe))
        {
            ReplaceText(path, kMachineClasses, userRoot + "\\" + kMachineClasses, FALSE);
            target.root = HKEY_USERS;
        }
    }
    else if (path.Find("HKEY_CURRENT_USER\\") >= 0)
    {
        ReplaceText(path, "HKEY_CURRENT_USER\\", userRoot + "\\", FALSE);
        target.root = HKEY_USERS;
    }
    else if (path.Find("HKEY_LOCAL_MACHINE\\") >= 0)
    {
        ReplaceText(path, "HKEY_LOCAL_MACHINE\\", "", FALSE);
    }
    else if (path.Find("HKEY_USERS\\") >= 0)
    {
        ReplaceText(path, "HKEY_USERS\\", "", FALSE);
        target.root = HKEY_USERS;
    }
    else if (path.Find("HKEY_CURRENT_CONFIG\\") >= 0)
    {
        ReplaceText(path, "HKEY_CURRENT_CONFIG\\", "", FALSE);
        target.root = HKEY_CURRENT_CONFIG;
    }
    return target;
}
