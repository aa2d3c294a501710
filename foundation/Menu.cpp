#include "foundation/Menu.h"

#include "foundation/Dc.h"
#include "foundation/Exception.h"
#include "foundation/FrameworkHooks.h"
#include "foundation/Gdi.h"
#include "foundation/Module.h"
#include "foundation/Window.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
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
// Deeper menu trees are not followed: a menu that holds itself as a submenu
// must not recurse for ever.
constexpr int kMaxMenuDepth = 32;
constexpr int kTextBufferSize = 4096;

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

MENUITEMINFOA MakeItemInfo(UINT mask)
{
    MENUITEMINFOA info = {};
    info.cbSize = GetMenuItemInfoSize();
    info.fMask = mask;
    return info;
}

HWND WindowOf(CWindow* window)
{
    return window != nullptr ? window->GetSafeHwnd() : nullptr;
}

int SubMenuPosition(HMENU menu, HMENU popup)
{
    if (menu == nullptr || popup == nullptr)
        return -1;
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position)
    {
        if (GetSubMenu(menu, position) == popup)
            return position;
    }
    return -1;
}

void CollectItemData(HMENU menu, CSimpleArray<ULONG_PTR>& data, int depth)
{
    if (depth > kMaxMenuDepth)
        return;
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position)
    {
        MENUITEMINFOA info = MakeItemInfo(MIIM_DATA | MIIM_SUBMENU);
        if (!::GetMenuItemInfoA(menu, position, TRUE, &info))
            continue;
        if (info.dwItemData != 0)
            data.Add(info.dwItemData);
        if (info.hSubMenu != nullptr)
            CollectItemData(info.hSubMenu, data, depth + 1);
    }
}

HBRUSH SysBrush(int index)
{
    // The system's shared brushes: never deleted.
    return GetSysColorBrush(index);
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

CMenu* FindMenuObject(const CNodeList& list, HMENU menu)
{
    for (CNode* node = list.GetHead(); node != nullptr; node = node->GetNext())
    {
        CMenu* object = static_cast<CMenu*>(node);
        if (object->GetHandle() == menu)
            return object;
    }
    return nullptr;
}
} // namespace

// --- Free functions ---

UINT GetMenuItemInfoSize()
{
    const OSVERSIONINFOA& version = GetModuleState()->GetOSVersion();
    bool oldForm =
        (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion < 5) ||
        (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMinorVersion == 0);
    return oldForm ? offsetof(MENUITEMINFOA, hbmpItem) : sizeof(MENUITEMINFOA);
}

bool IsSystemMenu(HMENU menu)
{
    if (menu == nullptr)
        return false;
    MENUITEMINFOA info = MakeItemInfo(MIIM_ID);
    return ::GetMenuItemInfoA(menu, SC_CLOSE, FALSE, &info) != FALSE;
}

MenuMargins ComputeItemMargins(int edgeWidth, int edgeHeight, bool ownShadow, bool systemShadow)
{
    MenuMargins margins;
    margins.left = margins.right = edgeWidth + 1;
    margins.top = margins.bottom = edgeHeight + 1;
    if (ownShadow && !systemShadow)
    {
        margins.right += 4;
        margins.bottom += 4;
    }
    return margins;
}

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

// --- CMenu ---

CMenu::CMenu(HMENU menu) : m_hMenu(menu)
{
    g_menuList.AddHead(this);
}

CMenu::~CMenu()
{
    if (m_hMenu != nullptr && IsMenu(m_hMenu))
        DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
    if (!g_menuList.Remove(this))
        g_temporaryMenuList.Remove(this);
}

bool CMenu::Destroy()
{
    if (m_hMenu == nullptr)
        return true;
    if (!DestroyMenu(m_hMenu))
        return false;
    m_hMenu = nullptr;
    return true;
}

bool CMenu::DeleteMenu(UINT item, bool byPosition)
{
    return ::DeleteMenu(m_hMenu, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND) != FALSE;
}

LRESULT CMenu::MeasureItem(MEASUREITEMSTRUCT*, int&)
{
    return 0;
}

LRESULT CMenu::DrawItem(DRAWITEMSTRUCT*, int&)
{
    return 0;
}

