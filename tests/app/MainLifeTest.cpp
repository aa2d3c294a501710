// The main program's life, messages and timers: the pure parts (folders,
// OS names, banner, elapsed clock, summary, end texts, grip, sound path),
// the constructor's start-up in a redirected per-user folder, and the
// window itself on the null display driver: Enter, Esc and WM_CLOSE, the
// ends of the runs per outcome, the grip, the console notifications and the
// USER pipe's hand-over.
#include "app/MainApplicationDialog.h"
#include "app/MainLayout.h"
#include "app/ProgramTexts.h"
#include "app/UserFolders.h"
#include "app/ProgramInfo.h"
#include "engine/IpcRecords.h"
#include "engine/LogFile.h"
#include "engine/PipeClient.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "foundation/Utility.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "resources/TrayMenu.h"
#include "skin/FrameBar.h"
#include "skin/SkinFiles.h"
#include "tests/app/MainLifeTestSupport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/MessagePump.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Waits.h"

#include "tests/app/LiveRunSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace
{
const char kRule[] = "===================================================================";

SYSTEMTIME Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0)
{
    return testfiles::MakeSystemTime(year, month, day, hour, minute, second);
}

TEST(MainLifeTest, OsNamesFollowTheVersion)
{
    EXPECT_STREQ(OsNameOf(6, 1), "Windows Vista+");
    EXPECT_STREQ(OsNameOf(10, 0), "Windows Vista+");
    EXPECT_STREQ(OsNameOf(5, 2), "Windows Server 2003");
    EXPECT_STREQ(OsNameOf(5, 1), "Windows XP");
    EXPECT_STREQ(OsNameOf(5, 0), "Windows 2000");
    EXPECT_STREQ(OsNameOf(4, 0), "Windows 9X");
    EXPECT_STREQ(OsNameOf(5, 3), "Windows NT");
}

TEST(MainLifeTest, TheElapsedClockNeverWrapsItsMinutes)
{
    EXPECT_STREQ(FormatElapsed(0), "00:00");
    EXPECT_STREQ(FormatElapsed(65), "01:05");
    EXPECT_STREQ(FormatElapsed(3900), "65:00");
    EXPECT_STREQ(FormatElapsed(6000), "100:00");
    EXPECT_STREQ(FormatElapsed(-3), "00:00");
}

TEST(MainLifeTest, GripZonesOfTheFramelessWindow)
{
    // A 400 x 300 window: the grip is the square from (380, 280).
    EXPECT_EQ(mainlayout::ClassifyGripPoint(395, 295, 400, 300), mainlayout::GripZone::AddFrame);
    EXPECT_EQ(mainlayout::ClassifyGripPoint(380, 280, 400, 300), mainlayout::GripZone::AddFrame);
    EXPECT_EQ(mainlayout::ClassifyGripPoint(10, 10, 400, 300), mainlayout::GripZone::RemoveFrame);
    EXPECT_EQ(mainlayout::ClassifyGripPoint(399, 274, 400, 300), mainlayout::GripZone::RemoveFrame);
    EXPECT_EQ(mainlayout::ClassifyGripPoint(374, 299, 400, 300), mainlayout::GripZone::RemoveFrame);
    // The band around the grip keeps the frame as it is.
    EXPECT_EQ(mainlayout::ClassifyGripPoint(378, 290, 400, 300), mainlayout::GripZone::Keep);
    EXPECT_EQ(mainlayout::ClassifyGripPoint(390, 277, 400, 300), mainlayout::GripZone::Keep);
    EXPECT_EQ(mainlayout::ClassifyGripPoint(400, 300, 400, 300), mainlayout::GripZone::Keep);
}

TEST(MainLifeTest, FoldersAreLoweredAndTheEmptyOnesFallBack)
{
    UserFolders folders = DeriveUserFolders("C:\\Users\\Ann\\Temp\\", "C:\\WINDOWS",
                                            "C:\\Users\\Ann\\AppData", "", nullptr);
    EXPECT_STREQ(folders.temp, "C:\\Users\\Ann\\Temp\\");
    EXPECT_STREQ(folders.windows, "c:\\windows");
    EXPECT_STREQ(folders.appData, "c:\\users\\ann\\appdata");
    EXPECT_STREQ(folders.systemDrive, "c:");
    EXPECT_STREQ(folders.programFiles, "c:\\program files");
    EXPECT_STREQ(folders.commonPrograms, "c:\\windows\\all users\\start menu\\programs");

    folders = DeriveUserFolders("", "D:\\Win", "", "D:\\Apps", "D:\\Menu\\Programs");
    EXPECT_STREQ(folders.programFiles, "d:\\apps");
    EXPECT_STREQ(folders.commonPrograms, "d:\\menu\\programs");
    EXPECT_STREQ(folders.systemDrive, "d:");
}

