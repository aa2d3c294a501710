#include "skin/TrayIcon.h"

#include "skin/SkinXPMenu.h"

#include "foundation/Exception.h"
#include "foundation/Menu.h"
#include "foundation/Module.h"
#include "foundation/StaticSetup.h"

#include <cstring>
#include <exception>

namespace
{
const char kTrayClassName[] = "TrayIconClass";
const char kTrayWindowTitle[] = "ORVANEL Brindlewox Tray";
// Posted to the hidden parent window by RestoreFromTray called off the
// window's thread: wParam is the window to restore.
const UINT kRestoreMessage = WM_APP + 0x51;

CTrayIcon* g_trayIcon = nullptr;
ShellNotifyFunction g_shellNotify = Shell_NotifyIconA;
int g_addAttempts = CTrayIcon::AddAttempts;
DWORD g_addSpacing = CTrayIcon::AddRetryMs;
time_t SystemClock()
{
    return time(nullptr);
}
time_t (*g_clock)() = SystemClock;
CTrayIcon::MenuHook g_menuHook = nullptr;
void* g_menuHookContext = nullptr;

// The invisible parent of windows hidden into the tray, and the procedure
// of its class it had before ours.
HWND g_hiddenParent = nullptr;
WNDPROC g_hiddenParentProcedure = nullptr;

void ReportException(const char* where, const char* text)
{
    char line[400];
    wsprintfA(line, "Brindlewox: %s failed: %.300s\n", where, text);
    OutputDebugStringA(line);
}

bool IsWindows2000OrLater()
{
    const OSVERSIONINFOA& version = GetModuleState()->GetOSVersion();
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

LRESULT CALLBACK HiddenParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kRestoreMessage)
    {
        RestoreFromTray(reinterpret_cast<HWND>(wParam));
        return 0;
    }
    return CallWindowProcA(g_hiddenParentProcedure, window, message, wParam, lParam);
}
} // namespace

// --- CTrayIcon ---

CTrayIcon::CTrayIcon()
{
    g_trayIcon = this;
    m_win2000 = IsWindows2000OrLater() ? 1 : 0;
}

CTrayIcon::~CTrayIcon()
{
    if (m_timer != 0 && m_hiddenWnd != nullptr)
        KillTimer(m_hiddenWnd, m_timer);
    m_timer = 0;
    RemoveIcon();
    if (m_ownedIcon != nullptr)
        DestroyIcon(m_ownedIcon);
    m_ownedIcon = nullptr;
    m_animation.SetSize(0);
    if (m_hiddenWnd != nullptr)
        DestroyWindow(m_hiddenWnd);
    m_hiddenWnd = nullptr;
    if (g_trayIcon == this)
        g_trayIcon = nullptr;
}

CTrayIcon* CTrayIcon::GetInstance()
{
    return g_trayIcon;
}

bool CTrayIcon::Notify(DWORD message)
{
    m_data.cbSize = sizeof(m_data);
    return g_shellNotify(message, &m_data) != FALSE;
}

