#include "tests/service/CallerTokens.h"

#include "foundation/Security.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstddef>

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
    case Caller::EnabledBackupPrivilege:
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

void MakePrivileges(Caller caller, std::vector<BYTE>& privileges)
{
    const bool backup =
        caller == Caller::BackupPrivilege || caller == Caller::EnabledBackupPrivilege;
    const DWORD count = backup ? 2 : 1;
    privileges.assign(offsetof(TOKEN_PRIVILEGES, Privileges) + count * sizeof(LUID_AND_ATTRIBUTES),
                      0);
    auto* list = reinterpret_cast<TOKEN_PRIVILEGES*>(privileges.data());
    list->PrivilegeCount = count;
    EXPECT_TRUE(LookupPrivilegeValueA(nullptr, SE_CHANGE_NOTIFY_NAME, &list->Privileges[0].Luid));
    list->Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (backup)
    {
        EXPECT_TRUE(LookupPrivilegeValueA(nullptr, SE_BACKUP_NAME, &list->Privileges[1].Luid));
        list->Privileges[1].Attributes =
            caller == Caller::EnabledBackupPrivilege ? SE_PRIVILEGE_ENABLED : 0;
    }
}

bool MakeCallerToken(Caller who, CCallerToken& caller, DWORD integrityLevel)
{
    CAccessToken process;
    if (!process.OpenProcess(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE) ||
        !caller.token.Duplicate(process.Get(), TOKEN_QUERY))
        return false;
    MakeGroups(who, caller.groups);
    MakePrivileges(who, caller.privileges);
    caller.integrityLevel = integrityLevel;
    return true;
}

bool SetFileDacl(const char* path, const char* dacl)
{
    CSecurityDescriptor descriptor;
    return descriptor.FromText(dacl) &&
           SetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor.Get());
}

bool WriteSecretAndOpenFiles(const char* secret, const char* open)
{
    return WriteTextFile(secret, "not for everyone") && WriteTextFile(open, "for everyone") &&
           SetFileDacl(secret, "D:P(A;;FA;;;SY)") && SetFileDacl(open, kEveryoneDacl);
}
