// CPipeInstance: the server end of one instance of a message pipe and the
// overlapped steps of serving one client after another on it, each wait
// ending at the owner's stop event or at a time-out, so that neither a
// silent client nor a stop can leave the serving thread blocked.
//
// The pipe: message type and message read mode, duplex, overlapped, not
// inheritable, rejecting remote clients on Vista and later (XP refuses the
// flag). A pipe of one instance, and the first of a pipe of several, is the
// first instance of its name: a process that holds the name already makes
// the creation fail instead of receiving the requests. The further
// instances of a pipe of several join the name the first one holds, each
// served on its own (one CPipeInstance, one thread each).
//
// Every pipe carries a mandatory label (kPipeIntegrityLabel): processes
// below medium integrity (a sandboxed browser's, a low-integrity download)
// can neither read nor write it, so they cannot even open it and hold an
// instance. Wine 8 accepts the label and keeps nothing of it.
//
// Serving one client: Connect, Read (the record zeroed first, so nothing of
// an earlier client is left in it), perhaps Reply, then Disconnect.
#ifndef BRINDLEWOX_ENGINE_PIPEINSTANCE_H
#define BRINDLEWOX_ENGINE_PIPEINSTANCE_H

#include "foundation/Base.h"
#include "foundation/File.h"
#include "foundation/String.h"
#include "foundation/Sync.h"

#include <functional>
#include <vector>

// The label every pipe made here carries: medium integrity, no write up,
// no read up.
constexpr const char kPipeIntegrityLabel[] = "S:(ML;;NWNR;;;ME)";

// The whole descriptor of a pipe: its DACL in SDDL ("D:P(...)") followed by
// kPipeIntegrityLabel.
CString PipeDescriptorText(const char* dacl);

class CPipeInstance
{
public:
    // How a wait ended.
    enum class Wait
    {
        Done,
        Failed,   // the operation failed (the client went, ...)
        TimedOut, // cancelled at the time-out
        Stopped,  // cancelled at the stop
    };

    CPipeInstance() = default;
    CPipeInstance(const CPipeInstance&) = delete;
    CPipeInstance& operator=(const CPipeInstance&) = delete;

    // Creates one instance as above with in and out buffers of bufferSize
    // and the DACL given in SDDL (PipeDescriptorText adds the label), of a
    // pipe of `instances` instances (the same number for every instance of
    // the name). firstInstance: the name must be new (the one instance, or
    // the first of several); false: it joins the instances already there.
    // stopEvent (not owned; it must outlive the pipe) ends every wait. False
    // when the instance, its descriptor or its event cannot be had, with the
    // last error kept: for a first instance ERROR_PIPE_BUSY (Wine) or
    // ERROR_ACCESS_DENIED when another process holds the name.
    bool Create(const char* pipeName, DWORD bufferSize, const char* dacl, HANDLE stopEvent,
                DWORD instances = 1, bool firstInstance = true);
    // Closes the pipe, when open; never throws (a failed CloseHandle is
    // ignored: the handle is gone either way).
    void Close();
    bool IsOpen() const { return m_pipe.IsOpen(); }
    HANDLE GetHandle() const { return m_pipe.GetHandle(); }

    // Waits for a client without limit. A client that came before the wait
    // counts as connected (ERROR_PIPE_CONNECTED), and so does one that wrote
    // and closed before it (ERROR_NO_DATA: what it wrote is still readable,
    // as the one-way requests are). False at the stop, and on a failure,
    // after a pause of its own that the stop cuts short (so a pipe in a bad
    // state does not turn the caller's loop into a spin), with the failure's
    // error kept as the last error.
    bool Connect();
    // Zeroes the record's `size` bytes, then reads one message into it
    // within the time-out. The count read (a longer message is cut to the
    // record), 0 when nothing came; *how (when given) says why not.
    DWORD Read(void* record, DWORD size, DWORD timeoutMs, Wait* how = nullptr);
    // Writes the reply within the time-out, then waits, within it too, for
    // the client to close its end: the disconnect would throw away a reply
    // the client has not read yet (FlushFileBuffers would wait for the same
    // without a limit). With stopEnds false a reply under way is still
    // delivered at the stop.
    void Reply(const void* record, DWORD size, DWORD timeoutMs, bool stopEnds);
    // The reply's write and then Read in one transaction (TransactNamedPipe
    // from the server's end), for a client that keeps the connection for its
    // next request: the reply (the record's first replySize bytes) is copied
    // aside, the record zeroed, the reply written and the next message read
    // into the record within the time-out, the stop ending the wait. The
    // count read, 0 when nothing came (the client closed or stayed silent,
    // the reply could not be written, the stop); *how says why. One call
    // into the system where a write and a read make two, each with its wait
    // (under Wine 8 two calls into its server of every kept request).
    // `written` (when given) is called once the transaction is under way,
    // the reply written, before the wait for the next request.
    DWORD SendAndRead(void* record, DWORD replySize, DWORD recordSize, DWORD timeoutMs,
                      Wait* how = nullptr, const std::function<void()>& written = nullptr);
    void Disconnect() { ::DisconnectNamedPipe(m_pipe.GetHandle()); }

private:
    // Waits for the pending operation; a time-out or a stop cancels it and
    // awaits the cancellation, so it never completes into a buffer later.
    Wait Await(OVERLAPPED& overlapped, DWORD timeoutMs, bool stopEnds);
    // Waits for an operation just begun: Done when it ended at once (or with
    // the accepted error), else the wait's end.
    Wait Finish(BOOL started, OVERLAPPED& overlapped, DWORD timeoutMs, bool stopEnds,
                DWORD accepted);
    // Waits for a read just begun (a ReadFile's or a transaction's, `started`
    // its result) within the time-out: the count read, 0 when nothing came;
    // *how (when given) says why.
    DWORD Received(BOOL started, OVERLAPPED& overlapped, DWORD timeoutMs, Wait* how);
    // Writes the reply within the time-out (Reply's first half). True when
    // written.
    bool Send(const void* record, DWORD size, DWORD timeoutMs, bool stopEnds);
    // Waits for the client to close its end, within the time-out.
    void AwaitClientGone(DWORD timeoutMs, bool stopEnds);
    OVERLAPPED Begin();

    CFile m_pipe;
    CEvent m_ioDone;
    std::vector<char> m_reply; // SendAndRead's copy of the reply
    HANDLE m_stopEvent = nullptr;
};

#endif
