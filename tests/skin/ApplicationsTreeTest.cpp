// The checkable application list on a window: its pixels through
// WM_PRINTCLIENT (frame, text colours, the thumb's tile), cut texts, the
// check and text cells, the arrows' auto-repeat, the wheel and the pop-up.
#include "skin/ApplicationsTree.h"

#include "skin/SkinFiles.h"
#include "skin/SkinXPMenu.h"
#include "tests/support/ControlTestSupport.h"
#include "tests/support/TempFolder.h"
#include "tests/skin/SkinTestSupport.h"
#include "tests/support/Waits.h"

namespace
{
constexpr COLORREF TrackColour = RGB(40, 90, 200);
constexpr COLORREF ThumbColour = RGB(250, 200, 20);
constexpr int ListWidth = 300;
constexpr int ListHeight = 220;

// A skin whose track and thumb pictures are one colour each.
class ListSkin
{
public:
    ListSkin()
    {
        MakeFolder(m_program);
        MakeFolder(m_settings);
        WriteTextFile(m_settings + "\\settings.ini",
                      "[Skin]\r\nDirectory=Test\r\n[Language]\r\nDirectory=English\r\n");
        MakeFolder(m_program + "\\Skins");
        MakeFolder(m_program + "\\Skins\\Test");
        CString skin = m_program + "\\Skins\\Test";
        WriteBmp(skin + "\\back.bmp", 20, 8, [](int, int) { return TrackColour; });
        WriteBmp(skin + "\\thumb.bmp", 12, 8, [](int, int) { return ThumbColour; });
        WriteTextFile(skin + "\\default.ini",
                      "[Image]\r\nSCROLLBAR_BACK=back.bmp\r\nSCROLLBAR_SLIDER1=thumb.bmp\r\n"
                      "SCROLLBAR_SLIDER2=thumb.bmp\r\n");
        OverrideSkinFilesFolders(m_settings, m_program);
    }
    ~ListSkin() { OverrideSkinFilesFolders(nullptr, nullptr); }
    ListSkin(const ListSkin&) = delete;
    ListSkin& operator=(const ListSkin&) = delete;

private:
    TempFolder m_temp{"applist"};
    CString m_settings = m_temp / kProductFolderName;
    CString m_program = m_temp / "program";
};

// The commands the host window received.
std::vector<std::pair<WPARAM, LPARAM>> g_commands;
WNDPROC g_hostProcedure = nullptr;

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND)
        g_commands.emplace_back(wParam, lParam);
    return CallWindowProcA(g_hostProcedure, window, message, wParam, lParam);
}

// The list, counting its drawings.
class CountingTree : public CApplicationsTree
{
public:
    void Draw(CDC* dc) override
    {
        ++draws;
        CApplicationsTree::Draw(dc);
    }
    int draws = 0;
};

// A list of 40 rows, states alternating, on a host that records commands.
class ListOnHost
{
public:
    explicit ListOnHost(int rows = 40)
    {
        g_commands.clear();
        g_hostProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            host.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProcedure)));
        list.CreateEx(0, "CWindowClass", "", WS_CHILD | WS_VISIBLE, 0, 0, ListWidth, ListHeight,
                      host.Get(), reinterpret_cast<HMENU>(284));
        list.SetHideExpander(true);
        list.SetAutoRedraw(false);
        for (int i = 0; i < rows; ++i)
        {
            CString text;
            text.Format("Row number %d", i);
            list.AddItem(text, "C:\\", i % 2, 0, i % 3 == 0, 0, 0);
        }
        list.Redraw(true);
        canvas.Print(list.GetSafeHwnd());
    }
    ~ListOnHost()
    {
        SetWindowLongPtrA(host.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_hostProcedure));
    }
    HWND Hwnd() const { return list.GetSafeHwnd(); }
    void Send(UINT message, WPARAM wParam, int x, int y)
    {
        SendMessageA(Hwnd(), message, wParam, MAKELPARAM(x, y));
    }
    void Reprint() { canvas.Print(Hwnd()); }

    ListSkin skin;
    HostWindow host{400, 300};
    CountingTree list;
    TestCanvas canvas{ListWidth, ListHeight};
};

// The dark red of state-0 rows (165, 14, 44), or a blend of it with white.
bool IsTextRed(COLORREF c)
{
    return GetRValue(c) > 120 && GetRValue(c) > GetGValue(c) + 60 && GetRValue(c) > GetBValue(c) + 50;
}
} // namespace

