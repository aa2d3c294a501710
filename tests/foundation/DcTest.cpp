#include "foundation/Dc.h"
#include "foundation/Dialog.h"
#include "foundation/FrameworkHooks.h"
#include "foundation/Window.h"

#include "tests/support/WindowTestSupport.h"
#include "tests/support/Surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <type_traits>

namespace
{
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

bool IsLiveDc(HDC dc)
{
    DWORD type = GetObjectType(dc);
    return type == OBJ_DC || type == OBJ_MEMDC;
}

// A framework window whose paint handlers keep the context they were given.
class PaintRecorder : public CWindow
{
public:
    LRESULT OnPaint(CDC* dc) override
    {
        painted = dc;
        return 0;
    }
    LRESULT OnEraseBkgnd(CDC* dc) override
    {
        erased = dc;
        return 1;
    }
    CDC* painted = nullptr;
    CDC* erased = nullptr;
};

// A dialog that wraps a foreign context and brush while it runs, then ends
// itself through a posted message, so that its loop runs once more.
class WrappingDialog : public CDialog
{
public:
    void OnAfterInitDialog() override
    {
        first = CDC::FromHandle(dc);
        again = CDC::FromHandle(dc);
        brushWrapper = CGdiHandle::FromHandle(brush);
        PostMessageA(GetSafeHwnd(), WM_COMMAND, IDOK, 0);
    }
    HDC dc = nullptr;
    HBRUSH brush = nullptr;
    CDC* first = nullptr;
    CDC* again = nullptr;
    CGdiHandle* brushWrapper = nullptr;
};
} // namespace

static_assert(!std::is_copy_constructible_v<CDC>, "a device-context object holds one handle");
static_assert(!std::is_copy_assignable_v<CDC>, "a device-context object holds one handle");
static_assert(!std::is_copy_constructible_v<CPaintDC>, "a scope owns its context");
static_assert(!std::is_copy_constructible_v<CGetDC>, "a scope owns its context");
static_assert(!std::is_copy_constructible_v<CWindowDC>, "a scope owns its context");
static_assert(!std::is_copy_constructible_v<CBufferDC>, "a buffer owns its bitmap");
static_assert(!std::is_copy_constructible_v<CSelectScope>, "a scope restores once");
static_assert(!std::is_copy_constructible_v<CSaveDCScope>, "a saved state is restored once");

TEST(DcTest, OnlyContextsItCreatedAreReleased)
{
    HDC created = nullptr;
    {
        CDC dc;
        ASSERT_TRUE(dc.CreateCompatibleDC());
        EXPECT_TRUE(dc.OwnsDC());
        EXPECT_FALSE(dc.CreateCompatibleDC());
        HDC screen = GetDC(nullptr);
        EXPECT_FALSE(dc.Attach(screen));
        ReleaseDC(nullptr, screen);
        created = dc.GetSafeHdc();
    }
    EXPECT_FALSE(IsLiveDc(created));

    HDC foreign = CreateCompatibleDC(nullptr);
    {
        CDC borrowed(foreign);
        EXPECT_FALSE(borrowed.OwnsDC());
        CDC attached;
        EXPECT_TRUE(attached.Attach(foreign));
        EXPECT_EQ(attached.GetSafeHdc(), foreign);
    }
    EXPECT_TRUE(IsLiveDc(foreign));

    // Detach hands a created context out alive; DeleteDC deletes any held one.
    CDC dc;
    ASSERT_TRUE(dc.CreateDC("DISPLAY", nullptr, nullptr, nullptr));
    HDC display = dc.Detach();
    EXPECT_EQ(dc.GetSafeHdc(), nullptr);
    EXPECT_TRUE(IsLiveDc(display));
    ASSERT_TRUE(dc.Attach(display));
    EXPECT_TRUE(dc.DeleteDC());
    EXPECT_EQ(dc.GetSafeHdc(), nullptr);
    EXPECT_FALSE(IsLiveDc(display));
    EXPECT_FALSE(dc.DeleteDC());
    DeleteDC(foreign);
}

TEST(DcTest, FromHandleSharesOneTemporaryObjectAndNeverReleasesIt)
{
    EXPECT_EQ(CDC::FromHandle(nullptr), nullptr);
    Surface permanent(4, 4);
    EXPECT_EQ(CDC::FromHandle(permanent.Dc()), &permanent.Object());

    Surface foreign(4, 4, kWhite, false);
    HDC dc = foreign.Dc();
    CDC* first = CDC::FromHandle(dc);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(CDC::FromHandle(dc), first);
    EXPECT_EQ(FrameworkDcFromHandle(dc), first);
    EXPECT_EQ(first->GetSafeHdc(), dc);
    EXPECT_FALSE(first->OwnsDC());
    EXPECT_TRUE(g_temporaryDcList.Contains(first));
    EXPECT_FALSE(g_dcList.Contains(first));

    DestroyTemporaryDCs();
    EXPECT_TRUE(g_temporaryDcList.IsEmpty());
    // The context still draws into its bitmap.
    ASSERT_TRUE(IsLiveDc(dc));
    CDC(dc).FillSolidRect(1, 1, 2, 2, kRed);
    EXPECT_EQ(foreign.Pixel(1, 1), kRed);
    EXPECT_EQ(foreign.Pixel(0, 0), kWhite);
}

