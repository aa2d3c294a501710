#include "engine/WebDatabaseDump.h"

#include "engine/BackupOneFile.h"
#include "engine/BackupRun.h"
#include "engine/SqlDB.h"
#include "engine/StoredFile.h"
#include "foundation/File.h"
#include "foundation/Md5.h"
#include "foundation/Sync.h"
#include "foundation/Utility.h"

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <process.h>

const char* const kDumpStoppedLine = "Database dump stopped, nothing stored: %s\r\n\r\n";

namespace
{
// A template is a script of a few kilobytes; anything far larger is not one.
constexpr DWORD kTemplateLimit = 1024 * 1024;
// How often the stop of a dump looks at the busy flag.
constexpr DWORD kBusyFlagLookMs = 50;
constexpr const char* kRequestPathPrefix = "/BrindlewoxMySqlDump.php?sid=";

bool ContainsLineBreak(const char* text)
{
    return strchr(text, '\r') || strchr(text, '\n');
}

bool IsStopped(HANDLE stopEvent)
{
    return stopEvent && WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0;
}

ULONGLONG FileSize(const char* path, bool& isFile)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    isFile = GetFileAttributesExA(path, GetFileExInfoStandard, &data) &&
             !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    return isFile ? (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow : 0;
}

SYSTEMTIME UtcNow()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    return now;
}

// The web address without a leading "http://" (in any case).
CString HostOfAddress(const CString& address)
{
    constexpr int kSchemeLength = 7;
    if (address.GetLength() >= kSchemeLength &&
        address.Left(kSchemeLength).CompareNoCase("http://") == 0)
        return address.Mid(kSchemeLength);
    return address;
}

// The bytes every script filled from the template begins with: the
// template's text before its first placeholder (at most 4 KiB); empty when
// that is shorter than 32 bytes, too little to tell a script by.
std::string TemplateHead(const char* templatePath)
{
    constexpr DWORD kLongest = 4096;
    constexpr size_t kShortest = 32;
    std::string head(kLongest, '\0');
    try
    {
        CFile file;
        file.Open(templatePath, CFile::modeRead | CFile::shareRead);
        head.resize(ReadFull(file, &head[0], kLongest));
    }
    catch (const CException&)
    {
        return "";
    }
    const size_t placeholder = head.find("{DB_");
    if (placeholder != std::string::npos)
        head.resize(placeholder);
    return head.size() < kShortest ? "" : head;
}

// Deletes the filled scripts that runs of earlier versions left in the
// temporary folder: they deleted their script only after the upload, so a
// process ended at the program's exit bound left it there, password and
// all. A left script is a qvt*.tmp file that begins as the template does
// and that no process holds open (a script of a run is open until it goes).
void DeleteLeftScripts(const char* templatePath)
{
    const std::string head = TemplateHead(templatePath);
    char folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (head.empty() || length == 0 || length > MAX_PATH)
        return;
    WIN32_FIND_DATAA found;
    const HANDLE find = FindFirstFileA((CString(folder) + "qvt*.tmp"), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do
    {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const CString path = CString(folder) + found.cFileName;
        std::string start(head.size(), '\0');
        {
            CFile file;
            const HANDLE handle = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle == INVALID_HANDLE_VALUE)
                continue;
            file.Attach(handle);
            try
            {
                start.resize(ReadFull(file, &start[0], static_cast<DWORD>(start.size())));
            }
            catch (const CException&)
            {
                continue;
            }
        }
        if (start == head)
            DeleteFileA(path);
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

// A file name as the file system compares it.
std::string NameKey(const CString& name)
{
    CString key(name);
    key.MakeLower();
    return std::string(static_cast<const char*>(key), static_cast<size_t>(key.GetLength()));
}
} // namespace

CString SafeDumpName(const char* databaseName)
{
    CString name(databaseName);
    for (int i = 0; i < name.GetLength(); ++i)
    {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 32 || strchr("\\/:*?\"<>|", c))
            name[i] = '_';
    }
    if (name.IsEmpty() || name == "." || name == "..")
        return "_";
    return name;
}

