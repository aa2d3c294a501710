// The decisions behind the main window's commands, as plain functions of
// what the window knows, so that each can be checked without a window:
// what Start/Stop, Pause/Resume and the tray's Close do in each state of the
// runs, which list row Edit and Delete act on, the help balloon's text for
// the page shown, whether the support form may be sent, and what follows a
// registry tool. MainCommands.cpp carries them out.
#ifndef BRINDLEWOX_APP_COMMANDRULES_H
#define BRINDLEWOX_APP_COMMANDRULES_H

#include "foundation/Base.h"
#include "foundation/Ini.h"
#include "foundation/String.h"
#include "app/Page.h"

// ---- Run control ----

// The window's view of its runs when a command comes.
struct RunFlags
{
    bool backupRunning = false; // the backup-running flag (a backup holds the engine)
    bool paused = false;        // the backup worker is held by Pause
    bool workerAlive = false;   // the backup worker's thread exists
    bool restoreRunning = false;
    bool exitAfterRun = false;  // the program ends when the run reports its end
};

enum class RunAction
{
    None,
    StartRun,     // begin a backup run
    StopRun,      // disable Start and Pause, ask the run to stop
    Pause,        // hold the run before its next entry
    Resume,       // let a held run go on
    EndProgram,   // no run: leave now (tray icon removed, dialog ended)
    EndAfterRun,  // a run lasts: resume it when held, ask it to stop, leave at its end
};

// Start/Stop (and Backup Now): a run that is held stays as it is (the user
// resumes it first, then stops it); a running one is asked to stop; with no
// run and no worker thread left, a run starts.
RunAction DecideStartStop(const RunFlags& flags);
// Pause/Resume: resumes a held run, holds a running one, else nothing.
RunAction DecidePauseResume(const RunFlags& flags);
// The tray's Close: ignored while a restore runs; with a backup running the
// program ends after the run, which is resumed first when held, so that it
// reaches its stop check instead of waiting for ever.
RunAction DecideClose(const RunFlags& flags);
// The flags as the action leaves them, before any run has reacted.
RunFlags AfterRunAction(RunFlags flags, RunAction action);

// ---- The row of Edit and Delete ----

// The index of the row the command acts on: the selected one while it is a
// row of the list, else row 0; -1 when the list is empty.
int ChooseListRow(int rowCount, int selected);

// ---- Help balloon ----

// The first page of the help order (Backup, Blank, Restore, the three
// options pages, Startup, Uninstall, Support, Optimize) whose flag is set
// (the flags by page number); None when none is.
Page FirstVisiblePage(const bool (&visible)[kPageNumberCount]);
// The balloon's text for that page, its lines joined with "\n", from the
// language file; empty for Blank, for a page without help and for None.
CString HelpText(CIni& language, Page page);

// ---- Support form ----

// The form may be sent: e-mail, name and description filled in and the
// e-mail holding an at sign.
bool SupportFormComplete(const char* email, const char* name, const char* description);

// ---- Registry tools ----

enum class RegistryTool
{
    Compact, // 3022, SETTINGS 2
    Save,    // 3023, SETTINGS 3
    Restore, // 3024, SETTINGS 4
};

enum class RegistryOutcome
{
    AskRestart, // compaction or restore done: the question "restart your PC" (1006)
    Completed,  // backup done: "Task sucessfully completed." (199)
    Failed,     // the service failed or did not answer: "Task failed." (199)
};

// From the service's result (1 done, anything else failed).
RegistryOutcome DecideRegistryOutcome(RegistryTool tool, int result);
// Whether the tool's buttons are enabled again after it: the backup always;
// compaction and restore unless the restart was accepted and asked for
// (restartStarted), as the hives in use change only with that restart.
bool EnableAfterRegistryTool(RegistryTool tool, RegistryOutcome outcome, bool restartStarted);

#endif
