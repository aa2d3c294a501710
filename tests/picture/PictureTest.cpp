#include "picture/Picture.h"

#include "PictureTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>

static_assert(!std::is_copy_constructible_v<CPicture>, "a picture owns its block");

namespace
{
bool Equal(RGBQUAD a, RGBQUAD b)
{
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue &&
           a.rgbReserved == b.rgbReserved;
}
} // namespace

TEST(PictureTest, CreateNormalisesBitsAndLaysOutTheBlock)
{
    CPicture p;
    EXPECT_FALSE(p.IsValid());
    EXPECT_EQ(p.GetTransIndex(), -1);
    EXPECT_EQ(p.GetJpegQuality(), 90);
    EXPECT_EQ(p.GetAlphaMax(), 255);
    EXPECT_TRUE(p.IsEnabled());
    EXPECT_EQ(p.GetXDPI(), 96);

    ASSERT_NE(p.Create(5, 5, 3, PICTURE_BMP), nullptr);
    EXPECT_EQ(p.GetBpp(), 4);
    EXPECT_EQ(p.GetNumColors(), 16u);
    EXPECT_EQ(p.GetRowBytes(), 4u);
    EXPECT_EQ(p.GetImageSize(), 20u);
    EXPECT_EQ(p.GetType(), static_cast<DWORD>(PICTURE_BMP));
    EXPECT_EQ(p.GetHeader().biSize, 40u);
    EXPECT_EQ(p.GetHeader().biPlanes, 1);
    // The pixels follow the header and the 16-entry palette.
    EXPECT_EQ(p.GetBits(0), reinterpret_cast<BYTE*>(p.GetPalette()) + 16 * 4);
    EXPECT_EQ(p.GetBits(4), p.GetBits(0) + 16);
    EXPECT_EQ(p.GetBits(5), nullptr);
    EXPECT_EQ(p.GetBits(-1), nullptr);

    struct Case
    {
        int width, bits, bpp;
        DWORD rowBytes, colors;
    } cases[] = {{1, 0, 1, 4, 2},     {33, 1, 1, 8, 2},    {10, 2, 4, 8, 16},
                 {10, 6, 8, 12, 256}, {10, 16, 24, 32, 0}, {10, 32, 24, 32, 0}};
    for (const Case& c : cases)
    {
        ASSERT_NE(p.Create(c.width, 2, c.bits, 0), nullptr);
        EXPECT_EQ(p.GetBpp(), c.bpp) << c.bits;
        EXPECT_EQ(p.GetRowBytes(), c.rowBytes) << c.bits;
        EXPECT_EQ(p.GetNumColors(), c.colors) << c.bits;
        EXPECT_EQ(p.IsIndexed(), c.colors != 0);
    }
    // Fresh pixels are zero, so partly decoded pictures are deterministic.
    for (DWORD i = 0; i < p.GetImageSize(); ++i)
        ASSERT_EQ(p.GetBits(0)[i], 0);
}

TEST(PictureTest, CreateRefusesSizesThatAreNotPictures)
{
    CPicture p;
    ASSERT_NE(p.Create(3, 3, 24, 0), nullptr);
    EXPECT_EQ(p.Create(0, 10, 24, 0), nullptr);
    EXPECT_STREQ(p.GetLastError(), "CPicture::Create : width and height must be greater than zero");
    EXPECT_FALSE(p.IsValid());
    EXPECT_EQ(p.GetWidth(), 0);
    EXPECT_EQ(p.Create(-5, 5, 8, 0), nullptr);
    EXPECT_STREQ(p.GetLastError(), "CPicture::Create : width and height must be greater than zero");
    // Sizes whose products would wrap in 32 bits, or beyond the caps.
    EXPECT_EQ(p.Create(100000, 100000, 24, 0), nullptr);
    EXPECT_STREQ(p.GetLastError(), "CPicture::Create : image too large");
    EXPECT_EQ(p.Create(32768, 1, 1, 0), nullptr);
    EXPECT_EQ(p.Create(20000, 20000, 24, 0), nullptr); // 1.2 GB
    EXPECT_FALSE(p.IsValid());
    EXPECT_NE(p.Create(32767, 2, 1, 0), nullptr);
}

