// The running service without the service control manager: RunService on a
// thread of the test, the control handler called as the dispatcher would,
// the status reports and the stop notice caught by hooks, and servers of the
// test's own on pipes of their own. Each test needs a process of its own,
// as ctest gives it: the quit flag, once set, stays set.
#include "foundation/String.h"
#include "service/ServerThreads.h"
#include "service/ServiceControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace
{
// One clock of events, so that the test can tell what came first.
std::atomic<int> g_clock{0};
int Tick()
{
    return ++g_clock;
}

struct Report
{
    SERVICE_STATUS status;
    int at;
};
std::mutex g_reportsLock;
std::vector<Report> g_reports;
// Runs inside the first START_PENDING report when set.
void (*g_onFirstStartPending)() = nullptr;

BOOL WINAPI RecordStatus(SERVICE_STATUS_HANDLE, SERVICE_STATUS* status)
{
    bool firstStartPending;
    {
        std::lock_guard<std::mutex> guard(g_reportsLock);
        firstStartPending = status->dwCurrentState == SERVICE_START_PENDING && g_reports.empty();
        g_reports.push_back({*status, Tick()});
    }
    if (firstStartPending && g_onFirstStartPending != nullptr)
        g_onFirstStartPending();
    return TRUE;
}

std::vector<Report> Reports()
{
    std::lock_guard<std::mutex> guard(g_reportsLock);
    return g_reports;
}

bool WasReported(DWORD state)
{
    for (const Report& report : Reports())
    {
        if (report.status.dwCurrentState == state)
            return true;
    }
    return false;
}

// The stop notice: when it went out, and how many servers were still
// running then.
std::atomic<int> g_noticeAt{0};
std::atomic<int> g_noticeCount{0};
std::atomic<int> g_serversAliveAtNotice{-1};

bool RecordNotice()
{
    int alive = 0;
    for (int i = 0; i < kServerThreadCount; i++)
        alive += GetServerThreads()[i].alive.load() != 0;
    g_serversAliveAtNotice = alive;
    g_noticeAt = Tick();
    g_noticeCount++;
    return true;
}

// Set by each test server once it waits for a client, past its first
// test of the quit flag.
std::atomic<int> g_listening[kServerThreadCount] = {{0}, {0}};
// When each test server ended (0: not yet).
std::atomic<int> g_endedAt[kServerThreadCount] = {{0}, {0}};
// How long the SETTINGS test server goes on after it was woken, as if it
// were finishing a request.
DWORD g_settingsWorkAfterWake = 0;

CString PipeName(const char* tag)
{
    CString name;
    name.Format("\\\\.\\pipe\\bwtest-%s-%lu", tag, GetCurrentProcessId());
    return name;
}

// A server as the real ones are: one pipe instance, a client at a time, the
// quit flag tested after each.
unsigned ListenUntilQuit(int index, DWORD workAfterWake)
{
    HANDLE pipe = CreateNamedPipeA(GetIpcPipeName(GetServerThreads()[index].pipe),
                                   PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 512, 512, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return 1;
    while (!IsServiceQuitting())
    {
        g_listening[index] = 1;
        ConnectNamedPipe(pipe, nullptr);
        char record[512];
        DWORD read = 0;
        ReadFile(pipe, record, sizeof(record), &read, nullptr);
        DisconnectNamedPipe(pipe);
        Sleep(workAfterWake);
    }
    CloseHandle(pipe);
    g_endedAt[index] = Tick();
    return 0;
}

unsigned __stdcall SettingsTestServer(void*)
{
    return ListenUntilQuit(0, g_settingsWorkAfterWake);
}

unsigned __stdcall BackupTestServer(void*)
{
    return ListenUntilQuit(1, 0);
}

unsigned __stdcall EndingAtOnce(void*)
{
    g_endedAt[1] = Tick();
    return 0;
}

unsigned __stdcall ThrowingAtQuit(void*)
{
    while (!IsServiceQuitting())
        Sleep(10);
    g_endedAt[1] = Tick();
    throw std::runtime_error("server failed");
}

unsigned __stdcall WaitingForItsStopEvent(void*)
{
    WaitForSingleObject(GetServerThreads()[1].worker.GetStopEvent(), INFINITE);
    return 0;
}

class ServiceControlTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_settingsPipe = PipeName("settings");
        m_backupPipe = PipeName("backup");
        ServerThread* servers = GetServerThreads();
        SetIpcPipeName(IpcPipe::Settings, m_settingsPipe);
        servers[0].procedure = SettingsTestServer;
        SetIpcPipeName(IpcPipe::Backup, m_backupPipe);
        servers[1].procedure = BackupTestServer;
        GetServiceControlHooks().setServiceStatus = RecordStatus;
        GetServiceControlHooks().sendStopNotice = RecordNotice;
    }

    static DWORD WINAPI RunServiceThread(void*)
    {
        RunService();
        return 0;
    }

    // Starts RunService on a thread of its own.
    void StartService()
    {
        m_service = CreateThread(nullptr, 0, RunServiceThread, nullptr, 0, nullptr);
        ASSERT_NE(nullptr, m_service);
    }

    // True when RunService has returned within the time-out.
    bool ServiceEnded(DWORD timeout)
    {
        return WaitForSingleObject(m_service, timeout) == WAIT_OBJECT_0;
    }

    void WaitForRunning()
    {
        for (int i = 0; i < 1000 && !WasReported(SERVICE_RUNNING); i++)
            Sleep(10);
        ASSERT_TRUE(WasReported(SERVICE_RUNNING));
    }

    void TearDown() override
    {
        if (m_service != nullptr)
            CloseHandle(m_service);
    }

    CString m_settingsPipe;
    CString m_backupPipe;
    HANDLE m_service = nullptr;
};
} // namespace