TEST(DcTest, TheModalLoopEmptiesTheTemporaryListsWithoutReleasing)
{
    StartFramework();
    Surface foreign(4, 4, kWhite, false);
    WrappingDialog dialog;
    dialog.dc = foreign.Dc();
    dialog.brush = CreateSolidBrush(kRed);
    EXPECT_EQ(dialog.DoModal(kTestDialog), IDOK);
    ASSERT_NE(dialog.first, nullptr);
    EXPECT_EQ(dialog.again, dialog.first);
    EXPECT_NE(dialog.brushWrapper, nullptr);
    EXPECT_TRUE(g_temporaryDcList.IsEmpty());
    EXPECT_TRUE(g_temporaryGdiList.IsEmpty());
    ASSERT_TRUE(IsLiveDc(foreign.Dc()));
    RECT all = {0, 0, 4, 4};
    EXPECT_TRUE(FillRect(foreign.Dc(), &all, dialog.brush));
    EXPECT_TRUE(foreign.AllOf(all, kRed));
    DeleteObject(dialog.brush);
}

TEST(DcTest, PaintMessagesHandTheirContextToTheHandlers)
{
    StartFramework();
    PaintRecorder window;
    ASSERT_TRUE(
        window.CreateEx(0, nullptr, "paint", WS_OVERLAPPEDWINDOW, 0, 0, 100, 80, nullptr, nullptr));
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageA(window.GetSafeHwnd(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageA(window.GetSafeHwnd(), WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    ASSERT_NE(window.painted, nullptr);
    EXPECT_EQ(window.painted, window.erased);
    EXPECT_EQ(window.painted->GetSafeHdc(), dc);
    EXPECT_TRUE(g_temporaryDcList.Contains(window.painted));
    DestroyTemporaryDCs();
    EXPECT_TRUE(IsLiveDc(dc));
    DeleteDC(dc);
    window.Destroy();
}

TEST(DcTest, SelectScopePutsThePreviousObjectBack)
{
    Surface surface(4, 4);
    HDC dc = surface.Dc();
    HGDIOBJ originalBrush = GetCurrentObject(dc, OBJ_BRUSH);
    HGDIOBJ originalPen = GetCurrentObject(dc, OBJ_PEN);
    CBrush red(kRed);
    CBrush blue(kBlue);
    CPen pen(PS_SOLID, 1, kBlue);
    {
        CSelectScope outer(dc, red);
        EXPECT_EQ(outer.GetPrevious(), originalBrush);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), red.GetHandle());
        {
            CSelectScope inner(dc, blue);
            CSelectScope penScope(dc, pen);
            EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), blue.GetHandle());
            EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen.GetHandle());
        }
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), red.GetHandle());
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), originalPen);
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), originalBrush);

    // Restore early, and a region or nothing is never "selected".
    CSelectScope early(dc, red);
    early.Restore();
    EXPECT_FALSE(early.IsSelected());
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), originalBrush);
    CRgn region;
    region.CreateRectRgn(0, 0, 2, 2);
    CSelectScope regionScope(dc, region);
    EXPECT_FALSE(regionScope.IsSelected());
    CSelectScope none(dc, static_cast<HGDIOBJ>(nullptr));
    EXPECT_FALSE(none.IsSelected());
}

TEST(DcTest, SaveScopeUndoesEverySelectionAndSetting)
{
    Surface surface(4, 4);
    HDC dc = surface.Dc();
    HGDIOBJ originalBrush = GetCurrentObject(dc, OBJ_BRUSH);
    HGDIOBJ originalFont = GetCurrentObject(dc, OBJ_FONT);
    COLORREF originalText = GetTextColor(dc);
    int originalMode = GetBkMode(dc);
    CBrush red(kRed);
    {
        CSaveDCScope saved(dc);
        EXPECT_TRUE(saved.IsSaved());
        SelectObject(dc, red.GetHandle());
        SelectObject(dc, GetStockObject(ANSI_FIXED_FONT));
        SetTextColor(dc, kBlue);
        SetBkMode(dc, originalMode == TRANSPARENT ? OPAQUE : TRANSPARENT);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), red.GetHandle());
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), originalBrush);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), originalFont);
    EXPECT_EQ(GetTextColor(dc), originalText);
    EXPECT_EQ(GetBkMode(dc), originalMode);

    CSaveDCScope none(nullptr);
    EXPECT_FALSE(none.IsSaved());
}

