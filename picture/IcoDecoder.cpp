#include "picture/IcoDecoder.h"

#include "picture/ImageBytes.h"
#include "picture/ImageFile.h"

#include <cstdlib>
#include <cstring>

using imagebytes::Le16;
using imagebytes::Le32;
using imagebytes::ReadExact;
using imagebytes::Skip;

namespace
{
bool MaskBit(const BYTE* row, int x)
{
    return ((row[x >> 3] >> (7 - (x & 7))) & 1) != 0;
}
} // namespace

bool CIcoDecoder::Decode(ImageFile& file)
{
    const long start = file.Tell();
    BYTE header[6];
    if (!ReadExact(file, header, sizeof(header)))
        return false;
    const int type = Le16(header + 2);
    if (Le16(header) != 0 || (type != 1 && type != 2))
        return false;
    const int count = Le16(header + 4);
    m_info.frameCount = count;
    // Transparency is the file's to say, not left over from an earlier picture.
    m_info.transparentIndex = -1;
    const int wanted = m_info.frame;
    BYTE entry[16];
    std::memset(entry, 0, sizeof(entry));
    for (int i = 0; i < count; ++i)
    {
        BYTE raw[16];
        if (!ReadExact(file, raw, sizeof(raw)))
            return false;
        if (i == wanted)
            std::memcpy(entry, raw, sizeof(raw));
    }
    if (wanted < 0 || wanted >= count)
        return false;

    // A directory size of 0 stands for 256 pixels.
    const int width = entry[0] != 0 ? entry[0] : 256;
    const int height = entry[1] != 0 ? entry[1] : 256;
    const uint32_t offset = Le32(entry + 12);
    if (offset > 0x7FFFFFFFu - static_cast<uint32_t>(start) ||
        !file.Seek(start + static_cast<long>(offset), SEEK_SET))
        return false;
    BYTE info[40];
    if (!ReadExact(file, info, sizeof(info)))
        return false;
    // Entries stored as PNG files (the large icons of later Windows versions)
    // begin with the PNG signature instead of a bitmap header.
    const DWORD infoSize = Le32(info);
    if (infoSize < 40 || infoSize > 1024)
        return false;
    if (infoSize > 40 && !Skip(file, infoSize - 40))
        return false;
    const int bits = Le16(info + 14);
    if (!imagebytes::IsBitmapBitCount(bits))
        return false;
    if (Create(width, height, bits, PICTURE_ICO) == nullptr)
        return false;

    if (bits <= 8)
    {
        // Icons often leave the colour count 0: the palette is then full size.
        DWORD colors = Le32(info + 32);
        if (colors == 0)
            colors = 1u << bits;
        const DWORD used = colors < GetNumColors() ? colors : GetNumColors();
        RGBQUAD palette[256];
        std::memset(palette, 0, sizeof(palette));
        file.Read(palette, sizeof(RGBQUAD), used);
        SetPalette(palette, used);
        if (colors > used)
            Skip(file, static_cast<uint64_t>(colors - used) * sizeof(RGBQUAD));
    }

    bool ownAlpha = false;
    if (bits == 32)
    {
        const size_t rowBytes = static_cast<size_t>(width) * 4;
        BYTE* buffer = static_cast<BYTE*>(std::calloc(height, rowBytes));
        if (buffer == nullptr || !AlphaCreate())
        {
            std::free(buffer);
            SetError("CPicture::Create can't allocate memory");
            return false;
        }
        file.Read(buffer, 1, rowBytes * height);
        for (int y = 0; y < height; ++y)
        {
            const BYTE* s = buffer + rowBytes * y;
            BYTE* d = GetBits(y);
            BYTE* a = AlphaRow(y);
            for (int x = 0; x < width; ++x)
            {
                d[x * 3] = s[x * 4];
                d[x * 3 + 1] = s[x * 4 + 1];
                d[x * 3 + 2] = s[x * 4 + 2];
                a[x] = s[x * 4 + 3];
                ownAlpha = ownAlpha || a[x] != 0;
            }
        }
        std::free(buffer);
        // Fourth bytes that are all 0 carry no alpha: the mask alone decides.
        if (!ownAlpha)
            std::memset(m_alpha, 255, PlaneSize());
    }
    else if (bits == 16)
    {
        // 5-5-5 pixels in rows of whole words, widened in place to 24 bits.
        file.Read(m_info.pixels, 1, static_cast<size_t>((width + 1) / 2) * 4 * height);
        DecodeBitfields(m_info.pixels, 0x7C00, 0x03E0, 0x001F, 16);
    }
    else
    {
        // The rows as this picture holds them: the image-size field of icons
        // is often 0.
        file.Read(m_info.pixels, 1, m_header.biSizeImage);
    }

    const DWORD maskRowBytes = ((static_cast<DWORD>(width) + 31) / 32) * 4;
    const size_t maskSize = static_cast<size_t>(maskRowBytes) * height;
    BYTE* mask = static_cast<BYTE*>(std::malloc(maskSize));
    if (mask == nullptr)
        return true;
    // Without its mask the picture is shown as read.
    if (ReadExact(file, mask, maskSize))
        ApplyMask(mask, maskRowBytes, bits, ownAlpha);
    std::free(mask);
    return true;
}

