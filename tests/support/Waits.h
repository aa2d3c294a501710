// How long the tests and the drivers of the end-to-end scripts wait, named
// once. Every wait is for a condition (a window, a control, a text, a file, a
// process's end), never a fixed time: a bound only says how long a loaded
// machine may take before the wait gives up and the caller says what it did
// not see. They are generous on purpose. Under a parallel ctest run beside
// other builds a Wine program has been seen taking most of a minute to show
// its first window, and a wait that gives up early is a test that fails one
// run in a few. The shell scripts' bounds are named in
// tests/scripts/lib/waits.bash.
#ifndef BRINDLEWOX_TESTS_SUPPORT_WAITS_H
#define BRINDLEWOX_TESTS_SUPPORT_WAITS_H

#include "foundation/Base.h"

namespace wait_bound
{
// A Wine program started a moment ago shows its first window, or a desktop
// started a moment ago exists.
constexpr DWORD kProgramStartMs = 240000;
// A window that is there reacts to one step: a dialog comes or goes, a
// control shows a text, a list fills.
constexpr DWORD kStepMs = 60000;
// A window's thread answers a message sent to it (it is not busy with
// anything long).
constexpr DWORD kAnswerMs = 30000;
// A backup, restore or registry task started through a window ends.
constexpr DWORD kTaskMs = 600000;
// What a failing driver prints: whether a window's thread answers at all.
constexpr DWORD kGlanceMs = 2000;
// Between two looks at the condition.
constexpr DWORD kPollMs = 50;
} // namespace wait_bound

// Looks at `done` every kPollMs until it holds or `boundMs` have gone by;
// whether it held (it is looked at once more at the end).
template <typename Condition>
bool WaitUntil(Condition done, DWORD boundMs)
{
    const ULONGLONG end = ::GetTickCount64() + boundMs;
    while (::GetTickCount64() < end)
    {
        if (done())
            return true;
        ::Sleep(wait_bound::kPollMs);
    }
    return done();
}

#endif
