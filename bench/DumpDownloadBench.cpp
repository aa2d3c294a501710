// The web-site dump's download timed by itself:
//
//   DumpDownloadBench <port> <host> <path> <C:\target>
//
// fetches http://host:port/path with HttpDownloadToFile (WinINet, pieces
// sized to the rate) into the target and prints "<bytes> bytes in <ms> ms".
// Run by scripts/bench-dump beside curl on the same server.
#include "bench/BenchClock.h"
#include "engine/WebDatabaseDump.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 5)
    {
        fprintf(stderr, "usage: DumpDownloadBench <port> <host> <path> <target>\n");
        return 2;
    }
    SetWebDumpPorts(INTERNET_DEFAULT_FTP_PORT, static_cast<INTERNET_PORT>(atoi(argv[1])));
    const double start = Now();
    const HttpDownload download = HttpDownloadToFile(argv[2], argv[3], argv[4], nullptr);
    const double ms = (Now() - start) * 1000.0;
    printf("%llu bytes in %.0f ms\n", download.bytes, ms);
    return download.result == HttpDownloadResult::Complete ? 0 : 1;
}
