#include "tests/skin/SkinTestSupport.h"

#include "foundation/Module.h"
#include "skin/SkinFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

int GdiObjectGauge::Now()
{
    if (DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))
        return static_cast<int>(counted);
    // Wine 8 counts nothing there. Its GDI handle table, which the PEB
    // points at (GdiSharedHandleTable at 0xF8: 65,536 entries of 24 bytes,
    // the object type at offset 14, the owner's process id >> 2 at offset
    // 8), belongs to the process alone and leaves the owner 0; Windows
    // shares the table between processes and fills the owner in. (Probing
    // which slots the next objects get misjudges once many objects were
    // freed in another order than they were made.)
    using GetPebFunction = void*(WINAPI*)();
    auto getPeb = reinterpret_cast<GetPebFunction>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetCurrentPeb"));
    if (getPeb == nullptr)
        return -1;
    const BYTE* peb = static_cast<const BYTE*>(getPeb());
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + 0xF8);
    if (table == nullptr)
        return -1;
    const WORD process = static_cast<WORD>(GetCurrentProcessId() >> 2);
    int used = 0;
    for (int i = 0; i < 0x10000; ++i)
    {
        const BYTE* entry = table + i * 24;
        WORD owner = *reinterpret_cast<const WORD*>(entry + 8);
        if (entry[14] != 0 && (owner == process || owner == 0))
            ++used;
    }
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
    Surface surface(width, height, RGB(0, 0, 0), false);
    draw(surface.Dc());
    return surface.Pixel(x, y);
}

namespace
{
RECT ClientOf(HWND window)
{
    RECT client = {};
    GetClientRect(window, &client);
    return client;
}
} // namespace

Rendering::Rendering(HWND window, COLORREF ground)
    : Surface(ClientOf(window).right, ClientOf(window).bottom, ground, false)
{
    if (IsReady())
        PrintClient(window);
}

COLORREF Rendering::At(int x, int y) const
{
    if (!IsReady() || x < 0 || y < 0 || x >= Width() || y >= Height())
        return CLR_INVALID;
    return Pixel(x, y);
}

RECT Rendering::BoundsOfOther(COLORREF color) const
{
    RECT bounds = {Width(), Height(), 0, 0};
    for (int y = 0; y < Height(); ++y)
    {
        for (int x = 0; x < Width(); ++x)
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
    for (int y = 0; y < Height(); ++y)
    {
        for (int x = 0; x < Width(); ++x)
            count += At(x, y) == color ? 1 : 0;
    }
    return count;
}
