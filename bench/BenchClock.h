// The benchmarks' clock: seconds on the performance counter.
#ifndef BRINDLEWOX_BENCH_BENCHCLOCK_H
#define BRINDLEWOX_BENCH_BENCHCLOCK_H

#include "foundation/Base.h"

inline double Now()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

#endif
