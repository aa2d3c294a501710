// A fresh folder under C:\bwtest for one test, removed with everything in it
// when the object goes. Tests use C: paths only (Z: is the Linux root).
#ifndef BRINDLEWOX_TESTS_SUPPORT_TEMPFOLDER_H
#define BRINDLEWOX_TESTS_SUPPORT_TEMPFOLDER_H

#include "foundation/Base.h"
#include "foundation/String.h"

#include <string>

class TempFolder
{
public:
    // C:\bwtest\<tag>-<process id>-<tick>-<counter>, created empty.
    explicit TempFolder(const char* tag);
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    // The folder, without a trailing backslash.
    const CString& Path() const { return m_path; }
    // The folder followed by a backslash and `name`.
    CString operator/(const char* name) const;

private:
    CString m_path;
};

// Writes `text` as the whole content of a file (created or truncated).
bool WriteTextFile(const char* path, const char* text);
// The whole content of a file, or an empty string when it cannot be read.
CString ReadTextFile(const char* path);
// The whole content of a file as bytes (large files too), empty when it
// cannot be read.
std::string ReadFileBytes(const char* path);
// The first `count` bytes of a file (at most 64), fewer when it is shorter;
// an empty string when it cannot be read.
CString ReadFileStart(const char* path, int count);
// Creates a folder; true when it exists afterwards.
bool MakeFolder(const char* path);

// Removes a file or folder tree under C:\bwtest without following
// symbolic links; other paths are left alone.
void RemoveTree(const CString& path);

// Makes `link` a directory symbolic link to `target`. Under Wine, whose
// CreateSymbolicLinkA succeeds without doing anything, it runs the Unix ln
// (Wine starts Unix programs) on the folders' Unix paths; the link then shows
// as DIRECTORY | REPARSE_POINT, a stand-in for a junction. True when the
// link exists as a reparse point afterwards.
bool MakeDirectoryLink(const char* link, const char* target);

#endif