TEST(MainLifeTest, TheBannerOfAFixedDateByteForByte)
{
    CIni english; // no file: every text its English default
    CString lines[6];
    BuildStartBanner(english, "1.0", "Windows Vista+", Date(2024, 3, 5), lines);
    CString all;
    for (const CString& line : lines)
        all += line;
    const std::string expected = std::string("\r\n") + kRule +
                                 "\r\n= Orvanel Brindlewox Startup\r\n"
                                 "= Brindlewox Tool \r\n"
                                 "= Build: 1.0 \r\n"
                                 "= OS: Windows Vista+ 64-bit \r\n"
                                 "= Log File: 2024-03-05.txt\r\n" +
                                 kRule + "\r\n\r\n";
    EXPECT_EQ(std::string(all), expected);
    EXPECT_STREQ(lines[4], "= Log File: 2024-03-05.txt\r\n");

    TempFolder folder("banner");
    const CString file = folder / "default.ini";
    ASSERT_TRUE(WriteTextFile(file, "[Language]\r\nDL_N_101_195=Inicio\r\nDL_N_101_196=Registro:\r\n"));
    CIni language(file);
    BuildStartBanner(language, "", "Windows XP", Date(2026, 12, 9), lines);
    EXPECT_EQ(std::string(lines[0]), std::string("\r\n") + kRule + "\r\n= Inicio\r\n");
    EXPECT_STREQ(lines[2], "= Build:  \r\n");
    EXPECT_STREQ(lines[4], "= Registro: 2026-12-09.txt\r\n");
}

TEST(MainLifeTest, TheRunSummaryAndTheEndTextOfEachOutcome)
{
    CIni english;
    const CString summary = BuildRunSummary(english, "12", "3", "01:05", Date(2026, 1, 2, 3, 4, 5));
    EXPECT_EQ(std::string(summary), std::string(kRule) +
                                        "\r\nFiles backuped: 12\r\nErrors found: 3\r\n"
                                        "Elapsed time: 01:05\r\n"
                                        "Backup finished at: 2026/01/02  03:04:05\r\n" +
                                        kRule + "\r\n");
    EXPECT_STREQ(RunEndText(english, kBackupCompleted), "Task sucessfully completed.");
    EXPECT_STREQ(RunEndText(english, kBackupFailed), "Task failed.");
    EXPECT_TRUE(RunEndText(english, kBackupStopped).IsEmpty());

    // A backup that ended with errors never says it succeeded.
    EXPECT_STREQ(BackupEndText(english, kBackupCompleted, 0), "Task sucessfully completed.");
    EXPECT_STREQ(BackupEndText(english, kBackupCompleted, 12), "Errors found: 12");
    EXPECT_STREQ(BackupEndText(english, kBackupFailed, 3), "Task failed.");
    EXPECT_TRUE(BackupEndText(english, kBackupStopped, 3).IsEmpty());
    TempFolder folder("endtext");
    ASSERT_TRUE(WriteTextFile(folder / "default.ini", "[Language]\r\nDL_N_101_33=Fehler:\r\n"));
    CIni language(folder / "default.ini");
    EXPECT_STREQ(BackupEndText(language, kBackupCompleted, 1), "Fehler: 1");
}

TEST(MainLifeTest, TheWarningSoundLiesBesideTheProgramOrIsSearchedByName)
{
    TempFolder folder("sound");
    EXPECT_STREQ(WarningSoundPath(folder.Path()), "warning.wav");
    EXPECT_STREQ(WarningSoundPath(""), "warning.wav");
    ASSERT_TRUE(WriteTextFile(folder / "warning.wav", "RIFF"));
    EXPECT_STREQ(WarningSoundPath(folder.Path()), folder / "warning.wav");
}

// ---- The constructor and the window, in a per-user folder of the test's own.

CString TodaysLogFile(const char* appData)
{
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    SYSTEMTIME local = utc;
    UtcToLocalTime(&utc, &local);
    return GetLogFileName(GetLogFolder(appData), local);
}

bool IsFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> SectionNames(const char* file)
{
    char buffer[1024] = {};
    GetPrivateProfileSectionNamesA(buffer, sizeof(buffer), file);
    std::vector<std::string> names;
    for (const char* name = buffer; *name != 0; name += strlen(name) + 1)
        names.push_back(name);
    return names;
}

std::string SectionText(const char* file, const char* section)
{
    char buffer[1024] = {};
    const DWORD length = GetPrivateProfileSectionA(section, buffer, sizeof(buffer), file);
    std::string text(buffer, length);
    for (char& c : text)
        if (c == 0)
            c = '|';
    return text;
}

class MainProgramStartTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_environment.Ready()); }

    MainTestEnvironment m_environment{"mainlife"};
    const CString& m_appData = m_environment.AppData();
    const CString& m_userFolder = m_environment.UserFolder();
    const CString& m_program = m_environment.Program();
};

CString Lower(const char* text)
{
    CString lowered(text);
    lowered.MakeLower();
    return lowered;
}

