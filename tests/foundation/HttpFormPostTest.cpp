#include "foundation/HttpFormPost.h"

#include "tests/support/LoopbackServer.h"
#include "tests/support/MockProxy.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

static_assert(!std::is_copy_constructible_v<HttpFormPost>, "the poster owns its socket");

using namespace loopback;

namespace
{
const char* kLocal = "127.0.0.1";

class CFakeProxySettings : public IProxySettings
{
public:
    std::map<std::string, std::string> strings;
    std::map<std::string, DWORD> numbers;

    BOOL ReadString(const CString& name, CString& value) const override
    {
        auto it = strings.find(static_cast<const char*>(name));
        if (it == strings.end())
            return FALSE;
        value = it->second.c_str();
        return TRUE;
    }
    BOOL ReadDword(const CString& name, DWORD& value) const override
    {
        auto it = numbers.find(static_cast<const char*>(name));
        if (it == numbers.end())
            return FALSE;
        value = it->second;
        return TRUE;
    }
};

// Writes (or with mode "ab" appends) bytes that may hold zeros.
std::string WriteBytes(const TempFolder& folder, const char* name, const std::string& bytes,
                       const char* mode = "wb")
{
    std::string path = static_cast<const char*>(folder / name);
    FILE* file = fopen(path.c_str(), mode);
    EXPECT_NE(file, nullptr) << path;
    if (file != nullptr)
    {
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
    return path;
}

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return bytes;
}

// A request as the server saw it.
struct Request
{
    std::string line;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    std::string Header(const std::string& name) const
    {
        for (const auto& header : headers)
            if (header.first == name)
                return header.second;
        return "<missing>";
    }
};

Request Parse(const std::string& raw)
{
    Request request;
    size_t end = raw.find("\r\n\r\n");
    EXPECT_NE(end, std::string::npos) << "no end of head";
    if (end == std::string::npos)
        return request;
    std::string head = raw.substr(0, end + 2);
    request.body = raw.substr(end + 4);
    size_t at = head.find("\r\n");
    request.line = head.substr(0, at);
    for (at += 2; at < head.size();)
    {
        size_t next = head.find("\r\n", at);
        std::string header = head.substr(at, next - at);
        size_t colon = header.find(": ");
        request.headers.emplace_back(header.substr(0, colon), header.substr(colon + 2));
        at = next + 2;
    }
    return request;
}

struct Part
{
    std::string headers;
    std::string content;
};

// Splits a multipart body at its boundary; every part must be framed
// exactly, and the closing line must end the body.
std::vector<Part> ParseMultipart(const std::string& body, const std::string& boundary)
{
    std::vector<Part> parts;
    const std::string delimiter = "--" + boundary;
    EXPECT_EQ(body.compare(0, delimiter.size(), delimiter), 0) << "body starts with the boundary";
    size_t at = delimiter.size();
    while (at < body.size())
    {
        if (body.compare(at, 4, "--\r\n") == 0)
        {
            EXPECT_EQ(at + 4, body.size()) << "nothing after the closing line";
            return parts;
        }
        EXPECT_EQ(body.compare(at, 2, "\r\n"), 0);
        size_t headEnd = body.find("\r\n\r\n", at + 2);
        size_t next = body.find("\r\n" + delimiter, headEnd);
        if (headEnd == std::string::npos || next == std::string::npos)
        {
            ADD_FAILURE() << "unterminated part";
            return parts;
        }
        parts.push_back({body.substr(at + 2, headEnd + 2 - at - 2),
                         body.substr(headEnd + 4, next - headEnd - 4)});
        at = next + 2 + delimiter.size();
    }
    ADD_FAILURE() << "no closing line";
    return parts;
}

std::string BoundaryOf(const Request& request)
{
    const std::string prefix = "multipart/form-data; boundary=";
    std::string type = request.Header("Content-type");
    EXPECT_EQ(type.compare(0, prefix.size(), prefix), 0) << type;
    std::string boundary = type.substr(prefix.size());
    EXPECT_TRUE(std::regex_match(boundary, std::regex("----[A-Za-z0-9]{12}"))) << boundary;
    return boundary;
}

// A target that keeps everything it is sent until the poster lets go.
struct CaptureServer
{
    std::string received;
    CLoopbackServer server{[this](SOCKET client) { received = ReceiveUntilClosed(client); }};
};

CFakeProxySettings Direct()
{
    return CFakeProxySettings{};
}
} // namespace

