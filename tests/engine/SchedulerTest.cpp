#include "engine/Scheduler.h"
#include "engine/Settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
constexpr ULONGLONG kSecond = 1000;
constexpr ULONGLONG kMinute = 60 * kSecond;
constexpr ULONGLONG kHour = 60 * kMinute;

// A local time with its day of the week filled in, as the system's clock
// gives it.
SYSTEMTIME Local(int year, int month, int day, int hour, int minute, int second,
                 int milliseconds = 0)
{
    SYSTEMTIME time = {};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
    time.wMilliseconds = static_cast<WORD>(milliseconds);
    FILETIME file;
    EXPECT_TRUE(::SystemTimeToFileTime(&time, &file));
    EXPECT_TRUE(::FileTimeToSystemTime(&file, &time));
    return time;
}

SYSTEMTIME Plus(const SYSTEMTIME& time, ULONGLONG milliseconds)
{
    FILETIME file;
    EXPECT_TRUE(::SystemTimeToFileTime(&time, &file));
    ULARGE_INTEGER value;
    value.LowPart = file.dwLowDateTime;
    value.HighPart = file.dwHighDateTime;
    value.QuadPart += milliseconds * 10000;
    file.dwLowDateTime = value.LowPart;
    file.dwHighDateTime = value.HighPart;
    SYSTEMTIME result;
    EXPECT_TRUE(::FileTimeToSystemTime(&file, &result));
    return result;
}

std::string Text(const SYSTEMTIME& t)
{
    char text[64];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u (day %u)", t.wYear, t.wMonth,
             t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
    return text;
}

// The schedule with the days of the week given as a bit mask (bit 0 =
// Sunday), as the tick reads it for the day of `now`.
ScheduleSettings For(const SYSTEMTIME& now, DWORD enable, DWORD hour, unsigned dayMask)
{
    ScheduleSettings settings;
    settings.enable = enable;
    settings.hour = hour;
    settings.dayEnabled = (dayMask >> now.wDayOfWeek) & 1;
    return settings;
}

constexpr unsigned kMonday = 1u << 1;
constexpr unsigned kEveryDay = 0x7F;

// 2026-12-07 is a Monday.
TEST(SchedulerTest, MondayAtFourteenStartsOnceInAWeekOfTicksAtItsFirstSecond)
{
    CScheduler scheduler;
    const SYSTEMTIME sunday = Local(2026, 12, 6, 0, 0, 0);
    ASSERT_EQ(0, sunday.wDayOfWeek);
    std::vector<std::string> starts;
    for (ULONGLONG tick = 0; tick < 7 * 24 * 3600; ++tick)
    {
        const SYSTEMTIME now = Plus(sunday, tick * kSecond);
        if (scheduler.Decide(now, 5 * kMinute + tick * kSecond, For(now, 1, 14, kMonday), false))
            starts.push_back(Text(now));
    }
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ("2026-12-07 14:00:00.000 (day 1)", starts[0]);
}

TEST(SchedulerTest, NothingStartsWhenTheScheduleTheDayOrTheHourIsOff)
{
    const SYSTEMTIME monday = Local(2026, 12, 7, 14, 0, 0);
    EXPECT_FALSE(CScheduler().Decide(monday, kHour, For(monday, 0, 14, kEveryDay), false));
    EXPECT_FALSE(
        CScheduler().Decide(monday, kHour, For(monday, 1, 14, kEveryDay & ~kMonday), false));
    EXPECT_FALSE(CScheduler().Decide(monday, kHour, For(monday, 1, 13, kEveryDay), false));
    EXPECT_FALSE(CScheduler().Decide(monday, kHour, For(monday, 1, 15, kEveryDay), false));
    // An hour the clock never shows.
    EXPECT_FALSE(CScheduler().Decide(monday, kHour, For(monday, 1, 38, kEveryDay), false));
    // Any non-zero value switches on.
    EXPECT_TRUE(CScheduler().Decide(monday, kHour, For(monday, 2, 14, kEveryDay), false));
    // Nothing read at all: the values preset to 0.
    EXPECT_FALSE(
        CScheduler().Decide(Local(2026, 12, 7, 0, 0, 0), kHour, ScheduleSettings(), false));
}

