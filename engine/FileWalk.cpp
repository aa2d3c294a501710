#include "engine/FileWalk.h"

#include "foundation/FileFind.h"

CString WalkEntry::ItemPath() const
{
    const int length = path.GetLength();
    if (length >= 2 && path[length - 1] == '\\')
        return path.Left(length - 1);
    return path;
}

namespace
{
std::atomic<ListingHook> g_listingHook{nullptr};

void ListInto(const char* pattern, const std::atomic<LONG>& running,
              std::vector<WalkEntry>& entries)
{
    CFileFinder finder;
    if (!finder.FindFile(pattern))
        return;
    do
    {
        if (finder.IsReparsePoint() || finder.IsDots())
            continue;
        WalkEntry entry;
        if (!finder.GetFilePath(entry.path))
            continue;
        const WIN32_FIND_DATAA& data = finder.GetFindData();
        entry.attributes = data.dwFileAttributes;
        if (entry.IsFolder())
            entry.path += '\\';
        else
            entry.sizeLow = data.nFileSizeLow;
        entries.push_back(entry);
    } while (running.load() != 0 && finder.FindNextFile());
}
} // namespace

void SetListingHook(ListingHook hook)
{
    g_listingHook.store(hook);
}

void ListEntries(const char* pattern, const std::atomic<LONG>& running,
                 std::vector<WalkEntry>& entries)
{
    const size_t first = entries.size();
    ListInto(pattern, running, entries);
    if (const ListingHook hook = g_listingHook.load())
        hook(pattern, entries, first);
}

void WalkFiles(const char* pattern, const std::atomic<LONG>& running, CStringArray& paths,
               CArray<DWORD>& sizes)
{
    std::vector<WalkEntry> entries;
    ListEntries(pattern, running, entries);
    for (const WalkEntry& entry : entries)
    {
        paths.Add(entry.path);
        sizes.Add(entry.sizeLow);
    }
}
