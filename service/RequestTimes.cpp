#include "service/RequestTimes.h"

#include <atomic>

namespace
{
constexpr int kParts = static_cast<int>(RequestPart::Count);

std::atomic<bool> g_timing{false};
std::atomic<long long> g_ticks[kParts];
std::atomic<long> g_counts[kParts];

LONGLONG Ticks()
{
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}
} // namespace

const char* RequestPartName(RequestPart part)
{
    switch (part)
    {
    case RequestPart::Open:
        return "open";
    case RequestPart::FinalPath:
        return "final-path";
    case RequestPart::Caller:
        return "caller-and-token";
    case RequestPart::Check:
        return "read-check";
    case RequestPart::Reopen:
        return "reopen";
    case RequestPart::Copy:
        return "copy";
    case RequestPart::Reply:
        return "reply";
    case RequestPart::Count:
        break;
    }
    return "?";
}

void SetRequestTiming(bool on)
{
    for (int i = 0; i < kParts; ++i)
    {
        g_ticks[i].store(0);
        g_counts[i].store(0);
    }
    g_timing.store(on);
}

void ReadRequestTimes(RequestPartTotal (&totals)[static_cast<int>(RequestPart::Count)])
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    for (int i = 0; i < kParts; ++i)
    {
        totals[i].microseconds = g_ticks[i].load() * 1000000 / frequency.QuadPart;
        totals[i].count = g_counts[i].load();
    }
}

CRequestPartTimer::CRequestPartTimer(RequestPart part) : m_part(part)
{
    if (g_timing.load(std::memory_order_relaxed))
        m_start = Ticks();
}

void CRequestPartTimer::Stop()
{
    if (m_start == 0)
        return;
    const int part = static_cast<int>(m_part);
    g_ticks[part].fetch_add(Ticks() - m_start, std::memory_order_relaxed);
    g_counts[part].fetch_add(1, std::memory_order_relaxed);
    m_start = 0;
}
