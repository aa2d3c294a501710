// MainApplicationDialog: the main program's one top-level window, a skinned
// dialog on template 101 run modally for the whole life of the process. Its
// bodies live by topic:
//   MainApplicationDialog.cpp  life, messages, timers, controls by id
//   MainInit.cpp               initialisation: every control bound, the profile
//   Page.cpp                   the pages and the switching between them
//   MainLayout.cpp             the layout for the window's size (CMainLayout)
//   MainFrameSkin.cpp          the painted frame (CMainFrameSkin)
//   MainRuns.cpp               the starts and ends of the runs, status panel
//   MainCommands.cpp           the commands
// The window owns the pieces of one topic each: the options pages
// (COptionsPages), the startup-manager and uninstall pages
// (CProgramListPages), the tray icon (CProgramTrayIcon), the layout, the
// frame and the bound controls (CBoundControls).
#ifndef BRINDLEWOX_APP_MAINAPPLICATIONDIALOG_H
#define BRINDLEWOX_APP_MAINAPPLICATIONDIALOG_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/Controls.h"
#include "foundation/Dialog.h"
#include "foundation/DllLoader.h"
#include "foundation/Ini.h"
#include "foundation/String.h"
#include "engine/LogFile.h"
#include "engine/RunContext.h"
#include "engine/Scheduler.h"
#include "engine/UserPipeServer.h"
#include "engine/WebDatabaseDump.h"
#include "skin/SkinButton.h"
#include "app/BoundControls.h"
#include "app/CommandRules.h"
#include "app/MainFrameSkin.h"
#include "app/MainLayout.h"
#include "app/MainWindowHooks.h"
#include "app/OptionsPages.h"
#include "app/Page.h"
#include "app/ProgramListPages.h"
#include "app/ProgramTrayIcon.h"
#include "app/SupportForm.h"
#include "app/UserFolders.h"
#include "app/WizardDialog.h"

#include <atomic>
#include <ctime>
#include <memory>
#include <vector>

// The tray icon's callback message (the icon is made with it).
constexpr UINT WM_TRAY_NOTIFY = 0x800A;

// The window's timers.
constexpr UINT_PTR kSaveOptionsTimer = 4;   // every 2,000 ms: COptionsPages::Save
constexpr UINT_PTR kScheduleTimer = 5;      // every 1,000 ms: the scheduler tick
constexpr UINT_PTR kElapsedClockTimer = 7;  // every 1,000 ms while a run lasts
constexpr UINT_PTR kStatusPanelTimer = 12;  // every 3,000 ms: UpdateStatusPanel

class MainApplicationDialog : public CDialog, private IUserPipeHost
{
public:
    // --- life, messages and timers (MainApplicationDialog.cpp) ---

    // Before any window: the folders, the log, settings.ini, the skin and
    // language files, the profile database and the log's start banner.
    MainApplicationDialog();
    // Stops every run and the USER pipe server before any member goes.
    ~MainApplicationDialog() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Enter anywhere sends IDOK, Esc IDCANCEL: the window stays (0); Esc
    // and WM_CLOSE ask a running backup to stop.
    BOOL OnOK() override;
    BOOL OnCancel() override;
    LRESULT OnClose() override;
    // Right after OnInitDialog: title, tray icon, start state (FirstRun: to
    // the tray at once), the timers 12, 4 and 5, the session notifications
    // and the USER pipe server.
    void OnAfterInitDialog() override;
    // The USER pipe server (a failed start is logged), stopped and started
    // again by the console's disconnect and connect.
    void StartUserPipeServer();
    void StopUserPipeServer();

    CRunContext& GetRunContext() { return m_run; }
    CProgramTrayIcon& GetTray() { return m_tray; }
    CLogFile& GetLog() { return *m_log; }
    // settings.ini, and the skin's and the language's default.ini.
    CIni& GetSettingsIni() { return m_settingsIni; }
    CIni& GetSkinIni() { return m_skinIni; }
    CIni& GetLanguageIni() { return m_languageIni; }
    // The language file's text of the key, `english` without one.
    CString LanguageString(const char* key, const char* english);
    const UserFolders& GetFolders() const { return m_folders; }
    // The user's SID text, lower-cased; empty when unknown.
    const CString& GetUserSid() const { return m_userSid; }
    // The registry tools' colours: at work and ended.
    COLORREF GetShieldOnColor() const { return m_shieldOn; }
    COLORREF GetShieldOffColor() const { return m_shieldOff; }
    // The tray's Close came during a backup: its end ends the program.
    bool ExitsAfterRun() const { return m_exitAfterRun.load() != 0; }
    // Only then do the options send the user's profile to the service.
    bool IsConsoleConnected() const { return m_consoleConnected.load() != 0; }

    // Tests only: what stands in for the window's dialogs, sounds, shell and
    // clock (MainWindowHooks.h), set whole.
    void SetTestHooks(const MainWindowHooks& hooks) { m_hooks = hooks; }
    const MainWindowHooks& GetTestHooks() const { return m_hooks; }

    // --- initialisation and controls (MainInit.cpp) ---

