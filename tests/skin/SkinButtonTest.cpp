// The skinned button and check box on real windows (Wine's null display
// driver), painted through WM_PRINTCLIENT into 32-bit bitmaps.
#include "skin/SkinButton.h"

#include "foundation/Window.h"
#include "skin/SkinFiles.h"
#include "skin/SkinPaint.h"
#include "tests/skin/SkinTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
constexpr COLORREF kRed = RGB(200, 0, 0);
constexpr COLORREF kGreen = RGB(0, 200, 0);
constexpr COLORREF kBlue = RGB(0, 0, 200);
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kNormalText = RGB(255, 255, 0);
constexpr COLORREF kHotText = RGB(0, 255, 255);
constexpr COLORREF kDownText = RGB(255, 128, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr int kButtonId = 77;

// The parent: paints its client area with a colour that tells the position
// (red = x, green = y), and records the commands it gets.
class RecordingParent : public CWindow
{
public:
    LRESULT OnPaint(CDC* dc) override
    {
        if (dc == nullptr)
            return NotHandled;
        for (int y = 0; y < 200; ++y)
        {
            for (int x = 0; x < 300; ++x)
                SetPixelV(*dc, x, y, PositionColour(x, y));
        }
        return 0;
    }
    LRESULT OnCommand(UINT code, UINT id, HWND control) override
    {
        commands.push_back({code, id, control});
        return 0;
    }
    // A button brush of a colour no test picture has.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message != WM_CTLCOLORBTN)
            return CWindow::WindowProc(message, wParam, lParam);
        ++buttonBrushRequests;
        return reinterpret_cast<LRESULT>(m_buttonBrush);
    }
    ~RecordingParent() override { DeleteObject(m_buttonBrush); }
    static COLORREF PositionColour(int x, int y) { return RGB(x % 256, y, 90); }

    struct Command
    {
        UINT code;
        UINT id;
        HWND control;
    };
    std::vector<Command> commands;
    int buttonBrushRequests = 0;
    static constexpr COLORREF kButtonBrushColour = RGB(245, 245, 240);

private:
    HBRUSH m_buttonBrush = CreateSolidBrush(kButtonBrushColour);
};

class SkinButtonTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        StartSkinFramework();
        // Thirds red, green and blue; the check picture's four images.
        WriteStrip(kGreen);
        ASSERT_TRUE(WriteBmp(m_skin.Folder() + "\\check.bmp", 88, 22,
                             [](int x, int)
                             {
                                 static const COLORREF images[] = {RGB(0, 90, 0), RGB(90, 140, 90),
                                                                   RGB(140, 0, 0),
                                                                   RGB(160, 120, 120)};
                                 return images[x / 22];
                             }));
        ASSERT_TRUE(CreateShownParent(m_parent));
    }
    void TearDown() override { m_parent.Destroy(); }

    void WriteStrip(COLORREF middle)
    {
        ASSERT_TRUE(WriteBmp(m_skin.Folder() + "\\strip.bmp", 300, 30,
                             [middle](int x, int) {
                                 return x < 100 ? kRed : x < 200 ? middle : kBlue;
                             }));
    }

    // A BUTTON child of the parent at (40, 50), 120 x 30.
    HWND MakeButton(const char* text, DWORD style = BS_PUSHBUTTON, int x = 40)
    {
        return CreateWindowExA(0, "BUTTON", text, WS_CHILD | WS_VISIBLE | style, x, 50, 120, 30,
                               m_parent.GetHwnd(),
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)),
                               GetModuleHandleA(nullptr), nullptr);
    }

    TestSkin m_skin{"[Color]\r\n"
                    "BUTTON_DEFAULT_R=255\r\nBUTTON_DEFAULT_G=255\r\nBUTTON_DEFAULT_B=0\r\n"
                    "BUTTON_ACTIVE_R=0\r\nBUTTON_ACTIVE_G=255\r\nBUTTON_ACTIVE_B=255\r\n"
                    "BUTTON_DOWN_R=255\r\nBUTTON_DOWN_G=128\r\nBUTTON_DOWN_B=0\r\n"
                    "[Image]\r\nBUTTON_DIALOG=strip.bmp\r\nCHECK_BUTTON=check.bmp\r\n"};
    RecordingParent m_parent;
};

LPARAM At(int x, int y)
{
    return MAKELPARAM(x, y);
}

