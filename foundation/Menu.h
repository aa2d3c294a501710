// Menus: CMenu, the framework object of one menu handle, which receives the
// menu-loop messages of the window that shows it; CBitmapMenu, which turns
// the items of its menu into owner-drawn items with 16 by 16 icons from an
// image list and measures and draws them itself; and the popup-menu hook,
// which subclasses every popup-menu window (class "#32768") of the
// user-interface thread so that the menu object can give the popup extra
// margins, paint its border and draw a shadow where the system draws none.
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
#include "foundation/Array.h"
#include "foundation/Geometry.h"
#include "foundation/Node.h"
#include "foundation/String.h"

#include <commctrl.h>

#include <cstddef>

class CWindow;

// The size a MENUITEMINFOA is passed with: the whole record (80 bytes on
// 64-bit Windows), or the older form without hbmpItem on NT before version 5
// and on the first non-NT system (platform 1, minor version 0).
UINT GetMenuItemInfoSize();

// Whether the menu is a window's system menu: it has an item with command
// SC_CLOSE (searched through its submenus too).
bool IsSystemMenu(HMENU menu);

// The four extra margins a popup-menu window gets around its items.
struct MenuMargins
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The margins of a bitmap menu's popups: one pixel more than the system's
// edge on every side; with the menu's own shadow and no shadow from the
// system, 4 more at the right and bottom, where the shadow is drawn.
MenuMargins ComputeItemMargins(int edgeWidth, int edgeHeight, bool ownShadow, bool systemShadow);

// The edge that GrowPopupSize takes for a popup window: its styles' frame
// less the one-pixel border on each side.
SIZE PopupFrameEdge(HWND popup);

// The popup's new size on WM_WINDOWPOSCHANGING: the system sized it for a
// frame of 2 * edge + 2 pixels on each axis, which the margins replace.
SIZE GrowPopupSize(SIZE size, const MenuMargins& margins, int edgeWidth, int edgeHeight);

// A popup about to move (no SWP_NOMOVE) to an x equal to the right edge of
// the menu-bar item it opens from moves to that item's left edge instead:
// it opens under the item, not beside it. Anything else is left alone.
void AlignPopupUnderBarItem(WINDOWPOS& position, const RECT& barItem);

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

class CBitmapMenu;

// One owner-drawn item of a bitmap menu, held in the item's data
// (dwItemData). Text items have a record of their own, owned by the menu's
// record list; every separator shares the menu's one separator record.
struct CBitmapMenuItem
{
    static constexpr int Text = 0;
    static constexpr int Separator = 1;

    CBitmapMenu* menu = nullptr;
    int kind = Text;
    // The item sits on the menu bar.
    int topLevel = 0;
    // Index into the menu's image list; -1 without an icon.
    int image = -1;
    // The item's text, with the accelerator after a tab.
    CString text;
    UINT id = 0;
};

// One entry of the table given to CBitmapMenu::SetItemImages: 8 bytes on
// every platform. The table ends with an entry whose id is 0xFFFF.
struct CBitmapMenuImage
{
    UINT image;
    WORD id;
};
static_assert(sizeof(CBitmapMenuImage) == 8, "an item-image entry has 8 bytes");
static_assert(offsetof(CBitmapMenuImage, id) == 4, "the command id follows the image index");

class CBitmapMenu : public CMenu
{
public:
    static constexpr WORD ImagesEnd = 0xFFFF;

    // 16 by 16 icons, no image list, draw flags 1, own shadow on.
    explicit CBitmapMenu(HMENU menu = nullptr);
    // Frees every record; the menu is destroyed unless the do-not-destroy
    // flag is set (then its items are made plain again first).
    ~CBitmapMenu() override;

    // Frees every record. The menu is destroyed, or, with the do-not-destroy
    // flag, handed back with its items plain strings and separators again,
    // so that none keeps a freed record. The handle is cleared either way.
    bool Destroy() override;
    // Hands the menu back with its items plain again (see Destroy) and frees
    // every record. Hides CMenu::Detach: call it on the bitmap menu itself.
    HMENU Detach();
    // Deletes the item and frees its record and the records of its submenu.
    bool DeleteMenu(UINT item, bool byPosition) override;
    // Only menu items whose data is one of this menu's records; anything
    // else (0, another menu's data, a stale pointer) gets 0 and is not
    // touched.
    LRESULT MeasureItem(MEASUREITEMSTRUCT* item, int& passOn) override;
    // The same; a drawn item clears passOn. The context's state is saved and
    // restored around the drawing.
    LRESULT DrawItem(DRAWITEMSTRUCT* item, int& passOn) override;
    BOOL UseOwnerDraw() override;
    void GetItemMargins(int& left, int& top, int& right, int& bottom) override;
    // A raised edge and a COLOR_MENU outline; without a system shadow (and
    // with the own-shadow flag) the frame leaves 4 pixels at the right and
    // bottom for the hand-drawn shadow.
    void DrawMenuBorder(HDC dc, const RECT& frame, const RECT& screen) override;
    void AdjustPopupPos(WINDOWPOS* position) override;
    // Converts the popup (unless it is the system menu), then the CMenu
    // behaviour.
    void OnInitMenuPopup(CWindow* window, HMENU popup, UINT index, BOOL systemMenu) override;
    // Free the records of items that left the menu tree, then the CMenu
    // behaviour.
    void OnUninitMenuPopup(CWindow* window, WPARAM popup, LPARAM lParam) override;
    void OnExitMenuLoop(CWindow* window, BOOL trackPopup) override;

