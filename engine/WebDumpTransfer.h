// The transfers of the web-site dump (engine/WebDatabaseDump.h): the FTP
// upload and deletion of the dump script and the HTTP download of its
// answer, each stoppable at any moment.
//
// Closing a WinINet handle from another thread does not end a call blocked
// on it under Wine 8 (measured: HttpSendRequestA and InternetReadFile on a
// silent server both ran into the 30 s the server took, with the request,
// the connection or the session closed after 1.5 s), and a handle value
// closed under another thread may be handed out again before that thread
// uses it. So the blocking calls run on a thread of their own, which owns
// every handle and buffer it uses, and the caller waits for that thread or
// the stop event, whichever comes first. A thread left behind ends when its
// call returns (at the latest at the session's time-outs, or with the
// process) and touches nothing of the caller's by then.
#ifndef BRINDLEWOX_ENGINE_WEBDUMPTRANSFER_H
#define BRINDLEWOX_ENGINE_WEBDUMPTRANSFER_H

#include "foundation/Base.h"

#include <wininet.h>

#include <functional>

// The user agent of every Internet session.
constexpr const char* kDumpUserAgent = "ORVANELBrindlewox";
// How long a dump that was stopped still waits for the deletion of the
// remote script: the window ends the program 10 s after its Close.
constexpr DWORD kDeleteAfterStopMs = 5000;

// The ports the dump connects to: 21 (FTP) and 80 (HTTP). Tests point them at
// loopback servers; this is not a setting. Call before any dump runs.
void SetWebDumpPorts(INTERNET_PORT ftpPort, INTERNET_PORT httpPort);

// How an upload ended.
enum class FtpUploadResult
{
    Uploaded,     // every byte read and written, and the transfer closed
    NoConnection, // no session, or the server refused the login
    NotOpened,    // the local file could not be read, or the remote file could be
                  // opened neither in the folder nor in public_html
    Incomplete,   // the remote file was opened but not written whole (it is deleted)
    Stopped,      // the stop event was set first
};

// Uploads the local file as `remoteName` into the folder of
// "server:folder" (no folder: the login folder; a folder that cannot be
// entered: "public_html"), falling back to "public_html" when the remote
// file cannot be opened there. Passive mode, binary transfer. The file is
// read whole before the server is reached (a script of a few KiB), so it is
// not held while the server takes its time. The FTP calls run on a thread
// of their own: a set stop event (may be null) ends the upload at once, and
// that thread, once its call returns, deletes what it wrote on its own
// connection and ends. A file opened but not written whole is deleted too.
FtpUploadResult FtpUploadFile(const char* localPath, const char* remoteName,
                              const char* serverAndFolder, const char* login, const char* password,
                              HANDLE stopEvent = nullptr);
// Deletes the remote file where the upload put it: in the folder (or
// "public_html" for a folder that cannot be entered), else in
// "public_html". True when one of the two deletes succeeded. On a thread
// of its own: once the stop event (may be null) is set, before or during the
// delete, the delete is waited for at most kDeleteAfterStopMs longer.
bool FtpDeleteFile(const char* remoteName, const char* serverAndFolder, const char* login,
                   const char* password, HANDLE stopEvent = nullptr);

// How a download ended.
enum class HttpDownloadResult
{
    Complete,   // status 200, the whole body (as long as a Content-Length said)
    Refused,    // another status (401/407 after the re-sends among them)
    Incomplete, // status 200, but fewer or more bytes than the Content-Length
    Failed,     // no connection, a read or write error, the local file
    Stopped,    // the stop event was set
};

// The outcome of a download and the status the server gave (0: none).
struct HttpDownload
{
    HttpDownloadResult result = HttpDownloadResult::Failed;
    DWORD status = 0;
    ULONGLONG bytes = 0;
};

// Fetches http://host/path with GET into localPath (created or replaced).
// The proxy comes from the per-user settings "ProxyUrl", "ProxyLogin" and
// "ProxyPassword"; a 401 or 407 is answered with the proxy login at most
// three times, never with a dialog. A send whose connection breaks before
// any answer (WinINet reuses one the server is closing) goes again, at most
// twice. The request is sent and the body read
// on a thread of its own, the body in pieces of DownloadPieceFor's size; a
// stop event (may be null) ends the download at once, even while the
// request waits for the server's answer or a read for more data. Connect
// time-out 30 s, receive time-out 5 min. After each piece `progress` (when
// given) gets the bytes so far and the TransferRate. The local file is left
// as it is: the caller deletes it when the result is not Complete.
using DownloadProgress = std::function<void(ULONGLONG bytes, DWORD rate)>;
HttpDownload HttpDownloadToFile(const char* host, const char* path, const char* localPath,
                                HANDLE stopEvent, const DownloadProgress& progress = nullptr);

// The size of the next body read after one that came in at that rate. A
// read of more than has arrived waits for the rest, so a fast server is
// read in pieces that last about a quarter second (64 KiB to 256 KiB), and
// a slow one (0) only as far as has arrived, so progress follows it.
DWORD DownloadPieceFor(ULONGLONG bytesPerSecond);

// Bytes per second from the time of day of start to that of now (UTC, both
// from GetSystemTime), across midnight when now is earlier; 0 when no second
// has passed.
DWORD TransferRate(const SYSTEMTIME& start, const SYSTEMTIME& now, DWORD bytes);
DWORD TransferRate(const SYSTEMTIME& start, DWORD bytes);

#endif
