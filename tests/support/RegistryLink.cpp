#include "tests/support/RegistryLink.h"

#include <sddl.h>

#include <string>

namespace
{
// The root in the system's own names: "\Registry\User\<SID>" for
// HKEY_CURRENT_USER, "\Registry\User" for HKEY_USERS.
std::wstring RootNtPath(HKEY root)
{
    std::wstring path = L"\\Registry\\User";
    if (root == HKEY_USERS)
        return path;
    HANDLE token = nullptr;
    BYTE user[512];
    DWORD size = 0;
    wchar_t* sid = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid))
    {
        path += std::wstring(L"\\") + sid;
        LocalFree(sid);
    }
    else
    {
        path.clear();
    }
    if (token != nullptr)
        CloseHandle(token);
    return path;
}
} // namespace

bool MakeRegistryLink(HKEY root, const char* path, const char* target)
{
    std::wstring to = RootNtPath(root);
    if (to.empty())
        return false;
    to += L"\\";
    for (const char* c = target; *c; ++c)
        to += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    HKEY link = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                                       reinterpret_cast<const BYTE*>(to.c_str()),
                                       static_cast<DWORD>(to.size() * sizeof(wchar_t)));
    RegCloseKey(link);
    return result == ERROR_SUCCESS;
}

void DeleteRegistryLink(HKEY root, const char* path)
{
    HKEY link = nullptr;
    if (RegOpenKeyExA(root, path, REG_OPTION_OPEN_LINK, DELETE, &link) != ERROR_SUCCESS)
        return;
    using NtDeleteKeyFunction = LONG(WINAPI*)(HANDLE);
    if (auto deleteKey = reinterpret_cast<NtDeleteKeyFunction>(
            GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")))
        deleteKey(link);
    RegCloseKey(link);
}
