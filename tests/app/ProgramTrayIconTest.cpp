// The main program's tray menu: its six commands with their texts and
// images, and the "Load at Startup" check that follows the StartOnStartup
// setting. The shell is a recording stand-in; the menu is seen through the
// tray's test hook and never shown.
#include "app/ProgramTrayIcon.h"
#include "engine/Settings.h"
#include "foundation/Menu.h"
#include "resources/TrayMenu.h"
#include "skin/SkinXPMenu.h"
#include "tests/support/WindowTestSupport.h"
#include "tests/support/MenuTestSupport.h"
#include "tests/support/UserKeyOverride.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
constexpr UINT kCallback = 32778;
constexpr UINT kIconId = IDR_TRAY_MENU;

BOOL WINAPI AcceptingShell(DWORD, PNOTIFYICONDATAA)
{
    return TRUE;
}

// What the menu hook saw of the tray's menu.
struct MenuItem
{
    UINT id;
    bool separator;
    bool checked;
    std::string text;
    int image;
};
std::vector<MenuItem> g_menuItems;

bool CaptureMenu(HMENU menu, void*)
{
    g_menuItems.clear();
    auto* object = dynamic_cast<CBitmapMenu*>(CMenu::FromHandle(menu));
    EXPECT_NE(object, nullptr);
    EXPECT_NE(dynamic_cast<CSkinXPMenu*>(object), nullptr);
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i)
    {
        MENUITEMINFOA info = {};
        info.cbSize = GetMenuItemInfoSize();
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        MenuItem item = {info.wID, (info.fType & MFT_SEPARATOR) != 0,
                         (info.fState & MFS_CHECKED) != 0, "", -1};
        if (object != nullptr)
        {
            if (CBitmapMenuItem* record = object->FindRecord(info.dwItemData))
            {
                item.text = static_cast<const char*>(record->text);
                item.image = record->image;
            }
        }
        g_menuItems.push_back(item);
    }
    // Not shown: the test has no one to close it.
    return false;
}

class ProgramTrayIconTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        StartFramework();
        CTrayIcon::SetShellNotify(AcceptingShell);
        CTrayIcon::SetAddRetries(3, 0);
        CTrayIcon::SetMenuHook(CaptureMenu, nullptr);
        m_target = CreateForeignWindow();
        ASSERT_NE(m_target, nullptr);
        // The per-user settings go to a key of this test alone.
        ASSERT_TRUE(m_user.IsActive());
    }

    void TearDown() override
    {
        CTrayIcon::SetShellNotify(nullptr);
        CTrayIcon::SetAddRetries(CTrayIcon::AddAttempts, CTrayIcon::AddRetryMs);
        CTrayIcon::SetMenuHook(nullptr, nullptr);
        DestroyWindow(m_target);
    }

    HWND m_target = nullptr;
    UserKeyOverride m_user{"Tray"};
};
} // namespace

TEST_F(ProgramTrayIconTest, TheRightClickMenuHasTheSixCommandsWithTheirImages)
{
    SkinFilesRedirect redirect("traymenu");
    redirect.WriteLanguage("English", "[Language]\r\nDL_N_101_4=Settings...\r\n");
    CProgramTrayIcon tray;
    ASSERT_TRUE(tray.Create(GetModuleHandleA(nullptr), m_target, kCallback, "Orvanel Brindlewox",
                            LoadIconA(nullptr, MAKEINTRESOURCEA(32512)), kIconId, false));

    // StartOnStartup never written: checked.
    ASSERT_EQ(tray.OnTrayNotification(kIconId, WM_RBUTTONUP), 1);
    ASSERT_EQ(g_menuItems.size(), 11u);
    const UINT ids[] = {521, 545, 544, 543, 538, 390};
    const char* texts[] = {"Orvanel Brindlewox", "Start Backup", "Settings...",
                           "Load at Startup",    "About",        "Close"};
    const int images[] = {5, 4, 3, -1, 1, 0};
    for (int i = 0; i < 6; ++i)
    {
        const MenuItem& item = g_menuItems[2 * i];
        EXPECT_FALSE(item.separator) << i;
        EXPECT_EQ(item.id, ids[i]);
        EXPECT_EQ(item.text, texts[i]);
        // About and Close keep their images although the table names 539.
        EXPECT_EQ(item.image, images[i]) << item.id;
        EXPECT_EQ(item.checked, ids[i] == 543u) << item.id;
        if (i < 5)
        {
            EXPECT_TRUE(g_menuItems[2 * i + 1].separator) << 2 * i + 1;
        }
    }

    ASSERT_EQ(WriteSettingDword(setting::StartOnStartup, 0), TRUE);
    ASSERT_EQ(tray.OnTrayNotification(kIconId, WM_RBUTTONUP), 1);
    ASSERT_EQ(g_menuItems.size(), 11u);
    EXPECT_FALSE(g_menuItems[6].checked);
    ASSERT_EQ(WriteSettingDword(setting::StartOnStartup, 1), TRUE);
    ASSERT_EQ(tray.OnTrayNotification(kIconId, WM_RBUTTONUP), 1);
    EXPECT_TRUE(g_menuItems[6].checked);

    // Another icon's click shows nothing.
    g_menuItems.clear();
    EXPECT_EQ(tray.OnTrayNotification(kIconId + 1, WM_RBUTTONUP), 0);
    EXPECT_TRUE(g_menuItems.empty());
}
