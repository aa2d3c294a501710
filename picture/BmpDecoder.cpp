#include "picture/BmpDecoder.h"

#include "picture/ImageBytes.h"
#include "picture/ImageFile.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

using imagebytes::Le16;
using imagebytes::Le32;
using imagebytes::ReadExact;
using imagebytes::Skip;

namespace
{
const char kNotBmp[] = "Not a BMP";
const char kBadInfo[] = "Error reading BMP info";

const DWORD kRle8 = 1;
const DWORD kRle4 = 2;
const DWORD kBitfields = 3;

int DpiFromPixelsPerMetre(LONG value)
{
    return static_cast<int>(std::floor(value * 254.0 / 10000.0 + 0.5));
}

// Bytes of a stored row at the given bit count, whole 32-bit words.
uint64_t StoredRowBytes(uint64_t width, uint64_t bits)
{
    return ((bits * width + 31) / 32) * 4;
}
} // namespace

bool CBmpDecoder::ReadInfo(ImageFile& file, BmpInfo& info)
{
    BYTE raw[40];
    std::memset(raw, 0, sizeof(raw));
    const size_t got = file.Read(raw, 1, sizeof(raw));
    if (got < 4)
        return false;
    BITMAPINFOHEADER& h = info.header;
    std::memset(&h, 0, sizeof(h));
    const DWORD size = Le32(raw);
    info.core = size == 12;
    if (info.core)
    {
        if (got < 12)
            return false;
        h.biSize = 40;
        h.biWidth = Le16(raw + 4);
        h.biHeight = Le16(raw + 6);
        h.biPlanes = Le16(raw + 8);
        h.biBitCount = Le16(raw + 10);
        // What was read beyond the core header is the palette.
        if (!file.Seek(-static_cast<long>(got - 12), SEEK_CUR))
            return false;
    }
    else
    {
        // A partly read header would leave its fields to chance.
        if (got < 40 || size < 40)
            return false;
        h.biSize = size;
        h.biWidth = static_cast<LONG>(Le32(raw + 4));
        h.biHeight = static_cast<LONG>(Le32(raw + 8));
        h.biPlanes = Le16(raw + 12);
        h.biBitCount = Le16(raw + 14);
        h.biCompression = Le32(raw + 16);
        h.biSizeImage = Le32(raw + 20);
        h.biXPelsPerMeter = static_cast<LONG>(Le32(raw + 24));
        h.biYPelsPerMeter = static_cast<LONG>(Le32(raw + 28));
        h.biClrUsed = Le32(raw + 32);
        h.biClrImportant = Le32(raw + 36);
        if (size == 64)
        {
            if (!Skip(file, 24))
                return false;
        }
        else if (size > 40)
        {
            // The larger headers are taken only for plain pictures whose
            // stated size is exactly right; anything else is more likely not
            // a bitmap at all.
            const uint64_t rows = static_cast<uint64_t>(std::llabs(h.biHeight));
            const uint64_t expected =
                StoredRowBytes(static_cast<uint32_t>(h.biWidth), h.biBitCount) * rows;
            if (h.biWidth <= 0 || expected != h.biSizeImage || h.biPlanes != 1 ||
                h.biCompression != 0 || h.biClrUsed != 0)
                return false;
            if (!Skip(file, size - 40))
                return false;
        }
    }
    // Its negation would not fit.
    if (h.biHeight == INT32_MIN)
        return false;
    // Only these bit counts have pixels to read: any other would be a
    // "success" with nothing decoded.
    if (!imagebytes::IsBitmapBitCount(h.biBitCount))
        return false;
    if (h.biSizeImage == 0 && h.biWidth > 0)
    {
        const uint64_t rows = static_cast<uint64_t>(std::llabs(h.biHeight));
        const uint64_t bytes =
            StoredRowBytes(static_cast<uint32_t>(h.biWidth), h.biBitCount) * rows;
        h.biSizeImage = bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(bytes);
    }
    if (h.biClrUsed == 0 && h.biBitCount <= 8)
        h.biClrUsed = 1u << h.biBitCount;
    return true;
}

