// The main program's log: plain text, one file per local calendar day,
//
//   <application data>\ORVANEL Brindlewox\Log\LogFile_<year>-<mm>-<dd>.txt
//
// for the user to open (nothing reads it back). Texts are appended exactly as
// handed in: the writer adds no time stamp, prefix or line break (callers
// build their lines with CR LF). The log never stops or bothers the program:
// a folder that cannot be made or a file that cannot be opened or written
// loses the text silently.
//
// Any thread may write. Appends of all CLogFile objects of the process go
// through one lock, so texts written at the same time by the user-interface
// thread and the backup and restore workers follow one another whole and
// none overwrites another (opening, moving to the end and writing are three
// calls; without the lock two threads could find the same end).
#ifndef BRINDLEWOX_ENGINE_LOGFILE_H
#define BRINDLEWOX_ENGINE_LOGFILE_H

#include "foundation/Base.h"
#include "foundation/String.h"

class CSqlException;

// The log folder under the application-data folder: that folder followed by
// "\ORVANEL Brindlewox\Log".
CString GetLogFolder(const char* appDataFolder);
// The day's file in the folder: "%s\LogFile_%d-%02d-%02d.txt" with the
// folder and the year, month and day of the local date.
CString GetLogFileName(const char* folder, const SYSTEMTIME& localDate);

class CLogFile
{
public:
    // The per-user application-data folder, taken once at start-up.
    explicit CLogFile(const char* appDataFolder);
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    const CString& GetAppDataFolder() const { return m_appData; }
    // Today's file by the local date now (UTC when the local date cannot be
    // had), so a run that crosses midnight goes on in the next day's file.
    CString GetCurrentFileName() const;

    // Appends the text's bytes to today's file. Both folder levels are made
    // first (every time: a deleted folder comes back with the next text); the
    // file is created when missing and opened shared for reading and
    // writing, so an editor that holds it open does not stop the log. An
    // empty text does nothing, not even create the file. Never throws.
    void WriteLog(const char* text);
    // Appends CR LF, "Debug: ", the exception's message and CR LF. Debug
    // lines are always written. Never throws.
    void WriteDebugLog(const CSqlException& exception);

private:
    CString m_appData;
};

#endif
