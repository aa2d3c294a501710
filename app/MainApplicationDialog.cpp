// MainApplicationDialog's life, messages and timers: the start-up of the
// constructor, the destructor, the window procedure's own messages (the
// ends of the runs, the tray, the console, the timers, the grip and drag of
// the frameless window), Enter, Esc and WM_CLOSE, and the USER pipe server.
#include "app/MainApplicationDialog.h"
#include "app/MessageDialog.h"

#include "app/ProgramTexts.h"
#include "app/UserFolders.h"
#include "app/ProgramInfo.h"
#include "app/WindowTask.h"
#include "engine/FileSystem.h"
#include "engine/PipeClient.h"
#include "engine/Profile.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "foundation/CrashDump.h"
#include "foundation/Module.h"
#include "foundation/Utility.h"
#include "resources/Icons.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "resources/MessageDialogs.h"
#include "resources/TrayMenu.h"
#include "skin/ApplicationsTree.h"
#include "skin/FrameBar.h"
#include "skin/SkinFiles.h"

#include <mmsystem.h>
#include <shlobj.h>

#include <atomic>

#include <wtsapi32.h>

namespace
{
// The backup page's controls the window fills while a run lasts and at its
// end, and the restore page's Restore button.
constexpr UINT kFilesCounter = IDC_BACKUP_FILES;
constexpr UINT kErrorsCounter = IDC_BACKUP_ERRORS;
constexpr UINT kRunStatusLine = IDC_BACKUP_CURRENT_FILE;
constexpr UINT kElapsedClock = IDC_BACKUP_ELAPSED;
constexpr UINT kProgressBar = IDC_BACKUP_PROGRESS;
constexpr UINT kStartButton = IDC_BACKUP_START;
constexpr UINT kPauseButton = IDC_BACKUP_PAUSE;
constexpr UINT kBackupList = IDC_BACKUP_LIST;
constexpr UINT kRestoreButton = IDC_RESTORE;
// Enabled again by the end of a backup run (the blank page's button 250,
// disabled by the start, stays disabled).
constexpr UINT kEnabledAfterBackup[] = {IDC_TITLE_HELP, IDC_TITLE_ABOUT, IDC_PAGE_RESTORE,
                                        IDC_PAGE_OPTIONS, IDC_PAGE_STARTUP, IDC_PAGE_UNINSTALL,
                                        IDC_PAGE_SUPPORT, IDC_PAGE_OPTIMIZE, IDC_BACKUP_ADD,
                                        IDC_BACKUP_EDIT, IDC_BACKUP_DELETE,
                                        IDC_BACKUP_SAVE_PROFILE, IDC_BACKUP_LOAD_PROFILE,
                                        IDC_BACKUP_CHOOSE_DESTINATION, IDC_BACKUP_COMPRESS,
                                        IDC_BACKUP_ENCRYPT};
constexpr UINT kEnabledAfterRestore[] = {kRestoreButton, IDC_TITLE_HELP, IDC_TITLE_ABOUT,
                                         IDC_PAGE_BACKUP, IDC_PAGE_BLANK, IDC_PAGE_OPTIONS,
                                         IDC_PAGE_STARTUP, IDC_PAGE_UNINSTALL, IDC_PAGE_SUPPORT,
                                         IDC_PAGE_OPTIMIZE};
// The run-end message's template.
constexpr UINT kRunEndTemplate = IDD_MESSAGE;
// How long the destructor gives each run to end once asked to stop.
constexpr DWORD kWorkerStopMs = 10000;

// The log the pipe senders write into (their refusals, a second start's
// reason to run on its own): the window's, while it lives.
std::atomic<CLogFile*> g_senderLogFile{nullptr};

void WriteSenderLine(const char* line)
{
    if (CLogFile* log = g_senderLogFile.load())
        log->WriteLog(line);
}

void PlaySynchronously(const char* path)
{
    // SND_FILENAME alone: the call returns when the sound has played. A
    // missing file or device plays nothing, silently.
    PlaySoundA(path, nullptr, SND_FILENAME);
}
} // namespace

