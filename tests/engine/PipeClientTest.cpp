#include "engine/PipeClient.h"
#include "foundation/Sync.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/ServiceInThisProcess.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace
{
constexpr DWORD kSettingsSize = 30740;
constexpr DWORD kQueueSize = 15428;

// A byte image built from literal offsets, to hold what a sender wrote
// against.
class Image
{
public:
    explicit Image(size_t size) : m_bytes(size, '\0') {}
    Image& U32(size_t offset, uint32_t value)
    {
        WriteU32(m_bytes, offset, value);
        return *this;
    }
    Image& Text(size_t offset, const std::string& text)
    {
        m_bytes.replace(offset, text.size(), text);
        return *this;
    }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

// Empty when the two images are equal, else where they first differ.
std::string Difference(const std::string& actual, const Image& expected)
{
    const std::string& wanted = expected.Bytes();
    if (actual.size() != wanted.size())
        return std::to_string(actual.size()) + " bytes instead of " + std::to_string(wanted.size());
    for (size_t i = 0; i < actual.size(); ++i)
    {
        if (actual[i] != wanted[i])
        {
            return "offset " + std::to_string(i) + " holds " +
                   std::to_string(static_cast<unsigned char>(actual[i])) + " instead of " +
                   std::to_string(static_cast<unsigned char>(wanted[i]));
        }
    }
    return std::string();
}

// A reply of the service's kind carrying a stamp text in text1.
CFakePipeServer::Responder StampReply(uint32_t result, const std::string& text1)
{
    return [=](const std::string& request)
    {
        std::string reply = StatusReply(result, kQueueSize)(request);
        reply.replace(16, text1.size(), text1);
        return reply;
    };
}

// The status alone, without the result behind it.
CFakePipeServer::Responder ShortReply()
{
    return [](const std::string&)
    {
        std::string reply;
        WriteU32(reply, 0, 100);
        return reply;
    };
}

ULONGLONG Since(ULONGLONG start)
{
    return ::GetTickCount64() - start;
}

// A manual-reset event, set from another thread after a delay.
class CDelayedStop
{
public:
    explicit CDelayedStop(DWORD delayMs)
    {
        m_event.Attach(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        m_thread = std::thread(
            [this, delayMs]
            {
                ::Sleep(delayMs);
                ::SetEvent(m_event.GetHandle());
            });
    }
    ~CDelayedStop() { m_thread.join(); }
    HANDLE Handle() const { return m_event.GetHandle(); }

private:
    CEvent m_event;
    std::thread m_thread;
};

// A client of the test's own that holds a pipe's one instance.
class CInstanceHolder
{
public:
    explicit CInstanceHolder(const std::string& pipeName)
    {
        EXPECT_TRUE(::WaitNamedPipeA(pipeName.c_str(), 30000));
        m_pipe.Attach(::CreateFileA(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(m_pipe.IsOpen());
    }
    void Release() { m_pipe.Close(); }
    HANDLE Handle() const { return m_pipe.GetHandle(); }

private:
    CFile m_pipe;
};

class PipeClientTest : public ::testing::Test
{
protected:
    // The test's own servers stand in for the service.
    CServiceInThisProcess m_serviceHere;

    void SetUp() override
    {
        // Names of this test program alone: a service running in the same
        // Wine session, or another test, is never met.
        m_settings = UniquePipeName("settings");
        m_backup = UniquePipeName("backup");
        m_user = UniquePipeName("user");
        SetIpcPipeName(IpcPipe::Settings, m_settings.c_str());
        SetIpcPipeName(IpcPipe::Backup, m_backup.c_str());
        SetIpcPipeName(IpcPipe::User, m_user.c_str());
        for (int i = 0; i < static_cast<int>(PipeSender::Count); ++i)
            m_policies[i] = GetPipePolicy(static_cast<PipeSender>(i));
    }

    // The defaults again, for the tests that follow in the same process.
    void TearDown() override
    {
        for (int i = 0; i < static_cast<int>(PipeSender::Count); ++i)
            SetPipePolicy(static_cast<PipeSender>(i), m_policies[i]);
        SetIpcPipeName(IpcPipe::Settings, kSettingsPipeName);
        SetIpcPipeName(IpcPipe::Backup, kBackupPipeName);
        SetIpcPipeName(IpcPipe::User, kUserPipeName);
    }

    // Shortens a sender's limits so that a time-out takes a moment.
    static void Limit(PipeSender sender, DWORD attempts, DWORD waitMs, DWORD pauseMs,
                      DWORD exchangeMs)
    {
        PipePolicy policy = GetPipePolicy(sender);
        policy.attempts = attempts;
        policy.waitMs = waitMs;
        policy.pauseMs = pauseMs;
        policy.exchangeMs = exchangeMs;
        policy.exchangeMsPerMiB = 0;
        SetPipePolicy(sender, policy);
    }

    std::string m_settings;
    std::string m_backup;
    std::string m_user;
    PipePolicy m_policies[static_cast<int>(PipeSender::Count)];
};
// The server end as a second start may meet it: a program of this user in
// this session, of another user, or of this user in another session.
bool ServerOfThisUserAndSession(HANDLE, PipeServerProcess& server)
{
    server.processId = GetCurrentProcessId();
    server.sameUser = true;
    return ProcessIdToSessionId(server.processId, &server.sessionId) != FALSE;
}
bool ServerOfAnotherUser(HANDLE pipe, PipeServerProcess& server)
{
    const bool known = ServerOfThisUserAndSession(pipe, server);
    server.sameUser = false;
    return known;
}
bool ServerInAnotherSession(HANDLE pipe, PipeServerProcess& server)
{
    const bool known = ServerOfThisUserAndSession(pipe, server);
    ++server.sessionId;
    return known;
}
} // namespace

TEST_F(PipeClientTest, OneWaySettingsRequestsCarryEachFieldAtItsOffset)
{
    CFakePipeServer server(m_settings.c_str(), kSettingsSize);
    server.Answer(NoReply());

    EXPECT_TRUE(PipeSendProxySettings("proxy.example.com", 8080, "jo", "s3cret", 2));
    EXPECT_TRUE(PipeSendLanguage("Deutsch"));
    EXPECT_TRUE(PipeSendUserProfile("S-1-5-21-0-0-0-1000", "C:\\users\\jo\\Application Data"));
    ASSERT_TRUE(server.WaitRequests(3));

    const std::vector<std::string> requests = server.Requests();
    EXPECT_EQ("", Difference(requests[0], Image(kSettingsSize)
                                              .U32(0, 1)
                                              .Text(6156, "proxy.example.com")
                                              .U32(10252, 8080)
                                              .Text(10256, "jo")
                                              .Text(14352, "s3cret")
                                              .U32(18448, 2)));
    EXPECT_EQ("", Difference(requests[1], Image(kSettingsSize).U32(0, 5).Text(18452, "Deutsch")));
    EXPECT_EQ("", Difference(requests[2], Image(kSettingsSize)
                                              .U32(0, 8)
                                              .Text(22548, "S-1-5-21-0-0-0-1000")
                                              .Text(26644, "C:\\users\\jo\\Application Data")));
}

TEST_F(PipeClientTest, SettingsTransactionsCarryKeyScopeAndEnableFlagAndReturnTheResult)
{
    CFakePipeServer server(m_settings.c_str(), kSettingsSize);
    server.Answer(StatusReply(1, kSettingsSize));

    EXPECT_EQ(1, PipeCompactRegistryHives());
    EXPECT_EQ(1, PipeSaveRegistryHives("C:\\RegBackup"));
    EXPECT_EQ(1, PipeRestoreRegistryHives("C:\\RegBackup\\old"));
    EXPECT_EQ(1, PipeSetStartupEntryEnabled("Tool", STARTUP_SCOPE_USER, TRUE));
    EXPECT_EQ(1, PipeSetStartupEntryEnabled("Tool", STARTUP_SCOPE_MACHINE, 7));
    EXPECT_EQ(1, PipeSetStartupEntryEnabled("Tool", STARTUP_SCOPE_MACHINE, FALSE));
    EXPECT_EQ(1, PipeDeleteStartupEntry("Other tool", STARTUP_SCOPE_MACHINE));
    ASSERT_TRUE(server.WaitRequests(7));

    const std::vector<std::string> requests = server.Requests();
    // The compaction goes out in a record of the BACKUP pipe's size.
    EXPECT_EQ("", Difference(requests[0], Image(kQueueSize).U32(0, 2)));
    EXPECT_EQ("",
              Difference(requests[1], Image(kSettingsSize).U32(0, 3).Text(12, "C:\\RegBackup")));
    EXPECT_EQ(
        "", Difference(requests[2], Image(kSettingsSize).U32(0, 4).Text(12, "C:\\RegBackup\\old")));
    EXPECT_EQ("",
              Difference(requests[3],
                         Image(kSettingsSize).U32(0, 6).U32(4, 2).Text(12, "Tool").U32(18448, 1)));
    // Any non-zero enable goes out as 1.
    EXPECT_EQ("",
              Difference(requests[4],
                         Image(kSettingsSize).U32(0, 6).U32(4, 1).Text(12, "Tool").U32(18448, 1)));
    EXPECT_EQ("",
              Difference(requests[5], Image(kSettingsSize).U32(0, 6).U32(4, 1).Text(12, "Tool")));
    EXPECT_EQ("", Difference(requests[6],
                             Image(kSettingsSize).U32(0, 7).U32(4, 1).Text(12, "Other tool")));

    server.Answer(StatusReply(0, kSettingsSize));
    EXPECT_EQ(0, PipeDeleteStartupEntry("Tool", STARTUP_SCOPE_USER));
}

TEST_F(PipeClientTest, BackupRequestsCarryPathsFlagsAndPassword)
{
    CFakePipeServer server(m_backup.c_str(), kQueueSize);
    server.Answer(StatusReply(0, kQueueSize));

    CString stamp = "before";
    EXPECT_EQ(0, PipeGetFileStamp("C:\\data\\a.txt", stamp));
    EXPECT_EQ(kPipeDone, PipeStoreFile("C:\\data\\a.txt", "D:\\Backup\\Files\\", TRUE, TRUE, "pw"));
    EXPECT_EQ(kPipeDone,
              PipeRestoreFile("D:\\Backup\\Files\\C\\data\\a.txt", "E:\\R\\", FALSE, 5, "pw"));
    EXPECT_EQ(kPipeDone, PipeStoreFile("C:\\data\\b.txt", "D:\\Backup\\Files\\", 3, FALSE, ""));
    ASSERT_TRUE(server.WaitRequests(4));
    EXPECT_TRUE(stamp == "before") << "a stamp that was not found leaves the text alone";

    const std::vector<std::string> requests = server.Requests();
    EXPECT_EQ("",
              Difference(requests[0], Image(kQueueSize).U32(0, 1).Text(2072, "C:\\data\\a.txt")));
    EXPECT_EQ("", Difference(requests[1], Image(kQueueSize)
                                              .U32(0, 2)
                                              .Text(16, "D:\\Backup\\Files\\")
                                              .Text(1040, "pw")
                                              .Text(2072, "C:\\data\\a.txt")
                                              .U32(14380, 1)
                                              .U32(14384, 1)));
    EXPECT_EQ("", Difference(requests[2], Image(kQueueSize)
                                              .U32(0, 5)
                                              .Text(16, "E:\\R\\")
                                              .Text(1040, "pw")
                                              .Text(2072, "D:\\Backup\\Files\\C\\data\\a.txt")
                                              .U32(14384, 1)));
    EXPECT_EQ("", Difference(requests[3], Image(kQueueSize)
                                              .U32(0, 2)
                                              .Text(16, "D:\\Backup\\Files\\")
                                              .Text(2072, "C:\\data\\b.txt")
                                              .U32(14380, 1)));
}

TEST_F(PipeClientTest, UserNoticesAreBareCommandsAndTellWhetherAProgramListens)
{
    EXPECT_FALSE(PipeActivateRunningInstance());
    EXPECT_FALSE(PipeNotifyServiceStopping());

    CFakePipeServer server(m_user.c_str(), kQueueSize);
    server.Answer(NoReply());
    EXPECT_TRUE(PipeActivateRunningInstance());
    EXPECT_TRUE(PipeNotifyServiceStopping());
    ASSERT_TRUE(server.WaitRequests(2));
    EXPECT_EQ("", Difference(server.Requests()[0], Image(kQueueSize).U32(0, 2)));
    EXPECT_EQ("", Difference(server.Requests()[1], Image(kQueueSize).U32(0, 4)));

    // A program of this user and session was there: true even though the
    // write came to nothing. (Who serves is asked of the pipe once it is
    // open; a server that drops the connection at once may be gone before,
    // so the test tells who it is.)
    SetPipeServerProcessProbe(ServerOfThisUserAndSession);
    server.Refuse();
    EXPECT_TRUE(PipeActivateRunningInstance());
    SetPipeServerProcessProbe(nullptr);
}

namespace
{
std::vector<std::string> g_senderLog;
void RecordSenderLine(const char* line)
{
    g_senderLog.push_back(line);
}
} // namespace

// A text that fills its field to the last byte before the NUL goes whole;
// one character more and the sender refuses the request with a log line
// (cut, a path would name another file, a password be another key).
TEST_F(PipeClientTest, LongTextsAreRefusedAndTextsThatFitGoWhole)
{
    g_senderLog.clear();
    SetPipeSenderLog(RecordSenderLine);
    CFakePipeServer settings(m_settings.c_str(), kSettingsSize);
    settings.Answer(NoReply());
    EXPECT_TRUE(PipeSendProxySettings(std::string(4095, 'h').c_str(), 3128,
                                      std::string(4095, 'l').c_str(), "pw", 1));
    ASSERT_TRUE(settings.WaitRequests(1));
    const std::string proxy = settings.Requests()[0];
    EXPECT_EQ(std::string(4095, 'h'), proxy.substr(6156, 4095));
    EXPECT_EQ('\0', proxy[10251]);
    EXPECT_EQ(3128u, ReadU32(proxy, 10252));
    EXPECT_EQ(std::string(4095, 'l'), proxy.substr(10256, 4095));
    EXPECT_EQ('\0', proxy[14351]);
    EXPECT_EQ("pw", ReadText(proxy, 14352, 4096));
    EXPECT_FALSE(PipeSendProxySettings(std::string(4096, 'h').c_str(), 3128, "", "", 1));
    EXPECT_FALSE(PipeSendLanguage(std::string(4096, 'g').c_str()));
    EXPECT_FALSE(PipeSendUserProfile("S-1-5-21-0-0-0-1000", std::string(4096, 'p').c_str()));
    EXPECT_EQ(0, PipeSaveRegistryHives(std::string(4096, 'd').c_str()));
    EXPECT_EQ(1, settings.ConnectionCount());

    CFakePipeServer backup(m_backup.c_str(), kQueueSize);
    EXPECT_EQ(kPipeDone,
              PipeStoreFile(std::string(4095, 'f').c_str(), std::string(1023, 'r').c_str(), TRUE,
                            TRUE, std::string(1023, 'p').c_str()));
    ASSERT_TRUE(backup.WaitRequests(1));
    const std::string store = backup.Requests()[0];
    EXPECT_EQ(std::string(1023, 'r'), store.substr(16, 1023));
    EXPECT_EQ('\0', store[1039]);
    EXPECT_EQ(std::string(1023, 'p'), store.substr(1040, 1023));
    EXPECT_EQ('\0', store[2063]);
    EXPECT_TRUE(AllZero(store, 2064, 8)) << "the gap between text2 and text3";
    EXPECT_EQ(std::string(4095, 'f'), store.substr(2072, 4095));
    EXPECT_EQ('\0', store[6167]);
    EXPECT_TRUE(AllZero(store, 6168, 8212));
    EXPECT_EQ(1u, ReadU32(store, 14380));
    EXPECT_EQ(1u, ReadU32(store, 14384));
    EXPECT_TRUE(AllZero(store, 14388, 1040));

    const std::string path = "C:\\data\\" + std::string(4088, 'f');
    const std::string secret(1024, 's');
    EXPECT_EQ(kPipeFailed, PipeStoreFile(path.c_str(), "D:\\Backup\\Files\\", FALSE, FALSE, ""));
    EXPECT_EQ(kPipeFailed,
              PipeStoreFile("C:\\a.txt", std::string(1024, 'r').c_str(), FALSE, FALSE, ""));
    EXPECT_EQ(kPipeFailed,
              PipeStoreFile("C:\\a.txt", "D:\\Backup\\Files\\", FALSE, TRUE, secret.c_str()));
    EXPECT_EQ(kPipeFailed,
              PipeRestoreFile("D:\\b.txt", "E:\\R\\", FALSE, TRUE, secret.c_str()));
    CString stamp("kept");
    EXPECT_EQ(0, PipeGetFileStamp(path.c_str(), stamp));
    EXPECT_STREQ(stamp, "kept");
    EXPECT_EQ(1, backup.ConnectionCount());
    SetPipeSenderLog(nullptr);

    // One line for each refusal; a password is never written out.
    ASSERT_EQ(g_senderLog.size(), 9u);
    EXPECT_NE(g_senderLog[0].find("proxy host is longer than 4095 characters"), std::string::npos)
        << g_senderLog[0];
    EXPECT_NE(g_senderLog[4].find("path is longer than 4095 characters (C:\\data\\fff"),
              std::string::npos)
        << g_senderLog[4];
    EXPECT_NE(g_senderLog[5].find("folder is longer than 1023 characters (C:\\a.txt)"),
              std::string::npos)
        << g_senderLog[5];
    EXPECT_NE(g_senderLog[6].find("password is longer than 1023 characters (C:\\a.txt)"),
              std::string::npos)
        << g_senderLog[6];
    for (const std::string& line : g_senderLog)
        EXPECT_EQ(line.find("sssssssss"), std::string::npos) << line;
}

// A one-way request waits for the service to close its end, so that the
// service can still learn who sent it; at most 2 s for one that never does.
TEST_F(PipeClientTest, OneWaySendersWaitForTheServiceToCloseFirst)
{
    CFakePipeServer server(m_settings.c_str(), kSettingsSize);
    server.Answer(NoReply(), 600);
    ULONGLONG start = ::GetTickCount64();
    EXPECT_TRUE(PipeSendUserProfile("S-1-5-21-0-0-0-1000", "C:\\users\\jo"));
    ULONGLONG spent = ::GetTickCount64() - start;
    EXPECT_GE(spent, 500u) << "closed before the service";
    EXPECT_TRUE(server.WaitEnded(1));

    server.NeverAnswer();
    start = ::GetTickCount64();
    EXPECT_TRUE(PipeSendLanguage("Deutsch"));
    spent = ::GetTickCount64() - start;
    EXPECT_GE(spent, 1900u);
    EXPECT_LT(spent, 30000u) << "the wait has its limit";
    EXPECT_TRUE(server.WaitEnded(2));
}

TEST_F(PipeClientTest, StampRepliesAreReadWithinTheirField)
{
    CFakePipeServer server(m_backup.c_str(), kQueueSize);
    CString stamp;

    server.Answer(StampReply(1, "20240307123456789-32-1234"));
    EXPECT_EQ(1, PipeGetFileStamp("C:\\a.txt", stamp));
    EXPECT_TRUE(stamp == "20240307123456789-32-1234");

    // A server that fills text1 and beyond without a NUL: the stamp ends
    // with the field.
    server.Answer(StampReply(1, std::string(1024, 'x') + "spill"));
    EXPECT_EQ(1, PipeGetFileStamp("C:\\a.txt", stamp));
    EXPECT_TRUE(stamp == std::string(1023, 'x').c_str());

    server.Answer(StampReply(0, "ignored"));
    stamp = "kept";
    EXPECT_EQ(0, PipeGetFileStamp("C:\\a.txt", stamp));
    EXPECT_TRUE(stamp == "kept");
}

TEST_F(PipeClientTest, StoreAndRestoreReportTheOutcomeAndNoAnswerAsFailure)
{
    CFakePipeServer server(m_backup.c_str(), kQueueSize);
    const auto answer = [&](CFakePipeServer::Responder reply)
    { return [&server, reply] { server.Answer(reply); }; };
    struct Case
    {
        std::function<void()> behave;
        int expected;
        const char* what;
    };
    const Case cases[] = {
        {answer(StatusReply(0, kQueueSize)), kPipeDone, "100 and 0: done"},
        {answer(StatusReply(1, kQueueSize)), kPipeFailed, "100 and 1: failed"},
        {answer(StatusReply(7, kQueueSize)), kPipeFailed, "any other result is a failure"},
        {answer(StatusReply(0, kQueueSize, 0)), kPipeNoAnswer, "a reply without the status"},
        {answer(ShortReply()), kPipeNoAnswer, "a reply too short to hold a result"},
        {[&] { server.CloseEarly(); }, kPipeNoAnswer, "the server closes without a reply"},
        {[&] { server.Refuse(); }, kPipeNoAnswer, "the server drops the connection unread"},
    };
    for (const Case& c : cases)
    {
        c.behave();
        EXPECT_EQ(c.expected, PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, FALSE, "")) << c.what;
        EXPECT_EQ(c.expected, PipeRestoreFile("D:\\B\\C\\a.txt", "C:\\", FALSE, FALSE, ""))
            << c.what;
    }
    CString stamp = "kept";
    for (size_t i = 3; i < 7; ++i)
    {
        cases[i].behave();
        EXPECT_EQ(kPipeNoAnswer, PipeGetFileStamp("C:\\a.txt", stamp)) << cases[i].what;
    }
    EXPECT_TRUE(stamp == "kept");
    // A refusing server reads nothing; one that closes without a reply gets
    // each request twice, as it is sent once more on a new connection.
    EXPECT_EQ(5 * 2 + 2 * 2 + 2 + 2, server.RequestCount());
}

TEST_F(PipeClientTest, SettingsRepliesWithoutTheStatusAreNotDone)
{
    CFakePipeServer server(m_settings.c_str(), kSettingsSize);
    server.Answer(StatusReply(1, kSettingsSize, 0));
    EXPECT_EQ(0, PipeSaveRegistryHives("C:\\RegBackup"));
    EXPECT_EQ(0, PipeCompactRegistryHives());
    server.Answer(ShortReply());
    EXPECT_EQ(0, PipeSetStartupEntryEnabled("Tool", STARTUP_SCOPE_USER, TRUE));
    server.CloseEarly();
    EXPECT_EQ(0, PipeRestoreRegistryHives("C:\\RegBackup"));
    server.Refuse();
    EXPECT_EQ(0, PipeDeleteStartupEntry("Tool", STARTUP_SCOPE_USER));
}

TEST_F(PipeClientTest, AReplyLongerThanTheBufferArrivesCut)
{
    CFakePipeServer server(m_settings.c_str(), kSettingsSize);
    server.Answer(StatusReply(1, kSettingsSize));
    IpcSettingsRecord request = {};
    request.type = SETTINGS_SAVE_HIVES;
    IpcQueueRecord reply = {};
    DWORD bytes = 0;
    EXPECT_EQ(PipeOutcome::Done,
              PipeTransact(m_settings.c_str(), &request, sizeof(request), &reply, sizeof(reply),
                           GetPipePolicy(PipeSender::SaveHives), nullptr, &bytes));
    EXPECT_EQ(kQueueSize, bytes);
    EXPECT_EQ(IPC_STATUS_OK, reply.command);
    EXPECT_EQ(1u, reply.result);
}

TEST_F(PipeClientTest, EmptyFirstTextsSendNothing)
{
    CFakePipeServer settings(m_settings.c_str(), kSettingsSize);
    settings.Answer(StatusReply(1, kSettingsSize));
    CFakePipeServer backup(m_backup.c_str(), kQueueSize);
    backup.Answer(StampReply(1, "stamp"));

    EXPECT_EQ(0, PipeSaveRegistryHives(""));
    EXPECT_EQ(0, PipeRestoreRegistryHives(CString()));
    EXPECT_EQ(0, PipeSetStartupEntryEnabled("", STARTUP_SCOPE_USER, TRUE));
    EXPECT_EQ(0, PipeDeleteStartupEntry("", STARTUP_SCOPE_USER));
    CString stamp = "kept";
    EXPECT_EQ(0, PipeGetFileStamp("", stamp));
    EXPECT_TRUE(stamp == "kept");
    // Nothing stored or restored is not a success.
    EXPECT_EQ(kPipeFailed, PipeStoreFile("", "D:\\B\\", FALSE, FALSE, ""));
    EXPECT_EQ(kPipeFailed, PipeRestoreFile("", "C:\\", FALSE, FALSE, ""));

    // One real request on each pipe: it is the first each server saw.
    EXPECT_EQ(1, PipeSaveRegistryHives("C:\\RegBackup"));
    EXPECT_EQ(1, PipeGetFileStamp("C:\\a.txt", stamp));
    ASSERT_TRUE(settings.WaitRequests(1));
    ASSERT_TRUE(backup.WaitRequests(1));
    EXPECT_EQ(1, settings.ConnectionCount());
    EXPECT_EQ(1, backup.ConnectionCount());
    EXPECT_EQ(3u, ReadU32(settings.Requests()[0], 0));
    EXPECT_EQ(1u, ReadU32(backup.Requests()[0], 0));
}

TEST_F(PipeClientTest, WithoutAServiceTheUserInterfaceSendersGiveUpAtOnce)
{
    // With the full loop of 20 waits and 19 one-second pauses each of these
    // would hold the window for about 19 s; all of them together stay well
    // below one such loop, however busy the machine.
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_FALSE(PipeSendProxySettings("h", 1, "l", "p", 1));
    EXPECT_FALSE(PipeSendLanguage("English"));
    EXPECT_FALSE(PipeSendUserProfile("S-1-5-21", "C:\\x"));
    EXPECT_EQ(0, PipeCompactRegistryHives());
    EXPECT_EQ(0, PipeSaveRegistryHives("C:\\RegBackup"));
    EXPECT_EQ(0, PipeRestoreRegistryHives("C:\\RegBackup"));
    EXPECT_EQ(0, PipeSetStartupEntryEnabled("Tool", STARTUP_SCOPE_USER, TRUE));
    EXPECT_EQ(0, PipeDeleteStartupEntry("Tool", STARTUP_SCOPE_USER));
    EXPECT_FALSE(PipeActivateRunningInstance());
    EXPECT_FALSE(PipeNotifyServiceStopping());
    EXPECT_LT(Since(start), 15000u);
}

TEST_F(PipeClientTest, WithoutAServiceTheRunsRequestsRetryUntilItComes)
{
    // The default loop: the service appears during the pauses between the
    // waits, and the request reaches it. The clock starts before the
    // service's delay does, so a late start of this thread cannot shorten it.
    const ULONGLONG start = ::GetTickCount64();
    std::unique_ptr<CFakePipeServer> server;
    std::thread starter(
        [&]
        {
            ::Sleep(1500);
            server = std::make_unique<CFakePipeServer>(m_backup.c_str(), kQueueSize);
            server->Answer(StampReply(1, "late stamp"));
        });
    CString stamp;
    const int result = PipeGetFileStamp("C:\\a.txt", stamp);
    const ULONGLONG elapsed = Since(start);
    starter.join();
    EXPECT_EQ(1, result);
    EXPECT_TRUE(stamp == "late stamp");
    EXPECT_GE(elapsed, 1400u);
}

TEST_F(PipeClientTest, WithoutAServiceTheRunsRequestsGiveNoAnswerAfterTheirAttempts)
{
    Limit(PipeSender::FileStamp, 4, 100, 100, 1000);
    Limit(PipeSender::StoreFile, 4, 100, 100, 1000);
    Limit(PipeSender::RestoreFile, 4, 100, 100, 1000);
    CString stamp = "kept";
    const int results[] = {
        PipeGetFileStamp("C:\\a.txt", stamp),
        PipeStoreFile("C:\\a.txt", "D:\\B\\", TRUE, TRUE, "pw"),
        PipeRestoreFile("D:\\B\\C\\a.txt", "C:\\", TRUE, TRUE, "pw"),
    };
    for (int result : results)
        EXPECT_EQ(kPipeNoAnswer, result);
    EXPECT_TRUE(stamp == "kept");

    // Four attempts make three pauses.
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(kPipeNoAnswer, PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, FALSE, ""));
    EXPECT_GE(Since(start), 290u);
}

TEST_F(PipeClientTest, AStopEventEndsTheRetryLoop)
{
    CDelayedStop stop(300);
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(kPipeNoAnswer,
              PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, FALSE, "", stop.Handle()));
    EXPECT_LT(Since(start), 15000u) << "the whole loop takes about 19 s";
    CString stamp = "kept";
    EXPECT_EQ(kPipeNoAnswer, PipeGetFileStamp("C:\\a.txt", stamp, stop.Handle()));
    EXPECT_TRUE(stamp == "kept");
}

TEST_F(PipeClientTest, ASlowServiceIsWaitedFor)
{
    CFakePipeServer backup(m_backup.c_str(), kQueueSize);
    backup.Answer(StatusReply(0, kQueueSize), 700);
    ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(kPipeDone, PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, FALSE, ""));
    EXPECT_GE(Since(start), 650u);

    CFakePipeServer settings(m_settings.c_str(), kSettingsSize);
    settings.Answer(StatusReply(1, kSettingsSize), 700);
    EXPECT_EQ(1, PipeSaveRegistryHives("C:\\RegBackup"));
}