TEST(DcTest, FillsAndFramesLandOnTheirPixels)
{
    Surface surface(20, 20);
    CDC& dc = surface.Object();
    HGDIOBJ originalBrush = GetCurrentObject(dc, OBJ_BRUSH);
    HGDIOBJ originalPen = GetCurrentObject(dc, OBJ_PEN);

    dc.FillSolidRect(RECT{1, 1, 3, 3}, kRed);
    EXPECT_TRUE(surface.AllOf(RECT{1, 1, 3, 3}, kRed));
    EXPECT_EQ(surface.Pixel(3, 3), kWhite);
    dc.FillSolidRect(4, 1, 2, 1, kBlue);
    EXPECT_TRUE(surface.AllOf(RECT{4, 1, 6, 2}, kBlue));
    EXPECT_EQ(surface.Pixel(4, 2), kWhite);

    surface.Fill(kWhite);
    dc.DrawRectangle(RECT{2, 2, 8, 8}, kRed, kBlue);
    EXPECT_EQ(surface.Pixel(2, 2), kRed);
    EXPECT_EQ(surface.Pixel(7, 7), kRed);
    EXPECT_TRUE(surface.AllOf(RECT{3, 3, 7, 7}, kBlue));
    EXPECT_EQ(surface.Pixel(8, 8), kWhite);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), originalBrush);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), originalPen);

    // An outline of width 2 inside the rectangle; the inside stays as it
    // was.
    surface.Fill(kWhite);
    CDC::FrameRect(dc, RECT{10, 10, 20, 20}, kRed, 2);
    EXPECT_TRUE(surface.AllOf(RECT{10, 10, 20, 12}, kRed));
    EXPECT_TRUE(surface.AllOf(RECT{10, 18, 20, 20}, kRed));
    EXPECT_TRUE(surface.AllOf(RECT{10, 10, 12, 20}, kRed));
    EXPECT_TRUE(surface.AllOf(RECT{18, 10, 20, 20}, kRed));
    EXPECT_TRUE(surface.AllOf(RECT{12, 12, 18, 18}, kWhite));
    EXPECT_EQ(surface.Pixel(9, 9), kWhite);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), originalBrush);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), originalPen);
}

TEST(DcTest, CurrentFontAndTextExtents)
{
    Surface surface(4, 4);
    CDC& dc = surface.Object();
    EXPECT_EQ(dc.GetCurrentFont()->GetHandle(), GetCurrentObject(dc, OBJ_FONT));

    LOGFONTA logFont = {};
    logFont.lfHeight = -13;
    lstrcpyA(logFont.lfFaceName, "Tahoma");
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(logFont));
    CSelectScope selection(dc, font);
    EXPECT_EQ(dc.GetCurrentFont(), &font);

    SIZE whole;
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "Backup", 6, &whole));
    CSize measured = dc.GetTextExtent("Backup");
    EXPECT_EQ(measured.cx, whole.cx);
    EXPECT_EQ(measured.cy, whole.cy);
    SIZE two;
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "Ba", 2, &two));
    EXPECT_EQ(dc.GetTextExtent("Backup", 2).cx, two.cx);

    // As many characters as fit in the width of the first two.
    int fit = -1;
    int extents[6] = {};
    CSize extent = dc.GetTextExtentEx(CString("Backup"), two.cx, fit, extents);
    EXPECT_EQ(fit, 2);
    EXPECT_EQ(extent.cx, whole.cx);
    EXPECT_EQ(extents[1], two.cx);

    CDC none;
    EXPECT_EQ(none.GetCurrentFont(), nullptr);
    int untouched = 7;
    EXPECT_EQ(none.GetTextExtentEx(CString("x"), 10, untouched).cx, 0);
    EXPECT_EQ(untouched, 7);
}

TEST(DcTest, BufferCopiesItsAreaOutAtTheAreasPosition)
{
    Surface target(20, 20, kWhite);
    SetBkMode(target.Dc(), OPAQUE);
    SetBkColor(target.Dc(), kBlue);
    {
        CBufferDC buffer(target.Object(), RECT{5, 6, 15, 12});
        ASSERT_TRUE(buffer.IsBuffered());
        EXPECT_NE(buffer.GetSafeHdc(), target.Dc());
        EXPECT_EQ(CDC::FromHandle(buffer.GetSafeHdc()), &buffer);
        // Bitmap coordinates: the area's top-left is 0,0.
        buffer.FillSolidRect(0, 0, 1, 1, kRed);
        buffer.FillSolidRect(9, 5, 1, 1, kRed);
        // Nothing reaches the target before the buffer ends.
        EXPECT_EQ(target.Pixel(5, 6), kWhite);
    }
    EXPECT_EQ(target.Pixel(5, 6), kRed);
    EXPECT_EQ(target.Pixel(14, 11), kRed);
    // The rest of the area came out in the target's background colour; the
    // rest of the target is as it was.
    EXPECT_EQ(target.Pixel(6, 6), kBlue);
    EXPECT_EQ(target.Pixel(13, 11), kBlue);
    EXPECT_EQ(target.Pixel(4, 6), kWhite);
    EXPECT_EQ(target.Pixel(15, 11), kWhite);
    EXPECT_EQ(target.Pixel(5, 12), kWhite);
    EXPECT_EQ(target.Pixel(5, 5), kWhite);
}

