#include "foundation/HttpFormPost.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{
const DWORD kConnectTimeoutMs = 10000;
const int kFileChunk = 2000;

bool IsAsciiAlphanumeric(unsigned char c)
{
    // Not isalnum: its answer for bytes above 127 depends on the locale.
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

CString Decimal(long long value)
{
    return CString(std::to_string(value).c_str());
}

struct FileCloser
{
    void operator()(FILE* file) const { fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// A file part as it will be sent: opened and measured once, before the
// length is announced.
struct OpenedFile
{
    int index;
    FilePtr file;
    long long size;
    CString head;
};
} // namespace

HttpFormPost::HttpFormPost(const CString& host, const CString& path, u_short port)
    : m_host(host), m_path(path), m_port(port)
{
    // Unseeded on purpose: the program seeds nothing, and the boundary only
    // has to be unlikely inside a value.
    m_boundary = "----";
    for (int i = 0; i < 12; ++i)
    {
        unsigned char c;
        do
        {
            c = static_cast<unsigned char>(rand() % 96 + 32);
        } while (!IsAsciiAlphanumeric(c));
        m_boundary += static_cast<char>(c);
    }
}

HttpFormPost::~HttpFormPost() = default;

void HttpFormPost::AddHeader(const CString& name, const CString& value)
{
    m_headerNames.Add(name);
    m_headerValues.Add(value);
}

void HttpFormPost::AddField(const CString& name, const CString& value)
{
    m_fieldNames.Add(name);
    m_fieldValues.Add(value);
}

void HttpFormPost::AddFile(const CString& fieldName, const CString& path,
                           const CString& contentType)
{
    struct _stat status;
    if (_stat(path, &status) != 0)
        return;
    m_fileFields.Add(fieldName);
    m_filePaths.Add(path);
    m_fileTypes.Add(contentType);
    m_multipart = true;
}

BOOL HttpFormPost::Connect(const IProxySettings& settings)
{
    CString proxyHost;
    DWORD proxyPort = 8080;
    // Empty texts, never absent ones, when not set: an empty login still
    // sends credentials.
    CString login("");
    CString password("");
    DWORD proxyType = 0;
    settings.ReadString("ProxyHost", proxyHost);
    settings.ReadDword("ProxyPort", proxyPort);
    settings.ReadString("ProxyLogin", login);
    settings.ReadString("ProxyPassword", password);
    settings.ReadDword("ProxyType", proxyType);

    m_socket.reset(new CTcpSocket);
    try
    {
        m_socket->Create();
        u_short port = static_cast<u_short>(proxyPort);
        if (proxyHost.IsEmpty())
        {
            m_socket->ConnectWithTimeout(m_host, m_port, kConnectTimeoutMs, TRUE);
        }
        else if (proxyType == 0)
        {
            CString reply;
            m_socket->ConnectViaHttpProxy(m_host, m_port, proxyHost, port, reply, login, password,
                                          kConnectTimeoutMs, "ORVANEL Brindlewox Update");
        }
        else if (proxyType == 1)
        {
            m_socket->ConnectViaSocks5(m_host, m_port, proxyHost, port, login, password,
                                       kConnectTimeoutMs);
        }
        else
        {
            m_socket.reset();
            return FALSE;
        }
    }
    catch (CTcpSocketException* e)
    {
        delete e;
        m_socket.reset();
        return FALSE;
    }
    if (m_sendTimeoutMs != 0)
    {
        // Without it a send blocks while the peer reads nothing.
        const DWORD timeout = m_sendTimeoutMs;
        setsockopt(m_socket->GetHandle(), SOL_SOCKET, SO_SNDTIMEO,
                   reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    }
    return TRUE;
}

BOOL HttpFormPost::Submit()
{
    if (!m_socket)
        return FALSE;
    SetMethod("POST");
    SetVersion("HTTP/1.1");
    return m_multipart ? SubmitMultipart() : SubmitUrlEncoded();
}

CString HttpFormPost::UrlEncode(const char* text)
{
    static const char kHex[] = "0123456789ABCDEF";
    CString out("");
    if (text == nullptr)
        return out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
    {
        if (IsAsciiAlphanumeric(*p))
        {
            out += static_cast<char>(*p);
        }
        else if (*p == ' ')
        {
            out += '+';
        }
        else
        {
            out += '%';
            out += kHex[*p >> 4];
            out += kHex[*p & 15];
        }
    }
    return out;
}

void HttpFormPost::AddFixedHeaders(const CString& contentType, long long contentLength)
{
    AddHeader("Host", m_host);
    AddHeader("User-agent", "ORVANEL Brindlewox");
    AddHeader("Accept", "text/html, text/plain, */*;q=0.01");
    AddHeader("Connection", "close");
    AddHeader("Content-type", contentType);
    AddHeader("Content-length", Decimal(contentLength));
}

BOOL HttpFormPost::SubmitUrlEncoded()
{
    CString body("");
    for (int i = 0; i < m_fieldNames.GetSize(); ++i)
    {
        if (i > 0)
            body += '&';
        body += m_fieldNames[i];
        body += '=';
        body += UrlEncode(m_fieldValues[i]);
    }
    AddFixedHeaders("application/x-www-form-urlencoded", body.GetLength());
    return SendHeaders() && SendRaw(body);
}

BOOL HttpFormPost::SubmitMultipart()
{
    const CString delimiter = CString("--") + m_boundary;

    std::vector<CString> fieldParts;
    long long length = 0;
    for (int i = 0; i < m_fieldNames.GetSize(); ++i)
    {
        CString part = delimiter + "\r\ncontent-disposition: form-data; name=\"" + m_fieldNames[i] +
                       "\"\r\n\r\n" + m_fieldValues[i] + "\r\n";
        length += part.GetLength();
        fieldParts.push_back(part);
    }

    // The log being attached may grow (or go) between AddFile and now: the
    // length announced must be that of the bytes that will follow.
    std::vector<OpenedFile> files;
    for (int i = 0; i < m_filePaths.GetSize(); ++i)
    {
        FilePtr file(fopen(m_filePaths[i], "rb"));
        if (!file)
            continue;
        struct _stati64 status;
        if (_fstati64(_fileno(file.get()), &status) != 0)
            continue;
        CString head = delimiter + "\r\ncontent-disposition: form-data; name=\"" + m_fileFields[i] +
                       "\"; filename=\"" + m_filePaths[i] +
                       "\"\r\ncontent-type: " + m_fileTypes[i] + "\r\n\r\n";
        length += head.GetLength() + status.st_size + 2;
        files.push_back(OpenedFile{i, std::move(file), status.st_size, head});
    }
    const CString closing = delimiter + "--\r\n";
    length += closing.GetLength();

    AddFixedHeaders(CString("multipart/form-data; boundary=") + m_boundary, length);
    if (!SendHeaders())
        return FALSE;
    for (const CString& part : fieldParts)
    {
        if (!SendRaw(part))
            return FALSE;
    }
    for (OpenedFile& opened : files)
    {
        if (!SendRaw(opened.head))
            return FALSE;
        char chunk[kFileChunk];
        long long left = opened.size;
        while (left > 0)
        {
            size_t want = left < kFileChunk ? static_cast<size_t>(left) : kFileChunk;
            size_t got = fread(chunk, 1, want, opened.file.get());
            // Shorter than measured: the announced length can no longer be
            // met, so the request must not look complete.
            if (got == 0)
                return FALSE;
            if (!SendBytes(chunk, static_cast<int>(got)))
                return FALSE;
            left -= static_cast<long long>(got);
        }
        if (!SendRaw("\r\n"))
            return FALSE;
    }
    return SendRaw(closing);
}

BOOL HttpFormPost::SendHeaders()
{
    CString head = m_method + " " + m_path + " " + m_version + "\r\n";
    for (int i = 0; i < m_headerNames.GetSize(); ++i)
        head += m_headerNames[i] + ": " + m_headerValues[i] + "\r\n";
    head += "\r\n";
    return SendRaw(head);
}

BOOL HttpFormPost::SendRaw(const CString& text)
{
    return SendBytes(text, text.GetLength());
}

BOOL HttpFormPost::SendBytes(const char* bytes, int length)
{
    if (!m_socket)
        return FALSE;
    try
    {
        m_socket->Send(bytes, length);
    }
    catch (CTcpSocketException* e)
    {
        delete e;
        return FALSE;
    }
    return TRUE;
}