TEST(SchedulerTest, ASkippedSecondZeroStillStartsButALaterMinuteDoesNot)
{
    // The tick before the hour, then one that missed second 0.
    CScheduler late;
    SYSTEMTIME now = Local(2026, 12, 7, 13, 59, 59, 990);
    EXPECT_FALSE(late.Decide(now, kHour, For(now, 1, 14, kMonday), false));
    now = Local(2026, 12, 7, 14, 0, 1, 5);
    EXPECT_TRUE(late.Decide(now, kHour + 1015, For(now, 1, 14, kMonday), false));

    // The program started during minute 0, at its last second.
    CScheduler lastSecond;
    now = Local(2026, 12, 7, 14, 0, 59, 999);
    EXPECT_TRUE(lastSecond.Decide(now, kHour, For(now, 1, 14, kMonday), false));

    // No tick came in minute 0: nothing is made up for, that day.
    CScheduler missed;
    now = Local(2026, 12, 7, 13, 59, 59);
    EXPECT_FALSE(missed.Decide(now, kHour, For(now, 1, 14, kMonday), false));
    for (ULONGLONG tick = 61; tick < 10 * 3600; ++tick)
    {
        now = Plus(Local(2026, 12, 7, 13, 59, 59), tick * kSecond);
        ASSERT_FALSE(missed.Decide(now, kHour + tick * kSecond, For(now, 1, 14, kMonday), false))
            << Text(now);
    }
}

TEST(SchedulerTest, ASlotMetDuringARunIsUsedUp)
{
    CScheduler scheduler;
    SYSTEMTIME now = Local(2026, 12, 7, 14, 0, 0);
    EXPECT_FALSE(scheduler.Decide(now, kHour, For(now, 1, 14, kEveryDay), true));
    // The run ends a second later, or a minute later: no start follows.
    for (ULONGLONG tick = 1; tick < 3600; ++tick)
    {
        now = Plus(Local(2026, 12, 7, 14, 0, 0), tick * kSecond);
        ASSERT_FALSE(
            scheduler.Decide(now, kHour + tick * kSecond, For(now, 1, 14, kEveryDay), false))
            << Text(now);
    }
    // The next day's slot is a new one.
    now = Local(2026, 12, 8, 14, 0, 0);
    EXPECT_TRUE(scheduler.Decide(now, 25 * kHour, For(now, 1, 14, kEveryDay), false));
}

TEST(SchedulerTest, AnHourTheClockSkipsHasNoStartAndARepeatedHourOnlyOne)
{
    // Summer time begins: 01:59:59 is followed by 03:00:00, and 02:00 never
    // shows. Nothing starts that day; the next day's 02:00 does.
    CScheduler spring;
    SYSTEMTIME now = Local(2027, 3, 28, 1, 59, 59);
    ULONGLONG mono = kHour;
    EXPECT_FALSE(spring.Decide(now, mono, For(now, 1, 2, kEveryDay), false));
    for (ULONGLONG tick = 0; tick < 22 * 3600; ++tick)
    {
        now = Plus(Local(2027, 3, 28, 3, 0, 0), tick * kSecond);
        mono += kSecond;
        ASSERT_FALSE(spring.Decide(now, mono, For(now, 1, 2, kEveryDay), false)) << Text(now);
    }
    now = Local(2027, 3, 29, 2, 0, 0);
    EXPECT_TRUE(spring.Decide(now, mono + kHour, For(now, 1, 2, kEveryDay), false));

    // Summer time ends: 02:00 to 02:59:59 shows twice, an hour apart.
    CScheduler autumn;
    now = Local(2026, 10, 25, 2, 0, 0);
    mono = kHour;
    EXPECT_TRUE(autumn.Decide(now, mono, For(now, 1, 2, kEveryDay), false));
    for (ULONGLONG tick = 1; tick < 2 * 3600; ++tick)
    {
        now = Plus(Local(2026, 10, 25, 2, 0, 0), (tick % 3600) * kSecond);
        ASSERT_FALSE(autumn.Decide(now, mono + tick * kSecond, For(now, 1, 2, kEveryDay), false))
            << Text(now) << " after " << tick << " s";
    }
}

TEST(SchedulerTest, ASetClockGivesNoSecondStartWithin61Minutes)
{
    CScheduler scheduler;
    const ULONGLONG start = 10 * kHour;
    SYSTEMTIME now = Local(2026, 12, 7, 14, 0, 0);
    ASSERT_TRUE(scheduler.Decide(now, start, For(now, 1, 14, kEveryDay), false));

    // Set forward to the next day's slot five minutes later: too soon, and
    // that slot is used up by it.
    now = Local(2026, 12, 8, 14, 0, 0);
    EXPECT_FALSE(scheduler.Decide(now, start + 5 * kMinute, For(now, 1, 14, kEveryDay), false));
    now = Local(2026, 12, 8, 14, 0, 30);
    EXPECT_FALSE(scheduler.Decide(now, start + 70 * kMinute, For(now, 1, 14, kEveryDay), false));

    // Set back to the first slot two hours on: that date and hour ran.
    now = Local(2026, 12, 7, 14, 0, 0);
    EXPECT_FALSE(scheduler.Decide(now, start + 2 * kHour, For(now, 1, 14, kEveryDay), false));

    // The 61 minutes exactly: one millisecond short, then on the mark.
    now = Local(2026, 12, 9, 14, 0, 0);
    CScheduler gap;
    ASSERT_TRUE(gap.Decide(Local(2026, 12, 7, 14, 0, 0), start, For(now, 1, 14, kEveryDay), false));
    EXPECT_FALSE(
        gap.Decide(now, start + kScheduleMinimumGapMs - 1, For(now, 1, 14, kEveryDay), false));
    now = Local(2026, 12, 10, 14, 0, 0);
    EXPECT_TRUE(gap.Decide(now, start + kScheduleMinimumGapMs, For(now, 1, 14, kEveryDay), false));
}

