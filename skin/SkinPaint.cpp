#include "skin/SkinPaint.h"

#include <cstring>

void CreateSkinFont(CFont& font, int height, int weight)
{
    LOGFONTA logFont = {};
    logFont.lfHeight = height;
    logFont.lfWeight = weight;
    logFont.lfCharSet = DEFAULT_CHARSET;
    logFont.lfQuality = CLEARTYPE_QUALITY;
    std::strcpy(logFont.lfFaceName, "Arial");
    if (!font.CreateFontIndirect(logFont))
        font.Attach(GetStockObject(DEFAULT_GUI_FONT), false);
}

LRESULT PrintClientThroughPaint(HWND window, WPARAM dc, LPARAM flags)
{
    if (flags & PRF_ERASEBKGND)
        SendMessageA(window, WM_ERASEBKGND, dc, 0);
    if (flags & PRF_CLIENT)
        SendMessageA(window, WM_PAINT, dc, 0);
    return 0;
}

RECT ClientRectOf(HWND window)
{
    RECT client = {};
    ::GetClientRect(window, &client);
    return client;
}
