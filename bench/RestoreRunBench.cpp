// Speed of the restore run over the backup of a tree of many small files,
// run by hand by scripts/bench-backup (which makes the tree and times Wine's
// xcopy of the stored tree in the same run):
//
//   RestoreRunBench backup <source folder> <work folder> <plain|packed>
//   RestoreRunBench restore <source folder> <work folder> <plain|packed> <workers> <target> [parts]
//
// "backup" backs the source up through the running service into
// <work>\dest\ (profile <work>\profile.prb) in the stored form: plain, or
// packed (compressed and encrypted). "restore" restores the whole backup
// (the stored copy of the source) through the service into <target>, an
// empty folder, with <workers> restore workers: the whole run on the
// restore worker as the window starts it. With "parts" it then times the
// parts of a restore one by one, each into a fresh folder beside the
// target. Output lines, "<what> <name> <seconds> <count>":
//   backup <form>             the backup run; count = entries processed
//   restore <form>-<n>        the restore run; count = entries not restored
//   requests <form>-<n>       time inside the restore requests, summed over
//                             the workers; count = requests
//   part walk                 the listing of the stored tree alone
//   part requests-<n>-threads the same requests from <n> plain threads
//                             over kept connections, without the run
//   part in-process-<n>-threads the same restores done in this process on
//                             <n> threads, without the service
//   part requests-here-<n>-threads the same requests to the service's own
//                             serving code run in this process, followed by
//   service <part>            the service's time in that part of those
//                             requests, summed over its threads
// Under Wine, send the output to a file: a pipe makes every call wait.
#include "bench/BenchClock.h"
#include "bench/BenchRun.h"
#include "bench/ServiceHere.h"
#include "engine/BackupRun.h"
#include "engine/FileWalk.h"
#include "engine/RestoreRun.h"
#include "engine/StoredFile.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace
{
const char* const kPassword = "bench-password";

void Report(const char* what, const char* name, double seconds, long count)
{
    printf("%s %s %.3f %ld\n", what, name, seconds, count);
    fflush(stdout);
}

// Times the run's requests to the service; its workers call it from
// several threads at once.
class CTimedRestore : public IFileRestoreService
{
public:
    int RestoreFile(const CString& storedPath, const CString& targetRoot, BOOL compress,
                    BOOL encrypt, const CString& password, HANDLE stopEvent, HANDLE cancelEvent,
                    bool& sent) override
    {
        const double start = Now();
        const int result = PipeRestoreFile(storedPath, targetRoot, compress, encrypt, password,
                                           stopEvent, &sent, cancelEvent);
        microseconds += static_cast<long long>((Now() - start) * 1e6);
        ++requests;
        return result;
    }

    std::atomic<long> requests{0};
    std::atomic<long long> microseconds{0};
};

// Every entry of the stored tree, the folder first, as the run lists it.
std::vector<CString> ListTree(const CString& stored, double& seconds)
{
    const std::atomic<LONG> running{1};
    std::vector<CString> all{stored};
    const double start = Now();
    WalkBreadthFirst(
        stored + "\\*.*", running, [] { return true; }, [](size_t) {},
        [&](size_t, const WalkEntry& entry)
        {
            all.push_back(entry.ItemPath());
            return true;
        });
    seconds = Now() - start;
    return all;
}

// Runs `each` over the entries on `threads` threads, each taking the next
// entry not taken; the seconds it took.
template <class Each> double OnThreads(const std::vector<CString>& entries, int threads, Each each)
{
    std::atomic<size_t> next{0};
    const double start = Now();
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back(
            [&]
            {
                CKeptBackupConnection connection;
                for (size_t i; (i = next++) < entries.size();)
                    each(entries[i]);
            });
    for (std::thread& thread : running)
        thread.join();
    return Now() - start;
}

void TimeParts(const CString& stored, const CString& target, int workers, bool packed)
{
    double seconds = 0;
    const std::vector<CString> entries = ListTree(stored, seconds);
    const long count = static_cast<long>(entries.size());
    Report("part", "walk", seconds, count);

    CString name;
    const CString viaPipe = target + "-requests\\";
    std::atomic<long> failed{0};
    seconds = OnThreads(entries, workers,
                        [&](const CString& entry)
                        {
                            if (PipeRestoreFile(entry, viaPipe, packed, packed, kPassword) !=
                                kPipeDone)
                                ++failed;
                        });
    name.Format("requests-%d-threads", workers);
    Report("part", name, seconds, count - failed.load());

    // The same with what a restore worker adds to each request: the stop
    // and pause point, and the stop event given to the request.
    CWorkerThread events;
    events.CreateEvents();
    const CString gated = target + "-gated\\";
    failed = 0;
    seconds = OnThreads(entries, workers,
                        [&](const CString& entry)
                        {
                            if (!events.WaitToContinue() ||
                                PipeRestoreFile(entry, gated, packed, packed, kPassword,
                                                events.GetStopEvent()) != kPipeDone)
                                ++failed;
                        });
    name.Format("gated-requests-%d-threads", workers);
    Report("part", name, seconds, count - failed.load());

    const CString inProcess = target + "-in-process\\";
    failed = 0;
    seconds = OnThreads(entries, workers,
                        [&](const CString& entry)
                        {
                            CTransferSource opened;
                            if (!opened.Open(entry) ||
                                !TransferFromSource(opened, StoredCopyPath(inProcess, entry),
                                                    packed, packed, kPassword, kTransferRestore))
                                ++failed;
                        });
    name.Format("in-process-%d-threads", workers);
    Report("part", name, seconds, count - failed.load());

    // The same requests to the service's own serving code run in this
    // process, where its parts are timed ("service <part> ..." lines). Its
    // stop at the end is the process's: this comes last.
    CBenchServiceHere service;
    if (!service.Serves())
        return;
    const CString here = target + "-here\\";
    failed = 0;
    SetRequestTiming(true);
    seconds = OnThreads(entries, workers,
                        [&](const CString& entry)
                        {
                            if (PipeRestoreFile(entry, here, packed, packed, kPassword) !=
                                kPipeDone)
                                ++failed;
                        });
    name.Format("requests-here-%d-threads", workers);
    Report("part", name, seconds, count - failed.load());
    CBenchServiceHere::Report();
}
} // namespace

