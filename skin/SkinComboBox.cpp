#include "skin/SkinComboBox.h"

#include "foundation/BuiltinImages.h"
#include "foundation/Exception.h"
#include "foundation/Module.h"
#include "skin/SkinFiles.h"
#include "skin/SkinPaint.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace
{
// Message 0x200E arms the completion like a key press.
constexpr UINT kCompletionKeyMessage = 0x200E;
// RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME.
constexpr UINT kRedrawAll = 0x505;
// The light glyph colour of the framework: the arrow on the dropped-down
// button's accent fill.
constexpr COLORREF kLightGlyph = RGB(255, 255, 255);

CString ItemText(HWND combo, int index)
{
    CString text;
    LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0)
        return text;
    char* buffer = text.GetBuffer(static_cast<int>(length));
    LRESULT copied = SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                  reinterpret_cast<LPARAM>(buffer));
    text.Truncate(copied > 0 ? static_cast<int>(std::min<LRESULT>(copied, length)) : 0);
    return text;
}

int FindPrefix(HWND combo, int after, const char* text)
{
    return static_cast<int>(SendMessageA(combo, CB_FINDSTRING, static_cast<WPARAM>(after),
                                         reinterpret_cast<LPARAM>(text)));
}

void ReadFrameColors(COLORREF (&frame)[3])
{
    CSkinFiles skin;
    frame[0] = skin.ReadColor("COLOR_FRAME_1", RGB(168, 168, 168));
    frame[1] = skin.ReadColor("COLOR_FRAME_2", RGB(223, 223, 223));
    frame[2] = skin.ReadColor("COLOR_FRAME_3", RGB(255, 173, 27));
}

// A one-pixel outline (the NULL_BRUSH keeps the inside).
void Outline(HDC dc, const RECT& rect, COLORREF color)
{
    CDC::FrameRect(dc, rect, color, 1);
}

void FillRect(HDC dc, const RECT& rect, COLORREF color)
{
    if (rect.right > rect.left && rect.bottom > rect.top)
        CDC(dc).FillSolidRect(rect, color);
}

// Hover tracking of the whole window: WM_MOUSELEAVE when the pointer goes.
bool TrackLeave(HWND window)
{
    TRACKMOUSEEVENT track = {};
    track.cbSize = sizeof(track);
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = window;
    return TrackMouseEvent(&track) != FALSE;
}

bool CursorIn(HWND window)
{
    POINT cursor = {};
    RECT rect = {};
    return GetCursorPos(&cursor) && GetWindowRect(window, &rect) && PtInRect(&rect, cursor);
}
} // namespace

static_assert(sizeof(TRACKMOUSEEVENT) == (sizeof(void*) == 8 ? 24 : 16),
              "TRACKMOUSEEVENT: 24 bytes on 64-bit Windows");

// --- CCompletion ---

void CCompletion::Complete(HWND combo)
{
    // Setting the text below may report another edit (Wine's combo does not,
    // Windows' may): that one must not complete again.
    if (m_completing || combo == nullptr)
        return;
    m_completing = true;
    CString typed;
    typed.GetWindowText(combo);
    const int typedLength = typed.GetLength();
    DWORD start = 0;
    DWORD end = 0;
    const bool selectionValid = SendMessageA(combo, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                                             reinterpret_cast<LPARAM>(&end)) != CB_ERR;

    int index = typedLength > 0 ? FindPrefix(combo, -1, typed) : CB_ERR;
    if (index == CB_ERR)
    {
        m_completing = false;
        return;
    }
    CString candidate = ItemText(combo, index);
    for (;;)
    {
        const int next = FindPrefix(combo, index, typed);
        // The search wraps to the start after the last match.
        if (next == CB_ERR || next <= index)
        {
            SetWindowTextA(combo, candidate);
            if (static_cast<int>(end) < typedLength && selectionValid)
            {
                // The caret was inside the text: the user is editing there.
                SendMessageA(combo, CB_SETEDITSEL, 0, MAKELPARAM(start, end));
                m_completing = false;
                return;
            }
            break;
        }
        index = next;
        CString other = ItemText(combo, index);
        const int limit = std::min(candidate.GetLength(), other.GetLength());
        int common = 0;
        while (common < limit && std::toupper(static_cast<unsigned char>(candidate[common])) ==
                                     std::toupper(static_cast<unsigned char>(other[common])))
            ++common;
        candidate.Truncate(common);
    }
    // The completed part selected: typing replaces it.
    SendMessageA(combo, CB_SETEDITSEL, 0, MAKELPARAM(typedLength, -1));
    m_completing = false;
}

