// The options, the status panel, the start of a run and the skin and
// language lists of the main window, on the null display driver: the window
// made from template 101 after its whole initialisation, in folders, pipes
// and a HKEY_CURRENT_USER of the test's own.
#include "app/MainApplicationDialog.h"
#include "engine/IpcRecords.h"
#include "engine/Settings.h"
#include "foundation/Ini.h"
#include "foundation/Utility.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "resources/MessageDialogs.h"
#include "skin/SkinComboBox.h"
#include "skin/SkinFiles.h"
#include "tests/app/MessageDialogTestSupport.h"
#include "tests/support/WindowTestSupport.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace
{

const char kRule[] = "===================================================================";
// Private to these tests: runs the window's script step.
constexpr UINT kStepMessage = WM_APP + 91;

constexpr UINT kDays[7] = {IDC_OPTIONS_SUNDAY,   IDC_OPTIONS_MONDAY,   IDC_OPTIONS_TUESDAY,
                           IDC_OPTIONS_WEDNESDAY, IDC_OPTIONS_THURSDAY, IDC_OPTIONS_FRIDAY,
                           IDC_OPTIONS_SATURDAY};
// What a run disables, and what it leaves alone.
constexpr UINT kRunDisabled[] = {236, 232, 250, 251, 252, 253, 254, 256, 258,
                                 211, 220, 215, 216, 217, 212, 3030, 3031};

// The main window with its sound and run-end message recorded, and steps
// run inside its own modal loop, one per posted message.
class OptionsWindow : public MainApplicationDialog
{
public:
    OptionsWindow()
    {
        MainWindowHooks hooks;
        hooks.playSound = [](const char*) {};
        hooks.showRunEndMessage = [](MainApplicationDialog&, const char* text) {
            s_messages.push_back(text);
        };
        SetTestHooks(hooks);
        s_messages.clear();
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == kStepMessage && next < steps.size())
        {
            steps[next++](*this);
            return 0;
        }
        return MainApplicationDialog::WindowProc(message, wParam, lParam);
    }

    void OnAfterInitDialog() override
    {
        MainApplicationDialog::OnAfterInitDialog();
        if (!steps.empty())
            PostMessageA(m_hWnd, kStepMessage, 0, 0);
    }
    void PostNextStep() { PostMessageA(m_hWnd, kStepMessage, 0, 0); }

    CSkinCheckBox& Box(Page page, UINT id)
    {
        auto* box = GetControl<CSkinCheckBox>(page, id);
        EXPECT_NE(box, nullptr) << id;
        return *box;
    }
    bool Checked(Page page, UINT id) { return Box(page, id).IsChecked(); }
    CString Text(Page page, UINT id) const
    {
        CWindow* control = FindBoundControl(page, id);
        return control != nullptr ? CString(control->GetSafeHwnd()) : CString("<none>");
    }
    HWND Combo(UINT id) const { return FindControl(id); }
    bool Enabled(UINT id) const { return IsWindowEnabled(FindControl(id)) != FALSE; }
    void Tick(UINT_PTR timer) { SendMessageA(GetSafeHwnd(), WM_TIMER, timer, 0); }

    std::vector<std::function<void(OptionsWindow&)>> steps;
    size_t next = 0;
    static std::vector<std::string> s_messages;
};
std::vector<std::string> OptionsWindow::s_messages;

CString ComboText(HWND combo)
{
    const LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return CString("<none>");
    char text[256] = "";
    SendMessageA(combo, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(text));
    return CString(text);
}

std::string QuotedProgram(const CString& folder)
{
    return "\"" + std::string(folder) + "\\Brindlewox.exe\"";
}

void WriteRunEntry(const char* data)
{
    ASSERT_TRUE(WriteRegistryString(setting::RunValueName, data, setting::RunKeyPath));
}

unsigned __stdcall WaitForStop(void* worker)
{
    static_cast<CWorkerThread*>(worker)->IsStopRequested(INFINITE);
    return 0;
}

SYSTEMTIME LocalNow()
{
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    SYSTEMTIME now = utc;
    UtcToLocalTime(&utc, &now);
    return now;
}

} // namespace