bool CTrayIcon::Create(HINSTANCE instance, HWND parent, UINT callbackMessage, const char* tip,
                       HICON icon, UINT iconId, bool hidden, const char* balloonText,
                       const char* balloonTitle, DWORD balloonIconFlags, UINT balloonSeconds)
{
    if (LOBYTE(LOWORD(GetVersion())) < 4)
    {
        m_enabled = 0;
        return false;
    }
    m_instance = instance;

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kTrayClassName;
    RegisterClassExA(&windowClass);
    if (m_hiddenWnd == nullptr)
    {
        m_hiddenWnd = CreateWindowExA(0, kTrayClassName, kTrayWindowTitle, WS_POPUP, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                      instance, nullptr);
    }
    // Enabled only with its window: without one the icon would be sent to
    // the shell with a record never filled in.
    if (m_hiddenWnd == nullptr)
    {
        m_enabled = 0;
        return false;
    }
    m_enabled = 1;

    m_data = {};
    m_data.cbSize = sizeof(m_data);
    m_data.hWnd = parent != nullptr ? parent : m_hiddenWnd;
    m_data.uID = iconId;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_data.uCallbackMessage = callbackMessage;
    m_data.hIcon = icon;
    // At most 127 characters: the field keeps its terminator.
    lstrcpynA(m_data.szTip, tip != nullptr ? tip : "", TipLimit);

    bool balloon = m_win2000 && balloonText != nullptr && *balloonText != '\0';
    if (balloon)
    {
        m_data.uFlags |= NIF_INFO;
        lstrcpynA(m_data.szInfo, balloonText, 256);
        lstrcpynA(m_data.szInfoTitle, balloonTitle != nullptr ? balloonTitle : "", 64);
        m_data.uTimeout = balloonSeconds * 1000;
        m_data.dwInfoFlags = balloonIconFlags;
    }
    m_hidden = hidden ? 1 : 0;
    m_target = m_data.hWnd;
    if (m_win2000 && hidden)
    {
        // Added hidden, with its icon, tip and callback all the same: the
        // state alone would add an icon without them.
        m_data.uFlags |= NIF_STATE;
        m_data.dwState = NIS_HIDDEN;
        m_data.dwStateMask = NIS_HIDDEN;
    }
    m_savedFlags = m_data.uFlags;

    if (!hidden || m_win2000)
    {
        // The shell may not be up yet at log-on: keep trying for a while.
        bool added = false;
        for (int attempt = 0; attempt < g_addAttempts && !added; ++attempt)
        {
            if (attempt > 0)
                Sleep(g_addSpacing);
            added = Notify(NIM_ADD);
        }
        m_removed = added ? 0 : 1;
        m_hidden = (!added || hidden) ? 1 : 0;
        m_addGaveUp = added ? 0 : 1;
    }
    if (balloon)
    {
        // A later change must not show the balloon again.
        m_data.szInfo[0] = '\0';
    }
    return true;
}

bool CTrayIcon::AddIcon()
{
    if (!m_removed)
        RemoveIcon();
    if (m_enabled)
    {
        m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        if (Notify(NIM_ADD))
        {
            m_hidden = 0;
            m_removed = 0;
            m_addGaveUp = 0;
        }
    }
    return !m_removed;
}

bool CTrayIcon::RemoveIcon()
{
    if (m_enabled && !m_removed)
    {
        m_data.uFlags = 0;
        if (Notify(NIM_DELETE))
        {
            m_hidden = 1;
            m_removed = 1;
        }
    }
    return m_removed != 0;
}

bool CTrayIcon::ShowIcon()
{
    if (m_removed)
        return AddIcon();
    if (!m_hidden)
        return true;
    if (!m_win2000)
        return AddIcon();
    m_data.uFlags = NIF_STATE;
    m_data.dwState = 0;
    m_data.dwStateMask = NIS_HIDDEN;
    if (!Notify(NIM_MODIFY))
        return false;
    m_hidden = 0;
    return true;
}

bool CTrayIcon::HideIcon()
{
    if (!m_enabled || m_removed || m_hidden)
        return m_hidden != 0;
    if (!m_win2000)
        return RemoveIcon();
    m_data.uFlags = NIF_STATE;
    m_data.dwState = NIS_HIDDEN;
    m_data.dwStateMask = NIS_HIDDEN;
    if (Notify(NIM_MODIFY))
        m_hidden = 1;
    return m_hidden != 0;
}

bool CTrayIcon::SetIcon(HICON icon)
{
    if (!m_enabled)
        return false;
    m_data.uFlags = NIF_ICON;
    m_data.hIcon = icon;
    if (m_hidden)
        return true;
    return Notify(NIM_MODIFY);
}

bool CTrayIcon::SetIconResource(UINT iconResource)
{
    HINSTANCE instance = GetResourceModule();
    HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(iconResource));
    if (icon == nullptr)
        return false;
    bool set = SetIcon(icon);
    if (m_ownedIcon != nullptr && m_ownedIcon != icon)
        DestroyIcon(m_ownedIcon);
    m_ownedIcon = icon;
    return set;
}

HICON CTrayIcon::GetIcon() const
{
    return m_enabled ? m_data.hIcon : nullptr;
}

HWND CTrayIcon::GetTargetWnd() const
{
    return m_target != nullptr ? m_target : m_data.hWnd;
}

