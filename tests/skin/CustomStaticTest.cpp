// The custom statics: the style-to-format table, and the three statics
// painted through WM_PRINTCLIENT (Wine's null display driver).
#include "skin/CustomStatic.h"

#include "foundation/Window.h"
#include "skin/SkinFiles.h"
#include "tests/skin/SkinTestSupport.h"

#include <gtest/gtest.h>

namespace
{
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGround = RGB(0, 255, 0);

TEST(StaticTextFormat, FollowsTheAlignmentStyles)
{
    EXPECT_EQ(StaticTextFormat(SS_CENTERIMAGE | SS_CENTER), 37u);
    EXPECT_EQ(StaticTextFormat(SS_CENTERIMAGE | SS_RIGHT), 38u);
    EXPECT_EQ(StaticTextFormat(SS_CENTERIMAGE), 36u);
    EXPECT_EQ(StaticTextFormat(SS_CENTER), 17u);
    EXPECT_EQ(StaticTextFormat(SS_RIGHT), 18u);
    EXPECT_EQ(StaticTextFormat(SS_LEFT), 16u);
    // SS_CENTER wins over SS_RIGHT (together they are SS_ICON's value).
    EXPECT_EQ(StaticTextFormat(SS_CENTER | SS_RIGHT), 17u);
    EXPECT_EQ(StaticTextFormat(SS_CENTERIMAGE | SS_CENTER | SS_RIGHT), 37u);
    // Other style bits change nothing.
    EXPECT_EQ(StaticTextFormat(SS_NOTIFY | WS_CHILD | WS_VISIBLE | SS_RIGHT), 18u);
}

class CustomStaticTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        StartSkinFramework();
        ASSERT_TRUE(CreateShownParent(m_parent));
    }
    void TearDown() override { m_parent.Destroy(); }

    HWND MakeStatic(const char* text, int width, int height, DWORD style = SS_LEFT)
    {
        return CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | style, 10, 10, width,
                               height, m_parent.GetHwnd(), nullptr, GetModuleHandleA(nullptr),
                               nullptr);
    }

    TestSkin m_skin{"[Color]\r\nGRADIENT_LEFT_R=0\r\nGRADIENT_LEFT_G=0\r\nGRADIENT_LEFT_B=250\r\n"
                    "GRADIENT_RIGHT_R=250\r\nGRADIENT_RIGHT_G=0\r\nGRADIENT_RIGHT_B=0\r\n"};
    CWindow m_parent;
};

// The rows of the rendering that hold a pixel other than the colour.
int LowestRowWithOther(const Rendering& shown, COLORREF color, int below)
{
    int lowest = -1;
    for (int y = 0; y < below; ++y)
    {
        for (int x = 0; x < shown.Width(); ++x)
        {
            if (shown.At(x, y) != color)
                lowest = y;
        }
    }
    return lowest;
}

TEST_F(CustomStaticTest, TheLabelPaintsItsBackgroundAndText)
{
    CCustomStatic label;
    HWND hwnd = MakeStatic("Label", 120, 20);
    ASSERT_TRUE(label.Attach(hwnd, false));
    Rendering shown(hwnd, kGround);
    EXPECT_EQ(shown.Count(kGround), 0);
    EXPECT_GT(shown.Count(RGB(0, 0, 0)), 5);
    label.SetBackgroundColor(RGB(10, 20, 30));
    label.SetTextColor(RGB(250, 250, 0));
    Rendering recoloured(hwnd, kGround);
    EXPECT_EQ(recoloured.At(118, 18), RGB(10, 20, 30));
    EXPECT_GT(recoloured.Count(RGB(250, 250, 0)), 5);
    EXPECT_EQ(recoloured.Count(RGB(0, 0, 0)), 0);
}

