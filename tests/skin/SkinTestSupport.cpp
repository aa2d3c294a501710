#include "tests/skin/SkinTestSupport.h"

#include "foundation/Module.h"
#include "skin/SkinFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

// A 24-bit bottom-up BMP whose pixel (x, y) (y = 0 the bottom row) is
// colour(x, y).
bool WriteBmp(const char* path, int width, int height,
              const std::function<COLORREF(int, int)>& colour)
{
    int rowBytes = (width * 3 + 3) & ~3;
    std::string data(54 + rowBytes * height, '\0');
    auto put32 = [&](int at, DWORD value)
    {
        for (int i = 0; i < 4; ++i)
            data[at + i] = static_cast<char>(value >> (8 * i));
    };
    data[0] = 'B';
    data[1] = 'M';
    put32(2, data.size());
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    data[26] = 1;
    data[28] = 24;
    put32(34, rowBytes * height);
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            COLORREF c = colour(x, y);
            size_t at = 54 + y * rowBytes + x * 3;
            data[at] = static_cast<char>(GetBValue(c));
            data[at + 1] = static_cast<char>(GetGValue(c));
            data[at + 2] = static_cast<char>(GetRValue(c));
        }
    }
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, data.data(), data.size(), &written, nullptr);
    CloseHandle(file);
    return ok && written == data.size();
}

int GdiObjectGauge::Now()
{
    if (DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))
        return static_cast<int>(counted);
    // Wine 8 counts nothing there. Its handle table hands out freed slots
    // first, then never-used ones in increasing order: probe brushes are
    // made until 64 slots in a row follow each other, the first of them is
    // the first never-used slot, and the probes before it were the free
    // slots below. The slots in use are the difference.
    constexpr int kRun = 64;
    std::vector<HBRUSH> probes;
    int run = 0;
    int used = -1;
    int previous = -2;
    while (probes.size() < 60000)
    {
        HBRUSH probe = CreateSolidBrush(RGB(1, 2, 3));
        if (probe == nullptr)
            break;
        probes.push_back(probe);
        int slot = static_cast<int>(reinterpret_cast<UINT_PTR>(probe) & 0xFFFF);
        run = slot == previous + 1 ? run + 1 : 1;
        previous = slot;
        if (run == kRun)
        {
            const int firstUnused = slot - (kRun - 1);
            const int freeSlots = static_cast<int>(probes.size()) - kRun;
            used = firstUnused - freeSlots;
            break;
        }
    }
    for (HBRUSH probe : probes)
        DeleteObject(probe);
    return used;
}

GdiObjectGauge::GdiObjectGauge()
{
    m_start = Now();
    // The gauge must see objects that stay.
    HBRUSH kept[64];
    for (HBRUSH& brush : kept)
        brush = CreateSolidBrush(RGB(4, 5, 6));
    EXPECT_EQ(Now() - m_start, 64) << "the GDI gauge does not see the objects kept";
    for (HBRUSH brush : kept)
        DeleteObject(brush);
    m_start = Now();
}

int GdiObjectGauge::Growth() const
{
    return Now() - m_start;
}

void StartSkinFramework()
{
    if (!GetModuleState()->AreClassesRegistered())
    {
        ASSERT_TRUE(GetModuleState()->Init(GetModuleHandleA(nullptr), "", SW_SHOWNORMAL));
    }
}

TestSkin::TestSkin(const char* iniText)
    : m_settings(m_temp / kProductFolderName), m_program(m_temp / "program"),
      m_skin(m_program + "\\Skins\\Test")
{
    EXPECT_TRUE(MakeFolder(m_settings));
    EXPECT_TRUE(WriteTextFile(m_settings + "\\settings.ini", "[Skin]\r\nDirectory=Test\r\n"));
    MakeFolder(m_program);
    MakeFolder(m_program + "\\Skins");
    EXPECT_TRUE(MakeFolder(m_skin));
    EXPECT_TRUE(WriteTextFile(m_skin + "\\default.ini", iniText));
    OverrideSkinFilesFolders(m_settings, m_program);
}

TestSkin::~TestSkin()
{
    OverrideSkinFilesFolders(nullptr, nullptr);
}

bool CreateShownParent(CWindow& parent)
{
    if (!parent.CreateEx(0, nullptr, "parent", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr))
        return false;
    ShowWindow(parent.GetHwnd(), SW_SHOWNA);
    return true;
}

COLORREF PixelOfDrawing(int width, int height, const std::function<void(HDC)>& draw, int x, int y)
{
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    draw(dc);
    COLORREF pixel = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixel;
}

Rendering::Rendering(HWND window, COLORREF ground)
{
    RECT client = {};
    GetClientRect(window, &client);
    m_width = client.right;
    m_height = client.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = m_width;
    info.bmiHeader.biHeight = -m_height; // top-down: row 0 is the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (m_bitmap == nullptr)
        return;
    m_bits = static_cast<const DWORD*>(bits);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, m_bitmap);
    HBRUSH brush = CreateSolidBrush(ground);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    SelectObject(dc, old);
    DeleteDC(dc);
}

Rendering::~Rendering()
{
    if (m_bitmap != nullptr)
        DeleteObject(m_bitmap);
}

COLORREF Rendering::At(int x, int y) const
{
    if (m_bits == nullptr || x < 0 || y < 0 || x >= m_width || y >= m_height)
        return CLR_INVALID;
    DWORD pixel = m_bits[y * m_width + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

RECT Rendering::BoundsOfOther(COLORREF color) const
{
    RECT bounds = {m_width, m_height, 0, 0};
    for (int y = 0; y < m_height; ++y)
    {
        for (int x = 0; x < m_width; ++x)
        {
            if (At(x, y) == color)
                continue;
            bounds.left = std::min<LONG>(bounds.left, x);
            bounds.top = std::min<LONG>(bounds.top, y);
            bounds.right = std::max<LONG>(bounds.right, x + 1);
            bounds.bottom = std::max<LONG>(bounds.bottom, y + 1);
        }
    }
    if (bounds.right <= bounds.left)
        SetRectEmpty(&bounds);
    return bounds;
}

int Rendering::Count(COLORREF color) const
{
    int count = 0;
    for (int y = 0; y < m_height; ++y)
    {
        for (int x = 0; x < m_width; ++x)
            count += At(x, y) == color ? 1 : 0;
    }
    return count;
}
