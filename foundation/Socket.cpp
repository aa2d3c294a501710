#include "foundation/Socket.h"

#include "foundation/Base64.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
// A proxy that never ends its reply head must not make the reader grow its
// buffer for ever.
const size_t kMaxProxyReply = 64 * 1024;

// Closes the network event of a connect on every way out.
class CNetworkEvent
{
public:
    CNetworkEvent() : m_event(WSACreateEvent())
    {
        if (m_event == WSA_INVALID_EVENT)
            ThrowTcpSocketException();
    }
    CNetworkEvent(const CNetworkEvent&) = delete;
    CNetworkEvent& operator=(const CNetworkEvent&) = delete;
    ~CNetworkEvent() { WSACloseEvent(m_event); }
    WSAEVENT Get() const { return m_event; }

private:
    WSAEVENT m_event;
};

void AppendByte(std::string& out, size_t value)
{
    out += static_cast<char>(static_cast<unsigned char>(value));
}

void AppendPort(std::string& out, u_short port)
{
    AppendByte(out, port >> 8);
    AppendByte(out, port & 0xFF);
}
} // namespace

// --- exception ---------------------------------------------------------------

CTcpSocketException::CTcpSocketException(DWORD socketError)
    : CException(0, CString()), m_socketError(socketError)
{
}

CString CTcpSocketException::GetReportText() const
{
    char text[256];
    const_cast<CTcpSocketException*>(this)->GetErrorMessage(text, sizeof text);
    CString line;
    line.Format("socket error %lu: %s", m_socketError, text);
    return line;
}

BOOL CTcpSocketException::GetErrorMessage(char* buffer, UINT size, UINT* helpContext)
{
    if (helpContext != nullptr)
        *helpContext = 0;
    if (buffer == nullptr || size == 0)
        return FALSE;
    buffer[0] = 0;
    char* text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, m_socketError, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr)
    {
        if (text != nullptr)
            LocalFree(text);
        return FALSE;
    }
    size_t copied = length < size - 1 ? length : size - 1;
    memcpy(buffer, text, copied);
    buffer[copied] = 0;
    LocalFree(text);
    return TRUE;
}

void ThrowTcpSocketException(DWORD code)
{
    if (code == 0)
        code = static_cast<DWORD>(WSAGetLastError());
    throw new CTcpSocketException(code);
}

// --- socket ------------------------------------------------------------------

CTcpSocket::CTcpSocket() : m_socket(INVALID_SOCKET)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 0), &data);
}

CTcpSocket::~CTcpSocket()
{
    Close();
}

void CTcpSocket::Attach(SOCKET socket)
{
    Close();
    m_socket = socket;
}

SOCKET CTcpSocket::Detach()
{
    SOCKET socket = m_socket;
    m_socket = INVALID_SOCKET;
    return socket;
}

void CTcpSocket::Close()
{
    if (m_socket != INVALID_SOCKET)
    {
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
}

void CTcpSocket::CreateSocket(int type, int protocol, int family)
{
    Close();
    SOCKET socket = ::socket(family, type, protocol);
    if (socket == INVALID_SOCKET)
        ThrowTcpSocketException();
    m_socket = socket;
}

void CTcpSocket::Create(BOOL datagram)
{
    CreateSocket(datagram ? SOCK_DGRAM : SOCK_STREAM, 0, AF_INET);
}

sockaddr_in CTcpSocket::Resolve(const char* host, u_short port)
{
    sockaddr_in address;
    memset(&address, 0, sizeof(address));
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = inet_addr(host);
    if (address.sin_addr.s_addr == INADDR_NONE)
    {
        const hostent* entry = gethostbyname(host);
        if (entry == nullptr)
            ThrowTcpSocketException();
        if (entry->h_addrtype != AF_INET || entry->h_length != 4 ||
            entry->h_addr_list[0] == nullptr)
            ThrowTcpSocketException(WSANO_DATA);
        memcpy(&address.sin_addr, entry->h_addr_list[0], 4);
    }
    return address;
}

void CTcpSocket::Connect(const sockaddr* address, int length)
{
    if (::connect(m_socket, address, length) == SOCKET_ERROR)
        ThrowTcpSocketException();
}

void CTcpSocket::Connect(const char* host, u_short port)
{
    sockaddr_in address = Resolve(host, port);
    Connect(reinterpret_cast<const sockaddr*>(&address), sizeof(address));
}

void CTcpSocket::ConnectWithTimeout(const sockaddr* address, int length, DWORD timeoutMs,
                                    BOOL backToBlocking)
{
    CNetworkEvent event;
    // The selection puts the socket in non-blocking mode, so connect returns
    // at once and the event tells when it is done.
    if (WSAEventSelect(m_socket, event.Get(), FD_CONNECT) == SOCKET_ERROR)
        ThrowTcpSocketException();
    if (::connect(m_socket, address, length) == SOCKET_ERROR)
    {
        int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK)
            ThrowTcpSocketException(static_cast<DWORD>(error));
        if (WaitForSingleObject(event.Get(), timeoutMs) != WAIT_OBJECT_0)
            ThrowTcpSocketException(kSocketConnectTimedOut);
        WSANETWORKEVENTS events;
        if (WSAEnumNetworkEvents(m_socket, event.Get(), &events) == SOCKET_ERROR)
            ThrowTcpSocketException();
        if ((events.lNetworkEvents & FD_CONNECT) && events.iErrorCode[FD_CONNECT_BIT] != 0)
            ThrowTcpSocketException(static_cast<DWORD>(events.iErrorCode[FD_CONNECT_BIT]));
    }
    if (WSAEventSelect(m_socket, event.Get(), 0) == SOCKET_ERROR)
        ThrowTcpSocketException();
    if (backToBlocking)
    {
        u_long nonBlocking = 0;
        if (ioctlsocket(m_socket, FIONBIO, &nonBlocking) == SOCKET_ERROR)
            ThrowTcpSocketException();
    }
}

