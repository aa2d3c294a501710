#include "picture/Picture.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace
{
// Bytes per row of a bitmap: whole 32-bit words.
uint64_t RowBytesFor(int width, int bits)
{
    return ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
}

int PixelsPerMetre(int dpi)
{
    return static_cast<int>(std::floor(dpi * 10000.0 / 254.0 + 0.5));
}

bool SameColor(RGBQUAD a, RGBQUAD b)
{
    return std::memcmp(&a, &b, sizeof(RGBQUAD)) == 0;
}

// Number of set bits among the low 16 bits of a mask.
int CountBits16(DWORD mask)
{
    int n = 0;
    for (DWORD m = mask & 0xFFFF; m != 0; m >>= 1)
        n += m & 1;
    return n;
}

// A shift that may come out negative for odd masks: negative counts shift the
// other way instead of being undefined.
DWORD ShiftRight(DWORD value, int count)
{
    if (count >= 32 || count <= -32)
        return 0;
    return count >= 0 ? value >> count : value << -count;
}
} // namespace

CPicture::CPicture(DWORD type)
{
    std::memset(&m_header, 0, sizeof(m_header));
    ClearInfo(type);
}

CPicture::CPicture(int width, int height, int bits, DWORD type) : CPicture(type)
{
    Create(width, height, bits, type);
}

CPicture::CPicture(const CPicture& source, bool copyPixels, bool copySelection, bool copyAlpha)
    : CPicture(source.m_info.type)
{
    Copy(source, copyPixels, copySelection, copyAlpha);
}

CPicture::~CPicture()
{
    Destroy();
}

void CPicture::ClearInfo(DWORD type)
{
    std::memset(&m_info, 0, sizeof(m_info));
    m_info.type = type;
    m_info.jpegQuality = 90;
    m_info.transparentIndex = -1;
    m_info.alphaMax = 255;
    m_info.enabled = true;
    m_info.xDpi = 96;
    m_info.yDpi = 96;
}

void CPicture::SetError(const char* text)
{
    std::strncpy(m_info.lastError, text != nullptr ? text : "", sizeof(m_info.lastError) - 1);
    m_info.lastError[sizeof(m_info.lastError) - 1] = 0;
}

size_t CPicture::PlaneSize() const
{
    if (m_block == nullptr)
        return 0;
    return static_cast<size_t>(m_header.biWidth) * static_cast<size_t>(m_header.biHeight);
}

BYTE* CPicture::AlphaRow(int y) const
{
    return m_alpha + static_cast<ptrdiff_t>(y) * m_header.biWidth;
}

bool CPicture::Destroy()
{
    if (m_info.owner != nullptr)
        return false;
    if (m_layers != nullptr)
    {
        for (int i = 0; i < m_info.layerCount; ++i)
            delete m_layers[i];
        std::free(m_layers);
        m_layers = nullptr;
        m_info.layerCount = 0;
    }
    std::free(m_selection);
    m_selection = nullptr;
    std::free(m_alpha);
    m_alpha = nullptr;
    std::free(m_block);
    m_block = nullptr;
    m_info.pixels = nullptr;
    return true;
}