// Everything before the window exists. The per-user folder and its Log are
// made before settings.ini is written: the system writes no file into a
// missing folder, and on a fresh profile the first-run keys were lost.
MainApplicationDialog::MainApplicationDialog()
{
    // A test's folders: no other instance, privilege or crash handler of
    // this process's own, and the real user's scratch folder left alone.
    const bool testFolders = AreUserFoldersOverridden();
    if (!testFolders)
    {
        // Another instance answers: it comes to the front, this one ends
        // before any window or log line.
        if (PipeActivateRunningInstance())
            ExitProcess(0);
        EnableDebugPrivilege();
        InstallCrashDumpHandler(kCrashApplicationName);
    }

    CString sid;
    if (GetCurrentUserSidText(sid))
    {
        sid.MakeLower();
        m_userSid = sid;
    }

    m_folders = ReadUserFolders();
    if (!testFolders)
        ResetTempFolder();
    DeleteTseFiles(m_folders.temp);

    const CString userFolder = m_folders.appData + "\\" + kProductFolderName;
    CreateDirectoryA(userFolder, nullptr);
    CreateDirectoryA(userFolder + "\\Log", nullptr);
    m_log = std::make_unique<CLogFile>(m_folders.appData);
    g_senderLogFile.store(m_log.get());
    SetPipeSenderLog(WriteSenderLine);

    m_settingsIni.SetPathName(userFolder + "\\settings.ini");
    if (!m_settingsIni.KeyExists("Skin", "Directory"))
    {
        m_settingsIni.WriteString("Skin", "Directory", "Default");
        m_settingsIni.WriteString("Language", "Directory", "English");
    }
    CString skin;
    CString language;
    m_settingsIni.GetString(skin, "Skin", "Directory", "Default");
    m_settingsIni.GetString(language, "Language", "Directory", "English");
    const CString program = GetProgramFolder();
    m_skinIni.SetPathName(program + "\\Skins\\" + skin + "\\default.ini");
    m_languageIni.SetPathName(program + "\\Languages\\" + language + "\\default.ini");

    auto component = [this](const char* key, int byDefault) {
        return static_cast<COLORREF>(m_skinIni.GetInt("Color", key, byDefault, 10));
    };
    m_shieldOn = component("COLOR_SHIELD_ON_R", 255) + 256 * component("COLOR_SHIELD_ON_G", 173) +
                 65536 * component("COLOR_SHIELD_ON_B", 27);
    m_shieldOff = component("COLOR_SHIELD_OFF_R", 255) + 256 * component("COLOR_SHIELD_OFF_G", 0) +
                  65536 * component("COLOR_SHIELD_OFF_B", 0);

    SYSTEMTIME utc;
    GetSystemTime(&utc);
    SYSTEMTIME today = utc;
    UtcToLocalTime(&utc, &today);

    const CString profileFolder = userFolder + "\\Profile";
    CreateDirectoryA(profileFolder, nullptr);
    const CString profilePath = profileFolder + "\\profile.prb";
    try
    {
        CProfileDB(profilePath).CreateIfMissing();
    }
    catch (const CSqlException& exception)
    {
        // Not shown: the next start creates it again while the file is
        // missing.
        m_log->WriteDebugLog(exception);
    }

    m_run.log = m_log.get();
    m_run.profilePath = profilePath;
    m_run.languageFile = m_languageIni.GetPathName();

    WriteStartBanner(today);
}

void MainApplicationDialog::WriteStartBanner(const SYSTEMTIME& today)
{
    char module[MAX_PATH + 1] = "";
    if (GetModuleFileNameA(nullptr, module, MAX_PATH) == 0)
        module[0] = 0;
    const OSVERSIONINFOA& version = GetModuleState()->GetOSVersion();
    CString lines[6];
    BuildStartBanner(m_languageIni, GetFileVersionString(module),
                     OsNameOf(version.dwMajorVersion, version.dwMinorVersion), today, lines);
    for (const CString& line : lines)
        m_log->WriteLog(line);
}

// Every worker is stopped before any member goes: the runs use the context,
// the log and the INI files, the USER server the tray. A run asked to stop
// returns from every wait at once; one that does not end within the bound
// is stuck in a system call, and the process ends with 0 rather than free
// what that run still uses.
MainApplicationDialog::~MainApplicationDialog()
{
    m_run.StopBackup();
    m_userPipe.StopUserPipeServer();
    const bool backupEnded = m_run.backupWorker.StopWithin(kWorkerStopMs) != FALSE;
    const bool restoreEnded = m_run.restoreWorker.StopWithin(kWorkerStopMs) != FALSE;
    if (!backupEnded || !restoreEnded)
        ExitProcess(0);
    // Only this window's log: another window may have set its own since.
    CLogFile* ours = m_log.get();
    g_senderLogFile.compare_exchange_strong(ours, nullptr);
    // WM_DESTROY must reach this class's handler (unregistering the session
    // notifications): the window goes while the object is whole.
    if (GetSafeHwnd() != nullptr)
        Destroy();
}

