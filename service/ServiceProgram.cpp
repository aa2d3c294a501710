#include "service/ServiceProgram.h"

#include "foundation/Module.h"
#include "service/CrashHandler.h"
#include "service/ServiceControl.h"
#include "foundation/ServiceHandle.h"

#include <cstring>

namespace
{
struct SwitchForms
{
    const char* lower;
    const char* upper;
    ServiceSwitch value;
};

const SwitchForms kSwitches[] = {
    {"-install", "-INSTALL", ServiceSwitch::Install},
    {"-uninstall", "-UNINSTALL", ServiceSwitch::Uninstall},
    {"-start", "-START", ServiceSwitch::Start},
    {"-stop", "-STOP", ServiceSwitch::Stop},
    {"-restart", "-RESTART", ServiceSwitch::Restart},
};

constexpr DWORD kStopPollInterval = 1000;
// A service that stays in SERVICE_STOP_PENDING longer is left to itself:
// setup must not hang on it.
constexpr ULONGLONG kStopWaitLimit = 60000;
constexpr DWORD kRestartPollInterval = 250;
constexpr ULONGLONG kRestartWaitLimit = 30000;

SC_HANDLE OpenManager()
{
    return ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
}

// Opens the manager and the service with `access` and runs `action` on the
// service; nothing when either cannot be opened.
template <class Action> void WithOurService(DWORD access, Action action)
{
    CServiceHandle manager(OpenManager());
    if (!manager.IsOpen())
        return;
    CServiceHandle service(::OpenServiceA(manager.Get(), kServiceName, access));
    if (service.IsOpen())
        action(service);
}

void StopAndWait(const CServiceHandle& service)
{
    SERVICE_STATUS status = {};
    if (!::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status))
        return;
    const ULONGLONG start = ::GetTickCount64();
    do
    {
        ::Sleep(kStopPollInterval);
        if (!::QueryServiceStatus(service.Get(), &status))
            return;
    } while (status.dwCurrentState == SERVICE_STOP_PENDING &&
             ::GetTickCount64() - start < kStopWaitLimit);
}

// After a crash the service control manager may go on calling the service
// running for a while (Wine does until the next start), and a start then
// fails with ERROR_SERVICE_ALREADY_RUNNING: wait for the old process itself
// to be gone, at most kRestartWaitLimit.
void WaitForServiceProcessEnd(const CServiceHandle& service, ULONGLONG deadline)
{
    for (;;)
    {
        SERVICE_STATUS_PROCESS status = {};
        DWORD needed = 0;
        if (!::QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                                    reinterpret_cast<BYTE*>(&status), sizeof(status), &needed) ||
            status.dwCurrentState == SERVICE_STOPPED || ::GetTickCount64() >= deadline)
            return;
        HANDLE process = status.dwProcessId != 0
                             ? ::OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId)
                             : nullptr;
        if (process == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
            return; // no such process any more
        if (process == nullptr)
        {
            ::Sleep(kRestartPollInterval);
            continue;
        }
        const DWORD ended = ::WaitForSingleObject(process, kRestartPollInterval);
        ::CloseHandle(process);
        if (ended == WAIT_OBJECT_0)
            return;
    }
}

DWORD StartWithManualArgument(const CServiceHandle& service)
{
    const char* arguments[] = {kManualStartArgument};
    return ::StartServiceA(service.Get(), 1, arguments) ? NO_ERROR : ::GetLastError();
}
} // namespace

ServiceSwitch ParseServiceSwitch(const char* commandLine)
{
    if (commandLine == nullptr)
        return ServiceSwitch::None;
    for (const SwitchForms& forms : kSwitches)
    {
        if (std::strcmp(commandLine, forms.lower) == 0 ||
            std::strcmp(commandLine, forms.upper) == 0)
            return forms.value;
    }
    return ServiceSwitch::None;
}

int ServiceWinMain(HINSTANCE instance, HINSTANCE, const char* commandLine, int show)
{
    InstallServiceCrashHandler(kCrashReportName);
    // The service needs no window: it goes on when the framework's start-up
    // fails. A started framework on a platform outside the NT family ends it.
    ModuleState* module = GetModuleState();
    if (module->Init(instance, commandLine, show) && !module->IsNT())
        return 0;
    if (commandLine == nullptr || commandLine[0] == 0)
    {
        SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(kServiceName), ServiceMain},
                                        {nullptr, nullptr}};
        if (::StartServiceCtrlDispatcherA(table))
            return 0;
        // Started by hand without a switch (Wine leaves the last error 0
        // here, Windows gives 1063).
        ::ExitProcess(static_cast<UINT>(-1));
    }
    switch (ParseServiceSwitch(commandLine))
    {
    case ServiceSwitch::Install:
        InstallService();
        break;
    case ServiceSwitch::Uninstall:
        UninstallService();
        break;
    case ServiceSwitch::Start:
        StartServiceManually();
        break;
    case ServiceSwitch::Stop:
        StopService();
        break;
    case ServiceSwitch::Restart:
        RestartService();
        break;
    case ServiceSwitch::None:
        break;
    }
    return 0;
}

void InstallService()
{
    CServiceHandle manager(OpenManager());
    if (!manager.IsOpen())
        return;
    // The path between double quotes: the service control manager splits an
    // unquoted path at its first blank that ends a program name.
    char path[MAX_PATH + 3];
    const DWORD length = ::GetModuleFileNameA(nullptr, path + 1, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    path[0] = '"';
    path[length + 1] = '"';
    path[length + 2] = 0;
    CServiceHandle service(::CreateServiceA(manager.Get(), kServiceName, kServiceDisplayName,
                                            SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                            SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, path, nullptr,
                                            nullptr, nullptr, nullptr, nullptr));
}

void UninstallService()
{
    WithOurService(SERVICE_ALL_ACCESS,
                   [](const CServiceHandle& service)
                   {
                       StopAndWait(service);
                       ::DeleteService(service.Get());
                   });
}

void StartServiceManually()
{
    WithOurService(SERVICE_ALL_ACCESS, StartWithManualArgument);
}

void StopService()
{
    WithOurService(SERVICE_ALL_ACCESS, StopAndWait);
}

void RestartService()
{
    StopService();
    WithOurService(SERVICE_ALL_ACCESS,
                   [](const CServiceHandle& service)
                   {
                       const ULONGLONG deadline = ::GetTickCount64() + kRestartWaitLimit;
                       WaitForServiceProcessEnd(service, deadline);
                       // The manager may take a moment to see the old process gone.
                       while (StartWithManualArgument(service) == ERROR_SERVICE_ALREADY_RUNNING &&
                              ::GetTickCount64() < deadline)
                           ::Sleep(kRestartPollInterval);
                   });
}
