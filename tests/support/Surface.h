// Surface: a memory context holding a top-down 32-bpp DIB, for the pixel
// tests of anything drawn. It is the tests' one off-screen surface: the
// canvases of the control, menu and picture tests are surfaces with
// searches of their own.
#ifndef BRINDLEWOX_TESTS_SUPPORT_SURFACE_H
#define BRINDLEWOX_TESTS_SUPPORT_SURFACE_H

#include "foundation/Base.h"
#include "foundation/Dc.h"
#include "foundation/Gdi.h"

#include <cstdint>

// A memory context holding a top-down 32-bpp DIB, so that every pixel can be
// read back exactly from the bits, whatever the context's clipping. With
// withObject clear no CDC wraps the context: it is foreign to the framework.
class Surface
{
public:
    Surface(int width, int height, COLORREF fill = RGB(255, 255, 255), bool withObject = true)
        : m_width(width), m_height(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        m_bitmap.Attach(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), true);
        m_bits = static_cast<std::uint32_t*>(bits);
        m_hDC = CreateCompatibleDC(nullptr);
        if (withObject)
            m_object.Attach(m_hDC);
        m_selection.Select(m_hDC, m_bitmap);
        Fill(fill);
    }
    ~Surface()
    {
        m_selection.Restore();
        m_object.Detach();
        DeleteDC(m_hDC);
    }

    HDC Dc() const { return m_hDC; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    CDC& Object() { return m_object; }
    bool IsReady() const { return m_bits != nullptr && m_selection.IsSelected(); }

    COLORREF Pixel(int x, int y) const
    {
        GdiFlush();
        std::uint32_t v = m_bits[y * m_width + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    void SetPixel(int x, int y, COLORREF c)
    {
        GdiFlush();
        m_bits[y * m_width + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
    void Fill(COLORREF c)
    {
        for (int y = 0; y < m_height; ++y)
        {
            for (int x = 0; x < m_width; ++x)
                SetPixel(x, y, c);
        }
    }
    // True when a pixel of the rectangle satisfies the test.
    template <class Test> bool Any(const RECT& r, Test test) const
    {
        for (int y = r.top; y < r.bottom; ++y)
        {
            for (int x = r.left; x < r.right; ++x)
            {
                if (test(Pixel(x, y)))
                    return true;
            }
        }
        return false;
    }
    // The window's client area as it paints it for WM_PRINTCLIENT with
    // erasing and painting, over what the surface holds.
    void PrintClient(HWND window)
    {
        SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(m_hDC),
                     PRF_CLIENT | PRF_ERASEBKGND);
        GdiFlush();
    }
    // Every pixel of the rectangle has the colour.
    bool AllOf(const RECT& r, COLORREF c) const
    {
        return !Any(r, [c](COLORREF pixel) { return pixel != c; });
    }

private:
    int m_width;
    int m_height;
    std::uint32_t* m_bits = nullptr;
    CBitmap m_bitmap;
    HDC m_hDC = nullptr;
    CDC m_object;
    CSelectScope m_selection;
};

#endif