BOOL CMenu::UseOwnerDraw()
{
    return FALSE;
}

void CMenu::GetItemMargins(int&, int&, int&, int&) {}

void CMenu::DrawMenuShadow(const RECT&, const RECT&) {}

void CMenu::DrawMenuBorder(HDC, const RECT&, const RECT&) {}

void CMenu::AdjustPopupPos(WINDOWPOS*) {}

void CMenu::OnInitMenu(CWindow*) {}

void CMenu::OnInitMenuPopup(CWindow* window, HMENU popup, UINT, BOOL systemMenu)
{
    if (!systemMenu && !IsSystemMenu(popup))
        m_barPopup = 1;
    if (!m_keepRect)
        m_barItemRect = CRect();
    int position = SubMenuPosition(m_hMenu, popup);
    if (position < 0)
        return;
    HWND hwnd = WindowOf(window);
    RECT item = {};
    if (GetMenuItemRect(hwnd, m_hMenu, position, &item))
        m_barItemRect = CRect(item);
    if (hwnd != nullptr)
        DrawMenuBar(hwnd);
}

void CMenu::OnUninitMenuPopup(CWindow* window, WPARAM popup, LPARAM)
{
    if (SubMenuPosition(m_hMenu, reinterpret_cast<HMENU>(popup)) < 0)
        return;
    m_barPopup = 0;
    if (HWND hwnd = WindowOf(window))
        DrawMenuBar(hwnd);
}

void CMenu::OnExitMenuLoop(CWindow*, BOOL)
{
    m_barPopup = 0;
}

bool CMenu::Create(bool popup)
{
    Destroy();
    if (m_hMenu != nullptr)
        return false;
    m_hMenu = popup ? CreatePopupMenu() : CreateMenu();
    return m_hMenu != nullptr;
}

bool CMenu::Attach(HMENU menu)
{
    if (m_hMenu != nullptr)
        return false;
    m_hMenu = menu;
    return true;
}

HMENU CMenu::Detach()
{
    HMENU menu = m_hMenu;
    m_hMenu = nullptr;
    return menu;
}

bool CMenu::GetMenuItemInfo(UINT item, bool byPosition, MENUITEMINFOA& info) const
{
    info.cbSize = GetMenuItemInfoSize();
    return ::GetMenuItemInfoA(m_hMenu, item, byPosition, &info) != FALSE;
}

bool CMenu::InsertMenuItem(UINT item, bool byPosition, MENUITEMINFOA& info)
{
    info.cbSize = GetMenuItemInfoSize();
    return ::InsertMenuItemA(m_hMenu, item, byPosition, &info) != FALSE;
}

CMenu* CMenu::FromHandle(HMENU menu)
{
    if (menu == nullptr)
        return nullptr;
    CMenu* object = FindMenuObject(g_menuList, menu);
    if (object == nullptr)
        object = FindMenuObject(g_temporaryMenuList, menu);
    if (object != nullptr)
        return object;
    object = new CMenu(menu);
    g_menuList.Remove(object);
    g_temporaryMenuList.AddHead(object);
    return object;
}

CMenu* CMenu::FromCurrentMenu()
{
    HMENU current = CWindow::GetCurrentMenu();
    return current != nullptr ? FindMenuObject(g_menuList, current) : nullptr;
}

void CMenu::DestroyTemporaryMenus()
{
    while (CNode* node = g_temporaryMenuList.GetHead())
    {
        g_temporaryMenuList.Remove(node);
        // Cleared first: the menu belongs to someone else.
        static_cast<CMenu*>(node)->Detach();
        delete node;
    }
}

// --- CBitmapMenu ---

CBitmapMenu::CBitmapMenu(HMENU menu) : CMenu(menu)
{
    m_separator.menu = this;
    m_separator.kind = CBitmapMenuItem::Separator;
}

CBitmapMenu::~CBitmapMenu()
{
    CBitmapMenu::Destroy();
}

bool CBitmapMenu::Destroy()
{
    if (m_doNotDestroy)
    {
        if (m_hMenu != nullptr && IsMenu(m_hMenu))
            RestorePlainItems(m_hMenu, 0);
        FreeAllRecords();
        m_converted = 0;
        m_hMenu = nullptr;
        return true;
    }
    FreeAllRecords();
    m_converted = 0;
    return CMenu::Destroy();
}

