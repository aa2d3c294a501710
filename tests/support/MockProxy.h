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

// A text the handler thread writes and the test thread reads.
class CRecordedText
{
public:
    void Set(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_text = text;
    }
    std::string Get() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_text;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_text;
};

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
    std::string GetRequest() const { return m_request.Get(); }
    std::string GetTunnelData() const { return m_tunnel.Get(); }

private:
    void Serve(SOCKET client);

    Options m_options;
    CRecordedText m_request;
    CRecordedText m_tunnel;
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
    std::string GetGreeting() const { return m_greeting.Get(); }
    std::string GetAuth() const { return m_auth.Get(); }
    std::string GetRequest() const { return m_request.Get(); }
    std::string GetTunnelData() const { return m_tunnel.Get(); }

private:
    void Serve(SOCKET client);
    // Records a client message; false when the exchange ends with it (cut
    // short, or the script is silent after it).
    bool Received(SOCKET client, Stage stage, CRecordedText& record, const std::string& message,
                  bool complete);
    // Sends the reply of a stage, honouring closeIn; false when it closed.
    bool Reply(SOCKET client, Stage stage, const std::string& reply,
               const std::vector<size_t>& pieces = {});

    Options m_options;
    CRecordedText m_greeting;
    CRecordedText m_auth;
    CRecordedText m_request;
    CRecordedText m_tunnel;
    CLoopbackServer m_server;
};

#endif