TEST(PictureTest, DpiAndCodecOptions)
{
    CPicture p(PICTURE_PNG);
    ASSERT_NE(p.Create(2, 2, 24, PICTURE_PNG), nullptr);
    p.SetXDPI(72);
    p.SetYDPI(0);
    EXPECT_EQ(p.GetXDPI(), 72);
    EXPECT_EQ(p.GetHeader().biXPelsPerMeter, 2835);
    EXPECT_EQ(p.GetYDPI(), 96);
    EXPECT_EQ(p.GetHeader().biYPelsPerMeter, 3780);
    // The block's own header (what Windows gets) follows.
    const BITMAPINFOHEADER* block = reinterpret_cast<const BITMAPINFOHEADER*>(
        reinterpret_cast<const BYTE*>(p.GetBits(0)) - 40 - p.GetPaletteSize());
    EXPECT_EQ(block->biXPelsPerMeter, 2835);

    EXPECT_TRUE(p.SetCodecOption(7));
    EXPECT_EQ(p.GetCodecOption(PICTURE_PNG), 7u);
    EXPECT_EQ(p.GetCodecOption(0), 7u);
    EXPECT_TRUE(p.SetCodecOption(0x80, PICTURE_JPEG));
    EXPECT_EQ(p.GetCodecOption(PICTURE_JPEG), 0x80u);
    EXPECT_FALSE(p.SetCodecOption(1, 7));
    EXPECT_EQ(p.GetCodecOption(7), 0u);
}

TEST(PictureTest, PackedPixelsRoundTripAtEveryDepth)
{
    for (int bits : {1, 4, 8})
    {
        CPicture p;
        ASSERT_NE(p.Create(10, 3, bits, 0), nullptr);
        const int colors = static_cast<int>(p.GetNumColors());
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 10; ++x)
                p.SetPixelIndex(x, y, static_cast<BYTE>((x + 3 * y) % colors));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 10; ++x)
                EXPECT_EQ(p.GetPixelIndex(x, y), (x + 3 * y) % colors) << bits << " " << x;
    }
    // Bit and nibble order in the rows.
    CPicture one;
    ASSERT_NE(one.Create(10, 1, 1, 0), nullptr);
    one.SetPixelIndex(0, 0, 1);
    one.SetPixelIndex(9, 0, 1);
    EXPECT_EQ(one.GetBits(0)[0], 0x80);
    EXPECT_EQ(one.GetBits(0)[1], 0x40);
    CPicture four;
    ASSERT_NE(four.Create(3, 1, 4, 0), nullptr);
    four.SetPixelIndex(0, 0, 0xA);
    four.SetPixelIndex(1, 0, 0x5);
    four.SetPixelIndex(2, 0, 0x1F); // only the index's own bits
    EXPECT_EQ(four.GetBits(0)[0], 0xA5);
    EXPECT_EQ(four.GetBits(0)[1], 0xF0);

    CPicture rgb;
    ASSERT_NE(rgb.Create(4, 2, 24, 0), nullptr);
    rgb.SetPixelColor(3, 1, Rgb(10, 20, 30));
    const BYTE* p = rgb.BlindGetPixelPointer(3, 1);
    EXPECT_EQ(p[0], 30);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 10);
    EXPECT_EQ(rgb.GetPixelColor(3, 1).rgbRed, 10);
    EXPECT_EQ(rgb.BlindGetPixelPointer(0, 0), rgb.GetBits(0));
    EXPECT_EQ(one.BlindGetPixelPointer(0, 0), nullptr);
    // Setters outside the picture do nothing.
    rgb.SetPixelColor(4, 0, Rgb(1, 1, 1));
    rgb.SetPixelColor(-1, 0, Rgb(1, 1, 1));
    for (DWORD i = 0; i < rgb.GetImageSize(); ++i)
        EXPECT_EQ(rgb.GetBits(0)[i], (i >= 21 && i < 24) ? (i == 21 ? 30 : i == 22 ? 20 : 10) : 0);
}

