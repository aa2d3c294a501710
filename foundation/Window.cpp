#include "foundation/Window.h"

#include "foundation/DllLoader.h"
#include "foundation/Exception.h"
#include "foundation/FrameworkHooks.h"
#include "foundation/Module.h"
#include "foundation/MultiMon.h"
#include "foundation/String.h"

#include <cstring>
#include <exception>
#include <initializer_list>

namespace
{
HMENU g_currentMenu = nullptr;

const char kDialogClass[] = "#32770";

// Whether the pointer is a window object of either list. Compares pointers
// only: safe on any value, also on a create parameter that is not an object.
bool IsWindowObject(const void* object)
{
    return g_windowList.Contains(object) || g_temporaryWindowList.Contains(object);
}

CWindow* FindWindowObject(HWND window)
{
    CWindow* object = g_windowList.FindWindow(window);
    if (object == nullptr)
        object = g_temporaryWindowList.FindWindow(window);
    return object;
}

bool IsChildWindow(HWND window)
{
    return (GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD) != 0;
}

// What a window gets when it has no object (any more): the dialog manager's
// own handling for a dialog, the system default for anything else.
LRESULT DefaultWithoutObject(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    char className[10];
    if (GetClassNameA(window, className, sizeof(className)) > 0 &&
        std::strcmp(className, kDialogClass) == 0)
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

// A handler threw: the exception stops here, is reported as the worker
// threads' are (SetExceptionReporter: the main program's log), and the
// message gets the result 0. Formatting uses a stack buffer only, since the
// exception may be an allocation failure.
void ReportHandlerException(UINT message, const char* text)
{
    char line[400];
    wsprintfA(line, "Brindlewox: a window handler failed on message 0x%04X: %.300s\r\n",
              message, text);
    ReportCaughtException(line);
}

using AnimateWindowFn = BOOL(WINAPI*)(HWND, DWORD, DWORD);
} // namespace

CWindow* CNodeList::FindWindow(HWND window) const
{
    if (window == nullptr)
        return nullptr;
    for (CNode* node = m_pHead; node != nullptr; node = node->GetNext())
    {
        CWindow* object = static_cast<CWindow*>(node);
        if (object->GetHwnd() == window && IsWindow(window))
            return object;
    }
    return nullptr;
}

CWindow::CWindow()
{
    g_currentMenu = nullptr;
    g_windowList.AddHead(this);
}

CWindow::~CWindow()
{
    HWND window = GetSafeHwnd();
    if (window != nullptr)
    {
        if (m_ownsWindow)
            ::DestroyWindow(window);
        else
            RestoreProcedure();
    }
    m_hWnd = nullptr;
    m_prevProc = nullptr;
    if (!g_windowList.Remove(this))
        g_temporaryWindowList.Remove(this);
}

void CWindow::PreSubclassWindow() {}

bool CWindow::PreCreateWindow(CREATESTRUCTA& create)
{
    if (create.lpszClass == nullptr)
        create.lpszClass = "CWindowClass";
    return true;
}

bool CWindow::Destroy()
{
    HWND window = GetSafeHwnd();
    if (window == nullptr)
        return false;
    if (m_ownsWindow)
        return ::DestroyWindow(window) != FALSE;
    RestoreProcedure();
    m_hWnd = nullptr;
    m_prevProc = nullptr;
    return true;
}

LRESULT CWindow::OnNcDestroy()
{
    m_isDialog = 0;
    m_hWnd = nullptr;
    m_prevProc = nullptr;
    return 0;
}

bool CWindow::PreTranslateMessage(MSG* message)
{
    HWND window = GetSafeHwnd();
    if (window == nullptr)
        return false;
    if (m_isDialog)
        return IsDialogMessageA(window, message) != FALSE;
    // A top-level window has no parent to ask.
    CWindow* parent = FromHandle(GetParent(window));
    if (parent == nullptr || parent->GetSafeHwnd() == nullptr)
        return false;
    return IsDialogMessageA(parent->GetSafeHwnd(), message) != FALSE;
}

LRESULT CWindow::OnCommand(UINT, UINT, HWND)
{
    return NotHandled;
}

LRESULT CWindow::OnReflectedCommand(UINT, int&)
{
    return NotHandled;
}

LRESULT CWindow::OnNotify(NMHDR*)
{
    return NotHandled;
}

LRESULT CWindow::OnChildNotify(NMHDR*, int&)
{
    return NotHandled;
}

LRESULT CWindow::OnPaint(CDC*)
{
    return NotHandled;
}

LRESULT CWindow::OnEraseBkgnd(CDC*)
{
    return NotHandled;
}

LRESULT CWindow::OnSize(UINT, WORD, WORD)
{
    return NotHandled;
}

LRESULT CWindow::OnMove(WORD, WORD)
{
    return NotHandled;
}

LRESULT CWindow::OnDestroy()
{
    return NotHandled;
}

LRESULT CWindow::OnClose()
{
    return NotHandled;
}

LRESULT CWindow::OnMeasureItem(UINT, MEASUREITEMSTRUCT*)
{
    return NotHandled;
}

LRESULT CWindow::OnDrawItem(UINT, DRAWITEMSTRUCT*)
{
    return NotHandled;
}

LRESULT CWindow::OnReflectedMeasureItem(UINT, MEASUREITEMSTRUCT*, int&)
{
    return NotHandled;
}

LRESULT CWindow::OnReflectedDrawItem(UINT, DRAWITEMSTRUCT*, int&)
{
    return NotHandled;
}

LRESULT CWindow::OnCreate(CREATESTRUCTA*)
{
    return CreateNotHandled;
}

LRESULT CWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_prevProc != nullptr && m_prevProc != WindowProcedure)
        return CallWindowProcA(m_prevProc, m_hWnd, message, wParam, lParam);
    if (m_isDialog)
        return 0;
    if (m_isMdiFrame)
        return DefFrameProcA(m_hWnd, m_hMdiClient, message, wParam, lParam);
    return DefWindowProcA(m_hWnd, message, wParam, lParam);
}

