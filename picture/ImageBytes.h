// Little-endian fields and exact reads for the decoders that parse their
// formats themselves (BMP, ICO, GIF, WBMP). Every structure is read as bytes
// and taken apart here, so no packed struct depends on the compiler's layout.
#ifndef BRINDLEWOX_PICTURE_IMAGEBYTES_H
#define BRINDLEWOX_PICTURE_IMAGEBYTES_H

#include "foundation/Base.h"

#include "picture/ImageFile.h"

#include <cstddef>
#include <cstdint>

namespace imagebytes
{
inline uint16_t Le16(const BYTE* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t Le32(const BYTE* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The bit counts of Windows bitmaps (and icons) that have pixels to read.
inline bool IsBitmapBitCount(int bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// True only when all size bytes were read.
inline bool ReadExact(ImageFile& file, void* buffer, size_t size)
{
    return size == 0 || file.Read(buffer, 1, size) == size;
}

// Steps over bytes that are of no use; false when the file cannot seek there.
inline bool Skip(ImageFile& file, uint64_t count)
{
    while (count > 0)
    {
        const long step = count > 0x40000000u ? 0x40000000L : static_cast<long>(count);
        if (!file.Seek(step, SEEK_CUR))
            return false;
        count -= static_cast<uint64_t>(step);
    }
    return true;
}
} // namespace imagebytes

#endif
