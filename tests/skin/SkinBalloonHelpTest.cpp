// Real balloons under the null display driver: size, region, time-out,
// self-deletion, the delayed close, fades switched on, the close button and
// what a hundred balloons leave behind.
#include "skin/SkinBalloonHelp.h"

#include "tests/support/ControlTestSupport.h"
#include "SkinTestSupport.h"
#include "tests/support/OwnDesktop.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
constexpr DWORD kCloseButton = CSkinBalloonHelp::OptionShowCloseButton;

struct FoundWindows
{
    DWORD thread;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectBalloon(HWND window, LPARAM param)
{
    auto* found = reinterpret_cast<FoundWindows*>(param);
    // Only the framework's own popups are asked for their object: asking
    // for any other window would make a wrapper that subclasses it.
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    bool framework = lstrcmpA(name, "CDSWindowClass") == 0 ||
                     (lstrcmpA(name, "CWindowClass") == 0 && GetWindow(window, GW_OWNER) != nullptr);
    if (framework && dynamic_cast<CSkinBalloonHelp*>(CWindow::FromHandle(window)) != nullptr)
        found->windows.push_back(window);
    return TRUE;
}

// The balloon windows of this thread.
std::vector<HWND> Balloons()
{
    FoundWindows found = {GetCurrentThreadId(), {}};
    EnumThreadWindows(found.thread, CollectBalloon, reinterpret_cast<LPARAM>(&found));
    return found.windows;
}

CSkinBalloonHelp* BalloonOf(HWND window)
{
    return dynamic_cast<CSkinBalloonHelp*>(CWindow::FromHandle(window));
}

// The system's tooltip animation and fade for the life of the object,
// restored when it ends.
class TooltipEffects
{
public:
    explicit TooltipEffects(BOOL on)
    {
        SystemParametersInfoA(SPI_GETTOOLTIPANIMATION, 0, &m_animation, 0);
        SystemParametersInfoA(SPI_GETTOOLTIPFADE, 0, &m_fade, 0);
        Set(on, on);
    }
    ~TooltipEffects() { Set(m_animation, m_fade); }

private:
    static void Set(BOOL animation, BOOL fade)
    {
        SystemParametersInfoA(SPI_SETTOOLTIPANIMATION, 0, reinterpret_cast<void*>(INT_PTR(animation)),
                              0);
        SystemParametersInfoA(SPI_SETTOOLTIPFADE, 0, reinterpret_cast<void*>(INT_PTR(fade)), 0);
    }

    BOOL m_animation = FALSE;
    BOOL m_fade = FALSE;
};

class BalloonTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(host.Get(), nullptr);
        ASSERT_EQ(CSkinBalloonHelp::GetLiveCount(), 0);
    }
    void TearDown() override
    {
        for (HWND balloon : Balloons())
            SendMessageA(balloon, WM_CLOSE, 0, 0);
        PumpUntil(wait_bound::kStepMs, [] { return CSkinBalloonHelp::GetLiveCount() == 0; });
        EXPECT_EQ(CSkinBalloonHelp::GetLiveCount(), 0);
    }

    // The one balloon there is.
    HWND Only()
    {
        std::vector<HWND> balloons = Balloons();
        EXPECT_EQ(balloons.size(), 1u);
        return balloons.empty() ? nullptr : balloons[0];
    }

    HostWindow host;
};
} // namespace