void CTcpSocket::ConnectWithTimeout(const char* host, u_short port, DWORD timeoutMs,
                                    BOOL backToBlocking)
{
    sockaddr_in address = Resolve(host, port);
    ConnectWithTimeout(reinterpret_cast<const sockaddr*>(&address), sizeof(address), timeoutMs,
                       backToBlocking);
}

int CTcpSocket::Send(const void* data, int length, int flags)
{
    // send may take fewer bytes than offered; what it left must go too, or
    // the peer gets a request with a hole in it.
    const char* bytes = static_cast<const char*>(data);
    int sent = 0;
    while (sent < length)
    {
        int n = ::send(m_socket, bytes + sent, length - sent, flags);
        if (n == SOCKET_ERROR)
            ThrowTcpSocketException();
        if (n <= 0)
            ThrowTcpSocketException(WSAECONNRESET);
        sent += n;
    }
    return sent;
}

int CTcpSocket::Receive(void* buffer, int length, int flags)
{
    int n = ::recv(m_socket, static_cast<char*>(buffer), length, flags);
    if (n == SOCKET_ERROR)
        ThrowTcpSocketException();
    return n;
}

BOOL CTcpSocket::IsReadable(DWORD timeoutMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_socket, &readable);
    timeval timeout;
    timeout.tv_sec = static_cast<long>(timeoutMs / 1000);
    timeout.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
    int result = ::select(0, &readable, nullptr, nullptr, &timeout);
    if (result == SOCKET_ERROR)
        ThrowTcpSocketException();
    return result > 0 ? TRUE : FALSE;
}

void CTcpSocket::ReceiveExactly(unsigned char* buffer, int count, DWORD timeoutMs)
{
    // Ask only for the bytes still missing: anything after them belongs to
    // the tunnelled connection.
    int received = 0;
    while (received < count)
    {
        if (!IsReadable(timeoutMs))
            ThrowTcpSocketException(kSocketNoProxyReply);
        int n = Receive(buffer + received, count - received);
        // A closed peer stays readable and gives 0 for ever.
        if (n == 0)
            ThrowTcpSocketException(kSocketProxyClosed);
        received += n;
    }
}

// --- tunnels -----------------------------------------------------------------

void CTcpSocket::ConnectViaHttpProxy(const char* targetHost, u_short targetPort,
                                     const char* proxyHost, u_short proxyPort, CString& reply,
                                     const char* login, const char* password, DWORD timeoutMs,
                                     const char* userAgent)
{
    try
    {
        HttpTunnel(targetHost, targetPort, proxyHost, proxyPort, reply, login, password, timeoutMs,
                   userAgent);
    }
    catch (...)
    {
        // A half-opened tunnel is of no use to anyone.
        Close();
        throw;
    }
}

