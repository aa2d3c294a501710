#include "foundation/Controls.h"

#include "foundation/Dialog.h"
#include "foundation/Module.h"
#include "tests/support/WindowTestSupport.h"

#include <gtest/gtest.h>

namespace
{
// Ids of ControlsTests.rc.
constexpr UINT kControlDialog = 8000;
constexpr int kDefaultButton = 8001;
constexpr int kPlainButton = 8002;
constexpr int kRadioButton = 8003;
constexpr int kGroupBox = 8004;
constexpr int kTree = 8005;
constexpr int kHotButton = 8006;
constexpr int kCombo = 8007;
constexpr UINT kListControlsDialog = 8100;
constexpr int kListView = 8101;
constexpr int kStatusBar = 8102;
constexpr int kProgress = 8103;

// A dialog of ControlsTests.rc (the control dialog unless said otherwise),
// modeless, counting the commands that reach its own OnCommand.
class ControlDialog : public CDialog
{
public:
    explicit ControlDialog(UINT templateId = kControlDialog, DWORD classes = ICC_TREEVIEW_CLASSES)
    {
        StartFramework();
        EXPECT_TRUE(InitCommonControlsSafe(classes));
        EXPECT_TRUE(Create(nullptr, templateId));
    }
    ~ControlDialog() override { Destroy(); }

    LRESULT OnCommand(UINT code, UINT id, HWND control) override
    {
        // The tree's label editor reports with ids of its own.
        if (id >= kDefaultButton && id <= kCombo)
            ++commands[id - kDefaultButton];
        return CDialog::OnCommand(code, id, control);
    }

    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    int CommandsOf(int id) const { return commands[id - kDefaultButton]; }

    int commands[8] = {};
};

class TestHotButton : public CHotButton
{
public:
    void OnClicked() override { ++clicks; }
    int GetToolTipText(NMTTDISPINFOA* info) override
    {
        ++textRequests;
        info->lpszText = const_cast<char*>("Hot tip");
        return 0;
    }
    void SuppressHover(bool suppress)
    {
        m_state = suppress ? (m_state | StateHoverSuppressed) : (m_state & ~StateHoverSuppressed);
    }

    int clicks = 0;
    int textRequests = 0;
};

class TestButton : public CButton
{
public:
    LRESULT OnClicked(int& passOn) override
    {
        ++clicks;
        if (stopHere)
            passOn = 0;
        return 0;
    }

