#include "tests/support/ChildProcess.h"

#include <vector>

bool RunThisProgram(std::initializer_list<EnvironmentSetting> environment, DWORD timeout,
                    DWORD* exitCode)
{
    char program[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    CString line;
    line.Format("\"%s\" --gtest_list_tests", program);
    std::vector<char> commandLine(static_cast<const char*>(line),
                                  static_cast<const char*>(line) + line.GetLength() + 1);

    // The child inherits this process's block: set the variables for the
    // creation and put the old values back afterwards.
    std::vector<std::pair<CString, bool>> saved;
    for (const EnvironmentSetting& setting : environment)
    {
        char old[4096];
        const DWORD oldLength = GetEnvironmentVariableA(setting.first, old, sizeof(old));
        const bool wasSet = oldLength > 0 && oldLength < sizeof(old);
        saved.emplace_back(wasSet ? CString(old) : CString(""), wasSet);
        SetEnvironmentVariableA(setting.first, setting.second);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessA(program, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &process);
    size_t index = 0;
    for (const EnvironmentSetting& setting : environment)
    {
        const std::pair<CString, bool>& old = saved[index++];
        SetEnvironmentVariableA(setting.first,
                                old.second ? static_cast<const char*>(old.first) : nullptr);
    }
    if (!started)
        return false;
    CloseHandle(process.hThread);
    const bool ended = WaitForSingleObject(process.hProcess, timeout) == WAIT_OBJECT_0;
    if (ended)
        GetExitCodeProcess(process.hProcess, exitCode);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    return ended;
}

CString GetEnvironmentText(const char* name)
{
    char value[4096];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    if (length == 0 || length >= sizeof(value))
        return CString("");
    return CString(value, static_cast<int>(length));
}
