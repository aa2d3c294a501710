#include "engine/WebDatabaseDump.h"

#include "engine/BackupOneFile.h"
#include "engine/BackupRun.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "engine/StoredFile.h"
#include "foundation/File.h"
#include "foundation/Internet.h"
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
// What an upload reads whole: the filled template, with room for the values.
constexpr DWORD kUploadLimit = 4 * kTemplateLimit;
// Re-sends with the proxy login after a 401 or 407: a login the proxy keeps
// refusing must not hold the backup worker for ever.
constexpr int kAuthResends = 3;
// How often the stop of a dump looks at the busy flag.
constexpr DWORD kBusyFlagLookMs = 50;
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

HANDLE NewEvent(BOOL manualReset)
{
    return CreateEventA(nullptr, manualReset, FALSE, nullptr);
}

// ---- Blocking calls the dump can stop waiting for ----
//
// Closing a WinINet handle from another thread does not end a call blocked
// on it under Wine 8 (measured: HttpSendRequestA and InternetReadFile on a
// silent server both ran into the 30 s the server took, with the request,
// the connection or the session closed after 1.5 s), and a handle value
// closed under another thread may be handed out again before that thread
// uses it. So the blocking calls run on a thread of their own, which owns
// every handle and buffer it uses, and the dump waits for that thread or
// the stop, whichever comes first. A thread left behind ends when its call
// returns (at the latest at the session's time-outs, or with the process)
// and touches nothing of the dump's by then.

struct DetachedCall
{
    std::function<void()> work;
    CEvent done;
};

unsigned __stdcall DetachedCallThread(void* parameter)
{
    auto* handed = static_cast<std::shared_ptr<DetachedCall>*>(parameter);
    const std::shared_ptr<DetachedCall> call = std::move(*handed);
    delete handed;
    try
    {
        call->work();
    }
    catch (...)
    {
        // Out of memory: the work's result stays the failure it starts as.
    }
    SetEvent(call->done.GetHandle());
    return 0;
}

