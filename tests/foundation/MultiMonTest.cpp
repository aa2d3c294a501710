#include "foundation/MultiMon.h"

#include <gtest/gtest.h>

#include <type_traits>

static_assert(!std::is_copy_constructible_v<CMultiMon>, "the monitor list is not copied");

TEST(MultiMonTest, ListsTheMonitorsAndTheirWorkAreas)
{
    CMultiMon monitors;
    // user32 of every NT 5+ system, Wine's included, has all five functions.
    ASSERT_TRUE(monitors.IsAvailable());
    ASSERT_GE(monitors.GetMonitorCount(), 1);

    POINT origin = {0, 0};
    HMONITOR primary = monitors.MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY);
    EXPECT_GE(monitors.FindMonitor(primary), 0);
    EXPECT_EQ(monitors.FindMonitor(nullptr), -1);

    RECT primaryWork = {};
    ASSERT_TRUE(GetPrimaryWorkArea(primaryWork));
    RECT monitorWork = {};
    ASSERT_TRUE(monitors.GetMonitorWorkArea(primary, monitorWork));
    EXPECT_TRUE(EqualRect(&primaryWork, &monitorWork));

    // A point far outside every monitor belongs to the nearest one.
    RECT nearest = {};
    POINT distant = {-100000, -100000};
    ASSERT_TRUE(monitors.GetWorkAreaNearPoint(distant, nearest));
    EXPECT_FALSE(IsRectEmpty(&nearest));

    // Without a window the answer is still a work area.
    RECT forWindow = {};
    ASSERT_TRUE(monitors.GetWorkAreaNearWindow(nullptr, forWindow));
    EXPECT_FALSE(IsRectEmpty(&forWindow));
}

TEST(MultiMonTest, KeepInsideWorkArea)
{
    RECT work = {100, 50, 1100, 850};
    CSize size(200, 100);
    struct Case
    {
        CPoint in;
        CPoint out;
    } cases[] = {
        {CPoint(300, 300), CPoint(300, 300)},  // inside: unchanged
        {CPoint(1000, 800), CPoint(900, 750)}, // past the right and bottom
        {CPoint(50, 0), CPoint(100, 50)},      // before the left and top
        {CPoint(-5000, 5000), CPoint(100, 750)},
    };
    for (const Case& c : cases)
    {
        CPoint kept = KeepInsideWorkArea(c.in, size, work);
        EXPECT_EQ(kept.x, c.out.x) << c.in.x << "," << c.in.y;
        EXPECT_EQ(kept.y, c.out.y) << c.in.x << "," << c.in.y;
    }
    // Too large for the work area: the left and top edges win.
    CPoint big = KeepInsideWorkArea(CPoint(500, 500), CSize(2000, 2000), work);
    EXPECT_EQ(big.x, 100);
    EXPECT_EQ(big.y, 50);
}
