// Helpers of the chooser's tests: the framework start-up once per process,
// a memory picture to paint controls into, and the ids of ChooserTests.rc.
#ifndef BRINDLEWOX_TESTS_CHOOSER_CHOOSERTESTSUPPORT_H
#define BRINDLEWOX_TESTS_CHOOSER_CHOOSERTESTSUPPORT_H

#include "foundation/Base.h"
#include "foundation/Module.h"

#include <gtest/gtest.h>

#include <vector>

constexpr UINT kControlsDialog = 9000;
constexpr int kLinkButton = 9001;
constexpr int kListView = 9002;
constexpr int kStatusBar = 9003;
constexpr int kProgress = 9004;
constexpr int kPlainStatic = 9005;

inline void StartFramework()
{
    if (!GetModuleState()->AreClassesRegistered())
    {
        ASSERT_TRUE(
            GetModuleState()->Init(GetModuleHandleA(nullptr), "chooser test", SW_SHOWNORMAL));
    }
}

// A 32-bit top-down DIB selected into a memory context, filled with one
// colour; pixels read back as COLORREFs.
class MemoryPicture
{
public:
    MemoryPicture(int width, int height, COLORREF fill) : m_width(width), m_height(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits),
                                    nullptr, 0);
        m_previous = SelectObject(m_dc, m_bitmap);
        RECT all = {0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(fill);
        FillRect(m_dc, &all, brush);
        DeleteObject(brush);
    }
    MemoryPicture(const MemoryPicture&) = delete;
    MemoryPicture& operator=(const MemoryPicture&) = delete;
    ~MemoryPicture()
    {
        SelectObject(m_dc, m_previous);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }

    HDC Dc() const { return m_dc; }
    COLORREF Pixel(int x, int y) const
    {
        GdiFlush();
        DWORD bgr = m_bits[y * m_width + x];
        return RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
    }
    int Count(COLORREF color) const
    {
        int count = 0;
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                count += Pixel(x, y) == color;
        return count;
    }
    // The rows holding a pixel darker than 96 in every channel.
    std::vector<int> DarkRows() const
    {
        std::vector<int> rows;
        for (int y = 0; y < m_height; ++y)
        {
            for (int x = 0; x < m_width; ++x)
            {
                COLORREF p = Pixel(x, y);
                if (GetRValue(p) < 96 && GetGValue(p) < 96 && GetBValue(p) < 96)
                {
                    rows.push_back(y);
                    break;
                }
            }
        }
        return rows;
    }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    int m_width;
    int m_height;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    DWORD* m_bits = nullptr;
};

#endif
