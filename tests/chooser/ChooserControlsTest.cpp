#include "chooser/CustomStatic.h"
#include "chooser/LinkControl.h"

#include "ChooserTestSupport.h"
#include "foundation/Dc.h"
#include "foundation/Dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
class ControlsDialog : public CDialog
{
public:
    ControlsDialog()
    {
        StartFramework();
        EXPECT_TRUE(InitCommonControlsSafe(ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                           ICC_PROGRESS_CLASS));
        EXPECT_TRUE(Create(nullptr, kControlsDialog));
    }
    ~ControlsDialog() override { Destroy(); }

    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
};

struct ShellCall
{
    int count = 0;
    HWND window = nullptr;
    bool verbNull = false;
    std::string file;
    bool parametersNull = false;
    std::string folder;
    int show = 0;
};
ShellCall g_shell;

HINSTANCE WINAPI FakeShellExecute(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                  LPCSTR folder, INT show)
{
    ++g_shell.count;
    g_shell.window = window;
    g_shell.verbNull = verb == nullptr;
    g_shell.file = file != nullptr ? file : "<null>";
    g_shell.parametersNull = parameters == nullptr;
    g_shell.folder = folder != nullptr ? folder : "<null>";
    g_shell.show = show;
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

LPARAM Point(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

// Paints a control through WM_PRINTCLIENT into a fresh memory picture.
int CountPainted(HWND control, COLORREF color)
{
    RECT client;
    GetClientRect(control, &client);
    Surface surface(client.right, client.bottom, RGB(1, 2, 3));
    SendMessageA(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.Dc()),
                 PRF_CLIENT | PRF_ERASEBKGND);
    return CountColor(surface, color);
}
} // namespace

TEST(LinkControlTest, WithoutTargetAClickDoesNothingAndThereIsNoTooltip)
{
    ControlsDialog dialog;
    CLinkControl link;
    g_shell = ShellCall();
    link.SetShellExecute(FakeShellExecute);
    ASSERT_TRUE(link.Attach(dialog.Item(kLinkButton), false));
    link.SetTarget("");
    SendMessageA(link.GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, Point(3, 3));
    SendMessageA(link.GetHwnd(), WM_LBUTTONUP, 0, Point(3, 3));
    EXPECT_EQ(g_shell.count, 0);
    EXPECT_FALSE(link.IsVisited());
    EXPECT_EQ(link.GetToolTip(), nullptr);
    NMTTDISPINFOA info = {};
    info.lpszText = const_cast<char*>("untouched");
    EXPECT_EQ(link.GetToolTipText(&info), 0);
    EXPECT_STREQ(info.lpszText, "untouched");
}

TEST(LinkControlTest, AClickOpensTheTargetAndPaintsVisitedThenHoverWhileHot)
{
    ControlsDialog dialog;
    CLinkControl link;
    g_shell = ShellCall();
    link.SetShellExecute(FakeShellExecute);
    ASSERT_TRUE(link.Attach(dialog.Item(kLinkButton), false));
    HWND hwnd = link.GetHwnd();
    // The dialog font, underlined: the underline is drawn in the exact
    // colour, whatever smoothing the glyphs get.
    SendMessageA(hwnd, WM_SETFONT, SendMessageA(dialog.GetHwnd(), WM_GETFONT, 0, 0), FALSE);
    link.SetTarget("C:\\bwtest\\readme.txt");
    EXPECT_NE(link.GetToolTip(), nullptr);
    NMTTDISPINFOA info = {};
    EXPECT_EQ(link.GetToolTipText(&info), 1);
    EXPECT_STREQ(info.lpszText, "C:\\bwtest\\readme.txt");

    EXPECT_GT(CountPainted(hwnd, CLinkControl::NormalColor), 10);
    EXPECT_EQ(CountPainted(hwnd, CLinkControl::VisitedColor), 0);

    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, Point(3, 3));
    SendMessageA(hwnd, WM_LBUTTONUP, 0, Point(3, 3));
    ASSERT_EQ(g_shell.count, 1);
    EXPECT_TRUE(g_shell.verbNull);
    EXPECT_EQ(g_shell.file, "C:\\bwtest\\readme.txt");
    EXPECT_TRUE(g_shell.parametersNull);
    char current[MAX_PATH + 1] = "";
    GetCurrentDirectoryA(sizeof(current), current);
    EXPECT_EQ(g_shell.folder, current);
    EXPECT_EQ(g_shell.show, SW_SHOWNORMAL);
    EXPECT_TRUE(link.IsVisited());
    EXPECT_EQ(link.GetLinkColor(), 0x800080u);
    EXPECT_GT(CountPainted(hwnd, 0x800080), 10);
    EXPECT_EQ(CountPainted(hwnd, CLinkControl::NormalColor), 0);

    // The pointer comes over it: red while hot, purple again when it leaves.
    SendMessageA(hwnd, WM_MOUSEMOVE, 0, Point(4, 4));
    EXPECT_EQ(link.GetLinkColor(), 0x0000FFu);
    EXPECT_GT(CountPainted(hwnd, 0x0000FF), 10);
    EXPECT_EQ(CountPainted(hwnd, 0x800080), 0);
    SendMessageA(hwnd, WM_MOUSEMOVE, 0, Point(-20, 400));
    EXPECT_GT(CountPainted(hwnd, 0x800080), 10);
}

