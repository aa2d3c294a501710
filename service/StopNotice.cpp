#include "service/StopNotice.h"

#include "service/ServiceProgram.h"

#include <cstdint>
#include <cstring>

namespace
{
const char kUserPipeName[] = "\\\\.\\pipe\\BRINDLEWOX_IPC_QUEUE_USER";
// The USER pipe's record: 15,428 bytes, zero but for the command in its
// first 32-bit field.
constexpr DWORD kQueueRecordSize = 15428;
constexpr uint32_t kServiceStopsCommand = 4;
constexpr DWORD kPipeWait = 20000;
// How long a write the pipe has not taken at once may go on.
constexpr DWORD kWriteWait = 600;
} // namespace

bool SendServiceStopNotice()
{
    return IsWindowsNT() && SendStopNoticeTo(kUserPipeName);
}

bool SendStopNoticeTo(const char* pipeName)
{
    if (!::WaitNamedPipeA(pipeName, kPipeWait))
        return false;
    // LocalSystem opens a pipe that any user may have made: identification
    // only, so that its server cannot act as the service.
    HANDLE pipe = ::CreateFileA(pipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL |
                                    SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return true;
    char record[kQueueRecordSize] = {};
    std::memcpy(record, &kServiceStopsCommand, sizeof(kServiceStopsCommand));
    // The handle is overlapped: the write gets an OVERLAPPED of its own and is
    // over, or cancelled, before the record and the handle go.
    OVERLAPPED overlapped = {};
    overlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!::WriteFile(pipe, record, kQueueRecordSize, nullptr, &overlapped) &&
        ::GetLastError() == ERROR_IO_PENDING)
    {
        HANDLE done = overlapped.hEvent != nullptr ? overlapped.hEvent : pipe;
        if (::WaitForSingleObject(done, kWriteWait) != WAIT_OBJECT_0)
            ::CancelIoEx(pipe, &overlapped);
        DWORD written = 0;
        ::GetOverlappedResult(pipe, &overlapped, &written, TRUE);
    }
    if (overlapped.hEvent != nullptr)
        ::CloseHandle(overlapped.hEvent);
    ::CloseHandle(pipe);
    return true;
}
