#include "skin/SkinXPMenu.h"

#include "skin/SkinFiles.h"

#include "foundation/Dc.h"
#include "foundation/Module.h"
#include "foundation/Window.h"

#include <algorithm>

namespace
{
// An item reached with the arrow keys rather than the mouse.
bool ArrowKeyHeld()
{
    const int keys[] = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT};
    for (int key : keys)
    {
        if (GetKeyState(key) & 0x8000)
            return true;
    }
    return false;
}

bool IsEmptyRect(const RECT& rect)
{
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

// A rectangle with a one-pixel border and a fill, both solid.
void FramedFill(HDC dc, const RECT& rect, COLORREF border, COLORREF fill)
{
    CDC::FromHandle(dc)->DrawRectangle(rect, border, fill);
}
} // namespace

SkinMenuColours ReadSkinMenuColours(CSkinFiles& skin)
{
    SkinMenuColours colours;
    colours.selection = skin.ReadColor("COLOR_TRAY_SELECTION", colours.selection);
    colours.verticalBar = skin.ReadColor("COLOR_TRAY_VERTICAL_BAR", colours.verticalBar);
    colours.border = skin.ReadColor("COLOR_TRAY_BORDER", colours.border);
    colours.text = skin.ReadColor("COLOR_TRAY_TEXT", colours.text);
    colours.textBack = skin.ReadColor("COLOR_TRAY_TEXT_BACK", colours.textBack);
    return colours;
}

void AdjustSkinPopupPosition(WINDOWPOS& position, const RECT& barItem)
{
    if (position.flags & SWP_NOMOVE)
        return;
    if (barItem.bottom > position.y)
        position.y += 3;
    else
        position.y -= 1;
    if (position.x == barItem.right)
        position.x = barItem.left;
}

SkinMenuItemLayout LayOutSkinMenuItem(const RECT& item, int imageWidth)
{
    SkinMenuItemLayout layout;
    layout.iconColumn = item;
    layout.iconColumn.right = item.left + imageWidth + 8;
    layout.textArea = item;
    layout.textArea.left = layout.iconColumn.right;
    layout.iconBox = {layout.iconColumn.left + 1, layout.iconColumn.top + 1,
                      layout.iconColumn.right - 2, layout.iconColumn.bottom - 1};
    return layout;
}

CSkinXPMenu::CSkinXPMenu(HMENU menu) : CBitmapMenu(menu)
{
    CSkinFiles skin;
    SetColours(ReadSkinMenuColours(skin));
    m_ownShadow = 0;
}

CSkinXPMenu::~CSkinXPMenu() = default;

void CSkinXPMenu::Split(COLORREF colour, int (&rgb)[3])
{
    rgb[0] = GetRValue(colour);
    rgb[1] = GetGValue(colour);
    rgb[2] = GetBValue(colour);
}

void CSkinXPMenu::SetColours(const SkinMenuColours& colours)
{
    Split(colours.selection, m_selection);
    Split(colours.verticalBar, m_verticalBar);
    Split(colours.border, m_border);
    Split(colours.text, m_text);
    Split(colours.textBack, m_textBack);
}

SkinMenuColours CSkinXPMenu::GetColours() const
{
    SkinMenuColours colours;
    colours.selection = Selection();
    colours.verticalBar = VerticalBar();
    colours.border = Border();
    colours.text = Text();
    colours.textBack = TextBack();
    return colours;
}

bool CSkinXPMenu::OwnShadowActive() const
{
    return m_ownShadow != 0 && !ModuleState::GetDropShadow();
}

LRESULT CSkinXPMenu::MeasureItem(MEASUREITEMSTRUCT* item, int& passOn)
{
    if (m_classic)
        return CBitmapMenu::MeasureItem(item, passOn);
    CBitmapMenuItem* record = RecordOf(item);
    if (record == nullptr)
        return 0;
    if (record->kind == CBitmapMenuItem::Separator)
    {
        item->itemWidth = 4;
        item->itemHeight = 3;
        return 1;
    }
    if (!CBitmapMenu::MeasureItem(item, passOn))
        return 0;
    if (!record->topLevel)
    {
        item->itemWidth += ExtraWidth;
        item->itemHeight += ExtraHeight;
    }
    return 1;
}

