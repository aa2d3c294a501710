#include "app/OptionsPages.h"

#include "app/MainApplicationDialog.h"
#include "app/MessageDialog.h"
#include "app/ProgramTexts.h"
#include "engine/PipeClient.h"
#include "engine/Settings.h"
#include "foundation/FileFind.h"
#include "foundation/Utility.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "resources/MessageDialogs.h"
#include "skin/SkinComboBox.h"

#include <shellapi.h>

#include <vector>

namespace
{
// The week's check boxes, Sunday to Saturday: SheduleDay0 to SheduleDay6.
constexpr UINT kDayBoxes[7] = {IDC_OPTIONS_SUNDAY,   IDC_OPTIONS_MONDAY,    IDC_OPTIONS_TUESDAY,
                               IDC_OPTIONS_WEDNESDAY, IDC_OPTIONS_THURSDAY, IDC_OPTIONS_FRIDAY,
                               IDC_OPTIONS_SATURDAY};

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

bool StartProgram(const char* program, const char* folder)
{
    return reinterpret_cast<INT_PTR>(
               ShellExecuteA(nullptr, nullptr, program, nullptr, folder, SW_SHOWNORMAL)) > 32;
}


// SaveOptions' writes into the settings key and the Run key.
void SaveOptionValues(MainApplicationDialog& window)
{
    const auto saveBox = [&window](Page page, UINT id, const char* name)
    {
        if (auto* box = window.GetControl<CSkinCheckBox>(page, id))
            WriteSettingDword(name, box->IsChecked() ? 1 : 0);
    };
    saveBox(Page::Backup, IDC_BACKUP_COMPRESS, setting::CheckCompress);
    saveBox(Page::Backup, IDC_BACKUP_ENCRYPT, setting::CheckCrypted);
    saveBox(Page::BackupOptions, IDC_OPTIONS_SCHEDULE, setting::SheduleEnable);
    if (auto* hours = window.GetControl<CSkinComboBox>(Page::BackupOptions, IDC_OPTIONS_HOUR))
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
    if (auto* startup = window.GetControl<CSkinCheckBox>(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP))
    {
        const bool exists = RunEntryExists();
        if (startup->IsChecked() && !exists)
            WriteRegistryString(setting::RunValueName, RunEntryData(GetProgramFolder()),
                                setting::RunKeyPath);
        else if (!startup->IsChecked() && exists)
            DeleteRunEntry();
    }
}

// The combo of a folder list: its folders, the current one selected.
void FillFolderList(MainApplicationDialog& window, UINT comboId, const CString& folder,
                    const CString& current)
{
    auto* combo = window.GetControl<CSkinComboBox>(Page::BackupOptions, comboId);
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
} // namespace

void COptionsPages::Load()
{
    // Checked unless the value says 0.
    const auto checkUnlessOff = [this](Page page, UINT id, const char* name)
    {
        DWORD value = 0;
        auto* box = m_window.GetControl<CSkinCheckBox>(page, id);
        if (box != nullptr && (!ReadSettingDword(name, value) || value != 0))
            box->SetChecked(true);
    };
    // Checked only when the value says so.
    const auto checkWhenOn = [this](Page page, UINT id, const char* name)
    {
        DWORD value = 0;
        auto* box = m_window.GetControl<CSkinCheckBox>(page, id);
        if (box != nullptr && ReadSettingDword(name, value) && value != 0)
            box->SetChecked(true);
    };

    checkUnlessOff(Page::Backup, IDC_BACKUP_COMPRESS, setting::CheckCompress);
    checkUnlessOff(Page::Backup, IDC_BACKUP_ENCRYPT, setting::CheckCrypted);
    checkWhenOn(Page::BackupOptions, IDC_OPTIONS_SCHEDULE, setting::SheduleEnable);
    for (int day = 0; day < 7; ++day)
        checkWhenOn(Page::BackupOptions, kDayBoxes[day], setting::SheduleDay[day]);
    DWORD hour = 0;
    if (auto* hours = m_window.GetControl<CSkinComboBox>(Page::BackupOptions, IDC_OPTIONS_HOUR))
    {
        if (ReadSettingDword(setting::SheduleHour, hour))
            SendMessageA(hours->GetSafeHwnd(), CB_SETCURSEL, hour, 0);
    }

    CString host(""), login(""), password("");
    DWORD port = 0;
    DWORD type = 0;
    const auto setField = [this](UINT id, const char* text)
    {
        if (CWindow* field = m_window.FindBoundControl(Page::MiscOptions, id))
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
    if (auto* types = m_window.GetControl<CSkinComboBox>(Page::MiscOptions, IDC_PROXY_TYPE))
        SendMessageA(types->GetSafeHwnd(), CB_SETCURSEL, type, 0);
    // One short attempt: without the service the window does not wait.
    PipeSendProxySettings(host, port, login, password, type);

    checkUnlessOff(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP, setting::StartOnStartup);
}

void COptionsPages::Save()
{
    // A run (backup or restore) reads the settings: nothing changes under it.
    if (!m_window.IsRunActive())
        SaveOptionValues(m_window);
    // The service serves no BACKUP request before it knows the user: sent
    // on every tick, a run's ticks too (a run started before the first tick
    // would otherwise wait for ever), one short attempt each (no service
    // costs nothing).
    if (m_window.IsConsoleConnected())
        PipeSendUserProfile(m_window.GetUserSid(), m_window.GetFolders().appData);
}

void COptionsPages::FillSkinList()
{
    CString current;
    m_window.GetSettingsIni().GetString(current, "Skin", "Directory", "Default");
    current.Trim();
    FillFolderList(m_window, IDC_OPTIONS_SKIN, GetProgramFolder() + "\\Skins", current);
}

void COptionsPages::FillLanguageList()
{
    CString current;
    m_window.GetSettingsIni().GetString(current, "Language", "Directory", "English");
    current.Trim();
    PipeSendLanguage(current);
    FillFolderList(m_window, IDC_OPTIONS_LANGUAGE, GetProgramFolder() + "\\Languages", current);
}

void COptionsPages::ApplySkinAndLanguage()
{
    MessageDialogOkCancel question(m_window.LanguageString(
        "DL_N_101_271",
        "Your skin and language setting has been changed. They will not be visible until program restart."));
    const int answer = m_window.RunModalDialog(question, IDD_MESSAGE_OKCANCEL);

    // Stored whatever the answer: a choice takes effect at the next start.
    // A combo without a selection (no such folder) changes nothing.
    CString skin, language;
    if (HWND combo = m_window.FindControl(IDC_OPTIONS_SKIN); combo != nullptr && SelectedText(combo, skin))
        m_window.GetSettingsIni().WriteString("Skin", "Directory", skin);
    if (HWND combo = m_window.FindControl(IDC_OPTIONS_LANGUAGE);
        combo != nullptr && SelectedText(combo, language))
        m_window.GetSettingsIni().WriteString("Language", "Directory", language);
    if (answer != IDOK)
        return;

    m_window.GetSettingsIni().GetString(language, "Language", "Directory", "English");
    PipeSendLanguage(language);
    // The new process's single-instance probe must find no USER server.
    m_window.StopUserPipeServer();
    m_window.GetTray().RemoveIcon();
    const CString folder = GetProgramFolder();
    SetCurrentDirectoryA(folder);
    const CString program = folder + "\\Brindlewox.exe";
    const bool started = m_window.GetTestHooks().startProgram != nullptr ? m_window.GetTestHooks().startProgram(program, folder)
                                                         : StartProgram(program, folder);
    if (!started)
    {
        // No new program: this one stays, as it was.
        m_window.GetLog().WriteLog("\r\nThe program could not be started again: " + program + "\r\n");
        m_window.GetTray().AddIcon();
        m_window.StartUserPipeServer();
        return;
    }
    m_window.EndDialog(1);
}
