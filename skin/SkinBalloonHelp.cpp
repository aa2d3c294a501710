#include "skin/SkinBalloonHelp.h"

#include "foundation/Dc.h"
#include "foundation/Module.h"
#include "foundation/MultiMon.h"
#include "foundation/StaticSetup.h"
#include "skin/BalloonGeometry.h"
#include "skin/SkinPaint.h"
#include "skin/SkinFiles.h"

#include <shellapi.h>
#include <vsstyle.h>

#include <algorithm>

namespace
{
int g_liveBalloons = 0;

// The gap between the icon, the close button and the title, and between the
// header and the content.
constexpr int kGap = 8;
constexpr UINT kFadeTime = 200;

// The signed coordinates of a mouse message.
int PointX(LPARAM lParam)
{
    return static_cast<short>(LOWORD(lParam));
}
int PointY(LPARAM lParam)
{
    return static_cast<short>(HIWORD(lParam));
}


CSize BitmapSize(HBITMAP bitmap)
{
    BITMAP info = {};
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof(info), &info) != sizeof(info))
        return CSize(0, 0);
    return CSize(info.bmWidth, info.bmHeight);
}

// The size an icon has of its own: its colour bitmap, or half the height of
// a monochrome icon's mask (which holds the AND and XOR halves).
CSize IconSize(HICON icon)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return CSize(0, 0);
    CSize size = info.hbmColor != nullptr ? BitmapSize(info.hbmColor) : BitmapSize(info.hbmMask);
    if (info.hbmColor == nullptr)
        size.cy /= 2;
    if (info.hbmColor != nullptr)
        DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr)
        DeleteObject(info.hbmMask);
    return size;
}

int CALLBACK NoteFontFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// Whether the system has the Marlett font of the caption glyphs; asked once.
bool HasMarlettFont()
{
    static const bool has = [] {
        bool found = false;
        LOGFONTA wanted = {};
        wanted.lfCharSet = DEFAULT_CHARSET;
        lstrcpyA(wanted.lfFaceName, "Marlett");
        CGetDC screen;
        EnumFontFamiliesExA(screen, &wanted, NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
        return found;
    }();
    return has;
}
} // namespace

CSkinBalloonHelp::CSkinBalloonHelp()
{
    CSkinFiles skin;
    m_background = skin.ReadColor("COLOR_BALLOON", RGB(255, 255, 255));
    ++g_liveBalloons;
}

CSkinBalloonHelp::~CSkinBalloonHelp()
{
    // Deleted by its owner: the window goes without deleting the object
    // again.
    m_options &= ~OptionDeleteSelf;
    if (GetSafeHwnd() != nullptr)
        ::DestroyWindow(m_hWnd);
    if (m_hTheme != nullptr)
        GetThemeLibrary().CloseThemeData(m_hTheme);
    --g_liveBalloons;
}

int CSkinBalloonHelp::GetLiveCount()
{
    return g_liveBalloons;
}

CSize CSkinBalloonHelp::GetCloseButtonSize()
{
    if (CHotButton::VisualStylesActive())
        return CSize(GetSystemMetrics(SM_CXSMSIZE), GetSystemMetrics(SM_CYSMSIZE));
    return CSize(GetSystemMetrics(SM_CXSIZE), GetSystemMetrics(SM_CYSIZE));
}

bool CSkinBalloonHelp::LaunchBalloon(const char* title, const char* content, POINT anchorPoint,
                                     UINT iconResourceId, DWORD options, HWND anchorWindow,
                                     const char* link, UINT timeoutMs)
{
    auto* balloon = new CSkinBalloonHelp;
    if (iconResourceId != 0)
    {
        CSize button = GetCloseButtonSize();
        int width = std::max(GetSystemMetrics(SM_CXSMICON), static_cast<int>(button.cx));
        int height = std::max(GetSystemMetrics(SM_CYSMICON), static_cast<int>(button.cy));
        auto icon = static_cast<HICON>(LoadImageA(GetModuleState()->GetResourceHandle(),
                                                  MAKEINTRESOURCEA(iconResourceId), IMAGE_ICON,
                                                  width, height, LR_SHARED));
        if (icon != nullptr)
            balloon->SetIconScaled(icon, width, height);
    }
    if (!balloon->Create(title, content, anchorPoint, options | OptionDeleteSelf, anchorWindow,
                         link, timeoutMs, nullptr))
    {
        delete balloon;
        return false;
    }
    // The balloon lives on its own from here: it may be gone at any message.
    return true;
}

