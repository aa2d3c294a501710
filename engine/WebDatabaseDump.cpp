#include "engine/WebDatabaseDump.h"

#include "engine/BackupOneFile.h"
#include "engine/BackupRun.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "engine/StoredFile.h"
#include "foundation/File.h"
#include "foundation/Internet.h"
#include "foundation/Md5.h"
#include "foundation/Utility.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include <process.h>

namespace
{
INTERNET_PORT g_ftpPort = INTERNET_DEFAULT_FTP_PORT;
INTERNET_PORT g_httpPort = INTERNET_DEFAULT_HTTP_PORT;

constexpr DWORD kConnectTimeoutMs = 30 * 1000;
constexpr DWORD kReceiveTimeoutMs = 5 * 60 * 1000;
constexpr DWORD kUploadPiece = 4096;
// Body pieces: only what has arrived (at most the largest piece) while the
// server is slow, blocking reads of up to 256 KiB while it is fast.
constexpr DWORD kDropPiece = 16384;
constexpr DWORD kSmallestBlockingPiece = 64 * 1024;
constexpr DWORD kLargestPiece = 256 * 1024;
// A template is a script of a few kilobytes; anything far larger is not one.
constexpr DWORD kTemplateLimit = 1024 * 1024;
// Re-sends with the proxy login after a 401 or 407: a login the proxy keeps
// refusing must not hold the backup worker for ever.
constexpr int kAuthResends = 3;
constexpr const char* kRequestPathPrefix = "/BrindlewoxMySqlDump.php?sid=";
constexpr const char* kPublicHtml = "public_html";
// The flags of the dump request: INTERNET_FLAG_RELOAD |
// INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION.
constexpr DWORD kRequestFlags = 0x84400000;
static_assert(kRequestFlags == (INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_KEEP_CONNECTION),
              "the request's flags");

// A session with the user agent and the time-outs, so that a silent server
// cannot hold the run for ever.
HINTERNET OpenSession(const char* proxy)
{
    HINTERNET session =
        InternetOpenA(kDumpUserAgent, proxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT,
                      proxy, nullptr, 0);
    if (!session)
        return nullptr;
    DWORD connect = kConnectTimeoutMs;
    DWORD receive = kReceiveTimeoutMs;
    InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
    InternetSetOptionA(session, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof(receive));
    InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
    return session;
}

// The FTP session and connection of an upload or a delete, in the row's
// folder when it has one. A folder that cannot be entered is taken for a
// mistyped one and "public_html" is tried instead: the login folder itself
// is seldom the web site's.
struct FtpConnection
{
    CInternetHandle session;
    CInternetHandle connection; // after the session: closed first