TEST_F(MainProgramStartTest, AFreshProfileGetsItsFoldersSettingsProfileAndBanner)
{
    {
        MainApplicationDialog window;
        EXPECT_STREQ(window.GetFolders().appData, Lower(m_appData));
        EXPECT_STREQ(window.GetRunContext().profilePath,
                     Lower(m_appData) + "\\ORVANEL Brindlewox\\Profile\\profile.prb");
        // The shield colours' defaults: no skin file here.
        EXPECT_EQ(window.GetShieldOnColor(), RGB(255, 173, 27));
        EXPECT_EQ(window.GetShieldOffColor(), RGB(255, 0, 0));
        EXPECT_STREQ(window.GetSettingsIni().GetPathName(),
                     Lower(m_appData) + "\\ORVANEL Brindlewox\\settings.ini");
        EXPECT_STREQ(window.GetLanguageIni().GetPathName(),
                     m_program + "\\Languages\\English\\default.ini");
        EXPECT_STREQ(window.GetSkinIni().GetPathName(), m_program + "\\Skins\\Default\\default.ini");
    }
    EXPECT_TRUE(IsFolder(m_userFolder));
    EXPECT_TRUE(IsFolder(m_userFolder + "\\Log"));
    EXPECT_TRUE(IsFolder(m_userFolder + "\\Profile"));

    // settings.ini: exactly the two keys.
    const CString settings = m_userFolder + "\\settings.ini";
    EXPECT_EQ(SectionNames(settings), (std::vector<std::string>{"Skin", "Language"}));
    EXPECT_EQ(SectionText(settings, "Skin"), "Directory=Default|");
    EXPECT_EQ(SectionText(settings, "Language"), "Directory=English|");

    // profile.prb: both tables and the one settings row.
    CSqlDB db;
    db.Open(m_userFolder + "\\Profile\\profile.prb");
    std::vector<std::string> tables;
    for (CSqlQuery query = db.Query("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name;");
         !query.IsEof(); query.NextRow())
        tables.push_back(query.GetFieldText(0));
    EXPECT_EQ(tables, (std::vector<std::string>{"backup_settings", "backup_what"}));
    CSqlQuery rows = db.Query("SELECT type_id, backup_where, compress, encrypt, encrypt_pwd, "
                              "(SELECT COUNT(*) FROM backup_settings), "
                              "(SELECT COUNT(*) FROM backup_what) FROM backup_settings;");
    ASSERT_FALSE(rows.IsEof());
    EXPECT_EQ(rows.GetFieldInt(0, -1), 0);
    EXPECT_STREQ(rows.GetFieldText(1, "?"), "");
    EXPECT_EQ(rows.GetFieldInt(2, -1), 0);
    EXPECT_EQ(rows.GetFieldInt(3, -1), 0);
    EXPECT_STREQ(rows.GetFieldText(4, "?"), "");
    EXPECT_EQ(rows.GetFieldInt(5), 1);
    EXPECT_EQ(rows.GetFieldInt(6), 0);
    rows.Finalize();
    db.Close();

    // The banner, byte for byte, in today's file and nothing else.
    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    SYSTEMTIME today = utc;
    UtcToLocalTime(&utc, &today);
    char date[32];
    snprintf(date, sizeof(date), "%d-%02d-%02d.txt", today.wYear, today.wMonth, today.wDay);
    const std::string expected = std::string("\r\n") + kRule +
                                 "\r\n= Orvanel Brindlewox Startup\r\n= Brindlewox Tool \r\n"
                                 "= Build: " + std::string(GetFileVersionString(module)) +
                                 " \r\n= OS: Windows Vista+ 64-bit \r\n= Log File: " + date +
                                 "\r\n" + kRule + "\r\n\r\n";
    EXPECT_EQ(std::string(ReadTextFile(TodaysLogFile(m_appData))), expected);
}

TEST_F(MainProgramStartTest, ASkinEntryWithoutALanguageLeavesTheSettingsAlone)
{
    ASSERT_TRUE(MakeFolder(m_userFolder));
    const CString settings = m_userFolder + "\\settings.ini";
    const char content[] = "[Skin]\r\nDirectory=Deepsea\r\n";
    ASSERT_TRUE(WriteTextFile(settings, content));
    ASSERT_TRUE(MakeFolder(m_program + "\\Skins"));
    ASSERT_TRUE(MakeFolder(m_program + "\\Skins\\Deepsea"));
    ASSERT_TRUE(WriteTextFile(m_program + "\\Skins\\Deepsea\\default.ini",
                              "[Color]\r\nCOLOR_SHIELD_ON_R=1\r\nCOLOR_SHIELD_ON_G=2\r\n"
                              "COLOR_SHIELD_OFF_B=3\r\n"));
    {
        MainApplicationDialog window;
        EXPECT_STREQ(window.GetSkinIni().GetPathName(), m_program + "\\Skins\\Deepsea\\default.ini");
        EXPECT_STREQ(window.GetLanguageIni().GetPathName(),
                     m_program + "\\Languages\\English\\default.ini");
        EXPECT_EQ(window.GetShieldOnColor(), RGB(1, 2, 27));
        EXPECT_EQ(window.GetShieldOffColor(), RGB(255, 0, 3));
    }
    EXPECT_STREQ(ReadTextFile(settings), content);
}

TEST_F(MainProgramStartTest, AnExistingProfileIsKeptAndEachStartAddsOneBanner)
{
    {
        MainApplicationDialog first;
    }
    CSqlDB db;
    db.Open(m_userFolder + "\\Profile\\profile.prb");
    db.Execute("INSERT INTO backup_what (type_id, value1, checked) VALUES (0, 'C:\\Data', 1);");
    db.Close();
    const CString firstLog = ReadTextFile(TodaysLogFile(m_appData));
    {
        MainApplicationDialog second;
    }
    db.Open(m_userFolder + "\\Profile\\profile.prb");
    CSqlQuery rows = db.Query("SELECT COUNT(*) FROM backup_what;");
    EXPECT_EQ(rows.GetFieldInt(0), 1);
    rows.Finalize();
    db.Close();
    const CString log = ReadTextFile(TodaysLogFile(m_appData));
    EXPECT_EQ(log.GetLength(), 2 * firstLog.GetLength());
}