TEST(PictureTest, ColoursOutsideThePicture)
{
    CPicture p;
    ASSERT_NE(p.Create(3, 3, 8, 0), nullptr);
    p.SetPaletteColor(0, 1, 2, 3);
    p.SetPaletteColor(5, 50, 60, 70);
    p.SetPaletteColor(7, 90, 91, 92);
    p.SetPixelIndex(0, 0, 5);
    // Without a transparent index: pixel (0, 0).
    EXPECT_TRUE(Equal(p.GetPixelColor(-1, 0), Rgb(50, 60, 70)));
    EXPECT_TRUE(Equal(p.GetPixelColor(3, 3), Rgb(50, 60, 70)));
    // With one: its palette colour.
    p.SetTransIndex(7);
    EXPECT_TRUE(Equal(p.GetPixelColor(-1, 0), Rgb(90, 91, 92)));
    EXPECT_EQ(p.GetPixelIndex(9, 9), 7);
    EXPECT_TRUE(Equal(p.GetTransColor(), Rgb(90, 91, 92)));
    // An index beyond the palette reads as black.
    CPicture small;
    ASSERT_NE(small.Create(2, 1, 1, 0), nullptr);
    EXPECT_TRUE(Equal(small.GetPaletteColor(2), Rgb(0, 0, 0)));

    CPicture rgb;
    ASSERT_NE(rgb.Create(2, 2, 24, 0), nullptr);
    rgb.SetTransColor(Rgb(9, 8, 7, 200));
    EXPECT_EQ(rgb.GetTransColor().rgbReserved, 0); // stored without alpha
    rgb.SetTransIndex(0);
    EXPECT_TRUE(Equal(rgb.GetPixelColor(5, 5), Rgb(9, 8, 7)));
    CPicture empty;
    empty.SetTransColor(Rgb(4, 5, 6));
    EXPECT_TRUE(Equal(empty.GetPixelColor(0, 0), Rgb(4, 5, 6)));
}

TEST(PictureTest, PaletteSettersAndGreyPalettes)
{
    CPicture p;
    ASSERT_NE(p.Create(2, 2, 4, 0), nullptr);
    p.SetGrayPalette();
    EXPECT_EQ(p.GetPaletteColor(1).rgbRed, 17);
    EXPECT_EQ(p.GetPaletteColor(15).rgbBlue, 255);
    EXPECT_FALSE(p.IsGrayScale()); // only the identity palette of 256 counts
    const BYTE triples[] = {1, 2, 3, 4, 5, 6};
    p.SetPaletteTriples(triples, 2);
    EXPECT_TRUE(Equal(p.GetPaletteColor(1), Rgb(4, 5, 6)));
    const BYTE red[] = {100, 101};
    p.SetPaletteRgb(2, red, nullptr, nullptr);
    EXPECT_TRUE(Equal(p.GetPaletteColor(1), Rgb(101, 101, 101)));
    RGBQUAD entries[20];
    std::memset(entries, 7, sizeof(entries));
    p.SetPalette(entries, 20); // at most the 16 entries there are
    EXPECT_TRUE(Equal(p.GetPaletteColor(15), Rgb(7, 7, 7, 7)));

    CPicture grey;
    ASSERT_NE(grey.Create(2, 2, 8, 0), nullptr);
    grey.SetGrayPalette();
    EXPECT_TRUE(grey.IsGrayScale());
    CPicture mono;
    ASSERT_NE(mono.Create(2, 2, 1, 0), nullptr);
    mono.SetGrayPalette();
    EXPECT_EQ(mono.GetPaletteColor(1).rgbGreen, 255);

    CPicture rgb;
    ASSERT_NE(rgb.Create(2, 2, 24, 0), nullptr);
    EXPECT_EQ(rgb.GetPalette(), nullptr);
    rgb.SetPaletteColor(0, 1, 2, 3); // nothing to set
    BYTE row[7] = {1, 2, 3, 4, 5, 6, 7};
    rgb.RgbToBgr(row, 7);
    EXPECT_EQ(row[0], 3);
    EXPECT_EQ(row[2], 1);
    EXPECT_EQ(row[3], 6);
    EXPECT_EQ(row[6], 7);
}

