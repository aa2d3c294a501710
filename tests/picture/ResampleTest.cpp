#include "picture/Picture.h"

#include "PictureTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
// Kernels whose weights add up to 1 wherever they are sampled.
const int kUnityMethods[] = {0, 1, 2, 3, 4, 5, 7, 8, 14, 15, 16, 17};
// Kernels that reproduce a linear ramp exactly (nearest and box give steps).
const int kLinearMethods[] = {0, 2, 3, 4, 5, 6, 14, 15, 16, 17};

void FillUniform(CPicture& p, RGBQUAD c)
{
    for (int y = 0; y < p.GetHeight(); ++y)
        for (int x = 0; x < p.GetWidth(); ++x)
            p.SetPixelColor(x, y, c, true);
}

// Counts the pixels (and alpha values) that differ from c.
int CountOther(const CPicture& p, RGBQUAD c)
{
    int n = 0;
    for (int y = 0; y < p.GetHeight(); ++y)
    {
        for (int x = 0; x < p.GetWidth(); ++x)
        {
            const RGBQUAD got = p.GetPixelColor(x, y, true);
            if (got.rgbRed != c.rgbRed || got.rgbGreen != c.rgbGreen || got.rgbBlue != c.rgbBlue ||
                (p.AlphaIsValid() && got.rgbReserved != c.rgbReserved))
                ++n;
        }
    }
    return n;
}
} // namespace

TEST(ResampleTest, SameSizeLeavesTheImageAndCopiesIntoADestination)
{
    CPicture p(6, 4, 24, PICTURE_PNG);
    p.SetPixelColor(2, 3, Rgb(1, 2, 3));
    p.AlphaCreate();
    p.AlphaSet(2, 3, 9);
    p.SelectionAddPixel(2, 3);
    BYTE* bits = p.GetBits(0);
    EXPECT_TRUE(p.Resample(6, 4));
    EXPECT_EQ(p.GetBits(0), bits);
    CPicture copy;
    EXPECT_TRUE(p.Resample(6, 4, 4, 5, &copy));
    EXPECT_EQ(p.GetBits(0), bits);
    ASSERT_TRUE(copy.IsValid());
    EXPECT_EQ(copy.GetPixelColor(2, 3).rgbBlue, 3);
    EXPECT_EQ(copy.AlphaGet(2, 3), 9);
    EXPECT_FALSE(copy.SelectionIsInside(0, 0));
    EXPECT_TRUE(copy.SelectionIsInside(2, 3));

    EXPECT_FALSE(p.Resample(0, 4));
    EXPECT_FALSE(p.Resample(4, -1));
    CPicture empty;
    EXPECT_FALSE(empty.Resample(4, 4));
}

TEST(ResampleTest, UniformPicturesStayExactlyUniform)
{
    // Magenta is the key colour of the button strips: after a resize it must
    // still be exactly 0xFF00FF, or the mask misses it.
    const RGBQUAD magenta = Rgb(255, 0, 255, 255);
    struct Size
    {
        int w, h;
    } targets[] = {{270, 30}, {66, 40}, {45, 15}, {7, 29}, {91, 31}};
    for (int method : kUnityMethods)
    {
        for (const Size& s : targets)
        {
            CPicture p(90, 30, 24, 0);
            ASSERT_TRUE(p.AlphaCreate());
            FillUniform(p, magenta);
            ASSERT_TRUE(p.Resample(s.w, s.h, method, OVERFLOW_REPEAT));
            ASSERT_EQ(p.GetWidth(), s.w);
            EXPECT_EQ(CountOther(p, magenta), 0)
                << "method " << method << " to " << s.w << "x" << s.h;
        }
    }
    // Lanczos' twelve weights add up to 1 only closely.
    CPicture p(90, 30, 24, 0);
    FillUniform(p, Rgb(200, 100, 50));
    ASSERT_TRUE(p.Resample(270, 45, INTERPOLATE_LANCZOS, OVERFLOW_REPEAT));
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 270; ++x)
            ASSERT_NEAR(p.GetPixelColor(x, y).rgbRed, 200, 1);

    CPicture big(100, 100, 24, 0);
    FillUniform(big, Rgb(255, 255, 255));
    ASSERT_TRUE(big.Resample(50, 50));
    EXPECT_EQ(CountOther(big, Rgb(255, 255, 255)), 0);
}

