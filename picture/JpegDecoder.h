// The JPEG decoder (image type 3) over libjpeg (interface 62, libjpeg-turbo).
// The file's EXIF block is read first for the resolution. Grey files give
// 8-bit pictures with the grey palette, colour files 24 bits, CMYK files 24
// bits with the ink multiplied in.
#ifndef BRINDLEWOX_PICTURE_JPEGDECODER_H
#define BRINDLEWOX_PICTURE_JPEGDECODER_H

#include "picture/ExifReader.h"
#include "picture/Picture.h"

// Codec option bits of the JPEG option word.
enum JpegOption : DWORD
{
    JPEG_OPTION_GRAYSCALE = 0x80,
    JPEG_OPTION_QUANTIZE = 0x100, // to jpegQuality colours
    JPEG_OPTION_DITHER = 0x200,
    JPEG_OPTION_NO_TWO_PASS = 0x400,
    JPEG_OPTION_NO_FANCY_UPSAMPLING = 0x800
};

class CJpegDecoder : public CPicture
{
public:
    CJpegDecoder();
    ~CJpegDecoder() override;

    // Decodes from the file's current position into this object. False with
    // libjpeg's formatted message or the Create text in GetLastError; an
    // EXIF error never fails the decode.
    bool Decode(ImageFile& file);
    const ExifInfo& GetExifInfo() const { return m_exifInfo; }

private:
    ExifReader* m_exif = nullptr;
    ExifInfo m_exifInfo;
    int m_dither = 0; // JDITHER_NONE: the option has no setter
};

#endif
