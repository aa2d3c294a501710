// The hardened server end shared by the service's pipes, on a pipe of the
// test's own with a small record. Each test is a process of its own: the
// quit that ends a server stays set.
#include "engine/PipeClient.h"
#include "engine/PipeInstance.h"
#include "engine/UserPipeServer.h"
#include "engine/Settings.h"
#include "service/PipeServingLoop.h"
#include "service/ServerThreads.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/ServiceInThisProcess.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace
{
constexpr DWORD kRecordSize = 64;

static_assert(!std::is_copy_constructible_v<CSecurityDescriptor>, "one owner");
static_assert(!std::is_copy_constructible_v<CPipeServingLoop>, "one owner");

// What the handler saw of each request.
struct Seen
{
    DWORD bytes;
    std::string record;
    PipeClientIdentity client;
};

class PipeServingLoopTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_name = UniquePipeName("pipeserver");
        ASSERT_TRUE(m_server.Create(m_name.c_str(), kRecordSize));
        m_server.SetClientTimeout(300);
    }

    // Serves on a thread; every request is answered with the whole record,
    // 100 in its first field.
    void StartServing()
    {
        m_thread = std::thread(
            [this]
            {
                m_served = m_server.Serve(
                    m_record,
                    [this](DWORD bytes, const PipeClientIdentity& client)
                    {
                        std::lock_guard<std::mutex> lock(m_lock);
                        m_seen.push_back({bytes, std::string(m_record, kRecordSize), client});
                        const uint32_t status = IPC_STATUS_OK;
                        std::memcpy(m_record, &status, sizeof status);
                        return kRecordSize;
                    });
            });
    }

    std::vector<Seen> SeenSoFar()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_seen;
    }

    bool WaitSeen(size_t count)
    {
        for (int i = 0; i < 500 && SeenSoFar().size() < count; i++)
            Sleep(10);
        return SeenSoFar().size() >= count;
    }

    void TearDown() override
    {
        SetServiceQuitting();
        if (m_thread.joinable())
            m_thread.join();
    }

    std::string m_name;
    CPipeServingLoop m_server;
    char m_record[kRecordSize];
    std::mutex m_lock;
    std::vector<Seen> m_seen;
    std::atomic<bool> m_served{false};
    std::thread m_thread;
};

PipePolicy ShortPolicy()
{
    return {1, 3000, 0, 5000, 0, SECURITY_IMPERSONATION};
}
} // namespace

TEST(PipeSecurityTest, ServicePipeDescriptorRoundTrips)
{
    CSecurityDescriptor descriptor;
    ASSERT_TRUE(descriptor.FromText(kServicePipeDescriptor));
    char* text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        descriptor.Get(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_STREQ("D:P(D;;GA;;;NU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x12018b;;;IU)", text);
    LocalFree(text);
    EXPECT_FALSE(descriptor.GetAttributes()->bInheritHandle);
    EXPECT_FALSE(descriptor.FromText("D:(nonsense"));
    EXPECT_EQ(nullptr, descriptor.GetAttributes());
}

namespace
{
// The access entries of a DACL with generic rights mapped to the pipe's own
// (a DACL given to a new object keeps the specific rights only), one text
// per entry: type, flags, mask and SID.
std::vector<std::string> AccessEntries(PACL dacl)
{
    std::vector<std::string> entries;
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                               FILE_ALL_ACCESS};
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; i++)
    {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            break;
        // Allowed and denied entries share their layout.
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        DWORD mask = ace->Mask;
        MapGenericMask(&mask, &mapping);
        char* sid = nullptr;
        ConvertSidToStringSidA(&ace->SidStart, &sid);
        char line[160];
        wsprintfA(line, "%u/%u/%08lX/%s", header->AceType, header->AceFlags, mask,
                  sid ? sid : "?");
        LocalFree(sid);
        entries.push_back(line);
    }
    return entries;
}
} // namespace

