// Resampling and interpolation: sixteen kernels, six overflow rules and area
// averaging for shrinking. Sample positions are single-precision floats in
// source pixels, pixel (i, j) centred at (i, j).
//
// Sums of weighted colours are rounded to the nearest level, not truncated:
// in single precision the sixteen bicubic weights often add up to a hair
// below 1, and truncation then turns a uniform 255 into 254. That would let
// the magenta key colour of the button strips (0xFF00FF) escape its mask
// after every resize.
#include "picture/Picture.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr float kPi = 3.14159265358979f;

// Floor of a sample position: truncation, one less for negative values
// (so exactly -1.0 gives -2; the kernels are 0 at the window's edge, so the
// same pixels get the same weights).
inline int FloorPosition(float v)
{
    const int i = static_cast<int>(v);
    return v < 0 ? i - 1 : i;
}

inline BYTE RoundChannel(float v)
{
    if (v <= 0.0f)
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<BYTE>(static_cast<int>(v + 0.5f));
}

RGBQUAD MakeColor(BYTE blue, BYTE green, BYTE red, BYTE alpha)
{
    RGBQUAD c;
    c.rgbBlue = blue;
    c.rgbGreen = green;
    c.rgbRed = red;
    c.rgbReserved = alpha;
    return c;
}

// J1, the first-order Bessel function of the first kind, by the classical
// rational approximations (single precision is all the kernel needs).
float BesselJ1(float u)
{
    const double ax = std::fabs(u);
    if (ax < 8.0)
    {
        const double y = static_cast<double>(u) * u;
        const double p =
            u *
            (72362614232.0 +
             y * (-7895059235.0 +
                  y * (242396853.1 + y * (-2972611.439 + y * (15704.48260 + y * (-30.16036606))))));
        const double q =
            144725228442.0 +
            y * (2300535178.0 + y * (18583304.74 + y * (99447.43394 + y * (376.9991397 + y))));
        return static_cast<float>(p / q);
    }
    const double z = 8.0 / ax;
    const double y = z * z;
    const double xx = ax - 2.356194491;
    const double p1 =
        1.0 +
        y * (0.183105e-2 + y * (-0.3516396496e-4 + y * (0.2457520174e-5 + y * (-0.240337019e-6))));
    const double q1 =
        0.04687499995 +
        y * (-0.2002690873e-3 + y * (0.8449199096e-5 + y * (-0.88228987e-6 + y * 0.105787412e-6)));
    double result = std::sqrt(0.636619772 / ax) * (std::cos(xx) * p1 - z * std::sin(xx) * q1);
    if (u < 0)
        result = -result;
    return static_cast<float>(result);
}

float Cube(float u)
{
    return u > 0.0f ? u * u * u : 0.0f;
}

float BicubicA(float t, float a)
{
    const float at = std::fabs(t);
    if (at < 1.0f)
        return (a + 2.0f) * at * at * at - (a + 3.0f) * t * t + 1.0f;
    if (at < 2.0f)
        return a * at * at * at - 5.0f * a * t * t + 8.0f * a * at - 4.0f * a;
    return 0.0f;
}

float Sinc(float t)
{
    return std::sin(kPi * t) / (kPi * t);
}

