// Speed of the backup run over a tree of many small files, run by hand by
// scripts/bench-backup (which makes the tree and times cp -a and rsync -a on
// it in the same run):
//
//   BackupRunBench <source folder> <work folder> [service|here|direct] [workers] [parts]
//
// runs a first plain backup of the source into <work>\dest\ and a second one
// with nothing changed, each the whole run on the backup worker as the window
// starts it, with `workers` store workers (kDefaultFileWorkers when not
// given), and with "parts" then times the parts of a run one by one. Local
// files are stored by the running service through the BACKUP pipe
// ("service", the default; the driver installs and starts it), by the
// service's own serving code run in this process behind a pipe of its own
// ("here": the first run then also prints where the service's time went),
// or by the same transfer in this process without the pipe ("direct").
// Output lines, "<what> <name> <seconds> <count>":
//   workers store 0 <n>  the store workers of the runs
//   run first|nochange   the whole run; count = entries processed
//   stores first|nochange  time inside the store requests, summed over the
//                         workers; count = requests
//   stamps first|nochange  stamp requests to the service (none: every stamp
//                         comes from the file's own record)
//   part <name>          one part of a run measured alone over the same tree
//   service <part>       ("here") the service's time in that part of the
//                        first run's requests, summed over its threads;
//                        count = requests that went through it
// Under Wine, send the output to a file: a pipe makes every call wait.
#include "bench/BenchClock.h"
#include "bench/BenchRun.h"
#include "bench/ServiceHere.h"
#include "engine/BackupCache.h"
#include "engine/BackupRun.h"
#include "engine/FileStamp.h"
#include "engine/FileStoreService.h"
#include "engine/FileSystem.h"
#include "engine/FileWalk.h"
#include "engine/PipeClient.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "engine/StoredFile.h"
#include "engine/StoredTree.h"

#include <atomic>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
// Times the requests the run makes of a store service; the store workers
// call it from several threads at once.
class CTimedService : public IFileStoreService
{
public:
    explicit CTimedService(IFileStoreService& inner) : m_inner(inner) {}
    bool GetFileStamp(const char* path, CString& stamp) override
    {
        ++stamps;
        return m_inner.GetFileStamp(path, stamp);
    }
    bool StoreFile(const char* source, const char* treeRoot, int compress, int encrypt,
                   const char* password) override
    {
        const double start = Now();
        const bool stored = m_inner.StoreFile(source, treeRoot, compress, encrypt, password);
        storeMicroseconds += static_cast<long long>((Now() - start) * 1e6);
        ++stores;
        return stored;
    }
    void Reset()
    {
        stamps = 0;
        stores = 0;
        storeMicroseconds = 0;
    }

    std::atomic<int> stamps{0};
    std::atomic<int> stores{0};
    std::atomic<long long> storeMicroseconds{0};

private:
    IFileStoreService& m_inner;
};

void Report(const char* what, const char* name, double seconds, long count)
{
    printf("%s %s %.3f %ld\n", what, name, seconds, count);
    fflush(stdout);
}

// One whole run on the backup worker; the entries it processed.
long RunOnce(CRunContext& context, CTimedService& local, const char* name)
{
    local.Reset();
    const double start = Now();
    if (context.StartBackup(false) != RunStart::Started)
        return -1;
    WaitForSingleObject(context.backupWorker.GetThreadHandle(), INFINITE);
    const double elapsed = Now() - start;
    context.CollectBackup();
    const RunDisplay shown = context.GetDisplay();
    Report("run", name, elapsed, shown.processedFiles);
    Report("stores", name, local.storeMicroseconds.load() / 1e6, local.stores.load());
    Report("stamps", name, 0, local.stamps.load());
    if (shown.errors)
        Report("errors", name, 0, shown.errors);
    return shown.processedFiles;
}

// Every entry of the tree, breadth first, as the run lists it.
std::vector<WalkEntry> ListTree(const CString& source, double& seconds)
{
    const std::atomic<LONG> running{1};
    std::vector<WalkEntry> all;
    const double start = Now();
    WalkBreadthFirst(
        source + "\\*.*", running, [] { return true; }, [](size_t) {},
        [&](size_t, const WalkEntry& entry)
        {
            all.push_back(entry);
            return true;
        });
    seconds = Now() - start;
    return all;
}

