// CPipeServingLoop: the loop that serves one client after another on one
// instance of one of the service's pipes (the CPipeInstance it owns). The
// SETTINGS server is built on one, the BACKUP server on one per instance of
// its pipe, each served on a thread of its own; each gives its record and a
// handler.
//
// The pipe: message type and message read mode, duplex, overlapped, with
// kServicePipeDescriptor (PipeSecurity.h) on every instance, not
// inheritable (the programs the service starts get no pipe end), rejecting
// remote clients on Vista and later (XP refuses the flag; there the DACL's
// denial of network logons does it). Its one instance, or the first of
// several, is the first instance of its name: a process that took the name
// before the service makes the creation fail, and the failure is logged,
// instead of receiving the requests; the further instances join the name
// the first one holds. No client can add an instance of its own: the DACL
// grants no user FILE_CREATE_PIPE_INSTANCE.
//
// The loop, until the quit (ServerThreads.h):
// 1. wait for a client; a client that came before the wait counts as
//    connected (ERROR_PIPE_CONNECTED), and so does one that wrote and
//    closed before it (ERROR_NO_DATA: what it wrote is still readable, as
//    the one-way requests are);
// 2. zero the whole record, then read one message into it within the read
//    time-out: a client that connects and sends nothing is dropped, so it
//    cannot hold the one instance, nor the stop of the service. Only the
//    bytes read are the request: nothing of an earlier client is left in
//    the record, so no reply carries another client's data;
// 3. learn the client's identity from its token (ReadPipeClientIdentity);
// 4. call the handler, which returns how many bytes of the record to send
//    back (0: no reply);
// 5. write the reply within the time-out and wait, within it too, for the
//    client to close its end: a reply the client has not read yet would be
//    thrown away by the disconnect. (FlushFileBuffers would wait for the
//    same without a limit.)
// 6. disconnect.
// With kept connections (the BACKUP pipe) the client may send its next
// request once it has the reply: the loop writes the reply and reads the
// next request on the same connection in one transaction (zeroing the
// record first again; CPipeInstance::SendAndRead) within the idle limit,
// kKeptConnectionIdleMs, and serves it from step 3, until the client closes
// or sends nothing in time; then it disconnects. A
// connection takes no new request once it is kKeptConnectionLifeMs old: the
// reply that ends past that age is the connection's last (step 5). A client
// that closes after its one reply sees exactly the steps above.
//
// So no client holds an instance for long: a silent one for the client
// time-out, an idle kept one for the idle limit, a busy kept one for its
// life and the request under way. A client that connects again at once
// waits for a free instance like any other. Step 3 is left out there:
// each request is served as the client by the handler itself, which
// impersonates the client for every request and reads nothing of the
// identity. At the quit, or when the handler ended the serving, the last
// reply is written as in step 5 and the connection ends.
// A message longer than the record is cut to the record. An exception that
// leaves the handler is logged and the client gets no reply; the loop goes
// on. The waits for a client and for its request end at once when the quit
// event is set; a reply under way is still delivered (within the time-out),
// so a request the stop finds in hand is finished, never cut off.
#ifndef BRINDLEWOX_SERVICE_PIPESERVINGLOOP_H
#define BRINDLEWOX_SERVICE_PIPESERVINGLOOP_H

#include "foundation/Base.h"
#include "engine/PipeInstance.h"
#include "service/PipeSecurity.h"

#include <functional>

// How long a connected client may take to send its request, to take the
// reply and to close. A client of this system writes its request as soon
// as it has the pipe open and reads the reply in the same call.
constexpr DWORD kPipeClientTimeoutMs = 5000;
// Kept connections: how long the next request is awaited after a reply, and
// the age after which a connection takes no new request, counted from the
// connect. A client writes on a kept connection only while it is younger
// than kKeptConnectionMs (engine/PipeClient.h), counted from before its
// open, so earlier than the connect: whatever a request before took, a
// request written on a kept connection is one these limits still read.
constexpr DWORD kKeptConnectionIdleMs = 1000;
constexpr DWORD kKeptConnectionLifeMs = 2000;

class CPipeServingLoop
{
public:
    // bytesRead: the size of the request now in the record (at least 1).
    // Returns the count of record bytes to send back, 0 for no reply.
    using Handler = std::function<DWORD(DWORD bytesRead, const PipeClientIdentity& client)>;

    CPipeServingLoop() = default;
    CPipeServingLoop(const CPipeServingLoop&) = delete;
    CPipeServingLoop& operator=(const CPipeServingLoop&) = delete;
    // Closes the pipe.
    virtual ~CPipeServingLoop() = default;

    // Creates one instance as described above, with in and out buffers of
    // recordSize, of a pipe of `instances` instances; firstInstance: the
    // name must be new (see CPipeInstance::Create). False when it cannot be
    // had (logged with the error; the last error is kept).
    bool Create(const char* pipeName, DWORD recordSize, DWORD instances = 1,
                bool firstInstance = true);
    // Serves clients until the quit; the record is the handler's, of the
    // size given to Create. Returns true at the quit, false when the loop
    // had to end otherwise (the pipe failed for good, the thread could not
    // stop acting as a client, or the handler called EndServing).
    bool Serve(void* record, Handler handler);
    // Called by the handler: the loop ends after this request, and the
    // instance takes no further client (its clients go to the others).
    void EndServing() { m_ended = true; }

    // Tests shorten the client time-out and the kept connections' limits.
    void SetClientTimeout(DWORD timeoutMs) { m_timeoutMs = timeoutMs; }
    void SetKeptConnectionLimits(DWORD idleMs, DWORD lifeMs)
    {
        m_idleMs = idleMs;
        m_lifeMs = lifeMs;
    }
    // Serves request after request on a connection, as described above.
    void KeepConnections() { m_keepConnections = true; }
    // The number of the connection whose request the handler serves: it
    // changes with every client that connects, so a handler can keep what it
    // learnt of a client for the requests of its connection alone.
    ULONGLONG GetConnectionNumber() const { return m_connection; }
    HANDLE GetHandle() const { return m_pipe.GetHandle(); }

private:
    // Serves the client connected now: false when the thread could not stop
    // acting as the client.
    bool ServeClient(void* record, const Handler& handler);
    // The handler's reply size for the request in the record; an exception
    // is logged and means no reply.
    DWORD Handle(DWORD bytes, const PipeClientIdentity& client, const Handler& handler);

    // Its waits end at the service's quit event.
    CPipeInstance m_pipe;
    DWORD m_recordSize = 0;
    DWORD m_timeoutMs = kPipeClientTimeoutMs;
    DWORD m_idleMs = kKeptConnectionIdleMs;
    DWORD m_lifeMs = kKeptConnectionLifeMs;
    bool m_ended = false;
    bool m_keepConnections = false;
    ULONGLONG m_connection = 0;
};

#endif
