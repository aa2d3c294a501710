// The USER pipe server against real clients on a pipe name of the test's
// own. The program also has a child mode, chosen by BW_ENGINE_CHILD while it
// starts, before any test runs:
// - "user-pipe-serve": serves the USER pipe BW_CHILD_PIPE with a host whose
//   tray action writes "tray removed" into BW_CHILD_MARKER, keeps a busy
//   thread beside it (a run), creates BW_CHILD_READY once it serves and ends
//   with 3 when nothing ended it within 60 s (4: the start failed).
#include "engine/UserPipeServer.h"
#include "engine/IpcRecords.h"
#include "engine/PipeClient.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/MessagePump.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <atomic>
#include <string>
#include <thread>

namespace
{
constexpr DWORD kQueueSize = sizeof(IpcQueueRecord);

// A client's transaction: one wait of 2 s for the pipe, 5 s for the reply.
const PipePolicy kClientPolicy = {1, 2000, 0, 5000, 0, SECURITY_IDENTIFICATION};

class TestHost : public IUserPipeHost
{
public:
    // Posts the bring-to-front to the thread given, as the window's host
    // posts it to the window.
    explicit TestHost(DWORD uiThread = 0) : m_uiThread(uiThread) {}

    void BringToFront() override
    {
        bringThread.store(::GetCurrentThreadId());
        ++bringCalls;
        if (m_uiThread != 0)
            ::PostThreadMessageA(m_uiThread, WM_USER_PIPE_BRING_TO_FRONT, 0, 0);
    }
    void RemoveTrayIcon() override { ++trayCalls; }

    std::atomic<int> bringCalls{0};
    std::atomic<int> trayCalls{0};
    std::atomic<DWORD> bringThread{0};

private:
    DWORD m_uiThread;
};

ULONGLONG Since(ULONGLONG start)
{
    return ::GetTickCount64() - start;
}

// A notice of `size` bytes: the command first, then bytes that differ from
// place to place.
std::string Notice(uint32_t command, size_t size, int seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    WriteU32(bytes, 0, command);
    return bytes;
}

struct Exchange
{
    PipeOutcome outcome;
    std::string reply;
};

Exchange Transact(const std::string& request)
{
    std::string reply(kQueueSize, '\0');
    DWORD bytes = 0;
    const PipeOutcome outcome = PipeTransact(GetIpcPipeName(IpcPipe::User), request.data(),
                                             static_cast<DWORD>(request.size()), &reply[0],
                                             kQueueSize, kClientPolicy, nullptr, &bytes);
    reply.resize(bytes);
    return {outcome, reply};
}

// Threads of this process now.
int CountThreads()
{
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry))
    {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId())
            ++count;
    }
    ::CloseHandle(snapshot);
    return count;
}

// A client that opens the pipe and never writes.
HANDLE OpenSilently()
{
    return ::CreateFileA(GetIpcPipeName(IpcPipe::User), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
}

class UserPipeServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A pipe name of this process's own: never a real program's.
        m_name = UniquePipeName("user");
        SetIpcPipeName(IpcPipe::User, m_name.c_str());
        // The message queue the host posts to.
        MSG message;
        ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    }

    void TearDown() override { SetIpcPipeName(IpcPipe::User, kUserPipeName); }

    // The bring-to-front messages that reach this thread within the time.
    static int PumpBringToFront(DWORD timeoutMs)
    {
        int count = 0;
        PumpFor(timeoutMs,
                [&count](const MSG& message)
                {
                    if (message.hwnd == nullptr && message.message == WM_USER_PIPE_BRING_TO_FRONT)
                        ++count;
                });
        return count;
    }

    std::string m_name;
};

TEST_F(UserPipeServerTest, AnEchoComesBackWholeWithTheStatusFirstAndNothingOfAnEarlierClient)
{
    TestHost host;
    CUserPipeServer server(host);
    ASSERT_TRUE(server.StartUserPipeServer());
    for (int seed = 1; seed <= 3; ++seed)
    {
        const std::string request = Notice(USER_ECHO, kQueueSize, seed);
        const Exchange echo = Transact(request);
        ASSERT_EQ(PipeOutcome::Done, echo.outcome) << "echo " << seed;
        ASSERT_EQ(kQueueSize, echo.reply.size());
        EXPECT_EQ(IPC_STATUS_OK, ReadU32(echo.reply, 0));
        EXPECT_EQ(request.substr(4), echo.reply.substr(4)) << "echo " << seed;
    }
    // A short notice after full ones: the rest of the record is zero, not
    // what the last client sent.
    std::string shortNotice = Notice(USER_ECHO, 8, 0);
    WriteU32(shortNotice, 4, 0xABCDEF01);
    const Exchange echo = Transact(shortNotice);
    ASSERT_EQ(PipeOutcome::Done, echo.outcome);
    ASSERT_EQ(kQueueSize, echo.reply.size());
    EXPECT_EQ(IPC_STATUS_OK, ReadU32(echo.reply, 0));
    EXPECT_EQ(0xABCDEF01u, ReadU32(echo.reply, 4));
    EXPECT_TRUE(AllZero(echo.reply, 8, kQueueSize - 8));

    // A notice longer than the record: cut to it.
    const std::string longNotice = Notice(USER_ECHO, 20000, 9);
    const Exchange cut = Transact(longNotice);
    ASSERT_EQ(PipeOutcome::Done, cut.outcome);
    ASSERT_EQ(kQueueSize, cut.reply.size());
    EXPECT_EQ(IPC_STATUS_OK, ReadU32(cut.reply, 0));
    EXPECT_EQ(longNotice.substr(4, kQueueSize - 4), cut.reply.substr(4));
    EXPECT_EQ(0, host.bringCalls.load());
    EXPECT_EQ(0, host.trayCalls.load());
}

