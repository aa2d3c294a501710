// The information panel as a window: printed into a canvas, measured with
// the same DC and font it draws with (Wine has no Arial, so nothing here
// assumes a glyph width).
#include "skin/CustomInfoControl.h"

#include "tests/support/ControlTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
const std::string kEsc(1, 27);

class InfoControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(host.Get(), nullptr);
        LOGFONTA logFont = {};
        logFont.lfHeight = 15;
        lstrcpyA(logFont.lfFaceName, "Arial");
        ASSERT_TRUE(font.CreateFontIndirect(logFont));
    }

    void Make(const std::string& text, int width, int height, DWORD style = 0)
    {
        ASSERT_TRUE(control.CreateEx(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | style, 0,
                                     0, width, height, host.Get(), nullptr));
        SendMessageA(control.GetHwnd(), WM_SETFONT,
                     reinterpret_cast<WPARAM>(font.GetSafeHandle()), FALSE);
        control.SetBackgroundColor(RGB(255, 255, 255));
    }

    // The height of " " and the width of a text in the control's font.
    int LineHeight(CDC& dc)
    {
        CSelectScope selected(dc, font);
        return dc.GetTextExtent(" ").cy;
    }
    int Width(CDC& dc, const char* text)
    {
        CSelectScope selected(dc, font);
        return dc.GetTextExtent(text).cx;
    }

    // The rows [top, bottom) hold a dark pixel.
    bool InkIn(const TestCanvas& canvas, int top, int bottom)
    {
        return canvas.Any(RECT{0, top, canvas.Width(), bottom}, IsDark);
    }
    int FirstInkX(const TestCanvas& canvas, int top, int bottom)
    {
        for (int x = 0; x < canvas.Width(); ++x)
            if (canvas.Any(RECT{x, top, x + 1, bottom}, IsDark))
                return x;
        return -1;
    }

    HostWindow host;
    CFont font;
    CCustomInfoControl control;
};
} // namespace

TEST_F(InfoControlTest, DrawsLinesAndMakesEachStyleFontOnce)
{
    std::string text = "one\n" + kEsc + "+btwo" + kEsc + "+ithree";
    Make(text, 240, 80);
    control.SetVerticalCentre(false);
    TestCanvas canvas(240, 80);
    ASSERT_TRUE(canvas.IsReady());
    int line = LineHeight(canvas.Object());
    EXPECT_EQ(control.GetTextHeight(canvas.Object(), nullptr), 2 * line + 4);

    canvas.Print(control.GetHwnd());
    EXPECT_EQ(canvas.Pixel(239, 79), RGB(255, 255, 255));
    EXPECT_TRUE(InkIn(canvas, 0, line));
    EXPECT_TRUE(InkIn(canvas, line, 2 * line));
    EXPECT_FALSE(InkIn(canvas, 2 * line, 80));
    EXPECT_EQ(control.GetStyleFontCount(), 2);

    // Drawn again, and measured: no new font.
    canvas.Print(control.GetHwnd());
    control.GetTextWidth(canvas.Object(), nullptr);
    EXPECT_EQ(control.GetStyleFontCount(), 2);

    // The DC keeps what was selected in it.
    HGDIOBJ before = GetCurrentObject(canvas.Object(), OBJ_FONT);
    control.GetTextWidth(canvas.Object(), nullptr);
    control.DrawInfoText(canvas.Object(), text.c_str(), RECT{0, 0, 240, 80});
    EXPECT_EQ(GetCurrentObject(canvas.Object(), OBJ_FONT), before);
}