BYTE* CPicture::Create(int width, int height, int bits, DWORD type)
{
    if (!Destroy())
        return nullptr;
    std::memset(&m_header, 0, sizeof(m_header));
    m_info.rowBytes = 0;
    // Sizes come straight from files: refuse what is not a picture before any
    // size is computed.
    if (width <= 0 || height <= 0)
    {
        SetError("CPicture::Create : width and height must be greater than zero");
        return nullptr;
    }
    DWORD colors;
    if (bits < 2)
    {
        bits = 1;
        colors = 2;
    }
    else if (bits <= 4)
    {
        bits = 4;
        colors = 16;
    }
    else if (bits <= 8)
    {
        bits = 8;
        colors = 256;
    }
    else
    {
        bits = 24;
        colors = 0;
    }
    const uint64_t rowBytes = RowBytesFor(width, bits);
    const uint64_t imageSize = rowBytes * static_cast<uint64_t>(height);
    const uint64_t paletteSize = colors * sizeof(RGBQUAD);
    if (width > kMaxSide || height > kMaxSide ||
        sizeof(BITMAPINFOHEADER) + paletteSize + imageSize > kMaxBlockBytes)
    {
        SetError("CPicture::Create : image too large");
        return nullptr;
    }

    m_header.biSize = sizeof(BITMAPINFOHEADER);
    m_header.biWidth = width;
    m_header.biHeight = height;
    m_header.biPlanes = 1;
    m_header.biBitCount = static_cast<WORD>(bits);
    m_header.biCompression = BI_RGB;
    m_header.biSizeImage = static_cast<DWORD>(imageSize);
    m_header.biXPelsPerMeter = PixelsPerMetre(m_info.xDpi);
    m_header.biYPelsPerMeter = PixelsPerMetre(m_info.yDpi);
    m_header.biClrUsed = colors;
    m_header.biClrImportant = 0;
    m_info.rowBytes = static_cast<DWORD>(rowBytes);
    m_info.type = type;

    // Zeroed, so that a partly decoded or cancelled picture shows black rather
    // than whatever the heap held.
    m_block = static_cast<BYTE*>(
        std::calloc(1, static_cast<size_t>(sizeof(BITMAPINFOHEADER) + paletteSize + imageSize)));
    if (m_block == nullptr)
    {
        std::memset(&m_header, 0, sizeof(m_header));
        m_info.rowBytes = 0;
        SetError("CPicture::Create can't allocate memory");
        return nullptr;
    }
    SelectionDelete();
    AlphaDelete();
    // A new palette: the nearest-colour cache belongs to the old one.
    m_info.lastColorValid = false;
    std::memcpy(m_block, &m_header, sizeof(m_header));
    m_info.pixels = m_block + sizeof(BITMAPINFOHEADER) + paletteSize;
    return m_block;
}

void CPicture::Copy(const CPicture& source, bool copyPixels, bool copySelection, bool copyAlpha)
{
    if (&source == this)
        return;
    // The storage pointers of the source's block must never be taken over:
    // only Create below sets ours.
    m_info = source.m_info;
    m_info.pixels = nullptr;
    m_info.owner = nullptr;
    m_info.parent = nullptr;
    m_info.layerCount = 0;
    if (source.m_block == nullptr)
    {
        Destroy();
        std::memset(&m_header, 0, sizeof(m_header));
        m_info.rowBytes = 0;
        return;
    }
    if (Create(source.GetWidth(), source.GetHeight(), source.GetBpp(), source.m_info.type) ==
        nullptr)
        return;
    if (copyPixels)
    {
        std::memcpy(m_block, source.m_block,
                    sizeof(BITMAPINFOHEADER) + GetPaletteSize() + m_header.biSizeImage);
        m_header = source.m_header;
    }
    else
    {
        SetPalette(source.GetPalette(), source.m_header.biClrUsed);
    }
    // The selection box travels with the information block; without the mask
    // it must say "nothing".
    m_info.selectionBox = source.m_info.selectionBox;
    if (copySelection && source.m_selection != nullptr)
    {
        m_selection = static_cast<BYTE*>(std::malloc(PlaneSize()));
        if (m_selection != nullptr)
            std::memcpy(m_selection, source.m_selection, PlaneSize());
    }
    else
    {
        SelectionDelete();
    }
    if (copyAlpha && source.m_alpha != nullptr)
    {
        m_alpha = static_cast<BYTE*>(std::malloc(PlaneSize()));
        if (m_alpha != nullptr)
            std::memcpy(m_alpha, source.m_alpha, PlaneSize());
    }
}

bool CPicture::Transfer(CPicture& source)
{
    if (&source == this)
        return true;
    if (!Destroy())
        return false;
    m_header = source.m_header;
    m_info = source.m_info;
    m_block = source.m_block;
    m_selection = source.m_selection;
    m_alpha = source.m_alpha;
    m_layers = source.m_layers;

    std::memset(&source.m_header, 0, sizeof(source.m_header));
    std::memset(&source.m_info, 0, sizeof(source.m_info));
    source.m_block = nullptr;
    source.m_selection = nullptr;
    source.m_alpha = nullptr;
    source.m_layers = nullptr;
    return true;
}

