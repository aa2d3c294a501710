// Drives the main window of Brindlewox.exe from outside for
// tests/scripts/main-flow.sh: the program runs on a Wine virtual desktop, so
// every command first joins that desktop (OpenDesktopA + SetThreadDesktop),
// and then finds the main window ("#32770" titled "Orvanel Brindlewox", shown
// or hidden in the tray) and the program's dialogs there.
//   flow_driver pid <desktop> <seconds>
//       prints the process id of the main window's program once there is one
//   flow_driver command <desktop> <id> <seconds>
//       posts WM_COMMAND with the id (notification code 1, as the skinned
//       buttons send it) to the main window once it can take it: it
//       answers and no dialog of its own is open in front of it
//   flow_driver select <desktop> <id> <text> <seconds>
//       selects the item of that text in the combo box of that id on one of
//       the window's pages; prints its index
//   flow_driver rect <desktop> <id> <seconds>
//       prints the rectangle ("left top right bottom", desktop pixels) of
//       the shown control of that id on one of the window's pages
//   flow_driver choose <desktop> <item id> <text> <combo id> <index> <seconds>
//       in the dialog found as by "dialog", selects the combo's item of that
//       index as the user does (the dialog hears CBN_SELCHANGE); prints the
//       dialog's rectangle ("left top right bottom") once it has painted
//   flow_driver dialog <desktop> <item id> <text> <button id> <seconds>
//       waits for a shown dialog of the program whose item of that id holds
//       the text (372: a message's text, 501: the about text), prints that
//       text and the window's rectangle ("text|left top right bottom") once
//       it has painted, and presses the button (0: none), then waits for
//       the dialog to go
// Exit status 0 done, 1 not found in time (what the desktop held is
// printed), 2 usage or no desktop.
#include "tests/tools/DriverSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
// The main window: it holds the page frame 809; the dialogs bear the same
// title. Hidden in the tray it is a child window.
HWND FindMain(int seconds)
{
    return WaitForWindowWhere(
        [](HWND window) {
            return IsDialogWindow(window, "Orvanel Brindlewox") &&
                   GetDlgItem(window, 809) != nullptr;
        },
        static_cast<DWORD>(seconds) * 1000, true);
}

// A shown dialog whose item of that id holds the text.
HWND FindDialog(int item, const char* text, int seconds)
{
    return WaitForWindowWhere(
        [item, text](HWND window)
        {
            HWND control = GetDlgItem(window, item);
            if (!IsDialogWindow(window) || control == nullptr || !IsWindowVisible(window))
                return false;
            char shown[1024] = "";
            GetWindowTextA(control, shown, sizeof(shown));
            return strstr(shown, text) != nullptr;
        },
        static_cast<DWORD>(seconds) * 1000);
}

int Run(int argc, char** argv)
{
    const char* command = argv[1];
    if (!JoinDesktop("flow_driver", argv[2]))
        return 2;
    const int seconds = atoi(argv[argc - 1]);
    if (strcmp(command, "choose") == 0)
    {
        HWND dialog = FindDialog(atoi(argv[3]), argv[4], seconds);
        HWND combo = dialog != nullptr ? GetDlgItem(dialog, atoi(argv[5])) : nullptr;
        if (combo == nullptr)
        {
            printf("no dialog with \"%s\" and combo %s\n", argv[4], argv[5]);
            return 1;
        }
        if (SendMessageA(combo, CB_SETCURSEL, atoi(argv[6]), 0) == CB_ERR)
            return 1;
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
        // Looked at next: the fields the choice shows have painted.
        if (!WaitPainted(dialog))
            return 1;
        RECT rect = {};
        GetWindowRect(dialog, &rect);
        printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
        return 0;
    }
    if (strcmp(command, "dialog") == 0)
    {
        const int item = atoi(argv[3]);
        HWND dialog = FindDialog(item, argv[4], seconds);
        if (dialog == nullptr)
        {
            printf("no dialog with \"%s\"\n", argv[4]);
            PrintDesktopWindows(stdout);
            return 1;
        }
        const int button = atoi(argv[5]);
        // Looked at before it is closed: painted.
        if (button == 0 && !WaitPainted(dialog))
            return 1;
        char text[1024] = "";
        GetDlgItemTextA(dialog, item, text, sizeof(text));
        RECT rect = {};
        GetWindowRect(dialog, &rect);
        printf("%s|%ld %ld %ld %ld\n", text, rect.left, rect.top, rect.right, rect.bottom);
        if (button == 0)
            return 0;
        PostMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
        if (WaitUntil([dialog] { return !IsWindow(dialog) || !IsWindowVisible(dialog); },
                      wait_bound::kStepMs))
            return 0;
        printf("the dialog stayed after button %d\n", button);
        PrintDesktopWindows(stdout);
        return 1;
    }
    HWND window = FindMain(seconds);
    if (window == nullptr)
    {
        printf("no main window\n");
        PrintDesktopWindows(stdout);
        return 1;
    }
    if (strcmp(command, "pid") == 0)
    {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        printf("%lu\n", process);
        return 0;
    }
    if (strcmp(command, "command") == 0)
        return PostCommandWhenReady(window, atoi(argv[3])) ? 0 : 1;
    if (strcmp(command, "rect") == 0)
    {
        HWND control = FindControl(window, atoi(argv[3]), true);
        if (control == nullptr)
        {
            printf("no shown control %s\n", argv[3]);
            return 1;
        }
        RECT rect = {};
        GetWindowRect(control, &rect);
        printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
        return 0;
    }
    // select: the combo lies on a page, a child dialog of the window.
    HWND combo = FindControl(window, atoi(argv[3]));
    if (combo == nullptr)
    {
        printf("no control %s\n", argv[3]);
        return 1;
    }
    const LRESULT index = SendMessageA(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(argv[4]));
    printf("%ld\n", static_cast<long>(index));
    return index == CB_ERR ? 1 : 0;
}
} // namespace

int main(int argc, char** argv)
{
    if ((argc == 4 && strcmp(argv[1], "pid") == 0) ||
        (argc == 5 && strcmp(argv[1], "command") == 0) ||
        (argc == 5 && strcmp(argv[1], "rect") == 0) ||
        (argc == 6 && strcmp(argv[1], "select") == 0) ||
        (argc == 7 && strcmp(argv[1], "dialog") == 0) ||
        (argc == 8 && strcmp(argv[1], "choose") == 0))
        return Run(argc, argv);
    fprintf(stderr, "usage: flow_driver pid <desktop> <seconds>\n"
                    "       flow_driver command <desktop> <id> <seconds>\n"
                    "       flow_driver select <desktop> <id> <text> <seconds>\n"
                    "       flow_driver rect <desktop> <id> <seconds>\n"
                    "       flow_driver dialog <desktop> <item id> <text> <button id> <seconds>\n"
                    "       flow_driver choose <desktop> <item id> <text> <combo id> <index> "
                    "<seconds>\n");
    return 2;
}