TEST(ResampleTest, RampsAreReproducedByTheLinearKernels)
{
    // A horizontal ramp of 10 levels a column, enlarged three times: every
    // interior sample lies on the ramp at its source position.
    for (int method : kLinearMethods)
    {
        CPicture p(24, 2, 24, 0);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 24; ++x)
                p.SetPixelColor(x, y, Rgb(static_cast<BYTE>(10 * x + 5), 0, 0));
        ASSERT_TRUE(p.Resample(72, 2, method, OVERFLOW_REPEAT));
        for (int x = 21; x < 51; ++x)
        {
            const float sx = (x + 0.5f) / 3 - 0.5f;
            EXPECT_NEAR(p.GetPixelColor(x, 1).rgbRed, 10 * sx + 5, 1.0) << "method " << method;
        }
    }
    // Nearest and box give steps; Hermite a smooth step between neighbours.
    for (int method : {1, 7, 8})
    {
        CPicture p(8, 1, 24, 0);
        for (int x = 0; x < 8; ++x)
            p.SetPixelColor(x, 0, Rgb(static_cast<BYTE>(30 * x), 0, 0));
        ASSERT_TRUE(p.Resample(32, 1, method, OVERFLOW_REPEAT));
        int last = 0;
        for (int x = 0; x < 32; ++x)
        {
            const int v = p.GetPixelColor(x, 0).rgbRed;
            EXPECT_GE(v, last) << "method " << method << " x " << x;
            last = v;
            const float sx = (x + 0.5f) / 4 - 0.5f;
            if (method != 8)
            {
                EXPECT_EQ(v, 30 * static_cast<int>(sx < 0 ? 0 : sx + 0.5f)) << method << " " << x;
            }
        }
    }
}

TEST(ResampleTest, EveryKernelHasItsImpulseResponse)
{
    // One white pixel on black, sampled on it and half a pixel to its right:
    // 255 × K(0) × K(0) and 255 × K(0) × K(−0.5), rounded.
    struct Case
    {
        int method;
        int atPixel;
        int halfway;
    } cases[] = {{3, 113, 81},   {4, 255, 159},  {5, 255, 143}, {6, 255, 160},
                 {7, 255, 255},  {8, 255, 128},  {9, 255, 138}, {10, 255, 162},
                 {11, 255, 87},  {12, 157, 114}, {13, 162, 98}, {14, 143, 96},
                 {15, 201, 121}, {16, 255, 143}, {2, 255, 127}, {1, 255, 0}};
    CPicture p(40, 40, 24, 0);
    p.SetPixelColor(20, 20, Rgb(255, 255, 255));
    for (const Case& c : cases)
    {
        EXPECT_EQ(p.InterpolatePixel(20.0f, 20.0f, c.method, OVERFLOW_REPEAT).rgbRed, c.atPixel)
            << "method " << c.method;
        EXPECT_EQ(p.InterpolatePixel(20.5f, 20.0f, c.method, OVERFLOW_REPEAT).rgbGreen, c.halfway)
            << "method " << c.method;
    }
    // Methods outside 1 … 16 are bilinear.
    for (int method : {0, 17, -3})
        EXPECT_EQ(p.InterpolatePixel(20.5f, 20.25f, method, OVERFLOW_REPEAT).rgbBlue,
                  p.InterpolatePixel(20.5f, 20.25f, 2, OVERFLOW_REPEAT).rgbBlue);
}

