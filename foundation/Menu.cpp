#include "foundation/Menu.h"

#include "foundation/FrameworkHooks.h"
#include "foundation/Module.h"
#include "foundation/Window.h"

#include <cstddef>

namespace
{
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

MENUITEMINFOA MakeMenuItemInfo(UINT mask)
{
    MENUITEMINFOA info = {};
    info.cbSize = GetMenuItemInfoSize();
    info.fMask = mask;
    return info;
}

bool IsSystemMenu(HMENU menu)
{
    if (menu == nullptr)
        return false;
    MENUITEMINFOA info = MakeMenuItemInfo(MIIM_ID);
    return ::GetMenuItemInfoA(menu, SC_CLOSE, FALSE, &info) != FALSE;
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

// --- The calls of the window procedure and the modal loop ---

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
