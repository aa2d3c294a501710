#include "foundation/Thread.h"

#include "foundation/Exception.h"

#include <exception>
#include <new>
#include <process.h>
#include <utility>

namespace
{
// What the new thread needs, handed over on the heap so that the thread
// never reads the CWorkerThread object.
struct Launch
{
    WorkerProcedure procedure;
    void* parameter;
    std::shared_ptr<std::atomic<bool>> entered;
};

// Formatting uses a stack buffer only: the exception may be an allocation
// failure.
void ReportException(const char* what, DWORD code)
{
    char line[400];
    wsprintfA(line, "Brindlewox: worker thread %lu ended by an exception (code %lu): %.300s\r\n",
              ::GetCurrentThreadId(), code, what);
    ReportCaughtException(line);
}

unsigned __stdcall ThreadEntry(void* argument)
{
    Launch launch = std::move(*static_cast<Launch*>(argument));
    delete static_cast<Launch*>(argument);
    launch.entered->store(true);
    try
    {
        return launch.procedure(launch.parameter);
    }
    catch (const CException& e)
    {
        ReportException(e.GetReportText(), e.GetErrorCode());
    }
    catch (CException* e)
    {
        // Socket errors are thrown as heap objects; the catcher deletes them.
        ReportException(e->GetReportText(), e->GetErrorCode());
        delete e;
    }
    catch (const std::exception& e)
    {
        ReportException(e.what(), 0);
    }
    catch (...)
    {
        ReportException("unknown exception", 0);
    }
    return kWorkerExceptionExitCode;
}

// Waits for the thread to end or the time-out to pass, handling meanwhile
// the messages that other threads send to this thread's windows: a worker
// inside SetWindowText on one of them would otherwise never return, and the
// wait never end. Posted messages stay queued for the message loop. True
// when the thread has ended.
bool WaitForThreadEnd(HANDLE thread, DWORD timeout)
{
    const ULONGLONG start = ::GetTickCount64();
    for (;;)
    {
        DWORD left = INFINITE;
        if (timeout != INFINITE)
        {
            const ULONGLONG spent = ::GetTickCount64() - start;
            left = spent >= timeout ? 0 : static_cast<DWORD>(timeout - spent);
        }
        // Input already waiting counts too, not only what came since the
        // thread last looked at its queue.
        const DWORD result =
            ::MsgWaitForMultipleObjectsEx(1, &thread, left, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0)
            return true;
        if (result == WAIT_OBJECT_0 + 1)
        {
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        if (result == WAIT_TIMEOUT)
            return false;
        // The message wait failed: a plain wait is still safe to give.
        return ::WaitForSingleObject(thread, left) == WAIT_OBJECT_0;
    }
}
} // namespace

CWorkerThread::CWorkerThread()
    : m_pStopEvent(nullptr), m_pRunEvent(nullptr), m_waitPair{nullptr, nullptr}, m_hThread(nullptr),
      m_threadId(0), m_running(0), m_paused(false)
{
}

CWorkerThread::~CWorkerThread()
{
    if (m_hThread != nullptr)
        Collect();
    delete m_pStopEvent;
    delete m_pRunEvent;
}

BOOL CWorkerThread::CreateEvents()
{
    // Both events are manual-reset, unnamed, with default security; the stop
    // event starts clear and the run event set.
    CEvent** events[2] = {&m_pStopEvent, &m_pRunEvent};
    for (int i = 0; i < 2; i++)
    {
        if (*events[i] != nullptr)
            continue;
        CEvent* event;
        try
        {
            event = new CEvent();
        }
        catch (const CMemoryException&)
        {
            return FALSE;
        }
        catch (const std::bad_alloc&)
        {
            return FALSE;
        }
        HANDLE handle = ::CreateEventA(nullptr, TRUE, i == 1, nullptr);
        if (handle == nullptr)
        {
            // A worker given a null handle would find every wait failing and
            // stop at its first point; better to refuse the start.
            delete event;
            return FALSE;
        }
        event->Attach(handle);
        *events[i] = event;
        m_waitPair[i] = handle;
    }
    return TRUE;
}

BOOL CWorkerThread::Start(WorkerProcedure procedure, void* parameter)
{
    m_entered.reset();
    if (m_hThread != nullptr)
    {
        // The thread of an earlier start: overwriting its handle would leak it
        // and leave a thread that can never be joined.
        if (::WaitForSingleObject(m_hThread, 0) != WAIT_OBJECT_0)
            return FALSE;
        ::CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    m_running.store(0);
    if (!CreateEvents())
        return FALSE;
    // A run stopped while paused must not begin the next one paused.
    ::ResetEvent(m_pStopEvent->GetHandle());
    m_paused.store(false);
    ::SetEvent(m_pRunEvent->GetHandle());

    Launch* launch;
    try
    {
        m_entered = std::make_shared<std::atomic<bool>>(false);
        launch = new Launch{procedure, parameter, m_entered};
    }
    catch (...)
    {
        m_entered.reset();
        return FALSE;
    }
    // Set before the thread exists: the procedure tests the flag, and must
    // never see it clear during a start that succeeds.
    m_running.store(1);
    unsigned threadId = 0;
    // The run-time library's routine sets up its per-thread data before it
    // calls CreateThread.
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, ThreadEntry, launch, 0, &threadId);
    if (thread == 0)
    {
        delete launch;
        m_running.store(0);
        return FALSE;
    }
    m_hThread = reinterpret_cast<HANDLE>(thread);
    m_threadId = threadId;
    switch (::WaitForSingleObject(m_hThread, 0))
    {
    case WAIT_TIMEOUT:
        return TRUE;
    case WAIT_OBJECT_0:
        ::CloseHandle(m_hThread);
        m_hThread = nullptr;
        m_running.store(0);
        return FALSE;
    default:
        m_running.store(0);
        return FALSE;
    }
}

void CWorkerThread::Collect()
{
    if (m_pStopEvent != nullptr)
        ::SetEvent(m_pStopEvent->GetHandle());
    WaitForThreadEnd(m_hThread, INFINITE);
    ::CloseHandle(m_hThread);
    m_hThread = nullptr;
    if (m_pStopEvent != nullptr)
        ::ResetEvent(m_pStopEvent->GetHandle());
    if (m_pRunEvent != nullptr)
        ::SetEvent(m_pRunEvent->GetHandle());
    m_paused.store(false);
}

void CWorkerThread::Stop()
{
    if (m_hThread != nullptr)
        Collect();
}

void CWorkerThread::StopIfRunning()
{
    if (m_running.load() != 0 && m_hThread != nullptr)
    {
        Collect();
        m_running.store(0);
    }
}

BOOL CWorkerThread::StopWithin(DWORD timeout)
{
    if (m_hThread == nullptr)
        return TRUE;
    if (m_pStopEvent != nullptr)
        ::SetEvent(m_pStopEvent->GetHandle());
    if (!WaitForThreadEnd(m_hThread, timeout))
        return FALSE;
    Collect();
    m_running.store(0);
    return TRUE;
}

BOOL CWorkerThread::Pause()
{
    if (m_running.load() == 0 || m_pRunEvent == nullptr)
        return FALSE;
    m_paused.store(true);
    ::ResetEvent(m_pRunEvent->GetHandle());
    return TRUE;
}

BOOL CWorkerThread::Resume()
{
    if (m_pRunEvent == nullptr)
        return FALSE;
    m_paused.store(false);
    ::SetEvent(m_pRunEvent->GetHandle());
    return TRUE;
}

bool CWorkerThread::WaitToContinue() const
{
    // Stop comes first in the pair, so a set stop event wins over a set run
    // event; any result but the run event's counts as a stop.
    return ::WaitForMultipleObjects(2, m_waitPair, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

bool CWorkerThread::IsStopRequested(DWORD timeout) const
{
    return m_waitPair[0] != nullptr &&
           ::WaitForSingleObject(m_waitPair[0], timeout) == WAIT_OBJECT_0;
}

bool CWorkerThread::HasEnded() const
{
    return m_hThread == nullptr || ::WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0;
}

BOOL CWorkerThread::Attach(HANDLE thread, unsigned threadId)
{
    if (m_hThread != nullptr)
        return FALSE;
    m_hThread = thread;
    m_threadId = threadId;
    m_running.store(thread != nullptr ? 1 : 0);
    return TRUE;
}

HANDLE CWorkerThread::Detach()
{
    HANDLE thread = m_hThread;
    m_hThread = nullptr;
    m_running.store(0);
    return thread;
}
