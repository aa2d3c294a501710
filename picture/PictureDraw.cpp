// Output of a picture to Windows: bitmaps, drawing with alpha and
// transparency, and tiling. The contexts and GDI objects are the
// framework's (CDC, CBitmap, CRgn), so this runs on the user-interface
// thread only (see Picture.h).
#include "picture/Picture.h"

#include "foundation/Dc.h"
#include "foundation/Gdi.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
// A 24-bit bottom-up DIB section of the paint box, made for a memory DC
// compatible with the target; both are deleted when the object goes. The
// caller selects the section for as long as it draws into the DC.
class BoxSection
{
public:
    BoxSection(HDC compatible, int width, int height)
    {
        std::memset(&m_bmi, 0, sizeof(m_bmi));
        m_bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        m_bmi.bmiHeader.biWidth = width;
        m_bmi.bmiHeader.biHeight = height;
        m_bmi.bmiHeader.biPlanes = 1;
        m_bmi.bmiHeader.biBitCount = 24;
        m_bmi.bmiHeader.biCompression = BI_RGB;
        m_rowBytes = ((static_cast<ptrdiff_t>(width) * 24 + 31) / 32) * 4;
        // The target is only borrowed, to make the memory DC compatible with it.
        const CDC target(compatible);
        if (m_dc.CreateCompatibleDC(&target))
            m_section.Attach(::CreateDIBSection(m_dc.GetSafeHdc(), &m_bmi, DIB_RGB_COLORS,
                                                reinterpret_cast<void**>(&m_bits), nullptr, 0),
                             true);
    }

    bool IsValid() const { return m_section.IsValid() && m_bits != nullptr; }
    HDC GetDC() const { return m_dc.GetSafeHdc(); }
    HBITMAP GetBitmap() const { return m_section.GetSafeHandle(); }
    // Row 0 is the bottom row of the box.
    BYTE* Row(int row) const { return m_bits + row * m_rowBytes; }
    const BITMAPINFO* GetInfo() const { return &m_bmi; }
    const BYTE* GetBits() const { return m_bits; }

private:
    CDC m_dc;
    CBitmap m_section;
    BITMAPINFO m_bmi;
    BYTE* m_bits = nullptr;
    ptrdiff_t m_rowBytes = 0;
};

// Saves the device's clip region and puts it back when the scope ends. A
// device without a clip region gets none again (restoring only the clip box,
// as a rectangle, would leave a region behind where there was none). A
// region is never selected with SelectObject, so this is no CSelectScope.
class ClipRestore
{
public:
    explicit ClipRestore(HDC dc) : m_dc(dc)
    {
        m_hadRegion =
            m_saved.CreateRectRgn(0, 0, 0, 0) && ::GetClipRgn(dc, m_saved.GetSafeHandle()) == 1;
    }
    ClipRestore(const ClipRestore&) = delete;
    ClipRestore& operator=(const ClipRestore&) = delete;
    ~ClipRestore() { ::SelectClipRgn(m_dc, m_hadRegion ? m_saved.GetSafeHandle() : nullptr); }

private:
    HDC m_dc;
    CRgn m_saved;
    bool m_hadRegion = false;
};

inline int Clamp(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}
} // namespace

HBITMAP CPicture::MakeBitmap(HDC dc) const
{
    if (m_block == nullptr)
        return nullptr;
    const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(m_block);
    if (dc != nullptr)
        return ::CreateDIBitmap(dc, &m_header, CBM_INIT, m_info.pixels, info, DIB_RGB_COLORS);
    CDC memory;
    if (!memory.CreateCompatibleDC())
        return nullptr;
    void* bits = nullptr;
    HBITMAP section =
        ::CreateDIBSection(memory.GetSafeHdc(), info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section != nullptr && bits != nullptr)
        std::memcpy(bits, m_info.pixels, m_header.biSizeImage);
    return section;
}

