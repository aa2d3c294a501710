#include "skin/ApplicationsTree.h"

#include "skin/ListScroll.h"
#include "skin/SkinBalloonHelp.h"
#include "skin/SkinFiles.h"
#include "skin/SkinPaint.h"
#include "skin/SkinXPMenu.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

using namespace listscroll;

namespace
{
constexpr int CellWidth = 22;
constexpr int ChildIndent = 10;
constexpr COLORREF MaskWhite = RGB(255, 255, 255);

const RECT& AsRect(const CRect& rect) { return *static_cast<const RECT*>(rect); }
} // namespace

CApplicationsTreeItem::~CApplicationsTreeItem()
{
    if (icon != nullptr)
        DestroyIcon(icon);
}

CApplicationsTree::CApplicationsTree()
{
    CSkinFiles skin(CSkinFiles::FirstRunDefaults | CSkinFiles::WithLanguage);
    LoadStrip("CHECK_BUTTON", "check_button.png", CellWidth, CellWidth, m_checkImages, false);
    m_gradientLeft = skin.ReadColor("GRADIENT_LEFT", RGB(72, 188, 3));
    m_gradientRight = skin.ReadColor("GRADIENT_RIGHT", RGB(255, 181, 106));
    m_frame1 = skin.ReadColor("COLOR_FRAME_1", RGB(168, 168, 168));
    m_frame2 = skin.ReadColor("COLOR_FRAME_2", RGB(223, 223, 223));
    LoadStrip("SCROLLBAR_TREE", "scrollbar_tree.png", CellWidth, CellWidth, m_expanderImages,
              false);
    LoadStrip("SCROLLBAR_DOWN", "scrollbar_down.png", BarWidth, ArrowHeight, m_arrowImages, false);
    LoadStrip("SCROLLBAR_UP", "scrollbar_up.png", BarWidth, ArrowHeight, m_arrowImages, true);
    m_trackPicture.Load(skin.GetImagePath("SCROLLBAR_BACK", "scrollbar_back.png"));
    m_thumbPicture.Load(skin.GetImagePath("SCROLLBAR_SLIDER1", "scrollbar_slider1.png"));
    m_thumbPressedPicture.Load(skin.GetImagePath("SCROLLBAR_SLIDER2", "scrollbar_slider2.png"));
    m_thumbThirdPicture.Load(skin.GetImagePath("SCROLLBAR_SLIDER3", "scrollbar_slider3.png"));
    CreateSkinFont(m_font, 15, 0);
}

CApplicationsTree::~CApplicationsTree()
{
    // The window goes first, while the derived parts still exist.
    if (m_ownsWindow && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
    else if (IsWindow(m_hWnd))
        Detach();
}

// A strip of images, white as the mask colour; appended to the list when it
// exists already (the up arrows after the down arrows).
void CApplicationsTree::LoadStrip(const char* key, const char* file, int width, int height,
                                  CImageList& list, bool append)
{
    CSkinFiles skin;
    if (!append || list.GetSafeHandle() == nullptr)
        list.Create(width, height, ILC_COLOR32 | ILC_MASK, 3, 0);
    CPicture picture;
    if (!picture.Load(skin.GetImagePath(key, file)))
        return;
    HBITMAP bitmap = picture.MakeBitmap();
    if (bitmap == nullptr)
        return;
    ImageList_AddMasked(list.GetSafeHandle(), bitmap, MaskWhite);
    DeleteObject(bitmap);
}

CApplicationsTreeItem* CApplicationsTree::GetItem(int index)
{
    if (index < 0 || index >= GetItemCount())
        return nullptr;
    return m_items[static_cast<size_t>(index)].get();
}

int CApplicationsTree::AddItem(const char* text, const char* path, DWORD state, DWORD value1,
                               DWORD checked, DWORD value2, DWORD expanded)
{
    auto item = std::make_unique<CApplicationsTreeItem>();
    item->text = text;
    item->path = path;
    item->state = state;
    item->value1 = value1;
    item->value2 = value2;
    item->checked = checked;
    item->expanded = expanded;
    {
        UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
        SHFILEINFOA info = {};
        if (SHGetFileInfoA(item->path, 0, &info, sizeof(info), SHGFI_ICON | SHGFI_SMALLICON))
            item->icon = info.hIcon;
        SetErrorMode(previous);
    }
    if (item->icon == nullptr)
        item->icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(174),
                                                   IMAGE_ICON, 16, 16, 0));
    try
    {
        m_items.push_back(std::move(item));
    }
    catch (const std::bad_alloc&)
    {
        return -1;
    }
    if (m_autoRedraw)
        Redraw(false);
    return GetItemCount() - 1;
}

