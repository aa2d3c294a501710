// The GIF decoder on files built here: extensions, transparency, the
// composition of frames and interlacing at sizes the corpus does not have.
#include "picture/GifDecoder.h"
#include "picture/ImageDecoders.h"

#include "PictureTestSupport.h"

#include <gtest/gtest.h>

namespace
{
void Put16(Bytes& b, int v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

struct GifFrame
{
    int left = 0;
    int top = 0;
    int width = 1;
    int height = 1;
    bool interlaced = false;
    Bytes local;   // RGB triples of a local table (2, 4, 8 ... entries)
    Bytes indices; // in the order the file stores the lines
    int transparent = -1;
    int disposal = 0;
    bool control = false;
};

// LZW data that never grows its table: a clear code before every two codes
// keeps the codes minSize + 1 bits wide.
Bytes PlainLzw(const Bytes& indices, int minSize)
{
    const int clear = 1 << minSize;
    const int size = minSize + 1;
    std::vector<int> codes;
    for (size_t i = 0; i < indices.size(); ++i)
    {
        if (i % 2 == 0)
            codes.push_back(clear);
        codes.push_back(indices[i]);
    }
    codes.push_back(clear + 1);
    Bytes packed;
    uint32_t acc = 0;
    int n = 0;
    for (int c : codes)
    {
        acc |= static_cast<uint32_t>(c) << n;
        for (n += size; n >= 8; n -= 8, acc >>= 8)
            packed.push_back(static_cast<uint8_t>(acc));
    }
    if (n > 0)
        packed.push_back(static_cast<uint8_t>(acc));
    Bytes out = {static_cast<uint8_t>(minSize)};
    for (size_t i = 0; i < packed.size(); i += 255)
    {
        const size_t len = packed.size() - i < 255 ? packed.size() - i : 255;
        out.push_back(static_cast<uint8_t>(len));
        out.insert(out.end(), packed.begin() + i, packed.begin() + i + len);
    }
    out.push_back(0);
    return out;
}

// A table of 2^(bits) entries has the size code bits - 1.
int TableCode(size_t entries)
{
    int code = 0;
    while ((2u << code) < entries)
        ++code;
    return code;
}

Bytes MakeGif(int width, int height, const Bytes& global, int background,
              const std::vector<GifFrame>& frames, const Bytes& extensions = {})
{
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, width);
    Put16(b, height);
    b.push_back(global.empty() ? 0 : static_cast<uint8_t>(0x80 | TableCode(global.size() / 3)));
    b.push_back(static_cast<uint8_t>(background));
    b.push_back(0);
    b.insert(b.end(), global.begin(), global.end());
    b.insert(b.end(), extensions.begin(), extensions.end());
    for (const GifFrame& f : frames)
    {
        if (f.control)
        {
            const int flags = (f.disposal << 2) | (f.transparent >= 0 ? 1 : 0);
            b.insert(b.end(), {0x21, 0xF9, 4, static_cast<uint8_t>(flags), 7, 0,
                               static_cast<uint8_t>(f.transparent < 0 ? 0 : f.transparent), 0});
        }
        b.push_back(0x2C);
        Put16(b, f.left);
        Put16(b, f.top);
        Put16(b, f.width);
        Put16(b, f.height);
        int flags = f.interlaced ? 0x40 : 0;
        if (!f.local.empty())
            flags |= 0x80 | TableCode(f.local.size() / 3);
        b.push_back(static_cast<uint8_t>(flags));
        b.insert(b.end(), f.local.begin(), f.local.end());
        const Bytes data = PlainLzw(f.indices, 2);
        b.insert(b.end(), data.begin(), data.end());
    }
    b.push_back(0x3B);
    return b;
}

const Bytes kFourColours = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};

bool DecodeGif(CPicture& p, const Bytes& data)
{
    MemoryImageFile file(data);
    return p.Decode(file, PICTURE_GIF);
}
} // namespace

