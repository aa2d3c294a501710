#include "engine/Scheduler.h"

#include "foundation/Utility.h"
#include "engine/Settings.h"

ScheduleSettings ReadScheduleSettings(WORD dayOfWeek)
{
    ScheduleSettings settings;
    ReadSettingDword(setting::SheduleEnable, settings.enable);
    ReadSettingDword(setting::SheduleHour, settings.hour);
    // Only today's day value is read.
    if (dayOfWeek < 7)
        ReadSettingDword(setting::SheduleDay[dayOfWeek], settings.dayEnabled);
    return settings;
}

bool CSystemScheduleClock::GetLocalNow(SYSTEMTIME& now)
{
    SYSTEMTIME utc;
    ::GetSystemTime(&utc);
    return UtcToLocalTime(&utc, &now) != FALSE;
}

ULONGLONG CSystemScheduleClock::GetMonotonicMs()
{
    return ::GetTickCount64();
}

bool CScheduler::Decide(const SYSTEMTIME& now, ULONGLONG monotonicMs,
                        const ScheduleSettings& settings, bool runActive)
{
    if (settings.enable == 0 || settings.dayEnabled == 0 || now.wHour != settings.hour ||
        now.wMinute != 0)
        return false;
    const uint32_t slot = now.wYear * 1000000u + now.wMonth * 10000u + now.wDay * 100u + now.wHour;
    for (uint32_t taken : m_slots)
    {
        if (taken == slot)
            return false;
    }
    // The slot is met: whatever follows, it is used up.
    m_slots[m_nextSlot] = slot;
    m_nextSlot = (m_nextSlot + 1) % kRememberedSlots;
    if (runActive)
        return false;
    if (m_haveStart && monotonicMs < m_lastStartMs + kScheduleMinimumGapMs)
        return false;
    m_haveStart = true;
    m_lastStartMs = monotonicMs;
    return true;
}

bool CScheduler::CheckSchedule(IScheduleClock& clock, bool runActive)
{
    SYSTEMTIME now;
    if (!clock.GetLocalNow(now))
        return false;
    const ULONGLONG monotonicMs = clock.GetMonotonicMs();
    return Decide(now, monotonicMs, ReadScheduleSettings(now.wDayOfWeek), runActive);
}