bool CWindow::GetWindowSize(CSize& size)
{
    RECT rect;
    if (m_hWnd == nullptr || !::GetWindowRect(m_hWnd, &rect))
        return false;
    size = CSize(rect.right - rect.left, rect.bottom - rect.top);
    return true;
}

bool CWindow::Attach(HWND window, bool owns)
{
    if (GetSafeHwnd() != nullptr)
        return false;
    if (owns && FindWindowObject(window) != nullptr)
        return false;

    char className[10];
    if (window == nullptr || GetClassNameA(window, className, sizeof(className)) <= 0)
    {
        m_hWnd = nullptr;
        m_prevProc = nullptr;
        return false;
    }
    m_isDialog = std::strcmp(className, kDialogClass) == 0 ? 1 : 0;
    m_ownsWindow = owns ? 1 : 0;
    m_hWnd = window;
    m_prevProc = nullptr;

    int slot = m_isDialog ? DWLP_DLGPROC : GWLP_WNDPROC;
    WNDPROC current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, slot));
    if (current == nullptr || current == WindowProcedure)
        return true;

    PreSubclassWindow();
    SetLastError(0);
    LONG_PTR previous =
        SetWindowLongPtrA(window, slot, reinterpret_cast<LONG_PTR>(&CWindow::WindowProcedure));
    // A window of another process cannot be subclassed: the object then
    // holds the handle without routing its messages.
    if (previous == 0 && GetLastError() != 0)
        return true;
    m_prevProc = reinterpret_cast<WNDPROC>(previous);
    return true;
}

HWND CWindow::Detach()
{
    HWND window = m_hWnd;
    if (GetSafeHwnd() != nullptr)
        RestoreProcedure();
    m_hWnd = nullptr;
    m_prevProc = nullptr;
    return window;
}

void CWindow::RestoreProcedure()
{
    if (m_prevProc == nullptr || m_prevProc == WindowProcedure || m_hWnd == nullptr)
        return;
    SetWindowLongPtrA(m_hWnd, m_isDialog ? DWLP_DLGPROC : GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(m_prevProc));
    m_prevProc = nullptr;
}

