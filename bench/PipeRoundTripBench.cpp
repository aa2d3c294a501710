// The floor under one request to the service under Wine, run by hand by
// scripts/bench-backup beside the backup run:
//
//   PipeRoundTripBench <pairs> <requests> [identity] [kept] [<source folder> <copy folder>]
//
// serves a message pipe of <pairs> instances, each on its own thread, to
// <pairs> client threads in the same process, which send <requests> records
// of the BACKUP pipe's size between them, each over a connection of its own:
// the client opens the pipe, sets message read mode, transacts and closes;
// the server connects, reads, writes the reply, waits for the client to
// close and disconnects. With "kept" each client keeps its first connection
// and sends every further request over it, and the server serves request
// after request on a connection, as the service does for a run's store
// workers. Nothing else is done for a request: no file, no
// time-out, no overlapped I/O. With "identity" the server also reads the
// caller's token for each request (impersonate, open the thread's token,
// read the user, revert), as every service request must. Given a source
// and a copy folder, each request names a file of the source tree and the
// server copies it into the copy folder with the system's CopyFile while it
// acts as the client: the least a store through a service can cost. Output
// lines, "floor [kept-]<plain|identity|copy>-<pairs>x<pairs> <seconds> <requests>".
#include "bench/BenchClock.h"
#include "engine/IpcRecords.h"
#include "foundation/Base.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace
{
const char* const kPipe = "\\\\.\\pipe\\BRINDLEWOX_ROUND_TRIP_FLOOR";

std::atomic<bool> g_done{false};

std::string g_copyFolder;
constexpr int kPerFolder = 50;

// Reads the caller's identity and, for a request that names a file, copies
// it as the caller.
void ActAsClient(HANDLE pipe, const char* record)
{
    if (!ImpersonateNamedPipeClient(pipe))
        return;
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token))
    {
        char buffer[256];
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
        CloseHandle(token);
    }
    if (record[0] != 0)
    {
        const std::string copy = g_copyFolder + "\\" + (record + MAX_PATH);
        CopyFileA(record, copy.c_str(), FALSE);
    }
    RevertToSelf();
}

// Every file under `folder`.
void ListFiles(const std::string& folder, std::vector<std::string>& files)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do
    {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder + "\\" + name, files);
        else
            files.push_back(folder + "\\" + name);
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

void Serve(HANDLE pipe, bool identity)
{
    std::vector<char> record(sizeof(IpcQueueRecord));
    while (!g_done.load())
    {
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            continue;
        DWORD n = 0;
        if (ReadFile(pipe, record.data(), static_cast<DWORD>(record.size()), &n, nullptr) && n > 0)
        {
            if (identity)
                ActAsClient(pipe, record.data());
            WriteFile(pipe, record.data(), n, &n, nullptr);
            // Until the client has closed (a disconnect would drop an unread
            // reply), serving what else it sends on the connection.
            while (ReadFile(pipe, record.data(), static_cast<DWORD>(record.size()), &n, nullptr) &&
                   n > 0)
            {
                if (identity)
                    ActAsClient(pipe, record.data());
                WriteFile(pipe, record.data(), n, &n, nullptr);
            }
        }
        DisconnectNamedPipe(pipe);
    }
}

