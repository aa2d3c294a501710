// The frame bar and the progress bar bound to dialog items of a host
// window, printed into a canvas (WM_PRINTCLIENT), and driven from a worker
// thread while the user-interface thread waits for it.
#include "skin/FrameBar.h"

#include "tests/support/ControlTestSupport.h"
#include "SkinTestSupport.h"
#include "skin/SkinFiles.h"

#include <gtest/gtest.h>

#include <process.h>

#include <string>

namespace
{
// Frame colours of the test skin; the fill lacks its green, which then
// comes from the reader's default (173).
const char kSkinColors[] = "[Color]\r\nCOLOR_FRAME_1_R=10\r\nCOLOR_FRAME_1_G=20\r\nCOLOR_FRAME_1_B=30\r\n"
                           "COLOR_FRAME_2_R=40\r\nCOLOR_FRAME_2_G=50\r\nCOLOR_FRAME_2_B=60\r\n"
                           "COLOR_FRAME_3_R=200\r\nCOLOR_FRAME_3_B=50\r\n";
const COLORREF kFrame1 = RGB(10, 20, 30);
const COLORREF kFrame2 = RGB(40, 50, 60);
const COLORREF kFill = RGB(200, 173, 50);

class BarTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_NE(host.Get(), nullptr); }

    // A static item of the host, bound as a dialog item is.
    HWND Item(int width, int height, const char* text = "")
    {
        return host.AddChild("STATIC", text, 0, 0, width, height);
    }

    TestSkin skin{kSkinColors};
    HostWindow host;
};

const char kLongPath[] =
    "C:\\Program Files\\Orvanel Brindlewox\\A rather long folder name\\Another folder\\file_name.txt";

int TextWidth(HFONT font, const CString& text)
{
    CGetDC dc;
    CSelectScope selected(dc, font);
    return dc.GetTextExtent(text).cx;
}
} // namespace

TEST_F(BarTest, ProgressFillsInProportion)
{
    CProgressBar bar;
    ASSERT_TRUE(bar.Attach(Item(204, 20), false));
    const COLORREF frame1 = kFrame1;
    const COLORREF frame2 = kFrame2;
    const COLORREF fill = kFill;
    TestCanvas canvas(204, 20);

    // Set before the bar was ever painted.
    bar.SetRange(0, 100);
    bar.SetPos(50);
    canvas.Print(bar.GetHwnd());
    EXPECT_EQ(canvas.Pixel(0, 0), frame1);
    EXPECT_EQ(canvas.Pixel(203, 19), frame1);
    EXPECT_EQ(canvas.Pixel(1, 1), frame2);
    EXPECT_EQ(canvas.Pixel(202, 18), frame2);
    for (int x = 3; x <= 101; ++x)
        ASSERT_EQ(canvas.Pixel(x, 10), fill) << x;
    EXPECT_EQ(canvas.Pixel(3, 3), fill);
    EXPECT_EQ(canvas.Pixel(3, 16), fill);
    EXPECT_NE(canvas.Pixel(102, 10), fill);
    EXPECT_NE(canvas.Pixel(2, 10), fill);
    EXPECT_NE(canvas.Pixel(50, 2), fill);
    EXPECT_NE(canvas.Pixel(50, 17), fill);

    // Byte counts: the product needs 64 bits.
    bar.SetRange(0, 100000000);
    bar.SetPos(50000000);
    canvas.Print(bar.GetHwnd());
    EXPECT_EQ(canvas.Pixel(101, 10), fill);
    EXPECT_NE(canvas.Pixel(102, 10), fill);

    bar.SetPos(0);
    canvas.Print(bar.GetHwnd());
    EXPECT_NE(canvas.Pixel(3, 10), fill);
    EXPECT_EQ(canvas.Pixel(0, 0), frame1);

    // Clamped to the bounds; an upper bound of 0 counts as 1.
    bar.SetRange(0, 100);
    bar.SetPos(250);
    EXPECT_EQ(bar.GetPos(), 100);
    bar.SetPos(-5);
    EXPECT_EQ(bar.GetPos(), 0);
    bar.SetRange(0, 0);
    bar.SetPos(1);
    canvas.Print(bar.GetHwnd());
    EXPECT_EQ(canvas.Pixel(200, 10), fill);
    EXPECT_NE(canvas.Pixel(201, 10), fill);
}

