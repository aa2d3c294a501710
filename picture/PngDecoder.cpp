#include "picture/PngDecoder.h"

#include "picture/ImageFile.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

// libpng reports errors by longjmp back into CPngDecoder::Decode. Nothing
// between the setjmp and the callbacks may hold a C++ object with a
// destructor, and no C++ exception may pass through libpng's C frames: the
// callbacks below are plain functions and Decode keeps only plain locals.
namespace
{
void ReadData(png_structp png, png_bytep data, size_t length)
{
    ImageFile* file = static_cast<ImageFile*>(png_get_io_ptr(png));
    if (file->Read(data, 1, length) < length)
        png_error(png, "Read Error");
}

// Keeps libpng's message (at most 255 characters) as the decoder's text.
void OnError(png_structp png, png_const_charp message)
{
    char* text = static_cast<char*>(png_get_error_ptr(png));
    if (text != nullptr)
    {
        std::strncpy(text, message != nullptr ? message : "", 255);
        text[255] = 0;
    }
    png_longjmp(png, 1);
}

// Warnings (benign chunk errors among them) are not failures; libpng would
// print them to standard error without a handler.
void OnWarning(png_structp, png_const_charp) {}

// The default background grey, 192 of 255, in the units of a grey image of
// the given bit depth: libpng puts the value into packed pixels as it is, so
// 192 itself would corrupt the neighbours of a transparent 1-bit pixel.
png_uint_16 DefaultGrey(int colorType, int bitDepth)
{
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0 && bitDepth < 8)
    {
        const int top = (1 << bitDepth) - 1;
        return static_cast<png_uint_16>((192 * top * 2 + 255) / (255 * 2));
    }
    return 192;
}

// 2-bit pixels widened in place to 4-bit ones, from the right end so that no
// byte is overwritten before it is read.
void Widen2To4(BYTE* row, png_uint_32 width)
{
    for (png_uint_32 d = (width + 1) / 2; d-- > 0;)
    {
        // Destination byte d holds pixels 2d and 2d + 1, both in source byte d / 2.
        const BYTE source = row[d / 2];
        const int shift = 6 - 4 * static_cast<int>(d % 2);
        const BYTE first = (source >> shift) & 3;
        const BYTE second = (source >> (shift - 2)) & 3;
        row[d] = static_cast<BYTE>((first << 4) | second);
    }
}
} // namespace