// kept: the client's connection, kept for its next request when not null;
// it ends with the process.
bool Request(std::vector<char>& request, std::vector<char>& reply, HANDLE* kept)
{
    if (kept != nullptr && *kept != INVALID_HANDLE_VALUE)
    {
        DWORD n = 0;
        return TransactNamedPipe(*kept, request.data(), static_cast<DWORD>(request.size()),
                                 reply.data(), static_cast<DWORD>(reply.size()), &n, nullptr) &&
               n == request.size();
    }
    for (;;)
    {
        HANDLE pipe = CreateFileA(kPipe, GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES, 0,
                                  nullptr, OPEN_EXISTING, SECURITY_SQOS_PRESENT |
                                  SECURITY_IMPERSONATION, nullptr);
        if (pipe == INVALID_HANDLE_VALUE)
        {
            if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeA(kPipe, 20000))
                return false;
            continue;
        }
        DWORD mode = PIPE_READMODE_MESSAGE;
        DWORD n = 0;
        const bool ok = SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr) &&
                        TransactNamedPipe(pipe, request.data(), static_cast<DWORD>(request.size()),
                                          reply.data(), static_cast<DWORD>(reply.size()), &n,
                                          nullptr) &&
                        n == request.size();
        if (kept != nullptr && ok)
            *kept = pipe;
        else
            CloseHandle(pipe);
        return ok;
    }
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        fprintf(stderr, "usage: PipeRoundTripBench <pairs> <requests> [identity] [kept] "
                        "[<source folder> <copy folder>]\n");
        return 2;
    }
    const int pairs = atoi(argv[1]);
    const int requests = atoi(argv[2]);
    bool identity = false;
    bool kept = false;
    std::vector<const char*> folders;
    for (int i = 3; i < argc; ++i)
    {
        if (strcmp(argv[i], "identity") == 0)
            identity = true;
        else if (strcmp(argv[i], "kept") == 0)
            kept = true;
        else
            folders.push_back(argv[i]);
    }
    std::vector<std::string> files;
    if (identity && folders.size() == 2)
    {
        ListFiles(folders[0], files);
        g_copyFolder = folders[1];
        CreateDirectoryA(folders[1], nullptr);
        if (files.empty())
        {
            fprintf(stderr, "no files under %s\n", folders[0]);
            return 1;
        }
        // The copies go into folders of kPerFolder files, as a stored tree
        // holds them: under Wine the creation of a new name costs a scan of
        // its folder, and one folder of all of them would measure that.
        for (int i = 0; i <= requests / kPerFolder; ++i)
            CreateDirectoryA((g_copyFolder + "\\" + std::to_string(i)).c_str(), nullptr);
    }

    std::vector<HANDLE> pipes;
    for (int i = 0; i < pairs; ++i)
    {
        HANDLE pipe = CreateNamedPipeA(kPipe, PIPE_ACCESS_DUPLEX,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                       pairs, sizeof(IpcQueueRecord), sizeof(IpcQueueRecord), 0,
                                       nullptr);
        if (pipe == INVALID_HANDLE_VALUE)
        {
            fprintf(stderr, "no pipe (error %lu)\n", GetLastError());
            return 1;
        }
        pipes.push_back(pipe);
    }
    std::vector<std::thread> servers;
    for (HANDLE pipe : pipes)
        servers.emplace_back(Serve, pipe, identity);

    std::atomic<int> next{0};
    std::atomic<int> failed{0};
    const double start = Now();
    std::vector<std::thread> clients;
    for (int i = 0; i < pairs; ++i)
        clients.emplace_back(
            [&]
            {
                std::vector<char> request(sizeof(IpcQueueRecord), 0);
                std::vector<char> reply(sizeof(IpcQueueRecord));
                HANDLE connection = INVALID_HANDLE_VALUE;
                for (int n; (n = next.fetch_add(1)) < requests;)
                {
                    // The file, and the request's number, which names the copy.
                    if (!files.empty())
                    {
                        snprintf(request.data(), MAX_PATH, "%s", files[n % files.size()].c_str());
                        snprintf(request.data() + MAX_PATH, 32, "%d\\%d.dat", n / kPerFolder, n);
                    }
                    if (!Request(request, reply, kept ? &connection : nullptr))
                        ++failed;
                }
            });
    for (std::thread& client : clients)
        client.join();
    const double seconds = Now() - start;
    printf("floor %s%s-%dx%d %.3f %d\n", kept ? "kept-" : "",
           files.empty() ? (identity ? "identity" : "plain") : "copy", pairs, pairs, seconds,
           requests - failed.load());
    fflush(stdout);
    // The servers wait in ConnectNamedPipe; the process ends under them.
    g_done.store(true);
    for (std::thread& server : servers)
        server.detach();
    ExitProcess(failed.load() == 0 ? 0 : 1);
}