// The tick as the window runs it: the registry read afresh each time,
// HKEY_CURRENT_USER redirected for this process to a fresh key.
class SchedulerSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_root = "Software\\BrindlewoxTest-Scheduler-" + std::to_string(::GetCurrentProcessId()) +
                 "-" + std::to_string(::GetTickCount64());
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, m_root.c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &m_user, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, m_user), ERROR_SUCCESS);
    }

    void TearDown() override
    {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (m_user != nullptr)
            ::RegCloseKey(m_user);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, m_root.c_str());
    }

    std::string m_root;
    HKEY m_user = nullptr;
};

class FakeClock : public IScheduleClock
{
public:
    bool GetLocalNow(SYSTEMTIME& now) override
    {
        if (failing)
            return false;
        now = local;
        return true;
    }
    ULONGLONG GetMonotonicMs() override { return monotonicMs; }

    SYSTEMTIME local = {};
    ULONGLONG monotonicMs = 0;
    bool failing = false;
};

TEST_F(SchedulerSettingsTest, AKeyWithoutTheValuesNeverStarts)
{
    const ScheduleSettings settings = ReadScheduleSettings(1);
    EXPECT_EQ(0u, settings.enable);
    EXPECT_EQ(0u, settings.hour);
    EXPECT_EQ(0u, settings.dayEnabled);
    CScheduler scheduler;
    FakeClock clock;
    for (ULONGLONG tick = 0; tick < 7 * 24 * 60; ++tick)
    {
        // Minute 0 of every hour of a week, midnight (hour 0) included.
        clock.local = Plus(Local(2026, 12, 6, 0, 0, 0), tick * kMinute);
        clock.monotonicMs = tick * kMinute;
        ASSERT_FALSE(scheduler.CheckSchedule(clock, false)) << Text(clock.local);
    }
}

TEST_F(SchedulerSettingsTest, EachTickReadsTheScheduleAndOnlyTodaysDay)
{
    ASSERT_TRUE(WriteSettingDword(setting::SheduleEnable, 1));
    ASSERT_TRUE(WriteSettingDword(setting::SheduleHour, 14));
    ASSERT_TRUE(WriteSettingDword("SheduleDay1", 1));
    ASSERT_TRUE(WriteSettingDword("SheduleDay2", 0));
    const ScheduleSettings monday = ReadScheduleSettings(1);
    EXPECT_EQ(1u, monday.enable);
    EXPECT_EQ(14u, monday.hour);
    EXPECT_EQ(1u, monday.dayEnabled);
    EXPECT_EQ(0u, ReadScheduleSettings(2).dayEnabled);
    EXPECT_EQ(0u, ReadScheduleSettings(3).dayEnabled) << "absent";
    EXPECT_EQ(0u, ReadScheduleSettings(7).dayEnabled) << "no such day";

    CScheduler scheduler;
    FakeClock clock;
    clock.monotonicMs = 100 * kHour;
    clock.local = Local(2026, 12, 8, 14, 0, 0); // a Tuesday
    EXPECT_FALSE(scheduler.CheckSchedule(clock, false));
    clock.local = Local(2026, 12, 14, 14, 0, 0); // the next Monday
    clock.failing = true;
    EXPECT_FALSE(scheduler.CheckSchedule(clock, false)) << "no local time";
    clock.failing = false;
    // Switched off on the options page a moment before: the next tick knows.
    ASSERT_TRUE(WriteSettingDword(setting::SheduleEnable, 0));
    EXPECT_FALSE(scheduler.CheckSchedule(clock, false));
    ASSERT_TRUE(WriteSettingDword(setting::SheduleEnable, 1));
    clock.local = Local(2026, 12, 14, 14, 0, 1);
    clock.monotonicMs += kSecond;
    EXPECT_TRUE(scheduler.CheckSchedule(clock, false));
}

} // namespace