void CBmpDecoder::ReadPalette(ImageFile& file, const BmpInfo& info)
{
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr)
        return;
    const DWORD stated = info.header.biClrUsed;
    const DWORD count = stated < GetNumColors() ? stated : GetNumColors();
    const size_t entry = info.core ? 3 : 4;
    BYTE raw[256 * 4];
    const size_t got = file.Read(raw, 1, count * entry) / entry;
    for (size_t i = 0; i < got; ++i)
    {
        palette[i].rgbBlue = raw[i * entry];
        palette[i].rgbGreen = raw[i * entry + 1];
        palette[i].rgbRed = raw[i * entry + 2];
        palette[i].rgbReserved = 0;
    }
    // A palette larger than the picture's: the entries it cannot hold are
    // stepped over (they matter when no pixel offset says where rows start).
    if (stated > count)
        Skip(file, static_cast<uint64_t>(stated - count) * entry);
    m_info.lastColorValid = false;
}

// Run-length coded rows (row 0 at the bottom). A count byte and a value byte
// make a run; a zero count introduces an escape: 0 end of line, 1 end of
// bitmap, 2 a delta (dx, dy), n a literal run of n pixels padded to an even
// number of bytes. RLE8 pixels are bytes. RLE4 pixels are nibbles: a run
// alternates the high and the low nibble of its value, a literal run reads
// (n + 1) / 2 bytes high nibble first, and a pixel at an even position starts
// its byte afresh; the cursor counts pixels, so runs and deltas may start in
// the middle of a byte. Nothing is written outside the picture; a run that
// would cross the end of its row ends the decoding.
void CBmpDecoder::DecodeRle(ImageFile& file, bool nibbles)
{
    const long rowPixels = static_cast<long>(m_info.rowBytes) * (nibbles ? 2 : 1);
    const int height = GetHeight();
    long x = 0;
    int y = 0;
    auto put = [&](BYTE* row, long value)
    {
        if (x < rowPixels)
        {
            if (!nibbles)
                row[x] = static_cast<BYTE>(value);
            else if ((x & 1) == 0)
                row[x / 2] = static_cast<BYTE>(value << 4);
            else
                row[x / 2] = static_cast<BYTE>(row[x / 2] | value);
        }
        ++x;
    };
    while (y < height)
    {
        const long count = file.GetC();
        if (count < 0)
            return;
        if (count != 0)
        {
            const long value = file.GetC();
            if (value < 0)
                return;
            BYTE* row = GetBits(y);
            for (long i = 0; i < count; ++i)
            {
                if (x >= rowPixels)
                    return;
                put(row, !nibbles ? value : ((i & 1) ? (value & 15) : (value >> 4)));
            }
            continue;
        }
        const long escape = file.GetC();
        if (escape < 0 || escape == 1)
            return;
        if (escape == 0)
        {
            x = 0;
            ++y;
        }
        else if (escape == 2)
        {
            const long dx = file.GetC();
            const long dy = file.GetC();
            if (dx < 0 || dy < 0)
                return;
            x += dx;
            y += static_cast<int>(dy);
        }
        else
        {
            BYTE* row = GetBits(y);
            long value = 0;
            for (long i = 0; i < escape; ++i)
            {
                if (!nibbles || (i & 1) == 0)
                {
                    value = file.GetC();
                    if (value < 0)
                        return;
                }
                put(row, !nibbles ? value : ((i & 1) ? (value & 15) : (value >> 4)));
            }
            const bool padded = nibbles ? ((escape + 1) & 2) != 0 : (escape & 1) != 0;
            if (padded)
                file.GetC();
        }
    }
}

