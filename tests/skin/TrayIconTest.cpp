#include "skin/TrayIcon.h"

#include "skin/SkinXPMenu.h"

#include "foundation/Menu.h"
#include "foundation/StaticSetup.h"

#include "resources/TrayMenu.h"

#include "tests/support/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr UINT kCallback = 32778;
constexpr UINT kIconId = IDR_TRAY_MENU;

// Every call of the shell, as it was made.
struct ShellCall
{
    DWORD message;
    NOTIFYICONDATAA data;
};
std::vector<ShellCall> g_calls;
// Calls fail while this is above 0 (counted down) or negative (always).
int g_failures = 0;

BOOL WINAPI RecordingShell(DWORD message, PNOTIFYICONDATAA data)
{
    g_calls.push_back({message, *data});
    if (g_failures < 0)
        return FALSE;
    if (g_failures > 0)
    {
        --g_failures;
        return FALSE;
    }
    return TRUE;
}

time_t g_now = 1000;
time_t TestClock()
{
    return g_now;
}

// The menus the tray's test hook saw, and the first item's command of the
// last one.
int g_menus = 0;
UINT g_firstItem = 0;
bool CountMenu(HMENU menu, void*)
{
    ++g_menus;
    g_firstItem = GetMenuItemID(menu, 0);
    // Not shown: the test has no one to close it.
    return false;
}

// A tray icon whose menu holds one item.
class OneItemTray : public CTrayIcon
{
protected:
    bool FillContextMenu(CSkinXPMenu& menu) override
    {
        if (!menu.Create(true))
            return false;
        AppendMenuItem("Only", 7, menu, false, false);
        menu.Rebuild();
        return true;
    }
};

class TrayIconTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        StartFramework();
        g_calls.clear();
        g_failures = 0;
        g_now = 1000;
        CTrayIcon::SetShellNotify(RecordingShell);
        CTrayIcon::SetAddRetries(3, 0);
        CTrayIcon::SetClock(TestClock);
        CTrayIcon::SetMenuHook(CountMenu, nullptr);
        g_menus = 0;
        m_target = CreateForeignWindow();
        ASSERT_NE(m_target, nullptr);
    }

    void TearDown() override
    {
        CTrayIcon::SetShellNotify(nullptr);
        CTrayIcon::SetAddRetries(CTrayIcon::AddAttempts, CTrayIcon::AddRetryMs);
        CTrayIcon::SetClock(nullptr);
        CTrayIcon::SetMenuHook(nullptr, nullptr);
        DestroyWindow(m_target);
    }

    bool CreateIcon(CTrayIcon& tray, const char* tip = "Orvanel Brindlewox", bool hidden = false)
    {
        return tray.Create(GetModuleHandleA(nullptr), m_target, kCallback, tip, m_icon, kIconId,
                           hidden);
    }

    // The WM_COMMAND posted to the target, if any.
    bool TakeCommand(WPARAM& wParam, LPARAM& lParam)
    {
        MSG message;
        if (!PeekMessageA(&message, m_target, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            return false;
        wParam = message.wParam;
        lParam = message.lParam;
        return true;
    }

    HWND m_target = nullptr;
    HICON m_icon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));
};
} // namespace

TEST_F(TrayIconTest, CreateMakesTheHiddenWindowAndAddsTheIcon)
{
    CTrayIcon tray;
    EXPECT_EQ(CTrayIcon::GetInstance(), &tray);
    EXPECT_TRUE(tray.IsHidden());
    EXPECT_TRUE(tray.IsRemoved());
    ASSERT_TRUE(CreateIcon(tray));

    HWND hidden = tray.GetHiddenWindow();
    ASSERT_NE(hidden, nullptr);
    char text[64] = {};
    GetClassNameA(hidden, text, sizeof(text));
    EXPECT_STREQ(text, "TrayIconClass");
    GetWindowTextA(hidden, text, sizeof(text));
    EXPECT_STREQ(text, "ORVANEL Brindlewox Tray");
    EXPECT_FALSE(IsWindowVisible(hidden));
    EXPECT_EQ(GetWindowLongA(hidden, GWL_STYLE) & WS_POPUP, LONG(WS_POPUP));

    ASSERT_EQ(g_calls.size(), 1u);
    const NOTIFYICONDATAA& added = g_calls[0].data;
    EXPECT_EQ(g_calls[0].message, DWORD(NIM_ADD));
    EXPECT_EQ(added.cbSize, 528u);
    EXPECT_EQ(added.uFlags, 7u);
    EXPECT_EQ(added.hWnd, m_target);
    EXPECT_EQ(added.uID, kIconId);
    EXPECT_EQ(added.uCallbackMessage, kCallback);
    EXPECT_EQ(added.hIcon, m_icon);
    EXPECT_STREQ(added.szTip, "Orvanel Brindlewox");
    EXPECT_FALSE(tray.IsHidden());
    EXPECT_FALSE(tray.IsRemoved());
    EXPECT_EQ(tray.GetTargetWnd(), m_target);

    // The tip keeps 127 characters and its terminator.
    CTrayIcon longTip;
    g_calls.clear();
    std::string tip(200, 'x');
    ASSERT_TRUE(CreateIcon(longTip, tip.c_str()));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(strlen(g_calls[0].data.szTip), 127u);
}

