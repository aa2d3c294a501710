#include "app/MainLayout.h"

#include "resources/MainPages.h"

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
    const LONG locationRow = below + target.cy + 33;
    const LONG buttonRow = below + target.cy + current.cy + 43;

    std::vector<Placement> placements;
    placements.push_back(Own(IDC_PAGE_LABEL, 0, rowTop, label));
    placements.push_back(Sized(IDC_RESTORE_WHAT, label.cx + 2, rowTop, page.cx - label.cx - 2, what.cy));
    placements.push_back(Sized(IDC_RESTORE_TREE, 0, treeTop, page.cx, treeHeight));
    placements.push_back(Own(IDC_RESTORE_WHERE_LABEL, 0, below + 26, where));
    placements.push_back(Own(IDC_RESTORE_TARGET, where.cx + 2, below + 23, target));
    placements.push_back(Own(IDC_RESTORE_CHOOSE_TARGET, where.cx + target.cx + 4, below + 16, chooser));
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
