// WM_PRINTCLIENT for the self-drawn skinned controls: each paints only in
// its WM_ERASEBKGND and WM_PAINT handlers, which take a DC in wParam, so
// printing the client area is sending those two with the printing DC.
#ifndef BRINDLEWOX_SKIN_PRINTCLIENT_H
#define BRINDLEWOX_SKIN_PRINTCLIENT_H

#include "foundation/Base.h"

// WM_ERASEBKGND with the DC when PRF_ERASEBKGND is set, then WM_PAINT with
// it when PRF_CLIENT is set. The answer to WM_PRINTCLIENT: 0.
inline LRESULT PrintClientThroughPaint(HWND window, WPARAM dc, LPARAM flags)
{
    if (flags & PRF_ERASEBKGND)
        SendMessageA(window, WM_ERASEBKGND, dc, 0);
    if (flags & PRF_CLIENT)
        SendMessageA(window, WM_PAINT, dc, 0);
    return 0;
}

#endif