TEST_F(PipeClientTest, AServiceSlowerThanTheLimitIsNotDone)
{
    // Limits of 300 ms against services that answer after a minute: a sender
    // back well before the answer gave up at its limit, busy machine or not.
    Limit(PipeSender::StartupEntry, 1, 500, 0, 300);
    Limit(PipeSender::StoreFile, 1, 500, 0, 300);
    CFakePipeServer settings(m_settings.c_str(), kSettingsSize);
    settings.Answer(StatusReply(1, kSettingsSize), 60000);
    CFakePipeServer backup(m_backup.c_str(), kQueueSize);
    backup.Answer(StatusReply(0, kQueueSize), 60000);

    ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(0, PipeSetStartupEntryEnabled("Tool", STARTUP_SCOPE_USER, TRUE));
    EXPECT_LT(Since(start), 30000u);
    start = ::GetTickCount64();
    EXPECT_EQ(kPipeNoAnswer, PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, FALSE, ""));
    EXPECT_LT(Since(start), 30000u);
}

TEST_F(PipeClientTest, AStoresLimitGrowsWithTheSizeOfItsFile)
{
    PipePolicy policy = GetPipePolicy(PipeSender::StoreFile);
    policy.attempts = 1;
    policy.exchangeMs = 200;
    policy.exchangeMsPerMiB = 400;
    SetPipePolicy(PipeSender::StoreFile, policy);
    TempFolder folder("pipe-store-limit");
    const CString large = folder / "large.bin";
    ASSERT_TRUE(WriteTextFile(large, std::string(3 << 20, 'a').c_str()));

    CFakePipeServer backup(m_backup.c_str(), kQueueSize);
    backup.Answer(StatusReply(0, kQueueSize), 800);
    // 200 ms for a file that cannot be read here; 200 ms + 3 x 400 ms for 3 MiB.
    EXPECT_EQ(kPipeNoAnswer, PipeStoreFile(folder / "missing.bin", "D:\\B\\", 0, 0, ""));
    EXPECT_EQ(kPipeDone, PipeStoreFile(large, "D:\\B\\", 0, 0, ""));
}