void TimeParts(CRunContext& context, const CString& source, const CString& destination,
               bool viaService)
{
    double seconds = 0;
    const std::vector<WalkEntry> entries = ListTree(source, seconds);
    const long count = static_cast<long>(entries.size());
    Report("part", "walk", seconds, count);

    double start = Now();
    std::vector<CString> stamps(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        MakeFileStamp(entries[i].ItemPath(), stamps[i]);
    Report("part", "stamp-from-record", Now() - start, count);

    {
        CSqlDB cache;
        cache.Open(GetCacheFilePath(destination));
        CSqlTransaction transaction(cache);
        CCacheLookup lookup(cache);
        start = Now();
        for (size_t i = 0; i < entries.size(); ++i)
            lookup.Holds(CachePathEscape(entries[i].ItemPath()), stamps[i]);
        Report("part", "cache-lookup", Now() - start, count);
        transaction.Commit();
    }

    const CString tree = destination + "Files\\";
    CStoredCopies copies;
    start = Now();
    for (const WalkEntry& entry : entries)
        copies.Exists(StoredCopyPath(tree, entry.ItemPath()));
    Report("part", "stored-copy-check", Now() - start, count);

    // The floor under any store of a file under Wine: the system's own copy
    // of the first 1,000 files into one flat folder, against the plain store
    // of the same files into a fresh tree in this process.
    const CString floorFolder = destination + "floor\\";
    CreateDirectoryA(destination + "floor", nullptr);
    std::vector<const WalkEntry*> files;
    for (const WalkEntry& entry : entries)
        if (!entry.IsFolder() && files.size() < 1000)
            files.push_back(&entry);
    start = Now();
    for (size_t i = 0; i < files.size(); ++i)
    {
        CString name;
        name.Format("%u.dat", static_cast<unsigned>(i));
        CopyFileA(files[i]->ItemPath(), floorFolder + name, FALSE);
    }
    Report("part", "system-copy-floor", Now() - start, static_cast<long>(files.size()));
    const CString storeTree = destination + "floor-tree\\";
    CDirectFileService direct;
    start = Now();
    for (const WalkEntry* entry : files)
        direct.StoreFile(entry->ItemPath(), storeTree, 0, 0, "");
    Report("part", "plain-store-in-process", Now() - start, static_cast<long>(files.size()));

    // The gate on this thread: the worker's events without a thread.
    context.backupWorker.CreateEvents();
    context.engineBusy.store(1);
    CBackupGate gate(context);
    start = Now();
    for (long i = 0; i < count; ++i)
        gate.GoOn();
    Report("part", "stop-and-pause-checks", Now() - start, count);
    start = Now();
    for (long i = 0; i < 1000; ++i)
        context.backupWorker.WaitToContinue();
    Report("part", "kernel-wait", Now() - start, 1000);

    start = Now();
    PruneOrphanedCopies(context, gate, destination);
    Report("part", "clean-up", Now() - start, count);
    context.engineBusy.store(0);

    // Run only for a source at a drive's root (not this one): what it costs
    // for C: when it is.
    start = Now();
    GrantVolumeInfoAccess(1u << 2);
    RevokeVolumeInfoAccess(1u << 2);
    Report("part", "cacls-on-C-if-needed", Now() - start, 2);

    if (!viaService)
        return;
    start = Now();
    int answered = 0;
    CString stamp;
    for (int i = 0; i < 1000; ++i)
        answered += PipeGetFileStamp(entries[i % entries.size()].ItemPath(), stamp) == 1;
    Report("part", "service-stamp-request", Now() - start, answered);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        fprintf(stderr, "usage: BackupRunBench <source> <work folder> [service|direct] "
                        "[workers] [parts]\n");
        return 2;
    }
    const CString source(argv[1]);
    const CString work(argv[2]);
    const bool viaService = argc < 4 || strcmp(argv[3], "direct") != 0;
    const bool here = argc >= 4 && strcmp(argv[3], "here") == 0;
    const int workers = argc >= 5 ? atoi(argv[4]) : kDefaultFileWorkers;
    const bool parts = argc >= 6 && strcmp(argv[5], "parts") == 0;
    const CString destination = work + "\\dest\\";

    std::unique_ptr<CBenchServiceHere> service;
    if (here)
        service = std::make_unique<CBenchServiceHere>();
    if (here ? !service->Serves() : viaService && !TellServiceTheUser())
        return 1;

    CPipeFileService pipe;
    CDirectFileService direct;
    CTimedService local(viaService ? static_cast<IFileStoreService&>(pipe) : direct);
    CDirectFileService network;
    const BackupFileServices services{local, network};

    CRunContext context;
    context.profilePath = work + "\\profile.prb";
    context.destination = destination;
    context.services = &services;
    context.storeWorkers = workers;
    if (!WriteBenchProfile(context.profilePath, source, destination, false, false, ""))
        return 1;
    printf("mode %s\n", here ? "here" : viaService ? "service" : "direct");
    Report("workers", "store", 0, workers);
    SetRequestTiming(here);
    if (RunOnce(context, local, "first") < 0)
        return 1;
    if (here)
        CBenchServiceHere::Report();
    SetRequestTiming(false);
    if (RunOnce(context, local, "nochange") < 0)
        return 1;
    if (!parts)
        return 0;
    try
    {
        TimeParts(context, source, destination, viaService);
    }
    catch (const CSqlException& e)
    {
        fprintf(stderr, "parts: %s\n", e.GetErrorMessage());
        return 1;
    }
    return 0;
}