TEST(DcTest, BufferOnATransparentTargetStartsWithItsPixels)
{
    Surface target(20, 20, kWhite);
    target.SetPixel(3, 3, kBlue);
    target.SetPixel(10, 10, kBlue);
    SetBkMode(target.Dc(), TRANSPARENT);
    SetBkColor(target.Dc(), kRed);
    {
        // No area: the target's clip box, here the whole bitmap.
        CBufferDC buffer(target.Dc());
        EXPECT_EQ(buffer.GetArea().Width(), 20);
        EXPECT_EQ(buffer.GetArea().Height(), 20);
        buffer.FillSolidRect(0, 0, 1, 1, kRed);
    }
    EXPECT_EQ(target.Pixel(0, 0), kRed);
    EXPECT_EQ(target.Pixel(3, 3), kBlue);
    EXPECT_EQ(target.Pixel(10, 10), kBlue);
    EXPECT_TRUE(target.AllOf(RECT{11, 11, 20, 20}, kWhite));

    // An area away from the origin copies those pixels to 0,0.
    {
        CBufferDC buffer(target.Dc(), RECT{8, 8, 12, 12});
        EXPECT_EQ(GetPixel(buffer, 2, 2), kBlue);
        EXPECT_EQ(GetPixel(buffer, 1, 1), kWhite);
    }
    EXPECT_EQ(target.Pixel(10, 10), kBlue);
}

TEST(DcTest, DiscardedBufferCopiesNothing)
{
    Surface target(10, 10, kWhite);
    {
        CBufferDC buffer(target.Dc(), RECT{0, 0, 10, 10});
        buffer.FillSolidRect(0, 0, 10, 10, kRed);
        buffer.Discard();
        EXPECT_FALSE(buffer.HasTarget());
        // Still a working buffer.
        EXPECT_EQ(GetPixel(buffer, 4, 4), kRed);
    }
    EXPECT_TRUE(target.AllOf(RECT{0, 0, 10, 10}, kWhite));
}

TEST(DcTest, BufferForgetsATargetThatWasGivenBack)
{
    // An owning CDC deletes its context: the buffer on it must not copy
    // into a deleted context when it ends.
    CDC owner;
    ASSERT_TRUE(owner.CreateCompatibleDC());
    CBitmap bitmap;
    HDC screen = GetDC(nullptr);
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(screen, 8, 8));
    ReleaseDC(nullptr, screen);
    CSelectScope selection(owner, bitmap);
    auto* buffer = new CBufferDC(owner, RECT{0, 0, 8, 8});
    ASSERT_TRUE(buffer->IsBuffered());
    selection.Restore();
    ASSERT_TRUE(owner.DeleteDC());
    EXPECT_FALSE(buffer->HasTarget());
    delete buffer;

    // A window context kept as a background snapshot outlives the context
    // it was taken from, and stays drawable.
    StartFramework();
    CWindow window;
    ASSERT_TRUE(window.CreateEx(0, nullptr, "snapshot", WS_POPUP, 0, 0, 40, 30, nullptr, nullptr));
    CBufferDC* snapshot = nullptr;
    {
        CWindowDC windowDc(&window);
        ASSERT_NE(windowDc.GetSafeHdc(), nullptr);
        snapshot = new CBufferDC(windowDc, RECT{0, 0, 40, 30});
        ASSERT_TRUE(snapshot->HasTarget());
    }
    EXPECT_FALSE(snapshot->HasTarget());
    ASSERT_TRUE(snapshot->IsBuffered());
    snapshot->FillSolidRect(0, 0, 2, 2, kRed);
    EXPECT_EQ(GetPixel(*snapshot, 1, 1), kRed);
    delete snapshot;
    window.Destroy();
}

TEST(DcTest, BufferWithoutABitmapDrawsStraightIntoTheTarget)
{
    Surface target(10, 10, kWhite);
    {
        // An empty area gets no bitmap: the buffer draws into the target with
        // the area's top-left still at 0,0.
        CBufferDC buffer(target.Dc(), RECT{4, 4, 4, 9});
        EXPECT_FALSE(buffer.IsBuffered());
        EXPECT_EQ(buffer.GetSafeHdc(), target.Dc());
        buffer.FillSolidRect(0, 0, 1, 1, kRed);
        EXPECT_EQ(target.Pixel(4, 4), kRed);
        // Discarding changes nothing here: the drawing is already there.
        buffer.Discard();
    }
    POINT origin = {-1, -1};
    GetViewportOrgEx(target.Dc(), &origin);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    EXPECT_EQ(target.Pixel(4, 4), kRed);
    EXPECT_EQ(target.Pixel(0, 0), kWhite);
    // The target's own object is still the one FromHandle finds.
    EXPECT_EQ(CDC::FromHandle(target.Dc()), &target.Object());

    // Without any target there is nothing to draw into.
    CBufferDC nothing(static_cast<HDC>(nullptr));
    EXPECT_EQ(nothing.GetSafeHdc(), nullptr);
    EXPECT_FALSE(nothing.IsBuffered());
}

