#include "service/BackupServer.h"

#include "engine/FileStamp.h"
#include "engine/PipeClient.h"
#include "engine/Settings.h"
#include "service/PipeServingLoop.h"
#include "service/ServerThreads.h"
#include "service/BackupRequests.h"
#include "service/SettingsServer.h"
#include "engine/BackupOneFile.h"
#include "engine/StoredFile.h"
#include "tests/service/BackupServiceHere.h"
#include "tests/service/CallerTokens.h"
#include "tests/support/StuckSource.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/ServiceInThisProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
// The BACKUP server on a pipe of this test alone, dropping silent clients
// after a second. Each test is a process of its own, so the quit at the end
// is the process's.
class BackupServerTest : public ::testing::Test
{
protected:
    // The test's own servers stand in for the service.
    CServiceInThisProcess m_serviceHere;

    explicit BackupServerTest(DWORD clientTimeoutMs = 1000)
    {
        m_pipe = UniquePipeName("backupsrv");
        SetIpcPipeName(IpcPipe::Backup, m_pipe.c_str());
        SetBackupClientTimeout(clientTimeoutMs);
        m_policy = GetPipePolicy(PipeSender::FileStamp);
        m_policy.attempts = 1;
        m_policy.waitMs = 10000;
        m_policy.exchangeMs = 10000;
        m_policy.exchangeMsPerMiB = 0;
        for (PipeSender sender : {PipeSender::FileStamp, PipeSender::StoreFile})
            SetPipePolicy(sender, m_policy);
        m_server = std::thread([] { BackupServerThread(nullptr); });
        // Until the server holds its pipe's name.
        for (int i = 0; i < 1000 && !::WaitNamedPipeA(m_pipe.c_str(), 1) &&
                        ::GetLastError() == ERROR_FILE_NOT_FOUND;
             ++i)
            ::Sleep(10);
    }

    ~BackupServerTest() override
    {
        SetServiceQuitting();
        m_server.join();
        SetIpcPipeName(IpcPipe::Backup, kBackupPipeName);
    }

    // A client that opens an instance and sends nothing.
    bool HoldInstance(CFile& client) const
    {
        if (!::WaitNamedPipeA(m_pipe.c_str(), 10000))
            return false;
        client.Attach(::CreateFileA(m_pipe.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        return client.IsOpen();
    }

    // One request of `size` bytes and its reply, as raw bytes.
    std::string Exchange(const IpcQueueRecord& request, DWORD size)
    {
        std::string reply(sizeof(IpcQueueRecord), '\0');
        DWORD got = 0;
        EXPECT_EQ(PipeTransact(m_pipe.c_str(), &request, size, &reply[0], sizeof(IpcQueueRecord),
                               m_policy, nullptr, &got),
                  PipeOutcome::Done);
        reply.resize(got);
        return reply;
    }

    std::string m_pipe;
    PipePolicy m_policy;
    std::thread m_server;
};

// The server holding silent clients for 30 s.
class BackupServerPatientTest : public BackupServerTest
{
protected:
    BackupServerPatientTest() : BackupServerTest(kPatientTimeoutMs) {}
    static constexpr DWORD kPatientTimeoutMs = 30000;
};

TEST_F(BackupServerTest, WaitsForTheUserAndEchoesNoEarlierRequest)
{
    TempFolder folder("backupsrv");
    const CString source = folder / "a.txt";
    ASSERT_TRUE(WriteTextFile(source, "data"));

    // Before the main program has named its user nothing is answered.
    PipePolicy brief = m_policy;
    brief.exchangeMs = 1500;
    SetPipePolicy(PipeSender::StoreFile, brief);
    EXPECT_EQ(PipeStoreFile(source, folder / "Files\\", FALSE, TRUE, "secret"), kPipeNoAnswer);
    TellServiceTheUser();
    SetPipePolicy(PipeSender::StoreFile, m_policy);

    // A long request with a password, then a short one: the reply to the
    // short one holds nothing of the long one.
    EXPECT_EQ(PipeStoreFile(source, folder / "Files\\", FALSE, TRUE, "secret"), kPipeDone);
    auto shortRequest = std::make_unique<IpcQueueRecord>();
    std::memset(shortRequest.get(), 0, sizeof(IpcQueueRecord));
    shortRequest->command = BACKUP_FILE_STAMP;
    const std::string reply = Exchange(*shortRequest, 4);
    ASSERT_EQ(reply.size(), sizeof(IpcQueueRecord));
    EXPECT_EQ(ReadU32(reply, 0), IPC_STATUS_OK);
    EXPECT_EQ(ReadU32(reply, 8), 0u);
    EXPECT_TRUE(AllZero(reply, 12, reply.size() - 12));
}

TEST_F(BackupServerTest, FourSilentClientsHoldEveryInstanceAndAFifthIsServedAfterThem)
{
    TempFolder folder("backupsilent");
    const CString file = folder / "f.txt";
    ASSERT_TRUE(WriteTextFile(file, "12345"));
    TellServiceTheUser();
    CFile silent[kBackupPipeInstances];
    for (CFile& client : silent)
        ASSERT_TRUE(HoldInstance(client));
    // Every instance is held: a fifth client finds the pipe busy, not gone.
    EXPECT_FALSE(::WaitNamedPipeA(m_pipe.c_str(), 100));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SEM_TIMEOUT));

