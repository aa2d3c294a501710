// Scripted proxies on 127.0.0.1 for the socket and poster tests: an HTTP
// proxy that answers CONNECT and a SOCKS5 proxy. Each can send its replies
// in small pieces, stay silent, close in the middle of a reply or refuse
// credentials. Once a tunnel is open the proxy stands in for the target:
// it keeps every byte the client sends through the tunnel (and echoes it
// back when asked) until the client closes.
//
// The recorded texts are complete once WaitServed has returned true.
#ifndef BRINDLEWOX_TESTS_SUPPORT_MOCKPROXY_H
#define BRINDLEWOX_TESTS_SUPPORT_MOCKPROXY_H

#include "tests/support/LoopbackServer.h"

#include <mutex>
#include <string>
#include <vector>

class CMockHttpProxy
{
public:
    struct Options
    {
        std::string reply = "HTTP/1.0 200 Connection established\r\n\r\n";
        // The reply goes out in pieces of this many bytes.
        size_t piece = 1;
        // When not empty, the request must carry these Basic credentials
        // ("user:pass"), else the answer is a 407.
        std::string credentials;
        // Read the request, then say nothing until the client gives up.
        bool silent = false;
        // Send only this many bytes of the reply, then close.
        size_t closeAfter = std::string::npos;
        bool echo = false;
    };

    explicit CMockHttpProxy(const Options& options);

    u_short GetPort() const { return m_server.GetPort(); }
    bool WaitServed(int count = 1) { return m_server.WaitServed(count); }
    int GetAcceptedCount() const { return m_server.GetAcceptedCount(); }
    // The request head of the last connection, and what came through its
    // tunnel.
    std::string GetRequest();
    std::string GetTunnelData();

private:
    void Serve(SOCKET client);

    Options m_options;
    std::mutex m_mutex;
    std::string m_request;
    std::string m_tunnel;
    // Last: it stops (and joins its thread) before the members above go.
    CLoopbackServer m_server;
};

class CMockSocks5Proxy
{
public:
    // The client's messages, in the order they come.
    enum class Stage
    {
        None,
        Greeting,
        Auth,
        Request
    };

    struct Options
    {
        // The method to choose; -1: user and password (2) when credentials
        // are required and offered, else none (0) when offered, else 0xFF.
        int method = -1;
        bool requireAuth = false;
        std::string user;
        std::string password;
        // Empty: success with the bound address 127.0.0.1:80.
        std::string connectReply;
        // Sizes of the connect reply's pieces; empty sends it whole.
        std::vector<size_t> pieces;
        // After reading the message of this stage, say nothing.
        Stage silentAfter = Stage::None;
        // Send only closeAfter bytes of the reply to this stage, then close.
        Stage closeIn = Stage::None;
        size_t closeAfter = 0;
        bool echo = false;
    };

    explicit CMockSocks5Proxy(const Options& options);

    u_short GetPort() const { return m_server.GetPort(); }
    bool WaitServed(int count = 1) { return m_server.WaitServed(count); }
    int GetAcceptedCount() const { return m_server.GetAcceptedCount(); }
    // The bytes of each client message of the last connection.
    std::string GetGreeting();
    std::string GetAuth();
    std::string GetRequest();
    std::string GetTunnelData();

private:
    void Serve(SOCKET client);
    // Sends the reply of a stage, honouring closeIn; false when it closed.
    bool Reply(SOCKET client, Stage stage, const std::string& reply,
               const std::vector<size_t>& pieces = {});
    void Record(std::string& field, const std::string& value);

    Options m_options;
    std::mutex m_mutex;
    std::string m_greeting;
    std::string m_auth;
    std::string m_request;
    std::string m_tunnel;
    CLoopbackServer m_server;
};

// What stands behind a tunnel: keep (and optionally echo) until closed.
std::string ServeTunnel(SOCKET client, bool echo);

#endif