TEST(PictureTest, NearestIndexPicksTheFirstOfEqualsAndForgetsOldPalettes)
{
    CPicture p;
    ASSERT_NE(p.Create(2, 2, 4, 0), nullptr);
    p.SetPaletteColor(2, 200, 0, 0);
    p.SetPaletteColor(3, 200, 0, 0);
    p.SetPaletteColor(4, 0, 0, 100);
    p.SetPaletteColor(5, 0, 0, 120);
    EXPECT_EQ(p.GetNearestIndex(Rgb(200, 0, 0)), 2);
    EXPECT_EQ(p.GetNearestIndex(Rgb(0, 0, 110)), 4); // equidistant: the lower index
    EXPECT_EQ(p.GetNearestIndex(Rgb(0, 0, 119)), 5);
    // A palette change must not answer from the cache.
    EXPECT_EQ(p.GetNearestIndex(Rgb(200, 0, 0)), 2);
    p.SetPaletteColor(1, 200, 0, 0);
    EXPECT_EQ(p.GetNearestIndex(Rgb(200, 0, 0)), 1);
    p.SetPixelColor(1, 1, Rgb(0, 0, 121));
    EXPECT_EQ(p.GetPixelIndex(1, 1), 5);
    CPicture rgb;
    ASSERT_NE(rgb.Create(2, 2, 24, 0), nullptr);
    EXPECT_EQ(rgb.GetNearestIndex(Rgb(1, 2, 3)), 0);
}

TEST(PictureTest, ClearFillsByDepth)
{
    CPicture one;
    ASSERT_NE(one.Create(8, 2, 1, 0), nullptr);
    one.Clear(3);
    EXPECT_EQ(one.GetBits(1)[0], 255);
    EXPECT_EQ(one.GetPixelIndex(7, 1), 1);
    CPicture four;
    ASSERT_NE(four.Create(8, 2, 4, 0), nullptr);
    four.Clear(0x1B);
    EXPECT_EQ(four.GetBits(0)[0], 0xBB);
    EXPECT_EQ(four.GetPixelIndex(3, 1), 0xB);
}

TEST(PictureTest, AlphaPlaneAndSelection)
{
    CPicture p;
    ASSERT_NE(p.Create(3, 2, 24, 0), nullptr);
    EXPECT_FALSE(p.AlphaIsValid());
    EXPECT_EQ(p.AlphaGet(0, 0), 0);
    EXPECT_FALSE(p.AlphaFlip());
    ASSERT_TRUE(p.AlphaCreate());
    EXPECT_EQ(p.AlphaGet(2, 1), 255);
    p.AlphaSet(1, 0, 10);
    p.AlphaSet(5, 0, 10); // outside: nothing
    EXPECT_EQ(p.AlphaGet(1, 0), 10);
    EXPECT_EQ(*p.AlphaGetPointer(1, 0), 10);
    EXPECT_EQ(p.AlphaGetPointer(3, 0), nullptr);
    EXPECT_EQ(p.GetPixelColor(1, 0, true).rgbReserved, 10);
    EXPECT_EQ(p.BlindGetPixelColor(1, 0).rgbReserved, 10);
    p.SetPixelColor(2, 1, Rgb(1, 2, 3, 77), true);
    EXPECT_EQ(p.AlphaGet(2, 1), 77);
    ASSERT_TRUE(p.AlphaFlip());
    EXPECT_EQ(p.AlphaGet(1, 1), 10);
    EXPECT_EQ(p.AlphaGet(2, 0), 77);
    p.AlphaDelete();
    EXPECT_FALSE(p.AlphaIsValid());

    // Selection: everything until a mask exists, then the marked pixels.
    EXPECT_TRUE(p.SelectionIsInside(2, 1));
    EXPECT_FALSE(p.SelectionIsInside(3, 1));
    ASSERT_TRUE(p.SelectionAddPixel(1, 1));
    EXPECT_TRUE(p.SelectionIsInside(1, 1));
    EXPECT_FALSE(p.SelectionIsInside(0, 0));
    const RECT box = p.GetSelectionBox();
    EXPECT_EQ(box.left, 1);
    EXPECT_EQ(box.right, 2);
    EXPECT_EQ(box.bottom, 1);
    EXPECT_EQ(box.top, 2);
    p.SelectionDelete();
    EXPECT_TRUE(p.SelectionIsInside(0, 0));
    EXPECT_EQ(p.GetSelectionBox().left, 3);
    EXPECT_EQ(p.GetSelectionBox().bottom, 2);
}

