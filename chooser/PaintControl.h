// How the chooser's own controls (its CCustomStatic and CLinkControl) paint:
// into the context WM_PAINT (or WM_PRINTCLIENT) gave, else inside a CPaintDC
// of the window.
#ifndef BRINDLEWOX_CHOOSER_PAINTCONTROL_H
#define BRINDLEWOX_CHOOSER_PAINTCONTROL_H

#include "foundation/Base.h"
#include "foundation/Dc.h"
#include "foundation/Window.h"

// Runs draw(HDC) on the context; answers 0.
template <class Draw> LRESULT PaintControl(CWindow* window, CDC* dc, Draw draw)
{
    if (dc != nullptr)
    {
        draw(dc->GetSafeHdc());
        return 0;
    }
    CPaintDC paint(window);
    draw(paint.GetSafeHdc());
    return 0;
}

#endif
