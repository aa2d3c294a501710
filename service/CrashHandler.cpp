#include "service/CrashHandler.h"

#include "foundation/Module.h"
#include "foundation/Utility.h"
#include "engine/PipeClient.h"
#include "service/ServiceProgram.h"

#include <atomic>
#include <cstring>
#include <new>

namespace
{
CCrashDumpWriter g_writer;
std::atomic<ServiceRestartAction> g_restartAction{nullptr};
// The restart: the program's path, and the writable command line that
// CreateProcessA wants, both made when the handler is installed.
char* g_restartProgram = nullptr;
char* g_restartCommand = nullptr;

char* CopyText(const CString& text)
{
    char* copy = new (std::nothrow) char[text.GetLength() + 1];
    if (copy != nullptr)
        std::memcpy(copy, static_cast<const char*>(text), text.GetLength() + 1);
    return copy;
}

void PrepareRestart()
{
    const CString directory = GetServiceDirectory();
    if (directory.IsEmpty())
        return;
    const CString program = directory + "\\" + kServiceProgramFile;
    const CString command = "\"" + program + "\" " + kRestartSwitch;
    g_restartProgram = CopyText(program);
    g_restartCommand = CopyText(command);
}
} // namespace

void InstallServiceCrashHandler(const char* applicationName)
{
    if (g_writer.IsPrepared())
        return;
    if (!g_writer.Prepare(applicationName,
                          CCrashDumpWriter::kPrivateFile | CCrashDumpWriter::kSystemFolderLibrary))
        return;
    PrepareRestart();
    ::SetUnhandledExceptionFilter(ServiceCrashFilter);
}

LONG WINAPI ServiceCrashFilter(EXCEPTION_POINTERS* exceptionPointers)
{
    const bool saved = g_writer.Write(exceptionPointers) == CrashDumpStatus::Saved;
    ServiceRestartAction action = g_restartAction.load();
    (action != nullptr ? action : RestartServiceProgram)();
    return saved ? EXCEPTION_EXECUTE_HANDLER : EXCEPTION_CONTINUE_SEARCH;
}

const CCrashDumpWriter& GetServiceCrashDumpWriter()
{
    return g_writer;
}

void SetServiceRestartAction(ServiceRestartAction action)
{
    g_restartAction.store(action);
}

void RestartServiceProgram()
{
    if (g_restartProgram == nullptr || g_restartCommand == nullptr)
        return;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    if (::CreateProcessA(g_restartProgram, g_restartCommand, nullptr, nullptr, FALSE,
                         CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process))
    {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}

bool SendServiceStopNotice()
{
    return GetModuleState()->IsNT() && PipeNotifyServiceStopping();
}

CString GetServiceDirectory()
{
    CString directory;
    GetAppDirectory(directory);
    return directory;
}

void ReplaceText(CString& text, const char* find, const char* replaceWith, BOOL all)
{
    StringReplace(replaceWith, find, text, all);
}

CString ConcatText(const CString& left, const char* right)
{
    return left + right;
}
