// The state the main window shares with its backup and restore runs: what
// the window sets before a start, the flags, the two workers with their
// events, and what the runs show while they last (counters, the current
// path, the progress). The window owns one object for the life of the
// program and passes it to either worker as its parameter; a run reaches
// the window only through this object's update calls and by posting its
// end message, so both runs work headless with no window at all.
//
// Threads: the fields under "set before a start" are written by the
// window's thread while no run is active and only read by a run. The flags
// are atomic. The display fields are written by the runs and read by the
// window, both under the context's display lock, which is held only to copy
// values (see foundation/Thread.h): the window reads them with GetDisplay
// on its own timer and never waits for a run to show anything.
#ifndef BRINDLEWOX_ENGINE_RUNCONTEXT_H
#define BRINDLEWOX_ENGINE_RUNCONTEXT_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "foundation/Sync.h"
#include "foundation/Thread.h"
#include "engine/BackupOneFile.h"
#include "engine/Profile.h"
#include "engine/FileWorkers.h"

#include <atomic>

class CLogFile;
class CSqlException;
class IFileRestoreService;

// Posted to the window when a backup run has ended, however it ended; the
// wParam is the run's BackupOutcome, the lParam 0.
constexpr UINT WM_BACKUP_FINISHED = 0x1224;
// Posted to the window when a restore run has ended, however it ended; the
// wParam is the run's outcome (BackupOutcome's values), the lParam 0.
constexpr UINT WM_RESTORE_FINISHED = 0x1228;

// How a backup or restore run ended (the wParam of WM_BACKUP_FINISHED and
// WM_RESTORE_FINISHED). For a restore: completed when every entry was
// restored; failed when any entry could not be, or there was nothing to
// restore (an empty stored path or target); stopped as a backup.
enum BackupOutcome : WPARAM
{
    // Every checked source was walked and the clean-up ran. Files that could
    // not be stored are in the error count and the log.
    kBackupCompleted = 0,
    // The run ended early on an error (a destination that is refused or
    // cannot be reached, a database error); the log says which. No clean-up.
    kBackupFailed = 1,
    // The user stopped the run (Stop, or the worker stopped) before its end.
    // No clean-up.
    kBackupStopped = 2,
};

// Why a run was not started (CRunContext::StartBackup, StartRestore): one
// run at a time, backup or restore, as both share the engine-busy flag.
enum class RunStart
{
    Started,
    BackupActive,  // a backup runs, or its ended thread is not collected yet
    RestoreActive, // a restore runs
    NotStarted,    // the thread could not be begun
};
// The English reason of a refusal, for the log; empty for Started.
const char* DescribeRunStart(RunStart start);

// Language keys and English texts the runs use.
constexpr const char* kNotActiveKey = "DL_N_101_96";
constexpr const char* kNotActiveText = "Not active...";

// The web-site database dump of a profile row of type 1, run by the backup
// run in the row's turn.
class IDatabaseDump
{
public:
    virtual ~IDatabaseDump() = default;
    virtual void RunDatabaseBackups(const ProfileItem& item) = 0;
};

// What the window shows of a run.
struct RunDisplay
{
    LONG processedFiles = 0; // entries the backup run handled (skipped ones too)
    LONG errors = 0;         // entries the backup run could not store
    LONG restoreFailed = 0;  // entries the restore run could not restore
    CString currentFile{""}; // the path being worked on
    int progressRange = 0;   // the number of entries of the level being walked
    int progressPosition = 0;
};

class CRunContext : public IBackupFileReport
{
public:
    CRunContext() = default;
    CRunContext(const CRunContext&) = delete;
    CRunContext& operator=(const CRunContext&) = delete;

