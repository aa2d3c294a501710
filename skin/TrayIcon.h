// CTrayIcon: the program's icon in the taskbar notification area, one per
// process. It adds, hides, changes and removes the icon, animates it while a
// backup runs, shows a skinned right-click menu that a derived class fills
// (the main program's is app/ProgramTrayIcon.h), turns a left click into
// the default command, re-installs the icon when the taskbar is made anew,
// and forwards device-change broadcasts to the main window, all through a
// hidden window of class "TrayIconClass" on the main window's thread.
//
// Beside it, free functions hide the main window "into" the notification
// area and bring it back: the window is given an invisible parent and loses
// WS_VISIBLE, with the system's caption animation when that is on.
#ifndef BRINDLEWOX_SKIN_TRAYICON_H
#define BRINDLEWOX_SKIN_TRAYICON_H

#include "foundation/Array.h"
#include "foundation/Base.h"
#include "foundation/String.h"

#include <shellapi.h>

#include <ctime>

#ifdef _WIN64
static_assert(sizeof(NOTIFYICONDATAA) == 528, "the icon data is passed with cbSize 528");
static_assert(sizeof(APPBARDATA) == 48, "the taskbar query is passed with cbSize 48");
#endif

// Shell_NotifyIconA's shape: the one way the tray talks to the shell.
using ShellNotifyFunction = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAA data);

class CSkinXPMenu;

class CTrayIcon
{
public:
    static constexpr UINT_PTR AnimationTimerId = 4567;
    // The tip field: 127 characters and the terminator.
    static constexpr int TipLimit = 128;
    static constexpr int AddAttempts = 60;
    static constexpr DWORD AddRetryMs = 1000;
    // The command posted to the target window for WM_DEVICECHANGE.
    static constexpr UINT DeviceChangeCommand = 32779;

    // Makes this object the process's tray icon.
    CTrayIcon();
    // Destroys the owned icon, removes the icon, empties the animation list
    // and destroys the hidden window.
    virtual ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Makes the hidden window and adds the icon: the callback message goes
    // to parent (the hidden window when null), which is also the target of
    // the commands. The add is tried up to 60 times, a second apart; when
    // every attempt fails the icon is marked removed and comes back with the
    // taskbar ("TaskbarCreated"). A hidden icon is added with NIS_HIDDEN and
    // keeps its icon, tip and callback. False on a system without a
    // notification area (then every later call does nothing) or when the
    // hidden window cannot be made.
    bool Create(HINSTANCE instance, HWND parent, UINT callbackMessage, const char* tip, HICON icon,
                UINT iconId, bool hidden, const char* balloonText = nullptr,
                const char* balloonTitle = nullptr, DWORD balloonIconFlags = 0,
                UINT balloonSeconds = 10);

    // Removes the icon first when it is there, then adds it. True when the
    // icon is there afterwards.
    bool AddIcon();
    // True when the icon is removed afterwards.
    bool RemoveIcon();
    // Adds a removed icon, or shows a hidden one (NIS_HIDDEN cleared).
    bool ShowIcon();
    // Hides the icon with NIS_HIDDEN (removes it before Windows 2000).
    bool HideIcon();
    // A hidden icon only stores the new icon (true). False when disabled.
    bool SetIcon(HICON icon);
    // Loads the icon resource; the object owns the loaded icon.
    bool SetIconResource(UINT iconResource);
    HICON GetIcon() const;

    void SetTargetWnd(HWND target) { m_target = target; }
    // The target window, or the icon data's window when none was set.
    HWND GetTargetWnd() const;
    // A left click posts the id of the menu resource's item at this position
    // (by position), or this command (not by position).
    void SetDefaultItem(UINT item, bool byPosition);

    // The icons of the resources firstId..lastId, in order (a failed load
    // stays as a null entry). False when firstId > lastId.
    bool SetIconList(UINT firstId, UINT lastId);
    // The animation list from icons the caller made and keeps (they must
    // outlive the animation). False for an empty list.
    bool SetIconList(const HICON* icons, int count);
    // Steps through the list every interval; after durationSeconds (0 or
    // negative: never) the icon of the start comes back. False with an empty
    // list or when the timer cannot be set.
    bool StartAnimation(UINT intervalMs, int durationSeconds);
    // Restores the icon saved at the start; the KillTimer result.
    bool StopAnimation();
    bool IsAnimating() const { return m_timer != 0; }

