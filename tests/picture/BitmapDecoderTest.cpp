// The BMP, icon and WBMP decoders on files built byte by byte: the cases the
// corpus comparisons of tests/scripts/picture-formats.sh cannot reach.
#include "picture/ImageDecoders.h"

#include "PictureTestSupport.h"

#include <gtest/gtest.h>

namespace
{
void Put16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void Append(Bytes& b, const Bytes& more)
{
    b.insert(b.end(), more.begin(), more.end());
}

// A 40-byte information header.
Bytes InfoHeader(int width, int height, int bits, uint32_t compression, uint32_t imageSize,
                 uint32_t colors)
{
    Bytes b;
    Put32(b, 40);
    Put32(b, static_cast<uint32_t>(width));
    Put32(b, static_cast<uint32_t>(height));
    Put16(b, 1);
    Put16(b, static_cast<uint32_t>(bits));
    Put32(b, compression);
    Put32(b, imageSize);
    Put32(b, 3780);
    Put32(b, 3780);
    Put32(b, colors);
    Put32(b, 0);
    return b;
}

// "BM", the file header pointing behind the info header and palette.
Bytes Bitmap(const Bytes& info, const Bytes& palette, const Bytes& pixels)
{
    Bytes b = {'B', 'M'};
    Put32(b, static_cast<uint32_t>(14 + info.size() + palette.size() + pixels.size()));
    Put32(b, 0);
    Put32(b, static_cast<uint32_t>(14 + info.size() + palette.size()));
    Append(b, info);
    Append(b, palette);
    Append(b, pixels);
    return b;
}

Bytes GreyPalette(int entries)
{
    Bytes b;
    for (int i = 0; i < entries; ++i)
        Append(b, {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0});
    return b;
}

bool DecodeAs(CPicture& p, const Bytes& data, DWORD type)
{
    MemoryImageFile file(data);
    return p.Decode(file, type);
}
} // namespace

TEST(BmpDecoderTest, SixteenBitPixelsWithAndWithoutMasks)
{
    // 5-5-5 without masks: white is 248 in every channel (no replication).
    Bytes plain = Bitmap(InfoHeader(2, 1, 16, 0, 0, 0), {}, {0xFF, 0x7F, 0x1F, 0x00});
    CPicture p;
    ASSERT_TRUE(DecodeAs(p, plain, PICTURE_BMP)) << p.GetLastError();
    EXPECT_EQ(p.GetBpp(), 24);
    EXPECT_EQ(p.GetPixelColor(0, 0).rgbRed, 248);
    EXPECT_EQ(p.GetPixelColor(0, 0).rgbGreen, 248);
    EXPECT_EQ(p.GetPixelColor(1, 0).rgbBlue, 248);
    EXPECT_EQ(p.GetPixelColor(1, 0).rgbRed, 0);
    // 5-6-5 by bit fields after the header.
    Bytes masks;
    Put32(masks, 0xF800);
    Put32(masks, 0x07E0);
    Put32(masks, 0x001F);
    Bytes fields = Bitmap(InfoHeader(1, 1, 16, 3, 0, 0), masks, {0xE0, 0x07, 0, 0});
    ASSERT_TRUE(DecodeAs(p, fields, PICTURE_BMP)) << p.GetLastError();
    EXPECT_EQ(p.GetPixelColor(0, 0).rgbGreen, 252);
    EXPECT_EQ(p.GetPixelColor(0, 0).rgbRed, 0);
    EXPECT_EQ(p.GetXDPI(), 96);
}

