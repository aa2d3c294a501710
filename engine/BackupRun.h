// The backup run: one pass over every checked row of the profile, on the
// backup worker (CRunContext::StartBackup starts it).
//
//   1. the thread's priority from the setting "PriorityLevel";
//   2. the destination checked: the destination field's text D (where
//      "Settings" goes) and the profile's backup_where (where "Files\" goes)
//      must both be absolute folder paths, or the run is refused;
//   3. on each drive that a source walks from its root, "System Volume
//      Information" opened to the user (cacls), since the walk lists as
//      the user;
//   4. the profile copied to D + "Settings\Profile.prb" (missing folders
//      made), with its encryption password blanked in the copy (it must
//      never lie beside the encrypted files), and the cache
//      D + "Settings\Cache.prb" created when missing;
//   5. the profile's rows read whole and the profile closed, so it is not
//      held for the run; then for each checked row in the profile's order:
//      a file or folder is walked (BackupSourceFiles) inside one cache
//      transaction, a web-site database is dumped;
//   6. the clean-up of stored copies whose source is gone
//      (engine/StoredTree.h);
//   7. every stored folder of a walked source folder given that folder's
//      times and attributes again, now that nothing more is written into it
//      (CWalkedFolders, engine/StoredTree.h), unless the worker was stopped;
//   8. the grants revoked, a beep, and WM_BACKUP_FINISHED posted with the
//      outcome, on every way out.
//
// A source is walked breadth first: its own entry first, then every entry
// of one depth in listing order before the next depth. Junctions and links
// are never followed, and the run's own folders (D + "Settings" and
// backup_where + "Files" and "Databases") are never walked, so a
// destination inside a source is not backed up into itself.
//
// Per entry the run does only what it must: the stamp comes from the file's
// own record, read here without opening the file (no pipe round trip; never
// from the folder listing, whose sizes and times lag behind for a file held
// open by a writer), an unchanged file costs one cache lookup and one
// attribute query of its stored copy, and the stop and pause checks cost a
// kernel wait only while paused or every 25 ms. A local file that changed is
// stored by the service; a file on the network, or any file when the
// destination is on the network, by this program itself (the service never
// touches the network). The stores run on the run's store workers, four at
// a time by default (engine/FileWorkers.h), at the run's priority, and
// each outcome is recorded on the run's own thread as the store ends; a
// source is committed once all of its stores have ended. Once the service has not answered, the run asks it
// nothing more (each request would wait out its retries), the local files
// left count as failed, and the run ends as failed.
//
// Database errors inside one file's decision are written to the log as
// debug lines and the walk goes on; a database error anywhere else ends the
// run as failed, without committing the source under way and without the
// clean-up. Clearing the busy flag (the window's Stop) ends the source
// under way before its next entry and skips the rest of the run; a set stop
// event of the worker does the same at once.
#ifndef BRINDLEWOX_ENGINE_BACKUPRUN_H
#define BRINDLEWOX_ENGINE_BACKUPRUN_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/String.h"
#include "engine/RunContext.h"

// The thread procedure of the backup worker; the parameter is the
// CRunContext. Returns 0.
unsigned __stdcall BackupThreadProc(void* context);

// The stop and pause point of the backup run and its clean-up, and of the
// restore run's walk, asked before every entry. The worker's wait pair is
// waited on whenever the run is paused, and otherwise once every 25 ms:
// under Wine each wait is a round trip to the server, which per file would
// cost more than the rest of the work on an unchanged file.
class CBackupGate
{
public:
    // The backup worker's, and the busy flag.
    explicit CBackupGate(CRunContext& context) : CBackupGate(context.backupWorker, &context.engineBusy)
    {
    }
    // Another worker's; `running` null: no busy flag is looked at.
    CBackupGate(const CWorkerThread& worker, const std::atomic<LONG>* running)
        : m_worker(worker), m_running(running)
    {
    }

    // False when the run must end: the worker's stop event is set (Stopped()
    // is then true), or the busy flag is clear.
    bool GoOn();
    bool Stopped() const { return m_stopped; }

private:
    static constexpr ULONGLONG kWaitEveryMs = 25;

    const CWorkerThread& m_worker;
    const std::atomic<LONG>* m_running;
    ULONGLONG m_lastWait = 0;
    bool m_waited = false;
    bool m_stopped = false;
};

// An absolute folder path the run may write under: "X:\..." or
// "\\server\share..." (no device forms "\\?\" or "\\.\").
bool IsAbsoluteFolderPath(const char* path);
// Whether `path` is `folder` or lies below it, compared without regard to
// case; `folder` has no trailing backslash.
bool IsSameOrInside(const char* path, const char* folder);

// The priority of a "PriorityLevel": the process class is
// IDLE_PRIORITY_CLASS below 7, else NORMAL_PRIORITY_CLASS; the thread
// priority 1: idle, 2 and 7: lowest, 3 and 8: below normal, 4 and 9:
// normal, 5 and 10: above normal, any other: highest. The default 9 is a
// normal process with a normal thread.
void PriorityForLevel(DWORD level, DWORD& priorityClass, int& threadPriority);
// Sets the process's class and the calling thread's priority for the level;
// the class is not set back after the run.
void ApplyPriorityLevel(DWORD level);
// The level of the setting "PriorityLevel" (9 when absent), applied; the
// thread priority it gave, for the run's store workers.
int ApplyPriorityLevel();

// Starts a program in its own console, handles inherited, no standard
// handles, its first window in `showState`: SW_HIDE for the run's own tools
// (cacls), SW_SHOWNORMAL for what the user must see and answer (an
// uninstaller started hidden would wait for input nobody can give). The
// process handle, which the caller closes, or null when it did not start.
HANDLE StartProcess(const char* commandLine, WORD showState);
// StartProcess, then waits at most `timeoutMs` for the program's end; a
// program still running then is left to run. True when it started.
bool RunProcessAndWait(const char* commandLine, DWORD timeoutMs = INFINITE,
                       WORD showState = SW_HIDE);

// The cacls command line that grants the user full access to the drive's
// "System Volume Information" folder, or with grant false revokes the
// user's entries there:
//   cacls "D:\System Volume Information" /E /G "ann":F
//   cacls "D:\System Volume Information" /E /R "ann"
// The user name is quoted, so a name with blanks stays one argument.
CString VolumeInfoCommand(char drive, const char* user, bool grant);
// The drives whose "System Volume Information" a run walks into, as a mask
// of GetLogicalDrives bits: those of the checked file-or-folder sources that
// hold the folder (a drive root) or lie inside it. Only there does the walk,
// which lists as the user, need the grant; every other drive is left as it
// is (a revocation removes all of the user's own entries on the folder,
// older ones included). A: and B: never count.
DWORD DrivesNeedingVolumeInfoAccess(const CArray<ProfileItem>& items);
// Runs the grant, or the revocation, on the drives of the mask that exist;
// the drives' commands run side by side and are waited for at most 60 s
// together. Results are ignored (a file system without access lists
// refuses quietly).
void GrantVolumeInfoAccess(DWORD drives);
void RevokeVolumeInfoAccess(DWORD drives);

// The log lines of the run's own refusals and endings.
extern const char* const kRefusedDestinationLine; // format: the path
extern const char* const kEndedEarlyLine;
extern const char* const kServiceGoneLine;
extern const char* const kOwnFolderSkippedLine; // format: the path
extern const char* const kNoDatabaseDumpLine;   // format: the web address

#endif