void CPicture::CopyInfo(const CPicture& source)
{
    if (m_block != nullptr)
        return;
    m_info = source.m_info;
    // Settings only: the source's storage stays the source's.
    m_info.pixels = nullptr;
    m_info.owner = nullptr;
    m_info.parent = nullptr;
    m_info.layerCount = 0;
    m_info.rowBytes = 0;
}

BYTE* CPicture::GetBits(int row) const
{
    if (m_block == nullptr || m_info.pixels == nullptr)
        return nullptr;
    if (row < 0 || row >= m_header.biHeight)
        return nullptr;
    return m_info.pixels + static_cast<ptrdiff_t>(row) * m_info.rowBytes;
}

bool CPicture::IsInside(int x, int y) const
{
    return x >= 0 && y >= 0 && x < m_header.biWidth && y < m_header.biHeight;
}

void CPicture::Clear(BYTE value)
{
    if (m_info.pixels == nullptr)
        return;
    if (m_header.biBitCount == 1 && value != 0)
        value = 255;
    else if (m_header.biBitCount == 4)
        value = static_cast<BYTE>((value & 15) * 17);
    std::memset(m_info.pixels, value, m_header.biSizeImage);
}

void CPicture::SetXDPI(int dpi)
{
    if (dpi < 1)
        dpi = 96;
    m_info.xDpi = dpi;
    m_header.biXPelsPerMeter = PixelsPerMetre(dpi);
    if (m_block != nullptr)
        reinterpret_cast<BITMAPINFOHEADER*>(m_block)->biXPelsPerMeter = m_header.biXPelsPerMeter;
}

void CPicture::SetYDPI(int dpi)
{
    if (dpi < 1)
        dpi = 96;
    m_info.yDpi = dpi;
    m_header.biYPelsPerMeter = PixelsPerMetre(dpi);
    if (m_block != nullptr)
        reinterpret_cast<BITMAPINFOHEADER*>(m_block)->biYPelsPerMeter = m_header.biYPelsPerMeter;
}

DWORD CPicture::GetCodecOption(DWORD type) const
{
    if (type == 0)
        type = m_info.type;
    if (type >= PICTURE_TYPE_COUNT)
        return 0;
    return m_info.codecOptions[type];
}

bool CPicture::SetCodecOption(DWORD value, DWORD type)
{
    if (type == 0)
        type = m_info.type;
    if (type >= PICTURE_TYPE_COUNT)
        return false;
    m_info.codecOptions[type] = value;
    return true;
}

void CPicture::SetTransColor(RGBQUAD color)
{
    color.rgbReserved = 0;
    m_info.transparentColor = color;
}

RGBQUAD CPicture::GetTransColor() const
{
    if (m_header.biBitCount < 24 && m_info.transparentIndex != -1)
        return GetPaletteColor(static_cast<BYTE>(m_info.transparentIndex));
    return m_info.transparentColor;
}

// --- palette -----------------------------------------------------------------

RGBQUAD* CPicture::GetPalette() const
{
    if (m_block == nullptr || m_header.biClrUsed == 0)
        return nullptr;
    return reinterpret_cast<RGBQUAD*>(m_block + sizeof(BITMAPINFOHEADER));
}

RGBQUAD CPicture::GetPaletteColor(BYTE index) const
{
    RGBQUAD color = {0, 0, 0, 0};
    RGBQUAD* palette = GetPalette();
    if (palette != nullptr && index < m_header.biClrUsed)
        color = palette[index];
    return color;
}

void CPicture::SetPaletteColor(BYTE index, BYTE red, BYTE green, BYTE blue, BYTE alpha)
{
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr || index >= m_header.biClrUsed)
        return;
    palette[index].rgbBlue = blue;
    palette[index].rgbGreen = green;
    palette[index].rgbRed = red;
    palette[index].rgbReserved = alpha;
    m_info.lastColorValid = false;
}

void CPicture::SetPalette(const RGBQUAD* entries, DWORD count)
{
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr || entries == nullptr)
        return;
    const DWORD n = count < m_header.biClrUsed ? count : m_header.biClrUsed;
    std::memcpy(palette, entries, n * sizeof(RGBQUAD));
    m_info.lastColorValid = false;
}

