#include "foundation/Sync.h"

CSyncObject::~CSyncObject()
{
    if (m_hObject != nullptr)
    {
        ::CloseHandle(m_hObject);
        m_hObject = nullptr;
    }
}

BOOL CSyncObject::Lock(DWORD timeout)
{
    return ::WaitForSingleObject(m_hObject, timeout) == WAIT_OBJECT_0;
}

void CSyncObject::Attach(HANDLE handle)
{
    if (m_hObject != nullptr && m_hObject != handle)
        ::CloseHandle(m_hObject);
    m_hObject = handle;
}

HANDLE CSyncObject::Detach()
{
    HANDLE handle = m_hObject;
    m_hObject = nullptr;
    return handle;
}

CCriticalSection::CCriticalSection()
{
    ::InitializeCriticalSection(&m_section);
}

CCriticalSection::~CCriticalSection()
{
    ::DeleteCriticalSection(&m_section);
}

BOOL CCriticalSection::Lock(DWORD timeout)
{
    if (timeout == INFINITE)
        return Lock();
    // There is no timed enter: try, and yield the rest of the time slice
    // between tries, until the time is up.
    const ULONGLONG start = ::GetTickCount64();
    for (;;)
    {
        if (::TryEnterCriticalSection(&m_section))
            return TRUE;
        if (::GetTickCount64() - start >= timeout)
            return FALSE;
        ::Sleep(1);
    }
}

BOOL CCriticalSection::Lock()
{
    ::EnterCriticalSection(&m_section);
    return TRUE;
}

BOOL CCriticalSection::Unlock()
{
    ::LeaveCriticalSection(&m_section);
    return TRUE;
}