class OptionsTest : public ::testing::Test
{
protected:
    void SetUp() override { StartFramework(); }
};

TEST_F(OptionsTest, AFreshProfileComesUpWithItsDefaultsAndOneTickWritesThem)
{
    MainWindowTestEnvironment environment(false);
    OptionsWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    EXPECT_TRUE(window.Checked(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP));
    // From the new profile, not from the missing registry values.
    EXPECT_FALSE(window.Checked(Page::Backup, IDC_BACKUP_COMPRESS));
    EXPECT_FALSE(window.Checked(Page::Backup, IDC_BACKUP_ENCRYPT));
    EXPECT_FALSE(window.Checked(Page::BackupOptions, IDC_OPTIONS_SCHEDULE));
    for (UINT day : kDays)
        EXPECT_FALSE(window.Checked(Page::BackupOptions, day)) << day;
    EXPECT_STREQ(ComboText(window.Combo(IDC_OPTIONS_HOUR)), "8:00");
    EXPECT_STREQ(ComboText(window.Combo(IDC_PROXY_TYPE)), "HTTP");
    EXPECT_STREQ(window.Text(Page::MiscOptions, IDC_PROXY_PORT), "");
    std::string run;
    EXPECT_FALSE(ReadRunEntry(run));

    window.Tick(kSaveOptionsTimer);
    ASSERT_TRUE(ReadRunEntry(run));
    EXPECT_EQ(run, QuotedProgram(environment.ProgramFolder()));
    DWORD value = 99;
    EXPECT_TRUE(ReadDword(setting::SheduleHour, value));
    EXPECT_EQ(value, 8u);
    EXPECT_TRUE(ReadDword(setting::StartOnStartup, value));
    EXPECT_EQ(value, 1u);
    EXPECT_TRUE(ReadDword(setting::CheckCompress, value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(ReadDword(setting::SheduleEnable, value));
    EXPECT_EQ(value, 0u);
}

TEST_F(OptionsTest, TheRunEntryIsKeptRemovedAndLeftAloneDuringARun)
{
    MainWindowTestEnvironment environment;
    WriteRunEntry("C:\\Elsewhere\\other.exe -x");
    OptionsWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    ASSERT_TRUE(window.Checked(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP));
    window.Tick(kSaveOptionsTimer);
    std::string run;
    ASSERT_TRUE(ReadRunEntry(run));
    EXPECT_EQ(run, "C:\\Elsewhere\\other.exe -x");

    // Unchecked: gone at the next tick.
    window.Box(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP).SetChecked(false);
    window.Tick(kSaveOptionsTimer);
    EXPECT_FALSE(ReadRunEntry(run));
    DWORD value = 99;
    EXPECT_TRUE(ReadDword(setting::StartOnStartup, value));
    EXPECT_EQ(value, 0u);

    // During a run nothing is written at all.
    window.Box(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP).SetChecked(true);
    window.Box(Page::BackupOptions, IDC_OPTIONS_SCHEDULE).SetChecked(true);
    window.GetRunContext().engineBusy = 1;
    window.Tick(kSaveOptionsTimer);
    EXPECT_FALSE(ReadRunEntry(run));
    EXPECT_TRUE(ReadDword(setting::SheduleEnable, value));
    EXPECT_EQ(value, 0u);
    window.GetRunContext().engineBusy = 0;
    window.Tick(kSaveOptionsTimer);
    ASSERT_TRUE(ReadRunEntry(run));
    EXPECT_EQ(run, QuotedProgram(environment.ProgramFolder()));
}

TEST_F(OptionsTest, EveryOptionGoesFromTheRegistryToItsControlAndBack)
{
    MainWindowTestEnvironment environment;
    CFakePipeServer settingsPipe(environment.SettingsPipe().c_str(), sizeof(IpcSettingsRecord));
    settingsPipe.Answer(NoReply());
    const DWORD days[7] = {1, 0, 1, 1, 0, 0, 1};
    WriteSettingDword(setting::SheduleEnable, 1);
    WriteSettingDword(setting::SheduleHour, 17);
    for (int day = 0; day < 7; ++day)
        WriteSettingDword(setting::SheduleDay[day], days[day]);
    WriteSettingDword(setting::StartOnStartup, 0);
    WriteSettingString(setting::ProxyHost, "proxy.example");
    WriteSettingDword(setting::ProxyPort, 3128);
    WriteSettingString(setting::ProxyLogin, "ann");
    WriteSettingString(setting::ProxyPassword, "s3cret");
    WriteSettingDword(setting::ProxyType, 1);

    OptionsWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    EXPECT_TRUE(window.Checked(Page::BackupOptions, IDC_OPTIONS_SCHEDULE));
    EXPECT_STREQ(ComboText(window.Combo(IDC_OPTIONS_HOUR)), "17:00");
    for (int day = 0; day < 7; ++day)
        EXPECT_EQ(window.Checked(Page::BackupOptions, kDays[day]), days[day] != 0) << day;
    EXPECT_FALSE(window.Checked(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP));
    EXPECT_STREQ(window.Text(Page::MiscOptions, IDC_PROXY_HOST), "proxy.example");
    EXPECT_STREQ(window.Text(Page::MiscOptions, IDC_PROXY_PORT), "3128");
    EXPECT_STREQ(window.Text(Page::MiscOptions, IDC_PROXY_LOGIN), "ann");
    EXPECT_STREQ(window.Text(Page::MiscOptions, IDC_PROXY_PASSWORD), "s3cret");
    EXPECT_STREQ(ComboText(window.Combo(IDC_PROXY_TYPE)), "SOCKS5");

    // The service heard the language (the list's fill), then the proxy as read.
    ASSERT_TRUE(settingsPipe.WaitRequests(2));
    const std::vector<std::string> requests = settingsPipe.Requests();
    ASSERT_EQ(requests[0].size(), sizeof(IpcSettingsRecord));
    EXPECT_EQ(ReadU32(requests[0], offsetof(IpcSettingsRecord, type)), 5u);
    EXPECT_EQ(ReadText(requests[0], offsetof(IpcSettingsRecord, language), 4096), "English");
    EXPECT_EQ(ReadU32(requests[1], offsetof(IpcSettingsRecord, type)), 1u);
    EXPECT_EQ(ReadText(requests[1], offsetof(IpcSettingsRecord, proxyHost), 4096), "proxy.example");
    EXPECT_EQ(ReadU32(requests[1], offsetof(IpcSettingsRecord, proxyPort)), 3128u);
    EXPECT_EQ(ReadText(requests[1], offsetof(IpcSettingsRecord, proxyLogin), 4096), "ann");
    EXPECT_EQ(ReadText(requests[1], offsetof(IpcSettingsRecord, proxyPassword), 4096), "s3cret");
    EXPECT_EQ(ReadU32(requests[1], offsetof(IpcSettingsRecord, proxyType)), 1u);

    // Back: the values gone from the key, one tick writes them again, and
    // the service gets the user's profile.
    for (const char* name : {setting::SheduleEnable, setting::SheduleHour, setting::StartOnStartup})
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, name);
    for (const char* name : setting::SheduleDay)
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, name);
    window.Tick(kSaveOptionsTimer);
    DWORD value = 99;
    EXPECT_TRUE(ReadDword(setting::SheduleEnable, value));
    EXPECT_EQ(value, 1u);
    EXPECT_TRUE(ReadDword(setting::SheduleHour, value));
    EXPECT_EQ(value, 17u);
    for (int day = 0; day < 7; ++day)
    {
        EXPECT_TRUE(ReadDword(setting::SheduleDay[day], value));
        EXPECT_EQ(value, days[day]) << day;
    }
    EXPECT_TRUE(ReadDword(setting::StartOnStartup, value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(settingsPipe.WaitRequests(3));
    const std::string profile = settingsPipe.Requests()[2];
    EXPECT_EQ(ReadU32(profile, offsetof(IpcSettingsRecord, type)), 8u);
    EXPECT_EQ(ReadText(profile, offsetof(IpcSettingsRecord, userKeyRoot), 4096),
              std::string(window.GetUserSid()));
    EXPECT_EQ(ReadText(profile, offsetof(IpcSettingsRecord, profilePath), 4096),
              std::string(window.GetFolders().appData));

    // During a run the options stay as they are, but the service still
    // hears the user: a run's files wait for it.
    window.GetRunContext().engineBusy = 1;
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, setting::SheduleHour);
    window.Tick(kSaveOptionsTimer);
    EXPECT_FALSE(ReadDword(setting::SheduleHour, value));
    ASSERT_TRUE(settingsPipe.WaitRequests(4));
    EXPECT_EQ(ReadU32(settingsPipe.Requests()[3], offsetof(IpcSettingsRecord, type)), 8u);
    window.GetRunContext().engineBusy = 0;

    // Console gone: no profile goes to the service.
    SendMessageA(window.GetSafeHwnd(), WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, 0);
    window.Tick(kSaveOptionsTimer);
    Sleep(300);
    EXPECT_EQ(settingsPipe.RequestCount(), 4);
}

TEST_F(OptionsTest, AProxyPortOfZeroIsNotShown)
{
    MainWindowTestEnvironment environment;
    WriteSettingDword(setting::ProxyPort, 0);
    OptionsWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    EXPECT_STREQ(window.Text(Page::MiscOptions, IDC_PROXY_PORT), "");
}

TEST_F(OptionsTest, TheStatusPanelShowsNoneOrTheStoredNumbers)
{
    MainWindowTestEnvironment environment;
    OptionsWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    window.Tick(kStatusPanelTimer);
    EXPECT_STREQ(window.Text(Page::Optimize, IDC_OPTIMIZE_LAST_BACKUP), "none");
    EXPECT_STREQ(window.Text(Page::Optimize, IDC_OPTIMIZE_ERRORS), "0");
    EXPECT_STREQ(window.Text(Page::Optimize, IDC_OPTIMIZE_FILES), "0");
    WriteSettingString(setting::StatusLastPerformedBackupTime, "2026/12/08");
    WriteSettingDword(setting::StatusTotalErrors, 3);
    WriteSettingDword(setting::StatusFilesInBackup, 1204);
    window.Tick(kStatusPanelTimer);
    EXPECT_STREQ(window.Text(Page::Optimize, IDC_OPTIMIZE_LAST_BACKUP), "2026/12/08");
    EXPECT_STREQ(window.Text(Page::Optimize, IDC_OPTIMIZE_ERRORS), "3");
    EXPECT_STREQ(window.Text(Page::Optimize, IDC_OPTIMIZE_FILES), "1204");
}

TEST_F(OptionsTest, AStartedRunResetsTheFieldsNotesTheTimeAndLocksTheWindow)
{
    MainWindowTestEnvironment environment;
    TempFolder destination("optionsdest");
    OptionsWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    window.FindBoundControl(Page::Backup, IDC_BACKUP_DESTINATION)->SetWindowText(destination.Path());
    window.SetControlText(IDC_BACKUP_FILES, "12");
    window.SetControlText(IDC_BACKUP_ERRORS, "3");
    window.SetControlText(IDC_BACKUP_ELAPSED, "01:05");
    const CString logBefore = environment.LogText();
    const SYSTEMTIME before = LocalNow();

    // Start (213) on an idle window starts the run.
    SendMessageA(window.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_BACKUP_START, 1), 0);
    const SYSTEMTIME after = LocalNow();
    EXPECT_STREQ(window.Text(Page::Backup, IDC_BACKUP_FILES), "0");
    EXPECT_STREQ(window.Text(Page::Backup, IDC_BACKUP_ERRORS), "0");
    EXPECT_STREQ(window.Text(Page::Backup, IDC_BACKUP_ELAPSED), "00:00");
    EXPECT_STREQ(window.Text(Page::Backup, IDC_BACKUP_START), "Stop");
    EXPECT_STREQ(window.GetRunContext().destination, destination.Path());
    EXPECT_EQ(window.GetRunContext().window, window.GetSafeHwnd());
    for (UINT id : kRunDisabled)
        EXPECT_FALSE(window.Enabled(id)) << id;
    EXPECT_TRUE(window.Enabled(IDC_PAGE_BACKUP));
    EXPECT_TRUE(window.Enabled(IDC_BACKUP_START));

    DWORD year = 0, month = 0, day = 0, hour = 0;
    EXPECT_TRUE(ReadDword(setting::LastRunYear, year));
    EXPECT_TRUE(ReadDword(setting::LastRunMonth, month));
    EXPECT_TRUE(ReadDword(setting::LastRunDay, day));
    EXPECT_TRUE(ReadDword(setting::LastRunHour, hour));
    EXPECT_TRUE((year == before.wYear && month == before.wMonth && day == before.wDay &&
                 hour == before.wHour) ||
                (year == after.wYear && month == after.wMonth && day == after.wDay &&
                 hour == after.wHour));
    CString date;
    EXPECT_TRUE(ReadSettingString(setting::StatusLastPerformedBackupTime, date));
    CString expectedDate;
    expectedDate.Format("%lu/%02lu/%02lu", year, month, day);
    EXPECT_STREQ(date, expectedDate);
    const std::string entry(environment.LogText().Mid(logBefore.GetLength()));
    const std::regex started(std::string("\r\n") + kRule + "\r\nBackup started at: " +
                             std::string(expectedDate) + "  \\d\\d:\\d\\d:\\d\\d\r\n" + kRule +
                             "\r\n");
    EXPECT_TRUE(std::regex_search(entry, started)) << entry;
    EXPECT_EQ(entry.find("Backup started at:"), std::string(kRule).size() + 4);

    // The elapsed clock runs: timer 7 exists (killed to see it, then set
    // again).
    EXPECT_TRUE(KillTimer(window.GetSafeHwnd(), kElapsedClockTimer));
    SetTimer(window.GetSafeHwnd(), kElapsedClockTimer, 1000, nullptr);

    // The run's end gives the controls back (the blank page's button
    // stays disabled).
    ASSERT_TRUE(PumpUntil(wait_bound::kStepMs,
                          [&] { return window.GetRunContext().activeRun.load() == 0; }));
    EXPECT_STREQ(window.Text(Page::Backup, IDC_BACKUP_START), "Start");
    for (UINT id : kRunDisabled)
        EXPECT_EQ(window.Enabled(id), id != IDC_PAGE_BLANK) << id;
    EXPECT_EQ(OptionsWindow::s_messages.size(), 1u);
}