// The weight of a source pixel at signed distance t from the sample.
float Kernel(int method, float t)
{
    switch (method)
    {
    case INTERPOLATE_BSPLINE:
        if (t > 2.0f)
            return 0.0f;
        return (Cube(t + 2.0f) - 4.0f * Cube(t + 1.0f) + 6.0f * Cube(t) - 4.0f * Cube(t - 1.0f)) /
               6.0f;
    case INTERPOLATE_BICUBIC:
    {
        const float at = std::fabs(t);
        if (at < 1.0f)
            return 1.0f - 2.0f * t * t + at * at * at;
        if (at < 2.0f)
            return 4.0f - 8.0f * at + 5.0f * t * t - at * at * at;
        return 0.0f;
    }
    case INTERPOLATE_BICUBIC2:
        return BicubicA(t, -0.5f);
    case INTERPOLATE_LANCZOS:
        if (t == 0.0f)
            return 1.0f;
        if (std::fabs(t) > 6.0f)
            return 0.0f;
        return Sinc(t) * Sinc(t / 6.0f);
    case INTERPOLATE_BOX:
        return (t >= -0.5f && t < 0.5f) ? 1.0f : 0.0f;
    case INTERPOLATE_HERMITE:
        if (t >= -1.0f && t < 0.0f)
            return (-2.0f * t - 3.0f) * t * t + 1.0f;
        if (t >= 0.0f && t < 1.0f)
            return (2.0f * t - 3.0f) * t * t + 1.0f;
        return 0.0f;
    case INTERPOLATE_HAMMING:
        if (t >= -1.0f && t < 0.0f)
            return (-2.0f * t - 3.0f) * 0.92f * t * t + 1.0f;
        if (t >= 0.0f && t < 1.0f)
            return (2.0f * t - 3.0f) * 0.92f * t * t + 1.0f;
        return 0.0f;
    case INTERPOLATE_SINC:
        return t == 0.0f ? 1.0f : Sinc(t);
    case INTERPOLATE_BLACKMAN:
        return 0.42f + 0.5f * std::cos(kPi * t) + 0.08f * std::cos(2.0f * kPi * t);
    case INTERPOLATE_BESSEL:
        if (t == 0.0f)
            return 0.7853982f;
        return BesselJ1(kPi * t) / (2.0f * t);
    case INTERPOLATE_GAUSSIAN:
        return std::exp(-2.0f * t * t) * 0.7978846f;
    case INTERPOLATE_QUADRATIC:
        if (t >= -1.5f && t < -0.5f)
            return 0.5f * (t + 1.5f) * (t + 1.5f);
        if (t >= -0.5f && t < 0.5f)
            return 0.75f - t * t;
        if (t >= 0.5f && t < 1.5f)
            return 0.5f * (t - 1.5f) * (t - 1.5f);
        return 0.0f;
    case INTERPOLATE_MITCHELL:
        if (t >= -2.0f && t < -1.0f)
            return 1.7777778f - (-3.3333333f - (2.0f + 0.38888887f * t) * t) * t;
        if (t >= -1.0f && t < 0.0f)
            return (-2.0f - 1.1666666f * t) * t * t + 0.8888889f;
        if (t >= 0.0f && t < 1.0f)
            return (1.1666666f * t - 2.0f) * t * t + 0.8888889f;
        if (t >= 1.0f && t < 2.0f)
            return ((2.0f - 0.38888887f * t) * t - 3.3333333f) * t + 1.7777778f;
        return 0.0f;
    case INTERPOLATE_CATROM:
        if (t >= -2.0f && t < -1.0f)
            return (((t + 5.0f) * t + 8.0f) * t + 4.0f) / 2.0f;
        if (t >= -1.0f && t < 0.0f)
            return ((-5.0f - 3.0f * t) * t * t + 2.0f) / 2.0f;
        if (t >= 0.0f && t < 1.0f)
            return ((3.0f * t - 5.0f) * t * t + 2.0f) / 2.0f;
        if (t >= 1.0f && t < 2.0f)
            return (((5.0f - t) * t - 8.0f) * t + 4.0f) / 2.0f;
        return 0.0f;
    default:
        return 0.0f;
    }
}

bool MovesIntoPicture(int overflow)
{
    return overflow == OVERFLOW_WRAP || overflow == OVERFLOW_REPEAT || overflow == OVERFLOW_MIRROR;
}

// A rectangle of floats: left, top, right, bottom with top ≤ bottom.
struct FloatRect
{
    float left, top, right, bottom;