TEST(ApplicationsTree, FrameRedTextOnlyInStateZeroRowsAndThumbTile)
{
    ListOnHost on;
    ASSERT_TRUE(on.canvas.IsReady());
    EXPECT_EQ(on.canvas.Pixel(0, 0), RGB(168, 168, 168));
    EXPECT_EQ(on.canvas.Pixel(1, 1), RGB(223, 223, 223));
    // Rows 0, 2, 4 ... have state 0: red; the others none.
    int rightOfRows = ListWidth - 20;
    for (int row = 0; row < 9; ++row)
    {
        RECT band = {2, row * 22 + 2, rightOfRows, row * 22 + 20};
        EXPECT_EQ(on.canvas.Any(band, IsTextRed), row % 2 == 0) << "row " << row;
    }
    // The thumb at the track top, tiled from right - 17 to right - 5.
    EXPECT_EQ(on.canvas.Pixel(ListWidth - 17, 30), ThumbColour);
    EXPECT_EQ(on.canvas.Pixel(ListWidth - 6, 30), ThumbColour);
    EXPECT_EQ(on.canvas.Pixel(ListWidth - 18, 30), TrackColour);
    EXPECT_EQ(on.canvas.Pixel(ListWidth - 5, 30), TrackColour);
    EXPECT_EQ(on.list.GetThumbRect().top, 25);
}

TEST(ApplicationsTree, CutTextsEndInDotsMeasuredWithTheRowFont)
{
    ListOnHost on(1);
    CDC& dc = on.canvas.Object();
    HGDIOBJ old = SelectObject(dc, on.list.GetRowFont());
    SIZE whole = {};
    const char* text = "A rather long row text that cannot fit";
    GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &whole);
    EXPECT_EQ(CApplicationsTree::FitText(dc, text, whole.cx), text);
    CString cut = CApplicationsTree::FitText(dc, text, whole.cx / 2);
    ASSERT_GT(cut.GetLength(), 3);
    EXPECT_EQ(cut.Right(3), "...");
    SIZE shown = {};
    GetTextExtentPoint32A(dc, cut, cut.GetLength(), &shown);
    EXPECT_LE(shown.cx, whole.cx / 2);
    // A cell too narrow for anything still keeps one character.
    EXPECT_EQ(CApplicationsTree::FitText(dc, text, 3), "A...");
    SelectObject(dc, old);
}

TEST(ApplicationsTree, CheckCellFlipsAndTellsTheParentTextCellSelects)
{
    ListOnHost on;
    CApplicationsTreeItem* row1 = on.list.GetItem(1);
    ASSERT_NE(row1, nullptr);
    DWORD before = row1->checked;
    POINT check = {row1->checkCell.left + 5, row1->checkCell.top + 5};
    on.Send(WM_LBUTTONDOWN, MK_LBUTTON, check.x, check.y);
    on.Send(WM_LBUTTONUP, 0, check.x, check.y);
    EXPECT_NE(row1->checked, before);
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(LOWORD(g_commands[0].first), 284);
    EXPECT_EQ(g_commands[0].second, 0);
    EXPECT_EQ(on.list.GetSelectedItem(), 0);

    on.list.SetEditable(true);
    POINT text = {row1->textCell.left + 5, row1->textCell.top + 5};
    on.Send(WM_LBUTTONDOWN, MK_LBUTTON, text.x, text.y);
    on.Send(WM_LBUTTONUP, 0, text.x, text.y);
    EXPECT_EQ(on.list.GetSelectedItem(), 1);
    EXPECT_EQ(g_commands.size(), 1u);
    HWND balloon = nullptr;
    EXPECT_TRUE(PumpUntil(wait_bound::kStepMs, [&] {
        balloon = FindWindowA("CDSWindowClass", nullptr);
        return balloon != nullptr;
    }));
    if (balloon != nullptr)
        DestroyWindow(balloon);
    PumpFor(50);
}