CString MainApplicationDialog::LanguageString(const char* key, const char* english)
{
    CString text;
    return m_languageIni.GetString(text, "Language", key, english);
}

HWND MainApplicationDialog::FindControl(UINT id) const
{
    HWND window = GetSafeHwnd();
    if (window == nullptr)
        return nullptr;
    if (HWND own = GetDlgItem(window, static_cast<int>(id)))
        return own;
    // The pages are the window's child dialogs.
    for (HWND page = GetWindow(window, GW_CHILD); page != nullptr;
         page = GetWindow(page, GW_HWNDNEXT))
    {
        if (HWND control = GetDlgItem(page, static_cast<int>(id)))
            return control;
    }
    return nullptr;
}

void MainApplicationDialog::EnableControl(UINT id, bool enable) const
{
    if (HWND control = FindControl(id))
        EnableWindow(control, enable ? TRUE : FALSE);
}

void MainApplicationDialog::SetControlText(UINT id, const char* text) const
{
    if (HWND control = FindControl(id))
        ::SetWindowTextA(control, text);
}

CString MainApplicationDialog::GetControlText(UINT id) const
{
    HWND control = FindControl(id);
    const int length = control != nullptr ? GetWindowTextLengthA(control) : 0;
    if (length <= 0)
        return CString("");
    std::unique_ptr<char[]> buffer(new char[length + 1]);
    GetWindowTextA(control, buffer.get(), length + 1);
    return CString(buffer.get());
}

BOOL MainApplicationDialog::OnOK()
{
    return FALSE;
}

BOOL MainApplicationDialog::OnCancel()
{
    m_run.StopBackup();
    return FALSE;
}

LRESULT MainApplicationDialog::OnClose()
{
    m_run.StopBackup();
    return NotHandled;
}

void MainApplicationDialog::OnAfterInitDialog()
{
    ::SetWindowTextA(m_hWnd, kMainWindowTitle);

    HINSTANCE instance = GetModuleState()->GetInstanceHandle();
    m_tray.Create(instance, m_hWnd, WM_TRAY_NOTIFY, kMainWindowTitle,
                  LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM)), IDR_TRAY_MENU, false);
    m_tray.SetTargetWnd(m_hWnd);
    m_tray.SetIconList(IDI_TRAY_ANIMATION_FIRST, IDI_TRAY_ANIMATION_LAST);
    m_tray.ShowIcon();

    // A user who has started the program before finds it in the tray.
    DWORD firstRun = 0;
    if (ReadSettingDword(setting::FirstRun, firstRun))
        MinimiseToTray(m_hWnd);
    else
        WriteSettingDword(setting::FirstRun, 1);

    m_statusPanelTimer = SetTimer(m_hWnd, kStatusPanelTimer, 3000, nullptr);
    m_saveOptionsTimer = SetTimer(m_hWnd, kSaveOptionsTimer, 2000, nullptr);
    m_scheduleTimer = SetTimer(m_hWnd, kScheduleTimer, 1000, nullptr);

    m_sessionsRegistered =
        m_sessions.IsAvailable() && m_sessions.Register(m_hWnd, NOTIFY_FOR_THIS_SESSION);

    StartUserPipeServer();
}

void MainApplicationDialog::StartUserPipeServer()
{
    if (m_userPipe.StartUserPipeServer())
        return;
    CString line;
    line.Format("\r\nDebug: the USER pipe server did not start (error %lu)\r\n", GetLastError());
    m_log->WriteLog(line);
}

void MainApplicationDialog::StopUserPipeServer()
{
    m_userPipe.StopUserPipeServer();
}

void MainApplicationDialog::BringToFront()
{
    PostMessageA(m_hWnd, WM_USER_PIPE_BRING_TO_FRONT, 0, 0);
}

void MainApplicationDialog::RemoveTrayIcon()
{
    m_tray.RemoveIcon();
}

