// Drawing into memory device contexts, read back pixel by pixel (headless:
// Wine's null display driver handles memory DCs exactly).
#include "picture/Picture.h"

#include "foundation/Dc.h"
#include "foundation/Gdi.h"
#include "foundation/Node.h"

#include "PictureTestSupport.h"
#include "tests/support/Surface.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
// A surface read and written in RGBQUADs.
class Canvas : public Surface
{
public:
    Canvas(int width, int height, RGBQUAD fill) : Surface(width, height, Colour(fill)) {}

    bool IsValid() const { return IsReady(); }
    RGBQUAD At(int x, int y) const
    {
        const COLORREF c = Pixel(x, y);
        return Rgb(GetRValue(c), GetGValue(c), GetBValue(c));
    }
    void Set(int x, int y, RGBQUAD c) { SetPixel(x, y, Colour(c)); }

private:
    static COLORREF Colour(RGBQUAD c) { return RGB(c.rgbRed, c.rgbGreen, c.rgbBlue); }
};

::testing::AssertionResult SameRgb(RGBQUAD got, RGBQUAD want)
{
    if (got.rgbRed == want.rgbRed && got.rgbGreen == want.rgbGreen && got.rgbBlue == want.rgbBlue)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << int(got.rgbRed) << "," << int(got.rgbGreen) << "," << int(got.rgbBlue)
           << ") instead of (" << int(want.rgbRed) << "," << int(want.rgbGreen) << ","
           << int(want.rgbBlue) << ")";
}

// A picture whose pixel (x, y), counted from the top-left, has red = 10x + y + 1.
void FillNumbered(CPicture& p)
{
    for (int y = 0; y < p.GetHeight(); ++y)
        for (int x = 0; x < p.GetWidth(); ++x)
            p.SetPixelColor(x, p.GetHeight() - 1 - y,
                            Rgb(static_cast<BYTE>(10 * x + y + 1), 0, 200));
}
} // namespace

TEST(PictureDrawTest, OpaqueAtNaturalSizeCopiesPixels)
{
    Canvas canvas(8, 6, Rgb(1, 1, 1));
    ASSERT_TRUE(canvas.IsValid());
    CPicture p(4, 3, 24, 0);
    FillNumbered(p);
    EXPECT_TRUE(p.Draw(canvas.Dc(), 2, 1));
    EXPECT_TRUE(SameRgb(canvas.At(2, 1), Rgb(1, 0, 200)));
    EXPECT_TRUE(SameRgb(canvas.At(5, 3), Rgb(33, 0, 200)));
    EXPECT_TRUE(SameRgb(canvas.At(1, 1), Rgb(1, 1, 1)));
    EXPECT_TRUE(SameRgb(canvas.At(6, 1), Rgb(1, 1, 1)));
    EXPECT_TRUE(SameRgb(canvas.At(2, 4), Rgb(1, 1, 1)));

    // An 8-bit picture goes through its palette.
    CPicture pal(2, 2, 8, 0);
    pal.SetPaletteColor(3, 90, 80, 70);
    pal.SetPixelIndex(1, 1, 3); // top-right
    EXPECT_TRUE(pal.Draw(canvas.Dc(), 0, 0, -1, -1));
    EXPECT_TRUE(SameRgb(canvas.At(1, 0), Rgb(90, 80, 70)));
    EXPECT_TRUE(SameRgb(canvas.At(0, 1), Rgb(0, 0, 0)));
}

TEST(PictureDrawTest, RefusesWhatCannotBeDrawn)
{
    Canvas canvas(4, 4, Rgb(1, 1, 1));
    CPicture empty;
    EXPECT_FALSE(empty.Draw(canvas.Dc(), 0, 0));
    CPicture p(2, 2, 24, 0);
    EXPECT_FALSE(p.Draw(nullptr, 0, 0));
    EXPECT_FALSE(p.Draw(canvas.Dc(), 0, 0, 0, 2));
    p.Enable(false);
    EXPECT_FALSE(p.Draw(canvas.Dc(), 0, 0));
    EXPECT_TRUE(SameRgb(canvas.At(0, 0), Rgb(1, 1, 1)));
}

