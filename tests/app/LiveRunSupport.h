// A backup run of the real window that lasts until the test lets it go: the
// window's profile gets one folder of files and a destination, and the run
// stores through a service that holds every store until its gate opens.
#ifndef BRINDLEWOX_TESTS_APP_LIVERUNSUPPORT_H
#define BRINDLEWOX_TESTS_APP_LIVERUNSUPPORT_H

#include "app/MainApplicationDialog.h"
#include "engine/Profile.h"
#include "resources/MainPages.h"
#include "tests/support/TempFolder.h"

#include <atomic>
#include <string>

class CGatedStore : public IFileStoreService
{
public:
    CGatedStore() : m_gate(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    CGatedStore(const CGatedStore&) = delete;
    CGatedStore& operator=(const CGatedStore&) = delete;
    // Lets every store go, so no run waits on a gate that is gone.
    ~CGatedStore()
    {
        Open();
        CloseHandle(m_gate);
    }

    void Open() { SetEvent(m_gate); }
    int StoresBegun() const { return m_begun.load(); }

    bool GetFileStamp(const char* path, CString& stamp) override
    {
        stamp = CString(path) + "-stamp";
        return true;
    }
    // Bounded: a test that never opens the gate still ends.
    bool StoreFile(const char*, const char*, int, int, const char*) override
    {
        ++m_begun;
        return WaitForSingleObject(m_gate, 60000) == WAIT_OBJECT_0;
    }

    BackupFileServices services{*this, *this};

private:
    HANDLE m_gate;
    std::atomic<int> m_begun{0};
};

// The window's profile holds a folder of `files` files under `folder`, the
// backup page's destination is `folder`\dest\, and its runs store through
// `store`. Call it after the window exists.
inline bool PrepareLiveRun(MainApplicationDialog& window, const TempFolder& folder,
                           CGatedStore& store, int files = 4)
{
    const CString source = folder / "source";
    if (!MakeFolder(source) || !MakeFolder(folder / "dest"))
        return false;
    for (int i = 0; i < files; ++i)
    {
        if (!WriteTextFile(source + "\\file" + std::to_string(i).c_str() + ".txt", "content"))
            return false;
    }
    ProfileItem item;
    item.path = source;
    CProfileDB(window.GetRunContext().profilePath).AddItem(item);
    window.LoadProfile();
    window.SetControlText(IDC_BACKUP_DESTINATION, folder / "dest\\");
    window.SaveProfile(0);
    window.GetRunContext().services = &store.services;
    return true;
}

#endif
