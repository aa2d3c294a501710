// The framework controls: thin CWindow classes for the standard controls,
// each turning the control's reflected notifications (WM_COMMAND and
// WM_NOTIFY are offered first to the control's own object, see Window.h)
// into virtual handlers of its own; CHotButton, the owner-drawn button with
// hover and press tracking on which the skinned buttons and check boxes are
// built; and the scope classes CImageList and CWaitCursor.
//
// A control object is bound to an existing dialog item with
// CWindow::Attach(item, false), which does not own it, or made with
// CWindow::CreateEx and the system's class name ("BUTTON", "STATIC", ...).
//
// Unless said otherwise, each added handler gets the reflected structure (or
// nothing) and the pass-on flag, and returns 0 by default. A handler that
// clears the pass-on flag keeps the parent's own OnCommand / OnNotify from
// running. A notification code without a handler of its own answers 1
// (WM_COMMAND) or NotHandled (WM_NOTIFY).
#ifndef BRINDLEWOX_FOUNDATION_CONTROLS_H
#define BRINDLEWOX_FOUNDATION_CONTROLS_H

#include "foundation/Base.h"
#include "foundation/Gdi.h"
#include "foundation/Window.h"

#include <commctrl.h>
#include <uxtheme.h>

// BN_CLICKED, BN_SETFOCUS and BN_KILLFOCUS.
class CButton : public CWindow
{
public:
    LRESULT OnReflectedCommand(UINT code, int& passOn) override;

    virtual LRESULT OnClicked(int& passOn) { return 0; }
    virtual LRESULT OnSetFocus(int& passOn) { return 0; }
    virtual LRESULT OnKillFocus(int& passOn) { return 0; }
};

// A check box or radio button of the system's own drawing.
class CCheckBox : public CButton
{
public:
    // True when BM_GETCHECK answers BST_CHECKED.
    bool GetCheck() const;
    // BM_SETCHECK with BST_CHECKED or BST_UNCHECKED.
    void SetCheck(bool checked);
};

// An owner-drawn button that tracks focus, press and hover itself and fires
// OnClicked() (never the parent's OnCommand) when a press ends inside it.
// Drawing is left to derived classes, which read the state bits.
//
// Attaching turns any button into an owner-drawn one (the type bits of its
// style become BS_OWNERDRAW) and remembers what it was: a default push
// button, a push button, or another type (check box, radio button, group
// box), which keeps answering WM_GETDLGCODE as that type did.
class CHotButton : public CButton
{
public:
    // The state bits.
    static constexpr DWORD StateFocused = 1;
    // Shown pushed: the press is on and the pointer is inside.
    static constexpr DWORD StatePressed = 2;
    // The pointer is over the button (the button holds the mouse capture to
    // see it leave).
    static constexpr DWORD StateHot = 4;
    // The left button went down on it and is not up yet.
    static constexpr DWORD StateTracking = 8;
    // Set by derived classes: no hot state while it is set.
    static constexpr DWORD StateHoverSuppressed = 16;

    // GetFormerType before a button was attached.
    static constexpr DWORD NoFormerType = 31;

    CHotButton();
    // Destroys the tooltip, closes the theme handle and deletes the font.
    ~CHotButton() override;

    void PreSubclassWindow() override;
    // BN_CLICKED clears the pass-on flag and fires OnClicked(); BN_SETFOCUS
    // and BN_KILLFOCUS as for CButton; other codes 1.
    LRESULT OnReflectedCommand(UINT code, int& passOn) override;
    // TTN_NEEDTEXTA asks GetToolTipText; anything else 0.
    LRESULT OnNotify(NMHDR* header) override;
    // The state machine (see Controls.cpp).
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    using CButton::OnClicked;
    // The button was clicked: a press ended inside it, or the keyboard
    // pressed it. Does nothing by default.
    virtual void OnClicked() {}
    // Fills the tooltip's text (LPSTR_TEXTCALLBACK asks here each time);
    // the answer is the notification's result.
    virtual int GetToolTipText(NMTTDISPINFOA* info) { return 0; }

    // Enable: makes the tooltip ("tooltips_class32", always shown, its text
    // from GetToolTipText) unless the button has one; false, and no tooltip,
    // when it cannot be made. Disable: destroys the tooltip, if any. A
    // tooltip that exists is kept when enabled again.
    bool SetToolTip(bool enable);
    HWND GetToolTip() const { return m_hToolTip; }

    DWORD GetState() const { return m_state; }
    bool IsPushButton() const { return m_isPushButton != 0; }
    bool IsDefaultButton() const { return m_isDefaultButton != 0; }
    DWORD GetFormerType() const { return m_formerType; }
    HTHEME GetTheme() const { return m_hTheme; }