// A run stand-in: waits on its worker's stop event while it reads the
// window's log through the context, as a run would, and then says it ended.
struct HeldRun
{
    CRunContext* run = nullptr;
    std::atomic<bool> ended{false};
    std::atomic<bool> logAlive{false};
};

unsigned __stdcall HoldUntilStopped(void* parameter)
{
    auto* held = static_cast<HeldRun*>(parameter);
    WaitForSingleObject(held->run->backupWorker.GetStopEvent(), 30000);
    held->logAlive = held->run->log != nullptr;
    held->run->WriteLog("\r\nthe run's last line\r\n");
    held->ended = true;
    return 0;
}

TEST_F(MainProgramStartTest, TheDestructorStopsARunBeforeAnyMemberGoes)
{
    HeldRun held;
    auto* window = new MainApplicationDialog;
    held.run = &window->GetRunContext();
    ASSERT_TRUE(held.run->backupWorker.Start(HoldUntilStopped, &held));
    Sleep(100);
    EXPECT_FALSE(held.ended.load());
    const ULONGLONG start = GetTickCount64();
    delete window;
    EXPECT_LT(GetTickCount64() - start, 20000u);
    EXPECT_TRUE(held.ended.load());
    EXPECT_TRUE(held.logAlive.load());
    const std::string log(ReadTextFile(TodaysLogFile(m_appData)));
    EXPECT_NE(log.find("the run's last line"), std::string::npos);
}

// ---- The window on the null display driver.

// A message the tests post to run a step inside the window's own loop.
constexpr UINT kScriptMessage = WM_APP + 77;
// A test's watchdog ends the window with kGaveUp.
constexpr UINT kGiveUpMessage = WM_APP + 78;
constexpr int kGaveUp = 99;

class TestWindow : public MainApplicationDialog
{
public:
    TestWindow()
    {
        MainWindowHooks hooks;
        hooks.playSound = [](const char* path) { s_sounds.push_back(path); };
        hooks.showRunEndMessage = [](MainApplicationDialog& window, const char* text) {
            s_messages.push_back(text);
            s_visibleAtMessage.push_back(IsWindowVisible(window.GetSafeHwnd()) != FALSE);
        };
        SetTestHooks(hooks);
        s_sounds.clear();
        s_messages.clear();
        s_visibleAtMessage.clear();
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_NCCALCSIZE)
            ++frameChanges;
        if (message == kGiveUpMessage)
        {
            EndDialog(kGaveUp);
            return 0;
        }
        if (message == kScriptMessage && !script.empty())
        {
            auto step = script.front();
            script.erase(script.begin());
            step(*this);
            return 0;
        }
        return MainApplicationDialog::WindowProc(message, wParam, lParam);
    }

    // Posts one script message per step once the window exists.
    void OnAfterInitDialog() override
    {
        MainApplicationDialog::OnAfterInitDialog();
        for (size_t i = 0; i < script.size(); ++i)
            PostMessageA(m_hWnd, kScriptMessage, 0, 0);
    }

    LRESULT OnCommand(UINT code, UINT id, HWND control) override
    {
        commands.push_back(id);
        return MainApplicationDialog::OnCommand(code, id, control);
    }

    std::vector<std::function<void(TestWindow&)>> script;
    std::vector<UINT> commands;
    int frameChanges = 0;

    static std::vector<std::string> s_sounds;
    static std::vector<std::string> s_messages;
    static std::vector<bool> s_visibleAtMessage;
};
std::vector<std::string> TestWindow::s_sounds;
std::vector<std::string> TestWindow::s_messages;
std::vector<bool> TestWindow::s_visibleAtMessage;

class MainWindowLifeTest : public MainProgramStartTest
{
protected:
    void SetUp() override
    {
        MainProgramStartTest::SetUp();
        // A user who has run the program before: the window would go to
        // the tray; the tests that need it visible show it.
        WriteSettingDword(setting::FirstRun, 1);
    }

    // The log's text written after `before`.
    CString LogAfter(const CString& before)
    {
        const CString all = ReadTextFile(TodaysLogFile(m_appData));
        return all.Mid(before.GetLength());
    }
};

TEST_F(MainWindowLifeTest, EnterEscAndCloseLeaveTheWindowOpenAndStopARun)
{
    TestWindow window;
    std::vector<LONG> busyAfter;
    window.script.push_back([](TestWindow& w) {
        // An edit of a page: Enter there is the dialog's IDOK.
        HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 10,
                                    80, 20, w.GetSafeHwnd(), reinterpret_cast<HMENU>(822),
                                    nullptr, nullptr);
        SetFocus(edit);
        PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageA(edit, WM_CHAR, '\r', 0);
        PostMessageA(edit, WM_KEYUP, VK_RETURN, 0);
    });
    window.script.push_back([&busyAfter](TestWindow& w) {
        SendMessageA(w.GetSafeHwnd(), WM_COMMAND, IDOK, 0);
        w.GetRunContext().engineBusy = 1;
        SendMessageA(w.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
        busyAfter.push_back(w.GetRunContext().engineBusy.load());
        w.GetRunContext().engineBusy = 1;
        SendMessageA(w.GetSafeHwnd(), WM_CLOSE, 0, 0);
        busyAfter.push_back(w.GetRunContext().engineBusy.load());
    });
    window.script.push_back([](TestWindow& w) { w.EndDialog(7); });
    EXPECT_EQ(window.DoModal(IDD_MAIN_WINDOW), 7);
    EXPECT_EQ(busyAfter, (std::vector<LONG>{0, 0}));
}

