// Running the checked uninstallers (a stand-in that records its argument
// and show state, tests/tools/uninstall_recorder.cpp), the wait that only
// repaints, and the restart of Windows with a recording shutdown call: no
// test makes the real call, which under Wine ends every process.
#include "app/RebootWindows.h"
#include "app/UninstallEntries.h"
#include "engine/BackupRun.h"
#include "tests/app/StartupTestSupport.h"
#include "tests/support/MessagePump.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
// A window that counts its paints and the commands it gets.
std::atomic<int> g_paints{0};
std::atomic<int> g_commands{0};
std::atomic<int> g_timers{0};
LRESULT CALLBACK CountingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT)
    {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        ++g_paints;
        return 0;
    }
    if (message == WM_COMMAND)
        ++g_commands;
    if (message == WM_TIMER)
        ++g_timers;
    return DefWindowProcA(window, message, wParam, lParam);
}

bool PrivilegeEnabled(const char* name)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    PRIVILEGE_SET query = {};
    query.PrivilegeCount = 1;
    LookupPrivilegeValueA(nullptr, name, &query.Privilege[0].Luid);
    BOOL enabled = FALSE;
    PrivilegeCheck(token, &query, &enabled);
    CloseHandle(token);
    return enabled != FALSE;
}

void DisablePrivilege(const char* name)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES change = {};
    change.PrivilegeCount = 1;
    LookupPrivilegeValueA(nullptr, name, &change.Privileges[0].Luid);
    change.Privileges[0].Attributes = 0;
    AdjustTokenPrivileges(token, FALSE, &change, 0, nullptr, nullptr);
    CloseHandle(token);
}

std::atomic<int> g_shutdownCalls{0};
UINT g_shutdownFlags = 0;
DWORD g_shutdownReason = 99;
bool g_privilegeAtCall = false;
BOOL g_shutdownResult = TRUE;
BOOL WINAPI RecordShutdown(UINT flags, DWORD reason)
{
    ++g_shutdownCalls;
    g_shutdownFlags = flags;
    g_shutdownReason = reason;
    g_privilegeAtCall = PrivilegeEnabled("SeShutdownPrivilege");
    return g_shutdownResult;
}
} // namespace

TEST(UninstallRun, TheWaitRepaintsAndKeepsTheTimersButTakesNoInput)
{
    TempFolder folder("uninstall-wait");
    const CString recorder = CopyBuiltProgram(folder, "uninstall_recorder.exe");
    ASSERT_FALSE(recorder.IsEmpty());
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountingProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "BwUninstallWaitWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0,
                                  100, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    UpdateWindow(window);
    PumpMessages();
    g_paints = 0;
    g_commands = 0;
    g_timers = 0;
    SetTimer(window, 1, 100, nullptr);

    // While the stand-in waits for its release, another thread invalidates
    // the window and posts it a command and a click, and lets the stand-in
    // end once the window has repainted and its timer has ticked three times
    // (or the bound has gone by).
    char releaseName[64];
    snprintf(releaseName, sizeof(releaseName), "BwUninstallRelease-%lu", GetCurrentProcessId());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, releaseName);
    ASSERT_NE(nullptr, release);
    HANDLE process =
        StartProcess("\"" + recorder + "\" until=" + CString(releaseName), SW_SHOWNORMAL);
    ASSERT_NE(nullptr, process);
    std::thread other(
        [window, release]
        {
            InvalidateRect(window, nullptr, TRUE);
            PostMessageA(window, WM_COMMAND, 3029, 0);
            PostMessageA(window, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
            WaitUntil([] { return g_paints.load() >= 1 && g_timers.load() >= 3; },
                      wait_bound::kStepMs);
            SetEvent(release);
        });
    WaitRepainting(process);
    other.join();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 0));
    DWORD code = 99;
    GetExitCodeProcess(process, &code);
    EXPECT_EQ(0u, code) << "the stand-in ended without its release";
    CloseHandle(process);
    CloseHandle(release);

    EXPECT_GE(g_paints.load(), 1) << "repainted during the wait";
    EXPECT_EQ(0, g_commands.load()) << "no command ran inside the wait";
    EXPECT_GE(g_timers.load(), 3) << "the timers went on during the wait";
    KillTimer(window, 1);
    // The posted messages wait in the queue for the window's own loop.
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(3029u, LOWORD(message.wParam));
    EXPECT_TRUE(PeekMessageA(&message, window, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE));
    DestroyWindow(window);
}

TEST(UninstallRun, RebootAsksForARestartAfterEnablingThePrivilege)
{
    DisablePrivilege("SeShutdownPrivilege");
    ASSERT_FALSE(PrivilegeEnabled("SeShutdownPrivilege"));
    SetShutdownCall(RecordShutdown);
    g_shutdownResult = TRUE;
    EXPECT_TRUE(RebootWindows());
    EXPECT_EQ(1, g_shutdownCalls.load());
    EXPECT_EQ(UINT(EWX_REBOOT | EWX_FORCEIFHUNG), g_shutdownFlags);
    EXPECT_EQ(0u, g_shutdownReason);
    EXPECT_TRUE(g_privilegeAtCall);

    // A refused restart is reported.
    g_shutdownResult = FALSE;
    EXPECT_FALSE(RebootWindows());
    EXPECT_EQ(2, g_shutdownCalls.load());
    SetShutdownCall(nullptr);
}