    // Visual styles are drawn: comctl32 of version 6 (a manifest selects it)
    // and uxtheme's IsAppThemed. Wine 8 reports comctl32 5.81 without one.
    static bool VisualStylesActive();

protected:
    // InvalidateRect of the whole window with erasing.
    void Repaint();
    // Releases the mouse capture when this button holds it.
    void ReleaseOwnCapture();
    bool IsInsideClient(LPARAM point) const;

    // The button's own copy of the font it was given (or found).
    CFont m_font;
    HWND m_hToolTip = nullptr;
    DWORD m_state = 0;
    // Colours for derived classes; CLR_INVALID (-1) until set.
    COLORREF m_colors[4] = {CLR_INVALID, CLR_INVALID, CLR_INVALID, CLR_INVALID};
    HTHEME m_hTheme = nullptr;
    int m_isPushButton = 0;
    int m_isDefaultButton = 0;
    DWORD m_formerType = NoFormerType;
};

// A tooltip ("tooltips_class32", always shown) for the whole window, whose
// text the window gives each time it is asked (TTN_NEEDTEXTA to the window
// itself); owned by the window, which destroys it. Null when it cannot be
// made.
HWND CreateWindowToolTip(HWND window);

// STN_CLICKED, STN_DBLCLK, STN_DISABLE and STN_ENABLE (the static needs
// SS_NOTIFY to send them).
class CStatic : public CWindow
{
public:
    LRESULT OnReflectedCommand(UINT code, int& passOn) override;

    virtual LRESULT OnClicked(int& passOn) { return 0; }
    virtual LRESULT OnDblClk(int& passOn) { return 0; }
    virtual LRESULT OnDisable(int& passOn) { return 0; }
    virtual LRESULT OnEnable(int& passOn) { return 0; }
};

// The edit notification codes.
class CEdit : public CWindow
{
public:
    LRESULT OnReflectedCommand(UINT code, int& passOn) override;

    virtual LRESULT OnChange(int& passOn) { return 0; }
    virtual LRESULT OnErrSpace(int& passOn) { return 0; }
    virtual LRESULT OnHScroll(int& passOn) { return 0; }
    virtual LRESULT OnKillFocus(int& passOn) { return 0; }
    virtual LRESULT OnMaxText(int& passOn) { return 0; }
    virtual LRESULT OnSetFocus(int& passOn) { return 0; }
    virtual LRESULT OnUpdate(int& passOn) { return 0; }
    virtual LRESULT OnVScroll(int& passOn) { return 0; }
};

// The combo-box notification codes.
class CComboBox : public CWindow
{
public:
    LRESULT OnReflectedCommand(UINT code, int& passOn) override;

    virtual LRESULT OnCloseUp(int& passOn) { return 0; }
    virtual LRESULT OnDblClk(int& passOn) { return 0; }
    virtual LRESULT OnDropDown(int& passOn) { return 0; }
    virtual LRESULT OnEditChange(int& passOn) { return 0; }
    virtual LRESULT OnEditUpdate(int& passOn) { return 0; }
    virtual LRESULT OnErrSpace(int& passOn) { return 0; }
    virtual LRESULT OnKillFocus(int& passOn) { return 0; }
    virtual LRESULT OnSelChange(int& passOn) { return 0; }
    virtual LRESULT OnSelEndCancel(int& passOn) { return 0; }
    virtual LRESULT OnSelEndOk(int& passOn) { return 0; }
    virtual LRESULT OnSetFocus(int& passOn) { return 0; }

    // Inserts the text at the index and attaches the data to the new item:
    // CB_SETITEMDATA's answer (CB_ERR when it failed), or CB_INSERTSTRING's
    // negative answer (CB_ERR, CB_ERRSPACE) when the text was not inserted.
    LRESULT InsertStringWithData(int index, const char* text, LPARAM data);
};

// The notification codes every common control sends (NM_*).
class CCommonControl : public CWindow
{
public:
    LRESULT OnChildNotify(NMHDR* header, int& passOn) override;

