// CTcpSocket: a small blocking TCP client over Winsock 2, connecting
// directly (optionally with a time-out) or through a tunnel of an HTTP proxy
// (CONNECT) or a SOCKS5 proxy (with user name and password).
//
// Every failure throws a CTcpSocketException POINTER to a heap object; the
// catcher deletes it:
//
//     try { socket.Connect(host, port); }
//     catch (CTcpSocketException* e) { ...; delete e; }
#ifndef BRINDLEWOX_FOUNDATION_SOCKET_H
#define BRINDLEWOX_FOUNDATION_SOCKET_H

#include "foundation/Base.h"
#include "foundation/Exception.h"
#include "foundation/String.h"

// Codes the socket client chooses itself; every other code is the system's
// (WSAGetLastError or GetLastError right after the failing call).
enum : DWORD
{
    kSocketConnectTimedOut = ERROR_TIMEOUT,             // 1460: connect time-out
    kSocketNoProxyReply = WSAETIMEDOUT,                 // 10060: no proxy reply in time
    kSocketProxyClosed = ERROR_GRACEFUL_DISCONNECT,     // 1226: proxy closed mid-reply
    kSocketSocksNoMethod = WSAECONNREFUSED,             // 10061: no offered method accepted
    kSocketHttpProxyRefused = ERROR_CONNECTION_REFUSED, // 1225: HTTP proxy status not 200
    kSocketSocksBadParameter = ERROR_INVALID_PARAMETER, // 87: text too long, bad address type
    kSocketSocksAccessDenied = ERROR_ACCESS_DENIED,     // 5: user name or password rejected
    kSocketSocksConnectFailed = ERROR_BAD_NET_RESP,     // 58: SOCKS5 reply REP not 0
};

class CTcpSocketException : public CException
{
public:
    // The CException part carries code 0 and an empty message; the socket
    // error is this class's own.
    explicit CTcpSocketException(DWORD socketError);

    DWORD GetSocketError() const { return m_socketError; }
    // The system's text for the socket error, cut to size - 1 characters.
    // FALSE, with "" in the buffer, when the system has no text for it.
    virtual BOOL GetErrorMessage(char* buffer, UINT size, UINT* helpContext = nullptr);
    // "socket error N: " and the system's text.
    CString GetReportText() const override;

private:
    DWORD m_socketError;
};

// Throws a new CTcpSocketException with the code, or with WSAGetLastError()
// when the code is 0.
[[noreturn]] void ThrowTcpSocketException(DWORD code = 0);

class CTcpSocket
{
public:
    // Starts Winsock 2.0 (the result is not checked: a failure shows at the
    // first socket call). There is no matching cleanup.
    CTcpSocket();
    CTcpSocket(const CTcpSocket&) = delete;
    CTcpSocket& operator=(const CTcpSocket&) = delete;
    virtual ~CTcpSocket();

    SOCKET GetHandle() const { return m_socket; }
    // Takes ownership of a socket; one held before is closed.
    void Attach(SOCKET socket);
    // Gives up ownership; the object then holds none.
    SOCKET Detach();
    void Close();

    // A socket already held is closed first.
    void CreateSocket(int type, int protocol, int family);
    // AF_INET stream socket, or datagram socket when asked.
    void Create(BOOL datagram = FALSE);

    // Blocking connects. The host is a dotted IPv4 address or a name, whose
    // first IPv4 address is used. On failure the socket stays open.
    void Connect(const sockaddr* address, int length);
    void Connect(const char* host, u_short port);
    // Connects waiting at most timeoutMs: 1460 when the time runs out, the
    // system's code (such as 10061) when the target refuses. The socket is
    // left non-blocking unless backToBlocking is set.
    void ConnectWithTimeout(const sockaddr* address, int length, DWORD timeoutMs,
                            BOOL backToBlocking);
    void ConnectWithTimeout(const char* host, u_short port, DWORD timeoutMs, BOOL backToBlocking);

    // Sends all the bytes (a partial send is followed by further sends) and
    // returns the length.
    int Send(const void* data, int length, int flags = 0);
    // One recv: the count received, 0 when the peer has closed.
    int Receive(void* buffer, int length, int flags = 0);
    // TRUE when data (or the peer's close) is waiting within timeoutMs.
    BOOL IsReadable(DWORD timeoutMs);

    // Connects to the proxy (blocking, no time-out of its own) and asks it for
    // a tunnel to the target. A non-null login (an empty one included) sends
    // Basic credentials; a non-null user agent sends that header. The reply
    // head goes to reply. Each byte of the reply must come within timeoutMs
    // (else 10060); a proxy that closes mid-reply gives 1226; a status other
    // than 200, a status line without a status, or a head above 64 KiB gives
    // 1225. On any failure the socket is closed before the exception leaves.
    // Afterwards the socket carries the tunnelled connection.
    void ConnectViaHttpProxy(const char* targetHost, u_short targetPort, const char* proxyHost,
                             u_short proxyPort, CString& reply, const char* login,
                             const char* password, DWORD timeoutMs, const char* userAgent);
    // The same through a SOCKS5 proxy, offering user name and password when
    // the login is non-null (an empty one included). Codes: 10061 no offered
    // method accepted, 5 credentials rejected, 87 a text longer than 255
    // bytes or an unknown address type in the reply, 58 the proxy could not
    // connect, 10060 and 1226 as above. Exactly the reply's bytes are read:
    // what follows belongs to the tunnel.
    void ConnectViaSocks5(const char* targetHost, u_short targetPort, const char* proxyHost,
                          u_short proxyPort, const char* login, const char* password,
                          DWORD timeoutMs);

private:
    static sockaddr_in Resolve(const char* host, u_short port);
    // Receives exactly count bytes, each wait for more bounded by timeoutMs.
    void ReceiveExactly(unsigned char* buffer, int count, DWORD timeoutMs);
    void HttpTunnel(const char* targetHost, u_short targetPort, const char* proxyHost,
                    u_short proxyPort, CString& reply, const char* login, const char* password,
                    DWORD timeoutMs, const char* userAgent);
    void Socks5Tunnel(const char* targetHost, u_short targetPort, const char* proxyHost,
                      u_short proxyPort, const char* login, const char* password, DWORD timeoutMs);

    SOCKET m_socket;
};

#endif