TEST_F(MainWindowLifeTest, TheEndOfABackupPerOutcome)
{
    struct Case
    {
        BackupOutcome outcome;
        LONG failed;
        const char* message;
    };
    for (const Case& c : {Case{kBackupCompleted, 1, "Errors found: 1"},
                          Case{kBackupCompleted, 0, "Task sucessfully completed."},
                          Case{kBackupFailed, 1, "Task failed."}, Case{kBackupStopped, 1, nullptr}})
    {
        SCOPED_TRACE(static_cast<int>(c.outcome) * 10 + c.failed);
        TestWindow window;
        ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
        HWND hwnd = window.GetSafeHwnd();
        // The run: three files, the last one failed or not, the window in
        // the tray and the page buttons as the start left them.
        CRunContext& run = window.GetRunContext();
        run.FileStarted("C:\\a");
        run.FileStarted("C:\\b");
        run.FileStarted("C:\\c");
        if (c.failed != 0)
            run.FileFailed("C:\\c");
        run.engineBusy = 1;
        window.StartElapsedClock();
        EnableWindow(GetDlgItem(hwnd, IDC_PAGE_BLANK), FALSE);
        EnableWindow(GetDlgItem(hwnd, IDC_PAGE_RESTORE), FALSE);
        EnableWindow(GetDlgItem(hwnd, IDC_TITLE_HELP), FALSE);
        MinimiseToTray(hwnd);
        ASSERT_FALSE(IsWindowVisible(hwnd));
        WriteSettingDword(setting::StatusTotalErrors, 99);
        WriteSettingDword(setting::StatusFilesInBackup, 99);
        const CString before = ReadTextFile(TodaysLogFile(m_appData));

        SendMessageA(hwnd, WM_BACKUP_FINISHED, c.outcome, 0);

        if (c.message != nullptr)
        {
            EXPECT_EQ(TestWindow::s_messages, (std::vector<std::string>{c.message}));
            EXPECT_EQ(TestWindow::s_visibleAtMessage, (std::vector<bool>{true}));
        }
        else
        {
            EXPECT_TRUE(TestWindow::s_messages.empty());
        }
        EXPECT_TRUE(IsWindowVisible(hwnd));
        EXPECT_EQ(TestWindow::s_sounds, (std::vector<std::string>{"warning.wav"}));
        DWORD errors = 0;
        DWORD files = 0;
        EXPECT_TRUE(ReadSettingDword(setting::StatusTotalErrors, errors));
        EXPECT_TRUE(ReadSettingDword(setting::StatusFilesInBackup, files));
        EXPECT_EQ(errors, static_cast<DWORD>(c.failed));
        EXPECT_EQ(files, 3u);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hwnd, IDC_PAGE_BLANK)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hwnd, IDC_PAGE_RESTORE)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hwnd, IDC_TITLE_HELP)));
        EXPECT_EQ(run.engineBusy.load(), 0);

        const std::string summary(LogAfter(before));
        const std::string head = std::string(kRule) + "\r\nFiles backuped: 3\r\nErrors found: " +
                                 std::to_string(c.failed) +
                                 "\r\nElapsed time: 00:00\r\nBackup finished at: ";
        ASSERT_GE(summary.size(), head.size());
        EXPECT_EQ(summary.substr(0, head.size()), head);
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
        char tail[128] = "";
        EXPECT_EQ(sscanf(summary.c_str() + head.size(), "%d/%d/%d  %d:%d:%d%127[^$]", &year, &month,
                         &day, &hour, &minute, &second, tail),
                  7);
        EXPECT_EQ(std::string(tail), std::string("\r\n") + kRule + "\r\n");
        EXPECT_GE(year, 2024);
    }
}

// The backup page of the window, as its initialisation made it.
class BackupPage
{
public:
    explicit BackupPage(MainApplicationDialog& window) : m_window(window)
    {
        HWND bar = window.FindControl(IDC_BACKUP_PROGRESS);
        progress = bar != nullptr ? dynamic_cast<CProgressBar*>(CWindow::FromHandle(bar)) : nullptr;
    }
    CString Text(UINT id) const
    {
        char text[256] = "";
        GetWindowTextA(m_window.FindControl(id), text, sizeof(text));
        return CString(text);
    }
    bool Enabled(UINT id) const { return IsWindowEnabled(m_window.FindControl(id)) != 0; }
    void Enable(UINT id, bool enable) const { EnableWindow(m_window.FindControl(id), enable); }

    CProgressBar* progress = nullptr;

private:
    MainApplicationDialog& m_window;
};

