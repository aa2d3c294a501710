// The crash-dump writer: an unhandled-exception filter that writes a
// minidump of the process into the temporary folder as "<application
// name>.dmp". MiniDumpWriteDump is bound at run time from DBGHELP.DLL (the
// copy beside the program first), so a program runs without it.
//
// The main program installs the writer with InstallCrashDumpHandler and
// shows the outcome in a message box; the service builds its own silent
// writer on CCrashDumpWriter and restarts itself instead.
#ifndef BRINDLEWOX_FOUNDATION_CRASHDUMP_H
#define BRINDLEWOX_FOUNDATION_CRASHDUMP_H

#include "foundation/Base.h"

#include <atomic>
#include <cstddef>

// How a dump attempt ended.
enum class CrashDumpStatus
{
    LibraryNotFound, // "DBGHELP.DLL not found"
    LibraryTooOld,   // "DBGHELP.DLL too old": no MiniDumpWriteDump in it
    CreateFailed,    // "Failed to create dump file '%s' (error %d)"
    WriteFailed,     // "Failed to save dump file to '%s' (error %d)"
    Saved,           // "Saved dump file to '%s'"
};

// Where the writer's result texts go when it shows them: MessageBoxA with
// no owner, the application name as caption and MB_OK, until a test sets
// a sink of its own (null restores the box).
typedef void (*CrashMessageSink)(const char* text, const char* caption);
void SetCrashMessageSink(CrashMessageSink sink);

// One dump writer. Prepare copies the name and sizes every buffer while the
// process is still sound: Write, which runs inside a crashed process, takes
// no memory from the heap.
class CCrashDumpWriter
{
public:
    enum Options : unsigned
    {
        // Shows the result text through the message sink before Write
        // returns (the main program).
        kShowResult = 1,
        // The file gets a security descriptor of its own that lets only
        // SYSTEM and the administrators in, with no sharing, and is always
        // made new: a file or link another user left under the name is
        // deleted first, and a name that cannot be freed gets no dump. For a
        // LocalSystem process, whose temporary folder other users can write
        // into (the service).
        kPrivateFile = 2,
        // When no DBGHELP.DLL lies beside the program it is loaded from the
        // system folder, not through the search path, which may hold
        // folders other users can write into (the service).
        kSystemFolderLibrary = 4,
    };

    constexpr CCrashDumpWriter() = default;
    CCrashDumpWriter(const CCrashDumpWriter&) = delete;
    CCrashDumpWriter& operator=(const CCrashDumpWriter&) = delete;
    ~CCrashDumpWriter();

    // Keeps a copy of the name ("Application" when null) and the options.
    // Does nothing and returns true when already prepared; false, with
    // nothing kept, when memory or the security descriptor cannot be had.
    bool Prepare(const char* applicationName, unsigned options);
    bool IsPrepared() const { return m_name != nullptr; }
    const char* GetApplicationName() const { return m_name; }

    // Writes a MiniDumpNormal of this process for the exception (the
    // crashing thread is the calling one) to the temporary folder, or to
    // "c:\temp\" when the temporary folder cannot be read. Each call
    // replaces the previous file. The work runs on a fresh helper thread
    // when one can be had, so that a crash that used up its stack still
    // gets a dump: after a stack overflow the calling thread waits for the
    // helper however long it takes to start; otherwise it does the work
    // itself when the helper has not begun within 5 s (a crash inside the
    // loader lock keeps every new thread from starting). Unprepared,
    // nothing is written: LibraryNotFound.
    CrashDumpStatus Write(EXCEPTION_POINTERS* exceptionPointers);

    // The result text of the last Write and the dump path it used (empty
    // before the first).
    const char* GetResultText() const { return m_text != nullptr ? m_text : ""; }
    const char* GetDumpPath() const { return m_path != nullptr ? m_path : ""; }

private:
    static DWORD WINAPI JobThread(void* writer);
    CrashDumpStatus WriteOnThisThread(EXCEPTION_POINTERS* exceptionPointers, DWORD threadId);
    HMODULE LoadDumpLibrary() const;
    void BuildDumpPath();
    HANDLE CreateDumpFile() const;
    CrashDumpStatus Finish(CrashDumpStatus status, DWORD error);

    char* m_name = nullptr;
    // The dump path: room for the longest temporary folder, the name and
    // ".dmp".
    char* m_path = nullptr;
    size_t m_pathCapacity = 0;
    // The result text: the longest message with the whole path in it.
    char* m_text = nullptr;
    size_t m_textCapacity = 0;
    unsigned m_options = 0;
    // kPrivateFile: the file's security descriptor (LocalAlloc'd).
    void* m_descriptor = nullptr;

    // The Write under way: set while a dump is being written; the job's
    // input and result; claimed by whichever thread runs it.
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_jobClaimed{false};
    EXCEPTION_POINTERS* m_jobPointers = nullptr;
    DWORD m_jobThreadId = 0;
    CrashDumpStatus m_jobStatus = CrashDumpStatus::LibraryNotFound;
};

// Installs the main program's writer as the unhandled-exception filter, on
// the first call only: keeps the name (or "Application") and drops any
// earlier filter. A later call, with any name, changes nothing.
void InstallCrashDumpHandler(const char* applicationName);

// The main program's unhandled-exception filter: writes the dump and shows
// the result. EXCEPTION_EXECUTE_HANDLER (1) when the dump was saved, so that
// the process ends without the system's error report; otherwise
// EXCEPTION_CONTINUE_SEARCH (0) and the system's handling follows.
LONG WINAPI WriteCrashDump(EXCEPTION_POINTERS* exceptionPointers);

#endif