TEST(ResampleTest, SamplerVectors)
{
    // The step [0, 0, 255, 255] at 1.5 with bicubic weights −1/8, 5/8, 5/8, −1/8
    // is 127.5: rounded, not truncated.
    CPicture step(4, 1, 24, 0);
    step.SetPixelColor(2, 0, Rgb(255, 255, 255));
    step.SetPixelColor(3, 0, Rgb(255, 255, 255));
    EXPECT_EQ(step.InterpolatePixel(1.5f, 0.0f, 4, OVERFLOW_REPEAT).rgbRed, 128);
    // Nearest: trunc(x + 0.5).
    EXPECT_EQ(step.InterpolatePixel(1.4f, 0.0f, 1, OVERFLOW_REPEAT).rgbRed, 0);
    EXPECT_EQ(step.InterpolatePixel(1.6f, 0.0f, 1, OVERFLOW_REPEAT).rgbRed, 255);
    // Bilinear fast path at u = v = 128: the mean of the four (truncated).
    CPicture four(2, 2, 24, 0);
    four.SetPixelColor(0, 0, Rgb(10, 0, 0));
    four.SetPixelColor(1, 0, Rgb(20, 0, 0));
    four.SetPixelColor(0, 1, Rgb(30, 0, 0));
    four.SetPixelColor(1, 1, Rgb(41, 0, 0));
    EXPECT_EQ(four.InterpolatePixel(0.5f, 0.5f, 2, OVERFLOW_REPEAT).rgbRed, 25);
    // Outside the fast path (edge) the float blend with repeated edges.
    EXPECT_EQ(four.InterpolatePixel(1.5f, 0.0f, 2, OVERFLOW_REPEAT).rgbRed, 20);
    EXPECT_EQ(four.InterpolatePixel(-0.5f, 1.0f, 2, OVERFLOW_REPEAT).rgbRed, 30);
}

TEST(ResampleTest, OverflowCoordinateRules)
{
    CPicture p(5, 5, 24, 0);
    struct Case
    {
        int overflow, in, out;
    } cases[] = {{OVERFLOW_WRAP, -3, 2},  {OVERFLOW_WRAP, -1, 4},   {OVERFLOW_WRAP, 5, 0},
                 {OVERFLOW_WRAP, 7, 2},   {OVERFLOW_REPEAT, -3, 0}, {OVERFLOW_REPEAT, 5, 4},
                 {OVERFLOW_REPEAT, 9, 4}, {OVERFLOW_MIRROR, -3, 3}, {OVERFLOW_MIRROR, -1, 1},
                 {OVERFLOW_MIRROR, 5, 4}, {OVERFLOW_MIRROR, 7, 2},  {OVERFLOW_COLOR, -3, -3},
                 {OVERFLOW_WRAP, 4, 4},   {OVERFLOW_MIRROR, 0, 0}};
    for (const Case& c : cases)
    {
        int x = c.in;
        int y = 2;
        p.OverflowCoordinates(x, y, c.overflow);
        EXPECT_EQ(x, c.out) << c.overflow << " " << c.in;
        EXPECT_EQ(y, 2);
    }
    float x = -0.5f, y = 5.5f;
    p.OverflowCoordinates(x, y, OVERFLOW_WRAP);
    EXPECT_FLOAT_EQ(x, 4.5f);
    EXPECT_FLOAT_EQ(y, 0.5f);
    x = -0.5f, y = 5.5f;
    p.OverflowCoordinates(x, y, OVERFLOW_MIRROR);
    EXPECT_FLOAT_EQ(x, 0.5f);
    EXPECT_FLOAT_EQ(y, 3.5f);
    x = -0.3f, y = 7.25f;
    p.OverflowCoordinates(x, y, OVERFLOW_REPEAT);
    EXPECT_FLOAT_EQ(x, 0.0f);
    EXPECT_FLOAT_EQ(y, 4.0f);
    x = 4.75f, y = 0.0f; // inside: untouched
    p.OverflowCoordinates(x, y, OVERFLOW_MIRROR);
    EXPECT_FLOAT_EQ(x, 4.75f);
}