HMENU CBitmapMenu::Detach()
{
    if (m_hMenu != nullptr && IsMenu(m_hMenu))
        RestorePlainItems(m_hMenu, 0);
    FreeAllRecords();
    m_converted = 0;
    return CMenu::Detach();
}

bool CBitmapMenu::DeleteMenu(UINT item, bool byPosition)
{
    // The records go once the item (and its submenu) are gone: a deletion
    // that fails must not leave items behind with freed records.
    if (!CMenu::DeleteMenu(item, byPosition))
        return false;
    FreeMissingRecords();
    return true;
}

LRESULT CBitmapMenu::MeasureItem(MEASUREITEMSTRUCT* item, int&)
{
    if (item == nullptr || item->CtlType != ODT_MENU)
        return 0;
    CBitmapMenuItem* record = FindRecord(item->itemData);
    if (record == nullptr)
        return 0;
    if (record->kind == CBitmapMenuItem::Separator)
    {
        item->itemWidth = 3 * GetSystemMetrics(SM_CXFRAME);
        item->itemHeight = 2 * GetSystemMetrics(SM_CYFRAME);
        return 1;
    }
    if (record->text.IsEmpty())
        return 0;

    CDC display;
    if (!display.CreateDC("DISPLAY", nullptr, nullptr, nullptr))
        return 0;
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
    CFont font;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        font.CreateFontIndirect(metrics.lfMenuFont);
    CSelectScope fontScope;
    if (font.IsValid())
        fontScope.Select(display, font);

    // The label and the accelerator are measured apart: the tab between
    // them is no glyph and stands for the gap instead.
    CString label;
    CString accelerator;
    SplitItemText(record->text, label, accelerator);
    CSize labelSize = display.GetTextExtent(label);
    CSize acceleratorSize = accelerator.IsEmpty() ? CSize() : display.GetTextExtent(accelerator);
    LONG textWidth = labelSize.cx + acceleratorSize.cx;
    LONG textHeight = std::max(labelSize.cy, acceleratorSize.cy);

    UINT width = 0;
    UINT height = 0;
    if (record->topLevel)
    {
        width = static_cast<UINT>(textWidth);
        height = static_cast<UINT>(textHeight);
    }
    else
    {
        width = static_cast<UINT>(m_iconWidth + 6 + textWidth + 20);
        height = std::max(static_cast<UINT>(m_iconHeight + 4), static_cast<UINT>(textHeight));
    }
    item->itemWidth = width;
    item->itemHeight = std::max(height, static_cast<UINT>(GetSystemMetrics(SM_CYMENU)));
    return 1;
}

