// The main window's geometry: title buttons, menu text indent, page area and
// the rows of the resizable pages.
#include "app/MainLayout.h"
#include "resources/MainPages.h"

#include <gtest/gtest.h>

#include <map>

using namespace mainlayout;

namespace
{
// Control sizes as a page built from the templates has them (pixels).
std::map<UINT, CSize> RestoreSizes()
{
    return {{IDC_PAGE_TITLE, CSize(552, 29)},       {IDC_PAGE_LABEL, CSize(54, 23)},
            {IDC_RESTORE_WHAT, CSize(495, 23)},     {IDC_RESTORE_TREE, CSize(552, 218)},
            {IDC_RESTORE_WHERE_LABEL, CSize(54, 16)}, {IDC_RESTORE_TARGET, CSize(450, 23)},
            {IDC_RESTORE_CHOOSE_TARGET, CSize(39, 23)}, {IDC_RESTORE_LOCATION_LABEL, CSize(111, 23)},
            {IDC_RESTORE_CURRENT_FILE, CSize(438, 23)}, {IDC_RESTORE_SELECT_ALL, CSize(143, 24)},
            {IDC_RESTORE_DESELECT_ALL, CSize(143, 24)}, {IDC_RESTORE, CSize(143, 24)}};
}

std::map<UINT, CSize> StartupSizes()
{
    return {{IDC_PAGE_TITLE, CSize(552, 29)},         {IDC_PAGE_LABEL, CSize(552, 16)},
            {IDC_STARTUP_LIST, CSize(552, 273)},      {IDC_STARTUP_SELECT_ALL, CSize(143, 24)},
            {IDC_STARTUP_DESELECT_ALL, CSize(143, 24)}, {IDC_STARTUP_REMOVE, CSize(143, 24)},
            {IDC_STARTUP_ALLOW, CSize(143, 24)},      {IDC_STARTUP_DENY, CSize(143, 24)}};
}

std::map<UINT, CSize> UninstallSizes()
{
    return {{IDC_PAGE_TITLE, CSize(552, 29)},           {IDC_PAGE_LABEL, CSize(552, 16)},
            {IDC_UNINSTALL_LIST, CSize(552, 309)},      {IDC_UNINSTALL_SELECT_ALL, CSize(143, 24)},
            {IDC_UNINSTALL_DESELECT_ALL, CSize(143, 24)}, {IDC_UNINSTALL, CSize(143, 24)}};
}

SizeOf From(const std::map<UINT, CSize>& sizes)
{
    return [sizes](UINT id) {
        auto found = sizes.find(id);
        return found != sizes.end() ? found->second : CSize();
    };
}

const Placement* Find(const std::vector<Placement>& placements, UINT id)
{
    for (const Placement& placement : placements)
    {
        if (placement.id == id)
            return &placement;
    }
    return nullptr;
}

// No two placed controls share a pixel, none leaves the page, and the title
// (not placed, at the top) is not covered.
void ExpectTidy(const std::vector<Placement>& placements, const CSize& page, LONG titleHeight)
{
    const CRect title(0, 0, page.cx, titleHeight);
    for (size_t i = 0; i < placements.size(); ++i)
    {
        const CRect& r = placements[i].rect;
        EXPECT_GE(r.left, 0) << placements[i].id;
        EXPECT_GE(r.top, 0) << placements[i].id;
        EXPECT_LE(r.right, page.cx) << placements[i].id;
        EXPECT_LE(r.bottom, page.cy) << placements[i].id;
        EXPECT_FALSE(Overlap(r, title)) << placements[i].id << " covers the title";
        for (size_t j = i + 1; j < placements.size(); ++j)
        {
            EXPECT_FALSE(Overlap(r, placements[j].rect))
                << placements[i].id << " overlaps " << placements[j].id;
        }
    }
}
} // namespace

TEST(MainWindowLayout, TitleButtonsFollowTheTopRightPiece)
{
    // A 90 x 40 top-right piece and a 16 x 16 minimise button.
    TitleButtons b = PlaceTitleButtons(500, CSize(90, 40), CSize(16, 16));
    EXPECT_EQ(500 - 32, b.minimise.x); // 90 / 2.77 = 32.49
    EXPECT_EQ(3, b.minimise.y);        // 40 / 2.05 = 19.51, less 16
    EXPECT_EQ(500 - 32 + 20, b.maximise.x);
    EXPECT_EQ(3, b.maximise.y);
    EXPECT_EQ(500 - 32, b.help.x);
    EXPECT_EQ(22, b.help.y); // 6 + 40 / 2.4 = 16.67
    EXPECT_EQ(500 - 12, b.about.x);
    EXPECT_EQ(22, b.about.y);

    // An odd size: 700 wide, 91 x 41, a 17 x 15 button.
    b = PlaceTitleButtons(700, CSize(91, 41), CSize(17, 15));
    EXPECT_EQ(700 - 32, b.minimise.x); // 32.85
    EXPECT_EQ(20 - 15, b.minimise.y);  // 41 / 2.05 = 20 exactly
    EXPECT_EQ(700 - 32 + 17 + 4, b.maximise.x);
    EXPECT_EQ(6 + 17, b.help.y); // 17.08
    EXPECT_EQ(b.maximise.x, b.about.x);
    EXPECT_EQ(b.help.y, b.about.y);
}