void CPicture::SetPaletteTriples(const BYTE* triples, DWORD count)
{
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr || triples == nullptr)
        return;
    const DWORD n = count < m_header.biClrUsed ? count : m_header.biClrUsed;
    for (DWORD i = 0; i < n; ++i)
    {
        palette[i].rgbRed = triples[i * 3];
        palette[i].rgbGreen = triples[i * 3 + 1];
        palette[i].rgbBlue = triples[i * 3 + 2];
    }
    m_info.lastColorValid = false;
}

void CPicture::SetPaletteRgb(DWORD count, const BYTE* red, const BYTE* green, const BYTE* blue)
{
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr || red == nullptr)
        return;
    if (green == nullptr)
        green = red;
    if (blue == nullptr)
        blue = green;
    const DWORD n = count < m_header.biClrUsed ? count : m_header.biClrUsed;
    for (DWORD i = 0; i < n; ++i)
    {
        palette[i].rgbRed = red[i];
        palette[i].rgbGreen = green[i];
        palette[i].rgbBlue = blue[i];
    }
    m_info.lastColorValid = false;
}

void CPicture::SetGrayPalette()
{
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr || m_header.biClrUsed < 2)
        return;
    const DWORD step = 255 / (m_header.biClrUsed - 1);
    for (DWORD i = 0; i < m_header.biClrUsed; ++i)
    {
        const BYTE grey = static_cast<BYTE>(i * step);
        palette[i].rgbBlue = palette[i].rgbGreen = palette[i].rgbRed = grey;
    }
    m_info.lastColorValid = false;
}

bool CPicture::IsGrayScale() const
{
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr)
        return false;
    for (DWORD i = 0; i < m_header.biClrUsed; ++i)
    {
        if (palette[i].rgbBlue != i || palette[i].rgbGreen != i || palette[i].rgbRed != i)
            return false;
    }
    return true;
}

BYTE CPicture::GetNearestIndex(RGBQUAD color)
{
    RGBQUAD* palette = GetPalette();
    if (m_info.pixels == nullptr || palette == nullptr)
        return 0;
    if (m_info.lastColorValid && SameColor(m_info.lastColor, color))
        return m_info.lastColorIndex;
    m_info.lastColor = color;
    m_info.lastColorValid = true;

    DWORD n = m_header.biClrImportant != 0 ? m_header.biClrImportant : m_header.biClrUsed;
    if (n > m_header.biClrUsed)
        n = m_header.biClrUsed;
    long best = 200000;
    BYTE index = 0;
    for (DWORD j = 0; j < n; ++j)
    {
        const long db = palette[j].rgbBlue - color.rgbBlue;
        const long dg = palette[j].rgbGreen - color.rgbGreen;
        const long dr = palette[j].rgbRed - color.rgbRed;
        const long d = db * db + dg * dg + dr * dr;
        if (d == 0)
        {
            index = static_cast<BYTE>(j);
            break;
        }
        if (d < best)
        {
            best = d;
            index = static_cast<BYTE>(j);
        }
    }
    m_info.lastColorIndex = index;
    return index;
}

void CPicture::RgbToBgr(BYTE* buffer, DWORD length) const
{
    if (buffer == nullptr || m_header.biBitCount != 24)
        return;
    if (length > m_info.rowBytes)
        length = m_info.rowBytes;
    for (DWORD i = 0; i + 2 < length; i += 3)
    {
        const BYTE t = buffer[i];
        buffer[i] = buffer[i + 2];
        buffer[i + 2] = t;
    }
}

// --- pixels ------------------------------------------------------------------

BYTE CPicture::GetPixelIndex(int x, int y) const
{
    if (m_info.pixels == nullptr || m_header.biClrUsed == 0)
        return 0;
    if (!IsInside(x, y))
    {
        if (m_info.transparentIndex != -1)
            return static_cast<BYTE>(m_info.transparentIndex);
        return *m_info.pixels;
    }
    const BYTE* row = m_info.pixels + static_cast<ptrdiff_t>(y) * m_info.rowBytes;
    switch (m_header.biBitCount)
    {
    case 8:
        return row[x];
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    default:
        return 0;
    }
}

