// The running service: the entry the service dispatcher calls, the control
// handler, the status reports to the service control manager and the start
// and orderly stop of the server threads (service/ServerThreads.h).
//
// Life of the service: SERVICE_START_PENDING (no control accepted) -> the
// servers start -> SERVICE_RUNNING -> a stop control: SERVICE_STOP_PENDING
// -> the stop notice goes to the main program, the servers are released
// and joined -> SERVICE_STOPPED. SERVICE_STOPPED is reported only once
// every server thread has ended: the process ends soon after that report,
// and a server cut off in the middle of a request would leave a partial
// stored file and a client without an answer. The stop itself runs on the
// service's own thread, so the control handler always returns at once.
#ifndef BRINDLEWOX_SERVICE_SERVICECONTROL_H
#define BRINDLEWOX_SERVICE_SERVICECONTROL_H

#include "foundation/Base.h"

// The type the service reports: its own process, interactive.
constexpr DWORD kReportedServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
static_assert(kReportedServiceType == 0x110, "own process, interactive");
constexpr DWORD kStartWaitHint = 3000;
// Covers the stop notice, which may take a few seconds before the stop
// reports its progress every second.
constexpr DWORD kStopWaitHint = 10000;

// The service entry given to the dispatcher; its arguments are not read.
// Registers ServiceControlHandler and runs RunService; returns at once when
// the registration fails.
void WINAPI ServiceMain(DWORD argc, LPSTR* argv);

// The service's life after the registration: START_PENDING, the servers,
// RUNNING, the wait for a stop control, the stop, STOPPED. Returns after
// SERVICE_STOPPED was reported: with exit code 0 after an orderly stop, or
// with the error of the call that failed the start.
void RunService();

// The control handler: SERVICE_CONTROL_STOP reports SERVICE_STOP_PENDING
// and releases RunService into the stop; any other control reports the
// current state again. Always NO_ERROR.
DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, void* eventData, void* context);

// Fills the process-wide status and sends it. Controls accepted: none while
// SERVICE_START_PENDING, else SERVICE_ACCEPT_STOP. Check point: 0 for
// SERVICE_RUNNING and SERVICE_STOPPED, otherwise a counter that starts at
// 1 and grows across the whole life of the process. True when sent.
bool ReportServiceStatus(DWORD state, DWORD win32ExitCode, DWORD waitHint);

// Makes the stop event and starts every server of the table. True when all
// run; otherwise the ones begun are stopped again (StopServerThreads) and
// the last error is that of the failing step.
bool StartServerThreads();

// The orderly stop, in this order: the stop notice to the main program
// (only when the service had reported SERVICE_RUNNING: after a failed start
// the main program is left running); the
// quit flag; each server's pipe opened once to release a server waiting for
// a client (again every half second while it is still waiting); the wait
// for every server thread that began to end (10 ms per turn, SERVICE_STOP_
// PENDING reported again every second while the service is stopping); each
// worker joined; the stop event closed.
void StopServerThreads();

// What the service control calls outside itself; tests put their own in.
struct ServiceControlHooks
{
    BOOL(WINAPI* setServiceStatus)(SERVICE_STATUS_HANDLE handle, SERVICE_STATUS* status);
    bool (*sendStopNotice)();
};
ServiceControlHooks& GetServiceControlHooks();

#endif
