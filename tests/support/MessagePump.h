// The tests' one message pump: what waits for this thread is dispatched,
// either once or until a condition holds within a bound (the bounds are
// named in Waits.h). A test waits on its condition, never on a fixed time;
// PumpFor is for the checks that something does not happen.
#ifndef BRINDLEWOX_TESTS_SUPPORT_MESSAGEPUMP_H
#define BRINDLEWOX_TESTS_SUPPORT_MESSAGEPUMP_H

#include "foundation/Base.h"

#include <functional>

// Looks at a message before it is dispatched: thread messages (no window)
// reach no procedure, so a test that counts them looks here.
using MessageSeen = std::function<void(const MSG&)>;

// Dispatches every message waiting for this thread.
inline void PumpMessages(const MessageSeen& seen = nullptr)
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
    {
        if (seen)
            seen(message);
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Dispatches this thread's messages until `done` holds or `boundMs` have
// gone by; whether it held (looked at once more at the end). Between looks
// it waits for the next message, at most 10 ms, so that a condition another
// thread sets is seen too.
template <class Done> bool PumpUntil(DWORD boundMs, Done done, const MessageSeen& seen = nullptr)
{
    const ULONGLONG end = GetTickCount64() + boundMs;
    while (GetTickCount64() < end)
    {
        PumpMessages(seen);
        if (done())
            return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    PumpMessages(seen);
    return done();
}

// Dispatches for the whole time: only for a check that something does not
// happen (a timer that must not fire), which has no condition to end on.
inline void PumpFor(DWORD milliseconds, const MessageSeen& seen = nullptr)
{
    PumpUntil(
        milliseconds, [] { return false; }, seen);
}

#endif
