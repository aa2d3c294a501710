// Whether a label shows its whole text: the text measured as the label
// draws it (DrawTextA with DT_CALCRECT, its font and format, word-wrapped
// in the width of its client rectangle) against that rectangle. The
// dialog and chooser tests run it over every label of every template.
#ifndef BRINDLEWOX_TESTS_SUPPORT_LABELFIT_H
#define BRINDLEWOX_TESTS_SUPPORT_LABELFIT_H

#include "foundation/Base.h"

#include <string>

// True when the window text of `label`, drawn in `font` with the DrawTextA
// `format` inside its client rectangle less `bottomInset` pixels at the
// bottom, needs no more width and no more height than that area. On false
// `why` says what was needed. An empty text fits.
inline bool LabelTextFits(HWND label, HFONT font, UINT format, int bottomInset, std::string& why)
{
    char text[1024] = "";
    GetWindowTextA(label, text, sizeof(text));
    if (text[0] == 0)
        return true;
    RECT client = {};
    GetClientRect(label, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top - bottomInset;
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    RECT needed = {0, 0, width, 0};
    DrawTextA(dc, text, -1, &needed, format | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    const int neededWidth = needed.right - needed.left;
    const int neededHeight = needed.bottom - needed.top;
    if (neededWidth <= width && neededHeight <= height)
        return true;
    why = "\"" + std::string(text) + "\" needs " + std::to_string(neededWidth) + " x " +
          std::to_string(neededHeight) + " pixels in " + std::to_string(width) + " x " +
          std::to_string(height);
    return false;
}

#endif