LRESULT CSkinXPMenu::DrawItem(DRAWITEMSTRUCT* item, int& passOn)
{
    if (m_classic)
        return CBitmapMenu::DrawItem(item, passOn);
    CBitmapMenuItem* record = RecordOf(item);
    if (record == nullptr)
        return 0;
    passOn = 0;
    HDC dc = item->hDC;
    CSaveDCScope saved(dc);

    const RECT& rect = item->rcItem;
    UINT state = item->itemState;
    bool separator = record->kind == CBitmapMenuItem::Separator;
    bool selected = (state & ODS_SELECTED) != 0;
    bool disabled = (state & (ODS_GRAYED | ODS_DISABLED)) != 0;
    bool checked = (state & ODS_CHECKED) != 0;
    bool hasImage = !separator && record->image >= 0 && m_hImageList != nullptr;
    SkinMenuItemLayout layout = LayOutSkinMenuItem(rect, m_iconWidth);
    RECT textArea = layout.textArea;

    if (record->topLevel)
    {
        if (!selected && !(state & ODS_HOTLIGHT))
            FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
        else if ((state & ODS_HOTLIGHT) || !m_barPopup)
            FramedFill(dc, rect, Selection(), Selection());
        else
            FramedFill(dc, rect, Border(), VerticalBar());
        textArea = rect;
        OffsetRect(&textArea, 6, 0);
    }
    else
    {
        // Background: the selection bar, or the column and the text area.
        bool plain = true;
        if (selected && !separator)
        {
            if (!disabled)
            {
                FramedFill(dc, rect, Selection(), Selection());
                plain = false;
            }
            else if (ArrowKeyHeld())
            {
                // A disabled item is framed only when the keyboard reached
                // it: under the mouse it stays as it is.
                FramedFill(dc, rect, Selection(), TextBack());
                plain = false;
            }
        }
        if (plain)
        {
            CDC::FromHandle(dc)->FillSolidRect(layout.iconColumn, VerticalBar());
            CDC::FromHandle(dc)->FillSolidRect(layout.textArea, TextBack());
        }

        // Check marks and radio bullets.
        const CSysColorTable& table = GetSysColorTable();
        COLORREF checkColour = table[disabled ? 6 : 8];
        bool radio = false;
        if (!hasImage && !separator)
        {
            MENUITEMINFOA info = {};
            info.cbSize = GetMenuItemInfoSize();
            info.fMask = MIIM_CHECKMARKS | MIIM_TYPE;
            auto menu = reinterpret_cast<HMENU>(item->hwndItem);
            radio = ::GetMenuItemInfoA(menu, item->itemID, FALSE, &info) &&
                    (info.fType & MFT_RADIOCHECK);
        }
        if (checked)
        {
            if (disabled)
                FramedFill(dc, layout.iconBox, Border(), VerticalBar());
            else
                FramedFill(dc, layout.iconBox, TextBack(), TextBack());
            if (!hasImage)
            {
                if (radio)
                    DrawRadioBullet(dc, layout.iconBox, true, checkColour);
                else
                    DrawCheckMark(dc, *item, layout.iconBox, checkColour);
            }
        }
        else if (!hasImage && !separator && radio)
        {
            DrawRadioBullet(dc, layout.iconBox, false, checkColour);
        }

        if (separator)
        {
            int middle = (textArea.top + textArea.bottom) / 2;
            RECT line = {textArea.left + 8, middle, textArea.right, middle + 1};
            CDC::FromHandle(dc)->FillSolidRect(line, Border());
            return 1;
        }

        if (hasImage)
        {
            RECT box = layout.iconBox;
            OffsetRect(&box, -1, 0);
            UINT flags = CDC::StateTransparent;
            if (disabled)
                flags |= CDC::StateDisabled;
            else if (m_hotImage && selected && !checked)
                flags |= StateHotImage;
            CDC::FromHandle(dc)->DrawImageState(m_hImageList, record->image, box, flags);
        }
        textArea.left += 8;
        textArea.right -= 6;
    }

    COLORREF textColour = Text();
    if (state & ODS_INACTIVE)
        textColour = GetSysColor(COLOR_GRAYTEXT);
    else if (disabled)
        textColour = DisabledText;
    SetTextColor(dc, textColour);
    SetBkMode(dc, TRANSPARENT);
    DrawItemText(dc, record->text, textArea, state);
    return 1;
}

void CSkinXPMenu::DrawRadioBullet(HDC dc, const RECT& iconBox, bool checked,
                                  COLORREF checkColour) const
{
    int left = (iconBox.left + iconBox.right) / 2 - 6;
    int top = (iconBox.top + iconBox.bottom) / 2 - 6;
    {
        CPen pen(PS_SOLID, 1, Border());
        CBrush brush(TextBack());
        CSelectScope penScope(dc, pen);
        CSelectScope brushScope(dc, brush);
        RoundRect(dc, left, top, left + 12, top + 12, 11, 11);
    }
    if (checked)
    {
        CPen pen(PS_SOLID, 1, checkColour);
        CBrush brush(checkColour);
        CSelectScope penScope(dc, pen);
        CSelectScope brushScope(dc, brush);
        RoundRect(dc, left + 3, top + 3, left + 9, top + 9, 5, 5);
    }
}

