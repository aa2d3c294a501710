// The PNG decoder on files made to order with libpng's write side.
#include "picture/PngDecoder.h"

#include "PictureTestSupport.h"

#include <png.h>

#include <gtest/gtest.h>

namespace
{
bool DecodePng(CPicture& target, const Bytes& data)
{
    MemoryImageFile file(data);
    return target.Decode(file, PICTURE_PNG);
}

// A row of 2-bit samples packed four to a byte.
Bytes Pack2(const std::vector<int>& values)
{
    Bytes row((values.size() + 3) / 4, 0);
    for (size_t i = 0; i < values.size(); ++i)
        row[i / 4] |= static_cast<uint8_t>(values[i] << (6 - 2 * (i % 4)));
    return row;
}
} // namespace

TEST(PngDecoderTest, RgbaGivesAnAlphaPlane)
{
    PngRecipe recipe;
    recipe.width = 2;
    recipe.height = 2;
    recipe.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    recipe.rows = {{10, 20, 30, 0, 40, 50, 60, 128}, {70, 80, 90, 255, 1, 2, 3, 4}};
    CPicture p;
    ASSERT_TRUE(DecodePng(p, EncodePng(recipe))) << p.GetLastError();
    EXPECT_EQ(p.GetBpp(), 24);
    ASSERT_TRUE(p.AlphaIsValid());
    EXPECT_EQ(p.GetPixelColor(0, 1).rgbRed, 10); // top row
    EXPECT_EQ(p.GetPixelColor(0, 1).rgbBlue, 30);
    EXPECT_EQ(p.AlphaGet(0, 1), 0);
    EXPECT_EQ(p.AlphaGet(1, 1), 128);
    EXPECT_EQ(p.AlphaGet(0, 0), 255);
    EXPECT_EQ(p.AlphaGet(1, 0), 4);
    EXPECT_EQ(p.GetPixelColor(1, 0).rgbGreen, 2);
    EXPECT_EQ(p.GetCodecOption(PICTURE_PNG), 0u);
}

TEST(PngDecoderTest, GreyAlphaOf16BitsGivesAnAlphaPlaneToo)
{
    PngRecipe recipe;
    recipe.width = 2;
    recipe.height = 1;
    recipe.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    recipe.bitDepth = 16;
    recipe.rows = {{0x12, 0x34, 0x80, 0x00, 0xFF, 0xFF, 0x00, 0x00}};
    CPicture p;
    ASSERT_TRUE(DecodePng(p, EncodePng(recipe))) << p.GetLastError();
    EXPECT_EQ(p.GetBpp(), 24);
    ASSERT_TRUE(p.AlphaIsValid());
    // 16 bits become 8 by dropping the low byte.
    EXPECT_EQ(p.GetPixelColor(0, 0).rgbRed, 0x12);
    EXPECT_EQ(p.GetPixelColor(0, 0).rgbBlue, 0x12);
    EXPECT_EQ(p.AlphaGet(0, 0), 0x80);
    EXPECT_EQ(p.AlphaGet(1, 0), 0);
}

TEST(PngDecoderTest, PaletteTransparency)
{
    PngRecipe recipe;
    recipe.width = 3;
    recipe.height = 1;
    recipe.colorType = PNG_COLOR_TYPE_PALETTE;
    recipe.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    recipe.rows = {{0, 1, 3}};
    recipe.transAlpha = {0};
    CPicture single;
    ASSERT_TRUE(DecodePng(single, EncodePng(recipe))) << single.GetLastError();
    EXPECT_EQ(single.GetBpp(), 8);
    EXPECT_EQ(single.GetTransIndex(), 0);
    EXPECT_FALSE(single.IsAlphaPaletteEnabled());
    EXPECT_EQ(single.GetPaletteColor(0).rgbRed, 255);
    EXPECT_EQ(single.GetPixelIndex(2, 0), 3);

    recipe.transAlpha = {255, 100};
    CPicture several;
    ASSERT_TRUE(DecodePng(several, EncodePng(recipe))) << several.GetLastError();
    EXPECT_EQ(several.GetTransIndex(), -1);
    EXPECT_TRUE(several.IsAlphaPaletteEnabled());
    EXPECT_EQ(several.GetPaletteColor(1).rgbReserved, 100);
    EXPECT_EQ(several.GetPaletteColor(2).rgbReserved, 255);
    EXPECT_EQ(several.GetPaletteColor(255).rgbReserved, 255);
    EXPECT_EQ(several.GetPixelIndex(1, 0), 1);
}