void CApplicationsTree::SetItemData(int index, const char* text)
{
    if (index >= 0 && index < GetItemCount())
        m_items[index]->thirdText = text;
}

void CApplicationsTree::DeleteItem(int index)
{
    if (index < 0 || index >= GetItemCount())
        return;
    m_items.erase(m_items.begin() + index);
    // Parents after the deleted row move up one; children of the deleted row
    // become top-level rows.
    for (auto& item : m_items)
    {
        if (item->parent == index)
            item->parent = -1;
        else if (item->parent > index)
            --item->parent;
    }
    if (m_selected >= GetItemCount())
        m_selected = std::max(GetItemCount() - 1, 0);
}

void CApplicationsTree::DeleteAllItems()
{
    m_items.clear();
    m_visibleRows.clear();
    m_displayable = 0;
    m_firstDrawn = 0;
    m_lastDrawn = 0;
    m_firstRow = 0;
    m_thumbTop = 0;
    m_selected = 0;
}

CApplicationsTreeItem* CApplicationsTree::ParentOf(const CApplicationsTreeItem& item)
{
    // A parent index a caller set outside the list makes a top-level row.
    if (item.parent < 0 || item.parent >= GetItemCount())
        return nullptr;
    return m_items[static_cast<size_t>(item.parent)].get();
}

bool CApplicationsTree::IsHiddenChild(const CApplicationsTreeItem& item)
{
    const CApplicationsTreeItem* parent = ParentOf(item);
    return parent != nullptr && parent->expanded == 0;
}

void CApplicationsTree::RebuildVisibleRows()
{
    m_visibleRows.clear();
    for (int i = 0; i < GetItemCount(); ++i)
    {
        if (!IsHiddenChild(*m_items[static_cast<size_t>(i)]))
            m_visibleRows.push_back(i);
    }
    m_displayable = static_cast<int>(m_visibleRows.size());
}

void CApplicationsTree::Redraw(bool reset)
{
    if (reset)
    {
        m_firstRow = 0;
        m_thumbTop = 0;
        m_firstDrawn = 0;
    }
    if (IsWindow(m_hWnd))
    {
        InvalidateRect(m_hWnd, nullptr, TRUE);
        UpdateWindow(m_hWnd);
    }
}

bool CApplicationsTree::ScrollOne(int direction)
{
    int row = ScrollBy(m_firstRow, direction, m_displayable, m_perPage);
    if (row == m_firstRow)
        return false;
    m_firstRow = row;
    if (row < static_cast<int>(m_visibleRows.size()))
        m_firstDrawn = m_visibleRows[static_cast<size_t>(row)];
    m_thumbTop = ThumbTopForRow(row, m_displayable, m_perPage, TrackTop(), TrackBottom(),
                                m_thumbHeight);
    if (direction < 0)
        m_scrollingUp = 1;
    Redraw(false);
    return true;
}

void CApplicationsTree::ScrollUp() { ScrollOne(-1); }
void CApplicationsTree::ScrollDown() { ScrollOne(+1); }