LRESULT MainApplicationDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_BACKUP_FINISHED:
        OnBackupFinished(static_cast<BackupOutcome>(wParam));
        return 0;
    case WM_RESTORE_FINISHED:
        OnRestoreFinished(static_cast<BackupOutcome>(wParam));
        return 0;
    case WM_REGISTRY_TOOL_DONE:
        OnRegistryToolDone(static_cast<RegistryTool>(wParam), static_cast<int>(lParam));
        return 0;
    case WM_SUPPORT_FORM_DONE:
        OnSupportFormDone(static_cast<SupportFormResult>(lParam));
        return 0;
    case WM_USER_PIPE_BRING_TO_FRONT:
        RestoreFromTray(m_hWnd);
        return 0;
    case WM_TRAY_NOTIFY:
        return m_tray.OnTrayNotification(wParam, lParam);
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_WTSSESSION_CHANGE:
        if (wParam == WTS_CONSOLE_CONNECT)
        {
            m_consoleConnected = 1;
            StartUserPipeServer();
        }
        else if (wParam == WTS_CONSOLE_DISCONNECT)
        {
            m_consoleConnected = 0;
            StopUserPipeServer();
        }
        break;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_MOUSEMOVE:
        if (OnMouseMove(wParam, lParam) == 0)
            return 0;
        break;
    case WM_LBUTTONDOWN:
        // A press anywhere on the client area drags the window.
        SendMessageA(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return 0;
    case WM_NCMOUSELEAVE:
        SetThickFrame(false);
        return 0;
    case WM_DESTROY:
        if (m_sessionsRegistered)
        {
            m_sessions.Unregister(m_hWnd);
            m_sessionsRegistered = false;
        }
        for (UINT_PTR* timer : {&m_statusPanelTimer, &m_saveOptionsTimer, &m_scheduleTimer})
        {
            if (*timer != 0)
                KillTimer(m_hWnd, *timer);
            *timer = 0;
        }
        StopElapsedClock();
        break;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void MainApplicationDialog::OnTimer(UINT_PTR id)
{
    switch (id)
    {
    case kSaveOptionsTimer:
        SaveOptions();
        break;
    case kScheduleTimer:
        CheckScheduleTick();
        break;
    case kElapsedClockTimer:
        TickElapsedClock();
        break;
    case kStatusPanelTimer:
        UpdateStatusPanel();
        break;
    default:
        break;
    }
}

void MainApplicationDialog::StartElapsedClock()
{
    m_runStart = time(nullptr);
    m_clockNow = m_runStart;
    StopElapsedClock();
    m_elapsedClockTimer = SetTimer(m_hWnd, kElapsedClockTimer, 1000, nullptr);
}

void MainApplicationDialog::StopElapsedClock()
{
    if (m_elapsedClockTimer != 0 && m_hWnd != nullptr)
        KillTimer(m_hWnd, m_elapsedClockTimer);
    m_elapsedClockTimer = 0;
}

void MainApplicationDialog::TickElapsedClock()
{
    m_clockNow = time(nullptr);
    SetControlText(kElapsedClock,
                   FormatElapsed(static_cast<long long>(difftime(m_clockNow, m_runStart))));
    ShowRunDisplay();
}

// The runs never touch a control: the window copies what they show.
void MainApplicationDialog::ShowRunDisplay()
{
    const RunDisplay display = m_run.GetDisplay();
    CString number;
    number.Format("%ld", display.processedFiles);
    SetControlText(kFilesCounter, number);
    number.Format("%ld", display.errors);
    SetControlText(kErrorsCounter, number);
    SetControlText(kRunStatusLine, display.currentFile);
    if (HWND bar = FindControl(kProgressBar))
    {
        if (auto* progress = dynamic_cast<CProgressBar*>(CWindow::FromHandle(bar)))
        {
            progress->SetRange(0, display.progressRange);
            progress->SetPos(display.progressPosition);
        }
    }
}

void MainApplicationDialog::CheckScheduleTick()
{
    const bool runActive = m_run.activeRun.load() != 0 || m_run.engineBusy.load() != 0;
    IScheduleClock& clock =
        m_hooks.scheduleClock != nullptr ? *m_hooks.scheduleClock : m_systemClock;
    if (!m_scheduler.CheckSchedule(clock, runActive))
        return;
    // The Backup page, as its left-bar button shows it.
    SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_PAGE_BACKUP, 1),
                 reinterpret_cast<LPARAM>(FindControl(IDC_PAGE_BACKUP)));
    StartBackupRun(true);
}