    float Surface() const { return (bottom - top) * (right - left); }
    float Width() const { return right - left; }
    float Height() const { return bottom - top; }
    FloatRect Intersect(const FloatRect& o) const
    {
        FloatRect r = {left > o.left ? left : o.left, top > o.top ? top : o.top,
                       right < o.right ? right : o.right, bottom < o.bottom ? bottom : o.bottom};
        if (r.left >= r.right || r.top >= r.bottom)
            r = {0.0f, 0.0f, 0.0f, 0.0f};
        return r;
    }
};
} // namespace

void CPicture::OverflowCoordinates(int& x, int& y, int overflow) const
{
    const int width = m_header.biWidth;
    const int height = m_header.biHeight;
    if (width <= 0 || height <= 0 || IsInside(x, y))
        return;
    switch (overflow)
    {
    case OVERFLOW_WRAP:
        x %= width;
        if (x < 0)
            x += width;
        y %= height;
        if (y < 0)
            y += height;
        break;
    case OVERFLOW_REPEAT:
        x = x < 0 ? 0 : (x >= width ? width - 1 : x);
        y = y < 0 ? 0 : (y >= height ? height - 1 : y);
        break;
    case OVERFLOW_MIRROR:
        if (x < 0)
            x = (-x) % width;
        else if (x >= width)
            x = width - (x % width) - 1;
        if (y < 0)
            y = (-y) % height;
        else if (y >= height)
            y = height - (y % height) - 1;
        break;
    default:
        break;
    }
}

void CPicture::OverflowCoordinates(float& x, float& y, int overflow) const
{
    const float width = static_cast<float>(m_header.biWidth);
    const float height = static_cast<float>(m_header.biHeight);
    if (width <= 0 || height <= 0)
        return;
    if (x >= 0 && x < width && y >= 0 && y < height)
        return;
    switch (overflow)
    {
    case OVERFLOW_WRAP:
        x = std::fmod(x, width);
        if (x < 0)
            x += width;
        y = std::fmod(y, height);
        if (y < 0)
            y += height;
        break;
    case OVERFLOW_REPEAT:
        x = x < 0 ? 0 : (x > width - 1 ? width - 1 : x);
        y = y < 0 ? 0 : (y > height - 1 ? height - 1 : y);
        break;
    case OVERFLOW_MIRROR:
        if (x < 0)
            x = std::fmod(-x, width);
        else if (x >= width)
            x = width - (std::fmod(x, width) + 1);
        if (y < 0)
            y = std::fmod(-y, height);
        else if (y >= height)
            y = height - (std::fmod(y, height) + 1);
        break;
    default:
        break;
    }
}

RGBQUAD CPicture::GetPixelColorOverflow(int x, int y, int overflow,
                                        const RGBQUAD* replacement) const
{
    const RGBQUAD fallback = replacement != nullptr ? *replacement : MakeColor(255, 255, 255, 0);
    if (m_info.pixels == nullptr)
        return fallback;
    if (IsInside(x, y))
        return BlindGetPixelColor(x, y);
    if (MovesIntoPicture(overflow))
    {
        OverflowCoordinates(x, y, overflow);
        if (IsInside(x, y))
            return BlindGetPixelColor(x, y);
        return fallback;
    }
    switch (overflow)
    {
    case OVERFLOW_BACKGROUND:
        if (m_info.transparentIndex == -1)
            return fallback;
        if (m_header.biBitCount < 24)
            return GetPaletteColor(static_cast<BYTE>(m_info.transparentIndex));
        return m_info.transparentColor;
    case OVERFLOW_TRANSPARENT:
        if (m_alpha != nullptr)
        {
            RGBQUAD c = fallback;
            c.rgbReserved = 0;
            return c;
        }
        if (m_info.transparentIndex != -1)
            return GetTransColor();
        return fallback;
    default:
        return fallback;
    }
}

