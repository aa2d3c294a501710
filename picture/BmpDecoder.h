// The Windows bitmap decoder (image type 1), also the first format tried by
// detection: it accepts data without the 14-byte file header too. Reads the
// 40-byte information header and its larger and OS/2 variants (12-byte core
// header with 3-byte palette entries, 64-byte OS/2 2 header); 1, 4 and 8 bits
// plain or run-length coded (RLE8, RLE4); 16 bits as 5-5-5 or by bit-field
// masks; 24 and 32 bits (the fourth byte and the masks of 32-bit pictures
// are not used); rows stored top-down or bottom-up.
#ifndef BRINDLEWOX_PICTURE_BMPDECODER_H
#define BRINDLEWOX_PICTURE_BMPDECODER_H

#include "picture/Picture.h"

class CBmpDecoder : public CPicture
{
public:
    CBmpDecoder() : CPicture(PICTURE_BMP) {}
    // Decodes from the file's current position into this object. False with
    // the reason in GetLastError. With escape -1 only the header's width and
    // height are filled and the result is true with "output dimensions
    // returned". A file cut short leaves its missing rows black.
    bool Decode(ImageFile& file);

private:
    struct BmpInfo
    {
        BITMAPINFOHEADER header;
        bool core; // 12-byte OS/2 header: the palette has 3-byte entries
    };
    bool ReadInfo(ImageFile& file, BmpInfo& info);
    void ReadPalette(ImageFile& file, const BmpInfo& info);
    // RLE8, or with nibbles RLE4.
    void DecodeRle(ImageFile& file, bool nibbles);
};

#endif