TEST(HttpFormPostTest, UrlEncodeKeepsOnlyAsciiLettersAndDigits)
{
    EXPECT_STREQ(HttpFormPost::UrlEncode("x y"), "x+y");
    EXPECT_STREQ(HttpFormPost::UrlEncode("1&2"), "1%262");
    EXPECT_STREQ(HttpFormPost::UrlEncode("azAZ09"), "azAZ09");
    EXPECT_STREQ(HttpFormPost::UrlEncode("-_.~/"), "%2D%5F%2E%7E%2F");
    // Bytes above 127 are encoded as the unsigned byte.
    EXPECT_STREQ(HttpFormPost::UrlEncode("caf\xe9\xff"), "caf%E9%FF");
    EXPECT_STREQ(HttpFormPost::UrlEncode("\r\n"), "%0D%0A");
    EXPECT_TRUE(HttpFormPost::UrlEncode("").IsEmpty());
}

TEST(HttpFormPostTest, UrlEncodedFormIsSentExactly)
{
    CaptureServer target;
    {
        HttpFormPost post("127.0.0.1", "/p", target.server.GetPort());
        post.AddHeader("X-Test", "1");
        post.AddField("a", "x y");
        post.AddField("b", "1&2");
        ASSERT_TRUE(post.Connect(Direct()));
        EXPECT_TRUE(post.Submit());
    }
    ASSERT_TRUE(target.server.WaitServed(1));
    EXPECT_EQ(target.received, "POST /p HTTP/1.1\r\n"
                               "X-Test: 1\r\n"
                               "Host: 127.0.0.1\r\n"
                               "User-agent: ORVANEL Brindlewox\r\n"
                               "Accept: text/html, text/plain, */*;q=0.01\r\n"
                               "Connection: close\r\n"
                               "Content-type: application/x-www-form-urlencoded\r\n"
                               "Content-length: 13\r\n"
                               "\r\n"
                               "a=x+y&b=1%262");
}

TEST(HttpFormPostTest, MissingFileKeepsTheUrlEncodedForm)
{
    CaptureServer target;
    {
        HttpFormPost post("127.0.0.1", "/p", target.server.GetPort());
        post.AddField("name", "caf\xe9");
        post.AddFile("filelog", "C:\\bwtest\\no such folder\\missing.txt", "text/plain");
        ASSERT_TRUE(post.Connect(Direct()));
        EXPECT_TRUE(post.Submit());
    }
    ASSERT_TRUE(target.server.WaitServed(1));
    Request request = Parse(target.received);
    EXPECT_EQ(request.Header("Content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.body, "name=caf%E9");
    EXPECT_EQ(request.Header("Content-length"), "11");
}

TEST(HttpFormPostTest, MultipartBodyParsesBackToFieldsAndFile)
{
    TempFolder folder("formpost");
    std::string bytes = Pattern(4500);
    std::string path = WriteBytes(folder, "log file.txt", bytes);
    CaptureServer target;
    {
        HttpFormPost post("127.0.0.1", "/support/support_en.php", target.server.GetPort());
        post.AddField("email", "a@b.c");
        post.AddField("name", "N \"quoted\"");
        post.AddField("description", "line 1\r\nline 2");
        post.AddField("year_ver", "2009");
        post.AddFile("filelog", path.c_str(), "application/octet-stream");
        ASSERT_TRUE(post.Connect(Direct()));
        EXPECT_TRUE(post.Submit());
    }
    ASSERT_TRUE(target.server.WaitServed(1));
    Request request = Parse(target.received);
    EXPECT_EQ(request.line, "POST /support/support_en.php HTTP/1.1");
    EXPECT_EQ(request.Header("Content-length"), std::to_string(request.body.size()));
    std::vector<Part> parts = ParseMultipart(request.body, BoundaryOf(request));
    ASSERT_EQ(parts.size(), 5u);
    const char* names[] = {"email", "name", "description", "year_ver"};
    const char* values[] = {"a@b.c", "N \"quoted\"", "line 1\r\nline 2", "2009"};
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(parts[i].headers,
                  std::string("content-disposition: form-data; name=\"") + names[i] + "\"\r\n");
        EXPECT_EQ(parts[i].content, values[i]);
    }
    EXPECT_EQ(parts[4].headers, "content-disposition: form-data; name=\"filelog\"; filename=\"" +
                                    path + "\"\r\ncontent-type: application/octet-stream\r\n");
    EXPECT_TRUE(parts[4].content == bytes) << "file bytes differ";
}

TEST(HttpFormPostTest, ContentLengthFollowsTheFileAsSubmitted)
{
    TempFolder folder("formpost");
    std::string grown = WriteBytes(folder, "grown.log", Pattern(1000));
    std::string gone = WriteBytes(folder, "gone.log", Pattern(300));
    CaptureServer target;
    {
        HttpFormPost post("127.0.0.1", "/p", target.server.GetPort());
        post.AddField("f", "v");
        post.AddFile("first", grown.c_str(), "text/plain");
        post.AddFile("second", gone.c_str(), "text/plain");
        // The log grows after it was attached, and the other file goes.
        WriteBytes(folder, "grown.log", "appended", "ab");
        ASSERT_TRUE(DeleteFileA(gone.c_str()));
        ASSERT_TRUE(post.Connect(Direct()));
        EXPECT_TRUE(post.Submit());
    }
    ASSERT_TRUE(target.server.WaitServed(1));
    Request request = Parse(target.received);
    EXPECT_EQ(request.Header("Content-length"), std::to_string(request.body.size()));
    std::vector<Part> parts = ParseMultipart(request.body, BoundaryOf(request));
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].content, "v");
    EXPECT_NE(parts[1].headers.find("name=\"first\""), std::string::npos);
    EXPECT_TRUE(parts[1].content == Pattern(1000) + "appended");
}

