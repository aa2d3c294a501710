// Drives Brindlewox.exe from outside for tests/scripts/main-program.sh. The
// program runs on a Wine virtual desktop (explorer /desktop=NAME,WxH), the
// only place where Wine has a notification area; a window there is found
// only by a thread that joins that desktop first.
//   main_driver launch <desktop> <program> <seconds>
//       starts the program on the desktop, waits for it at most that long,
//       prints "exit <code> after <ms> ms" and ends with the program's exit
//       code (124 when it is still running: it is then terminated)
//   main_driver window <desktop> <hidden|visible> <seconds>
//       waits until the main window ("#32770", "Orvanel Brindlewox") exists
//       and is hidden or visible; prints its state, its screen rectangle
//       and "tray" when the desktop has a notification area; 1 when it did
//       not get there in time
// Exit status 2 for a usage error or a desktop that cannot be joined.
#include "tests/tools/DriverSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
const char kTool[] = "main_driver";

// Shown it is top-level; hidden in the tray, a child window.
HWND FindMainWindow()
{
    return FindWindowWhere([](HWND window) { return IsDialogWindow(window, "Orvanel Brindlewox"); },
                           true);
}

int Launch(const char* desktop, const char* program, int seconds)
{
    // The program must not make a desktop of its own, without a tray.
    if (!WaitForDesktop(kTool, desktop, 30))
        return 2;
    char desktopName[128];
    snprintf(desktopName, sizeof(desktopName), "%s", desktop);
    char commandLine[MAX_PATH + 4];
    snprintf(commandLine, sizeof(commandLine), "\"%s\"", program);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktopName;
    PROCESS_INFORMATION process = {};
    const ULONGLONG start = GetTickCount64();
    if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    {
        fprintf(stderr, "main_driver: cannot start %s (error %lu)\n", program, GetLastError());
        return 2;
    }
    CloseHandle(process.hThread);
    const DWORD waited = WaitForSingleObject(process.hProcess, static_cast<DWORD>(seconds) * 1000);
    const ULONGLONG elapsed = GetTickCount64() - start;
    if (waited != WAIT_OBJECT_0)
    {
        TerminateProcess(process.hProcess, 124);
        CloseHandle(process.hProcess);
        printf("still running after %llu ms\n", elapsed);
        return 124;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    printf("exit %lu after %llu ms\n", code, elapsed);
    return static_cast<int>(code);
}

int WaitForWindow(const char* desktop, bool visible, int seconds)
{
    if (!JoinDesktop(kTool, desktop, 30))
        return 2;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    HWND window = nullptr;
    do
    {
        window = FindMainWindow();
        if (window != nullptr && (IsWindowVisible(window) != FALSE) == visible)
        {
            if (visible)
                LetPaint(window, 10000, 1000);
            RECT rect = {};
            GetWindowRect(window, &rect);
            printf("%s %ld %ld %ld %ld%s\n", visible ? "visible" : "hidden", rect.left, rect.top,
                   rect.right, rect.bottom,
                   FindWindowA("Shell_TrayWnd", nullptr) != nullptr ? " tray" : " no-tray");
            return 0;
        }
        Sleep(100);
    } while (GetTickCount64() < end);
    printf("%s\n", window == nullptr ? "no window" : visible ? "still hidden" : "still visible");
    return 1;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && strcmp(argv[1], "launch") == 0)
        return Launch(argv[2], argv[3], atoi(argv[4]));
    if (argc == 5 && strcmp(argv[1], "window") == 0)
        return WaitForWindow(argv[2], strcmp(argv[3], "visible") == 0, atoi(argv[4]));
    fprintf(stderr, "usage: main_driver launch <desktop> <program> <seconds>\n"
                    "       main_driver window <desktop> <hidden|visible> <seconds>\n");
    return 2;
}
