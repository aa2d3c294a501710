// A stand-in for the BACKUP server until its request handling exists: it
// listens on its pipe exactly as a server must (one instance, one client at
// a time, the quit flag tested after every request) and drops what it reads
// without an answer. The server's own source replaces its function here.
#include "service/ServerThreads.h"

#include <vector>

namespace
{
unsigned ListenUntilQuit(IpcPipe which, DWORD recordSize)
{
    HANDLE pipe = ::CreateNamedPipeA(GetIpcPipeName(which), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE,
                                     1, recordSize, recordSize, NMPWAIT_WAIT_FOREVER, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<char> record(recordSize);
    while (!IsServiceQuitting())
    {
        // A client that came before the call makes it fail with
        // ERROR_PIPE_CONNECTED: connected all the same.
        ::ConnectNamedPipe(pipe, nullptr);
        DWORD read = 0;
        ::ReadFile(pipe, record.data(), recordSize, &read, nullptr);
        ::DisconnectNamedPipe(pipe);
    }
    ::CloseHandle(pipe);
    return 0;
}
} // namespace

unsigned __stdcall BackupServerThread(void*)
{
    return ListenUntilQuit(IpcPipe::Backup, sizeof(IpcQueueRecord));
}
