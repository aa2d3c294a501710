// The icon and cursor decoder (image type 5). Loads the icon numbered by the
// picture's frame (0 = the first of the file's directory) and reports how
// many the file holds in its frameCount, also when the wanted one fails.
// The AND mask becomes what the picture needs to draw transparently:
// - a 32-bit icon keeps the alpha of its fourth bytes (the mask decides only
//   when those are all 0, as in icons made before alpha channels);
// - a 24-bit icon whose masked pixels share one colour gets that colour as
//   its transparent colour, otherwise an alpha plane;
// - an icon of up to 8 bits gets a palette index that no pixel uses as its
//   transparent index (an alpha plane when every index is used);
// - a mask of all ones gives the inverted picture with transparent index 0.
// Icons fail without a text of their own.
#ifndef BRINDLEWOX_PICTURE_ICODECODER_H
#define BRINDLEWOX_PICTURE_ICODECODER_H

#include "picture/Picture.h"

class CIcoDecoder : public CPicture
{
public:
    CIcoDecoder() : CPicture(PICTURE_ICO) {}
    bool Decode(ImageFile& file);

private:
    // Turns the AND mask (rows bottom-up, 1 = transparent) into alpha, a
    // transparent colour or a transparent index; bits is the file's bit count.
    void ApplyMask(const BYTE* mask, DWORD maskRowBytes, int bits, bool ownAlpha);
};

#endif