    // ---- Set by the window before it starts a run ----
    // The window that gets the end messages (null: none is posted).
    HWND window = nullptr;
    // Where the runs write their log lines; null: nowhere (failures are still
    // counted).
    CLogFile* log = nullptr;
    // The language file the log texts come from; empty: the English texts.
    CString languageFile{""};
    // The profile database the runs read.
    CString profilePath = GetProfilePath();
    // The backup page's destination field as the start command found it:
    // the run puts "Settings" with the profile copy and the cache there. The
    // window copies it on its own thread, so the run never reads a control.
    CString destination{""};
    // The restore page's "what" and "where" fields: the stored file or folder
    // and the target folder.
    CString whatPath{""};
    CString wherePath{""};
    // The stamp-and-store services of the backup run; null: the service's
    // pipe for local paths and the in-process store for network paths.
    const BackupFileServices* services = nullptr;
    // The restore run's requests for local entries; null: the service's
    // pipe (entries on the network are restored in this process).
    IFileRestoreService* restoreService = nullptr;
    // The dump of web-site database rows; null: none is built in, and each
    // such row is logged and counted as not backed up.
    IDatabaseDump* databaseDump = nullptr;
    // How many files the backup run stores, and the restore run restores,
    // at once (CFileWorkers).
    int storeWorkers = kDefaultFileWorkers;
    int restoreWorkers = kDefaultFileWorkers;

    // ---- Flags ----
    // The window's backup-running flag, which is also the engine-busy flag of
    // the restore: 1 while a run is active. Clearing it is how the window
    // asks a run to stop; the folder listing under way is cut short.
    std::atomic<LONG> engineBusy{0};
    // Which run holds the engine: 0 none, 1 the backup (until CollectBackup),
    // 2 the restore (until its thread ends). Set by the starts, so that a
    // run starting up counts as running.
    std::atomic<LONG> activeRun{0};
    // 1 while a run the scheduler started lasts; the backup run clears it on
    // every way out.
    std::atomic<LONG> scheduled{0};

    // ---- Workers ----
    // The backup worker: its stop event ends every wait of the run at once,
    // its run event is the pause gate (Pause/Resume below).
    CWorkerThread backupWorker;
    // The restore worker and the lock the restore run holds for its whole
    // run.
    CWorkerThread restoreWorker;
    CCriticalSection restoreLock;

    // ---- The window's commands (its thread) ----
    // Starts a backup run on the backup worker, unless a run of either kind
    // is active (RunStart says which). The counters are zeroed and the flags
    // set before the thread exists, so the run never finds the busy flag
    // clear at its start and no other start passes meanwhile; a start that
    // fails clears the flags again. A run whose thread has ended before the
    // start looked at it is started all the same: its end is posted.
    RunStart StartBackup(bool scheduledRun);
    // Starts the restore run (RestoreThread) on the restore worker under the
    // same rule, its failure count zeroed first.
    RunStart StartRestore();
    // Asks the run to stop: clears the busy flag, and resumes a paused run so
    // that it reaches its stop check instead of staying held.
    void StopBackup();
    // Holds the run before its next entry, and lets it go on. The pause state
    // is the worker's own (CWorkerThread::IsPaused): nothing the run does can
    // undo it.
    BOOL PauseBackup() { return backupWorker.Pause(); }
    BOOL ResumeBackup() { return backupWorker.Resume(); }
    bool IsBackupPaused() const { return backupWorker.IsPaused(); }
    // The window's part of WM_BACKUP_FINISHED: collects the ended thread and
    // clears the busy flag.
    void CollectBackup();

    // Whether a run could start now: Started when no run holds the engine
    // and both workers have ended, else why not (the starts refuse for the
    // same reasons).
    RunStart CheckStart() const;

    // A copy of what the window shows.
    RunDisplay GetDisplay() const;
    // The restore thread's last step: the busy flag and the engine free.
    void RestoreEnded();

    // ---- The runs' update calls (their worker) ----
    void FileStarted(const char* path) override;
    void FileFailed(const char* path) override;
    void WriteLog(const char* text) override;
    CString GetLanguageText(const char* key, const char* englishDefault) override;
    void WriteDebugLog(const CSqlException& exception);
    void ShowCurrentFile(const char* path);
    void SetProgressRange(int count);
    void SetProgressPosition(int position);
    void RestoreFailed();

private:
    mutable CCriticalSection m_displayLock;
    RunDisplay m_display;
};

#endif
