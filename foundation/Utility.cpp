#include "foundation/Utility.h"

#include <cstring>
#include <vector>

BOOL UtcToLocalTime(const SYSTEMTIME* utc, SYSTEMTIME* local)
{
    TIME_ZONE_INFORMATION zone;
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID)
        return FALSE;
    SYSTEMTIME converted;
    if (!SystemTimeToTzSpecificLocalTime(&zone, utc, &converted))
        return FALSE;
    *local = converted;
    return TRUE;
}

CString PathBeforeLastBackslash(const char* path)
{
    const char* slash = std::strrchr(path, '\\');
    return slash != nullptr ? CString(path, static_cast<int>(slash - path)) : CString(path);
}

BOOL GetAppDirectory(CString& directory)
{
    // A full 260-byte buffer may hold a cut name (XP does not even terminate
    // it): grow until the name fits with room to spare.
    std::vector<char> name(MAX_PATH);
    for (;;)
    {
        DWORD length = GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0)
            return FALSE;
        if (length < name.size() - 1)
            break;
        if (name.size() >= 32768 * 2)
            return FALSE;
        name.resize(name.size() * 2);
    }
    directory = PathBeforeLastBackslash(name.data());
    return TRUE;
}

void StringReplace(const char* newText, const char* oldText, CString& target, BOOL all)
{
    if (oldText == nullptr || oldText[0] == 0)
        return;
    if (newText == nullptr)
        newText = "";
    const int oldLength = static_cast<int>(std::strlen(oldText));
    int found = target.Find(oldText, 0);
    if (found < 0)
        return;
    // Built in one pass rather than by a delete and an insert per
    // occurrence, which would move the tail every time.
    CString result = target.Left(found);
    int from = 0;
    while (found >= 0)
    {
        if (from > 0)
            result += target.Mid(from, found - from);
        result += newText;
        from = found + oldLength;
        found = all ? target.Find(oldText, from) : -1;
    }
    result += target.Mid(from);
    target = result;
}

void EnableDebugPrivilege()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return;
#pragma GCC diagnostic pop
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges = {};
    if (LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid))
    {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    CloseHandle(token);
}
