// CFileFinder: one FindFirstFileA / FindNextFileA search and its current
// entry. Never throws: a search that cannot start, or an allocation that
// fails, is reported by the result, and outputs are then left untouched.
//
// windows.h maps FindNextFile to FindNextFileA; the member is renamed with
// it, consistently for every caller, and calls the system with ::.
#ifndef BRINDLEWOX_FOUNDATION_FILEFIND_H
#define BRINDLEWOX_FOUNDATION_FILEFIND_H

#include "foundation/Base.h"
#include "foundation/String.h"

class CFileFinder
{
public:
    CFileFinder();
    CFileFinder(const CFileFinder&) = delete;
    CFileFinder& operator=(const CFileFinder&) = delete;
    virtual ~CFileFinder();

    // Closes a search in progress, then starts one. The root becomes the
    // pattern up to and including its last backslash ("" without one).
    // True when a first entry was found.
    bool FindFile(const char* pattern);
    // True while another entry exists. After false, GetError tells the end
    // of the list (ERROR_NO_MORE_FILES) from a failure of the search.
    bool FindNextFile();
    // The system's code for the last FindFile or FindNextFile that found
    // nothing; 0 while an entry is current.
    DWORD GetError() const { return m_dwError; }

    // The current entry's name (the text after a last backslash, if any).
    // False, with `name` untouched, only when memory runs out.
    bool GetFileName(CString& name) const;
    // The root followed by the name; false, untouched, when memory runs out.
    bool GetFilePath(CString& path) const;
    // The low 32 bits of the entry's size (files of 4 GiB and more wrap).
    DWORD GetLength() const { return m_found ? m_data.nFileSizeLow : 0; }
    DWORD GetAttributes() const { return m_found ? m_data.dwFileAttributes : 0; }
    bool IsDirectory() const { return (GetAttributes() & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    // Junctions, mount points and symbolic links (under Wine a Unix
    // directory symlink shows as DIRECTORY | REPARSE_POINT, 0x410).
    bool IsReparsePoint() const { return (GetAttributes() & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
    // "." or "..", and also true when there is no current entry to name.
    bool IsDots() const;
    // The whole entry as the system gave it (times, sizes, short name).
    const WIN32_FIND_DATAA& GetFindData() const { return m_data; }
    const CString& GetRoot() const { return m_root; }

    // Ends the search: root emptied, no current entry, find data zeroed.
    void Close();
    // Takes ownership of a search handle from FindFirstFileA (its first
    // entry is not known here: call FindNextFile); a search is closed first.
    void Attach(HANDLE search);
    // Gives up the search handle; the caller closes it with FindClose.
    HANDLE Detach();

private:
    CString m_root;
    WIN32_FIND_DATAA m_data;
    HANDLE m_hSearch = INVALID_HANDLE_VALUE;
    BOOL m_found = FALSE;
    DWORD m_dwError = 0;
};

#endif
