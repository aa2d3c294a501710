// Helpers of the chooser's tests: the ids of ChooserTests.rc and pixel
// counts on a Surface. The framework start-up is the window tests' own.
#ifndef BRINDLEWOX_TESTS_CHOOSER_CHOOSERTESTSUPPORT_H
#define BRINDLEWOX_TESTS_CHOOSER_CHOOSERTESTSUPPORT_H

#include "foundation/Base.h"
#include "tests/support/WindowTestSupport.h"
#include "tests/support/Surface.h"

#include <vector>

constexpr UINT kControlsDialog = 9000;
constexpr int kLinkButton = 9001;
constexpr int kPlainStatic = 9005;

// How many pixels have exactly the colour.
inline int CountColor(const Surface& surface, COLORREF color)
{
    int count = 0;
    for (int y = 0; y < surface.Height(); ++y)
        for (int x = 0; x < surface.Width(); ++x)
            count += surface.Pixel(x, y) == color;
    return count;
}

// The rows holding a pixel darker than 96 in every channel (text: Wine has
// no Arial, so text is found by its dark pixels, never by its width).
inline std::vector<int> DarkRows(const Surface& surface)
{
    std::vector<int> rows;
    for (int y = 0; y < surface.Height(); ++y)
    {
        for (int x = 0; x < surface.Width(); ++x)
        {
            COLORREF p = surface.Pixel(x, y);
            if (GetRValue(p) < 96 && GetGValue(p) < 96 && GetBValue(p) < 96)
            {
                rows.push_back(y);
                break;
            }
        }
    }
    return rows;
}

#endif