TEST_F(MainWindowLifeTest, TheElapsedClockTickShowsWhatTheRunShows)
{
    TestWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    BackupPage page(window);
    ASSERT_NE(page.progress, nullptr);
    CRunContext& run = window.GetRunContext();
    run.FileStarted("C:\\Data\\one.txt");
    run.FileStarted("C:\\Data\\two.txt");
    run.FileFailed("C:\\Data\\two.txt");
    run.SetProgressRange(8);
    run.SetProgressPosition(3);
    window.StartElapsedClock();
    SendMessageA(window.GetSafeHwnd(), WM_TIMER, kElapsedClockTimer, 0);
    EXPECT_STREQ(page.Text(IDC_BACKUP_FILES), "2");
    EXPECT_STREQ(page.Text(IDC_BACKUP_ERRORS), "1");
    EXPECT_STREQ(page.Text(IDC_BACKUP_CURRENT_FILE), "C:\\Data\\two.txt");
    EXPECT_STREQ(page.Text(IDC_BACKUP_ELAPSED), "00:00");
    EXPECT_EQ(page.progress->GetUpper(), 8);
    EXPECT_EQ(page.progress->GetPos(), 3);

    // The end: the run-status line reads nothing, Start is back and both
    // run buttons can be pressed again; the clock keeps its last text.
    page.Enable(IDC_BACKUP_START, false);
    page.Enable(IDC_BACKUP_PAUSE, false);
    page.Enable(IDC_BACKUP_ADD, false);
    SetWindowTextA(window.FindControl(IDC_BACKUP_START), "Stop");
    SendMessageA(window.GetSafeHwnd(), WM_BACKUP_FINISHED, kBackupStopped, 0);
    EXPECT_STREQ(page.Text(IDC_BACKUP_START), "Start");
    EXPECT_STREQ(page.Text(IDC_BACKUP_CURRENT_FILE), "");
    EXPECT_STREQ(page.Text(IDC_BACKUP_ELAPSED), "00:00");
    EXPECT_TRUE(page.Enabled(IDC_BACKUP_START));
    EXPECT_TRUE(page.Enabled(IDC_BACKUP_PAUSE));
    EXPECT_TRUE(page.Enabled(IDC_BACKUP_ADD));
}

class FixedClock : public IScheduleClock
{
public:
    bool GetLocalNow(SYSTEMTIME& now) override
    {
        now = time;
        return true;
    }
    ULONGLONG GetMonotonicMs() override { return monotonic; }
    SYSTEMTIME time = {};
    ULONGLONG monotonic = 1000000;
};

TEST_F(MainWindowLifeTest, TheScheduleTimerShowsTheBackupPageAtTheSlotOnce)
{
    TestWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    FixedClock clock;
    MainWindowHooks hooks = window.GetTestHooks();
    hooks.scheduleClock = &clock;
    window.SetTestHooks(hooks);
    HWND hwnd = window.GetSafeHwnd();
    // One tick of timer 5 on a Monday of December 2026 (the 7th, 14th ...),
    // a second after the previous one; true when it went to the Backup page
    // to start the scheduled run.
    auto tick = [&](WORD day, WORD hour, WORD minute, WORD second) {
        clock.time = Date(2026, 12, day, hour, minute, second);
        clock.time.wDayOfWeek = 1;
        clock.monotonic += 1000;
        window.commands.clear();
        SendMessageA(hwnd, WM_TIMER, kScheduleTimer, 0);
        return window.commands == std::vector<UINT>{IDC_PAGE_BACKUP};
    };
    // Without the values: never.
    EXPECT_FALSE(tick(7, 14, 0, 0));
    WriteSettingDword(setting::SheduleEnable, 1);
    WriteSettingDword(setting::SheduleHour, 14);
    WriteSettingDword("SheduleDay1", 1);
    // A run active at the slot uses it up: nothing follows it.
    window.GetRunContext().engineBusy = 1;
    EXPECT_FALSE(tick(7, 14, 0, 0));
    window.GetRunContext().engineBusy = 0;
    EXPECT_FALSE(tick(7, 14, 0, 1));
    // A week later: the slot's first tick, and only that one.
    clock.monotonic += 7ULL * 24 * 3600 * 1000;
    EXPECT_FALSE(tick(14, 13, 59, 59));
    EXPECT_TRUE(tick(14, 14, 0, 0));
    EXPECT_FALSE(tick(14, 14, 0, 1));
}

// A web-site dump that notes how the run called it, and counts its row as
// the window's own dump does (failed when told so).
class RecordingDump : public IDatabaseDump
{
public:
    explicit RecordingDump(CRunContext& context) : m_context(context) {}
    void RunDatabaseBackups(const ProfileItem& item) override
    {
        m_context.FileStarted(item.path);
        if (fail)
            m_context.FileFailed(item.path);
        scheduled = m_context.scheduled.load();
        if (item.dbName == "shop")
            ++calls;
    }
    std::atomic<bool> fail{false};
    std::atomic<int> calls{0};
    std::atomic<LONG> scheduled{-1};

private:
    CRunContext& m_context;
};