LRESULT CBitmapMenu::DrawItem(DRAWITEMSTRUCT* item, int& passOn)
{
    if (item == nullptr || item->CtlType != ODT_MENU)
        return 0;
    CBitmapMenuItem* record = FindRecord(item->itemData);
    if (record == nullptr)
        return 0;
    passOn = 0;
    HDC dc = item->hDC;
    CSaveDCScope saved(dc);
    CDC* target = CDC::FromHandle(dc);
    const RECT& rect = item->rcItem;
    UINT state = item->itemState;

    if (record->kind == CBitmapMenuItem::Separator)
    {
        FillRect(dc, &rect, SysBrush(COLOR_MENU));
        RECT line = rect;
        line.top += (rect.bottom - rect.top) / 2;
        DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
        return 1;
    }

    bool selected = (state & ODS_SELECTED) != 0;
    bool greyed = (state & (ODS_GRAYED | ODS_DISABLED)) != 0;
    bool checked = (state & ODS_CHECKED) != 0;
    bool hasImage = record->image >= 0 && m_hImageList != nullptr;
    RECT textRect = rect;
    COLORREF textColor = 0;
    UINT textState = state;

    if (record->topLevel)
    {
        FillRect(dc, &rect, SysBrush(COLOR_BTNFACE));
        RECT edge = rect;
        bool popupOpen = selected && m_barPopup;
        if (selected)
            DrawEdge(dc, &edge, m_barPopup ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        else if (state & ODS_HOTLIGHT)
            DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
        textColor = GetSysColor((state & ODS_INACTIVE) ? COLOR_GRAYTEXT : COLOR_MENUTEXT);
        OffsetRect(&textRect, popupOpen ? 7 : 6, popupOpen ? 1 : 0);
    }
    else
    {
        RECT column = {rect.left, rect.top, rect.left + m_iconWidth + 5, rect.bottom};
        bool highlightColumn = m_drawFlags == 0 && selected && !checked;
        FillRect(dc, &column, SysBrush(highlightColumn ? COLOR_HIGHLIGHT : COLOR_MENU));
        if (checked)
        {
            RECT box = column;
            InflateRect(&box, -1, -1);
            if (!selected && !greyed)
            {
                COLORREF menu = GetSysColor(COLOR_MENU);
                COLORREF fill = CHlsColor(menu).GetLuminance() < 220 ? color::Lighten(menu, 0.5)
                                                                     : color::Darken(menu, 0.1);
                target->FillSolidRect(box, fill);
            }
            DrawEdge(dc, &box, BDR_SUNKENOUTER, BF_RECT);
        }
        if (hasImage)
        {
            UINT flags = CDC::StateTransparent | ((state & ODS_DISABLED) ? CDC::StateDisabled : 0);
            target->DrawStateImage(m_hImageList, record->image, column, flags);
            if (selected && !greyed && m_drawFlags != 0)
                DrawEdge(dc, &column, BDR_RAISEDINNER, BF_RECT);
        }

        int columnEnd = rect.left + (m_drawFlags ? 6 : 4) + m_iconWidth;
        RECT fill = rect;
        if (hasImage || checked)
            fill.left = columnEnd;
        FillRect(dc, &fill, SysBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
        // Every label starts at the same column, with or without an icon.
        textRect.left = columnEnd + 2;
        textRect.right -= GetSystemMetrics(SM_CXMENUCHECK);
        if (greyed)
            textColor = GetSysColor(COLOR_GRAYTEXT);
        else
            textColor = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
        // A selected greyed item is not embossed: the grey text shows on the
        // highlight.
        if (selected && greyed)
            textState &= ~ODS_DISABLED;

        if (!hasImage)
            DrawCheckMark(dc, *item, column, GetSysColor(greyed ? COLOR_GRAYTEXT : COLOR_MENUTEXT));
    }

    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, textColor);
    CString label;
    CString accelerator;
    SplitItemText(record->text, label, accelerator);
    UINT flags = CDC::StateTransparent;
    if (textState & ODS_NOACCEL)
        flags |= CDC::StateHidePrefix;
    if (textState & ODS_DISABLED)
        flags |= CDC::StateDisabled;
    textRect.right -= 6;
    target->DrawStateText(label, textRect, flags | CDC::StateLeft);
    if (!accelerator.IsEmpty())
        target->DrawStateText(accelerator, textRect, flags | CDC::StateRight);
    return 1;
}

BOOL CBitmapMenu::UseOwnerDraw()
{
    return TRUE;
}

void CBitmapMenu::GetItemMargins(int& left, int& top, int& right, int& bottom)
{
    MenuMargins margins =
        ComputeItemMargins(GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE),
                           m_ownShadow != 0, ModuleState::GetDropShadow() != FALSE);
    left = margins.left;
    top = margins.top;
    right = margins.right;
    bottom = margins.bottom;
}