TEST(ApplicationsTree, HeldDownArrowRepeatsUntilReleased)
{
    ListOnHost on;
    const CRect& down = on.list.GetDownArrowRect();
    POINT point = {down.left + 5, down.top + 5};
    on.Send(WM_LBUTTONDOWN, MK_LBUTTON, point.x, point.y);
    EXPECT_EQ(on.list.GetFirstRow(), 1);
    // One at once, then one each 100 ms while held: held until it has
    // repeated (a busy machine delivers the timers late), then released.
    PumpUntil(wait_bound::kStepMs, [&] { return on.list.GetFirstRow() >= 2; });
    on.Send(WM_LBUTTONUP, 0, point.x, point.y);
    int advanced = on.list.GetFirstRow();
    EXPECT_GE(advanced, 2);
    EXPECT_LE(advanced, 5);
    // Released: the timers are gone.
    PumpFor(300);
    EXPECT_EQ(on.list.GetFirstRow(), advanced);
    EXPECT_FALSE(KillTimer(on.Hwnd(), 1));
    EXPECT_FALSE(KillTimer(on.Hwnd(), 2));
}

TEST(ApplicationsTree, WheelScrollsDownForNegativeDeltasUpForPositive)
{
    ListOnHost on;
    on.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 50, 50);
    EXPECT_EQ(on.list.GetFirstRow(), 1);
    on.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-60)), 50, 50);
    EXPECT_EQ(on.list.GetFirstRow(), 2);
    on.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 50, 50);
    EXPECT_EQ(on.list.GetFirstRow(), 1);
    // Back at row 0 the thumb is at the track top again.
    on.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 50, 50);
    on.Reprint();
    EXPECT_EQ(on.list.GetFirstRow(), 0);
    EXPECT_EQ(on.list.GetThumbRect().top, 25);
    on.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 50, 50);
    EXPECT_EQ(on.list.GetFirstRow(), 0);
}

namespace
{
bool g_menuSeen = false;
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND menu = FindWindowA("#32768", nullptr);
    if (menu != nullptr && IsWindowVisible(menu))
        g_menuSeen = true;
    EndMenu();
    KillTimer(nullptr, id);
}
} // namespace

TEST(ApplicationsTree, RightClickOnAChildRowShowsNoMenu)
{
    ListOnHost on(3);
    HMENU popup = CreatePopupMenu();
    AppendMenuA(popup, MF_STRING, 3025, "Item");
    CSkinXPMenu menu(popup);
    on.list.SetPopupMenu(&menu);
    // A child row, which only a test can make: AddItem makes top-level rows.
    on.list.GetItem(0)->expanded = 1;
    on.list.GetItem(1)->parent = 0;
    on.Reprint();
    CApplicationsTreeItem* child = on.list.GetItem(1);
    on.Send(WM_LBUTTONDOWN, MK_LBUTTON, child->textCell.left + 5, child->textCell.top + 5);
    on.Send(WM_LBUTTONUP, 0, child->textCell.left + 5, child->textCell.top + 5);
    ASSERT_EQ(on.list.GetSelectedItem(), 1);

    g_menuSeen = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 300, CloseMenu);
    on.Send(WM_RBUTTONUP, 0, 40, 40);
    EXPECT_FALSE(g_menuSeen);

    // A top-level row does show it (closed by the timer).
    CApplicationsTreeItem* top = on.list.GetItem(2);
    on.Send(WM_LBUTTONDOWN, MK_LBUTTON, top->textCell.left + 5, top->textCell.top + 5);
    on.Send(WM_LBUTTONUP, 0, top->textCell.left + 5, top->textCell.top + 5);
    ASSERT_EQ(on.list.GetSelectedItem(), 2);
    KillTimer(nullptr, timer);
    timer = SetTimer(nullptr, 0, 300, CloseMenu);
    on.Send(WM_RBUTTONUP, 0, 40, 40);
    EXPECT_TRUE(g_menuSeen);
    KillTimer(nullptr, timer);
    on.list.SetPopupMenu(nullptr);
}

TEST(ApplicationsTree, DeleteItemKeepsParentsPointingAtTheSameRows)
{
    ListOnHost on(5);
    on.list.GetItem(3)->parent = 2;
    on.list.GetItem(4)->parent = 0;
    on.list.DeleteItem(1);
    // Row 3 (now 2) still belongs to old row 2 (now 1); row 4 to row 0.
    EXPECT_EQ(on.list.GetItem(2)->parent, 1);
    EXPECT_EQ(on.list.GetItem(3)->parent, 0);
    on.list.DeleteItem(1);
    // Its child is top-level now.
    EXPECT_EQ(on.list.GetItem(1)->parent, -1);
    EXPECT_EQ(on.list.GetItem(2)->parent, 0);
    EXPECT_EQ(on.list.GetItemCount(), 3);
}