TEST(PngDecoderTest, GreyDepthsAndInterlacing)
{
    // 16-bit grey becomes 8-bit grey with the identity palette.
    PngRecipe grey16;
    grey16.width = 2;
    grey16.height = 1;
    grey16.colorType = PNG_COLOR_TYPE_GRAY;
    grey16.bitDepth = 16;
    grey16.rows = {{0xAB, 0xCD, 0x01, 0xFF}};
    CPicture p;
    ASSERT_TRUE(DecodePng(p, EncodePng(grey16))) << p.GetLastError();
    EXPECT_EQ(p.GetBpp(), 8);
    EXPECT_TRUE(p.IsGrayScale());
    EXPECT_EQ(p.GetPixelIndex(0, 0), 0xAB);
    EXPECT_EQ(p.GetPixelIndex(1, 0), 0x01);

    // 2-bit grey is widened to 4 bits with the four greys, interlaced or not.
    std::vector<std::vector<int>> values;
    PngRecipe grey2;
    grey2.width = 13;
    grey2.height = 9;
    grey2.colorType = PNG_COLOR_TYPE_GRAY;
    grey2.bitDepth = 2;
    for (int y = 0; y < 9; ++y)
    {
        values.emplace_back();
        for (int x = 0; x < 13; ++x)
            values.back().push_back((x * 3 + y) % 4);
        grey2.rows.push_back(Pack2(values.back()));
    }
    for (bool interlaced : {false, true})
    {
        grey2.interlaced = interlaced;
        CPicture q;
        ASSERT_TRUE(DecodePng(q, EncodePng(grey2))) << q.GetLastError();
        EXPECT_EQ(q.GetBpp(), 4);
        EXPECT_EQ(q.GetCodecOption(PICTURE_PNG), interlaced ? 1u : 0u);
        EXPECT_EQ(q.GetPaletteColor(1).rgbRed, 85);
        EXPECT_EQ(q.GetPaletteColor(2).rgbGreen, 170);
        EXPECT_EQ(q.GetPaletteColor(3).rgbBlue, 255);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(q.GetPixelIndex(x, 8 - y), values[y][x])
                    << (interlaced ? "interlaced " : "") << x << "," << y;
    }
}

TEST(PngDecoderTest, TransparencyWithoutAlphaIsCompositedOverTheBackground)
{
    // 8-bit grey, value 7 transparent, no background chunk: grey 192.
    PngRecipe grey;
    grey.width = 2;
    grey.height = 1;
    grey.colorType = PNG_COLOR_TYPE_GRAY;
    grey.rows = {{7, 8}};
    grey.transGrey = 7;
    CPicture p;
    ASSERT_TRUE(DecodePng(p, EncodePng(grey))) << p.GetLastError();
    EXPECT_EQ(p.GetPixelIndex(0, 0), 192);
    EXPECT_EQ(p.GetPixelIndex(1, 0), 8);

    // 1-bit grey: the default grey at that depth is 1, and the neighbours of a
    // transparent pixel keep their bits.
    PngRecipe mono;
    mono.width = 8;
    mono.height = 1;
    mono.colorType = PNG_COLOR_TYPE_GRAY;
    mono.bitDepth = 1;
    mono.rows = {{0xAA}};
    mono.transGrey = 1;
    CPicture m;
    ASSERT_TRUE(DecodePng(m, EncodePng(mono))) << m.GetLastError();
    EXPECT_EQ(m.GetBits(0)[0], 0xAA);
    mono.transGrey = 0;
    CPicture m2;
    ASSERT_TRUE(DecodePng(m2, EncodePng(mono)));
    EXPECT_EQ(m2.GetBits(0)[0], 0xFF);

    // 8-bit grey with alpha: composited, a clear pixel is the grey 192.
    PngRecipe greyAlpha;
    greyAlpha.width = 2;
    greyAlpha.height = 1;
    greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    greyAlpha.rows = {{0, 0, 50, 255}};
    CPicture g;
    ASSERT_TRUE(DecodePng(g, EncodePng(greyAlpha))) << g.GetLastError();
    EXPECT_EQ(g.GetBpp(), 8);
    EXPECT_FALSE(g.AlphaIsValid());
    EXPECT_EQ(g.GetPixelIndex(0, 0), 192);
    EXPECT_EQ(g.GetPixelIndex(1, 0), 50);

    // RGB with a transparent colour and a background chunk.
    PngRecipe rgb;
    rgb.width = 2;
    rgb.height = 1;
    rgb.rows = {{1, 2, 3, 4, 5, 6}};
    rgb.transRgb[0] = 1, rgb.transRgb[1] = 2, rgb.transRgb[2] = 3;
    rgb.background[0] = 200, rgb.background[1] = 100, rgb.background[2] = 50;
    CPicture r;
    ASSERT_TRUE(DecodePng(r, EncodePng(rgb))) << r.GetLastError();
    EXPECT_EQ(r.GetPixelColor(0, 0).rgbRed, 200);
    EXPECT_EQ(r.GetPixelColor(0, 0).rgbBlue, 50);
    EXPECT_EQ(r.GetPixelColor(1, 0).rgbRed, 4);
}