TEST(BmpDecoderTest, Rle8RunsEscapesAndOverlongRuns)
{
    // 6 × 3, rows of 8 bytes. Row 0: a run of 3, a literal run of 3 (padded);
    // then a delta of (2, 1) into row 2 and a run of 2; end of bitmap.
    const Bytes rle = {3, 7, 0, 3, 1, 2, 9, 0, 0, 0, 0, 2, 2, 1, 2, 5, 0, 1};
    CPicture p;
    ASSERT_TRUE(DecodeAs(p, Bitmap(InfoHeader(6, 3, 8, 1, 0, 0), GreyPalette(256), rle), 0))
        << p.GetLastError();
    const int row0[6] = {7, 7, 7, 1, 2, 9};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(p.GetPixelIndex(x, 0), row0[x]) << x;
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(p.GetPixelIndex(x, 1), 0) << x; // the delta skipped it
    EXPECT_EQ(p.GetPixelIndex(1, 2), 0);
    EXPECT_EQ(p.GetPixelIndex(2, 2), 5);
    EXPECT_EQ(p.GetPixelIndex(3, 2), 5);

    // A run longer than the row ends the decoding without writing past it.
    const Bytes overlong = {20, 4, 0, 0, 2, 8};
    ASSERT_TRUE(
        DecodeAs(p, Bitmap(InfoHeader(6, 2, 8, 1, 0, 0), GreyPalette(256), overlong), PICTURE_BMP));
    EXPECT_EQ(p.GetPixelIndex(5, 0), 4);
    EXPECT_EQ(p.GetBits(0)[7], 4); // the row's padding
    EXPECT_EQ(p.GetPixelIndex(0, 1), 0);

    // RLE4: runs alternate nibbles and may start mid-byte.
    const Bytes rle4 = {3, 0x12, 2, 0x34, 0, 3, 0x56, 0x70, 0, 1};
    ASSERT_TRUE(
        DecodeAs(p, Bitmap(InfoHeader(8, 1, 4, 2, 0, 0), GreyPalette(16), rle4), PICTURE_BMP));
    const int nibbles[8] = {1, 2, 1, 3, 4, 5, 6, 7};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(p.GetPixelIndex(x, 0), nibbles[x]) << x;
}

TEST(BmpDecoderTest, FieldsFromTheFileAreNotTrusted)
{
    CPicture p;
    // An image size and a colour count far beyond the picture: the reads are
    // sized from the picture itself. Without a file header the rows follow
    // the whole stated palette.
    Bytes info = InfoHeader(2, 2, 8, 0, 0x7FFFFFFF, 300);
    Bytes data = info;
    Append(data, GreyPalette(256));
    Append(data, Bytes(44 * 4, 0)); // the 44 entries beyond what 8 bits hold
    Append(data, {10, 11, 0, 0, 20, 21, 0, 0});
    ASSERT_TRUE(DecodeAs(p, data, 0)) << p.GetLastError();
    EXPECT_EQ(p.GetType(), static_cast<DWORD>(PICTURE_BMP));
    EXPECT_EQ(p.GetPixelIndex(1, 0), 11);
    EXPECT_EQ(p.GetPixelIndex(0, 1), 20);
    EXPECT_EQ(p.GetPaletteColor(200).rgbRed, 200);

    // A partial header, a bit count with no pixels and unknown compressions.
    Bytes cut = Bitmap(InfoHeader(2, 2, 8, 0, 0, 0), {}, {});
    cut.resize(14 + 30);
    EXPECT_FALSE(DecodeAs(p, cut, PICTURE_BMP));
    EXPECT_STREQ(p.GetLastError(), "Error reading BMP info");
    EXPECT_FALSE(DecodeAs(p, Bitmap(InfoHeader(2, 2, 3, 0, 0, 0), {}, Bytes(8)), PICTURE_BMP));
    EXPECT_STREQ(p.GetLastError(), "Error reading BMP info");
    EXPECT_FALSE(DecodeAs(p, Bitmap(InfoHeader(2, 2, 8, 4, 0, 0), {}, Bytes(8)), PICTURE_BMP));
    EXPECT_STREQ(p.GetLastError(), "compression type not supported");
    EXPECT_FALSE(DecodeAs(p, Bitmap(InfoHeader(2, 2, 24, 1, 0, 0), {}, Bytes(16)), PICTURE_BMP));
    EXPECT_STREQ(p.GetLastError(), "unknown compression");
    EXPECT_FALSE(DecodeAs(p, Bitmap(InfoHeader(0, 2, 24, 0, 0, 0), {}, {}), PICTURE_BMP));
    EXPECT_STREQ(p.GetLastError(), "Can't allocate memory");
}

