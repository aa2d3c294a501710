#include "skin/SkinButton.h"

#include "foundation/Module.h"
#include "skin/SkinPaint.h"
#include "skin/SkinFiles.h"

#include <commctrl.h>

namespace
{

// WM_COMMAND to the parent with notification code 1.
void NotifyParent(HWND control)
{
    HWND parent = GetParent(control);
    if (parent == nullptr)
        return;
    WPARAM wParam = 0x10000 | (static_cast<WPARAM>(GetDlgCtrlID(control)) & 0xFFFF);
    SendMessageA(parent, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control));
}

int AnswerToolTip(const CString& text, NMTTDISPINFOA* info)
{
    if (text.IsEmpty() || info == nullptr)
        return 0;
    // The stored text outlives the request: the tooltip reads it later.
    info->lpszText = const_cast<char*>(static_cast<const char*>(text));
    return 1;
}
} // namespace

// --- CSkinButton ---

CSkinButton::CSkinButton()
{
    CSkinFiles skin;
    m_textColors[0] = skin.ReadColor("BUTTON_DEFAULT", RGB(255, 255, 255));
    m_textColors[1] = skin.ReadColor("BUTTON_ACTIVE", RGB(255, 255, 255));
    m_textColors[2] = skin.ReadColor("BUTTON_DOWN", RGB(255, 255, 255));
    // Once per button: a paint never makes a font.
    CreateSkinFont(m_textFont, 15, FW_BOLD);
}

CSkinButton::~CSkinButton()
{
    m_snapshot.reset();
    m_picture.Destroy();
    m_imageList.Destroy();
    m_textFont.DeleteObject();
}

void CSkinButton::SetTextColors(COLORREF normal, COLORREF hot, COLORREF down)
{
    m_textColors[0] = normal;
    m_textColors[1] = hot;
    m_textColors[2] = down;
}

COLORREF CSkinButton::GetTextColor(int state) const
{
    return state >= 0 && state <= 2 ? m_textColors[state] : m_textColors[0];
}

void CSkinButton::LoadSkinImage(CString key, CString defaultFile)
{
    ::LoadSkinImage(m_hWnd, key, defaultFile, m_picture, m_imageList, m_stateImage, &m_snapshot);
}

void CSkinButton::SetRadioGroup(CArray<CSkinButton*>* group)
{
    m_group = group;
    if (group != nullptr)
        group->Add(this);
}

void CSkinButton::SetRadioChecked()
{
    if (m_group == nullptr)
        return;
    for (int i = 0; i < m_group->GetSize(); ++i)
    {
        CSkinButton* button = (*m_group)[i];
        if (button == nullptr)
            continue;
        button->m_checked = 0;
        if (button->GetSafeHwnd() != nullptr)
            InvalidateRect(button->GetHwnd(), nullptr, TRUE);
    }
    m_checked = 1;
}

bool CSkinButton::ShowsPushed() const
{
    if ((m_state & StatePressed) == 0)
        return false;
    // Windows 6 with visual styles shows a press without moving the
    // contents; Wine 8 is version 6.1, but without a manifest comctl32 is
    // 5.81, so there a pressed button moves one pixel.
    const OSVERSIONINFOA& version = GetModuleState()->GetOSVersion();
    return !(version.dwMajorVersion >= 6 && VisualStylesActive());
}

int CSkinButton::ChooseState() const
{
    const bool enabled = IsWindowEnabled(m_hWnd) != FALSE;
    if ((m_state & StateHot) && enabled)
        return 1;
    if ((m_state & StatePressed) && enabled)
        return 2;
    // A disabled checked button of a group keeps showing it is the one.
    if (m_checked)
        return 2;
    return 0;
}

UINT CSkinButton::ChooseTextFlags() const
{
    UINT flags = 0;
    if (ShowsPushed())
        flags |= CDC::StatePressed;
    if (const_cast<CSkinButton*>(this)->QueryUIState() & UISF_HIDEACCEL)
        flags |= CDC::StateHidePrefix;
    if (m_state & StateHot)
        flags |= StateHotLook;
    flags |= CDC::StateTransparent;
    if (!IsWindowEnabled(m_hWnd))
        flags |= CDC::StateDisabled;
    if (m_plainLook)
        flags &= ~(CDC::StateDisabled | CDC::StatePressed);
    if (m_textIndent != 0)
        flags |= CDC::StateLeft;
    return flags;
}

LRESULT CSkinButton::OnPaint(CDC* dc)
{
    return PaintIntoOrOwnCycle(m_hWnd, dc, [this](CDC& target) { Draw(target); });
}

void CSkinButton::Draw(CDC& dc)
{
    RECT client = ClientRectOf(m_hWnd);
    if (IsRectEmpty(&client))
        return;
    CBufferDC buffer(dc, client);
    const int saved = SaveDC(buffer);
    const int state = ChooseState();
    const UINT flags = ChooseTextFlags();

    if (HIMAGELIST images = m_imageList.GetSafeHandle())
    {
        const int index = m_stateImage[state];
        if (index == -1)
        {
            int width = 0;
            int height = 0;
            ImageList_GetIconSize(images, &width, &height);
            if (m_snapshot != nullptr)
            {
                // The part of the parent's background that lies under the
                // button.
                RECT place = {};
                GetWindowRect(m_hWnd, &place);
                MapWindowPoints(nullptr, GetParent(m_hWnd), reinterpret_cast<POINT*>(&place), 2);
                BitBlt(buffer, 0, 0, width, height, *m_snapshot, place.left, place.top, SRCCOPY);
            }
        }
        else
        {
            // The pushed look moves the picture (the plain look keeps only
            // the text in place).
            const int shift = ShowsPushed() ? 1 : 0;
            ImageList_Draw(images, index, buffer, shift, shift, ILD_TRANSPARENT);
        }
    }

    CString text;
    text.GetWindowText(m_hWnd);
    if (!text.IsEmpty())
    {
        SetBkMode(buffer, TRANSPARENT);
        CSelectScope font(buffer, m_textFont);
        ::SetTextColor(buffer, m_textColors[state]);
        RECT area = client;
        if (m_textIndent != 0)
            area.left = m_textIndent;
        buffer.DrawStateText(text, area, flags);
    }
    RestoreDC(buffer, saved);
}