TEST(ProgressBarSkin, DefaultsAndTheFirstRun)
{
    // A fresh profile without any skin: the reader defaults, and the
    // progress bar writes the first-run entries (the frame bar only reads).
    TempFolder fresh("firstrun");
    CString program = fresh / "program";
    ASSERT_TRUE(MakeFolder(program));
    OverrideSkinFilesFolders(fresh / kProductFolderName, program);
    struct Restore
    {
        ~Restore() { OverrideSkinFilesFolders(nullptr, nullptr); }
    } restore;
    HostWindow host;
    CString settings = fresh / kProductFolderName + "\\settings.ini";
    {
        CFrameBar field;
        EXPECT_EQ(field.GetFrameColor(0), RGB(168, 168, 168));
        EXPECT_EQ(field.GetFrameColor(1), RGB(223, 223, 223));
    }
    EXPECT_EQ(GetFileAttributesA(settings), INVALID_FILE_ATTRIBUTES);
    CProgressBar bar;
    EXPECT_NE(GetFileAttributesA(settings), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(bar.Attach(host.AddChild("STATIC", "", 0, 0, 204, 20), false));
    bar.SetRange(0, 100);
    bar.SetPos(100);
    TestCanvas canvas(204, 20);
    canvas.Print(bar.GetHwnd());
    EXPECT_EQ(canvas.Pixel(0, 0), RGB(168, 168, 168));
    EXPECT_EQ(canvas.Pixel(1, 1), RGB(223, 223, 223));
    EXPECT_EQ(canvas.Pixel(200, 10), RGB(255, 173, 27));
}

TEST(ProgressBarArithmetic, RightEdge)
{
    EXPECT_EQ(CProgressBar::BarRight(3, 198, 50, 100), 102);
    EXPECT_EQ(CProgressBar::BarRight(3, 198, 50000000, 100000000), 102);
    EXPECT_EQ(CProgressBar::BarRight(3, 198, 2000000000, 2100000000), 3 + 188);
    EXPECT_EQ(CProgressBar::BarRight(0, 1, 5, 0), 1);
    EXPECT_EQ(CProgressBar::BarRight(3, 198, -7, 100), 3);
    EXPECT_EQ(CProgressBar::BarRight(3, 198, 1000, 100), 201);
}

TEST_F(BarTest, FrameAndGradient)
{
    CFrameBar bar;
    ASSERT_TRUE(bar.Attach(Item(120, 20), false));
    bar.SetBackgroundColor(RGB(255, 255, 255));
    TestCanvas canvas(120, 20);
    canvas.Print(bar.GetHwnd());
    EXPECT_EQ(canvas.Pixel(0, 0), kFrame1);
    EXPECT_EQ(canvas.Pixel(1, 1), kFrame2);
    EXPECT_EQ(canvas.Pixel(2, 2), RGB(255, 255, 255));

    // A gradient has no frame and its end colours at the edges.
    bar.SetGradient(true);
    bar.SetBackgroundColor(RGB(255, 0, 0));
    bar.SetGradientEndColor(RGB(0, 0, 255));
    canvas.Print(bar.GetHwnd());
    // Within one step of the gradient (255 over the pixels it runs across).
    int step = 255 / 120 + 2;
    auto similar = [&step](COLORREF a, COLORREF b) {
        return std::abs(GetRValue(a) - GetRValue(b)) <= step &&
               std::abs(GetGValue(a) - GetGValue(b)) <= step &&
               std::abs(GetBValue(a) - GetBValue(b)) <= step;
    };
    EXPECT_TRUE(similar(canvas.Pixel(0, 0), RGB(255, 0, 0)));
    EXPECT_TRUE(similar(canvas.Pixel(0, 10), RGB(255, 0, 0)));
    EXPECT_TRUE(similar(canvas.Pixel(119, 10), RGB(0, 0, 255)));
    EXPECT_TRUE(similar(canvas.Pixel(119, 19), RGB(0, 0, 255)));

    // Vertical: the end colour at the top.
    bar.SetVertical(true);
    step = 255 / 20 + 2;
    canvas.Print(bar.GetHwnd());
    EXPECT_TRUE(similar(canvas.Pixel(60, 0), RGB(0, 0, 255)));
    EXPECT_TRUE(similar(canvas.Pixel(60, 19), RGB(255, 0, 0)));
}

TEST_F(BarTest, LongPathsAreCompacted)
{
    CFrameBar bar;
    ASSERT_TRUE(bar.Attach(Item(200, 20, kLongPath), false));
    EXPECT_NE(bar.GetToolTip(), nullptr);
    bar.SetPathCompaction(true);
    TestCanvas canvas(200, 20);
    canvas.Print(bar.GetHwnd());
    std::string shown = static_cast<const char*>(bar.GetShownText());
    EXPECT_TRUE(bar.IsTextCut());
    EXPECT_EQ(shown.rfind("C:\\", 0), 0u) << shown;
    EXPECT_NE(shown.find("..."), std::string::npos) << shown;
    EXPECT_GE(shown.size(), 14u);
    EXPECT_EQ(shown.substr(shown.size() - 14), "\\file_name.txt") << shown;
    // The text area: 200 less 4 at the left.
    EXPECT_LE(TextWidth(bar.GetTextFont(), bar.GetShownText()), 196);

    // The tooltip gets the whole path while it is cut.
    NMTTDISPINFOA info = {};
    info.hdr.hwndFrom = bar.GetToolTip();
    info.hdr.code = TTN_NEEDTEXTA;
    SendMessageA(bar.GetHwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(info.lpszText, nullptr);
    EXPECT_STREQ(info.lpszText, kLongPath);

    // Without the path flag: cut with a trailing "...".
    bar.SetPathCompaction(false);
    canvas.Print(bar.GetHwnd());
    shown = static_cast<const char*>(bar.GetShownText());
    EXPECT_TRUE(bar.IsTextCut());
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(shown.substr(shown.size() - 3), "...");
    EXPECT_EQ(shown.compare(0, shown.size() - 3, kLongPath, shown.size() - 3), 0);
    EXPECT_LE(TextWidth(bar.GetTextFont(), bar.GetShownText()), 196);

    // Even a bar too narrow for "..." keeps one character.
    SetWindowPos(bar.GetHwnd(), nullptr, 0, 0, 12, 20, SWP_NOZORDER | SWP_NOMOVE);
    canvas.Print(bar.GetHwnd());
    EXPECT_EQ(std::string(bar.GetShownText()), "C...");

    // A short text fits: the flag clears and the tooltip has nothing to add.
    SetWindowPos(bar.GetHwnd(), nullptr, 0, 0, 200, 20, SWP_NOZORDER | SWP_NOMOVE);
    bar.SetWindowText("short");
    canvas.Print(bar.GetHwnd());
    EXPECT_FALSE(bar.IsTextCut());
    EXPECT_EQ(std::string(bar.GetShownText()), "short");
    info = {};
    info.hdr.hwndFrom = bar.GetToolTip();
    info.hdr.code = TTN_NEEDTEXTA;
    SendMessageA(bar.GetHwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(info.lpszText, nullptr);
    EXPECT_STREQ(info.lpszText, "");

    // The text is drawn: dark caption text on the white background.
    bar.SetBackgroundColor(RGB(255, 255, 255));
    bar.SetTextColor(RGB(0, 0, 0));
    canvas.Print(bar.GetHwnd());
    EXPECT_TRUE(canvas.Any(RECT{4, 2, 100, 18}, IsDark));
}

TEST_F(BarTest, FontsFollowTheLayout)
{
    CFrameBar bar;
    ASSERT_TRUE(bar.Attach(Item(30, 200, "upwards"), false));
    HFONT text = bar.GetTextFont();
    HFONT vertical = bar.GetVerticalFont();
    ASSERT_NE(text, nullptr);
    ASSERT_NE(vertical, nullptr);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(bar.GetHwnd(), WM_GETFONT, 0, 0)), text);
    bar.SetVertical(true);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(bar.GetHwnd(), WM_GETFONT, 0, 0)), vertical);
    LOGFONTA turned = {};
    ASSERT_EQ(GetObjectA(vertical, sizeof(turned), &turned), static_cast<int>(sizeof(turned)));
    EXPECT_EQ(turned.lfEscapement, 900);
    EXPECT_EQ(turned.lfOrientation, 900);
    EXPECT_EQ(turned.lfOutPrecision, OUT_TT_ONLY_PRECIS);

    // A null font keeps the fonts; a real one is copied into both.
    SendMessageA(bar.GetHwnd(), WM_SETFONT, 0, FALSE);
    EXPECT_NE(bar.GetTextFont(), nullptr);
    EXPECT_NE(bar.GetVerticalFont(), nullptr);
    LOGFONTA given = {};
    given.lfHeight = 22;
    lstrcpyA(given.lfFaceName, "Tahoma");
    HFONT font = CreateFontIndirectA(&given);
    SendMessageA(bar.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    LOGFONTA copied = {};
    GetObjectA(bar.GetVerticalFont(), sizeof(copied), &copied);
    EXPECT_EQ(copied.lfHeight, 22);
    EXPECT_EQ(copied.lfEscapement, 900);
    GetObjectA(bar.GetTextFont(), sizeof(copied), &copied);
    EXPECT_EQ(copied.lfHeight, 22);
    EXPECT_EQ(copied.lfEscapement, 0);
    DeleteObject(font);

    // The vertical text is drawn, upwards from the bottom.
    bar.SetBackgroundColor(RGB(255, 255, 255));
    bar.SetTextColor(RGB(0, 0, 0));
    TestCanvas canvas(30, 200);
    canvas.Print(bar.GetHwnd());
    EXPECT_TRUE(canvas.Any(RECT{2, 100, 28, 196}, IsDark));
    EXPECT_FALSE(bar.IsTextCut());

    CSize size;
    EXPECT_TRUE(bar.GetWindowSize(size));
    EXPECT_GE(size.cx, GetSystemMetrics(SM_CYCAPTION));
    EXPECT_GT(size.cy, 4);
}