bool CWindow::CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                       int x, int y, int width, int height, HWND parent, HMENU menuOrId)
{
    if (GetSafeHwnd() != nullptr)
        return false;
    CREATESTRUCTA create = {};
    create.dwExStyle = exStyle;
    create.lpszClass = className;
    create.lpszName = windowName;
    create.style = static_cast<LONG>(style);
    create.x = x;
    create.y = y;
    create.cx = width;
    create.cy = height;
    create.hwndParent = parent;
    create.hMenu = menuOrId;
    if (!PreCreateWindow(create))
        return false;

    HWND window = CreateWindowExA(create.dwExStyle, create.lpszClass, create.lpszName,
                                  static_cast<DWORD>(create.style), create.x, create.y, create.cx,
                                  create.cy, create.hwndParent, create.hMenu,
                                  GetModuleState()->GetInstanceHandle(), this);
    if (window == nullptr)
        return false;
    // A framework class bound the window at WM_NCCREATE; a foreign class
    // (a system control) runs its own procedure until it is subclassed here.
    if (m_hWnd != window)
        Attach(window, true);
    if (m_hWnd == window)
        m_ownsWindow = 1;
    return GetSafeHwnd() != nullptr;
}

bool CWindow::Create(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                     const RECT& rect, HWND parent, HMENU menuOrId)
{
    return CreateEx(exStyle, className, windowName, style, rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top, parent, menuOrId);
}

CWindow* CWindow::FromHandle(HWND window)
{
    if (window == nullptr)
        return nullptr;
    CWindow* object = FindWindowObject(window);
    if (object != nullptr)
        return object;
    if (!IsWindow(window))
        return nullptr;
    object = new CWindow();
    if (!object->Attach(window, false))
    {
        delete object;
        return nullptr;
    }
    g_windowList.Remove(object);
    g_temporaryWindowList.AddHead(object);
    return object;
}

void CWindow::DestroyTemporaryWindows()
{
    while (CNode* node = g_temporaryWindowList.GetHead())
    {
        g_temporaryWindowList.Remove(node);
        delete node;
    }
}

void CWindow::CloseMarkedWindows()
{
    CSimpleArray<HWND> marked;
    for (const CNodeList* list : {&g_windowList, &g_temporaryWindowList})
    {
        for (CNode* node = list->GetHead(); node != nullptr; node = node->GetNext())
        {
            CWindow* object = static_cast<CWindow*>(node);
            if (object->m_closeOnRequest && object->GetSafeHwnd() != nullptr)
                marked.Add(object->m_hWnd);
        }
    }
    for (int i = 0; i < marked.GetSize(); ++i)
    {
        if (IsWindow(marked[i]))
            SendMessageA(marked[i], WM_CLOSE, 0, 0);
    }
}

HWND CWindow::GetSafeHwnd() const
{
    return m_hWnd != nullptr && IsWindow(m_hWnd) ? m_hWnd : nullptr;
}

void CWindow::ModifyStyle(DWORD remove, DWORD add, DWORD add2)
{
    if (m_hWnd == nullptr)
        return;
    LONG_PTR style = GetWindowLongPtrA(m_hWnd, GWL_STYLE);
    style = (style & ~static_cast<LONG_PTR>(remove)) | static_cast<LONG_PTR>(add) |
            static_cast<LONG_PTR>(add2);
    SetWindowLongPtrA(m_hWnd, GWL_STYLE, style);
}

BOOL CWindow::SetWindowText(const char* textOrId)
{
    // CString loads the resource when the pointer is an id below 65,536.
    CString text(textOrId);
    return ::SetWindowTextA(m_hWnd, text);
}

bool CWindow::SubclassAndUpdateFrame(HWND window)
{
    if (!Attach(window, false))
        return false;
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    return true;
}

CRect CWindow::GetClientRect() const
{
    CRect rect;
    if (!::GetClientRect(m_hWnd, rect))
        rect = CRect();
    return rect;
}

CRect CWindow::GetWindowBounds() const
{
    CRect rect;
    if (m_hWnd == nullptr || !::GetWindowRect(m_hWnd, rect))
        rect = CRect();
    return rect;
}

BOOL CWindow::CenterWindow(HWND other)
{
    return CenterWindowOver(GetSafeHwnd(), other);
}

