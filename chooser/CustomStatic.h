// The chooser's own CCustomStatic: a static drawn as black text on a white
// band in its own font, placed by the static's alignment styles. The main
// program's skinned static of the same name (skin/) is another class; this
// one lives in namespace chooser, so a program linking both keeps one
// definition of each.
#ifndef BRINDLEWOX_CHOOSER_CUSTOMSTATIC_H
#define BRINDLEWOX_CHOOSER_CUSTOMSTATIC_H

#include "foundation/Base.h"
#include "foundation/Controls.h"
#include "foundation/Gdi.h"

namespace chooser
{

class CCustomStatic : public CStatic
{
public:
    // Text black, background white, the font "Arial" of height 15 (the
    // stock DEFAULT_GUI_FONT when it cannot be made).
    CCustomStatic();

    // Draws into the given context, else inside a CPaintDC: the client
    // rectangle filled with the background colour, then the window's text
    // in the font and text colour, placed by DrawFormat. Nothing for an
    // empty client rectangle.
    LRESULT OnPaint(CDC* dc) override;
    // The painting covers the whole client area: nothing to erase (1).
    LRESULT OnEraseBkgnd(CDC* dc) override;

    // The DrawTextA format for a static style: DT_CENTER for SS_CENTER,
    // DT_RIGHT for SS_RIGHT, else left; DT_VCENTER | DT_SINGLELINE with
    // SS_CENTERIMAGE, else DT_WORDBREAK.
    static UINT DrawFormat(DWORD style);

    COLORREF GetTextColor() const { return m_textColor; }
    COLORREF GetBackgroundColor() const { return m_backgroundColor; }
    HFONT GetFont() const { return m_font.GetSafeHandle(); }

private:
    void Draw(HDC dc);

    COLORREF m_textColor = RGB(0, 0, 0);
    COLORREF m_backgroundColor = RGB(255, 255, 255);
    CFont m_font;
};

} // namespace chooser

#endif
