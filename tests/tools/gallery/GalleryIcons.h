// Icons drawn by the gallery itself (the gallery carries no resources): a
// 16 x 16 square of one colour inside a dark ring, with a light mark whose
// place tells the icons of one set apart.
#ifndef BRINDLEWOX_TESTS_TOOLS_GALLERY_GALLERYICONS_H
#define BRINDLEWOX_TESTS_TOOLS_GALLERY_GALLERYICONS_H

#include "foundation/Base.h"

// Free the icon with DestroyIcon. markCorner 0..3 puts a white 6 x 6 mark in
// the top-left, top-right, bottom-right or bottom-left corner.
inline HICON MakeGalleryIcon(COLORREF fill, int markCorner)
{
    const int size = 16;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (colour == nullptr)
        return nullptr;
    auto* pixels = static_cast<DWORD*>(bits);
    const int markX = (markCorner == 1 || markCorner == 2) ? 9 : 1;
    const int markY = (markCorner == 2 || markCorner == 3) ? 9 : 1;
    for (int y = 0; y < size; ++y)
    {
        for (int x = 0; x < size; ++x)
        {
            COLORREF c = fill;
            if (x == 0 || y == 0 || x == size - 1 || y == size - 1)
                c = RGB(40, 40, 40);
            else if (x >= markX && x < markX + 6 && y >= markY && y < markY + 6)
                c = RGB(255, 255, 255);
            // DIB order: blue, green, red, alpha (opaque).
            pixels[y * size + x] =
                0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }
    }
    // An all-zero mask: every pixel opaque.
    BYTE maskBits[size * 2] = {};
    HBITMAP mask = CreateBitmap(size, size, 1, 1, maskBits);
    ICONINFO icon = {TRUE, 0, 0, mask, colour};
    HICON result = CreateIconIndirect(&icon);
    DeleteObject(mask);
    DeleteObject(colour);
    return result;
}

#endif