BOOL CenterWindowOver(HWND window, HWND other)
{
    if (window == nullptr || !IsWindow(window))
        return FALSE;
    RECT bounds;
    if (!::GetWindowRect(window, &bounds))
        return FALSE;
    RECT workArea = bounds;
    CMultiMon monitors;
    monitors.GetWorkAreaNearWindow(window, workArea);
    RECT centreOn = workArea;
    if (other != nullptr && IsWindow(other))
        ::GetWindowRect(other, &centreOn);
    CPoint position = CenteredWindowPosition(bounds, centreOn, workArea);
    return SetWindowPos(window, nullptr, position.x, position.y, 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CPoint CenteredWindowPosition(const RECT& window, const RECT& centreOn, const RECT& workArea)
{
    CSize size(window.right - window.left, window.bottom - window.top);
    CPoint position(centreOn.left + ((centreOn.right - centreOn.left) - size.cx) / 2,
                    centreOn.top + ((centreOn.bottom - centreOn.top) - size.cy) / 2);
    return KeepInsideWorkArea(position, size, workArea);
}

BOOL CWindow::AnimateWindow(DWORD time, DWORD flags)
{
    static bool looked = false;
    static AnimateWindowFn animate = nullptr;
    if (!looked)
    {
        looked = true;
        animate = GetLoadedFunction<AnimateWindowFn>("user32.dll", "AnimateWindow");
    }
    if (animate == nullptr)
        return 0;
    return animate(m_hWnd, time, flags);
}

LRESULT CWindow::QueryUIState()
{
    const OSVERSIONINFOA& version = GetModuleState()->GetOSVersion();
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5)
        return SendMessageA(m_hWnd, WM_QUERYUISTATE, 0, 0);
    return 0;
}

BOOL CWindow::MoveWindow(const RECT& rect, BOOL repaint)
{
    return ::MoveWindow(m_hWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                        repaint);
}

HMENU CWindow::GetCurrentMenu()
{
    return g_currentMenu;
}

void CWindow::SetCurrentMenu(HMENU menu)
{
    g_currentMenu = menu;
}

BOOL CALLBACK SendMessageToChildProc(HWND child, LPARAM message)
{
    SendMessageA(child, static_cast<UINT>(message), 0, 0);
    return TRUE;
}

LRESULT CWindow::ReflectedResult(LRESULT result)
{
    if (!m_isDialog)
        return result;
    SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
    return 1;
}

LRESULT CALLBACK CWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // No exception may unwind through the system's dispatching code.
    try
    {
        return Dispatch(window, message, wParam, lParam);
    }
    catch (const CException& e)
    {
        ReportHandlerException(message, e.GetReportText());
    }
    catch (CException* e)
    {
        // Socket errors are thrown as heap objects; the catcher deletes them.
        ReportHandlerException(message, e->GetReportText());
        delete e;
    }
    catch (const std::exception& e)
    {
        ReportHandlerException(message, e.what());
    }
    catch (...)
    {
        ReportHandlerException(message, "unknown exception");
    }
    return 0;
}

LRESULT CWindow::Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // 1. The object.
    CWindow* self = ObjectOfMessage(window, message, lParam);

    // 2. No object, or a dead one.
    if (self == nullptr || self->GetSafeHwnd() == nullptr)
        return DefaultWithoutObject(window, message, wParam, lParam);

    // 3. The handlers. A handler may delete its object (or others): nothing
    // of the object is touched after a call without checking that it still
    // exists.
    const Outcome handled = self->HandleMessage(window, message, wParam, lParam);
    if (handled.then == Then::ObjectGone)
        return DefaultWithoutObject(window, message, wParam, lParam);
    if (handled.then == Then::Return)
        return handled.result;
    LRESULT result = handled.result;

    // 4. Not handled: the fallback, while the window lives.
    if (result == NotHandled && message != WM_NCDESTROY)
    {
        if (!IsWindowObject(self))
            return DefaultWithoutObject(window, message, wParam, lParam);
        if (self->GetSafeHwnd() == nullptr)
            return 0;
        result = self->WindowProc(message, wParam, lParam);
    }

    // 5. The window is gone: give it its own procedure back and let go.
    if (message == WM_NCDESTROY && IsWindowObject(self))
        self->LetGoAfterNcDestroy(window);
    return result;
}