TEST(ApplicationsTree, AHeldArrowStopsWithTheFocusOrTheCapture)
{
    ListOnHost on;
    const CRect down = on.list.GetDownArrowRect();
    HWND other = CreateWindowExA(0, "CWindowClass", "", WS_CHILD | WS_VISIBLE, 0, 250, 20, 20,
                                 on.host.Get(), nullptr, GetModuleHandleA(nullptr), nullptr);
    // The focus goes elsewhere while the arrow is held; then the capture.
    for (int step = 0; step < 2; ++step)
    {
        on.Send(WM_LBUTTONDOWN, MK_LBUTTON, down.left + 5, down.top + 5);
        ASSERT_EQ(GetCapture(), on.Hwnd()) << step;
        if (step == 0)
            SetFocus(other);
        else
            SetCapture(other);
        const int row = on.list.GetFirstRow();
        PumpFor(350);
        EXPECT_EQ(on.list.GetFirstRow(), row) << step;
        EXPECT_FALSE(KillTimer(on.Hwnd(), CApplicationsTree::TimerDown)) << step;
        ReleaseCapture();
    }
    DestroyWindow(other);
}

TEST(ApplicationsTree, TheRepeatAtTheEndRepaintsNothing)
{
    ListOnHost on;
    // Shown, so that each repaint draws.
    ShowWindow(on.host.Get(), SW_SHOWNOACTIVATE);
    UpdateWindow(on.host.Get());
    for (int i = 0; i < 60; ++i)
        on.list.ScrollDown();
    const int last = on.list.GetFirstRow();
    ASSERT_GT(last, 0);
    const int draws = on.list.draws;
    for (int i = 0; i < 5; ++i)
        SendMessageA(on.Hwnd(), WM_TIMER, CApplicationsTree::TimerDown, 0);
    EXPECT_EQ(on.list.GetFirstRow(), last);
    EXPECT_EQ(on.list.draws, draws);
    // A row that moves is drawn.
    SendMessageA(on.Hwnd(), WM_TIMER, CApplicationsTree::TimerUp, 0);
    EXPECT_EQ(on.list.GetFirstRow(), last - 1);
    EXPECT_EQ(on.list.draws, draws + 1);
}

TEST(ApplicationsTree, AParentIndexOutsideTheListMakesATopLevelRow)
{
    ListOnHost on(3);
    const int topLevel = on.list.GetItem(0)->textCell.left;
    on.list.GetItem(1)->parent = 7;
    on.list.GetItem(2)->parent = -5;
    on.list.GetItem(0)->checked = 0;
    on.list.GetItem(1)->checked = 1;
    // Drawn anew: the cells are written by the drawing.
    on.list.GetItem(1)->textCell = CRect();
    on.list.GetItem(2)->textCell = CRect();
    on.Reprint();
    EXPECT_EQ(on.list.GetItem(1)->textCell.left, topLevel);
    EXPECT_EQ(on.list.GetItem(2)->textCell.left, topLevel);
    // Its check is its own, not a parent's.
    EXPECT_EQ(on.list.GetItem(1)->checked, 1u);
}

TEST(ApplicationsTree, DeleteAllItemsStartsAgainAtTheTop)
{
    ListOnHost on;
    for (int i = 0; i < 5; ++i)
        on.list.ScrollDown();
    on.Reprint();
    const CApplicationsTreeItem* row = on.list.GetItem(8);
    on.Send(WM_LBUTTONDOWN, MK_LBUTTON, row->textCell.left + 5, row->textCell.top + 5);
    on.Send(WM_LBUTTONUP, 0, row->textCell.left + 5, row->textCell.top + 5);
    ASSERT_EQ(on.list.GetSelectedItem(), 8);
    ASSERT_EQ(on.list.GetFirstRow(), 5);

    on.list.DeleteAllItems();
    EXPECT_EQ(on.list.GetFirstRow(), 0);
    EXPECT_EQ(on.list.GetSelectedItem(), 0);
    for (int i = 0; i < 40; ++i)
        on.list.AddItem("Again", "C:\\", 1, 0, 0, 0, 0);
    on.Reprint();
    EXPECT_EQ(on.list.GetFirstRow(), 0);
    EXPECT_EQ(on.list.GetThumbRect().top, 25);
    // The first row drawn is row 0.
    EXPECT_LT(on.list.GetItem(0)->textCell.top, on.list.GetItem(1)->textCell.top);
    EXPECT_LT(on.list.GetItem(0)->textCell.top, 25);
}
