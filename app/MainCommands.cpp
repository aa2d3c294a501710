// MainApplicationDialog::OnCommand: the commands of the title bar, the left
// bar, the pages (which forward theirs) and the tray and list menus. Each
// area handles its own ids in its own file (Handle<Area>Command, true when
// it handled the id); what none handles, and every handled id but About
// (232), then goes on to CDialog::OnCommand.
//
// Commands are told apart by id alone: the skinned buttons report their
// clicks with notification code 1, the lists and menus with others.
#include "app/MainApplicationDialog.h"
#include "resources/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/CommandTools.h"
#include "app/MessageDialog.h"
#include "app/ProfileDialogs.h"
#include "app/ProgramInfo.h"
#include "app/RebootWindows.h"
#include "app/SupportForm.h"
#include "app/UserFolders.h"
#include "app/WindowTask.h"
#include "engine/LogFile.h"
#include "engine/Profile.h"
#include "engine/RestoreRun.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "foundation/Exception.h"
#include "foundation/FileDialog.h"
#include "foundation/Shell.h"
#include "foundation/Utility.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "resources/MessageDialogs.h"
#include "resources/ProfileDialogs.h"
#include "resources/TrayMenu.h"
#include "skin/ApplicationsTree.h"
#include "skin/CustomFileDirTree.h"
#include "skin/FrameBar.h"
#include "skin/SkinBalloonHelp.h"
#include "skin/SkinButton.h"

#include <shlobj.h>

#include <string>