namespace
{
// Refuses every window this thread makes while it is set.
LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND)
        return 1;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
} // namespace

TEST_F(TrayIconTest, WithoutItsWindowTheIconStaysOffAndSendsNothing)
{
    CTrayIcon tray;
    HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    const bool created = CreateIcon(tray);
    UnhookWindowsHookEx(hook);
    EXPECT_FALSE(created);
    EXPECT_EQ(tray.GetHiddenWindow(), nullptr);
    EXPECT_FALSE(tray.IsEnabled());
    g_calls.clear();
    tray.AddIcon();
    tray.ShowIcon();
    tray.SetIcon(m_icon);
    tray.HideIcon();
    tray.RemoveIcon();
    EXPECT_TRUE(g_calls.empty()) << g_calls.size() << " records sent to the shell";
    EXPECT_EQ(tray.GetIcon(), nullptr);
}

TEST_F(TrayIconTest, RemoveAddShowAndHideFlipTheState)
{
    CTrayIcon tray;
    ASSERT_TRUE(CreateIcon(tray));
    g_calls.clear();

    EXPECT_TRUE(tray.RemoveIcon());
    EXPECT_TRUE(tray.IsHidden());
    EXPECT_TRUE(tray.IsRemoved());
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].message, DWORD(NIM_DELETE));

    EXPECT_TRUE(tray.AddIcon());
    EXPECT_FALSE(tray.IsHidden());
    EXPECT_FALSE(tray.IsRemoved());
    EXPECT_EQ(g_calls.back().message, DWORD(NIM_ADD));
    EXPECT_EQ(g_calls.back().data.uFlags, 7u);

    // Hidden with the state, shown again the same way.
    EXPECT_TRUE(tray.HideIcon());
    EXPECT_TRUE(tray.IsHidden());
    EXPECT_FALSE(tray.IsRemoved());
    EXPECT_EQ(g_calls.back().message, DWORD(NIM_MODIFY));
    EXPECT_EQ(g_calls.back().data.uFlags, UINT(NIF_STATE));
    EXPECT_EQ(g_calls.back().data.dwState, DWORD(NIS_HIDDEN));
    EXPECT_TRUE(tray.ShowIcon());
    EXPECT_FALSE(tray.IsHidden());
    EXPECT_EQ(g_calls.back().data.dwState, 0u);
    EXPECT_EQ(g_calls.back().data.dwStateMask, DWORD(NIS_HIDDEN));

    // Show after a removal adds.
    tray.RemoveIcon();
    EXPECT_TRUE(tray.ShowIcon());
    EXPECT_EQ(g_calls.back().message, DWORD(NIM_ADD));
    EXPECT_FALSE(tray.IsRemoved());

    // A hidden icon only stores a new icon; a shown one is modified.
    HICON other = LoadIconA(nullptr, MAKEINTRESOURCEA(32516));
    size_t before = g_calls.size();
    EXPECT_TRUE(tray.SetIcon(other));
    ASSERT_EQ(g_calls.size(), before + 1);
    EXPECT_EQ(g_calls.back().message, DWORD(NIM_MODIFY));
    EXPECT_EQ(g_calls.back().data.uFlags, UINT(NIF_ICON));
    tray.HideIcon();
    before = g_calls.size();
    EXPECT_TRUE(tray.SetIcon(m_icon));
    EXPECT_EQ(g_calls.size(), before);
    EXPECT_EQ(tray.GetIcon(), m_icon);

    // The destructor removes a present icon.
    tray.ShowIcon();
    g_calls.clear();
    {
        CTrayIcon gone;
        ASSERT_TRUE(CreateIcon(gone));
    }
    EXPECT_EQ(g_calls.back().message, DWORD(NIM_DELETE));
}