TEST(DcTest, PaintScopeValidatesTheWindow)
{
    StartFramework();
    CWindow window;
    ASSERT_TRUE(window.CreateEx(0, nullptr, "paint", WS_POPUP | WS_VISIBLE, 0, 0, 50, 40, nullptr,
                                nullptr));
    HWND handle = window.GetSafeHwnd();
    ValidateRect(handle, nullptr);
    InvalidateRect(handle, nullptr, FALSE);
    RECT update;
    ASSERT_TRUE(GetUpdateRect(handle, &update, FALSE));
    {
        CPaintDC paint(&window);
        EXPECT_NE(paint.GetSafeHdc(), nullptr);
        EXPECT_EQ(paint.GetPaintStruct().rcPaint.right, 50);
    }
    EXPECT_FALSE(GetUpdateRect(handle, &update, FALSE));
    window.Destroy();

    // No live window: no context, and nothing to end.
    CPaintDC gone(handle);
    EXPECT_EQ(gone.GetSafeHdc(), nullptr);
    CPaintDC none(static_cast<CWindow*>(nullptr));
    EXPECT_EQ(none.GetSafeHdc(), nullptr);
}

TEST(DcTest, WindowScopesFallBackToTheScreen)
{
    CGetDC screen;
    ASSERT_NE(screen.GetSafeHdc(), nullptr);
    EXPECT_GT(GetDeviceCaps(screen, HORZRES), 0);

    StartFramework();
    CWindow window;
    ASSERT_TRUE(window.CreateEx(0, nullptr, "dc", WS_POPUP, 0, 0, 50, 40, nullptr, nullptr));
    {
        CGetDC client(&window);
        CWindowDC whole(window.GetSafeHwnd());
        EXPECT_NE(client.GetSafeHdc(), nullptr);
        EXPECT_NE(whole.GetSafeHdc(), nullptr);
        EXPECT_EQ(WindowFromDC(client), window.GetSafeHwnd());
        EXPECT_EQ(WindowFromDC(whole), window.GetSafeHwnd());
    }
    HWND handle = window.GetSafeHwnd();
    window.Destroy();
    CWindowDC ofDeadWindow(handle);
    ASSERT_NE(ofDeadWindow.GetSafeHdc(), nullptr);
    EXPECT_EQ(WindowFromDC(ofDeadWindow), WindowFromDC(screen));
    CGetDC ofNoWindow(&window);
    ASSERT_NE(ofNoWindow.GetSafeHdc(), nullptr);
    EXPECT_EQ(WindowFromDC(ofNoWindow), WindowFromDC(screen));
}

namespace
{
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kKey = RGB(255, 0, 255);

// A 16 by 16 image list with one image: a black square from 4,4 to 12,12 on
// a transparent background.
class SquareImages
{
public:
    SquareImages()
    {
        m_list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
        Surface picture(16, 16, kKey);
        for (int y = 4; y < 12; ++y)
        {
            for (int x = 4; x < 12; ++x)
                picture.SetPixel(x, y, kBlack);
        }
        CBitmap bitmap;
        HDC screen = GetDC(nullptr);
        bitmap.CreateCompatibleBitmap(screen, 16, 16);
        ReleaseDC(nullptr, screen);
        {
            CDC copy;
            copy.CreateCompatibleDC();
            CSelectScope selection(copy, bitmap);
            BitBlt(copy, 0, 0, 16, 16, picture.Dc(), 0, 0, SRCCOPY);
        }
        ImageList_AddMasked(m_list, bitmap.GetSafeHandle(), kKey);
    }
    ~SquareImages() { ImageList_Destroy(m_list); }
    HIMAGELIST Get() const { return m_list; }

private:
    HIMAGELIST m_list = nullptr;
};

// The bounding box of the pixels that are not the colour.
RECT BoundsOfOther(const Surface& surface, int width, int height, COLORREF background)
{
    RECT bounds = {width, height, -1, -1};
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            if (surface.Pixel(x, y) == background)
                continue;
            bounds.left = std::min<LONG>(bounds.left, x);
            bounds.top = std::min<LONG>(bounds.top, y);
            bounds.right = std::max<LONG>(bounds.right, x + 1);
            bounds.bottom = std::max<LONG>(bounds.bottom, y + 1);
        }
    }
    return bounds;
}

void ExpectRect(const RECT& actual, LONG left, LONG top, LONG right, LONG bottom)
{
    EXPECT_EQ(actual.left, left);
    EXPECT_EQ(actual.top, top);
    EXPECT_EQ(actual.right, right);
    EXPECT_EQ(actual.bottom, bottom);
}
} // namespace