TEST_F(MainWindowLifeTest, EveryStartHandsTheRunTheDumpAndOnlyTheScheduleMarksIt)
{
    TestWindow window;
    CRunContext& run = window.GetRunContext();
    // A web-site row and a destination, before the window loads them.
    const CString destination = m_environment.Folder() / "dest\\";
    {
        CSqlDB db;
        db.Open(run.profilePath);
        db.Execute(CString("UPDATE backup_settings SET backup_where='") + destination + "';");
        db.Execute("INSERT INTO backup_what (type_id, extra_id, value1, value2, value3, value4, "
                   "value5, value6, value7, value8, checked) VALUES ('1', '0', "
                   "'http://127.0.0.1', '127.0.0.1:', '', '', '127.0.0.1', 'shop', '', '', '1');");
        db.Close();
    }
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    HWND hwnd = window.GetSafeHwnd();
    // Runs what starts a run and waits for the run-end message.
    auto runToEnd = [&](const std::function<void()>& start) {
        TestWindow::s_messages.clear();
        start();
        PumpUntil(120000, [] { return !TestWindow::s_messages.empty(); });
        return TestWindow::s_messages.empty() ? std::string("(none)") : TestWindow::s_messages[0];
    };
    auto press = [hwnd, &window](UINT id) {
        return [hwnd, &window, id] {
            SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(window.FindControl(id)));
        };
    };

    // The window's own dump: here without its script beside the program,
    // so the row is an error, and the run must not say it succeeded.
    const CString before = ReadTextFile(TodaysLogFile(m_appData));
    EXPECT_EQ(runToEnd(press(IDC_BACKUP_START)), "Errors found: 1");
    EXPECT_NE(dynamic_cast<CWebDatabaseDump*>(run.databaseDump), nullptr);
    const std::string log(LogAfter(before));
    EXPECT_NE(log.find("Error at: http://127.0.0.1\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Files backuped: 1\r\nErrors found: 1\r\n"), std::string::npos) << log;

    RecordingDump dump(run);
    MainWindowHooks hooks = window.GetTestHooks();
    hooks.databaseDump = &dump;
    window.SetTestHooks(hooks);
    EXPECT_EQ(runToEnd(press(IDC_BACKUP_START)), "Task sucessfully completed.");
    EXPECT_EQ(dump.calls.load(), 1);
    EXPECT_EQ(dump.scheduled.load(), 0);
    dump.fail = true;
    EXPECT_EQ(runToEnd(press(IDC_OPTIMIZE_BACKUP_NOW)), "Errors found: 1");
    EXPECT_EQ(dump.calls.load(), 2);
    EXPECT_EQ(dump.scheduled.load(), 0);

    // The schedule's slot starts a run marked as scheduled; the run clears
    // the mark at its end.
    dump.fail = false;
    FixedClock clock;
    hooks.scheduleClock = &clock;
    window.SetTestHooks(hooks);
    WriteSettingDword(setting::SheduleEnable, 1);
    WriteSettingDword(setting::SheduleHour, 14);
    WriteSettingDword("SheduleDay1", 1);
    clock.time = Date(2026, 12, 7, 14, 0, 0);
    clock.time.wDayOfWeek = 1;
    EXPECT_EQ(runToEnd([hwnd] { SendMessageA(hwnd, WM_TIMER, kScheduleTimer, 0); }),
              "Task sucessfully completed.");
    EXPECT_EQ(dump.calls.load(), 3);
    EXPECT_EQ(dump.scheduled.load(), 1);
    EXPECT_EQ(run.scheduled.load(), 0);
    window.SetTestHooks(MainWindowHooks());
}

TEST_F(MainWindowLifeTest, ExitAfterRunEndsTheProgramWithTheSummaryButNoMessage)
{
    TestWindow window;
    window.script.push_back([](TestWindow& w) {
        w.GetRunContext().FileStarted("C:\\a");
        // The tray's Close while a backup runs.
        w.GetRunContext().activeRun = 1;
        w.GetRunContext().engineBusy = 1;
        SendMessageA(w.GetSafeHwnd(), WM_COMMAND, ID_TRAY_CLOSE, 0);
        EXPECT_TRUE(w.ExitsAfterRun());
        PostMessageA(w.GetSafeHwnd(), WM_BACKUP_FINISHED, kBackupCompleted, 0);
    });
    const CString before = ReadTextFile(TodaysLogFile(m_appData));
    WriteSettingDword(setting::StatusFilesInBackup, 99);
    EXPECT_EQ(window.DoModal(IDD_MAIN_WINDOW), 1);
    EXPECT_TRUE(TestWindow::s_messages.empty());
    EXPECT_TRUE(TestWindow::s_sounds.empty());
    DWORD files = 0;
    EXPECT_TRUE(ReadSettingDword(setting::StatusFilesInBackup, files));
    EXPECT_EQ(files, 1u);
    const std::string after(ReadTextFile(TodaysLogFile(m_appData)).Mid(before.GetLength()));
    EXPECT_NE(after.find("Files backuped: 1\r\n"), std::string::npos);
}

