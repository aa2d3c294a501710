#include "tests/service/BackupClients.h"

#include "engine/BackupOneFile.h"
#include "engine/FileStamp.h"
#include "engine/IpcRecords.h"
#include "tests/support/StoredFormReference.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace
{
constexpr int kClients = 4;
constexpr size_t kFileSize = 6u << 20;

double Now()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Client
{
    std::unique_ptr<IpcQueueRecord> request = std::make_unique<IpcQueueRecord>();
    std::unique_ptr<IpcQueueRecord> reply = std::make_unique<IpcQueueRecord>();
    DWORD replied = 0;     // bytes of the reply
    double opened = 0;     // the pipe open
    double answered = 0;   // the reply in, before this end is closed
    std::string problem;
};

// A request whose every byte is the client's own, but for the fields set.
void FillRequest(Client& client, unsigned char own, uint32_t command, const CString& path,
                 const CString& root)
{
    IpcQueueRecord& request = *client.request;
    std::memset(&request, own, sizeof(request));
    std::memset(client.reply.get(), 0, sizeof(IpcQueueRecord));
    request.command = command;
    IpcCopyText(request.text3, path);
    IpcCopyText(request.text1, root);
    std::string password(sizeof(request.text2) - 1, static_cast<char>(own));
    IpcCopyText(request.text2, password.c_str());
    request.compress = 1;
    request.encrypt = 1;
}

// Waits for a free instance (until `giveUpAt`), opens it as the main
// program does (counted in `opened`) and makes one transaction.
void Exchange(const char* pipe, Client& client, double giveUpAt, std::atomic<int>& opened)
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    while (handle == INVALID_HANDLE_VALUE)
    {
        if (Now() > giveUpAt)
        {
            client.problem = "no free instance of the pipe in time";
            return;
        }
        if (!::WaitNamedPipeA(pipe, 1000) && ::GetLastError() != ERROR_SEM_TIMEOUT)
        {
            client.problem = "the pipe is not there";
            return;
        }
        handle = ::CreateFileA(pipe, GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES, 0,
                               nullptr, OPEN_EXISTING,
                               SECURITY_SQOS_PRESENT | SECURITY_IMPERSONATION, nullptr);
    }
    client.opened = Now();
    ++opened;
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!::SetNamedPipeHandleState(handle, &mode, nullptr, nullptr) ||
        !::TransactNamedPipe(handle, client.request.get(), sizeof(IpcQueueRecord),
                             client.reply.get(), sizeof(IpcQueueRecord), &client.replied, nullptr))
        client.problem = "the transaction failed";
    client.answered = Now();
    ::CloseHandle(handle);
}

// The reply against the request: status and result, and every other byte
// the request's own (but for the stamp field of the fifth).
std::string CheckReply(const Client& client, const char* name, uint32_t result,
                       const CString& stamp)
{
    if (!client.problem.empty())
        return std::string(name) + ": " + client.problem + "\n";
    if (client.replied != sizeof(IpcQueueRecord))
        return std::string(name) + ": a reply of " + std::to_string(client.replied) + " bytes\n";
    const IpcQueueRecord& request = *client.request;
    const IpcQueueRecord& reply = *client.reply;
    std::string problems;
    if (reply.command != IPC_STATUS_OK || reply.result != result)
        problems += std::string(name) + ": status " + std::to_string(reply.command) +
                    ", result " + std::to_string(reply.result) + "\n";
    const auto* sent = reinterpret_cast<const unsigned char*>(&request);
    const auto* got = reinterpret_cast<const unsigned char*>(&reply);
    const size_t text1 = offsetof(IpcQueueRecord, text1);
    size_t foreign = 0;
    for (size_t i = 0; i < sizeof(IpcQueueRecord); ++i)
    {
        const bool header = i < 4 || (i >= 8 && i < 12);
        const bool stampField = !stamp.IsEmpty() && i >= text1 && i < text1 + sizeof(reply.text1);
        if (!header && !stampField && sent[i] != got[i])
            ++foreign;
    }
    if (foreign)
        problems += std::string(name) + ": " + std::to_string(foreign) +
                    " bytes of the reply are not its request's\n";
    if (!stamp.IsEmpty() && CString(reply.text1) != stamp)
        problems += std::string(name) + ": stamp " + reply.text1 + ", expected " +
                    static_cast<const char*>(stamp) + "\n";
    return problems;
}
} // namespace

std::string RunConcurrentBackupClients(const CString& folder)
{
    const char* pipe = GetIpcPipeName(IpcPipe::Backup);
    const CString root = folder + "\\clients\\dest\\";
    std::string problems;
    std::vector<CString> sources;
    for (int i = 0; i < kClients + 1; ++i)
    {
        CString path;
        path.Format("%s\\clients\\source %d.bin", static_cast<const char*>(folder), i);
        sources.push_back(path);
    }
    if (!MakeFolder(folder + "\\clients"))
        return "the clients' folder could not be made\n";
    for (int i = 0; i < kClients + 1; ++i)
        testfiles::WriteBytes(std::string(sources[i]),
                              reference::Random(i < kClients ? kFileSize : 100, 40 + i));

    Client clients[kClients + 1];
    for (int i = 0; i < kClients; ++i)
        FillRequest(clients[i], static_cast<unsigned char>(0xA1 + i), BACKUP_STORE, sources[i],
                    root);
    Client& fifth = clients[kClients];
    FillRequest(fifth, 0xE5, BACKUP_FILE_STAMP, sources[kClients], root);

    const double giveUpAt = Now() + 120;
    std::atomic<int> opened{0};
    std::atomic<int> ended{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i)
        threads.emplace_back(
            [&, i]
            {
                Exchange(pipe, clients[i], giveUpAt, opened);
                ++ended;
            });
    // Until every one of the four has the pipe open (or has ended).
    while (Now() < giveUpAt && opened.load() < kClients && ended.load() == 0)
        ::Sleep(1);
    // All four instances are taken: a fifth client finds the pipe busy.
    const BOOL freeInstance = ::WaitNamedPipeA(pipe, 50);
    const DWORD waitError = ::GetLastError();
    std::atomic<int> fifthOpened{0};
    Exchange(pipe, fifth, giveUpAt, fifthOpened);
    for (std::thread& thread : threads)
        thread.join();

    const char* const names[] = {"client 1", "client 2", "client 3", "client 4", "client 5"};
    for (int i = 0; i < kClients; ++i)
        problems += CheckReply(clients[i], names[i], 0, "");
    CString stamp;
    if (!MakeFileStamp(sources[kClients], stamp))
        problems += "the fifth file has no stamp\n";
    problems += CheckReply(fifth, names[kClients], 1, stamp);

    double lastOpened = 0, firstAnswered = 1e300;
    for (int i = 0; i < kClients; ++i)
    {
        lastOpened = std::max(lastOpened, clients[i].opened);
        firstAnswered = std::min(firstAnswered, clients[i].answered);
    }
    if (!(lastOpened < firstAnswered))
        problems += "the four clients were not served at once: one was answered before the "
                    "last one could open the pipe\n";
    if (freeInstance || waitError != ERROR_SEM_TIMEOUT)
        problems += "with four clients served the fifth found a free instance (or none at all: "
                    "error " + std::to_string(waitError) + ")\n";
    if (!(fifth.opened > firstAnswered))
        problems += "the fifth client got an instance before any of the four was answered\n";
    for (int i = 0; i < kClients; ++i)
    {
        if (::GetFileAttributesA(StoredCopyPath(root, sources[i])) == INVALID_FILE_ATTRIBUTES)
            problems += std::string(names[i]) + ": no stored file\n";
    }
    return problems;
}
