#include "foundation/Security.h"

#include <sddl.h>

CSecurityDescriptor::~CSecurityDescriptor()
{
    if (m_descriptor != nullptr)
        ::LocalFree(m_descriptor);
}

bool CSecurityDescriptor::FromText(const char* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr))
    {
        const DWORD error = ::GetLastError();
        Attach(nullptr);
        ::SetLastError(error);
        return false;
    }
    Attach(descriptor);
    return true;
}

bool CSecurityDescriptor::FromObject(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION what)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result =
        ::GetSecurityInfo(object, type, what, nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (result != ERROR_SUCCESS)
    {
        Attach(nullptr);
        ::SetLastError(result);
        return false;
    }
    Attach(descriptor);
    return true;
}

SECURITY_ATTRIBUTES* CSecurityDescriptor::GetAttributes()
{
    if (m_descriptor == nullptr)
        return nullptr;
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = m_descriptor;
    m_attributes.bInheritHandle = FALSE;
    return &m_attributes;
}

void CSecurityDescriptor::Attach(PSECURITY_DESCRIPTOR descriptor)
{
    if (m_descriptor != nullptr && m_descriptor != descriptor)
        ::LocalFree(m_descriptor);
    m_descriptor = descriptor;
}

PSECURITY_DESCRIPTOR CSecurityDescriptor::Detach()
{
    PSECURITY_DESCRIPTOR descriptor = m_descriptor;
    m_descriptor = nullptr;
    return descriptor;
}

CAccessToken::~CAccessToken()
{
    Close();
}

bool CAccessToken::OpenThread(DWORD access)
{
    Close();
    HANDLE token = nullptr;
    if (!::OpenThreadToken(::GetCurrentThread(), access, TRUE, &token))
        return false;
    m_token = token;
    return true;
}

bool CAccessToken::OpenProcess(HANDLE process, DWORD access)
{
    Close();
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, access, &token))
        return false;
    m_token = token;
    return true;
}

bool CAccessToken::Duplicate(HANDLE token, DWORD access)
{
    HANDLE copy = nullptr;
    if (!::DuplicateTokenEx(token, access, nullptr, SecurityImpersonation, TokenImpersonation,
                            &copy))
    {
        const DWORD error = ::GetLastError();
        Close();
        ::SetLastError(error);
        return false;
    }
    Attach(copy);
    return true;
}

void CAccessToken::Close()
{
    if (m_token != nullptr)
        ::CloseHandle(m_token);
    m_token = nullptr;
}

void CAccessToken::Attach(HANDLE token)
{
    if (m_token != token)
        Close();
    m_token = token;
}

HANDLE CAccessToken::Detach()
{
    HANDLE token = m_token;
    m_token = nullptr;
    return token;
}