CString CApplicationsTree::FitText(HDC dc, const char* text, int width)
{
    CString whole = text;
    SIZE size = {};
    GetTextExtentPoint32A(dc, whole, whole.GetLength(), &size);
    if (size.cx <= width)
        return whole;
    SIZE dots = {};
    GetTextExtentPoint32A(dc, "...", 3, &dots);
    int room = width - dots.cx;
    int fit = 0;
    if (room > 0)
        GetTextExtentExPointA(dc, whole, whole.GetLength(), room, &fit, nullptr, &size);
    fit = std::max(fit, 1);
    return whole.Left(fit) + "...";
}

void CApplicationsTree::DrawRow(CDC& dc, CApplicationsTreeItem& item, const CRect& row,
                                bool selected)
{
    if (item.text.IsEmpty())
        return;
    CRect expander(row.left, row.top, row.left + (m_hideExpander ? 0 : CellWidth), row.bottom);
    if (!m_hideExpander)
    {
        int image = ParentOf(item) != nullptr ? 2 : (item.expanded ? 1 : 0);
        ImageList_Draw(m_expanderImages.GetSafeHandle(), image, dc, expander.left, expander.top,
                       ILD_TRANSPARENT);
    }
    CRect check(expander.right, row.top, expander.right + (m_hideCheck ? 0 : CellWidth),
                row.bottom);
    if (!m_hideCheck)
        ImageList_Draw(m_checkImages.GetSafeHandle(), item.checked ? 0 : 2, dc, check.left,
                       check.top, ILD_TRANSPARENT);
    if (item.icon != nullptr)
        dc.DrawStateIcon(item.icon, CPoint(check.right, row.top + 3), CSize(16, 16), 0);
    CRect textCell(check.right + CellWidth, row.top, row.right, row.bottom);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, item.state == 0 ? StateZeroText : RGB(0, 0, 0));
    if (selected)
        DrawDropShadow(dc, AsRect(textCell));
    CString shown = FitText(dc, item.text, textCell.Width());
    dc.DrawStateText(shown, AsRect(textCell), CDC::StateLeft | CDC::StateTransparent);
    item.expanderCell = expander;
    item.checkCell = check;
    item.textCell = textCell;
}

void CApplicationsTree::DrawScrollBar(CDC& dc, const CRect& client)
{
    m_upArrow = CRect(client.right - 21, client.top, client.right - 1, client.top + ArrowHeight);
    m_downArrow =
        CRect(client.right - 21, client.bottom - ArrowHeight, client.right - 1, client.bottom);
    ImageList_Draw(m_arrowImages.GetSafeHandle(), m_upIndex, dc, m_upArrow.left, m_upArrow.top,
                   ILD_TRANSPARENT);
    ImageList_Draw(m_arrowImages.GetSafeHandle(), m_downIndex, dc, m_downArrow.left,
                   m_downArrow.top, ILD_TRANSPARENT);
    m_track = CRect(m_upArrow.left, m_upArrow.bottom, m_upArrow.right, m_downArrow.top);
    if (m_track.Height() > 0)
        m_trackPicture.DrawTiled(dc, m_track);
    m_thumbHeight = ThumbHeight(m_track.Height(), m_displayable, m_perPage);
    m_thumbTop = ClampThumbTop(m_thumbTop, TrackTop(), TrackBottom(), m_thumbHeight);
    m_thumb = CRect(m_track.left, m_thumbTop, m_track.right, m_thumbTop + m_thumbHeight);
    // Narrowed at the left and right only: a 12-pixel thumb in the track.
    CRect tile(m_thumb.left + 4, m_thumb.top, m_thumb.right - 4, m_thumb.bottom);
    (m_thumbState != 0 ? m_thumbPressedPicture : m_thumbPicture).DrawTiled(dc, tile);
}