bool CSkinBalloonHelp::CreateFonts()
{
    if (!m_titleFont.IsValid())
        CreateSkinFont(m_titleFont, 16, FW_BOLD);
    if (!m_contentFont.IsValid())
        CreateSkinFont(m_contentFont, 15, FW_NORMAL);
    return m_titleFont.IsValid() && m_contentFont.IsValid();
}

bool CSkinBalloonHelp::Create(const char* title, const char* content, POINT anchorPoint,
                              DWORD options, HWND anchorWindow, const char* link, UINT timeoutMs,
                              HICON icon)
{
    if (GetSafeHwnd() != nullptr)
        return false;
    m_contentText = content;
    SetAnchorPoint(anchorPoint, anchorWindow);
    m_link = link;
    m_timeout = timeoutMs;
    if (icon != nullptr)
        SetIcon(icon);
    if (!CreateFonts())
        return false;

    BOOL animation = FALSE;
    BOOL fade = FALSE;
    SystemParametersInfoA(SPI_GETTOOLTIPANIMATION, 0, &animation, 0);
    SystemParametersInfoA(SPI_GETTOOLTIPFADE, 0, &fade, 0);
    if (!animation || !fade)
        options |= OptionNoFadeIn | OptionNoFadeOut;
    // A window that fails half-way is destroyed here, and the object is the
    // caller's to delete: it must not delete itself on the way.
    m_options = options & ~OptionDeleteSelf;

    if (options & OptionShowCloseButton)
        m_crossPen.CreatePen(PS_SOLID, 2, GetSysColor(COLOR_BTNTEXT));
    if (options & OptionInnerShadow)
    {
        BYTE r = GetRValue(m_background);
        BYTE g = GetGValue(m_background);
        BYTE b = GetBValue(m_background);
        m_lightBrush.CreateSolidBrush(RGB(170 + r / 3, 170 + g / 3, 170 + b / 3));
        m_darkBrush.CreateSolidBrush(RGB(2 * (r / 3), 2 * (g / 3), 2 * (b / 3)));
    }

    DWORD exStyle = WS_EX_TOOLWINDOW | ((options & OptionTopmost) ? WS_EX_TOPMOST : 0);
    const char* className = (options & OptionNoShadowClass) ? "CWindowClass" : "CDSWindowClass";
    if (!CreateEx(exStyle, className, title, WS_POPUP, 0, 0, 10, 10, anchorWindow, nullptr))
        return false;
    if (!m_content.CreateEx(0, "STATIC", m_contentText, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, m_hWnd,
                            nullptr))
    {
        ::DestroyWindow(m_hWnd);
        return false;
    }
    SendMessageA(m_content.GetHwnd(), WM_SETFONT,
                 reinterpret_cast<WPARAM>(m_contentFont.GetSafeHandle()), FALSE);
    m_content.SetBackgroundColor(m_background);
    m_options = options;
    Reposition();

    if ((options & (OptionCloseOnLButtonUp | OptionCloseOnMButtonUp | OptionCloseOnRButtonUp)) &&
        GetCapture() == nullptr)
        SetCapture(m_hWnd);
    Show();
    return true;
}

void CSkinBalloonHelp::SetTimeout(UINT timeoutMs)
{
    m_timeout = timeoutMs;
    if (GetSafeHwnd() == nullptr)
        return;
    if (timeoutMs != 0)
        SetTimer(m_hWnd, TimeoutTimer, timeoutMs, nullptr);
    else
        KillTimer(m_hWnd, TimeoutTimer);
}

bool CSkinBalloonHelp::Animate(DWORD flags)
{
    if (m_animating)
        return false;
    m_animating = true;
    BOOL animated = AnimateWindow(kFadeTime, flags);
    m_animating = false;
    return animated != FALSE;
}

