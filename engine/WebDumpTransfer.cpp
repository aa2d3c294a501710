#include "engine/WebDumpTransfer.h"

#include "engine/Profile.h"
#include "engine/Settings.h"
#include "engine/StoredFile.h"
#include "foundation/File.h"
#include "foundation/Internet.h"
#include "foundation/Sync.h"

#include <atomic>
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
// What an upload reads whole: a filled dump script, with room to spare.
constexpr DWORD kUploadLimit = 4 * 1024 * 1024;
// Re-sends with the proxy login after a 401 or 407: a login the proxy keeps
// refusing must not hold the backup worker for ever.
constexpr int kAuthResends = 3;
// Sends of one request again after its connection broke before any answer
// (SendRequestAgainAfterReset).
constexpr int kSendsAfterReset = 2;
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

bool IsStopped(HANDLE stopEvent)
{
    return stopEvent && WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0;
}

HANDLE NewEvent(BOOL manualReset)
{
    return CreateEventA(nullptr, manualReset, FALSE, nullptr);
}

// Runs `run` on a thread of its own, which owns it (and whatever it holds)
// until it returns; false when no thread can be had. `run` throws nothing.
// Not a CWorkerThread, whose owner joins it: the dump lets go of a thread
// blocked in a WinINet call (closing the call's handles does not wake it
// under Wine 8) and ends within its bound, the thread ending by itself.
bool StartThread(std::function<void()> run)
{
    struct Start
    {
        std::function<void()> run;
    };
    auto* start = new Start{std::move(run)};
    const uintptr_t thread = _beginthreadex(
        nullptr, 0,
        [](void* parameter) -> unsigned
        {
            const std::unique_ptr<Start> owned(static_cast<Start*>(parameter));
            owned->run();
            return 0;
        },
        start, 0, nullptr);
    if (thread == 0)
    {
        delete start;
        return false;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

// Runs `work` on a thread of its own and waits for its end. When the stop
// event (may be null) is set first, the wait goes on at most `graceMs` and
// then gives up: false, and the thread is left to end by itself, so `work`
// must own everything it touches. Without a thread to be had `work` runs
// here, to its end.
bool RunUnlessStopped(std::function<void()> work, HANDLE stopEvent, DWORD graceMs)
{
    struct Call
    {
        std::function<void()> work;
        CEvent done;
    };
    const auto call = std::make_shared<Call>();
    call->work = std::move(work);
    call->done.Attach(NewEvent(TRUE));
    auto run = [call]
    {
        try
        {
            call->work();
        }
        catch (...)
        {
            // Out of memory: what the work leaves stays the failure it
            // starts as, and its end is said all the same.
        }
        SetEvent(call->done.GetHandle());
    };
    const bool started = call->done.GetHandle() && StartThread(run);
    if (!started)
    {
        call->work();
        return true;
    }
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

// Sends the request. Wine's WinINet sends a request again on the
// connection of the handle's previous answer whenever that connection still
// looks open, also after an HTTP/1.0 answer, which the server closes: a
// server that closes it a moment late (a proxy under load) resets it under
// the request, which it never reads, and the send fails with
// ERROR_INTERNET_CONNECTION_ABORTED before any answer. WinINet has let that
// connection go then, so the request goes again, on a new one. A login
// re-send can meet two such connections: its own send, and the one WinINet
// makes itself with the login after the proxy's first 407 (measured against
// a proxy that closes only once the client sends again: every re-send failed
// twice, then was answered). A download let go is not sent again.
bool SendRequestAgainAfterReset(HINTERNET request, const std::atomic<bool>& abandoned)
{
    for (int resets = 0;; ++resets)
    {
        if (HttpSendRequestA(request, nullptr, 0, nullptr, 0))
            return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_INTERNET_CONNECTION_ABORTED &&
             error != ERROR_INTERNET_CONNECTION_RESET) ||
            resets == kSendsAfterReset || abandoned)
            return false;
    }
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
    CInternetHandle connection;     // after the session: closed first
    CInternetHandle request;        // closed before the connection
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
        if (!SendRequestAgainAfterReset(request, state.abandoned) ||
            !QueryStatus(request, state.status))
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

void RunDownload(DownloadState* state)
{
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
        return;
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
        const std::shared_ptr<DownloadState> state = m_state;
        m_started =
            state->want && state->ready && StartThread([state] { RunDownload(state.get()); });
        return m_started;
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

SYSTEMTIME UtcNow()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    return now;
}
} // namespace

void SetWebDumpPorts(INTERNET_PORT ftpPort, INTERNET_PORT httpPort)
{
    g_ftpPort = ftpPort;
    g_httpPort = httpPort;
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
