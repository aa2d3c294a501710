// The stored-file tree of a destination D (a folder path ending with a
// backslash):
//
//   D + "Settings\Profile.prb"  the profile as the last run found it (its
//                               password blanked)
//   D + "Settings\Cache.prb"    the cache database
//   D + "Files\" + mapped path  one stored file or folder per source item
//   D + "Databases\..."         the web-site database dumps
//
// A source path maps to its stored path under "Files\" (StoredCopyPath in
// engine/BackupOneFile.h): a local path loses its first ":" (E:\dir\f is
// E\dir\f), a network path has its leading "\\" replaced by the marker
// "NETWK-QUARZL-" (\\srv\share\f is NETWK-QUARZL-srv\share\f). Each stored
// item keeps its source's name, times and attributes.
//
// The clean-up at the end of a backup run deletes the stored copies whose
// source is gone. It never deletes:
// - the top level of the tree (a drive letter or a marker folder), even
//   when empty;
// - anything under a source root that does not answer (a drive that is
//   missing or not ready, a share or server that is offline): those copies
//   may be the only ones left, and the source is not gone, only away;
// - an item whose source cannot be told missing (access denied, a network
//   error): only "file not found" and "path not found" count as gone.
#ifndef BRINDLEWOX_ENGINE_STOREDTREE_H
#define BRINDLEWOX_ENGINE_STOREDTREE_H

#include "foundation/Base.h"
#include "foundation/String.h"

#include <cstdint>
#include <vector>

class CRunContext;
class CBackupGate;

// The source paths a run has just listed, kept as 64-bit hashes (8 bytes a
// path however large the tree). The clean-up takes a listed path as present
// without asking the file system again: per stored item that query costs as
// much as the listing did. A path not in the set is asked for; a hash that
// matches by chance can only keep a stale copy until a later run.
class CListedPaths
{
public:
    void Add(const char* path) { m_hashes.push_back(Hash(path)); }
    // Call once after the last Add, before Contains.
    void Seal();
    bool Contains(const char* path) const;

private:
    static uint64_t Hash(const char* path);
    std::vector<uint64_t> m_hashes;
};

// The source of a stored path given relative to the tree root: a path that
// starts with the marker gets "\\" in its place, any other has its first
// "\" replaced by ":\" (C\dir\f is C:\dir\f). False, with `source`
// untouched, for a path without a backslash (the top level of the tree),
// which maps to nothing.
bool MapStoredPathToSource(const char* relative, CString& source);

// The root a source path lies on: "X:\" for a drive path, "\\srv\share\"
// for a network path; empty when there is none.
CString SourceRootOf(const char* source);

// The clean-up of the stored-file tree under cleanupRoot + "Files\" (the
// profile's backup_where), walked breadth first with the run's stop, pause
// and busy checks before every entry; the current-file field shows each
// stored item. A stored file whose source is gone is deleted (read-only
// ones too), a stored folder with everything in it (a link inside is
// removed, never followed). 0 when the worker's stop event ended it, 1
// otherwise. Failed deletions are not reported; the walk goes on. Sources in
// `listed` (the run's own listing, sealed) count as present unasked.
int PruneOrphanedCopies(CRunContext& context, CBackupGate& gate, const char* cleanupRoot,
                        const CListedPaths* listed = nullptr);

#endif
