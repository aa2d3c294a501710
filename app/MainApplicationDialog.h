// MainApplicationDialog: the main program's one top-level window, a skinned
// dialog on template 101 run modally for the whole life of the process. Its
// pieces live in one source file each: life, messages and timers
// (MainApplicationDialog.cpp), initialisation, pages, layout and painting
// (MainInit.cpp), options, status panel and the start of a run
// (MainOptions.cpp), the startup and uninstall pages (MainStartup.cpp) and
// the commands (MainCommands.cpp).
#ifndef BRINDLEWOX_APP_MAINAPPLICATIONDIALOG_H
#define BRINDLEWOX_APP_MAINAPPLICATIONDIALOG_H

#include "foundation/Base.h"
#include "foundation/Dialog.h"
#include "foundation/DllLoader.h"
#include "foundation/Ini.h"
#include "foundation/String.h"
#include "engine/LogFile.h"
#include "engine/RunContext.h"
#include "engine/Scheduler.h"
#include "engine/UserPipeServer.h"
#include "engine/WebDatabaseDump.h"
#include "app/ProgramTrayIcon.h"
#include "app/MainLayout.h"
#include "app/MainWindowHooks.h"
#include "app/MainFrameSkin.h"
#include "app/Page.h"
#include "app/ProgramListPages.h"
#include "app/WizardDialog.h"
#include "app/CommandRules.h"
#include "app/SupportForm.h"
#include "app/UserFolders.h"
#include "foundation/Array.h"
#include "foundation/Controls.h"
#include "skin/SkinButton.h"
#include "skin/SkinXPMenu.h"

#include <atomic>
#include <ctime>
#include <memory>
#include <vector>

class CApplicationsTree;

// The tray icon's callback message (the icon is made with it).
constexpr UINT WM_TRAY_NOTIFY = 0x800A;

// The window's timers.
constexpr UINT_PTR kSaveOptionsTimer = 4;   // every 2,000 ms: SaveOptions
constexpr UINT_PTR kScheduleTimer = 5;      // every 1,000 ms: the scheduler tick
constexpr UINT_PTR kElapsedClockTimer = 7;  // every 1,000 ms while a run lasts
constexpr UINT_PTR kStatusPanelTimer = 12;  // every 3,000 ms: UpdateStatusPanel

class MainApplicationDialog : public CDialog, private IUserPipeHost
{
public:
    MainApplicationDialog();
    ~MainApplicationDialog() override;

    // --- life, messages and timers ---
    // (MainApplicationDialog.cpp)

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Enter in any control of the window or its pages sends IDOK: the window
    // stays (0).
    BOOL OnOK() override;
    // Esc: asks a running backup to stop; the window stays (0).
    BOOL OnCancel() override;
    // WM_CLOSE: as Esc, then the default (the dialog ignores it).
    LRESULT OnClose() override;
    // The life steps of the initialisation, run right after OnInitDialog:
    // window title, tray icon, start state (FirstRun: to the tray at once),
    // the timers 12, 4 and 5, the session notifications and the USER pipe
    // server.
    void OnAfterInitDialog() override;

    // The USER pipe server on its worker (CUserPipeServer); a start that
    // fails is logged. Console connect and disconnect start and stop it.
    void StartUserPipeServer();
    void StopUserPipeServer();

    // The elapsed clock (timer 7): StartBackupRun starts it when a run has
    // started, the end of the run stops it.
    void StartElapsedClock();
    void StopElapsedClock();

    // The end of a backup or restore run (WM_BACKUP_FINISHED,
    // WM_RESTORE_FINISHED; wParam the run's BackupOutcome).
    void OnBackupFinished(BackupOutcome outcome);
    void OnRestoreFinished(BackupOutcome outcome);

