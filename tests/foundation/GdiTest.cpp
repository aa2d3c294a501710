#include "foundation/FrameworkHooks.h"
#include "foundation/Gdi.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace
{
// Whether a handle still names a live GDI object.
bool IsLive(HGDIOBJ handle)
{
    return GetObjectType(handle) != 0;
}

COLORREF BrushColor(HGDIOBJ brush)
{
    LOGBRUSH logBrush = {};
    GetObjectA(brush, sizeof(logBrush), &logBrush);
    return logBrush.lbColor;
}

// The rules of the colour table written out again, channel by channel, so
// the table is checked against arithmetic of its own and not against the
// helpers it is built with.
int Up(int channel, double factor)
{
    return static_cast<int>(channel + (255 - channel) * factor);
}

COLORREF Up(COLORREF c, double r, double g, double b)
{
    return RGB(Up(GetRValue(c), r), Up(GetGValue(c), g), Up(GetBValue(c), b));
}

COLORREF Up(COLORREF c, double f)
{
    return Up(c, f, f, f);
}

COLORREF Down(COLORREF c, double f)
{
    return RGB(static_cast<int>(GetRValue(c) - GetRValue(c) * f),
               static_cast<int>(GetGValue(c) - GetGValue(c) * f),
               static_cast<int>(GetBValue(c) - GetBValue(c) * f));
}
} // namespace

static_assert(!std::is_copy_constructible_v<CGdiHandle>, "a GDI wrapper holds one handle");
static_assert(!std::is_copy_constructible_v<CBrush>, "a GDI wrapper holds one handle");
static_assert(!std::is_copy_constructible_v<CPen>, "a GDI wrapper holds one handle");
static_assert(!std::is_copy_constructible_v<CFont>, "a GDI wrapper holds one handle");
static_assert(!std::is_copy_constructible_v<CBitmap>, "a GDI wrapper holds one handle");
static_assert(!std::is_copy_constructible_v<CRgn>, "a GDI wrapper holds one handle");
static_assert(!std::is_copy_assignable_v<CRgn>, "a GDI wrapper holds one handle");

TEST(GdiTest, OwnedHandlesAreDeletedAndBorrowedOnesAreNot)
{
    HGDIOBJ owned = nullptr;
    {
        CBrush brush(RGB(1, 2, 3));
        ASSERT_TRUE(brush.IsValid());
        EXPECT_TRUE(brush.OwnsHandle());
        EXPECT_EQ(BrushColor(brush.GetHandle()), RGB(1, 2, 3));
        owned = brush.GetHandle();
    }
    EXPECT_FALSE(IsLive(owned));

    HBRUSH foreign = CreateSolidBrush(RGB(4, 5, 6));
    {
        CGdiHandle borrowed(foreign, false);
        EXPECT_TRUE(borrowed.DeleteObject());
        EXPECT_FALSE(borrowed.IsValid());
        EXPECT_TRUE(IsLive(foreign));
        borrowed.Attach(foreign, false);
    }
    EXPECT_TRUE(IsLive(foreign));

    // Attach deletes the owned handle it replaces; Detach hands one out
    // alive.
    CPen pen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ first = pen.GetHandle();
    EXPECT_TRUE(pen.Attach(foreign, true));
    EXPECT_FALSE(IsLive(first));
    EXPECT_EQ(pen.Detach(), foreign);
    EXPECT_FALSE(pen.IsValid());
    EXPECT_TRUE(IsLive(foreign));
    DeleteObject(foreign);
}

TEST(GdiTest, FailedCreationLeavesTheWrapperEmpty)
{
    CRgn region;
    ASSERT_TRUE(region.CreateRectRgn(0, 0, 10, 10));
    HGDIOBJ old = region.GetHandle();
    EXPECT_FALSE(region.CreatePolygonRgn(nullptr, 0, ALTERNATE));
    EXPECT_FALSE(region.IsValid());
    EXPECT_FALSE(IsLive(old));
}

TEST(GdiTest, FromHandleFindsWrappersAndMakesTemporaryOnes)
{
    CBrush wrapped(RGB(9, 9, 9));
    EXPECT_EQ(CGdiHandle::FromHandle(wrapped.GetHandle()), &wrapped);
    EXPECT_EQ(CGdiHandle::FromHandle(nullptr), nullptr);

    HBRUSH foreign = CreateSolidBrush(RGB(7, 7, 7));
    int before = g_temporaryGdiList.GetCount();
    CGdiHandle* temporary = CGdiHandle::FromHandle(foreign);
    ASSERT_NE(temporary, nullptr);
    EXPECT_EQ(CGdiHandle::FromHandle(foreign), temporary);
    EXPECT_FALSE(temporary->OwnsHandle());
    EXPECT_TRUE(g_temporaryGdiList.Contains(temporary));
    EXPECT_FALSE(g_gdiList.Contains(temporary));
    EXPECT_EQ(g_temporaryGdiList.GetCount(), before + 1);

    // What the modal loop runs after every message: the wrapper goes, the
    // brush stays.
    DestroyTemporaryGdiObjects();
    EXPECT_TRUE(g_temporaryGdiList.IsEmpty());
    EXPECT_TRUE(IsLive(foreign));
    EXPECT_EQ(BrushColor(foreign), RGB(7, 7, 7));
    DeleteObject(foreign);
}