TEST_F(SkinButtonTest, EachStateShowsItsThirdAndItsTextColour)
{
    CSkinButton button;
    HWND hwnd = MakeButton("");
    ASSERT_TRUE(button.Attach(hwnd, false));
    button.LoadSkinImage("BUTTON_DIALOG", "button_dialog.png");
    EXPECT_EQ(button.GetTextColor(0), kNormalText);
    EXPECT_EQ(button.GetTextColor(1), kHotText);
    EXPECT_EQ(button.GetTextColor(2), kDownText);

    EXPECT_EQ(Rendering(hwnd, kWhite).At(60, 15), kRed);
    SendMessageA(hwnd, WM_MOUSEMOVE, 0, At(10, 10));
    EXPECT_EQ(button.ChooseState(), 1);
    EXPECT_EQ(Rendering(hwnd, kWhite).At(60, 15), kGreen);
    // Hot has a flag of its own, never the framework's disabled look (32).
    EXPECT_NE(button.ChooseTextFlags() & CSkinButton::StateHotLook, 0u);
    EXPECT_EQ(button.ChooseTextFlags() & CDC::StateOwnDisabled, 0u);
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(10, 10));
    EXPECT_EQ(button.ChooseState(), 2);
    EXPECT_EQ(Rendering(hwnd, kWhite).At(60, 15), kBlue);
    SendMessageA(hwnd, WM_LBUTTONUP, 0, At(10, 10));
    EXPECT_EQ(Rendering(hwnd, kWhite).At(60, 15), kRed);

    // Disabled: the normal picture even under the mouse, and the disabled
    // look of the text.
    EnableWindow(hwnd, FALSE);
    SendMessageA(hwnd, WM_MOUSEMOVE, 0, At(10, 10));
    ASSERT_NE(button.GetState() & CHotButton::StateHot, 0u);
    EXPECT_EQ(button.ChooseState(), 0);
    EXPECT_EQ(Rendering(hwnd, kWhite).At(60, 15), kRed);
    EXPECT_NE(button.ChooseTextFlags() & CDC::StateDisabled, 0u);
    button.SetPlainLook(true);
    EXPECT_EQ(button.ChooseTextFlags() & CDC::StateDisabled, 0u);
}

TEST_F(SkinButtonTest, TheCheckedButtonOfAGroupShowsPressedEvenDisabled)
{
    CArray<CSkinButton*> group;
    CSkinButton first, second, third;
    CSkinButton* buttons[] = {&first, &second, &third};
    HWND windows[3];
    for (int i = 0; i < 3; ++i)
    {
        windows[i] = MakeButton("", BS_PUSHBUTTON, 5 + 95 * i);
        ASSERT_TRUE(buttons[i]->Attach(windows[i], false));
        buttons[i]->LoadSkinImage("BUTTON_DIALOG", "button_dialog.png");
        buttons[i]->SetRadioGroup(&group);
    }
    ASSERT_EQ(group.GetSize(), 3);
    third.SetRadioChecked();
    first.SetRadioChecked();
    for (HWND window : windows)
        ValidateRect(window, nullptr);
    second.SetRadioChecked();
    EXPECT_FALSE(first.IsChecked());
    EXPECT_TRUE(second.IsChecked());
    EXPECT_FALSE(third.IsChecked());
    // Every button of the group is repainted.
    for (HWND window : windows)
        EXPECT_TRUE(GetUpdateRect(window, nullptr, FALSE));

    EnableWindow(windows[1], FALSE);
    EXPECT_EQ(second.ChooseState(), 2);
    EXPECT_EQ(Rendering(windows[1], kWhite).At(60, 15), kBlue);
    EXPECT_EQ(Rendering(windows[0], kWhite).At(60, 15), kRed);

    // Without a group nothing is checked.
    CSkinButton alone;
    alone.SetRadioChecked();
    EXPECT_FALSE(alone.IsChecked());
}

TEST_F(SkinButtonTest, WithoutAPictureTheTextIsCentredInTheNormalColour)
{
    CSkinButton button;
    HWND hwnd = MakeButton("Wide text");
    ASSERT_TRUE(button.Attach(hwnd, false));
    Rendering shown(hwnd, kWhite);
    RECT text = shown.BoundsOfOther(kWhite);
    ASSERT_FALSE(IsRectEmpty(&text));
    EXPECT_LE(std::abs(text.left - (120 - text.right)), 2) << text.left << " " << text.right;
    EXPECT_LE(std::abs(text.top - (30 - text.bottom)), 2) << text.top << " " << text.bottom;
    EXPECT_GT(shown.Count(kNormalText), 5);
    EXPECT_EQ(shown.Count(kHotText), 0);

    // An indent draws the text from there, left-aligned.
    button.SetTextIndent(50);
    RECT indented = Rendering(hwnd, kWhite).BoundsOfOther(kWhite);
    EXPECT_GE(indented.left, 50);
    EXPECT_LE(indented.left, 53);
}

