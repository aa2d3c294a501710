// One level of a folder walk, as the backup and restore runs list their
// trees breadth first: the entries of a pattern in the order the file system
// gives them.
#ifndef BRINDLEWOX_ENGINE_FILEWALK_H
#define BRINDLEWOX_ENGINE_FILEWALK_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/String.h"

#include <atomic>

// Appends the matches of `pattern` (a folder followed by "\*.*", or one
// file's path) to `paths` and their sizes to `sizes`: a folder as its full
// path with a trailing backslash and size 0, a file as its full path with
// the low 32 bits of its size. "." and ".." are skipped, and so is every
// reparse point (junctions, mount points and links are never followed, so a
// walk cannot leave its tree or go round in a loop). The listing stops early
// when `running` reads 0 (the run's busy flag: a stop cuts it short). A
// pattern that matches nothing appends nothing.
void WalkFiles(const char* pattern, const std::atomic<LONG>& running, CStringArray& paths,
               CArray<DWORD>& sizes);

#endif