TEST_F(CustomStaticTest, TheHeadingHasTextAboveTheBandAndTheSkinsGradient)
{
    CCustomGradientStatic heading;
    HWND hwnd = MakeStatic("Backup", 200, 30);
    ASSERT_TRUE(heading.Attach(hwnd, false));
    EXPECT_EQ(heading.GetLeftColor(), RGB(0, 0, 250));
    EXPECT_EQ(heading.GetRightColor(), RGB(250, 0, 0));
    Rendering shown(hwnd, kGround);
    for (int row = 27; row <= 29; ++row)
    {
        COLORREF left = shown.At(0, row);
        COLORREF right = shown.At(199, row);
        EXPECT_LE(GetRValue(left), 3);
        EXPECT_GE(GetBValue(left), 247);
        EXPECT_GE(GetRValue(right), 247);
        EXPECT_LE(GetBValue(right), 3);
        // Half way: half of each.
        EXPECT_NEAR(GetRValue(shown.At(100, row)), 125, 6);
    }
    // Rows 25 and 26 are background; the text lies above row 25.
    for (int x = 0; x < 200; ++x)
    {
        EXPECT_EQ(shown.At(x, 25), kWhite);
        EXPECT_EQ(shown.At(x, 26), kWhite);
    }
    const int lowest = LowestRowWithOther(shown, kWhite, 25);
    EXPECT_GE(lowest, 5) << "no text";
    EXPECT_LT(lowest, 25);
}

TEST_F(CustomStaticTest, ATwoPixelHeadingShowsOnlyTheBand)
{
    CCustomGradientStatic heading;
    HWND hwnd = MakeStatic("Backup", 200, 2);
    ASSERT_TRUE(heading.Attach(hwnd, false));
    Rendering shown(hwnd, kGround);
    for (int row = 0; row < 2; ++row)
    {
        EXPECT_LE(GetRValue(shown.At(0, row)), 3);
        EXPECT_GE(GetBValue(shown.At(0, row)), 247);
        EXPECT_GE(GetRValue(shown.At(199, row)), 247);
    }
    heading.SetGradient(false);
    Rendering plain(hwnd, kGround);
    EXPECT_EQ(plain.Count(kWhite), 400);
}

TEST_F(CustomStaticTest, TheGroupDrawsTwoRingsAndLeavesTheInside)
{
    CCustomGroup group;
    HWND hwnd = MakeStatic("", 120, 80);
    ASSERT_TRUE(group.Attach(hwnd, false));
    Rendering shown(hwnd, kGround);
    EXPECT_EQ(shown.At(0, 0), RGB(0xDF, 0xDF, 0xDF));
    EXPECT_EQ(shown.At(119, 79), RGB(0xDF, 0xDF, 0xDF));
    EXPECT_EQ(shown.At(60, 0), RGB(0xDF, 0xDF, 0xDF));
    EXPECT_EQ(shown.At(1, 1), RGB(0xA8, 0xA8, 0xA8));
    EXPECT_EQ(shown.At(118, 78), RGB(0xA8, 0xA8, 0xA8));
    EXPECT_EQ(shown.At(1, 40), RGB(0xA8, 0xA8, 0xA8));
    EXPECT_EQ(shown.At(2, 2), kGround);
    EXPECT_EQ(shown.At(60, 40), kGround);
    EXPECT_EQ(shown.Count(kGround), 116 * 76);
}

// Counts the paints that reach the label.
class CountingStatic : public CCustomStatic
{
public:
    LRESULT OnPaint(CDC* dc) override
    {
        ++paints;
        return CCustomStatic::OnPaint(dc);
    }
    int paints = 0;
};

TEST_F(CustomStaticTest, ANewTextShowsWithoutWaitingForMessages)
{
    CountingStatic label;
    HWND hwnd = MakeStatic("Before", 120, 20);
    ASSERT_TRUE(label.Attach(hwnd, false));
    UpdateWindow(m_parent.GetHwnd());
    UpdateWindow(hwnd);
    const int before = label.paints;
    label.SetWindowText("After");
    // No message was dispatched in between.
    EXPECT_EQ(label.paints, before + 1);
    EXPECT_FALSE(GetUpdateRect(hwnd, nullptr, FALSE));
}
} // namespace
