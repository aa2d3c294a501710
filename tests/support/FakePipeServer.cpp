#include "tests/support/FakePipeServer.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace
{
// How long the server waits for a reply to be taken, and by default for the
// client's next request or its close after it: a client that does neither
// is dropped.
constexpr DWORD kClientGraceMs = 10000;
} // namespace

CFakePipeServer::CFakePipeServer(const char* pipeName, DWORD bufferSize)
    : m_bufferSize(bufferSize), m_responder(StatusReply(0, bufferSize)), m_idleMs(kClientGraceMs)
{
    HANDLE pipe = ::CreateNamedPipeA(
        pipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, bufferSize, bufferSize, 0,
        nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        throw std::runtime_error(std::string("cannot create the pipe ") + pipeName);
    m_pipe.Attach(pipe);
    m_stop.Attach(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    m_ioDone.Attach(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (m_stop.GetHandle() == nullptr || m_ioDone.GetHandle() == nullptr)
        throw std::runtime_error("cannot create the events of the pipe server");
    m_thread = std::thread([this] { Run(); });
}

CFakePipeServer::~CFakePipeServer()
{
    ::SetEvent(m_stop.GetHandle());
    if (m_thread.joinable())
        m_thread.join();
}

void CFakePipeServer::Answer(Responder responder, DWORD delayMs)
{
    Set(Mode::Answer, std::move(responder), delayMs);
}

void CFakePipeServer::SetIdleLimit(DWORD idleMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_idleMs = idleMs;
}

void CFakePipeServer::Refuse()
{
    Set(Mode::Refuse, nullptr, 0);
}

void CFakePipeServer::CloseEarly()
{
    Set(Mode::CloseEarly, nullptr, 0);
}

void CFakePipeServer::NeverAnswer()
{
    Set(Mode::NeverAnswer, nullptr, 0);
}

void CFakePipeServer::Set(Mode mode, Responder responder, DWORD delayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mode = mode;
    m_responder = std::move(responder);
    m_delayMs = delayMs;
}

std::vector<std::string> CFakePipeServer::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

int CFakePipeServer::RequestCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_requests.size());
}

int CFakePipeServer::ConnectionCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
}

int CFakePipeServer::EndedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ended;
}

bool CFakePipeServer::WaitRequests(int count, DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return static_cast<int>(m_requests.size()) >= count; });
}

bool CFakePipeServer::WaitEnded(int count, DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_ended >= count; });
}

void CFakePipeServer::Run()
{
    // Nothing thrown here (a test's responder) may end the test program.
    try
    {
        while (::WaitForSingleObject(m_stop.GetHandle(), 0) != WAIT_OBJECT_0)
        {
            if (Connect())
                Serve();
        }
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "fake pipe server: %s\n", error.what());
    }
    catch (...)
    {
        std::fprintf(stderr, "fake pipe server: unknown exception\n");
    }
}

bool CFakePipeServer::Await(OVERLAPPED& overlapped, DWORD timeoutMs)
{
    HANDLE waits[2] = {overlapped.hEvent, m_stop.GetHandle()};
    if (::WaitForMultipleObjects(2, waits, FALSE, timeoutMs) == WAIT_OBJECT_0)
        return true;
    ::CancelIo(m_pipe.GetHandle());
    DWORD count = 0;
    ::GetOverlappedResult(m_pipe.GetHandle(), &overlapped, &count, TRUE);
    return false;
}

bool CFakePipeServer::Connect()
{
    OVERLAPPED overlapped = {};
    overlapped.hEvent = m_ioDone.GetHandle();
    ::ResetEvent(overlapped.hEvent);
    if (::ConnectNamedPipe(m_pipe.GetHandle(), &overlapped))
        return true;
    switch (::GetLastError())
    {
    case ERROR_PIPE_CONNECTED: // the client came before the call
        return true;
    case ERROR_NO_DATA:
        // The client came, wrote and closed before the call: what it wrote
        // is still there to be read (a one-way notice).
        return true;
    case ERROR_IO_PENDING:
    {
        if (!Await(overlapped, INFINITE))
            return false;
        DWORD count = 0;
        if (::GetOverlappedResult(m_pipe.GetHandle(), &overlapped, &count, FALSE))
            return true;
        break;
    }
    default:
        break;
    }
    ::DisconnectNamedPipe(m_pipe.GetHandle());
    ::WaitForSingleObject(m_stop.GetHandle(), 10);
    return false;
}