TEST(PictureDrawTest, AlphaBlendsByTheRule)
{
    Canvas canvas(4, 1, Rgb(100, 100, 100));
    CPicture p(4, 1, 24, 0);
    ASSERT_TRUE(p.AlphaCreate());
    const BYTE alphas[4] = {0, 255, 128, 64};
    for (int x = 0; x < 4; ++x)
    {
        p.SetPixelColor(x, 0, Rgb(200, 0, 255));
        p.AlphaSet(x, 0, alphas[x]);
    }
    EXPECT_TRUE(p.Draw(canvas.Dc(), 0, 0));
    EXPECT_TRUE(SameRgb(canvas.At(0, 0), Rgb(100, 100, 100))); // alpha 0: screen kept
    EXPECT_TRUE(SameRgb(canvas.At(1, 0), Rgb(200, 0, 255)));   // 255: exact copy
    // a = ((255 + 1) × 128) >> 8 = 128; (200 × 128 + 100 × 127) >> 8 = 149.
    EXPECT_TRUE(SameRgb(canvas.At(2, 0), Rgb(149, 49, 177)));
    EXPECT_TRUE(SameRgb(canvas.At(3, 0), Rgb(124, 74, 138)));

    // The global opacity multiplies in: alphaMax 127 halves alpha 255 to 127.
    Canvas second(4, 1, Rgb(100, 100, 100));
    p.SetAlphaMax(127);
    EXPECT_TRUE(p.Draw(second.Dc(), 0, 0));
    EXPECT_TRUE(SameRgb(second.At(1, 0), Rgb((200 * 127 + 100 * 128) >> 8, (100 * 128) >> 8,
                                             (255 * 127 + 100 * 128) >> 8)));
}

TEST(PictureDrawTest, TransparentColourAndIndexAreSkipped)
{
    Canvas canvas(6, 2, Rgb(7, 7, 7));
    CPicture rgb(3, 1, 24, 0);
    rgb.SetPixelColor(0, 0, Rgb(255, 0, 255));
    rgb.SetPixelColor(1, 0, Rgb(10, 20, 30));
    rgb.SetPixelColor(2, 0, Rgb(255, 0, 255));
    rgb.SetTransColor(Rgb(255, 0, 255));
    rgb.SetTransIndex(0);
    EXPECT_TRUE(rgb.Draw(canvas.Dc(), 0, 0));
    EXPECT_TRUE(SameRgb(canvas.At(0, 0), Rgb(7, 7, 7)));
    EXPECT_TRUE(SameRgb(canvas.At(1, 0), Rgb(10, 20, 30)));
    // Scaled to twice the size, transparent pixels stay unpainted.
    EXPECT_TRUE(rgb.Draw(canvas.Dc(), 0, 0, 6, 2));
    EXPECT_TRUE(SameRgb(canvas.At(0, 1), Rgb(7, 7, 7)));
    EXPECT_TRUE(SameRgb(canvas.At(5, 1), Rgb(7, 7, 7)));
    EXPECT_TRUE(SameRgb(canvas.At(2, 1), Rgb(10, 20, 30)));
    EXPECT_TRUE(SameRgb(canvas.At(3, 0), Rgb(10, 20, 30)));

    Canvas second(2, 1, Rgb(7, 7, 7));
    CPicture pal(2, 1, 8, 0);
    pal.SetPaletteColor(4, 50, 60, 70, 128);
    pal.SetPaletteColor(1, 1, 2, 3);
    pal.SetPixelIndex(0, 0, 4);
    pal.SetPixelIndex(1, 0, 1);
    pal.SetTransIndex(1);
    EXPECT_TRUE(pal.Draw(second.Dc(), 0, 0));
    EXPECT_TRUE(SameRgb(second.At(0, 0), Rgb(50, 60, 70)));
    EXPECT_TRUE(SameRgb(second.At(1, 0), Rgb(7, 7, 7)));
    // Palette alpha: a = ((128 + 1) × 255) >> 8 = 128.
    pal.SetAlphaPaletteEnabled(true);
    EXPECT_TRUE(pal.Draw(second.Dc(), 0, 0));
    EXPECT_TRUE(SameRgb(second.At(0, 0), Rgb((50 * 128 + 50 * 127) >> 8, (60 * 128 + 60 * 127) >> 8,
                                             (70 * 128 + 70 * 127) >> 8)));
}