namespace
{
struct WorkerJob
{
    CProgressBar* bar;
    CFrameBar* field;
};

unsigned __stdcall UpdateFromWorker(void* param)
{
    auto* job = static_cast<WorkerJob*>(param);
    job->bar->SetPos(30);
    job->field->SetWindowText("from the worker");
    return 0;
}
} // namespace

TEST_F(BarTest, WorkerUpdatesNeverWaitForTheWindowThread)
{
    CProgressBar bar;
    CFrameBar field;
    ASSERT_TRUE(bar.Attach(Item(204, 20), false));
    ASSERT_TRUE(field.Attach(Item(200, 20, "before"), false));
    bar.SetRange(0, 100);
    ShowWindow(host.Get(), SW_SHOWNOACTIVATE);
    UpdateWindow(host.Get());

    // This thread waits without reading its messages, as a window waiting
    // for its worker would.
    WorkerJob job = {&bar, &field};
    auto worker = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, UpdateFromWorker, &job, 0,
                                                          nullptr));
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(WaitForSingleObject(worker, 20000), WAIT_OBJECT_0);
    CloseHandle(worker);
    EXPECT_EQ(bar.GetPos(), 30);

    // The text arrives when the window's thread reads its messages.
    PumpMessages();
    EXPECT_EQ(std::string(CString(field.GetHwnd())), "from the worker");
}