HFONT CSkinXPMenu::ItemFont()
{
    if (!m_fontTried)
    {
        m_fontTried = true;
        LOGFONTA font = {};
        font.lfHeight = 15;
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
        font.lfQuality = CLEARTYPE_QUALITY;
        lstrcpynA(font.lfFaceName, "Arial", LF_FACESIZE);
        m_font.CreateFontIndirect(font);
    }
    if (m_font.IsValid())
        return m_font.GetSafeHandle();
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void CSkinXPMenu::DrawItemText(HDC dc, const CString& text, const RECT& area, UINT state) const
{
    CString label;
    CString shortcut;
    SplitItemText(text, label, shortcut);
    CSelectScope fontScope(dc, const_cast<CSkinXPMenu*>(this)->ItemFont());
    UINT format = DT_SINGLELINE | DT_VCENTER;
    if (state & ODS_NOACCEL)
        format |= DT_HIDEPREFIX;
    RECT box = area;
    DrawTextA(dc, label, -1, &box, format | DT_LEFT);
    if (!shortcut.IsEmpty())
    {
        box = area;
        DrawTextA(dc, shortcut, -1, &box, format | DT_RIGHT);
    }
}

BOOL CSkinXPMenu::UseOwnerDraw()
{
    return TRUE;
}

void CSkinXPMenu::GetItemMargins(int& left, int& top, int& right, int& bottom)
{
    if (m_classic)
    {
        CBitmapMenu::GetItemMargins(left, top, right, bottom);
        return;
    }
    left = top = 2;
    right = bottom = OwnShadowActive() ? 6 : 2;
}

void CSkinXPMenu::DrawMenuShadow(const RECT& clip, const RECT& screen)
{
    if (m_classic)
    {
        CBitmapMenu::DrawMenuShadow(clip, screen);
        return;
    }
    if (!OwnShadowActive() || IsEmptyRect(BarItem()))
        return;
    RECT around = BarItem();
    around.right += 4;
    around.bottom += 4;
    CGetDC screenDc;
    DrawDropShadow(screenDc, around);
}

void CSkinXPMenu::DrawMenuBorder(HDC dc, const RECT& frame, const RECT& screen)
{
    if (m_classic)
    {
        CBitmapMenu::DrawMenuBorder(dc, frame, screen);
        return;
    }
    bool ownShadow = OwnShadowActive();
    RECT rect = frame;
    if (ownShadow)
    {
        rect.right -= 4;
        rect.bottom -= 4;
    }
    CDC::FrameRect(dc, rect, Border(), 1);
    RECT inner = rect;
    InflateRect(&inner, -1, -1);
    // The inner ring takes the text colour: with the default skin the
    // border reads as two black pixels.
    CDC::FrameRect(dc, inner, Text(), 1);

    RECT bar = BarItem();
    bool barSet = !IsEmptyRect(bar);
    // The bar item in the frame's coordinates.
    OffsetRect(&bar, frame.left - screen.left, frame.top - screen.top);
    if (ownShadow)
    {
        if (!barSet)
        {
            DrawDropShadow(dc, rect);
        }
        else if (rect.right == frame.right - 4)
        {
            RECT both = {};
            UnionRect(&both, &bar, &rect);
            DrawDropShadow(dc, both);
        }
        else
        {
            DrawDropShadow(dc, rect);
        }
    }
    if (barSet)
    {
        // The popup joins its bar item: the part of its top edge under the
        // item (the columns both share) takes the item's colour.
        LONG right = ownShadow ? bar.right - 4 : bar.right;
        RECT line = {std::max(bar.left, rect.left), rect.top, std::min(right, rect.right),
                     rect.top + 1};
        if (line.right > line.left)
            CDC::FromHandle(dc)->FillSolidRect(line, VerticalBar());
    }
}

void CSkinXPMenu::AdjustPopupPos(WINDOWPOS* position)
{
    if (m_classic)
    {
        CBitmapMenu::AdjustPopupPos(position);
        return;
    }
    if (position != nullptr)
        AdjustSkinPopupPosition(*position, BarItem());
}

void CSkinXPMenu::OnUninitMenuPopup(CWindow* window, WPARAM popup, LPARAM lParam)
{
    if (!m_classic && !IsEmptyRect(BarItem()) && window != nullptr)
    {
        HWND hwnd = window->GetSafeHwnd();
        if (hwnd != nullptr && IsWindow(hwnd))
        {
            RECT around = BarItem();
            around.right += 4;
            around.bottom += 4;
            MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&around), 2);
            InvalidateRect(hwnd, &around, TRUE);
            UpdateWindow(hwnd);
        }
    }
    CBitmapMenu::OnUninitMenuPopup(window, popup, lParam);
}

void CSkinXPMenu::OnExitMenuLoop(CWindow* window, BOOL trackPopup)
{
    if (!m_classic && window != nullptr)
    {
        HWND hwnd = window->GetSafeHwnd();
        if (hwnd != nullptr && IsWindow(hwnd))
        {
            // The menu bar lies in the frame: it is redrawn there, never
            // through a screen rectangle taken as client coordinates.
            DrawMenuBar(hwnd);
            RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
            UpdateWindow(hwnd);
        }
    }
    CBitmapMenu::OnExitMenuLoop(window, trackPopup);
}
