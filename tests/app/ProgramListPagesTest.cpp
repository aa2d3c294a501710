// Pages 6 and 7 on the real main window (null display driver): the page
// commands fill their lists, the row commands reach the fake SETTINGS
// server, and Uninstall runs the checked rows' stand-in uninstallers
// (tests/tools/uninstall_recorder.cpp) and fills the list again. The window
// runs in a per-user folder, HKCU key and pipe names of its own.
#include "app/MainApplicationDialog.h"
#include "app/RunEntries.h"
#include "app/UninstallEntries.h"
#include "engine/IpcRecords.h"
#include "foundation/Registry.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "engine/Scheduler.h"
#include "engine/Settings.h"
#include "skin/ApplicationsTree.h"
#include "skin/SkinButton.h"
#include "skin/SkinComboBox.h"
#include "tests/app/MainLifeTestSupport.h"
#include "tests/app/StartupTestSupport.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/MessagePump.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace
{
class ProgramListPagesTest : public ::testing::Test
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

    void AddUninstallEntry(const CString& subkey, const char* name, const char* command,
                           DWORD type = REG_SZ)
    {
        CRegistryKey key;
        ASSERT_EQ(ERROR_SUCCESS,
                  key.Create(HKEY_LOCAL_MACHINE, CString(kUninstallKeyPath) + "\\" + subkey,
                             nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY));
        m_uninstallKeys.push_back(subkey);
        ASSERT_EQ(ERROR_SUCCESS, key.SetStringValue(name, "DisplayName"));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "UninstallString", 0, type,
                                                reinterpret_cast<const BYTE*>(command),
                                                DWORD(strlen(command) + 1)));
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

TEST_F(ProgramListPagesTest, StartupPageCommandsActOnTheCheckedRows)
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
    EXPECT_TRUE(IsWindowVisible(window.GetPage(Page::Startup)->GetHwnd()));
    EXPECT_EQ(1, window.GetProgramLists().GetListReady());
    CApplicationsTree* list = window.GetControl<CApplicationsTree>(Page::Startup, IDC_STARTUP_LIST);
    ASSERT_NE(nullptr, list);
    const int active = RowOf(*list, "PagesActive");
    const int parked = RowOf(*list, "PagesParked");
    ASSERT_GE(active, 0);
    ASSERT_GT(parked, active) << "the Run key before the parking keys";
    EXPECT_EQ(2u, list->GetItem(active)->value2);
    EXPECT_STREQ("C:\\pages\\active.exe", list->GetItem(active)->path);
    EXPECT_EQ(kRunEntryParked, list->GetItem(parked)->state);

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
    EXPECT_EQ(kRunEntryParked, list->GetItem(active)->state);
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
    EXPECT_EQ(kRunEntryActive, list->GetItem(RowOf(*list, "PagesActive"))->state);
    EXPECT_EQ(-1, RowOf(*list, "PagesParked"));
}

TEST_F(ProgramListPagesTest, UninstallRunsTheCheckedRowsInOrderAndFillsTheListAgain)
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
    EXPECT_TRUE(IsWindowVisible(window.GetPage(Page::Uninstall)->GetHwnd()));
    CApplicationsTree* list = window.GetControl<CApplicationsTree>(Page::Uninstall, IDC_UNINSTALL_LIST);
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
    EXPECT_EQ(1, window.GetProgramLists().GetListReady());
}

TEST_F(ProgramListPagesTest, AnUninstallerStoredToBeExpandedRuns)
{
    const CString recorder = CopyBuiltProgram(m_env.Folder(), "uninstall_recorder.exe");
    ASSERT_FALSE(recorder.IsEmpty());
    ASSERT_TRUE(SetEnvironmentVariableA("BW_PAGES_UNINSTALLER", m_env.Folder().Path()));
    CString subkey;
    subkey.Format("BwPagesExpand%lu", GetCurrentProcessId());
    AddUninstallEntry(subkey, "Pages expanded",
                      "\"%BW_PAGES_UNINSTALLER%\\uninstall_recorder.exe\" expanded", REG_EXPAND_SZ);

    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    Command(window, IDC_PAGE_UNINSTALL);
    CApplicationsTree* list = window.GetControl<CApplicationsTree>(Page::Uninstall, IDC_UNINSTALL_LIST);
    ASSERT_NE(nullptr, list);
    const int row = RowOf(*list, "\"" + recorder + "\" expanded");
    ASSERT_GE(row, 0);
    EXPECT_EQ(kUninstallerFound, list->GetItem(row)->state);
    list->GetItem(row)->checked = 1;
    Command(window, IDC_UNINSTALL);
    EXPECT_STREQ("expanded|1\r\n", ReadTextFile(m_env.Folder() / "record.txt"));
    SetEnvironmentVariableA("BW_PAGES_UNINSTALLER", nullptr);
}

