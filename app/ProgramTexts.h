// The main program's own texts and those it composes from the language file:
// the window's title, the message of a system not of the NT family, the
// log's start banner, the elapsed clock, the run's summary and end messages,
// and where the sound of a run's end lies. The window
// (MainApplicationDialog.cpp) shows and writes them; the tests check them
// without a window.
#ifndef BRINDLEWOX_APP_PROGRAMTEXTS_H
#define BRINDLEWOX_APP_PROGRAMTEXTS_H

#include "foundation/Base.h"
#include "foundation/Ini.h"
#include "foundation/String.h"
#include "engine/RunContext.h"

// The crash handler's application name: the dump is
// %TEMP%\OrvanelBrindlewox.dmp.
constexpr const char* kCrashApplicationName = "OrvanelBrindlewox";
// The window's title, and the tray icon's tip.
constexpr const char* kMainWindowTitle = "Orvanel Brindlewox";
// Shown by the entry, without an owner, on a system that is not of the NT
// family.
constexpr const char* kNotNtText = "ORVANEL Brindlewox requires Windows 2000/XP/Vista+ operating system!";
constexpr const char* kNotNtCaption = "ORVANEL Brindlewox Information";
// The sound of a run's end, shipped beside the program.
constexpr const char* kWarningSoundName = "warning.wav";

// The banner's name of the system version: 6 and later "Windows Vista+";
// 5.2 "Windows Server 2003", 5.1 "Windows XP", 5.0 "Windows 2000"; below 5
// "Windows 9X"; anything else "Windows NT".
const char* OsNameOf(DWORD major, DWORD minor);

// The six lines of the start banner, in the order they go to the log, with
// the texts of the language file (its [Language] section; the English
// defaults when the key is missing or the file has no path).
void BuildStartBanner(CIni& language, const char* build, const char* osName,
                      const SYSTEMTIME& today, CString (&lines)[6]);

// A count as the decimal text shown in the status fields.
CString Decimal(DWORD value);

// The elapsed clock: "%02d:%02d" of whole minutes (never wrapped) and
// seconds; a negative time (the clock set back) shows 00:00.
CString FormatElapsed(long long seconds);

// The log entry at the end of a backup run: the files, errors and elapsed
// texts and the end time formatted "%d/%02d/%02d  %02d:%02d:%02d".
CString BuildRunSummary(CIni& language, const char* files, const char* errors,
                        const char* elapsed, const SYSTEMTIME& endTime);

// The run-end message of an outcome: "Task sucessfully completed." for a
// completed run, "Task failed." for a failed one (language keys
// DL_N_101_535 and DL_N_101_534), none (empty) for a stopped one.
CString RunEndText(CIni& language, BackupOutcome outcome);
// The run-end message of a backup: RunEndText, but after a run that ended
// with errors the summary's line of them ("Errors found:" and the count,
// key DL_N_101_33), never "Task sucessfully completed.".
CString BackupEndText(CIni& language, BackupOutcome outcome, LONG errors);

// The warning sound: the file beside the program when it is there, else
// the bare name (the system's search then applies).
CString WarningSoundPath(const char* programFolder);

#endif