    // It waits until the server drops the silent ones, and is served then.
    const ULONGLONG start = ::GetTickCount64();
    CString stamp, expected;
    EXPECT_EQ(PipeGetFileStamp(file, stamp), 1);
    EXPECT_GE(::GetTickCount64() - start, 500u);
    ASSERT_TRUE(MakeFileStamp(file, expected));
    EXPECT_STREQ(stamp, expected);
}

namespace
{
// The callers the test plays through the real pipe, and how often the
// server read one.
std::atomic<Caller> g_caller{Caller::User};
std::atomic<int> g_tokenReads{0};
bool PlayedCaller(CCallerToken& caller)
{
    ++g_tokenReads;
    return MakeCallerToken(g_caller.load(), caller);
}
} // namespace

// The server keeps what it read of a caller's token for the requests of his
// connection alone: a plain user is refused a file he may not read on every
// request of his connection, an administrator on a connection of his own is
// served, and the user's next connection is his own again.
TEST_F(BackupServerTest, ACallersTokenServesHisOwnConnectionAlone)
{
    TempFolder folder("backupconn");
    const CString secret = folder / "secret.txt";
    const CString open = folder / "open.txt";
    ASSERT_TRUE(WriteSecretAndOpenFiles(secret, open));
    const CString root = folder / "Files\\";
    TellServiceTheUser();
    SetCallerTokenProbe(PlayedCaller);

    const auto store = [&](const CString& path)
    { return PipeStoreFile(path, root, FALSE, FALSE, ""); };
    {
        CKeptBackupConnection kept;
        EXPECT_EQ(kPipeFailed, store(secret));
        EXPECT_EQ(kPipeFailed, store(secret)) << "refused on the kept connection too";
        EXPECT_EQ(kPipeDone, store(open));
    }
    // One read, or one per connection should the kept one have run out.
    EXPECT_GE(g_tokenReads.load(), 1);
    EXPECT_LE(g_tokenReads.load(), 3);
    g_caller = Caller::Administrator;
    {
        CKeptBackupConnection kept;
        EXPECT_EQ(kPipeDone, store(secret));
    }
    g_caller = Caller::User;
    const int before = g_tokenReads.load();
    {
        CKeptBackupConnection kept;
        EXPECT_EQ(kPipeFailed, store(secret)) << "the administrator's token served his alone";
    }
    EXPECT_GT(g_tokenReads.load(), before) << "a new connection is read anew";
    SetCallerTokenProbe(nullptr);
}

// Four stores whose sources never answer (an opportunistic lock never
// acknowledged, a placeholder whose storage is gone) each hold one instance
// of the pipe, every instance there is, only until the bound: each gets a
// failed reply and the next client is served.
TEST_F(BackupServerTest, StoresWhoseSourcesNeverAnswerHoldNoInstanceBeyondTheBound)
{
    SetSourceIoLimit(1000);
    CStuckPipe stuck;
    g_stuck = &stuck;
    SetSourceOpener(StuckOpener);
    TempFolder folder("backupbound");
    const CString file = folder / "f.txt";
    ASSERT_TRUE(WriteTextFile(file, "12345"));
    const CString root = folder / "Files\\";
    TellServiceTheUser();

    std::atomic<int> failed{0};
    std::vector<std::thread> clients;
    for (DWORD i = 0; i < kBackupPipeInstances; ++i)
        clients.emplace_back(
            [&, i]
            {
                const CString path = folder / (std::to_string(i) + "stuck.txt").c_str();
                if (PipeStoreFile(path, root, FALSE, FALSE, "") == kPipeFailed)
                    ++failed;
            });
    const bool allHeld =
        WaitUntil([] { return g_stuckCalls.load() == static_cast<int>(kBackupPipeInstances); },
                  wait_bound::kAnswerMs);
    EXPECT_TRUE(allHeld) << g_stuckCalls.load() << " instances held";
    EXPECT_EQ(PipeStoreFile(file, root, FALSE, FALSE, ""), kPipeDone);
    EXPECT_STREQ(ReadTextFile(StoredCopyPath(root, file)), "12345");
    stuck.LetGo();
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(failed.load(), static_cast<int>(kBackupPipeInstances));
    SetSourceOpener(nullptr);
}

