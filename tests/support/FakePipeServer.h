// A named-pipe server for tests of pipe clients. It holds a pipe name with
// one message-mode instance, serves the connections one after the other on a
// thread of its own, keeps every request it read (whole, however long) and
// treats each connection by the behaviour set last:
// - Answer: reads the request and writes the responder's reply (none when
//   the responder gives an empty one), after a delay when one is given
//   (a slow server); then, as the service does, reads the client's next
//   request on the same connection, within the idle limit, and treats it by
//   the behaviour set then, until the client closes or stays silent;
// - Refuse: drops each connection at once, reading nothing;
// - CloseEarly: reads the request and closes without a reply;
// - NeverAnswer: reads the request and stays silent, holding the connection
//   (and so the one instance) until the client goes or the server ends.
// All its own waits end when the object is destroyed, so a test never hangs
// on it. It deals in bytes only; the records' layout is the test's business.
#ifndef BRINDLEWOX_TESTS_SUPPORT_FAKEPIPESERVER_H
#define BRINDLEWOX_TESTS_SUPPORT_FAKEPIPESERVER_H

#include "foundation/Base.h"
#include "foundation/File.h"
#include "foundation/Sync.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CFakePipeServer
{
public:
    using Responder = std::function<std::string(const std::string& request)>;

    // Creates the pipe (first instance of its name, in and out buffers of
    // bufferSize) and starts serving, answering with StatusReply(0,
    // bufferSize). Throws std::runtime_error when the name cannot be had.
    CFakePipeServer(const char* pipeName, DWORD bufferSize);
    CFakePipeServer(const CFakePipeServer&) = delete;
    CFakePipeServer& operator=(const CFakePipeServer&) = delete;
    // Ends the thread, dropping a client it holds, and closes the pipe.
    ~CFakePipeServer();

    // The behaviour of the connections accepted from now on.
    void Answer(Responder responder, DWORD delayMs = 0);
    void Refuse();
    void CloseEarly();
    void NeverAnswer();
    // After a reply, how long the next request on the connection is waited
    // for (10 s unless set).
    void SetIdleLimit(DWORD idleMs);

    // The requests read so far, in order.
    std::vector<std::string> Requests() const;
    int RequestCount() const;
    // Connections accepted so far (refused ones too).
    int ConnectionCount() const;
    // Connections served to their end (the pipe free again).
    int EndedCount() const;
    // True once that many requests have been read, or connections ended.
    bool WaitRequests(int count, DWORD timeoutMs = 10000) const;
    bool WaitEnded(int count, DWORD timeoutMs = 10000) const;

private:
    enum class Mode
    {
        Answer,
        Refuse,
        CloseEarly,
        NeverAnswer
    };

    void Run();
    bool Connect();
    void Serve();
    // Waits for the overlapped operation or the stop; false on the stop (the
    // operation is then cancelled and awaited).
    bool Await(OVERLAPPED& overlapped, DWORD timeoutMs);
    // Reads one whole message within the time-out; false when the client
    // went, the time ran out or the stop came.
    bool ReadMessage(std::string& message, DWORD timeoutMs);
    void WriteReply(const std::string& reply);
    // Holds the connection until the client closes its end (or the stop);
    // what it writes meanwhile is read and dropped.
    void AwaitClientGone();
    void Set(Mode mode, Responder responder, DWORD delayMs);
    bool WaitCount(const int& counter, int count, DWORD timeoutMs) const;

    CFile m_pipe;
    CEvent m_stop;
    CEvent m_ioDone;
    DWORD m_bufferSize;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Mode m_mode = Mode::Answer;
    Responder m_responder;
    DWORD m_delayMs = 0;
    DWORD m_idleMs;
    std::vector<std::string> m_requests;
    int m_connections = 0;
    int m_ended = 0;

    std::thread m_thread;
};

// The reply of the service's servers: the request in a buffer of `size`
// bytes (cut or padded with zeros), `status` in its first 32-bit field and
// `result` in its third.
CFakePipeServer::Responder StatusReply(uint32_t result, DWORD size, uint32_t status = 100);
// No reply at all (a one-way notice).
CFakePipeServer::Responder NoReply();

// Fields of a byte image: a 32-bit little-endian value, a NUL-terminated
// text of a field of `width` bytes (all of it when it has no NUL), and
// whether every byte of a range is zero. Bytes beyond the image read as 0.
uint32_t ReadU32(const std::string& bytes, size_t offset);
void WriteU32(std::string& bytes, size_t offset, uint32_t value);
std::string ReadText(const std::string& bytes, size_t offset, size_t width);
bool AllZero(const std::string& bytes, size_t offset, size_t length);

// A pipe name no other test program uses: "\\.\pipe\" followed by the tag
// and this process's id.
std::string UniquePipeName(const char* tag);

#endif