TEST_F(PipeClientTest, ASilentServiceTimesOutEveryTransactingSender)
{
    const PipeSender senders[] = {PipeSender::CompactHives, PipeSender::SaveHives,
                                  PipeSender::RestoreHives, PipeSender::StartupEntry,
                                  PipeSender::FileStamp,    PipeSender::StoreFile,
                                  PipeSender::RestoreFile};
    for (PipeSender sender : senders)
        Limit(sender, 1, 500, 0, 300);
    CFakePipeServer settings(m_settings.c_str(), kSettingsSize);
    settings.NeverAnswer();
    CFakePipeServer backup(m_backup.c_str(), kQueueSize);
    backup.NeverAnswer();

    CString stamp = "kept";
    struct Call
    {
        const char* what;
        std::function<int()> send;
        int expected;
        CFakePipeServer& server;
    };
    const Call calls[] = {
        {"compact", [] { return PipeCompactRegistryHives(); }, 0, settings},
        {"save", [] { return PipeSaveRegistryHives("C:\\R"); }, 0, settings},
        {"restore hives", [] { return PipeRestoreRegistryHives("C:\\R"); }, 0, settings},
        {"enable", [] { return PipeSetStartupEntryEnabled("T", 2, TRUE); }, 0, settings},
        {"delete", [] { return PipeDeleteStartupEntry("T", 2); }, 0, settings},
        {"stamp", [&] { return PipeGetFileStamp("C:\\a", stamp); }, kPipeNoAnswer, backup},
        {"store", [] { return PipeStoreFile("C:\\a", "D:\\", 0, 0, ""); }, kPipeNoAnswer, backup},
        {"restore", [] { return PipeRestoreFile("D:\\a", "C:\\", 0, 0, ""); }, kPipeNoAnswer,
         backup},
    };
    for (const Call& call : calls)
    {
        const int ended = call.server.EndedCount();
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(call.expected, call.send()) << call.what;
        const ULONGLONG elapsed = Since(start);
        // The limit, not the default of a minute or more.
        EXPECT_GE(elapsed, 280u) << call.what;
        EXPECT_LT(elapsed, 30000u) << call.what;
        // The client let go: the silent server sees its connection end.
        EXPECT_TRUE(call.server.WaitEnded(ended + 1, 30000)) << call.what;
    }
    EXPECT_TRUE(stamp == "kept");
    EXPECT_EQ(5, settings.RequestCount());
    EXPECT_EQ(3, backup.RequestCount());
}