    bool Open(const char* serverAndFolder, const char* login, const char* password)
    {
        CString server, folder;
        SplitFtpField(serverAndFolder, server, folder);
        session.Attach(OpenSession(nullptr));
        if (!session.IsOpen())
            return false;
        connection.Attach(InternetConnectA(session, server, g_ftpPort, login, password,
                                           INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
        if (!connection.IsOpen())
            return false;
        if (!folder.IsEmpty() && !FtpSetCurrentDirectoryA(connection, folder))
            FtpSetCurrentDirectoryA(connection, kPublicHtml);
        return true;
    }
};

bool ContainsLineBreak(const char* text)
{
    return strchr(text, '\r') || strchr(text, '\n');
}

bool IsStopped(HANDLE stopEvent)
{
    return stopEvent && WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0;
}

// Reads the rest of a response and drops it, so the request can be sent
// again on the same handle.
void DropBody(HINTERNET request)
{
    char buffer[kDropPiece];
    DWORD read = 0;
    while (InternetReadFile(request, buffer, sizeof(buffer), &read) && read > 0)
    {
    }
}

// A download's Internet handles and the body read on a thread of its own.
// A read that waits for data cannot be cut short under Wine 8 (closing the
// request from another thread does not end it), so the download waits for
// each piece and the stop event together, and a stopped download leaves
// the reader to end when its read does (at the latest at the receive
// time-out). The handles are closed by whichever side lets go last, so no
// read ever meets a closed handle, or a reused one.
struct DownloadState
{
    CInternetHandle session;
    CInternetHandle connection; // after the session: closed first
    CInternetHandle request;    // closed before the connection
    HANDLE want = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // a piece is asked for
    HANDLE ready = CreateEventA(nullptr, FALSE, FALSE, nullptr); // it is there (or the end)
    std::atomic<bool> abandoned{false};
    std::unique_ptr<char[]> buffer{new char[kLargestPiece]};
    DWORD read = 0;
    bool failed = false;

    DownloadState() = default;
    DownloadState(const DownloadState&) = delete;
    DownloadState& operator=(const DownloadState&) = delete;
    ~DownloadState()
    {
        if (want)
            CloseHandle(want);
        if (ready)
            CloseHandle(ready);
    }
};

unsigned __stdcall ReadBodyThread(void* parameter)
{
    auto* handed = static_cast<std::shared_ptr<DownloadState>*>(parameter);
    const std::shared_ptr<DownloadState> state = std::move(*handed);
    delete handed;
    // The rate is taken over spans of at least 50 ms of the clock, waits
    // included: a read of what had already arrived says nothing of how
    // fast the server sends.
    LARGE_INTEGER frequency, spanStart;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&spanStart);
    ULONGLONG spanBytes = 0;
    ULONGLONG rate = 0;
    for (;;)
    {
        if (WaitForSingleObject(state->want, INFINITE) != WAIT_OBJECT_0 || state->abandoned)
            break;
        DWORD piece = DownloadPieceFor(rate);
        bool ok = true;
        if (piece == 0)
        {
            // Waits for the first bytes (or the end), then reads no more
            // than are there.
            DWORD available = 0;
            ok = InternetQueryDataAvailable(state->request, &available, 0, 0) != FALSE;
            piece = available < kLargestPiece ? available : kLargestPiece;
        }
        DWORD read = 0;
        if (ok && piece > 0)
            ok = InternetReadFile(state->request, state->buffer.get(), piece, &read) != FALSE;
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        spanBytes += read;
        const ULONGLONG ticks = static_cast<ULONGLONG>(now.QuadPart - spanStart.QuadPart);
        if (ticks * 20 >= static_cast<ULONGLONG>(frequency.QuadPart))
        {
            rate = spanBytes * static_cast<ULONGLONG>(frequency.QuadPart) / ticks;
            spanStart = now;
            spanBytes = 0;
        }
        state->read = read;
        state->failed = !ok;
        SetEvent(state->ready);
        if (!ok || read == 0)
            break;
    }
    return 0;
}

// The download's side of the reader: asks for one piece at a time; lets
// the reader go when it ends, whichever way.
class CBodyReader
{
public:
    enum class Next
    {
        Piece,
        End,
        Failed,
        Stopped
    };

    explicit CBodyReader(std::shared_ptr<DownloadState> state) : m_state(std::move(state)) {}
    CBodyReader(const CBodyReader&) = delete;
    CBodyReader& operator=(const CBodyReader&) = delete;
    ~CBodyReader()
    {
        if (!m_started)
            return;
        m_state->abandoned = true;
        SetEvent(m_state->want);
    }

    bool Start()
    {
        if (!m_state->want || !m_state->ready)
            return false;
        auto* handed = new std::shared_ptr<DownloadState>(m_state);
        const uintptr_t thread = _beginthreadex(nullptr, 0, ReadBodyThread, handed, 0, nullptr);
        if (thread == 0)
        {
            delete handed;
            return false;
        }
        CloseHandle(reinterpret_cast<HANDLE>(thread));
        m_started = true;
        return true;
    }

    // Waits for the next piece or the stop event (may be null).
    Next Wait(HANDLE stopEvent, const char*& data, DWORD& size)
    {
        SetEvent(m_state->want);
        const HANDLE waits[2] = {m_state->ready, stopEvent};
        const DWORD waited = WaitForMultipleObjects(stopEvent ? 2 : 1, waits, FALSE, INFINITE);
        if (waited == WAIT_OBJECT_0 + 1)
            return Next::Stopped;
        if (waited != WAIT_OBJECT_0 || m_state->failed)
            return Next::Failed;
        data = m_state->buffer.get();
        size = m_state->read;
        return size == 0 ? Next::End : Next::Piece;
    }

private:
    std::shared_ptr<DownloadState> m_state;
    bool m_started = false;
};

bool QueryStatus(HINTERNET request, DWORD& status)
{
    DWORD size = sizeof(status);
    return HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                          nullptr) != FALSE;
}

// The Content-Length the server sent, if any.
bool QueryContentLength(HINTERNET request, ULONGLONG& length)
{
    char text[32] = {};
    DWORD size = sizeof(text) - 1;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr))
        return false;
    char* end = nullptr;
    length = _strtoui64(text, &end, 10);
    return end != text && *end == 0;
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
} // namespace

