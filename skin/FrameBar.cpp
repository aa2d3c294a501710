#include "skin/FrameBar.h"

#include "foundation/Controls.h"
#include "skin/SkinFiles.h"
#include "skin/SkinPaint.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstddef>

namespace
{
// The older NONCLIENTMETRICSA (before iPaddedBorderWidth), which every
// system answers (Wine 8 refuses the longer one).
constexpr UINT kNonClientMetricsSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);

// The message that hands a text set off the window's thread over to it.
UINT PendingTextMessage()
{
    static const UINT message = RegisterWindowMessageA("Brindlewox.FrameBar.PendingText");
    return message;
}

bool OnWindowThread(HWND window)
{
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

TRIVERTEX Vertex(LONG x, LONG y, COLORREF color)
{
    TRIVERTEX vertex = {};
    vertex.x = x;
    vertex.y = y;
    vertex.Red = static_cast<COLOR16>(GetRValue(color) << 8);
    vertex.Green = static_cast<COLOR16>(GetGValue(color) << 8);
    vertex.Blue = static_cast<COLOR16>(GetBValue(color) << 8);
    vertex.Alpha = 0;
    return vertex;
}
} // namespace

// --- CFrameBar ---

CFrameBar::CFrameBar()
    : m_textColor(GetSysColor(COLOR_CAPTIONTEXT)),
      m_backgroundColor(GetSysColor(COLOR_INACTIVECAPTION)),
      m_gradientEndColor(GetSysColor(COLOR_GRADIENTINACTIVECAPTION))
{
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = kNonClientMetricsSize;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &metrics, 0))
        MakeFonts(metrics.lfCaptionFont);
    CSkinFiles skin;
    m_frameColors[0] = skin.ReadColor("COLOR_FRAME_1", RGB(168, 168, 168));
    m_frameColors[1] = skin.ReadColor("COLOR_FRAME_2", RGB(223, 223, 223));
}

CFrameBar::~CFrameBar()
{
    if (m_hIcon != nullptr)
        DestroyIcon(m_hIcon);
    if (m_hToolTip != nullptr && IsWindow(m_hToolTip))
        ::DestroyWindow(m_hToolTip);
}

void CFrameBar::MakeFonts(const LOGFONTA& logFont)
{
    m_textFont.CreateFontIndirect(logFont);
    LOGFONTA turned = logFont;
    turned.lfEscapement = 900;
    turned.lfOrientation = 900;
    turned.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    m_verticalFont.CreateFontIndirect(turned);
}

void CFrameBar::MakeToolTip()
{
    if (m_hToolTip == nullptr && m_hWnd != nullptr)
        m_hToolTip = CreateWindowToolTip(m_hWnd);
}

void CFrameBar::PreSubclassWindow()
{
    MakeToolTip();
}

LRESULT CFrameBar::OnCreate(CREATESTRUCTA* create)
{
    MakeToolTip();
    return CreateNotHandled;
}

LRESULT CFrameBar::OnNotify(NMHDR* header)
{
    if (header == nullptr || header->code != TTN_NEEDTEXTA || header->hwndFrom != m_hToolTip)
        return NotHandled;
    auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
    info->szText[0] = 0;
    info->lpszText = info->szText;
    if (m_textCut)
    {
        m_toolTipText.GetWindowText(m_hWnd);
        info->lpszText = const_cast<char*>(static_cast<const char*>(m_toolTipText));
    }
    return 0;
}

void CFrameBar::SetIcon(HICON icon)
{
    if (m_hIcon != nullptr && m_hIcon != icon)
        DestroyIcon(m_hIcon);
    m_hIcon = icon;
    if (GetSafeHwnd() != nullptr)
        InvalidateRect(m_hWnd, nullptr, TRUE);
}

BOOL CFrameBar::SetWindowText(const char* text)
{
    HWND window = GetSafeHwnd();
    if (window == nullptr)
        return FALSE;
    if (OnWindowThread(window))
        return CWindow::SetWindowText(text);
    // SetWindowTextA would wait for the window's thread, which may itself
    // be waiting for this one.
    {
        CLockGuard lock(m_pendingLock);
        m_pendingText = text;
        m_hasPendingText = true;
    }
    return PostMessageA(window, PendingTextMessage(), 0, 0);
}

void CFrameBar::ApplyPendingText()
{
    CString text;
    {
        CLockGuard lock(m_pendingLock);
        if (!m_hasPendingText)
            return;
        text = m_pendingText;
        m_pendingText.Empty();
        m_hasPendingText = false;
    }
    CWindow::SetWindowText(text);
}

