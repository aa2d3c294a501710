#include "picture/ImageFile.h"

bool ImageFile::PutC(unsigned char c)
{
    return Write(&c, 1, 1) == 1;
}

ImageDiskFile::~ImageDiskFile()
{
    if (m_closeOnDestroy)
        Close();
}

bool ImageDiskFile::Open(const char* path, const char* mode)
{
    Close();
    m_stream = std::fopen(path, mode);
    m_closeOnDestroy = m_stream != nullptr;
    return m_stream != nullptr;
}

bool ImageDiskFile::Close()
{
    if (m_stream == nullptr)
        return true;
    bool ok = true;
    if (m_closeOnDestroy)
    {
        ok = std::fclose(m_stream) == 0;
        m_stream = nullptr;
    }
    return ok;
}

size_t ImageDiskFile::Read(void* buffer, size_t size, size_t count)
{
    if (m_stream == nullptr)
        return 0;
    return std::fread(buffer, size, count, m_stream);
}

size_t ImageDiskFile::Write(const void* buffer, size_t size, size_t count)
{
    if (m_stream == nullptr)
        return 0;
    return std::fwrite(buffer, size, count, m_stream);
}

bool ImageDiskFile::Seek(long offset, int origin)
{
    if (m_stream == nullptr)
        return false;
    return std::fseek(m_stream, offset, origin) == 0;
}

long ImageDiskFile::Tell()
{
    if (m_stream == nullptr)
        return 0;
    return std::ftell(m_stream);
}

long ImageDiskFile::Size()
{
    if (m_stream == nullptr)
        return -1;
    const long position = std::ftell(m_stream);
    std::fseek(m_stream, 0, SEEK_END);
    const long size = std::ftell(m_stream);
    std::fseek(m_stream, position, SEEK_SET);
    return size;
}

bool ImageDiskFile::Flush()
{
    if (m_stream == nullptr)
        return false;
    return std::fflush(m_stream) == 0;
}

bool ImageDiskFile::Eof()
{
    if (m_stream == nullptr)
        return true;
    return std::feof(m_stream) != 0;
}

long ImageDiskFile::Error()
{
    if (m_stream == nullptr)
        return -1;
    return std::ferror(m_stream);
}

bool ImageDiskFile::PutC(unsigned char c)
{
    if (m_stream == nullptr)
        return false;
    return std::fputc(c, m_stream) == c;
}

long ImageDiskFile::GetC()
{
    if (m_stream == nullptr)
        return -1;
    return std::fgetc(m_stream);
}
