// Helpers of the picture tests: a scratch folder on C:, an in-memory file
// object, and PNG and JPEG encoders (libpng's and libjpeg's own write sides)
// that make test files to order.
#ifndef BRINDLEWOX_TESTS_PICTURE_PICTURETESTSUPPORT_H
#define BRINDLEWOX_TESTS_PICTURE_PICTURETESTSUPPORT_H

#include "picture/ImageFile.h"
#include "picture/Picture.h"

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A fresh folder C:\bwtest\picture-<process>-<n>, removed with its files at the end.
class TempFolder
{
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    std::string Path(const std::string& name) const { return m_path + "\\" + name; }
    // Writes the bytes as a file and returns its path.
    std::string Write(const std::string& name, const Bytes& data) const;

private:
    std::string m_path;
};

// A read-only file object over bytes, counting the reads it served.
class MemoryImageFile : public ImageFile
{
public:
    explicit MemoryImageFile(Bytes data, long start = 0) : m_data(std::move(data)), m_pos(start) {}

    bool Close() override { return true; }
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void*, size_t, size_t) override { return 0; }
    bool Seek(long offset, int origin) override;
    long Tell() override { return m_pos; }
    long Size() override { return static_cast<long>(m_data.size()); }
    bool Flush() override { return false; }
    bool Eof() override { return m_pos >= static_cast<long>(m_data.size()); }
    long Error() override { return 0; }
    long GetC() override;

    int reads = 0;

private:
    Bytes m_data;
    long m_pos;
};

struct PngRecipe
{
    int width = 4;
    int height = 3;
    int colorType = 2; // PNG_COLOR_TYPE_*
    int bitDepth = 8;
    bool interlaced = false;
    // Rows top first, packed as PNG stores them (big-endian 16-bit samples).
    std::vector<Bytes> rows;
    Bytes palette;      // RGB triples
    Bytes transAlpha;   // palette alpha entries
    int transGrey = -1; // grey value of a grey tRNS
    int transRgb[3] = {-1, -1, -1};
    int background[3] = {-1, -1, -1}; // bKGD: red, green, blue (grey: [0]; palette: index in [0])
    int physX = -1;
    int physY = -1;
    int physUnit = 1;
};
Bytes EncodePng(const PngRecipe& recipe);

struct JpegRecipe
{
    int width = 16;
    int height = 8;
    int components = 3; // 1 grey, 3 RGB, 4 CMYK
    Bytes pixels;       // rows top first
    int quality = 95;
    int densityUnit = -1; // JFIF density, when >= 0
    int xDensity = 1;
    int yDensity = 1;
    Bytes app1; // an APP1 section's data (after its length), written when present
};
Bytes EncodeJpeg(const JpegRecipe& recipe);

// An EXIF APP1 block (little-endian) with the given resolution fields and,
// optionally, extra raw directory entries.
Bytes MakeExifBlock(uint32_t xNum, uint32_t xDen, uint32_t yNum, uint32_t yDen, int unit);

inline RGBQUAD Rgb(BYTE red, BYTE green, BYTE blue, BYTE alpha = 0)
{
    RGBQUAD c;
    c.rgbRed = red;
    c.rgbGreen = green;
    c.rgbBlue = blue;
    c.rgbReserved = alpha;
    return c;
}

#endif
