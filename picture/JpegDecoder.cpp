#include "picture/JpegDecoder.h"

#include "picture/ImageFile.h"

#include <csetjmp>
#include <new>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

static_assert(JPEG_LIB_VERSION == 62, "the decoder is written for the libjpeg 6b interface");

// libjpeg reports errors through its exit routine, which longjmps back into
// CJpegDecoder::Decode. Nothing between the setjmp and the callbacks may hold
// a C++ object with a destructor; the callbacks are plain functions and the
// decode keeps only plain structures.
namespace
{
const size_t kSourceBuffer = 4096;

struct ErrorManager
{
    jpeg_error_mgr pub;
    jmp_buf jump;
    char* text;
};

struct SourceManager
{
    jpeg_source_mgr pub;
    ImageFile* file;
    bool startOfFile;
    JOCTET buffer[kSourceBuffer];
};

void ExitOnError(j_common_ptr info)
{
    ErrorManager* err = reinterpret_cast<ErrorManager*>(info->err);
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    std::strncpy(err->text, message, 255);
    err->text[255] = 0;
    longjmp(err->jump, 1);
}

// Warnings (a truncated file among them) are not failures and are not shown.
void SilentMessage(j_common_ptr) {}

void InitSource(j_decompress_ptr info)
{
    reinterpret_cast<SourceManager*>(info->src)->startOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr info)
{
    SourceManager* src = reinterpret_cast<SourceManager*>(info->src);
    size_t n = src->file->Read(src->buffer, 1, kSourceBuffer);
    if (n == 0)
    {
        if (src->startOfFile)
            ERREXIT(info, JERR_INPUT_EMPTY);
        WARNMS(info, JWRN_JPEG_EOF);
        // The rest of a cut file is supplied as an end of image.
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    src->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count)
{
    SourceManager* src = reinterpret_cast<SourceManager*>(info->src);
    if (count <= 0)
        return;
    while (count > static_cast<long>(src->pub.bytes_in_buffer))
    {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        FillInputBuffer(info);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= count;
}

void TermSource(j_decompress_ptr) {}
} // namespace

CJpegDecoder::CJpegDecoder() : CPicture(PICTURE_JPEG)
{
    std::memset(&m_exifInfo, 0, sizeof(m_exifInfo));
}

CJpegDecoder::~CJpegDecoder()
{
    delete m_exif;
}

bool CJpegDecoder::Decode(ImageFile& file)
{
    // The resolution comes from the EXIF block when there is one.
    delete m_exif;
    m_exif = new (std::nothrow) ExifReader(&m_exifInfo);
    if (m_exif != nullptr)
    {
        const long position = file.Tell();
        m_exif->DecodeExif(file, 1);
        file.Seek(position, SEEK_SET);
    }
    const bool isExif = m_exifInfo.isExif;

    jpeg_decompress_struct info;
    ErrorManager err;
    SourceManager src;
    std::memset(&info, 0, sizeof(info));
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = ExitOnError;
    err.pub.output_message = SilentMessage;
    err.text = m_info.lastError;
    if (setjmp(err.jump))
    {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_CreateDecompress(&info, JPEG_LIB_VERSION, sizeof(info));
    std::memset(&src.pub, 0, sizeof(src.pub));
    src.file = &file;
    src.startOfFile = true;
    src.pub.init_source = InitSource;
    src.pub.fill_input_buffer = FillInputBuffer;
    src.pub.skip_input_data = SkipInputData;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = TermSource;
    info.src = &src.pub;

    jpeg_read_header(&info, TRUE);

    const DWORD options = m_info.codecOptions[PICTURE_JPEG];
    if (options & JPEG_OPTION_GRAYSCALE)
        info.out_color_space = JCS_GRAYSCALE;
    if (options & JPEG_OPTION_QUANTIZE)
    {
        info.quantize_colors = TRUE;
        info.desired_number_of_colors = m_info.jpegQuality;
    }
    if (options & JPEG_OPTION_DITHER)
        info.dither_mode = static_cast<J_DITHER_MODE>(m_dither);
    if (options & JPEG_OPTION_NO_TWO_PASS)
        info.two_pass_quantize = FALSE;
    if (options & JPEG_OPTION_NO_FANCY_UPSAMPLING)
        info.do_fancy_upsampling = FALSE;
    // libjpeg-turbo reads a denominator of 0 as twice the size: only a real
    // denominator is passed on.
    if (m_info.jpegScale >= 1)
    {
        info.scale_num = 1;
        info.scale_denom = m_info.jpegScale;
    }

    if (m_info.escape == -1)
    {
        jpeg_calc_output_dimensions(&info);
        m_header.biWidth = static_cast<LONG>(info.output_width);
        m_header.biHeight = static_cast<LONG>(info.output_height);
        m_info.type = PICTURE_JPEG;
        jpeg_destroy_decompress(&info);
        return true;
    }

    jpeg_start_decompress(&info);
    const JDIMENSION side = static_cast<JDIMENSION>(kMaxSide) + 1;
    if (Create(static_cast<int>(info.output_width < side ? info.output_width : side),
               static_cast<int>(info.output_height < side ? info.output_height : side),
               8 * info.output_components, PICTURE_JPEG) == nullptr)
        longjmp(err.jump, 1);

    if (isExif)
    {
        if (m_exifInfo.xResolution != 0 && m_exifInfo.resolutionUnit != 0)
            SetXDPI(static_cast<int>(m_exifInfo.xResolution / m_exifInfo.resolutionUnit));
        if (m_exifInfo.yResolution != 0 && m_exifInfo.resolutionUnit != 0)
            SetYDPI(static_cast<int>(m_exifInfo.yResolution / m_exifInfo.resolutionUnit));
    }
    else if (info.density_unit == 2)
    {
        SetXDPI(static_cast<int>(info.X_density * 2.54 + 0.5));
        SetYDPI(static_cast<int>(info.Y_density * 2.54 + 0.5));
    }
    else
    {
        SetXDPI(info.X_density);
        SetYDPI(info.Y_density);
    }

    const bool quantized = info.quantize_colors != FALSE;
    if (quantized)
    {
        // The palette keeps its 256 entries so that the pixel rows stay where
        // the block layout puts them; the colours libjpeg chose come first and
        // the nearest-colour search is limited to them.
        const int count = info.actual_number_of_colors;
        const BYTE* red = info.colormap[0];
        const BYTE* green = info.out_color_components >= 3 ? info.colormap[1] : nullptr;
        const BYTE* blue = info.out_color_components >= 3 ? info.colormap[2] : nullptr;
        SetPaletteRgb(static_cast<DWORD>(count), red, green, blue);
        m_header.biClrImportant = static_cast<DWORD>(count);
        reinterpret_cast<BITMAPINFOHEADER*>(m_block)->biClrImportant = m_header.biClrImportant;
    }
    else if (info.out_color_space == JCS_GRAYSCALE)
    {
        SetGrayPalette();
    }

    const int components = info.output_components;
    const size_t rowLength = static_cast<size_t>(info.output_width) * components;
    JSAMPARRAY buffer = (*info.mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, static_cast<JDIMENSION>(rowLength), 1);
    ImageIterator rows(this);
    rows.Upset();
    while (info.output_scanline < info.output_height)
    {
        if (m_info.escape != 0)
            longjmp(err.jump, 1);
        jpeg_read_scanlines(&info, buffer, 1);
        BYTE* row = rows.GetRow();
        if (row != nullptr)
        {
            if (components == 4 && !quantized)
            {
                const BYTE* s = buffer[0];
                const JDIMENSION width = info.output_width;
                for (JDIMENSION x = 0; x < width; ++x, s += 4)
                {
                    row[x * 3] = static_cast<BYTE>(s[2] * s[3] / 255);
                    row[x * 3 + 1] = static_cast<BYTE>(s[1] * s[3] / 255);
                    row[x * 3 + 2] = static_cast<BYTE>(s[0] * s[3] / 255);
                }
            }
            else
            {
                rows.SetRow(buffer[0], rowLength);
            }
        }
        rows.PrevRow();
    }
    jpeg_finish_decompress(&info);

    if (components == 3 && !quantized)
    {
        for (int y = 0; y < m_header.biHeight; ++y)
        {
            if (m_info.escape != 0)
                longjmp(err.jump, 1);
            RgbToBgr(GetBits(y), static_cast<DWORD>(rowLength));
        }
    }
    jpeg_destroy_decompress(&info);
    return true;
}