void CPicture::SetPixelIndex(int x, int y, BYTE index)
{
    if (m_info.pixels == nullptr || m_header.biClrUsed == 0 || !IsInside(x, y))
        return;
    BYTE* row = m_info.pixels + static_cast<ptrdiff_t>(y) * m_info.rowBytes;
    switch (m_header.biBitCount)
    {
    case 8:
        row[x] = index;
        break;
    case 4:
        if (x & 1)
            row[x >> 1] = static_cast<BYTE>((row[x >> 1] & 0xF0) | (index & 0x0F));
        else
            row[x >> 1] = static_cast<BYTE>((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
        break;
    case 1:
    {
        const BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
        if (index & 1)
            row[x >> 3] |= bit;
        else
            row[x >> 3] &= static_cast<BYTE>(~bit);
        break;
    }
    default:
        break;
    }
}

RGBQUAD CPicture::GetPixelColor(int x, int y, bool withAlpha) const
{
    if (m_info.pixels == nullptr || !IsInside(x, y))
    {
        if (m_info.transparentIndex == -1)
        {
            if (m_info.pixels != nullptr)
                return GetPixelColor(0, 0, withAlpha);
            return m_info.transparentColor;
        }
        if (m_header.biBitCount < 24)
            return GetPaletteColor(static_cast<BYTE>(m_info.transparentIndex));
        return m_info.transparentColor;
    }
    if (m_header.biClrUsed != 0)
        return GetPaletteColor(GetPixelIndex(x, y));
    const BYTE* p = m_info.pixels + static_cast<ptrdiff_t>(y) * m_info.rowBytes + x * 3;
    RGBQUAD color;
    color.rgbBlue = p[0];
    color.rgbGreen = p[1];
    color.rgbRed = p[2];
    color.rgbReserved = m_info.transparentColor.rgbReserved;
    if (withAlpha && m_alpha != nullptr)
        color.rgbReserved = AlphaRow(y)[x];
    return color;
}

RGBQUAD CPicture::BlindGetPixelColor(int x, int y) const
{
    if (m_header.biClrUsed != 0)
        return GetPaletteColor(GetPixelIndex(x, y));
    const BYTE* p = m_info.pixels + static_cast<ptrdiff_t>(y) * m_info.rowBytes + x * 3;
    RGBQUAD color;
    color.rgbBlue = p[0];
    color.rgbGreen = p[1];
    color.rgbRed = p[2];
    color.rgbReserved = m_alpha != nullptr ? AlphaRow(y)[x] : 0;
    return color;
}

void CPicture::SetPixelColor(int x, int y, RGBQUAD color, bool setAlpha)
{
    if (m_info.pixels == nullptr || !IsInside(x, y))
        return;
    if (m_header.biClrUsed != 0)
    {
        SetPixelIndex(x, y, GetNearestIndex(color));
        return;
    }
    BYTE* p = m_info.pixels + static_cast<ptrdiff_t>(y) * m_info.rowBytes + x * 3;
    p[0] = color.rgbBlue;
    p[1] = color.rgbGreen;
    p[2] = color.rgbRed;
    if (setAlpha)
        AlphaSet(x, y, color.rgbReserved);
}

BYTE* CPicture::BlindGetPixelPointer(int x, int y) const
{
    if (m_info.pixels == nullptr || m_header.biClrUsed != 0)
        return nullptr;
    return m_info.pixels + static_cast<ptrdiff_t>(y) * m_info.rowBytes + x * 3;
}

// --- alpha and selection -------------------------------------------------------

bool CPicture::AlphaCreate()
{
    if (m_alpha != nullptr)
        return true;
    const size_t size = PlaneSize();
    if (size == 0)
        return false;
    m_alpha = static_cast<BYTE*>(std::malloc(size));
    if (m_alpha == nullptr)
        return false;
    std::memset(m_alpha, 255, size);
    return true;
}

void CPicture::AlphaDelete()
{
    std::free(m_alpha);
    m_alpha = nullptr;
}

void CPicture::AlphaSet(int x, int y, BYTE alpha)
{
    if (m_alpha != nullptr && IsInside(x, y))
        AlphaRow(y)[x] = alpha;
}

BYTE CPicture::AlphaGet(int x, int y) const
{
    if (m_alpha != nullptr && IsInside(x, y))
        return AlphaRow(y)[x];
    return 0;
}

BYTE* CPicture::AlphaGetPointer(int x, int y) const
{
    if (m_alpha != nullptr && IsInside(x, y))
        return AlphaRow(y) + x;
    return nullptr;
}

bool CPicture::AlphaFlip()
{
    if (m_alpha == nullptr)
        return false;
    const int width = m_header.biWidth;
    for (int top = m_header.biHeight - 1, bottom = 0; bottom < top; --top, ++bottom)
    {
        BYTE* a = AlphaRow(bottom);
        BYTE* b = AlphaRow(top);
        for (int x = 0; x < width; ++x)
        {
            const BYTE t = a[x];
            a[x] = b[x];
            b[x] = t;
        }
    }
    return true;
}

void CPicture::SelectionDelete()
{
    std::free(m_selection);
    m_selection = nullptr;
    m_info.selectionBox.left = m_header.biWidth;
    m_info.selectionBox.top = 0;
    m_info.selectionBox.right = 0;
    m_info.selectionBox.bottom = m_header.biHeight;
}

bool CPicture::SelectionAddPixel(int x, int y)
{
    if (!IsInside(x, y) || m_block == nullptr)
        return false;
    if (m_selection == nullptr)
    {
        SelectionDelete(); // an empty box to grow from
        m_selection = static_cast<BYTE*>(std::calloc(1, PlaneSize()));
        if (m_selection == nullptr)
            return false;
    }
    m_selection[static_cast<ptrdiff_t>(y) * m_header.biWidth + x] = 255;
    RECT& box = m_info.selectionBox;
    if (x < box.left)
        box.left = x;
    if (x + 1 > box.right)
        box.right = x + 1;
    if (y < box.bottom)
        box.bottom = y;
    if (y + 1 > box.top)
        box.top = y + 1;
    return true;
}

bool CPicture::SelectionIsInside(int x, int y) const
{
    if (!IsInside(x, y))
        return false;
    return m_selection == nullptr ||
           m_selection[static_cast<ptrdiff_t>(y) * m_header.biWidth + x] != 0;
}

// --- whole-image operations ----------------------------------------------------

bool CPicture::Flip()
{
    if (m_block == nullptr)
        return false;
    CPicture flipped(*this, false, false, true);
    if (!flipped.IsValid())
    {
        SetError(flipped.GetLastError());
        return false;
    }
    const int height = m_header.biHeight;
    for (int y = 0; y < height; ++y)
        std::memcpy(flipped.GetBits(height - 1 - y), GetBits(y), m_info.rowBytes);
    flipped.AlphaFlip();
    // The selection does not survive a flip (the copy was made without it).
    Transfer(flipped);
    return true;
}

bool CPicture::Negative()
{
    if (m_block == nullptr)
        return false;
    const RECT box = m_info.selectionBox;
    if (m_header.biBitCount > 8)
    {
        if (m_selection != nullptr)
        {
            for (int y = box.bottom; y < box.top; ++y)
            {
                for (int x = box.left; x < box.right; ++x)
                {
                    if (!SelectionIsInside(x, y))
                        continue;
                    RGBQUAD c = GetPixelColor(x, y, true);
                    c.rgbBlue = static_cast<BYTE>(~c.rgbBlue);
                    c.rgbGreen = static_cast<BYTE>(~c.rgbGreen);
                    c.rgbRed = static_cast<BYTE>(~c.rgbRed);
                    SetPixelColor(x, y, c, false);
                }
            }
        }
        else
        {
            BYTE* p = m_info.pixels;
            for (DWORD i = 0; i < m_header.biSizeImage; ++i)
                p[i] = static_cast<BYTE>(~p[i]);
        }
        RGBQUAD& t = m_info.transparentColor;
        t.rgbBlue = static_cast<BYTE>(~t.rgbBlue);
        t.rgbGreen = static_cast<BYTE>(~t.rgbGreen);
        t.rgbRed = static_cast<BYTE>(~t.rgbRed);
    }
    else if (!IsGrayScale())
    {
        RGBQUAD* palette = GetPalette();
        for (DWORD i = 0; palette != nullptr && i < m_header.biClrUsed; ++i)
        {
            palette[i].rgbBlue = static_cast<BYTE>(~palette[i].rgbBlue);
            palette[i].rgbGreen = static_cast<BYTE>(~palette[i].rgbGreen);
            palette[i].rgbRed = static_cast<BYTE>(~palette[i].rgbRed);
        }
        m_info.lastColorValid = false;
    }
    else
    {
        const bool masked = m_selection != nullptr;
        const int left = masked ? box.left : 0;
        const int right = masked ? box.right : m_header.biWidth;
        const int bottom = masked ? box.bottom : 0;
        const int top = masked ? box.top : m_header.biHeight;
        for (int y = bottom; y < top; ++y)
        {
            for (int x = left; x < right; ++x)
            {
                if (masked && !SelectionIsInside(x, y))
                    continue;
                SetPixelIndex(x, y, static_cast<BYTE>(~GetPixelIndex(x, y)));
            }
        }
    }
    return true;
}

void CPicture::DecodeBitfields(const BYTE* source, DWORD redMask, DWORD greenMask, DWORD blueMask,
                               int bits)
{
    if (m_info.pixels == nullptr || source == nullptr || m_header.biBitCount != 24)
        return;
    const int width = m_header.biWidth;
    const int height = m_header.biHeight;
    if (bits == 16)
    {
        const int nr = CountBits16(redMask);
        const int ng = CountBits16(greenMask);
        const int nb = CountBits16(blueMask);
        const ptrdiff_t sourceRow = static_cast<ptrdiff_t>((width + 1) / 2) * 4;
        // Backwards from the last pixel: a destination pixel never lies before
        // the source pixels still to be read, so the source may be our own rows.
        for (int y = height - 1; y >= 0; --y)
        {
            const BYTE* s = source + y * sourceRow;
            BYTE* d = m_info.pixels + static_cast<ptrdiff_t>(y) * m_info.rowBytes;
            for (int x = width - 1; x >= 0; --x)
            {
                const DWORD w = s[x * 2] | (s[x * 2 + 1] << 8);
                const BYTE blue = static_cast<BYTE>(ShiftRight(w & blueMask, -(8 - nr)));
                const BYTE green = static_cast<BYTE>(ShiftRight(w & greenMask, nr + ng - 8));
                const BYTE red = static_cast<BYTE>(ShiftRight(w & redMask, nr + ng + nb - 8));
                d[x * 3] = blue;
                d[x * 3 + 1] = green;
                d[x * 3 + 2] = red;
            }
        }
    }
    else if (bits == 32)
    {
        const ptrdiff_t sourceRow = static_cast<ptrdiff_t>(width) * 4;
        for (int y = height - 1; y >= 0; --y)
        {
            const BYTE* s = source + y * sourceRow;
            BYTE* d = m_info.pixels + static_cast<ptrdiff_t>(y) * m_info.rowBytes;
            for (int x = width - 1; x >= 0; --x)
            {
                const BYTE blue = s[x * 4];
                const BYTE green = s[x * 4 + 1];
                const BYTE red = s[x * 4 + 2];
                d[x * 3] = blue;
                d[x * 3 + 1] = green;
                d[x * 3 + 2] = red;
            }
        }
    }
}

// --- row iterator --------------------------------------------------------------

ImageIterator::ImageIterator(CPicture* picture) : m_picture(picture) {}

void ImageIterator::Upset()
{
    m_y = m_picture->GetHeight() - 1;
}

BYTE* ImageIterator::GetRow() const
{
    return m_picture->GetBits(m_y);
}

bool ImageIterator::PrevRow()
{
    if (m_y < 0)
        return false;
    --m_y;
    return m_y >= 0;
}

void ImageIterator::SetRow(const BYTE* data, size_t length)
{
    BYTE* row = GetRow();
    if (row == nullptr || data == nullptr)
        return;
    if (length > m_picture->GetRowBytes())
        length = m_picture->GetRowBytes();
    std::memcpy(row, data, length);
}