bool CBmpDecoder::Decode(ImageFile& file)
{
    const long start = file.Tell();
    BYTE fileHeader[14];
    const size_t got = file.Read(fileHeader, 1, sizeof(fileHeader));
    if (got == 0)
    {
        SetError(kNotBmp);
        return false;
    }
    DWORD pixelOffset = 0;
    if (got >= 2 && Le16(fileHeader) == 0x4D42)
    {
        if (got < sizeof(fileHeader))
        {
            SetError(kNotBmp);
            return false;
        }
        pixelOffset = Le32(fileHeader + 10);
    }
    else if (!file.Seek(start, SEEK_SET))
    {
        // Not "BM": the data may be a bitmap without its file header.
        SetError(kNotBmp);
        return false;
    }

    BmpInfo info;
    if (!ReadInfo(file, info))
    {
        SetError(kBadInfo);
        return false;
    }
    const BITMAPINFOHEADER& h = info.header;
    const bool topDown = h.biHeight < 0;
    const int width = h.biWidth;
    const int height = topDown ? -h.biHeight : h.biHeight;

    if (m_info.escape == -1)
    {
        m_header.biWidth = width;
        m_header.biHeight = height;
        SetError("output dimensions returned");
        return true;
    }
    if (height < 0 || Create(width, height, h.biBitCount, PICTURE_BMP) == nullptr)
    {
        SetError("Can't allocate memory");
        return false;
    }
    m_header.biXPelsPerMeter = h.biXPelsPerMeter;
    m_header.biYPelsPerMeter = h.biYPelsPerMeter;
    reinterpret_cast<BITMAPINFOHEADER*>(m_block)->biXPelsPerMeter = h.biXPelsPerMeter;
    reinterpret_cast<BITMAPINFOHEADER*>(m_block)->biYPelsPerMeter = h.biYPelsPerMeter;
    m_info.xDpi = DpiFromPixelsPerMetre(h.biXPelsPerMeter);
    m_info.yDpi = DpiFromPixelsPerMetre(h.biYPelsPerMeter);

    if (m_info.escape != 0)
    {
        SetError("Cancelled");
        return false;
    }
    ReadPalette(file, info);
    if (m_info.escape != 0)
    {
        SetError("Cancelled");
        return false;
    }

    auto seekPixels = [&]()
    {
        if (pixelOffset != 0)
            file.Seek(start + static_cast<long>(pixelOffset), SEEK_SET);
    };
    // The pixel reads are sized from the picture made here, never from the
    // file's image-size field; a short file leaves the rest black.
    switch (h.biBitCount)
    {
    case 1:
    case 4:
    case 8:
        seekPixels();
        if (h.biCompression == 0)
            file.Read(m_info.pixels, 1, m_header.biSizeImage);
        else if (h.biCompression == kRle8 || h.biCompression == kRle4)
            DecodeRle(file, h.biCompression == kRle4);
        else
        {
            SetError("compression type not supported");
            return false;
        }
        break;
    case 24:
        seekPixels();
        if (h.biCompression != 0)
        {
            SetError("unknown compression");
            return false;
        }
        file.Read(m_info.pixels, 1, m_header.biSizeImage);
        break;
    case 16:
    {
        DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
        if (h.biCompression == kBitfields)
        {
            BYTE raw[12];
            if (ReadExact(file, raw, sizeof(raw)))
            {
                masks[0] = Le32(raw);
                masks[1] = Le32(raw + 4);
                masks[2] = Le32(raw + 8);
            }
        }
        seekPixels();
        // 16-bit rows are never longer than the 24-bit rows they become.
        const uint64_t bytes = StoredRowBytes(static_cast<uint32_t>(width), 16) * height;
        file.Read(m_info.pixels, 1,
                  static_cast<size_t>(bytes < m_header.biSizeImage ? bytes : m_header.biSizeImage));
        DecodeBitfields(m_info.pixels, masks[0], masks[1], masks[2], 16);
        break;
    }
    case 32:
    {
        seekPixels();
        if (h.biCompression != 0 && h.biCompression != kBitfields)
        {
            SetError("unknown compression");
            return false;
        }
        const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
        BYTE* buffer = static_cast<BYTE*>(std::calloc(1, bytes));
        if (buffer == nullptr)
        {
            SetError("can't allocate memory");
            return false;
        }
        file.Read(buffer, 1, bytes);
        DecodeBitfields(buffer, 0, 0, 0, 32);
        std::free(buffer);
        break;
    }
    default:
        break;
    }
    if (topDown)
        Flip();
    return true;
}
