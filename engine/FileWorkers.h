// The file workers of a backup or restore run: a few threads that take the
// files the run's walk hands them, so that the round trips to the service
// and the transfers themselves overlap instead of following one another
// (the service serves several clients at once, one BACKUP pipe instance
// each). The backup run's workers store (Item: PendingStore), the restore
// run's restore (Item: the stored path).
//
// The split of the work:
// - the run's own thread walks, decides what each entry needs and hands
//   the files to Submit;
// - a worker does one file at a time with the run's FileWork function; its
//   requests to the service go over one kept connection at a time
//   (CKeptBackupConnection), which it closes once it has had no work for a
//   moment (kIdleKeepMs) and at a pause;
// - what the workers finished goes back to the run's thread, in the order
//   the files ended, through the callback it gives to Submit, Collect and
//   Drain: only that thread records outcomes, so the counters, the log (and
//   the backup's cache) are written in one place.
//
// Before every file a worker passes the run worker's stop and pause point
// (CWorkerThread::WaitToContinue): a pause holds every worker between files
// (a file under way still ends), the stop event ends them. A file handed
// out that a worker has not begun when the run stops (the stop event, or,
// when the pool watches it, the run's busy flag clear) comes back NotDone
// without its work; FileWork itself says NotDone for a file the stop cut off
// where that means "not handled". Every file handed out comes back exactly
// once.
#ifndef BRINDLEWOX_ENGINE_FILEWORKERS_H
#define BRINDLEWOX_ENGINE_FILEWORKERS_H

#include "foundation/Base.h"
#include "foundation/Thread.h"
#include "engine/PipeClient.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

// How many files a run handles at once unless told otherwise, and the most
// it takes. Four: the service serves four clients at once (its BACKUP pipe
// has four instances); under Wine four overlapping requests took half the
// time of one after the other, and more gained nothing.
constexpr int kDefaultFileWorkers = 4;
constexpr int kMaxFileWorkers = 16;

enum class WorkOutcome
{
    Done,
    Failed,
    NotDone, // not begun, or cut off by the stop without having been handled
    // Not handled because the run gave up on the service before or while
    // the file's request waited for it: not done, and the run accounts for
    // it as a whole rather than file by file.
    GivenUp,
};

template <class Item> struct FinishedWork
{
    Item item;
    WorkOutcome outcome = WorkOutcome::NotDone;
};

// Holds an SRW lock for one scope.
class CExclusiveLock
{
public:
    explicit CExclusiveLock(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
    CExclusiveLock(const CExclusiveLock&) = delete;
    CExclusiveLock& operator=(const CExclusiveLock&) = delete;
    ~CExclusiveLock() { ::ReleaseSRWLockExclusive(&m_lock); }

private:
    SRWLOCK& m_lock;
};

template <class Item> class CFileWorkers
{
public:
    // How long a worker without work keeps its connection to the service.
    // Closed whenever the files waiting ran out, connections were opened
    // half as often again as their time of life asks (45 against 30 for
    // 2,000 restores under Wine 8): on a busy machine the walk's thread
    // often comes back later than four workers take the four files waiting.
    static constexpr DWORD kIdleKeepMs = 50;

    // Runs on a worker with each file that passed the stop and pause point;
    // it may be called on several threads at once. An exception out of it
    // counts as Failed.
    using FileWork = std::function<WorkOutcome(const Item&)>;
    // Called on the run's thread with each finished file.
    using Finished = std::function<void(const FinishedWork<Item>&)>;

    // owner is the run's worker, whose events gate every file. running is
    // the run's busy flag when a clear flag is to end the files not begun
    // (the backup), null when it is not (the restore, which restores every
    // entry already listed). What work uses must outlive this object.
    CFileWorkers(FileWork work, const CWorkerThread& owner, const std::atomic<LONG>* running)
        : m_work(std::move(work)), m_owner(owner), m_running(running)
    {
    }
    CFileWorkers(const CFileWorkers&) = delete;
    CFileWorkers& operator=(const CFileWorkers&) = delete;
    // Files not begun are dropped; waits for the files under way to end.
    ~CFileWorkers()
    {
        {
            CExclusiveLock lock(m_lock);
            m_ending = true;
            m_waiting.clear();
        }
        ::WakeAllConditionVariable(&m_fileWaiting);
        for (std::unique_ptr<CWorkerThread>& thread : m_threads)
            thread->Stop();
    }

    // How many workers (clamped to 1..kMaxFileWorkers) and at which thread
    // priority. They are begun by the first Submit, so a run with nothing to
    // hand out begins none; when no thread can be had, Submit does the file
    // on the calling thread.
    void Start(int count, int threadPriority)
    {
        m_threadPriority = threadPriority;
        m_wanted = std::max(1, std::min(count, kMaxFileWorkers));
    }
    // The workers begun so far.
    int Count() const { return static_cast<int>(m_threads.size()); }

    // Hands one file to the workers. While every worker has a file and as
    // many again wait, it first waits for one to finish; what finished
    // meanwhile goes to `finished`.
    void Submit(Item item, const Finished& finished)
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
            finished(FinishedWork<Item>{item, Do(item)});
            return;
        }
        {
            CExclusiveLock lock(m_lock);
            HandOver(finished);
            // Each worker has one file in hand and one waiting for it, so
            // none idles while this thread walks on to the next file.
            while (m_waiting.size() >= m_threads.size())
            {
                ::SleepConditionVariableSRW(&m_fileFinished, &m_lock, INFINITE, 0);
                HandOver(finished);
            }
            m_waiting.push_back(std::move(item));
        }
        ::WakeConditionVariable(&m_fileWaiting);
    }
    // Hands what has finished so far to `finished`, without waiting.
    void Collect(const Finished& finished)
    {
        CExclusiveLock lock(m_lock);
        HandOver(finished);
    }
    // Waits until every file handed out has finished, handing each to
    // `finished`. Bound by the files under way: the stop event cuts those
    // through the service short, and ends the hold of a pause.
    void Drain(const Finished& finished)
    {
        CExclusiveLock lock(m_lock);
        for (;;)
        {
            HandOver(finished);
            if (m_waiting.empty() && m_busy == 0)
                return;
            ::SleepConditionVariableSRW(&m_fileFinished, &m_lock, INFINITE, 0);
        }
    }