TEST(LinkControlTest, FontIsAnUnderlinedCopyAndTheCursorTheHand)
{
    ControlsDialog dialog;
    CLinkControl link;
    ASSERT_TRUE(link.Attach(dialog.Item(kLinkButton), false));
    HWND hwnd = link.GetHwnd();

    LOGFONTA given = {};
    given.lfHeight = -13;
    given.lfWeight = FW_BOLD;
    strcpy(given.lfFaceName, "Tahoma");
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(given));
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.GetSafeHandle()), FALSE);
    ASSERT_NE(link.GetLinkFont(), nullptr);
    EXPECT_NE(link.GetLinkFont(), font.GetSafeHandle());
    LOGFONTA made = {};
    ASSERT_EQ(GetObjectA(link.GetLinkFont(), sizeof(made), &made), static_cast<int>(sizeof(made)));
    EXPECT_EQ(made.lfUnderline, 1);
    EXPECT_EQ(made.lfHeight, -13);
    EXPECT_EQ(made.lfWeight, FW_BOLD);
    EXPECT_STREQ(made.lfFaceName, "Tahoma");

    HCURSOR hand = GetFrameworkCursor(0);
    ASSERT_NE(hand, nullptr);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(SendMessageA(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              0);
    EXPECT_EQ(GetCursor(), hand);

    // The preferred size grows by the text in the link font.
    SetWindowTextA(hwnd, "A link text");
    CSize size(5, 5);
    link.GetPreferredSize(size);
    EXPECT_GT(size.cx, 5 + 20);
    EXPECT_GT(size.cy, 5 + 5);
}

TEST(ChooserCustomStaticTest, FormatFollowsTheStaticStyle)
{
    using chooser::CCustomStatic;
    EXPECT_EQ(CCustomStatic::DrawFormat(SS_LEFT | SS_CENTERIMAGE),
              static_cast<UINT>(DT_LEFT | DT_VCENTER | DT_SINGLELINE));
    EXPECT_EQ(CCustomStatic::DrawFormat(SS_RIGHT), static_cast<UINT>(DT_RIGHT | DT_WORDBREAK));
    EXPECT_EQ(CCustomStatic::DrawFormat(SS_LEFT), static_cast<UINT>(DT_LEFT | DT_WORDBREAK));
    EXPECT_EQ(CCustomStatic::DrawFormat(SS_CENTER | SS_CENTERIMAGE),
              static_cast<UINT>(DT_CENTER | DT_VCENTER | DT_SINGLELINE));
}

TEST(ChooserCustomStaticTest, WrapsWithoutCentreImageAndKeepsOneLineWithIt)
{
    ControlsDialog dialog;
    chooser::CCustomStatic label;
    HWND hwnd = dialog.Item(kPlainStatic);
    ASSERT_TRUE(label.Attach(hwnd, false));
    EXPECT_EQ(label.GetTextColor(), RGB(0, 0, 0));
    EXPECT_EQ(label.GetBackgroundColor(), RGB(255, 255, 255));
    ASSERT_NE(label.GetFont(), nullptr);
    SetWindowTextA(hwnd, "many short words that cannot fit on one line of this narrow static");
    RECT client;
    GetClientRect(hwnd, &client);

    Surface wrapped(client.right, client.bottom, RGB(10, 200, 10));
    label.OnPaint(&wrapped.Object());
    EXPECT_EQ(CountColor(wrapped, RGB(10, 200, 10)), 0);
    std::vector<int> rows = DarkRows(wrapped);
    ASSERT_FALSE(rows.empty());
    EXPECT_GT(rows.back() - rows.front(), 20) << "the text did not wrap";
    EXPECT_LT(rows.front(), 6) << "wrapped text starts at the top";

    label.ModifyStyle(0, SS_CENTERIMAGE);
    Surface single(client.right, client.bottom, RGB(10, 200, 10));
    label.OnPaint(&single.Object());
    rows = DarkRows(single);
    ASSERT_FALSE(rows.empty());
    EXPECT_LT(rows.back() - rows.front(), 20) << "more than one line";
    EXPECT_NEAR((rows.front() + rows.back()) / 2, client.bottom / 2, 3);
}