    // The callback message of the icon (slot 1): a right click shows the
    // menu, a left click posts the default command. 0 for another icon id
    // or without a target window, else 1.
    virtual LRESULT OnTrayNotification(WPARAM iconId, LPARAM mouseMessage);

    // Appends one item (a separator, or a string, checked or not) to the
    // end of a popup.
    static bool AppendMenuItem(const char* text, UINT id, HMENU menu, bool checked, bool separator);

    bool IsEnabled() const { return m_enabled != 0; }
    bool IsHidden() const { return m_hidden != 0; }
    bool IsRemoved() const { return m_removed != 0; }
    HWND GetHiddenWindow() const { return m_hiddenWnd; }
    const NOTIFYICONDATAA& GetIconData() const { return m_data; }
    // The flags the icon was last added with.
    UINT GetSavedFlags() const { return m_savedFlags; }

    // The process's tray icon, or null.
    static CTrayIcon* GetInstance();

    // For tests only: the function the shell is called through (null
    // restores Shell_NotifyIconA); the add attempts and their spacing; the
    // clock of the animation (seconds; null restores time()); and a hook
    // that sees the right-click menu before TrackPopupMenu and returns
    // whether to show it.
    static void SetShellNotify(ShellNotifyFunction function);
    static void SetAddRetries(int attempts, DWORD spacingMs);
    static void SetClock(time_t (*clock)());
    using MenuHook = bool (*)(HMENU menu, void* context);
    static void SetMenuHook(MenuHook hook, void* context);

protected:
    void ReinstallIcon();
    void OnTimer(UINT_PTR id);
    // The right-click menu: filled by FillContextMenu, shown at the cursor
    // with the target window as its owner (after the test hook, when set).
    void ShowContextMenu();
    // Fills the empty menu (its images, Create, its items, Rebuild); false
    // shows nothing. This class has no menu of its own.
    virtual bool FillContextMenu(CSkinXPMenu& menu);
    // The module of the icon's resources: Create's, else the program's.
    HINSTANCE GetResourceModule() const;

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    bool Notify(DWORD message);

    NOTIFYICONDATAA m_data = {};
    HINSTANCE m_instance = nullptr;
    HWND m_hiddenWnd = nullptr;
    HWND m_target = nullptr;
    int m_enabled = 0;
    int m_hidden = 1;
    int m_removed = 1;
    int m_win2000 = 0;
    // The start-up add gave up: the taskbar's return adds the icon again.
    int m_addGaveUp = 0;
    CSimpleArray<HICON> m_animation;
    int m_animationIndex = 0;
    time_t m_animationStart = 0;
    int m_animationSeconds = 0;
    HICON m_savedIcon = nullptr;
    UINT_PTR m_timer = 0;
    HICON m_ownedIcon = nullptr;
    UINT m_defaultItem = 0;
    int m_defaultByPosition = 1;
    UINT m_savedFlags = 0;
};

// The notification area's rectangle on the screen: the "Shell_TrayWnd"
// window (its "TrayNotifyWnd" child less the clock), else a corner of the
// taskbar, else the bottom-right corner of the work area.
void GetTrayWndRect(RECT& rect);

// The fallbacks of GetTrayWndRect without a "Shell_TrayWnd" window. With a
// taskbar on the left or right edge: its left and right, from 100 to 16
// pixels above its bottom; on the top or bottom edge: its top and bottom,
// from 100 to 16 pixels left of its right; another edge leaves rect as it
// is. Without a taskbar: the work area's bottom-right 150 x 30 pixels.
void TrayRectFromTaskbar(RECT& rect, bool taskbarKnown, UINT edge, const RECT& taskbar,
                         const RECT& workArea);
// The clock rule of GetTrayWndRect: a clock at the bottom of the area cuts
// it at the clock's left; one higher up cuts it at the clock's bottom.
void TrimTrayRectByClock(RECT& rect, const RECT& clock);

// Whether the system animates minimising windows (SPI_GETANIMATION).
bool IsMinimiseAnimationOn();
// Gives the window an invisible parent window (made once per process), so
// that it leaves the taskbar. False when that window cannot be made.
bool HideUnderHiddenParent(HWND window);
// Hides the window into the notification area.
void MinimiseToTray(HWND window);
// Brings the window back, shown and active. Called on another thread than
// the window's, it hands the work to the window's thread and returns.
void RestoreFromTray(HWND window);

#endif
