// The times of a tree as a Windows program reads them, for the window
// scripts that compare a restored tree with its source
// (tests/scripts/service-window-large.sh). Linux's stat shows the last-write
// time Wine reports, but not the creation time Wine gives out, nor whether a
// creation time set through SetFileTime is kept at all.
//   file_times list <folder>
//       one line per entry under the folder, the folder itself first as ".":
//       "<D|F> <creation> <last write> <relative path>", times in 100-ns
//       units (FILETIME as one number), sorted by path
//   file_times keeps-creation <folder>
//       makes a folder in it, sets its creation time to 2001-02-03
//       04:05:06.789 UTC, reads it back, removes the folder: exit 0 when the
//       time read back is the one set, 3 when not (both said on stdout)
// Exit status 1 when the folder cannot be read or made, 2 for bad arguments.
#include "foundation/Base.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
unsigned long long Number(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

struct Entry
{
    std::string path;
    bool folder;
    unsigned long long creation;
    unsigned long long lastWrite;
};

void Print(const Entry& entry)
{
    printf("%c %llu %llu %s\n", entry.folder ? 'D' : 'F', entry.creation, entry.lastWrite,
           entry.path.c_str());
}

// Adds a line for every entry under `folder` (a full path); false when a
// folder of the tree could not be listed.
bool ListTree(const std::string& folder, const std::string& relative, std::vector<Entry>& entries)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
    {
        printf("cannot list %s (error %lu)\n", folder.c_str(), GetLastError());
        return false;
    }
    bool ok = true;
    do
    {
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0)
            continue;
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const std::string path =
            relative.empty() ? found.cFileName : relative + "\\" + found.cFileName;
        entries.push_back(
            {path, isFolder, Number(found.ftCreationTime), Number(found.ftLastWriteTime)});
        if (isFolder)
            ok = ListTree(folder + "\\" + found.cFileName, path, entries) && ok;
    } while (FindNextFileA(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES)
    {
        printf("listing %s stopped (error %lu)\n", folder.c_str(), error);
        return false;
    }
    return ok;
}

int List(const char* folder)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(folder, GetFileExInfoStandard, &data) ||
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        printf("no folder %s\n", folder);
        return 1;
    }
    std::vector<Entry> entries;
    if (!ListTree(folder, "", entries))
        return 1;
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.path < b.path; });
    Print({".", true, Number(data.ftCreationTime), Number(data.ftLastWriteTime)});
    for (const Entry& entry : entries)
        Print(entry);
    return 0;
}

int KeepsCreation(const char* folder)
{
    const std::string probe = std::string(folder) + "\\creation-probe";
    RemoveDirectoryA(probe.c_str());
    if (!CreateDirectoryA(probe.c_str(), nullptr))
    {
        printf("cannot make %s (error %lu)\n", probe.c_str(), GetLastError());
        return 1;
    }
    SYSTEMTIME wanted = {2001, 2, 6, 3, 4, 5, 6, 789};
    FILETIME set;
    SystemTimeToFileTime(&wanted, &set);
    HANDLE handle = CreateFileA(probe.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool setOk =
        handle != INVALID_HANDLE_VALUE && SetFileTime(handle, &set, nullptr, nullptr) != FALSE;
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    WIN32_FILE_ATTRIBUTE_DATA data;
    const bool read = GetFileAttributesExA(probe.c_str(), GetFileExInfoStandard, &data) != FALSE;
    RemoveDirectoryA(probe.c_str());
    if (!setOk || !read)
    {
        printf("cannot set or read the probe's times (error %lu)\n", GetLastError());
        return 1;
    }
    if (Number(data.ftCreationTime) == Number(set))
    {
        printf("creation time kept\n");
        return 0;
    }
    printf("creation time not kept: set %llu, read %llu\n", Number(set),
           Number(data.ftCreationTime));
    return 3;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "list") == 0)
        return List(argv[2]);
    if (argc == 3 && strcmp(argv[1], "keeps-creation") == 0)
        return KeepsCreation(argv[2]);
    fprintf(stderr, "usage: file_times list|keeps-creation <folder>\n");
    return 2;
}