RGBQUAD CPicture::InterpolatePixel(float x, float y, int method, int overflow,
                                   const RGBQUAD* replacement) const
{
    const int width = m_header.biWidth;
    const int height = m_header.biHeight;
    if (m_info.pixels == nullptr)
        return GetPixelColorOverflow(0, 0, overflow, replacement);
    const bool direct24 = m_header.biBitCount == 24;
    const bool hasAlpha = m_alpha != nullptr;
    int ix = FloorPosition(x);
    int iy = FloorPosition(y);

    if (method == INTERPOLATE_NEAREST)
        return GetPixelColorOverflow(static_cast<int>(x + 0.5f), static_cast<int>(y + 0.5f),
                                     overflow, replacement);

    if (method < INTERPOLATE_NEAREST || method == INTERPOLATE_BILINEAR ||
        method > INTERPOLATE_CATROM)
    {
        if (ix < -1 || ix >= width || iy < -1 || iy >= height)
        {
            if (!MovesIntoPicture(overflow))
                return GetPixelColorOverflow(-1, -1, overflow, replacement);
            OverflowCoordinates(x, y, overflow);
            ix = FloorPosition(x);
            iy = FloorPosition(y);
        }
        if (direct24 && IsInside(ix, iy) && IsInside(ix + 1, iy + 1))
        {
            // 1/256 fixed point; the four weights add up to exactly 256.
            const int u = static_cast<int>((x - ix) * 256);
            const int v = static_cast<int>((y - iy) * 256);
            const int w11 = (u * v) >> 8;
            const int w10 = u - w11;
            const int w01 = v - w11;
            const int w00 = 256 - u - v + w11;
            const BYTE* p00 = BlindGetPixelPointer(ix, iy);
            const BYTE* p10 = p00 + 3;
            const BYTE* p01 = BlindGetPixelPointer(ix, iy + 1);
            const BYTE* p11 = p01 + 3;
            RGBQUAD c;
            c.rgbBlue =
                static_cast<BYTE>((p00[0] * w00 + p10[0] * w10 + p01[0] * w01 + p11[0] * w11) >> 8);
            c.rgbGreen =
                static_cast<BYTE>((p00[1] * w00 + p10[1] * w10 + p01[1] * w01 + p11[1] * w11) >> 8);
            c.rgbRed =
                static_cast<BYTE>((p00[2] * w00 + p10[2] * w10 + p01[2] * w01 + p11[2] * w11) >> 8);
            c.rgbReserved = 0;
            if (hasAlpha)
            {
                const BYTE* a0 = AlphaRow(iy) + ix;
                const BYTE* a1 = AlphaRow(iy + 1) + ix;
                c.rgbReserved =
                    static_cast<BYTE>((a0[0] * w00 + a0[1] * w10 + a1[0] * w01 + a1[1] * w11) >> 8);
            }
            return c;
        }
        const RGBQUAD c00 = GetPixelColorOverflow(ix, iy, overflow, replacement);
        const RGBQUAD c10 = GetPixelColorOverflow(ix + 1, iy, overflow, replacement);
        const RGBQUAD c01 = GetPixelColorOverflow(ix, iy + 1, overflow, replacement);
        const RGBQUAD c11 = GetPixelColorOverflow(ix + 1, iy + 1, overflow, replacement);
        const float fx = x - ix;
        const float fy = y - iy;
        const float w11 = fx * fy;
        const float w01 = fy - w11;
        const float w10 = fx - w11;
        const float w00 = 1.0f - fx - w01;
        RGBQUAD c;
        c.rgbBlue = RoundChannel(c00.rgbBlue * w00 + c10.rgbBlue * w10 + c01.rgbBlue * w01 +
                                 c11.rgbBlue * w11);
        c.rgbGreen = RoundChannel(c00.rgbGreen * w00 + c10.rgbGreen * w10 + c01.rgbGreen * w01 +
                                  c11.rgbGreen * w11);
        c.rgbRed =
            RoundChannel(c00.rgbRed * w00 + c10.rgbRed * w10 + c01.rgbRed * w01 + c11.rgbRed * w11);
        c.rgbReserved = hasAlpha ? RoundChannel(c00.rgbReserved * w00 + c10.rgbReserved * w10 +
                                                c01.rgbReserved * w01 + c11.rgbReserved * w11)
                                 : 0;
        return c;
    }

    // The windowed kernels: 4 × 4 pixels from floor − 1 to floor + 2, or
    // 12 × 12 from floor − 5 to floor + 6 for Lanczos.
    const int reach = method == INTERPOLATE_LANCZOS ? 6 : 2;
    const int span = reach * 2;
    if (ix + reach < 0 || ix - (reach - 1) >= width || iy + reach < 0 || iy - (reach - 1) >= height)
    {
        if (!MovesIntoPicture(overflow))
            return GetPixelColorOverflow(-1, -1, overflow, replacement);
        OverflowCoordinates(x, y, overflow);
        ix = FloorPosition(x);
        iy = FloorPosition(y);
    }
    float wx[12];
    float wy[12];
    for (int i = 0; i < span; ++i)
    {
        wx[i] = Kernel(method, static_cast<float>(ix - (reach - 1) + i) - x);
        wy[i] = Kernel(method, static_cast<float>(iy - (reach - 1) + i) - y);
    }
    const int x0 = ix - (reach - 1);
    const int y0 = iy - (reach - 1);
    const bool inside = direct24 && x0 >= 0 && ix + reach < width && y0 >= 0 && iy + reach < height;
    float blue = 0, green = 0, red = 0, alpha = 0;
    for (int j = 0; j < span; ++j)
    {
        const int py = y0 + j;
        if (inside)
        {
            const BYTE* p = BlindGetPixelPointer(x0, py);
            const BYTE* a = hasAlpha ? AlphaRow(py) + x0 : nullptr;
            for (int i = 0; i < span; ++i, p += 3)
            {
                const float w = wx[i] * wy[j];
                blue += p[0] * w;
                green += p[1] * w;
                red += p[2] * w;
                if (a != nullptr)
                    alpha += a[i] * w;
            }
        }
        else
        {
            for (int i = 0; i < span; ++i)
            {
                const float w = wx[i] * wy[j];
                const RGBQUAD c = GetPixelColorOverflow(x0 + i, py, overflow, replacement);
                blue += c.rgbBlue * w;
                green += c.rgbGreen * w;
                red += c.rgbRed * w;
                alpha += c.rgbReserved * w;
            }
        }
    }
    return MakeColor(RoundChannel(blue), RoundChannel(green), RoundChannel(red),
                     hasAlpha ? RoundChannel(alpha) : 0);
}

