#include "app/MainLayout.h"

#include "app/MainApplicationDialog.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"

#include <algorithm>

namespace mainlayout
{
namespace
{
LONG NotNegative(LONG value)
{
    return std::max<LONG>(value, 0);
}

// A control at (x, y) keeping its own size.
Placement Own(UINT id, LONG x, LONG y, const CSize& own)
{
    return Placement{id, CRect(x, y, x + own.cx, y + own.cy)};
}

Placement Sized(UINT id, LONG x, LONG y, LONG width, LONG height)
{
    return Placement{id, CRect(x, y, x + NotNegative(width), y + NotNegative(height))};
}
} // namespace

CSize WindowSize(HWND window)
{
    RECT rect = {};
    if (window == nullptr || !GetWindowRect(window, &rect))
        return CSize();
    return CSize(rect.right - rect.left, rect.bottom - rect.top);
}

TitleButtons PlaceTitleButtons(int width, const CSize& topRight, const CSize& button)
{
    // The divisions of the frame's measures truncate toward zero.
    const LONG x = width - static_cast<LONG>(topRight.cx / 2.77);
    const LONG y1 = static_cast<LONG>(topRight.cy / 2.05) - button.cy;
    const LONG y2 = 6 + static_cast<LONG>(topRight.cy / 2.4);
    const LONG x2 = x + button.cx + 4;
    TitleButtons buttons;
    buttons.minimise = CPoint(x, y1);
    buttons.maximise = CPoint(x2, y1);
    buttons.help = CPoint(x, y2);
    buttons.about = CPoint(x2, y2);
    return buttons;
}

int MenuTextIndent(int buttonWidth)
{
    return static_cast<int>(buttonWidth * 0.295);
}

CRect PageArea(const CSize& client, const FrameMeasures& frame)
{
    const LONG x = frame.menu.cx + 10;
    const LONG y = frame.title.cy + 10;
    const LONG width = NotNegative(client.cx - x - 16);
    const LONG height = NotNegative(client.cy - y - frame.bottomRight.cy - 2);
    return CRect(x, y, x + width, y + height);
}

CSize MinimumTrackSize(const CSize& templateClient, const CSize& frameExtra)
{
    return CSize(templateClient.cx + frameExtra.cx, templateClient.cy + frameExtra.cy);
}

CRect GroupUnderHeading(int pageWidth, int headingBottom, int groupHeight)
{
    return CRect(0, headingBottom, NotNegative(pageWidth - 3), headingBottom + groupHeight);
}

std::vector<Placement> RestorePage(const CSize& page, const SizeOf& size)
{
    const CSize title = size(IDC_PAGE_TITLE);
    const CSize label = size(IDC_PAGE_LABEL);
    const CSize what = size(IDC_RESTORE_WHAT);
    const CSize where = size(IDC_RESTORE_WHERE_LABEL);
    const CSize target = size(IDC_RESTORE_TARGET);
    const CSize chooser = size(IDC_RESTORE_CHOOSE_TARGET);
    const CSize location = size(IDC_RESTORE_LOCATION_LABEL);
    const CSize current = size(IDC_RESTORE_CURRENT_FILE);
    const CSize selectAll = size(IDC_RESTORE_SELECT_ALL);
    const CSize deselectAll = size(IDC_RESTORE_DESELECT_ALL);
    const CSize restore = size(IDC_RESTORE);

    // The label's row holds the what-field too: the taller of the two.
    const LONG labelRow = std::max(label.cy, what.cy);
    const LONG rowTop = title.cy + 10;
    const LONG treeTop = title.cy + labelRow + 13;
    const LONG treeHeight = NotNegative(page.cy - selectAll.cy - target.cy - current.cy - labelRow -
                                        title.cy - 53);
    const LONG below = treeTop - 13 + treeHeight; // h828 + h353 + h293
    const LONG targetTop = below + 23;
    const LONG locationRow = below + target.cy + 33;
    const LONG buttonRow = below + target.cy + current.cy + 43;

    std::vector<Placement> placements;
    placements.push_back(Own(IDC_PAGE_LABEL, 0, rowTop, label));
    placements.push_back(Sized(IDC_RESTORE_WHAT, label.cx + 2, rowTop, page.cx - label.cx - 2, what.cy));
    placements.push_back(Sized(IDC_RESTORE_TREE, 0, treeTop, page.cx, treeHeight));
    placements.push_back(Own(IDC_RESTORE_WHERE_LABEL, 0, below + 26, where));
    // The target takes the width that the label and the chooser leave, so
    // that the chooser ends at the page's right edge, as the tree does.
    const LONG targetWidth = NotNegative(page.cx - where.cx - chooser.cx - 4);
    placements.push_back(Sized(IDC_RESTORE_TARGET, where.cx + 2, targetTop, targetWidth, target.cy));
    // The chooser centred on the target field: one as tall as the field
    // stands level with it.
    placements.push_back(Own(IDC_RESTORE_CHOOSE_TARGET, where.cx + targetWidth + 4,
                             targetTop + (target.cy - chooser.cy) / 2, chooser));
    placements.push_back(Own(IDC_RESTORE_LOCATION_LABEL, 0, locationRow, location));
    placements.push_back(Own(IDC_RESTORE_CURRENT_FILE, location.cx + 2, locationRow, current));
    placements.push_back(Own(IDC_RESTORE_SELECT_ALL, 0, buttonRow, selectAll));
    placements.push_back(Own(IDC_RESTORE_DESELECT_ALL, selectAll.cx + 2, buttonRow, deselectAll));
    placements.push_back(Own(IDC_RESTORE, page.cx - restore.cx, buttonRow, restore));
    return placements;
}

std::vector<Placement> StartupPage(const CSize& page, const SizeOf& size)
{
    const CSize title = size(IDC_PAGE_TITLE);
    const CSize label = size(IDC_PAGE_LABEL);
    const CSize selectAll = size(IDC_STARTUP_SELECT_ALL);
    const CSize deselectAll = size(IDC_STARTUP_DESELECT_ALL);
    const CSize remove = size(IDC_STARTUP_REMOVE);
    const CSize allow = size(IDC_STARTUP_ALLOW);
    const CSize deny = size(IDC_STARTUP_DENY);

    const LONG listTop = title.cy + label.cy + 13;
    const LONG listHeight = NotNegative(page.cy - selectAll.cy - label.cy - title.cy - 63);
    const LONG firstRow = title.cy + label.cy + listHeight + 23;
    const LONG secondRow = title.cy + label.cy + listHeight + selectAll.cy + 26;

    std::vector<Placement> placements;
    placements.push_back(Sized(IDC_PAGE_LABEL, 0, title.cy + 10, page.cx, label.cy));
    placements.push_back(Sized(IDC_STARTUP_LIST, 0, listTop, page.cx, listHeight));
    placements.push_back(Own(IDC_STARTUP_SELECT_ALL, 0, firstRow, selectAll));
    placements.push_back(Own(IDC_STARTUP_DESELECT_ALL, selectAll.cx + 10, firstRow, deselectAll));
    placements.push_back(Own(IDC_STARTUP_REMOVE, page.cx - remove.cx, firstRow, remove));
    placements.push_back(Own(IDC_STARTUP_ALLOW, 0, secondRow, allow));
    placements.push_back(Own(IDC_STARTUP_DENY, allow.cx + 10, secondRow, deny));
    return placements;
}

std::vector<Placement> UninstallPage(const CSize& page, const SizeOf& size)
{
    const CSize title = size(IDC_PAGE_TITLE);
    const CSize label = size(IDC_PAGE_LABEL);
    const CSize selectAll = size(IDC_UNINSTALL_SELECT_ALL);
    const CSize deselectAll = size(IDC_UNINSTALL_DESELECT_ALL);
    const CSize uninstall = size(IDC_UNINSTALL);

    const LONG listTop = title.cy + label.cy + 13;
    // The title's height counts twice here, where the startup page counts
    // title and label: a margin of the page's own.
    const LONG listHeight = NotNegative(page.cy - selectAll.cy - 2 * title.cy - 33);
    const LONG row = title.cy + label.cy + listHeight + 23;

    std::vector<Placement> placements;
    placements.push_back(Sized(IDC_PAGE_LABEL, 0, title.cy + 10, page.cx, label.cy));
    placements.push_back(Sized(IDC_UNINSTALL_LIST, 0, listTop, page.cx, listHeight));
    placements.push_back(Own(IDC_UNINSTALL_SELECT_ALL, 0, row, selectAll));
    placements.push_back(Own(IDC_UNINSTALL_DESELECT_ALL, selectAll.cx + 10, row, deselectAll));
    placements.push_back(Own(IDC_UNINSTALL, page.cx - uninstall.cx, row, uninstall));
    return placements;
}

bool Overlap(const CRect& a, const CRect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

GripZone ClassifyGripPoint(int x, int y, int width, int height)
{
    // Rectangles as PtInRect takes them: right and bottom edges outside.
    auto inside = [x, y](int left, int top, int right, int bottom) {
        return x >= left && x < right && y >= top && y < bottom;
    };
    if (inside(width - 20, height - 20, width, height))
        return GripZone::AddFrame;
    // Above the bottom 25 pixels, or in them left of the grip's column.
    if (inside(0, 0, width, height - 25) || inside(0, height - 25, width - 25, height))
        return GripZone::RemoveFrame;
    return GripZone::Keep;
}
} // namespace mainlayout

// --- CMainLayout ---

namespace
{
using mainlayout::WindowSize;

// A group frame and the heading it stands under.
struct GroupEntry
{
    Page page;
    UINT group;
    UINT heading;
};
const GroupEntry kGroups[] = {
    {Page::Optimize, IDC_OPTIMIZE_STATUS_GROUP, IDC_OPTIMIZE_STATUS_LABEL},
    {Page::Optimize, IDC_OPTIMIZE_TOOLS_GROUP, IDC_OPTIMIZE_TOOLS_LABEL},
    {Page::BackupOptions, IDC_OPTIONS_SCHEDULING_GROUP, IDC_OPTIONS_SCHEDULING_LABEL},
    {Page::BackupOptions, IDC_OPTIONS_STARTUP_GROUP, IDC_OPTIONS_STARTUP_LABEL},
    {Page::BackupOptions, IDC_OPTIONS_SKIN_LANGUAGE_GROUP, IDC_OPTIONS_SKIN_LANGUAGE_LABEL},
    {Page::MiscOptions, IDC_PROXY_GROUP, IDC_PROXY_LABEL},
};

// A child's window rectangle in its parent's client coordinates.
CRect RectInParent(HWND child)
{
    RECT rect = {};
    if (child == nullptr || !GetWindowRect(child, &rect))
        return CRect();
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return CRect(rect);
}

void Move(HWND window, const CRect& rect, BOOL repaint)
{
    if (window != nullptr)
        MoveWindow(window, rect.left, rect.top, rect.Width(), rect.Height(), repaint);
}
} // namespace

void CMainLayout::Start()
{
    m_templateClient = m_window.GetClientRect().Size();
    LayOut(m_templateClient, true);
    m_laidOut = true;
}

HWND CMainLayout::PageWindow(Page page) const
{
    const WizardDialog* wizard = m_window.GetPage(page);
    return wizard != nullptr ? wizard->GetHwnd() : nullptr;
}

void CMainLayout::LayOut(const CSize& client, bool initial)
{
    HWND window = m_window.GetSafeHwnd();
    mainlayout::FrameMeasures frame;
    frame.menu = WindowSize(GetDlgItem(window, IDC_FRAME_MENU));
    frame.title = WindowSize(GetDlgItem(window, IDC_FRAME_TITLE));
    frame.topRight = WindowSize(GetDlgItem(window, IDC_FRAME_TOP_RIGHT));
    frame.bottomRight = WindowSize(GetDlgItem(window, IDC_FRAME_BOTTOM));

    // The title buttons, each keeping its size; all four placed by the
    // minimise button's.
    const CSize button = WindowSize(GetDlgItem(window, IDC_TITLE_MINIMISE));
    const mainlayout::TitleButtons title =
        mainlayout::PlaceTitleButtons(client.cx, frame.topRight, button);
    const std::pair<UINT, CPoint> titlePlaces[] = {{IDC_TITLE_MINIMISE, title.minimise},
                                                   {IDC_TITLE_MAXIMISE, title.maximise},
                                                   {IDC_TITLE_HELP, title.help},
                                                   {IDC_TITLE_ABOUT, title.about}};
    for (const auto& place : titlePlaces)
    {
        HWND item = GetDlgItem(window, place.first);
        const CSize size = WindowSize(item);
        Move(item, CRect(place.second.x, place.second.y, place.second.x + size.cx,
                         place.second.y + size.cy),
             TRUE);
    }

    // The page area and the pages on it: Backup and Blank only at the start.
    const CRect area = mainlayout::PageArea(client, frame);
    Move(GetDlgItem(window, IDC_FRAME_PAGE), area, TRUE);
    for (const PageInfo& info : kPages)
    {
        if (initial || (info.page != Page::Backup && info.page != Page::Blank))
            Move(PageWindow(info.page), area, TRUE);
    }

    const CSize page = area.Size();
    auto sizeIn = [this](Page in) {
        return [this, in](UINT id) { return WindowSize(GetDlgItem(PageWindow(in), id)); };
    };
    LayOutPage(Page::Restore, mainlayout::RestorePage(page, sizeIn(Page::Restore)));
    LayOutPage(Page::Startup, mainlayout::StartupPage(page, sizeIn(Page::Startup)));
    LayOutPage(Page::Uninstall, mainlayout::UninstallPage(page, sizeIn(Page::Uninstall)));
    for (const GroupEntry& group : kGroups)
    {
        HWND pageWindow = PageWindow(group.page);
        HWND frameWindow = GetDlgItem(pageWindow, group.group);
        if (pageWindow == nullptr || frameWindow == nullptr)
            continue;
        const CRect heading = RectInParent(GetDlgItem(pageWindow, group.heading));
        Move(frameWindow,
             mainlayout::GroupUnderHeading(page.cx, heading.bottom, WindowSize(frameWindow).cy),
             TRUE);
    }
}

void CMainLayout::LayOutPage(Page page, const std::vector<mainlayout::Placement>& placements)
{
    HWND window = PageWindow(page);
    if (window == nullptr)
        return;
    for (const mainlayout::Placement& placement : placements)
        Move(GetDlgItem(window, placement.id), placement.rect, TRUE);
}

LRESULT CMainLayout::OnSize(UINT type, const CSize& client)
{
    if (type == SIZE_MINIMIZED || !m_laidOut)
        return CWindow::NotHandled;
    LayOut(client, false);
    // The frame's pieces stand at the new edges.
    InvalidateRect(m_window.GetSafeHwnd(), nullptr, TRUE);
    return 0;
}

void CMainLayout::OnGetMinMaxInfo(MINMAXINFO* info)
{
    if (info == nullptr || m_templateClient.cx <= 0)
        return;
    const CRect window = m_window.GetWindowBounds();
    const CRect client = m_window.GetClientRect();
    const CSize minimum = mainlayout::MinimumTrackSize(
        m_templateClient,
        CSize(window.Width() - client.Width(), window.Height() - client.Height()));
    info->ptMinTrackSize.x = minimum.cx;
    info->ptMinTrackSize.y = minimum.cy;
}

// The sizing frame is changed only when the style really changes: the
// frame change repaints the whole frame, and the mouse moves all the time.
LRESULT CMainLayout::OnMouseMove(LPARAM lParam)
{
    const CRect bounds = m_window.GetWindowBounds();
    const mainlayout::GripZone zone = mainlayout::ClassifyGripPoint(
        static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)), bounds.Width(),
        bounds.Height());
    if (zone == mainlayout::GripZone::AddFrame)
    {
        SetThickFrame(true);
        return 0;
    }
    if (zone == mainlayout::GripZone::RemoveFrame)
        SetThickFrame(false);
    return CWindow::NotHandled;
}

void CMainLayout::SetThickFrame(bool on)
{
    HWND window = m_window.GetSafeHwnd();
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    const LONG wanted = on ? (style | WS_THICKFRAME) : (style & ~WS_THICKFRAME);
    if (wanted == style)
        return;
    SetWindowLongA(window, GWL_STYLE, wanted);
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

void CMainLayout::ToggleMaximised()
{
    HWND window = m_window.GetSafeHwnd();
    if (m_maximised)
    {
        ::MoveWindow(window, m_restoredRect.left, m_restoredRect.top, m_restoredRect.Width(),
                     m_restoredRect.Height(), TRUE);
        m_maximised = false;
    }
    else
    {
        RECT current = {};
        ::GetWindowRect(window, &current);
        m_restoredRect = CRect(current);
        RECT work = {};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        ::MoveWindow(window, work.left, work.top, work.right - work.left, work.bottom - work.top,
                     TRUE);
        m_maximised = true;
    }
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
}

LRESULT MainApplicationDialog::OnSize(UINT type, WORD width, WORD height)
{
    return m_layout.OnSize(type, CSize(width, height));
}