CString GetDumpFilePath(const char* destinationRoot, const char* databaseName,
                        const SYSTEMTIME& utcDate)
{
    CString path;
    path.Format("%sDatabases\\%04d-%02d-%02d\\%s.sql", destinationRoot, utcDate.wYear,
                utcDate.wMonth, utcDate.wDay, (const char*)SafeDumpName(databaseName));
    return path;
}

std::vector<CString> DumpFileNames(const CArray<ProfileItem>& rows)
{
    const int count = rows.GetSize();
    std::vector<CString> names(static_cast<size_t>(count), CString(""));
    std::vector<bool> decorated(static_cast<size_t>(count), false);
    std::vector<CString> tags(static_cast<size_t>(count), CString(""));
    std::map<std::string, int> uses;
    std::map<int, int> ids;
    for (int i = 0; i < count; ++i)
    {
        if (rows[i].type != PROFILE_ITEM_DATABASE)
            continue;
        names[i] = SafeDumpName(rows[i].dbName);
        ++uses[NameKey(names[i])];
        ++ids[rows[i].id];
    }
    for (int i = 0; i < count; ++i)
    {
        if (rows[i].type != PROFILE_ITEM_DATABASE)
            continue;
        // A row of its own id by it; one without (not saved yet, so never
        // from a profile) by its place.
        if (rows[i].id >= 0 && ids[rows[i].id] == 1)
            tags[i].Format(" #%d", rows[i].id);
        else
            tags[i].Format(" #r%d", i + 1);
        if (uses[NameKey(names[i])] > 1)
        {
            names[i] += "@" + SafeDumpName(HostOfAddress(rows[i].path));
            decorated[i] = true;
        }
    }
    // Rows that still meet, and a decorated name that meets a database's own
    // name (a database may be called "shop@host"), take their tag, until no
    // two names meet. Each round lengthens every decorated name of a
    // meeting by its own tag, so two rows part in one round and a database's
    // own name, which never changes, stops a row at most once per round.
    for (int round = 0; round <= count; ++round)
    {
        std::map<std::string, int> meetings;
        for (int i = 0; i < count; ++i)
        {
            if (rows[i].type == PROFILE_ITEM_DATABASE)
                ++meetings[NameKey(names[i])];
        }
        bool met = false;
        for (int i = 0; i < count; ++i)
        {
            if (rows[i].type != PROFILE_ITEM_DATABASE || meetings[NameKey(names[i])] < 2)
                continue;
            met = true;
            // The one undecorated name of a meeting keeps its own: names
            // used once are unique among themselves.
            if (decorated[i])
                names[i] += tags[i];
        }
        if (!met)
            break;
    }
    return names;
}

CDumpScript::CDumpScript(CDumpScript&& other) noexcept : m_path(other.m_path), m_file(other.m_file)
{
    other.m_file = INVALID_HANDLE_VALUE;
    other.m_path.Empty();
}

CDumpScript& CDumpScript::operator=(CDumpScript&& other) noexcept
{
    if (this != &other)
    {
        Close();
        m_path = other.m_path;
        m_file = other.m_file;
        other.m_file = INVALID_HANDLE_VALUE;
        other.m_path.Empty();
    }
    return *this;
}

void CDumpScript::Close()
{
    if (m_file != INVALID_HANDLE_VALUE)
        CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    m_path.Empty();
}

