// What the drivers of the end-to-end scripts share. They run the programs
// inside Wine's virtual desktop (`explorer /desktop=NAME,WxH`, the only place
// where Wine has a notification area), whose windows only a thread that
// joined the desktop can see, and they find the programs' windows there
// from outside, as a user would.
#ifndef BRINDLEWOX_TESTS_TOOLS_DRIVERSUPPORT_H
#define BRINDLEWOX_TESTS_TOOLS_DRIVERSUPPORT_H

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>

using WindowTest = std::function<bool(HWND)>;

// Waits up to `seconds` for the desktop, which the desktop's explorer makes
// a moment after it starts; says on stderr, with the tool's name, when it
// never came.
inline bool WaitForDesktop(const char* tool, const char* name, int seconds)
{
    for (int i = 0; i < seconds * 10; ++i)
    {
        if (HDESK desktop = OpenDesktopA(name, 0, FALSE, GENERIC_READ))
        {
            CloseDesktop(desktop);
            return true;
        }
        Sleep(100);
    }
    fprintf(stderr, "%s: no desktop %s\n", tool, name);
    return false;
}

// WaitForDesktop, then joins it: this thread sees the desktop's windows.
inline bool JoinDesktop(const char* tool, const char* name, int seconds)
{
    if (!WaitForDesktop(tool, name, seconds))
        return false;
    HDESK desktop = OpenDesktopA(name, 0, FALSE, GENERIC_ALL);
    if (desktop == nullptr || !SetThreadDesktop(desktop))
    {
        fprintf(stderr, "%s: cannot join desktop %s (error %lu)\n", tool, name, GetLastError());
        return false;
    }
    return true;
}

// Whether the window is a dialog (class "#32770"); with a caption given,
// one of exactly that caption.
inline bool IsDialogWindow(HWND window, const char* caption = nullptr)
{
    char className[16] = "";
    GetClassNameA(window, className, sizeof(className));
    if (strcmp(className, "#32770") != 0)
        return false;
    if (caption == nullptr)
        return true;
    char text[256] = "";
    GetWindowTextA(window, text, sizeof(text));
    return strcmp(text, caption) == 0;
}

namespace driver_detail
{
struct Search
{
    const WindowTest& test;
    bool children;
    HWND found;
};

inline BOOL CALLBACK FindAmongChildren(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    if (!search->test(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

inline BOOL CALLBACK FindAmongTopLevel(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    if (search->test(window))
    {
        search->found = window;
        return FALSE;
    }
    if (search->children)
        EnumChildWindows(window, FindAmongChildren, parameter);
    return search->found == nullptr;
}
} // namespace driver_detail

// The first top-level window that passes the test; with `children`, each
// top-level window's descendants are tried after it (hidden in the tray,
// the main window is a child of its program's invisible parent window).
inline HWND FindWindowWhere(const WindowTest& test, bool children = false)
{
    driver_detail::Search search = {test, children, nullptr};
    EnumWindows(driver_detail::FindAmongTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// FindWindowWhere every 100 ms until a window passes or `milliseconds`
// have gone by; null when none came.
inline HWND WaitForWindowWhere(const WindowTest& test, DWORD milliseconds, bool children = false)
{
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;)
    {
        if (HWND found = FindWindowWhere(test, children))
            return found;
        if (GetTickCount64() >= end)
            return nullptr;
        Sleep(100);
    }
}

// Returns once the window's thread has handled what was sent to it before
// (at most the time-out); false when it did not answer in time.
inline bool Sync(HWND window, DWORD timeoutMs)
{
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &answer) != 0;
}

// Sync, then time for the first paint of every control to reach the screen
// before anyone looks at it.
inline void LetPaint(HWND window, DWORD timeoutMs, DWORD settleMs = 1500)
{
    Sync(window, timeoutMs);
    Sleep(settleMs);
}

// The control with the id among the window's own, else among its
// descendants (the pages), in their order; with `visibleOnly`, a shown one.
inline HWND FindControl(HWND top, int id, bool visibleOnly = false)
{
    HWND own = GetDlgItem(top, id);
    if (own != nullptr && (!visibleOnly || IsWindowVisible(own)))
        return own;
    const WindowTest test = [id, visibleOnly](HWND window)
    { return GetDlgCtrlID(window) == id && (!visibleOnly || IsWindowVisible(window)); };
    driver_detail::Search search = {test, false, nullptr};
    EnumChildWindows(top, driver_detail::FindAmongChildren, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Prints "name left top right bottom": the window's rectangle, or its
// client area, in screen pixels of the desktop. Nothing for no window.
inline void PrintRect(const char* name, HWND window, bool client)
{
    if (window == nullptr)
        return;
    RECT rect = {};
    if (client)
    {
        GetClientRect(window, &rect);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    }
    else
    {
        GetWindowRect(window, &rect);
    }
    printf("%s %ld %ld %ld %ld\n", name, rect.left, rect.top, rect.right, rect.bottom);
}

#endif