TEST_F(TrayIconTest, AHiddenCreateKeepsIconTipAndCallback)
{
    CTrayIcon tray;
    ASSERT_TRUE(CreateIcon(tray, "tip", true));
    ASSERT_EQ(g_calls.size(), 1u);
    const NOTIFYICONDATAA& added = g_calls[0].data;
    EXPECT_EQ(added.uFlags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_STATE));
    EXPECT_EQ(added.dwState, DWORD(NIS_HIDDEN));
    EXPECT_EQ(added.dwStateMask, DWORD(NIS_HIDDEN));
    EXPECT_EQ(added.hIcon, m_icon);
    EXPECT_STREQ(added.szTip, "tip");
    EXPECT_TRUE(tray.IsHidden());
    EXPECT_FALSE(tray.IsRemoved());
    EXPECT_EQ(tray.GetSavedFlags(), UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_STATE));
    // Shown, it is there with everything.
    EXPECT_TRUE(tray.ShowIcon());
    EXPECT_FALSE(tray.IsHidden());
}

TEST_F(TrayIconTest, TheTaskbarsReturnAddsTheIconAgain)
{
    CTrayIcon tray;
    ASSERT_TRUE(CreateIcon(tray));
    UINT taskbarCreated = GetTaskbarCreatedMessage();
    ASSERT_NE(taskbarCreated, 0u);
    g_calls.clear();
    SendMessageA(tray.GetHiddenWindow(), taskbarCreated, 0, 0);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].message, DWORD(NIM_ADD));
    EXPECT_EQ(g_calls[0].data.uFlags, 7u) << "the saved flags";
    // The work area changing does the same.
    SendMessageA(tray.GetHiddenWindow(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
    EXPECT_EQ(g_calls.size(), 2u);
    SendMessageA(tray.GetHiddenWindow(), WM_SETTINGCHANGE, SPI_SETDESKWALLPAPER, 0);
    EXPECT_EQ(g_calls.size(), 2u);

    // A hidden icon stays away.
    tray.HideIcon();
    g_calls.clear();
    SendMessageA(tray.GetHiddenWindow(), taskbarCreated, 0, 0);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(TrayIconTest, AnAddThatAlwaysFailsGivesUpUntilTheTaskbarReturns)
{
    CTrayIcon tray;
    g_failures = -1;
    ASSERT_TRUE(CreateIcon(tray));
    EXPECT_EQ(g_calls.size(), 3u) << "every attempt";
    EXPECT_TRUE(tray.IsRemoved());
    EXPECT_TRUE(tray.IsHidden());

    // Two failures, then success: the third attempt adds it.
    CTrayIcon late;
    g_calls.clear();
    g_failures = 2;
    ASSERT_TRUE(CreateIcon(late));
    EXPECT_EQ(g_calls.size(), 3u);
    EXPECT_FALSE(late.IsRemoved());
    EXPECT_FALSE(late.IsHidden());
}

TEST_F(TrayIconTest, TheGivenUpIconComesBackWithTheTaskbar)
{
    CTrayIcon tray;
    g_failures = -1;
    ASSERT_TRUE(CreateIcon(tray));
    ASSERT_TRUE(tray.IsRemoved());
    g_failures = 0;
    g_calls.clear();
    SendMessageA(tray.GetHiddenWindow(), GetTaskbarCreatedMessage(), 0, 0);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].message, DWORD(NIM_ADD));
    EXPECT_EQ(g_calls[0].data.uFlags, 7u);
    EXPECT_FALSE(tray.IsRemoved());
    EXPECT_FALSE(tray.IsHidden());
}

