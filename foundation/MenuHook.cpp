#include "foundation/MenuHook.h"

#include "foundation/Dc.h"
#include "foundation/Exception.h"
#include "foundation/FrameworkHooks.h"
#include "foundation/Menu.h"
#include "foundation/Module.h"

#include <cstring>
#include <exception>
#include <new>

namespace
{
// The name of the property that carries a popup window's record.
const char kMenuHookAtomName[] = "75DD5B06-53A7-4be7-8E23-62176C93731A";
const char kPopupMenuClass[] = "#32768";
// The undocumented message by which Windows tells a popup-menu window that
// it is sized for a (possibly new) menu. Wine 8 never sends it, and makes a
// new popup window for every popup instead.
constexpr UINT kMenuSizeWindow = 0x1E2;

// Each popup-menu window the hook subclassed carries one of these as a
// window property, from its creation to its hiding or destruction. (The
// popup's position and size are read from the window when they are needed.)
struct PopupRecord
{
    WNDPROC previous = nullptr;
    MenuMargins margins;
    int useOwnerDraw = 0;
    int needsDefaultFrame = 0;
    // Whether useOwnerDraw was settled while a menu object was known. Under
    // Wine the popup window is created before WM_INITMENU names the menu, so
    // the answer is taken from the first message that comes with a menu.
    int decided = 0;
};

HHOOK g_menuHook = nullptr;
// The hook's atom as the popups were given it; the module state holds the
// same value.
ATOM g_menuHookAtom = 0;
int g_livePopupRecords = 0;

void ReportCallbackException(const char* where, UINT message, const char* text)
{
    // A stack buffer only: the exception may be an allocation failure.
    char line[400];
    wsprintfA(line, "Brindlewox: the %s failed on message 0x%04X: %.300s\n", where, message, text);
    OutputDebugStringA(line);
}

// The context of a popup's frame for WM_NCPAINT: the whole window, or the
// part in the update region. ReleaseDC when the scope ends.
class CPopupFrameDC
{
public:
    CPopupFrameDC(HWND window, WPARAM region) : m_hWnd(window)
    {
        if (region == 1)
        {
            m_hDC = GetWindowDC(window);
            return;
        }
        // The system takes the region given with DCX_INTERSECTRGN and
        // deletes it: it gets a copy, since the message's region is not
        // ours to give away.
        HRGN copy = CreateRectRgn(0, 0, 0, 0);
        if (copy != nullptr &&
            CombineRgn(copy, reinterpret_cast<HRGN>(region), nullptr, RGN_COPY) != ERROR)
        {
            m_hDC = GetDCEx(window, copy, DCX_WINDOW | DCX_INTERSECTRGN);
            if (m_hDC != nullptr)
                return;
        }
        if (copy != nullptr)
            DeleteObject(copy);
        m_hDC = GetWindowDC(window);
    }
    CPopupFrameDC(const CPopupFrameDC&) = delete;
    CPopupFrameDC& operator=(const CPopupFrameDC&) = delete;
    ~CPopupFrameDC()
    {
        if (m_hDC != nullptr)
            ReleaseDC(m_hWnd, m_hDC);
    }

    HDC Get() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC = nullptr;
};

PopupRecord* PopupRecordOf(HWND window)
{
    if (g_menuHookAtom == 0)
        return nullptr;
    return static_cast<PopupRecord*>(GetPropA(window, MAKEINTATOM(g_menuHookAtom)));
}

LRESULT CALLBACK PopupProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Puts the popup's own procedure back (when nobody subclassed it after the
// hook), removes the property, passes the message on and frees the record.
LRESULT ReleasePopup(HWND window, PopupRecord* record, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC previous = record->previous;
    bool onTop =
        reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)) == PopupProcedure;
    if (!onTop && message != WM_NCDESTROY)
    {
        // Someone subclassed the popup after the hook: unhooking now would
        // cut them off. The record stays until the window goes.
        return CallWindowProcA(previous, window, message, wParam, lParam);
    }
    if (onTop)
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    RemovePropA(window, MAKEINTATOM(g_menuHookAtom));
    LRESULT result = CallWindowProcA(previous, window, message, wParam, lParam);
    delete record;
    --g_livePopupRecords;
    return result;
}

void DecideOwnerDraw(PopupRecord* record, CMenu* menu)
{
    record->useOwnerDraw = menu->UseOwnerDraw() ? 1 : 0;
    record->decided = 1;
    // The margins are wanted by the first WM_WINDOWPOSCHANGING already,
    // which under Wine comes before any WM_NCCALCSIZE.
    if (record->useOwnerDraw)
    {
        MenuMargins& m = record->margins;
        menu->GetItemMargins(m.left, m.top, m.right, m.bottom);
    }
}