void CTcpSocket::HttpTunnel(const char* targetHost, u_short targetPort, const char* proxyHost,
                            u_short proxyPort, CString& reply, const char* login,
                            const char* password, DWORD timeoutMs, const char* userAgent)
{
    Connect(proxyHost, proxyPort);

    // Built by concatenation: long credentials must not be cut.
    CString request("CONNECT ");
    request += targetHost;
    request += ':';
    request.AppendNumber(targetPort);
    request += " HTTP/1.0\r\n";
    if (login != nullptr)
    {
        CString credentials(login);
        credentials += ':';
        credentials += password;
        CBase64 base64;
        base64.EncodeString(credentials);
        request += "Proxy-authorization: Basic ";
        request += base64.GetEncoded();
        request += "\r\n";
    }
    if (userAgent != nullptr)
    {
        request += "User-Agent: ";
        request += userAgent;
        request += "\r\n";
    }
    request += "\r\n";
    Send(static_cast<const char*>(request), request.GetLength());

    // Byte by byte, so that nothing after the head is taken from the tunnel.
    std::string head;
    head.reserve(4096);
    while (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0)
    {
        if (head.size() >= kMaxProxyReply)
            ThrowTcpSocketException(kSocketHttpProxyRefused);
        unsigned char byte;
        ReceiveExactly(&byte, 1, timeoutMs);
        head += static_cast<char>(byte);
    }
    reply = CString(head.data(), static_cast<int>(head.size()));

    // The status follows the first blank of the status line. A head without
    // one is no HTTP answer at all, so no tunnel either.
    size_t blank = head.find(' ');
    if (blank == std::string::npos || strtol(head.c_str() + blank + 1, nullptr, 10) != 200)
        ThrowTcpSocketException(kSocketHttpProxyRefused);
}

void CTcpSocket::ConnectViaSocks5(const char* targetHost, u_short targetPort, const char* proxyHost,
                                  u_short proxyPort, const char* login, const char* password,
                                  DWORD timeoutMs)
{
    try
    {
        Socks5Tunnel(targetHost, targetPort, proxyHost, proxyPort, login, password, timeoutMs);
    }
    catch (...)
    {
        Close();
        throw;
    }
}

void CTcpSocket::Socks5Tunnel(const char* targetHost, u_short targetPort, const char* proxyHost,
                              u_short proxyPort, const char* login, const char* password,
                              DWORD timeoutMs)
{
    Connect(proxyHost, proxyPort);

    // Version 5 with one method (none) or two (none, user and password).
    std::string greeting =
        login != nullptr ? std::string("\x05\x02\x00\x02", 4) : std::string("\x05\x01\x00", 3);
    Send(greeting.data(), static_cast<int>(greeting.size()));
    unsigned char method[2];
    ReceiveExactly(method, 2, timeoutMs);
    if (method[1] == 0x02 && login != nullptr)
    {
        size_t userLength = strlen(login);
        size_t passwordLength = password != nullptr ? strlen(password) : 0;
        if (userLength > 255 || passwordLength > 255)
            ThrowTcpSocketException(kSocketSocksBadParameter);
        std::string auth;
        AppendByte(auth, 1);
        AppendByte(auth, userLength);
        auth.append(login, userLength);
        AppendByte(auth, passwordLength);
        if (passwordLength > 0)
            auth.append(password, passwordLength);
        Send(auth.data(), static_cast<int>(auth.size()));
        unsigned char status[2];
        ReceiveExactly(status, 2, timeoutMs);
        if (status[1] != 0)
            ThrowTcpSocketException(kSocketSocksAccessDenied);
    }
    else if (method[1] != 0x00)
    {
        ThrowTcpSocketException(kSocketSocksNoMethod);
    }

    // CONNECT to a dotted address or to a name the proxy resolves.
    std::string request("\x05\x01\x00", 3);
    unsigned long address = inet_addr(targetHost);
    if (address != INADDR_NONE)
    {
        AppendByte(request, 1);
        request.append(reinterpret_cast<const char*>(&address), 4);
    }
    else
    {
        size_t nameLength = strlen(targetHost);
        if (nameLength > 255)
            ThrowTcpSocketException(kSocketSocksBadParameter);
        AppendByte(request, 3);
        AppendByte(request, nameLength);
        request.append(targetHost, nameLength);
    }
    AppendPort(request, targetPort);
    Send(request.data(), static_cast<int>(request.size()));

    // The reply's length depends on its address type, and for a name on the
    // length byte after it: read no further than each of them.
    unsigned char reply[262];
    ReceiveExactly(reply, 4, timeoutMs);
    int length;
    switch (reply[3])
    {
    case 1:
        length = 10;
        break;
    case 3:
        ReceiveExactly(reply + 4, 1, timeoutMs);
        length = 7 + reply[4];
        break;
    case 4:
        // An IPv6 bound address: RFC 1928 allows it, and the tunnel is open.
        length = 22;
        break;
    default:
        ThrowTcpSocketException(kSocketSocksBadParameter);
    }
    int have = reply[3] == 3 ? 5 : 4;
    ReceiveExactly(reply + have, length - have, timeoutMs);
    if (reply[1] != 0)
        ThrowTcpSocketException(kSocketSocksConnectFailed);
}