TEST(DcDrawingTest, GradientEndsForBothDirections)
{
    Surface surface(64, 64, kWhite);
    ASSERT_NE(CDC::GetGradientFillFunction(), nullptr);
    EXPECT_EQ(CDC::GetGradientFillFunction(),
              reinterpret_cast<GradientFillFunction>(
                  GetProcAddress(GetModuleHandleA("msimg32.dll"), "GradientFill")));

    // Horizontal: the first colour at the left edge, the second at the right.
    ASSERT_TRUE(CDC::GradientRect(surface.Dc(), RECT{0, 0, 64, 8}, kRed, kBlue, true));
    EXPECT_EQ(surface.Pixel(0, 0), kRed);
    EXPECT_EQ(surface.Pixel(0, 7), kRed);
    COLORREF right = surface.Pixel(63, 4);
    EXPECT_LE(GetRValue(right), 8);
    EXPECT_GE(GetBValue(right), 247);
    EXPECT_EQ(surface.Pixel(0, 8), kWhite);
    // Vertical: the second colour at the top, the first at the bottom.
    ASSERT_TRUE(CDC::GradientRect(surface.Dc(), RECT{0, 16, 8, 64}, kRed, kBlue, false));
    EXPECT_EQ(surface.Pixel(0, 16), kBlue);
    EXPECT_EQ(surface.Pixel(7, 16), kBlue);
    COLORREF bottom = surface.Pixel(4, 63);
    EXPECT_GE(GetRValue(bottom), 247);
    EXPECT_LE(GetBValue(bottom), 8);
    // Halfway the two are mixed.
    COLORREF middle = surface.Pixel(4, 40);
    EXPECT_GT(GetRValue(middle), 100);
    EXPECT_GT(GetBValue(middle), 100);

    // The member form draws the same vertices.
    TRIVERTEX vertices[2] = {{0, 0, 0, 0xFF00, 0, 0}, {8, 8, 0, 0xFF00, 0, 0}};
    GRADIENT_RECT mesh = {0, 1};
    ASSERT_TRUE(surface.Object().GradientFill(vertices, 2, &mesh, 1, GRADIENT_FILL_RECT_H));
    EXPECT_EQ(surface.Pixel(3, 3), RGB(0, 255, 0));
}

TEST(DcDrawingTest, WithoutGradientFillNothingIsDrawn)
{
    Surface surface(8, 8, kWhite);
    GradientFillFunction bound = CDC::GetGradientFillFunction();
    CDC::SetGradientFillFunction(nullptr);
    EXPECT_EQ(CDC::GradientRect(surface.Dc(), RECT{0, 0, 8, 8}, kRed, kBlue, true), 0);
    TRIVERTEX vertices[2] = {{0, 0, 0xFF00, 0, 0, 0}, {8, 8, 0xFF00, 0, 0, 0}};
    GRADIENT_RECT mesh = {0, 1};
    EXPECT_EQ(surface.Object().GradientFill(vertices, 2, &mesh, 1, GRADIENT_FILL_RECT_H), 0);
    CDC::SetGradientFillFunction(bound);
    EXPECT_TRUE(surface.AllOf(RECT{0, 0, 8, 8}, kWhite));
}

TEST(DcDrawingTest, DropShadowPixels)
{
    Surface surface(20, 20, kWhite);
    DrawDropShadow(surface.Dc(), RECT{0, 0, 20, 20});
    struct
    {
        int x, y, value;
    } const expected[] = {
        // Right band at full strength, from strongest to faintest column.
        {16, 10, 150},
        {17, 10, 175},
        {18, 10, 201},
        {19, 10, 226},
        // Its fade-in at the top.
        {16, 4, 252},
        {16, 5, 232},
        {16, 7, 191},
        {16, 8, 150},
        // The corner fading out.
        {16, 16, 150},
        {16, 17, 170},
        {16, 19, 211},
        // The bottom band.
        {10, 16, 150},
        {10, 19, 226},
        // Untouched: inside, and above the band's start.
        {15, 15, 255},
        {16, 3, 255},
        {3, 16, 255},
    };
    for (const auto& e : expected)
    {
        EXPECT_EQ(surface.Pixel(e.x, e.y), RGB(e.value, e.value, e.value))
            << "pixel " << e.x << "," << e.y;
    }

    // Each channel darkens on its own.
    Surface tinted(20, 20, RGB(100, 150, 200));
    DrawDropShadow(tinted.Dc(), RECT{0, 0, 20, 20});
    EXPECT_EQ(tinted.Pixel(16, 10), RGB(59, 88, 118));
}

TEST(DcDrawingTest, DropShadowSkipsPixelsOutsideTheClip)
{
    // The outermost column and row lie one pixel outside the rectangle.
    Surface wide(24, 24, kWhite);
    DrawDropShadow(wide.Dc(), RECT{0, 0, 20, 20});
    EXPECT_EQ(wide.Pixel(20, 10), RGB(252, 252, 252));
    EXPECT_EQ(wide.Pixel(10, 20), RGB(252, 252, 252));
    EXPECT_EQ(wide.Pixel(21, 10), kWhite);

    // Clipped away, they and everything else outside the clip stay as they
    // were; inside the clip the shadow is drawn.
    Surface clipped(24, 24, kWhite);
    CRgn clip;
    ASSERT_TRUE(clip.CreateRectRgn(0, 0, 18, 20));
    SelectClipRgn(clipped.Dc(), clip.GetSafeHandle());
    DrawDropShadow(clipped.Dc(), RECT{0, 0, 20, 20});
    SelectClipRgn(clipped.Dc(), nullptr);
    EXPECT_EQ(clipped.Pixel(16, 10), RGB(150, 150, 150));
    EXPECT_EQ(clipped.Pixel(17, 10), RGB(175, 175, 175));
    EXPECT_TRUE(clipped.AllOf(RECT{18, 0, 24, 24}, kWhite));
    EXPECT_TRUE(clipped.AllOf(RECT{0, 20, 24, 24}, kWhite));
}