void CBitmapMenu::DrawMenuBorder(HDC dc, const RECT& frame, const RECT&)
{
    bool ownShadow = m_ownShadow && !ModuleState::GetDropShadow();
    RECT rect = frame;
    if (ownShadow)
    {
        rect.right -= 4;
        rect.bottom -= 4;
    }
    DrawEdge(dc, &rect, EDGE_RAISED, BF_RECT);
    InflateRect(&rect, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
    ::FrameRect(dc, &rect, SysBrush(COLOR_MENU));
    if (ownShadow)
        DrawDropShadow(dc, frame);
}

void CBitmapMenu::AdjustPopupPos(WINDOWPOS* position)
{
    if (position != nullptr)
        AlignPopupUnderBarItem(*position, *static_cast<const RECT*>(m_barItemRect));
}

void CBitmapMenu::OnInitMenuPopup(CWindow* window, HMENU popup, UINT index, BOOL systemMenu)
{
    if (!systemMenu)
        ConvertToOwnerDraw(popup);
    CMenu::OnInitMenuPopup(window, popup, index, systemMenu);
}

void CBitmapMenu::OnUninitMenuPopup(CWindow* window, WPARAM popup, LPARAM lParam)
{
    FreeMissingRecords();
    CMenu::OnUninitMenuPopup(window, popup, lParam);
}

void CBitmapMenu::OnExitMenuLoop(CWindow* window, BOOL trackPopup)
{
    FreeMissingRecords();
    CMenu::OnExitMenuLoop(window, trackPopup);
}

HIMAGELIST CBitmapMenu::SetImageList(HIMAGELIST images)
{
    HIMAGELIST previous = m_hImageList;
    m_hImageList = images;
    int width = 0;
    int height = 0;
    if (images != nullptr && ImageList_GetIconSize(images, &width, &height))
    {
        m_iconWidth = width;
        m_iconHeight = height;
    }
    return previous;
}

bool CBitmapMenu::SetItemImages(const CBitmapMenuImage* table, bool byPosition)
{
    if (table == nullptr)
        return false;
    if (!m_converted)
        m_converted = ConvertToOwnerDraw() ? 1 : 0;
    bool all = true;
    for (const CBitmapMenuImage* entry = table; entry->id < ImagesEnd; ++entry)
    {
        // A command the menu lacks fails its own entry only: the tray names
        // an image for a command its menu does not have.
        MENUITEMINFOA info = MakeItemInfo(MIIM_DATA);
        CBitmapMenuItem* record = nullptr;
        if (::GetMenuItemInfoA(m_hMenu, entry->id, byPosition, &info))
            record = FindRecord(info.dwItemData);
        if (record == nullptr || record->kind != CBitmapMenuItem::Text)
        {
            all = false;
            continue;
        }
        record->image = static_cast<int>(entry->image);
    }
    return all;
}

bool CBitmapMenu::ConvertToOwnerDraw(HMENU menu)
{
    HMENU target = menu != nullptr ? menu : m_hMenu;
    if (target == nullptr || IsSystemMenu(target))
        return false;
    bool topLevel = target == m_hMenu && !m_popupOnly;
    return ConvertItems(target, topLevel, 0);
}

bool CBitmapMenu::ConvertItems(HMENU menu, bool topLevel, int depth)
{
    if (depth > kMaxMenuDepth)
        return true;
    int count = GetMenuItemCount(menu);
    if (count < 0)
        return false;
    for (int position = 0; position < count; ++position)
    {
        MENUITEMINFOA info = MakeItemInfo(MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_ID);
        if (!::GetMenuItemInfoA(menu, position, TRUE, &info))
            return false;
        if (info.hSubMenu != nullptr && !ConvertItems(info.hSubMenu, false, depth + 1))
            return false;
        if (info.fType & (MFT_OWNERDRAW | MFT_BITMAP))
            continue;

        if (info.fType & MFT_SEPARATOR)
        {
            MENUITEMINFOA change = MakeItemInfo(MIIM_FTYPE | MIIM_STATE | MIIM_DATA);
            change.fType = info.fType | MFT_OWNERDRAW;
            change.fState = info.fState | MFS_DISABLED | MFS_GRAYED;
            change.dwItemData = reinterpret_cast<ULONG_PTR>(&m_separator);
            if (!SetMenuItemInfoA(menu, position, TRUE, &change))
                return false;
            continue;
        }

        char text[kTextBufferSize] = {};
        MENUITEMINFOA read = MakeItemInfo(MIIM_STRING);
        read.dwTypeData = text;
        read.cch = sizeof(text);
        if (!::GetMenuItemInfoA(menu, position, TRUE, &read))
            return false;
        auto record = std::make_unique<CBitmapMenuItem>();
        record->menu = this;
        record->topLevel = topLevel ? 1 : 0;
        record->text = text;
        record->id = info.wID;
        if (m_records.Add(record.get()) < 0)
            return false;
        CBitmapMenuItem* added = record.release();

        MENUITEMINFOA change = MakeItemInfo(MIIM_FTYPE | MIIM_DATA);
        change.fType = info.fType | MFT_OWNERDRAW;
        change.dwItemData = reinterpret_cast<ULONG_PTR>(added);
        if (!SetMenuItemInfoA(menu, position, TRUE, &change))
        {
            m_records.SetSize(m_records.GetSize() - 1);
            delete added;
            return false;
        }
    }
    return true;
}

bool CBitmapMenu::Rebuild()
{
    FreeMissingRecords();
    m_converted = ConvertToOwnerDraw() ? 1 : 0;
    return m_converted != 0;
}

void CBitmapMenu::FreeMissingRecords()
{
    if (m_records.GetSize() == 0)
        return;
    CSimpleArray<ULONG_PTR> present;
    if (m_hMenu != nullptr && IsMenu(m_hMenu))
        CollectItemData(m_hMenu, present, 0);
    ULONG_PTR* first = present.GetData();
    ULONG_PTR* last = first + present.GetSize();
    std::sort(first, last);
    CSimpleArray<CBitmapMenuItem*> missing;
    for (int i = 0; i < m_records.GetSize(); ++i)
    {
        auto data = reinterpret_cast<ULONG_PTR>(m_records[i]);
        if (!std::binary_search(first, last, data))
            missing.Add(m_records[i]);
    }
    FreeRecords(missing);
}

void CBitmapMenu::FreeRecords(const CSimpleArray<CBitmapMenuItem*>& records)
{
    if (records.GetSize() == 0)
        return;
    int kept = 0;
    for (int i = 0; i < m_records.GetSize(); ++i)
    {
        CBitmapMenuItem* record = m_records[i];
        bool doomed = false;
        for (int j = 0; j < records.GetSize() && !doomed; ++j)
            doomed = records[j] == record;
        // The shared separator record is part of the menu object, never a
        // list entry to free.
        if (doomed && record != &m_separator)
            delete record;
        else
            m_records[kept++] = record;
    }
    m_records.SetSize(kept);
}

void CBitmapMenu::FreeAllRecords()
{
    for (int i = 0; i < m_records.GetSize(); ++i)
    {
        if (m_records[i] != &m_separator)
            delete m_records[i];
    }
    m_records.SetSize(0);
}

void CBitmapMenu::RestorePlainItems(HMENU menu, int depth)
{
    if (depth > kMaxMenuDepth)
        return;
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position)
    {
        MENUITEMINFOA info = MakeItemInfo(MIIM_FTYPE | MIIM_DATA | MIIM_SUBMENU);
        if (!::GetMenuItemInfoA(menu, position, TRUE, &info))
            continue;
        if (info.hSubMenu != nullptr)
            RestorePlainItems(info.hSubMenu, depth + 1);
        CBitmapMenuItem* record = FindRecord(info.dwItemData);
        if (record == nullptr)
            continue;
        MENUITEMINFOA change = MakeItemInfo(MIIM_FTYPE | MIIM_DATA);
        change.fType = info.fType & ~MFT_OWNERDRAW;
        change.dwItemData = 0;
        if (record->kind == CBitmapMenuItem::Text)
        {
            change.fMask |= MIIM_STRING;
            change.dwTypeData = const_cast<char*>(static_cast<const char*>(record->text));
        }
        SetMenuItemInfoA(menu, position, TRUE, &change);
    }
}

