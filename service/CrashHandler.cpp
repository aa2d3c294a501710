#include "service/CrashHandler.h"

#include "foundation/Module.h"
#include "foundation/Utility.h"
#include "engine/PipeClient.h"
#include "service/ServiceLog.h"
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

constexpr const char kProductKey[] = "Software\\Orvanel\\Brindlewox";
constexpr const char kCrashRestartsValue[] = "CrashRestarts";
std::atomic<ULONGLONG (*)()> g_crashClock{nullptr};
std::atomic<const char*> g_crashKey{nullptr};

ULONGLONG CrashClockNow()
{
    ULONGLONG (*clock)() = g_crashClock.load();
    return clock != nullptr ? clock() : ::GetTickCount64();
}

const char* CrashKeyPath()
{
    const char* key = g_crashKey.load();
    return key != nullptr ? key : kProductKey;
}

// A missing or malformed value is an empty history.
CrashRestartHistory LoadCrashHistory()
{
    CrashRestartHistory history = {};
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, CrashKeyPath(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return history;
    CrashRestartHistory read = {};
    DWORD type = 0;
    DWORD size = sizeof read;
    if (::RegQueryValueExA(key, kCrashRestartsValue, nullptr, &type,
                           reinterpret_cast<BYTE*>(&read), &size) == ERROR_SUCCESS &&
        type == REG_BINARY && size == sizeof read)
        history = read;
    ::RegCloseKey(key);
    return history;
}

// The key is the product key, whose protection the SETTINGS server sets when
// it writes it; a key made here first inherits HKLM\Software's.
bool SaveCrashHistory(const CrashRestartHistory& history)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, CrashKeyPath(), 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const bool saved =
        ::RegSetValueExA(key, kCrashRestartsValue, 0, REG_BINARY,
                         reinterpret_cast<const BYTE*>(&history), sizeof history) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return saved;
}

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
    RestartAfterCrash();
    return saved ? EXCEPTION_EXECUTE_HANDLER : EXCEPTION_CONTINUE_SEARCH;
}

bool AllowCrashRestart(CrashRestartHistory& history, ULONGLONG now)
{
    ULONGLONG recent[kCrashRestartLimit] = {};
    int count = 0;
    for (ULONGLONG at : history.at)
    {
        if (at != 0 && at <= now && now - at < kCrashRestartWindowMs)
            recent[count++] = at;
    }
    if (count >= kCrashRestartLimit)
        return false;
    // Oldest first; restarts outside the window are forgotten.
    CrashRestartHistory updated = {};
    for (int i = 0; i < count; i++)
        updated.at[i] = recent[i];
    updated.at[count] = now;
    history = updated;
    return true;
}

bool RestartAfterCrash()
{
    CrashRestartHistory history = LoadCrashHistory();
    if (!AllowCrashRestart(history, CrashClockNow()))
    {
        ServiceLog("the service crashed again: %d restarts within %lu minutes already; it "
                   "stays stopped",
                   kCrashRestartLimit, static_cast<unsigned long>(kCrashRestartWindowMs / 60000));
        return false;
    }
    SaveCrashHistory(history);
    ServiceRestartAction action = g_restartAction.load();
    (action != nullptr ? action : RestartServiceProgram)();
    return true;
}

void SetCrashRestartClock(ULONGLONG (*clock)())
{
    g_crashClock.store(clock);
}

void SetCrashRestartKey(const char* keyPath)
{
    g_crashKey.store(keyPath);
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