    // Stores the image list (not owned) and takes its icon size; returns the
    // previous list.
    HIMAGELIST SetImageList(HIMAGELIST images);
    HIMAGELIST GetImageList() const { return m_hImageList; }
    int GetIconWidth() const { return m_iconWidth; }
    int GetIconHeight() const { return m_iconHeight; }

    // Gives the owner-drawn items named by the table (by command id, or by
    // position with byPosition) their image indices; converts the menu first
    // when it is not converted yet. An entry whose item is missing or has no
    // record of this menu fails alone: the others are still applied. True
    // when every entry up to the end marker (an id above 0xFFFE) was applied.
    bool SetItemImages(const CBitmapMenuImage* table, bool byPosition);
    // Makes the string items and separators of the menu (this object's menu
    // for null) and of all its submenus owner-drawn; bitmap items and items
    // that are owner-drawn already stay as they are. False at once for a
    // system menu, and at the first item that cannot be converted (its new
    // record is freed; items converted before stay converted).
    bool ConvertToOwnerDraw(HMENU menu = nullptr);
    // Frees the records of items that left the menu tree, then converts the
    // menu again (new items get records).
    bool Rebuild();
    // Frees the records whose items are no longer anywhere in the menu tree
    // (the shared separator record is never freed).
    void FreeMissingRecords();

    // The record behind an item's data, when the data is one of this menu's
    // records or its separator record; null for anything else.
    CBitmapMenuItem* FindRecord(ULONG_PTR itemData) const;
    int GetRecordCount() const { return m_records.GetSize(); }
    CBitmapMenuItem* GetRecord(int index) const { return m_records[index]; }
    const CBitmapMenuItem& GetSeparatorRecord() const { return m_separator; }

    // The part before the first tab, and the part after the run of tabs that
    // follows it (empty without a tab).
    static void SplitItemText(const CString& text, CString& label, CString& accelerator);

    bool IsConverted() const { return m_converted != 0; }
    // Items on the menu bar stay plain popup items (menus shown only by
    // TrackPopupMenu).
    void SetPopupOnly(bool popupOnly) { m_popupOnly = popupOnly ? 1 : 0; }
    // Margins and a hand-drawn shadow where the system draws none.
    void SetOwnShadow(bool ownShadow) { m_ownShadow = ownShadow ? 1 : 0; }
    bool HasOwnShadow() const { return m_ownShadow != 0; }
    // Destroy (and the destructor) leave the menu to its owner.
    void SetDoNotDestroy(bool doNotDestroy) { m_doNotDestroy = doNotDestroy ? 1 : 0; }
    // The draw-flags word. 0: a selected unchecked item's icon column takes
    // the highlight too, and the text area begins 2 pixels nearer to the
    // icon; non-zero (the default): a selected item's icon gets a raised
    // frame instead.
    void SetDrawFlags(UINT flags) { m_drawFlags = flags; }

protected:
    // The item's check mark in the icon column: a filled circle for a
    // checked radio item; else the item's checked (unchecked) bitmap as a
    // one-colour shape, or without one, for a checked item, the framework's
    // check-mark image.
    void DrawCheckMark(HDC dc, const DRAWITEMSTRUCT& item, const RECT& iconColumn, COLORREF color);

    int m_iconWidth = 16;
    int m_iconHeight = 16;
    // Not owned: the program's image list.
    HIMAGELIST m_hImageList = nullptr;
    int m_doNotDestroy = 0;
    UINT m_drawFlags = 1;
    int m_converted = 0;
    int m_popupOnly = 0;
    int m_ownShadow = 1;
    CSimpleArray<CBitmapMenuItem*> m_records;
    CBitmapMenuItem m_separator;

private:
    bool ConvertItems(HMENU menu, bool topLevel, int depth);
    // Frees the records in the list (and takes them out of the record list).
    void FreeRecords(const CSimpleArray<CBitmapMenuItem*>& records);
    void FreeAllRecords();
    // Makes every item that holds one of this menu's records plain again.
    void RestorePlainItems(HMENU menu, int depth);
    void CollectRecords(HMENU menu, CSimpleArray<CBitmapMenuItem*>& records, int depth) const;
};

// The popup windows the hook subclassed and that are still alive (for
// diagnostics and tests: every record is freed when its popup hides or is
// destroyed).
int GetLivePopupRecordCount();

#endif
