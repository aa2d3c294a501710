// Registry links for tests of code that must not follow them: a key that
// the system reads as another (REG_OPTION_CREATE_LINK, its target in the
// value "SymbolicLinkValue" of type REG_LINK). Wine 8 follows them as
// Windows does.
#ifndef BRINDLEWOX_TESTS_SUPPORT_REGISTRYLINK_H
#define BRINDLEWOX_TESTS_SUPPORT_REGISTRYLINK_H

#include "foundation/Base.h"

// Makes `path` under `root` (HKEY_CURRENT_USER or HKEY_USERS) a volatile link
// to the key `target` under the same root. True when made.
bool MakeRegistryLink(HKEY root, const char* path, const char* target);
// Deletes the link itself, never its target.
void DeleteRegistryLink(HKEY root, const char* path);

#endif
