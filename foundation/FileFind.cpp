#include "foundation/FileFind.h"

#include "foundation/Exception.h"

#include <cstring>

namespace
{
const char* EntryName(const WIN32_FIND_DATAA& data)
{
    const char* slash = std::strrchr(data.cFileName, '\\');
    return slash != nullptr ? slash + 1 : data.cFileName;
}
} // namespace

CFileFinder::CFileFinder()
{
    std::memset(&m_data, 0, sizeof(m_data));
}

CFileFinder::~CFileFinder()
{
    if (m_hSearch != INVALID_HANDLE_VALUE)
        FindClose(m_hSearch);
}

bool CFileFinder::FindFile(const char* pattern)
{
    Close();
    if (pattern == nullptr)
    {
        m_dwError = ERROR_INVALID_PARAMETER;
        return false;
    }
    const char* slash = std::strrchr(pattern, '\\');
    if (slash != nullptr &&
        !TryAllocate([&] { m_root = CString(pattern, static_cast<int>(slash - pattern) + 1); }))
    {
        m_dwError = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }

    m_hSearch = FindFirstFileA(pattern, &m_data);
    if (m_hSearch == INVALID_HANDLE_VALUE)
    {
        m_dwError = GetLastError();
        std::memset(&m_data, 0, sizeof(m_data));
        return false;
    }
    m_found = TRUE;
    m_dwError = 0;
    return true;
}

bool CFileFinder::FindNextFile()
{
    if (m_hSearch == INVALID_HANDLE_VALUE)
    {
        m_found = FALSE;
        m_dwError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!::FindNextFileA(m_hSearch, &m_data))
    {
        m_found = FALSE;
        m_dwError = GetLastError();
        return false;
    }
    m_found = TRUE;
    m_dwError = 0;
    return true;
}

bool CFileFinder::GetFileName(CString& name) const
{
    return TryAllocate(
        [&]
        {
            CString text(m_found ? EntryName(m_data) : "");
            name = text;
        });
}

bool CFileFinder::GetFilePath(CString& path) const
{
    return TryAllocate(
        [&]
        {
            CString text = m_root + (m_found ? EntryName(m_data) : "");
            path = text;
        });
}

bool CFileFinder::IsDots() const
{
    if (!m_found)
        return true;
    const char* name = EntryName(m_data);
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

void CFileFinder::Close()
{
    if (m_hSearch != INVALID_HANDLE_VALUE)
        FindClose(m_hSearch);
    m_hSearch = INVALID_HANDLE_VALUE;
    m_root = CString(); // no unsharing copy: nothing to allocate here
    m_found = FALSE;
    m_dwError = 0;
    std::memset(&m_data, 0, sizeof(m_data));
}

void CFileFinder::Attach(HANDLE search)
{
    Close();
    m_hSearch = search;
}

HANDLE CFileFinder::Detach()
{
    HANDLE search = m_hSearch;
    m_hSearch = INVALID_HANDLE_VALUE;
    m_found = FALSE;
    return search;
}