    // The run state shared with the backup and restore runs.
    CRunContext& GetRunContext() { return m_run; }
    CProgramTrayIcon& GetTray() { return m_tray; }
    CLogFile& GetLog() { return *m_log; }
    // The three INI files: settings.ini, the skin's and the language's
    // default.ini.
    CIni& GetSettingsIni() { return m_settingsIni; }
    CIni& GetSkinIni() { return m_skinIni; }
    CIni& GetLanguageIni() { return m_languageIni; }
    // L(key, default): the language file's text of the key.
    CString LanguageString(const char* key, const char* english);
    // The control of the main window or of one of its pages with this id
    // (the first page holding it), or null.
    HWND FindControl(UINT id) const;
    void EnableControl(UINT id, bool enable) const;
    void SetControlText(UINT id, const char* text) const;
    CString GetControlText(UINT id) const;

    // Tests only: what stands in for the window's dialogs, sounds, shell and
    // clock (MainWindowHooks.h), set whole.
    void SetTestHooks(const MainWindowHooks& hooks) { m_hooks = hooks; }
    const MainWindowHooks& GetTestHooks() const { return m_hooks; }

    // The folders read by the constructor.
    const UserFolders& GetFolders() const { return m_folders; }
    // The user's SID text, lower-cased; empty when unknown.
    const CString& GetUserSid() const { return m_userSid; }
    // The registry tools' colours: at work and ended.
    COLORREF GetShieldOnColor() const { return m_shieldOn; }
    COLORREF GetShieldOffColor() const { return m_shieldOff; }

    // The tray's Close came while a backup ran: the run's end ends the
    // program.
    bool ExitsAfterRun() const { return m_exitAfterRun.load() != 0; }
    // The console is connected (WM_WTSSESSION_CHANGE): SaveOptions sends
    // the user's profile to the service only then.
    bool IsConsoleConnected() const { return m_consoleConnected.load() != 0; }

    // --- initialisation, pages, layout and painting ---
    // (MainInit.cpp) The initialisation binds every control of the window
    // and of its nine pages to an object of its skinned class, with its skin
    // picture and language text; the pages are WizardDialogs made on the
    // page area. The layout follows the client size; the skin frame is
    // painted around the white client area.
    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override;
    // Lays the window out again (not while minimised).
    LRESULT OnSize(UINT type, WORD width, WORD height) override;
    // The frame, into the given context or a paint cycle of its own; 0.
    LRESULT OnPaint(CDC* dc) override;
    // The whole frame too, never the white alone; 1.
    LRESULT OnEraseBkgnd(CDC* dc) override;
    // The frame through one off-screen buffer on the context (null: the
    // window's own client context).
    void DrawSkin(CDC* dc);
    // WM_GETMINMAXINFO: the template's size is the smallest the window
    // takes.
    void OnGetMinMaxInfo(MINMAXINFO* info);
    // The backup list (284), the destination (225) and the two boxes (3030,
    // 3031) from the profile database; a database error keeps what was
    // loaded so far. 1.
    BOOL LoadProfile();

    // Page switching (Page.cpp). ShowPage shows one page, hides the rest
    // and checks the page's left-bar button, all only while no run is
    // active.
    void ShowPage(Page page);
    // A backup or restore is active: the pages stay as they are.
    bool IsRunActive() const;
    // The left-bar and options-tab commands (IDC_PAGE_*, IDC_OPTIMIZE_SHOW,
    // IDC_OPTIONS_TAB_*); true when the id was one of them.
    bool HandlePageCommand(UINT id);

    // The page's dialog; null for SpareOptions and before the pages exist.
    WizardDialog* GetPage(Page page);
    // The object bound to control `id` of the page (or of the window itself)
    // when it is of class T; null otherwise.
    template <class T> T* GetControl(Page page, UINT id) const
    {
        return dynamic_cast<T*>(FindBoundControl(page, id));
    }
    template <class T> T* GetControl(UINT id) const
    {
        return dynamic_cast<T*>(FindBoundControl(id));
    }
    CWindow* FindBoundControl(Page page, UINT id) const;
    CWindow* FindBoundControl(UINT id) const;
    // The menu icon list (14 images).
    HIMAGELIST GetMenuImages() const { return m_menuImages.GetSafeHandle(); }
    // The startup-manager and uninstall pages.
    CProgramListPages& GetProgramLists() { return m_programLists; }
    // The left-bar buttons' and the options tabs' radio groups.
    CArray<CSkinButton*>& GetPageButtonGroup() { return m_pageButtonGroup; }
    CArray<CSkinButton*>& GetOptionsTabGroup() { return m_optionsTabGroup; }

