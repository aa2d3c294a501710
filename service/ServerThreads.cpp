#include "service/ServerThreads.h"

namespace
{
std::atomic<LONG> g_quit{0};

ServerThread g_servers[kServerThreadCount] = {
    {IpcPipe::Settings, SettingsServerThread, {}, {0}},
    {IpcPipe::Backup, BackupServerThread, {}, {0}},
};
} // namespace

ServerThread* GetServerThreads()
{
    return g_servers;
}

bool IsServiceQuitting()
{
    return g_quit.load() != 0;
}

void SetServiceQuitting()
{
    g_quit.store(1);
    HANDLE quit = GetServiceQuitEvent();
    if (quit != nullptr)
        ::SetEvent(quit);
}

HANDLE GetServiceQuitEvent()
{
    // Made once, on whichever thread asks first (a static's initialisation
    // is thread-safe), and set at once when the flag was already up.
    static const HANDLE quit = []
    {
        HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (event != nullptr && g_quit.load() != 0)
            ::SetEvent(event);
        return event;
    }();
    return quit;
}