TEST(ResampleTest, OverflowColours)
{
    CPicture rgb(3, 3, 24, 0);
    FillUniform(rgb, Rgb(10, 20, 30));
    const RGBQUAD far1 = rgb.InterpolatePixel(-40.0f, 2.0f, 4, OVERFLOW_COLOR);
    EXPECT_EQ(far1.rgbRed, 255);
    EXPECT_EQ(far1.rgbBlue, 255);
    EXPECT_EQ(far1.rgbReserved, 0);
    const RGBQUAD green = Rgb(0, 255, 0, 255);
    EXPECT_EQ(rgb.InterpolatePixel(1.0f, 60.0f, 2, OVERFLOW_COLOR, &green).rgbGreen, 255);
    EXPECT_EQ(rgb.InterpolatePixel(100.0f, 100.0f, 6, OVERFLOW_COLOR).rgbRed, 255);
    // Far away with repeat: the edge pixel.
    EXPECT_EQ(rgb.InterpolatePixel(-40.0f, 2.0f, 4, OVERFLOW_REPEAT).rgbRed, 10);
    // Background: the transparent colour once there is an index.
    EXPECT_EQ(rgb.GetPixelColorOverflow(-1, 0, OVERFLOW_BACKGROUND, &green).rgbGreen, 255);
    rgb.SetTransColor(Rgb(1, 2, 3));
    rgb.SetTransIndex(0);
    EXPECT_EQ(rgb.GetPixelColorOverflow(-1, 0, OVERFLOW_BACKGROUND, &green).rgbBlue, 3);
    EXPECT_EQ(rgb.GetPixelColorOverflow(-1, 0, OVERFLOW_TRANSPARENT, &green).rgbBlue, 3);
    ASSERT_TRUE(rgb.AlphaCreate());
    const RGBQUAD clear = rgb.GetPixelColorOverflow(9, 9, OVERFLOW_TRANSPARENT, &green);
    EXPECT_EQ(clear.rgbGreen, 255);
    EXPECT_EQ(clear.rgbReserved, 0);
    EXPECT_EQ(rgb.GetPixelColorOverflow(1, 1, OVERFLOW_TRANSPARENT, &green).rgbRed, 10);

    CPicture pal(3, 3, 8, 0);
    pal.SetPaletteColor(6, 70, 80, 90);
    pal.SetTransIndex(6);
    EXPECT_EQ(pal.GetPixelColorOverflow(3, 0, OVERFLOW_BACKGROUND).rgbRed, 70);
    EXPECT_EQ(pal.GetPixelColorOverflow(-1, 0, OVERFLOW_WRAP).rgbRed, 0);
}

