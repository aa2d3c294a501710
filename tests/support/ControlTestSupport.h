// Helpers of the skinned-control tests: a plain host window, a 32-bit
// canvas whose pixels can be read, printing a control into it
// (WM_PRINTCLIENT, as the controls paint themselves), and pumping messages
// for a while.
#ifndef BRINDLEWOX_TESTS_SUPPORT_CONTROLTESTSUPPORT_H
#define BRINDLEWOX_TESTS_SUPPORT_CONTROLTESTSUPPORT_H

#include "foundation/Dc.h"
#include "foundation/Gdi.h"
#include "tests/support/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <string>

// A memory DC over a top-down 32-bit DIB of the given size, cleared to a
// colour no control paints (1, 2, 3).
class TestCanvas
{
public:
    static constexpr COLORREF Untouched = RGB(1, 2, 3);

    TestCanvas(int width, int height) : m_width(width), m_height(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_dc.CreateCompatibleDC();
        void* bits = nullptr;
        m_bitmap.Attach(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), true);
        m_bits = static_cast<DWORD*>(bits);
        m_selection.Select(m_dc, m_bitmap);
        Clear(Untouched);
    }

    void Clear(COLORREF color) { m_dc.FillSolidRect(0, 0, m_width, m_height, color); }

    // WM_PRINTCLIENT with erasing and painting.
    void Print(HWND control)
    {
        Clear(Untouched);
        SendMessageA(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(m_dc.GetSafeHdc()),
                     PRF_CLIENT | PRF_ERASEBKGND);
        GdiFlush();
    }

    COLORREF Pixel(int x, int y) const
    {
        DWORD value = m_bits[y * m_width + x];
        return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
    }

    // True when a pixel of the rectangle satisfies the test.
    template <class Test> bool Any(const RECT& rect, Test test) const
    {
        for (int y = rect.top; y < rect.bottom; ++y)
            for (int x = rect.left; x < rect.right; ++x)
                if (test(Pixel(x, y)))
                    return true;
        return false;
    }

    CDC& Dc() { return m_dc; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool IsValid() const { return m_bits != nullptr; }

private:
    int m_width;
    int m_height;
    CDC m_dc;
    CBitmap m_bitmap;
    CSelectScope m_selection;
    DWORD* m_bits = nullptr;
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

// Dispatches the thread's messages for the time given, or until the test
// holds.
template <class Done> bool PumpUntil(DWORD milliseconds, Done done)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds)
    {
        PumpMessages();
        if (done())
            return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    PumpMessages();
    return done();
}

inline void PumpFor(DWORD milliseconds)
{
    PumpUntil(milliseconds, [] { return false; });
}

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