TEST(DcDrawingTest, StateTextIsPlacedInItsRectangle)
{
    // Each placement against the text drawn at the expected place by hand.
    // The keyboard prefix is compared with DrawTextA's own DT_HIDEPREFIX:
    // Wine 8 draws the underline in spite of it.
    const char text[] = "&Start";
    const RECT box = {10, 5, 90, 35};
    for (UINT flags :
         {0u, CDC::StateLeft, CDC::StateRight, CDC::StatePressed, CDC::StateHidePrefix})
    {
        Surface drawn(100, 40, kWhite);
        Surface expected(100, 40, kWhite);
        for (Surface* s : {&drawn, &expected})
        {
            SetBkMode(s->Dc(), TRANSPARENT);
            SetTextColor(s->Dc(), kBlack);
        }
        ASSERT_TRUE(drawn.Object().DrawStateText(text, box, flags));

        RECT measured = {0, 0, 80, 30};
        DrawTextA(expected.Dc(), text, -1, &measured, DT_CALCRECT | DT_EXPANDTABS);
        LONG width = measured.right;
        LONG height = measured.bottom;
        LONG x = box.left + (80 - width) / 2;
        if (flags == CDC::StateLeft)
            x = box.left;
        if (flags == CDC::StateRight)
            x = box.right - width;
        LONG y = box.top + (30 - height) / 2;
        if (flags == CDC::StatePressed)
        {
            ++x;
            ++y;
        }
        RECT place = {x, y, x + width, y + height};
        DrawTextA(expected.Dc(), text, -1, &place,
                  DT_EXPANDTABS | (flags == CDC::StateHidePrefix ? DT_HIDEPREFIX : 0));

        RECT bounds = BoundsOfOther(drawn, 100, 40, kWhite);
        EXPECT_LT(bounds.left, bounds.right) << "flags " << flags;
        for (int py = 0; py < 40; ++py)
        {
            for (int px = 0; px < 100; ++px)
                ASSERT_EQ(drawn.Pixel(px, py), expected.Pixel(px, py))
                    << "flags " << flags << " pixel " << px << "," << py;
        }
    }
}

TEST(DcDrawingTest, StateTextLooks)
{
    const RECT box = {0, 0, 100, 40};
    auto draw = [&](Surface& s, const char* text, UINT flags)
    {
        SetBkMode(s.Dc(), OPAQUE);
        SetBkColor(s.Dc(), kBlue);
        SetTextColor(s.Dc(), kBlack);
        EXPECT_TRUE(s.Object().DrawStateText(text, box, flags));
    };
    auto count = [](const Surface& s, COLORREF c)
    {
        int n = 0;
        for (int y = 0; y < 40; ++y)
        {
            for (int x = 0; x < 100; ++x)
                n += s.Pixel(x, y) == c ? 1 : 0;
        }
        return n;
    };

    // An opaque context fills the text's cell; the transparent flag keeps
    // the background.
    Surface opaque(100, 40, kWhite);
    draw(opaque, "Backup", 0);
    EXPECT_GT(count(opaque, kBlue), 0);
    EXPECT_GT(count(opaque, kBlack), 0);
    Surface transparent(100, 40, kWhite);
    draw(transparent, "Backup", CDC::StateTransparent);
    EXPECT_EQ(count(transparent, kBlue), 0);
    EXPECT_EQ(count(transparent, kBlack), count(opaque, kBlack));

    // The system's disabled look: embossed in the shadow colour, no text
    // colour left.
    Surface disabled(100, 40, kWhite);
    draw(disabled, "Backup", CDC::StateDisabled);
    EXPECT_GT(count(disabled, GetSysColor(COLOR_3DSHADOW)), 0);
    EXPECT_EQ(count(disabled, kBlack), 0);
}

TEST(DcDrawingTest, StateImagesArePlacedAndShaped)
{
    SquareImages images;
    Surface surface(40, 40, kWhite);
    // Centred in 32 by 32: the image at 8,8, its square at 12..20.
    ASSERT_TRUE(surface.Object().DrawStateImage(images.Get(), 0, RECT{0, 0, 32, 32}, 0));
    ExpectRect(BoundsOfOther(surface, 40, 40, kWhite), 12, 12, 20, 20);
    EXPECT_EQ(surface.Pixel(12, 12), kBlack);

    surface.Fill(kWhite);
    ASSERT_TRUE(surface.Object().DrawStateImage(images.Get(), 0, RECT{0, 0, 32, 32},
                                                CDC::StateRight | CDC::StatePressed));
    ExpectRect(BoundsOfOther(surface, 40, 40, kWhite), 21, 13, 29, 21);

    // A one-colour shape in the colour.
    surface.Fill(kWhite);
    ASSERT_TRUE(
        surface.Object().DrawMonoImage(images.Get(), 0, RECT{0, 0, 16, 16}, kRed, CDC::StateLeft));
    ExpectRect(BoundsOfOther(surface, 40, 40, kWhite), 4, 4, 12, 12);
    EXPECT_TRUE(surface.AllOf(RECT{4, 4, 12, 12}, kRed));

    // The image list's own background colour is set aside when transparent,
    // and given back afterwards.
    ImageList_SetBkColor(images.Get(), kBlue);
    surface.Fill(kWhite);
    ASSERT_TRUE(surface.Object().DrawStateImage(images.Get(), 0, RECT{0, 0, 16, 16}, 0));
    EXPECT_EQ(surface.Pixel(1, 1), kBlue);
    surface.Fill(kWhite);
    ASSERT_TRUE(surface.Object().DrawStateImage(images.Get(), 0, RECT{0, 0, 16, 16},
                                                CDC::StateTransparent));
    EXPECT_EQ(surface.Pixel(1, 1), kWhite);
    EXPECT_EQ(surface.Pixel(5, 5), kBlack);
    EXPECT_EQ(ImageList_GetBkColor(images.Get()), kBlue);
}