TEST(HttpFormPostTest, ConnectFailuresWriteNothing)
{
    CaptureServer target;
    CLoopbackServer proxy([](SOCKET client) { ReceiveUntilClosed(client); });

    // An unknown proxy type connects nowhere.
    CFakeProxySettings unknownType;
    unknownType.strings["ProxyHost"] = kLocal;
    unknownType.numbers["ProxyPort"] = proxy.GetPort();
    unknownType.numbers["ProxyType"] = 2;
    HttpFormPost post("127.0.0.1", "/p", target.server.GetPort());
    post.AddField("a", "b");
    EXPECT_FALSE(post.Connect(unknownType));
    EXPECT_FALSE(post.Submit());

    // A SOCKS5 proxy that refuses the connection.
    CFakeProxySettings refusing;
    refusing.strings["ProxyHost"] = kLocal;
    refusing.numbers["ProxyPort"] = UnusedPort();
    refusing.numbers["ProxyType"] = 1;
    EXPECT_FALSE(post.Connect(refusing));
    EXPECT_FALSE(post.Submit());

    // Never connected at all.
    HttpFormPost idle("127.0.0.1", "/p", target.server.GetPort());
    EXPECT_FALSE(idle.Submit());

    // A target that refuses.
    HttpFormPost refused("127.0.0.1", "/p", UnusedPort());
    EXPECT_FALSE(refused.Connect(Direct()));
    EXPECT_FALSE(refused.Submit());

    Sleep(100);
    EXPECT_EQ(proxy.GetAcceptedCount(), 0);
    EXPECT_EQ(target.server.GetAcceptedCount(), 0);
}

TEST(HttpFormPostTest, EmptyProxyHostConnectsDirectly)
{
    CaptureServer target;
    CFakeProxySettings settings;
    settings.strings["ProxyHost"] = "";
    settings.numbers["ProxyType"] = 1;
    settings.numbers["ProxyPort"] = UnusedPort();
    {
        HttpFormPost post("127.0.0.1", "/p", target.server.GetPort());
        post.AddField("a", "b");
        ASSERT_TRUE(post.Connect(settings));
        EXPECT_TRUE(post.Submit());
    }
    ASSERT_TRUE(target.server.WaitServed(1));
    EXPECT_EQ(Parse(target.received).body, "a=b");
}

