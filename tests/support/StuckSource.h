// Sources that never answer, for the tests of the bounds on a source's open
// and reads: each really blocks in the system, in a read of a pipe nobody
// writes, so that only a cancel of the thread's synchronous I/O ends it.
#ifndef BRINDLEWOX_TESTS_SUPPORT_STUCKSOURCE_H
#define BRINDLEWOX_TESTS_SUPPORT_STUCKSOURCE_H

#include "foundation/Base.h"

#include <atomic>
#include <cstring>

class CStuckPipe
{
public:
    CStuckPipe() { ::CreatePipe(&m_read, &m_write, nullptr, 0); }
    CStuckPipe(const CStuckPipe&) = delete;
    CStuckPipe& operator=(const CStuckPipe&) = delete;
    ~CStuckPipe()
    {
        LetGo();
        ::CloseHandle(m_read);
    }
    // Waits for a byte that never comes; false once cancelled or let go.
    bool Wait() const
    {
        char byte = 0;
        DWORD read = 0;
        return ::ReadFile(m_read, &byte, 1, &read, nullptr) != FALSE;
    }
    // Ends every wait (ERROR_BROKEN_PIPE), for a test that failed.
    void LetGo()
    {
        if (m_write != nullptr)
            ::CloseHandle(m_write);
        m_write = nullptr;
    }

private:
    HANDLE m_read = nullptr;
    HANDLE m_write = nullptr;
};

// The pipe the stand-ins wait on, and how often they were called.
inline CStuckPipe* g_stuck = nullptr;
inline std::atomic<int> g_stuckCalls{0};

// A SourceOpener (engine/StoredFile.h): a path holding "stuck.txt" never
// opens, any other opens as CreateFileA would.
inline HANDLE StuckOpener(const char* path, DWORD access, DWORD share, DWORD flags)
{
    if (std::strstr(path, "stuck.txt") == nullptr)
        return ::CreateFileA(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr);
    ++g_stuckCalls;
    g_stuck->Wait();
    return INVALID_HANDLE_VALUE;
}

// A SourceReadCheck whose every read waits.
inline bool StuckRead(HANDLE)
{
    ++g_stuckCalls;
    return g_stuck->Wait();
}

#endif