CWindow* CWindow::ObjectOfMessage(HWND window, UINT message, LPARAM lParam)
{
    // At WM_NCCREATE and WM_INITDIALOG the parameter names the object, but
    // only an object of the window list is believed: anything else (a
    // foreign create parameter, null) leaves the window without one.
    void* candidate = nullptr;
    if (message == WM_NCCREATE)
    {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        candidate = create != nullptr ? create->lpCreateParams : nullptr;
    }
    else if (message == WM_INITDIALOG)
    {
        candidate = reinterpret_cast<void*>(lParam);
    }
    else
    {
        return FindWindowObject(window);
    }
    if (g_windowList.Contains(candidate) && static_cast<CWindow*>(candidate)->Attach(window, true))
        return static_cast<CWindow*>(candidate);
    return nullptr;
}

CWindow::Outcome CWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = NotHandled;
    switch (message)
    {
    case WM_CREATE:
        result = OnCreate(reinterpret_cast<CREATESTRUCTA*>(lParam));
        if (result == -1)
            return {Then::Return, -1};
        if (result == CreateNotHandled)
            result = NotHandled;
        break;

    case WM_DESTROY:
        // A menu that belongs to a menu object must outlive the window. A
        // child window has no menu: GetMenu would give its control id.
        if (!IsChildWindow(window))
        {
            HMENU menu = GetMenu(window);
            if (menu != nullptr && IsFrameworkMenu(menu))
                SetMenu(window, nullptr);
        }
        result = OnDestroy();
        break;

    case WM_MOVE:
        result = OnMove(LOWORD(lParam), HIWORD(lParam));
        break;

    case WM_SIZE:
        result = OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        break;

    case WM_CLOSE:
        result = OnClose();
        break;

    case WM_PAINT:
        result =
            OnPaint(wParam != 0 ? FrameworkDcFromHandle(reinterpret_cast<HDC>(wParam)) : nullptr);
        break;

    case WM_ERASEBKGND:
        result = OnEraseBkgnd(FrameworkDcFromHandle(reinterpret_cast<HDC>(wParam)));
        break;

    case WM_COMMAND:
        return HandleCommand(wParam, lParam);

    case WM_NOTIFY:
        return HandleNotify(window, lParam);

    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        return HandleItem(window, message, wParam, lParam);

    case WM_INITMENU:
    case WM_INITMENUPOPUP:
    case WM_UNINITMENUPOPUP:
    case WM_EXITMENULOOP:
        RouteMenuLoop(message, wParam, lParam);
        break;

    case WM_SYSCOLORCHANGE:
        RebuildSysColorTable();
        EnumChildWindows(window, SendMessageToChildProc, WM_SYSCOLORCHANGE);
        break;

    case WM_UPDATEUISTATE:
        RebuildSysColorTable();
        EnumChildWindows(window, SendMessageToChildProc, WM_SYSCOLORCHANGE);
        if (IsChildWindow(window))
            InvalidateRect(window, nullptr, TRUE);
        break;

    case WM_CHANGEUISTATE:
        if (IsChildWindow(window))
            InvalidateRect(window, nullptr, TRUE);
        break;

    default:
        result = WindowProc(message, wParam, lParam);
        if (message == WM_NCDESTROY && IsWindowObject(this))
            break;
        return {Then::Return, result};
    }
    return {Then::Fallback, result};
}

CWindow::Outcome CWindow::HandleCommand(WPARAM wParam, LPARAM lParam)
{
    UINT code = HIWORD(wParam);
    UINT id = LOWORD(wParam);
    HWND control = reinterpret_cast<HWND>(lParam);
    LRESULT result = NotHandled;
    int passOn = 1;
    if (control != nullptr)
    {
        if (CWindow* child = g_windowList.FindWindow(control))
        {
            LRESULT reflected = child->OnReflectedCommand(code, passOn);
            if (!IsWindowObject(this))
                return {Then::ObjectGone, NotHandled};
            if (reflected != NotHandled)
                result = ReflectedResult(reflected);
        }
    }
    if (passOn)
    {
        // The control's answer stands unless the window's own handler gives
        // one.
        LRESULT own = OnCommand(code, id, control);
        if (own != NotHandled)
            result = own;
    }
    return {Then::Fallback, result};
}