void CSkinBalloonHelp::Show()
{
    if (GetSafeHwnd() == nullptr)
        return;
    if ((m_options & OptionNoFadeIn) || !Animate(AW_BLEND))
        ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
    if (!(m_options & OptionDelayClose))
        SetTimeout(m_timeout);
}

void CSkinBalloonHelp::ReleaseOwnCapture()
{
    if (m_hWnd != nullptr && GetCapture() == m_hWnd)
        ReleaseCapture();
}

void CSkinBalloonHelp::Hide()
{
    if (GetSafeHwnd() == nullptr)
        return;
    if (m_options & OptionDelayClose)
    {
        m_options &= ~static_cast<DWORD>(0x01FF);
        SetTimeout(m_timeout);
        return;
    }
    if ((m_options & OptionNoFadeOut) || !Animate(AW_BLEND | AW_HIDE))
        ShowWindow(m_hWnd, SW_HIDE);
    ReleaseOwnCapture();
    // The last use of the object: with 0x200 it is deleted inside.
    ::DestroyWindow(m_hWnd);
}

void CSkinBalloonHelp::SetAnchorPoint(POINT point, HWND anchorWindow)
{
    m_anchor = point;
    if (anchorWindow != nullptr)
        m_hAnchorWindow = anchorWindow;
    if (GetSafeHwnd() != nullptr)
        Reposition();
}

bool CSkinBalloonHelp::ReplaceIcons(HIMAGELIST images)
{
    if (images == nullptr)
        return false;
    m_icons.Attach(images);
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(images, &width, &height);
    m_iconSize = CSize(width, height);
    if (GetSafeHwnd() != nullptr)
        Reposition();
    return true;
}

bool CSkinBalloonHelp::SetIcon(HICON icon)
{
    ICONINFO info = {};
    if (icon == nullptr || !GetIconInfo(icon, &info))
        return false;
    CSize size = IconSize(icon);
    HIMAGELIST images = nullptr;
    if (size.cx > 0 && size.cy > 0)
    {
        images = ImageList_Create(size.cx, size.cy, ILC_COLOR24 | ILC_MASK, 1, 0);
        if (images != nullptr && ImageList_Add(images, info.hbmColor, info.hbmMask) < 0)
        {
            ImageList_Destroy(images);
            images = nullptr;
        }
    }
    if (info.hbmColor != nullptr)
        DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr)
        DeleteObject(info.hbmMask);
    return ReplaceIcons(images);
}

bool CSkinBalloonHelp::SetIconMasked(HBITMAP bitmap, COLORREF mask)
{
    CSize size = BitmapSize(bitmap);
    if (size.cx <= 0 || size.cy <= 0)
        return false;
    HIMAGELIST images = ImageList_Create(size.cx, size.cy, ILC_COLOR24 | ILC_MASK, 1, 0);
    if (images != nullptr && ImageList_AddMasked(images, bitmap, mask) < 0)
    {
        ImageList_Destroy(images);
        images = nullptr;
    }
    return ReplaceIcons(images);
}

bool CSkinBalloonHelp::SetIconScaled(HICON icon, int width, int height)
{
    CSize own = IconSize(icon);
    if (own.cx <= 0 || own.cy <= 0 || width <= 0 || height <= 0)
        return false;
    CDC source;
    CDC target;
    if (!source.CreateCompatibleDC() || !target.CreateCompatibleDC())
        return false;
    CBitmap original;
    CBitmap scaled;
    {
        CGetDC screen;
        if (!original.CreateCompatibleBitmap(screen, own.cx, own.cy) ||
            !scaled.CreateCompatibleBitmap(screen, width, height))
            return false;
    }
    {
        CSelectScope sourceBitmap(source, original);
        CSelectScope targetBitmap(target, scaled);
        source.FillSolidRect(0, 0, own.cx, own.cy, m_background);
        DrawIconEx(source, 0, 0, icon, own.cx, own.cy, 0, nullptr, DI_NORMAL);
        SetStretchBltMode(target, HALFTONE);
        SetBrushOrgEx(target, 0, 0, nullptr);
        StretchBlt(target, 0, 0, width, height, source, 0, 0, own.cx, own.cy, SRCCOPY);
    }
    return SetIconMasked(scaled.GetSafeHandle(), m_background);
}

