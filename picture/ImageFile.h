// The file objects the decoders read through, so that no decoder touches the
// runtime library's stdio functions itself. ImageFile is the abstract stream;
// ImageDiskFile wraps a stdio stream.
#ifndef BRINDLEWOX_PICTURE_IMAGEFILE_H
#define BRINDLEWOX_PICTURE_IMAGEFILE_H

#include "foundation/Base.h"

#include <cstddef>
#include <cstdio>

class ImageFile
{
public:
    ImageFile() = default;
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;
    virtual ~ImageFile() = default;

    virtual bool Close() = 0;
    // Number of whole items read / written.
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
    // origin: SEEK_SET (0), SEEK_CUR (1) or SEEK_END (2).
    virtual bool Seek(long offset, int origin) = 0;
    virtual long Tell() = 0;
    virtual long Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual long Error() = 0;
    virtual bool PutC(unsigned char c);
    // The next byte, or -1 at the end.
    virtual long GetC() = 0;
};

// A stdio stream; it closes the stream when destroyed only when it owns it.
class ImageDiskFile : public ImageFile
{
public:
    explicit ImageDiskFile(FILE* stream = nullptr, bool closeOnDestroy = false)
        : m_stream(stream), m_closeOnDestroy(closeOnDestroy)
    {
    }
    ~ImageDiskFile() override;

    // Opens path with the stdio mode and owns the stream; false when it fails.
    bool Open(const char* path, const char* mode);
    FILE* GetStream() const { return m_stream; }

    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(long offset, int origin) override;
    long Tell() override;
    long Size() override;
    bool Flush() override;
    bool Eof() override;
    long Error() override;
    bool PutC(unsigned char c) override;
    long GetC() override;

private:
    FILE* m_stream;
    bool m_closeOnDestroy;
};

#endif