    // --- options, status panel, start of a run, skin and language ---
    // (MainOptions.cpp) The option pages' controls to and from the settings
    // key, the status panel of the Optimize page, the start of a backup run,
    // and the skin and language lists with their Apply.
    //
    // The option values into their controls, once, before the timers; then
    // the proxy values to the service. A value that cannot be read leaves its
    // control as it is, except 3030, 3031 and 351, which are checked.
    void LoadOptions();
    // Timer 4 (and the tray's Load at Startup): unless a run is active, the
    // controls into the settings key and the Run entry made or removed as 351
    // says (a combo without a selection writes nothing); then, during a run
    // too, the user's SID and profile folder to the service while the
    // console-connected flag is set.
    void SaveOptions();
    // Timer 12: the last backup's date ("none" without one), the total
    // errors and the files in the backup.
    void UpdateStatusPanel();
    // The start of a backup run from the Start button, the tray and the
    // scheduler (scheduled: the scheduler's start). Nothing while a run is
    // active or while the Start button is disabled. The busy flag is set
    // before the worker exists; a start that fails leaves the window as it
    // was, every control enabled and no clock running.
    void StartBackupRun(bool scheduled = false);
    // The skin and language combos (332, 334): the folders of
    // <program>\Skins and <program>\Languages, the one named in settings.ini
    // selected; the language list first sends the current language to the
    // service.
    void FillSkinList();
    void FillLanguageList();
    // Apply (801): asks whether to restart; whatever the answer, the selected
    // skin and language go into settings.ini; on OK the program starts again
    // and this window ends with 1.
    void ApplySkinAndLanguage();
    // Start (213) and Backup Now (959) while no run is active, Apply (801),
    // About (232). True when the id was handled.
    bool HandleOptionsCommand(UINT id);

private:
    // SaveOptions' writes into the settings key and the Run key.
    void SaveOptionValues();
    // The combo of a folder list: its folders, the current one selected.
    void FillFolderList(UINT comboId, const CString& folder, const CString& current);
    // The controls StartBackupRun disables, enabled or disabled.
    void EnableRunControls(bool enable);

public:

    // --- commands ---
    // (MainCommands.cpp) Each area's Handle<Area>Command in turn, then
    // CDialog's.
    LRESULT OnCommand(UINT code, UINT id, HWND control) override;
    // The commands no other area handles: profile editing, run control,
    // restore, proxy, support form, log folder, registry tools, help,
    // maximise and the tray menu. True when the id was one of them.
    bool HandleWindowCommand(UINT id);
    // A new selection in the restore tree (293) becomes the restore page's
    // "what" (226) and the "WhatRestorePath" setting; 0. Other
    // notifications: NotHandled.
    LRESULT OnNotify(NMHDR* header) override;
    // The backup page into the profile: each row's check, the destination
    // and the two boxes (toggled: 1 compression, 2 encryption read as the
    // inverse of what they show, as their own click flips them after
    // reporting it; 0 none). A database error is logged.
    void SaveProfile(int toggled);
    // The run flags as the commands decide on them.
    RunFlags GetRunFlags() const;
    // Runs a dialog of the commands modally (through the test's runner when
    // one is set); the dialog's result.
    int RunModalDialog(CDialog& dialog, UINT templateId);
    bool IsMaximised() const { return m_maximised; }
    // The answers of the work the commands hand to threads of their own
    // (WM_REGISTRY_TOOL_DONE, WM_SUPPORT_FORM_DONE): the end of a registry
    // tool with the service's result, and of the support form's send.
    void OnRegistryToolDone(RegistryTool tool, int result);
    void OnSupportFormDone(SupportFormResult result);

private:
    // --- commands ---
    void StartOrStopRun();
    void PauseOrResumeRun();
    void CloseFromTray();
    void StartRunFromTray();
    void EditProfileItem(int rowId);
    void DeleteChosenItem();
    void ChooseDestination();
    void ToggleEncryption();
    void SaveProfileFile();
    void LoadProfileFile();
    void StartRestore();
    void ChooseRestoreTarget();
    void UpdateProxy();
    void SubmitSupportForm();
    void ChooseAttachment();
    void OpenLogFolder();
    void ResetErrorCount();
    void RunRegistryToolCommand(RegistryTool tool);
    void ShowHelpBalloon();
    void ToggleMaximised();
    void ToggleLoadAtStartup();
    // The control of a page; null before the pages exist.
    HWND PageControl(Page page, UINT id);