TEST(GdiTest, SysColorBrushIsABrushOfItsOwn)
{
    CBrush brush;
    ASSERT_TRUE(brush.CreateSysColorBrush(COLOR_HIGHLIGHT));
    EXPECT_EQ(BrushColor(brush.GetHandle()), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_NE(brush.GetHandle(), GetSysColorBrush(COLOR_HIGHLIGHT));
}

TEST(GdiTest, FontsAreCopiedFromTheirLogFont)
{
    CFont empty;
    LOGFONTA untouched = {};
    untouched.lfHeight = 1234;
    EXPECT_FALSE(empty.GetLogFont(untouched));
    EXPECT_EQ(untouched.lfHeight, 1234);

    LOGFONTA wanted = {};
    wanted.lfHeight = -17;
    wanted.lfWeight = FW_BOLD;
    lstrcpyA(wanted.lfFaceName, "Tahoma");
    CFont original;
    ASSERT_TRUE(original.CreateFontIndirect(wanted));
    HGDIOBJ originalHandle = original.GetHandle();
    {
        CFont copy(original.GetSafeHandle());
        ASSERT_TRUE(copy.IsValid());
        EXPECT_NE(copy.GetHandle(), originalHandle);
        LOGFONTA read = {};
        ASSERT_TRUE(copy.GetLogFont(read));
        EXPECT_EQ(read.lfHeight, -17);
        EXPECT_EQ(read.lfWeight, FW_BOLD);
        EXPECT_STREQ(read.lfFaceName, "Tahoma");
    }
    // The copy deleted only its own font.
    EXPECT_TRUE(IsLive(originalHandle));

    // Nothing to copy from: a null handle, or a handle that is no font.
    CFont fromNull(static_cast<HFONT>(nullptr));
    EXPECT_FALSE(fromNull.IsValid());
    CBrush brush(RGB(0, 0, 0));
    CFont fromBrush(static_cast<HFONT>(brush.GetHandle()));
    EXPECT_FALSE(fromBrush.IsValid());
}

TEST(GdiTest, BitmapsReportTheirSize)
{
    CBitmap bitmap;
    BITMAP info = {};
    info.bmWidth = 99;
    EXPECT_FALSE(bitmap.GetBitmap(info));
    EXPECT_EQ(info.bmWidth, 99);

    HDC screen = GetDC(nullptr);
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(screen, 24, 13));
    ReleaseDC(nullptr, screen);
    ASSERT_TRUE(bitmap.GetBitmap(info));
    EXPECT_EQ(info.bmWidth, 24);
    EXPECT_EQ(info.bmHeight, 13);
}

TEST(GdiTest, RegionOperations)
{
    CRgn left;
    CRgn right;
    ASSERT_TRUE(left.CreateRectRgn(0, 0, 10, 10));
    ASSERT_TRUE(right.CreateRectRgn(10, 0, 20, 10));

    // An empty wrapper gets a region to combine into.
    CRgn both;
    EXPECT_EQ(both.CombineRgn(left, right, RGN_OR), SIMPLEREGION);
    CRgn whole;
    ASSERT_TRUE(whole.CreateRectRgn(0, 0, 20, 10));
    EXPECT_TRUE(both.EqualRgn(whole));

    CRgn copy;
    EXPECT_EQ(copy.CopyRgn(left), SIMPLEREGION);
    EXPECT_TRUE(copy.EqualRgn(left));
    EXPECT_NE(copy.GetHandle(), left.GetHandle());
    EXPECT_EQ(copy.OffsetRgn(10, 0), SIMPLEREGION);
    EXPECT_TRUE(copy.EqualRgn(right));

    const POINT triangle[] = {{0, 0}, {10, 0}, {0, 10}};
    CRgn polygon;
    ASSERT_TRUE(polygon.CreatePolygonRgn(triangle, 3, ALTERNATE));
    EXPECT_TRUE(PtInRegion(polygon.GetSafeHandle(), 2, 2));
    EXPECT_FALSE(PtInRegion(polygon.GetSafeHandle(), 8, 8));
    CRgn rounded;
    ASSERT_TRUE(rounded.CreateRoundRectRgn(0, 0, 20, 20, 10, 10));
    EXPECT_FALSE(PtInRegion(rounded.GetSafeHandle(), 0, 0));
    EXPECT_TRUE(PtInRegion(rounded.GetSafeHandle(), 10, 10));

    CRgn none;
    EXPECT_FALSE(none.EqualRgn(left));
    EXPECT_FALSE(left.EqualRgn(none));
    EXPECT_EQ(none.OffsetRgn(1, 1), ERROR);
}