TEST_F(TrayIconTest, TheAnimationCyclesTheIconsAndRestoresTheFirst)
{
    CTrayIcon tray;
    ASSERT_TRUE(CreateIcon(tray));
    EXPECT_FALSE(tray.SetIconList(409, 406));
    EXPECT_FALSE(tray.StartAnimation(100, 5)) << "an empty list";

    ASSERT_TRUE(tray.SetIconList(406, 409));
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HICON frames[4];
    for (int i = 0; i < 4; ++i)
    {
        frames[i] = LoadIconA(instance, MAKEINTRESOURCEA(406 + i));
        ASSERT_NE(frames[i], nullptr) << "icon " << 406 + i;
    }
    ASSERT_TRUE(tray.StartAnimation(100, 5));
    EXPECT_TRUE(tray.IsAnimating());
    HWND hidden = tray.GetHiddenWindow();
    g_calls.clear();
    for (int tick = 1; tick <= 5; ++tick)
    {
        g_now = 1000 + tick;
        SendMessageA(hidden, WM_TIMER, CTrayIcon::AnimationTimerId, 0);
        ASSERT_EQ(g_calls.size(), size_t(tick));
        EXPECT_EQ(g_calls.back().data.hIcon, frames[tick % 4]) << "tick " << tick;
    }
    // Other timers change nothing.
    SendMessageA(hidden, WM_TIMER, 99, 0);
    EXPECT_EQ(g_calls.size(), 5u);
    // The first tick more than 5 seconds after the start ends it.
    g_now = 1006;
    SendMessageA(hidden, WM_TIMER, CTrayIcon::AnimationTimerId, 0);
    EXPECT_FALSE(tray.IsAnimating());
    EXPECT_EQ(g_calls.back().data.hIcon, m_icon);
    EXPECT_EQ(tray.GetIcon(), m_icon);
    EXPECT_FALSE(KillTimer(hidden, CTrayIcon::AnimationTimerId)) << "the timer was killed";

    // Without an end it runs on.
    ASSERT_TRUE(tray.StartAnimation(100, -1));
    g_now = 100000;
    SendMessageA(hidden, WM_TIMER, CTrayIcon::AnimationTimerId, 0);
    EXPECT_TRUE(tray.IsAnimating());
    EXPECT_EQ(tray.GetIcon(), frames[1]);
    EXPECT_TRUE(tray.StopAnimation());
    EXPECT_EQ(tray.GetIcon(), m_icon);
}

TEST_F(TrayIconTest, ARightClickShowsTheMenuADerivedClassFills)
{
    {
        // This class has no menu of its own: nothing is shown.
        CTrayIcon bare;
        ASSERT_TRUE(CreateIcon(bare));
        EXPECT_EQ(bare.OnTrayNotification(kIconId, WM_RBUTTONUP), 1);
        EXPECT_EQ(g_menus, 0);
    }
    OneItemTray tray;
    ASSERT_TRUE(CreateIcon(tray));
    EXPECT_EQ(tray.OnTrayNotification(kIconId, WM_RBUTTONUP), 1);
    EXPECT_EQ(g_menus, 1);
    EXPECT_EQ(g_firstItem, 7u);
    // Another icon's click shows nothing.
    EXPECT_EQ(tray.OnTrayNotification(kIconId + 1, WM_RBUTTONUP), 0);
    EXPECT_EQ(g_menus, 1);
}

TEST_F(TrayIconTest, ALeftClickPostsTheFirstCommandOfItsMenu)
{
    CTrayIcon tray;
    ASSERT_TRUE(CreateIcon(tray));
    WPARAM wParam = 0;
    LPARAM lParam = 1;
    ASSERT_EQ(tray.OnTrayNotification(kIconId, WM_LBUTTONUP), 1);
    ASSERT_TRUE(TakeCommand(wParam, lParam));
    EXPECT_EQ(wParam, WPARAM(521));
    EXPECT_EQ(lParam, 0);

    EXPECT_EQ(tray.OnTrayNotification(kIconId + 1, WM_LBUTTONUP), 0);
    EXPECT_FALSE(TakeCommand(wParam, lParam));

    // A default command by value.
    tray.SetDefaultItem(545, false);
    ASSERT_EQ(tray.OnTrayNotification(kIconId, WM_LBUTTONUP), 1);
    ASSERT_TRUE(TakeCommand(wParam, lParam));
    EXPECT_EQ(wParam, WPARAM(545));

    // Without a menu resource of the icon's id nothing is posted.
    CTrayIcon other;
    ASSERT_TRUE(
        other.Create(GetModuleHandleA(nullptr), m_target, kCallback, "x", m_icon, 4242, false));
    EXPECT_EQ(other.OnTrayNotification(4242, WM_LBUTTONUP), 0);
    EXPECT_FALSE(TakeCommand(wParam, lParam));
}

TEST_F(TrayIconTest, TheHiddenWindowForwardsCallbacksAndDeviceChanges)
{
    CTrayIcon tray;
    // No parent: the hidden window gets the callbacks itself.
    ASSERT_TRUE(
        tray.Create(GetModuleHandleA(nullptr), nullptr, kCallback, "x", m_icon, kIconId, false));
    HWND hidden = tray.GetHiddenWindow();
    EXPECT_EQ(tray.GetIconData().hWnd, hidden);
    tray.SetTargetWnd(m_target);
    EXPECT_EQ(SendMessageA(hidden, kCallback, kIconId, WM_LBUTTONUP), 1);
    WPARAM wParam = 0;
    LPARAM lParam = 1;
    ASSERT_TRUE(TakeCommand(wParam, lParam));
    EXPECT_EQ(wParam, WPARAM(521));

    EXPECT_EQ(SendMessageA(hidden, WM_DEVICECHANGE, 0x8000, 0), 0);
    ASSERT_TRUE(TakeCommand(wParam, lParam));
    EXPECT_EQ(wParam, WPARAM(32779));
    EXPECT_EQ(lParam, 0);
}

