#include "picture/WbmpDecoder.h"

#include "picture/ImageFile.h"

namespace
{
const char kCorrupted[] = "Corrupted WBMP";

// A multi-byte integer: 7 bits a byte, most significant first, the high bit
// set on every byte but the last. -1 when the file ends first or the value
// would exceed what a picture side can be.
long ReadMultiByte(ImageFile& file)
{
    long value = 0;
    for (int i = 0; i < 4; ++i)
    {
        const long b = file.GetC();
        if (b < 0)
            return -1;
        value = (value << 7) | (b & 0x7F);
        if ((b & 0x80) == 0)
            return value <= CPicture::kMaxSide ? value : -1;
    }
    return -1;
}
} // namespace

bool CWbmpDecoder::Decode(ImageFile& file)
{
    const long type = file.GetC();
    if (type < 0)
    {
        SetError("Not a WBMP");
        return false;
    }
    if (type != 0)
    {
        SetError("Unsupported WBMP type");
        return false;
    }
    const long fixedHeader = file.GetC();
    const long width = ReadMultiByte(file);
    const long height = fixedHeader < 0 || width < 0 ? -1 : ReadMultiByte(file);
    if (width <= 0 || height <= 0)
    {
        SetError(kCorrupted);
        return false;
    }
    if (Create(static_cast<int>(width), static_cast<int>(height), 1, PICTURE_WBMP) == nullptr)
    {
        SetError("WBMP Create failed");
        return false;
    }
    SetGrayPalette();
    // A WBMP has no signature: only pixel data of the full length shows that
    // the bytes really are one.
    const size_t rowLength = static_cast<size_t>((width + 7) / 8);
    for (long y = height - 1; y >= 0; --y)
    {
        if (file.Read(GetBits(static_cast<int>(y)), 1, rowLength) != rowLength)
        {
            SetError(kCorrupted);
            return false;
        }
    }
    return true;
}