TEST(GdiTest, LuminanceOnTheScaleOf240)
{
    EXPECT_EQ(CHlsColor(RGB(255, 0, 0)).GetLuminance(), 120);
    EXPECT_EQ(CHlsColor(RGB(255, 255, 255)).GetLuminance(), 240);
    EXPECT_EQ(CHlsColor(RGB(0, 0, 0)).GetLuminance(), 0);
    EXPECT_EQ(CHlsColor(RGB(10, 36, 106)).GetLuminance(), 55);
    EXPECT_EQ(CHlsColor(RGB(0, 120, 215)).GetLuminance(), 101);
    EXPECT_EQ(CHlsColor(RGB(212, 208, 200)).GetLuminance(), 194);

    CHlsColor color;
    color.SetRGB(RGB(12, 34, 56));
    EXPECT_EQ(color.GetRed(), 12);
    EXPECT_EQ(color.GetGreen(), 34);
    EXPECT_EQ(color.GetBlue(), 56);
}

TEST(GdiTest, LightenAndDarkenTruncateEachChannel)
{
    EXPECT_EQ(color::Lighten(RGB(0, 0, 0), 0.5), RGB(127, 127, 127));
    EXPECT_EQ(color::Lighten(RGB(100, 200, 50), 0.3), RGB(146, 216, 111));
    EXPECT_EQ(color::Lighten(RGB(10, 20, 30), 1.0), RGB(255, 255, 255));
    EXPECT_EQ(color::Lighten(RGB(0, 0, 0), 0.83, 0.81, 0.74), RGB(211, 206, 188));
    EXPECT_EQ(color::Darken(RGB(200, 100, 10), 0.2), RGB(160, 80, 8));
    EXPECT_EQ(color::Darken(RGB(255, 255, 255), 0.41), RGB(150, 150, 150));
}

TEST(GdiTest, ColorTableFollowsTheSystemColors)
{
    // A table made by hand is empty until updated; the framework's own is
    // built on first use and rebuilt by the window procedure's hook.
    CSysColorTable fresh;
    EXPECT_FALSE(fresh.IsBuilt());
    RebuildSysColorTable();
    const CSysColorTable& table = GetSysColorTable();
    ASSERT_TRUE(table.IsBuilt());
    COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    COLORREF grayText = GetSysColor(COLOR_GRAYTEXT);
    COLORREF face = Up(GetSysColor(COLOR_BTNFACE), 0.2);
    COLORREF paleFace = Up(face, 0.83);

    const COLORREF expected[CSysColorTable::Count] = {
        highlight,
        Up(highlight, 0.7),
        highlight,
        Up(highlight, 0.83, 0.81, 0.74),
        Up(highlight, 0.5),
        face,
        grayText,
        Up(highlight, 0.3),
        GetSysColor(COLOR_MENUTEXT),
        Up(grayText, 0.3),
        paleFace,
        Up(grayText, 0.3),
        Down(GetSysColor(COLOR_BTNSHADOW), 0.2),
        grayText,
        grayText,
        paleFace,
        paleFace,
        face,
    };
    for (int i = 0; i < CSysColorTable::Count; ++i)
        EXPECT_EQ(table[i], expected[i]) << "entry " << i;
    EXPECT_EQ(table[-1], CLR_INVALID);
    EXPECT_EQ(table[CSysColorTable::Count], CLR_INVALID);
}

TEST(FontTest, CreateStockObjectTakesFontsOnly)
{
    CFont font;
    EXPECT_TRUE(font.CreateStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(font.GetSafeHandle(), GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_FALSE(font.OwnsHandle());
    EXPECT_FALSE(font.CreateStockObject(WHITE_BRUSH));
    EXPECT_FALSE(font.IsValid());
    // The stock font was let go, never deleted.
    EXPECT_EQ(GetObjectType(GetStockObject(DEFAULT_GUI_FONT)), static_cast<DWORD>(OBJ_FONT));
    EXPECT_FALSE(font.CreateStockObject(BLACK_PEN));
    EXPECT_TRUE(font.CreateStockObject(SYSTEM_FONT));
}