void SetWebDumpPorts(INTERNET_PORT ftpPort, INTERNET_PORT httpPort)
{
    g_ftpPort = ftpPort;
    g_httpPort = httpPort;
}

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

CString PrepareDumpScript(const char* templatePath, const char* host, const char* name,
                          const char* user, const char* password)
{
    for (const char* value : {host, name, user, password})
    {
        if (ContainsLineBreak(value))
            return "";
    }
    CString script;
    try
    {
        CFile file;
        file.Open(templatePath, CFile::modeRead | CFile::shareRead);
        const DWORD length = file.GetLength();
        if (length > kTemplateLimit)
            return "";
        std::vector<char> bytes(length + 1);
        if (ReadFull(file, bytes.data(), length) != length)
            return "";
        script = CString(bytes.data(), static_cast<int>(length));
    }
    catch (const CException&)
    {
        return "";
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
        return "";
    try
    {
        CFile file;
        file.Open(path, CFile::modeCreateAlways | CFile::modeWrite);
        const DWORD length = static_cast<DWORD>(script.GetLength());
        if (file.Write(static_cast<const char*>(script), length) != length)
            throw CFileException(ERROR_WRITE_FAULT);
        file.Close();
    }
    catch (const CException&)
    {
        DeleteFileA(path);
        return "";
    }
    return path;
}

FtpUploadResult FtpUploadFile(const char* localPath, const char* remoteName,
                              const char* serverAndFolder, const char* login, const char* password)
{
    CFile local;
    try
    {
        local.Open(localPath, CFile::modeRead | CFile::shareRead);
    }
    catch (const CException&)
    {
        return FtpUploadResult::NotOpened;
    }
    FtpConnection ftp;
    if (!ftp.Open(serverAndFolder, login, password))
        return FtpUploadResult::NoConnection;
    CInternetHandle remote(
        FtpOpenFileA(ftp.connection, remoteName, GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
    if (!remote.IsOpen())
    {
        FtpSetCurrentDirectoryA(ftp.connection, kPublicHtml);
        remote.Attach(
            FtpOpenFileA(ftp.connection, remoteName, GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
        if (!remote.IsOpen())
            return FtpUploadResult::NotOpened;
    }
    char buffer[kUploadPiece];
    try
    {
        for (;;)
        {
            const DWORD read = local.Read(buffer, sizeof(buffer));
            if (read == 0)
                break;
            DWORD written = 0;
            if (!InternetWriteFile(remote, buffer, read, &written) || written != read)
                return FtpUploadResult::Incomplete;
        }
    }
    catch (const CException&)
    {
        return FtpUploadResult::Incomplete;
    }
    // Closing the remote file ends the transfer and reads the server's
    // verdict on it.
    return remote.Close() ? FtpUploadResult::Uploaded : FtpUploadResult::Incomplete;
}

bool FtpDeleteFile(const char* remoteName, const char* serverAndFolder, const char* login,
                   const char* password)
{
    FtpConnection ftp;
    if (!ftp.Open(serverAndFolder, login, password))
        return false;
    if (FtpDeleteFileA(ftp.connection, remoteName))
        return true;
    FtpSetCurrentDirectoryA(ftp.connection, kPublicHtml);
    return FtpDeleteFileA(ftp.connection, remoteName) != FALSE;
}

HttpDownload HttpDownloadToFile(const char* host, const char* path, const char* localPath,
                                HANDLE stopEvent, const DownloadProgress& progress)
{
    HttpDownload outcome;
    CString proxy, proxyLogin, proxyPassword;
    ReadSettingString("ProxyUrl", proxy);
    if (!proxy.IsEmpty())
    {
        ReadSettingString("ProxyLogin", proxyLogin);
        ReadSettingString("ProxyPassword", proxyPassword);
    }
    CFile local;
    try
    {
        local.Open(localPath, CFile::modeCreateAlways | CFile::modeWrite | CFile::shareRead);
    }
    catch (const CException&)
    {
        return outcome;
    }

    const auto state = std::make_shared<DownloadState>();
    state->session.Attach(OpenSession(proxy.IsEmpty() ? nullptr : (const char*)proxy));
    if (!state->session.IsOpen())
        return outcome;
    state->connection.Attach(InternetConnectA(state->session, host, g_httpPort, nullptr, nullptr,
                                              INTERNET_SERVICE_HTTP, 0, 0));
    if (!state->connection.IsOpen())
        return outcome;
    const char* acceptTypes[] = {"*/*", nullptr};
    state->request.Attach(HttpOpenRequestA(state->connection, "GET", path, "HTTP/1.0", nullptr,
                                           acceptTypes, kRequestFlags, 0));
    if (!state->request.IsOpen())
        return outcome;
    const HINTERNET request = state->request;

    for (int resends = 0;; ++resends)
    {
        if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0) ||
            !QueryStatus(request, outcome.status))
            return outcome;
        if (outcome.status != HTTP_STATUS_DENIED && outcome.status != HTTP_STATUS_PROXY_AUTH_REQ)
            break;
        // Never a dialog: without a proxy login, or once the login has been
        // refused often enough, the answer stands.
        if (proxyLogin.IsEmpty() || resends == kAuthResends || IsStopped(stopEvent))
            break;
        DropBody(request);
        if (!InternetSetOptionA(request, INTERNET_OPTION_PROXY_USERNAME,
                                const_cast<char*>((const char*)proxyLogin),
                                static_cast<DWORD>(proxyLogin.GetLength()) + 1) ||
            !InternetSetOptionA(request, INTERNET_OPTION_PROXY_PASSWORD,
                                const_cast<char*>((const char*)proxyPassword),
                                static_cast<DWORD>(proxyPassword.GetLength()) + 1))
            return outcome;
    }
    if (outcome.status != HTTP_STATUS_OK)
    {
        outcome.result = HttpDownloadResult::Refused;
        return outcome;
    }
    ULONGLONG expected = 0;
    const bool haveLength = QueryContentLength(request, expected);

    const SYSTEMTIME start = UtcNow();
    CBodyReader reader(state);
    if (IsStopped(stopEvent))
    {
        outcome.result = HttpDownloadResult::Stopped;
        return outcome;
    }
    if (!reader.Start())
        return outcome;
    try
    {
        for (;;)
        {
            const char* data = nullptr;
            DWORD read = 0;
            // A fast reader could answer before the stop event is seen.
            const CBodyReader::Next next = IsStopped(stopEvent)
                                               ? CBodyReader::Next::Stopped
                                               : reader.Wait(stopEvent, data, read);
            if (next == CBodyReader::Next::Stopped)
            {
                outcome.result = HttpDownloadResult::Stopped;
                return outcome;
            }
            if (next == CBodyReader::Next::Failed)
                return outcome;
            if (next == CBodyReader::Next::End)
                break;
            if (local.Write(data, read) != read)
                return outcome;
            outcome.bytes += read;
            if (progress)
                progress(outcome.bytes, TransferRate(start, static_cast<DWORD>(outcome.bytes)));
        }
        local.Close();
    }
    catch (const CException&)
    {
        return outcome;
    }
    outcome.result = !haveLength || expected == outcome.bytes ? HttpDownloadResult::Complete
                                                              : HttpDownloadResult::Incomplete;
    return outcome;
}

DWORD DownloadPieceFor(ULONGLONG bytesPerSecond)
{
    const ULONGLONG quarterSecond = bytesPerSecond / 4;
    if (quarterSecond < kSmallestBlockingPiece)
        return 0;
    return quarterSecond < kLargestPiece ? static_cast<DWORD>(quarterSecond) : kLargestPiece;
}

DWORD TransferRate(const SYSTEMTIME& start, const SYSTEMTIME& now, DWORD bytes)
{
    auto seconds = [](const SYSTEMTIME& t) { return (t.wHour * 60 + t.wMinute) * 60 + t.wSecond; };
    int elapsed = seconds(now) - seconds(start);
    if (elapsed < 0)
        elapsed += 86400;
    return elapsed == 0 ? 0 : bytes / static_cast<DWORD>(elapsed);
}

DWORD TransferRate(const SYSTEMTIME& start, DWORD bytes)
{
    return TransferRate(start, UtcNow(), bytes);
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

CWebDatabaseDump::CWebDatabaseDump(CRunContext& context) : m_context(context)
{
    CString folder;
    if (GetAppDirectory(folder))
        templatePath = folder + "\\" + kDumpScriptName;
}

void CWebDatabaseDump::RunDatabaseBackups(const ProfileItem& item)
{
    // A paused run waits here; a stopped worker ends it before anything.
    if (!m_context.backupWorker.WaitToContinue())
        return;
    ProfileSettings settings;
    try
    {
        CProfileDB(m_context.profilePath).LoadSettings(settings);
    }
    catch (const CSqlException& e)
    {
        m_context.WriteDebugLog(e);
    }
    m_context.SetProgressRange(100);
    BackupWebDatabase(item, settings);
    m_context.SetProgressPosition(100);
}

bool CWebDatabaseDump::BackupWebDatabase(const ProfileItem& item, const ProfileSettings& settings)
{
    m_context.FileStarted(item.path);
    bool done = false;
    try
    {
        done = Dump(item, settings.destination, settings);
    }
    catch (...)
    {
        // Out of memory or a file error outside the guarded calls: the item
        // failed like any other.
    }
    if (!done)
        Failed(item);
    return done;
}

bool CWebDatabaseDump::Dump(const ProfileItem& item, const CString& destinationRoot,
                            const ProfileSettings& settings)
{
    // The destination is decoded by the profile already. A relative one
    // would put the dump into the program's current folder.
    if (!IsAbsoluteFolderPath(destinationRoot))
        return false;
    const SYSTEMTIME today = utcClock ? utcClock() : UtcNow();
    const CString dumpPath = GetDumpFilePath(destinationRoot, item.dbName, today);
    bool isFile = false;
    if (FileSize(dumpPath, isFile) > 0)
        return true; // today's dump is stored already

    const CString script =
        PrepareDumpScript(templatePath, item.dbHost, item.dbName, item.dbUser, item.dbPassword);
    if (script.IsEmpty())
        return false;
    const CString serverAndFolder = JoinFtpField(item.ftpServer, item.ftpFolder);
    const FtpUploadResult upload =
        FtpUploadFile(script, kDumpScriptName, serverAndFolder, item.ftpLogin, item.ftpPassword);
    // The filled script holds the database password: it never stays.
    DeleteFileA(script);
    if (upload != FtpUploadResult::Uploaded)
    {
        // A remote file cut short would run as a broken script: away with it.
        if (upload == FtpUploadResult::Incomplete)
            FtpDeleteFile(kDumpScriptName, serverAndFolder, item.ftpLogin, item.ftpPassword);
        m_context.WriteLog(item.ftpServer + ": " +
                           m_context.GetLanguageText(kCannotWriteFtpKey, kCannotWriteFtpText) +
                           "\r\n\r\n");
        return false;
    }

    const CString temporary = dumpPath + ".tmp";
    const CString datedFolder = PathBeforeLastBackslash(dumpPath);
    bool stored = false;
    if (CreateFolderPath(dumpPath))
    {
        std::unique_ptr<char[]> sid(MD5HexString(item.dbPassword));
        const CString requestPath = CString(kRequestPathPrefix) + sid.get();
        const CString label = item.path;
        const HttpDownload download = HttpDownloadToFile(
            HostOfAddress(item.path), requestPath, temporary, m_context.backupWorker.GetStopEvent(),
            [this, &label](ULONGLONG bytes, DWORD rate)
            {
                CString status;
                status.Format("%s: %llu B (%lu B/s)", (const char*)label, bytes, rate);
                m_context.ShowCurrentFile(status);
            });
        // The script also deletes itself once it has run; this covers a
        // script that never ran.
        FtpDeleteFile(kDumpScriptName, serverAndFolder, item.ftpLogin, item.ftpPassword);
        if (download.result == HttpDownloadResult::Complete && EndsWithCompletionLine(temporary))
            stored = StoreFile(temporary, dumpPath, settings.compress ? 1 : 0,
                               settings.encrypt ? 1 : 0, settings.password);
        DeleteFileA(temporary);
    }
    else
    {
        FtpDeleteFile(kDumpScriptName, serverAndFolder, item.ftpLogin, item.ftpPassword);
    }
    if (!stored)
    {
        // Only an empty folder goes: the day's folder and "Databases" when
        // this dump made them.
        RemoveDirectoryA(datedFolder);
        RemoveDirectoryA(PathBeforeLastBackslash(datedFolder));
    }
    return stored;
}

void CWebDatabaseDump::Failed(const ProfileItem& item)
{
    m_context.WriteLog(m_context.GetLanguageText(kErrorAtKey, kErrorAtText) + " " + item.path +
                       "\r\n\r\n");
    m_context.FileFailed(item.path);
}