TEST_F(UserPipeServerTest, OnlyTheEchoIsAnswered)
{
    TestHost host;
    CUserPipeServer server(host);
    ASSERT_TRUE(server.StartUserPipeServer());
    for (uint32_t command : {1u, 3u, 0u, 6u, 100u})
    {
        // No reply: the server disconnects, which fails the transaction at
        // once rather than at its time-out.
        const ULONGLONG start = ::GetTickCount64();
        const Exchange exchange = Transact(Notice(command, kQueueSize, 5));
        EXPECT_EQ(PipeOutcome::Failed, exchange.outcome) << "notice " << command;
        EXPECT_TRUE(exchange.reply.empty()) << "notice " << command;
        EXPECT_LT(Since(start), 4000u) << "notice " << command;
    }
    // Still serving after each of them.
    EXPECT_EQ(PipeOutcome::Done, Transact(Notice(USER_ECHO, kQueueSize, 6)).outcome);
    EXPECT_EQ(0, host.bringCalls.load());
    EXPECT_EQ(0, host.trayCalls.load());
}

TEST_F(UserPipeServerTest, ASecondStartReachesTheWindowThreadOnce)
{
    TestHost host(::GetCurrentThreadId());
    CUserPipeServer server(host);
    ASSERT_TRUE(server.StartUserPipeServer());
    EXPECT_TRUE(PipeActivateRunningInstance());
    // The message comes within the bound; none follows it.
    EXPECT_EQ(1, PumpBringToFront(3000));
    EXPECT_EQ(1, host.bringCalls.load());
    // Called on the server's thread, which only posts.
    EXPECT_EQ(server.GetThreadId(), host.bringThread.load());
    EXPECT_NE(::GetCurrentThreadId(), host.bringThread.load());
    EXPECT_EQ(0, host.trayCalls.load());
}

TEST_F(UserPipeServerTest, StopReturnsAtOnceWhenIdleNeverStartedOrHeldByASilentClient)
{
    TestHost host;
    {
        CUserPipeServer never(host);
        const ULONGLONG start = ::GetTickCount64();
        never.StopUserPipeServer();
        EXPECT_LT(Since(start), 1000u);
        EXPECT_FALSE(never.IsServing());
    }

    CUserPipeServer server(host);
    ASSERT_TRUE(server.StartUserPipeServer());
    EXPECT_TRUE(server.IsServing());
    ::Sleep(200); // waiting for a client by now
    ULONGLONG start = ::GetTickCount64();
    server.StopUserPipeServer();
    EXPECT_LT(Since(start), 1000u) << "idle";
    EXPECT_FALSE(server.IsServing());
    EXPECT_EQ(PipeOutcome::NoPipe, Transact(Notice(USER_ECHO, kQueueSize, 1)).outcome)
        << "the name is given up";

    // A client that connects and says nothing, with a client time-out far
    // longer than the bound: only the stop can end the wait.
    server.SetClientTimeout(60000);
    ASSERT_TRUE(server.StartUserPipeServer());
    HANDLE silent = OpenSilently();
    ASSERT_NE(INVALID_HANDLE_VALUE, silent);
    ::Sleep(200); // reading by now
    start = ::GetTickCount64();
    server.StopUserPipeServer();
    EXPECT_LT(Since(start), 1000u) << "held by a silent client";
    EXPECT_FALSE(server.IsServing());
    char byte = 0;
    DWORD read = 0;
    EXPECT_FALSE(::ReadFile(silent, &byte, 1, &read, nullptr)) << "the server let it go";
    ::CloseHandle(silent);

    // And it serves again after a stop.
    ASSERT_TRUE(server.StartUserPipeServer());
    EXPECT_EQ(PipeOutcome::Done, Transact(Notice(USER_ECHO, kQueueSize, 2)).outcome);
}

TEST_F(UserPipeServerTest, ASilentClientIsDroppedAtTheTimeOutAndTheNextIsServed)
{
    TestHost host;
    CUserPipeServer server(host);
    server.SetClientTimeout(300);
    ASSERT_TRUE(server.StartUserPipeServer());
    HANDLE silent = OpenSilently();
    ASSERT_NE(INVALID_HANDLE_VALUE, silent);
    // The silent client keeps its handle; the next client waits for the one
    // instance and gets it when the server drops the first.
    const Exchange echo = Transact(Notice(USER_ECHO, kQueueSize, 4));
    EXPECT_EQ(PipeOutcome::Done, echo.outcome);
    EXPECT_EQ(IPC_STATUS_OK, ReadU32(echo.reply, 0));
    ::CloseHandle(silent);
}

