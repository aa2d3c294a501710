// The PNG decoder (image type 4) over libpng 1.6. 32-bit pictures come out
// as 24 bits with an alpha plane, palette pictures with a transparent index
// or palette alpha, grey pictures with a grey palette; other pictures with
// transparency are composited over their background chunk or grey 192.
#ifndef BRINDLEWOX_PICTURE_PNGDECODER_H
#define BRINDLEWOX_PICTURE_PNGDECODER_H

#include "picture/Picture.h"

class CPngDecoder : public CPicture
{
public:
    CPngDecoder() : CPicture(PICTURE_PNG) {}
    // Decodes from the file's current position into this object. False with
    // libpng's message, "Read Error" or the Create text in GetLastError.
    bool Decode(ImageFile& file);
};

#endif