bool CFrameBar::GetWindowSize(CSize& size)
{
    if (GetSafeHwnd() == nullptr)
        return false;
    int caption = GetSystemMetrics(SM_CYCAPTION);
    if (m_hIcon != nullptr)
        size = CSize(18, 18);
    else
        size = m_vertical ? CSize(caption, 0) : CSize(0, caption);
    CString text(m_hWnd);
    if (text.IsEmpty())
        return true;
    CGetDC dc(m_hWnd);
    CSelectScope font(dc, m_vertical ? m_verticalFont : m_textFont);
    CSize extent = dc.GetTextExtent(text);
    if (m_vertical)
    {
        size.cy += 4 + extent.cx;
        size.cx = std::max(size.cx, extent.cy);
    }
    else
    {
        size.cx += 4 + extent.cx;
        size.cy = std::max(size.cy, extent.cy);
    }
    return true;
}

void CFrameBar::Draw(CDC& target)
{
    CRect client = GetClientRect();
    if (client.Width() <= 0 || client.Height() <= 0)
        return;
    CBufferDC dc(target, *client);
    CSaveDCScope saved(dc);

    // 1. Background: the gradient has no frame.
    bool gradientDrawn = false;
    if (m_gradient)
    {
        COLORREF first = m_vertical ? m_gradientEndColor : m_backgroundColor;
        COLORREF second = m_vertical ? m_backgroundColor : m_gradientEndColor;
        TRIVERTEX vertices[2] = {Vertex(client.left, client.top, first),
                                 Vertex(client.right, client.bottom, second)};
        GRADIENT_RECT mesh = {0, 1};
        gradientDrawn = dc.GradientFill(vertices, 2, &mesh, 1,
                                        m_vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H) !=
                        FALSE;
    }
    if (!gradientDrawn)
    {
        dc.FillSolidRect(*client, m_backgroundColor);
        if (m_frame)
        {
            CDC::FrameRect(dc, *client, m_frameColors[0], 1);
            CRect inner(client.left + 1, client.top + 1, client.right - 1, client.bottom - 1);
            CDC::FrameRect(dc, *inner, m_frameColors[1], 1);
        }
    }

    // 2. The icon, and the text area beside it.
    CRect area = client;
    int width = client.Width();
    int height = client.Height();
    if (m_hIcon != nullptr)
    {
        int x;
        int y;
        if (!m_vertical)
        {
            y = height / 2 - 8;
            if (m_iconAtEnd)
            {
                x = client.right - 18;
                area.right -= 20;
                area.left += 4;
            }
            else
            {
                x = client.left + 2;
                area.left += 20;
            }
        }
        else
        {
            x = width / 2 - 8;
            if (m_iconAtEnd)
            {
                y = client.top;
                area.top += 20;
                area.bottom -= 4;
            }
            else
            {
                y = client.bottom - 18;
                area.bottom -= 20;
            }
        }
        DrawIconEx(dc, x, y, m_hIcon, 16, 16, 0, nullptr, DI_NORMAL);
    }
    else if (!m_vertical)
    {
        area.left += 4;
    }
    else
    {
        area.bottom -= 4;
    }

    // 3. The text, shortened when it does not fit.
    CString text(m_hWnd);
    if (area.Width() <= 0 || area.Height() <= 0)
    {
        m_textCut = 1;
        m_shownText.Empty();
        return;
    }
    if (text.IsEmpty())
    {
        m_textCut = 0;
        m_shownText.Empty();
        return;
    }
    ::SetTextColor(dc, m_textColor);
    SetBkMode(dc, TRANSPARENT);
    CSelectScope font(dc, m_vertical ? m_verticalFont : m_textFont);
    int available = m_vertical ? area.Height() : area.Width();
    int fit = 0;
    dc.GetTextExtentEx(text, available, fit);
    CString shown = text;
    if (fit < text.GetLength())
    {
        if (m_pathCompaction)
        {
            char path[MAX_PATH];
            lstrcpynA(path, text, MAX_PATH);
            PathCompactPathA(dc, path, static_cast<UINT>(available));
            shown = path;
        }
        else
        {
            int dots = dc.GetTextExtent("...").cx;
            int kept = 0;
            dc.GetTextExtentEx(text, std::max(available - dots, 0), kept);
            shown = text.Left(std::max(kept, 1)) + "...";
        }
        m_textCut = 1;
    }
    else
    {
        m_textCut = 0;
    }
    m_shownText = shown;
    CSize extent = dc.GetTextExtent(shown);
    if (!m_vertical)
        TextOutA(dc, area.left, area.top + area.Height() / 2 - extent.cy / 2, shown,
                 shown.GetLength());
    else
        TextOutA(dc, client.left + width / 2 - extent.cy / 2, area.bottom, shown,
                 shown.GetLength());
}