// A thread's exchanges wait on one event of its own: an exchange that timed
// out, or that a stop ended, leaves nothing behind for the next one on the
// same thread, which waits for and gets its own reply.
TEST_F(PipeClientTest, AnExchangeAfterOneThatWasCutOffGetsItsOwnReply)
{
    Limit(PipeSender::FileStamp, 1, 500, 0, 300);
    CFakePipeServer backup(m_backup.c_str(), kQueueSize);
    backup.NeverAnswer();
    CString stamp = "kept";
    EXPECT_EQ(kPipeNoAnswer, PipeGetFileStamp("C:\\a", stamp));
    ASSERT_TRUE(backup.WaitEnded(1, 30000));
    {
        CDelayedStop stop(100);
        EXPECT_EQ(kPipeNoAnswer, PipeGetFileStamp("C:\\b", stamp, stop.Handle()));
    }
    ASSERT_TRUE(backup.WaitEnded(2, 30000));
    EXPECT_TRUE(stamp == "kept");

    // A reply that comes late, but within the limit, is waited for.
    Limit(PipeSender::FileStamp, 1, 500, 0, 20000);
    backup.Answer(StampReply(1, "20240101120000000-32-5"), 200);
    EXPECT_EQ(1, PipeGetFileStamp("C:\\c", stamp));
    EXPECT_TRUE(stamp == "20240101120000000-32-5");
    backup.Answer(StampReply(1, "20240101120000000-32-6"));
    EXPECT_EQ(1, PipeGetFileStamp("C:\\d", stamp));
    EXPECT_TRUE(stamp == "20240101120000000-32-6");
}

