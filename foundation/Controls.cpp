#include "foundation/Controls.h"

#include "foundation/Module.h"
#include "foundation/StaticSetup.h"

#include <windowsx.h>

#include <cstddef>

namespace
{
// A notification code and the handler it goes to.
template <class Control, class Handler> struct Slot
{
    UINT code;
    Handler Control::*handler;
};

template <class Control> using CommandSlot = Slot<Control, LRESULT(int&)>;
template <class Control> using NotifySlot = Slot<Control, LRESULT(NMHDR*, int&)>;

// The handler of the reflected WM_COMMAND's code, through the object's
// virtual table; 1 for a code without one.
template <class Control, size_t Count>
LRESULT DispatchCommand(Control& control, const CommandSlot<Control> (&slots)[Count], UINT code,
                        int& passOn)
{
    for (const CommandSlot<Control>& slot : slots)
    {
        if (slot.code == code)
            return (control.*slot.handler)(passOn);
    }
    return 1;
}
} // namespace

// --- CButton ---

LRESULT CButton::OnReflectedCommand(UINT code, int& passOn)
{
    static const CommandSlot<CButton> slots[] = {
        {BN_CLICKED, &CButton::OnClicked},
        {BN_SETFOCUS, &CButton::OnSetFocus},
        {BN_KILLFOCUS, &CButton::OnKillFocus},
    };
    return DispatchCommand(*this, slots, code, passOn);
}

// --- CCheckBox ---

bool CCheckBox::GetCheck() const
{
    return SendMessageA(m_hWnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CCheckBox::SetCheck(bool checked)
{
    SendMessageA(m_hWnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// --- CHotButton ---

namespace
{
constexpr DWORD kButtonTypeMask = 0x1F;

// NT 4's NONCLIENTMETRICSA ends before iPaddedBorderWidth: 340 bytes, which
// every later system (and Wine 8) accepts as well.
constexpr UINT kNonClientMetricsSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
static_assert(kNonClientMetricsSize == 340, "the older NONCLIENTMETRICSA has 340 bytes");

// The tool record without its trailing reserved pointer: comctl32 before
// version 6 refuses the whole one.
constexpr UINT kToolInfoSize = offsetof(TOOLINFOA, lpReserved);
#ifdef _WIN64
static_assert(kToolInfoSize == 64, "the tooltip is registered with the 64-byte TOOLINFOA");
#endif
} // namespace

CHotButton::CHotButton() = default;

CHotButton::~CHotButton()
{
    // The system destroys an owned tooltip with its button, so it may be
    // gone already.
    if (m_hToolTip != nullptr && IsWindow(m_hToolTip))
        ::DestroyWindow(m_hToolTip);
    m_hToolTip = nullptr;
    if (m_hTheme != nullptr)
        GetThemeLibrary().CloseThemeData(m_hTheme);
    m_hTheme = nullptr;
    m_font.DeleteObject();
}

void CHotButton::PreSubclassWindow()
{
    DWORD type = static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE)) & kButtonTypeMask;
    if (type == BS_DEFPUSHBUTTON)
    {
        m_isDefaultButton = 1;
        m_isPushButton = 1;
        m_formerType = 0;
    }
    else if (type == BS_PUSHBUTTON)
    {
        m_isPushButton = 1;
        m_formerType = 0;
    }
    else
    {
        m_formerType = type;
    }
    ModifyStyle(kButtonTypeMask, BS_OWNERDRAW, 0x20);
    CButton::PreSubclassWindow();
}

LRESULT CHotButton::OnReflectedCommand(UINT code, int& passOn)
{
    if (code != BN_CLICKED)
        return CButton::OnReflectedCommand(code, passOn);
    passOn = 0;
    OnClicked();
    return 0;
}

LRESULT CHotButton::OnNotify(NMHDR* header)
{
    if (header != nullptr && header->code == TTN_NEEDTEXTA)
        return static_cast<LRESULT>(GetToolTipText(reinterpret_cast<NMTTDISPINFOA*>(header)));
    return 0;
}

bool CHotButton::SetToolTip(bool enable)
{
    if (!enable)
    {
        if (m_hToolTip != nullptr && IsWindow(m_hToolTip))
            ::DestroyWindow(m_hToolTip);
        m_hToolTip = nullptr;
        return true;
    }
    // Enabling a tooltip that is there keeps it.
    if (m_hToolTip != nullptr && IsWindow(m_hToolTip))
        return true;
    HWND button = GetSafeHwnd();
    if (button == nullptr)
        return false;

    m_hToolTip = CreateWindowToolTip(button);
    return m_hToolTip != nullptr;
}

HWND CreateWindowToolTip(HWND window)
{
    InitCommonControlsSafe(ICC_BAR_CLASSES);
    HINSTANCE instance = GetModuleState()->GetInstanceHandle();
    HWND toolTip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   window, nullptr, instance, nullptr);
    if (toolTip == nullptr)
        return nullptr;

    TOOLINFOA tool = {};
    tool.cbSize = kToolInfoSize;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(window);
    tool.hinst = instance;
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    if (!SendMessageA(toolTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool)))
    {
        ::DestroyWindow(toolTip);
        return nullptr;
    }
    return toolTip;
}