bool CFakePipeServer::ReadMessage(std::string& message, DWORD timeoutMs)
{
    message.clear();
    std::vector<char> buffer(m_bufferSize);
    for (;;)
    {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = m_ioDone.GetHandle();
        ::ResetEvent(overlapped.hEvent);
        if (!::ReadFile(m_pipe.GetHandle(), buffer.data(), m_bufferSize, nullptr, &overlapped))
        {
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING)
            {
                if (!Await(overlapped, timeoutMs))
                    return false;
            }
            else if (error != ERROR_MORE_DATA)
            {
                return false;
            }
        }
        DWORD count = 0;
        const BOOL whole = ::GetOverlappedResult(m_pipe.GetHandle(), &overlapped, &count, FALSE);
        const DWORD error = whole ? 0 : ::GetLastError();
        message.append(buffer.data(), count);
        if (whole)
            return true;
        // A message longer than the buffer comes in pieces.
        if (error != ERROR_MORE_DATA)
            return false;
    }
}

void CFakePipeServer::WriteReply(const std::string& reply)
{
    OVERLAPPED overlapped = {};
    overlapped.hEvent = m_ioDone.GetHandle();
    ::ResetEvent(overlapped.hEvent);
    if (!::WriteFile(m_pipe.GetHandle(), reply.data(), static_cast<DWORD>(reply.size()), nullptr,
                     &overlapped) &&
        ::GetLastError() == ERROR_IO_PENDING)
    {
        Await(overlapped, kClientGraceMs);
    }
}

void CFakePipeServer::AwaitClientGone()
{
    std::string dropped;
    while (ReadMessage(dropped, INFINITE))
    {
    }
}

void CFakePipeServer::Serve()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_connections;
    }
    m_changed.notify_all();

    // The first request without a limit (the stop ends the wait); after a
    // reply the client may send its next one on the same connection, as the
    // service lets it, within the idle limit.
    std::string request;
    for (bool first = true;; first = false)
    {
        Mode mode;
        DWORD waitMs;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            mode = m_mode;
            waitMs = first ? INFINITE : m_idleMs;
        }
        if (mode == Mode::Refuse || !ReadMessage(request, waitMs))
            break;
        // The request is treated by the behaviour set when it came.
        Responder responder;
        DWORD delayMs;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            mode = m_mode;
            responder = m_responder;
            delayMs = m_delayMs;
            m_requests.push_back(request);
        }
        m_changed.notify_all();
        if (mode == Mode::NeverAnswer)
            AwaitClientGone();
        if (mode != Mode::Answer ||
            (delayMs != 0 && ::WaitForSingleObject(m_stop.GetHandle(), delayMs) == WAIT_OBJECT_0))
            break;
        const std::string reply = responder ? responder(request) : std::string();
        if (reply.empty())
            break;
        WriteReply(reply);
    }
    ::DisconnectNamedPipe(m_pipe.GetHandle());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_ended;
    }
    m_changed.notify_all();
}

CFakePipeServer::Responder StatusReply(uint32_t result, DWORD size, uint32_t status)
{
    return [=](const std::string& request)
    {
        std::string reply = request;
        reply.resize(size, '\0');
        WriteU32(reply, 0, status);
        WriteU32(reply, 8, result);
        return reply;
    };
}

CFakePipeServer::Responder NoReply()
{
    return [](const std::string&) { return std::string(); };
}

uint32_t ReadU32(const std::string& bytes, size_t offset)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
    {
        if (offset + i < bytes.size())
            value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + i]))
                     << (8 * i);
    }
    return value;
}

void WriteU32(std::string& bytes, size_t offset, uint32_t value)
{
    if (bytes.size() < offset + 4)
        bytes.resize(offset + 4, '\0');
    for (size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string ReadText(const std::string& bytes, size_t offset, size_t width)
{
    if (offset >= bytes.size())
        return std::string();
    const std::string field = bytes.substr(offset, width);
    const size_t end = field.find('\0');
    return end == std::string::npos ? field : field.substr(0, end);
}

bool AllZero(const std::string& bytes, size_t offset, size_t length)
{
    for (size_t i = offset; i < offset + length && i < bytes.size(); ++i)
    {
        if (bytes[i] != '\0')
            return false;
    }
    return true;
}

std::string UniquePipeName(const char* tag)
{
    return std::string("\\\\.\\pipe\\bwtest-") + tag + "-" +
           std::to_string(::GetCurrentProcessId());
}
