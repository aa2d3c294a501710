// A stand-in uninstaller for the uninstall list's tests: appends one line to
// "record.txt" beside itself, holding its command-line argument and the
// show state it was started with (GetStartupInfoA: wShowWindow when
// STARTF_USESHOWWINDOW is set, else -1), as "argument|show". An argument
// "until=NAME" first waits for the named event to be set (an uninstaller
// that takes its time, as long as the test needs).
#include "tests/support/Waits.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    const std::string argument = argc > 1 ? argv[1] : "";
    if (argument.compare(0, 6, "until=") == 0)
    {
        HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argument.c_str() + 6);
        if (release == nullptr || WaitForSingleObject(release, wait_bound::kStepMs) != WAIT_OBJECT_0)
            return 4;
        CloseHandle(release);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;

    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 2;
    char* slash = std::strrchr(path, '\\');
    if (slash == nullptr)
        return 2;
    std::strcpy(slash + 1, "record.txt");
    FILE* file = std::fopen(path, "ab");
    if (file == nullptr)
        return 3;
    std::fprintf(file, "%s|%d\r\n", argument.c_str(), show);
    std::fclose(file);
    return 0;
}