    virtual LRESULT OnChar(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnClick(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnCustomDraw(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnDblClk(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnHover(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnKeyDown(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnKillFocus(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnNcHitTest(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnOutOfMemory(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnRClick(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnRDblClk(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnReleasedCapture(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnReturn(NMHDR* header, int& passOn) { return 0; }
    // 1 by default.
    virtual LRESULT OnSetCursor(NMHDR* header, int& passOn) { return 1; }
    virtual LRESULT OnSetFocus(NMHDR* header, int& passOn) { return 0; }
    virtual LRESULT OnToolTipsCreated(NMHDR* header, int& passOn) { return 0; }
};

// The ANSI tree-view notifications first, every other code as for
// CCommonControl. The tree must send ANSI notifications: it does when its
// parent is an ANSI window, as every framework window is.
class CTreeView : public CCommonControl
{
public:
    LRESULT OnChildNotify(NMHDR* header, int& passOn) override;
    // Sets the arrow cursor on WM_SETCURSOR before the tree's own procedure
    // runs.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    virtual LRESULT OnBeginDrag(NMTREEVIEWA* info, int& passOn) { return 0; }
    virtual LRESULT OnBeginLabelEdit(NMTVDISPINFOA* info, int& passOn) { return 0; }
    virtual LRESULT OnBeginRDrag(NMTREEVIEWA* info, int& passOn) { return 0; }
    virtual LRESULT OnDeleteItem(NMTREEVIEWA* info, int& passOn) { return 0; }
    // Accepts the new text (TRUE) when there is one; an edit ended with
    // Escape has none and is refused.
    virtual LRESULT OnEndLabelEdit(NMTVDISPINFOA* info, int& passOn);
    virtual LRESULT OnGetDispInfo(NMTVDISPINFOA* info, int& passOn) { return 0; }
    virtual LRESULT OnGetInfoTip(NMTVGETINFOTIPA* info, int& passOn) { return 0; }
    virtual LRESULT OnItemExpanded(NMTREEVIEWA* info, int& passOn) { return 0; }
    virtual LRESULT OnItemExpanding(NMTREEVIEWA* info, int& passOn) { return 0; }
    virtual LRESULT OnKeyDown(NMTVKEYDOWN* info, int& passOn) { return 0; }
    virtual LRESULT OnSelChanged(NMTREEVIEWA* info, int& passOn) { return 0; }
    virtual LRESULT OnSelChanging(NMTREEVIEWA* info, int& passOn) { return 0; }
    virtual LRESULT OnSetDispInfo(NMTVDISPINFOA* info, int& passOn) { return 0; }
    virtual LRESULT OnSingleExpand(NMTREEVIEWA* info, int& passOn) { return 0; }

    // NM_KEYDOWN keeps its own handler beside TVN_KEYDOWN's.
    using CCommonControl::OnKeyDown;
};

// The ANSI list-view notifications first, every other code as for
// CCommonControl. The list sends ANSI codes when its parent is an ANSI
// window, as every framework window is.
class CListView : public CCommonControl
{
public:
    LRESULT OnChildNotify(NMHDR* header, int& passOn) override;

    virtual LRESULT OnBeginDrag(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnBeginLabelEdit(NMLVDISPINFOA* info, int& passOn) { return 0; }
    virtual LRESULT OnBeginRDrag(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnColumnClick(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnDeleteAllItems(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnDeleteItem(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnEndLabelEdit(NMLVDISPINFOA* info, int& passOn) { return 0; }
    virtual LRESULT OnGetDispInfo(NMLVDISPINFOA* info, int& passOn) { return 0; }
    virtual LRESULT OnGetInfoTip(NMLVGETINFOTIPA* info, int& passOn) { return 0; }
    virtual LRESULT OnInsertItem(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnHotTrack(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnItemActivate(NMITEMACTIVATE* info, int& passOn) { return 0; }
    virtual LRESULT OnItemChanged(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnItemChanging(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnKeyDown(NMLVKEYDOWN* info, int& passOn) { return 0; }
    virtual LRESULT OnMarqueeBegin(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnOdCacheHint(NMLVCACHEHINT* info, int& passOn) { return 0; }
    virtual LRESULT OnOdFindItem(NMLVFINDITEMA* info, int& passOn) { return 0; }
    virtual LRESULT OnOdStateChanged(NMLVODSTATECHANGE* info, int& passOn) { return 0; }
    virtual LRESULT OnSetDispInfo(NMLVDISPINFOA* info, int& passOn) { return 0; }

    // NM_KEYDOWN keeps its own handler beside LVN_KEYDOWN's.
    using CCommonControl::OnKeyDown;
};

// A progress bar: nothing beyond the common notifications.
class CProgress : public CCommonControl
{
};

// A status bar: SBN_SIMPLEMODECHANGE, then the common notifications.
class CStatusbar : public CCommonControl
{
public:
    LRESULT OnChildNotify(NMHDR* header, int& passOn) override;

    virtual LRESULT OnSimpleModeChange(NMHDR* header, int& passOn) { return 0; }
};

// An owned image list, destroyed with the object.
class CImageList
{
public:
    CImageList() = default;
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    virtual ~CImageList();

    // ImageList_Create; the list held before is destroyed first. False when
    // the system made none (the object then holds nothing).
    bool Create(int width, int height, UINT flags, int initial, int grow);
    // Destroys the list held (if any), then owns this one.
    void Attach(HIMAGELIST list);
    // Lets go of the list without destroying it and returns it.
    HIMAGELIST Detach();
    void Destroy();

    HIMAGELIST GetSafeHandle() const { return m_hImageList; }

private:
    HIMAGELIST m_hImageList = nullptr;
};

// The hourglass for the life of the object: set when made, and the cursor
// that was current before (the arrow when there was none) set again when it
// goes. Nested objects therefore restore in reverse order.
class CWaitCursor
{
public:
    CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    virtual ~CWaitCursor();

private:
    // Not owned: shared system cursors or the program's own.
    HCURSOR m_hPrevious = nullptr;
};

#endif