bool CPngDecoder::Decode(ImageFile& file)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr)
    {
        SetError("Failed to create PNG structure");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr)
    {
        png_destroy_read_struct(&png, nullptr, nullptr);
        SetError("Failed to initialize PNG info structure");
        return false;
    }
    // Changed after setjmp and used after a longjmp: volatile.
    BYTE* volatile rowBuffer = nullptr;

    png_set_read_fn(png, &file, ReadData);
    png_set_error_fn(png, m_info.lastError, OnError, OnWarning);
    if (setjmp(png_jmpbuf(png)))
    {
        std::free(rowBuffer);
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }

    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    const int pixelDepth = bitDepth * png_get_channels(png, info);

    png_color_16p fileBackground = nullptr;
    const bool hasBackground = png_get_bKGD(png, info, &fileBackground) != 0;
    if (pixelDepth != 32)
    {
        if (hasBackground)
        {
            png_set_background(png, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
        }
        else
        {
            png_color_16 grey;
            std::memset(&grey, 0, sizeof(grey));
            grey.red = grey.green = grey.blue = 192;
            grey.gray = DefaultGrey(colorType, bitDepth);
            png_set_background(png, &grey, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        }
    }
    else if (hasBackground)
    {
        m_info.transparentColor.rgbRed = static_cast<BYTE>(fileBackground->red);
        m_info.transparentColor.rgbGreen = static_cast<BYTE>(fileBackground->green);
        m_info.transparentColor.rgbBlue = static_cast<BYTE>(fileBackground->blue);
        m_info.transparentColor.rgbReserved = 0;
    }
    if (bitDepth == 16)
        png_set_strip_16(png);

    const int bits = pixelDepth > 16 ? 24 : (pixelDepth == 16 ? 8 : pixelDepth);
    // Sizes beyond an int are refused before they could turn negative.
    const png_uint_32 side = static_cast<png_uint_32>(kMaxSide) + 1;
    if (Create(static_cast<int>(width < side ? width : side),
               static_cast<int>(height < side ? height : side), bits, PICTURE_PNG) == nullptr)
        png_longjmp(png, 1);

    png_uint_32 xPerUnit = 0;
    png_uint_32 yPerUnit = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &xPerUnit, &yPerUnit, &unit) != 0)
    {
        auto dpi = [unit](png_uint_32 perUnit) -> int
        {
            double value = unit == PNG_RESOLUTION_METER ? perUnit * 254.0 / 10000.0 + 0.5 : perUnit;
            return value > 1e9 ? 1000000000 : static_cast<int>(value);
        };
        SetXDPI(dpi(xPerUnit));
        SetYDPI(dpi(yPerUnit));
    }

    png_colorp palette = nullptr;
    int paletteCount = 0;
    if (png_get_PLTE(png, info, &palette, &paletteCount) != 0 && palette != nullptr)
    {
        SetPaletteTriples(reinterpret_cast<const BYTE*>(palette), static_cast<DWORD>(paletteCount));
    }
    else if (bitDepth == 2)
    {
        static const BYTE greys[4] = {0, 85, 170, 255};
        SetPaletteRgb(4, greys, nullptr, nullptr);
    }
    else
    {
        SetGrayPalette();
    }

    // A transparency chunk of a palette picture gives palette alpha. Grey and
    // RGB pictures have no alpha table (their transparent colour was already
    // handled by the background above).
    png_bytep transAlpha = nullptr;
    int transCount = 0;
    png_color_16p transColor = nullptr;
    if (colorType == PNG_COLOR_TYPE_PALETTE &&
        png_get_tRNS(png, info, &transAlpha, &transCount, &transColor) != 0 &&
        transAlpha != nullptr && transCount > 0 && GetPalette() != nullptr)
    {
        RGBQUAD* entries = GetPalette();
        const DWORD colors = m_header.biClrUsed;
        const DWORD n = static_cast<DWORD>(transCount) < colors ? transCount : colors;
        for (DWORD i = 0; i < n; ++i)
            entries[i].rgbReserved = transAlpha[i];
        if (transCount == 1 && transAlpha[0] == 0)
        {
            m_info.transparentIndex = 0;
        }
        else
        {
            m_info.alphaPaletteEnabled = true;
            for (DWORD i = n; i < colors; ++i)
                entries[i].rgbReserved = 255;
        }
    }

    if (colorType == PNG_COLOR_TYPE_RGB_ALPHA ||
        (colorType == PNG_COLOR_TYPE_GRAY_ALPHA && pixelDepth == 32))
    {
        if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        {
            png_set_gray_to_rgb(png);
            png_set_expand(png);
        }
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        if (!AlphaCreate())
        {
            SetError("CPicture::Create can't allocate memory");
            png_longjmp(png, 1);
        }
    }
    if ((colorType & PNG_COLOR_MASK_COLOR) != 0)
        png_set_bgr(png);

    if (m_info.escape != 0)
        png_longjmp(png, 1);

    const int passes = png_set_interlace_handling(png);
    m_info.codecOptions[PICTURE_PNG] = passes > 1 ? 1 : 0;
    // The transformed row size, known once the transformations are set up
    // (after the palette was read: setting them up composites libpng's copy
    // of it). The buffer is never smaller than what libpng writes into it.
    png_read_update_info(png, info);
    const size_t outputRow = png_get_rowbytes(png, info);
    size_t bufferSize = static_cast<size_t>((pixelDepth + 7) / 8) * width + 10;
    if (bufferSize < outputRow + 10)
        bufferSize = outputRow + 10;
    const bool alpha = m_alpha != nullptr;
    if (alpha && outputRow < static_cast<size_t>(width) * 4)
    {
        SetError("PNG row format not supported");
        png_longjmp(png, 1);
    }
    rowBuffer = static_cast<BYTE*>(std::calloc(1, bufferSize));
    if (rowBuffer == nullptr)
    {
        SetError("CPicture::Create can't allocate memory");
        png_longjmp(png, 1);
    }

    const size_t imageRow = m_info.rowBytes;
    for (int pass = 0; pass < passes; ++pass)
    {
        const bool refill = interlace != PNG_INTERLACE_NONE && pass > 0;
        const bool lastPass = pass == passes - 1;
        for (png_uint_32 k = 0; k < height; ++k)
        {
            if (m_info.escape != 0)
                png_longjmp(png, 1);
            BYTE* row = GetBits(static_cast<int>(height - 1 - k));
            BYTE* buffer = rowBuffer;
            if (alpha)
            {
                BYTE* alphaRow = AlphaRow(static_cast<int>(height - 1 - k));
                if (refill)
                {
                    for (png_uint_32 x = 0; x < width; ++x)
                    {
                        buffer[x * 4] = row[x * 3];
                        buffer[x * 4 + 1] = row[x * 3 + 1];
                        buffer[x * 4 + 2] = row[x * 3 + 2];
                        buffer[x * 4 + 3] = alphaRow[x];
                    }
                }
                png_read_row(png, buffer, nullptr);
                for (png_uint_32 x = 0; x < width; ++x)
                {
                    row[x * 3] = buffer[x * 4];
                    row[x * 3 + 1] = buffer[x * 4 + 1];
                    row[x * 3 + 2] = buffer[x * 4 + 2];
                    alphaRow[x] = buffer[x * 4 + 3];
                }
            }
            else
            {
                // Earlier passes of a 2-bit picture stay 2-bit in the image
                // row; only the last pass widens them.
                size_t length = outputRow;
                if (refill)
                    std::memcpy(buffer, row, length < imageRow ? length : imageRow);
                png_read_row(png, buffer, nullptr);
                if (bitDepth == 2 && lastPass)
                {
                    Widen2To4(buffer, width);
                    length = (width + 1) / 2;
                }
                std::memcpy(row, buffer, length < imageRow ? length : imageRow);
            }
        }
    }

    std::free(rowBuffer);
    rowBuffer = nullptr;
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}