TEST_F(TrayIconTest, MinimiseAndRestoreHideAndShowTheWindow)
{
    HWND window = CreateForeignWindow();
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    ASSERT_TRUE(IsWindowVisible(window));
    HWND desktop = GetDesktopWindow();
    EXPECT_EQ(GetAncestor(window, GA_PARENT), desktop);

    MinimiseToTray(window);
    EXPECT_FALSE(IsWindowVisible(window));
    HWND parent = GetAncestor(window, GA_PARENT);
    EXPECT_NE(parent, desktop);
    char name[32] = {};
    GetClassNameA(parent, name, sizeof(name));
    EXPECT_STREQ(name, "Static");

    RestoreFromTray(window);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetAncestor(window, GA_PARENT), desktop);

    // From another thread: the window's own thread does the work.
    MinimiseToTray(window);
    ASSERT_FALSE(IsWindowVisible(window));
    std::thread other([window] { RestoreFromTray(window); });
    other.join();
    EXPECT_FALSE(IsWindowVisible(window)) << "nothing done on the calling thread";
    PumpMessages();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetAncestor(window, GA_PARENT), desktop);
    DestroyWindow(window);
}

TEST(TrayRectTest, FallbacksWithoutTheShellsTrayWindow)
{
    RECT work = {0, 0, 1024, 740};
    RECT left = {0, 0, 60, 768};
    RECT rect = {1, 2, 3, 4};
    TrayRectFromTaskbar(rect, true, ABE_LEFT, left, work);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.right, 60);
    EXPECT_EQ(rect.top, 668);
    EXPECT_EQ(rect.bottom, 752);
    EXPECT_EQ(rect.bottom - rect.top, 84);

    RECT bottom = {0, 738, 1024, 768};
    TrayRectFromTaskbar(rect, true, ABE_BOTTOM, bottom, work);
    EXPECT_EQ(rect.top, 738);
    EXPECT_EQ(rect.bottom, 768);
    EXPECT_EQ(rect.left, 924);
    EXPECT_EQ(rect.right, 1008);

    RECT kept = {5, 6, 7, 8};
    TrayRectFromTaskbar(kept, true, 9, bottom, work);
    EXPECT_EQ(kept.left, 5);
    EXPECT_EQ(kept.bottom, 8);

    TrayRectFromTaskbar(rect, false, 0, bottom, work);
    EXPECT_EQ(rect.left, 874);
    EXPECT_EQ(rect.right, 1024);
    EXPECT_EQ(rect.top, 710);
    EXPECT_EQ(rect.bottom, 740);

    // The clock at the bottom cuts the area at its left; higher up, at its
    // bottom.
    RECT area = {800, 700, 1024, 768};
    TrimTrayRectByClock(area, RECT{960, 740, 1020, 764});
    EXPECT_EQ(area.right, 960);
    EXPECT_EQ(area.top, 700);
    RECT column = {0, 500, 60, 768};
    TrimTrayRectByClock(column, RECT{0, 500, 60, 530});
    EXPECT_EQ(column.top, 530);
    EXPECT_EQ(column.right, 60);
}

TEST(TrayMenuItemTest, AppendsStringsAndSeparatorsAtTheEnd)
{
    HMENU menu = CreatePopupMenu();
    ASSERT_TRUE(CTrayIcon::AppendMenuItem("One", 7001, menu, false, false));
    ASSERT_TRUE(CTrayIcon::AppendMenuItem("", 0, menu, false, true));
    ASSERT_TRUE(CTrayIcon::AppendMenuItem("Two", 7002, menu, true, false));
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    char text[32] = {};
    GetMenuStringA(menu, 0, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "One");
    EXPECT_EQ(GetMenuState(menu, 1, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
    EXPECT_EQ(GetMenuItemID(menu, 2), 7002u);
    EXPECT_EQ(GetMenuState(menu, 7002, MF_BYCOMMAND) & MF_CHECKED, UINT(MF_CHECKED));
    EXPECT_EQ(GetMenuState(menu, 7001, MF_BYCOMMAND) & MF_CHECKED, 0u);
    DestroyMenu(menu);
}