TEST(PictureDrawTest, ClipLimitsPaintingAndTheDeviceClipIsRestored)
{
    Canvas canvas(8, 8, Rgb(1, 1, 1));
    CPicture p(4, 4, 24, 0);
    FillNumbered(p);
    p.AlphaCreate(); // through the blending path
    const RECT clip = {3, 3, 5, 5};
    EXPECT_TRUE(p.Draw(canvas.Dc(), 2, 2, -1, -1, &clip));
    for (int y = 0; y < 8; ++y)
    {
        for (int x = 0; x < 8; ++x)
        {
            const bool inside = x >= 3 && x < 5 && y >= 3 && y < 5;
            const RGBQUAD want =
                inside ? Rgb(static_cast<BYTE>(10 * (x - 2) + (y - 2) + 1), 0, 200) : Rgb(1, 1, 1);
            EXPECT_TRUE(SameRgb(canvas.At(x, y), want)) << x << "," << y;
        }
    }
    // The device had no clip region, and has none afterwards.
    CRgn region;
    ASSERT_TRUE(region.CreateRectRgn(0, 0, 0, 0));
    EXPECT_EQ(::GetClipRgn(canvas.Dc(), region.GetSafeHandle()), 0);
    // A clip region of its own survives.
    CRgn own;
    ASSERT_TRUE(own.CreateRectRgn(0, 0, 6, 6));
    ::SelectClipRgn(canvas.Dc(), own.GetSafeHandle());
    const RECT away = {7, 7, 8, 8};
    EXPECT_TRUE(p.Draw(canvas.Dc(), 0, 0, -1, -1, &away)); // nothing to paint, no failure
    EXPECT_EQ(::GetClipRgn(canvas.Dc(), region.GetSafeHandle()), 1);
    RECT box;
    ::GetRgnBox(region.GetSafeHandle(), &box);
    EXPECT_EQ(box.right, 6);
    EXPECT_EQ(box.bottom, 6);
    EXPECT_TRUE(SameRgb(canvas.At(0, 0), Rgb(1, 1, 1)));
}

TEST(PictureDrawTest, DrawingLeavesTheObjectListsAsFound)
{
    Canvas canvas(8, 8, Rgb(1, 1, 1));
    ASSERT_TRUE(canvas.IsValid());
    CPicture p(4, 4, 24, 0);
    FillNumbered(p);
    p.AlphaCreate(); // the memory context and the section of the blending path
    const int dcs = g_dcList.GetCount();
    const int objects = g_gdiList.GetCount();
    const RECT clip = {1, 1, 6, 6};
    EXPECT_TRUE(p.Draw(canvas.Dc(), 0, 0, 6, 6, &clip, true));
    const HBITMAP made = p.MakeBitmap();
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(::DeleteObject(made));
    // Every wrapper made on the way is gone, and none was left for the modal
    // loop to clear.
    EXPECT_EQ(g_dcList.GetCount(), dcs);
    EXPECT_EQ(g_gdiList.GetCount(), objects);
    EXPECT_TRUE(g_temporaryDcList.IsEmpty());
    EXPECT_TRUE(g_temporaryGdiList.IsEmpty());
}