CBitmapMenuItem* CBitmapMenu::FindRecord(ULONG_PTR itemData) const
{
    if (itemData == 0)
        return nullptr;
    if (itemData == reinterpret_cast<ULONG_PTR>(&m_separator))
        return const_cast<CBitmapMenuItem*>(&m_separator);
    // Compared as numbers before anything is read: an item's data may be
    // anyone's value, or a record freed long ago.
    for (int i = 0; i < m_records.GetSize(); ++i)
    {
        if (reinterpret_cast<ULONG_PTR>(m_records[i]) == itemData)
            return m_records[i];
    }
    return nullptr;
}

void CBitmapMenu::SplitItemText(const CString& text, CString& label, CString& accelerator)
{
    int tab = text.Find('\t');
    if (tab < 0)
    {
        label = text;
        accelerator = CString("");
        return;
    }
    label = text.Left(tab);
    int start = tab;
    while (start < text.GetLength() && text[start] == '\t')
        ++start;
    accelerator = text.Mid(start);
}

void CBitmapMenu::DrawCheckMark(HDC dc, const DRAWITEMSTRUCT& item, const RECT& iconColumn,
                                COLORREF color)
{
    bool checked = (item.itemState & ODS_CHECKED) != 0;
    // For menu items the system passes the menu that holds the item here.
    auto menu = reinterpret_cast<HMENU>(item.hwndItem);
    MENUITEMINFOA info = MakeItemInfo(MIIM_FTYPE | MIIM_CHECKMARKS);
    if (!::GetMenuItemInfoA(menu, item.itemID, FALSE, &info))
        info = MakeItemInfo(0);
    int centreX = (iconColumn.left + iconColumn.right) / 2;
    int centreY = (iconColumn.top + iconColumn.bottom) / 2;

    if ((info.fType & MFT_RADIOCHECK) && checked)
    {
        CPen pen(PS_SOLID, 1, color);
        CBrush brush(color);
        CSelectScope penScope(dc, pen);
        CSelectScope brushScope(dc, brush);
        Ellipse(dc, centreX - 4, centreY - 4, centreX + 4, centreY + 4);
        return;
    }

    HBITMAP mark = checked ? info.hbmpChecked : info.hbmpUnchecked;
    if (mark != nullptr)
    {
        BITMAP bitmap = {};
        if (GetObjectA(mark, sizeof(bitmap), &bitmap) != sizeof(bitmap))
            return;
        CBrush brush(color);
        int x = centreX - bitmap.bmWidth / 2;
        int y = centreY - bitmap.bmHeight / 2 - 1;
        DrawStateA(dc, brush.GetSafeHandle(), nullptr, reinterpret_cast<LPARAM>(mark), 0, x, y,
                   bitmap.bmWidth, bitmap.bmHeight, DST_BITMAP | DSS_MONO);
        return;
    }
    if (checked)
        CDC::FromHandle(dc)->DrawMonoImage(GetModuleState()->GetImageList(), 2, iconColumn, color,
                                           0);
}

