#include "app/SupportForm.h"

#include "tests/support/LoopbackServer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>

using namespace loopback;

namespace
{
// No proxy: the form connects directly.
class NoProxy : public IProxySettings
{
public:
    BOOL ReadString(const CString&, CString&) const override { return FALSE; }
    BOOL ReadDword(const CString&, DWORD&) const override { return FALSE; }
};

// The English texts: a language file that does not exist.
CIni& English()
{
    static CIni none("C:\\bwtest\\no such language.ini");
    return none;
}

// Points the form at a loopback port for the test's life.
class SupportServerAt
{
public:
    explicit SupportServerAt(u_short port) { SetSupportServerForTests("127.0.0.1", port); }
    ~SupportServerAt() { SetSupportServerForTests(nullptr, 0); }
};

SupportFormFields Filled(const char* attachment = "")
{
    SupportFormFields fields;
    fields.email = "ann@example.com";
    fields.name = "Ann O'Neil";
    fields.description = "The backup stops at 40%.";
    fields.attachment = attachment;
    return fields;
}

void ExpectKept(const SupportFormFields& fields, const char* attachment)
{
    EXPECT_STREQ(fields.email, "ann@example.com");
    EXPECT_STREQ(fields.name, "Ann O'Neil");
    EXPECT_STREQ(fields.description, "The backup stops at 40%.");
    EXPECT_STREQ(fields.attachment, attachment);
}

// The offset of the part named `name` in a multipart body, npos when absent.
size_t PartAt(const std::string& body, const std::string& name)
{
    return body.find("content-disposition: form-data; name=\"" + name + "\"");
}

std::string WriteFile(const TempFolder& folder, const char* name, size_t size)
{
    std::string path = static_cast<const char*>(folder / name);
    FILE* file = fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file == nullptr)
        return path;
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>('a' + i % 26);
    for (size_t written = 0; written < size; written += block.size())
        fwrite(block.data(), 1, std::min(block.size(), size - written), file);
    fclose(file);
    return path;
}
} // namespace

TEST(SupportFormTest, TheServerIsTheMakersUnlessATestMovesIt)
{
    EXPECT_STREQ(GetSupportHost(), "www.orvanel.com");
    EXPECT_EQ(GetSupportPort(), 80);
    {
        SupportServerAt local(4321);
        EXPECT_STREQ(GetSupportHost(), "127.0.0.1");
        EXPECT_EQ(GetSupportPort(), 4321);
    }
    EXPECT_STREQ(GetSupportHost(), "www.orvanel.com");
}

TEST(SupportFormTest, IncompleteFormSendsNothing)
{
    CLoopbackServer server([](SOCKET client) { ReceiveUntilClosed(client); });
    SupportServerAt local(server.GetPort());
    SupportFormFields fields = Filled();
    fields.email = "ann.example.com";
    EXPECT_EQ(SendSupportForm(fields, "1.0.0.0", NoProxy()), SupportFormResult::Incomplete);
    EXPECT_STREQ(fields.email, "ann.example.com");
    EXPECT_STREQ(fields.name, "Ann O'Neil");
    Sleep(200);
    EXPECT_EQ(server.GetAcceptedCount(), 0);
    EXPECT_STREQ(SupportFormMessage(English(), SupportFormResult::Incomplete),
                 "Please fill in all required fields.");
}