TEST_F(BalloonTest, LaunchedBalloonFitsItsContentAndGoesAfterItsTimeout)
{
    POINT anchor = {40, 30};
    ASSERT_TRUE(CSkinBalloonHelp::LaunchBalloon("T", "line1\nline2", anchor, 102, kCloseButton,
                                                host.Get(), "", 500));
    HWND balloon = Only();
    ASSERT_NE(balloon, nullptr);
    EXPECT_EQ(CSkinBalloonHelp::GetLiveCount(), 1);
    char className[32] = {};
    GetClassNameA(balloon, className, sizeof(className));
    EXPECT_STREQ(className, "CDSWindowClass");
    EXPECT_EQ(GetWindow(balloon, GW_OWNER), host.Get());
    EXPECT_TRUE(IsWindowVisible(balloon));
    EXPECT_TRUE(GetWindowLongA(balloon, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(BalloonOf(balloon)->GetOptions() & CSkinBalloonHelp::OptionDeleteSelf);

    // Window = content + (16, 36); the content sits under the header.
    HWND content = FindWindowExA(balloon, nullptr, "STATIC", nullptr);
    ASSERT_NE(content, nullptr);
    RECT contentRect;
    GetWindowRect(content, &contentRect);
    MapWindowPoints(nullptr, balloon, reinterpret_cast<POINT*>(&contentRect), 2);
    RECT window;
    GetWindowRect(balloon, &window);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    EXPECT_EQ(width, contentRect.right - contentRect.left + 16);
    EXPECT_EQ(height, contentRect.bottom + 36);
    CSize closeButton = CSkinBalloonHelp::GetCloseButtonSize();
    EXPECT_GE(contentRect.top, closeButton.cy + 8);

    // The tail points at the anchor: quadrant 1 (upper left), tip at the
    // base's left end a quarter in.
    POINT screenAnchor = anchor;
    ClientToScreen(host.Get(), &screenAnchor);
    EXPECT_EQ(BalloonOf(balloon)->GetQuadrant(), 1);
    EXPECT_EQ(screenAnchor.x - window.left, std::max(8, (width - 20) / 4));
    EXPECT_EQ(screenAnchor.y - window.top, 1);

    // The region spans the window: the body from 0 across and down to the
    // bottom, the tail up to the tip (GDI leaves out the last column and
    // row of a rounded rectangle, and a polygon's single top vertex).
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(balloon, region), ERROR);
    RECT box;
    GetRgnBox(region, &box);
    DeleteObject(region);
    EXPECT_EQ(box.left, 0);
    EXPECT_GE(box.top, 1);
    EXPECT_LE(box.top, 2);
    EXPECT_GE(box.right, width - 1);
    EXPECT_LE(box.right, width);
    EXPECT_GE(box.bottom, height - 1);
    EXPECT_LE(box.bottom, height);

    // The client area is 8 pixels in, 28 from the top.
    RECT client;
    GetClientRect(balloon, &client);
    EXPECT_EQ(client.right, width - 16);
    EXPECT_EQ(client.bottom, height - 36);

    EXPECT_TRUE(PumpUntil(wait_bound::kStepMs, [balloon] { return !IsWindow(balloon); }));
    EXPECT_EQ(CSkinBalloonHelp::GetLiveCount(), 0);
}

TEST_F(BalloonTest, PaintsOnTheSkinColour)
{
    TestSkin skin("[Color]\r\n"
                  "COLOR_BALLOON_R=250\r\nCOLOR_BALLOON_G=240\r\nCOLOR_BALLOON_B=200\r\n");
    const COLORREF background = RGB(250, 240, 200);
    ASSERT_TRUE(CSkinBalloonHelp::LaunchBalloon("Title", "text\n\x1bt255,0,0red", POINT{300, 300},
                                                0, kCloseButton, host.Get(), "", 0));
    HWND balloon = Only();
    ASSERT_NE(balloon, nullptr);
    EXPECT_EQ(BalloonOf(balloon)->GetBackgroundColor(), background);

    RECT client;
    GetClientRect(balloon, &client);
    HWND content = FindWindowExA(balloon, nullptr, "STATIC", nullptr);
    RECT contentRect;
    GetWindowRect(content, &contentRect);
    MapWindowPoints(nullptr, balloon, reinterpret_cast<POINT*>(&contentRect), 2);

    TestCanvas header(client.right, client.bottom);
    header.Print(balloon);
    // The gap between header and content, and the bold black title.
    EXPECT_EQ(header.Pixel(0, contentRect.top - 1), background);
    CRect button = BalloonOf(balloon)->GetCloseButtonRect();
    EXPECT_TRUE(header.Any(RECT{0, 0, button.left, contentRect.top}, IsDark));
    // The close button is drawn at the top right.
    EXPECT_TRUE(header.Any(*button, [background](COLORREF c) { return c != background; }));

    TestCanvas body(contentRect.right - contentRect.left, contentRect.bottom - contentRect.top);
    body.Print(content);
    EXPECT_EQ(body.Pixel(body.Width() - 1, body.Height() - 1), background);
    EXPECT_TRUE(body.Any(RECT{0, 0, body.Width(), body.Height()}, IsRed));
}

TEST_F(BalloonTest, DelayedCloseKeepsItUntilTheTimeout)
{
    ASSERT_TRUE(CSkinBalloonHelp::LaunchBalloon(
        "Delayed", "text", POINT{300, 300}, 0, CSkinBalloonHelp::OptionDelayClose | 0x0041,
        host.Get(), "", 300));
    HWND balloon = Only();
    ASSERT_NE(balloon, nullptr);
    // No time-out before the first close request.
    PumpFor(500);
    ASSERT_TRUE(IsWindow(balloon));

    SendMessageA(balloon, WM_CLOSE, 0, 0);
    ASSERT_TRUE(IsWindow(balloon));
    EXPECT_TRUE(IsWindowVisible(balloon));
    DWORD options = BalloonOf(balloon)->GetOptions();
    EXPECT_EQ(options & 0x01FF, 0u);
    EXPECT_TRUE(options & CSkinBalloonHelp::OptionDeleteSelf);
    // The capture of option 0x0001 was taken when shown.
    EXPECT_TRUE(PumpUntil(wait_bound::kStepMs, [balloon] { return !IsWindow(balloon); }));
    EXPECT_EQ(CSkinBalloonHelp::GetLiveCount(), 0);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(BalloonTest, FadesWithoutRecursion)
{
    TooltipEffects on(TRUE);
    BOOL fade = FALSE;
    SystemParametersInfoA(SPI_GETTOOLTIPFADE, 0, &fade, 0);
    ASSERT_TRUE(fade);
    ASSERT_TRUE(
        CSkinBalloonHelp::LaunchBalloon("Fade", "in and out", POINT{200, 200}, 0, 0, host.Get(),
                                        "", 200));
    HWND balloon = Only();
    ASSERT_NE(balloon, nullptr);
    EXPECT_TRUE(IsWindowVisible(balloon));
    EXPECT_EQ(BalloonOf(balloon)->GetOptions() &
                  (CSkinBalloonHelp::OptionNoFadeIn | CSkinBalloonHelp::OptionNoFadeOut),
              0u);
    // Shown and hidden by the system's ShowWindow (Wine's AnimateWindow
    // calls it), each once.
    EXPECT_TRUE(PumpUntil(wait_bound::kStepMs, [balloon] { return !IsWindow(balloon); }));
    EXPECT_EQ(CSkinBalloonHelp::GetLiveCount(), 0);
}

TEST_F(BalloonTest, FadesOffInTheSystemMeanNoFades)
{
    TooltipEffects off(FALSE);
    ASSERT_TRUE(CSkinBalloonHelp::LaunchBalloon("Plain", "text", POINT{200, 200}, 0, 0,
                                                host.Get(), "", 0));
    HWND balloon = Only();
    ASSERT_NE(balloon, nullptr);
    DWORD options = BalloonOf(balloon)->GetOptions();
    EXPECT_TRUE(options & CSkinBalloonHelp::OptionNoFadeIn);
    EXPECT_TRUE(options & CSkinBalloonHelp::OptionNoFadeOut);
    // A time-out of 0 means none.
    PumpFor(300);
    EXPECT_TRUE(IsWindow(balloon));
}

TEST_F(BalloonTest, CloseButtonHidesOnlyWhenReleasedOnIt)
{
    ASSERT_TRUE(CSkinBalloonHelp::LaunchBalloon("Close me", "a balloon with a close button",
                                                POINT{100, 100}, 0, kCloseButton, host.Get(), "",
                                                10000));
    HWND balloon = Only();
    ASSERT_NE(balloon, nullptr);
    CRect button = BalloonOf(balloon)->GetCloseButtonRect();
    ASSERT_GT(button.Width(), 0);
    LPARAM inside = MAKELPARAM((button.left + button.right) / 2, (button.top + button.bottom) / 2);
    LPARAM outside = MAKELPARAM(1, button.bottom + 4);

    // Pressed on it, released beside it: stays.
    SendMessageA(balloon, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    EXPECT_EQ(GetCapture(), balloon);
    SendMessageA(balloon, WM_MOUSEMOVE, MK_LBUTTON, outside);
    SendMessageA(balloon, WM_LBUTTONUP, 0, outside);
    EXPECT_TRUE(IsWindow(balloon));
    EXPECT_EQ(GetCapture(), nullptr);

    // A click beside it does nothing either (no link).
    SendMessageA(balloon, WM_LBUTTONDOWN, MK_LBUTTON, outside);
    SendMessageA(balloon, WM_LBUTTONUP, 0, outside);
    EXPECT_TRUE(IsWindow(balloon));

    // Pressed and released on it: gone, object and all.
    SendMessageA(balloon, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    SendMessageA(balloon, WM_LBUTTONUP, 0, inside);
    EXPECT_FALSE(IsWindow(balloon));
    EXPECT_EQ(CSkinBalloonHelp::GetLiveCount(), 0);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(BalloonTest, OwnedBalloonIsDeletedByItsOwner)
{
    auto* balloon = new CSkinBalloonHelp;
    ASSERT_TRUE(balloon->Create("Owned", "text", POINT{50, 50}, 0, host.Get(), "", 0, nullptr));
    HWND window = balloon->GetHwnd();
    EXPECT_TRUE(IsWindowVisible(window));
    balloon->Hide();
    // Without 0x200 the object outlives its window.
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(CSkinBalloonHelp::GetLiveCount(), 1);
    EXPECT_EQ(balloon->GetSafeHwnd(), nullptr);
    delete balloon;

    // Deleted while its window is up: the window goes with it.
    balloon = new CSkinBalloonHelp;
    ASSERT_TRUE(balloon->Create("Owned", "text", POINT{50, 50}, 0, host.Get(), "", 0, nullptr));
    window = balloon->GetHwnd();
    delete balloon;
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(CSkinBalloonHelp::GetLiveCount(), 0);
}

TEST_F(BalloonTest, DestroyingTheOwnerTakesItsBalloons)
{
    HWND owner = CreateWindowExA(0, "CWindowClass", "owner", WS_POPUP, 0, 0, 100, 100, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    ASSERT_TRUE(CSkinBalloonHelp::LaunchBalloon("A", "a", POINT{10, 10}, 0, 0, owner, "", 0));
    ASSERT_TRUE(CSkinBalloonHelp::LaunchBalloon("B", "b", POINT{20, 10}, 0, 0, owner, "", 0));
    EXPECT_EQ(CSkinBalloonHelp::GetLiveCount(), 2);
    DestroyWindow(owner);
    EXPECT_EQ(CSkinBalloonHelp::GetLiveCount(), 0);
}

namespace
{
// A hundred balloons of every kind on this thread, with a host window of its
// own; the GDI objects, windows and balloons they leave behind.
void LaunchAHundredBalloons()
{
    HostWindow host;
    ASSERT_NE(host.Get(), nullptr);
    // A 32 × 32 icon of its own (the test program has no icon resources).
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateCompatibleBitmap(screen, 32, 32);
    ReleaseDC(nullptr, screen);
    HBITMAP mask = CreateBitmap(32, 32, 1, 1, nullptr);
    ICONINFO info = {TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    DeleteObject(mask);
    ASSERT_NE(icon, nullptr);

    // Half launched, half made with the icon scaled, masked and plain.
    auto launch = [&host, icon](int i) {
        const char* content = "first line\n\x1b+bsecond\x1b-b line\n\x1bt255,0,0red";
        DWORD options = kCloseButton | CSkinBalloonHelp::OptionInnerShadow;
        POINT anchor = {10 * i, 5 * i};
        if (i % 2 == 0)
            return CSkinBalloonHelp::LaunchBalloon("Title", content, anchor, 102, options,
                                                   host.Get(), "", 1);
        auto* balloon = new CSkinBalloonHelp;
        if (i % 3 == 0)
            balloon->SetIconScaled(icon, 20, 20);
        bool made = balloon->Create("Title", content, anchor, options | 0x200, host.Get(), "", 1,
                                    i % 3 == 1 ? icon : nullptr);
        if (!made)
            delete balloon;
        return made;
    };
    // One of each kind first, so that everything made once per process
    // exists: icon 102, where the program holds it, is loaded shared and
    // kept by the system (a colour bitmap, a mask and more).
    for (int first : {2, 3})
    {
        ASSERT_TRUE(launch(first));
        ASSERT_TRUE(PumpUntil(wait_bound::kStepMs,
                              [] { return CSkinBalloonHelp::GetLiveCount() == 0; }));
    }
    GdiObjectGauge gdi;
    int windows = CountThreadWindows();

    for (int i = 0; i < 100; ++i)
    {
        ASSERT_TRUE(launch(i));
        PumpUntil(wait_bound::kStepMs, [] { return CSkinBalloonHelp::GetLiveCount() == 0; });
    }
    PumpUntil(wait_bound::kStepMs, [] { return CSkinBalloonHelp::GetLiveCount() == 0; });
    EXPECT_EQ(CSkinBalloonHelp::GetLiveCount(), 0);
    EXPECT_EQ(CountThreadWindows(), windows);
    EXPECT_EQ(gdi.Growth(), 0);
    DestroyIcon(icon);
}
} // namespace

TEST_F(BalloonTest, AHundredBalloonsLeaveNothingBehind)
{
    // On a desktop of its own (see OwnDesktop.h): beside the main window's
    // tests, whose windows take the foreground, the count grew by the one
    // display DC, its region and bitmap that Wine then keeps, in most
    // parallel runs of the whole suite.
    const bool ran = RunOnOwnDesktop([] { LaunchAHundredBalloons(); });
    EXPECT_TRUE(ran) << "no desktop of its own";
}
