// CBitmapMenu: a menu that turns its items into owner-drawn items with 16
// by 16 icons from an image list, measures and draws them itself, and frames
// the popup windows of its menu (margins, border, a shadow where the system
// draws none) through the popup-menu hook (MenuHook.h).
#ifndef BRINDLEWOX_FOUNDATION_BITMAPMENU_H
#define BRINDLEWOX_FOUNDATION_BITMAPMENU_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/Menu.h"
#include "foundation/MenuHook.h"
#include "foundation/String.h"

#include <commctrl.h>

#include <cstddef>

// The margins of a bitmap menu's popups: one pixel more than the system's
// edge on every side; with the menu's own shadow and no shadow from the
// system, 4 more at the right and bottom, where the shadow is drawn.
MenuMargins ComputeItemMargins(int edgeWidth, int edgeHeight, bool ownShadow, bool systemShadow);

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
    // The record of an owner-drawn item (MEASUREITEMSTRUCT or
    // DRAWITEMSTRUCT) of this menu; null for a control's item or another's.
    template <class OwnerItem> CBitmapMenuItem* RecordOf(const OwnerItem* item) const
    {
        return item != nullptr && item->CtlType == ODT_MENU ? FindRecord(item->itemData) : nullptr;
    }
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
};

#endif
