// What the drivers of the end-to-end scripts share. They run the programs
// inside Wine's virtual desktop (`explorer /desktop=NAME,WxH`, the only place
// where Wine has a notification area), whose windows only a thread that
// joined the desktop can see, and they find the programs' windows there
// from outside, as a user would. Every wait is for a condition, bounded by
// the named bounds of tests/support/Waits.h; a driver that gives up says
// what it saw (PrintDesktopWindows).
#ifndef BRINDLEWOX_TESTS_TOOLS_DRIVERSUPPORT_H
#define BRINDLEWOX_TESTS_TOOLS_DRIVERSUPPORT_H

#include "tests/support/Waits.h"

#include <cstdio>
#include <cstring>
#include <functional>

using WindowTest = std::function<bool(HWND)>;

// Waits for the desktop, which the desktop's explorer makes a moment after
// it starts; says on stderr, with the tool's name, when it never came.
inline bool WaitForDesktop(const char* tool, const char* name)
{
    const bool made = WaitUntil(
        [name]
        {
            HDESK desktop = OpenDesktopA(name, 0, FALSE, GENERIC_READ);
            if (desktop != nullptr)
                CloseDesktop(desktop);
            return desktop != nullptr;
        },
        wait_bound::kProgramStartMs);
    if (!made)
        fprintf(stderr, "%s: no desktop %s\n", tool, name);
    return made;
}

// WaitForDesktop, then joins it: this thread sees the desktop's windows.
inline bool JoinDesktop(const char* tool, const char* name)
{
    if (!WaitForDesktop(tool, name))
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

// FindWindowWhere until a window passes or `boundMs` have gone by; null
// when none came.
inline HWND WaitForWindowWhere(const WindowTest& test, DWORD boundMs, bool children = false)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowWhere(test, children)) != nullptr; }, boundMs);
    return found;
}

// Returns once the window's thread has handled what was sent to it before;
// false when it did not answer within the bound.
inline bool Sync(HWND window, DWORD boundMs = wait_bound::kAnswerMs)
{
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, boundMs, &answer) != 0;
}

namespace driver_detail
{
inline BOOL CALLBACK FindUnpainted(HWND window, LPARAM found)
{
    if (!IsWindowVisible(window) || !GetUpdateRect(window, nullptr, FALSE))
        return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}
} // namespace driver_detail

// Whether some of the window, or of a shown descendant, still waits for its
// WM_PAINT (an update region is left).
inline bool WaitsForPaint(HWND window)
{
    bool found = false;
    driver_detail::FindUnpainted(window, reinterpret_cast<LPARAM>(&found));
    if (!found)
        EnumChildWindows(window, driver_detail::FindUnpainted, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Returns once the window and its controls have painted what waited to be
// painted and the window's thread has gone idle after it: Wine hands a
// thread's painted pixels to the X server when the thread finds its queue
// empty, so a screenshot taken after this shows what the window drew.
// False, said on stderr, when that did not happen within the bound.
inline bool WaitPainted(HWND window, DWORD boundMs = wait_bound::kStepMs)
{
    const bool painted = Sync(window, boundMs) &&
                         WaitUntil([window] { return !WaitsForPaint(window); }, boundMs) &&
                         Sync(window, boundMs) && Sync(window, boundMs);
    if (!painted)
        fprintf(stderr, "window %p: not painted within %lu ms\n", static_cast<void*>(window),
                boundMs);
    return painted;
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

namespace driver_detail
{
// One line for a window: handle, process, class, caption (a caption is
// read from the system for another process's window, no message is sent),
// shown or hidden, disabled, rectangle; for a shown top-level window also
// whether its thread answers.
inline void PrintWindowLine(FILE* to, HWND window, int depth)
{
    char className[64] = "";
    char caption[128] = "";
    GetClassNameA(window, className, sizeof(className));
    GetWindowTextA(window, caption, sizeof(caption));
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    RECT rect = {};
    GetWindowRect(window, &rect);
    const bool shown = IsWindowVisible(window) != FALSE;
    const char* answer = "";
    if (shown && depth == 0)
    {
        DWORD_PTR result = 0;
        answer = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                                     wait_bound::kGlanceMs, &result) != 0
                     ? ", answers"
                     : ", does not answer at a glance";
    }
    fprintf(to, "  %*s%p process %lu class \"%s\" caption \"%s\" %s%s (%ld,%ld)-(%ld,%ld)%s\n",
            depth * 2, "", static_cast<void*>(window), process, className, caption,
            shown ? "shown" : "hidden", IsWindowEnabled(window) ? "" : " disabled", rect.left,
            rect.top, rect.right, rect.bottom, answer);
}

// Whether a window says something about what a program shows: shown, or a
// dialog with a caption (a program hidden in the tray keeps its main window
// as a hidden child). The rest (hidden tool tips, input-method and DDE
// windows, hidden pages) is only counted.
inline bool TellsSomething(HWND window)
{
    char caption[8] = "";
    return IsWindowVisible(window) ||
           (IsDialogWindow(window) && GetWindowTextA(window, caption, sizeof(caption)) > 0);
}

struct Listing
{
    FILE* to;
    int others;
};

inline BOOL CALLBACK PrintDescendant(HWND window, LPARAM parameter)
{
    // Dialogs only: controls would drown the list.
    if (IsDialogWindow(window) && TellsSomething(window))
        PrintWindowLine(reinterpret_cast<Listing*>(parameter)->to, window, 1);
    return TRUE;
}

inline BOOL CALLBACK PrintTopLevel(HWND window, LPARAM parameter)
{
    auto* listing = reinterpret_cast<Listing*>(parameter);
    if (TellsSomething(window))
        PrintWindowLine(listing->to, window, 0);
    else
        ++listing->others;
    EnumChildWindows(window, PrintDescendant, parameter);
    return TRUE;
}
} // namespace driver_detail

// Prints the top-level windows of this thread's desktop that are shown or
// are captioned dialogs, and such dialogs among their descendants, one a
// line: what a driver that did not find what it waited for saw instead.
inline void PrintDesktopWindows(FILE* to)
{
    fprintf(to, "windows on this desktop:\n");
    driver_detail::Listing listing = {to, 0};
    EnumWindows(driver_detail::PrintTopLevel, reinterpret_cast<LPARAM>(&listing));
    fprintf(to, "  and %d hidden windows of other kinds\n", listing.others);
    fflush(to);
}

// Posts the command (WM_COMMAND with the notification code, as the skinned
// buttons send it) once the window can take it: it answers and is enabled,
// so no modal dialog of its own is still in front of it (one just closed
// ends a moment after its button was pressed). False, with what the driver
// saw, when the window did not get there within the bound.
inline bool PostCommandWhenReady(HWND window, int id, WORD code = 1)
{
    if (!WaitUntil([window] { return IsWindowEnabled(window) && Sync(window); },
                   wait_bound::kStepMs))
    {
        printf("window %p not ready for command %d (%s)\n", static_cast<void*>(window), id,
               IsWindow(window) ? "disabled or not answering" : "gone");
        PrintDesktopWindows(stdout);
        return false;
    }
    if (PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), 0))
        return true;
    printf("command %d not posted (error %lu)\n", id, GetLastError());
    return false;
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