TEST(PictureTest, CopyTransferAndCopyInfoNeverShareStorage)
{
    CPicture source;
    ASSERT_NE(source.Create(4, 3, 8, PICTURE_GIF), nullptr);
    source.SetPaletteColor(3, 9, 8, 7);
    source.SetPixelIndex(2, 1, 3);
    source.AlphaCreate();
    source.AlphaSet(2, 1, 66);
    source.SelectionAddPixel(2, 1);
    source.SetTransIndex(3);
    source.SetFrame(2);

    CPicture copy(source, true, true, true);
    ASSERT_TRUE(copy.IsValid());
    EXPECT_EQ(copy.GetType(), static_cast<DWORD>(PICTURE_GIF));
    EXPECT_NE(copy.GetBits(0), source.GetBits(0));
    EXPECT_EQ(copy.GetPixelIndex(2, 1), 3);
    EXPECT_EQ(copy.GetPaletteColor(3).rgbRed, 9);
    EXPECT_EQ(copy.AlphaGet(2, 1), 66);
    EXPECT_FALSE(copy.SelectionIsInside(0, 0));
    EXPECT_EQ(copy.GetTransIndex(), 3);

    CPicture paletteOnly(source, false, false, false);
    EXPECT_EQ(paletteOnly.GetPaletteColor(3).rgbRed, 9);
    EXPECT_EQ(paletteOnly.GetPixelIndex(2, 1), 0);
    EXPECT_FALSE(paletteOnly.AlphaIsValid());
    EXPECT_TRUE(paletteOnly.SelectionIsInside(0, 0));

    // Settings travel; the storage does not.
    CPicture settings;
    settings.CopyInfo(source);
    EXPECT_EQ(settings.GetFrame(), 2);
    EXPECT_EQ(settings.GetBits(0), nullptr);
    EXPECT_FALSE(settings.IsValid());
    CPicture busy(2, 2, 24, 0);
    busy.CopyInfo(source);
    EXPECT_EQ(busy.GetFrame(), 0); // only while it has no pixels

    BYTE* bits = source.GetBits(0);
    CPicture target(5, 5, 24, 0);
    ASSERT_TRUE(target.Transfer(source));
    EXPECT_EQ(target.GetBits(0), bits);
    EXPECT_EQ(target.GetWidth(), 4);
    EXPECT_EQ(target.AlphaGet(2, 1), 66);
    EXPECT_FALSE(source.IsValid());
    EXPECT_FALSE(source.AlphaIsValid());
    EXPECT_EQ(source.GetWidth(), 0);
}

TEST(PictureTest, FlipKeepsPixelAndAlphaRowsTogether)
{
    CPicture p;
    ASSERT_NE(p.Create(2, 3, 24, 0), nullptr);
    ASSERT_TRUE(p.AlphaCreate());
    for (int y = 0; y < 3; ++y)
    {
        p.SetPixelColor(0, y, Rgb(static_cast<BYTE>(10 * (y + 1)), 0, 0));
        p.AlphaSet(0, y, static_cast<BYTE>(100 + y));
    }
    ASSERT_TRUE(p.Flip());
    for (int y = 0; y < 3; ++y)
    {
        EXPECT_EQ(p.GetPixelColor(0, y).rgbRed, 10 * (3 - y));
        EXPECT_EQ(p.AlphaGet(0, y), 100 + 2 - y);
    }
    CPicture empty;
    EXPECT_FALSE(empty.Flip());
}