LRESULT PrintPopup(HWND window, PopupRecord* record, CMenu* menu, HDC target, LPARAM flags)
{
    record->needsDefaultFrame = 0;
    RECT windowRect = {};
    GetWindowRect(window, &windowRect);
    int width = windowRect.right - windowRect.left;
    int height = windowRect.bottom - windowRect.top;

    CBufferDC buffer(target);
    const CRect& area = buffer.GetArea();
    {
        // What lies under the popup, for a shadow to darken.
        CGetDC screen;
        BitBlt(buffer, 0, 0, area.Width(), area.Height(), screen, windowRect.left + area.left,
               windowRect.top + area.top, SRCCOPY);
    }
    if (flags & PRF_NONCLIENT)
    {
        RECT frame = {-area.left, -area.top, width - area.left, height - area.top};
        menu->DrawMenuBorder(buffer, frame, windowRect);
    }
    if (flags & PRF_CLIENT)
    {
        const MenuMargins& m = record->margins;
        RECT inside = {m.left - area.left, m.top - area.top, width - m.right - area.left,
                       height - m.bottom - area.top};
        CBufferDC client(buffer.GetSafeHdc(), inside);
        CallWindowProcA(record->previous, window, WM_PRINTCLIENT,
                        reinterpret_cast<WPARAM>(client.GetSafeHdc()),
                        flags & ~(PRF_NONCLIENT | PRF_CHECKVISIBLE));
    }
    return 0;
}

LRESULT PaintPopupFrame(HWND window, CMenu* menu, WPARAM region)
{
    CPopupFrameDC dc(window, region);
    if (dc.Get() == nullptr)
        return 0;
    RECT windowRect = {};
    GetWindowRect(window, &windowRect);
    RECT clip = {};
    GetClipBox(dc.Get(), &clip);
    RECT screenClip = clip;
    OffsetRect(&screenClip, windowRect.left, windowRect.top);
    menu->DrawMenuShadow(clip, screenClip);
    // The border goes around the whole window, whatever part of it is to be
    // painted: the context's clipping keeps the rest untouched.
    RECT frame = {0, 0, windowRect.right - windowRect.left, windowRect.bottom - windowRect.top};
    menu->DrawMenuBorder(dc.Get(), frame, windowRect);
    return 0;
}

// The popup procedure. The margins are measured against the system's own
// popup frame of 2 * edge + 2 pixels. Wine 8 gives its popups no frame and
// paints the border inside the client area, so a framed popup looks
// different there (judge the look on Windows); the messages and their order
// are what the tests check.
LRESULT DispatchPopup(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PopupRecord* record = PopupRecordOf(window);
    if (record == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    // The record goes with the popup whatever menu is open (or none is any
    // more): under Wine the popup is destroyed before WM_EXITMENULOOP, on
    // Windows it may outlive the loop.
    if (message == WM_NCDESTROY || (message == WM_SHOWWINDOW && !wParam))
        return ReleasePopup(window, record, message, wParam, lParam);

    WNDPROC previous = record->previous;
    CMenu* menu = CMenu::FromCurrentMenu();
    if (menu == nullptr || !menu->IsBarPopupOpen())
        return CallWindowProcA(previous, window, message, wParam, lParam);

    switch (message)
    {
    case WM_CREATE:
        DecideOwnerDraw(record, menu);
        break;

    case kMenuSizeWindow:
        DecideOwnerDraw(record, menu);
        SetWindowPos(window, nullptr, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE |
                         SWP_FRAMECHANGED);
        break;

    case WM_NCCALCSIZE:
        if (!record->decided)
            DecideOwnerDraw(record, menu);
        if (record->useOwnerDraw)
        {
            MenuMargins& m = record->margins;
            menu->GetItemMargins(m.left, m.top, m.right, m.bottom);
            RECT* rect = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                                : reinterpret_cast<RECT*>(lParam);
            rect->left += m.left;
            rect->top += m.top;
            rect->right -= m.right;
            rect->bottom -= m.bottom;
            return 0;
        }
        break;

    case WM_WINDOWPOSCHANGING:
        if (!record->decided)
            DecideOwnerDraw(record, menu);
        if (record->useOwnerDraw)
        {
            auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
            if (!(position->flags & SWP_NOSIZE))
            {
                SIZE edge = PopupFrameEdge(window);
                SIZE size = GrowPopupSize(SIZE{position->cx, position->cy}, record->margins,
                                          edge.cx, edge.cy);
                position->cx = size.cx;
                position->cy = size.cy;
            }
            menu->AdjustPopupPos(position);
        }
        break;

    case WM_NCPAINT:
        if (!record->decided)
            DecideOwnerDraw(record, menu);
        if (!record->useOwnerDraw || !record->needsDefaultFrame)
        {
            record->needsDefaultFrame = 1;
            break;
        }
        return PaintPopupFrame(window, menu, wParam);

    case WM_PRINT:
        if (!record->decided)
            DecideOwnerDraw(record, menu);
        if (!record->useOwnerDraw)
            break;
        if ((lParam & PRF_CHECKVISIBLE) && !IsWindowVisible(window))
            break;
        return PrintPopup(window, record, menu, reinterpret_cast<HDC>(wParam), lParam);

    default:
        if (!record->decided)
            DecideOwnerDraw(record, menu);
        break;
    }
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

LRESULT CALLBACK PopupProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // No exception may unwind through the system's menu code.
    try
    {
        return DispatchPopup(window, message, wParam, lParam);
    }
    catch (const CException& e)
    {
        ReportCallbackException("popup-menu procedure", message, e.GetErrorText());
    }
    catch (const std::exception& e)
    {
        ReportCallbackException("popup-menu procedure", message, e.what());
    }
    catch (...)
    {
        ReportCallbackException("popup-menu procedure", message, "unknown exception");
    }
    return 0;
}

bool IsPopupMenuWindow(HWND window)
{
    char className[16];
    return GetClassNameA(window, className, sizeof(className)) > 0 &&
           std::strcmp(className, kPopupMenuClass) == 0;
}

void SubclassPopup(HWND window)
{
    if (!IsPopupMenuWindow(window) || PopupRecordOf(window) != nullptr)
        return;
    auto* record = new (std::nothrow) PopupRecord();
    if (record == nullptr)
        return;
    record->previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PopupProcedure)));
    record->needsDefaultFrame = 1;
    if (record->previous == nullptr ||
        !SetPropA(window, MAKEINTATOM(g_menuHookAtom), static_cast<HANDLE>(record)))
    {
        if (record->previous != nullptr)
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record->previous));
        delete record;
        return;
    }
    ++g_livePopupRecords;
}

