// Shared by the startup and uninstall tests: the small programs the build
// puts beside the test program (version probes, the stand-in uninstaller),
// copied to C: for a test.
#ifndef BRINDLEWOX_TESTS_APP_STARTUPTESTSUPPORT_H
#define BRINDLEWOX_TESTS_APP_STARTUPTESTSUPPORT_H

#include "foundation/Registry.h"
#include "foundation/Utility.h"
#include "tests/support/TempFolder.h"

// The built program `name` copied into the folder: its new path, or ""
// when it could not be copied.
inline CString CopyBuiltProgram(const TempFolder& folder, const char* name)
{
    CString directory;
    if (!GetAppDirectory(directory))
        return CString();
    const CString target = folder / name;
    return CopyFileA(directory + "\\" + name, target, FALSE) ? target : CString();
}

// Whether root\path holds a value of that name.
inline bool RegistryValueExists(HKEY root, const char* path, const char* name)
{
    CRegistryKey key;
    DWORD size = 0;
    return key.Open(root, path, KEY_QUERY_VALUE) == ERROR_SUCCESS &&
           key.QueryValue(name, nullptr, &size) == ERROR_SUCCESS;
}

#endif
