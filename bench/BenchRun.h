// What the run benchmarks share: the service told who the user is, and a
// profile with one source, a destination and a stored form.
#ifndef BRINDLEWOX_BENCH_BENCHRUN_H
#define BRINDLEWOX_BENCH_BENCHRUN_H

#include "engine/PipeClient.h"
#include "engine/Profile.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"

#include <shlobj.h>

#include <cstdio>

// The service serves no BACKUP request before the main program has named
// its user; false (with a line on stderr) when it does not run.
inline bool TellServiceTheUser()
{
    CString sid;
    char appData[MAX_PATH] = "";
    if (GetCurrentUserSidText(sid) &&
        SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE) &&
        PipeSendUserProfile(sid, appData))
        return true;
    fprintf(stderr, "the service does not run\n");
    return false;
}

// A new profile at `path` whose one checked source is `source`, stored
// into `destination` in the form given.
inline bool WriteBenchProfile(const CString& path, const CString& source,
                              const CString& destination, bool compress, bool encrypt,
                              const char* password)
{
    try
    {
        DeleteFileA(path);
        CProfileDB profile(path);
        profile.CreateIfMissing();
        ProfileItem item;
        item.path = source;
        profile.AddItem(item);
        CArray<ProfileItem> items;
        profile.LoadItems(items);
        CSimpleArray<ProfileCheck> checks;
        checks.Add(ProfileCheck{items[0].id, true});
        profile.Save(checks, destination, compress, encrypt, 0);
        profile.SavePassword(password);
        return true;
    }
    catch (const CSqlException& e)
    {
        fprintf(stderr, "profile: %s\n", e.GetErrorMessage());
        return false;
    }
}

#endif
