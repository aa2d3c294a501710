// The scheduler tick: the program runs the backup by itself once a day, at
// a chosen full hour (local time) on chosen days of the week, while it is
// running. The main window calls CheckSchedule on its 1-second timer; when it
// answers true the window shows the backup page, marks the run as scheduled
// and starts it as the Start button does. There is no catch-up.
//
// The schedule is read from the settings key on every tick (Settings.h;
// an absent value reads 0), so a change on the options page counts from the
// next tick: "SheduleEnable" and "SheduleDay<n>" of today (n: the day of the
// week, 0 = Sunday) non-zero, "SheduleHour" the hour, 0 to 23.
//
// The decision. A timer tick is never exactly on time: it comes late when
// the window's thread is busy and skips seconds, so a test for second 0
// would lose that day's run now and then. Instead the first tick in minute
// 0 of the hour on an enabled day is the slot's, and a slot is taken once:
// - at most one run per local date and hour (the slots of the last 32
//   days met are remembered);
// - never one within 61 minutes (by the monotonic count) of the previous
//   scheduled start, so a repeated hour (the clock going back at the end of
//   summer time) or a clock set back by hand gives no second run;
// - a slot met while a run is active is used up: that run is not followed
//   by a scheduled one, in this minute or later;
// - an hour that does not exist locally (the start of summer time) has no
//   slot, and a minute 0 the program missed (it was not running, or no tick
//   came in it) is not made up for.
#ifndef BRINDLEWOX_ENGINE_SCHEDULER_H
#define BRINDLEWOX_ENGINE_SCHEDULER_H

#include "foundation/Base.h"

#include <cstdint>

// The schedule as one tick reads it.
struct ScheduleSettings
{
    DWORD enable = 0;     // "SheduleEnable": non-zero = on
    DWORD hour = 0;       // "SheduleHour": the local hour, 0 to 23
    DWORD dayEnabled = 0; // "SheduleDay<n>" of the day of the tick: non-zero = on
};

// Reads the schedule for the day of the week (0 = Sunday ... 6 = Saturday)
// from the settings key; an absent value, or a day out of range, reads 0.
ScheduleSettings ReadScheduleSettings(WORD dayOfWeek);

// The clock of the scheduler: the system's in the program, a test's own in
// the tests.
class IScheduleClock
{
public:
    virtual ~IScheduleClock() = default;
    // The local time now. False when it cannot be had (the tick then does
    // nothing).
    virtual bool GetLocalNow(SYSTEMTIME& now) = 0;
    // Milliseconds of a count that only goes forward and that setting the
    // clock does not change.
    virtual ULONGLONG GetMonotonicMs() = 0;
};

// GetSystemTime turned into local time by UtcToLocalTime; GetTickCount64.
class CSystemScheduleClock : public IScheduleClock
{
public:
    bool GetLocalNow(SYSTEMTIME& now) override;
    ULONGLONG GetMonotonicMs() override;
};

// The shortest time between two scheduled starts.
constexpr ULONGLONG kScheduleMinimumGapMs = 61ULL * 60 * 1000;

class CScheduler
{
public:
    // One tick's decision, with the schedule as read for the day of `now`
    // and whether a backup or restore run is active. True when a scheduled
    // run is to start now; the slot is then taken.
    bool Decide(const SYSTEMTIME& now, ULONGLONG monotonicMs, const ScheduleSettings& settings,
                bool runActive);

    // The tick of the window's timer: reads the clock and today's schedule,
    // then decides.
    bool CheckSchedule(IScheduleClock& clock, bool runActive);

private:
    // The slots met lately, by local date and hour (year * 1,000,000 +
    // month * 10,000 + day * 100 + hour), the oldest overwritten first: one
    // slot a day, so a clock set back by up to a month still finds its slot
    // taken.
    static constexpr int kRememberedSlots = 32;
    uint32_t m_slots[kRememberedSlots] = {};
    int m_nextSlot = 0;
    // The monotonic time of the last scheduled start.
    bool m_haveStart = false;
    ULONGLONG m_lastStartMs = 0;
};

#endif