bool CHotButton::VisualStylesActive()
{
    // Only a comctl32 of version 6 (selected by a manifest) draws with
    // visual styles; Wine 8 reports 5.81 without one.
    CThemeLibrary& themes = GetThemeLibrary();
    return GetModuleState()->GetComCtlMajorVersion() >= 6 && themes.IsLoaded() &&
           themes.IsAppThemed();
}

void CHotButton::Repaint()
{
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CHotButton::ReleaseOwnCapture()
{
    if (m_hWnd != nullptr && GetCapture() == m_hWnd)
        ReleaseCapture();
}

bool CHotButton::IsInsideClient(LPARAM point) const
{
    // Signed: with the capture held the pointer may be left of or above the
    // button.
    POINT pt = {GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    RECT client;
    return ::GetClientRect(m_hWnd, &client) && PtInRect(&client, pt);
}

LRESULT CHotButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_GETDLGCODE:
    {
        LRESULT code = CButton::WindowProc(message, wParam, lParam);
        if (m_formerType == BS_RADIOBUTTON || m_formerType == BS_AUTORADIOBUTTON)
            code |= DLGC_RADIOBUTTON;
        else if (m_formerType == BS_GROUPBOX)
            code = DLGC_STATIC;
        if (m_isPushButton || m_isDefaultButton)
        {
            // The owner-drawn control's own answer may carry either push
            // bit; the dialog manager must see exactly one.
            code &= ~static_cast<LRESULT>(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
            code |= m_isDefaultButton ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON;
        }
        return code;
    }

    case WM_SETFOCUS:
        m_state |= StateFocused;
        Repaint();
        return 0;

    case WM_KILLFOCUS:
        if (reinterpret_cast<HWND>(wParam) != m_hWnd)
        {
            m_state &= ~(StateFocused | StatePressed | StateTracking);
            ReleaseOwnCapture();
            Repaint();
        }
        return 0;

    case WM_ENABLE:
        Repaint();
        return 0;

    case WM_SETTEXT:
    {
        // The text is stored by the default procedure, not by the system's
        // button class: Wine 8's button fills the old label's rectangle
        // with the parent's WM_CTLCOLORBTN brush straight on the screen
        // (left-aligned for an owner-drawn button), and that stays over
        // the owner's picture until the next paint. The new text shows at
        // once.
        LRESULT result = DefWindowProcA(m_hWnd, message, wParam, lParam);
        Repaint();
        UpdateWindow(m_hWnd);
        return result;
    }

    case WM_SETFONT:
        if (wParam != 0)
            m_font.CreateCopy(reinterpret_cast<HFONT>(wParam));
        return CButton::WindowProc(message, wParam, lParam);

    case WM_GETFONT:
        if (!m_font.IsValid())
        {
            const OSVERSIONINFOA& version = GetModuleState()->GetOSVersion();
            if (version.dwMajorVersion <= 4)
            {
                NONCLIENTMETRICSA metrics = {};
                metrics.cbSize = kNonClientMetricsSize;
                if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &metrics,
                                          0))
                    m_font.CreateFontIndirect(metrics.lfMessageFont);
            }
            else if (HWND parent = GetParent(m_hWnd))
            {
                m_font.CreateCopy(reinterpret_cast<HFONT>(SendMessageA(parent, WM_GETFONT, 0, 0)));
            }
        }
        return reinterpret_cast<LRESULT>(m_font.GetSafeHandle());

    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        m_state = (m_state & ~StateHot) | StatePressed | StateTracking;
        Repaint();
        SetCapture(m_hWnd);
        ::SetFocus(m_hWnd);
        return 0;

    case WM_MOUSEMOVE:
    {
        bool inside = IsInsideClient(lParam);
        if (m_state & StateTracking)
        {
            DWORD before = m_state;
            if (inside)
                m_state |= StatePressed;
            else
                m_state &= ~StatePressed;
            if (m_state != before)
                Repaint();
        }
        else if ((m_state & (StatePressed | StateHoverSuppressed)) == 0)
        {
            if (inside && (m_state & StateHot) == 0)
            {
                m_state |= StateHot;
                SetCapture(m_hWnd);
                Repaint();
            }
            else if (!inside && (m_state & StateHot) != 0)
            {
                // Cleared first: losing the capture reports back through
                // WM_CAPTURECHANGED.
                m_state &= ~StateHot;
                ReleaseOwnCapture();
                Repaint();
            }
        }
        else if (m_state & StateHot)
        {
            m_state &= ~StateHot;
            ReleaseOwnCapture();
            Repaint();
        }
        return CButton::WindowProc(message, wParam, lParam);
    }

    case WM_LBUTTONUP:
    case WM_CANCELMODE:
    {
        // A cancelled press (the system cancels modes when a window is
        // disabled or a message box comes up) only lets go: it never runs
        // the button's action.
        bool fire = message == WM_LBUTTONUP && (m_state & StatePressed) != 0;
        m_state &= ~(StateHot | StateTracking | StatePressed);
        ReleaseOwnCapture();
        Repaint();
        if (fire)
            OnClicked();
        return 0;
    }

    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != m_hWnd)
        {
            m_state &= ~(StateHot | StateTracking);
            Repaint();
        }
        return 0;

    case WM_THEMECHANGED:
    {
        CThemeLibrary& themes = GetThemeLibrary();
        if (VisualStylesActive())
        {
            if (m_hTheme != nullptr)
                themes.CloseThemeData(m_hTheme);
            m_hTheme = themes.OpenThemeData(m_hWnd, L"BUTTON");
            return 0;
        }
        return CButton::WindowProc(message, wParam, lParam);
    }

    case BM_SETSTYLE:
    {
        DWORD type = static_cast<DWORD>(wParam) & kButtonTypeMask;
        if (type == BS_DEFPUSHBUTTON)
            m_isDefaultButton = 1;
        else if (type == BS_PUSHBUTTON)
            m_isDefaultButton = 0;
        Repaint();
        // The button stays owner-drawn whatever style the dialog manager
        // asks for.
        WPARAM style = (wParam & ~static_cast<WPARAM>(kButtonTypeMask)) | BS_OWNERDRAW;
        return DefWindowProcA(m_hWnd, message, style, lParam);
    }

    default:
        return CButton::WindowProc(message, wParam, lParam);
    }
}