TEST(PngDecoderTest, BackgroundOfA32BitPictureBecomesTheTransparentColour)
{
    PngRecipe recipe;
    recipe.width = 1;
    recipe.height = 1;
    recipe.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    recipe.rows = {{1, 2, 3, 4}};
    recipe.background[0] = 10, recipe.background[1] = 20, recipe.background[2] = 30;
    CPicture p;
    ASSERT_TRUE(DecodePng(p, EncodePng(recipe))) << p.GetLastError();
    const RGBQUAD t = p.GetTransColor();
    EXPECT_EQ(t.rgbRed, 10);
    EXPECT_EQ(t.rgbGreen, 20);
    EXPECT_EQ(t.rgbBlue, 30);
    EXPECT_EQ(p.AlphaGet(0, 0), 4); // the alpha plane is not composited away
}

TEST(PngDecoderTest, PhysicalResolution)
{
    PngRecipe recipe;
    recipe.width = 1;
    recipe.height = 1;
    recipe.rows = {{1, 2, 3}};
    recipe.physX = 3780, recipe.physY = 2835;
    CPicture p;
    ASSERT_TRUE(DecodePng(p, EncodePng(recipe)));
    EXPECT_EQ(p.GetXDPI(), 96);
    EXPECT_EQ(p.GetYDPI(), 72);
    recipe.physUnit = 0, recipe.physX = 2, recipe.physY = 0;
    CPicture q;
    ASSERT_TRUE(DecodePng(q, EncodePng(recipe)));
    EXPECT_EQ(q.GetXDPI(), 2);
    EXPECT_EQ(q.GetYDPI(), 96); // below 1
}

TEST(PngDecoderTest, BrokenFilesFailWithLibpngsReason)
{
    PngRecipe recipe;
    recipe.width = 5;
    recipe.height = 5;
    for (int y = 0; y < 5; ++y)
        recipe.rows.push_back(Bytes(15, static_cast<uint8_t>(y * 40)));
    const Bytes good = EncodePng(recipe);
    for (size_t cut : {size_t(0), size_t(8), size_t(30), good.size() / 2, good.size() - 12})
    {
        CPicture p;
        EXPECT_FALSE(DecodePng(p, Bytes(good.begin(), good.begin() + cut))) << cut;
        EXPECT_STREQ(p.GetLastError(), "Read Error") << cut;
        EXPECT_FALSE(p.IsValid());
    }
    // The image data chunk's CRC (the 4 bytes before the 12-byte IEND) broken.
    Bytes bad = good;
    bad[bad.size() - 14] ^= 0x55;
    CPicture p;
    EXPECT_FALSE(DecodePng(p, bad));
    EXPECT_STREQ(p.GetLastError(), "IDAT: CRC error");
    Bytes notPng = good;
    notPng[1] = 'X';
    EXPECT_FALSE(DecodePng(p, notPng));
    EXPECT_NE(std::string(p.GetLastError()).find("Not a PNG file"), std::string::npos)
        << p.GetLastError();
}

TEST(PngDecoderTest, OversizedPicturesAreRefusedBeforeAllocation)
{
    PngRecipe recipe;
    recipe.width = 40000;
    recipe.height = 1;
    recipe.colorType = PNG_COLOR_TYPE_GRAY;
    recipe.bitDepth = 1;
    recipe.rows = {Bytes(5000, 0)};
    CPicture p;
    EXPECT_FALSE(DecodePng(p, EncodePng(recipe)));
    EXPECT_STREQ(p.GetLastError(), "CPicture::Create : image too large");
}