namespace
{
// The program's icon, shown in the help balloon.
constexpr UINT kProgramIcon = 102;
constexpr DWORD kHelpBalloonOptions = 0x400;
constexpr UINT kHelpBalloonTimeout = 20000;

// Disabled while a restore runs (the end of the restore enables them).
constexpr UINT kDisabledDuringRestore[] = {IDC_RESTORE,       IDC_TITLE_HELP,    IDC_TITLE_ABOUT,
                                           IDC_PAGE_BACKUP,   IDC_PAGE_BLANK,    IDC_PAGE_OPTIONS,
                                           IDC_PAGE_STARTUP,  IDC_PAGE_UNINSTALL, IDC_PAGE_SUPPORT,
                                           IDC_PAGE_OPTIMIZE};

// The registry tools' status lines and buttons.
UINT StatusLineOf(RegistryTool tool)
{
    switch (tool)
    {
    case RegistryTool::Compact:
        return IDC_OPTIMIZE_DEFRAGMENT_STATUS;
    case RegistryTool::Save:
        return IDC_OPTIMIZE_BACKUP_STATUS;
    case RegistryTool::Restore:
        break;
    }
    return IDC_OPTIMIZE_RESTORE_STATUS;
}

// The folder browser: no owner, an empty title, no flags, rooted at the
// folder when given. The item lists (the chosen one and the root) are
// freed with the shell's allocator.
CString BrowseForFolder(const CString& root)
{
    CString path("");
    if (FAILED(CoInitialize(nullptr)))
        return path;
    LPITEMIDLIST rootList = root.IsEmpty() ? nullptr : PathToPidl(root);
    BROWSEINFOA info = {};
    char display[MAX_PATH] = "";
    info.pidlRoot = rootList;
    info.pszDisplayName = display;
    info.lpszTitle = "";
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    IMalloc* allocator = nullptr;
    bool haveAllocator = SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr;
    if (chosen != nullptr)
    {
        char buffer[MAX_PATH] = "";
        if (SHGetPathFromIDListA(chosen, buffer))
            path = buffer;
        if (haveAllocator)
            allocator->Free(chosen);
    }
    if (rootList != nullptr && haveAllocator)
        allocator->Free(rootList);
    if (haveAllocator)
        allocator->Release();
    CoUninitialize();
    return path;
}

// The open or save dialog with OFN_ENABLESIZING: the chosen folder, "\" and
// the name.
bool ChooseFile(CWindow* owner, bool open, const char* folder, const char* fileName,
                CString& path)
{
    CFileDialog dialog;
    if (!dialog.DoModal(owner, folder, fileName, open, OFN_ENABLESIZING))
        return false;
    path = dialog.GetFolder() + "\\" + dialog.GetFileNames();
    return true;
}

bool ShellOpenFolder(const char* folder)
{
    HINSTANCE result = ShellExecuteA(nullptr, nullptr, folder, nullptr, folder, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

CString ControlText(const MainApplicationDialog& window, UINT id)
{
    HWND control = window.FindControl(id);
    return control != nullptr ? CString(control) : CString("");
}

CString CurrentFolder()
{
    char folder[MAX_PATH] = "";
    DWORD length = GetCurrentDirectoryA(sizeof(folder), folder);
    return length > 0 && length < sizeof(folder) ? CString(folder) : CString("");
}

// The registry tools' view: the window's status lines, buttons, message
// dialogs and folder browser.
class WindowRegistryView : public IRegistryToolView
{
public:
    using FolderChooser = decltype(MainWindowHooks::chooseFolder);

    WindowRegistryView(MainApplicationDialog& window, FolderChooser chooser)
        : m_window(window), m_chooser(chooser)
    {
    }

    void ShowStatus(RegistryTool tool, const CString& text, bool working) override
    {
        HWND line = m_window.FindControl(StatusLineOf(tool));
        if (auto* bar = dynamic_cast<CFrameBar*>(CWindow::FromHandle(line)))
        {
            bar->SetTextColor(working ? m_window.GetShieldOnColor()
                                      : m_window.GetShieldOffColor());
            bar->SetWindowText(text);
        }
        else if (line != nullptr)
        {
            SetWindowTextA(line, text);
        }
        Redraw(line);
    }
    void EnableButtons(RegistryTool tool, bool enable) override
    {
        if (tool == RegistryTool::Save)
        {
            Enable(IDC_OPTIMIZE_BACKUP_REGISTRY, enable);
            return;
        }
        Enable(IDC_OPTIMIZE_DEFRAGMENT, enable);
        Enable(IDC_OPTIMIZE_RESTORE_REGISTRY, enable);
    }
    CString ChooseFolder(const CString& root) override
    {
        return m_chooser != nullptr ? m_chooser(root) : BrowseForFolder(root);
    }
    int ShowMessage(UINT templateId, const CString& text) override
    {
        if (templateId == IDD_MESSAGE_OKCANCEL)
        {
            MessageDialogOkCancel question(text);
            return m_window.RunModalDialog(question, templateId);
        }
        MessageDialog message(text);
        return m_window.RunModalDialog(message, templateId);
    }
    bool Restart() override { return RebootWindows(); }

private:
    static void Redraw(HWND control)
    {
        if (control != nullptr)
            RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    void Enable(UINT id, bool enable)
    {
        m_window.EnableControl(id, enable);
        Redraw(m_window.FindControl(id));
    }

    MainApplicationDialog& m_window;
    FolderChooser m_chooser;
};

HWND PageControl(MainApplicationDialog& window, Page page, UINT id)
{
    WizardDialog* wizard = window.GetPage(page);
    return wizard != nullptr ? GetDlgItem(wizard->GetHwnd(), static_cast<int>(id)) : nullptr;
}

// ---- Run control ----

void StartOrStopRun(MainApplicationDialog& window)
{
    window.ShowPage(Page::Backup);
    switch (DecideStartStop(window.GetRunFlags()))
    {
    case RunAction::StopRun:
        window.EnableControl(IDC_BACKUP_START, false);
        window.EnableControl(IDC_BACKUP_PAUSE, false);
        // The run ends before its next entry; its end message enables the
        // two buttons again.
        window.GetRunContext().StopBackup();
        break;
    case RunAction::StartRun:
        window.StartBackupRun();
        break;
    default:
        break;
    }
}

void StartRunFromTray(MainApplicationDialog& window)
{
    if (window.GetRunFlags().backupRunning)
        return;
    RestoreFromTray(window.GetSafeHwnd());
    window.ShowPage(Page::Backup);
    window.StartBackupRun();
}

void PauseOrResumeRun(MainApplicationDialog& window)
{
    switch (DecidePauseResume(window.GetRunFlags()))
    {
    case RunAction::Resume:
        window.SetControlText(IDC_BACKUP_PAUSE, window.LanguageString("DL_N_101_41", "Pause"));
        window.GetTray().StartAnimation(100, -1);
        window.GetRunContext().ResumeBackup();
        break;
    case RunAction::Pause:
        window.SetControlText(IDC_BACKUP_PAUSE, window.LanguageString("DL_N_101_260", "Resume"));
        window.GetTray().StopAnimation();
        window.GetRunContext().PauseBackup();
        break;
    default:
        break;
    }
}

// ---- Profile editing ----

void EditProfileItem(MainApplicationDialog& window, int rowId)
{
    WhatToAddDialog dialog(rowId, window.GetRunContext().profilePath);
    if (window.RunModalDialog(dialog, IDD_WHAT_TO_ADD) != IDOK)
        return;
    if (!dialog.WasStored())
        window.GetLog().WriteLog("\r\nDebug: the profile's row was not stored");
    window.LoadProfile();
}

void DeleteChosenItem(MainApplicationDialog& window)
{
    auto* list = window.GetControl<CApplicationsTree>(Page::Backup, IDC_BACKUP_LIST);
    int row = list != nullptr ? ChooseListRow(list->GetItemCount(), list->GetSelectedItem()) : -1;
    if (row >= 0)
    {
        try
        {
            CProfileDB(window.GetRunContext().profilePath).DeleteItem(static_cast<int>(list->GetItem(row)->value1));
        }
        catch (const CSqlException& exception)
        {
            window.GetLog().WriteDebugLog(exception);
        }
    }
    window.LoadProfile();
}

void ChooseDestination(MainApplicationDialog& window)
{
    FileFolderSelectionDialog dialog(PageControl(window, Page::Backup, IDC_BACKUP_DESTINATION));
    window.RunModalDialog(dialog, IDD_FILE_FOLDER_SELECTION);
    // Saved whatever the choice: the dialog leaves the field as it was
    // unless a path was taken.
    window.SaveProfile(0);
}

void ToggleEncryption(MainApplicationDialog& window)
{
    auto* box = window.GetControl<CSkinCheckBox>(Page::Backup, IDC_BACKUP_ENCRYPT);
    if (box == nullptr)
        return;
    // The box reports the click before it flips itself.
    if (box->IsChecked())
    {
        window.SaveProfile(2);
        return;
    }
    EnterPasswordDialog dialog(window.GetRunContext().profilePath);
    if (window.RunModalDialog(dialog, IDD_ENTER_PASSWORD) == IDOK)
        window.SaveProfile(2);
    else
        box->SetChecked(true); // its own flip leaves it unchecked
}

// The file dialog, or what the test hooks put in its place.
bool ChooseWindowFile(MainApplicationDialog& window, bool open, const char* folder,
                      const char* fileName, CString& path)
{
    if (window.GetTestHooks().chooseFile != nullptr)
        return window.GetTestHooks().chooseFile(open, folder, fileName, path);
    return ChooseFile(&window, open, folder, fileName, path);
}

void SaveProfileFile(MainApplicationDialog& window)
{
    CString path;
    CString folder = CurrentFolder();
    bool chosen = ChooseWindowFile(window, false, folder, "profile.prb", path);
    if (!chosen)
        return;
    try
    {
        CProfileDB(window.GetRunContext().profilePath).Export(path);
    }
    catch (const CFileException&)
    {
        window.GetLog().WriteLog("\r\nDebug: the profile could not be saved as " + path);
        MessageDialog message(window.LanguageString("DL_N_101_534", "Task failed."));
        window.RunModalDialog(message, IDD_MESSAGE_RESULT);
    }
}

void LoadProfileFile(MainApplicationDialog& window)
{
    CString path;
    CString folder = CurrentFolder();
    bool chosen = ChooseWindowFile(window, true, folder, "profile.prb", path);
    if (!chosen)
        return;
    bool loaded = false;
    try
    {
        // A file that is not a profile is refused before the current one is
        // touched.
        CProfileDB(window.GetRunContext().profilePath).Import(path);
        loaded = true;
    }
    catch (const CSqlException& exception)
    {
        window.GetLog().WriteDebugLog(exception);
    }
    catch (const CFileException&)
    {
        window.GetLog().WriteLog("\r\nDebug: the profile could not be loaded from " + path);
    }
    if (!loaded)
    {
        MessageDialog message(window.LanguageString("DL_N_101_534", "Task failed."));
        window.RunModalDialog(message, IDD_MESSAGE_RESULT);
        return;
    }
    window.LoadProfile();
    window.SaveProfile(0);
}

// ---- Restore ----

void StartRestore(MainApplicationDialog& window)
{
    HWND what = PageControl(window, Page::Restore, IDC_RESTORE_WHAT);
    HWND where = PageControl(window, Page::Restore, IDC_RESTORE_TARGET);
    if (!window.GetRunFlags().backupRunning && !window.GetRunFlags().restoreRunning)
    {
        // Where the end of the restore is posted: without it a restore
        // started before any backup never reported its end, and Restore and
        // the page buttons stayed disabled for good.
        window.GetRunContext().window = window.GetSafeHwnd();
        window.GetRunContext().whatPath = what != nullptr ? CString(what) : CString("");
        window.GetRunContext().wherePath = where != nullptr ? CString(where) : CString("");
    }
    RunStart start = window.GetRunContext().StartRestore();
    if (start != RunStart::Started)
    {
        window.GetLog().WriteLog(CString("\r\nDebug: ") + DescribeRunStart(start));
        return;
    }
    for (UINT id : kDisabledDuringRestore)
        window.EnableControl(id, false);
}

void ChooseRestoreTarget(MainApplicationDialog& window)
{
    HWND target = PageControl(window, Page::Restore, IDC_RESTORE_TARGET);
    FileFolderSelectionDialog dialog(target);
    window.RunModalDialog(dialog, IDD_FILE_FOLDER_SELECTION);
    if (target != nullptr)
        WriteSettingString(setting::WhereRestorePath, CString(target));
}

// ---- Options, support, log, status ----

void UpdateProxy(MainApplicationDialog& window)
{
    HWND type = PageControl(window, Page::MiscOptions, IDC_PROXY_TYPE);
    LRESULT selected = type != nullptr ? SendMessageA(type, CB_GETCURSEL, 0, 0) : CB_ERR;
    UpdateProxySettings(ControlText(window, IDC_PROXY_HOST), ControlText(window, IDC_PROXY_PORT),
                        ControlText(window, IDC_PROXY_LOGIN), ControlText(window, IDC_PROXY_PASSWORD),
                        static_cast<DWORD>(selected));
}

// The form goes out on a thread of its own (a large attachment to a slow
// server takes long); Submit stays disabled until the answer comes back
// (OnSupportFormDone).
void SubmitSupportForm(MainApplicationDialog& window)
{
    // Plain copies for the thread: a CString shares its text by reference.
    const std::string email(ControlText(window, IDC_SUPPORT_EMAIL));
    const std::string name(ControlText(window, IDC_SUPPORT_NAME));
    const std::string description(ControlText(window, IDC_SUPPORT_DESCRIPTION));
    const std::string attachment(ControlText(window, IDC_SUPPORT_ATTACHMENT));
    if (!SupportFormComplete(email.c_str(), name.c_str(), description.c_str()))
    {
        window.OnSupportFormDone(SupportFormResult::Incomplete);
        return;
    }
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof(program));
    const std::string version(GetFileVersionString(program));
    window.EnableControl(IDC_SUPPORT_SUBMIT, false);
    const auto send = [email, name, description, attachment, version]
    {
        SupportFormFields fields;
        fields.email = email.c_str();
        fields.name = name.c_str();
        fields.description = description.c_str();
        fields.attachment = attachment.c_str();
        return static_cast<LPARAM>(
            SendSupportForm(fields, version.c_str(), CUserProxySettings()));
    };
    if (!PostWhenDone(window.GetSafeHwnd(), WM_SUPPORT_FORM_DONE, 0, send,
                      static_cast<LPARAM>(SupportFormResult::NotSent)))
        window.OnSupportFormDone(SupportFormResult::NotSent);
}

void ChooseAttachment(MainApplicationDialog& window)
{
    CString path;
    CString logFolder = GetLogFolder(window.GetFolders().appData);
    bool chosen = ChooseWindowFile(window, true, logFolder, nullptr, path);
    if (chosen)
        window.SetControlText(IDC_SUPPORT_ATTACHMENT, Lowered(path));
}

void OpenLogFolder(MainApplicationDialog& window)
{
    CString program;
    if (GetAppDirectory(program))
        SetCurrentDirectoryA(program);
    CString logFolder = GetLogFolder(window.GetFolders().appData);
    if (window.GetTestHooks().openFolder != nullptr)
        window.GetTestHooks().openFolder(logFolder);
    else
        ShellOpenFolder(logFolder);
}

void ResetErrorCount(MainApplicationDialog& window)
{
    WriteSettingDword(setting::StatusTotalErrors, 0);
    window.SetControlText(IDC_OPTIMIZE_ERRORS, "0");
}

// The request goes out on a thread of its own (the service may work on the
// hives for minutes); the tool's buttons stay disabled until its answer
// comes back (OnRegistryToolDone).
void RunRegistryToolCommand(MainApplicationDialog& window, RegistryTool tool)
{
    WindowRegistryView view(window, window.GetTestHooks().chooseFolder);
    CString chosen;
    if (!BeginRegistryTool(tool, view, window.GetLanguageIni(), window.GetFolders().systemDrive, chosen))
        return;
    const std::string folder(chosen);
    const auto send = [tool, folder]
    { return static_cast<LPARAM>(SendRegistryTool(tool, folder.c_str())); };
    if (!PostWhenDone(window.GetSafeHwnd(), WM_REGISTRY_TOOL_DONE, static_cast<WPARAM>(tool), send, 0))
        window.OnRegistryToolDone(tool, 0);
}

// ---- Title bar and tray ----

void ShowHelpBalloon(MainApplicationDialog& window)
{
    bool visible[kPageNumberCount] = {};
    for (const PageInfo& info : kPages)
    {
        WizardDialog* wizard = window.GetPage(info.page);
        visible[PageNumber(info.page)] =
            wizard != nullptr && (GetWindowLongA(wizard->GetHwnd(), GWL_STYLE) & WS_VISIBLE) != 0;
    }
    CString text = HelpText(window.GetLanguageIni(), FirstVisiblePage(visible));
    HWND help = window.FindControl(IDC_TITLE_HELP);
    if (help == nullptr)
        return;
    // The Help button's bottom-left corner, from the window's top-left.
    RECT button = {};
    RECT frame = {};
    ::GetWindowRect(help, &button);
    ::GetWindowRect(window.GetSafeHwnd(), &frame);
    POINT anchor = {button.left - frame.left, button.bottom - frame.top};
    CSkinBalloonHelp::LaunchBalloon(window.LanguageString("DL_N_101_172", "Orvanel Brindlewox Help"), text,
                                    anchor, kProgramIcon, kHelpBalloonOptions, window.GetSafeHwnd(), "",
                                    kHelpBalloonTimeout);
}

void ToggleLoadAtStartup(MainApplicationDialog& window)
{
    if (auto* box = window.GetControl<CSkinCheckBox>(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP))
        box->SetChecked(!box->IsChecked());
    window.GetOptions().Save();
}
} // namespace

LRESULT MainApplicationDialog::OnCommand(UINT code, UINT id, HWND control)
{
    // Before the page commands: IDC_PAGE_STARTUP and IDC_PAGE_UNINSTALL
    // fill their list, then show it.
    if (m_programLists.HandleCommand(id))
        return CDialog::OnCommand(code, id, control);
    if (HandlePageCommand(id))
        return CDialog::OnCommand(code, id, control);
    // Before the run control: Start and Backup Now with no run active.
    if (HandleOptionsCommand(id))
        return id == IDC_TITLE_ABOUT ? 0 : CDialog::OnCommand(code, id, control);
    if (HandleWindowCommand(id))
        return CDialog::OnCommand(code, id, control);
    return CDialog::OnCommand(code, id, control);
}

bool MainApplicationDialog::HandleWindowCommand(UINT id)
{
    switch (id)
    {
    case IDC_BACKUP_ADD:
        EditProfileItem(*this, kNewProfileRow);
        return true;
    case IDC_BACKUP_EDIT:
    {
        auto* list = GetControl<CApplicationsTree>(Page::Backup, IDC_BACKUP_LIST);
        int row = list != nullptr ? ChooseListRow(list->GetItemCount(), list->GetSelectedItem())
                                  : -1;
        if (row >= 0)
            EditProfileItem(*this, static_cast<int>(list->GetItem(row)->value1));
        return true;
    }
    case IDC_BACKUP_DELETE:
        DeleteChosenItem(*this);
        return true;
    case IDC_BACKUP_CHOOSE_DESTINATION:
        ChooseDestination(*this);
        return true;
    case IDC_BACKUP_LIST:
        SaveProfile(0);
        return true;
    case IDC_BACKUP_COMPRESS:
        SaveProfile(1);
        return true;
    case IDC_BACKUP_ENCRYPT:
        ToggleEncryption(*this);
        return true;
    case IDC_BACKUP_SAVE_PROFILE:
        SaveProfileFile(*this);
        return true;
    case IDC_BACKUP_LOAD_PROFILE:
        LoadProfileFile(*this);
        return true;
    case IDC_BACKUP_START:
    case IDC_OPTIMIZE_BACKUP_NOW:
        StartOrStopRun(*this);
        return true;
    case ID_TRAY_START_BACKUP:
        StartRunFromTray(*this);
        return true;
    case IDC_BACKUP_PAUSE:
        PauseOrResumeRun(*this);
        return true;
    case IDC_RESTORE:
    case ID_RESTORE_MENU_RESTORE:
        StartRestore(*this);
        return true;
    case IDC_RESTORE_CHOOSE_TARGET:
        ChooseRestoreTarget(*this);
        return true;
    case IDC_PROXY_UPDATE:
        UpdateProxy(*this);
        return true;
    case IDC_SUPPORT_SUBMIT:
        SubmitSupportForm(*this);
        return true;
    case IDC_SUPPORT_CHOOSE_ATTACHMENT:
        ChooseAttachment(*this);
        return true;
    case IDC_SUPPORT_LOG_FILE:
    case IDC_OPTIMIZE_VIEW_LOGS:
        OpenLogFolder(*this);
        return true;
    case IDC_OPTIMIZE_RESET:
        ResetErrorCount(*this);
        return true;
    case IDC_OPTIMIZE_DEFRAGMENT:
        RunRegistryToolCommand(*this, RegistryTool::Compact);
        return true;
    case IDC_OPTIMIZE_BACKUP_REGISTRY:
        RunRegistryToolCommand(*this, RegistryTool::Save);
        return true;
    case IDC_OPTIMIZE_RESTORE_REGISTRY:
        RunRegistryToolCommand(*this, RegistryTool::Restore);
        return true;
    case IDC_TITLE_HELP:
        ShowHelpBalloon(*this);
        return true;
    case IDC_TITLE_MINIMISE:
        MinimiseToTray(m_hWnd);
        return true;
    case IDC_TITLE_MAXIMISE:
        m_layout.ToggleMaximised();
        return true;
    case ID_TRAY_ABOUT:
    {
        AboutDialog about;
        RunModalDialog(about, IDD_ABOUT);
        return true;
    }
    case ID_TRAY_OPEN:
        if (IsWindow(m_hWnd))
            RestoreFromTray(m_hWnd);
        return true;
    case ID_TRAY_OPTIONS:
        RestoreFromTray(m_hWnd);
        HandlePageCommand(IDC_PAGE_OPTIONS);
        return true;
    case ID_TRAY_LOAD_AT_STARTUP:
        ToggleLoadAtStartup(*this);
        return true;
    case ID_TRAY_CLOSE:
        CloseFromTray();
        return true;
    default:
        return false;
    }
}

LRESULT MainApplicationDialog::OnNotify(NMHDR* header)
{
    if (header == nullptr || header->idFrom != IDC_RESTORE_TREE ||
        header->code != static_cast<UINT>(TVN_SELCHANGEDA))
        return NotHandled;
    auto* tree = GetControl<CCustomFileDirTree>(Page::Restore, IDC_RESTORE_TREE);
    CString path("");
    if (tree != nullptr)
        tree->GetSelectedPath(path);
    WriteSettingString(setting::WhatRestorePath, path);
    if (HWND what = PageControl(*this, Page::Restore, IDC_RESTORE_WHAT))
        ::SetWindowTextA(what, path);
    return 0;
}

RunFlags MainApplicationDialog::GetRunFlags() const
{
    const CRunContext& run = m_run;
    RunFlags flags;
    flags.backupRunning = run.activeRun.load() == 1 && run.engineBusy.load() != 0;
    flags.paused = run.IsBackupPaused();
    flags.workerAlive = !run.backupWorker.HasEnded();
    flags.restoreRunning = run.activeRun.load() == 2;
    flags.exitAfterRun = ExitsAfterRun();
    return flags;
}

int MainApplicationDialog::RunModalDialog(CDialog& dialog, UINT templateId)
{
    return m_hooks.runModal != nullptr ? m_hooks.runModal(dialog, templateId)
                                       : dialog.DoModal(templateId);
}

void MainApplicationDialog::CloseFromTray()
{
    switch (DecideClose(GetRunFlags()))
    {
    case RunAction::EndProgram:
        StopUserPipeServer();
        m_tray.RemoveIcon();
        EndDialog(1);
        break;
    case RunAction::EndAfterRun:
        // A held run is let go first (StopBackup resumes it): it reaches its
        // stop check and reports its end, which ends the program. Held, it
        // would wait for a Resume that the hidden window can no longer get.
        m_exitAfterRun.store(1);
        m_run.StopBackup();
        StopUserPipeServer();
        break;
    default:
        break;
    }
}

// ---- The window's own: the profile saved, the threads' answers ----

void MainApplicationDialog::SaveProfile(int toggled)
{
    CSimpleArray<ProfileCheck> checks;
    if (auto* list = GetControl<CApplicationsTree>(Page::Backup, IDC_BACKUP_LIST))
    {
        for (int i = 0; i < list->GetItemCount(); ++i)
        {
            const CApplicationsTreeItem* item = list->GetItem(i);
            checks.Add(ProfileCheck{static_cast<int>(item->value1), item->checked != 0});
        }
    }
    HWND destination = PageControl(*this, Page::Backup, IDC_BACKUP_DESTINATION);
    auto* compress = GetControl<CSkinCheckBox>(Page::Backup, IDC_BACKUP_COMPRESS);
    auto* encrypt = GetControl<CSkinCheckBox>(Page::Backup, IDC_BACKUP_ENCRYPT);
    try
    {
        CProfileDB(m_run.profilePath)
            .Save(checks, destination != nullptr ? CString(destination) : CString(""),
                  compress != nullptr && compress->IsChecked(),
                  encrypt != nullptr && encrypt->IsChecked(), toggled);
    }
    catch (const CSqlException& exception)
    {
        GetLog().WriteDebugLog(exception);
    }
}

void MainApplicationDialog::OnSupportFormDone(SupportFormResult result)
{
    EnableControl(IDC_SUPPORT_SUBMIT, true);
    if (result == SupportFormResult::Sent)
    {
        for (UINT id : {IDC_SUPPORT_EMAIL, IDC_SUPPORT_NAME, IDC_SUPPORT_DESCRIPTION,
                        IDC_SUPPORT_ATTACHMENT})
            SetControlText(id, "");
    }
    MessageDialog message(SupportFormMessage(m_languageIni, result));
    RunModalDialog(message, IDD_MESSAGE);
}

void MainApplicationDialog::OnRegistryToolDone(RegistryTool tool, int result)
{
    WindowRegistryView view(*this, m_hooks.chooseFolder);
    FinishRegistryTool(tool, result, view, m_languageIni);
}
