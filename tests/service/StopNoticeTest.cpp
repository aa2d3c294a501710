#include "service/StopNotice.h"

#include "foundation/String.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace
{
struct Received
{
    CString pipeName;
    HANDLE ready;
    std::vector<char> bytes;
};

// Serves one client of the pipe and keeps what it wrote.
DWORD WINAPI ServeOnce(void* parameter)
{
    Received* received = static_cast<Received*>(parameter);
    HANDLE pipe = CreateNamedPipeA(received->pipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1,
                                   15428, 15428, 0, nullptr);
    SetEvent(received->ready);
    if (pipe == INVALID_HANDLE_VALUE)
        return 1;
    ConnectNamedPipe(pipe, nullptr);
    received->bytes.resize(2 * 15428);
    DWORD read = 0;
    ReadFile(pipe, received->bytes.data(), static_cast<DWORD>(received->bytes.size()), &read,
             nullptr);
    received->bytes.resize(read);
    CloseHandle(pipe);
    return 0;
}
} // namespace

TEST(StopNotice, WritesOneZeroedRecordOfTypeFour)
{
    Received received;
    received.pipeName.Format("\\\\.\\pipe\\bwtest-user-%lu", GetCurrentProcessId());
    received.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE server = CreateThread(nullptr, 0, ServeOnce, &received, 0, nullptr);
    ASSERT_NE(nullptr, server);
    WaitForSingleObject(received.ready, INFINITE);

    EXPECT_TRUE(SendStopNoticeTo(received.pipeName));
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(server, 30000));
    CloseHandle(server);
    CloseHandle(received.ready);

    ASSERT_EQ(15428u, received.bytes.size());
    uint32_t command = 0;
    std::memcpy(&command, received.bytes.data(), sizeof(command));
    EXPECT_EQ(4u, command);
    size_t nonZero = 0;
    for (size_t i = sizeof(command); i < received.bytes.size(); i++)
        nonZero += received.bytes[i] != 0;
    EXPECT_EQ(0u, nonZero);
}

TEST(StopNotice, WithoutThePipeNothingIsSent)
{
    CString pipeName;
    pipeName.Format("\\\\.\\pipe\\bwtest-nobody-%lu", GetCurrentProcessId());
    EXPECT_FALSE(SendStopNoticeTo(pipeName));
}