TEST_F(ServiceControlTest, StoppedIsReportedOnlyAfterEveryServerEnded)
{
    // The SETTINGS server is finishing a request for 1.5 s when the stop
    // comes.
    g_settingsWorkAfterWake = 1500;
    StartService();
    WaitForRunning();
    // RUNNING is reported as the servers begin: a stop before the SETTINGS
    // server waits for its client would end it before its 1.5 s of work.
    for (int i = 0; i < 6000 && g_listening[0].load() == 0; i++)
        Sleep(10);

    EXPECT_EQ(static_cast<DWORD>(NO_ERROR),
              ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr));
    // The handler only starts the stop: nothing has ended yet.
    EXPECT_FALSE(WasReported(SERVICE_STOPPED));
    EXPECT_EQ(0, g_endedAt[0].load());
    ASSERT_TRUE(ServiceEnded(60000));

    // One SERVICE_STOPPED, the last report.
    const std::vector<Report> reports = Reports();
    ASSERT_FALSE(reports.empty());
    const Report& last = reports.back();
    int stoppedCount = 0;
    for (const Report& report : reports)
        stoppedCount += report.status.dwCurrentState == SERVICE_STOPPED;
    EXPECT_EQ(1, stoppedCount);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), last.status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), last.status.dwWin32ExitCode);
    EXPECT_EQ(0u, last.status.dwCheckPoint);
    // The notice first, while both servers still ran; SERVICE_STOPPED after
    // both had ended.
    EXPECT_EQ(1, g_noticeCount.load());
    EXPECT_EQ(2, g_serversAliveAtNotice.load());
    ASSERT_NE(0, g_endedAt[0].load());
    ASSERT_NE(0, g_endedAt[1].load());
    EXPECT_LT(g_noticeAt.load(), g_endedAt[0].load());
    EXPECT_LT(g_noticeAt.load(), g_endedAt[1].load());
    EXPECT_LT(g_endedAt[0].load(), last.at);
    EXPECT_LT(g_endedAt[1].load(), last.at);
    for (int i = 0; i < kServerThreadCount; i++)
    {
        EXPECT_EQ(0, GetServerThreads()[i].alive.load());
        EXPECT_EQ(nullptr, GetServerThreads()[i].worker.GetThreadHandle());
    }
}

TEST_F(ServiceControlTest, StatusesFollowTheLifeWithAGrowingCheckPoint)
{
    g_settingsWorkAfterWake = 1500;
    StartService();
    WaitForRunning();
    // RUNNING is reported as the servers begin: a stop before the SETTINGS
    // server waits for its client would end it before its 1.5 s of work.
    for (int i = 0; i < 6000 && g_listening[0].load() == 0; i++)
        Sleep(10);
    ServiceControlHandler(SERVICE_CONTROL_INTERROGATE, 0, nullptr, nullptr);
    ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
    ASSERT_TRUE(ServiceEnded(60000));

    const std::vector<Report> reports = Reports();
    // START_PENDING, RUNNING, RUNNING (the interrogation), STOP_PENDING at
    // least twice (again every second of the 1.5 s wait), STOPPED.
    ASSERT_GE(reports.size(), 6u);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_START_PENDING), reports[0].status.dwCurrentState);
    EXPECT_EQ(kStartWaitHint, reports[0].status.dwWaitHint);
    EXPECT_EQ(0u, reports[0].status.dwControlsAccepted);
    EXPECT_EQ(1u, reports[0].status.dwCheckPoint);
    for (int i : {1, 2})
    {
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), reports[i].status.dwCurrentState);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_ACCEPT_STOP), reports[i].status.dwControlsAccepted);
        EXPECT_EQ(0u, reports[i].status.dwCheckPoint);
    }
    DWORD checkPoint = reports[0].status.dwCheckPoint;
    size_t i = 3;
    for (; i + 1 < reports.size(); i++)
    {
        EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), reports[i].status.dwCurrentState);
        EXPECT_EQ(kStopWaitHint, reports[i].status.dwWaitHint);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_ACCEPT_STOP), reports[i].status.dwControlsAccepted);
        EXPECT_EQ(checkPoint + 1, reports[i].status.dwCheckPoint);
        checkPoint = reports[i].status.dwCheckPoint;
    }
    EXPECT_GE(i - 3, 2u);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), reports[i].status.dwCurrentState);
    for (const Report& report : reports)
        EXPECT_EQ(kReportedServiceType, report.status.dwServiceType);
}

