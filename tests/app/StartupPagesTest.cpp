// Pages 6 and 7 on the real main window (null display driver): the page
// commands fill their lists, the row commands reach the fake SETTINGS
// server, and Uninstall runs the checked rows' stand-in uninstallers
// (tests/tools/uninstall_recorder.cpp) and fills the list again. The window
// runs in a per-user folder, HKCU key and pipe names of its own.
#include "app/MainApplicationDialog.h"
#include "app/StartupEntries.h"
#include "app/UninstallEntries.h"
#include "engine/IpcRecords.h"
#include "foundation/Registry.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "skin/ApplicationsTree.h"
#include "tests/app/MainLifeTestSupport.h"
#include "tests/app/StartupTestSupport.h"
#include "tests/support/FakePipeServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
class StartupPagesTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_env.Ready()); }

    void TearDown() override
    {
        for (const CString& subkey : m_uninstallKeys)
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, CString(kUninstallKeyPath) + "\\" + subkey,
                            KEY_WOW64_64KEY, 0);
    }

    void SetUserValue(const char* path, const char* name, const char* data)
    {
        CRegistryKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, path));
        ASSERT_EQ(ERROR_SUCCESS, key.SetStringValue(data, name));
    }

    void AddUninstallEntry(const CString& subkey, const char* name, const char* command)
    {
        CRegistryKey key;
        ASSERT_EQ(ERROR_SUCCESS,
                  key.Create(HKEY_LOCAL_MACHINE, CString(kUninstallKeyPath) + "\\" + subkey,
                             nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY));
        m_uninstallKeys.push_back(subkey);
        ASSERT_EQ(ERROR_SUCCESS, key.SetStringValue(name, "DisplayName"));
        ASSERT_EQ(ERROR_SUCCESS, key.SetStringValue(command, "UninstallString"));
    }

    // The startup requests (SETTINGS 6 and 7) the server got; the window
    // sends others of its own (language, proxy, the user's profile).
    static std::vector<std::string> StartupRequests(const CFakePipeServer& server)
    {
        std::vector<std::string> startup;
        for (const std::string& request : server.Requests())
            if (ReadU32(request, 0) == 6 || ReadU32(request, 0) == 7)
                startup.push_back(request);
        return startup;
    }

    // The row of a third text (value name or command); -1 when none.
    static int RowOf(CApplicationsTree& list, const char* thirdText)
    {
        for (int i = 0; i < list.GetItemCount(); ++i)
            if (list.GetItem(i)->thirdText == thirdText)
                return i;
        return -1;
    }

    void Command(MainApplicationDialog& window, UINT id)
    {
        SendMessageA(window.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }

    // HKCU is a key of the test's own: its Run and parking keys too.
    MainTestEnvironment m_env{"pages"};
    std::vector<CString> m_uninstallKeys;
};
} // namespace

