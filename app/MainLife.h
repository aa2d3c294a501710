// The pure parts of the main program's life, messages and timers: what the
// constructor derives from the system's folders and version, the start
// banner of the log, the elapsed clock, the run's summary and end texts,
// the grip of the frameless window and where the warning sound lies. The
// window (MainApplicationDialog.cpp) applies them; the tests check them
// without a window.
#ifndef BRINDLEWOX_APP_MAINLIFE_H
#define BRINDLEWOX_APP_MAINLIFE_H

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

// The folders the constructor keeps, from what the system answered (empty
// for a failed query).
struct UserFolders
{
    CString temp;           // as given
    CString windows;        // lower-cased
    CString appData;        // lower-cased
    CString systemDrive;    // the Windows folder before its first backslash
    CString programFiles;   // or system drive + "\Program Files"; lower-cased
    CString commonPrograms; // or Windows + "\All Users\Start Menu\Programs"; lower-cased
};
UserFolders DeriveUserFolders(const char* temp, const char* windows, const char* appData,
                              const char* programFiles, const char* commonPrograms);

// The banner's name of the system version: 6 and later "Windows Vista+";
// 5.2 "Windows Server 2003", 5.1 "Windows XP", 5.0 "Windows 2000"; below 5
// "Windows 9X"; anything else "Windows NT".
const char* OsNameOf(DWORD major, DWORD minor);

// The six lines of the start banner, in the order they go to the log, with
// the texts of the language file (its [Language] section; the English
// defaults when the key is missing or the file has no path).
void BuildStartBanner(CIni& language, const char* build, const char* osName,
                      const SYSTEMTIME& today, CString (&lines)[6]);

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

// What a mouse move at a client point does to the sizing frame of a window
// of this outer size: the bottom-right 20 x 20 square adds it; the rest of
// the window, except the band of 25 pixels around the grip, removes it.
enum class GripZone
{
    AddFrame,
    RemoveFrame,
    Keep,
};
GripZone ClassifyGripPoint(int x, int y, int width, int height);

// The warning sound: the file beside the program when it is there, else
// the bare name (the system's search then applies).
CString WarningSoundPath(const char* programFolder);

// Tests only: the start-up of MainApplicationDialog uses these folders
// instead of the user's (application data: where "ORVANEL Brindlewox" is
// made; temporary: where ".tse" entries are cleared, and the program's
// scratch folder is left alone), and skips the single-instance probe, the
// debug privilege and the crash handler. Null gives the real start-up back.
// Pair it with OverrideSkinFilesFolders on <appData>\ORVANEL Brindlewox.
void OverrideMainStartupFolders(const char* appDataFolder, const char* tempFolder);
// The override's folders, or null without one.
const char* GetOverriddenAppDataFolder();
const char* GetOverriddenTempFolder();

#endif
