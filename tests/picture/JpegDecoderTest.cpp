// The JPEG decoder and its EXIF reader, on files made with libjpeg's write
// side and EXIF blocks built byte by byte.
#include "picture/ExifReader.h"
#include "picture/JpegDecoder.h"

#include "PictureTestSupport.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace
{
Bytes Uniform(int width, int height, std::initializer_list<uint8_t> value)
{
    Bytes pixels;
    for (int i = 0; i < width * height; ++i)
        pixels.insert(pixels.end(), value);
    return pixels;
}

JpegRecipe Solid(int components, std::initializer_list<uint8_t> value)
{
    JpegRecipe recipe;
    recipe.components = components;
    recipe.quality = 100;
    recipe.pixels = Uniform(recipe.width, recipe.height, value);
    return recipe;
}

bool DecodeJpeg(CPicture& target, const Bytes& data)
{
    MemoryImageFile file(data);
    return target.Decode(file, PICTURE_JPEG);
}

// The raw output samples of a native libjpeg read of the same bytes.
Bytes RawSamples(const Bytes& data)
{
    jpeg_decompress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    Bytes out(static_cast<size_t>(info.output_width) * info.output_height * info.output_components);
    while (info.output_scanline < info.output_height)
    {
        JSAMPROW row = out.data() + static_cast<size_t>(info.output_scanline) * info.output_width *
                                        info.output_components;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return out;
}

Bytes Section(uint8_t marker, const Bytes& body)
{
    const size_t length = body.size() + 2;
    Bytes s = {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    s.insert(s.end(), body.begin(), body.end());
    return s;
}

// SOI, the sections, SOS and some bytes of scan data.
Bytes JpegSkeleton(const std::vector<Bytes>& sections)
{
    Bytes out = {0xFF, 0xD8};
    for (const Bytes& s : sections)
        out.insert(out.end(), s.begin(), s.end());
    const Bytes sos = Section(0xDA, {1, 1, 0, 0, 63, 0});
    out.insert(out.end(), sos.begin(), sos.end());
    out.insert(out.end(), {1, 2, 3, 4, 0xFF, 0xD9});
    return out;
}

void Put16(Bytes& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v)
{
    Put16(b, at, static_cast<uint16_t>(v));
    Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}
} // namespace

TEST(JpegDecoderTest, ColourPicturesAreBlueGreenRed)
{
    CPicture p;
    ASSERT_TRUE(DecodeJpeg(p, EncodeJpeg(Solid(3, {250, 10, 60})))) << p.GetLastError();
    EXPECT_EQ(p.GetType(), static_cast<DWORD>(PICTURE_JPEG));
    EXPECT_EQ(p.GetBpp(), 24);
    EXPECT_EQ(p.GetWidth(), 16);
    EXPECT_EQ(p.GetHeight(), 8);
    const RGBQUAD c = p.GetPixelColor(5, 5);
    EXPECT_NEAR(c.rgbRed, 250, 3);
    EXPECT_NEAR(c.rgbGreen, 10, 3);
    EXPECT_NEAR(c.rgbBlue, 60, 3);
}

TEST(JpegDecoderTest, RowsArriveTopFirst)
{
    JpegRecipe recipe;
    recipe.quality = 100;
    recipe.width = 8;
    recipe.height = 16;
    recipe.pixels = Uniform(8, 8, {0, 0, 0});
    const Bytes white = Uniform(8, 8, {255, 255, 255});
    recipe.pixels.insert(recipe.pixels.end(), white.begin(), white.end());
    CPicture p;
    ASSERT_TRUE(DecodeJpeg(p, EncodeJpeg(recipe)));
    EXPECT_LT(p.GetPixelColor(3, 12).rgbRed, 10); // upper half black
    EXPECT_GT(p.GetPixelColor(3, 3).rgbRed, 245); // lower half white
}

TEST(JpegDecoderTest, ScaleZeroMeansFullSize)
{
    JpegRecipe recipe = Solid(3, {1, 2, 3});
    recipe.width = 64;
    recipe.height = 48;
    recipe.pixels = Uniform(64, 48, {1, 2, 3});
    const Bytes data = EncodeJpeg(recipe);
    CPicture full;
    ASSERT_TRUE(DecodeJpeg(full, data));
    EXPECT_EQ(full.GetWidth(), 64);
    EXPECT_EQ(full.GetHeight(), 48);
    CPicture half;
    half.SetJpegScale(2);
    ASSERT_TRUE(DecodeJpeg(half, data));
    EXPECT_EQ(half.GetWidth(), 32);
    EXPECT_EQ(half.GetHeight(), 24);
    EXPECT_EQ(half.GetJpegScale(), 2);

    // escape -1: the size only, no pixels.
    CPicture size;
    size.SetEscape(-1);
    size.SetJpegScale(8);
    ASSERT_TRUE(DecodeJpeg(size, data));
    EXPECT_FALSE(size.IsValid());
    EXPECT_EQ(size.GetWidth(), 8);
    EXPECT_EQ(size.GetHeight(), 6);
    // Any other escape value cancels.
    CPicture cancelled;
    cancelled.SetEscape(1);
    EXPECT_FALSE(DecodeJpeg(cancelled, data));
    EXPECT_FALSE(cancelled.IsValid());
}

TEST(JpegDecoderTest, GreyFilesAndTheGreyOption)
{
    CPicture grey;
    ASSERT_TRUE(DecodeJpeg(grey, EncodeJpeg(Solid(1, {77})))) << grey.GetLastError();
    EXPECT_EQ(grey.GetBpp(), 8);
    EXPECT_TRUE(grey.IsGrayScale());
    EXPECT_NEAR(grey.GetPixelIndex(4, 4), 77, 1);

    CPicture asked;
    asked.SetCodecOption(JPEG_OPTION_GRAYSCALE, PICTURE_JPEG);
    ASSERT_TRUE(DecodeJpeg(asked, EncodeJpeg(Solid(3, {200, 200, 200}))));
    EXPECT_EQ(asked.GetBpp(), 8);
    EXPECT_NEAR(asked.GetPixelColor(1, 1).rgbGreen, 200, 2);
}

TEST(JpegDecoderTest, QuantisedOutputUsesLibjpegsColours)
{
    CPicture p;
    p.SetCodecOption(JPEG_OPTION_QUANTIZE, PICTURE_JPEG);
    p.SetJpegQuality(16);
    JpegRecipe recipe = Solid(3, {0, 0, 0});
    for (size_t i = 0; i < recipe.pixels.size() / 2; ++i)
        recipe.pixels[i] = 255;
    ASSERT_TRUE(DecodeJpeg(p, EncodeJpeg(recipe))) << p.GetLastError();
    EXPECT_EQ(p.GetBpp(), 8);
    // At most the sixteen asked for; two-pass quantising may need fewer.
    EXPECT_LE(p.GetHeader().biClrImportant, 16u);
    EXPECT_GE(p.GetHeader().biClrImportant, 2u);
    // Every pixel's colour is one of the sixteen.
    const RGBQUAD c = p.GetPixelColor(0, 0);
    const BYTE index = p.GetPixelIndex(0, 0);
    EXPECT_LT(index, 16);
    EXPECT_EQ(c.rgbRed, p.GetPaletteColor(index).rgbRed);
}

TEST(JpegDecoderTest, CmykInkIsMultipliedIn)
{
    const Bytes data = EncodeJpeg(Solid(4, {200, 100, 50, 128}));
    CPicture p;
    ASSERT_TRUE(DecodeJpeg(p, data)) << p.GetLastError();
    EXPECT_EQ(p.GetBpp(), 24);
    const Bytes raw = RawSamples(data);
    for (int y = 0; y < 8; ++y)
    {
        for (int x = 0; x < 16; ++x)
        {
            const uint8_t* s = &raw[(static_cast<size_t>(7 - y) * 16 + x) * 4];
            const RGBQUAD c = p.GetPixelColor(x, y);
            ASSERT_EQ(c.rgbBlue, s[2] * s[3] / 255) << x << "," << y;
            ASSERT_EQ(c.rgbGreen, s[1] * s[3] / 255);
            ASSERT_EQ(c.rgbRed, s[0] * s[3] / 255);
        }
    }
}

TEST(JpegDecoderTest, ResolutionFromJfifOrExif)
{
    JpegRecipe recipe = Solid(3, {9, 9, 9});
    recipe.densityUnit = 2;
    recipe.xDensity = 28;
    recipe.yDensity = 40;
    CPicture cm;
    ASSERT_TRUE(DecodeJpeg(cm, EncodeJpeg(recipe)));
    EXPECT_EQ(cm.GetXDPI(), 71);
    EXPECT_EQ(cm.GetYDPI(), 102);
    recipe.densityUnit = 1;
    recipe.xDensity = 300;
    recipe.yDensity = 150;
    CPicture inch;
    ASSERT_TRUE(DecodeJpeg(inch, EncodeJpeg(recipe)));
    EXPECT_EQ(inch.GetXDPI(), 300);
    EXPECT_EQ(inch.GetYDPI(), 150);

    // EXIF wins over JFIF: 300/1 dots per inch, and 28 per centimetre.
    recipe.app1 = MakeExifBlock(300, 1, 600, 2, 2);
    CPicture exif;
    ASSERT_TRUE(DecodeJpeg(exif, EncodeJpeg(recipe)));
    EXPECT_EQ(exif.GetXDPI(), 300);
    EXPECT_EQ(exif.GetYDPI(), 300);
    recipe.app1 = MakeExifBlock(28, 1, 28, 1, 3);
    CPicture exifCm;
    ASSERT_TRUE(DecodeJpeg(exifCm, EncodeJpeg(recipe)));
    EXPECT_EQ(exifCm.GetXDPI(), 71);
}

TEST(JpegDecoderTest, CutFilesDecodeAndEmptyOnesFail)
{
    // A textured picture, so that the scan is most of the file.
    JpegRecipe recipe;
    recipe.width = 64;
    recipe.height = 64;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            recipe.pixels.insert(recipe.pixels.end(),
                                 {static_cast<uint8_t>(x * 4), static_cast<uint8_t>((x * y) & 255),
                                  static_cast<uint8_t>(y * 4)});
    Bytes data = EncodeJpeg(recipe);
    data.resize(data.size() * 2 / 3);
    CPicture cut;
    ASSERT_TRUE(DecodeJpeg(cut, data)) << cut.GetLastError();
    ASSERT_EQ(cut.GetWidth(), 64);
    // The same pixels as libjpeg's own reading of the cut file.
    const Bytes raw = RawSamples(data);
    for (int y = 0; y < 64; ++y)
    {
        for (int x = 0; x < 64; ++x)
        {
            const uint8_t* s = &raw[(static_cast<size_t>(63 - y) * 64 + x) * 3];
            const RGBQUAD c = cut.GetPixelColor(x, y);
            ASSERT_TRUE(c.rgbRed == s[0] && c.rgbGreen == s[1] && c.rgbBlue == s[2])
                << x << "," << y;
        }
    }

    CPicture headerOnly;
    EXPECT_FALSE(DecodeJpeg(headerOnly, Bytes(data.begin(), data.begin() + 2)));
    EXPECT_NE(headerOnly.GetLastError()[0], 0);
    CPicture empty;
    EXPECT_FALSE(DecodeJpeg(empty, Bytes()));
    EXPECT_STREQ(empty.GetLastError(), "Empty input file");
    CPicture png;
    EXPECT_FALSE(DecodeJpeg(png, {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0}));
    EXPECT_STREQ(png.GetLastError(), "Not a JPEG file: starts with 0x89 0x50");
}

TEST(ExifReaderTest, ReadsResolutionCameraAndComment)
{
    Bytes exif = MakeExifBlock(72, 1, 144, 2, 2);
    const Bytes comment = {'a', '\r', '\n', 'b', 1, '\t', 'c'};
    MemoryImageFile file(JpegSkeleton({Section(0xE0, {'J', 'F', 'I', 'F', 0}), Section(0xE1, exif),
                                       Section(0xFE, comment), Section(0xFE, {'x'})}));
    ExifReader reader;
    ASSERT_TRUE(reader.DecodeExif(file, 1)) << reader.GetError();
    const ExifInfo& info = reader.GetInfo();
    EXPECT_TRUE(info.isExif);
    EXPECT_FLOAT_EQ(info.xResolution, 72.0f);
    EXPECT_FLOAT_EQ(info.yResolution, 72.0f);
    EXPECT_FLOAT_EQ(info.resolutionUnit, 1.0f);
    EXPECT_STREQ(info.comments, "a\nb?\tc");
    // JFIF and the second comment were dropped; EXIF, the first comment and
    // the start of scan stay.
    EXPECT_EQ(reader.GetSectionCount(), 3);

    MemoryImageFile again(JpegSkeleton({Section(0xE1, exif)}));
    ExifReader withImage;
    ASSERT_TRUE(withImage.DecodeExif(again, 3));
    EXPECT_EQ(withImage.GetSectionCount(), 3); // EXIF, scan, the image data
}

TEST(ExifReaderTest, BigEndianBlocks)
{
    // "MM": every number is big-endian.
    Bytes b = {'E',  'x',  'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
               0x01, 0x28, 0,   3,   0, 0, 0,   1,   0, 3,  0, 0, 0, 0, 0, 0};
    ExifReader reader;
    ASSERT_TRUE(reader.ProcessExif(b.data(), b.size())) << reader.GetError();
    EXPECT_FLOAT_EQ(reader.GetInfo().resolutionUnit, 0.3937008f);
}

TEST(ExifReaderTest, HostileBlocksFailCleanly)
{
    const Bytes good = MakeExifBlock(72, 1, 72, 1, 2);
    struct Case
    {
        const char* what;
        Bytes block;
        const char* error;
    };
    std::vector<Case> cases;
    {
        Bytes b = good;
        b[4] = 1;
        cases.push_back({"header", b, "Incorrect Exif header"});
    }
    {
        Bytes b = good;
        b[6] = 'X';
        cases.push_back({"alignment", b, "Invalid Exif alignment marker."});
    }
    {
        Bytes b = good;
        b[8] = 43;
        cases.push_back({"start", b, "Invalid Exif start (1)"});
    }
    {
        Bytes b = good;
        Put16(b, 6 + 8 + 2 + 2, 13); // the first entry's format
        cases.push_back({"format", b, "Illegal format code in EXIF dir"});
    }
    {
        Bytes b = good;
        Put32(b, 6 + 8 + 2 + 4, 0x40000000); // a count whose size wraps 32 bits
        cases.push_back({"count", b, "Illegal pointer offset value in EXIF"});
    }
    {
        Bytes b = good;
        Put16(b, 6 + 8, 5000); // more entries than the block holds
        cases.push_back({"entries", b, "Illegally sized directory"});
    }
    {
        Bytes b = good;
        Put16(b, 6 + 8 + 2, 34665); // the first entry becomes an EXIF link ...
        Put16(b, 6 + 8 + 2 + 2, 4);
        Put32(b, 6 + 8 + 2 + 4, 1);
        Put32(b, 6 + 8 + 2 + 8, 0x7FFFFFF0); // ... far outside
        cases.push_back({"link", b, "Illegal subdirectory link"});
    }
    for (const Case& c : cases)
    {
        ExifReader reader;
        EXPECT_FALSE(reader.ProcessExif(c.block.data(), c.block.size())) << c.what;
        EXPECT_STREQ(reader.GetError(), c.error) << c.what;
    }
    // A directory that links to itself ends at the depth limit.
    Bytes loop = good;
    Put16(loop, 6 + 8 + 2, 34665);
    Put16(loop, 6 + 8 + 2 + 2, 4);
    Put32(loop, 6 + 8 + 2 + 4, 1);
    Put32(loop, 6 + 8 + 2 + 8, 8);
    ExifReader reader;
    EXPECT_TRUE(reader.ProcessExif(loop.data(), loop.size()));
    // A JPEG with such a block still decodes.
    JpegRecipe recipe = Solid(3, {1, 2, 3});
    recipe.app1 = loop;
    CPicture p;
    EXPECT_TRUE(DecodeJpeg(p, EncodeJpeg(recipe))) << p.GetLastError();
    recipe.app1 = cases[4].block;
    EXPECT_TRUE(DecodeJpeg(p, EncodeJpeg(recipe))) << p.GetLastError();
}

TEST(ExifReaderTest, MarkerWalkLimits)
{
    const Bytes app = Section(0xE2, {1, 2});
    std::vector<Bytes> many(21, app);
    MemoryImageFile tooMany(JpegSkeleton(many));
    ExifReader a;
    EXPECT_FALSE(a.DecodeExif(tooMany));
    EXPECT_STREQ(a.GetError(), "Too many sections in jpg file");

    MemoryImageFile padded(Bytes{0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xE2, 0, 2});
    ExifReader b;
    EXPECT_FALSE(b.DecodeExif(padded));
    EXPECT_STREQ(b.GetError(), "too many padding bytes");

    MemoryImageFile noImage(Bytes{0xFF, 0xD8, 0xFF, 0xD9, 0, 2});
    ExifReader c;
    EXPECT_FALSE(c.DecodeExif(noImage));
    EXPECT_STREQ(c.GetError(), "No image in jpeg!");

    MemoryImageFile shortSection(Bytes{0xFF, 0xD8, 0xFF, 0xE1, 0x10, 0x00, 1, 2, 3});
    ExifReader d;
    EXPECT_FALSE(d.DecodeExif(shortSection));
    EXPECT_STREQ(d.GetError(), "Premature end of file?");

    MemoryImageFile badLength(Bytes{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01});
    ExifReader e;
    EXPECT_FALSE(e.DecodeExif(badLength));
    EXPECT_STREQ(e.GetError(), "invalid marker");

    // A comment longer than its field is cut, not copied past it.
    Bytes longComment(3000, 'z');
    MemoryImageFile comment(JpegSkeleton({Section(0xFE, longComment)}));
    ExifReader f;
    ASSERT_TRUE(f.DecodeExif(comment));
    EXPECT_EQ(std::strlen(f.GetInfo().comments), sizeof(f.GetInfo().comments) - 1);
}