TEST_F(BackupServerTest, AKeptConnectionIsServedRequestAfterRequestOnOneInstance)
{
    TempFolder folder("backupkept");
    const CString file = folder / "f.txt";
    ASSERT_TRUE(WriteTextFile(file, "12345"));
    CString expected;
    ASSERT_TRUE(MakeFileStamp(file, expected));
    TellServiceTheUser();

    CKeptBackupConnection kept;
    for (int i = 0; i < 3; ++i)
    {
        CString stamp;
        EXPECT_EQ(PipeGetFileStamp(file, stamp), 1);
        EXPECT_STREQ(stamp, expected);
    }
    ASSERT_TRUE(kept.IsOpen());
    // It holds one instance between its requests: the others can be had,
    // then none.
    CFile others[kBackupPipeInstances - 1];
    for (CFile& other : others)
        ASSERT_TRUE(HoldInstance(other));
    EXPECT_FALSE(::WaitNamedPipeA(m_pipe.c_str(), 100));
    kept.Close();
    EXPECT_TRUE(::WaitNamedPipeA(m_pipe.c_str(), 5000));
}

TEST_F(BackupServerTest, FourKeptClientsEachGetTheirOwnRepliesAndAFifthGetsIn)
{
    TempFolder folder("backupkeptfour");
    constexpr int kKept = static_cast<int>(kBackupPipeInstances);
    CString files[kKept + 1];
    CString expected[kKept + 1];
    for (int i = 0; i <= kKept; ++i)
    {
        // Sizes of their own: each stamp tells whose file it is.
        files[i] = folder / (CString("f") + CString(static_cast<char>('a' + i), 1) + ".txt");
        ASSERT_TRUE(WriteTextFile(files[i], std::string(10 + i, 'x').c_str()));
        ASSERT_TRUE(MakeFileStamp(files[i], expected[i]));
    }
    TellServiceTheUser();
    // A client that finds every instance busy tries again: a freed instance
    // may go to a kept client first.
    PipePolicy patient = m_policy;
    patient.attempts = 20;
    patient.pauseMs = 0;
    SetPipePolicy(PipeSender::FileStamp, patient);

    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::atomic<int> served[kKept] = {};
    std::vector<std::thread> clients;
    for (int i = 0; i < kKept; ++i)
        clients.emplace_back(
            [&, i]
            {
                CKeptBackupConnection kept;
                const ULONGLONG start = ::GetTickCount64();
                while (!done.load() && ::GetTickCount64() - start < 60000)
                {
                    CString stamp;
                    if (PipeGetFileStamp(files[i], stamp) != 1 || stamp != expected[i])
                        ++wrong;
                    ++served[i];
                }
            });
    // Until the four have served some requests each way.
    const auto total = [&]
    {
        int sum = 0;
        for (const std::atomic<int>& count : served)
            sum += count.load();
        return sum;
    };
    for (int i = 0; i < 6000 && total() < 40; ++i)
        ::Sleep(10);
    CString stamp;
    EXPECT_EQ(PipeGetFileStamp(files[kKept], stamp), 1);
    EXPECT_STREQ(stamp, expected[kKept]);
    done.store(true);
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(wrong.load(), 0);
    for (int i = 0; i < kKept; ++i)
        EXPECT_GT(served[i].load(), 1) << i;
}
// An idle kept connection is dropped within its idle limit (a second),
// long before the client time-out that holds the silent ones: its instance
// is the one that comes free.
TEST_F(BackupServerPatientTest, AnIdleKeptConnectionIsDroppedInTime)
{
    TempFolder folder("backupidle");
    const CString file = folder / "f.txt";
    ASSERT_TRUE(WriteTextFile(file, "12345"));
    TellServiceTheUser();
    CKeptBackupConnection kept;
    CString stamp;
    ASSERT_EQ(PipeGetFileStamp(file, stamp), 1);
    ASSERT_TRUE(kept.IsOpen());
    const ULONGLONG replied = ::GetTickCount64();
    CFile silent[kBackupPipeInstances - 1];
    for (CFile& client : silent)
        ASSERT_TRUE(HoldInstance(client));

    // The kept connection stays open on this side and sends nothing.
    EXPECT_TRUE(::WaitNamedPipeA(m_pipe.c_str(), kPatientTimeoutMs / 2));
    EXPECT_LT(::GetTickCount64() - replied, 10 * static_cast<ULONGLONG>(kKeptConnectionIdleMs));
    EXPECT_TRUE(kept.IsOpen());
}
} // namespace
