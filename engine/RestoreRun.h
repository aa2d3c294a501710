// The restore run: brings stored files back from a backup's stored-file tree
// through the service. The user picks a stored file or folder S and a target
// folder T; the run's thread walks S, S itself first, then breadth first,
// and hands every file and folder to the run's restore workers (four by
// default, CFileWorkers), which ask the service's BACKUP pipe to restore
// them, several at once, each worker over a connection it keeps. The
// service writes each to T followed by its stored path with the first ":"
// removed (making the folders above it):
// D:\Backup\Files\C\Data\a.txt restored to E:\Restore\ becomes
// E:\Restore\D\Backup\Files\C\Data\a.txt. Stored paths of network sources
// keep their marker name there; nothing is mapped back. The stored form and
// the password come from the current profile, which must be the one the
// files were stored with: the stored forms carry no header, so other
// settings give wrongly decoded files, not an error.
#ifndef BRINDLEWOX_ENGINE_RESTORERUN_H
#define BRINDLEWOX_ENGINE_RESTORERUN_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "engine/RunContext.h"

// Restores single stored entries (CRunContext::restoreService); the restore
// run calls it from its restore workers, several threads at once.
class IFileRestoreService
{
public:
    virtual ~IFileRestoreService() = default;
    // As PipeRestoreFile: kPipeDone, kPipeFailed or kPipeNoAnswer, the stop
    // event and the run's cancel event (null: none) ending its waits, the
    // cancel event set by a request that goes unanswered, and `sent`
    // whether any of the request reached the service.
    virtual int RestoreFile(const CString& storedPath, const CString& targetRoot, BOOL compress,
                            BOOL encrypt, const CString& password, HANDLE stopEvent,
                            HANDLE cancelEvent, bool& sent) = 0;
};

// The thread procedure of the restore worker, started by
// CRunContext::StartRestore (which set the busy flag); the parameter is the
// CRunContext. Holds the context's restore lock for the run, runs
// RestoreFiles (an exception ends the run as failed), frees the engine
// (CRunContext::RestoreEnded), unlocks and posts WM_RESTORE_FINISHED with
// the outcome: stopped when the worker's stop event or a cleared busy flag
// ended it, failed when any entry was not restored or there was nothing to
// restore, else completed. Returns 0.
unsigned __stdcall RestoreThread(void* context);

// The run itself, on the restore worker: 1 when it ran, 0 when the stored
// path or the target was empty (nothing restored). A target without a
// trailing backslash gets one, so the files land inside the chosen folder.
// Every entry is restored once, and each one that is not is logged and
// counted once, on this thread, as its restore ends; the run returns once
// every restore it handed out has ended. Then every restored folder is
// given its stored folder's times and attributes, deepest first, now that
// nothing more is written into it (CWalkedFolders, engine/StoredTree.h).
//
// The first request the service does not answer ends the requests under
// way and no other is sent: that entry is logged ("Error at:"), the rest
// (those under way, those waiting, and those the walk lists after it) are
// counted as not restored without a line each, and kRestoreServiceGoneLine
// ends the log of the run. The give-up itself takes the sender's waits
// (about 19 s with no service at all); the rest of the run takes the
// listing of what is left.
//
// The restore worker's pause holds the walk and every restore worker
// between two entries (an entry under way still ends). Its stop event ends
// the run at once: the walk and the workers stop before their next entry,
// a request under way (or waiting for the service) is cut off, and the
// folders' times are left; a cut-off request counts as not restored unless
// nothing of it had reached the service yet, and entries not begun are not
// counted. Clearing the busy flag only cuts the listing under way short:
// what was listed is restored.
int RestoreFiles(CRunContext& context);

// The line that ends the log of a restore that gave up on the service;
// format: the number of entries the run did not restore (%ld).
extern const char* const kRestoreServiceGoneLine;

// Asks the service to restore one stored file or folder under the target
// root and shows its path as the current file; a stored path or a target on
// the network (IsNetworkLocation) is restored by this program itself, as the
// service never touches the network. kPipeDone (0) when restored;
// kPipeFailed or kPipeNoAnswer otherwise, which is logged as the "Error at:"
// text, a blank, the path and two line ends, and counted.
int RestoreOneFile(CRunContext& context, const CString& storedPath, const CString& targetRoot,
                   BOOL compress, BOOL encrypt, const CString& password);

// The last restore page's fields from the per-user settings, the string
// values "WhatRestorePath" and "WhereRestorePath". Each output is set only
// when its value was read; TRUE when both were.
BOOL LoadRestorePaths(CString& whatPath, CString& wherePath);

#endif