// --- CSkinComboBox ---

CSkinComboBox::CSkinComboBox()
{
    ReadFrameColors(m_frame);
}

CSkinComboBox::~CSkinComboBox() = default;

HWND CSkinComboBox::EditField() const
{
    if (m_hWnd == nullptr)
        return nullptr;
    DWORD style = static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE));
    if ((style & 3) == CBS_DROPDOWNLIST)
        return nullptr;
    // The first child; a simple combo's list is a child too, so the class
    // decides.
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
    {
        char name[16] = {};
        GetClassNameA(child, name, sizeof(name));
        if (lstrcmpiA(name, "Edit") == 0)
            return child;
    }
    return nullptr;
}

bool CSkinComboBox::IsHot()
{
    if (m_tracking)
        return true;
    DWORD style = static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE));
    if ((style & 3) == 0)
        return false;
    // A drop-down list has no edit field to poll.
    HWND edit = EditField();
    if (edit == nullptr || !CursorIn(edit))
        return false;
    SetTimer(m_hWnd, kComboHoverTimer, kComboHoverPeriod, nullptr);
    return true;
}

bool CSkinComboBox::HasFocus() const
{
    HWND focus = GetFocus();
    return focus != nullptr && (focus == m_hWnd || focus == EditField());
}

bool CSkinComboBox::PreTranslateMessage(MSG* message)
{
    if (m_autoComplete && message != nullptr)
    {
        DWORD style = static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE));
        if ((style & 3) == 0)
            SetCompleteNext(false);
        else if (message->message == WM_KEYDOWN || message->message == kCompletionKeyMessage)
            SetCompleteNext(message->wParam != VK_DELETE && message->wParam != VK_BACK);
    }
    return CComboBox::PreTranslateMessage(message);
}

LRESULT CSkinComboBox::OnEditUpdate(int&)
{
    if (m_autoComplete && GetCompleteNext())
        Complete(m_hWnd);
    return 0;
}

LRESULT CSkinComboBox::OnCloseUp(int&)
{
    RedrawFrame();
    return 0;
}

LRESULT CSkinComboBox::OnDropDown(int&)
{
    RedrawFrame();
    return 0;
}

LRESULT CSkinComboBox::OnKillFocus(int&)
{
    RedrawFrame();
    return 0;
}

LRESULT CSkinComboBox::OnSetFocus(int&)
{
    RedrawFrame();
    return 0;
}

void CSkinComboBox::RedrawFrame()
{
    if (GetSafeHwnd() == nullptr)
        return;
    CWindowDC dc(m_hWnd);
    if (dc.GetSafeHdc() != nullptr)
        DrawFrame(dc);
}

LRESULT CSkinComboBox::OnPaint(CDC* dc)
{
    try
    {
        CPaintDC* paint = nullptr;
        std::unique_ptr<CPaintDC> own;
        if (dc == nullptr)
        {
            own = std::make_unique<CPaintDC>(m_hWnd);
            paint = own.get();
            dc = paint;
        }
        RECT client = {};
        ::GetClientRect(m_hWnd, &client);
        CBufferDC buffer(*dc, client);
        SendMessageA(m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(buffer.GetSafeHdc()), 0);
        LRESULT result = WindowProc(WM_PAINT, reinterpret_cast<WPARAM>(buffer.GetSafeHdc()), 0);
        DrawFrame(buffer);
        return result;
    }
    catch (const CMemoryException&)
    {
        return -1;
    }
}

