// Menus: CMenu, the framework object of one menu handle, which receives the
// menu-loop messages of the window that shows it. Its slots let a derived
// menu draw its own items (CBitmapMenu, BitmapMenu.h) and frame the popup
// windows of its menu, which the popup-menu hook (MenuHook.h) subclasses.
//
// Routing: the window procedure hands WM_INITMENU, WM_INITMENUPOPUP,
// WM_UNINITMENUPOPUP, WM_EXITMENULOOP and the WM_MEASUREITEM / WM_DRAWITEM
// of menu items to the object of the current menu (CWindow::GetCurrentMenu),
// found or made by CMenu::FromHandle. The popup windows ask
// CMenu::FromCurrentMenu, which finds only objects the program made.
//
// Object lists: every CMenu links itself into g_menuList; FromHandle makes
// temporary wrappers (g_temporaryMenuList) for menus nobody wraps, and the
// modal loop deletes them after every message without destroying their
// menus. Everything here belongs to the user-interface thread.
#ifndef BRINDLEWOX_FOUNDATION_MENU_H
#define BRINDLEWOX_FOUNDATION_MENU_H

#include "foundation/Base.h"
#include "foundation/Geometry.h"
#include "foundation/Node.h"

class CWindow;

// The size a MENUITEMINFOA is passed with: the whole record (80 bytes on
// 64-bit Windows), or the older form without hbmpItem on NT before version 5
// and on the first non-NT system (platform 1, minor version 0).
UINT GetMenuItemInfoSize();
// A MENUITEMINFOA of that size asking for the fields of the mask, every
// other field cleared.
MENUITEMINFOA MakeMenuItemInfo(UINT mask);

// Whether the menu is a window's system menu: it has an item with command
// SC_CLOSE (searched through its submenus too).
bool IsSystemMenu(HMENU menu);

class CMenu : public CNode
{
public:
    // Links into g_menuList; the handle (or none) is held, every other field
    // cleared.
    explicit CMenu(HMENU menu = nullptr);
    // Destroys a held menu, unlinks the object.
    ~CMenu() override;

    // Slot 1: DestroyMenu of the held menu; the handle is cleared. True when
    // nothing was held or the menu was destroyed.
    virtual bool Destroy();
    // Slot 2: DeleteMenu of an item by position (MF_BYPOSITION) or command
    // (MF_BYCOMMAND); its submenu is destroyed with it.
    virtual bool DeleteMenu(UINT item, bool byPosition);
    // Slots 3 and 4: the owner-drawn item messages of this menu's items. The
    // result becomes the message result; clearing passOn keeps the window's
    // own OnMeasureItem / OnDrawItem from running. 0 here.
    virtual LRESULT MeasureItem(MEASUREITEMSTRUCT* item, int& passOn);
    virtual LRESULT DrawItem(DRAWITEMSTRUCT* item, int& passOn);
    // Slot 5: whether the popup windows of this menu are framed by the menu
    // (margins, border, shadow). 0 here: the popups are left alone.
    virtual BOOL UseOwnerDraw();
    // Slot 6: the popup margins; nothing here (the caller's values stay).
    virtual void GetItemMargins(int& left, int& top, int& right, int& bottom);
    // Slot 7: a shadow outside the popup's frame; clip is the painted area
    // in the popup's window coordinates, screen the same area on the
    // screen. Nothing here.
    virtual void DrawMenuShadow(const RECT& clip, const RECT& screen);
    // Slot 8: the popup's frame, drawn into the frame's context; frame is
    // the whole window in the context's coordinates, screen the window on
    // the screen. Nothing here.
    virtual void DrawMenuBorder(HDC dc, const RECT& frame, const RECT& screen);
    // Slot 9: a last change of the popup's position or size. Nothing here.
    virtual void AdjustPopupPos(WINDOWPOS* position);
    // Slots 10 to 13: the menu-loop messages of the window showing the menu.
    virtual void OnInitMenu(CWindow* window);
    // A popup that is neither the system menu nor holds SC_CLOSE marks the
    // bar-popup flag. The bar-item rectangle is emptied (unless kept); for a
    // popup that is a submenu of this menu it becomes that item's rectangle
    // on the screen, and the menu bar is redrawn.
    virtual void OnInitMenuPopup(CWindow* window, HMENU popup, UINT index, BOOL systemMenu);
    // A submenu of this menu closing clears the bar-popup flag and redraws
    // the menu bar.
    virtual void OnUninitMenuPopup(CWindow* window, WPARAM popup, LPARAM lParam);
    // Clears the bar-popup flag.
    virtual void OnExitMenuLoop(CWindow* window, BOOL trackPopup);

    // Destroy first, then a new popup menu or menu bar.
    bool Create(bool popup);
    // Takes the handle when none is held (false otherwise); the object then
    // owns it.
    bool Attach(HMENU menu);
    // Returns the handle and forgets it (nothing destroyed).
    HMENU Detach();
    HMENU GetHandle() const { return m_hMenu; }
    operator HMENU() const { return m_hMenu; }

    // GetMenuItemInfoA / InsertMenuItemA on the held menu; the size field is
    // set here (GetMenuItemInfoSize). On failure info is left as it was
    // apart from that field.
    bool GetMenuItemInfo(UINT item, bool byPosition, MENUITEMINFOA& info) const;
    bool InsertMenuItem(UINT item, bool byPosition, MENUITEMINFOA& info);

    // Whether a popup (not the system menu) is open from this menu.
    bool IsBarPopupOpen() const { return m_barPopup != 0; }
    // The screen rectangle of the menu-bar item whose popup is open; empty
    // when none.
    const CRect& GetBarItemRect() const { return m_barItemRect; }
    // Keeps the bar-item rectangle when a popup opens that is not a submenu
    // of this menu.
    void SetKeepBarItemRect(bool keep) { m_keepRect = keep ? 1 : 0; }

    // The object of a menu: from g_menuList, else g_temporaryMenuList, else
    // a new temporary wrapper (deleted by the modal loop, never destroying
    // the menu). Null for null.
    static CMenu* FromHandle(HMENU menu);
    // The object of g_menuList holding the current menu, or null.
    static CMenu* FromCurrentMenu();
    // Deletes every temporary wrapper; their menus are left alone.
    static void DestroyTemporaryMenus();

protected:
    HMENU m_hMenu = nullptr;
    int m_barPopup = 0;
    CRect m_barItemRect;
    int m_keepRect = 0;
};

#endif
