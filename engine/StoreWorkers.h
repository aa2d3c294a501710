// The store workers of a backup run: a few threads that store the changed
// files the walk hands them, so that the round trips to the service and the
// stores themselves overlap instead of following one another (the service
// serves several clients at once, one BACKUP pipe instance each).
//
// The split of the work:
// - the run's own thread walks, decides each file (DecideBackupFile) and
//   hands the changed ones to Submit;
// - a worker stores one file at a time (StorePendingFile), local files
//   through the service and network files in this process alike; its
//   requests to the service go over one kept connection at a time
//   (CKeptBackupConnection), which it closes before it waits for work or at
//   a pause;
// - what the workers finished goes back to the run's thread, in the order
//   the stores ended, through the callback it gives to Submit, Collect and
//   Drain: only that thread records outcomes, so the cache, the counters and
//   the log are written in one place, inside the run's transaction.
//
// Before every file a worker passes the backup worker's stop and pause point
// (CWorkerThread::WaitToContinue): a pause holds every worker between files
// (a file under way still ends), the stop event ends them. A file handed out
// that a worker has not begun when the run stops (the stop event, or the
// busy flag clear) comes back NotDone, and so does a store the stop event
// cut off: such a file is neither stored nor counted; the next run stores
// it. A store under way when the busy flag is cleared ends as it would have
// on the run's own thread.
#ifndef BRINDLEWOX_ENGINE_STOREWORKERS_H
#define BRINDLEWOX_ENGINE_STOREWORKERS_H

#include "foundation/Base.h"
#include "foundation/Thread.h"
#include "engine/BackupOneFile.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

// How many files a run stores at once unless told otherwise, and the most it
// takes. Four: the service serves four clients at once (its BACKUP pipe has
// four instances); under Wine four overlapping requests took half the time
// of one after the other, and more gained nothing.
constexpr int kDefaultStoreWorkers = 4;
constexpr int kMaxStoreWorkers = 16;

enum class StoreOutcome
{
    Stored,
    Failed,
    NotDone, // not begun, or cut off by the stop event
};

struct FinishedStore
{
    PendingStore file;
    StoreOutcome outcome = StoreOutcome::NotDone;
};

class CStoreWorkers
{
public:
    // Called on the run's thread with each finished file.
    using Finished = std::function<void(const FinishedStore&)>;

    // services and settings are the run's and must outlive this object
    // (settings are read by the workers while they store). owner is the
    // backup worker, whose events gate every file; running is the run's busy
    // flag.
    CStoreWorkers(const BackupFileServices& services, const BackupStoreSettings& settings,
                  const CWorkerThread& owner, const std::atomic<LONG>& running);
    CStoreWorkers(const CStoreWorkers&) = delete;
    CStoreWorkers& operator=(const CStoreWorkers&) = delete;
    // Files not begun are dropped; waits for the stores under way to end.
    ~CStoreWorkers();

    // How many workers (clamped to 1..kMaxStoreWorkers) and at which thread
    // priority. They are begun by the first Submit, so a run with nothing to
    // store begins none; when no thread can be had, Submit stores on the
    // calling thread.
    void Start(int count, int threadPriority);
    // The workers begun so far.
    int Count() const { return static_cast<int>(m_threads.size()); }

    // Hands one file to the workers. While every worker has a file and as
    // many again wait, it first waits for one to finish; what finished
    // meanwhile goes to `finished`.
    void Submit(PendingStore file, const Finished& finished);
    // Hands what has finished so far to `finished`, without waiting.
    void Collect(const Finished& finished);
    // Waits until every file handed out has finished, handing each to
    // `finished`. Bound by the stores under way: the stop event cuts those
    // through the service short, and ends the hold of a pause.
    void Drain(const Finished& finished);

private:
    static unsigned __stdcall WorkerProc(void* parameter);
    void Work();
    FinishedStore Store(PendingStore& file);
    // Takes the finished files out under the lock and hands them over
    // outside it. The lock is held on entry and on return.
    void HandOver(const Finished& finished);

    const BackupFileServices& m_services;
    const BackupStoreSettings& m_settings;
    const CWorkerThread& m_owner;
    const std::atomic<LONG>& m_running;
    int m_threadPriority = THREAD_PRIORITY_NORMAL;
    int m_wanted = 0; // workers still to begin at the first Submit

    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_fileWaiting = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE m_fileFinished = CONDITION_VARIABLE_INIT;
    // Under m_lock: files handed out and not begun, files a worker is
    // storing, files finished and not handed over yet, and the end.
    std::deque<PendingStore> m_waiting;
    int m_busy = 0;
    std::vector<FinishedStore> m_finished;
    bool m_ending = false;

    std::vector<std::unique_ptr<CWorkerThread>> m_threads;
};

#endif
