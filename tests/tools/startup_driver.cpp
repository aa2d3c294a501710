// Drives the startup and uninstall pages of a running Brindlewox.exe from
// outside, for tests/scripts/service-startup.sh. The program runs on a Wine
// virtual desktop, whose windows only a thread that joined it can see.
//   startup_driver command <desktop> <id> <seconds>
//       sends WM_COMMAND <id> to the main window and waits at most that
//       long for it to be handled and painted (page buttons 253 and 254
//       fill and show their page; 3025, 3026, 363 and 3029 act on the
//       checked rows)
//   startup_driver check <desktop> <startup|uninstall> <name>...
//       clicks the check cell of each named row of list 374 (startup: by
//       value name) or 3033 (uninstall: by subkey name); the row is found
//       where the program puts it, by reading the registry as it does
// Prints what it did; exit status 1 when a window or row is not found, 2
// for a usage error or a desktop that cannot be joined.
#include "app/RunEntries.h"
#include "app/UninstallEntries.h"
#include "tests/tools/DriverSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
int Command(HWND main, int id, int seconds)
{
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0, SMTO_NORMAL,
                             static_cast<UINT>(seconds) * 1000, &answer))
    {
        printf("command %d not handled in %d s (error %lu)\n", id, seconds, GetLastError());
        PrintDesktopWindows(stdout);
        return 1;
    }
    if (!WaitPainted(main))
        return 1;
    printf("command %d done\n", id);
    return 0;
}

// The row of a name in the order the program lists them; -1 when absent.
int RowOf(bool startup, const char* name)
{
    if (startup)
    {
        CArray<RunEntry> entries;
        ReadRunEntries(entries);
        for (int i = 0; i < entries.GetSize(); ++i)
            if (entries[i].valueName == name)
                return i;
        return -1;
    }
    CArray<UninstallEntry> entries;
    ReadUninstallEntries(entries, "");
    for (int i = 0; i < entries.GetSize(); ++i)
        if (entries[i].subkey.CompareNoCase(name) == 0)
            return i;
    return -1;
}

int Check(HWND main, bool startup, char** names, int count)
{
    // The lists hide their expander column: the check cell is the first 22
    // pixels of a 22-pixel row.
    const int rowHeight = 22;
    HWND list = FindControl(main, startup ? 374 : 3033, true);
    if (list == nullptr)
    {
        printf("list %d is not shown\n", startup ? 374 : 3033);
        PrintDesktopWindows(stdout);
        return 1;
    }
    RECT client = {};
    GetClientRect(list, &client);
    for (int i = 0; i < count; ++i)
    {
        const int row = RowOf(startup, names[i]);
        if (row < 0 || (row + 1) * rowHeight > client.bottom)
        {
            printf("row of %s: %d, not on the first page\n", names[i], row);
            return 1;
        }
        const LPARAM point = MAKELPARAM(11, row * rowHeight + rowHeight / 2);
        PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
        PostMessageA(list, WM_LBUTTONUP, 0, point);
        Sync(list);
        printf("checked row %d: %s\n", row, names[i]);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bool command = argc == 5 && strcmp(argv[1], "command") == 0;
    const bool check = argc >= 5 && strcmp(argv[1], "check") == 0 &&
                       (strcmp(argv[3], "startup") == 0 || strcmp(argv[3], "uninstall") == 0);
    if (!command && !check)
    {
        fprintf(stderr, "usage: startup_driver command <desktop> <id> <seconds>\n"
                        "       startup_driver check <desktop> <startup|uninstall> <name>...\n");
        return 2;
    }
    if (!JoinDesktop("startup_driver", argv[2]))
        return 2;
    // The shown main window (top-level while shown).
    HWND main = WaitForWindowWhere(
        [](HWND window)
        { return IsDialogWindow(window, "Orvanel Brindlewox") && IsWindowVisible(window); },
        wait_bound::kProgramStartMs);
    if (main == nullptr)
    {
        printf("no shown main window\n");
        PrintDesktopWindows(stdout);
        return 1;
    }
    if (command)
        return Command(main, atoi(argv[3]), atoi(argv[4]));
    return Check(main, strcmp(argv[3], "startup") == 0, argv + 4, argc - 4);
}