TEST_F(MainWindowLifeTest, TrayCloseDuringAPauseEndsTheProgramOnceTheRunHasEnded)
{
    TempFolder folder("closepaused");
    CGatedStore store;
    TestWindow window;
    bool held = false;
    std::atomic<HWND> hwnd{nullptr};
    window.script.push_back([&](TestWindow& w) {
        hwnd = w.GetSafeHwnd();
        ASSERT_TRUE(PrepareLiveRun(w, folder, store));
        SendMessageA(w.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_BACKUP_START, 1), 0);
        SendMessageA(w.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_BACKUP_PAUSE, 1), 0);
        held = w.GetRunContext().IsBackupPaused();
    });
    window.script.push_back([&](TestWindow& w) {
        SendMessageA(w.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(ID_TRAY_CLOSE, 0), 0);
        store.Open();
    });
    // A run left waiting on its pause would keep the window for ever: after
    // a generous bound the test ends it with a result of its own.
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread watchdog([&] {
        if (WaitForSingleObject(done, 90000) == WAIT_TIMEOUT)
            PostMessageA(hwnd.load(), kGiveUpMessage, 0, 0);
    });
    const int result = window.DoModal(IDD_MAIN_WINDOW);
    SetEvent(done);
    watchdog.join();
    CloseHandle(done);
    EXPECT_TRUE(held);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(TestWindow::s_messages.empty());
    EXPECT_FALSE(window.GetRunContext().IsBackupPaused());
}

TEST_F(MainWindowLifeTest, TheEndOfARestorePerOutcome)
{
    for (BackupOutcome outcome : {kBackupCompleted, kBackupFailed, kBackupStopped})
    {
        SCOPED_TRACE(static_cast<int>(outcome));
        TestWindow window;
        ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
        HWND hwnd = window.GetSafeHwnd();
        for (int id : {IDC_PAGE_BACKUP, IDC_PAGE_BLANK, IDC_TITLE_ABOUT})
            EnableWindow(GetDlgItem(hwnd, id), FALSE);
        SendMessageA(hwnd, WM_RESTORE_FINISHED, outcome, 0);
        const char* expected = outcome == kBackupCompleted ? "Task sucessfully completed."
                               : outcome == kBackupFailed  ? "Task failed."
                                                           : nullptr;
        EXPECT_EQ(TestWindow::s_messages, expected != nullptr ? std::vector<std::string>{expected}
                                                              : std::vector<std::string>{});
        EXPECT_EQ(TestWindow::s_sounds.size(), 1u);
        for (int id : {IDC_PAGE_BACKUP, IDC_PAGE_BLANK, IDC_TITLE_ABOUT})
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hwnd, id))) << id;
    }
}

TEST_F(MainWindowLifeTest, TheGripAddsTheSizingFrameAndChangesItOnlyWhenItDiffers)
{
    TestWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    HWND hwnd = window.GetSafeHwnd();
    const CRect bounds = window.GetWindowBounds();
    const int w = bounds.Width();
    const int h = bounds.Height();
    auto move = [hwnd](int x, int y) { SendMessageA(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); };
    auto thick = [hwnd]() { return (GetWindowLongA(hwnd, GWL_STYLE) & WS_THICKFRAME) != 0; };

    EXPECT_FALSE(thick());
    window.frameChanges = 0;
    move(10, 10);
    EXPECT_EQ(window.frameChanges, 0) << "no frame change without a change of style";
    move(w - 5, h - 5);
    EXPECT_TRUE(thick());
    const int afterAdd = window.frameChanges;
    EXPECT_GT(afterAdd, 0);
    move(w - 6, h - 6);
    EXPECT_EQ(window.frameChanges, afterAdd);
    move(w - 22, h - 10); // the band keeps it
    EXPECT_TRUE(thick());
    move(10, 10);
    EXPECT_FALSE(thick());
    EXPECT_GT(window.frameChanges, afterAdd);
    SendMessageA(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(w - 5, h - 5));
    SendMessageA(hwnd, WM_NCMOUSELEAVE, 0, 0);
    EXPECT_FALSE(thick());
}

// True when a client finds a USER server on the test's pipe (it then sends
// the bring-to-front notice).
bool ServerAnswers()
{
    std::atomic<bool> answered{false};
    std::atomic<bool> done{false};
    std::thread client([&]() {
        answered = PipeActivateRunningInstance();
        done = true;
    });
    PumpUntil(wait_bound::kStepMs, [&]() { return done.load(); });
    client.join();
    return answered;
}

TEST_F(MainWindowLifeTest, ASecondStartBringsTheTrayWindowBackAndTheConsoleStopsTheServer)
{
    TestWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    HWND hwnd = window.GetSafeHwnd();
    // FirstRun was set: the window went to the tray at once.
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(ServerAnswers());
    PumpUntil(wait_bound::kStepMs, [hwnd]() { return IsWindowVisible(hwnd) != FALSE; });
    EXPECT_TRUE(IsWindowVisible(hwnd));

    SendMessageA(hwnd, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, 0);
    EXPECT_FALSE(window.IsConsoleConnected());
    EXPECT_FALSE(ServerAnswers());
    SendMessageA(hwnd, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, 0);
    EXPECT_TRUE(window.IsConsoleConnected());
    EXPECT_TRUE(ServerAnswers());
}

TEST_F(MainWindowLifeTest, AFirstStartStaysVisibleAndMarksTheUser)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS)
    {
        RegDeleteValueA(key, setting::FirstRun);
        RegCloseKey(key);
    }
    TestWindow window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    EXPECT_TRUE(IsWindowVisible(window.GetSafeHwnd()));
    char title[64] = "";
    GetWindowTextA(window.GetSafeHwnd(), title, sizeof(title));
    EXPECT_STREQ(title, "Orvanel Brindlewox");
    DWORD firstRun = 0;
    EXPECT_TRUE(ReadSettingDword(setting::FirstRun, firstRun));
    EXPECT_EQ(firstRun, 1u);
}

} // namespace
