// Test servers on 127.0.0.1: a listener that hands each connection to a
// handler on its own thread, and the raw socket helpers the handlers use.
// Every accepted socket has 10-second send and receive time-outs, so a
// handler never outlives a client that went away.
#ifndef BRINDLEWOX_TESTS_SUPPORT_LOOPBACKSERVER_H
#define BRINDLEWOX_TESTS_SUPPORT_LOOPBACKSERVER_H

#include "foundation/Base.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace loopback
{
// Each returns false when the peer closed or an error or time-out came first;
// what arrived until then is in out.
bool ReceiveExactly(SOCKET socket, std::string& out, size_t count);
bool ReceiveUntil(SOCKET socket, std::string& out, const std::string& terminator,
                  size_t limit = 1 << 20);
// Everything until the peer closes (or the receive time-out), each piece
// sent back as it comes when echo is set.
std::string ReceiveUntilClosed(SOCKET socket, bool echo = false);
bool SendAll(SOCKET socket, const std::string& data);
// Sends the data in pieces of the given sizes (the rest in one piece after
// them), pausing between pieces so that each arrives by itself.
bool SendInPieces(SOCKET socket, const std::string& data, const std::vector<size_t>& pieces,
                  DWORD pauseMs = 5);
// The data in pieces of one size.
bool SendInPiecesOf(SOCKET socket, const std::string& data, size_t piece, DWORD pauseMs = 5);
// A loopback port on which nothing listens (taken and given back).
u_short UnusedPort();
} // namespace loopback

class CLoopbackServer
{
public:
    using Handler = std::function<void(SOCKET client)>;

    // Serves the connections one after the other, in the order accepted.
    explicit CLoopbackServer(Handler handler);
    CLoopbackServer(const CLoopbackServer&) = delete;
    CLoopbackServer& operator=(const CLoopbackServer&) = delete;
    ~CLoopbackServer();

    u_short GetPort() const { return m_port; }
    // True once count connections have been served to their end.
    bool WaitServed(int count, DWORD timeoutMs = 20000);
    int GetAcceptedCount() const { return m_accepted; }

private:
    void Run();

    Handler m_handler;
    SOCKET m_listener = INVALID_SOCKET;
    u_short m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    int m_served = 0;
    std::mutex m_mutex;
    std::condition_variable m_servedChanged;
    std::thread m_thread;
};

// A listener whose backlog is full and which never accepts: a connect to it
// gets no answer, as from a host that does not respond.
class CFullBacklogListener
{
public:
    CFullBacklogListener();
    CFullBacklogListener(const CFullBacklogListener&) = delete;
    CFullBacklogListener& operator=(const CFullBacklogListener&) = delete;
    ~CFullBacklogListener();

    u_short GetPort() const { return m_port; }

private:
    SOCKET m_listener = INVALID_SOCKET;
    u_short m_port = 0;
    std::vector<SOCKET> m_fillers;
};

#endif