// The DACL the system holds for the pipe the server created, read back from
// its handle, is the intended one: a pipe created without it would carry the
// creator's default DACL instead.
TEST_F(PipeServingLoopTest, PipeCarriesTheServiceDescriptor)
{
    PACL held = nullptr;
    PSECURITY_DESCRIPTOR heldDescriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(m_server.GetHandle(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &held, nullptr, &heldDescriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    CSecurityDescriptor intended;
    ASSERT_TRUE(intended.FromText(kServicePipeDescriptor));
    BOOL present = FALSE, defaulted = FALSE;
    PACL wanted = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(intended.Get(), &present, &wanted, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(held, nullptr) << "a null DACL lets everyone in";
    const std::vector<std::string> expected = AccessEntries(wanted);
    EXPECT_EQ(AccessEntries(held), expected);
    EXPECT_EQ(expected.size(), 4u);
    LocalFree(heldDescriptor);
}

TEST_F(PipeServingLoopTest, SecondServerOnTheSameNameIsRefused)
{
    CPipeServingLoop squatter;
    EXPECT_FALSE(squatter.Create(m_name.c_str(), kRecordSize));
}

TEST_F(PipeServingLoopTest, OneWayRequestWrittenBeforeTheServerWaitsIsRead)
{
    // The client opens, writes and closes before the server waits for it:
    // the wait then fails with ERROR_NO_DATA, and the data is still there.
    HANDLE client =
        CreateFileA(m_name.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
                    SECURITY_SQOS_PRESENT | SECURITY_IMPERSONATION, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, client);
    char request[kRecordSize] = "one way";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(client, request, sizeof request, &written, nullptr));
    CloseHandle(client);

    StartServing();
    ASSERT_TRUE(WaitSeen(1));
    EXPECT_EQ(kRecordSize, SeenSoFar()[0].bytes);
    EXPECT_EQ("one way", ReadText(SeenSoFar()[0].record, 0, kRecordSize));
    EXPECT_TRUE(SeenSoFar()[0].client.known);
}

TEST_F(PipeServingLoopTest, SilentClientIsDroppedAndTheNextOneGetsNoStaleBytes)
{
    StartServing();
    std::string secret(kRecordSize, '\0');
    WriteU32(secret, 0, 7);
    std::memcpy(&secret[8], "password", 8);
    char reply[kRecordSize] = {};
    DWORD replyBytes = 0;
    ASSERT_EQ(PipeOutcome::Done, PipeTransact(m_name.c_str(), secret.data(), kRecordSize, reply,
                                              kRecordSize, ShortPolicy(), nullptr, &replyBytes));

    // A client that connects and sends nothing holds the one instance only
    // for the time-out.
    ASSERT_TRUE(WaitNamedPipeA(m_name.c_str(), 2000));
    HANDLE silent = CreateFileA(m_name.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, silent);

    // Four bytes: the reply is the whole record, and nothing of the first
    // client's request is in it.
    const uint32_t shortRequest = 9;
    ASSERT_EQ(PipeOutcome::Done, PipeTransact(m_name.c_str(), &shortRequest, 4, reply, kRecordSize,
                                              ShortPolicy(), nullptr, &replyBytes));
    CloseHandle(silent);
    EXPECT_EQ(kRecordSize, replyBytes);
    const std::string answer(reply, kRecordSize);
    EXPECT_EQ(IPC_STATUS_OK, ReadU32(answer, 0));
    EXPECT_TRUE(AllZero(answer, 4, kRecordSize - 4));

    const std::vector<Seen> seen = SeenSoFar();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(4u, seen[1].bytes);
    EXPECT_TRUE(AllZero(seen[1].record, 4, kRecordSize - 4));
    // The identity comes from the client's token: under Wine the one user.
    CString own;
    ASSERT_TRUE(GetCurrentUserSidText(own));
    EXPECT_TRUE(seen[1].client.known);
    EXPECT_STREQ(own, seen[1].client.sid);

    SetServiceQuitting();
    m_thread.join();
    EXPECT_TRUE(m_served);
}

namespace
{
class CNoHost : public IUserPipeHost
{
public:
    void BringToFront() override {}
    void RemoveTrayIcon() override {}
};

// The mandatory label in a descriptor's SACL: its mask and SID, or "none".
std::string LabelOf(PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE, defaulted = FALSE;
    PACL sacl = nullptr;
    if (!GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted) || !present ||
        sacl == nullptr || sacl->AceCount != 1)
        return "none";
    ACE_HEADER* header = nullptr;
    if (!GetAce(sacl, 0, reinterpret_cast<void**>(&header)) ||
        header->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE)
        return "none";
    auto* label = reinterpret_cast<SYSTEM_MANDATORY_LABEL_ACE*>(header);
    char* sid = nullptr;
    ConvertSidToStringSidA(&label->SidStart, &sid);
    std::string text = std::to_string(label->Mask) + "/" + (sid ? sid : "?");
    LocalFree(sid);
    return text;
}
} // namespace

// Every pipe carries the medium label, no read and no write up: a process
// below medium integrity cannot open it. (Wine 8 keeps no label on the pipe
// it makes, so the descriptor each is made with is what can be checked.)
TEST(PipeSecurityTest, EveryPipeIsMadeWithTheMediumLabel)
{
    const std::string expected =
        std::to_string(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP | SYSTEM_MANDATORY_LABEL_NO_READ_UP) +
        "/S-1-16-8192";
    CString user;
    ASSERT_TRUE(GetCurrentUserSidText(user));
    for (const CString& dacl : {CString(kServicePipeDescriptor), UserPipeDacl(user)})
    {
        SCOPED_TRACE(static_cast<const char*>(dacl));
        CSecurityDescriptor descriptor;
        ASSERT_TRUE(descriptor.FromText(PipeDescriptorText(dacl)));
        EXPECT_EQ(LabelOf(descriptor.Get()), expected);
    }
}

// The USER pipe a program serves admits its user and SYSTEM alone: no
// reading for everyone, nothing for the Administrators or another user.
TEST(PipeSecurityTest, TheUserPipeAdmitsItsUserAndSystemAlone)
{
    const std::string name = UniquePipeName("userdacl");
    SetIpcPipeName(IpcPipe::User, name.c_str());
    CNoHost host;
    CUserPipeServer server(host);
    ASSERT_TRUE(server.StartUserPipeServer());
    ASSERT_TRUE(WaitNamedPipeA(name.c_str(), 5000));
    HANDLE client = CreateFileA(name.c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    PACL held = nullptr;
    PSECURITY_DESCRIPTOR heldDescriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(client, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &held, nullptr, &heldDescriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(client);
    server.StopUserPipeServer();
    SetIpcPipeName(IpcPipe::User, kUserPipeName);

    CString user;
    ASSERT_TRUE(GetCurrentUserSidText(user));
    char entry[160];
    wsprintfA(entry, "0/0/%08lX/%s", static_cast<unsigned long>(FILE_ALL_ACCESS),
              static_cast<const char*>(user));
    char system[160];
    wsprintfA(system, "0/0/%08lX/S-1-5-18", static_cast<unsigned long>(FILE_ALL_ACCESS));
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(AccessEntries(held), (std::vector<std::string>{entry, system}));
    LocalFree(heldDescriptor);
}

// A request of any length on a kept connection is followed by the next one
// answered: the first here lasts longer than a connection's life, so the
// loop takes no further request on its connection, and the client's next
// request, sent at once, goes where it is read. Served as the BACKUP pipe
// is: its whole record, its limits.
TEST_F(PipeServingLoopTest, TheRequestAfterOneLongerThanAConnectionsLifeIsAnswered)
{
    const std::string name = UniquePipeName("keptlife");
    CPipeServingLoop loop;
    ASSERT_TRUE(loop.Create(name.c_str(), sizeof(IpcQueueRecord)));
    loop.KeepConnections();
    auto record = std::make_unique<IpcQueueRecord>();
    std::atomic<int> served{0};
    std::thread serving(
        [&]
        {
            loop.Serve(record.get(),
                       [&](DWORD, const PipeClientIdentity&) -> DWORD
                       {
                           // The first is a store of a large file.
                           if (served.load() == 0)
                               ::Sleep(kKeptConnectionLifeMs + 500);
                           const CString stamp(record->text3);
                           record->command = IPC_STATUS_OK;
                           record->result = 1;
                           IpcCopyText(record->text1, stamp);
                           ++served;
                           return sizeof(IpcQueueRecord);
                       });
        });
    SetIpcPipeName(IpcPipe::Backup, name.c_str());
    CServiceInThisProcess service;
    // An unanswered request fails in 10 s rather than the run's minute.
    SetPipePolicy(PipeSender::FileStamp,
                  {1, 3000, 0, 10000, 0, SECURITY_IMPERSONATION, 0, PipeServerCheck::Service});
    {
        CKeptBackupConnection kept;
        for (const char* path : {"C:\\first.txt", "C:\\second.txt", "C:\\third.txt"})
        {
            CString stamp;
            EXPECT_EQ(1, PipeGetFileStamp(path, stamp)) << path;
            EXPECT_STREQ(stamp, path) << "its own reply";
        }
        EXPECT_TRUE(kept.IsOpen());
    }
    SetServiceQuitting();
    serving.join();
    EXPECT_EQ(3, served.load());
}

// A kept connection takes request after request, but none once it is past
// its life: the reply that crosses it is the connection's last, and the
// client must come back through the queue for an instance.
TEST_F(PipeServingLoopTest, AKeptConnectionTakesNoRequestPastItsLife)
{
    m_server.KeepConnections();
    m_server.SetClientTimeout(20000);
    m_server.SetKeptConnectionLimits(20000, 300);
    StartServing();

    HANDLE client = CreateFileA(m_name.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    DWORD mode = PIPE_READMODE_MESSAGE;
    ASSERT_TRUE(SetNamedPipeHandleState(client, &mode, nullptr, nullptr));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const ULONGLONG start = GetTickCount64();
    int answered = 0;
    bool ended = false;
    // Request after request until one goes unanswered for 5 s (a bound, not
    // a pause: answers come in milliseconds), for 15 s at most.
    while (!ended && GetTickCount64() - start < 15000)
    {
        char request[kRecordSize] = "next";
        char reply[kRecordSize] = {};
        DWORD bytes = 0;
        if (!TransactNamedPipe(client, request, sizeof request, reply, sizeof reply, nullptr,
                               &overlapped) &&
            GetLastError() == ERROR_IO_PENDING &&
            WaitForSingleObject(overlapped.hEvent, 5000) != WAIT_OBJECT_0)
        {
            CancelIo(client);
            GetOverlappedResult(client, &overlapped, &bytes, TRUE);
            ended = true;
        }
        else if (!GetOverlappedResult(client, &overlapped, &bytes, FALSE) || bytes != kRecordSize)
            ended = true;
        else
            ++answered;
    }
    CloseHandle(overlapped.hEvent);
    CloseHandle(client);
    EXPECT_TRUE(ended);
    EXPECT_GE(answered, 2) << "kept for more than one request";
    // The one it swallowed after the last reply is not served.
    EXPECT_EQ(SeenSoFar().size(), static_cast<size_t>(answered));
}