void CTrayIcon::SetDefaultItem(UINT item, bool byPosition)
{
    m_defaultItem = item;
    m_defaultByPosition = byPosition ? 1 : 0;
}

bool CTrayIcon::SetIconList(UINT firstId, UINT lastId)
{
    if (firstId > lastId)
        return false;
    HINSTANCE instance = GetResourceModule();
    m_animation.SetSize(0);
    for (UINT id = firstId; id <= lastId; ++id)
        m_animation.Add(LoadIconA(instance, MAKEINTRESOURCEA(id)));
    return true;
}

bool CTrayIcon::SetIconList(const HICON* icons, int count)
{
    if (icons == nullptr || count <= 0)
        return false;
    m_animation.SetSize(0);
    for (int i = 0; i < count; ++i)
        m_animation.Add(icons[i]);
    return true;
}

bool CTrayIcon::StartAnimation(UINT intervalMs, int durationSeconds)
{
    if (m_animation.GetSize() == 0)
        return false;
    StopAnimation();
    m_animationIndex = 0;
    m_animationSeconds = durationSeconds;
    m_animationStart = g_clock();
    m_savedIcon = GetIcon();
    m_timer =
        SetTimer(m_hiddenWnd, AnimationTimerId, intervalMs, nullptr) != 0 ? AnimationTimerId : 0;
    return m_timer != 0;
}

bool CTrayIcon::StopAnimation()
{
    bool killed = false;
    if (m_timer != 0)
        killed = KillTimer(m_hiddenWnd, m_timer) != FALSE;
    m_timer = 0;
    if (m_savedIcon != nullptr)
    {
        SetIcon(m_savedIcon);
        m_savedIcon = nullptr;
    }
    return killed;
}

void CTrayIcon::OnTimer(UINT_PTR id)
{
    if (id != AnimationTimerId || m_animation.GetSize() == 0)
        return;
    if (m_animationSeconds > 0 && g_clock() - m_animationStart > m_animationSeconds)
    {
        StopAnimation();
        return;
    }
    m_animationIndex = (m_animationIndex + 1) % m_animation.GetSize();
    SetIcon(m_animation[m_animationIndex]);
}

void CTrayIcon::ReinstallIcon()
{
    // A hidden icon stays away; one whose start-up add gave up comes back.
    if (m_hidden && !m_addGaveUp)
        return;
    m_data.uFlags = m_savedFlags;
    bool added = Notify(NIM_ADD);
    if (m_addGaveUp)
    {
        if (!added)
            return;
        m_addGaveUp = 0;
        m_removed = 0;
        m_hidden = (m_savedFlags & NIF_STATE) && (m_data.dwState & NIS_HIDDEN) ? 1 : 0;
        return;
    }
    m_hidden = added ? 0 : 1;
}

LRESULT CTrayIcon::OnTrayNotification(WPARAM iconId, LPARAM mouseMessage)
{
    HWND target = GetTargetWnd();
    if (iconId != m_data.uID || target == nullptr)
        return 0;
    switch (LOWORD(mouseMessage))
    {
    case WM_RBUTTONUP:
        ShowContextMenu();
        break;

    case WM_LBUTTONUP:
    {
        SetForegroundWindow(m_data.hWnd);
        UINT command = m_defaultItem;
        if (m_defaultByPosition)
        {
            HINSTANCE instance = GetResourceModule();
            HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(m_data.uID));
            if (menu == nullptr)
                return 0;
            HMENU popup = GetSubMenu(menu, 0);
            if (popup == nullptr)
            {
                DestroyMenu(menu);
                return 0;
            }
            command = GetMenuItemID(popup, static_cast<int>(m_defaultItem));
            DestroyMenu(menu);
        }
        PostMessageA(target, WM_COMMAND, command, 0);
        break;
    }

    default:
        break;
    }
    return 1;
}

