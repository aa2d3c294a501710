// CInternetHandle: one WinINet handle (a session, a connection, a request or
// a remote file). Handles of one session form a tree: close the children
// before their parent, which declaring them in that order does.
#ifndef BRINDLEWOX_FOUNDATION_INTERNET_H
#define BRINDLEWOX_FOUNDATION_INTERNET_H

#include "foundation/Base.h"

#include <wininet.h>

class CInternetHandle
{
public:
    CInternetHandle() = default;
    explicit CInternetHandle(HINTERNET handle) : m_handle(handle) {}
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;
    ~CInternetHandle() { Close(); }

    // Closes a held handle; the result of InternetCloseHandle (TRUE when none
    // was held). Closing a remote file's handle ends its transfer, so an
    // upload's result is known only here.
    BOOL Close();
    // Takes ownership of a handle; a held one is closed first.
    void Attach(HINTERNET handle);
    // Gives up ownership; the caller closes the handle.
    HINTERNET Detach();

    operator HINTERNET() const { return m_handle; }
    bool IsOpen() const { return m_handle != nullptr; }

private:
    HINTERNET m_handle = nullptr;
};

#endif
