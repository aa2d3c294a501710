// Small painting helpers shared by the skinned controls: the Arial fonts
// they draw their texts with, and their answer to WM_PRINTCLIENT.
#ifndef BRINDLEWOX_SKIN_SKINPAINT_H
#define BRINDLEWOX_SKIN_SKINPAINT_H

#include "foundation/Base.h"
#include "foundation/Dc.h"
#include "foundation/Gdi.h"

// Makes `font` Arial of the given height (pixels, as lfHeight) and weight,
// character set 1 (DEFAULT_CHARSET), quality 5 (CLEARTYPE_QUALITY). When the
// system makes none, the stock DEFAULT_GUI_FONT is held instead, not owned.
// Wine has no Arial and substitutes a face of its own, so text widths differ
// from Windows.
void CreateSkinFont(CFont& font, int height, int weight);

// WM_PRINTCLIENT of the skinned controls: with PRF_ERASEBKGND the window gets
// WM_ERASEBKGND with the given context, with PRF_CLIENT WM_PAINT with it (the
// controls' OnPaint draws into a context it is given). The message's result,
// always 0.
LRESULT PrintClientThroughPaint(HWND window, WPARAM dc, LPARAM flags);

// The client rectangle; empty for a handle the system rejects.
RECT ClientRectOf(HWND window);

// OnPaint of the skinned controls: `draw` paints into the context WM_PAINT
// brought, or, for null, into a paint cycle of the window's own. 0.
template <class Draw> LRESULT PaintIntoOrOwnCycle(HWND window, CDC* dc, Draw draw)
{
    if (dc != nullptr)
    {
        draw(*dc);
        return 0;
    }
    CPaintDC paint(window);
    if (paint.GetSafeHdc() != nullptr)
        draw(paint);
    return 0;
}

#endif