TEST_F(SkinButtonTest, AMagentaThirdShowsTheParentsPixelsUnderTheButton)
{
    WriteStrip(kMagenta);
    CSkinButton button;
    HWND hwnd = MakeButton("");
    ASSERT_TRUE(button.Attach(hwnd, false));
    button.LoadSkinImage("BUTTON_DIALOG", "button_dialog.png");
    ASSERT_EQ(button.GetStateImage(1), kSkinStateParentBackground);
    ASSERT_TRUE(button.HasBackgroundSnapshot());
    SendMessageA(hwnd, WM_MOUSEMOVE, 0, At(10, 10));
    Rendering hot(hwnd, kWhite);
    // The button lies at (40, 50) of the parent.
    EXPECT_EQ(hot.At(0, 0), RecordingParent::PositionColour(40, 50));
    EXPECT_EQ(hot.At(100, 20), RecordingParent::PositionColour(140, 70));
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(10, 10));
    EXPECT_EQ(Rendering(hwnd, kWhite).At(60, 15), kBlue);
}

TEST_F(SkinButtonTest, RepaintsMakeNoGdiObjects)
{
    CSkinButton button;
    HWND hwnd = MakeButton("Repaint");
    ASSERT_TRUE(button.Attach(hwnd, false));
    button.LoadSkinImage("BUTTON_DIALOG", "button_dialog.png");
    {
        Rendering warmUp(hwnd, kWhite);
    }
    CGdiHandle::DestroyTemporaryObjects();
    CDC::DestroyTemporaryDCs();
    GdiObjectGauge gauge;
    for (int i = 0; i < 200; ++i)
    {
        Rendering shown(hwnd, kWhite);
        ASSERT_EQ(shown.At(2, 2), kRed);
        CGdiHandle::DestroyTemporaryObjects();
        CDC::DestroyTemporaryDCs();
    }
    EXPECT_LT(gauge.Growth(), 20);
}

// What the window shows on the screen (its client area read back through
// its own context).
COLORREF ShownPixel(HWND window, int x, int y)
{
    HDC dc = GetDC(window);
    const COLORREF pixel = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return pixel;
}

// A new text on a shown button: its own picture shows it at once, and the
// system's button class paints nothing of its own (under Wine it cleared
// the old label's place with the parent's button brush, a light patch at
// the button's left end until the next paint).
TEST_F(SkinButtonTest, ANewTextShowsAtOnceWithoutTheSystemsClearing)
{
    CSkinButton button;
    HWND hwnd = MakeButton("Pause");
    ASSERT_TRUE(button.Attach(hwnd, false));
    button.LoadSkinImage("BUTTON_DIALOG", "button_dialog.png");
    UpdateWindow(hwnd);
    ASSERT_EQ(ShownPixel(hwnd, 8, 15), kRed);
    m_parent.buttonBrushRequests = 0;

    button.SetWindowText("Stop");
    EXPECT_EQ(m_parent.buttonBrushRequests, 0);
    EXPECT_FALSE(GetUpdateRect(hwnd, nullptr, FALSE));
    EXPECT_EQ(ShownPixel(hwnd, 8, 15), kRed);
    EXPECT_EQ(ShownPixel(hwnd, 2, 2), kRed);
    CString text;
    text.GetWindowText(hwnd);
    EXPECT_STREQ(text, "Stop");
}

TEST_F(SkinButtonTest, TheTooltipTextOutlivesTheCall)
{
    CSkinButton button;
    ASSERT_TRUE(button.Attach(MakeButton("Tip"), false));
    NMTTDISPINFOA info = {};
    EXPECT_EQ(button.GetToolTipText(&info), 0);
    {
        std::string text = "Starts the backup now";
        button.SetToolTipText(text.c_str());
    }
    EXPECT_EQ(button.GetToolTipText(&info), 1);
    EXPECT_STREQ(info.lpszText, "Starts the backup now");
    EXPECT_EQ(info.lpszText, static_cast<const char*>(button.GetToolTipTextValue()));
}