void CApplicationsTree::Draw(CDC* target)
{
    CRect client = GetClientRect();
    if (client.Width() <= 0 || client.Height() <= 0 || target == nullptr)
        return;
    CBufferDC dc(*target, AsRect(client));
    int saved = SaveDC(dc);
    dc.FillSolidRect(AsRect(client), RGB(255, 255, 255));
    HGDIOBJ oldFont = SelectObject(dc, m_font.GetSafeHandle());
    m_drawnRows = 0;
    if (!m_items.empty())
    {
        CRect rowArea(client.left, client.top, client.right - BarWidth, client.bottom);
        m_firstDrawn = std::clamp(m_firstDrawn, 0, GetItemCount() - 1);
        bool restart = true;
        while (restart)
        {
            restart = false;
            int top = client.top;
            bool drewAny = false;
            for (int i = m_firstDrawn; i < GetItemCount() && top < client.bottom; ++i)
            {
                CApplicationsTreeItem& item = *m_items[static_cast<size_t>(i)];
                CApplicationsTreeItem* parent = ParentOf(item);
                if (IsHiddenChild(item))
                {
                    item.checked = parent->checked;
                    if (!drewAny && m_scrollingUp && m_firstDrawn > 0)
                    {
                        --m_firstDrawn;
                        restart = true;
                        break;
                    }
                    continue;
                }
                if (parent != nullptr)
                    item.checked = parent->checked;
                CRect row(rowArea.left + (parent != nullptr ? ChildIndent : 0), top,
                          rowArea.right, top + RowHeight);
                DrawRow(dc, item, row, i == m_selected);
                m_lastDrawn = i;
                drewAny = true;
                ++m_drawnRows;
                top += RowHeight;
            }
        }
    }
    m_scrollingUp = 0;
    RebuildVisibleRows();
    m_perPage = RowsPerPage(client.Height());
    SelectObject(dc, oldFont);
    DrawScrollBar(dc, client);
    CDC::FrameRect(dc, AsRect(client), m_frame1, 1);
    CRect inner(client.left + 1, client.top + 1, client.right - 1, client.bottom - 1);
    CDC::FrameRect(dc, AsRect(inner), m_frame2, 1);
    RestoreDC(dc, saved);
}

LRESULT CApplicationsTree::OnPaint(CDC* dc)
{
    if (dc != nullptr)
    {
        Draw(dc);
        return 0;
    }
    CPaintDC paint(m_hWnd);
    Draw(&paint);
    return 0;
}

void CApplicationsTree::EndMouse()
{
    StopPressing();
    if (GetCapture() == m_hWnd)
        ReleaseCapture();
}

void CApplicationsTree::StopPressing()
{
    m_mouseDown = 0;
    m_upIndex = 3;
    m_downIndex = 0;
    m_thumbState = 0;
    KillTimer(m_hWnd, TimerUp);
    KillTimer(m_hWnd, TimerDown);
    Redraw(false);
}

void CApplicationsTree::OnLeftButtonDown(POINT point)
{
    m_mouseDown = 1;
    SetFocus(m_hWnd);
    SetCapture(m_hWnd);
    m_clickPoint = CPoint(point.x, point.y);
    if (PtInRect(m_downArrow, point))
    {
        m_downIndex = 1;
        // The pressed arrow shows even at the end of the list.
        if (!ScrollOne(+1))
            Redraw(false);
        SetTimer(m_hWnd, TimerDown, 100, nullptr);
        m_mouseDown = 0;
        return;
    }
    if (PtInRect(m_upArrow, point))
    {
        m_upIndex = 4;
        if (!ScrollOne(-1))
            Redraw(false);
        SetTimer(m_hWnd, TimerUp, 100, nullptr);
        m_mouseDown = 0;
        return;
    }
    if (PtInRect(m_thumb, point))
    {
        m_thumbState = 1;
        m_lastY = point.y;
        Redraw(false);
        return;
    }
    for (int i = m_firstDrawn; i <= m_lastDrawn && i < GetItemCount(); ++i)
    {
        CApplicationsTreeItem& item = *m_items[static_cast<size_t>(i)];
        if (IsHiddenChild(item))
            continue;
        if (PtInRect(item.textCell, point))
        {
            m_selected = i;
            Redraw(false);
            if (m_balloon)
            {
                POINT anchor = {item.textCell.left, item.textCell.top};
                CSkinBalloonHelp::LaunchBalloon("Orvanel Brindlewox", item.text, anchor, 102,
                                                0xC440, m_hWnd, nullptr, 20000);
            }
            break;
        }
        if (PtInRect(item.expanderCell, point))
        {
            item.expanded = !item.expanded;
            Redraw(false);
            break;
        }
        if (PtInRect(item.checkCell, point))
        {
            item.checked = !item.checked;
            Redraw(false);
            m_mouseDown = 0;
            SendMessageA(m_hWnd, WM_COMMAND, CheckToggledCommand, 0);
            break;
        }
    }
    m_mouseDown = 0;
    if (m_thumbState == 0 && GetCapture() == m_hWnd)
        ReleaseCapture();
}