CDumpScript PrepareDumpScript(const char* templatePath, const char* host, const char* name,
                              const char* user, const char* password)
{
    for (const char* value : {host, name, user, password})
    {
        if (ContainsLineBreak(value))
            return CDumpScript();
    }
    CString script;
    try
    {
        CFile file;
        file.Open(templatePath, CFile::modeRead | CFile::shareRead);
        const DWORD length = file.GetLength();
        if (length > kTemplateLimit)
            return CDumpScript();
        std::vector<char> bytes(length + 1);
        if (ReadFull(file, bytes.data(), length) != length)
            return CDumpScript();
        script = CString(bytes.data(), static_cast<int>(length));
    }
    catch (const CException&)
    {
        return CDumpScript();
    }
    // One after the other over the whole text: a value holding a later
    // placeholder is replaced again.
    StringReplace(host, "{DB_HOST}", script, TRUE);
    StringReplace(name, "{DB_NAME}", script, TRUE);
    StringReplace(user, "{DB_USER}", script, TRUE);
    StringReplace(password, "{DB_PASSWORD}", script, TRUE);

    char folder[MAX_PATH + 1] = {};
    char path[MAX_PATH + 1] = {};
    const DWORD folderLength = GetTempPathA(MAX_PATH, folder);
    if (folderLength == 0 || folderLength > MAX_PATH || !GetTempFileNameA(folder, "qvt", 0, path))
        return CDumpScript();
    // The system made the name and an empty file; it is taken over with
    // FILE_FLAG_DELETE_ON_CLOSE before anything is written into it.
    const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, TRUNCATE_EXISTING,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        DeleteFileA(path);
        return CDumpScript();
    }
    CDumpScript filled(path, file);
    const DWORD length = static_cast<DWORD>(script.GetLength());
    DWORD written = 0;
    if (!WriteFile(file, static_cast<const char*>(script), length, &written, nullptr) ||
        written != length)
        return CDumpScript();
    return filled;
}

bool EndsWithCompletionLine(const char* path)
{
    const CString line = CString(kDumpCompletionLine) + "\n";
    const DWORD length = static_cast<DWORD>(line.GetLength());
    try
    {
        CFile file;
        file.Open(path, CFile::modeRead | CFile::shareRead);
        DWORD high = 0;
        const ULONGLONG size = (static_cast<ULONGLONG>(file.GetLength(&high)) & 0xFFFFFFFF) |
                               (static_cast<ULONGLONG>(high) << 32);
        if (size < length)
            return false;
        LARGE_INTEGER offset;
        offset.QuadPart = static_cast<LONGLONG>(size - length);
        if (!SetFilePointerEx(file.GetHandle(), offset, nullptr, FILE_BEGIN))
            return false;
        std::vector<char> tail(length);
        if (ReadFull(file, tail.data(), length) != length)
            return false;
        // The line must stand on a line of its own: at the start of the file
        // or after a line feed.
        if (memcmp(tail.data(), line, length) != 0)
            return false;
        if (size == length)
            return true;
        offset.QuadPart -= 1;
        char before = 0;
        return SetFilePointerEx(file.GetHandle(), offset, nullptr, FILE_BEGIN) &&
               file.Read(&before, 1) == 1 && before == '\n';
    }
    catch (const CException&)
    {
        return false;
    }
}