void CTrayIcon::ShowContextMenu()
{
    CSkinXPMenu menu;
    if (!FillContextMenu(menu))
        return;
    POINT cursor = {};
    GetCursorPos(&cursor);
    SetForegroundWindow(m_data.hWnd);
    if (g_menuHook != nullptr && !g_menuHook(menu, g_menuHookContext))
        return;
    TrackPopupMenu(menu, 0, cursor.x, cursor.y, 0, GetTargetWnd(), nullptr);
    // The menu closes properly the next time the user clicks elsewhere.
    PostMessageA(m_data.hWnd, WM_NULL, 0, 0);
}

bool CTrayIcon::FillContextMenu(CSkinXPMenu&)
{
    return false;
}

HINSTANCE CTrayIcon::GetResourceModule() const
{
    return m_instance != nullptr ? m_instance : GetModuleHandleA(nullptr);
}

bool CTrayIcon::AppendMenuItem(const char* text, UINT id, HMENU menu, bool checked, bool separator)
{
    MENUITEMINFOA info = {};
    info.cbSize = GetMenuItemInfoSize();
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE;
    info.fType = separator ? MFT_SEPARATOR : MFT_STRING;
    info.fState = checked ? MFS_CHECKED : 0;
    info.wID = id;
    info.dwTypeData = const_cast<char*>(text != nullptr ? text : "");
    info.cch = static_cast<UINT>(std::strlen(info.dwTypeData));
    return InsertMenuItemA(menu, static_cast<UINT>(-1), TRUE, &info) != FALSE;
}

LRESULT CTrayIcon::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    UINT taskbarCreated = GetTaskbarCreatedMessage();
    if (taskbarCreated != 0 && message == taskbarCreated)
    {
        ReinstallIcon();
        return 0;
    }
    switch (message)
    {
    case WM_TIMER:
        if (wParam == AnimationTimerId)
        {
            OnTimer(wParam);
            return 0;
        }
        break;

    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETWORKAREA)
        {
            ReinstallIcon();
            return 0;
        }
        break;

    case WM_DEVICECHANGE:
        if (HWND target = GetTargetWnd())
            PostMessageA(target, WM_COMMAND, DeviceChangeCommand, 0);
        return 0;

    default:
        if (message == m_data.uCallbackMessage && m_data.hWnd == m_hiddenWnd && message != 0)
            return OnTrayNotification(wParam, lParam);
        break;
    }
    return DefWindowProcA(m_hiddenWnd, message, wParam, lParam);
}

LRESULT CALLBACK CTrayIcon::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CTrayIcon* tray = g_trayIcon;
    if (tray == nullptr || tray->m_hiddenWnd != window)
        return DefWindowProcA(window, message, wParam, lParam);
    try
    {
        return tray->Dispatch(message, wParam, lParam);
    }
    catch (const CException& e)
    {
        ReportException("the tray window", e.GetErrorText());
    }
    catch (const std::exception& e)
    {
        ReportException("the tray window", e.what());
    }
    catch (...)
    {
        ReportException("the tray window", "unknown exception");
    }
    return 0;
}

void CTrayIcon::SetShellNotify(ShellNotifyFunction function)
{
    g_shellNotify = function != nullptr ? function : Shell_NotifyIconA;
}

void CTrayIcon::SetAddRetries(int attempts, DWORD spacingMs)
{
    g_addAttempts = attempts;
    g_addSpacing = spacingMs;
}

void CTrayIcon::SetClock(time_t (*clock)())
{
    g_clock = clock != nullptr ? clock : SystemClock;
}

void CTrayIcon::SetMenuHook(MenuHook hook, void* context)
{
    g_menuHook = hook;
    g_menuHookContext = context;
}

// --- Free functions ---

void TrayRectFromTaskbar(RECT& rect, bool taskbarKnown, UINT edge, const RECT& taskbar,
                         const RECT& workArea)
{
    if (!taskbarKnown)
    {
        rect = workArea;
        rect.left = rect.right - 150;
        rect.top = rect.bottom - 30;
        return;
    }
    switch (edge)
    {
    case ABE_LEFT:
    case ABE_RIGHT:
        rect.left = taskbar.left;
        rect.right = taskbar.right;
        rect.top = taskbar.bottom - 100;
        rect.bottom = taskbar.bottom - 16;
        break;
    case ABE_TOP:
    case ABE_BOTTOM:
        rect.top = taskbar.top;
        rect.bottom = taskbar.bottom;
        rect.left = taskbar.right - 100;
        rect.right = taskbar.right - 16;
        break;
    default:
        break;
    }
}