TEST(GifDecoderTest, ExtensionsTransparencyAndTheWhitePaletteFill)
{
    GifFrame frame;
    frame.width = 4;
    frame.height = 2;
    frame.indices = {0, 1, 2, 3, 3, 2, 1, 0};
    frame.control = true;
    frame.transparent = 2;
    Bytes extensions = {0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 0};
    const Bytes loop = {0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P',
                        'E',  '2',  '.', '0', 3,   1,   7,   0,   0};
    extensions.insert(extensions.end(), loop.begin(), loop.end());
    const Bytes data = MakeGif(4, 2, kFourColours, 0, {frame}, extensions);

    CGifDecoder decoder;
    MemoryImageFile file(data);
    ASSERT_TRUE(decoder.Decode(file));
    EXPECT_STREQ(decoder.GetComment(), "hello");
    EXPECT_EQ(decoder.GetLoopCount(), 7);
    EXPECT_EQ(decoder.GetFrameDelay(), 7u);

    CPicture p;
    ASSERT_TRUE(DecodeGif(p, data));
    EXPECT_EQ(p.GetType(), static_cast<DWORD>(PICTURE_GIF));
    EXPECT_EQ(p.GetBpp(), 4);
    EXPECT_EQ(p.GetFrameCount(), 1);
    EXPECT_EQ(p.GetTransIndex(), 2);
    EXPECT_EQ(p.GetPixelIndex(1, 1), 1); // the top row comes first
    EXPECT_EQ(p.GetPixelIndex(2, 1), 2);
    EXPECT_EQ(p.GetPixelIndex(0, 0), 3);
    EXPECT_EQ(p.GetPaletteColor(3).rgbBlue, 30);
    for (int i = 4; i < 16; ++i)
        EXPECT_EQ(p.GetPaletteColor(static_cast<BYTE>(i)).rgbGreen, 255) << i;

    // The size alone: the screen's, without pixels.
    CPicture size;
    size.SetEscape(-1);
    ASSERT_TRUE(DecodeGif(size, data));
    EXPECT_FALSE(size.IsValid());
    EXPECT_EQ(size.GetWidth(), 4);
}

TEST(GifDecoderTest, FramesComposeAndDisposeOnlyTheirOwnArea)
{
    // A full opaque frame, a pixel disposed "to the background" afterwards,
    // and a pixel elsewhere whose control has no transparency: the screen's
    // background index (3) fills the disposed area only.
    GifFrame base;
    base.width = 4;
    base.height = 2;
    base.indices = Bytes(8, 0);
    GifFrame dot;
    dot.left = 1;
    dot.indices = {2};
    dot.control = true;
    dot.disposal = 2;
    dot.transparent = 1; // its own transparency, not the next frame's
    GifFrame last;
    last.left = 3;
    last.top = 1;
    last.indices = {1};
    last.control = true;
    const Bytes data = MakeGif(4, 2, kFourColours, 3, {base, dot, last});

    CPicture p;
    p.SetFrame(1);
    ASSERT_TRUE(DecodeGif(p, data));
    EXPECT_EQ(p.GetFrameCount(), 3);
    EXPECT_EQ(p.GetTransIndex(), -1);
    EXPECT_EQ(p.GetPixelIndex(1, 1), 2);
    EXPECT_EQ(p.GetPixelIndex(0, 1), 0);
    p.SetFrame(2);
    ASSERT_TRUE(DecodeGif(p, data));
    EXPECT_EQ(p.GetPixelIndex(1, 1), 3);
    EXPECT_EQ(p.GetPixelIndex(0, 1), 0);
    EXPECT_EQ(p.GetPixelIndex(2, 1), 0);
    EXPECT_EQ(p.GetPixelIndex(3, 0), 1);

    // A frame with a colour table of its own: one palette cannot show both,
    // so the picture is composed in 24 bits.
    GifFrame green = last;
    green.local = {0, 0, 0, 0, 200, 0};
    const Bytes mixed = MakeGif(4, 2, kFourColours, 3, {base, green});
    p.SetFrame(1);
    ASSERT_TRUE(DecodeGif(p, mixed));
    EXPECT_EQ(p.GetBpp(), 24);
    EXPECT_FALSE(p.AlphaIsValid());
    EXPECT_EQ(p.GetPixelColor(3, 0).rgbGreen, 200);
    EXPECT_EQ(p.GetPixelColor(0, 0).rgbRed, 255);

    // A frame the file does not have fails and still tells the count.
    CPicture q;
    q.SetFrame(3);
    EXPECT_FALSE(DecodeGif(q, data));
    EXPECT_EQ(q.GetFrameCount(), 3);
    EXPECT_FALSE(q.IsValid());
}

TEST(GifDecoderTest, InterlacedRowsOfSmallFramesAndSurplusLines)
{
    // Three rows arrive as 0, 2, 1; the two lines more than the frame has
    // are dropped.
    GifFrame frame;
    frame.width = 2;
    frame.height = 3;
    frame.interlaced = true;
    frame.indices = {1, 1, 3, 3, 2, 2, 0, 0, 0, 0};
    CPicture p;
    ASSERT_TRUE(DecodeGif(p, MakeGif(2, 3, kFourColours, 0, {frame})));
    EXPECT_EQ(p.GetPixelIndex(0, 2), 1);
    EXPECT_EQ(p.GetPixelIndex(0, 1), 2);
    EXPECT_EQ(p.GetPixelIndex(1, 0), 3);

    // A frame that does not fit the screen is passed over and not counted.
    GifFrame wide = frame;
    wide.width = 5;
    wide.indices = Bytes(15, 1);
    ASSERT_TRUE(DecodeGif(p, MakeGif(2, 3, kFourColours, 0, {wide, frame})));
    EXPECT_EQ(p.GetFrameCount(), 1);
    EXPECT_EQ(p.GetPixelIndex(1, 0), 3);
    EXPECT_FALSE(DecodeGif(p, MakeGif(2, 3, kFourColours, 0, {wide})));
}
