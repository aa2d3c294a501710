#include "PictureTestSupport.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

TempFolder::TempFolder()
{
    static int counter = 0;
    ::CreateDirectoryA("C:\\bwtest", nullptr);
    char name[MAX_PATH];
    std::snprintf(name, sizeof(name), "C:\\bwtest\\picture-%lu-%d",
                  static_cast<unsigned long>(::GetCurrentProcessId()), ++counter);
    m_path = name;
    ::CreateDirectoryA(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder()
{
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((m_path + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE)
    {
        do
        {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                ::DeleteFileA(Path(found.cFileName).c_str());
        } while (::FindNextFileA(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(m_path.c_str());
}

std::string TempFolder::Write(const std::string& name, const Bytes& data) const
{
    const std::string path = Path(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f != nullptr)
    {
        if (!data.empty())
            std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
    return path;
}

size_t MemoryImageFile::Read(void* buffer, size_t size, size_t count)
{
    ++reads;
    if (size == 0 || m_pos >= static_cast<long>(m_data.size()))
        return 0;
    const size_t available = (m_data.size() - static_cast<size_t>(m_pos)) / size;
    const size_t n = count < available ? count : available;
    std::memcpy(buffer, m_data.data() + m_pos, n * size);
    m_pos += static_cast<long>(n * size);
    return n;
}

bool MemoryImageFile::Seek(long offset, int origin)
{
    long base = origin == SEEK_SET ? 0 : (origin == SEEK_CUR ? m_pos : Size());
    if (base + offset < 0)
        return false;
    m_pos = base + offset;
    return true;
}

long MemoryImageFile::GetC()
{
    ++reads;
    if (m_pos >= static_cast<long>(m_data.size()))
        return -1;
    return m_data[m_pos++];
}

namespace
{
void AppendPng(png_structp png, png_bytep data, size_t length)
{
    Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void FlushPng(png_structp) {}
} // namespace

Bytes EncodePng(const PngRecipe& recipe)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
    {
        png_destroy_write_struct(&png, &info);
        return Bytes();
    }
    png_set_write_fn(png, &out, AppendPng, FlushPng);
    png_set_IHDR(png, info, recipe.width, recipe.height, recipe.bitDepth, recipe.colorType,
                 recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!recipe.palette.empty())
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(recipe.palette.data()),
                     static_cast<int>(recipe.palette.size() / 3));
    png_color_16 trans;
    std::memset(&trans, 0, sizeof(trans));
    if (!recipe.transAlpha.empty())
        png_set_tRNS(png, info, recipe.transAlpha.data(),
                     static_cast<int>(recipe.transAlpha.size()), nullptr);
    else if (recipe.transGrey >= 0)
    {
        trans.gray = static_cast<png_uint_16>(recipe.transGrey);
        png_set_tRNS(png, info, nullptr, 1, &trans);
    }
    else if (recipe.transRgb[0] >= 0)
    {
        trans.red = static_cast<png_uint_16>(recipe.transRgb[0]);
        trans.green = static_cast<png_uint_16>(recipe.transRgb[1]);
        trans.blue = static_cast<png_uint_16>(recipe.transRgb[2]);
        png_set_tRNS(png, info, nullptr, 1, &trans);
    }
    if (recipe.background[0] >= 0)
    {
        png_color_16 back;
        std::memset(&back, 0, sizeof(back));
        back.index = static_cast<png_byte>(recipe.background[0]);
        back.gray = static_cast<png_uint_16>(recipe.background[0]);
        back.red = static_cast<png_uint_16>(recipe.background[0]);
        back.green = static_cast<png_uint_16>(recipe.background[1] < 0 ? 0 : recipe.background[1]);
        back.blue = static_cast<png_uint_16>(recipe.background[2] < 0 ? 0 : recipe.background[2]);
        png_set_bKGD(png, info, &back);
    }
    if (recipe.physX >= 0)
        png_set_pHYs(png, info, recipe.physX, recipe.physY, recipe.physUnit);
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    for (const Bytes& row : recipe.rows)
        rows.push_back(const_cast<png_bytep>(row.data()));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

namespace
{
struct JpegError
{
    jpeg_error_mgr pub;
    jmp_buf jump;
};
void JpegExit(j_common_ptr info)
{
    longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}
} // namespace

Bytes EncodeJpeg(const JpegRecipe& recipe)
{
    jpeg_compress_struct info;
    JpegError err;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegExit;
    if (setjmp(err.jump))
    {
        jpeg_destroy_compress(&info);
        return Bytes();
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = recipe.width;
    info.image_height = recipe.height;
    info.input_components = recipe.components;
    info.in_color_space =
        recipe.components == 1 ? JCS_GRAYSCALE : (recipe.components == 4 ? JCS_CMYK : JCS_RGB);
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, recipe.quality, TRUE);
    if (recipe.densityUnit >= 0)
    {
        info.density_unit = static_cast<UINT8>(recipe.densityUnit);
        info.X_density = static_cast<UINT16>(recipe.xDensity);
        info.Y_density = static_cast<UINT16>(recipe.yDensity);
    }
    jpeg_start_compress(&info, TRUE);
    if (!recipe.app1.empty())
        jpeg_write_marker(&info, JPEG_APP0 + 1, recipe.app1.data(),
                          static_cast<unsigned int>(recipe.app1.size()));
    const size_t stride = static_cast<size_t>(recipe.width) * recipe.components;
    while (info.next_scanline < info.image_height)
    {
        JSAMPROW row = const_cast<JSAMPROW>(recipe.pixels.data() + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

Bytes MakeExifBlock(uint32_t xNum, uint32_t xDen, uint32_t yNum, uint32_t yDen, int unit)
{
    Bytes b = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&b](uint32_t v)
    {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto put32 = [&](uint32_t v)
    {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    // Directory at TIFF offset 8: three entries, then the next-directory link.
    const uint32_t values = 8 + 2 + 3 * 12 + 4;
    put16(3);
    put16(282), put16(5), put32(1), put32(values);
    put16(283), put16(5), put32(1), put32(values + 8);
    put16(296), put16(3), put32(1), put32(static_cast<uint32_t>(unit));
    put32(0);
    put32(xNum), put32(xDen), put32(yNum), put32(yDen);
    return b;
}