namespace
{
// Always minute 0 of the same hour of a Monday, the count going on.
class SlotClock : public IScheduleClock
{
public:
    bool GetLocalNow(SYSTEMTIME& now) override
    {
        now = {2026, 12, 1, 7, 14, 0, 5, 0};
        return true;
    }
    ULONGLONG GetMonotonicMs() override { return GetTickCount64(); }
};
} // namespace

TEST_F(ProgramListPagesTest, TheScheduleAndTheOptionsGoOnWhileAnUninstallerRuns)
{
    const CString recorder = CopyBuiltProgram(m_env.Folder(), "uninstall_recorder.exe");
    ASSERT_FALSE(recorder.IsEmpty());
    CString subkey;
    subkey.Format("BwPagesSlow%lu", GetCurrentProcessId());
    // The stand-in waits for its release, given by another thread once the
    // options are saved and the slot's run has started (or the bound has
    // gone by): a few ticks of the options (2 s) and the schedule (1 s).
    char releaseName[64];
    snprintf(releaseName, sizeof(releaseName), "BwPagesRelease-%lu", GetCurrentProcessId());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, releaseName);
    ASSERT_NE(nullptr, release);
    const CString argument = "until=" + CString(releaseName);
    AddUninstallEntry(subkey, "Pages slow", "\"" + recorder + "\" " + argument);

    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    SlotClock clock;
    MainWindowHooks hooks;
    hooks.showRunEndMessage = [](MainApplicationDialog&, const char*) {};
    hooks.playSound = [](const char*) {};
    hooks.scheduleClock = &clock;
    window.SetTestHooks(hooks);
    // Monday at 14:00 on the options page; only the options timer writes
    // them into the settings, where the schedule reads them.
    window.GetControl<CSkinCheckBox>(Page::BackupOptions, IDC_OPTIONS_SCHEDULE)->SetChecked(true);
    window.GetControl<CSkinCheckBox>(Page::BackupOptions, IDC_OPTIONS_MONDAY)->SetChecked(true);
    SendMessageA(window.GetControl<CSkinComboBox>(Page::BackupOptions, IDC_OPTIONS_HOUR)->GetSafeHwnd(),
                 CB_SETCURSEL, 14, 0);

    Command(window, IDC_PAGE_UNINSTALL);
    CApplicationsTree* list = window.GetControl<CApplicationsTree>(Page::Uninstall, IDC_UNINSTALL_LIST);
    ASSERT_NE(nullptr, list);
    const int row = RowOf(*list, "\"" + recorder + "\" " + argument);
    ASSERT_GE(row, 0);
    list->GetItem(row)->checked = 1;
    std::atomic<bool> secondServed{false};
    std::thread releaser(
        [&window, release, &secondServed]
        {
            WaitUntil(
                [&window]
                {
                    DWORD year = 0;
                    return ReadSettingDword(setting::LastRunYear, year) &&
                           window.GetRunContext().activeRun.load() == 1;
                },
                wait_bound::kStepMs);
            // A second Uninstall sent meanwhile (the wait serves sent
            // messages) starts nothing: one uninstall at a time.
            DWORD_PTR ignored = 0;
            secondServed = SendMessageTimeoutA(window.GetSafeHwnd(), WM_COMMAND,
                                               MAKEWPARAM(IDC_UNINSTALL, BN_CLICKED), 0,
                                               SMTO_NORMAL, wait_bound::kStepMs, &ignored) != 0;
            SetEvent(release);
        });
    Command(window, IDC_UNINSTALL);
    releaser.join();
    CloseHandle(release);
    EXPECT_TRUE(secondServed.load()) << "the second Uninstall was not served inside the wait";
    EXPECT_STREQ(argument + "|1\r\n", ReadTextFile(m_env.Folder() / "record.txt"));

    // Inside the wait the options were saved and the slot's run started.
    DWORD enabled = 0, hour = 0, year = 0;
    EXPECT_TRUE(ReadSettingDword(setting::SheduleEnable, enabled));
    EXPECT_EQ(1u, enabled);
    EXPECT_TRUE(ReadSettingDword(setting::SheduleHour, hour));
    EXPECT_EQ(14u, hour);
    EXPECT_TRUE(ReadSettingDword(setting::LastRunYear, year)) << "no scheduled run";
    EXPECT_EQ(1, window.GetRunContext().activeRun.load());

    // The run (no destination: it fails at once) ends in the window's loop.
    PumpUntil(wait_bound::kStepMs, [&] { return window.GetRunContext().activeRun.load() == 0; });
    EXPECT_EQ(0, window.GetRunContext().activeRun.load());
    window.SetTestHooks(MainWindowHooks());
}