TEST(PictureDrawTest, ScaledDrawingSamplesTheSource)
{
    Canvas canvas(8, 6, Rgb(1, 1, 1));
    CPicture p(4, 3, 24, 0);
    FillNumbered(p);
    EXPECT_TRUE(p.Draw(canvas.Dc(), 0, 0, 8, 6));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_TRUE(
                SameRgb(canvas.At(x, y), Rgb(static_cast<BYTE>(10 * (x / 2) + y / 2 + 1), 0, 200)))
                << x << "," << y;
    // Smooth scaling of a uniform picture stays uniform.
    CPicture uniform(3, 3, 24, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            uniform.SetPixelColor(x, y, Rgb(255, 0, 255));
    EXPECT_TRUE(uniform.Draw(canvas.Dc(), 0, 0, 7, 5, nullptr, true));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_TRUE(SameRgb(canvas.At(x, y), Rgb(255, 0, 255))) << x << "," << y;
}

TEST(PictureDrawTest, DrawTiledCutsTheLastTiles)
{
    Canvas canvas(30, 20, Rgb(1, 1, 1));
    CPicture p(10, 10, 24, 0);
    FillNumbered(p);
    const RECT rect = {2, 3, 27, 18}; // 25 × 15: 3 × 2 tiles
    EXPECT_TRUE(p.DrawTiled(canvas.Dc(), &rect));
    for (int y = 0; y < 20; ++y)
    {
        for (int x = 0; x < 30; ++x)
        {
            const bool inside = x >= 2 && x < 27 && y >= 3 && y < 18;
            const int tx = (x - 2) % 10;
            const int ty = (y - 3) % 10;
            const RGBQUAD want =
                inside ? Rgb(static_cast<BYTE>(10 * tx + ty + 1), 0, 200) : Rgb(1, 1, 1);
            ASSERT_TRUE(SameRgb(canvas.At(x, y), want)) << x << "," << y;
        }
    }
    // The lower right corner shows tile pixel (4, 4).
    EXPECT_TRUE(SameRgb(canvas.At(26, 17), Rgb(45, 0, 200)));
    const RECT empty = {0, 5, 10, 5};
    EXPECT_TRUE(p.DrawTiled(canvas.Dc(), &empty));
    EXPECT_FALSE(p.DrawTiled(canvas.Dc(), nullptr));
    CPicture none;
    EXPECT_FALSE(none.DrawTiled(canvas.Dc(), &rect));
}

TEST(PictureDrawTest, MakeBitmapHoldsThePixels)
{
    CPicture rgb(5, 3, 24, 0);
    FillNumbered(rgb);
    CPicture pal(5, 3, 8, 0);
    pal.SetPaletteColor(9, 11, 22, 33);
    pal.SetPixelIndex(4, 2, 9);
    for (CPicture* p : {&rgb, &pal})
    {
        CBitmap bitmap;
        bitmap.Attach(p->MakeBitmap(), true);
        ASSERT_TRUE(bitmap.IsValid());
        DIBSECTION section;
        ASSERT_EQ(::GetObjectA(bitmap.GetHandle(), sizeof(section), &section), sizeof(section));
        EXPECT_EQ(section.dsBm.bmWidth, 5);
        EXPECT_EQ(section.dsBm.bmHeight, 3);
        EXPECT_EQ(section.dsBmih.biBitCount, p->GetBpp());
        EXPECT_EQ(std::memcmp(section.dsBm.bmBits, p->GetBits(0), p->GetImageSize()), 0);
        if (p == &pal)
        {
            CDC dc;
            ASSERT_TRUE(dc.CreateCompatibleDC());
            CSelectScope select(dc.GetSafeHdc(), bitmap);
            ASSERT_TRUE(select.IsSelected());
            RGBQUAD colors[16];
            ASSERT_EQ(::GetDIBColorTable(dc.GetSafeHdc(), 0, 16, colors), 16u);
            EXPECT_TRUE(SameRgb(colors[9], Rgb(11, 22, 33)));
            EXPECT_EQ(::GetPixel(dc.GetSafeHdc(), 4, 0), RGB(11, 22, 33));
        }
    }
    CPicture empty;
    EXPECT_EQ(empty.MakeBitmap(), nullptr);
}
