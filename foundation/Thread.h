// CWorkerThread: the one way the three programs run work on a thread of its
// own. It owns the thread handle and two manual-reset events: a stop event
// (made not signalled) and a run event (made signalled), the pause gate.
//
// The protocol between the owner (one controlling thread: the user-interface
// thread, or the service's control path) and the procedure on the thread:
//
// - Stop and pause points. Wherever the procedure may stop or pause it calls
//   WaitToContinue(), a wait on the pair {stop, run}. A set stop event always
//   wins; a reset run event holds the procedure until the owner resumes or
//   stops it. Long waits of its own (sleeps between retries) go through
//   IsStopRequested(time-out), so that a stop ends them at once too.
// - Pause and resume. Only the owner pauses and resumes, with Pause() and
//   Resume(); the procedure never touches the run event. The pause state is
//   kept in its own flag (IsPaused), so nothing the procedure does can undo
//   a pause.
// - Display updates. Fields of the owner that the procedure writes and the
//   owner's thread reads (counters, status texts, the current path) are
//   written and read under GetDisplayLock(), through a CLockGuard. The lock
//   is held only to copy values: never across a call that blocks or that
//   sends a message to another thread's window (SetWindowText,
//   SetDlgItemText, SendMessage), and the owner never stops the worker
//   while it holds the lock. That keeps every wait for it short, so the
//   user-interface thread may take it. Fields written by more than one
//   worker need a lock of the window's own instead.
// - Ending. The procedure ends by returning, after posting its end message
//   to a window. The owner collects the ended thread with Stop() or
//   StopIfRunning(). Stop() sets the stop event and joins; while it waits it
//   handles the messages other threads send to this thread's windows, so a
//   worker inside SetWindowText on one of them cannot deadlock the stop.
//   StopWithin() is the bounded form for callers that must not block.
// - A procedure blocked in a call the events cannot interrupt (a pipe
//   server in ConnectNamedPipe) must first be released by its owner, or the
//   join waits for ever.
//
// An exception that leaves the procedure is caught on the thread, reported
// (SetExceptionReporter, foundation/Exception.h) and ends the thread; it never reaches the
// run-time library.
#ifndef BRINDLEWOX_FOUNDATION_THREAD_H
#define BRINDLEWOX_FOUNDATION_THREAD_H

#include "foundation/Base.h"
#include "foundation/Sync.h"

#include <atomic>
#include <memory>

// A thread procedure of the run-time library's kind: one pointer-sized
// argument, an unsigned 32-bit result.
typedef unsigned(__stdcall* WorkerProcedure)(void* parameter);

// The exit code of a worker thread ended by an exception: 574, the system's
// code for an unhandled exception.
constexpr unsigned kWorkerExceptionExitCode = 574;

class CWorkerThread
{
public:
    CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;
    // Stops and joins a thread still held (like Stop), then closes the events.
    virtual ~CWorkerThread();

    // Makes whichever of the two events does not exist yet and fills the
    // wait pair. FALSE when memory or an event cannot be had; what was made
    // so far stays, and a later call makes the rest. The events live until
    // the destructor.
    BOOL CreateEvents();

    // Starts the procedure with the parameter on a new thread. The running
    // flag reads 1 before the thread exists, so the procedure never sees 0
    // while its start succeeds; each start begins unpaused with the stop
    // event clear. FALSE when the events or the thread cannot be made, when
    // the thread has already ended at the check right after its creation
    // (no handle is then held; the procedure may have done its work), and
    // when the thread of an earlier start is still alive. A failed start
    // leaves the running flag 0.
    BOOL Start(WorkerProcedure procedure, void* parameter);
    // Whether the thread of the last start has entered its procedure. After
    // a FALSE from Start it tells a procedure that ran to its end before
    // Start looked at its thread (true: what it did and posted is done) from
    // one that never began (false: no thread, or an earlier one still alive).
    bool HasEnteredProcedure() const { return m_entered != nullptr && m_entered->load(); }

    // When a thread handle is held: sets the stop event, waits for the thread
    // to end (handling messages sent to this thread meanwhile), closes the
    // handle and clears the stop event and the pause, so the object can be
    // started again. The running flag is not changed.
    void Stop();
    // Stop, only when the running flag is set and a handle is held; then the
    // running flag := 0.
    void StopIfRunning();
    // Sets the stop event and waits at most the time-out (0: not at all) for
    // the thread to end. TRUE when no thread is held any more (ended and
    // collected as by Stop, running flag 0); FALSE when it still runs: the
    // stop event stays set and the handle held for a later call or Stop.
    BOOL StopWithin(DWORD timeout);

    // Owner side of a pause: resets the run event and marks the pause. FALSE
    // (nothing done) unless the running flag is set.
    BOOL Pause();
    // Sets the run event and clears the pause. FALSE when there are no events.
    BOOL Resume();
    bool IsPaused() const { return m_paused.load(); }

    // Procedure side: the stop and pause point. Waits while paused; true when
    // the run may go on, false when it must stop (stop event set, or the
    // wait failed).
    bool WaitToContinue() const;
    // True when the stop event is set, waiting for it at most the time-out.
    bool IsStopRequested(DWORD timeout = 0) const;

    // The two event handles, stop first, for a WaitForMultipleObjects of the
    // caller's own.
    const HANDLE* GetWaitPair() const { return m_waitPair; }
    HANDLE GetStopEvent() const { return m_waitPair[0]; }
    HANDLE GetRunEvent() const { return m_waitPair[1]; }

    // The lock of the display fields (see above).
    CCriticalSection& GetDisplayLock() { return m_displayLock; }

    // 1 from just before a successful start until StopIfRunning or the next
    // start.
    bool IsRunning() const { return m_running.load() != 0; }
    HANDLE GetThreadHandle() const { return m_hThread; }
    unsigned GetThreadId() const { return m_threadId; }
    // True when no thread is held or the held one has ended.
    bool HasEnded() const;

    // Takes a thread begun elsewhere (with its id); the running flag becomes
    // 1. FALSE, and nothing taken, when a thread is already held.
    BOOL Attach(HANDLE thread, unsigned threadId);
    // Gives up the thread handle without waiting or closing; the running
    // flag becomes 0.
    HANDLE Detach();

private:
    // Joins the held thread and closes it (Stop's four steps).
    void Collect();

    CEvent* m_pStopEvent;
    CEvent* m_pRunEvent;
    HANDLE m_waitPair[2];
    HANDLE m_hThread;
    unsigned m_threadId;
    std::atomic<uint32_t> m_running;
    std::atomic<bool> m_paused;
    // Set by the thread of the last start as it enters the procedure; shared
    // with that thread, so that the thread never touches this object.
    std::shared_ptr<std::atomic<bool>> m_entered;
    CCriticalSection m_displayLock;
};


#endif