int main(int argc, char** argv)
{
    const bool backup = argc == 5 && strcmp(argv[1], "backup") == 0;
    const bool restore = argc >= 7 && strcmp(argv[1], "restore") == 0;
    if (!backup && !restore)
    {
        fprintf(stderr, "usage: RestoreRunBench backup <source> <work> <plain|packed>\n"
                        "       RestoreRunBench restore <source> <work> <plain|packed> <workers> "
                        "<target> [parts]\n");
        return 2;
    }
    const CString source(argv[2]);
    const CString work(argv[3]);
    const CString form(argv[4]);
    const bool packed = form == "packed";
    const CString destination = work + "\\dest\\";
    if (!TellServiceTheUser())
        return 1;

    CRunContext context;
    context.profilePath = work + "\\profile.prb";
    if (backup)
    {
        if (!WriteBenchProfile(context.profilePath, source, destination, packed, packed, kPassword))
            return 1;
        context.destination = destination;
        const double start = Now();
        if (context.StartBackup(false) != RunStart::Started)
            return 1;
        WaitForSingleObject(context.backupWorker.GetThreadHandle(), INFINITE);
        const double elapsed = Now() - start;
        context.CollectBackup();
        const RunDisplay shown = context.GetDisplay();
        Report("backup", form, elapsed, shown.processedFiles);
        return shown.errors == 0 ? 0 : 1;
    }

    const int workers = atoi(argv[5]);
    const CString target(argv[6]);
    const CString stored = StoredCopyPath(destination + "Files\\", source);
    CTimedRestore timed;
    context.restoreService = &timed;
    context.restoreWorkers = workers;
    context.whatPath = stored;
    context.wherePath = target;
    const double start = Now();
    if (context.StartRestore() != RunStart::Started)
        return 1;
    WaitForSingleObject(context.restoreWorker.GetThreadHandle(), INFINITE);
    const double elapsed = Now() - start;
    context.restoreWorker.StopIfRunning();
    CString name;
    name.Format("%s-%d", static_cast<const char*>(form), workers);
    Report("restore", name, elapsed, context.GetDisplay().restoreFailed);
    Report("requests", name, timed.microseconds.load() / 1e6, timed.requests.load());
    if (argc >= 8 && strcmp(argv[7], "parts") == 0)
        TimeParts(stored, target, workers, packed);
    return 0;
}