TEST_F(OptionsTest, AStartThatFailsLeavesTheWindowAsItWas)
{
    MainWindowTestEnvironment environment;
    OptionsWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    // The restore worker's thread is still alive (not collected yet): no
    // backup may start beside it.
    CRunContext& run = window.GetRunContext();
    ASSERT_TRUE(run.restoreWorker.Start(WaitForStop, &run.restoreWorker));
    ASSERT_TRUE(WriteSettingString(setting::StatusLastPerformedBackupTime, "2001/02/03"));
    window.SetControlText(IDC_BACKUP_FILES, "5");
    const CString logBeforeRefusal = environment.LogText();

    window.StartBackupRun();
    EXPECT_EQ(run.engineBusy.load(), 0);
    EXPECT_EQ(run.activeRun.load(), 0);
    for (UINT id : kRunDisabled)
        EXPECT_TRUE(window.Enabled(id)) << id;
    EXPECT_STREQ(window.Text(Page::Backup, IDC_BACKUP_START), "Start");
    // No elapsed clock: there is no timer 7 to kill.
    EXPECT_FALSE(KillTimer(window.GetSafeHwnd(), kElapsedClockTimer));
    // A refusal is no run: the log says why, and no status changes.
    const std::string refusal(environment.LogText().Mid(logBeforeRefusal.GetLength()));
    EXPECT_EQ(refusal.find("Backup started at:"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find(DescribeRunStart(RunStart::RestoreActive)), std::string::npos) << refusal;
    CString last;
    EXPECT_TRUE(ReadSettingString(setting::StatusLastPerformedBackupTime, last));
    EXPECT_STREQ(last, "2001/02/03");
    DWORD lastYear = 0;
    EXPECT_FALSE(ReadDword(setting::LastRunYear, lastYear));
    EXPECT_STREQ(window.Text(Page::Backup, IDC_BACKUP_FILES), "5");
    run.restoreWorker.Stop();

    // With Start disabled (a stop under way) nothing at all happens.
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, setting::LastRunYear);
    window.SetControlText(IDC_BACKUP_FILES, "7");
    window.EnableControl(IDC_BACKUP_START, false);
    const CString logBefore = environment.LogText();
    window.StartBackupRun();
    SendMessageA(window.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_OPTIMIZE_BACKUP_NOW, 1), 0);
    EXPECT_EQ(run.engineBusy.load(), 0);
    EXPECT_STREQ(window.Text(Page::Backup, IDC_BACKUP_FILES), "7");
    DWORD year = 0;
    EXPECT_FALSE(ReadDword(setting::LastRunYear, year));
    EXPECT_STREQ(environment.LogText(), logBefore);
    EXPECT_TRUE(window.Enabled(IDC_BACKUP_ADD));
}

