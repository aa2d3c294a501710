#include "foundation/BitmapMenu.h"

#include "foundation/Dc.h"
#include "foundation/Gdi.h"
#include "foundation/MenuHook.h"
#include "foundation/Module.h"

#include <algorithm>
#include <cstddef>
#include <memory>

namespace
{
// Deeper menu trees are not followed: a menu that holds itself as a submenu
// must not recurse for ever.
constexpr int kMaxMenuDepth = 32;
constexpr int kTextBufferSize = 4096;

void CollectItemData(HMENU menu, CSimpleArray<ULONG_PTR>& data, int depth)
{
    if (depth > kMaxMenuDepth)
        return;
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position)
    {
        MENUITEMINFOA info = MakeMenuItemInfo(MIIM_DATA | MIIM_SUBMENU);
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
} // namespace

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
    CBitmapMenuItem* record = RecordOf(item);
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
    CBitmapMenuItem* record = RecordOf(item);
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
        MENUITEMINFOA info = MakeMenuItemInfo(MIIM_DATA);
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
        MENUITEMINFOA info = MakeMenuItemInfo(MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_ID);
        if (!::GetMenuItemInfoA(menu, position, TRUE, &info))
            return false;
        if (info.hSubMenu != nullptr && !ConvertItems(info.hSubMenu, false, depth + 1))
            return false;
        if (info.fType & (MFT_OWNERDRAW | MFT_BITMAP))
            continue;

        if (info.fType & MFT_SEPARATOR)
        {
            MENUITEMINFOA change = MakeMenuItemInfo(MIIM_FTYPE | MIIM_STATE | MIIM_DATA);
            change.fType = info.fType | MFT_OWNERDRAW;
            change.fState = info.fState | MFS_DISABLED | MFS_GRAYED;
            change.dwItemData = reinterpret_cast<ULONG_PTR>(&m_separator);
            if (!SetMenuItemInfoA(menu, position, TRUE, &change))
                return false;
            continue;
        }

        char text[kTextBufferSize] = {};
        MENUITEMINFOA read = MakeMenuItemInfo(MIIM_STRING);
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

        MENUITEMINFOA change = MakeMenuItemInfo(MIIM_FTYPE | MIIM_DATA);
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
        MENUITEMINFOA info = MakeMenuItemInfo(MIIM_FTYPE | MIIM_DATA | MIIM_SUBMENU);
        if (!::GetMenuItemInfoA(menu, position, TRUE, &info))
            continue;
        if (info.hSubMenu != nullptr)
            RestorePlainItems(info.hSubMenu, depth + 1);
        CBitmapMenuItem* record = FindRecord(info.dwItemData);
        if (record == nullptr)
            continue;
        MENUITEMINFOA change = MakeMenuItemInfo(MIIM_FTYPE | MIIM_DATA);
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
    MENUITEMINFOA info = MakeMenuItemInfo(MIIM_FTYPE | MIIM_CHECKMARKS);
    if (!::GetMenuItemInfoA(menu, item.itemID, FALSE, &info))
        info = MakeMenuItemInfo(0);
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