private:
    static unsigned __stdcall WorkerProc(void* parameter)
    {
        static_cast<CFileWorkers*>(parameter)->Serve();
        return 0;
    }

    void Serve()
    {
        // The priority the run's own thread has: the files are the run's
        // work.
        ::SetThreadPriority(::GetCurrentThread(), m_threadPriority);
        // The worker's requests go over one connection to the service at a
        // time; it lets go of it when it is left without work or held at a
        // pause, so an idle worker holds no pipe instance another client
        // could use.
        CKeptBackupConnection connection;
        CExclusiveLock lock(m_lock);
        for (;;)
        {
            if (m_waiting.empty() && !m_ending && connection.IsOpen())
            {
                // While a run goes on its walk hands out the next file in a
                // moment: the connection is kept for it, and let go only by
                // a worker left without work.
                if (!::SleepConditionVariableSRW(&m_fileWaiting, &m_lock, kIdleKeepMs, 0) &&
                    m_waiting.empty() && !m_ending)
                {
                    ::ReleaseSRWLockExclusive(&m_lock);
                    connection.Close();
                    ::AcquireSRWLockExclusive(&m_lock);
                }
                continue;
            }
            while (m_waiting.empty() && !m_ending)
                ::SleepConditionVariableSRW(&m_fileWaiting, &m_lock, INFINITE, 0);
            if (m_waiting.empty())
                return;
            Item item = std::move(m_waiting.front());
            m_waiting.pop_front();
            ++m_busy;
            ::ReleaseSRWLockExclusive(&m_lock);
            // Nor while it is held at a pause.
            if (m_owner.IsPaused())
                connection.Close();
            const WorkOutcome outcome = Do(item);
            FinishedWork<Item> done{std::move(item), outcome};
            ::AcquireSRWLockExclusive(&m_lock);
            --m_busy;
            try
            {
                m_finished.push_back(std::move(done));
            }
            catch (...)
            {
                // Out of memory: the file goes unrecorded, as one not begun.
            }
            ::WakeConditionVariable(&m_fileFinished);
        }
    }

    // The stop and pause point, then the file's work; a stop leaves the file
    // alone. Never throws.
    WorkOutcome Do(const Item& item)
    {
        if (!m_owner.WaitToContinue() || (m_running != nullptr && m_running->load() == 0))
            return WorkOutcome::NotDone;
        try
        {
            return m_work(item);
        }
        catch (...)
        {
            // Out of memory around the transfer: not done.
            return WorkOutcome::Failed;
        }
    }

    // Takes the finished files out under the lock and hands them over
    // outside it. The lock is held on entry and on return.
    void HandOver(const Finished& finished)
    {
        while (!m_finished.empty())
        {
            std::vector<FinishedWork<Item>> taken;
            taken.swap(m_finished);
            ::ReleaseSRWLockExclusive(&m_lock);
            try
            {
                for (const FinishedWork<Item>& done : taken)
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

    const FileWork m_work;
    const CWorkerThread& m_owner;
    const std::atomic<LONG>* const m_running;
    int m_threadPriority = THREAD_PRIORITY_NORMAL;
    int m_wanted = 0; // workers still to begin at the first Submit

    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_fileWaiting = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE m_fileFinished = CONDITION_VARIABLE_INIT;
    // Under m_lock: files handed out and not begun, files a worker is on,
    // files finished and not handed over yet, and the end.
    std::deque<Item> m_waiting;
    int m_busy = 0;
    std::vector<FinishedWork<Item>> m_finished;
    bool m_ending = false;

    std::vector<std::unique_ptr<CWorkerThread>> m_threads;
};

#endif
