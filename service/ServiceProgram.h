// BrindlewoxSrv.exe: the program entry and the switches with which setup
// installs, removes, starts, stops and restarts the service (the main
// program never controls the service). Without a switch the program runs as
// the service under the service dispatcher.
#ifndef BRINDLEWOX_SERVICE_SERVICEPROGRAM_H
#define BRINDLEWOX_SERVICE_SERVICEPROGRAM_H

#include "foundation/Base.h"
#include "engine/IpcRecords.h"

// The service's names, spelt as the service control manager knows them
// (kServiceName, shared with the main program, is in engine/IpcRecords.h).
// The crash-report name, which names the dump file, is spelt differently.
constexpr const char kServiceDisplayName[] = "ORVANEL Brindlewox Service";
constexpr const char kCrashReportName[] = "OVBrindlewoxSrv";
// The file name the crash handler restarts, and the switch it passes.
constexpr const char kServiceProgramFile[] = "BrindlewoxSrv.exe";
constexpr const char kRestartSwitch[] = "-restart";
// The one argument a start by the switches passes to the service.
constexpr const char kManualStartArgument[] = "-manual";

enum class ServiceSwitch
{
    None, // anything else: the program does nothing
    Install,
    Uninstall,
    Start,
    Stop,
    Restart,
};

// The switch a command line (the text after the program name) names. Only
// the exact forms count, all lower or all upper case: "-install" and
// "-INSTALL", "-uninstall", "-start", "-stop", "-restart"; mixed case or a
// blank before or after names none.
ServiceSwitch ParseServiceSwitch(const char* commandLine);

// The program entry: installs the crash handler, starts the framework up,
// then runs a switch and returns 0, or, with an empty command line, hands
// the thread to the service dispatcher (returns 0 when it comes back; a
// program started by hand without a switch, whom the dispatcher refuses,
// ends with exit code -1).
int ServiceWinMain(HINSTANCE instance, HINSTANCE previous, const char* commandLine, int show);

// The switch actions. Each opens the local service control manager with
// full access and returns silently when that or any later call fails;
// every handle is closed again.
//
// Registers the service: own process, automatic start, normal error
// control, LocalSystem, this program's full path in double quotes (a path
// with blanks, unquoted, would let the system try "C:\Program.exe" first).
void InstallService();
// Stops the service (StopService) and deletes it, also when it did not stop.
void UninstallService();
// Starts the service with the one argument "-manual"; a failure is ignored.
void StartServiceManually();
// Sends the stop control; when it was accepted, waits in 1-second steps
// while the service reports SERVICE_STOP_PENDING, at most 60 seconds.
void StopService();
// StopService, then the start as StartServiceManually. After a crash the
// old process may still be going down, and the service control manager
// may go on calling it running: the start waits for that process to be
// gone and is tried again while the manager answers "already running",
// within 30 seconds in all.
void RestartService();

#endif