TEST(HttpFormPostTest, PostsThroughAnHttpProxy)
{
    CMockHttpProxy::Options options;
    options.credentials = "user:pass";
    CMockHttpProxy proxy(options);
    CFakeProxySettings settings;
    settings.strings["ProxyHost"] = kLocal;
    settings.numbers["ProxyPort"] = proxy.GetPort();
    settings.strings["ProxyLogin"] = "user";
    settings.strings["ProxyPassword"] = "pass";
    {
        HttpFormPost post("support.example", "/support/support_en.php");
        post.AddField("email", "e");
        ASSERT_TRUE(post.Connect(settings));
        EXPECT_TRUE(post.Submit());
    }
    ASSERT_TRUE(proxy.WaitServed());
    EXPECT_EQ(proxy.GetRequest(), "CONNECT support.example:80 HTTP/1.0\r\n"
                                  "Proxy-authorization: Basic dXNlcjpwYXNz\r\n"
                                  "User-Agent: ORVANEL Brindlewox Update\r\n\r\n");
    Request request = Parse(proxy.GetTunnelData());
    EXPECT_EQ(request.line, "POST /support/support_en.php HTTP/1.1");
    EXPECT_EQ(request.Header("Host"), "support.example");
    EXPECT_EQ(request.body, "email=e");

    // Without a login in the settings the empty texts still go out.
    CMockHttpProxy open(CMockHttpProxy::Options{});
    settings.strings.erase("ProxyLogin");
    settings.strings.erase("ProxyPassword");
    settings.numbers["ProxyPort"] = open.GetPort();
    {
        HttpFormPost post("support.example", "/p");
        ASSERT_TRUE(post.Connect(settings));
    }
    ASSERT_TRUE(open.WaitServed());
    EXPECT_NE(open.GetRequest().find("Proxy-authorization: Basic Og==\r\n"), std::string::npos);
}

TEST(HttpFormPostTest, PostsMultipartThroughSocks5)
{
    TempFolder folder("formpost");
    std::string bytes = Pattern(4500);
    std::string path = WriteBytes(folder, "support.log", bytes);
    CMockSocks5Proxy::Options options;
    options.requireAuth = true;
    options.user = "user";
    options.password = "secret";
    CMockSocks5Proxy proxy(options);
    CFakeProxySettings settings;
    settings.strings["ProxyHost"] = kLocal;
    settings.numbers["ProxyPort"] = proxy.GetPort();
    settings.numbers["ProxyType"] = 1;
    settings.strings["ProxyLogin"] = "user";
    settings.strings["ProxyPassword"] = "secret";
    {
        HttpFormPost post("support.example", "/support/support_en.php");
        post.AddField("email", "e");
        post.AddFile("filelog", path.c_str(), "application/octet-stream");
        ASSERT_TRUE(post.Connect(settings));
        EXPECT_TRUE(post.Submit());
    }
    ASSERT_TRUE(proxy.WaitServed());
    std::string expectedRequest("\x05\x01\x00\x03\x0f", 5);
    expectedRequest += "support.example";
    expectedRequest += std::string("\x00\x50", 2);
    EXPECT_EQ(proxy.GetRequest(), expectedRequest);
    Request request = Parse(proxy.GetTunnelData());
    EXPECT_EQ(request.Header("Content-length"), std::to_string(request.body.size()));
    std::vector<Part> parts = ParseMultipart(request.body, BoundaryOf(request));
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].content, "e");
    EXPECT_TRUE(parts[1].content == bytes) << "file bytes differ";
}

TEST(HttpFormPostTest, ServerClosingMidFileMakesSubmitFail)
{
    TempFolder folder("formpost");
    std::string path = WriteBytes(folder, "big.log", Pattern(16 * 1024 * 1024));
    // Reads the head only, then drops the connection with the body unread.
    CLoopbackServer rude(
        [](SOCKET client)
        {
            std::string head;
            ReceiveUntil(client, head, "\r\n\r\n");
        });
    HttpFormPost post("127.0.0.1", "/p", rude.GetPort());
    post.AddFile("filelog", path.c_str(), "application/octet-stream");
    ASSERT_TRUE(post.Connect(Direct()));
    BOOL result = TRUE;
    EXPECT_NO_THROW(result = post.Submit());
    EXPECT_FALSE(result);
}
