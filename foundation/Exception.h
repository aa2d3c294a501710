// The framework's exception classes. File wrappers and the allocator throw
// by value and handlers catch `CException&`; the socket client throws heap
// objects (see its header).
#ifndef BRINDLEWOX_FOUNDATION_EXCEPTION_H
#define BRINDLEWOX_FOUNDATION_EXCEPTION_H

#include "foundation/Base.h"
#include "foundation/String.h"

#include <new>

class CException
{
public:
    // The message is the system's text for the code.
    explicit CException(DWORD code);
    CException(DWORD code, const CString& message);
    CException(const CException& other) = default;
    CException& operator=(const CException& other) = default;
    virtual ~CException();

    DWORD GetErrorCode() const { return m_code; }
    const CString& GetErrorText() const { return m_message; }
    // What a catcher that reports the exception writes: the message here;
    // a class whose text is its own (socket errors) gives that.
    virtual CString GetReportText() const { return m_message; }

protected:
    DWORD m_code;
    CString m_message;
};

// Thrown by CFile with GetLastError() of the failed call and its text.
class CFileException : public CException
{
public:
    explicit CFileException(DWORD code) : CException(code) {}
    CFileException(DWORD code, const CString& message) : CException(code, message) {}
};

// Raised by the allocator's failure handler (installed with the module
// state): code 8, ERROR_NOT_ENOUGH_MEMORY.
class CMemoryException : public CException
{
public:
    CMemoryException(DWORD code, const CString& message) : CException(code, message) {}
};

// Where an exception caught at a trampoline (a worker thread's entry, the
// window procedure) is reported: a function that takes one line of text,
// such as the main program's log once it is open. Until one is set, and
// with null, the line goes to OutputDebugStringA. Safe from any thread.
void SetExceptionReporter(void (*reporter)(const char* text));
// Reports one line as set above.
void ReportCaughtException(const char* text);

// Runs `work`, which may allocate, for the functions that report by their
// result instead of throwing (registry, INI, search): false when memory ran
// out on the way, true when `work` completed. Other exceptions pass.
template <class Work> bool TryAllocate(Work&& work)
{
    try
    {
        work();
        return true;
    }
    catch (const CMemoryException&)
    {
        return false;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

#endif
