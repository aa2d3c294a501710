// HttpFormPost: sends one HTML form to a web server as an HTTP/1.1 POST,
// URL-encoded, or as multipart/form-data once a file has been added (the
// file's bytes streamed from disk). It connects directly or through the
// user's proxy (HTTP CONNECT or SOCKS5). The server's answer is never read:
// the request is written and the connection dropped with the object.
//
//     HttpFormPost post(host, "/support/support_en.php");
//     post.AddField("email", email);
//     post.AddFile("filelog", logPath, "application/octet-stream");
//     if (post.Connect(settings) && post.Submit()) ...
#ifndef BRINDLEWOX_FOUNDATION_HTTPFORMPOST_H
#define BRINDLEWOX_FOUNDATION_HTTPFORMPOST_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/Socket.h"
#include "foundation/String.h"

#include <memory>

// Where the poster finds the proxy: the per-user settings implement it over
// their registry key. The poster reads the values `ProxyHost`, `ProxyLogin`
// and `ProxyPassword` (strings) and `ProxyPort` and `ProxyType` (DWORDs).
class IProxySettings
{
public:
    virtual ~IProxySettings() = default;
    // TRUE with the value; FALSE, with the output untouched, when it is
    // missing or unreadable.
    virtual BOOL ReadString(const CString& name, CString& value) const = 0;
    virtual BOOL ReadDword(const CString& name, DWORD& value) const = 0;
};

class HttpFormPost
{
public:
    // The port is 80; tests reach a loopback listener through the third
    // argument.
    HttpFormPost(const CString& host, const CString& path, u_short port = 80);
    HttpFormPost(const HttpFormPost&) = delete;
    HttpFormPost& operator=(const HttpFormPost&) = delete;
    ~HttpFormPost();

    // Headers go out in the order added, before the poster's own.
    void AddHeader(const CString& name, const CString& value);
    void AddField(const CString& name, const CString& value);
    // Only a file whose status can be read is added (and makes the form
    // multipart); a missing file is silently left out. The path is sent as
    // the part's file name exactly as given.
    void AddFile(const CString& fieldName, const CString& path, const CString& contentType);
    // The longest any one send of Submit waits for the peer to take bytes
    // (SO_SNDTIMEO, set by Connect): a peer that stops reading then ends the
    // request with FALSE instead of holding the caller for ever. 0: no
    // limit. 60 s unless set.
    void SetSendTimeout(DWORD milliseconds) { m_sendTimeoutMs = milliseconds; }
    void SetMethod(const CString& method) { m_method = method; }
    void SetVersion(const CString& version) { m_version = version; }

    // Connects directly (empty `ProxyHost`, 10 s time-out) or through the
    // proxy: `ProxyType` 0 HTTP CONNECT, 1 SOCKS5, each with the login and
    // password texts (empty when not set). FALSE on any failure, and for
    // any other proxy type; no request can then be written.
    BOOL Connect(const IProxySettings& settings);
    // Writes the whole request. FALSE when there is no connection or a send
    // failed (the rest is then not sent); no exception leaves. The
    // Content-length always equals the body bytes: each file is opened and
    // measured here, exactly that many bytes are streamed, and a file that
    // can no longer be opened is left out of both. A file that shrinks while
    // it is sent ends the request with FALSE.
    BOOL Submit();

    // Letters and digits stay, a blank becomes "+", every other byte "%XX".
    static CString UrlEncode(const char* text);

private:
    BOOL SubmitUrlEncoded();
    BOOL SubmitMultipart();
    // The poster's own headers, after the caller's.
    void AddFixedHeaders(const CString& contentType, long long contentLength);
    BOOL SendHeaders();
    // FALSE when there is no socket or the send failed.
    BOOL SendRaw(const CString& text);
    BOOL SendBytes(const char* bytes, int length);

    std::unique_ptr<CTcpSocket> m_socket;
    CString m_host;
    CString m_path;
    u_short m_port;
    CString m_method;
    CString m_version;
    CString m_boundary;
    CStringArray m_headerNames;
    CStringArray m_headerValues;
    CStringArray m_fieldNames;
    CStringArray m_fieldValues;
    CStringArray m_fileFields;
    CStringArray m_filePaths;
    CStringArray m_fileTypes;
    bool m_multipart = false;
    DWORD m_sendTimeoutMs = 60000;
};

#endif