LRESULT CSkinButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PRINTCLIENT)
        return PrintClientThroughPaint(m_hWnd, wParam, lParam);
    return CHotButton::WindowProc(message, wParam, lParam);
}

bool CSkinButton::GetWindowSize(CSize& size)
{
    size.cx += 3 * GetSystemMetrics(SM_CXFRAME);
    size.cy += 3 * GetSystemMetrics(SM_CYFRAME);
    int imageHeight = 0;
    HIMAGELIST images = m_imageList.GetSafeHandle();
    if (images != nullptr && ImageList_GetImageCount(images) > 0)
    {
        int imageWidth = 0;
        ImageList_GetIconSize(images, &imageWidth, &imageHeight);
        size.cx += imageWidth + 4;
        size.cy += imageHeight;
    }
    CString text;
    text.GetWindowText(m_hWnd);
    if (!text.IsEmpty())
    {
        CGetDC dc(m_hWnd);
        CSelectScope font(dc, m_textFont);
        RECT extent = {0, 0, 0, 0};
        DrawTextA(dc, text, -1, &extent, DT_CALCRECT);
        size.cx += extent.right - extent.left + 4;
        const int textHeight = extent.bottom - extent.top;
        if (textHeight > imageHeight)
            size.cy += textHeight - imageHeight;
    }
    return true;
}

void CSkinButton::OnClicked()
{
    NotifyParent(m_hWnd);
}

int CSkinButton::GetToolTipText(NMTTDISPINFOA* info)
{
    return AnswerToolTip(m_toolTipText, info);
}

// --- CSkinCheckBox ---

CSkinCheckBox::CSkinCheckBox()
{
    CSkinFiles skin(CSkinFiles::FirstRunDefaults);
    LoadImages(skin.GetImagePath("CHECK_BUTTON", "check_button.png"));
    CreateSkinFont(m_textFont, 15, FW_NORMAL);
}

CSkinCheckBox::~CSkinCheckBox()
{
    m_textFont.DeleteObject();
    m_imageList.Destroy();
}

bool CSkinCheckBox::LoadImages(const char* path)
{
    CPicture picture;
    HBITMAP bitmap = picture.Load(path) ? picture.MakeBitmap() : nullptr;
    m_imageList.Create(22, 22, ILC_COLOR32 | ILC_MASK, 3, 0);
    if (bitmap == nullptr)
        return false;
    ImageList_AddMasked(m_imageList.GetSafeHandle(), bitmap, RGB(255, 255, 255));
    DeleteObject(bitmap);
    return true;
}

void CSkinCheckBox::SetChecked(bool checked)
{
    if ((m_checked != 0) == checked)
        return;
    m_checked = checked ? 1 : 0;
    if (GetSafeHwnd() != nullptr)
        Repaint();
}

int CSkinCheckBox::ChooseImage() const
{
    const bool enabled = IsWindowEnabled(m_hWnd) != FALSE;
    if (m_checked)
        return enabled ? 0 : 1;
    return enabled ? 2 : 3;
}

LRESULT CSkinCheckBox::OnPaint(CDC* dc)
{
    return PaintIntoOrOwnCycle(m_hWnd, dc, [this](CDC& target) { Draw(target); });
}

void CSkinCheckBox::Draw(CDC& dc)
{
    RECT client = ClientRectOf(m_hWnd);
    if (IsRectEmpty(&client))
        return;
    CBufferDC buffer(dc, client);
    int imageWidth = 0;
    int imageHeight = 0;
    if (HIMAGELIST images = m_imageList.GetSafeHandle())
    {
        ImageList_GetIconSize(images, &imageWidth, &imageHeight);
        ImageList_Draw(images, ChooseImage(), buffer, 0, 0, ILD_TRANSPARENT);
    }
    CString text;
    text.GetWindowText(m_hWnd);
    if (text.IsEmpty())
        return;
    RECT area = {imageWidth + 3, 5, client.right, client.bottom};
    const int oldMode = SetBkMode(buffer, TRANSPARENT);
    CSelectScope font(buffer, m_textFont);
    const COLORREF oldColor = ::SetTextColor(
        buffer, GetSysColor(IsWindowEnabled(m_hWnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    DrawTextA(buffer, text, -1, &area, 0);
    ::SetTextColor(buffer, oldColor);
    font.Restore();
    SetBkMode(buffer, oldMode);
}

LRESULT CSkinCheckBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PRINTCLIENT)
        return PrintClientThroughPaint(m_hWnd, wParam, lParam);
    return CHotButton::WindowProc(message, wParam, lParam);
}

void CSkinCheckBox::OnClicked()
{
    NotifyParent(m_hWnd);
    m_checked = m_checked ? 0 : 1;
    Repaint();
}

int CSkinCheckBox::GetToolTipText(NMTTDISPINFOA* info)
{
    return AnswerToolTip(m_toolTipText, info);
}
