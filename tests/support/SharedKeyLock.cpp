#include "tests/support/SharedKeyLock.h"

SharedKeyLock::SharedKeyLock()
{
    m_mutex = CreateMutexA(nullptr, FALSE, "BrindlewoxTestStartupKeys");
    if (m_mutex == nullptr)
        return;
    const DWORD waited = WaitForSingleObject(m_mutex, 120000);
    m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

SharedKeyLock::~SharedKeyLock()
{
    if (m_held)
        ReleaseMutex(m_mutex);
    if (m_mutex != nullptr)
        CloseHandle(m_mutex);
}
