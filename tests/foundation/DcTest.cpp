#include "foundation/Dc.h"
#include "foundation/FrameworkHooks.h"
#include "foundation/Window.h"

#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>

namespace
{
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// A memory context holding a top-down 32-bpp DIB, so that every pixel can be
// read back exactly from the bits, whatever the context's clipping. With
// withObject clear no CDC wraps the context: it is foreign to the framework.
class Surface
{
public:
    Surface(int width, int height, COLORREF fill = kWhite, bool withObject = true)
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
    // Every pixel of the rectangle has the colour.
    bool AllOf(const RECT& r, COLORREF c) const
    {
        for (int y = r.top; y < r.bottom; ++y)
        {
            for (int x = r.left; x < r.right; ++x)
            {
                if (Pixel(x, y) != c)
                    return false;
            }
        }
        return true;
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
} // namespace

static_assert(!std::is_copy_constructible_v<CDC>, "a device-context object holds one handle");
static_assert(!std::is_copy_assignable_v<CDC>, "a device-context object holds one handle");
static_assert(!std::is_copy_constructible_v<CPaintDC>, "a scope owns its context");
static_assert(!std::is_copy_constructible_v<CGetDC>, "a scope owns its context");
static_assert(!std::is_copy_constructible_v<CWindowDC>, "a scope owns its context");
static_assert(!std::is_copy_constructible_v<CBufferDC>, "a buffer owns its bitmap");
static_assert(!std::is_copy_constructible_v<CSelectScope>, "a scope restores once");

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