TEST_F(OptionsTest, SkinFoldersAreListedWithTheCurrentOneSelected)
{
    MainWindowTestEnvironment environment;
    OptionsWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    // The program's skins as installed: two folders, a hidden one and a file.
    TempFolder program("optionsskins");
    ASSERT_TRUE(MakeFolder(program / "Skins"));
    ASSERT_TRUE(MakeFolder(program / "Skins\\Default"));
    ASSERT_TRUE(MakeFolder(program / "Skins\\redrose"));
    ASSERT_TRUE(MakeFolder(program / "Skins\\.svn"));
    ASSERT_TRUE(WriteTextFile(program / "Skins\\x.txt", "x"));
    window.GetSettingsIni().WriteString("Skin", "Directory", " default ");
    OverrideSkinFilesFolders(environment.AppData() + "\\ORVANEL Brindlewox", program.Path());
    window.GetOptions().FillSkinList();
    HWND skins = window.Combo(IDC_OPTIONS_SKIN);
    ASSERT_EQ(SendMessageA(skins, CB_GETCOUNT, 0, 0), 2);
    std::vector<std::string> names;
    for (int i = 0; i < 2; ++i)
    {
        char name[64] = "";
        SendMessageA(skins, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
        names.push_back(name);
        EXPECT_EQ(SendMessageA(skins, CB_GETITEMDATA, i, 0), i);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Default", "redrose"}));
    EXPECT_STREQ(ComboText(skins), "Default");

    // No Skins and no Languages folder: empty lists, and Apply writes nothing.
    TempFolder empty("optionsnone");
    OverrideSkinFilesFolders(environment.AppData() + "\\ORVANEL Brindlewox", empty.Path());
    window.GetOptions().FillSkinList();
    window.GetOptions().FillLanguageList();
    EXPECT_EQ(SendMessageA(skins, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageA(window.Combo(IDC_OPTIONS_LANGUAGE), CB_GETCOUNT, 0, 0), 0);
    const CString settingsBefore = ReadTextFile(environment.SettingsFile());
    {
        ModalDriver driver([](HWND question) {
            SendMessageA(GetDlgItem(question, IDCANCEL), BM_CLICK, 0, 0);
        });
        SendMessageA(window.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_APPLY, 1), 0);
        EXPECT_TRUE(driver.Found());
    }
    EXPECT_STREQ(ReadTextFile(environment.SettingsFile()), settingsBefore);
    EXPECT_TRUE(IsWindow(window.GetSafeHwnd()));
}

TEST_F(OptionsTest, ApplyStoresTheChoiceAndRestartsOnlyOnOk)
{
    MainWindowTestEnvironment environment;
    static std::vector<std::string> started;
    static bool startWorks = true;
    started.clear();
    OptionsWindow window;
    MainWindowHooks hooks = window.GetTestHooks();
    hooks.startProgram = [](const char* program, const char* folder) {
        started.push_back(std::string(program) + "|" + folder);
        return startWorks;
    };
    window.SetTestHooks(hooks);
    CString questionText;
    // Close: the choice is stored, the program stays.
    window.steps.push_back([&questionText](OptionsWindow& w) {
        HWND skins = w.Combo(IDC_OPTIONS_SKIN);
        EXPECT_STREQ(ComboText(skins), "Default");
        SendMessageA(skins, CB_SETCURSEL, SendMessageA(skins, CB_FINDSTRINGEXACT, -1,
                                                       reinterpret_cast<LPARAM>("Deepsea")), 0);
        ModalDriver driver([&questionText](HWND question) {
            questionText = ItemText(question, IDC_MESSAGE_TEXT);
            SendMessageA(GetDlgItem(question, IDCANCEL), BM_CLICK, 0, 0);
        });
        SendMessageA(w.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_APPLY, 1), 0);
        w.PostNextStep();
    });
    // OK with a start that fails: the window stays too.
    window.steps.push_back([&environment](OptionsWindow& w) {
        CIni settings(environment.SettingsFile());
        CString skin;
        EXPECT_STREQ(settings.GetString(skin, "Skin", "Directory", ""), "Deepsea");
        EXPECT_TRUE(started.empty());
        startWorks = false;
        ModalDriver driver([](HWND question) {
            SendMessageA(GetDlgItem(question, IDOK), BM_CLICK, 0, 0);
        });
        SendMessageA(w.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_APPLY, 1), 0);
        EXPECT_EQ(started.size(), 1u);
        w.PostNextStep();
    });
    // OK: the program starts again from its folder and this window ends.
    window.steps.push_back([](OptionsWindow& w) {
        startWorks = true;
        ModalDriver driver([](HWND question) {
            SendMessageA(GetDlgItem(question, IDOK), BM_CLICK, 0, 0);
        });
        SendMessageA(w.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_APPLY, 1), 0);
    });
    EXPECT_EQ(window.DoModal(IDD_MAIN_WINDOW), 1);
    EXPECT_EQ(window.next, 3u);
    EXPECT_STREQ(questionText, "Your skin and language setting has been changed. They will not "
                               "be visible until program restart.");
    const std::string expected = std::string(environment.ProgramFolder()) + "\\Brindlewox.exe|" +
                                 std::string(environment.ProgramFolder());
    EXPECT_EQ(started, (std::vector<std::string>{expected, expected}));
}

