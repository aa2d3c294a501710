// The service's own small functions: its crash handling (a silent dump, then
// a restart of the service), the stop notice, the folder of the service
// program and two string helpers of the servers.
#ifndef BRINDLEWOX_SERVICE_CRASHHANDLER_H
#define BRINDLEWOX_SERVICE_CRASHHANDLER_H

#include "foundation/Base.h"
#include "foundation/CrashDump.h"
#include "foundation/String.h"

// On its first call only: keeps the name (or "Application") for the dump
// file, prepares the restart command and installs ServiceCrashFilter as
// the unhandled-exception filter. The service passes "OVBrindlewoxSrv".
void InstallServiceCrashHandler(const char* applicationName);

// The service's unhandled-exception filter. Writes the dump as the main
// program's writer does, with these differences: nothing is shown; the
// dump file is readable by SYSTEM and the administrators only (the
// service's temporary folder is one that other users can write into, and
// the dump holds every password that passed the pipes); DBGHELP.DLL comes
// from beside the program or else from the system folder. Then, in every
// case, the restart action runs. 1 when the dump was saved (the process
// then ends), else 0.
LONG WINAPI ServiceCrashFilter(EXCEPTION_POINTERS* exceptionPointers);

// A crash during start-up would otherwise restart the service for ever: it
// is restarted at most kCrashRestartLimit times within kCrashRestartWindowMs;
// a further crash in that time is logged and the service stays stopped. The
// times of the restarts (the system's tick count, which a reboot starts
// again) are kept in the machine-wide product key, value "CrashRestarts",
// since every restart is a new process.
constexpr int kCrashRestartLimit = 3;
constexpr ULONGLONG kCrashRestartWindowMs = 10 * 60 * 1000;

// The restart times of the window, oldest first, 0 for none.
struct CrashRestartHistory
{
    ULONGLONG at[kCrashRestartLimit];
};
// Whether a crash at `now` may restart the service: true, with `now` added
// to the history, when fewer than kCrashRestartLimit restarts lie within the
// window before it; false, the history unchanged, otherwise. Times after
// `now` (from before a reboot) do not count.
bool AllowCrashRestart(CrashRestartHistory& history, ULONGLONG now);

// What the filter does after the dump: the restart action when
// AllowCrashRestart agrees, with the history read from and written back to
// the registry; else the log line and nothing. True when it restarted.
bool RestartAfterCrash();

// The clock of RestartAfterCrash (GetTickCount64 until a test sets its own;
// null restores it) and the key under HKEY_LOCAL_MACHINE that holds the
// history (the product key until a test sets its own; null restores it).
void SetCrashRestartClock(ULONGLONG (*clock)());
void SetCrashRestartKey(const char* keyPath);

// The service's dump writer, for its path and result text.
const CCrashDumpWriter& GetServiceCrashDumpWriter();

// What the filter runs after the dump: RestartServiceProgram until a test
// sets its own (null restores it).
typedef void (*ServiceRestartAction)();
void SetServiceRestartAction(ServiceRestartAction action);

// Starts "<service folder>\BrindlewoxSrv.exe -restart", which stops the
// service through the service control manager and starts it again. The
// command is prepared by InstallServiceCrashHandler; the start is a plain
// process creation with no handles inherited (a shell call inside a
// crashed process could wait for ever on a lock that the crash left held).
void RestartServiceProgram();

// The first step of the stop: USER notice 4 to the main program, which then
// removes its tray icon and ends (PipeNotifyServiceStopping), on the NT
// family only. True when a main program held the USER pipe; best effort: the
// stop does not depend on it.
bool SendServiceStopNotice();

// The folder of the running service program, without a trailing backslash
// (C:\Program Files\X for C:\Program Files\X\BrindlewoxSrv.exe); empty when
// the program's name cannot be read.
CString GetServiceDirectory();

// Replaces in `text` the first occurrence of `find` (all FALSE) or every one
// (all TRUE); the search goes on behind each inserted text, so a
// replacement that contains `find` does not loop.
void ReplaceText(CString& text, const char* find, const char* replaceWith, BOOL all);

// `left` followed by the characters of `right`.
CString ConcatText(const CString& left, const char* right);

#endif