// --- CStatic ---

LRESULT CStatic::OnReflectedCommand(UINT code, int& passOn)
{
    static const CommandSlot<CStatic> slots[] = {
        {STN_CLICKED, &CStatic::OnClicked},
        {STN_DBLCLK, &CStatic::OnDblClk},
        {STN_DISABLE, &CStatic::OnDisable},
        {STN_ENABLE, &CStatic::OnEnable},
    };
    return DispatchCommand(*this, slots, code, passOn);
}

// --- CEdit ---

LRESULT CEdit::OnReflectedCommand(UINT code, int& passOn)
{
    static const CommandSlot<CEdit> slots[] = {
        {EN_CHANGE, &CEdit::OnChange},   {EN_ERRSPACE, &CEdit::OnErrSpace},
        {EN_HSCROLL, &CEdit::OnHScroll}, {EN_KILLFOCUS, &CEdit::OnKillFocus},
        {EN_MAXTEXT, &CEdit::OnMaxText}, {EN_SETFOCUS, &CEdit::OnSetFocus},
        {EN_UPDATE, &CEdit::OnUpdate},   {EN_VSCROLL, &CEdit::OnVScroll},
    };
    return DispatchCommand(*this, slots, code, passOn);
}

// --- CComboBox ---

LRESULT CComboBox::OnReflectedCommand(UINT code, int& passOn)
{
    // CBN_ERRSPACE is -1, which arrives as the high word 0xFFFF.
    static const CommandSlot<CComboBox> slots[] = {
        {CBN_CLOSEUP, &CComboBox::OnCloseUp},
        {CBN_DBLCLK, &CComboBox::OnDblClk},
        {CBN_DROPDOWN, &CComboBox::OnDropDown},
        {CBN_EDITCHANGE, &CComboBox::OnEditChange},
        {CBN_EDITUPDATE, &CComboBox::OnEditUpdate},
        {static_cast<WORD>(CBN_ERRSPACE), &CComboBox::OnErrSpace},
        {CBN_KILLFOCUS, &CComboBox::OnKillFocus},
        {CBN_SELCHANGE, &CComboBox::OnSelChange},
        {CBN_SELENDCANCEL, &CComboBox::OnSelEndCancel},
        {CBN_SELENDOK, &CComboBox::OnSelEndOk},
        {CBN_SETFOCUS, &CComboBox::OnSetFocus},
    };
    return DispatchCommand(*this, slots, code, passOn);
}