RGBQUAD CPicture::InterpolateArea(float x, float y, float areaWidth, float areaHeight, int method,
                                  int overflow, const RGBQUAD* replacement) const
{
    if (areaWidth <= 1.0f && areaHeight <= 1.0f)
        return InterpolatePixel(x, y, method, overflow, replacement);
    const FloatRect area = {x - areaWidth / 2, y - areaHeight / 2, x + areaWidth / 2,
                            y + areaHeight / 2};
    const int xmin = static_cast<int>(area.left + 0.5f);
    const int ymin = static_cast<int>(area.top + 0.5f);
    const int xmax = static_cast<int>(area.right + 0.5f);
    const int ymax = static_cast<int>(area.bottom + 0.5f);
    float blue = 0, green = 0, red = 0, alpha = 0;

    if (areaWidth <= 1.0f || areaHeight <= 1.0f)
    {
        // Shrinking one way, growing the other: each covered piece is
        // sampled at its own centre.
        for (int j = ymin; j <= ymax; ++j)
        {
            for (int i = xmin; i <= xmax; ++i)
            {
                const FloatRect square = {i - 0.5f, j - 0.5f, i + 0.5f, j + 0.5f};
                const FloatRect cut = square.Intersect(area);
                const float s = cut.Surface();
                if (s <= 0.0f)
                    continue;
                const RGBQUAD c =
                    InterpolatePixel((cut.left + cut.right) / 2, (cut.top + cut.bottom) / 2, method,
                                     overflow, replacement);
                blue += c.rgbBlue * s;
                green += c.rgbGreen * s;
                red += c.rgbRed * s;
                alpha += c.rgbReserved * s;
            }
        }
    }
    else
    {
        // Every covered pixel weighted by the part of it inside the area:
        // the corners and edges by their cuts, the inner pixels by 1.
        for (int j = ymin; j <= ymax; ++j)
        {
            float h = 1.0f;
            if (j == ymin || j == ymax)
                h = FloatRect{area.left, j - 0.5f, area.right, j + 0.5f}.Intersect(area).Height();
            if (h <= 0.0f)
                continue;
            for (int i = xmin; i <= xmax; ++i)
            {
                float w = 1.0f;
                if (i == xmin || i == xmax)
                    w = FloatRect{i - 0.5f, area.top, i + 0.5f, area.bottom}
                            .Intersect(area)
                            .Width();
                if (w <= 0.0f)
                    continue;
                const float weight = w * h;
                const RGBQUAD c = GetPixelColorOverflow(i, j, overflow, replacement);
                blue += c.rgbBlue * weight;
                green += c.rgbGreen * weight;
                red += c.rgbRed * weight;
                alpha += c.rgbReserved * weight;
            }
        }
    }
    const float surface = areaWidth * areaHeight;
    return MakeColor(RoundChannel(blue / surface), RoundChannel(green / surface),
                     RoundChannel(red / surface),
                     m_alpha != nullptr ? RoundChannel(alpha / surface) : 0);
}

