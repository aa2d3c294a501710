// What a failing window script saw (tests/scripts/lib/waits.bash,
// say_what_was_seen): every top-level window of a Wine desktop and the
// dialogs among their descendants, with their classes, captions and states.
//   desktop_windows <desktop>   a desktop made by `explorer /desktop=NAME`
//   desktop_windows -           the desktop this program starts on
// Exit status 0, 2 when the desktop does not exist (said on stdout).
#include "tests/tools/DriverSupport.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: desktop_windows <desktop>|-\n");
        return 2;
    }
    if (strcmp(argv[1], "-") != 0)
    {
        // The desktop is looked for once: it exists by now or is gone.
        HDESK desktop = OpenDesktopA(argv[1], 0, FALSE, GENERIC_ALL);
        if (desktop == nullptr || !SetThreadDesktop(desktop))
        {
            printf("no desktop %s (error %lu)\n", argv[1], GetLastError());
            return 2;
        }
    }
    PrintDesktopWindows(stdout);
    return 0;
}
