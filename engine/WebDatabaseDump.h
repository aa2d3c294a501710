// The dump of a web site's MySQL database (a profile row of type 1), which
// the program reaches only over FTP and HTTP:
//
//   1. the template "BrindlewoxMySqlDump.php" beside the program is filled
//      with the row's connection data into a temporary file (prefix "qvt")
//      that the system deletes when it is let go or the process ends (and
//      scripts that earlier versions left in the temporary folder go);
//   2. the filled script is uploaded by FTP into the site's folder (the
//      row's FTP folder, else "public_html") and the local copy deleted;
//   3. "/BrindlewoxMySqlDump.php?sid=<md5 of the database password>" is
//      fetched over HTTP into "<dump>.tmp" beside the dump file
//      "<destination>Databases\<UTC yyyy-mm-dd>\<name>.sql", where the name
//      is the database's, with the site's host added when several rows of
//      the profile dump a database of that name (DumpFileNames);
//   4. the remote script is deleted (the script also deletes itself);
//   5. a complete answer is stored in the profile's stored form (through a
//      temporary file and a rename, so an earlier dump is never touched) and
//      the .tmp deleted.
//
// Only a complete answer counts: status 200, as many bytes as a
// Content-Length said, and the template's completion line last. Anything
// else, a refused upload and every other failure leave nothing in the
// destination (an empty dated folder is removed) and are logged as "Error
// at: <web address>" and counted as one error. A day whose dump is already
// stored (a non-empty file) is skipped, so a second run on the same UTC day
// does not fetch it again.
//
// A stop of the run (the worker's stop event, or the busy flag cleared by
// the window's Stop and Close) ends the dump in every step: the blocking
// FTP and HTTP calls run on threads of their own that the dump stops
// waiting for, the store stops before its next block. A stopped dump
// deletes the remote script (waiting for that at most 5 s), leaves nothing
// in the destination, is logged as stopped and counted neither as done nor
// as an error; the next run dumps the site.
//
// No credential reaches the log: neither the FTP or database password nor
// the sid nor the request path is ever written. Nothing is shown: the run
// works on the backup worker and reports through the run context alone.
#ifndef BRINDLEWOX_ENGINE_WEBDATABASEDUMP_H
#define BRINDLEWOX_ENGINE_WEBDATABASEDUMP_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/String.h"
#include "engine/Profile.h"
#include "engine/RunContext.h"
#include "engine/WebDumpTransfer.h"

#include <vector>

// The template's file name beside the program, which is also the script's
// name on the server.
constexpr const char* kDumpScriptName = "BrindlewoxMySqlDump.php";
// The last line of every complete dump the template writes (followed by a
// line feed). A dump cut short by an error on the server lacks it.
constexpr const char* kDumpCompletionLine = "-- Brindlewox dump complete";

// Language keys and English texts of the log lines.
constexpr const char* kCannotWriteFtpKey = "DL_N_101_585";
constexpr const char* kCannotWriteFtpText = "Cannot write to FTP.";
// The log line of a stopped dump; format: the web address.
extern const char* const kDumpStoppedLine;

// The dump file of a database for the UTC date:
//   "<root>Databases\<yyyy>-<mm>-<dd>\<name>.sql"
// The root is used as a plain prefix; the name made safe (SafeDumpName).
CString GetDumpFilePath(const char* destinationRoot, const char* databaseName,
                        const SYSTEMTIME& utcDate);
// The database name as a file name: \ / : * ? " < > | and control characters
// become "_"; an empty name, "." or ".." become "_" too.
CString SafeDumpName(const char* databaseName);

// The dump file's name (without ".sql") of every web-site row of the
// profile, in the rows' order (empty for rows of other types). A database
// name that one row alone uses (names compared as the file system does,
// after SafeDumpName, without regard to case) keeps its own name, so the
// files already stored stay where they are; rows that share one get the
// site's host added, "<name>@<host>" (the web address without "http://",
// made safe), and rows that still share a name (one site listed twice)
// their row id, " #<id>". No two rows get the same file.
std::vector<CString> DumpFileNames(const CArray<ProfileItem>& rows);

// A filled dump script in the temporary folder, open with
// FILE_FLAG_DELETE_ON_CLOSE from before its first byte is written: the
// system deletes it when the object lets it go, and when the process ends in
// any other way (an exception, ExitProcess, TerminateProcess, a killed Wine
// process: Wine 8 deletes it then too), so the password it holds never
// outlives the run. Other opens of the path must share FILE_SHARE_DELETE.
class CDumpScript
{
public:
    CDumpScript() = default;
    CDumpScript(const CString& path, HANDLE file) : m_path(path), m_file(file) {}
    CDumpScript(CDumpScript&& other) noexcept;
    CDumpScript& operator=(CDumpScript&& other) noexcept;
    CDumpScript(const CDumpScript&) = delete;
    CDumpScript& operator=(const CDumpScript&) = delete;
    ~CDumpScript() { Close(); }

    bool IsEmpty() const { return m_file == INVALID_HANDLE_VALUE; }
    // The file's path; empty when there is none.
    const CString& GetPath() const { return m_path; }
    // Lets the file go, which deletes it.
    void Close();

private:
    CString m_path{""};
    HANDLE m_file = INVALID_HANDLE_VALUE;
};

// Fills the template into a new temporary file (GetTempFileNameA, prefix
// "qvt"): "{DB_HOST}", "{DB_NAME}", "{DB_USER}" and "{DB_PASSWORD}"
// replaced wherever they occur, in that order (a value that holds a later
// placeholder is replaced again). Empty when the template cannot be read,
// the file cannot be written, or a value holds CR or LF (which could end
// the text it is put into); no file is left then, except the empty one
// GetTempFileNameA made when the process ends between that call and the
// open that takes it over.
CDumpScript PrepareDumpScript(const char* templatePath, const char* host, const char* name,
                              const char* user, const char* password);

// Whether the file ends with the completion line and a line feed.
bool EndsWithCompletionLine(const char* path);

// How one dump ended.
enum class DumpOutcome
{
    Stored,        // the day's dump is stored
    AlreadyStored, // the day's dump was there already
    Failed,        // logged and counted as an error
    Stopped,       // the run was stopped: logged, not counted
};

// The dump as the backup run calls it for each checked row of type 1.
// Construct it with the run context it reports to and set the context's
// databaseDump to it.
class CWebDatabaseDump : public IDatabaseDump
{
public:
    explicit CWebDatabaseDump(CRunContext& context);

    // Waits for the run gate (a paused run waits here; a stopped worker or
    // a cleared busy flag returns at once), reads the destination, the
    // stored form and the rows from the profile and dumps the row's
    // database into its file (DumpFileNames).
    void RunDatabaseBackups(const ProfileItem& item) override;
    // One dump with the settings given into "<dumpName>.sql" of the day's
    // folder. Counts the item unless stopped; logs and counts a failure,
    // logs a stop.
    DumpOutcome BackupWebDatabase(const ProfileItem& item, const ProfileSettings& settings,
                                  const CString& dumpName);

    // The template; by default the one beside the program.
    CString templatePath;
    // The UTC date of the dump; by default the system clock's.
    SYSTEMTIME (*utcClock)() = nullptr;

private:
    class CStop;
    DumpOutcome Dump(const ProfileItem& item, const ProfileSettings& settings,
                     const CString& dumpName, CStop& stop);

    CRunContext& m_context;
};

#endif
