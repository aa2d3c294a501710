#include "skin/CustomInfoControl.h"

#include "skin/InfoText.h"
#include "skin/SkinPaint.h"

// The layout's surface over a device context and the control's fonts.
class CInfoControlSurface : public infotext::CSurface
{
public:
    CInfoControlSurface(CCustomInfoControl& control, HDC dc) : m_control(control), m_dc(dc) {}

    void SelectStyle(DWORD style) override { m_control.SelectStyleFont(m_dc, style); }
    int GetLineHeight() override
    {
        SIZE size = {};
        GetTextExtentPoint32A(m_dc, " ", 1, &size);
        return size.cy;
    }
    int MeasureRun(const char* run, int length, int maxWidth, int& fit) override
    {
        SIZE size = {};
        fit = 0;
        if (!GetTextExtentExPointA(m_dc, run, length, maxWidth, &fit, nullptr, &size))
            return 0;
        return size.cx;
    }
    void DrawRun(int x, int y, const char* run, int count) override
    {
        TextOutA(m_dc, x, y, run, count);
    }
    void SetTextColour(COLORREF colour) override { SetTextColor(m_dc, colour); }
    void SetOpaqueBackground(COLORREF colour) override
    {
        SetBkMode(m_dc, OPAQUE);
        SetBkColor(m_dc, colour);
    }
    void SetTransparentBackground() override { SetBkMode(m_dc, TRANSPARENT); }

private:
    CCustomInfoControl& m_control;
    HDC m_dc;
};

CCustomInfoControl::CCustomInfoControl() : m_background(GetSysColor(COLOR_BTNFACE)) {}

CCustomInfoControl::~CCustomInfoControl()
{
    // The window goes first, so that no painting can select a font that is
    // being deleted.
    Destroy();
    for (int i = 0; i < m_styleFonts.GetSize(); ++i)
        DeleteObject(m_styleFonts[i].font);
    m_styleFonts.SetSize(0);
}

HFONT CCustomInfoControl::QueryBaseFont() const
{
    HFONT font = nullptr;
    if (GetSafeHwnd() != nullptr)
        font = reinterpret_cast<HFONT>(SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
    if (font == nullptr)
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    return font;
}

bool CCustomInfoControl::SelectStyleFont(HDC dc, DWORD style)
{
    style &= infotext::StyleBits;
    HFONT wanted = nullptr;
    if (style == 0)
    {
        wanted = m_baseFont;
    }
    else
    {
        for (int i = 0; i < m_styleFonts.GetSize() && wanted == nullptr; ++i)
        {
            if (m_styleFonts[i].style == style)
                wanted = m_styleFonts[i].font;
        }
        if (wanted == nullptr)
        {
            LOGFONTA logFont = {};
            HGDIOBJ selected = GetCurrentObject(dc, OBJ_FONT);
            if (GetObjectA(selected, sizeof(logFont), &logFont) != sizeof(logFont))
                return false;
            logFont.lfItalic = (style & infotext::StateItalic) ? 1 : 0;
            logFont.lfUnderline = (style & infotext::StateUnderline) ? 1 : 0;
            logFont.lfWeight = (style & infotext::StateBold) ? FW_BOLD : FW_NORMAL;
            wanted = CreateFontIndirectA(&logFont);
            if (wanted == nullptr)
                return false;
            if (m_styleFonts.Add(FontData{wanted, style}) < 0)
            {
                DeleteObject(wanted);
                return false;
            }
        }
    }
    if (wanted == m_currentFont)
        return true;
    m_currentFont = wanted;
    SelectObject(dc, wanted);
    return true;
}

CString CCustomInfoControl::GetText() const
{
    CString text;
    if (GetSafeHwnd() != nullptr)
        text.GetWindowText(m_hWnd);
    return text;
}

const char* CCustomInfoControl::TextOrWindowText(const char* text, CString& holder) const
{
    if (text != nullptr)
        return text;
    holder = GetText();
    return holder;
}

int CCustomInfoControl::GetTextHeight(CDC& dc, const char* text)
{
    CString windowText;
    text = TextOrWindowText(text, windowText);
    CSaveDCScope saved(dc);
    SelectObject(dc, QueryBaseFont());
    SIZE size = {};
    GetTextExtentPoint32A(dc, " ", 1, &size);
    return infotext::MeasureHeight(text, size.cy);
}

int CCustomInfoControl::GetTextWidth(CDC& dc, const char* text)
{
    CString windowText;
    text = TextOrWindowText(text, windowText);
    CSaveDCScope saved(dc);
    m_baseFont = QueryBaseFont();
    SelectObject(dc, m_baseFont);
    m_currentFont = m_baseFont;
    CInfoControlSurface surface(*this, dc);
    return infotext::MeasureWidth(text, surface);
}

void CCustomInfoControl::DrawInfoText(CDC& dc, const char* text, const RECT& rect)
{
    CSaveDCScope saved(dc);
    m_baseFont = QueryBaseFont();
    SelectObject(dc, m_baseFont);
    m_currentFont = m_baseFont;
    CInfoControlSurface surface(*this, dc);
    infotext::Draw(text, rect, m_verticalCentre != 0, GetSystemMetrics(SM_CYEDGE), surface);
}

void CCustomInfoControl::SetBackgroundColor(COLORREF color)
{
    m_background = color;
    if (GetSafeHwnd() != nullptr)
        InvalidateRect(m_hWnd, nullptr, TRUE);
}

bool CCustomInfoControl::GetWindowSize(CSize& size)
{
    if (GetSafeHwnd() == nullptr)
        return true;
    if (GetWindowLongA(m_hWnd, GWL_STYLE) & SS_SUNKEN)
    {
        size.cx += 4 * GetSystemMetrics(SM_CXEDGE);
        size.cy += 4 * GetSystemMetrics(SM_CYEDGE);
    }
    CString text = GetText();
    if (!text.IsEmpty())
    {
        CWindowDC dc(m_hWnd);
        size.cx += GetTextWidth(dc, text);
        size.cy += GetTextHeight(dc, text);
    }
    return true;
}

LRESULT CCustomInfoControl::OnPaint(CDC* dc)
{
    return PaintIntoOrOwnCycle(m_hWnd, dc, [this](CDC& target) { Paint(target); });
}

void CCustomInfoControl::Paint(CDC& target)
{
    CRect client = GetClientRect();
    if (client.Width() <= 0 || client.Height() <= 0)
        return;
    CBufferDC buffer(target, *client);
    buffer.FillSolidRect(*client, m_background);
    CRect textRect = client;
    if (GetWindowLongA(m_hWnd, GWL_STYLE) & SS_SUNKEN)
        InflateRect(textRect, -2, -2);
    CString text = GetText();
    if (!text.IsEmpty())
        DrawInfoText(buffer, text, *textRect);
}

LRESULT CCustomInfoControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_PRINTCLIENT:
        return PrintClientThroughPaint(m_hWnd, wParam, lParam);
    case WM_SETTEXT:
    {
        LRESULT result = CStatic::WindowProc(message, wParam, lParam);
        InvalidateRect(m_hWnd, nullptr, TRUE);
        return result;
    }
    default:
        return CStatic::WindowProc(message, wParam, lParam);
    }
}