TEST_F(StartupPagesTest, StartupPageCommandsActOnTheCheckedRows)
{
    const char* const parking = "Software\\Orvanel\\Brindlewox\\Run1-Disabled";
    SetUserValue(kRunKeyPath, "PagesActive", "C:\\pages\\active.exe /x");
    SetUserValue(kRunKeyPath, "PagesOther", "C:\\pages\\other.exe");
    SetUserValue(parking, "PagesParked", "C:\\pages\\parked.exe");
    CFakePipeServer server(GetIpcPipeName(IpcPipe::Settings), sizeof(IpcSettingsRecord));
    server.Answer(StatusReply(1, sizeof(IpcSettingsRecord)));

    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    Command(window, IDC_PAGE_STARTUP);
    EXPECT_TRUE(IsWindowVisible(window.GetPage(6)->GetHwnd()));
    EXPECT_EQ(1, window.GetListReady());
    CApplicationsTree* list = window.GetControl<CApplicationsTree>(6, IDC_STARTUP_LIST);
    ASSERT_NE(nullptr, list);
    const int active = RowOf(*list, "PagesActive");
    const int parked = RowOf(*list, "PagesParked");
    ASSERT_GE(active, 0);
    ASSERT_GT(parked, active) << "the Run key before the parking keys";
    EXPECT_EQ(2u, list->GetItem(active)->value2);
    EXPECT_STREQ("C:\\pages\\active.exe", list->GetItem(active)->path);
    EXPECT_EQ(kStartupParked, list->GetItem(parked)->state);

    // Select all and Deselect all, from the buttons and the list's menu.
    Command(window, IDC_STARTUP_SELECT_ALL);
    for (int i = 0; i < list->GetItemCount(); ++i)
        EXPECT_EQ(1u, list->GetItem(i)->checked);
    Command(window, ID_STARTUP_MENU_DESELECT_ALL);
    for (int i = 0; i < list->GetItemCount(); ++i)
        EXPECT_EQ(0u, list->GetItem(i)->checked);

    // Deny of the active row (the records: StartupListTest): the row parked.
    list->GetItem(active)->checked = 1;
    Command(window, IDC_STARTUP_DENY);
    ASSERT_EQ(1u, StartupRequests(server).size());
    EXPECT_EQ("PagesActive", ReadText(StartupRequests(server)[0], 12, 4096));
    EXPECT_EQ(kStartupParked, list->GetItem(active)->state);
    EXPECT_EQ(0u, list->GetItem(active)->checked);

    // Remove from the menu: the parked row from its parking key, nothing sent.
    list->GetItem(parked)->checked = 1;
    Command(window, ID_STARTUP_MENU_REMOVE);
    EXPECT_EQ(1u, StartupRequests(server).size());
    EXPECT_FALSE(RegistryValueExists(HKEY_CURRENT_USER, parking, "PagesParked"));
    EXPECT_EQ(-1, RowOf(*list, "PagesParked"));

    // Filled again: what the registry now holds (the fake server moved
    // nothing, so the active value is still in Run).
    Command(window, IDC_PAGE_STARTUP);
    EXPECT_EQ(kStartupActive, list->GetItem(RowOf(*list, "PagesActive"))->state);
    EXPECT_EQ(-1, RowOf(*list, "PagesParked"));
}

TEST_F(StartupPagesTest, UninstallRunsTheCheckedRowsInOrderAndFillsTheListAgain)
{
    const CString recorder = CopyBuiltProgram(m_env.Folder(), "uninstall_recorder.exe");
    ASSERT_FALSE(recorder.IsEmpty());
    CString prefix;
    prefix.Format("BwPages%lu-", GetCurrentProcessId());
    const CString quoted = "\"" + recorder + "\" ";
    AddUninstallEntry(prefix + "A", "Pages first", quoted + "first");
    AddUninstallEntry(prefix + "B", "Pages second", quoted + "second");
    AddUninstallEntry(prefix + "C", "Pages unchecked", quoted + "unchecked");
    // Its uninstaller is gone: listed as missing, and run in vain.
    const CString gone = "\"" + m_env.Folder() / "gone.exe" + "\" /S";
    AddUninstallEntry(prefix + "D", "Pages gone", gone);

    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    Command(window, IDC_PAGE_UNINSTALL);
    EXPECT_TRUE(IsWindowVisible(window.GetPage(7)->GetHwnd()));
    CApplicationsTree* list = window.GetControl<CApplicationsTree>(7, IDC_UNINSTALL_LIST);
    ASSERT_NE(nullptr, list);
    const int first = RowOf(*list, quoted + "first");
    const int second = RowOf(*list, quoted + "second");
    ASSERT_GE(first, 0);
    ASSERT_GT(second, first);
    EXPECT_STREQ("Pages first", list->GetItem(first)->text);
    EXPECT_EQ(kUninstallerFound, list->GetItem(first)->state);

    Command(window, IDC_UNINSTALL_SELECT_ALL);
    Command(window, IDC_UNINSTALL_DESELECT_ALL);
    const int missing = RowOf(*list, gone);
    ASSERT_GE(missing, 0);
    EXPECT_EQ(kUninstallerMissing, list->GetItem(missing)->state);
    list->GetItem(second)->checked = 1;
    list->GetItem(missing)->checked = 1;
    list->GetItem(first)->checked = 1;
    const int rows = list->GetItemCount();
    Command(window, IDC_UNINSTALL);
    // In list order, each to its end, shown normally (SW_SHOWNORMAL, 1).
    EXPECT_STREQ("first|1\r\nsecond|1\r\n", ReadTextFile(m_env.Folder() / "record.txt"));
    // Filled again: the same rows, none checked.
    EXPECT_EQ(rows, list->GetItemCount());
    for (int i = 0; i < list->GetItemCount(); ++i)
        EXPECT_EQ(0u, list->GetItem(i)->checked) << i;
    EXPECT_EQ(1, window.GetListReady());
}
