#include "tests/support/LoopbackServer.h"

#include <cstdio>
#include <stdexcept>

namespace
{
void StartWinsock()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

SOCKET Listen(u_short& port, int backlog)
{
    StartWinsock();
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET)
        throw std::runtime_error("socket failed");
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == SOCKET_ERROR ||
        listen(listener, backlog) == SOCKET_ERROR ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == SOCKET_ERROR)
    {
        closesocket(listener);
        throw std::runtime_error("bind or listen failed");
    }
    port = ntohs(address.sin_port);
    return listener;
}
} // namespace

namespace loopback
{
bool ReceiveExactly(SOCKET socket, std::string& out, size_t count)
{
    char buffer[4096];
    while (count > 0)
    {
        int want =
            count < sizeof(buffer) ? static_cast<int>(count) : static_cast<int>(sizeof(buffer));
        int n = recv(socket, buffer, want, 0);
        if (n <= 0)
            return false;
        out.append(buffer, static_cast<size_t>(n));
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool ReceiveUntil(SOCKET socket, std::string& out, const std::string& terminator, size_t limit)
{
    // Byte by byte: what follows the terminator is the next reader's.
    while (out.size() < terminator.size() ||
           out.compare(out.size() - terminator.size(), terminator.size(), terminator) != 0)
    {
        if (out.size() >= limit || !ReceiveExactly(socket, out, 1))
            return false;
    }
    return true;
}

std::string ReceiveUntilClosed(SOCKET socket, bool echo)
{
    std::string out;
    char buffer[4096];
    for (;;)
    {
        int n = recv(socket, buffer, sizeof(buffer), 0);
        if (n <= 0)
            return out;
        std::string piece(buffer, static_cast<size_t>(n));
        out += piece;
        if (echo && !SendAll(socket, piece))
            return out;
    }
}

bool SendAll(SOCKET socket, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size())
    {
        int n = send(socket, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool SendInPieces(SOCKET socket, const std::string& data, const std::vector<size_t>& pieces,
                  DWORD pauseMs)
{
    size_t at = 0;
    for (size_t piece : pieces)
    {
        if (at >= data.size())
            break;
        if (at > 0)
            Sleep(pauseMs);
        if (!SendAll(socket, data.substr(at, piece)))
            return false;
        at += piece;
    }
    if (at < data.size())
    {
        if (at > 0)
            Sleep(pauseMs);
        return SendAll(socket, data.substr(at));
    }
    return true;
}

bool SendInPiecesOf(SOCKET socket, const std::string& data, size_t piece, DWORD pauseMs)
{
    std::vector<size_t> pieces((data.size() + piece - 1) / piece, piece);
    return SendInPieces(socket, data, pieces, pauseMs);
}

u_short UnusedPort()
{
    u_short port = 0;
    closesocket(Listen(port, 1));
    return port;
}
} // namespace loopback

CLoopbackServer::CLoopbackServer(Handler handler) : m_handler(std::move(handler))
{
    m_listener = Listen(m_port, SOMAXCONN);
    m_thread = std::thread([this] { Run(); });
}

CLoopbackServer::~CLoopbackServer()
{
    m_stop = true;
    m_thread.join();
    closesocket(m_listener);
}

bool CLoopbackServer::WaitServed(int count, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_servedChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return m_served >= count; });
}

void CLoopbackServer::Run()
{
    while (!m_stop)
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_listener, &readable);
        timeval poll = {0, 20000};
        if (select(0, &readable, nullptr, nullptr, &poll) <= 0)
            continue;
        SOCKET client = accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            continue;
        ++m_accepted;
        DWORD timeout = 10000;
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof(timeout));
        setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof(timeout));
        BOOL noDelay = TRUE;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                   sizeof(noDelay));
        // Nothing may leave the thread: a failing handler ends its connection.
        try
        {
            m_handler(client);
        }
        catch (const std::exception& e)
        {
            fprintf(stderr, "loopback handler failed: %s\n", e.what());
        }
        catch (...)
        {
            fprintf(stderr, "loopback handler failed\n");
        }
        closesocket(client);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_served;
        }
        m_servedChanged.notify_all();
    }
}

CFullBacklogListener::CFullBacklogListener()
{
    m_listener = Listen(m_port, 0);
    // Fill the queue with connections nobody accepts. Each filler connects
    // without blocking; once the queue is full the kernel drops further
    // requests and their connects stay pending.
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(m_port);
    for (int i = 0; i < 8; ++i)
    {
        SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (filler == INVALID_SOCKET)
            break;
        u_long nonBlocking = 1;
        ioctlsocket(filler, FIONBIO, &nonBlocking);
        connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        m_fillers.push_back(filler);
    }
    Sleep(100);
}

CFullBacklogListener::~CFullBacklogListener()
{
    for (SOCKET filler : m_fillers)
        closesocket(filler);
    closesocket(m_listener);
}