TEST(ResampleTest, ShrinkingAveragesAreas)
{
    // A 0/255 checkerboard halved: every output averages 2 × 2 pixels, 127.5.
    CPicture board(4, 4, 24, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            if ((x + y) % 2)
                board.SetPixelColor(x, y, Rgb(255, 255, 255));
    ASSERT_TRUE(board.Resample(2, 2));
    EXPECT_EQ(CountOther(board, Rgb(128, 128, 128)), 0);

    // 3 × 3 to 2 × 2: each output covers 1.5 × 1.5 pixels, weights 1 and 0.5.
    CPicture p(3, 3, 24, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            p.SetPixelColor(x, y, Rgb(static_cast<BYTE>(20 * x + 60 * y), 0, 0));
    ASSERT_TRUE(p.Resample(2, 2));
    EXPECT_EQ(p.GetPixelColor(0, 0).rgbRed, 27);  // 60 / 2.25
    EXPECT_EQ(p.GetPixelColor(1, 0).rgbRed, 53);  // 120 / 2.25
    EXPECT_EQ(p.GetPixelColor(0, 1).rgbRed, 107); // 240 / 2.25
    EXPECT_EQ(p.GetPixelColor(1, 1).rgbRed, 133); // 300 / 2.25

    // The alpha plane is averaged with the colours.
    CPicture alpha(4, 2, 24, 0);
    ASSERT_TRUE(alpha.AlphaCreate());
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 2; ++y)
            alpha.AlphaSet(x, y, x < 2 ? 0 : 200);
    ASSERT_TRUE(alpha.Resample(2, 1));
    ASSERT_TRUE(alpha.AlphaIsValid());
    EXPECT_EQ(alpha.AlphaGet(0, 0), 0);
    EXPECT_EQ(alpha.AlphaGet(1, 0), 200);

    // Shrinking one way while growing the other still keeps uniform exact.
    CPicture strip(30, 10, 24, 0);
    FillUniform(strip, Rgb(255, 0, 255));
    ASSERT_TRUE(strip.Resample(12, 25));
    EXPECT_EQ(CountOther(strip, Rgb(255, 0, 255)), 0);
    // Without averaging the shrink only samples.
    CPicture sampled(4, 1, 24, 0);
    sampled.SetPixelColor(1, 0, Rgb(255, 255, 255));
    ASSERT_TRUE(sampled.Resample(2, 1, INTERPOLATE_NEAREST, OVERFLOW_REPEAT, nullptr, true));
    // Source x 0.5 and 2.5: the pixels trunc(1.0) and trunc(3.0).
    EXPECT_EQ(sampled.GetPixelColor(0, 0).rgbRed, 255);
    EXPECT_EQ(sampled.GetPixelColor(1, 0).rgbRed, 0);
}

TEST(ResampleTest, IntoADestinationLeavesTheSource)
{
    CPicture p(4, 4, 24, 0);
    FillUniform(p, Rgb(9, 9, 9));
    CPicture out(1, 1, 8, 0);
    ASSERT_TRUE(p.Resample(8, 2, 4, 5, &out));
    EXPECT_EQ(p.GetWidth(), 4);
    EXPECT_EQ(out.GetWidth(), 8);
    EXPECT_EQ(out.GetBpp(), 24);
    EXPECT_EQ(CountOther(out, Rgb(9, 9, 9)), 0);
    EXPECT_EQ(p.GetProgress(), 50); // row 1 of 2
}

TEST(ResampleTest, PaletteImagesGetNearestIndices)
{
    CPicture p(4, 1, 8, PICTURE_GIF);
    p.SetPaletteColor(0, 0, 0, 0);
    p.SetPaletteColor(1, 255, 255, 255);
    p.SetPaletteColor(2, 100, 100, 100);
    p.SetPixelIndex(2, 0, 1);
    p.SetPixelIndex(3, 0, 1);
    ASSERT_TRUE(p.Resample(8, 1, 2, 5));
    EXPECT_EQ(p.GetBpp(), 8);
    EXPECT_EQ(p.GetType(), static_cast<DWORD>(PICTURE_GIF));
    EXPECT_EQ(p.GetPaletteColor(2).rgbRed, 100);
    const int expected[8] = {0, 0, 0, 2, 1, 1, 1, 1};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(p.GetPixelIndex(x, 0), expected[x]) << x;
}

TEST(ResampleTest, CancelledBeforehandStillGivesTheNewSize)
{
    CPicture p(10, 10, 24, 0);
    FillUniform(p, Rgb(50, 50, 50));
    p.SetEscape(1);
    EXPECT_TRUE(p.Resample(20, 15));
    EXPECT_EQ(p.GetWidth(), 20);
    EXPECT_EQ(p.GetHeight(), 15);
    EXPECT_EQ(CountOther(p, Rgb(0, 0, 0)), 0); // no row filled
    EXPECT_EQ(p.GetProgress(), 0);
}