TEST_F(PipeClientTest, AStopEventEndsASilentExchange)
{
    CFakePipeServer backup(m_backup.c_str(), kQueueSize);
    backup.NeverAnswer();
    CDelayedStop stop(300);
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(kPipeNoAnswer,
              PipeRestoreFile("D:\\B\\C\\a.txt", "C:\\", FALSE, FALSE, "", stop.Handle()));
    EXPECT_LT(Since(start), 60000u) << "the default limit is ten minutes";
    EXPECT_EQ(1, backup.RequestCount());
}

TEST_F(PipeClientTest, ABusyPipeIsWaitedForWithinEachSendersBudget)
{
    CFakePipeServer settings(m_settings.c_str(), kSettingsSize);
    CFakePipeServer user(m_user.c_str(), kQueueSize);
    CFakePipeServer backup(m_backup.c_str(), kQueueSize);
    backup.Answer(StampReply(1, "after the wait"));
    CInstanceHolder settingsHolder(m_settings);
    CInstanceHolder userHolder(m_user);
    CInstanceHolder backupHolder(m_backup);

    // One short wait, and no more, on the user-interface thread (a run's
    // sender would wait 20 s).
    ULONGLONG start = ::GetTickCount64();
    EXPECT_FALSE(PipeSendLanguage("English"));
    const ULONGLONG waited = Since(start);
    EXPECT_GE(waited, 400u);
    EXPECT_LT(waited, 15000u);
    // A USER pipe held by another client: whose program serves it cannot be
    // told, so this start runs on its own rather than end.
    EXPECT_FALSE(PipeActivateRunningInstance());

    // The run's request waits for the instance to come free.
    std::thread releaser(
        [&]
        {
            ::Sleep(1000);
            backupHolder.Release();
        });
    CString stamp;
    EXPECT_EQ(1, PipeGetFileStamp("C:\\a.txt", stamp));
    releaser.join();
    EXPECT_TRUE(stamp == "after the wait");
}

