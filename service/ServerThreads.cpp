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
}
