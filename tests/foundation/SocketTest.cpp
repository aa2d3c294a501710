#include "foundation/Socket.h"

#include "foundation/Base64.h"

#include "tests/support/LoopbackServer.h"
#include "tests/support/MockProxy.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>

static_assert(!std::is_copy_constructible_v<CTcpSocket>, "a socket has one owner");
static_assert(sizeof(SOCKET) == 8, "the socket handle keeps its full width");

using namespace loopback;

namespace
{
const char* kLocal = "127.0.0.1";
// Upper bound for steps that succeed; generous because a loaded machine
// running many Wine processes at once can take seconds to schedule a thread.
const DWORD kPatient = 30000;

// Runs the call and gives the code of the CTcpSocketException it throws,
// or 0 when it throws none. The exception object is deleted here.
template <typename Call> DWORD SocketError(Call call)
{
    try
    {
        call();
    }
    catch (CTcpSocketException* e)
    {
        DWORD code = e->GetSocketError();
        delete e;
        return code;
    }
    return 0;
}

std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

// The first count bytes of the tunnel, as they reach the client.
std::string ReceiveSome(CTcpSocket& socket, int count)
{
    std::string out;
    while (static_cast<int>(out.size()) < count && socket.IsReadable(kPatient))
    {
        char buffer[256];
        int n = socket.Receive(buffer, count - static_cast<int>(out.size()));
        if (n == 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

std::string Socks5Reply(int rep, int atyp, const std::string& address)
{
    std::string reply = Bytes({5, rep, 0, atyp});
    if (atyp == 3)
        reply += static_cast<char>(address.size());
    return reply + address + Bytes({0x1F, 0x90});
}
} // namespace

TEST(SocketTest, ExceptionCarriesTheSocketError)
{
    WSASetLastError(WSAECONNRESET);
    CTcpSocketException* caught = nullptr;
    try
    {
        ThrowTcpSocketException();
    }
    catch (CTcpSocketException* e)
    {
        caught = e;
    }
    ASSERT_NE(caught, nullptr);
    std::unique_ptr<CTcpSocketException> owned(caught);
    EXPECT_EQ(owned->GetSocketError(), static_cast<DWORD>(WSAECONNRESET));
    // The base part is code 0 with no text: the socket error is the message.
    EXPECT_EQ(owned->GetErrorCode(), 0u);
    EXPECT_TRUE(owned->GetErrorText().IsEmpty());

    EXPECT_EQ(SocketError([] { ThrowTcpSocketException(kSocketConnectTimedOut); }), 1460u);
}

TEST(SocketTest, ErrorMessageComesFromTheSystem)
{
    CTcpSocketException refused(WSAECONNREFUSED);
    char text[512];
    UINT help = 77;
    EXPECT_TRUE(refused.GetErrorMessage(text, sizeof(text), &help));
    EXPECT_GT(strlen(text), 0u);
    EXPECT_EQ(help, 0u);

    // Cut to the buffer, always terminated.
    char small[6];
    memset(small, 'x', sizeof(small));
    EXPECT_TRUE(refused.GetErrorMessage(small, sizeof(small)));
    EXPECT_EQ(strlen(small), 5u);
    EXPECT_EQ(std::string(small), std::string(text, 5));

    CTcpSocketException unknown(0x2000ABCD);
    strcpy(text, "old");
    EXPECT_FALSE(unknown.GetErrorMessage(text, sizeof(text)));
    EXPECT_STREQ(text, "");
}

TEST(SocketTest, HandleShape)
{
    CTcpSocket socket;
    EXPECT_EQ(socket.GetHandle(), INVALID_SOCKET);
    socket.Create();
    SOCKET raw = socket.GetHandle();
    EXPECT_NE(raw, INVALID_SOCKET);
    EXPECT_EQ(socket.Detach(), raw);
    EXPECT_EQ(socket.GetHandle(), INVALID_SOCKET);
    socket.Attach(raw);
    EXPECT_EQ(socket.GetHandle(), raw);
    // Creating again replaces (and closes) the socket held.
    socket.Create();
    EXPECT_NE(socket.GetHandle(), INVALID_SOCKET);
    socket.Close();
    EXPECT_EQ(socket.GetHandle(), INVALID_SOCKET);
    socket.Close();
}

TEST(SocketTest, DirectConnectSendsAndReceives)
{
    CLoopbackServer echo([](SOCKET client) { ReceiveUntilClosed(client, true); });
    CTcpSocket socket;
    socket.Create();
    socket.Connect(kLocal, echo.GetPort());
    EXPECT_EQ(socket.Send("hello", 5), 5);
    EXPECT_EQ(ReceiveSome(socket, 5), "hello");
    // The server takes one connection at a time.
    socket.Close();

    // A name is resolved.
    CTcpSocket named;
    named.Create();
    named.Connect("localhost", echo.GetPort());
    named.Send("x", 1);
    EXPECT_EQ(ReceiveSome(named, 1), "x");

    // Receive gives 0 once the peer has closed.
    CLoopbackServer closer([](SOCKET) {});
    socket.Create();
    socket.Connect(kLocal, closer.GetPort());
    ASSERT_TRUE(closer.WaitServed(1));
    char byte;
    ASSERT_TRUE(socket.IsReadable(kPatient));
    EXPECT_EQ(socket.Receive(&byte, 1), 0);
}

TEST(SocketTest, SendDeliversEveryByteOfALargeBuffer)
{
    std::string received;
    CLoopbackServer sink([&](SOCKET client) { received = ReceiveUntilClosed(client); });
    std::string data(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 31 + i / 4096);
    CTcpSocket socket;
    socket.Create();
    int small = 4096;
    setsockopt(socket.GetHandle(), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&small),
               sizeof(small));
    socket.Connect(kLocal, sink.GetPort());
    EXPECT_EQ(socket.Send(data.data(), static_cast<int>(data.size())),
              static_cast<int>(data.size()));
    socket.Close();
    ASSERT_TRUE(sink.WaitServed(1));
    EXPECT_TRUE(received == data);
}

TEST(SocketTest, ConnectFailuresCarryTheirCodes)
{
    u_short closed = UnusedPort();
    CTcpSocket socket;
    socket.Create();
    EXPECT_EQ(SocketError([&] { socket.Connect(kLocal, closed); }), 10061u);
    // The plain connect leaves closing to the caller.
    EXPECT_NE(socket.GetHandle(), INVALID_SOCKET);

    socket.Create();
    EXPECT_EQ(SocketError([&] { socket.ConnectWithTimeout(kLocal, closed, kPatient, TRUE); }),
              10061u);

    CTcpSocket none;
    EXPECT_EQ(SocketError([&] { none.Connect(kLocal, closed); }), static_cast<DWORD>(WSAENOTSOCK));
}

TEST(SocketTest, ConnectTimesOutOnASilentHost)
{
    CFullBacklogListener silent;
    CTcpSocket socket;
    socket.Create();
    DWORD start = GetTickCount();
    EXPECT_EQ(SocketError([&] { socket.ConnectWithTimeout(kLocal, silent.GetPort(), 400, TRUE); }),
              1460u);
    EXPECT_GE(GetTickCount() - start, 350u);
}

TEST(SocketTest, ConnectWithTimeoutReturnsToBlockingWhenAsked)
{
    CLoopbackServer quiet([](SOCKET client) { ReceiveUntilClosed(client); });
    DWORD shortWait = 200;

    // Blocking again: a receive waits for its time-out.
    CTcpSocket blocking;
    blocking.Create();
    blocking.ConnectWithTimeout(kLocal, quiet.GetPort(), kPatient, TRUE);
    setsockopt(blocking.GetHandle(), SOL_SOCKET, SO_RCVTIMEO,
               reinterpret_cast<const char*>(&shortWait), sizeof(shortWait));
    char byte;
    EXPECT_EQ(SocketError([&] { blocking.Receive(&byte, 1); }), static_cast<DWORD>(WSAETIMEDOUT));
    blocking.Close();

    // Left non-blocking: the receive returns at once.
    CTcpSocket nonBlocking;
    nonBlocking.Create();
    nonBlocking.ConnectWithTimeout(kLocal, quiet.GetPort(), kPatient, FALSE);
    EXPECT_EQ(SocketError([&] { nonBlocking.Receive(&byte, 1); }),
              static_cast<DWORD>(WSAEWOULDBLOCK));
}

// --- HTTP CONNECT ------------------------------------------------------------

TEST(SocketTest, HttpTunnelSendsTheRequestAndReadsAFragmentedReply)
{
    CMockHttpProxy::Options options;
    options.credentials = "user:pass";
    // One byte of tunnel data comes with the head: it must stay for the client.
    options.reply = "HTTP/1.0 200 Connection established\r\n\r\nX";
    options.echo = true;
    CMockHttpProxy proxy(options);

    CTcpSocket socket;
    socket.Create();
    CString reply;
    socket.ConnectViaHttpProxy("h", 443, kLocal, proxy.GetPort(), reply, "user", "pass", kPatient,
                               "UA");
    EXPECT_STREQ(reply, "HTTP/1.0 200 Connection established\r\n\r\n");
    EXPECT_EQ(ReceiveSome(socket, 1), "X");
    socket.Send("ping", 4);
    EXPECT_EQ(ReceiveSome(socket, 4), "ping");
    socket.Close();

    ASSERT_TRUE(proxy.WaitServed());
    EXPECT_EQ(proxy.GetRequest(), "CONNECT h:443 HTTP/1.0\r\n"
                                  "Proxy-authorization: Basic dXNlcjpwYXNz\r\n"
                                  "User-Agent: UA\r\n\r\n");
    EXPECT_EQ(proxy.GetTunnelData(), "ping");
}

TEST(SocketTest, HttpTunnelLoginVariants)
{
    CMockHttpProxy proxy(CMockHttpProxy::Options{});
    CTcpSocket socket;
    CString reply;

    // An empty login still counts as given: the encoding of a lone colon.
    socket.Create();
    socket.ConnectViaHttpProxy("example.com", 80, kLocal, proxy.GetPort(), reply, "", "", kPatient,
                               nullptr);
    socket.Close();
    ASSERT_TRUE(proxy.WaitServed(1));
    EXPECT_EQ(proxy.GetRequest(), "CONNECT example.com:80 HTTP/1.0\r\n"
                                  "Proxy-authorization: Basic Og==\r\n\r\n");

    // No login at all: no credentials line.
    socket.Create();
    socket.ConnectViaHttpProxy("example.com", 8443, kLocal, proxy.GetPort(), reply, nullptr,
                               nullptr, kPatient, "Agent");
    socket.Close();
    ASSERT_TRUE(proxy.WaitServed(2));
    EXPECT_EQ(proxy.GetRequest(), "CONNECT example.com:8443 HTTP/1.0\r\nUser-Agent: Agent\r\n\r\n");

    // Long credentials are not cut.
    std::string user(1500, 'u');
    socket.Create();
    socket.ConnectViaHttpProxy("h", 1, kLocal, proxy.GetPort(), reply, user.c_str(), "p", kPatient,
                               nullptr);
    socket.Close();
    ASSERT_TRUE(proxy.WaitServed(3));
    CBase64 base64;
    base64.EncodeString((user + ":p").c_str());
    EXPECT_NE(proxy.GetRequest().find(std::string("Basic ") + base64.GetEncoded() + "\r\n"),
              std::string::npos);
}

TEST(SocketTest, HttpTunnelRefusalsCloseTheSocket)
{
    struct Case
    {
        const char* what;
        CMockHttpProxy::Options options;
        const char* password;
        DWORD code;
        // The head read before the refusal still reaches the reply output.
        const char* replyStart;
    };
    CMockHttpProxy::Options wrongLogin;
    wrongLogin.credentials = "user:pass";
    CMockHttpProxy::Options status407;
    status407.reply = "HTTP/1.0 407 Proxy Authentication Required\r\n\r\n";
    CMockHttpProxy::Options silent;
    silent.silent = true;
    CMockHttpProxy::Options early;
    early.closeAfter = 20;
    CMockHttpProxy::Options noStatus;
    noStatus.reply = "garbage\r\n\r\n";
    Case cases[] = {{"wrong credentials", wrongLogin, "wrong", 1225, "HTTP/1.0 407 "},
                    {"status 407", status407, "pass", 1225, "HTTP/1.0 407 "},
                    {"silent proxy", silent, "pass", 10060, nullptr},
                    {"closes mid-reply", early, "pass", 1226, nullptr},
                    {"no status", noStatus, "pass", 1225, "garbage\r\n\r\n"}};
    for (Case& c : cases)
    {
        CMockHttpProxy proxy(c.options);
        CTcpSocket socket;
        socket.Create();
        CString reply;
        DWORD timeout = c.code == 10060 ? 300 : kPatient;
        EXPECT_EQ(SocketError(
                      [&]
                      {
                          socket.ConnectViaHttpProxy("h", 443, kLocal, proxy.GetPort(), reply,
                                                     "user", c.password, timeout, nullptr);
                      }),
                  c.code)
            << c.what;
        EXPECT_EQ(socket.GetHandle(), INVALID_SOCKET) << c.what;
        if (c.replyStart != nullptr)
        {
            EXPECT_EQ(std::string(reply).rfind(c.replyStart, 0), 0u) << c.what;
        }
    }

    // A proxy that is not there.
    CTcpSocket socket;
    socket.Create();
    CString reply;
    EXPECT_EQ(SocketError(
                  [&]
                  {
                      socket.ConnectViaHttpProxy("h", 443, kLocal, UnusedPort(), reply, nullptr,
                                                 nullptr, kPatient, nullptr);
                  }),
              10061u);
    EXPECT_EQ(socket.GetHandle(), INVALID_SOCKET);
}

TEST(SocketTest, HttpTunnelEndsAnEndlessHead)
{
    // Read byte by byte, 64 KiB of head take a while under Wine.
    CMockHttpProxy::Options endless;
    endless.reply = std::string(70 * 1024, 'a') + "\r\n\r\n";
    endless.piece = endless.reply.size();
    CMockHttpProxy proxy(endless);
    CTcpSocket socket;
    socket.Create();
    CString reply;
    EXPECT_EQ(SocketError(
                  [&]
                  {
                      socket.ConnectViaHttpProxy("h", 443, kLocal, proxy.GetPort(), reply, nullptr,
                                                 nullptr, kPatient, nullptr);
                  }),
              1225u);
    EXPECT_EQ(socket.GetHandle(), INVALID_SOCKET);
}

// --- SOCKS5 ------------------------------------------------------------------

TEST(SocketTest, Socks5WithoutLoginConnectsToADottedAddress)
{
    CMockSocks5Proxy::Options options;
    options.echo = true;
    CMockSocks5Proxy proxy(options);
    CTcpSocket socket;
    socket.Create();
    socket.ConnectViaSocks5("10.1.2.3", 8080, kLocal, proxy.GetPort(), nullptr, nullptr, kPatient);
    socket.Send("through", 7);
    EXPECT_EQ(ReceiveSome(socket, 7), "through");
    socket.Close();
    ASSERT_TRUE(proxy.WaitServed());
    EXPECT_EQ(proxy.GetGreeting(), Bytes({5, 1, 0}));
    EXPECT_EQ(proxy.GetAuth(), "");
    EXPECT_EQ(proxy.GetRequest(), Bytes({5, 1, 0, 1, 10, 1, 2, 3, 0x1F, 0x90}));
    EXPECT_EQ(proxy.GetTunnelData(), "through");
}

TEST(SocketTest, Socks5WithLoginAuthenticatesAndNamesTheHost)
{
    CMockSocks5Proxy::Options options;
    options.requireAuth = true;
    options.user = "user";
    options.password = "pass";
    // A bound name of length 10 in pieces of 4, 1 and 12 bytes, the last
    // with one byte of tunnel data after the 17 of the reply.
    options.connectReply = Socks5Reply(0, 3, "proxy.test") + "!";
    options.pieces = {4, 1, 12};
    CMockSocks5Proxy proxy(options);

    CTcpSocket socket;
    socket.Create();
    socket.ConnectViaSocks5("example.com", 443, kLocal, proxy.GetPort(), "user", "pass", kPatient);
    EXPECT_EQ(ReceiveSome(socket, 1), "!");
    socket.Close();
    ASSERT_TRUE(proxy.WaitServed());
    EXPECT_EQ(proxy.GetGreeting(), Bytes({5, 2, 0, 2}));
    EXPECT_EQ(proxy.GetAuth(), Bytes({1, 4}) + "user" + Bytes({4}) + "pass");
    EXPECT_EQ(proxy.GetRequest(), Bytes({5, 1, 0, 3, 11}) + "example.com" + Bytes({1, 0xBB}));
}

TEST(SocketTest, Socks5EmptyLoginOffersBothMethods)
{
    CMockSocks5Proxy::Options options;
    options.requireAuth = true;
    CMockSocks5Proxy proxy(options);
    CTcpSocket socket;
    socket.Create();
    socket.ConnectViaSocks5("h", 80, kLocal, proxy.GetPort(), "", nullptr, kPatient);
    socket.Close();
    ASSERT_TRUE(proxy.WaitServed());
    EXPECT_EQ(proxy.GetGreeting(), Bytes({5, 2, 0, 2}));
    EXPECT_EQ(proxy.GetAuth(), Bytes({1, 0, 0}));
}

TEST(SocketTest, Socks5AcceptsAnIpv6BoundAddress)
{
    CMockSocks5Proxy::Options options;
    options.connectReply = Socks5Reply(0, 4, std::string(16, '\x01')) + "6";
    options.pieces = {3, 19};
    CMockSocks5Proxy proxy(options);
    CTcpSocket socket;
    socket.Create();
    socket.ConnectViaSocks5("h", 80, kLocal, proxy.GetPort(), nullptr, nullptr, kPatient);
    EXPECT_EQ(ReceiveSome(socket, 1), "6");
}

TEST(SocketTest, Socks5FailuresCarryTheirCodesAndCloseTheSocket)
{
    struct Case
    {
        const char* what;
        CMockSocks5Proxy::Options options;
        const char* login;
        const char* password;
        std::string target;
        DWORD code;
    };
    CMockSocks5Proxy::Options needsAuth;
    needsAuth.requireAuth = true;
    needsAuth.user = "user";
    needsAuth.password = "pass";
    CMockSocks5Proxy::Options forcedAuth;
    forcedAuth.method = 2;
    CMockSocks5Proxy::Options hostUnreachable;
    hostUnreachable.connectReply = Socks5Reply(5, 1, Bytes({0, 0, 0, 0}));
    CMockSocks5Proxy::Options badType;
    badType.connectReply = Socks5Reply(0, 5, Bytes({0, 0, 0, 0}));
    CMockSocks5Proxy::Options silent;
    silent.silentAfter = CMockSocks5Proxy::Stage::Greeting;
    CMockSocks5Proxy::Options silentRequest;
    silentRequest.silentAfter = CMockSocks5Proxy::Stage::Request;
    CMockSocks5Proxy::Options earlyMethod;
    earlyMethod.closeIn = CMockSocks5Proxy::Stage::Greeting;
    earlyMethod.closeAfter = 1;
    CMockSocks5Proxy::Options earlyReply;
    earlyReply.closeIn = CMockSocks5Proxy::Stage::Request;
    earlyReply.closeAfter = 6;
    CMockSocks5Proxy::Options earlyName;
    earlyName.connectReply = Socks5Reply(0, 3, "abc");
    earlyName.closeIn = CMockSocks5Proxy::Stage::Request;
    earlyName.closeAfter = 4;
    std::string longText(256, 'n');

    Case cases[] = {
        {"no acceptable method", needsAuth, nullptr, nullptr, "h", 10061},
        {"user/password without a login", forcedAuth, nullptr, nullptr, "h", 10061},
        {"wrong password", needsAuth, "user", "wrong", "h", 5},
        {"user name of 256 bytes", needsAuth, longText.c_str(), "pass", "h", 87},
        {"password of 256 bytes", needsAuth, "user", longText.c_str(), "h", 87},
        {"host name of 256 bytes", CMockSocks5Proxy::Options{}, nullptr, nullptr, longText, 87},
        {"REP 5", hostUnreachable, nullptr, nullptr, "h", 58},
        {"address type 5", badType, nullptr, nullptr, "h", 87},
        {"silent after the greeting", silent, nullptr, nullptr, "h", 10060},
        {"silent after the request", silentRequest, nullptr, nullptr, "h", 10060},
        {"closes in the method reply", earlyMethod, nullptr, nullptr, "h", 1226},
        {"closes in the connect reply", earlyReply, nullptr, nullptr, "h", 1226},
        {"closes before the name length", earlyName, nullptr, nullptr, "h", 1226},
    };
    for (Case& c : cases)
    {
        CMockSocks5Proxy proxy(c.options);
        CTcpSocket socket;
        socket.Create();
        DWORD timeout = c.code == 10060 ? 300 : kPatient;
        EXPECT_EQ(SocketError(
                      [&]
                      {
                          socket.ConnectViaSocks5(c.target.c_str(), 80, kLocal, proxy.GetPort(),
                                                  c.login, c.password, timeout);
                      }),
                  c.code)
            << c.what;
        EXPECT_EQ(socket.GetHandle(), INVALID_SOCKET) << c.what;
        ASSERT_TRUE(proxy.WaitServed()) << c.what;
        // Over-long texts are refused before they are sent.
        if (c.code == 87 && c.options.connectReply.empty())
        {
            EXPECT_EQ(proxy.GetAuth() + proxy.GetRequest(), "") << c.what;
        }
    }
}