TEST(BmpDecoderTest, SizeOnlyRequestAndCancel)
{
    const Bytes data = Bitmap(InfoHeader(5, -3, 24, 0, 0, 0), {}, Bytes(16 * 3));
    CPicture p;
    p.SetEscape(-1);
    ASSERT_TRUE(DecodeAs(p, data, PICTURE_BMP));
    EXPECT_STREQ(p.GetLastError(), "output dimensions returned");
    EXPECT_FALSE(p.IsValid());
    EXPECT_EQ(p.GetWidth(), 5);
    EXPECT_EQ(p.GetHeight(), 3);
    p.SetEscape(1);
    EXPECT_FALSE(DecodeAs(p, data, PICTURE_BMP));
    EXPECT_STREQ(p.GetLastError(), "Cancelled");
}

namespace
{
// An icon file of one 4 × 2 image per entry; mask rows are one 32-bit word.
struct IconImage
{
    int bits;
    Bytes palette;
    Bytes pixels;
    Bytes mask; // 8 bytes: two rows
};

Bytes IconFile(const std::vector<IconImage>& images)
{
    Bytes b;
    Put16(b, 0);
    Put16(b, 1);
    Put16(b, static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    Bytes data;
    for (const IconImage& image : images)
    {
        Bytes one = InfoHeader(4, 4, image.bits, 0, 0, 0); // height counts the mask
        Append(one, image.palette);
        Append(one, image.pixels);
        Append(one, image.mask);
        Append(b, {4, 2, 0, 0});
        Put16(b, 1);
        Put16(b, static_cast<uint32_t>(image.bits));
        Put32(b, static_cast<uint32_t>(one.size()));
        Put32(b, offset + static_cast<uint32_t>(data.size()));
        Append(data, one);
    }
    Append(b, data);
    return b;
}

const Bytes kMaskRight = {0x30, 0, 0, 0, 0x30, 0, 0, 0}; // pixels 2 and 3 of each row
} // namespace

TEST(IcoDecoderTest, MaskBecomesTransparencyAndIconsAreChosenByFrame)
{
    // 8 bits with colour count and image size 0: a full palette is read and
    // index 0, unused, becomes the transparent one.
    IconImage pal8{8, GreyPalette(256), {5, 6, 7, 8, 9, 10, 11, 12}, kMaskRight};
    // 32 bits: the alpha channel decides, the mask bits are not applied.
    Bytes bgra;
    for (int i = 0; i < 8; ++i)
        Append(bgra, {10, 20, 30, static_cast<uint8_t>(i * 30)});
    IconImage rgba{32, {}, bgra, kMaskRight};
    // 24 bits, masked pixels all one colour: that colour is transparent.
    Bytes bgr = {1, 2, 3, 1, 2, 3, 9, 9, 9, 9, 9, 9, 4, 5, 6, 4, 5, 6, 9, 9, 9, 9, 9, 9};
    IconImage rgb{24, {}, bgr, kMaskRight};
    // A mask of all ones: the inverted picture, transparent index 0 (a grey
    // palette keeps its entries and inverts the indices).
    IconImage inverted{4, GreyPalette(16), {0x12, 0x34, 0, 0, 0x56, 0x78, 0, 0}, Bytes(8, 0xFF)};
    const Bytes file = IconFile({pal8, rgba, rgb, inverted});

    CPicture p;
    ASSERT_TRUE(DecodeAs(p, file, PICTURE_ICO));
    EXPECT_EQ(p.GetFrameCount(), 4);
    EXPECT_EQ(p.GetBpp(), 8);
    EXPECT_EQ(p.GetTransIndex(), 0);
    EXPECT_FALSE(p.AlphaIsValid());
    EXPECT_EQ(p.GetPixelIndex(1, 0), 6);
    EXPECT_EQ(p.GetPixelIndex(2, 0), 0);
    EXPECT_EQ(p.GetPixelIndex(3, 1), 0);
    EXPECT_EQ(p.GetPaletteColor(7).rgbGreen, 7);

    p.SetFrame(1);
    ASSERT_TRUE(DecodeAs(p, file, 0));
    EXPECT_EQ(p.GetType(), static_cast<DWORD>(PICTURE_ICO));
    ASSERT_TRUE(p.AlphaIsValid());
    EXPECT_EQ(p.GetTransIndex(), -1);
    EXPECT_EQ(p.AlphaGet(1, 0), 30);
    EXPECT_EQ(p.AlphaGet(3, 1), 210); // masked, yet kept
    EXPECT_EQ(p.GetPixelColor(0, 0).rgbRed, 30);

    p.SetFrame(2);
    ASSERT_TRUE(DecodeAs(p, file, PICTURE_ICO));
    EXPECT_EQ(p.GetBpp(), 24);
    EXPECT_FALSE(p.AlphaIsValid());
    EXPECT_EQ(p.GetTransIndex(), 0);
    EXPECT_EQ(p.GetTransColor().rgbRed, 9);
    EXPECT_EQ(p.GetPixelColor(0, 1).rgbBlue, 4);

    p.SetFrame(3);
    ASSERT_TRUE(DecodeAs(p, file, PICTURE_ICO));
    EXPECT_EQ(p.GetTransIndex(), 0);
    EXPECT_EQ(p.GetPaletteColor(1).rgbRed, 1);
    EXPECT_EQ(p.GetPixelIndex(0, 0), 14);
    EXPECT_EQ(p.GetPixelIndex(1, 0), 13);

    // A frame the file does not have fails, yet tells how many there are.
    CPicture q;
    q.SetFrame(5);
    EXPECT_FALSE(DecodeAs(q, file, PICTURE_ICO));
    EXPECT_EQ(q.GetFrameCount(), 4);
    EXPECT_FALSE(q.IsValid());
}

TEST(WbmpDecoderTest, HeaderAndSizes)
{
    // Width 200 takes two bytes (0x81 0x48), height 2; rows of 25 bytes.
    Bytes data = {0, 0, 0x81, 0x48, 2};
    Bytes top(25, 0xFF);
    top[0] = 0x7F;
    Append(data, top);
    Append(data, Bytes(25, 0));
    CPicture p;
    ASSERT_TRUE(DecodeAs(p, data, PICTURE_WBMP)) << p.GetLastError();
    EXPECT_EQ(p.GetWidth(), 200);
    EXPECT_EQ(p.GetHeight(), 2);
    EXPECT_EQ(p.GetPixelColor(0, 1).rgbRed, 0); // 0 is black
    EXPECT_EQ(p.GetPixelColor(1, 1).rgbRed, 255);
    EXPECT_EQ(p.GetPixelColor(199, 0).rgbRed, 0);

    EXPECT_FALSE(DecodeAs(p, {1, 0, 8, 8}, PICTURE_WBMP));
    EXPECT_STREQ(p.GetLastError(), "Unsupported WBMP type");
    EXPECT_FALSE(DecodeAs(p, {0, 0, 0, 8}, PICTURE_WBMP));
    EXPECT_STREQ(p.GetLastError(), "Corrupted WBMP");
    // Rows cut short: with no signature, the length is the only proof.
    EXPECT_FALSE(DecodeAs(p, {0, 0, 8, 8, 1, 2, 3}, PICTURE_WBMP));
    EXPECT_STREQ(p.GetLastError(), "Corrupted WBMP");
    EXPECT_FALSE(DecodeAs(p, {}, PICTURE_WBMP));
    EXPECT_STREQ(p.GetLastError(), "Not a WBMP");
    EXPECT_EQ(p.GetWidth(), 200); // failures left the picture alone
}