TEST_F(PipeClientTest, AKeptConnectionCarriesTheNextRequestAndAnotherIsOpenedOnceTheServerEndedIt)
{
    CFakePipeServer server(m_backup.c_str(), kQueueSize);
    server.SetIdleLimit(200);
    CKeptBackupConnection kept;
    EXPECT_EQ(kPipeDone, PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, FALSE, ""));
    EXPECT_EQ(kPipeDone, PipeStoreFile("C:\\b.txt", "D:\\B\\", FALSE, FALSE, ""));
    EXPECT_EQ(1, server.ConnectionCount());
    EXPECT_TRUE(kept.IsOpen());

    // The server drops the connection after 200 ms without a request; the
    // next request finds it gone before anything was written, and goes over
    // a new one.
    ASSERT_TRUE(server.WaitEnded(1));
    EXPECT_EQ(kPipeDone, PipeStoreFile("C:\\c.txt", "D:\\B\\", FALSE, FALSE, ""));
    EXPECT_EQ(2, server.ConnectionCount());
    ASSERT_EQ(3, server.RequestCount());
    EXPECT_EQ(ReadText(server.Requests()[2], 2072, 4096), "C:\\c.txt");

    // Closed, it frees the instance at once.
    kept.Close();
    EXPECT_TRUE(server.WaitEnded(2, 2000));
}

