// File objects, CPicture::Load and CPicture::Decode with format detection.
#include "picture/ImageFile.h"
#include "picture/Picture.h"

#include "PictureTestSupport.h"

#include <png.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <type_traits>

static_assert(!std::is_copy_constructible_v<ImageDiskFile>, "a file object has one owner");

namespace
{
// A 3 × 2 RGB PNG, red rising to the right.
Bytes SmallPng()
{
    PngRecipe recipe;
    recipe.width = 3;
    recipe.height = 2;
    recipe.rows = {{0, 1, 2, 100, 1, 2, 200, 1, 2}, {10, 11, 12, 110, 11, 12, 210, 11, 12}};
    return EncodePng(recipe);
}
} // namespace

TEST(ImageFileTest, DiskFileMapsToStdio)
{
    TempFolder folder;
    const std::string path = folder.Write("data.bin", {1, 2, 3, 4, 5});
    ImageDiskFile file;
    ASSERT_TRUE(file.Open(path.c_str(), "r+b"));
    EXPECT_EQ(file.Size(), 5);
    EXPECT_EQ(file.GetC(), 1);
    BYTE buffer[8] = {};
    EXPECT_EQ(file.Read(buffer, 2, 3), 2u); // whole items only
    EXPECT_EQ(buffer[0], 2);
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.GetC(), -1);
    EXPECT_TRUE(file.Seek(-2, SEEK_END));
    EXPECT_EQ(file.Tell(), 3);
    EXPECT_EQ(file.Error(), 0);
    EXPECT_TRUE(file.Seek(0, SEEK_CUR));
    EXPECT_TRUE(file.PutC(9));
    EXPECT_EQ(file.Write("\x07", 1, 1), 1u);
    EXPECT_TRUE(file.Flush());
    EXPECT_EQ(file.Size(), 5);
    EXPECT_EQ(file.Tell(), 5); // Size puts the position back
    EXPECT_TRUE(file.Seek(3, SEEK_SET));
    EXPECT_EQ(file.GetC(), 9);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(file.GetStream(), nullptr);

    // Without a stream every call has its neutral answer.
    ImageDiskFile none;
    EXPECT_EQ(none.Read(buffer, 1, 1), 0u);
    EXPECT_EQ(none.Write(buffer, 1, 1), 0u);
    EXPECT_EQ(none.Tell(), 0);
    EXPECT_FALSE(none.Seek(0, SEEK_SET));
    EXPECT_FALSE(none.Flush());
    EXPECT_FALSE(none.PutC(1));
    EXPECT_EQ(none.Size(), -1);
    EXPECT_EQ(none.Error(), -1);
    EXPECT_EQ(none.GetC(), -1);
    EXPECT_TRUE(none.Eof());
    EXPECT_TRUE(none.Close());

    // A borrowed stream stays open.
    FILE* stream = std::fopen(path.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    {
        ImageDiskFile borrowed(stream, false);
        EXPECT_EQ(borrowed.GetC(), 1);
    }
    EXPECT_EQ(std::fgetc(stream), 2);
    std::fclose(stream);
}

TEST(PictureDecodeTest, DetectionFindsThePngAndTypedLoadsFallBack)
{
    TempFolder folder;
    const std::string path = folder.Write("small.png", SmallPng());
    for (DWORD type : {0u, 1u, 3u, 4u})
    {
        CPicture p;
        ASSERT_TRUE(p.Load(path.c_str(), type)) << type << ": " << p.GetLastError();
        EXPECT_EQ(p.GetType(), static_cast<DWORD>(PICTURE_PNG));
        EXPECT_EQ(p.GetWidth(), 3);
        EXPECT_EQ(p.GetBpp(), 24);
        // Top row first in the file: it is the upper row here.
        EXPECT_EQ(p.GetPixelColor(1, 1).rgbRed, 100);
        EXPECT_EQ(p.GetPixelColor(2, 0).rgbRed, 210);
        EXPECT_EQ(p.GetPixelColor(2, 0).rgbBlue, 12);
    }
}

