// MainApplicationDialog's life, messages and timers: the constructor's
// start, the destructor, the window procedure's own messages (the tray, the
// console, the timers, the grip and drag of the frameless window), Enter,
// Esc and WM_CLOSE, the USER pipe server and the controls found by id. The
// runs' starts and ends are in MainRuns.cpp.
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

// The log's start banner, in the language file's texts.
void WriteStartBanner(CIni& language, CLogFile& log, const SYSTEMTIME& today)
{
    char module[MAX_PATH + 1] = "";
    if (GetModuleFileNameA(nullptr, module, MAX_PATH) == 0)
        module[0] = 0;
    const OSVERSIONINFOA& version = GetModuleState()->GetOSVersion();
    CString lines[6];
    BuildStartBanner(language, GetFileVersionString(module),
                     OsNameOf(version.dwMajorVersion, version.dwMinorVersion), today, lines);
    for (const CString& line : lines)
        log.WriteLog(line);
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

    WriteStartBanner(m_languageIni, *m_log, today);
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
        m_layout.OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
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
        if (m_layout.OnMouseMove(lParam) == 0)
            return 0;
        break;
    case WM_LBUTTONDOWN:
        // A press anywhere on the client area drags the window.
        SendMessageA(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return 0;
    case WM_NCMOUSELEAVE:
        m_layout.SetThickFrame(false);
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
        m_options.Save();
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
