// The options, the status panel, the start of a backup run, and the skin and
// language lists of MainApplicationDialog.
//
// The options live in the settings key (engine/Settings.h) and are written
// back from the controls every 2 seconds; the controls are those bound by
// the initialisation (MainInit.cpp) on the backup, options and optimize
// pages.
#include "app/AboutDialog.h"
#include "app/MainApplicationDialog.h"
#include "app/MessageDialog.h"
#include "engine/PipeClient.h"
#include "engine/Settings.h"
#include "foundation/FileFind.h"
#include "foundation/Utility.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "skin/ApplicationsTree.h"
#include "skin/SkinComboBox.h"

#include <shellapi.h>

#include <vector>

namespace
{

// The week's check boxes, Sunday to Saturday: SheduleDay0 to SheduleDay6.
constexpr UINT kDayBoxes[7] = {IDC_OPTIONS_SUNDAY,   IDC_OPTIONS_MONDAY,    IDC_OPTIONS_TUESDAY,
                               IDC_OPTIONS_WEDNESDAY, IDC_OPTIONS_THURSDAY, IDC_OPTIONS_FRIDAY,
                               IDC_OPTIONS_SATURDAY};

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

// The quoted program path of the Run entry.
CString RunEntryData(const CString& programFolder)
{
    return "\"" + programFolder + "\\Brindlewox.exe\"";
}

// Whether the Run key holds the program's value, whatever its length or
// type (a reader limited to 260 bytes would take a long value for none and
// write over it).
bool RunEntryExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, setting::RunKeyPath, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    const bool exists =
        RegQueryValueExA(key, setting::RunValueName, nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS;
    RegCloseKey(key);
    return exists;
}

void DeleteRunEntry()
{
    HKEY key = nullptr;
    // Full access (0xF003F), as the key is opened to change it.
    if (RegOpenKeyExA(HKEY_CURRENT_USER, setting::RunKeyPath, 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, setting::RunValueName);
    RegCloseKey(key);
}

// The selected item's text; false for a combo without a selection (its
// CB_GETLBTEXTLEN would be CB_ERR and the text no item's).
bool SelectedText(HWND combo, CString& text)
{
    const LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return false;
    const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, selected, 0);
    if (length == CB_ERR)
        return false;
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    if (SendMessageA(combo, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(buffer.data())) ==
        CB_ERR)
        return false;
    text = buffer.data();
    return true;
}

CString Decimal(DWORD value)
{
    CString text;
    text.Format("%lu", static_cast<unsigned long>(value));
    return text;
}

bool StartProgram(const char* program, const char* folder)
{
    return reinterpret_cast<INT_PTR>(
               ShellExecuteA(nullptr, nullptr, program, nullptr, folder, SW_SHOWNORMAL)) > 32;
}

} // namespace

void MainApplicationDialog::LoadOptions()
{
    // Checked unless the value says 0.
    const auto checkUnlessOff = [this](Page page, UINT id, const char* name)
    {
        DWORD value = 0;
        auto* box = GetControl<CSkinCheckBox>(page, id);
        if (box != nullptr && (!ReadSettingDword(name, value) || value != 0))
            box->SetChecked(true);
    };
    // Checked only when the value says so.
    const auto checkWhenOn = [this](Page page, UINT id, const char* name)
    {
        DWORD value = 0;
        auto* box = GetControl<CSkinCheckBox>(page, id);
        if (box != nullptr && ReadSettingDword(name, value) && value != 0)
            box->SetChecked(true);
    };

    checkUnlessOff(Page::Backup, IDC_BACKUP_COMPRESS, setting::CheckCompress);
    checkUnlessOff(Page::Backup, IDC_BACKUP_ENCRYPT, setting::CheckCrypted);
    checkWhenOn(Page::BackupOptions, IDC_OPTIONS_SCHEDULE, setting::SheduleEnable);
    for (int day = 0; day < 7; ++day)
        checkWhenOn(Page::BackupOptions, kDayBoxes[day], setting::SheduleDay[day]);
    DWORD hour = 0;
    if (auto* hours = GetControl<CSkinComboBox>(Page::BackupOptions, IDC_OPTIONS_HOUR))
    {
        if (ReadSettingDword(setting::SheduleHour, hour))
            SendMessageA(hours->GetSafeHwnd(), CB_SETCURSEL, hour, 0);
    }

    CString host(""), login(""), password("");
    DWORD port = 0;
    DWORD type = 0;
    const auto setField = [this](UINT id, const char* text)
    {
        if (CWindow* field = FindBoundControl(Page::MiscOptions, id))
            field->SetWindowText(text);
    };
    if (ReadSettingString(setting::ProxyHost, host))
        setField(IDC_PROXY_HOST, host);
    if (ReadSettingDword(setting::ProxyPort, port) && port > 0)
        setField(IDC_PROXY_PORT, Decimal(port));
    if (ReadSettingString(setting::ProxyLogin, login))
        setField(IDC_PROXY_LOGIN, login);
    if (ReadSettingString(setting::ProxyPassword, password))
        setField(IDC_PROXY_PASSWORD, password);
    if (!ReadSettingDword(setting::ProxyType, type))
        type = 0;
    if (auto* types = GetControl<CSkinComboBox>(Page::MiscOptions, IDC_PROXY_TYPE))
        SendMessageA(types->GetSafeHwnd(), CB_SETCURSEL, type, 0);
    // One short attempt: without the service the window does not wait.
    PipeSendProxySettings(host, port, login, password, type);

    checkUnlessOff(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP, setting::StartOnStartup);
}