    int clicks = 0;
    bool stopHere = false;
};

LPARAM Point(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

constexpr DWORD kTrackingBits =
    CHotButton::StatePressed | CHotButton::StateTracking | CHotButton::StateHot;
} // namespace

TEST(HotButtonTest, PressesFireOnlyWhenReleasedInside)
{
    ControlDialog dialog;
    TestHotButton button;
    ASSERT_TRUE(button.Attach(dialog.Item(kHotButton), false));
    HWND hwnd = button.GetHwnd();
    const LPARAM inside = Point(5, 5);
    const LPARAM outside = Point(-10, 300);

    // Down and up inside: one click, nothing left held.
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    EXPECT_EQ(button.GetState() & kTrackingBits,
              CHotButton::StatePressed | CHotButton::StateTracking);
    EXPECT_EQ(GetCapture(), hwnd);
    SendMessageA(hwnd, WM_LBUTTONUP, 0, inside);
    EXPECT_EQ(button.clicks, 1);
    EXPECT_EQ(button.GetState() & kTrackingBits, 0u);
    EXPECT_NE(GetCapture(), hwnd);

    // Dragged out and released outside: nothing.
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    SendMessageA(hwnd, WM_MOUSEMOVE, MK_LBUTTON, outside);
    EXPECT_EQ(button.GetState() & kTrackingBits, CHotButton::StateTracking);
    SendMessageA(hwnd, WM_LBUTTONUP, 0, outside);
    EXPECT_EQ(button.clicks, 1);

    // Dragged out and back in before the release: one click.
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    SendMessageA(hwnd, WM_MOUSEMOVE, MK_LBUTTON, outside);
    SendMessageA(hwnd, WM_MOUSEMOVE, MK_LBUTTON, inside);
    EXPECT_TRUE(button.GetState() & CHotButton::StatePressed);
    SendMessageA(hwnd, WM_LBUTTONUP, 0, inside);
    EXPECT_EQ(button.clicks, 2);

    // A press the system cancels lets go without firing.
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    SendMessageA(hwnd, WM_CANCELMODE, 0, 0);
    EXPECT_EQ(button.clicks, 2);
    EXPECT_EQ(button.GetState() & kTrackingBits, 0u);
    EXPECT_NE(GetCapture(), hwnd);

    // So does a press that loses the focus to another window.
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    SendMessageA(hwnd, WM_KILLFOCUS, reinterpret_cast<WPARAM>(dialog.Item(kPlainButton)), 0);
    EXPECT_EQ(button.GetState() & (kTrackingBits | CHotButton::StateFocused), 0u);
    EXPECT_NE(GetCapture(), hwnd);
    SendMessageA(hwnd, WM_LBUTTONUP, 0, inside);
    EXPECT_EQ(button.clicks, 2);
}

TEST(HotButtonTest, HoverTracksThePointerUnlessSuppressed)
{
    ControlDialog dialog;
    TestHotButton button;
    ASSERT_TRUE(button.Attach(dialog.Item(kHotButton), false));
    HWND hwnd = button.GetHwnd();

    SendMessageA(hwnd, WM_MOUSEMOVE, 0, Point(5, 5));
    EXPECT_EQ(button.GetState() & kTrackingBits, CHotButton::StateHot);
    EXPECT_EQ(GetCapture(), hwnd);
    SendMessageA(hwnd, WM_MOUSEMOVE, 0, Point(-1, 5));
    EXPECT_EQ(button.GetState() & kTrackingBits, 0u);
    EXPECT_NE(GetCapture(), hwnd);

    // Another window taking the capture ends the hot state as well.
    SendMessageA(hwnd, WM_MOUSEMOVE, 0, Point(5, 5));
    SetCapture(dialog.Item(kPlainButton));
    EXPECT_EQ(button.GetState() & kTrackingBits, 0u);
    ReleaseCapture();

    button.SuppressHover(true);
    SendMessageA(hwnd, WM_MOUSEMOVE, 0, Point(5, 5));
    EXPECT_EQ(button.GetState() & kTrackingBits, 0u);
    EXPECT_NE(GetCapture(), hwnd);
}

TEST(HotButtonTest, ClicksReachTheRightSlots)
{
    ControlDialog dialog;
    TestHotButton hot;
    TestButton plain;
    ASSERT_TRUE(hot.Attach(dialog.Item(kHotButton), false));
    ASSERT_TRUE(plain.Attach(dialog.Item(kPlainButton), false));

    // A hot button's click, by the mouse or by the keyboard's BN_CLICKED,
    // reaches its own OnClicked and never the dialog's OnCommand.
    SendMessageA(hot.GetHwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(hot.clicks, 1);
    SendMessageA(dialog.GetHwnd(), WM_COMMAND, MAKEWPARAM(kHotButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(hot.GetHwnd()));
    EXPECT_EQ(hot.clicks, 2);
    EXPECT_EQ(dialog.CommandsOf(kHotButton), 0);

    // A plain button's click reaches its OnClicked, then the dialog's
    // OnCommand unless the button kept it.
    SendMessageA(plain.GetHwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(plain.clicks, 1);
    EXPECT_EQ(dialog.CommandsOf(kPlainButton), 1);
    plain.stopHere = true;
    SendMessageA(plain.GetHwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(plain.clicks, 2);
    EXPECT_EQ(dialog.CommandsOf(kPlainButton), 1);

    // A code without a handler of its own answers 1 in DWLP_MSGRESULT.
    EXPECT_EQ(SendMessageA(dialog.GetHwnd(), WM_COMMAND, MAKEWPARAM(kPlainButton, BN_DBLCLK),
                           reinterpret_cast<LPARAM>(plain.GetHwnd())),
              1);
    EXPECT_EQ(GetWindowLongPtrA(dialog.GetHwnd(), DWLP_MSGRESULT), 1);
}

TEST(HotButtonTest, DialogCodesFollowTheFormerButtonType)
{
    ControlDialog dialog;
    TestHotButton defaultButton;
    TestHotButton radio;
    TestHotButton group;
    ASSERT_TRUE(defaultButton.Attach(dialog.Item(kDefaultButton), false));
    ASSERT_TRUE(radio.Attach(dialog.Item(kRadioButton), false));
    ASSERT_TRUE(group.Attach(dialog.Item(kGroupBox), false));
    const LRESULT pushBits = DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON;

    // Every attached button is owner-drawn now.
    for (HWND item : {defaultButton.GetHwnd(), radio.GetHwnd(), group.GetHwnd()})
        EXPECT_EQ(GetWindowLongPtrA(item, GWL_STYLE) & 0x1F, BS_OWNERDRAW);

    EXPECT_TRUE(defaultButton.IsDefaultButton());
    EXPECT_EQ(SendMessageA(defaultButton.GetHwnd(), WM_GETDLGCODE, 0, 0) & pushBits,
              DLGC_DEFPUSHBUTTON);
    SendMessageA(defaultButton.GetHwnd(), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    EXPECT_FALSE(defaultButton.IsDefaultButton());
    EXPECT_EQ(SendMessageA(defaultButton.GetHwnd(), WM_GETDLGCODE, 0, 0) & pushBits,
              DLGC_UNDEFPUSHBUTTON);
    EXPECT_EQ(GetWindowLongPtrA(defaultButton.GetHwnd(), GWL_STYLE) & 0x1F, BS_OWNERDRAW);

    EXPECT_EQ(radio.GetFormerType(), static_cast<DWORD>(BS_AUTORADIOBUTTON));
    LRESULT radioCode = SendMessageA(radio.GetHwnd(), WM_GETDLGCODE, 0, 0);
    EXPECT_TRUE(radioCode & DLGC_RADIOBUTTON);
    EXPECT_EQ(radioCode & pushBits, 0);
    EXPECT_EQ(SendMessageA(group.GetHwnd(), WM_GETDLGCODE, 0, 0), DLGC_STATIC);
}

TEST(HotButtonTest, ToolTipIsMadeOnceAndAsksForItsText)
{
    ControlDialog dialog;
    TestHotButton button;
    ASSERT_TRUE(button.Attach(dialog.Item(kHotButton), false));

    ASSERT_TRUE(button.SetToolTip(true));
    HWND tip = button.GetToolTip();
    ASSERT_TRUE(IsWindow(tip));
    EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    // Enabling again keeps the tooltip there.
    EXPECT_TRUE(button.SetToolTip(true));
    EXPECT_EQ(button.GetToolTip(), tip);
    EXPECT_TRUE(IsWindow(tip));

    // The text comes from GetToolTipText through TTN_NEEDTEXTA.
    NMTTDISPINFOA info = {};
    info.hdr.hwndFrom = tip;
    info.hdr.idFrom = reinterpret_cast<UINT_PTR>(button.GetHwnd());
    info.hdr.code = TTN_NEEDTEXTA;
    SendMessageA(button.GetHwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(button.textRequests, 1);
    EXPECT_STREQ(info.lpszText, "Hot tip");

    EXPECT_TRUE(button.SetToolTip(false));
    EXPECT_EQ(button.GetToolTip(), nullptr);
    EXPECT_FALSE(IsWindow(tip));
}

namespace
{
class TestTree : public CTreeView
{
public:
    LRESULT OnSelChanging(NMTREEVIEWA* info, int& passOn) override
    {
        ++selChanging;
        return CTreeView::OnSelChanging(info, passOn);
    }
    LRESULT OnSelChanged(NMTREEVIEWA* info, int& passOn) override
    {
        ++selChanged;
        selected = info->itemNew.hItem;
        return CTreeView::OnSelChanged(info, passOn);
    }
    LRESULT OnBeginLabelEdit(NMTVDISPINFOA* info, int& passOn) override
    {
        ++labelEdits;
        return CTreeView::OnBeginLabelEdit(info, passOn);
    }
    LRESULT OnEndLabelEdit(NMTVDISPINFOA* info, int& passOn) override
    {
        endedWithText = info->item.pszText != nullptr;
        answer = CTreeView::OnEndLabelEdit(info, passOn);
        return answer;
    }

    int selChanging = 0;
    int selChanged = 0;
    HTREEITEM selected = nullptr;
    int labelEdits = 0;
    bool endedWithText = false;
    LRESULT answer = -1;
};

HTREEITEM InsertItem(HWND tree, const char* text)
{
    TVINSERTSTRUCTA insert = {};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char*>(text);
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

CString ItemText(HWND tree, HTREEITEM item)
{
    char text[64] = {};
    TVITEMA read = {};
    read.mask = TVIF_TEXT;
    read.hItem = item;
    read.pszText = text;
    read.cchTextMax = sizeof(text);
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&read));
    return CString(text);
}

// Edits the item's label to `text` and ends the edit: with Escape in the
// editor, or accepted. (Wine 8's TVM_ENDEDITLABELNOW with its cancel flag
// still sends the text, so the cancel goes through the editor's key.)
void EditLabel(HWND tree, HTREEITEM item, const char* text, bool cancel)
{
    SetFocus(tree);
    HWND edit = reinterpret_cast<HWND>(
        SendMessageA(tree, TVM_EDITLABELA, 0, reinterpret_cast<LPARAM>(item)));
    ASSERT_NE(edit, nullptr);
    SetWindowTextA(edit, text);
    if (cancel)
    {
        SendMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        SendMessageA(edit, WM_CHAR, VK_ESCAPE, 0);
    }
    else
        SendMessageA(tree, TVM_ENDEDITLABELNOW, FALSE, 0);
}
} // namespace

TEST(TreeViewTest, NotificationsAndLabelEdits)
{
    ControlDialog dialog;
    TestTree tree;
    ASSERT_TRUE(tree.Attach(dialog.Item(kTree), false));
    HWND hwnd = tree.GetHwnd();
    HTREEITEM alpha = InsertItem(hwnd, "Alpha");
    HTREEITEM beta = InsertItem(hwnd, "Beta");
    ASSERT_NE(beta, nullptr);

    SendMessageA(hwnd, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(beta));
    EXPECT_GE(tree.selChanging, 1);
    EXPECT_GE(tree.selChanged, 1);
    EXPECT_EQ(tree.selected, beta);

    // An edit ended with a text is accepted ...
    EditLabel(hwnd, alpha, "Gamma", false);
    EXPECT_EQ(tree.labelEdits, 1);
    EXPECT_TRUE(tree.endedWithText);
    EXPECT_EQ(tree.answer, TRUE);
    EXPECT_STREQ(ItemText(hwnd, alpha), "Gamma");

    // ... one ended with Escape comes without one and is refused.
    EditLabel(hwnd, alpha, "Delta", true);
    EXPECT_EQ(tree.labelEdits, 2);
    EXPECT_FALSE(tree.endedWithText);
    EXPECT_EQ(tree.answer, FALSE);
    EXPECT_STREQ(ItemText(hwnd, alpha), "Gamma");
}

namespace
{
class ListControlsDialog : public ControlDialog
{
public:
    ListControlsDialog()
        : ControlDialog(kListControlsDialog,
                        ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS)
    {
    }

    // A WM_NOTIFY as the control would send it.
    LRESULT Notify(int id, UINT code)
    {
        NMLISTVIEW info = {};
        info.hdr.hwndFrom = Item(id);
        info.hdr.idFrom = static_cast<UINT_PTR>(id);
        info.hdr.code = code;
        info.iItem = -1;
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 0);
        SendMessageA(m_hWnd, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&info));
        return GetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT);
    }
};

// Each handler answers its own slot number, so the dialog's message result
// names the handler that ran.
#define SLOT(name, type, slot)                                                                     \
    LRESULT name(type*, int&) override { return slot; }
class RecordingListView : public CListView
{
public:
    SLOT(OnBeginDrag, NMLISTVIEW, 39)
    SLOT(OnBeginLabelEdit, NMLVDISPINFOA, 40)
    SLOT(OnBeginRDrag, NMLISTVIEW, 41)
    SLOT(OnColumnClick, NMLISTVIEW, 42)
    SLOT(OnDeleteAllItems, NMLISTVIEW, 43)
    SLOT(OnDeleteItem, NMLISTVIEW, 44)
    SLOT(OnEndLabelEdit, NMLVDISPINFOA, 45)
    SLOT(OnGetDispInfo, NMLVDISPINFOA, 46)
    SLOT(OnGetInfoTip, NMLVGETINFOTIPA, 47)
    SLOT(OnInsertItem, NMLISTVIEW, 48)
    SLOT(OnHotTrack, NMLISTVIEW, 49)
    SLOT(OnItemActivate, NMITEMACTIVATE, 50)
    SLOT(OnItemChanged, NMLISTVIEW, 51)
    SLOT(OnItemChanging, NMLISTVIEW, 52)
    SLOT(OnKeyDown, NMLVKEYDOWN, 53)
    SLOT(OnMarqueeBegin, NMLISTVIEW, 54)
    SLOT(OnOdCacheHint, NMLVCACHEHINT, 55)
    SLOT(OnOdFindItem, NMLVFINDITEMA, 56)
    SLOT(OnOdStateChanged, NMLVODSTATECHANGE, 57)
    SLOT(OnSetDispInfo, NMLVDISPINFOA, 58)
    // The common mapping's NM_CLICK and NM_KEYDOWN.
    SLOT(OnClick, NMHDR, 7)
    SLOT(OnKeyDown, NMHDR, 8)
};
#undef SLOT

class RecordingStatusbar : public CStatusbar
{
public:
    LRESULT OnSimpleModeChange(NMHDR*, int&) override { return 39; }
    LRESULT OnClick(NMHDR*, int&) override { return 7; }
};
} // namespace

TEST(ListViewTest, EveryListViewCodeReachesItsHandlerAndOthersTheCommonMapping)
{
    ListControlsDialog dialog;
    RecordingListView list;
    ASSERT_TRUE(list.Attach(dialog.Item(kListView), false));
    const struct
    {
        int code;
        LRESULT slot;
    } table[] = {
        {-109, 39}, {-105, 40}, {-111, 41}, {-108, 42}, {-104, 43}, {-103, 44}, {-106, 45},
        {-150, 46}, {-157, 47}, {-102, 48}, {-121, 49}, {-114, 50}, {-101, 51}, {-100, 52},
        {-155, 53}, {-156, 54}, {-113, 55}, {-152, 56}, {-115, 57}, {-151, 58},
    };
    for (const auto& entry : table)
        EXPECT_EQ(dialog.Notify(kListView, static_cast<UINT>(entry.code)), entry.slot)
            << "code " << entry.code;
    EXPECT_EQ(dialog.Notify(kListView, static_cast<UINT>(NM_CLICK)), 7);
    EXPECT_EQ(dialog.Notify(kListView, static_cast<UINT>(NM_KEYDOWN)), 8);
    // A code nobody maps is not answered.
    EXPECT_EQ(dialog.Notify(kListView, static_cast<UINT>(LVN_FIRST - 90)), 0);
}

TEST(StatusbarTest, SimpleModeChangeHasItsHandlerAndOthersTheCommonMapping)
{
    ListControlsDialog dialog;
    RecordingStatusbar bar;
    ASSERT_TRUE(bar.Attach(dialog.Item(kStatusBar), false));
    EXPECT_EQ(dialog.Notify(kStatusBar, static_cast<UINT>(SBN_SIMPLEMODECHANGE)), 39);
    EXPECT_EQ(dialog.Notify(kStatusBar, static_cast<UINT>(NM_CLICK)), 7);
    CProgress progress;
    EXPECT_TRUE(progress.Attach(dialog.Item(kProgress), false));
}

TEST(CheckBoxTest, GetCheckIsTrueOnlyWhenChecked)
{
    ListControlsDialog dialog;
    HWND button = CreateWindowExA(0, "BUTTON", "Check", WS_CHILD | BS_AUTO3STATE, 0, 0, 80, 20,
                                  dialog.GetHwnd(), nullptr, nullptr, nullptr);
    CCheckBox box;
    ASSERT_TRUE(box.Attach(button, false));
    EXPECT_FALSE(box.GetCheck());
    box.SetCheck(true);
    EXPECT_TRUE(box.GetCheck());
    SendMessageA(button, BM_SETCHECK, BST_INDETERMINATE, 0);
    EXPECT_FALSE(box.GetCheck());
    box.SetCheck(false);
    EXPECT_EQ(SendMessageA(button, BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST(ComboBoxTest, InsertStringWithDataAttachesTheData)
{
    ControlDialog dialog;
    CComboBox combo;
    ASSERT_TRUE(combo.Attach(dialog.Item(kCombo), false));
    EXPECT_NE(combo.InsertStringWithData(0, "23:00", 23), CB_ERR);
    EXPECT_NE(combo.InsertStringWithData(0, "0:00", 0), CB_ERR);
    EXPECT_EQ(SendMessageA(combo.GetHwnd(), CB_GETITEMDATA, 1, 0), 23);
    EXPECT_EQ(SendMessageA(combo.GetHwnd(), CB_GETITEMDATA, 0, 0), 0);
    // An index past the end is refused and attaches nothing.
    EXPECT_EQ(combo.InsertStringWithData(9, "never", 5), CB_ERR);
    EXPECT_EQ(SendMessageA(combo.GetHwnd(), CB_GETCOUNT, 0, 0), 2);
}

TEST(WaitCursorTest, NestedCursorsRestoreInReverseOrder)
{
    StartFramework();
    HCURSOR hand = GetModuleState()->GetCursor(0);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    SetCursor(hand);
    {
        CWaitCursor outer;
        EXPECT_EQ(GetCursor(), wait);
        {
            CWaitCursor inner;
            EXPECT_EQ(GetCursor(), wait);
        }
        EXPECT_EQ(GetCursor(), wait);
    }
    EXPECT_EQ(GetCursor(), hand);

    // Without a cursor before, the arrow comes back.
    SetCursor(nullptr);
    {
        CWaitCursor only;
    }
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
}