void CSkinComboBox::DrawFrame(CDC& dc)
{
    RECT client = ClientRectOf(m_hWnd);
    if (IsRectEmpty(&client))
        return;
    CSelectScope brush(dc, GetStockObject(NULL_BRUSH));
    const bool hot = IsWindowEnabled(m_hWnd) && IsHot();
    const bool lit = hot || HasFocus();
    RECT inner = client;
    InflateRect(&inner, -1, -1);
    if (!lit)
    {
        Outline(dc, client, m_frame[0]);
        Outline(dc, inner, m_frame[1]);
    }
    else if (m_skinnedLook)
    {
        Outline(dc, client, m_frame[2]);
        Outline(dc, inner, m_frame[2]);
    }
    else
    {
        DrawEdge(dc, &client, BDR_SUNKENOUTER, BF_RECT);
        Outline(dc, inner, GetSysColor(COLOR_BTNFACE));
    }
    DrawButton(dc, lit);
}

void CSkinComboBox::DrawButton(CDC& dc, bool lit)
{
    RECT client = ClientRectOf(m_hWnd);
    const int height = client.bottom - client.top;
    RECT area = client;
    area.left = client.right - (GetSystemMetrics(SM_CXVSCROLL) + 2);
    RECT clear = {area.left, area.top + 2, area.right - 1, area.top + 2 + height - 4};
    FillRect(dc, clear, GetSysColor(COLOR_WINDOW));

    const bool enabled = IsWindowEnabled(m_hWnd) != FALSE;
    const bool dropped = SendMessageA(m_hWnd, CB_GETDROPPEDSTATE, 0, 0) != 0;
    HIMAGELIST glyphs = GetModuleState()->GetImageList();
    int glyphWidth = 16;
    int glyphHeight = 16;
    if (glyphs != nullptr)
        ImageList_GetIconSize(glyphs, &glyphWidth, &glyphHeight);
    // The glyph cell centred on the area, then moved by (dx, dy).
    auto drawArrow = [&](const RECT& on, int dx, int dy, COLORREF color)
    {
        if (glyphs == nullptr)
            return;
        const int x = (on.left + on.right - glyphWidth) / 2 + dx;
        const int y = (on.top + on.bottom - glyphHeight) / 2 + dy;
        RECT cell = {x, y, x + glyphWidth, y + glyphHeight};
        dc.DrawMonoImage(glyphs, ArrowDownIcon, cell, color, CDC::StateTransparent);
    };

    if (!enabled || !lit)
    {
        area.left -= 2;
        area.top += 2;
        area.right -= 2;
        area.bottom -= 2;
        FillRect(dc, area, m_frame[1]);
        if (enabled)
            FillRect(dc, RECT{area.left, area.top, area.left + 4, area.bottom}, RGB(255, 255, 255));
        // Right of the white strip.
        RECT arrow = {area.left + 4, area.top + 1, area.right, area.bottom};
        drawArrow(arrow, 0, 0, enabled ? RGB(0, 0, 0) : GetSysColor(COLOR_GRAYTEXT));
    }
    else if (m_skinnedLook)
    {
        area.left += 1;
        const COLORREF fill = dropped ? m_frame[2] : m_frame[1];
        Outline(dc, area, m_frame[2]);
        RECT inside = area;
        InflateRect(&inside, -1, -1);
        FillRect(dc, inside, fill);
        drawArrow(inside, 1, 1, dropped ? kLightGlyph : RGB(0, 0, 0));
    }
    else
    {
        FillRect(dc, area, GetSysColor(COLOR_BTNFACE));
        DrawEdge(dc, &area, dropped ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        drawArrow(area, 1, 1, RGB(0, 0, 0));
    }
}

LRESULT CSkinComboBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_ENABLE:
        RedrawWindow(m_hWnd, nullptr, nullptr, kRedrawAll);
        break;
    case WM_MOUSEMOVE:
        if (!m_tracking)
        {
            m_tracking = TrackLeave(m_hWnd) ? 1 : 0;
            if (m_tracking)
                RedrawFrame();
        }
        break;
    case WM_MOUSELEAVE:
        m_tracking = 0;
        RedrawFrame();
        break;
    case WM_PARENTNOTIFY:
    {
        HWND edit = EditField();
        if (edit != nullptr && GetFocus() != edit)
        {
            RedrawFrame();
            KillTimer(m_hWnd, kComboHoverTimer);
        }
        break;
    }
    case WM_TIMER:
        if (wParam == kComboHoverTimer)
        {
            HWND edit = EditField();
            if (edit == nullptr || !CursorIn(edit))
            {
                KillTimer(m_hWnd, kComboHoverTimer);
                RedrawFrame();
            }
            return 0;
        }
        break;
    }
    return CComboBox::WindowProc(message, wParam, lParam);
}