TEST(DcDrawingTest, OwnDisabledLookDrawsTwiceAndMovesTheRectangle)
{
    SquareImages images;
    const CSysColorTable& table = GetSysColorTable();
    Surface surface(40, 40, kWhite);

    // First the shape in entry 7 at (+1, +1), then the image at (-1, -1).
    RECT rect = {4, 4, 20, 20};
    ASSERT_TRUE(surface.Object().DrawImageState(images.Get(), 0, rect, CDC::StateOwnDisabled));
    ExpectRect(rect, 3, 3, 19, 19);
    EXPECT_TRUE(surface.AllOf(RECT{7, 7, 15, 15}, kBlack));
    EXPECT_EQ(surface.Pixel(15, 15), table[7]);
    EXPECT_EQ(surface.Pixel(16, 16), table[7]);
    EXPECT_EQ(surface.Pixel(17, 17), kWhite);

    // Disabled as well: the second drawing is a shape in entry 6.
    surface.Fill(kWhite);
    rect = {4, 4, 20, 20};
    ASSERT_TRUE(surface.Object().DrawImageState(images.Get(), 0, rect,
                                                CDC::StateOwnDisabled | CDC::StateDisabled));
    EXPECT_TRUE(surface.AllOf(RECT{7, 7, 15, 15}, table[6]));
    EXPECT_EQ(surface.Pixel(16, 16), table[7]);

    // Without the own look only that second drawing, in place.
    surface.Fill(kWhite);
    rect = {4, 4, 20, 20};
    ASSERT_TRUE(surface.Object().DrawImageState(images.Get(), 0, rect, CDC::StateDisabled));
    ExpectRect(rect, 4, 4, 20, 20);
    ExpectRect(BoundsOfOther(surface, 40, 40, kWhite), 8, 8, 16, 16);
    EXPECT_TRUE(surface.AllOf(RECT{8, 8, 16, 16}, table[6]));

    // A failing first drawing stops at once.
    rect = {4, 4, 20, 20};
    EXPECT_FALSE(surface.Object().DrawImageState(nullptr, 0, rect, CDC::StateOwnDisabled));
    ExpectRect(rect, 5, 5, 21, 21);
}

TEST(DcDrawingTest, StateIconAtItsPosition)
{
    SquareImages images;
    HICON icon = ImageList_GetIcon(images.Get(), 0, ILD_NORMAL);
    ASSERT_NE(icon, nullptr);
    Surface surface(40, 40, kWhite);
    ASSERT_TRUE(surface.Object().DrawStateIcon(icon, CPoint(10, 6), CSize(16, 16), DSS_NORMAL));
    ExpectRect(BoundsOfOther(surface, 40, 40, kWhite), 14, 10, 22, 18);
    EXPECT_EQ(surface.Pixel(14, 10), kBlack);
    DestroyIcon(icon);
}

TEST(DcDrawingTest, StateBitmapAtItsPositionAndSize)
{
    // A 6 x 4 bitmap: red with a blue top-left pixel, drawn at (5, 3).
    Surface source(6, 4, RGB(200, 0, 0));
    source.SetPixel(0, 0, RGB(0, 0, 200));
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(source.Dc(), 6, 4));
    {
        HDC copy = CreateCompatibleDC(source.Dc());
        HGDIOBJ old = SelectObject(copy, bitmap.GetSafeHandle());
        BitBlt(copy, 0, 0, 6, 4, source.Dc(), 0, 0, SRCCOPY);
        SelectObject(copy, old);
        DeleteDC(copy);
    }
    Surface surface(20, 20, kWhite);
    ASSERT_TRUE(surface.Object().DrawState(CPoint(5, 3), CSize(6, 4), bitmap.GetSafeHandle(),
                                           DSS_NORMAL));
    ExpectRect(BoundsOfOther(surface, 20, 20, kWhite), 5, 3, 11, 7);
    EXPECT_EQ(surface.Pixel(5, 3), RGB(0, 0, 200));
    EXPECT_EQ(surface.Pixel(10, 6), RGB(200, 0, 0));
    // No bitmap draws nothing.
    surface.Fill(kWhite);
    EXPECT_FALSE(surface.Object().DrawState(CPoint(0, 0), CSize(6, 4), nullptr, DSS_NORMAL));
    EXPECT_TRUE(surface.AllOf(RECT{0, 0, 20, 20}, kWhite));
}