LRESULT CFrameBar::OnPaint(CDC* dc)
{
    return PaintIntoOrOwnCycle(m_hWnd, dc, [this](CDC& target) { Draw(target); });
}

LRESULT CFrameBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PendingTextMessage())
    {
        ApplyPendingText();
        return 0;
    }
    switch (message)
    {
    case WM_SETTEXT:
    {
        LRESULT result = CWindow::WindowProc(message, wParam, lParam);
        InvalidateRect(m_hWnd, nullptr, TRUE);
        return result;
    }
    case WM_SETFONT:
    {
        // A null font (the system font) or one that cannot be read keeps
        // the fonts there are.
        LOGFONTA logFont = {};
        auto font = reinterpret_cast<HFONT>(wParam);
        if (font != nullptr && GetObjectA(font, sizeof(logFont), &logFont) == sizeof(logFont))
            MakeFonts(logFont);
        return CWindow::WindowProc(message, wParam, lParam);
    }
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_vertical ? m_verticalFont.GetSafeHandle()
                                                    : m_textFont.GetSafeHandle());
    case WM_PRINTCLIENT:
        return PrintClientThroughPaint(m_hWnd, wParam, lParam);
    default:
        return CWindow::WindowProc(message, wParam, lParam);
    }
}

// --- CProgressBar ---

CProgressBar::CProgressBar()
{
    CSkinFiles skin(CSkinFiles::FirstRunDefaults);
    m_frame1 = skin.ReadColor("COLOR_FRAME_1", RGB(168, 168, 168));
    m_frame2 = skin.ReadColor("COLOR_FRAME_2", RGB(223, 223, 223));
    m_frame3 = skin.ReadColor("COLOR_FRAME_3", RGB(255, 173, 27));
}

void CProgressBar::SetRange(int lower, int upper)
{
    m_lower = lower;
    m_upper = upper;
}

int CProgressBar::BarRight(int left, int width, int position, int upper)
{
    upper = std::max(upper, 1);
    position = std::min(std::max(position, 0), upper);
    return left + static_cast<int>(static_cast<long long>(width) * position / upper);
}

void CProgressBar::SetPos(int position)
{
    m_position = std::min(std::max(position, 0), std::max(static_cast<int>(m_upper), 1));
    Redraw();
}

void CProgressBar::Redraw()
{
    HWND window = GetSafeHwnd();
    if (window == nullptr)
        return;
    InvalidateRect(window, nullptr, TRUE);
    // A paint across threads would wait for the window's thread, which may
    // be waiting for the caller.
    if (OnWindowThread(window))
        UpdateWindow(window);
}

void CProgressBar::Draw(CDC& target)
{
    CRect client = GetClientRect();
    if (client.Width() <= 0 || client.Height() <= 0)
        return;
    CBufferDC dc(target, *client);
    CRect inner(client.left + 1, client.top + 1, client.right - 1, client.bottom - 1);
    CDC::FrameRect(dc, *client, m_frame1, 1);
    CDC::FrameRect(dc, *inner, m_frame2, 1);
    // The bar from the stored position, so that a position set before the
    // first painting draws right too.
    int left = inner.left + 2;
    int width = std::max(static_cast<int>(inner.Width()) - 4, 1);
    int right = m_position == 0 ? left : BarRight(left, width, m_position, m_upper);
    CRect bar(left, inner.top + 2, right, inner.bottom - 2);
    if (bar.Width() > 0 && bar.Height() > 0)
        dc.FillSolidRect(*bar, m_frame3);
}

LRESULT CProgressBar::OnPaint(CDC* dc)
{
    return PaintIntoOrOwnCycle(m_hWnd, dc, [this](CDC& target) { Draw(target); });
}

LRESULT CProgressBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PRINTCLIENT)
        return PrintClientThroughPaint(m_hWnd, wParam, lParam);
    return CWindow::WindowProc(message, wParam, lParam);
}