void TrimTrayRectByClock(RECT& rect, const RECT& clock)
{
    if (clock.bottom >= rect.bottom - 5)
        rect.right = clock.left;
    else
        rect.top = clock.bottom;
}

namespace
{
BOOL CALLBACK FindTrayChildren(HWND child, LPARAM data)
{
    RECT& rect = *reinterpret_cast<RECT*>(data);
    char name[32] = {};
    GetClassNameA(child, name, sizeof(name));
    if (std::strcmp(name, "TrayNotifyWnd") == 0)
    {
        GetWindowRect(child, &rect);
        return TRUE;
    }
    if (std::strcmp(name, "TrayClockWClass") == 0)
    {
        RECT clock = {};
        GetWindowRect(child, &clock);
        TrimTrayRectByClock(rect, clock);
        return FALSE;
    }
    return TRUE;
}
} // namespace

void GetTrayWndRect(RECT& rect)
{
    if (HWND tray = FindWindowA("Shell_TrayWnd", nullptr))
    {
        GetWindowRect(tray, &rect);
        EnumChildWindows(tray, FindTrayChildren, reinterpret_cast<LPARAM>(&rect));
        return;
    }
    APPBARDATA bar = {};
    bar.cbSize = sizeof(bar);
    bool known = SHAppBarMessage(ABM_GETTASKBARPOS, &bar) != 0;
    RECT workArea = {};
    if (!known)
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    TrayRectFromTaskbar(rect, known, bar.uEdge, bar.rc, workArea);
}

bool IsMinimiseAnimationOn()
{
    ANIMATIONINFO info = {};
    info.cbSize = sizeof(info);
    static_assert(sizeof(ANIMATIONINFO) == 8, "ANIMATIONINFO has 8 bytes");
    if (!SystemParametersInfoA(SPI_GETANIMATION, sizeof(info), &info, 0))
        return false;
    return info.iMinAnimate != 0;
}

bool HideUnderHiddenParent(HWND window)
{
    if (g_hiddenParent == nullptr || !IsWindow(g_hiddenParent))
    {
        g_hiddenParent =
            CreateWindowExA(0, "Static", "", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (g_hiddenParent == nullptr)
            return false;
        // The parent also carries restores asked for on other threads to
        // the thread that owns it (and the hidden windows).
        g_hiddenParentProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            g_hiddenParent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HiddenParentProcedure)));
    }
    SetParent(window, g_hiddenParent);
    return true;
}

void MinimiseToTray(HWND window)
{
    if (IsMinimiseAnimationOn())
    {
        RECT from = {};
        RECT to = {};
        GetWindowRect(window, &from);
        GetTrayWndRect(to);
        DrawAnimatedRects(window, IDANI_CAPTION, &from, &to);
    }
    HideUnderHiddenParent(window);
    SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) & ~WS_VISIBLE);
}

void RestoreFromTray(HWND window)
{
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId())
    {
        // Parenting and activation belong to the window's own thread (the
        // USER pipe server calls this from its thread).
        if (g_hiddenParent != nullptr && GetWindowThreadProcessId(g_hiddenParent, nullptr) ==
                                             GetWindowThreadProcessId(window, nullptr))
        {
            PostMessageA(g_hiddenParent, kRestoreMessage, reinterpret_cast<WPARAM>(window), 0);
        }
        else
        {
            ShowWindowAsync(window, SW_SHOW);
        }
        return;
    }
    if (IsMinimiseAnimationOn())
    {
        RECT target = {};
        RECT from = {};
        GetWindowRect(window, &target);
        GetTrayWndRect(from);
        SetParent(window, nullptr);
        DrawAnimatedRects(window, IDANI_CAPTION, &from, &target);
    }
    else
    {
        SetParent(window, nullptr);
    }
    SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) | WS_VISIBLE);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    if (g_hiddenParent != nullptr)
        SetActiveWindow(g_hiddenParent);
    SetActiveWindow(window);
    SetForegroundWindow(window);
}