// --- The calls of the window procedure, the modal loop and the module state ---

bool IsFrameworkMenu(HMENU menu)
{
    return menu != nullptr && FindMenuObject(g_menuList, menu) != nullptr;
}

LRESULT FrameworkMenuMeasureItem(HMENU menu, MEASUREITEMSTRUCT* item, int& passOn)
{
    CMenu* object = CMenu::FromHandle(menu);
    return object != nullptr ? object->MeasureItem(item, passOn) : CWindow::NotHandled;
}

LRESULT FrameworkMenuDrawItem(HMENU menu, DRAWITEMSTRUCT* item, int& passOn)
{
    CMenu* object = CMenu::FromHandle(menu);
    return object != nullptr ? object->DrawItem(item, passOn) : CWindow::NotHandled;
}

void FrameworkMenuOnInitMenu(HMENU menu, CWindow* window)
{
    if (CMenu* object = CMenu::FromHandle(menu))
        object->OnInitMenu(window);
}

void FrameworkMenuOnInitMenuPopup(HMENU menu, CWindow* window, HMENU popup, UINT index,
                                  BOOL systemMenu)
{
    if (CMenu* object = CMenu::FromHandle(menu))
        object->OnInitMenuPopup(window, popup, index, systemMenu);
}

void FrameworkMenuOnUninitMenuPopup(HMENU menu, CWindow* window, WPARAM wParam, LPARAM lParam)
{
    if (CMenu* object = CMenu::FromHandle(menu))
        object->OnUninitMenuPopup(window, wParam, lParam);
}

void FrameworkMenuOnExitMenuLoop(HMENU menu, CWindow* window, BOOL trackPopup)
{
    if (CMenu* object = CMenu::FromHandle(menu))
        object->OnExitMenuLoop(window, trackPopup);
}

void DestroyTemporaryMenus()
{
    CMenu::DestroyTemporaryMenus();
}

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