// --- CSkinEdit ---

CSkinEdit::CSkinEdit()
{
    ReadFrameColors(m_frame);
}

CSkinEdit::~CSkinEdit() = default;

bool CSkinEdit::HasFocus() const
{
    return m_hWnd != nullptr && GetFocus() == m_hWnd;
}

void CSkinEdit::RedrawFrame()
{
    if (GetSafeHwnd() == nullptr)
        return;
    CWindowDC dc(m_hWnd);
    if (dc.GetSafeHdc() != nullptr)
        DrawFrame(dc);
}

void CSkinEdit::DrawFrame(CDC& dc)
{
    RECT rect = {};
    GetWindowRect(m_hWnd, &rect);
    OffsetRect(&rect, -rect.left, -rect.top);
    CSelectScope brush(dc, GetStockObject(NULL_BRUSH));
    const bool hot = IsWindowEnabled(m_hWnd) && m_tracking;
    if (!hot && !HasFocus())
    {
        Outline(dc, rect, m_frame[0]);
    }
    else if (m_skinnedLook)
    {
        Outline(dc, rect, m_frame[2]);
    }
    else
    {
        DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT);
        InflateRect(&rect, -1, -1);
        Outline(dc, rect, GetSysColor(COLOR_BTNFACE));
    }
}

LRESULT CSkinEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_NCPAINT:
    {
        // The default paints the scroll bars of a multi-line edit; the frame
        // goes around them.
        LRESULT result = CEdit::WindowProc(message, wParam, lParam);
        RedrawFrame();
        return result;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    {
        // The default handling first moves the caret; the frame follows the
        // focus as GetFocus reports it after the change.
        LRESULT result = CEdit::WindowProc(message, wParam, lParam);
        RedrawFrame();
        return result;
    }
    case WM_ENABLE:
        RedrawWindow(m_hWnd, nullptr, nullptr, kRedrawAll);
        break;
    case WM_NCCALCSIZE:
        if (wParam)
        {
            // A 2-pixel frame on every side, drawn by WM_NCPAINT above; then
            // the default takes the scroll bars (WS_VSCROLL, WS_HSCROLL) from
            // what is left, so they stand inside the frame.
            auto* sizes = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
            InflateRect(&sizes->rgrc[0], -2, -2);
            return CEdit::WindowProc(message, wParam, lParam);
        }
        break;
    case WM_MOUSEMOVE:
        if (!m_tracking)
        {
            m_tracking = TrackLeave(m_hWnd) ? 1 : 0;
            if (m_tracking)
                RedrawFrame();
        }
        break;
    case WM_MOUSELEAVE:
        m_tracking = 0;
        RedrawFrame();
        break;
    }
    return CEdit::WindowProc(message, wParam, lParam);
}