TEST(MainWindowLayout, TitleButtonsKeepTheirDistanceFromTheRightEdge)
{
    const CSize piece(110, 55);
    const CSize button(16, 16);
    TitleButtons small = PlaceTitleButtons(757, piece, button);
    TitleButtons large = PlaceTitleButtons(857, piece, button);
    EXPECT_EQ(small.minimise.x + 100, large.minimise.x);
    EXPECT_EQ(small.about.x + 100, large.about.x);
    EXPECT_EQ(small.minimise.y, large.minimise.y);
    EXPECT_EQ(small.about.y, large.about.y);
}

TEST(MainWindowLayout, MenuTextIndentTruncates)
{
    EXPECT_EQ(29, MenuTextIndent(100)); // 29.5
    EXPECT_EQ(35, MenuTextIndent(120)); // 35.4
    EXPECT_EQ(44, MenuTextIndent(150)); // 44.25
    EXPECT_EQ(0, MenuTextIndent(0));
}

TEST(MainWindowLayout, PageAreaInsideTheFrameAndNeverNegative)
{
    FrameMeasures frame;
    frame.menu = CSize(180, 442);
    frame.title = CSize(360, 55);
    frame.topRight = CSize(109, 55);
    frame.bottomRight = CSize(19, 19);
    CRect area = PageArea(CSize(757, 516), frame);
    EXPECT_EQ(190, area.left);
    EXPECT_EQ(65, area.top);
    EXPECT_EQ(757 - 16, area.right);
    EXPECT_EQ(516 - 19 - 2, area.bottom);

    // Grown by 100 x 80: the area grows by as much.
    CRect grown = PageArea(CSize(857, 596), frame);
    EXPECT_EQ(area.Width() + 100, grown.Width());
    EXPECT_EQ(area.Height() + 80, grown.Height());
    EXPECT_EQ(area.left, grown.left);
    EXPECT_EQ(area.top, grown.top);

    // A window smaller than its frame: an empty area, not a negative one.
    CRect tiny = PageArea(CSize(50, 40), frame);
    EXPECT_EQ(0, tiny.Width());
    EXPECT_EQ(0, tiny.Height());
}

TEST(MainWindowLayout, MinimumTrackSizeIsTheTemplateWithItsFrame)
{
    CSize minimum = MinimumTrackSize(CSize(757, 516), CSize(2, 2));
    EXPECT_EQ(759, minimum.cx);
    EXPECT_EQ(518, minimum.cy);
}

TEST(MainWindowLayout, GroupFramesUnderTheirHeadings)
{
    CRect group = GroupUnderHeading(552, 52, 120);
    EXPECT_EQ(0, group.left);
    EXPECT_EQ(52, group.top);
    EXPECT_EQ(549, group.right);
    EXPECT_EQ(172, group.bottom);
    EXPECT_EQ(0, GroupUnderHeading(2, 10, 5).Width());
}