TEST_F(UserPipeServerTest, TwoStartsGiveOneThread)
{
    TestHost host;
    CUserPipeServer server(host);
    const int before = CountThreads();
    ASSERT_GT(before, 0);
    ASSERT_TRUE(server.StartUserPipeServer());
    const unsigned first = server.GetThreadId();
    EXPECT_TRUE(server.StartUserPipeServer());
    EXPECT_EQ(first, server.GetThreadId());
    EXPECT_EQ(before + 1, CountThreads());
    EXPECT_EQ(PipeOutcome::Done, Transact(Notice(USER_ECHO, kQueueSize, 1)).outcome);
    server.StopUserPipeServer();
    EXPECT_EQ(before, CountThreads());

    // Start and stop in quick turns: every stop returns, the flag follows.
    for (int turn = 0; turn < 20; ++turn)
    {
        ASSERT_TRUE(server.StartUserPipeServer()) << "turn " << turn;
        ASSERT_TRUE(server.IsServing());
        server.StopUserPipeServer();
        ASSERT_FALSE(server.IsServing());
    }
}

TEST_F(UserPipeServerTest, ATakenNameFailsTheStartAndTheStopReturns)
{
    HANDLE squatter = ::CreateNamedPipeA(
        m_name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
        PIPE_TYPE_MESSAGE, 1, kQueueSize, kQueueSize, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, squatter);
    TestHost host;
    CUserPipeServer server(host);
    const int before = CountThreads();
    EXPECT_FALSE(server.StartUserPipeServer());
    const DWORD error = ::GetLastError();
    EXPECT_TRUE(error == ERROR_PIPE_BUSY || error == ERROR_ACCESS_DENIED) << error;
    EXPECT_FALSE(server.IsServing());
    EXPECT_EQ(before, CountThreads());
    const ULONGLONG start = ::GetTickCount64();
    server.StopUserPipeServer();
    EXPECT_LT(Since(start), 1000u);

    // Once the name is free, a later start serves.
    ::CloseHandle(squatter);
    ASSERT_TRUE(server.StartUserPipeServer());
    EXPECT_TRUE(server.IsServing());
    EXPECT_EQ(PipeOutcome::Done, Transact(Notice(USER_ECHO, kQueueSize, 3)).outcome);
}

TEST_F(UserPipeServerTest, TheServiceStoppingEndsTheProcessWithZeroAfterTheTrayAction)
{
    TempFolder folder("userpipe");
    const CString marker = folder / "marker.txt";
    const CString ready = folder / "ready.txt";
    const std::string name = UniquePipeName("user-child");
    SetIpcPipeName(IpcPipe::User, name.c_str());

    bool ended = false;
    DWORD exitCode = 99;
    std::thread child(
        [&]
        {
            ended = RunThisProgram({{"BW_ENGINE_CHILD", "user-pipe-serve"},
                                    {"BW_CHILD_PIPE", name.c_str()},
                                    {"BW_CHILD_MARKER", marker},
                                    {"BW_CHILD_READY", ready}},
                                   90000, &exitCode);
        });
    bool served = false;
    for (int wait = 0; wait < 600 && !served; ++wait)
    {
        served = ::GetFileAttributesA(ready) != INVALID_FILE_ATTRIBUTES;
        if (!served)
            ::Sleep(100);
    }
    EXPECT_TRUE(served) << "the child did not serve within 60 s";
    if (served)
    {
        EXPECT_TRUE(PipeNotifyServiceStopping());
    }
    child.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(0u, exitCode);
    EXPECT_STREQ("tray removed", ReadTextFile(marker));
}

// ---- The child mode ----

class ChildHost : public IUserPipeHost
{
public:
    void BringToFront() override {}
    void RemoveTrayIcon() override
    {
        WriteTextFile(GetEnvironmentText("BW_CHILD_MARKER"), "tray removed");
    }
};

[[noreturn]] void ServeUntilTheServiceStops()
{
    const CString name = GetEnvironmentText("BW_CHILD_PIPE");
    SetIpcPipeName(IpcPipe::User, name);
    static ChildHost host;
    static CUserPipeServer server(host);
    if (!server.StartUserPipeServer())
        ::ExitProcess(4);
    // A run goes on beside the server; the notice ends it with the process.
    std::thread(
        []
        {
            for (volatile unsigned n = 0;; n = n + 1)
                ::Sleep(1);
        })
        .detach();
    WriteTextFile(GetEnvironmentText("BW_CHILD_READY"), "serving");
    ::Sleep(60000);
    ::ExitProcess(3);
}

int RunChildIfAsked()
{
    if (GetEnvironmentText("BW_ENGINE_CHILD") == "user-pipe-serve")
        ServeUntilTheServiceStops();
    return 0;
}

[[maybe_unused]] const int g_childMode = RunChildIfAsked();

} // namespace
