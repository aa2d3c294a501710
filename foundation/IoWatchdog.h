// Bounds on a thread's synchronous I/O. One watchdog thread for the process
// cancels (CancelSynchronousIo) the synchronous I/O of a thread that stays
// in one step longer than its limit: an open held up by an opportunistic
// lock that is never acknowledged, a read of a file whose storage never
// answers. The call then fails (ERROR_OPERATION_ABORTED) and the thread goes
// on.
//
// A thread opts in for a stretch of work (a CIoDeadlines, one per request)
// and marks each call that may hang with a CIoStep. A step's bookkeeping is
// user-mode only: a tick count and an atomic store when it begins, an
// uncontended lock when it ends; the thread is opened (OpenThread) only to
// cancel it. The watchdog looks every kIoWatchdogTickMs while deadlines are
// in use and sleeps once none were for kIoWatchdogIdleMs, so a thread that
// sets deadlines one request after another wakes it once, not per request.
//
// Measured under Wine 8: CancelSynchronousIo ends a thread's ReadFile blocked
// on a pipe nobody writes at once, with ERROR_OPERATION_ABORTED. Whether a
// driver honours the cancel is the driver's: the file systems of Windows
// cancel an open that waits for an oplock break; a filter that ignores
// cancels keeps the thread.
#ifndef BRINDLEWOX_FOUNDATION_IOWATCHDOG_H
#define BRINDLEWOX_FOUNDATION_IOWATCHDOG_H

#include "foundation/Base.h"

#include <atomic>

// How often the watchdog looks at the deadlines in use: a step is cut off
// between its limit and its limit plus one tick.
constexpr DWORD kIoWatchdogTickMs = 100;
// How long the watchdog goes on looking after the last deadlines went.
constexpr DWORD kIoWatchdogIdleMs = 10000;

// The deadlines of the calling thread's steps, for the life of the object:
// each step may last limitMs. Made and destroyed on the one thread; the
// innermost of nested ones counts. A limit of 0 bounds nothing.
class CIoDeadlines
{
public:
    explicit CIoDeadlines(DWORD limitMs);
    CIoDeadlines(const CIoDeadlines&) = delete;
    CIoDeadlines& operator=(const CIoDeadlines&) = delete;
    virtual ~CIoDeadlines();

    // Whether a step was cut off (its I/O cancelled at its limit). Every
    // later step of the object counts as cut off too.
    bool WasCutOff() const { return m_cutOff.load(); }
    DWORD GetLimit() const { return m_limitMs; }

private:
    friend class CIoStep;
    friend class CIoWatchdog;

    DWORD m_limitMs;
    DWORD m_threadId;
    CIoDeadlines* m_outer;
    // The running step's deadline (GetTickCount64), 0 between steps.
    std::atomic<ULONGLONG> m_due{0};
    std::atomic<bool> m_cutOff{false};
    // Held by the watchdog while it cancels, and by the thread to end a
    // step: no cancel reaches the thread once its step has ended.
    SRWLOCK m_stepLock = SRWLOCK_INIT;
    // Steps open on the thread; only the outermost is timed.
    int m_depth = 0;
    bool m_registered = false;
    CIoDeadlines* m_previous = nullptr;
    CIoDeadlines* m_next = nullptr;
};

// One call that may hang, bounded by the calling thread's CIoDeadlines (when
// it has none, the step does nothing).
class CIoStep
{
public:
    CIoStep();
    CIoStep(const CIoStep&) = delete;
    CIoStep& operator=(const CIoStep&) = delete;
    virtual ~CIoStep();
    // Whether the thread's deadlines were cut off, by this step or before:
    // what the step did must then count as failed.
    bool IsCutOff() const;

private:
    CIoDeadlines* m_deadlines;
};

#endif
