// Loading: the file objects are handed to the decoder of a type, or to each
// decoder in the detection order until one accepts the data.
#include "picture/ImageDecoders.h"
#include "picture/ImageFile.h"
#include "picture/Picture.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace
{
const char kUnknownFormat[] = "Decode: Unknown or wrong format";

// BMP first: it also accepts data without the "BM" file header.
const DWORD kDetectionOrder[] = {PICTURE_BMP, PICTURE_JPEG, PICTURE_ICO,
                                 PICTURE_GIF, PICTURE_PNG,  PICTURE_WBMP};
} // namespace

CPicture::DecoderEntry CPicture::FindDecoder(DWORD type)
{
    switch (type)
    {
    case PICTURE_BMP:
        return &CPicture::DecodeWith<CBmpDecoder>;
    case PICTURE_GIF:
        return &CPicture::DecodeWith<CGifDecoder>;
    case PICTURE_ICO:
        return &CPicture::DecodeWith<CIcoDecoder>;
    case PICTURE_WBMP:
        return &CPicture::DecodeWith<CWbmpDecoder>;
    case PICTURE_JPEG:
        return &CPicture::DecodeWith<CJpegDecoder>;
    case PICTURE_PNG:
        return &CPicture::DecodeWith<CPngDecoder>;
    default:
        return nullptr;
    }
}

template <class Decoder> bool CPicture::DecodeWith(ImageFile& file)
{
    Decoder* decoder = new (std::nothrow) Decoder();
    if (decoder == nullptr)
    {
        SetError("CPicture::Create can't allocate memory");
        return false;
    }
    const DWORD type = decoder->m_info.type;
    decoder->CopyInfo(*this);
    bool ok = decoder->Decode(file);
    if (ok)
    {
        ok = Transfer(*decoder);
        if (!ok)
            SetError("CPicture::Decode : the image cannot be replaced");
    }
    else
    {
        SetError(decoder->m_info.lastError);
        if (type == PICTURE_ICO || type == PICTURE_GIF)
            m_info.frameCount = decoder->m_info.frameCount;
    }
    delete decoder;
    return ok;
}

bool CPicture::Decode(ImageFile& file, DWORD type)
{
    if (type >= PICTURE_TYPE_COUNT)
    {
        SetError(kUnknownFormat);
        return false;
    }
    if (type != PICTURE_DETECT)
    {
        const DecoderEntry decoder = FindDecoder(type);
        if (decoder == nullptr)
        {
            SetError(kUnknownFormat);
            return false;
        }
        return (this->*decoder)(file);
    }
    const long start = file.Tell();
    for (DWORD candidate : kDetectionOrder)
    {
        const DecoderEntry decoder = FindDecoder(candidate);
        if (decoder == nullptr)
            continue;
        if ((this->*decoder)(file))
            return true;
        file.Seek(start, SEEK_SET);
    }
    SetError(kUnknownFormat);
    return false;
}

namespace
{
enum LoadResult
{
    LOAD_NOT_OPENED,
    LOAD_FAILED,
    LOAD_DONE
};

// Opens the file afresh, decodes it as type and closes it again: no file
// stays open after a load.
LoadResult DecodePath(CPicture& picture, const char* path, DWORD type)
{
    FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr)
        return LOAD_NOT_OPENED;
    bool ok;
    {
        ImageDiskFile file(stream, false); // borrows the stream
        ok = picture.Decode(file, type);
    }
    std::fclose(stream);
    return ok ? LOAD_DONE : LOAD_FAILED;
}
} // namespace

bool CPicture::Load(const char* path, DWORD type)
{
    if (path == nullptr)
        return false;
    if (type >= 1 && type < PICTURE_TYPE_COUNT)
    {
        const LoadResult typed = DecodePath(*this, path, type);
        if (typed != LOAD_FAILED)
            return typed == LOAD_DONE;
    }
    // The typed attempt's reason (or, for an unknown type, the text from
    // before the call) is what a failed detection reports.
    char saved[sizeof(m_info.lastError)];
    std::memcpy(saved, m_info.lastError, sizeof(saved));
    const LoadResult detected = DecodePath(*this, path, PICTURE_DETECT);
    if (detected == LOAD_DONE)
        return true;
    if (type != PICTURE_DETECT)
        std::memcpy(m_info.lastError, saved, sizeof(saved));
    return false;
}