bool CPicture::Draw(HDC dc, int x, int y, int cx, int cy, const RECT* clip, bool smooth)
{
    if (m_block == nullptr || dc == nullptr || cx == 0 || cy == 0 || !m_info.enabled)
        return false;
    const int width = m_header.biWidth;
    const int height = m_header.biHeight;
    if (cx < 0)
        cx = width;
    if (cy < 0)
        cy = height;

    ClipRestore restore(dc);
    if (clip != nullptr)
    {
        CRgn region;
        region.CreateRectRgn(clip->left, clip->top, clip->right, clip->bottom);
        ::ExtSelectClipRgn(dc, region.GetSafeHandle(), RGN_AND);
    }
    RECT clipBox;
    if (::GetClipBox(dc, &clipBox) == ERROR)
        return false;

    const int left =
        std::min(std::max(x, static_cast<int>(clipBox.left)), static_cast<int>(clipBox.right));
    const int top =
        std::min(std::max(y, static_cast<int>(clipBox.top)), static_cast<int>(clipBox.bottom));
    const int right =
        std::max(static_cast<int>(clipBox.left), std::min(static_cast<int>(clipBox.right), x + cx));
    const int bottom =
        std::max(static_cast<int>(clipBox.top), std::min(static_cast<int>(clipBox.bottom), y + cy));
    const int boxWidth = right - left;
    const int boxHeight = bottom - top;
    // A target outside the clip paints nothing, and that is no failure.
    if (boxWidth <= 0 || boxHeight <= 0)
        return true;

    const bool natural = cx == width && cy == height;
    const bool indexed = m_header.biClrUsed != 0;
    const RGBQUAD* palette = GetPalette();

    // Source coordinates of box pixel (column, row), row 0 at the bottom of
    // the box. The scaled form is clamped into the picture on both sides:
    // single precision can land exactly on the far edge.
    auto sourceAt = [&](int column, int row, int& sx, int& sy, float& fx, float& fy)
    {
        if (natural)
        {
            sx = left - x + column;
            sy = height - bottom + y + row;
            fx = static_cast<float>(sx);
            fy = static_cast<float>(sy);
            return;
        }
        fx = static_cast<float>(left - x + column) * width / cx;
        fy = height - static_cast<float>(bottom - y - row) * height / cy;
        sx = Clamp(static_cast<int>(std::floor(fx)), 0, width - 1);
        sy = Clamp(static_cast<int>(std::floor(fy)), 0, height - 1);
    };
    const bool interpolate = smooth && !natural;

    const bool transparent = m_info.transparentIndex != -1;
    const bool blend = transparent || m_alpha != nullptr || m_info.alphaPaletteEnabled;
    if (!blend && natural)
    {
        const int oldMode = ::SetStretchBltMode(dc, COLORONCOLOR);
        ::SetDIBitsToDevice(dc, x, y, cx, cy, 0, 0, 0, cy, m_info.pixels,
                            reinterpret_cast<const BITMAPINFO*>(m_block), DIB_RGB_COLORS);
        if (oldMode != 0)
            ::SetStretchBltMode(dc, oldMode);
        return true;
    }

    // One 24-bit section of the paint box, holding the screen under it when
    // the picture blends.
    BoxSection box(dc, boxWidth, boxHeight);
    if (!box.IsValid())
        return false;
    if (blend)
    {
        {
            CSelectScope select(box.GetDC(), box.GetBitmap());
            ::BitBlt(box.GetDC(), 0, 0, boxWidth, boxHeight, dc, left, top, SRCCOPY);
        }
        ::GdiFlush();
    }
    RGBQUAD transColor = GetTransColor();
    transColor.rgbReserved = 0;
    const int transIndex = m_info.transparentIndex;
    for (int row = 0; row < boxHeight; ++row)
    {
        BYTE* out = box.Row(row);
        for (int column = 0; column < boxWidth; ++column, out += 3)
        {
            int sx, sy;
            float fx, fy;
            sourceAt(column, row, sx, sy, fx, fy);
            int a = m_alpha != nullptr ? AlphaRow(sy)[sx] : 255;
            a = blend ? ((m_info.alphaMax + 1) * a) >> 8 : 255;
            RGBQUAD c;
            if (interpolate)
                c = InterpolatePixel(fx - 0.5f, fy - 0.5f, INTERPOLATE_BILINEAR, OVERFLOW_REPEAT);
            if (indexed)
            {
                const BYTE index = GetPixelIndex(sx, sy);
                if (transparent && index == transIndex)
                    continue;
                if (!interpolate)
                    c = GetPaletteColor(index);
                if (m_info.alphaPaletteEnabled && palette != nullptr && index < m_header.biClrUsed)
                    a = ((palette[index].rgbReserved + 1) * a) >> 8;
            }
            else
            {
                if (!interpolate)
                {
                    const BYTE* p = BlindGetPixelPointer(sx, sy);
                    c.rgbBlue = p[0];
                    c.rgbGreen = p[1];
                    c.rgbRed = p[2];
                }
                c.rgbReserved = 0;
                if (transparent && std::memcmp(&c, &transColor, sizeof(RGBQUAD)) == 0)
                    continue;
            }
            if (a == 0)
                continue;
            if (a == 255)
            {
                out[0] = c.rgbBlue;
                out[1] = c.rgbGreen;
                out[2] = c.rgbRed;
                continue;
            }
            out[0] = static_cast<BYTE>((c.rgbBlue * a + out[0] * (255 - a)) >> 8);
            out[1] = static_cast<BYTE>((c.rgbGreen * a + out[1] * (255 - a)) >> 8);
            out[2] = static_cast<BYTE>((c.rgbRed * a + out[2] * (255 - a)) >> 8);
        }
    }
    ::SetDIBitsToDevice(dc, left, top, boxWidth, boxHeight, 0, 0, 0, boxHeight, box.GetBits(),
                        box.GetInfo(), DIB_RGB_COLORS);
    return true;
}

bool CPicture::DrawTiled(HDC dc, const RECT* rect)
{
    if (m_block == nullptr || dc == nullptr || rect == nullptr)
        return false;
    const int width = m_header.biWidth;
    const int height = m_header.biHeight;
    for (LONG top = rect->top; top < rect->bottom; top += height)
    {
        for (LONG left = rect->left; left < rect->right; left += width)
        {
            RECT tile = {left, top, std::min(left + width, rect->right),
                         std::min(top + height, rect->bottom)};
            Draw(dc, left, top, -1, -1, &tile, false);
        }
    }
    return true;
}