CWindow::Outcome CWindow::HandleNotify(HWND window, LPARAM lParam)
{
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    LRESULT result = NotHandled;
    int passOn = 1;
    bool controlAnswered = false;
    if (header != nullptr && header->hwndFrom != nullptr)
    {
        if (CWindow* child = g_windowList.FindWindow(header->hwndFrom))
        {
            LRESULT reflected = child->OnChildNotify(header, passOn);
            if (!IsWindowObject(this))
                return {Then::ObjectGone, NotHandled};
            if (reflected != NotHandled)
            {
                result = ReflectedResult(reflected);
                controlAnswered = true;
            }
        }
    }
    if (passOn)
    {
        LRESULT own = OnNotify(header);
        if (!IsWindowObject(this))
            return {Then::ObjectGone, NotHandled};
        // A dialog's own answer must reach the dialog manager, which reads
        // DWLP_MSGRESULT only when the procedure returns non-zero. A window
        // that is not a dialog has no such channel: its own handler's value
        // is not used.
        if (!controlAnswered && m_isDialog && own != NotHandled && own != 0)
        {
            if (GetWindowLongPtrA(window, DWLP_MSGRESULT) == 0)
                SetWindowLongPtrA(window, DWLP_MSGRESULT, own);
            result = 1;
        }
    }
    return {Then::Fallback, result};
}

CWindow::Outcome CWindow::HandleItem(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    UINT id = static_cast<UINT>(wParam);
    auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    bool drawing = message == WM_DRAWITEM;
    LRESULT result = NotHandled;
    int passOn = 1;
    LRESULT offered = NotHandled;
    if (lParam != 0 && id != 0)
    {
        // Only a control that already has an object is asked: making a
        // wrapper (and subclassing the control) for a handler that would
        // only answer -1 changes nothing but costs a subclassing.
        HWND control = GetDlgItem(window, drawing ? draw->CtlID : measure->CtlID);
        if (CWindow* child = control != nullptr ? FindWindowObject(control) : nullptr)
        {
            offered = drawing ? child->OnReflectedDrawItem(id, draw, passOn)
                              : child->OnReflectedMeasureItem(id, measure, passOn);
        }
    }
    else if (lParam != 0)
    {
        HMENU menu = g_currentMenu;
        if (menu == nullptr && !IsChildWindow(window))
        {
            menu = GetMenu(window);
            g_currentMenu = menu;
        }
        if (menu != nullptr && IsMenu(menu))
        {
            offered = drawing ? FrameworkMenuDrawItem(menu, draw, passOn)
                              : FrameworkMenuMeasureItem(menu, measure, passOn);
        }
    }
    if (!IsWindowObject(this))
        return {Then::ObjectGone, NotHandled};
    if (offered != NotHandled)
        result = ReflectedResult(offered);
    if (passOn)
    {
        LRESULT own = drawing ? OnDrawItem(id, draw) : OnMeasureItem(id, measure);
        if (own != NotHandled)
            result = own;
    }
    return {Then::Fallback, result};
}

void CWindow::RouteMenuLoop(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITMENU)
    {
        g_currentMenu = reinterpret_cast<HMENU>(wParam);
        if (IsMenu(g_currentMenu))
            FrameworkMenuOnInitMenu(g_currentMenu, this);
        return;
    }
    if (g_currentMenu != nullptr && IsMenu(g_currentMenu))
    {
        if (message == WM_INITMENUPOPUP)
            FrameworkMenuOnInitMenuPopup(g_currentMenu, this, reinterpret_cast<HMENU>(wParam),
                                         LOWORD(lParam), HIWORD(lParam));
        else if (message == WM_UNINITMENUPOPUP)
            FrameworkMenuOnUninitMenuPopup(g_currentMenu, this, wParam, lParam);
        else
            FrameworkMenuOnExitMenuLoop(g_currentMenu, this, static_cast<BOOL>(wParam));
    }
    if (message == WM_EXITMENULOOP)
        g_currentMenu = nullptr;
}

void CWindow::LetGoAfterNcDestroy(HWND window)
{
    if (IsWindow(window) && m_prevProc != nullptr && m_prevProc != WindowProcedure)
    {
        SetWindowLongPtrA(window, m_isDialog ? DWLP_DLGPROC : GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(m_prevProc));
        m_isDialog = 0;
    }
    m_hWnd = nullptr;
    m_prevProc = nullptr;
    if (g_windowList.Contains(this))
        OnNcDestroy();
}