bool CPicture::Resample(int newWidth, int newHeight, int method, int overflow,
                        CPicture* destination, bool noAveraging)
{
    if (newWidth < 1 || newHeight < 1 || m_block == nullptr)
        return false;
    const int width = m_header.biWidth;
    const int height = m_header.biHeight;
    if (newWidth == width && newHeight == height)
    {
        if (destination != nullptr)
            destination->Copy(*this, true, true, true);
        return true;
    }
    const float xScale = static_cast<float>(width) / newWidth;
    const float yScale = static_cast<float>(height) / newHeight;

    CPicture result(PICTURE_DETECT);
    result.CopyInfo(*this);
    if (result.Create(newWidth, newHeight, m_header.biBitCount, m_info.type) == nullptr)
        return false;
    result.SetPalette(GetPalette(), m_header.biClrUsed < 256 ? m_header.biClrUsed : 256);
    if (m_alpha != nullptr && !result.AlphaCreate())
        return false;

    const bool averaging = (xScale > 1.0f || yScale > 1.0f) && !noAveraging;
    const bool indexed = m_header.biClrUsed != 0;
    for (int y = 0; y < newHeight; ++y)
    {
        m_info.progress = static_cast<int>(static_cast<int64_t>(y) * 100 / newHeight);
        if (m_info.escape != 0)
            break;
        const float sy = (y + 0.5f) * yScale - 0.5f;
        BYTE* row = result.GetBits(y);
        BYTE* alphaRow = result.m_alpha != nullptr ? result.AlphaRow(y) : nullptr;
        for (int x = 0; x < newWidth; ++x)
        {
            const float sx = (x + 0.5f) * xScale - 0.5f;
            if (averaging)
            {
                const RGBQUAD c = InterpolateArea(sx, sy, xScale, yScale, method, overflow);
                result.SetPixelColor(x, y, c, true);
            }
            else if (indexed)
            {
                const RGBQUAD c = InterpolatePixel(sx, sy, method, overflow);
                result.SetPixelColor(x, y, c, true);
            }
            else
            {
                const RGBQUAD c = InterpolatePixel(sx, sy, method, overflow);
                row[x * 3] = c.rgbBlue;
                row[x * 3 + 1] = c.rgbGreen;
                row[x * 3 + 2] = c.rgbRed;
                if (alphaRow != nullptr)
                    alphaRow[x] = c.rgbReserved;
            }
        }
    }
    result.m_info.progress = m_info.progress;
    if (destination != nullptr)
        return destination->Transfer(result);
    return Transfer(result);
}