TEST_F(OptionsTest, WithoutTheServiceTheWindowAnswersAcrossSeveralSaveTicks)
{
    // No server holds the SETTINGS pipe: every tick's send finds none.
    MainWindowTestEnvironment environment;
    OptionsWindow window;
    std::atomic<int> answered{0};
    std::atomic<int> late{0};
    std::thread prober;
    window.steps.push_back([&](OptionsWindow& w) {
        HWND target = w.GetSafeHwnd();
        prober = std::thread([&, target] {
            // Over 5 s: at least two ticks of the 2-second timer.
            const DWORD start = GetTickCount();
            while (GetTickCount() - start < 5000)
            {
                DWORD_PTR result = 0;
                const DWORD sent = GetTickCount();
                if (SendMessageTimeoutA(target, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) != 0 &&
                    GetTickCount() - sent < 1000)
                    ++answered;
                else
                    ++late;
                Sleep(100);
            }
            PostMessageA(target, kStepMessage, 0, 0);
        });
    });
    window.steps.push_back([](OptionsWindow& w) { w.EndDialog(5); });
    EXPECT_EQ(window.DoModal(IDD_MAIN_WINDOW), 5);
    prober.join();
    EXPECT_EQ(late.load(), 0);
    EXPECT_GT(answered.load(), 20);
    // The ticks did their work meanwhile.
    std::string run;
    EXPECT_TRUE(ReadRunEntry(run));
}

TEST_F(OptionsTest, AboutOpensOnTheTitleButtonAndAnswersZero)
{
    MainWindowTestEnvironment environment;
    OptionsWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    CString about;
    LRESULT result = -1;
    {
        ModalDriver driver(
            [&about](HWND dialog) {
                about = ItemText(dialog, IDC_ABOUT_TEXT);
                SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
            },
            IDC_ABOUT_TEXT);
        result = SendMessageA(window.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_TITLE_ABOUT, 1), 0);
        EXPECT_TRUE(driver.Found());
    }
    EXPECT_EQ(result, 0);
    EXPECT_NE(about.Find("Version 1.2.3.4"), -1);
}
