#include "foundation/Internet.h"

BOOL CInternetHandle::Close()
{
    if (!m_handle)
        return TRUE;
    HINTERNET handle = m_handle;
    m_handle = nullptr;
    return InternetCloseHandle(handle);
}

void CInternetHandle::Attach(HINTERNET handle)
{
    Close();
    m_handle = handle;
}

HINTERNET CInternetHandle::Detach()
{
    HINTERNET handle = m_handle;
    m_handle = nullptr;
    return handle;
}