TEST_F(ServiceControlTest, NoControlIsAcceptedWhileStarting)
{
    // A stop control that arrives while START_PENDING is reported only gets
    // the state reported again.
    g_onFirstStartPending = []
    { ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr); };
    StartService();
    WaitForRunning();
    EXPECT_FALSE(ServiceEnded(300));
    EXPECT_EQ(0, g_noticeCount.load());

    const std::vector<Report> reports = Reports();
    ASSERT_GE(reports.size(), 3u);
    for (int i : {0, 1})
    {
        EXPECT_EQ(static_cast<DWORD>(SERVICE_START_PENDING), reports[i].status.dwCurrentState);
        EXPECT_EQ(0u, reports[i].status.dwControlsAccepted);
        EXPECT_EQ(static_cast<DWORD>(i + 1), reports[i].status.dwCheckPoint);
    }
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), reports[2].status.dwCurrentState);

    ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
    ASSERT_TRUE(ServiceEnded(60000));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), Reports().back().status.dwCurrentState);
}

TEST_F(ServiceControlTest, ServerThatEndedEarlyDoesNotHoldTheStop)
{
    // As a server whose pipe could not be made: its thread is gone before
    // the stop, perhaps before its start was even checked.
    GetServerThreads()[1].procedure = EndingAtOnce;
    StartService();
    for (int i = 0; i < 1000 && !WasReported(SERVICE_RUNNING) && !WasReported(SERVICE_STOPPED); i++)
        Sleep(10);
    ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
    ASSERT_TRUE(ServiceEnded(60000));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), Reports().back().status.dwCurrentState);
    EXPECT_NE(0, g_endedAt[0].load());
    EXPECT_EQ(0, GetServerThreads()[1].alive.load());
}

TEST_F(ServiceControlTest, ServerLeavingByAnExceptionDoesNotHoldTheStop)
{
    GetServerThreads()[1].procedure = ThrowingAtQuit;
    StartService();
    WaitForRunning();
    ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
    ASSERT_TRUE(ServiceEnded(60000));
    EXPECT_NE(0, g_endedAt[1].load());
    EXPECT_EQ(0, GetServerThreads()[1].alive.load());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), Reports().back().status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), Reports().back().status.dwWin32ExitCode);
}

TEST_F(ServiceControlTest, FailedStartStopsTheServersBegunAndReportsTheError)
{
    // The BACKUP worker still holds a thread of an earlier start, so its
    // start fails; the SETTINGS server, begun first, must be stopped again.
    ServerThread& backup = GetServerThreads()[1];
    ASSERT_TRUE(backup.worker.Start(WaitingForItsStopEvent, nullptr));
    StartService();
    ASSERT_TRUE(ServiceEnded(60000));

    const std::vector<Report> reports = Reports();
    ASSERT_EQ(2u, reports.size());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_START_PENDING), reports[0].status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), reports[1].status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NO_THREAD), reports[1].status.dwWin32ExitCode);
    EXPECT_NE(0, g_endedAt[0].load());
    EXPECT_LT(g_endedAt[0].load(), reports[1].at);
    EXPECT_EQ(nullptr, GetServerThreads()[0].worker.GetThreadHandle());
    EXPECT_EQ(nullptr, backup.worker.GetThreadHandle());
    // The service never ran: the main program is not told it stops.
    EXPECT_EQ(0, g_noticeCount.load());
}

TEST(ServiceStatus, CheckPointIsNeverResetAndOnlyPendingStatesCarryIt)
{
    GetServiceControlHooks().setServiceStatus = RecordStatus;
    const DWORD states[] = {SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_RUNNING,
                            SERVICE_STOP_PENDING,  SERVICE_STOPPED,       SERVICE_STOP_PENDING};
    for (DWORD state : states)
        EXPECT_TRUE(ReportServiceStatus(state, NO_ERROR, 7));
    const std::vector<Report> reports = Reports();
    ASSERT_EQ(6u, reports.size());
    const DWORD checkPoints[] = {1, 2, 0, 3, 0, 4};
    for (int i = 0; i < 6; i++)
    {
        EXPECT_EQ(states[i], reports[i].status.dwCurrentState);
        EXPECT_EQ(checkPoints[i], reports[i].status.dwCheckPoint) << i;
        EXPECT_EQ(7u, reports[i].status.dwWaitHint);
        EXPECT_EQ(states[i] == SERVICE_START_PENDING ? 0u : static_cast<DWORD>(SERVICE_ACCEPT_STOP),
                  reports[i].status.dwControlsAccepted);
    }
}

static BOOL WINAPI RefuseStatus(SERVICE_STATUS_HANDLE, SERVICE_STATUS*)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

TEST(ServiceStatus, FailedFirstReportEndsTheServiceWithoutServers)
{
    GetServiceControlHooks().setServiceStatus = RefuseStatus;
    GetServiceControlHooks().sendStopNotice = RecordNotice;
    EXPECT_FALSE(ReportServiceStatus(SERVICE_RUNNING, NO_ERROR, 0));
    RunService();
    EXPECT_EQ(nullptr, GetServerThreads()[0].worker.GetThreadHandle());
    EXPECT_EQ(0, g_noticeCount.load());
}
