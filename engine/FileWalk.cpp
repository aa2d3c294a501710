#include "engine/FileWalk.h"

#include "foundation/FileFind.h"

void WalkFiles(const char* pattern, const std::atomic<LONG>& running, CStringArray& paths,
               CArray<DWORD>& sizes)
{
    CFileFinder finder;
    if (!finder.FindFile(pattern))
        return;
    do
    {
        if (finder.IsReparsePoint() || finder.IsDots())
            continue;
        CString path;
        if (!finder.GetFilePath(path))
            continue;
        if (finder.IsDirectory())
        {
            path += '\\';
            paths.Add(path);
            sizes.Add(0);
        }
        else
        {
            paths.Add(path);
            sizes.Add(finder.GetLength());
        }
    } while (running.load() != 0 && finder.FindNextFile());
}
