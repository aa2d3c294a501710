// MainApplicationDialog's runs: the start of a backup run (the Start and
// Backup Now buttons, the tray, the scheduler's tick), the elapsed clock and
// the counters while it lasts, the ends of the backup and restore runs with
// their sound, message and log summary, and the status panel of the
// Optimize page that shows the last one.
#include "app/MainApplicationDialog.h"

#include "app/AboutDialog.h"
#include "app/MessageDialog.h"
#include "app/ProgramTexts.h"
#include "engine/Settings.h"
#include "foundation/Utility.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "resources/MessageDialogs.h"
#include "skin/ApplicationsTree.h"
#include "skin/FrameBar.h"

#include <mmsystem.h>

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
void PlaySynchronously(const char* path)
{
    // SND_FILENAME alone: the call returns when the sound has played. A
    // missing file or device plays nothing, silently.
    PlaySoundA(path, nullptr, SND_FILENAME);
}


// What a run disables while it lasts: Help, About, the page buttons but
// Backup's, the backup page's editing buttons and its two boxes. The end of
// the run enables them again.
constexpr UINT kRunDisabled[] = {
    IDC_TITLE_HELP,       IDC_TITLE_ABOUT,          IDC_PAGE_BLANK,          IDC_PAGE_RESTORE,
    IDC_PAGE_OPTIONS,     IDC_PAGE_STARTUP,         IDC_PAGE_UNINSTALL,      IDC_PAGE_SUPPORT,
    IDC_PAGE_OPTIMIZE,    IDC_BACKUP_ADD,           IDC_BACKUP_EDIT,         IDC_BACKUP_DELETE,
    IDC_BACKUP_SAVE_PROFILE, IDC_BACKUP_LOAD_PROFILE, IDC_BACKUP_CHOOSE_DESTINATION,
    IDC_BACKUP_COMPRESS,  IDC_BACKUP_ENCRYPT};

const char kRule[] = "===================================================================";

// The controls a backup run disables, enabled or disabled.
void EnableRunControls(MainApplicationDialog& window, bool enable)
{
    for (UINT id : kRunDisabled)
        window.EnableControl(id, enable);
}

// The runs never touch a control: the window copies what they show.
void ShowRunDisplay(MainApplicationDialog& window)
{
    const RunDisplay display = window.GetRunContext().GetDisplay();
    CString number;
    number.Format("%ld", display.processedFiles);
    window.SetControlText(kFilesCounter, number);
    number.Format("%ld", display.errors);
    window.SetControlText(kErrorsCounter, number);
    window.SetControlText(kRunStatusLine, display.currentFile);
    if (HWND bar = window.FindControl(kProgressBar))
    {
        if (auto* progress = dynamic_cast<CProgressBar*>(CWindow::FromHandle(bar)))
        {
            progress->SetRange(0, display.progressRange);
            progress->SetPos(display.progressPosition);
        }
    }
}

// The end of a run: the warning sound.
void PlayWarningSound(const MainWindowHooks& hooks)
{
    const CString path = WarningSoundPath(GetProgramFolder());
    if (hooks.playSound != nullptr)
        hooks.playSound(path);
    else
        PlaySynchronously(path);
}

void ShowRunEndMessage(MainApplicationDialog& window, const char* text)
{
    if (window.GetTestHooks().showRunEndMessage != nullptr)
    {
        window.GetTestHooks().showRunEndMessage(window, text);
        return;
    }
    MessageDialog message(text);
    message.DoModal(kRunEndTemplate);
}

// The counters as the run left them, the elapsed clock as the window last
// showed it.
void WriteRunSummary(MainApplicationDialog& window, time_t runStart, time_t clockNow)
{
    const RunDisplay display = window.GetRunContext().GetDisplay();
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
        FormatElapsed(static_cast<long long>(difftime(clockNow, runStart)));
    window.GetLog().WriteLog(BuildRunSummary(window.GetLanguageIni(), files, errors, elapsed, now));
}
} // namespace

void MainApplicationDialog::UpdateStatusPanel()
{
    CString last;
    if (!ReadSettingString(setting::StatusLastPerformedBackupTime, last))
        last = LanguageString("DL_N_101_422", "none");
    SetControlText(IDC_OPTIMIZE_LAST_BACKUP, last);
    DWORD value = 0;
    if (ReadSettingDword(setting::StatusTotalErrors, value))
        SetControlText(IDC_OPTIMIZE_ERRORS, Decimal(value));
    if (ReadSettingDword(setting::StatusFilesInBackup, value))
        SetControlText(IDC_OPTIMIZE_FILES, Decimal(value));
}