// Runs `work` on a thread of its own and waits for its end. When the stop
// event (may be null) is set first, the wait goes on at most `graceMs` and
// then gives up: false, and the thread is left to end by itself, so `work`
// must own everything it touches. Without a thread to be had `work` runs
// here, to its end.
bool RunUnlessStopped(std::function<void()> work, HANDLE stopEvent, DWORD graceMs)
{
    const auto call = std::make_shared<DetachedCall>();
    call->work = std::move(work);
    call->done.Attach(NewEvent(TRUE));
    uintptr_t thread = 0;
    if (call->done.GetHandle())
    {
        auto* handed = new std::shared_ptr<DetachedCall>(call);
        thread = _beginthreadex(nullptr, 0, DetachedCallThread, handed, 0, nullptr);
        if (thread == 0)
            delete handed;
    }
    if (thread == 0)
    {
        call->work();
        return true;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    const HANDLE waits[2] = {call->done.GetHandle(), stopEvent};
    if (WaitForMultipleObjects(stopEvent ? 2 : 1, waits, FALSE, INFINITE) == WAIT_OBJECT_0)
        return true;
    return WaitForSingleObject(call->done.GetHandle(), graceMs) == WAIT_OBJECT_0;
}

// Reads a whole file, opened sharing everything (a dump script is open for
// writing and deleting by its owner). False when it cannot be read or is
// larger than the limit.
bool ReadWholeFile(const char* path, DWORD limit, std::vector<char>& bytes)
{
    CFile file;
    const HANDLE handle =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    file.Attach(handle);
    try
    {
        DWORD high = 0;
        const DWORD length = file.GetLength(&high);
        if (high != 0 || length > limit)
            return false;
        bytes.resize(length);
        return ReadFull(file, bytes.data(), length) == length;
    }
    catch (const CException&)
    {
        return false;
    }
}

// An upload's own: the script's bytes, the connection data, and the result
// the thread leaves (read only once the thread has ended).
struct UploadState
{
    std::vector<char> bytes;
    CString remoteName, serverAndFolder, login, password;
    std::atomic<bool> abandoned{false};
    FtpUploadResult result = FtpUploadResult::NoConnection;
};

void Upload(UploadState& upload)
{
    FtpConnection ftp;
    if (!ftp.Open(upload.serverAndFolder, upload.login, upload.password) || upload.abandoned)
        return;
    CInternetHandle remote(FtpOpenFileA(ftp.connection, upload.remoteName, GENERIC_WRITE,
                                        FTP_TRANSFER_TYPE_BINARY, 0));
    if (!remote.IsOpen())
    {
        if (upload.abandoned)
            return;
        FtpSetCurrentDirectoryA(ftp.connection, kPublicHtml);
        remote.Attach(FtpOpenFileA(ftp.connection, upload.remoteName, GENERIC_WRITE,
                                   FTP_TRANSFER_TYPE_BINARY, 0));
        if (!remote.IsOpen())
        {
            upload.result = FtpUploadResult::NotOpened;
            return;
        }
    }
    bool whole = true;
    for (size_t offset = 0; offset < upload.bytes.size();)
    {
        const size_t left = upload.bytes.size() - offset;
        const DWORD piece = left < kUploadPiece ? static_cast<DWORD>(left) : kUploadPiece;
        DWORD written = 0;
        if (upload.abandoned ||
            !InternetWriteFile(remote, upload.bytes.data() + offset, piece, &written) ||
            written != piece)
        {
            whole = false;
            break;
        }
        offset += piece;
    }
    // Closing the remote file ends the transfer and reads the server's
    // verdict on it.
    const bool closed = remote.Close() != FALSE;
    if (whole && closed && !upload.abandoned)
    {
        upload.result = FtpUploadResult::Uploaded;
        return;
    }
    // A script cut short would run as a broken one, and one the dump no
    // longer waits for would stay: it goes, on this connection, in the
    // folder it was written to.
    FtpDeleteFileA(ftp.connection, upload.remoteName);
    upload.result = FtpUploadResult::Incomplete;
}

bool DeleteRemoteFile(const char* remoteName, const char* serverAndFolder, const char* login,
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

// A download's request and body, on a thread of its own. The thread sends
// the request (and the proxy login after a 401 or 407), says so through
// `ready`, then reads one piece each time `want` is set and says so through
// `ready` again. The download waits for each of these and the stop event
// together and never touches the handles; a stopped download leaves the
// thread to end when its call does. The state is shared, so whichever side
// lets go last frees it.
struct DownloadState
{
    // Set before the thread starts.
    CString host, path, proxy, proxyLogin, proxyPassword;
    // The thread's own.
    CInternetHandle session;
    CInternetHandle connection; // after the session: closed first
    CInternetHandle request;    // closed before the connection
    HANDLE want = NewEvent(FALSE);  // a piece is asked for
    HANDLE ready = NewEvent(FALSE); // the answer, or a piece (or the end), is there
    std::atomic<bool> abandoned{false};
    // Left by the thread before it sets `ready` the first time.
    bool sent = false;
    DWORD status = 0;
    bool haveLength = false;
    ULONGLONG expected = 0;
    // Left by the thread before each later `ready`.
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

// Opens the request and sends it until the answer stands: true when an
// answer came, whatever its status.
bool SendRequest(DownloadState& state)
{
    state.session.Attach(
        OpenSession(state.proxy.IsEmpty() ? nullptr : static_cast<const char*>(state.proxy)));
    if (!state.session.IsOpen())
        return false;
    state.connection.Attach(InternetConnectA(state.session, state.host, g_httpPort, nullptr,
                                             nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!state.connection.IsOpen())
        return false;
    const char* acceptTypes[] = {"*/*", nullptr};
    state.request.Attach(HttpOpenRequestA(state.connection, "GET", state.path, "HTTP/1.0", nullptr,
                                          acceptTypes, kRequestFlags, 0));
    if (!state.request.IsOpen())
        return false;
    const HINTERNET request = state.request;
    for (int resends = 0;; ++resends)
    {
        if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0) || !QueryStatus(request, state.status))
            return false;
        if (state.status != HTTP_STATUS_DENIED && state.status != HTTP_STATUS_PROXY_AUTH_REQ)
            break;
        // Never a dialog: without a proxy login, or once the login has been
        // refused often enough, the answer stands.
        if (state.proxyLogin.IsEmpty() || resends == kAuthResends || state.abandoned)
            break;
        DropBody(request);
        if (!InternetSetOptionA(request, INTERNET_OPTION_PROXY_USERNAME,
                                const_cast<char*>(static_cast<const char*>(state.proxyLogin)),
                                static_cast<DWORD>(state.proxyLogin.GetLength()) + 1) ||
            !InternetSetOptionA(request, INTERNET_OPTION_PROXY_PASSWORD,
                                const_cast<char*>(static_cast<const char*>(state.proxyPassword)),
                                static_cast<DWORD>(state.proxyPassword.GetLength()) + 1))
            return false;
    }
    if (state.status == HTTP_STATUS_OK)
        state.haveLength = QueryContentLength(request, state.expected);
    return true;
}

unsigned __stdcall DownloadThread(void* parameter)
{
    auto* handed = static_cast<std::shared_ptr<DownloadState>*>(parameter);
    const std::shared_ptr<DownloadState> state = std::move(*handed);
    delete handed;
    try
    {
        state->sent = SendRequest(*state);
    }
    catch (...)
    {
        state->sent = false;
    }
    SetEvent(state->ready);
    if (!state->sent || state->status != HTTP_STATUS_OK)
        return 0;
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

// The download's side of its thread: waits for the answer, then asks for
// one piece at a time; lets the thread go when it ends, whichever way.
class CDownloadThread
{
public:
    enum class Next
    {
        Piece,
        End,
        Failed,
        Stopped
    };

    explicit CDownloadThread(std::shared_ptr<DownloadState> state) : m_state(std::move(state)) {}
    CDownloadThread(const CDownloadThread&) = delete;
    CDownloadThread& operator=(const CDownloadThread&) = delete;
    ~CDownloadThread()
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
        const uintptr_t thread = _beginthreadex(nullptr, 0, DownloadThread, handed, 0, nullptr);
        if (thread == 0)
        {
            delete handed;
            return false;
        }
        CloseHandle(reinterpret_cast<HANDLE>(thread));
        m_started = true;
        return true;
    }

    // Waits for the answer to the request or the stop event (may be null):
    // End when an answer came (its status in the state), else Failed or
    // Stopped.
    Next WaitAnswer(HANDLE stopEvent)
    {
        const Next next = WaitReady(stopEvent);
        return next == Next::Stopped ? next : m_state->sent ? Next::End : Next::Failed;
    }

    // Asks for the next piece and waits for it or the stop event.
    Next Wait(HANDLE stopEvent, const char*& data, DWORD& size)
    {
        SetEvent(m_state->want);
        const Next next = WaitReady(stopEvent);
        if (next != Next::Piece)
            return next;
        if (m_state->failed)
            return Next::Failed;
        data = m_state->buffer.get();
        size = m_state->read;
        return size == 0 ? Next::End : Next::Piece;
    }

private:
    Next WaitReady(HANDLE stopEvent)
    {
        // A fast thread could answer before a stop that came first is seen.
        if (IsStopped(stopEvent))
            return Next::Stopped;
        const HANDLE waits[2] = {m_state->ready, stopEvent};
        const DWORD waited = WaitForMultipleObjects(stopEvent ? 2 : 1, waits, FALSE, INFINITE);
        if (waited == WAIT_OBJECT_0 + 1)
            return Next::Stopped;
        return waited == WAIT_OBJECT_0 ? Next::Piece : Next::Failed;
    }

    std::shared_ptr<DownloadState> m_state;
    bool m_started = false;
};

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

// A file name as the file system compares it.
std::string NameKey(const CString& name)
{
    CString key(name);
    key.MakeLower();
    return std::string(static_cast<const char*>(key), static_cast<size_t>(key.GetLength()));
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

CDumpScript::CDumpScript(CDumpScript&& other) noexcept
    : m_path(other.m_path), m_file(other.m_file)
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

FtpUploadResult FtpUploadFile(const char* localPath, const char* remoteName,
                              const char* serverAndFolder, const char* login, const char* password,
                              HANDLE stopEvent)
{
    const auto upload = std::make_shared<UploadState>();
    if (!ReadWholeFile(localPath, kUploadLimit, upload->bytes))
        return FtpUploadResult::NotOpened;
    upload->remoteName = remoteName;
    upload->serverAndFolder = serverAndFolder;
    upload->login = login;
    upload->password = password;
    if (IsStopped(stopEvent))
        return FtpUploadResult::Stopped;
    if (RunUnlessStopped([upload] { Upload(*upload); }, stopEvent, 0))
        return upload->result;
    upload->abandoned = true;
    return FtpUploadResult::Stopped;
}

bool FtpDeleteFile(const char* remoteName, const char* serverAndFolder, const char* login,
                   const char* password, HANDLE stopEvent)
{
    struct DeleteState
    {
        CString remoteName, serverAndFolder, login, password;
        bool deleted = false;
    };
    const auto state = std::make_shared<DeleteState>();
    state->remoteName = remoteName;
    state->serverAndFolder = serverAndFolder;
    state->login = login;
    state->password = password;
    const bool ended = RunUnlessStopped(
        [state]
        {
            state->deleted = DeleteRemoteFile(state->remoteName, state->serverAndFolder,
                                              state->login, state->password);
        },
        stopEvent, kDeleteAfterStopMs);
    return ended && state->deleted;
}

HttpDownload HttpDownloadToFile(const char* host, const char* path, const char* localPath,
                                HANDLE stopEvent, const DownloadProgress& progress)
{
    HttpDownload outcome;
    const auto state = std::make_shared<DownloadState>();
    state->host = host;
    state->path = path;
    ReadSettingString("ProxyUrl", state->proxy);
    if (!state->proxy.IsEmpty())
    {
        ReadSettingString("ProxyLogin", state->proxyLogin);
        ReadSettingString("ProxyPassword", state->proxyPassword);
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

    CDownloadThread thread(state);
    if (!thread.Start())
        return outcome;
    switch (thread.WaitAnswer(stopEvent))
    {
    case CDownloadThread::Next::Stopped:
        outcome.result = HttpDownloadResult::Stopped;
        return outcome;
    case CDownloadThread::Next::End:
        break;
    default:
        return outcome;
    }
    outcome.status = state->status;
    if (outcome.status != HTTP_STATUS_OK)
    {
        outcome.result = HttpDownloadResult::Refused;
        return outcome;
    }

    const SYSTEMTIME start = UtcNow();
    try
    {
        for (;;)
        {
            const char* data = nullptr;
            DWORD read = 0;
            const CDownloadThread::Next next = thread.Wait(stopEvent, data, read);
            if (next == CDownloadThread::Next::Stopped)
            {
                outcome.result = HttpDownloadResult::Stopped;
                return outcome;
            }
            if (next == CDownloadThread::Next::Failed)
                return outcome;
            if (next == CDownloadThread::Next::End)
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
    outcome.result = !state->haveLength || state->expected == outcome.bytes
                         ? HttpDownloadResult::Complete
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
        m_event.Attach(NewEvent(TRUE));
        m_quit.Attach(NewEvent(TRUE));
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
        const HttpDownload download = HttpDownloadToFile(
            HostOfAddress(item.path), requestPath, temporary, stop.GetEvent(),
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