LRESULT CALLBACK MenuHookProcedure(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && g_menuHookAtom != 0)
    {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call != nullptr && (call->message == WM_CREATE || call->message == kMenuSizeWindow))
            SubclassPopup(call->hwnd);
    }
    return CallNextHookEx(g_menuHook, code, wParam, lParam);
}
} // namespace

// --- The popup's geometry ---

SIZE PopupFrameEdge(HWND popup)
{
    // Windows gives a popup menu a frame of its border and an edge (three
    // pixels a side) and sizes the window for it. Wine 8 lays the items out
    // for a frame of its own style's width (one pixel a side): with the
    // edge taken from the metrics the last item lost its bottom pixels to
    // the margins. The frame the window's styles give is right on both.
    RECT frame = {0, 0, 0, 0};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(popup, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(popup, GWL_EXSTYLE));
    if (!AdjustWindowRectEx(&frame, style, FALSE, exStyle))
        return SIZE{GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE)};
    return SIZE{-frame.left - 1, -frame.top - 1};
}

SIZE GrowPopupSize(SIZE size, const MenuMargins& margins, int edgeWidth, int edgeHeight)
{
    size.cx += margins.left + margins.right - (2 * edgeWidth + 2);
    size.cy += margins.top + margins.bottom - (2 * edgeHeight + 2);
    return size;
}

void AlignPopupUnderBarItem(WINDOWPOS& position, const RECT& barItem)
{
    if (!(position.flags & SWP_NOMOVE) && position.x == barItem.right)
        position.x = barItem.left;
}

int GetLivePopupRecordCount()
{
    return g_livePopupRecords;
}

// --- The calls of the module state ---

bool InstallMenuHook()
{
    if (g_menuHook != nullptr)
        return true;
    // A global atom: a window property named by an atom needs one (a local
    // atom from AddAtomA names whatever global atom shares its value).
    ATOM atom = GlobalAddAtomA(kMenuHookAtomName);
    if (atom == 0)
        return false;
    g_menuHook = SetWindowsHookExA(WH_CALLWNDPROC, MenuHookProcedure,
                                   GetModuleState()->GetInstanceHandle(), GetCurrentThreadId());
    if (g_menuHook == nullptr)
    {
        GlobalDeleteAtom(atom);
        return false;
    }
    g_menuHookAtom = atom;
    GetModuleState()->SetMenuHookAtom(atom);
    return true;
}

void RemoveMenuHook()
{
    if (g_menuHook != nullptr)
        UnhookWindowsHookEx(g_menuHook);
    g_menuHook = nullptr;
    // Deleted once, here: the module state forgets it with us.
    if (g_menuHookAtom != 0)
    {
        GlobalDeleteAtom(g_menuHookAtom);
        if (GetModuleState()->GetMenuHookAtom() == g_menuHookAtom)
            GetModuleState()->SetMenuHookAtom(0);
    }
    g_menuHookAtom = 0;
}
