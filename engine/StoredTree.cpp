#include "engine/StoredTree.h"

#include "engine/BackupOneFile.h"
#include "engine/BackupRun.h"
#include "engine/FileSystem.h"
#include "engine/FileWalk.h"
#include "engine/RunContext.h"
#include "engine/StoredFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
const char* const kUnreachableKeptLine =
    "Stored copies kept: %s cannot be reached, so its files are not taken for deleted.\r\n\r\n";

// Whether each source root answered, asked once per root and run.
class RootAnswers
{
public:
    explicit RootAnswers(CRunContext& context) : m_context(context) {}

    bool Answers(const CString& root)
    {
        for (const Answer& answer : m_answers)
            if (answer.root.CompareNoCase(root) == 0)
                return answer.reachable;
        const bool reachable = GetFileAttributesA(root) != INVALID_FILE_ATTRIBUTES;
        m_answers.push_back({root, reachable});
        if (!reachable)
        {
            CString line;
            line.Format(kUnreachableKeptLine, (const char*)root);
            m_context.WriteLog(line);
        }
        return reachable;
    }

private:
    struct Answer
    {
        CString root;
        bool reachable;
    };
    CRunContext& m_context;
    std::vector<Answer> m_answers;
};

// Only a source the file system says is not there is gone.
bool SourceIsGone(const CString& source)
{
    if (GetFileAttributesA(source) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void DeleteStoredItem(const WalkEntry& entry, const CString& item)
{
    if (entry.IsFolder())
    {
        ShellDeletePath(item, TRUE);
        return;
    }
    SetFileAttributesA(item, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(item);
}
} // namespace

void CListedPaths::Seal()
{
    std::sort(m_hashes.begin(), m_hashes.end());
}

bool CListedPaths::Contains(const char* path) const
{
    return std::binary_search(m_hashes.begin(), m_hashes.end(), Hash(path));
}

uint64_t CListedPaths::Hash(const char* path)
{
    // FNV-1a.
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p; ++p)
        hash = (hash ^ *p) * 1099511628211ull;
    return hash;
}

bool CWalkedFolders::Add(const char* folder, const CString& copy)
{
    Walked walked{copy, {}, 0};
    if (!GetFileAttributesExA(folder, GetFileExInfoStandard, &walked.record))
        return false;
    for (int i = 0; i < copy.GetLength(); ++i)
        walked.depth += copy[i] == '\\' ? 1 : 0;
    m_folders.push_back(std::move(walked));
    return true;
}

size_t CWalkedFolders::Apply(const std::function<bool()>& mayGoOn)
{
    // The walks list level by level, but a run walks several trees one after
    // the other: only the depth orders them all.
    std::stable_sort(m_folders.begin(), m_folders.end(),
                     [](const Walked& a, const Walked& b) { return a.depth > b.depth; });
    const auto same = [](const FILETIME& a, const FILETIME& b)
    { return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime; };
    size_t set = 0;
    for (const Walked& folder : m_folders)
    {
        if (!mayGoOn())
            break;
        WIN32_FILE_ATTRIBUTE_DATA present;
        if (!GetFileAttributesExA(folder.copy, GetFileExInfoStandard, &present) ||
            !(present.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        const WIN32_FILE_ATTRIBUTE_DATA& wanted = folder.record;
        if (same(present.ftLastWriteTime, wanted.ftLastWriteTime) &&
            same(present.ftCreationTime, wanted.ftCreationTime) &&
            SettableAttributes(present.dwFileAttributes) ==
                SettableAttributes(wanted.dwFileAttributes))
            continue;
        if (ApplyFileTimesAndAttributes(wanted, folder.copy))
            ++set;
    }
    m_folders.clear();
    return set;
}

bool MapStoredPathToSource(const char* relative, CString& source)
{
    if (!strchr(relative, '\\'))
        return false;
    // Only a leading marker stands for "\\": stored network paths always
    // start with it, and a local folder that happens to hold the marker in
    // its name must not map to a path that never exists (its copies would be
    // deleted on every run).
    const size_t markerLength = strlen(kNetworkMarker);
    if (strncmp(relative, kNetworkMarker, markerLength) == 0)
    {
        source = CString("\\\\") + (relative + markerLength);
        return true;
    }
    const char* slash = strchr(relative, '\\');
    source = CString(relative, static_cast<int>(slash - relative)) + ":" + slash;
    return true;
}

CString SourceRootOf(const char* source)
{
    if (source[0] && source[1] == ':')
        return CString(source, 2) + "\\";
    if (source[0] == '\\' && source[1] == '\\')
    {
        const char* share = strchr(source + 2, '\\');
        if (!share)
            return CString("");
        const char* end = strchr(share + 1, '\\');
        return end ? CString(source, static_cast<int>(end - source) + 1) : CString(source) + "\\";
    }
    return CString("");
}

bool CStoredCopies::Exists(const char* storedPath)
{
    const char* slash = std::strrchr(storedPath, '\\');
    if (slash == nullptr)
        return FileExists(storedPath);
    const size_t folderLength = static_cast<size_t>(slash - storedPath + 1);
    if (m_folder.size() != folderLength || m_folder.compare(0, folderLength, storedPath, folderLength) != 0)
    {
        m_folder.assign(storedPath, folderLength);
        m_names.clear();
        const std::atomic<LONG> running{1};
        std::vector<WalkEntry> entries;
        ListEntries((m_folder + "*.*").c_str(), running, entries);
        for (const WalkEntry& entry : entries)
        {
            const CString name = entry.ItemPath();
            m_names.emplace(static_cast<const char*>(name) + folderLength);
        }
        if (m_keptEntries + entries.size() <= kKeptEntries &&
            m_listings.find(m_folder) == m_listings.end())
        {
            m_keptEntries += entries.size();
            m_listings.emplace(m_folder, std::move(entries));
        }
    }
    return m_names.count(slash + 1) != 0 || FileExists(storedPath);
}

const std::vector<WalkEntry>* CStoredCopies::Listing(const char* pattern) const
{
    const char* slash = std::strrchr(pattern, '\\');
    if (slash == nullptr || std::strcmp(slash + 1, "*.*") != 0)
        return nullptr;
    const auto found = m_listings.find(std::string(pattern, static_cast<size_t>(slash - pattern + 1)));
    return found != m_listings.end() ? &found->second : nullptr;
}

int PruneOrphanedCopies(CRunContext& context, CBackupGate& gate, const char* cleanupRoot,
                        const CListedPaths* listed, const CStoredCopies* copies)
{
    if (!gate.GoOn())
        return gate.Stopped() ? 0 : 1;
    // A drive without its disk must answer "not ready", not bring up a box.
    QuietErrorMode quiet;
    CString tree = CString(cleanupRoot) + "Files\\";
    CString pattern = tree;
    if (IsFolderOrMissing(tree))
    {
        if (pattern[pattern.GetLength() - 1] != '\\')
            pattern += '\\';
        pattern += "*.*";
    }
    RootAnswers roots(context);

    WalkBreadthFirst(
        pattern, context.engineBusy, [&gate] { return gate.GoOn(); },
        [&context](size_t count) { context.SetProgressRange(static_cast<int>(count)); },
        [&](size_t index, const WalkEntry& entry)
        {
            context.SetProgressPosition(static_cast<int>(index));
            const CString item = entry.ItemPath();
            context.ShowCurrentFile(item);
            CString source;
            if (!MapStoredPathToSource(item.Mid(tree.GetLength()), source))
                return true;
            const CString root = SourceRootOf(source);
            if (root.IsEmpty() || !roots.Answers(root))
                return false;
            if ((!listed || !listed->Contains(source)) && SourceIsGone(source))
            {
                DeleteStoredItem(entry, item);
                return false;
            }
            return true;
        },
        [&context, copies](const char* folderPattern, std::vector<WalkEntry>& entries)
        {
            // A folder the run's decisions listed is taken as they found it.
            const std::vector<WalkEntry>* kept =
                copies != nullptr ? copies->Listing(folderPattern) : nullptr;
            if (kept != nullptr)
                entries.insert(entries.end(), kept->begin(), kept->end());
            else
                ListEntries(folderPattern, context.engineBusy, entries);
        });
    context.SetProgressPosition(0);
    return gate.Stopped() ? 0 : 1;
}