    bool m_maximised = false;
    CRect m_restoredRect;

private:
    // --- initialisation, pages, layout and painting ---
    template <class T> T& Bind(HWND parent, UINT id, bool updateFrame);
    CWindow* FindBound(HWND parent, UINT id) const;
    void BindFrame();
    void BindPageControls();
    void BindMenuButtons();
    void BindTitleButtons();
    void BuildMenuImages();
    // Every move of the layout for this client size; `initial` also moves
    // pages 0 and 1, which later sizes leave alone.
    void LayOut(const CSize& client, bool initial);
    void LayOutPage(Page page, const std::vector<mainlayout::Placement>& placements);
    HWND PageWindow(Page page) const;

    CIconHandle m_smallIcon;
    CIconHandle m_largeIcon;
    CMainFrameSkin m_frameSkin;
    WizardDialog m_pages[kPageNumberCount];
    CImageList m_menuImages;
    CProgramListPages m_programLists{*this};
    CArray<CSkinButton*> m_pageButtonGroup;
    CArray<CSkinButton*> m_optionsTabGroup;
    // The objects bound to the window's and the pages' controls, in the
    // order they were bound; declared last, so they go first.
    std::vector<std::unique_ptr<CWindow>> m_bound;
    // The client size of the template, the smallest the window takes, and
    // what the frame adds to it.
    CSize m_templateClient;
    bool m_laidOut = false;

    // --- life, messages and timers ---
    // IUserPipeHost, on the server's thread.
    void BringToFront() override;
    void RemoveTrayIcon() override;
    void WriteStartBanner(const SYSTEMTIME& today);
    // Timer handlers.
    void OnTimer(UINT_PTR id);
    void TickElapsedClock();
    void ShowRunDisplay();
    void CheckScheduleTick();
    // The grip and drag of the frameless window.
    LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);
    void SetThickFrame(bool on);
    // The end of a run: the warning sound and the run-end message.
    void PlayWarningSound();
    void ShowRunEndMessage(const char* text);
    // The summary in the log and the two status values.
    void WriteRunSummary();

    CRunContext m_run;
    // The dump of the web-site rows, handed to every backup run the window
    // starts; it reports through m_run.
    CWebDatabaseDump m_databaseDump{m_run};
    CUserPipeServer m_userPipe{*this};
    CProgramTrayIcon m_tray;
    CSessionNotifications m_sessions{"wtsapi32.dll"};
    bool m_sessionsRegistered = false;
    CScheduler m_scheduler;
    CSystemScheduleClock m_systemClock;
    MainWindowHooks m_hooks;
    std::atomic<LONG> m_exitAfterRun{0};
    std::atomic<LONG> m_consoleConnected{1};

    CIni m_settingsIni;
    CIni m_skinIni;
    CIni m_languageIni;
    UserFolders m_folders;
    CString m_userSid;
    COLORREF m_shieldOn = 0;
    COLORREF m_shieldOff = 0;
    // Made by the start-up, on the application-data folder it found.
    std::unique_ptr<CLogFile> m_log;

    // The timers' ids as SetTimer returned them (0: not set).
    UINT_PTR m_saveOptionsTimer = 0;
    UINT_PTR m_scheduleTimer = 0;
    UINT_PTR m_statusPanelTimer = 0;
    UINT_PTR m_elapsedClockTimer = 0;
    // The start of the current run and the elapsed clock's last reading.
    time_t m_runStart = 0;
    time_t m_clockNow = 0;
};

#endif
