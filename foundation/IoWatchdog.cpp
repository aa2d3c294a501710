#include "foundation/IoWatchdog.h"

#include "foundation/Thread.h"

namespace
{
// The calling thread's innermost deadlines.
thread_local CIoDeadlines* t_deadlines = nullptr;
} // namespace

// The process's one watchdog: the deadlines in use, in a list, and the
// thread that looks at them. Made on the first deadlines with a limit.
class CIoWatchdog
{
public:
    static CIoWatchdog& Get()
    {
        static CIoWatchdog watchdog;
        return watchdog;
    }

    CIoWatchdog(const CIoWatchdog&) = delete;
    CIoWatchdog& operator=(const CIoWatchdog&) = delete;

    ~CIoWatchdog()
    {
        m_thread.Stop();
        if (m_wake != nullptr)
            ::CloseHandle(m_wake);
    }

    // False when the watchdog has no thread: the deadlines then bound
    // nothing.
    bool Add(CIoDeadlines& deadlines)
    {
        if (!m_running)
            return false;
        ::AcquireSRWLockExclusive(&m_listLock);
        deadlines.m_previous = nullptr;
        deadlines.m_next = m_first;
        if (m_first != nullptr)
            m_first->m_previous = &deadlines;
        m_first = &deadlines;
        ::ReleaseSRWLockExclusive(&m_listLock);
        // A sleeping watchdog is woken; one that looks already is not, so
        // requests that follow one another make no call here.
        m_generation.fetch_add(1);
        if (m_sleeping.load())
            ::SetEvent(m_wake);
        return true;
    }

    void Remove(CIoDeadlines& deadlines)
    {
        ::AcquireSRWLockExclusive(&m_listLock);
        if (deadlines.m_previous != nullptr)
            deadlines.m_previous->m_next = deadlines.m_next;
        else
            m_first = deadlines.m_next;
        if (deadlines.m_next != nullptr)
            deadlines.m_next->m_previous = deadlines.m_previous;
        ::ReleaseSRWLockExclusive(&m_listLock);
    }

private:
    CIoWatchdog()
    {
        m_wake = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
        m_running = m_wake != nullptr && m_thread.Start(&CIoWatchdog::Procedure, this);
    }

    static unsigned __stdcall Procedure(void* parameter)
    {
        static_cast<CIoWatchdog*>(parameter)->Run();
        return 0;
    }

    void Run()
    {
        const HANDLE waits[2] = {m_thread.GetStopEvent(), m_wake};
        unsigned seen = m_generation.load();
        ULONGLONG lastInUse = ::GetTickCount64();
        for (;;)
        {
            const ULONGLONG now = ::GetTickCount64();
            const unsigned generation = m_generation.load();
            // Every look scans, however often deadlines come and go.
            const bool inUse = Scan(now);
            if (generation != seen || inUse)
            {
                seen = generation;
                lastInUse = now;
            }
            DWORD waitMs = kIoWatchdogTickMs;
            if (now - lastInUse >= kIoWatchdogIdleMs)
            {
                // Sleeps until deadlines are added; the generation is read
                // again after the flag is set, so an Add that did not see
                // the flag is seen here.
                m_sleeping.store(true);
                waitMs = m_generation.load() == seen ? INFINITE : 0;
            }
            const DWORD woken = ::WaitForMultipleObjects(2, waits, FALSE, waitMs);
            m_sleeping.store(false);
            if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED)
                return;
            if (waitMs == INFINITE)
                lastInUse = ::GetTickCount64();
        }
    }

    // Cuts off every step past its deadline; true when deadlines are in use.
    bool Scan(ULONGLONG now)
    {
        ::AcquireSRWLockShared(&m_listLock);
        const bool inUse = m_first != nullptr;
        for (CIoDeadlines* deadlines = m_first; deadlines != nullptr; deadlines = deadlines->m_next)
        {
            const ULONGLONG due = deadlines->m_due.load();
            if (due == 0 || now < due)
                continue;
            ::AcquireSRWLockExclusive(&deadlines->m_stepLock);
            // The step may have ended meanwhile: then nothing is cancelled.
            // A step still open keeps being cancelled at every look, for a
            // cancel that came just before its call began.
            if (deadlines->m_due.load() != 0)
            {
                deadlines->m_cutOff.store(true);
                const HANDLE thread = ::OpenThread(THREAD_TERMINATE, FALSE, deadlines->m_threadId);
                if (thread != nullptr)
                {
                    ::CancelSynchronousIo(thread);
                    ::CloseHandle(thread);
                }
            }
            ::ReleaseSRWLockExclusive(&deadlines->m_stepLock);
        }
        ::ReleaseSRWLockShared(&m_listLock);
        return inUse;
    }

    CWorkerThread m_thread;
    HANDLE m_wake = nullptr;
    bool m_running = false;
    SRWLOCK m_listLock = SRWLOCK_INIT;
    CIoDeadlines* m_first = nullptr;
    std::atomic<unsigned> m_generation{0};
    std::atomic<bool> m_sleeping{false};
};

CIoDeadlines::CIoDeadlines(DWORD limitMs)
    : m_limitMs(limitMs), m_threadId(::GetCurrentThreadId()), m_outer(t_deadlines)
{
    t_deadlines = this;
    if (limitMs != 0)
        m_registered = CIoWatchdog::Get().Add(*this);
}

CIoDeadlines::~CIoDeadlines()
{
    if (m_registered)
        CIoWatchdog::Get().Remove(*this);
    t_deadlines = m_outer;
}

CIoStep::CIoStep() : m_deadlines(t_deadlines)
{
    if (m_deadlines == nullptr || m_deadlines->m_depth++ > 0 || !m_deadlines->m_registered)
        return;
    m_deadlines->m_due.store(::GetTickCount64() + m_deadlines->m_limitMs);
}

CIoStep::~CIoStep()
{
    if (m_deadlines == nullptr || --m_deadlines->m_depth > 0 || !m_deadlines->m_registered)
        return;
    ::AcquireSRWLockExclusive(&m_deadlines->m_stepLock);
    m_deadlines->m_due.store(0);
    ::ReleaseSRWLockExclusive(&m_deadlines->m_stepLock);
}

bool CIoStep::IsCutOff() const
{
    return m_deadlines != nullptr && m_deadlines->WasCutOff();
}
