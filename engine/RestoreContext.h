// The state a restore run shares with the main window: what the window sets
// before the start, the flag and the worker it owns, and what the run shows
// while it lasts. The window owns one object for the life of the program
// and passes it to the restore worker as its parameter.
#ifndef BRINDLEWOX_ENGINE_RESTORECONTEXT_H
#define BRINDLEWOX_ENGINE_RESTORECONTEXT_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "foundation/Sync.h"
#include "foundation/Thread.h"
#include "engine/BackupOneFile.h"
#include "engine/Profile.h"

#include <atomic>

class CLogFile;

// Posted to the main window when a restore run has ended, however it ended.
constexpr UINT WM_RESTORE_FINISHED = 0x1228;

// Language key and English text of the status at the end of a run (the
// failure line's are kErrorAtKey and kErrorAtText).
constexpr const char* kNotActiveKey = "DL_N_101_96";
constexpr const char* kNotActiveText = "Not active...";

struct CRestoreContext
{
    // Set by the window before it starts the worker.
    // The window that gets WM_RESTORE_FINISHED (null: none is posted).
    HWND window = nullptr;
    // The restore page's "what" and "where" fields as the restore command
    // found them: the stored file or folder and the target folder. They are
    // copied on the user-interface thread, so the worker never reads a
    // control of that thread.
    CString whatPath{""};
    CString wherePath{""};
    // The profile database, for the stored form and the password.
    CString profilePath = GetProfilePath();
    // Where failures are written; null: nowhere (they are still counted).
    CLogFile* log = nullptr;
    // The two texts in the user's language (see the keys above).
    CString notActiveText{kNotActiveText};
    CString errorAtText{kErrorAtText};

    // 1 while a backup or restore runs. The run sets it at its start and
    // clears it at its end; the window's Stop clears it, which cuts the
    // folder listing under way short.
    std::atomic<LONG> engineBusy{0};
    // The restore worker; its stop event ends the run between files and
    // any pipe wait at once.
    CWorkerThread restoreWorker;
    // Held by the run from its start to its end.
    CCriticalSection restoreLock;

    // Written by the run, read by the window, both under the worker's
    // display lock (restoreWorker.GetDisplayLock()): the path being
    // restored, then the "not active" text at the end, and the number of
    // entries the service did not restore in this run.
    CString currentFile{""};
    LONG failedCount = 0;
};

#endif