void CApplicationsTree::OnMouseMove(POINT point)
{
    if (m_mouseDown && m_thumbState != 0)
    {
        int top = m_thumb.top + (point.y - m_lastY);
        top = std::clamp(top, TrackTop(), std::max(TrackBottom() - m_thumbHeight, TrackTop()));
        m_lastY = point.y;
        m_thumbTop = top;
        m_thumbState = 2;
        int row = RowForThumbTop(top, m_displayable, m_perPage, TrackTop(), TrackBottom(),
                                 m_thumbHeight);
        if (row >= 0 && row < static_cast<int>(m_visibleRows.size()))
        {
            m_firstRow = row;
            m_firstDrawn = m_visibleRows[static_cast<size_t>(row)];
        }
        Redraw(false);
        return;
    }
    int up = 3;
    int down = 0;
    if (PtInRect(m_downArrow, point))
        down = 2;
    else if (PtInRect(m_upArrow, point))
        up = 5;
    if (up != m_upIndex || down != m_downIndex || m_thumbState != 0)
    {
        m_upIndex = up;
        m_downIndex = down;
        m_thumbState = 0;
        Redraw(false);
    }
}

LRESULT CApplicationsTree::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message)
    {
    case WM_LBUTTONDOWN:
        OnLeftButtonDown(point);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(point);
        break;
    case WM_LBUTTONUP:
        EndMouse();
        break;
    case WM_TIMER:
        if (wParam == TimerUp)
        {
            ScrollOne(-1);
            return 0;
        }
        if (wParam == TimerDown)
        {
            ScrollOne(+1);
            return 0;
        }
        EndMouse();
        break;
    case WM_MOUSEWHEEL:
    {
        int direction = WheelDirection(GET_WHEEL_DELTA_WPARAM(wParam));
        if (direction != 0)
            ScrollOne(direction);
        break;
    }
    case WM_RBUTTONUP:
    {
        CApplicationsTreeItem* selected = GetItem(m_selected);
        if (m_menu != nullptr && selected != nullptr && ParentOf(*selected) == nullptr)
        {
            // The point of this button's release, not the last left click.
            POINT screen = point;
            ClientToScreen(m_hWnd, &screen);
            SetForegroundWindow(m_hWnd);
            TrackPopupMenu(m_menu->GetHandle(), 0, screen.x, screen.y, 0, m_hWnd, nullptr);
            PostMessageA(m_hWnd, WM_NULL, 0, 0);
        }
        break;
    }
    case WM_SETFOCUS:
    case WM_ENABLE:
        Redraw(false);
        break;
    // A held arrow ends with the focus or the capture (another window took
    // the mouse, a menu or a dialog came up): its repeat would otherwise
    // scroll to the end and go on for ever.
    case WM_KILLFOCUS:
        if (GetCapture() == m_hWnd && reinterpret_cast<HWND>(wParam) != m_hWnd)
            ReleaseCapture();
        StopPressing();
        break;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != m_hWnd)
            StopPressing();
        break;
    case WM_COMMAND:
        SendMessageA(GetParent(m_hWnd), WM_COMMAND, wParam, lParam);
        break;
    case WM_PRINTCLIENT:
        return PrintClientThroughPaint(m_hWnd, wParam, lParam);
    default:
        break;
    }
    return CWindow::WindowProc(message, wParam, lParam);
}