TEST(SupportFormTest, ValidFormPostsTheFieldsInOrderWithTheLog)
{
    TempFolder folder("support");
    std::string log = static_cast<const char*>(folder / "LogFile_2026-12-09.txt");
    ASSERT_TRUE(WriteTextFile(log.c_str(), "line one\r\nline two\r\n"));
    std::string received;
    CLoopbackServer server([&received](SOCKET client) { received = ReceiveUntilClosed(client); });
    SupportServerAt local(server.GetPort());

    SupportFormFields fields = Filled(log.c_str());
    ASSERT_EQ(SendSupportForm(fields, "1.2.3.4", NoProxy()), SupportFormResult::Sent);
    ASSERT_TRUE(server.WaitServed(1));

    EXPECT_EQ(received.rfind("POST /support/support_en.php HTTP/1.", 0), 0u) << received;
    size_t bodyAt = received.find("\r\n\r\n");
    ASSERT_NE(bodyAt, std::string::npos);
    EXPECT_NE(received.substr(0, bodyAt).find("multipart/form-data; boundary="),
              std::string::npos);
    std::string body = received.substr(bodyAt + 4);
    size_t email = PartAt(body, "email"), name = PartAt(body, "name"),
           description = PartAt(body, "description"), version = PartAt(body, "year_ver"),
           file = PartAt(body, "filelog");
    ASSERT_NE(email, std::string::npos);
    ASSERT_NE(file, std::string::npos);
    EXPECT_LT(email, name);
    EXPECT_LT(name, description);
    EXPECT_LT(description, version);
    EXPECT_LT(version, file);
    EXPECT_NE(body.find("\r\n\r\nann@example.com\r\n", email), std::string::npos);
    EXPECT_NE(body.find("\r\n\r\nAnn O'Neil\r\n", name), std::string::npos);
    EXPECT_NE(body.find("\r\n\r\n1.2.3.4\r\n", version), std::string::npos);
    EXPECT_NE(body.find("content-type: application/octet-stream", file), std::string::npos)
        << body.substr(file, 200);
    EXPECT_NE(body.find("\r\n\r\nline one\r\nline two\r\n\r\n", file), std::string::npos);

    // Sent: the form is emptied for the next message.
    EXPECT_TRUE(fields.email.IsEmpty());
    EXPECT_TRUE(fields.name.IsEmpty());
    EXPECT_TRUE(fields.description.IsEmpty());
    EXPECT_TRUE(fields.attachment.IsEmpty());
    EXPECT_STREQ(SupportFormMessage(English(), SupportFormResult::Sent), "Message sucessfully sent.");
}

TEST(SupportFormTest, RefusedConnectionKeepsTheFields)
{
    SupportServerAt nobody(UnusedPort());
    SupportFormFields fields = Filled();
    EXPECT_EQ(SendSupportForm(fields, "1.0.0.0", NoProxy()), SupportFormResult::NotSent);
    ExpectKept(fields, "");
    EXPECT_STREQ(SupportFormMessage(English(), SupportFormResult::NotSent), "Message was not sent.");
}

TEST(SupportFormTest, ServerDroppingDuringABigAttachmentIsNotSent)
{
    TempFolder folder("support");
    std::string big = WriteFile(folder, "big.log", 32u << 20);
    // Reads the head and a little of the body, then goes away.
    CLoopbackServer rude(
        [](SOCKET client)
        {
            std::string head;
            ReceiveUntil(client, head, "\r\n\r\n");
            std::string some;
            ReceiveExactly(client, some, 4096);
        });
    SupportServerAt local(rude.GetPort());
    SupportFormFields fields = Filled(big.c_str());
    EXPECT_EQ(SendSupportForm(fields, "1.0.0.0", NoProxy()), SupportFormResult::NotSent);
    ExpectKept(fields, big.c_str());
}

TEST(SupportFormTest, AServerThatStopsReadingEndsTheSendAtTheLimit)
{
    TempFolder folder("support");
    std::string big = WriteFile(folder, "big.log", 32u << 20);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> reading{false};
    std::atomic<bool> letGo{false};
    {
        // Takes the head, then reads nothing until the test lets it go.
        CLoopbackServer stalled(
            [&](SOCKET client)
            {
                std::string head;
                ReceiveUntil(client, head, "\r\n\r\n");
                reading = true;
                WaitForSingleObject(release, 120000);
                letGo = true;
            });
        SetSupportServerForTests("127.0.0.1", stalled.GetPort(), 1000);
        SupportFormFields fields = Filled(big.c_str());
        EXPECT_EQ(SendSupportForm(fields, "1.0.0.0", NoProxy()), SupportFormResult::NotSent);
        // The form gave up by itself: the server still holds the connection.
        EXPECT_TRUE(reading.load());
        EXPECT_FALSE(letGo.load());
        ExpectKept(fields, big.c_str());
        SetSupportServerForTests(nullptr, 0);
        SetEvent(release);
    }
    CloseHandle(release);
}