TEST(PictureDecodeTest, FailuresLeaveTheTargetAndReportTheRightText)
{
    TempFolder folder;
    CPicture p;
    ASSERT_TRUE(p.Load(folder.Write("small.png", SmallPng()).c_str()));
    const BYTE* bits = p.GetBits(0);

    EXPECT_FALSE(p.Load(folder.Write("empty.bin", {}).c_str()));
    EXPECT_STREQ(p.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_EQ(p.GetBits(0), bits);
    EXPECT_EQ(p.GetWidth(), 3);
    EXPECT_EQ(p.GetType(), static_cast<DWORD>(PICTURE_PNG));

    // A file that cannot be opened changes nothing, not even the text.
    EXPECT_FALSE(p.Load(folder.Path("missing.png").c_str(), 4));
    EXPECT_STREQ(p.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_EQ(p.GetBits(0), bits);

    // Typed: the typed decoder's reason survives the failed detection.
    Bytes cut = SmallPng();
    cut.resize(cut.size() - 20);
    const std::string cutPath = folder.Write("cut.png", cut);
    EXPECT_FALSE(p.Load(cutPath.c_str(), 4));
    EXPECT_STREQ(p.GetLastError(), "Read Error");
    EXPECT_EQ(p.GetBits(0), bits);
    EXPECT_FALSE(p.Load(cutPath.c_str(), 0));
    EXPECT_STREQ(p.GetLastError(), "Decode: Unknown or wrong format");
    // Another type keeps the text from before the call.
    EXPECT_FALSE(p.Load(cutPath.c_str(), 9));
    EXPECT_STREQ(p.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_FALSE(p.Load(cutPath.c_str(), 4));
    EXPECT_FALSE(p.Load(cutPath.c_str(), 9));
    EXPECT_STREQ(p.GetLastError(), "Read Error");
    EXPECT_EQ(p.GetBits(0), bits);
    EXPECT_FALSE(p.Load(nullptr));
}

TEST(PictureDecodeTest, DecodeOfAnUnknownTypeReadsNothing)
{
    MemoryImageFile file(SmallPng());
    CPicture p;
    EXPECT_FALSE(p.Decode(file, 7));
    EXPECT_STREQ(p.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_EQ(file.reads, 0);
    EXPECT_EQ(file.Tell(), 0);
    // Asked for by number, a decoder reports its own reason.
    EXPECT_FALSE(p.Decode(file, PICTURE_BMP));
    EXPECT_STREQ(p.GetLastError(), "Error reading BMP info");
}

TEST(PictureDecodeTest, DetectionRewindsToWhereTheDataBegins)
{
    // The picture follows 50 bytes of something else.
    Bytes data(50, 0x42);
    const Bytes png = SmallPng();
    data.insert(data.end(), png.begin(), png.end());
    MemoryImageFile file(data, 50);
    CPicture p;
    ASSERT_TRUE(p.Decode(file, 0)) << p.GetLastError();
    EXPECT_EQ(p.GetType(), static_cast<DWORD>(PICTURE_PNG));
    EXPECT_EQ(p.GetPixelColor(0, 0).rgbRed, 10);
}

TEST(PictureDecodeTest, SettingsReachTheDecoderAndSurviveIt)
{
    MemoryImageFile file(SmallPng());
    CPicture p;
    p.SetFrame(3);
    p.SetJpegQuality(77);
    p.SetCodecOption(0x800, PICTURE_JPEG);
    ASSERT_TRUE(p.Decode(file, PICTURE_PNG));
    EXPECT_EQ(p.GetFrame(), 3);
    EXPECT_EQ(p.GetJpegQuality(), 77);
    EXPECT_EQ(p.GetCodecOption(PICTURE_JPEG), 0x800u);
    // escape cancels: the decode fails without a text of its own and the
    // previous picture stays.
    MemoryImageFile again(SmallPng());
    const BYTE* bits = p.GetBits(0);
    p.SetEscape(1);
    EXPECT_FALSE(p.Decode(again, PICTURE_PNG));
    EXPECT_EQ(p.GetBits(0), bits);
}
