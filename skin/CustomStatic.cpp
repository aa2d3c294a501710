#include "skin/CustomStatic.h"

#include "skin/SkinPaint.h"
#include "skin/SkinFiles.h"

namespace
{
// The window procedure the three statics share.
LRESULT StaticWindowProc(CStatic& self, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_SETTEXT:
    {
        LRESULT result = self.CStatic::WindowProc(message, wParam, lParam);
        // The new text shows now, not at the next paint cycle.
        InvalidateRect(self.GetHwnd(), nullptr, TRUE);
        UpdateWindow(self.GetHwnd());
        return result;
    }
    case WM_PRINTCLIENT:
        return PrintClientThroughPaint(self.GetHwnd(), wParam, lParam);
    default:
        return self.CStatic::WindowProc(message, wParam, lParam);
    }
}

// The labels' painting: the client area in the background colour (left as
// it is for CLR_NONE), then the window text in the area, in the colour and font, aligned by the style.
void DrawLabel(CDC& dc, HWND window, const RECT& client, RECT area, HFONT font, COLORREF text,
               COLORREF background)
{
    if (background != CLR_NONE)
        dc.FillSolidRect(client, background);
    const COLORREF oldColor = ::SetTextColor(dc, text);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    CSelectScope selection(dc, font);
    CString caption;
    caption.GetWindowText(window);
    // An area of no height draws nothing: DrawText clips to it.
    if (area.bottom > area.top)
        DrawTextA(dc, caption, -1, &area,
                  StaticTextFormat(static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE))));
    selection.Restore();
    SetBkMode(dc, oldMode);
    ::SetTextColor(dc, oldColor);
}
} // namespace

UINT StaticTextFormat(DWORD style)
{
    const bool center = (style & SS_CENTER) != 0;
    const bool right = (style & SS_RIGHT) != 0;
    UINT align = center ? DT_CENTER : right ? DT_RIGHT : DT_LEFT;
    if (style & SS_CENTERIMAGE)
        return DT_SINGLELINE | DT_VCENTER | align;
    return DT_WORDBREAK | align;
}

// --- CCustomStatic ---

CCustomStatic::CCustomStatic()
{
    CreateSkinFont(m_font, 15, FW_NORMAL);
}

CCustomStatic::~CCustomStatic()
{
    m_font.DeleteObject();
}

LRESULT CCustomStatic::OnPaint(CDC* dc)
{
    return PaintIntoOrOwnCycle(m_hWnd, dc, [this](CDC& target) { DrawStaticText(target); });
}

LRESULT CCustomStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return StaticWindowProc(*this, message, wParam, lParam);
}

void CCustomStatic::DrawStaticText(CDC& dc)
{
    RECT client = ClientRectOf(m_hWnd);
    if (IsRectEmpty(&client))
        return;
    DrawLabel(dc, m_hWnd, client, client, m_font.GetSafeHandle(), m_textColor, m_backgroundColor);
}

// --- CCustomGradientStatic ---

CCustomGradientStatic::CCustomGradientStatic()
{
    CSkinFiles skin;
    m_leftColor = skin.ReadColor("GRADIENT_LEFT", RGB(232, 237, 242));
    m_rightColor = skin.ReadColor("GRADIENT_RIGHT", RGB(255, 255, 255));
    CreateSkinFont(m_font, 15, FW_BOLD);
}

CCustomGradientStatic::~CCustomGradientStatic()
{
    m_font.DeleteObject();
}

LRESULT CCustomGradientStatic::OnPaint(CDC* dc)
{
    return PaintIntoOrOwnCycle(m_hWnd, dc, [this](CDC& target) { DrawGradientText(target); });
}

LRESULT CCustomGradientStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return StaticWindowProc(*this, message, wParam, lParam);
}

void CCustomGradientStatic::DrawGradientText(CDC& dc)
{
    RECT client = ClientRectOf(m_hWnd);
    if (IsRectEmpty(&client))
        return;
    RECT area = client;
    area.bottom -= kTextBottomInset;
    DrawLabel(dc, m_hWnd, client, area, m_font.GetSafeHandle(), m_textColor, m_backgroundColor);
    if (m_drawGradient)
    {
        RECT band = client;
        band.top = client.bottom - 3;
        CDC::GradientRect(dc, band, m_leftColor, m_rightColor, true);
    }
}

// --- CCustomGroup ---

CCustomGroup::CCustomGroup()
{
    CSkinFiles skin;
    m_frame1 = skin.ReadColor("COLOR_FRAME_1", RGB(168, 168, 168));
    m_frame2 = skin.ReadColor("COLOR_FRAME_2", RGB(223, 223, 223));
    CreateSkinFont(m_font, 15, FW_NORMAL);
}

CCustomGroup::~CCustomGroup()
{
    m_font.DeleteObject();
}

LRESULT CCustomGroup::OnPaint(CDC* dc)
{
    return PaintIntoOrOwnCycle(m_hWnd, dc, [this](CDC& target) { DrawFrame(target); });
}

LRESULT CCustomGroup::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return StaticWindowProc(*this, message, wParam, lParam);
}

void CCustomGroup::DrawFrame(CDC& dc)
{
    RECT client = ClientRectOf(m_hWnd);
    if (IsRectEmpty(&client))
        return;
    RECT inner = client;
    InflateRect(&inner, -1, -1);
    CDC::FrameRect(dc, inner, m_frame1, 1);
    CDC::FrameRect(dc, client, m_frame2, 1);
}
