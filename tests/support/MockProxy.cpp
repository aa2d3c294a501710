#include "tests/support/MockProxy.h"

#include "foundation/Base64.h"

using namespace loopback;

// --- HTTP ----------------------------------------------------------------------

CMockHttpProxy::CMockHttpProxy(const Options& options)
    : m_options(options), m_server([this](SOCKET client) { Serve(client); })
{
}

void CMockHttpProxy::Serve(SOCKET client)
{
    std::string request;
    bool complete = ReceiveUntil(client, request, "\r\n\r\n");
    m_request.Set(request);
    m_tunnel.Set("");
    if (!complete)
        return;
    if (m_options.silent)
    {
        ReceiveUntilClosed(client);
        return;
    }

    if (!m_options.credentials.empty())
    {
        const std::string field = "Proxy-authorization: Basic ";
        size_t at = request.find(field);
        std::string given;
        if (at != std::string::npos)
        {
            size_t end = request.find("\r\n", at);
            std::string encoded = request.substr(at + field.size(), end - at - field.size());
            CBase64 base64;
            base64.DecodeString(encoded.c_str());
            given.assign(reinterpret_cast<const char*>(base64.GetDecoded()),
                         base64.GetDecodedLength());
        }
        if (given != m_options.credentials)
        {
            SendAll(client, "HTTP/1.0 407 Proxy Authentication Required\r\n"
                            "Proxy-Authenticate: Basic realm=\"test\"\r\n\r\n");
            return;
        }
    }

    std::string reply = m_options.reply.substr(0, m_options.closeAfter);
    if (!SendInPiecesOf(client, reply, m_options.piece) || reply.size() < m_options.reply.size())
        return;
    m_tunnel.Set(ReceiveUntilClosed(client, m_options.echo));
}

// --- SOCKS5 --------------------------------------------------------------------

CMockSocks5Proxy::CMockSocks5Proxy(const Options& options)
    : m_options(options), m_server([this](SOCKET client) { Serve(client); })
{
}

bool CMockSocks5Proxy::Reply(SOCKET client, Stage stage, const std::string& reply,
                             const std::vector<size_t>& pieces)
{
    if (m_options.closeIn == stage)
    {
        SendAll(client, reply.substr(0, m_options.closeAfter));
        return false;
    }
    return SendInPieces(client, reply, pieces);
}

bool CMockSocks5Proxy::Received(SOCKET client, Stage stage, CRecordedText& record,
                                const std::string& message, bool complete)
{
    record.Set(message);
    if (!complete)
        return false;
    if (m_options.silentAfter == stage)
    {
        ReceiveUntilClosed(client);
        return false;
    }
    return true;
}

void CMockSocks5Proxy::Serve(SOCKET client)
{
    for (CRecordedText* text : {&m_greeting, &m_auth, &m_request, &m_tunnel})
        text->Set("");

    // Greeting: version, method count, methods.
    std::string greeting;
    bool complete = ReceiveExactly(client, greeting, 2) &&
                    ReceiveExactly(client, greeting, static_cast<unsigned char>(greeting[1]));
    if (!Received(client, Stage::Greeting, m_greeting, greeting, complete))
        return;
    std::string methods = greeting.substr(2);
    int method = m_options.method;
    if (method < 0)
    {
        if (m_options.requireAuth)
            method = methods.find('\x02') != std::string::npos ? 2 : 0xFF;
        else
            method = methods.find('\x00') != std::string::npos ? 0 : 0xFF;
    }
    std::string methodReply("\x05", 1);
    methodReply += static_cast<char>(method);
    if (!Reply(client, Stage::Greeting, methodReply) || method == 0xFF)
        return;

    if (method == 2)
    {
        // Version 1, user name and password, each after its length.
        std::string auth;
        complete = ReceiveExactly(client, auth, 2) &&
                   ReceiveExactly(client, auth, static_cast<unsigned char>(auth[1])) &&
                   ReceiveExactly(client, auth, 1) &&
                   ReceiveExactly(client, auth, static_cast<unsigned char>(auth.back()));
        if (!Received(client, Stage::Auth, m_auth, auth, complete))
            return;
        size_t userLength = static_cast<unsigned char>(auth[1]);
        std::string user = auth.substr(2, userLength);
        std::string password = auth.substr(3 + userLength);
        bool accepted = user == m_options.user && password == m_options.password;
        std::string status("\x01", 1);
        status += accepted ? '\x00' : '\x01';
        if (!Reply(client, Stage::Auth, status) || !accepted)
            return;
    }

    // Request: version, command, reserved, address type, address, port.
    std::string request;
    complete = ReceiveExactly(client, request, 4);
    if (complete)
    {
        switch (request[3])
        {
        case 1:
            complete = ReceiveExactly(client, request, 4);
            break;
        case 3:
            complete = ReceiveExactly(client, request, 1) &&
                       ReceiveExactly(client, request, static_cast<unsigned char>(request[4]));
            break;
        case 4:
            complete = ReceiveExactly(client, request, 16);
            break;
        default:
            complete = false;
        }
        complete = complete && ReceiveExactly(client, request, 2);
    }
    if (!Received(client, Stage::Request, m_request, request, complete))
        return;
    std::string reply = m_options.connectReply;
    if (reply.empty())
        reply = std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50", 10);
    if (!Reply(client, Stage::Request, reply, m_options.pieces) || reply[1] != 0)
        return;
    m_tunnel.Set(ReceiveUntilClosed(client, m_options.echo));
}