TEST_F(PipeClientTest, ARequestAKeptConnectionCarriedWithoutAReplyIsNeverSentAgain)
{
    CFakePipeServer server(m_backup.c_str(), kQueueSize);
    Limit(PipeSender::StoreFile, 20, 2000, 0, 1000);
    CKeptBackupConnection kept;
    EXPECT_EQ(kPipeDone, PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, FALSE, ""));
    server.NeverAnswer();
    EXPECT_EQ(kPipeNoAnswer, PipeStoreFile("C:\\b.txt", "D:\\B\\", FALSE, FALSE, ""));
    EXPECT_FALSE(kept.IsOpen());
    ASSERT_TRUE(server.WaitEnded(1));
    EXPECT_EQ(2, server.RequestCount());
    EXPECT_EQ(1, server.ConnectionCount());

    // A scope that ended leaves the one around it in force.
    server.Answer(StatusReply(0, kQueueSize));
    {
        CKeptBackupConnection inner;
    }
    EXPECT_EQ(kPipeDone, PipeStoreFile("C:\\c.txt", "D:\\B\\", FALSE, FALSE, ""));
    EXPECT_TRUE(kept.IsOpen());
}

// A server that let go of a request without a reply (it stopped or
// restarted, or its wait for the next request on a kept connection ran out
// just as the request came) has no part in it any more: the request is sent
// once more, on a new connection. Twice without a reply, it is unanswered.
TEST_F(PipeClientTest, ARequestTheServerEndedWithoutAReplyIsSentOnceMoreOnANewConnection)
{
    CFakePipeServer server(m_backup.c_str(), kQueueSize);
    std::atomic<int> calls{0};
    const CFakePipeServer::Responder stored = StatusReply(0, kQueueSize);
    server.Answer([&](const std::string& request)
                  { return ++calls == 2 ? std::string() : stored(request); });
    CKeptBackupConnection kept;
    EXPECT_EQ(kPipeDone, PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, FALSE, ""));
    EXPECT_EQ(kPipeDone, PipeStoreFile("C:\\b.txt", "D:\\B\\", FALSE, FALSE, ""));
    ASSERT_EQ(3, server.RequestCount());
    EXPECT_EQ(2, server.ConnectionCount());
    EXPECT_EQ(ReadText(server.Requests()[1], 2072, 4096), "C:\\b.txt");
    EXPECT_EQ(ReadText(server.Requests()[2], 2072, 4096), "C:\\b.txt");
    EXPECT_TRUE(kept.IsOpen());

    server.CloseEarly();
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(kPipeNoAnswer,
              PipeStoreFile("C:\\c.txt", "D:\\B\\", FALSE, FALSE, "", nullptr, cancel));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(cancel, 0)) << "the others end too";
    CloseHandle(cancel);
    EXPECT_EQ(5, server.RequestCount());
    EXPECT_FALSE(kept.IsOpen());
}

