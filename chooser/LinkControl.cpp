#include "chooser/LinkControl.h"

#include "chooser/PaintControl.h"

#include "foundation/Dc.h"
#include "foundation/Module.h"

CLinkControl::CLinkControl() : m_hCursor(GetFrameworkCursor(0)) {}

LRESULT CLinkControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT)
        {
            SetCursor(m_hCursor);
            return 0;
        }
        break;

    case WM_SETFONT:
    {
        LOGFONTA logFont;
        CFont given;
        given.Attach(reinterpret_cast<HFONT>(wParam), false);
        if (given.GetLogFont(logFont))
        {
            logFont.lfUnderline = 1;
            m_linkFont.CreateFontIndirect(logFont);
        }
        given.Detach();
        break;
    }

    case WM_PRINTCLIENT:
        if (lParam & PRF_ERASEBKGND)
            SendMessageA(m_hWnd, WM_ERASEBKGND, wParam, 0);
        if (lParam & PRF_CLIENT)
            SendMessageA(m_hWnd, WM_PAINT, wParam, 0);
        return 0;

    default:
        break;
    }
    return CHotButton::WindowProc(message, wParam, lParam);
}

LRESULT CLinkControl::OnPaint(CDC* dc)
{
    return PaintControl(this, dc, [this](HDC target) { Draw(target); });
}

void CLinkControl::OnClicked()
{
    if (m_target.IsEmpty())
        return;
    char folder[MAX_PATH + 1] = "";
    DWORD length = GetCurrentDirectoryA(sizeof(folder), folder);
    m_shellExecute(m_hWnd, nullptr, m_target, nullptr,
                   length > 0 && length < sizeof(folder) ? folder : nullptr, SW_SHOWNORMAL);
    m_visited = 1;
    Repaint();
}

int CLinkControl::GetToolTipText(NMTTDISPINFOA* info)
{
    if (info == nullptr || m_target.IsEmpty())
        return 0;
    // The tooltip copies the text before the target can change.
    info->lpszText = const_cast<char*>(static_cast<const char*>(m_target));
    return 1;
}

void CLinkControl::SetTarget(const char* target)
{
    m_target = target != nullptr ? target : "";
    if (m_hWnd != nullptr)
        SetToolTip(!m_target.IsEmpty());
}

COLORREF CLinkControl::GetLinkColor() const
{
    if (m_state & StateHot)
        return m_hoverColor;
    return m_visited ? m_visitedColor : m_normalColor;
}

CString CLinkControl::GetLinkText() const
{
    CString text;
    text.GetWindowText(m_hWnd);
    return text.IsEmpty() ? m_target : text;
}

void CLinkControl::GetPreferredSize(CSize& size)
{
    CString text = GetLinkText();
    CGetDC dc(this);
    CSelectScope font;
    if (m_linkFont.IsValid())
        font.Select(dc, m_linkFont);
    RECT measured = {0, 0, 0, 0};
    DrawTextA(dc, text, -1, &measured, DT_CALCRECT | DT_SINGLELINE);
    size.cx += measured.right - measured.left;
    int height = measured.bottom - measured.top;
    int iconWidth = 0;
    int iconHeight = 0;
    if (m_imageList.GetSafeHandle() != nullptr &&
        ImageList_GetIconSize(m_imageList.GetSafeHandle(), &iconWidth, &iconHeight))
    {
        size.cx += iconWidth;
        if (iconHeight > height)
            height = iconHeight;
    }
    size.cy += height;
}

void CLinkControl::Draw(HDC dc)
{
    CRect client = GetClientRect();
    if (dc == nullptr || client.Width() <= 0 || client.Height() <= 0)
        return;

    // The parent's background, as a button would be erased.
    HWND parent = GetParent(m_hWnd);
    auto brush = reinterpret_cast<HBRUSH>(
        parent != nullptr ? SendMessageA(parent, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                                         reinterpret_cast<LPARAM>(m_hWnd))
                          : 0);
    FillRect(dc, client, brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE));

    CRect area = client;
    int iconWidth = 0;
    int iconHeight = 0;
    if (m_imageList.GetSafeHandle() != nullptr &&
        ImageList_GetIconSize(m_imageList.GetSafeHandle(), &iconWidth, &iconHeight) &&
        ImageList_GetImageCount(m_imageList.GetSafeHandle()) > 0)
    {
        int y = area.top + (area.Height() - iconHeight) / 2;
        ImageList_Draw(m_imageList.GetSafeHandle(), 0, dc, area.left, y, ILD_TRANSPARENT);
        area.left += iconWidth + 2;
    }

    CString text = GetLinkText();
    CSelectScope font;
    if (m_linkFont.IsValid())
        font.Select(dc, m_linkFont);
    else if (m_font.IsValid())
        font.Select(dc, m_font);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor = SetTextColor(dc, GetLinkColor());

    RECT textRect = {area.left, area.top, area.right, area.bottom};
    DrawTextA(dc, text, -1, &textRect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    int textHeight = textRect.bottom - textRect.top;
    textRect.top = area.top + (area.Height() - textHeight) / 2;
    textRect.bottom = textRect.top + textHeight;
    if (textRect.right > area.right)
        textRect.right = area.right;

    if (!IsWindowEnabled(m_hWnd))
    {
        DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(static_cast<const char*>(text)),
                   text.GetLength(), textRect.left, textRect.top, textRect.right - textRect.left,
                   textHeight, DST_TEXT | DSS_DISABLED);
    }
    else
    {
        DrawTextA(dc, text, -1, &textRect, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (m_state & StateFocused)
    {
        RECT focus = textRect;
        InflateRect(&focus, 1, 1);
        DrawFocusRect(dc, &focus);
    }
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
}