void CIcoDecoder::ApplyMask(const BYTE* mask, DWORD maskRowBytes, int bits, bool ownAlpha)
{
    const int width = GetWidth();
    const int height = GetHeight();
    const size_t maskSize = static_cast<size_t>(maskRowBytes) * height;
    bool allOnes = true;
    for (size_t i = 0; i < maskSize && allOnes; ++i)
        allOnes = mask[i] == 0xFF;
    if (allOnes)
    {
        m_info.transparentIndex = 0;
        Negative();
        return;
    }
    // Windows draws an icon with an alpha channel by that channel alone.
    if (ownAlpha)
        return;

    const bool madeAlpha = !AlphaIsValid();
    if (!AlphaCreate())
        return;
    bool anyMasked = false;
    for (int y = 0; y < height; ++y)
    {
        const BYTE* m = mask + static_cast<size_t>(maskRowBytes) * y;
        BYTE* a = AlphaRow(y);
        for (int x = 0; x < width; ++x)
        {
            if (MaskBit(m, x))
            {
                a[x] = 0;
                anyMasked = true;
            }
        }
    }
    if (!anyMasked)
    {
        if (madeAlpha)
            AlphaDelete();
        return;
    }

    if (bits == 24)
    {
        // One colour behind every masked pixel: that colour is the transparent one.
        bool first = true;
        bool same = true;
        RGBQUAD color = {0, 0, 0, 0};
        for (int y = 0; y < height && same; ++y)
        {
            const BYTE* m = mask + static_cast<size_t>(maskRowBytes) * y;
            const BYTE* p = GetBits(y);
            for (int x = 0; x < width && same; ++x)
            {
                if (!MaskBit(m, x))
                    continue;
                const BYTE* c = p + x * 3;
                if (first)
                {
                    color.rgbBlue = c[0];
                    color.rgbGreen = c[1];
                    color.rgbRed = c[2];
                    first = false;
                }
                else
                {
                    same = c[0] == color.rgbBlue && c[1] == color.rgbGreen && c[2] == color.rgbRed;
                }
            }
        }
        if (same)
        {
            SetTransColor(color);
            m_info.transparentIndex = 0;
            AlphaDelete();
        }
        return;
    }
    if (bits > 8)
        return;

    // The lowest palette index no pixel uses becomes the transparent one.
    bool used[256];
    std::memset(used, 0, sizeof(used));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            used[GetPixelIndex(x, y)] = true;
    int free = -1;
    for (DWORD i = 0; i < GetNumColors() && free < 0; ++i)
    {
        if (!used[i])
            free = static_cast<int>(i);
    }
    if (free < 0)
        return;
    for (int y = 0; y < height; ++y)
    {
        const BYTE* m = mask + static_cast<size_t>(maskRowBytes) * y;
        for (int x = 0; x < width; ++x)
        {
            if (MaskBit(m, x))
                SetPixelIndex(x, y, static_cast<BYTE>(free));
        }
    }
    m_info.transparentIndex = free;
    AlphaDelete();
}
