#include "app/RebootWindows.h"

namespace
{
ShutdownCall g_shutdown = nullptr;

bool EnableShutdownPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    bool enabled = false;
    if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
    {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        // AdjustTokenPrivileges succeeds even when the token lacks the
        // privilege; only the last error (ERROR_NOT_ALL_ASSIGNED) says so.
        SetLastError(ERROR_SUCCESS);
        enabled = AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                  GetLastError() == ERROR_SUCCESS;
    }
    CloseHandle(token);
    return enabled;
}
} // namespace

void SetShutdownCall(ShutdownCall call)
{
    g_shutdown = call;
}

bool RebootWindows()
{
    if (!EnableShutdownPrivilege())
        return false;
    const ShutdownCall shutdown = g_shutdown != nullptr ? g_shutdown : ExitWindowsEx;
    return shutdown(EWX_REBOOT | EWX_FORCEIFHUNG, 0) != FALSE;
}