// The sizing frame is changed only when the style really changes: the
// frame change repaints the whole frame, and the mouse moves all the time.
LRESULT MainApplicationDialog::OnMouseMove(WPARAM, LPARAM lParam)
{
    const CRect bounds = GetWindowBounds();
    const mainlayout::GripZone zone = mainlayout::ClassifyGripPoint(static_cast<short>(LOWORD(lParam)),
                                            static_cast<short>(HIWORD(lParam)), bounds.Width(),
                                            bounds.Height());
    if (zone == mainlayout::GripZone::AddFrame)
    {
        SetThickFrame(true);
        return 0;
    }
    if (zone == mainlayout::GripZone::RemoveFrame)
        SetThickFrame(false);
    return NotHandled;
}

void MainApplicationDialog::SetThickFrame(bool on)
{
    const LONG style = GetWindowLongA(m_hWnd, GWL_STYLE);
    const LONG wanted = on ? (style | WS_THICKFRAME) : (style & ~WS_THICKFRAME);
    if (wanted == style)
        return;
    SetWindowLongA(m_hWnd, GWL_STYLE, wanted);
    SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

void MainApplicationDialog::PlayWarningSound()
{
    const CString path = WarningSoundPath(GetProgramFolder());
    if (m_hooks.playSound != nullptr)
        m_hooks.playSound(path);
    else
        PlaySynchronously(path);
}

void MainApplicationDialog::ShowRunEndMessage(const char* text)
{
    if (m_hooks.showRunEndMessage != nullptr)
    {
        m_hooks.showRunEndMessage(*this, text);
        return;
    }
    MessageDialog message(text);
    message.DoModal(kRunEndTemplate);
}

// The counters as the run left them, the elapsed clock as the window last
// showed it.
void MainApplicationDialog::WriteRunSummary()
{
    const RunDisplay display = m_run.GetDisplay();
    WriteSettingDword(setting::StatusTotalErrors, static_cast<DWORD>(display.errors));
    WriteSettingDword(setting::StatusFilesInBackup, static_cast<DWORD>(display.processedFiles));
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    SYSTEMTIME now = utc;
    UtcToLocalTime(&utc, &now);
    CString files;
    files.Format("%ld", display.processedFiles);
    CString errors;
    errors.Format("%ld", display.errors);
    const CString elapsed =
        FormatElapsed(static_cast<long long>(difftime(m_clockNow, m_runStart)));
    m_log->WriteLog(BuildRunSummary(m_languageIni, files, errors, elapsed, now));
}

void MainApplicationDialog::OnBackupFinished(BackupOutcome outcome)
{
    // The counters as the run left them (the last tick may be a second old).
    ShowRunDisplay();
    SetControlText(kRunStatusLine, LanguageString(kNotActiveKey, kNotActiveText));
    // However the run ended (a paused one stopped by Esc or the window's
    // Close included), the next one starts unpaused: its button says so.
    SetControlText(kPauseButton, LanguageString("DL_N_101_41", "Pause"));
    if (m_exitAfterRun.load() != 0)
    {
        // The tray's Close during the run: the summary still goes to the
        // log, without sound or message.
        m_run.CollectBackup();
        StopElapsedClock();
        WriteRunSummary();
        m_tray.RemoveIcon();
        EndDialog(1);
        return;
    }
    m_run.CollectBackup();

    SetControlText(kStartButton, LanguageString("DL_N_101_36", "Start"));
    SetControlText(kRunStatusLine, "");
    if (HWND list = FindControl(kBackupList))
    {
        if (auto* tree = dynamic_cast<CApplicationsTree*>(CWindow::FromHandle(list)))
            tree->SetEditable(true);
    }
    m_tray.StopAnimation();
    StopElapsedClock();

    PlayWarningSound();
    for (UINT id : kEnabledAfterBackup)
        EnableControl(id, true);
    WriteRunSummary();
    EnableControl(kStartButton, true);
    EnableControl(kPauseButton, true);

    if (!IsWindowVisible(m_hWnd))
    {
        RestoreFromTray(m_hWnd);
        InvalidateRect(m_hWnd, nullptr, TRUE);
        UpdateWindow(m_hWnd);
    }
    const CString text = BackupEndText(m_languageIni, outcome, m_run.GetDisplay().errors);
    if (!text.IsEmpty())
        ShowRunEndMessage(text);
}

void MainApplicationDialog::OnRestoreFinished(BackupOutcome outcome)
{
    m_run.restoreWorker.StopIfRunning();
    m_run.restoreWorker.Stop();
    for (UINT id : kEnabledAfterRestore)
        EnableControl(id, true);
    PlayWarningSound();
    const CString text = RunEndText(m_languageIni, outcome);
    if (!text.IsEmpty())
        ShowRunEndMessage(text);
}