    // Every control of the window and of its nine pages (WizardDialogs on
    // the page area) bound to an object of its skinned class, with its
    // picture and text; then the layout, the options and the profile.
    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override;
    // The backup page from the profile database; a database error keeps
    // what was loaded so far. 1.
    BOOL LoadProfile();
    // The control with this id of the window or of the first page holding
    // it, or null; and what is done to it.
    HWND FindControl(UINT id) const;
    void EnableControl(UINT id, bool enable) const;
    void SetControlText(UINT id, const char* text) const;
    CString GetControlText(UINT id) const;
    // The object bound to control `id` of the page (or of the window) when
    // it is a T; null otherwise.
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
    // The left-bar buttons' and the options tabs' radio groups.
    CArray<CSkinButton*>& GetPageButtonGroup() { return m_pageButtonGroup; }
    CArray<CSkinButton*>& GetOptionsTabGroup() { return m_optionsTabGroup; }

    // --- pages (Page.cpp), layout (MainLayout.cpp), frame (MainFrameSkin.cpp)

    // Shows one page, hides the rest and checks its left-bar button, only
    // while no backup or restore is active.
    void ShowPage(Page page);
    bool IsRunActive() const;
    // The page's dialog; null for SpareOptions and before the pages exist.
    WizardDialog* GetPage(Page page);
    // The startup-manager and uninstall pages.
    CProgramListPages& GetProgramLists() { return m_programLists; }
    LRESULT OnSize(UINT type, WORD width, WORD height) override;
    bool IsMaximised() const { return m_layout.IsMaximised(); }
    // The frame, into the context or a paint cycle of its own (0); the
    // background is the frame too (1).
    LRESULT OnPaint(CDC* dc) override;
    LRESULT OnEraseBkgnd(CDC* dc) override;

    // The backup and options pages' options (timer 4 saves them).
    COptionsPages& GetOptions() { return m_options; }

    // --- runs (MainRuns.cpp) ---

    // A backup run from the Start button, the tray or the scheduler. Nothing
    // while a run is active or the Start button is disabled; a start that
    // fails leaves the window as it was.
    void StartBackupRun(bool scheduled = false);
    // Timer 7, from the start of a run to its end.
    void StartElapsedClock();
    void StopElapsedClock();
    // The ends of the runs (WM_BACKUP_FINISHED, WM_RESTORE_FINISHED).
    void OnBackupFinished(BackupOutcome outcome);
    void OnRestoreFinished(BackupOutcome outcome);
    // Timer 12: the last backup's date ("none" without one), the total
    // errors and the files in the backup.
    void UpdateStatusPanel();

    // --- commands (MainCommands.cpp) ---

    // Each area's handler in turn (the program lists', HandlePageCommand,
    // HandleOptionsCommand, HandleWindowCommand), then CDialog's.
    LRESULT OnCommand(UINT code, UINT id, HWND control) override;
    // A new selection in the restore tree becomes the restore page's "what"
    // and the "WhatRestorePath" setting.
    LRESULT OnNotify(NMHDR* header) override;
    // The backup page into the profile (toggled: 1 compression, 2
    // encryption, read as the inverse of what they show; 0 none).
    void SaveProfile(int toggled);
    RunFlags GetRunFlags() const;
    // A dialog of the commands, modally (through the test's runner if set).
    int RunModalDialog(CDialog& dialog, UINT templateId);
    // The ends of the registry tools' and the support form's threads.
    void OnRegistryToolDone(RegistryTool tool, int result);
    void OnSupportFormDone(SupportFormResult result);

private:
    // IUserPipeHost, on the server's thread.
    void BringToFront() override;
    void RemoveTrayIcon() override;
    void OnTimer(UINT_PTR id);
    void TickElapsedClock();
    void CheckScheduleTick();

    void BindFrame();
    void BindPageControls();
    void BindMenuButtons();
    void BindTitleButtons();
    void BuildMenuImages();
    HWND PageWindow(Page page) const;
    void DrawSkin(CDC* dc);

    // The commands of each area; true when the id was one of them. The
    // left bar and the options tabs (IDC_PAGE_*, IDC_OPTIMIZE_SHOW,
    // IDC_OPTIONS_TAB_*); Start and Backup Now while no run is active,
    // Apply and About; and the rest: profile editing, run control, restore,
    // proxy, support form, log folder, registry tools, help, maximise and
    // the tray menu.
    bool HandlePageCommand(UINT id);
    bool HandleOptionsCommand(UINT id);
    bool HandleWindowCommand(UINT id);
    void CloseFromTray();

    CIconHandle m_smallIcon;
    CIconHandle m_largeIcon;
    CMainFrameSkin m_frameSkin;
    CMainLayout m_layout{*this};
    WizardDialog m_pages[kPageNumberCount];
    CImageList m_menuImages;
    COptionsPages m_options{*this};
    CProgramListPages m_programLists{*this};
    CArray<CSkinButton*> m_pageButtonGroup;
    CArray<CSkinButton*> m_optionsTabGroup;
    // Declared after the pages and groups they use, so they go first.
    CBoundControls m_controls;

    CRunContext m_run;
    // The web-site rows' dump every backup run gets; it reports via m_run.
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
    // Made by the constructor, on the application-data folder it found.
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
