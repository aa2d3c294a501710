// Child modes of the service tests program, chosen by BW_SERVICE_CHILD
// while the program starts, before any test runs:
// - "crash": installs the service's crash handler (TMP from BW_CHILD_TMP,
//   name from BW_CHILD_NAME) with a restart action that creates the file
//   BW_CHILD_MARKER and a message sink that writes BW_CHILD_TEXT, then
//   writes through a null pointer;
// - "user-pipe": serves the real USER pipe for one client (creating
//   BW_CHILD_READY once it listens), writes what the client sent into
//   BW_CHILD_RECORD and ends with 0 (2 when no client came within 60 s);
// - "service-pid": writes the running service's process id (0 when it is
//   not running) into BW_CHILD_RECORD;
// - "crash-service": as "service-pid", then starts a thread at address 0 in
//   that process;
// - "startup-entry": asks the running service over the real SETTINGS pipe
//   to disable (BW_CHILD_ENABLE 0) or enable (1) the user's startup entry
//   BW_CHILD_NAME, and writes the reply's result into BW_CHILD_RECORD;
// - "backup-restore": sends the running service the user's hive name and
//   profile folder (which the BACKUP server waits for), runs
//   RunBackupRoundTrip in the folder BW_CHILD_FOLDER, writes the differences
//   it found into BW_CHILD_RECORD and ends with 0 when there were none;
// - "backup-clients": the same user first, then RunConcurrentBackupClients
//   in BW_CHILD_FOLDER, its problems into BW_CHILD_RECORD, 0 when none.
// The end-to-end scripts tests/scripts/service.sh and service-backup.sh use
// the last six.
#include "foundation/CrashDump.h"
#include "engine/IpcRecords.h"
#include "engine/PipeClient.h"
#include "engine/Settings.h"
#include "service/CrashHandler.h"
#include "foundation/ServiceHandle.h"
#include "service/ServiceProgram.h"
#include "tests/service/BackupClients.h"
#include "tests/service/BackupRoundTrip.h"
#include "tests/service/CrashTestKey.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

#include <shlobj.h>

#include <vector>

namespace
{
void CreateMarker()
{
    WriteTextFile(GetEnvironmentText("BW_CHILD_MARKER"), "restarted");
}

void WriteShownText(const char* text, const char*)
{
    WriteTextFile(GetEnvironmentText("BW_CHILD_TEXT"), text);
}

[[noreturn]] void CrashWithServiceHandler()
{
    SetEnvironmentVariableA("TMP", GetEnvironmentText("BW_CHILD_TMP"));
    SetEnvironmentVariableA("TEMP", GetEnvironmentText("BW_CHILD_TMP"));
    InstallServiceCrashHandler(GetEnvironmentText("BW_CHILD_NAME"));
    SetServiceRestartAction(CreateMarker);
    // The restart history of this child alone; the test removes it.
    static CString key;
    key.Format("%s\\%lu", kCrashTestKeyRoot, GetCurrentProcessId());
    SetCrashRestartKey(key);
    SetCrashMessageSink(WriteShownText);
    *static_cast<volatile int*>(nullptr) = 1;
    ExitProcess(3);
}

DWORD ServeUserPipeOnce()
{
    const DWORD size = sizeof(IpcQueueRecord);
    HANDLE pipe = CreateNamedPipeA(kUserPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_MESSAGE, 1, size, size, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return 4;
    WriteTextFile(GetEnvironmentText("BW_CHILD_READY"), "listening");
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ConnectNamedPipe(pipe, &overlapped) && GetLastError() == ERROR_IO_PENDING &&
        WaitForSingleObject(overlapped.hEvent, 60000) != WAIT_OBJECT_0)
        return 2;
    std::vector<char> record(2 * size);
    DWORD read = 0;
    ResetEvent(overlapped.hEvent);
    if (!ReadFile(pipe, record.data(), static_cast<DWORD>(record.size()), &read, &overlapped) &&
        GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(pipe, &overlapped, &read, TRUE);
    HANDLE file = CreateFileA(GetEnvironmentText("BW_CHILD_RECORD"), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, record.data(), read, &written, nullptr);
    CloseHandle(file);
    CloseHandle(pipe);
    return 0;
}

// The running service's process id, written into BW_CHILD_RECORD; 0 when
// the service is not running.
DWORD RecordServiceProcess()
{
    CServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle service(OpenServiceA(manager.Get(), kServiceName, SERVICE_QUERY_STATUS));
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof(status), &needed) ||
        status.dwCurrentState != SERVICE_RUNNING)
        status.dwProcessId = 0;
    CString pid;
    pid.Format("%lu", status.dwProcessId);
    WriteTextFile(GetEnvironmentText("BW_CHILD_RECORD"), pid);
    return status.dwProcessId;
}

DWORD CrashRunningService()
{
    const DWORD pid = RecordServiceProcess();
    if (pid == 0)
        return 4;
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    if (process == nullptr)
        return 5;
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, nullptr, nullptr, 0, nullptr);
    CloseHandle(process);
    if (thread == nullptr)
        return 6;
    CloseHandle(thread);
    return 0;
}

DWORD MoveStartupEntryThroughService()
{
    const int result = PipeSetStartupEntryEnabled(
        GetEnvironmentText("BW_CHILD_NAME"), STARTUP_SCOPE_USER,
        CString(GetEnvironmentText("BW_CHILD_ENABLE")) == "1" ? TRUE : FALSE);
    CString text;
    text.Format("%d", result);
    return WriteTextFile(GetEnvironmentText("BW_CHILD_RECORD"), text) ? 0 : 4;
}

// Sends the running service the user's hive name and profile folder, which
// its BACKUP server waits for, then runs `check` in BW_CHILD_FOLDER and
// writes what it found into BW_CHILD_RECORD.
DWORD RunAgainstTheService(std::string (*check)(const CString& folder))
{
    CString sid;
    char appData[MAX_PATH] = "";
    if (!GetCurrentUserSidText(sid) ||
        !SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE) ||
        !PipeSendUserProfile(sid, appData))
        return 4;
    const std::string problems = check(GetEnvironmentText("BW_CHILD_FOLDER"));
    WriteTextFile(GetEnvironmentText("BW_CHILD_RECORD"), problems.c_str());
    return problems.empty() ? 0 : 1;
}

int RunChildIfAsked()
{
    const CString mode = GetEnvironmentText("BW_SERVICE_CHILD");
    if (mode.IsEmpty())
        return 0;
    if (mode == "crash")
        CrashWithServiceHandler();
    if (mode == "user-pipe")
        ExitProcess(ServeUserPipeOnce());
    if (mode == "service-pid")
        ExitProcess(RecordServiceProcess() != 0 ? 0 : 4);
    if (mode == "crash-service")
        ExitProcess(CrashRunningService());
    if (mode == "startup-entry")
        ExitProcess(MoveStartupEntryThroughService());
    if (mode == "backup-restore")
        ExitProcess(RunAgainstTheService(RunBackupRoundTrip));
    if (mode == "backup-clients")
        ExitProcess(RunAgainstTheService(RunConcurrentBackupClients));
    ExitProcess(7);
}

[[maybe_unused]] const int g_childMode = RunChildIfAsked();
} // namespace