namespace
{
// Plays a service whose process is another than the pipe's server.
DWORD WINAPI AnotherProcess()
{
    return GetCurrentProcessId() + 4;
}

size_t CountLines(const char* text)
{
    size_t count = 0;
    for (const std::string& line : g_senderLog)
        if (line.find(text) != std::string::npos)
            ++count;
    return count;
}
} // namespace

// A process that took the service's pipe names (while the service was away)
// gets neither a password nor a path: every sender treats it as no service,
// and the program's log says so once.
TEST_F(PipeClientTest, APipeServerThatIsNotTheServiceGetsNothing)
{
    g_senderLog.clear();
    SetPipeSenderLog(RecordSenderLine);
    CFakePipeServer settings(m_settings.c_str(), kSettingsSize);
    settings.Answer(StatusReply(1, kSettingsSize));
    CFakePipeServer backup(m_backup.c_str(), kQueueSize);
    backup.Answer(StatusReply(0, kQueueSize));

    SetServiceProcessProbe(AnotherProcess);
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(kPipeNoAnswer,
              PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, TRUE, "secret", nullptr, cancel));
    // The others storing beside it stop too, as for a service that does not
    // answer.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(cancel, 0));
    CloseHandle(cancel);
    CString stamp = "kept";
    EXPECT_EQ(kPipeNoAnswer, PipeGetFileStamp("C:\\a.txt", stamp));
    EXPECT_EQ(kPipeNoAnswer, PipeRestoreFile("D:\\B\\C\\a.txt", "C:\\", FALSE, TRUE, "secret"));
    EXPECT_FALSE(PipeSendProxySettings("proxy", 3128, "login", "password", 1));
    EXPECT_EQ(0, PipeSetStartupEntryEnabled("Tool", STARTUP_SCOPE_USER, FALSE));
    EXPECT_TRUE(stamp == "kept");
    EXPECT_EQ(0, backup.RequestCount());
    EXPECT_EQ(0, settings.RequestCount());
    EXPECT_EQ(1u, CountLines("not by the service"));
    EXPECT_EQ(1u, g_senderLog.size());

    // The service again: served, and a later stranger is logged anew.
    SetServiceProcessProbe(GetCurrentProcessId);
    EXPECT_EQ(kPipeDone, PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, TRUE, "secret"));
    EXPECT_EQ(1, backup.RequestCount());
    SetServiceProcessProbe(AnotherProcess);
    EXPECT_EQ(kPipeNoAnswer, PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, TRUE, "secret"));
    EXPECT_EQ(2u, CountLines("not by the service"));

    // The service control manager never names this test's process.
    SetServiceProcessProbe(nullptr);
    EXPECT_NE(GetServiceProcessId(), GetCurrentProcessId());
    EXPECT_EQ(kPipeNoAnswer, PipeStoreFile("C:\\a.txt", "D:\\B\\", FALSE, TRUE, "secret"));
    EXPECT_EQ(1, backup.RequestCount());
    SetServiceProcessProbe(GetCurrentProcessId);
    SetPipeSenderLog(nullptr);
}

// A second start ends only for a program of its own user and session:
// another user's (or another session's) program holding the USER pipe
// neither gets the notice nor makes this one end, and the log says why.
TEST_F(PipeClientTest, ASecondStartHandsOverOnlyToAProgramOfItsUserAndSession)
{
    CFakePipeServer user(m_user.c_str(), kQueueSize);
    user.Answer(NoReply());
    // The reasons are kept until the program's log exists.
    SetPipeSenderLog(nullptr);
    SetPipeServerProcessProbe(ServerOfAnotherUser);
    EXPECT_FALSE(PipeActivateRunningInstance());
    SetPipeServerProcessProbe(ServerInAnotherSession);
    EXPECT_FALSE(PipeActivateRunningInstance());
    EXPECT_EQ(0, user.RequestCount());
    g_senderLog.clear();
    SetPipeSenderLog(RecordSenderLine);
    ASSERT_EQ(2u, g_senderLog.size());
    EXPECT_EQ(1u, CountLines("of another user: this program runs on its own"));
    EXPECT_EQ(1u, CountLines("of another session: this program runs on its own"));

    SetPipeServerProcessProbe(ServerOfThisUserAndSession);
    EXPECT_TRUE(PipeActivateRunningInstance());
    ASSERT_TRUE(user.WaitRequests(1));
    EXPECT_EQ(ReadU32(user.Requests()[0], 0), static_cast<uint32_t>(USER_BRING_TO_FRONT));

    // Read from the pipe itself: the fake server is this process.
    SetPipeServerProcessProbe(nullptr);
    PipeServerProcess server;
    {
        CInstanceHolder holder(m_user);
        ASSERT_TRUE(ReadPipeServerProcess(holder.Handle(), server));
    }
    EXPECT_EQ(server.processId, GetCurrentProcessId());
    EXPECT_TRUE(server.sameUser);
    DWORD session = 0;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    EXPECT_EQ(server.sessionId, session);
    EXPECT_TRUE(PipeActivateRunningInstance());
    SetPipeSenderLog(nullptr);
}
