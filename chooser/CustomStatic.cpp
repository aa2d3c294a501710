#include "chooser/CustomStatic.h"

#include "chooser/PaintControl.h"

#include "foundation/Dc.h"
#include "foundation/String.h"

#include <cstring>

namespace chooser
{

CCustomStatic::CCustomStatic()
{
    LOGFONTA logFont = {};
    logFont.lfHeight = 15;
    logFont.lfWeight = FW_DONTCARE;
    logFont.lfCharSet = DEFAULT_CHARSET;
    logFont.lfQuality = CLEARTYPE_QUALITY;
    strcpy(logFont.lfFaceName, "Arial");
    // Wine 8 has no Arial and substitutes a font of its own: the creation
    // still succeeds there.
    if (!m_font.CreateFontIndirect(logFont))
        m_font.CreateStockObject(DEFAULT_GUI_FONT);
}

UINT CCustomStatic::DrawFormat(DWORD style)
{
    UINT format = DT_LEFT;
    DWORD type = style & SS_TYPEMASK;
    if (type == SS_CENTER)
        format = DT_CENTER;
    else if (type == SS_RIGHT)
        format = DT_RIGHT;
    if (style & SS_CENTERIMAGE)
        format |= DT_VCENTER | DT_SINGLELINE;
    else
        format |= DT_WORDBREAK;
    return format;
}

LRESULT CCustomStatic::OnPaint(CDC* dc)
{
    return PaintControl(this, dc, [this](HDC target) { Draw(target); });
}

LRESULT CCustomStatic::OnEraseBkgnd(CDC*)
{
    return 1;
}

void CCustomStatic::Draw(HDC dc)
{
    CRect client = GetClientRect();
    if (dc == nullptr || client.Width() <= 0 || client.Height() <= 0)
        return;
    CDC target(dc);
    target.FillSolidRect(*static_cast<const RECT*>(client), m_backgroundColor);

    CString text;
    text.GetWindowText(m_hWnd);
    COLORREF oldColor = SetTextColor(dc, m_textColor);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    CSelectScope font(dc, m_font);
    DrawTextA(dc, text, -1, client,
              DrawFormat(static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE))));
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldColor);
}

} // namespace chooser