LRESULT CComboBox::InsertStringWithData(int index, const char* text, LPARAM data)
{
    LRESULT inserted = SendMessageA(m_hWnd, CB_INSERTSTRING, static_cast<WPARAM>(index),
                                    reinterpret_cast<LPARAM>(text));
    if (inserted < 0)
        return inserted;
    return SendMessageA(m_hWnd, CB_SETITEMDATA, static_cast<WPARAM>(inserted), data);
}

// --- CCommonControl ---

LRESULT CCommonControl::OnChildNotify(NMHDR* header, int& passOn)
{
    if (header == nullptr)
        return NotHandled;
    static const NotifySlot<CCommonControl> slots[] = {
        {static_cast<UINT>(NM_CHAR), &CCommonControl::OnChar},
        {static_cast<UINT>(NM_CLICK), &CCommonControl::OnClick},
        {static_cast<UINT>(NM_CUSTOMDRAW), &CCommonControl::OnCustomDraw},
        {static_cast<UINT>(NM_DBLCLK), &CCommonControl::OnDblClk},
        {static_cast<UINT>(NM_HOVER), &CCommonControl::OnHover},
        {static_cast<UINT>(NM_KEYDOWN), &CCommonControl::OnKeyDown},
        {static_cast<UINT>(NM_KILLFOCUS), &CCommonControl::OnKillFocus},
        {static_cast<UINT>(NM_NCHITTEST), &CCommonControl::OnNcHitTest},
        {static_cast<UINT>(NM_OUTOFMEMORY), &CCommonControl::OnOutOfMemory},
        {static_cast<UINT>(NM_RCLICK), &CCommonControl::OnRClick},
        {static_cast<UINT>(NM_RDBLCLK), &CCommonControl::OnRDblClk},
        {static_cast<UINT>(NM_RELEASEDCAPTURE), &CCommonControl::OnReleasedCapture},
        {static_cast<UINT>(NM_RETURN), &CCommonControl::OnReturn},
        {static_cast<UINT>(NM_SETCURSOR), &CCommonControl::OnSetCursor},
        {static_cast<UINT>(NM_SETFOCUS), &CCommonControl::OnSetFocus},
        {static_cast<UINT>(NM_TOOLTIPSCREATED), &CCommonControl::OnToolTipsCreated},
    };
    for (const NotifySlot<CCommonControl>& slot : slots)
    {
        if (slot.code == header->code)
            return (this->*slot.handler)(header, passOn);
    }
    return NotHandled;
}

// --- CTreeView ---

LRESULT CTreeView::OnChildNotify(NMHDR* header, int& passOn)
{
    if (header == nullptr)
        return NotHandled;
    auto* tree = reinterpret_cast<NMTREEVIEWA*>(header);
    auto* display = reinterpret_cast<NMTVDISPINFOA*>(header);
    switch (header->code)
    {
    case TVN_BEGINDRAGA:
        return OnBeginDrag(tree, passOn);
    case TVN_BEGINLABELEDITA:
        return OnBeginLabelEdit(display, passOn);
    case TVN_BEGINRDRAGA:
        return OnBeginRDrag(tree, passOn);
    case TVN_DELETEITEMA:
        return OnDeleteItem(tree, passOn);
    case TVN_ENDLABELEDITA:
        return OnEndLabelEdit(display, passOn);
    case TVN_GETDISPINFOA:
        return OnGetDispInfo(display, passOn);
    case TVN_GETINFOTIPA:
        return OnGetInfoTip(reinterpret_cast<NMTVGETINFOTIPA*>(header), passOn);
    case TVN_ITEMEXPANDEDA:
        return OnItemExpanded(tree, passOn);
    case TVN_ITEMEXPANDINGA:
        return OnItemExpanding(tree, passOn);
    case TVN_KEYDOWN:
        return OnKeyDown(reinterpret_cast<NMTVKEYDOWN*>(header), passOn);
    case TVN_SELCHANGEDA:
        return OnSelChanged(tree, passOn);
    case TVN_SELCHANGINGA:
        return OnSelChanging(tree, passOn);
    case TVN_SETDISPINFOA:
        return OnSetDispInfo(display, passOn);
    case TVN_SINGLEEXPAND:
        return OnSingleExpand(tree, passOn);
    default:
        return CCommonControl::OnChildNotify(header, passOn);
    }
}

