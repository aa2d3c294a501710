// The wireless bitmap decoder (image type 6): type 0 pictures, one bit a
// pixel (0 black, 1 white), rows top first, each padded to whole bytes.
#ifndef BRINDLEWOX_PICTURE_WBMPDECODER_H
#define BRINDLEWOX_PICTURE_WBMPDECODER_H

#include "picture/Picture.h"

class CWbmpDecoder : public CPicture
{
public:
    CWbmpDecoder() : CPicture(PICTURE_WBMP) {}
    // False with "Not a WBMP", "Unsupported WBMP type", "Corrupted WBMP" or
    // "WBMP Create failed" in GetLastError.
    bool Decode(ImageFile& file);
};

#endif
