#include "service/ServerThreads.h"

namespace
{
std::atomic<LONG> g_quit{0};

ServerThread g_servers[kServerThreadCount] = {
    {"SETTINGS", "\\\\.\\pipe\\BRINDLEWOX_IPC_QUEUE_SETTINGS", SettingsServerThread, {}, {0}},
    {"BACKUP", "\\\\.\\pipe\\BRINDLEWOX_IPC_QUEUE_BACKUP", BackupServerThread, {}, {0}},
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
}
