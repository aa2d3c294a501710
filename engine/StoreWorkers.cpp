#include "engine/StoreWorkers.h"

#include "engine/PipeClient.h"

#include <algorithm>

namespace
{
// Holds an SRW lock for one scope.
class CExclusive
{
public:
    explicit CExclusive(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
    CExclusive(const CExclusive&) = delete;
    CExclusive& operator=(const CExclusive&) = delete;
    ~CExclusive() { ::ReleaseSRWLockExclusive(&m_lock); }

private:
    SRWLOCK& m_lock;
};
} // namespace

CStoreWorkers::CStoreWorkers(const BackupFileServices& services,
                             const BackupStoreSettings& settings, const CWorkerThread& owner,
                             const std::atomic<LONG>& running)
    : m_services(services), m_settings(settings), m_owner(owner), m_running(running)
{
}

CStoreWorkers::~CStoreWorkers()
{
    {
        CExclusive lock(m_lock);
        m_ending = true;
        m_waiting.clear();
    }
    ::WakeAllConditionVariable(&m_fileWaiting);
    for (std::unique_ptr<CWorkerThread>& thread : m_threads)
        thread->Stop();
}

void CStoreWorkers::Start(int count, int threadPriority)
{
    m_threadPriority = threadPriority;
    m_wanted = std::max(1, std::min(count, kMaxStoreWorkers));
}

unsigned __stdcall CStoreWorkers::WorkerProc(void* parameter)
{
    static_cast<CStoreWorkers*>(parameter)->Work();
    return 0;
}

void CStoreWorkers::Work()
{
    // The priority the run's own thread has from the setting: the stores are
    // the run's work.
    ::SetThreadPriority(::GetCurrentThread(), m_threadPriority);
    // The worker's stores go over one connection to the service at a time;
    // it lets go of it before it waits, so a worker without work holds no
    // pipe instance another client could use.
    CKeptBackupConnection connection;
    CExclusive lock(m_lock);
    for (;;)
    {
        if (m_waiting.empty() && connection.IsOpen())
        {
            ::ReleaseSRWLockExclusive(&m_lock);
            connection.Close();
            ::AcquireSRWLockExclusive(&m_lock);
            continue;
        }
        while (m_waiting.empty() && !m_ending)
            ::SleepConditionVariableSRW(&m_fileWaiting, &m_lock, INFINITE, 0);
        if (m_waiting.empty())
            return;
        PendingStore file = m_waiting.front();
        m_waiting.pop_front();
        ++m_busy;
        ::ReleaseSRWLockExclusive(&m_lock);
        FinishedStore done;
        try
        {
            // Nor while it is held at a pause.
            if (m_owner.IsPaused())
                connection.Close();
            done = Store(file);
        }
        catch (...)
        {
            // Out of memory around the store: not stored.
            done.file = file;
            done.outcome = StoreOutcome::Failed;
        }
        ::AcquireSRWLockExclusive(&m_lock);
        --m_busy;
        try
        {
            m_finished.push_back(done);
        }
        catch (...)
        {
            // Out of memory: the file goes uncounted and is stored again on
            // the next run (it has no new row).
        }
        ::WakeConditionVariable(&m_fileFinished);
    }
}

FinishedStore CStoreWorkers::Store(PendingStore& file)
{
    FinishedStore done;
    done.file = file;
    // The stop and pause point between files; a stop leaves the file alone.
    if (!m_owner.WaitToContinue() || m_running.load() == 0)
        return done;
    if (StorePendingFile(m_services, m_settings, file))
        done.outcome = StoreOutcome::Stored;
    else if (!m_owner.IsStopRequested())
        done.outcome = StoreOutcome::Failed;
    return done;
}

void CStoreWorkers::HandOver(const Finished& finished)
{
    while (!m_finished.empty())
    {
        std::vector<FinishedStore> taken;
        taken.swap(m_finished);
        ::ReleaseSRWLockExclusive(&m_lock);
        try
        {
            for (const FinishedStore& done : taken)
                finished(done);
        }
        catch (...)
        {
            ::AcquireSRWLockExclusive(&m_lock);
            throw;
        }
        ::AcquireSRWLockExclusive(&m_lock);
    }
}

void CStoreWorkers::Submit(PendingStore file, const Finished& finished)
{
    for (; m_wanted > 0; --m_wanted)
    {
        auto thread = std::make_unique<CWorkerThread>();
        if (!thread->Start(WorkerProc, this))
        {
            m_wanted = 0;
            break;
        }
        m_threads.push_back(std::move(thread));
    }
    if (m_threads.empty())
    {
        finished(Store(file));
        return;
    }
    {
        CExclusive lock(m_lock);
        HandOver(finished);
        // Each worker has one file in hand and one waiting for it, so none
        // idles while this thread decides the next file.
        while (m_waiting.size() >= m_threads.size())
        {
            ::SleepConditionVariableSRW(&m_fileFinished, &m_lock, INFINITE, 0);
            HandOver(finished);
        }
        m_waiting.push_back(file);
    }
    ::WakeConditionVariable(&m_fileWaiting);
}

void CStoreWorkers::Collect(const Finished& finished)
{
    CExclusive lock(m_lock);
    HandOver(finished);
}

void CStoreWorkers::Drain(const Finished& finished)
{
    CExclusive lock(m_lock);
    for (;;)
    {
        HandOver(finished);
        if (m_waiting.empty() && m_busy == 0)
            return;
        ::SleepConditionVariableSRW(&m_fileFinished, &m_lock, INFINITE, 0);
    }
}