// The stop of one dump as one event and one flag: set once the worker's stop
// event is set or the busy flag is cleared (the window's Stop and Close),
// whichever comes first. A thread of its own waits for the event and looks
// at the flag every kBusyFlagLookMs, so every wait of the dump has one
// handle to wait for and the store one flag to look at.
class CWebDatabaseDump::CStop
{
public:
    CStop(HANDLE workerStop, const std::atomic<LONG>& busy) : m_workerStop(workerStop), m_busy(busy)
    {
        m_event.Attach(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        m_quit.Attach(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (m_event.GetHandle() && m_quit.GetHandle())
        {
            const uintptr_t thread = _beginthreadex(nullptr, 0, Watch, this, 0, nullptr);
            m_thread = reinterpret_cast<HANDLE>(thread);
        }
    }
    CStop(const CStop&) = delete;
    CStop& operator=(const CStop&) = delete;
    ~CStop()
    {
        if (!m_thread)
            return;
        SetEvent(m_quit.GetHandle());
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
    }

    // The event to wait for; without a watching thread the worker's own
    // (the flag is then seen only by IsStopped).
    HANDLE GetEvent() const { return m_thread ? m_event.GetHandle() : m_workerStop; }
    const std::atomic<bool>& GetFlag() const { return m_stopped; }
    bool IsStopped()
    {
        if (!m_stopped && (m_busy.load() == 0 || ::IsStopped(m_workerStop)))
            Stopped();
        return m_stopped;
    }

private:
    static unsigned __stdcall Watch(void* parameter)
    {
        auto* stop = static_cast<CStop*>(parameter);
        const HANDLE waits[2] = {stop->m_quit.GetHandle(), stop->m_workerStop};
        for (;;)
        {
            if (stop->m_busy.load() == 0)
                break;
            const DWORD waited =
                WaitForMultipleObjects(waits[1] ? 2 : 1, waits, FALSE, kBusyFlagLookMs);
            if (waited == WAIT_OBJECT_0 + 1)
                break;
            if (waited != WAIT_TIMEOUT)
                return 0;
        }
        stop->Stopped();
        return 0;
    }
    void Stopped()
    {
        m_stopped = true;
        if (m_event.GetHandle())
            SetEvent(m_event.GetHandle());
    }

    HANDLE m_workerStop; // not owned: the backup worker's
    const std::atomic<LONG>& m_busy;
    CEvent m_event;
    CEvent m_quit;
    HANDLE m_thread = nullptr;
    std::atomic<bool> m_stopped{false};
};

CWebDatabaseDump::CWebDatabaseDump(CRunContext& context) : m_context(context)
{
    CString folder;
    if (GetAppDirectory(folder))
        templatePath = folder + "\\" + kDumpScriptName;
}

void CWebDatabaseDump::RunDatabaseBackups(const ProfileItem& item)
{
    // A paused run waits here; a stopped one ends before anything.
    if (!m_context.backupWorker.WaitToContinue() || m_context.engineBusy.load() == 0)
        return;
    ProfileSettings settings;
    CArray<ProfileItem> rows;
    try
    {
        const CProfileDB profile(m_context.profilePath);
        profile.LoadSettings(settings);
        profile.LoadItems(rows);
    }
    catch (const CSqlException& e)
    {
        // Without every row the file's name is not sure to be the row's
        // own: no destination, so the dump fails.
        m_context.WriteDebugLog(e);
        settings = ProfileSettings();
    }
    int index = -1;
    for (int i = 0; i < rows.GetSize() && index < 0; ++i)
    {
        if (rows[i].id == item.id && rows[i].type == PROFILE_ITEM_DATABASE)
            index = i;
    }
    if (index < 0)
    {
        rows.Add(item);
        index = rows.GetSize() - 1;
    }
    m_context.SetProgressRange(100);
    BackupWebDatabase(item, settings, DumpFileNames(rows)[static_cast<size_t>(index)]);
    m_context.SetProgressPosition(100);
}

DumpOutcome CWebDatabaseDump::BackupWebDatabase(const ProfileItem& item,
                                                const ProfileSettings& settings,
                                                const CString& dumpName)
{
    m_context.ShowCurrentFile(item.path);
    CStop stop(m_context.backupWorker.GetStopEvent(), m_context.engineBusy);
    DumpOutcome outcome = DumpOutcome::Failed;
    try
    {
        outcome = Dump(item, settings, dumpName, stop);
    }
    catch (...)
    {
        // Out of memory or a file error outside the guarded calls: the item
        // failed like any other.
    }
    if (outcome == DumpOutcome::Stopped)
    {
        // Not handled: the next run dumps the site.
        CString line;
        line.Format(kDumpStoppedLine, static_cast<const char*>(item.path));
        m_context.WriteLog(line);
        return outcome;
    }
    m_context.FileStarted(item.path);
    if (outcome == DumpOutcome::Failed)
    {
        m_context.WriteLog(m_context.GetLanguageText(kErrorAtKey, kErrorAtText) + " " + item.path +
                           "\r\n\r\n");
        m_context.FileFailed(item.path);
    }
    return outcome;
}

DumpOutcome CWebDatabaseDump::Dump(const ProfileItem& item, const ProfileSettings& settings,
                                   const CString& dumpName, CStop& stop)
{
    // The destination is decoded by the profile already. A relative one
    // would put the dump into the program's current folder.
    if (!IsAbsoluteFolderPath(settings.destination))
        return DumpOutcome::Failed;
    const SYSTEMTIME today = utcClock ? utcClock() : UtcNow();
    const CString dumpPath = GetDumpFilePath(settings.destination, dumpName, today);
    bool isFile = false;
    if (FileSize(dumpPath, isFile) > 0)
        return DumpOutcome::AlreadyStored;
    if (stop.IsStopped())
        return DumpOutcome::Stopped;

    DeleteLeftScripts(templatePath);
    const CString serverAndFolder = JoinFtpField(item.ftpServer, item.ftpFolder);
    auto deleteScript = [&]
    {
        FtpDeleteFile(kDumpScriptName, serverAndFolder, item.ftpLogin, item.ftpPassword,
                      stop.GetEvent());
    };
    FtpUploadResult upload = FtpUploadResult::NotOpened;
    {
        // The filled script holds the database password: it goes as soon
        // as the upload has ended or was stopped.
        const CDumpScript script =
            PrepareDumpScript(templatePath, item.dbHost, item.dbName, item.dbUser, item.dbPassword);
        if (script.IsEmpty())
            return DumpOutcome::Failed;
        upload = FtpUploadFile(script.GetPath(), kDumpScriptName, serverAndFolder, item.ftpLogin,
                               item.ftpPassword, stop.GetEvent());
    }
    if (upload != FtpUploadResult::Uploaded)
    {
        // A script cut short, or one still on its way, must not stay (the
        // upload deletes it too, on its own connection, once it can).
        if (upload == FtpUploadResult::Incomplete || upload == FtpUploadResult::Stopped)
            deleteScript();
        if (upload == FtpUploadResult::Stopped)
            return DumpOutcome::Stopped;
        m_context.WriteLog(item.ftpServer + ": " +
                           m_context.GetLanguageText(kCannotWriteFtpKey, kCannotWriteFtpText) +
                           "\r\n\r\n");
        return DumpOutcome::Failed;
    }

    const CString temporary = dumpPath + ".tmp";
    const CString datedFolder = PathBeforeLastBackslash(dumpPath);
    DumpOutcome outcome = DumpOutcome::Failed;
    if (CreateFolderPath(dumpPath))
    {
        std::unique_ptr<char[]> sid(MD5HexString(item.dbPassword));
        const CString requestPath = CString(kRequestPathPrefix) + sid.get();
        const CString label = item.path;
        const HttpDownload download =
            HttpDownloadToFile(HostOfAddress(item.path), requestPath, temporary, stop.GetEvent(),
                               [this, &label](ULONGLONG bytes, DWORD rate)
                               {
                                   // The formatter has no 64-bit conversion.
                                   CString status;
                                   status.Format("%s: %s B (%lu B/s)", (const char*)label,
                                                 std::to_string(bytes).c_str(), rate);
                                   m_context.ShowCurrentFile(status);
                               });
        // The script also deletes itself once it has run; this covers a
        // script that never ran.
        deleteScript();
        if (download.result == HttpDownloadResult::Stopped || stop.IsStopped())
            outcome = DumpOutcome::Stopped;
        else if (download.result == HttpDownloadResult::Complete &&
                 EndsWithCompletionLine(temporary))
        {
            if (StoreFile(temporary, dumpPath, settings.compress ? 1 : 0, settings.encrypt ? 1 : 0,
                          settings.password, &stop.GetFlag()))
                outcome = DumpOutcome::Stored;
            else if (stop.IsStopped())
                outcome = DumpOutcome::Stopped;
        }
        DeleteFileA(temporary);
    }
    else
    {
        deleteScript();
    }
    if (outcome != DumpOutcome::Stored)
    {
        // Only an empty folder goes: the day's folder and "Databases" when
        // this dump made them.
        RemoveDirectoryA(datedFolder);
        RemoveDirectoryA(PathBeforeLastBackslash(datedFolder));
    }
    return outcome;
}