void MainApplicationDialog::StartBackupRun(bool scheduled)
{
    HWND start = FindControl(IDC_BACKUP_START);
    if (IsRunActive() || start == nullptr || !IsWindowEnabled(start))
        return;
    // A refused start is no backup: the log says why, and the status values
    // and the start line wait for a run that starts. They are written before
    // the run's thread exists, so that the start line comes before anything
    // the run logs; past this check (on this thread, the only one that
    // starts runs) only a thread that cannot be begun fails.
    const RunStart check = m_run.CheckStart();
    if (check != RunStart::Started)
    {
        if (m_log)
            m_log->WriteLog(CString("\r\n") + DescribeRunStart(check) + "\r\n");
        return;
    }

    SetControlText(IDC_BACKUP_FILES, "0");
    SetControlText(IDC_BACKUP_ERRORS, "0");
    SetControlText(IDC_BACKUP_ELAPSED, "00:00");

    SYSTEMTIME utc;
    GetSystemTime(&utc);
    SYSTEMTIME now = utc;
    UtcToLocalTime(&utc, &now);
    WriteSettingDword(setting::LastRunHour, now.wHour);
    WriteSettingDword(setting::LastRunDay, now.wDay);
    WriteSettingDword(setting::LastRunMonth, now.wMonth);
    WriteSettingDword(setting::LastRunYear, now.wYear);
    CString time;
    time.Format("%d/%02d/%02d  %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond);
    CString date;
    date.Format("%d/%02d/%02d", now.wYear, now.wMonth, now.wDay);
    WriteSettingString(setting::StatusLastPerformedBackupTime, date);
    if (m_log)
    {
        m_log->WriteLog(CString("\r\n") + kRule + "\r\n" +
                        LanguageString("DL_N_101_273", "Backup started at:") + " " + time +
                        "\r\n" + kRule + "\r\n");
    }

    if (!IsWindowVisible(m_hWnd))
        RestoreFromTray(GetSafeHwnd());
    EnableRunControls(*this, false);

    // What the run reads, copied on this thread before it starts.
    m_run.window = GetSafeHwnd();
    m_run.log = m_log.get();
    m_run.languageFile = m_languageIni.GetPathName();
    if (CWindow* destination = FindBoundControl(Page::Backup, IDC_BACKUP_DESTINATION))
        m_run.destination = CString(destination->GetSafeHwnd());
    m_run.databaseDump = m_hooks.databaseDump != nullptr ? m_hooks.databaseDump : &m_databaseDump;
    const RunStart result = m_run.StartBackup(scheduled);
    if (result != RunStart::Started)
    {
        // Nothing runs: the window goes back to what it was.
        EnableRunControls(*this, true);
        if (m_log)
            m_log->WriteLog(CString("\r\n") + DescribeRunStart(result) + "\r\n");
        return;
    }
    if (auto* list = GetControl<CApplicationsTree>(Page::Backup, IDC_BACKUP_LIST))
        list->SetEditable(false);
    m_tray.StartAnimation(100, -1);
    StartElapsedClock();
    if (auto* button = GetControl<CSkinButton>(Page::Backup, IDC_BACKUP_START))
    {
        button->SetWindowText(LanguageString("DL_N_101_259", "Stop"));
        button->SetRadioChecked();
    }
}

bool MainApplicationDialog::HandleOptionsCommand(UINT id)
{
    switch (id)
    {
    case IDC_BACKUP_START:
    case IDC_OPTIMIZE_BACKUP_NOW:
        // Stopping a run belongs to the run control.
        if (IsRunActive())
            return false;
        ShowPage(Page::Backup);
        StartBackupRun(false);
        return true;
    case IDC_OPTIONS_APPLY:
        m_options.ApplySkinAndLanguage();
        return true;
    case IDC_TITLE_ABOUT:
    {
        AboutDialog about;
        RunModalDialog(about, IDD_ABOUT);
        return true;
    }
    default:
        return false;
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
    ShowRunDisplay(*this);
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

void MainApplicationDialog::OnBackupFinished(BackupOutcome outcome)
{
    // The counters as the run left them (the last tick may be a second old).
    ShowRunDisplay(*this);
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
        WriteRunSummary(*this, m_runStart, m_clockNow);
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

    PlayWarningSound(m_hooks);
    for (UINT id : kEnabledAfterBackup)
        EnableControl(id, true);
    WriteRunSummary(*this, m_runStart, m_clockNow);
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
        ShowRunEndMessage(*this, text);
}

void MainApplicationDialog::OnRestoreFinished(BackupOutcome outcome)
{
    m_run.restoreWorker.StopIfRunning();
    m_run.restoreWorker.Stop();
    for (UINT id : kEnabledAfterRestore)
        EnableControl(id, true);
    PlayWarningSound(m_hooks);
    const CString text = RunEndText(m_languageIni, outcome);
    if (!text.IsEmpty())
        ShowRunEndMessage(*this, text);
}
