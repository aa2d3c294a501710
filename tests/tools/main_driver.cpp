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
//       and "tray" when the desktop has a notification area, once the
//       program serves its USER pipe (a second start hands over to it) and
//       a shown window has painted; 1 when it did not get there in time,
//       with what the desktop held
// Exit status 2 for a usage error or a desktop that cannot be joined.
#include "tests/tools/DriverSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
const char kTool[] = "main_driver";
// The main program's single-instance pipe, served from the end of its
// window's initialisation.
const char kUserPipe[] = "\\\\.\\pipe\\BRINDLEWOX_IPC_QUEUE_USER";

// Whether a server holds the pipe's name: WaitNamedPipeA fails at once with
// ERROR_FILE_NOT_FOUND when none does, and only times out while every
// instance is busy.
bool PipeServed(const char* name)
{
    return WaitNamedPipeA(name, 1) || GetLastError() != ERROR_FILE_NOT_FOUND;
}

// Shown it is top-level; hidden in the tray, a child window.
HWND FindMainWindow()
{
    return FindWindowWhere([](HWND window) { return IsDialogWindow(window, "Orvanel Brindlewox"); },
                           true);
}

int Launch(const char* desktop, const char* program, int seconds)
{
    // The program must not make a desktop of its own, without a tray.
    if (!WaitForDesktop(kTool, desktop))
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
    if (!JoinDesktop(kTool, desktop))
        return 2;
    HWND window = nullptr;
    const bool there = WaitUntil(
        [&]
        {
            window = FindMainWindow();
            return window != nullptr && (IsWindowVisible(window) != FALSE) == visible;
        },
        static_cast<DWORD>(seconds) * 1000);
    if (!there)
    {
        printf("%s\n", window == nullptr ? "no window" : visible ? "still hidden" : "still visible");
        PrintDesktopWindows(stdout);
        return 1;
    }
    if (!WaitUntil([] { return PipeServed(kUserPipe); }, wait_bound::kStepMs))
    {
        printf("the window's program serves no USER pipe\n");
        return 1;
    }
    if (visible && !WaitPainted(window))
        return 1;
    RECT rect = {};
    GetWindowRect(window, &rect);
    printf("%s %ld %ld %ld %ld%s\n", visible ? "visible" : "hidden", rect.left, rect.top,
           rect.right, rect.bottom,
           FindWindowA("Shell_TrayWnd", nullptr) != nullptr ? " tray" : " no-tray");
    return 0;
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