TEST_F(SkinButtonTest, TheSizeQueryAddsFramesPictureAndText)
{
    CSkinButton button;
    HWND hwnd = MakeButton("Start");
    ASSERT_TRUE(button.Attach(hwnd, false));
    button.LoadSkinImage("BUTTON_DIALOG", "button_dialog.png");
    CFont font;
    CreateSkinFont(font, 15, FW_BOLD);
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, font.GetHandle());
    RECT extent = {};
    DrawTextA(dc, "Start", -1, &extent, DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    CSize size(1, 2);
    EXPECT_TRUE(button.GetWindowSize(size));
    const int textHeight = extent.bottom - extent.top;
    EXPECT_EQ(size.cx, 1 + 3 * GetSystemMetrics(SM_CXFRAME) + 120 + 4 + extent.right + 4);
    EXPECT_EQ(size.cy,
              2 + 3 * GetSystemMetrics(SM_CYFRAME) + 30 + (textHeight > 30 ? textHeight - 30 : 0));
}

TEST_F(SkinButtonTest, AClickTellsTheParentWithCodeOne)
{
    CSkinButton button;
    HWND hwnd = MakeButton("Go");
    ASSERT_TRUE(button.Attach(hwnd, false));
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    SendMessageA(hwnd, WM_LBUTTONUP, 0, At(5, 5));
    ASSERT_EQ(m_parent.commands.size(), 1u);
    EXPECT_EQ(m_parent.commands[0].code, 1u);
    EXPECT_EQ(m_parent.commands[0].id, static_cast<UINT>(kButtonId));
    EXPECT_EQ(m_parent.commands[0].control, hwnd);
}

TEST_F(SkinButtonTest, TheCheckBoxToggles)
{
    CSkinCheckBox box;
    HWND hwnd = MakeButton("Compress", BS_AUTOCHECKBOX);
    ASSERT_TRUE(box.Attach(hwnd, false));
    ASSERT_EQ(ImageList_GetImageCount(box.GetImageList()), 4);
    EXPECT_EQ(box.ChooseImage(), 2);
    EXPECT_EQ(Rendering(hwnd, kWhite).At(10, 10), RGB(140, 0, 0));

    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    SendMessageA(hwnd, WM_LBUTTONUP, 0, At(5, 5));
    ASSERT_EQ(m_parent.commands.size(), 1u);
    EXPECT_EQ(m_parent.commands[0].code, 1u);
    EXPECT_EQ(m_parent.commands[0].control, hwnd);
    EXPECT_TRUE(box.IsChecked());
    EXPECT_EQ(box.ChooseImage(), 0);
    EXPECT_EQ(Rendering(hwnd, kWhite).At(10, 10), RGB(0, 90, 0));

    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    SendMessageA(hwnd, WM_LBUTTONUP, 0, At(5, 5));
    EXPECT_EQ(m_parent.commands.size(), 2u);
    EXPECT_EQ(box.ChooseImage(), 2);

    // Pressed inside, released outside: nothing.
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    SendMessageA(hwnd, WM_MOUSEMOVE, MK_LBUTTON, At(-40, 80));
    SendMessageA(hwnd, WM_LBUTTONUP, 0, At(-40, 80));
    EXPECT_EQ(m_parent.commands.size(), 2u);
    EXPECT_FALSE(box.IsChecked());

    // Disabled: images 1 and 3; the text turns grey.
    EnableWindow(hwnd, FALSE);
    EXPECT_EQ(box.ChooseImage(), 3);
    box.SetChecked(true);
    EXPECT_EQ(box.ChooseImage(), 1);
    Rendering disabled(hwnd, kWhite);
    EXPECT_EQ(disabled.At(10, 10), RGB(90, 140, 90));
    EXPECT_EQ(disabled.Count(GetSysColor(COLOR_BTNTEXT)), 0);
}

TEST_F(SkinButtonTest, TheFirstCheckBoxOfAFreshProfileWritesTheDefaults)
{
    const CString& settings = m_skin.SettingsFolder();
    DeleteFileA(settings + "\\settings.ini");
    RemoveDirectoryA(settings);
    CSkinCheckBox box;
    CString written = ReadTextFile(settings + "\\settings.ini");
    EXPECT_GE(written.Find("Directory=Default"), 0) << static_cast<const char*>(written);
    EXPECT_GE(written.Find("Directory=English"), 0) << static_cast<const char*>(written);
    // The default skin folder does not exist here: an empty list of 22 x 22.
    int width = 0, height = 0;
    ASSERT_TRUE(ImageList_GetIconSize(box.GetImageList(), &width, &height));
    EXPECT_EQ(width, 22);
    EXPECT_EQ(ImageList_GetImageCount(box.GetImageList()), 0);
}
} // namespace
