// Helpers of the skinned-control tests: a plain host window, a surface
// whose pixels can be read, printing a control into it
// (WM_PRINTCLIENT, as the controls paint themselves), and counting the
// thread's windows.
#ifndef BRINDLEWOX_TESTS_SUPPORT_CONTROLTESTSUPPORT_H
#define BRINDLEWOX_TESTS_SUPPORT_CONTROLTESTSUPPORT_H

#include "tests/support/Surface.h"
#include "tests/support/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <string>

// A surface cleared to a colour no control paints (1, 2, 3).
class TestCanvas : public Surface
{
public:
    static constexpr COLORREF Untouched = RGB(1, 2, 3);

    TestCanvas(int width, int height) : Surface(width, height, Untouched) {}

    // WM_PRINTCLIENT with erasing and painting.
    void Print(HWND control)
    {
        Fill(Untouched);
        PrintClient(control);
    }
};

inline bool IsDark(COLORREF color)
{
    return GetRValue(color) < 100 && GetGValue(color) < 100 && GetBValue(color) < 100;
}

inline bool IsRed(COLORREF color)
{
    return GetRValue(color) > 180 && GetGValue(color) < 90 && GetBValue(color) < 90;
}

// A plain top-level window of the framework's class to hold controls.
class HostWindow
{
public:
    HostWindow(int width = 640, int height = 480)
    {
        StartFramework();
        m_hWnd = CreateWindowExA(0, "CWindowClass", "host", WS_POPUP, 100, 100, width, height,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~HostWindow()
    {
        if (IsWindow(m_hWnd))
            DestroyWindow(m_hWnd);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // A child of the class (a dialog item to bind to).
    HWND AddChild(const char* className, const char* text, int x, int y, int width, int height,
                  DWORD style = 0)
    {
        return CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                               height, m_hWnd, nullptr, GetModuleHandleA(nullptr), nullptr);
    }

    HWND Get() const { return m_hWnd; }

private:
    HWND m_hWnd = nullptr;
};

// The windows of this thread, children included (Wine 8's GetGuiResources
// answers 0 for USER objects too).
inline BOOL CALLBACK CountOneWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}
// EnumChildWindows reaches every descendant.
inline BOOL CALLBACK CountWindow(HWND window, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, CountOneWindow, count);
    return TRUE;
}
inline int CountThreadWindows()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

#endif