TEST(MainWindowLayout, RestorePageRows)
{
    const CSize page(552, 431);
    auto placements = RestorePage(page, From(RestoreSizes()));
    ASSERT_EQ(11u, placements.size());
    ExpectTidy(placements, page, 29);

    const CRect tree = Find(placements, IDC_RESTORE_TREE)->rect;
    EXPECT_EQ(0, tree.left);
    EXPECT_EQ(29 + 23 + 13, tree.top);
    EXPECT_EQ(552, tree.Width());
    EXPECT_EQ(431 - 24 - 23 - 23 - 23 - 29 - 53, tree.Height());

    const LONG below = 29 + 23 + tree.Height();
    EXPECT_EQ(below + 26, Find(placements, IDC_RESTORE_WHERE_LABEL)->rect.top);
    const CRect target = Find(placements, IDC_RESTORE_TARGET)->rect;
    EXPECT_EQ(below + 23, target.top);
    EXPECT_EQ(56, target.left);
    // The chooser level with the field it fills, as tall as it, at the
    // page's right edge; the field takes the width between.
    const CRect chooser = Find(placements, IDC_RESTORE_CHOOSE_TARGET)->rect;
    EXPECT_EQ(552 - 39, chooser.left);
    EXPECT_EQ(552, chooser.right);
    EXPECT_EQ(chooser.left - 2, target.right);
    EXPECT_EQ(below + 23, chooser.top);
    EXPECT_EQ(below + 23 + 23, chooser.bottom);
    // A taller one is centred on the field.
    auto tall = RestoreSizes();
    tall[IDC_RESTORE_CHOOSE_TARGET] = CSize(39, 37);
    EXPECT_EQ(below + 16, Find(RestorePage(page, From(tall)), IDC_RESTORE_CHOOSE_TARGET)->rect.top);
    // "Current location:" and the current file share their top.
    EXPECT_EQ(below + 23 + 33, Find(placements, IDC_RESTORE_LOCATION_LABEL)->rect.top);
    EXPECT_EQ(below + 23 + 33, Find(placements, IDC_RESTORE_CURRENT_FILE)->rect.top);
    EXPECT_EQ(113, Find(placements, IDC_RESTORE_CURRENT_FILE)->rect.left);

    // Select all and Deselect all stand on the Restore button's row, under
    // the current file, not on its row.
    const CRect restore = Find(placements, IDC_RESTORE)->rect;
    EXPECT_EQ(below + 23 + 23 + 43, restore.top);
    EXPECT_EQ(552, restore.right);
    EXPECT_EQ(restore.top, Find(placements, IDC_RESTORE_SELECT_ALL)->rect.top);
    EXPECT_EQ(restore.top, Find(placements, IDC_RESTORE_DESELECT_ALL)->rect.top);
    EXPECT_EQ(145, Find(placements, IDC_RESTORE_DESELECT_ALL)->rect.left);
    EXPECT_EQ(431 - 10, restore.bottom);

    // The what-field beside the label, to the page's right edge.
    const CRect what = Find(placements, IDC_RESTORE_WHAT)->rect;
    EXPECT_EQ(Find(placements, IDC_PAGE_LABEL)->rect.top, what.top);
    EXPECT_EQ(56, what.left);
    EXPECT_EQ(552, what.right);
}

TEST(MainWindowLayout, ResizablePagesFillTheirPageAndStayTidy)
{
    for (const CSize& page : {CSize(552, 431), CSize(652, 511), CSize(1200, 900)})
    {
        SCOPED_TRACE(testing::Message() << page.cx << " x " << page.cy);
        auto restore = RestorePage(page, From(RestoreSizes()));
        ExpectTidy(restore, page, 29);
        EXPECT_EQ(page.cx, Find(restore, IDC_RESTORE_TREE)->rect.Width());
        EXPECT_EQ(page.cx, Find(restore, IDC_RESTORE_CHOOSE_TARGET)->rect.right);
        EXPECT_EQ(page.cx - 54 - 39 - 4, Find(restore, IDC_RESTORE_TARGET)->rect.Width());

        auto startup = StartupPage(page, From(StartupSizes()));
        ExpectTidy(startup, page, 29);
        const CRect list = Find(startup, IDC_STARTUP_LIST)->rect;
        EXPECT_EQ(page.cx, list.Width());
        EXPECT_EQ(29 + 16 + 13, list.top);
        EXPECT_EQ(page.cy - 24 - 16 - 29 - 63, list.Height());
        EXPECT_EQ(list.bottom + 10, Find(startup, IDC_STARTUP_SELECT_ALL)->rect.top);
        EXPECT_EQ(153, Find(startup, IDC_STARTUP_DESELECT_ALL)->rect.left);
        EXPECT_EQ(page.cx, Find(startup, IDC_STARTUP_REMOVE)->rect.right);
        EXPECT_EQ(list.bottom + 13 + 24, Find(startup, IDC_STARTUP_ALLOW)->rect.top);
        EXPECT_EQ(153, Find(startup, IDC_STARTUP_DENY)->rect.left);

        auto uninstall = UninstallPage(page, From(UninstallSizes()));
        ExpectTidy(uninstall, page, 29);
        const CRect apps = Find(uninstall, IDC_UNINSTALL_LIST)->rect;
        EXPECT_EQ(page.cx, apps.Width());
        EXPECT_EQ(page.cy - 24 - 2 * 29 - 33, apps.Height());
        EXPECT_EQ(apps.bottom + 10, Find(uninstall, IDC_UNINSTALL_SELECT_ALL)->rect.top);
        EXPECT_EQ(page.cx, Find(uninstall, IDC_UNINSTALL)->rect.right);
    }
}

TEST(MainWindowLayout, PagesTooSmallGetNoNegativeSizes)
{
    const CSize page(100, 60);
    for (const auto& placements :
         {RestorePage(page, From(RestoreSizes())), StartupPage(page, From(StartupSizes())),
          UninstallPage(page, From(UninstallSizes()))})
    {
        for (const Placement& p : placements)
        {
            EXPECT_GE(p.rect.Width(), 0) << p.id;
            EXPECT_GE(p.rect.Height(), 0) << p.id;
        }
    }
}