LRESULT CTreeView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETCURSOR)
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    return CCommonControl::WindowProc(message, wParam, lParam);
}

LRESULT CTreeView::OnEndLabelEdit(NMTVDISPINFOA* info, int&)
{
    return info != nullptr && info->item.pszText != nullptr ? TRUE : FALSE;
}

// --- CListView ---

LRESULT CListView::OnChildNotify(NMHDR* header, int& passOn)
{
    if (header == nullptr)
        return NotHandled;
    auto* list = reinterpret_cast<NMLISTVIEW*>(header);
    auto* display = reinterpret_cast<NMLVDISPINFOA*>(header);
    switch (header->code)
    {
    case LVN_BEGINDRAG:
        return OnBeginDrag(list, passOn);
    case LVN_BEGINLABELEDITA:
        return OnBeginLabelEdit(display, passOn);
    case LVN_BEGINRDRAG:
        return OnBeginRDrag(list, passOn);
    case LVN_COLUMNCLICK:
        return OnColumnClick(list, passOn);
    case LVN_DELETEALLITEMS:
        return OnDeleteAllItems(list, passOn);
    case LVN_DELETEITEM:
        return OnDeleteItem(list, passOn);
    case LVN_ENDLABELEDITA:
        return OnEndLabelEdit(display, passOn);
    case LVN_GETDISPINFOA:
        return OnGetDispInfo(display, passOn);
    case LVN_GETINFOTIPA:
        return OnGetInfoTip(reinterpret_cast<NMLVGETINFOTIPA*>(header), passOn);
    case LVN_INSERTITEM:
        return OnInsertItem(list, passOn);
    case LVN_HOTTRACK:
        return OnHotTrack(list, passOn);
    case LVN_ITEMACTIVATE:
        return OnItemActivate(reinterpret_cast<NMITEMACTIVATE*>(header), passOn);
    case LVN_ITEMCHANGED:
        return OnItemChanged(list, passOn);
    case LVN_ITEMCHANGING:
        return OnItemChanging(list, passOn);
    case LVN_KEYDOWN:
        return OnKeyDown(reinterpret_cast<NMLVKEYDOWN*>(header), passOn);
    case LVN_MARQUEEBEGIN:
        return OnMarqueeBegin(list, passOn);
    case LVN_ODCACHEHINT:
        return OnOdCacheHint(reinterpret_cast<NMLVCACHEHINT*>(header), passOn);
    case LVN_ODFINDITEMA:
        return OnOdFindItem(reinterpret_cast<NMLVFINDITEMA*>(header), passOn);
    case LVN_ODSTATECHANGED:
        return OnOdStateChanged(reinterpret_cast<NMLVODSTATECHANGE*>(header), passOn);
    case LVN_SETDISPINFOA:
        return OnSetDispInfo(display, passOn);
    default:
        return CCommonControl::OnChildNotify(header, passOn);
    }
}

// --- CStatusbar ---

LRESULT CStatusbar::OnChildNotify(NMHDR* header, int& passOn)
{
    if (header != nullptr && header->code == static_cast<UINT>(SBN_SIMPLEMODECHANGE))
        return OnSimpleModeChange(header, passOn);
    return CCommonControl::OnChildNotify(header, passOn);
}

// --- CImageList ---

CImageList::~CImageList()
{
    Destroy();
}

bool CImageList::Create(int width, int height, UINT flags, int initial, int grow)
{
    Attach(ImageList_Create(width, height, flags, initial, grow));
    return m_hImageList != nullptr;
}

void CImageList::Attach(HIMAGELIST list)
{
    Destroy();
    m_hImageList = list;
}

HIMAGELIST CImageList::Detach()
{
    HIMAGELIST list = m_hImageList;
    m_hImageList = nullptr;
    return list;
}

void CImageList::Destroy()
{
    if (m_hImageList != nullptr)
        ImageList_Destroy(m_hImageList);
    m_hImageList = nullptr;
}

// --- CWaitCursor ---

CWaitCursor::CWaitCursor() : m_hPrevious(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}

CWaitCursor::~CWaitCursor()
{
    SetCursor(m_hPrevious != nullptr ? m_hPrevious : LoadCursorA(nullptr, IDC_ARROW));
}