TEST_F(InfoControlTest, MeasuresRunsInTheirOwnFonts)
{
    std::string text = "ab\n" + kEsc + "+bwide bold line" + kEsc + "-b tail";
    Make(text, 300, 60);
    TestCanvas canvas(300, 60);
    LOGFONTA bold = {};
    font.GetLogFont(bold);
    bold.lfWeight = FW_BOLD;
    CFont boldFont;
    ASSERT_TRUE(boldFont.CreateFontIndirect(bold));
    int boldWidth;
    {
        CSelectScope selected(canvas.Object(), boldFont);
        boldWidth = canvas.Object().GetTextExtent("wide bold line").cx;
    }
    int expected = boldWidth + Width(canvas.Object(), " tail") + 4;
    EXPECT_EQ(control.GetTextWidth(canvas.Object(), nullptr), expected);

    CSize size(10, 20);
    EXPECT_TRUE(control.GetWindowSize(size));
    EXPECT_EQ(size.cx, 10 + expected);
    EXPECT_EQ(size.cy, 20 + 2 * LineHeight(canvas.Object()) + 4);
}

TEST_F(InfoControlTest, SunkenAddsTheEdges)
{
    Make("", 100, 30, SS_SUNKEN);
    CSize size(0, 0);
    EXPECT_TRUE(control.GetWindowSize(size));
    EXPECT_EQ(size.cx, 4 * GetSystemMetrics(SM_CXEDGE));
    EXPECT_EQ(size.cy, 4 * GetSystemMetrics(SM_CYEDGE));
}

TEST_F(InfoControlTest, RedOnlyInsideTheRedWord)
{
    std::string text = "plain " + kEsc + "t255,0,0red" + kEsc + "t0,0,0 plain";
    Make(text, 300, 40);
    control.SetVerticalCentre(false);
    TestCanvas canvas(300, 40);
    canvas.Print(control.GetHwnd());
    int start = Width(canvas.Object(), "plain ");
    int end = start + Width(canvas.Object(), "red");
    EXPECT_TRUE(canvas.Any(RECT{start, 0, end, 40}, IsRed));
    EXPECT_FALSE(canvas.Any(RECT{0, 0, start, 40}, IsRed));
    EXPECT_FALSE(canvas.Any(RECT{end + 1, 0, 300, 40}, IsRed));
    EXPECT_TRUE(canvas.Any(RECT{end + 1, 0, 300, 40}, IsDark));
}

TEST_F(InfoControlTest, CentredLinesUntilLeftAgain)
{
    std::string text = kEsc + "cWWW\nWW\n" + kEsc + "lWWW";
    Make(text, 300, 80);
    control.SetVerticalCentre(false);
    TestCanvas canvas(300, 80);
    canvas.Print(control.GetHwnd());
    int line = LineHeight(canvas.Object());
    int first = FirstInkX(canvas, 0, line);
    int second = FirstInkX(canvas, line, 2 * line);
    int third = FirstInkX(canvas, 2 * line, 3 * line);
    int wide = Width(canvas.Object(), "WWW");
    int narrow = Width(canvas.Object(), "WW");
    // Ink starts within a few pixels of the measured start (side bearings).
    EXPECT_NEAR(first, 150 - wide / 2, 3);
    EXPECT_NEAR(second, 150 - narrow / 2, 3);
    EXPECT_NEAR(third, 0, 3);
}

TEST_F(InfoControlTest, LeavesOutLinesThatDoNotFitWhole)
{
    Make("x", 100, 10);
    TestCanvas canvas(100, 60);
    int line = LineHeight(canvas.Object());
    ASSERT_TRUE(SetWindowPos(control.GetHwnd(), nullptr, 0, 0, 100, line, SWP_NOZORDER));
    // One line exactly as tall as the control.
    canvas.Print(control.GetHwnd());
    EXPECT_TRUE(InkIn(canvas, 0, line));

    // Five lines in two and a half: two of them.
    SetWindowTextA(control.GetHwnd(), "X\nX\nX\nX\nX");
    ASSERT_TRUE(SetWindowPos(control.GetHwnd(), nullptr, 0, 0, 100, line * 5 / 2, SWP_NOZORDER));
    canvas.Print(control.GetHwnd());
    EXPECT_TRUE(InkIn(canvas, 0, line));
    EXPECT_TRUE(InkIn(canvas, line, 2 * line));
    EXPECT_FALSE(InkIn(canvas, 2 * line, line * 5 / 2));
}
