#include "engine/RestoreRun.h"

#include "engine/BackupRun.h"
#include "engine/FileSystem.h"
#include "engine/FileWalk.h"
#include "engine/FileWorkers.h"
#include "foundation/Exception.h"
#include "foundation/Sync.h"
#include "engine/LogFile.h"
#include "engine/PipeClient.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "engine/StoredFile.h"
#include "engine/StoredTree.h"

#include <atomic>

const char* const kRestoreServiceGoneLine = "The Brindlewox service does not answer: the restore "
                                            "asks it nothing more. Entries not restored: %ld.\r\n\r\n";

namespace
{
bool EndsWithBackslash(const CString& path)
{
    return !path.IsEmpty() && path[path.GetLength() - 1] == '\\';
}

// The stored form and the password of the profile's settings row; without a
// readable row they stay "plain, no password".
ProfileSettings ReadStoredForm(CRunContext& context)
{
    ProfileSettings settings;
    try
    {
        CProfileDB(context.profilePath).LoadSettings(settings);
    }
    catch (const CSqlException& e)
    {
        context.WriteDebugLog(e);
    }
    return settings;
}

// The restore of one entry without its record: shows the path, then the
// service restores it, or this program for the network. `sent` and
// `cancel` as for PipeRestoreFile (`sent` always true for the network).
int RequestRestore(CRunContext& context, const CString& storedPath, const CString& targetRoot,
                   BOOL compress, BOOL encrypt, const CString& password, HANDLE cancel,
                   bool& sent)
{
    context.ShowCurrentFile(storedPath);
    sent = true;
    if (IsNetworkLocation(storedPath) || IsNetworkLocation(targetRoot))
    {
        // The service never touches the network: a stored tree or a target
        // there is this program's to read and write, with the user's logon.
        CTransferSource opened;
        return opened.Open(storedPath, CTransferSource::SourceOpen::ForReading) &&
                       TransferFromSource(opened, StoredCopyPath(targetRoot, storedPath), compress,
                                          encrypt, password, kTransferRestore)
                   ? kPipeDone
                   : kPipeFailed;
    }
    const HANDLE stop = context.restoreWorker.GetStopEvent();
    if (context.restoreService != nullptr)
        return context.restoreService->RestoreFile(storedPath, targetRoot, compress, encrypt,
                                                   password, stop, cancel, sent);
    return PipeRestoreFile(storedPath, targetRoot, compress, encrypt, password, stop, &sent,
                           cancel);
}

// A failed entry: one log line and one count.
void RecordFailure(CRunContext& context, const CString& storedPath)
{
    context.WriteLog(context.GetLanguageText(kErrorAtKey, kErrorAtText) + " " + storedPath +
                     "\r\n\r\n");
    context.RestoreFailed();
}

// The entries of one run, restored on the run's restore workers (several
// requests to the service at once, each worker over a connection it keeps)
// and recorded on the run's own thread as they end.
//
// The give-up, as the backup's (CPipeFileService): the first request the
// service leaves unanswered (no service, no free instance in all of the
// sender's waits, no reply in time, a server that is not the service) sets
// the run's cancel event before it lets go of its pipe, which ends the
// requests under way on the other workers at once; from then on no request
// is sent. That first entry is logged as any failure; every other entry
// left is counted as not restored without a line of its own, and one line
// at the end says why and how many failed. A request the stop event ended
// is not unanswered: the run is ending, the service may be fine.
class CRestoreRun
{
public:
    CRestoreRun(CRunContext& context, const CString& target, const ProfileSettings& settings)
        : m_context(context), m_target(target), m_settings(settings),
          m_workers([this](const CString& path) { return Restore(path); }, context.restoreWorker,
                    nullptr),
          m_finished([this](const FinishedWork<CString>& done) { Finish(done); })
    {
        // Without the event the give-up still keeps further requests from
        // being sent; only those under way then wait out their own limits.
        m_cancel.Attach(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        m_workers.Start(context.restoreWorkers, ::GetThreadPriority(::GetCurrentThread()));
    }

    // One entry of the walk; a folder's listed path loses its backslash.
    // After the give-up an entry is only counted.
    void Submit(const WalkEntry& entry)
    {
        const CString path = entry.ItemPath();
        if (entry.IsFolder())
            m_folders.Add(path, StoredCopyPath(m_target, path));
        if (m_givenUp.load())
        {
            NotRestored();
            return;
        }
        m_workers.Submit(path, m_finished);
    }
    // Until every entry handed out has ended and is recorded; then, unless
    // the worker was stopped, each restored folder gets its stored folder's
    // times and attributes, after everything written into it. The give-up's
    // line last.
    void Drain()
    {
        m_workers.Drain(m_finished);
        CBackupGate gate(m_context.restoreWorker, nullptr);
        m_folders.Apply([&gate] { return gate.GoOn(); });
        if (m_givenUp.load())
        {
            CString line;
            line.Format(kRestoreServiceGoneLine, m_context.GetDisplay().restoreFailed);
            m_context.WriteLog(line);
        }
    }

private:
    // On a restore worker.
    WorkOutcome Restore(const CString& path)
    {
        if (m_givenUp.load())
            return WorkOutcome::GivenUp;
        bool sent = true;
        const int result = RequestRestore(m_context, path, m_target, m_settings.compress,
                                          m_settings.encrypt, m_settings.password,
                                          m_cancel.GetHandle(), sent);
        if (result == kPipeDone)
            return WorkOutcome::Done;
        const bool stopped = m_context.restoreWorker.IsStopRequested();
        // The stop came while the worker waited for the service: nothing of
        // it reached the service, so it is not begun, as an entry still
        // waiting for a worker. One that did and was cut off may or may not
        // have been restored: it counts as not restored.
        if (!sent && stopped)
            return WorkOutcome::NotDone;
        if (result != kPipeNoAnswer || stopped)
            return WorkOutcome::Failed;
        // Unanswered. The first to come back is the one logged: normally the
        // request that found no service, as it raised the event before it
        // returned; one it ended may rarely come back a moment sooner and
        // take its place. Either way each entry is counted once.
        if (m_cancel.GetHandle() != nullptr)
            ::SetEvent(m_cancel.GetHandle());
        return m_givenUp.exchange(true) ? WorkOutcome::GivenUp : WorkOutcome::Failed;
    }

    void Finish(const FinishedWork<CString>& done)
    {
        if (done.outcome == WorkOutcome::Failed)
            RecordFailure(m_context, done.item);
        else if (done.outcome == WorkOutcome::GivenUp)
            NotRestored();
    }

    void NotRestored() { m_context.RestoreFailed(); }

    CRunContext& m_context;
    const CString m_target;
    const ProfileSettings m_settings;
    CWalkedFolders m_folders; // the run's thread only
    CEvent m_cancel;
    std::atomic<bool> m_givenUp{false};
    // Declared after everything its workers use, so it ends first.
    CFileWorkers<CString> m_workers;
    const CFileWorkers<CString>::Finished m_finished;
};
} // namespace

unsigned __stdcall RestoreThread(void* parameter)
{
    CRunContext& context = *static_cast<CRunContext*>(parameter);
    BackupOutcome outcome = kBackupFailed;
    {
        CLockGuard lock(context.restoreLock);
        try
        {
            const int ran = RestoreFiles(context);
            const HANDLE stop = context.restoreWorker.GetStopEvent();
            if ((stop != nullptr && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) ||
                context.engineBusy.load() == 0)
                outcome = kBackupStopped;
            else if (ran && context.GetDisplay().restoreFailed == 0)
                outcome = kBackupCompleted;
        }
        catch (CException* e)
        {
            delete e;
        }
        catch (...)
        {
            // Nothing may leave the thread; the end message still goes out,
            // as a failed restore.
        }
        context.RestoreEnded();
    }
    if (context.window)
        ::PostMessageA(context.window, WM_RESTORE_FINISHED, outcome, 0);
    return 0;
}

int RestoreFiles(CRunContext& context)
{
    const CString stored = context.whatPath;
    CString target = context.wherePath;
    if (stored.IsEmpty() || target.IsEmpty())
        return 0;
    // The service joins the target and the stored path as they are: without
    // the backslash, E:\R and D\Backup\... would give E:\RD\Backup\..., a
    // folder beside the chosen one.
    if (!EndsWithBackslash(target))
        target += '\\';

    CRestoreRun run(context, target, ReadStoredForm(context));
    CString pattern = stored;
    if (IsFolderOrMissing(stored))
    {
        // The folder itself first: that makes the target folder, even when
        // it is empty. (Its entries need not wait for it: each restore makes
        // the folders above its file.)
        WalkEntry folder;
        folder.path = stored;
        folder.attributes = FILE_ATTRIBUTE_DIRECTORY;
        run.Submit(folder);
        if (!EndsWithBackslash(pattern))
            pattern += '\\';
        pattern += "*.*";
    }

    // Level by level, breadth first: every entry of a level in listing
    // order, then the next level from the folders among them, until a level
    // is empty or the worker is stopped. The listing is this thread's; the
    // restores are the workers', each behind its own stop and pause point.
    CBackupGate gate(context.restoreWorker, nullptr);
    WalkBreadthFirst(
        pattern, context.engineBusy, [&gate] { return gate.GoOn(); }, [](size_t) {},
        [&run](size_t, const WalkEntry& entry)
        {
            run.Submit(entry);
            return true;
        });
    run.Drain();
    context.ShowCurrentFile(context.GetLanguageText(kNotActiveKey, kNotActiveText));
    return 1;
}

int RestoreOneFile(CRunContext& context, const CString& storedPath, const CString& targetRoot,
                   BOOL compress, BOOL encrypt, const CString& password)
{
    bool sent = true;
    const int result = RequestRestore(context, storedPath, targetRoot, compress, encrypt, password,
                                      nullptr, sent);
    if (result != kPipeDone)
        RecordFailure(context, storedPath);
    return result;
}

BOOL LoadRestorePaths(CString& whatPath, CString& wherePath)
{
    const BOOL what = ReadSettingString("WhatRestorePath", whatPath);
    const BOOL where = ReadSettingString("WhereRestorePath", wherePath);
    return what && where;
}