bool ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what, std::vector<BYTE>& data)
{
    // Groups can change between the two calls (a token's groups do not, but
    // a default DACL may): asked again until it fits.
    for (int attempt = 0; attempt < 4; ++attempt)
    {
        DWORD size = 0;
        ::GetTokenInformation(token, what, nullptr, 0, &size);
        if (size == 0)
            return false;
        std::vector<BYTE> read(size);
        if (::GetTokenInformation(token, what, read.data(), size, &size))
        {
            data.swap(read);
            return true;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
    }
    return false;
}

bool HoldsEnabledGroup(const TOKEN_GROUPS& groups, PSID group)
{
    for (DWORD i = 0; i < groups.GroupCount; ++i)
    {
        const SID_AND_ATTRIBUTES& held = groups.Groups[i];
        if ((held.Attributes & SE_GROUP_ENABLED) != 0 &&
            (held.Attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0 && ::EqualSid(held.Sid, group))
            return true;
    }
    return false;
}

bool HoldsEnabledGroup(const TOKEN_GROUPS& groups, WELL_KNOWN_SID_TYPE group)
{
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    return ::CreateWellKnownSid(group, nullptr, sid, &size) && HoldsEnabledGroup(groups, sid);
}

bool HoldsEnabledPrivilege(const TOKEN_PRIVILEGES& privileges, const char* name)
{
    LUID wanted;
    if (!::LookupPrivilegeValueA(nullptr, name, &wanted))
        return false;
    for (DWORD i = 0; i < privileges.PrivilegeCount; ++i)
    {
        const LUID_AND_ATTRIBUTES& held = privileges.Privileges[i];
        if (held.Luid.LowPart == wanted.LowPart && held.Luid.HighPart == wanted.HighPart)
            return (held.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    return false;
}

namespace
{
// The last sub-authority of a label's SID: its level.
bool LevelOfLabelSid(PSID sid, DWORD& level)
{
    if (sid == nullptr || !::IsValidSid(sid) || *::GetSidSubAuthorityCount(sid) == 0)
        return false;
    level = *::GetSidSubAuthority(sid, *::GetSidSubAuthorityCount(sid) - 1u);
    return true;
}
} // namespace

bool ReadTokenIntegrityLevel(HANDLE token, DWORD& level)
{
    std::vector<BYTE> label;
    return ReadTokenInformation(token, TokenIntegrityLevel, label) &&
           LevelOfLabelSid(reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label.data())->Label.Sid,
                           level);
}

bool ReadMandatoryLabel(PSECURITY_DESCRIPTOR descriptor, DWORD& level, DWORD& policy)
{
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL sacl = nullptr;
    if (descriptor == nullptr ||
        !::GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted) || !present ||
        sacl == nullptr)
        return false;
    for (DWORD i = 0; i < sacl->AceCount; ++i)
    {
        ACE_HEADER* header = nullptr;
        if (!::GetAce(sacl, i, reinterpret_cast<void**>(&header)) ||
            header->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE ||
            (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        const auto* ace = reinterpret_cast<const SYSTEM_MANDATORY_LABEL_ACE*>(header);
        DWORD found = 0;
        if (!LevelOfLabelSid(const_cast<DWORD*>(&ace->SidStart), found))
            return false;
        level = found;
        policy = ace->Mask;
        return true;
    }
    return false;
}

bool IsReadUpDenied(PSECURITY_DESCRIPTOR descriptor, DWORD callerLevel)
{
    DWORD level = 0;
    DWORD policy = 0;
    return ReadMandatoryLabel(descriptor, level, policy) && level > callerLevel &&
           (policy & SYSTEM_MANDATORY_LABEL_NO_READ_UP) != 0;
}

CThreadPrivileges::CThreadPrivileges(const char* const* names)
{
    CAccessToken process;
    CAccessToken copy;
    if (!process.OpenProcess(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY) ||
        !copy.Duplicate(process.Get(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY | TOKEN_IMPERSONATE))
        return;
    for (const char* const* name = names; *name != nullptr; ++name)
    {
        TOKEN_PRIVILEGES privilege = {};
        privilege.PrivilegeCount = 1;
        privilege.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!::LookupPrivilegeValueA(nullptr, *name, &privilege.Privileges[0].Luid))
            return;
        ::SetLastError(NO_ERROR);
        // ERROR_NOT_ALL_ASSIGNED: the process does not hold it.
        if (!::AdjustTokenPrivileges(copy.Get(), FALSE, &privilege, 0, nullptr, nullptr) ||
            ::GetLastError() != NO_ERROR)
            return;
    }
    m_active = ::SetThreadToken(nullptr, copy.Get()) != FALSE;
}

CThreadPrivileges::~CThreadPrivileges()
{
    // Should RevertToSelf fail, dropping the thread's token does the same.
    if (m_active && !::RevertToSelf())
        ::SetThreadToken(nullptr, nullptr);
}

bool IsAccessGranted(HANDLE token, PSECURITY_DESCRIPTOR descriptor, DWORD access,
                     const GENERIC_MAPPING& mapping)
{
    GENERIC_MAPPING map = mapping;
    ::MapGenericMask(&access, &map);
    // Room for the privileges a check may use (none are asked here).
    BYTE privileges[sizeof(PRIVILEGE_SET) + 4 * sizeof(LUID_AND_ATTRIBUTES)];
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL status = FALSE;
    if (!::AccessCheck(descriptor, token, access, &map,
                       reinterpret_cast<PRIVILEGE_SET*>(privileges), &privilegesSize, &granted,
                       &status))
        return false;
    return status && (granted & access) == access;
}

const GENERIC_MAPPING& FileGenericMapping()
{
    static const GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE,
                                            FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    return mapping;
}