TEST(PictureTest, NegativeByKindOfImage)
{
    // 24 bits with a mask: only the selected pixels, and the transparent colour.
    CPicture rgb;
    ASSERT_NE(rgb.Create(3, 1, 24, 0), nullptr);
    for (int x = 0; x < 3; ++x)
        rgb.SetPixelColor(x, 0, Rgb(10, 20, 30));
    rgb.SelectionAddPixel(1, 0);
    rgb.SetTransColor(Rgb(0, 255, 1));
    ASSERT_TRUE(rgb.Negative());
    EXPECT_TRUE(Equal(rgb.GetPixelColor(0, 0, false), Rgb(10, 20, 30)));
    EXPECT_TRUE(Equal(rgb.GetPixelColor(1, 0, false), Rgb(245, 235, 225)));
    EXPECT_TRUE(Equal(rgb.GetTransColor(), Rgb(255, 0, 254)));
    // Without a mask every byte.
    rgb.SelectionDelete();
    ASSERT_TRUE(rgb.Negative());
    EXPECT_TRUE(Equal(rgb.GetPixelColor(0, 0, false), Rgb(245, 235, 225)));

    // A colour palette is inverted, its alpha kept; the indices stay.
    CPicture pal;
    ASSERT_NE(pal.Create(2, 1, 4, 0), nullptr);
    pal.SetPaletteColor(1, 0, 100, 255, 42);
    pal.SetPixelIndex(0, 0, 1);
    ASSERT_TRUE(pal.Negative());
    EXPECT_TRUE(Equal(pal.GetPaletteColor(1), Rgb(255, 155, 0, 42)));
    EXPECT_EQ(pal.GetPixelIndex(0, 0), 1);

    // The identity grey palette: indices are inverted instead.
    CPicture grey;
    ASSERT_NE(grey.Create(2, 1, 8, 0), nullptr);
    grey.SetGrayPalette();
    grey.SetPixelIndex(0, 0, 5);
    ASSERT_TRUE(grey.Negative());
    EXPECT_EQ(grey.GetPixelIndex(0, 0), 250);
    EXPECT_EQ(grey.GetPixelIndex(1, 0), 255);
    EXPECT_TRUE(grey.IsGrayScale());
}

TEST(PictureTest, DecodeBitfieldsInPlace)
{
    CPicture p;
    ASSERT_NE(p.Create(3, 2, 24, 0), nullptr);
    // 16-bit pixels in the picture's own memory: rows of ((3 + 1) / 2) × 4 bytes.
    const WORD row0[3] = {0x7FFF, 0x001F, 0x7C00};
    const WORD row1[3] = {0x03E0, 0x0000, 0x4210};
    BYTE* bits = p.GetBits(0);
    std::memcpy(bits, row0, 6);
    std::memcpy(bits + 8, row1, 6);
    p.DecodeBitfields(bits, 0x7C00, 0x03E0, 0x001F, 16);
    EXPECT_TRUE(Equal(p.GetPixelColor(0, 0, false), Rgb(248, 248, 248)));
    EXPECT_TRUE(Equal(p.GetPixelColor(1, 0, false), Rgb(0, 0, 248)));
    EXPECT_TRUE(Equal(p.GetPixelColor(2, 0, false), Rgb(248, 0, 0)));
    EXPECT_TRUE(Equal(p.GetPixelColor(0, 1, false), Rgb(0, 248, 0)));
    EXPECT_TRUE(Equal(p.GetPixelColor(2, 1, false), Rgb(128, 128, 128)));

    // 5-6-5 masks.
    const WORD white565 = 0xFFFF;
    std::memcpy(bits, &white565, 2);
    p.DecodeBitfields(bits, 0xF800, 0x07E0, 0x001F, 16);
    EXPECT_TRUE(Equal(p.GetPixelColor(0, 0, false), Rgb(248, 252, 248)));

    // 32 bits: the first three bytes, alpha and masks ignored.
    const BYTE source[3 * 2 * 4] = {1,  2,  3,  99, 4,  5,  6,  99, 7,  8,  9,  99,
                                    10, 11, 12, 99, 13, 14, 15, 99, 16, 17, 18, 99};
    p.DecodeBitfields(source, 1, 1, 1, 32);
    EXPECT_TRUE(Equal(p.GetPixelColor(0, 0, false), Rgb(3, 2, 1)));
    EXPECT_TRUE(Equal(p.GetPixelColor(2, 1, false), Rgb(18, 17, 16)));
}

TEST(PictureTest, RowIteratorWalksTopDown)
{
    CPicture p;
    ASSERT_NE(p.Create(4, 3, 8, 0), nullptr);
    ImageIterator rows(&p);
    EXPECT_EQ(rows.GetRow(), p.GetBits(0));
    rows.Upset();
    EXPECT_EQ(rows.GetY(), 2);
    const BYTE data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    int filled = 0;
    do
    {
        rows.SetRow(data + filled, 10); // cut to the row's 4 bytes
        ++filled;
    } while (rows.PrevRow());
    EXPECT_EQ(filled, 3);
    EXPECT_EQ(p.GetPixelIndex(0, 2), 1);
    EXPECT_EQ(p.GetPixelIndex(0, 0), 3);
    EXPECT_EQ(p.GetPixelIndex(3, 0), 6);
    EXPECT_EQ(rows.GetRow(), nullptr);
}