RECT CSkinBalloonHelp::GetScreenRect(POINT anchor)
{
    if (m_screenRect.Width() <= 0 || m_screenRect.Height() <= 0)
    {
        CMultiMon monitors;
        RECT workArea = {};
        if (monitors.GetWorkAreaNearPoint(anchor, workArea))
            m_screenRect = CRect(workArea);
    }
    return *static_cast<const RECT*>(m_screenRect);
}

CRect CSkinBalloonHelp::GetCloseButtonRect() const
{
    if (!(m_options & OptionShowCloseButton) || GetSafeHwnd() == nullptr)
        return CRect();
    CRect client = GetClientRect();
    CSize button = GetCloseButtonSize();
    return CRect(client.right - button.cx, 0, client.right, button.cy);
}

void CSkinBalloonHelp::Reposition()
{
    CSize header;
    {
        CGetDC dc(m_hWnd);
        DrawHeader(header, dc, false);
    }
    CSize content;
    m_content.GetWindowSize(content);
    int width = std::max(header.cx, content.cx);
    ::MoveWindow(m_content.GetHwnd(), 0, header.cy + kGap, width, content.cy, FALSE);
    SIZE window = {width + 2 * balloon::Margin,
                   header.cy + kGap + content.cy + 2 * balloon::Margin + balloon::TailHeight};

    POINT anchor = m_anchor;
    if (m_hAnchorWindow != nullptr && IsWindow(m_hAnchorWindow))
        ClientToScreen(m_hAnchorWindow, &anchor);
    balloon::Placement placement = balloon::Place(anchor, window, GetScreenRect(anchor));
    m_quadrant = placement.quadrant;
    // The client area depends on the quadrant: the frame is computed again.
    SetWindowPos(m_hWnd, nullptr, placement.position.x, placement.position.y, window.cx,
                 window.cy, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

    CRgn body;
    CRgn tail;
    CRgn region;
    const RECT& b = placement.body;
    if (!body.CreateRoundRectRgn(b.left, b.top, b.right, b.bottom, 16, 16) ||
        !tail.CreatePolygonRgn(placement.tail, 3, ALTERNATE) ||
        region.CombineRgn(body, tail, RGN_OR) == ERROR)
        return;
    if (m_region.IsValid() && region.EqualRgn(m_region))
        return;
    m_region.Attach(region.Detach(), true);
    // The system owns the region it is given: it gets a copy.
    CRgn given;
    if (given.CopyRgn(m_region) == ERROR)
        return;
    if (SetWindowRgn(m_hWnd, static_cast<HRGN>(given.GetHandle()), TRUE))
        given.Detach();
    RedrawWindow(m_hWnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
}

void CSkinBalloonHelp::DrawNonClient(HDC dc)
{
    CRect window = GetWindowBounds();
    CDC target(dc);
    target.FillSolidRect(0, 0, window.Width(), window.Height(), m_background);
    if (!m_region.IsValid())
        return;
    if ((m_options & OptionInnerShadow) && m_lightBrush.IsValid() && m_darkBrush.IsValid())
    {
        CRgn shadow;
        if (shadow.CopyRgn(m_region) != ERROR)
        {
            shadow.OffsetRgn(1, 1);
            FrameRgn(dc, shadow.GetSafeHandle(), m_lightBrush.GetSafeHandle(), 2, 2);
            shadow.OffsetRgn(-2, -2);
            FrameRgn(dc, shadow.GetSafeHandle(), m_darkBrush.GetSafeHandle(), 2, 2);
        }
    }
    // The system's own brush of colour 0: shared, never deleted.
    FrameRgn(dc, m_region.GetSafeHandle(), GetSysColorBrush(COLOR_SCROLLBAR), 1, 1);
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CSkinBalloonHelp::DrawCloseButton(HDC dc)
{
    RECT rect = *static_cast<const RECT*>(GetCloseButtonRect());
    if (m_hTheme != nullptr)
    {
        int state = m_closeState == 2 ? TTCS_PRESSED : m_closeState == 1 ? TTCS_HOT : TTCS_NORMAL;
        if (SUCCEEDED(
                GetThemeLibrary().DrawThemeBackground(m_hTheme, dc, TTP_CLOSE, state, &rect, nullptr)))
            return;
    }
    if (HasMarlettFont())
    {
        UINT state = DFCS_CAPTIONCLOSE | (m_closeState == 0 ? DFCS_FLAT : DFCS_HOT);
        if (m_closeState == 2)
            state |= DFCS_PUSHED;
        DrawFrameControl(dc, &rect, DFC_CAPTION, state);
        return;
    }
    // DrawFrameControl draws the caption glyphs from the Marlett font; a
    // system without it (Wine without its font package) shows the letter
    // "r" instead of the cross. The same flat button, drawn here: a frame
    // when hot, sunk when pressed, and the cross.
    CDC target(dc);
    if (m_closeState != 0)
    {
        if (m_closeState == 2)
            target.FillSolidRect(rect, GetSysColor(COLOR_BTNFACE));
        CDC::FrameRect(dc, rect, GetSysColor(COLOR_BTNSHADOW), 1);
    }
    int inset = std::max(3, static_cast<int>(rect.right - rect.left) / 4);
    int shift = m_closeState == 2 ? 1 : 0;
    CSelectScope pen(dc, m_crossPen);
    MoveToEx(dc, rect.left + inset + shift, rect.top + inset + shift, nullptr);
    LineTo(dc, rect.right - inset + shift, rect.bottom - inset + shift);
    MoveToEx(dc, rect.right - inset - 1 + shift, rect.top + inset + shift, nullptr);
    LineTo(dc, rect.left + inset - 1 + shift, rect.bottom - inset + shift);
}

void CSkinBalloonHelp::DrawHeader(CSize& size, HDC dc, bool draw)
{
    size = CSize(0, 0);
    if (m_icons.GetSafeHandle() != nullptr)
    {
        size.cx += m_iconSize.cx;
        size.cy = std::max(size.cy, m_iconSize.cy);
        if (draw)
            ImageList_DrawEx(m_icons.GetSafeHandle(), 0, dc, 0, 0, 0, 0, m_background, CLR_NONE,
                             ILD_NORMAL);
    }
    int iconRight = size.cx;
    CSize button;
    if (m_options & OptionShowCloseButton)
    {
        button = GetCloseButtonSize();
        if (size.cx > 0)
            size.cx += kGap;
        size.cx += button.cx;
        size.cy = std::max(size.cy, button.cy);
        if (draw)
            DrawCloseButton(dc);
    }
    CString title;
    if (GetSafeHwnd() != nullptr)
        title.GetWindowText(m_hWnd);
    if (title.IsEmpty())
        return;

    CSelectScope font(dc, m_titleFont);
    const UINT format = DT_NOPREFIX | DT_EXPANDTABS | DT_SINGLELINE;
    RECT measured = {0, 0, 0, 0};
    ::DrawTextA(dc, title, -1, &measured, format | DT_CALCRECT);
    if (size.cx > 0)
        size.cx += kGap;
    size.cx += measured.right - measured.left;
    size.cy = std::max(size.cy, measured.bottom - measured.top);
    if (!draw)
        return;
    CRect client = GetClientRect();
    RECT titleRect = {iconRight > 0 ? iconRight + kGap : 0, 0,
                      client.right - (button.cx > 0 ? button.cx + kGap : 0), size.cy};
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor = SetTextColor(dc, RGB(0, 0, 0));
    ::DrawTextA(dc, title, -1, &titleRect, format | DT_CENTER | DT_VCENTER);
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
}

void CSkinBalloonHelp::DrawClient(HDC dc)
{
    CSize size;
    DrawHeader(size, dc, true);
}

LRESULT CSkinBalloonHelp::OnEraseBkgnd(CDC* dc)
{
    if (dc != nullptr)
        dc->FillSolidRect(*GetClientRect(), m_background);
    return 1;
}

LRESULT CSkinBalloonHelp::OnPaint(CDC* dc)
{
    if (m_hTheme == nullptr && CHotButton::VisualStylesActive())
        m_hTheme = GetThemeLibrary().OpenThemeData(m_hWnd, L"TOOLTIP");
    return PaintIntoOrOwnCycle(m_hWnd, dc, [this](CDC& target) { DrawClient(target); });
}

LRESULT CSkinBalloonHelp::OnNcDestroy()
{
    CWindow::OnNcDestroy();
    m_region.DeleteObject();
    if (m_hTheme != nullptr)
    {
        GetThemeLibrary().CloseThemeData(m_hTheme);
        m_hTheme = nullptr;
    }
    if (m_options & OptionDeleteSelf)
        delete this;
    return 0;
}

void CSkinBalloonHelp::TrackCloseButton(POINT client)
{
    CRect button = GetCloseButtonRect();
    int state = 0;
    if (PtInRect(button, client))
        state = m_closePressed ? 2 : 1;
    if (state == m_closeState)
        return;
    m_closeState = state;
    InvalidateRect(m_hWnd, button, TRUE);
}

LRESULT CSkinBalloonHelp::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_NCCALCSIZE:
    {
        // Both forms start with the window rectangle, which becomes the
        // client rectangle.
        auto* rect = reinterpret_cast<RECT*>(lParam);
        *rect = balloon::ClientInside(*rect, m_quadrant);
        return 0;
    }
    case WM_NCPAINT:
    {
        CWindowDC dc(m_hWnd);
        DrawNonClient(dc);
        break;
    }
    case WM_PRINT:
        if (lParam & PRF_NONCLIENT)
            DrawNonClient(reinterpret_cast<HDC>(wParam));
        break;
    case WM_PRINTCLIENT:
        return PrintClientThroughPaint(m_hWnd, wParam, lParam);
    case WM_THEMECHANGED:
        if (m_hTheme != nullptr)
            GetThemeLibrary().CloseThemeData(m_hTheme);
        m_hTheme = CHotButton::VisualStylesActive() ? GetThemeLibrary().OpenThemeData(m_hWnd, L"TOOLTIP")
                                        : nullptr;
        return 0;
    case WM_ACTIVATE:
    {
        // The owner keeps its active caption while the balloon is clicked.
        if (HWND owner = GetWindow(m_hWnd, GW_OWNER))
            SendMessageA(owner, WM_NCACTIVATE, TRUE, 0);
        WORD how = LOWORD(wParam);
        if ((m_options & OptionHideOnActivate) && (how == WA_ACTIVE || how == WA_CLICKACTIVE))
        {
            Hide();
            return 0;
        }
        break;
    }
    case WM_CLOSE:
        Hide();
        return 0;
    case WM_TIMER:
        if (wParam == TimeoutTimer)
        {
            KillTimer(m_hWnd, TimeoutTimer);
            Hide();
        }
        return 0;
    case WM_SHOWWINDOW:
        // The fades run from Show and Hide (see the header).
        break;
    case WM_NCHITTEST:
        if (m_options & OptionShowCloseButton)
        {
            POINT point = {PointX(lParam), PointY(lParam)};
            ScreenToClient(m_hWnd, &point);
            TrackCloseButton(point);
        }
        break;
    case WM_MOUSEMOVE:
        if (m_options & OptionShowCloseButton)
            TrackCloseButton(POINT{PointX(lParam), PointY(lParam)});
        break;
    case WM_LBUTTONDOWN:
        if (m_options & OptionShowCloseButton)
        {
            POINT point = {PointX(lParam), PointY(lParam)};
            if (PtInRect(GetCloseButtonRect(), point))
            {
                m_closePressed = true;
                SetCapture(m_hWnd);
                TrackCloseButton(point);
                return 0;
            }
        }
        break;
    case WM_LBUTTONUP:
    {
        POINT point = {PointX(lParam), PointY(lParam)};
        if (m_closePressed)
        {
            m_closePressed = false;
            ReleaseOwnCapture();
            if (PtInRect(GetCloseButtonRect(), point))
            {
                m_options |= OptionNoFadeOut;
                Hide();
                return 0;
            }
            TrackCloseButton(point);
            return 0;
        }
        if (!m_link.IsEmpty() && PtInRect(GetClientRect(), point))
        {
            ShellExecuteA(nullptr, nullptr, m_link, nullptr, nullptr, SW_SHOWNORMAL);
            ReleaseOwnCapture();
            Hide();
            return 0;
        }
        break;
    }
    default:
        break;
    }
    return CWindow::WindowProc(message, wParam, lParam);
}
