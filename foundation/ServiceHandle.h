// CServiceHandle: one handle of the service control manager (the manager
// itself or a service in it), closed with CloseServiceHandle.
#ifndef BRINDLEWOX_FOUNDATION_SERVICEHANDLE_H
#define BRINDLEWOX_FOUNDATION_SERVICEHANDLE_H

#include "foundation/Base.h"

class CServiceHandle
{
public:
    CServiceHandle() = default;
    // Takes ownership of the handle (null when the call that made it failed).
    explicit CServiceHandle(SC_HANDLE handle) : m_handle(handle) {}
    CServiceHandle(const CServiceHandle&) = delete;
    CServiceHandle& operator=(const CServiceHandle&) = delete;
    ~CServiceHandle() { Close(); }

    SC_HANDLE Get() const { return m_handle; }
    bool IsOpen() const { return m_handle != nullptr; }
    // Takes ownership; a handle held before is closed.
    void Attach(SC_HANDLE handle)
    {
        Close();
        m_handle = handle;
    }
    // Gives up ownership without closing.
    SC_HANDLE Detach()
    {
        SC_HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Close()
    {
        if (m_handle != nullptr)
            ::CloseServiceHandle(m_handle);
        m_handle = nullptr;
    }

private:
    SC_HANDLE m_handle = nullptr;
};

#endif