void MainApplicationDialog::SaveOptions()
{
    // A run (backup or restore) reads the settings: nothing changes under it.
    if (!IsRunActive())
        SaveOptionValues();
    // The service serves no BACKUP request before it knows the user: sent
    // on every tick, a run's ticks too (a run started before the first tick
    // would otherwise wait for ever), one short attempt each (no service
    // costs nothing).
    if (m_consoleConnected.load() != 0)
        PipeSendUserProfile(m_userSid, m_folders.appData);
}

void MainApplicationDialog::SaveOptionValues()
{
    const auto saveBox = [this](Page page, UINT id, const char* name)
    {
        if (auto* box = GetControl<CSkinCheckBox>(page, id))
            WriteSettingDword(name, box->IsChecked() ? 1 : 0);
    };
    saveBox(Page::Backup, IDC_BACKUP_COMPRESS, setting::CheckCompress);
    saveBox(Page::Backup, IDC_BACKUP_ENCRYPT, setting::CheckCrypted);
    saveBox(Page::BackupOptions, IDC_OPTIONS_SCHEDULE, setting::SheduleEnable);
    if (auto* hours = GetControl<CSkinComboBox>(Page::BackupOptions, IDC_OPTIONS_HOUR))
    {
        const LRESULT selected = SendMessageA(hours->GetSafeHwnd(), CB_GETCURSEL, 0, 0);
        if (selected != CB_ERR)
        {
            const LRESULT hour = SendMessageA(hours->GetSafeHwnd(), CB_GETITEMDATA, selected, 0);
            if (hour != CB_ERR)
                WriteSettingDword(setting::SheduleHour, static_cast<DWORD>(hour));
        }
    }
    for (int day = 0; day < 7; ++day)
        saveBox(Page::BackupOptions, kDayBoxes[day], setting::SheduleDay[day]);
    saveBox(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP, setting::StartOnStartup);

    // The Run entry: made once when asked for (an existing one is left as it
    // is, even with other data), removed when not.
    if (auto* startup = GetControl<CSkinCheckBox>(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP))
    {
        const bool exists = RunEntryExists();
        if (startup->IsChecked() && !exists)
            WriteRegistryString(setting::RunValueName, RunEntryData(GetProgramFolder()),
                                setting::RunKeyPath);
        else if (!startup->IsChecked() && exists)
            DeleteRunEntry();
    }
}

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

void MainApplicationDialog::EnableRunControls(bool enable)
{
    for (UINT id : kRunDisabled)
        EnableControl(id, enable);
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
    EnableRunControls(false);

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
        EnableRunControls(true);
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

void MainApplicationDialog::FillFolderList(UINT comboId, const CString& folder,
                                           const CString& current)
{
    auto* combo = GetControl<CSkinComboBox>(Page::BackupOptions, comboId);
    if (combo == nullptr)
        return;
    SendMessageA(combo->GetSafeHwnd(), CB_RESETCONTENT, 0, 0);
    CFileFinder finder;
    int index = 0;
    for (bool found = finder.FindFile(folder + "\\*.*"); found; found = finder.FindNextFile())
    {
        CString name;
        if (!finder.GetFileName(name) || name.IsEmpty() || name[0] == '.' ||
            !finder.IsDirectory())
            continue;
        if (combo->InsertStringWithData(index, name, index) < 0)
            continue;
        if (name.CompareNoCase(current) == 0)
            SendMessageA(combo->GetSafeHwnd(), CB_SETCURSEL, index, 0);
        ++index;
    }
}

void MainApplicationDialog::FillSkinList()
{
    CString current;
    m_settingsIni.GetString(current, "Skin", "Directory", "Default");
    current.Trim();
    FillFolderList(IDC_OPTIONS_SKIN, GetProgramFolder() + "\\Skins", current);
}

void MainApplicationDialog::FillLanguageList()
{
    CString current;
    m_settingsIni.GetString(current, "Language", "Directory", "English");
    current.Trim();
    PipeSendLanguage(current);
    FillFolderList(IDC_OPTIONS_LANGUAGE, GetProgramFolder() + "\\Languages", current);
}

void MainApplicationDialog::ApplySkinAndLanguage()
{
    MessageDialogOkCancel question(LanguageString(
        "DL_N_101_271",
        "Your skin and language setting has been changed. They will not be visible until program restart."));
    const int answer = RunModalDialog(question, IDD_MESSAGE_OKCANCEL);

    // Stored whatever the answer: a choice takes effect at the next start.
    // A combo without a selection (no such folder) changes nothing.
    CString skin, language;
    if (HWND combo = FindControl(IDC_OPTIONS_SKIN); combo != nullptr && SelectedText(combo, skin))
        m_settingsIni.WriteString("Skin", "Directory", skin);
    if (HWND combo = FindControl(IDC_OPTIONS_LANGUAGE);
        combo != nullptr && SelectedText(combo, language))
        m_settingsIni.WriteString("Language", "Directory", language);
    if (answer != IDOK)
        return;

    m_settingsIni.GetString(language, "Language", "Directory", "English");
    PipeSendLanguage(language);
    // The new process's single-instance probe must find no USER server.
    StopUserPipeServer();
    m_tray.RemoveIcon();
    const CString folder = GetProgramFolder();
    SetCurrentDirectoryA(folder);
    const CString program = folder + "\\Brindlewox.exe";
    const bool started = m_hooks.startProgram != nullptr ? m_hooks.startProgram(program, folder)
                                                         : StartProgram(program, folder);
    if (!started)
    {
        // No new program: this one stays, as it was.
        if (m_log)
            m_log->WriteLog("\r\nThe program could not be started again: " + program + "\r\n");
        m_tray.AddIcon();
        StartUserPipeServer();
        return;
    }
    EndDialog(1);
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
        ApplySkinAndLanguage();
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
