// The shell namespace: the item-id list of a file-system path, as the
// folder browser (SHBrowseForFolderA) takes its root.
#ifndef BRINDLEWOX_FOUNDATION_SHELL_H
#define BRINDLEWOX_FOUNDATION_SHELL_H

#include "foundation/Base.h"

#include <shlobj.h>

// The shell's item-id list of a path (the desktop folder parses it); the
// caller frees it with CoTaskMemFree. Null when the desktop folder cannot be
// had, the path is longer than MAX_PATH - 1 characters or it does not parse.
LPITEMIDLIST PathToPidl(const char* path);

#endif
