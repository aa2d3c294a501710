// Drives the main window of Brindlewox.exe from outside for
// tests/scripts/main-flow.sh: the program runs on a Wine virtual desktop, so
// every command first joins that desktop (OpenDesktopA + SetThreadDesktop),
// and then finds the main window ("#32770" titled "Orvanel Brindlewox", shown
// or hidden in the tray) and the program's dialogs there.
//   flow_driver pid <desktop> <seconds>
//       prints the process id of the main window's program once there is one
//   flow_driver command <desktop> <id> <seconds>
//       posts WM_COMMAND with the id (notification code 1, as the skinned
//       buttons send it) to the main window
//   flow_driver select <desktop> <id> <text> <seconds>
//       selects the item of that text in the combo box of that id on one of
//       the window's pages; prints its index
//   flow_driver dialog <desktop> <item id> <text> <button id> <seconds>
//       waits for a shown dialog of the program whose item of that id holds
//       the text (372: a message's text, 501: the about text), prints that
//       text and the window's rectangle ("text|left top right bottom") and
//       presses the button (0: none)
// Exit status 0 done, 1 not found in time, 2 usage or no desktop.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
const char kTitle[] = "Orvanel Brindlewox";
struct Search
{
    bool mainWindow; // the main window, else a dialog
    int item;        // the dialog's item whose text holds `text`
    const char* text;
    HWND found;
};

bool IsDialogClass(HWND window)
{
    char className[16] = "";
    GetClassNameA(window, className, sizeof(className));
    return strcmp(className, "#32770") == 0;
}

bool Matches(HWND window, const Search& search)
{
    if (!IsDialogClass(window))
        return false;
    char text[1024] = "";
    if (search.mainWindow)
    {
        GetWindowTextA(window, text, sizeof(text));
        // The main window holds the page frame 809; the dialogs bear the same title.
        return strcmp(text, kTitle) == 0 && GetDlgItem(window, 809) != nullptr;
    }
    HWND item = GetDlgItem(window, search.item);
    if (item == nullptr || !IsWindowVisible(window))
        return false;
    GetWindowTextA(item, text, sizeof(text));
    return strstr(text, search.text) != nullptr;
}

BOOL CALLBACK FindInChildren(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    if (Matches(window, *search))
    {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Hidden in the tray, the main window is a child of the program's invisible
// parent window.
BOOL CALLBACK FindTopLevel(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    if (Matches(window, *search))
    {
        search->found = window;
        return FALSE;
    }
    if (search->mainWindow)
        EnumChildWindows(window, FindInChildren, parameter);
    return search->found == nullptr;
}

HWND Find(bool mainWindow, int item, const char* text, int seconds)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    do
    {
        Search search = {mainWindow, item, text, nullptr};
        EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            return search.found;
        Sleep(100);
    } while (GetTickCount64() < end);
    return nullptr;
}

bool JoinDesktop(const char* name)
{
    for (int i = 0; i < 300; ++i)
    {
        if (HDESK desktop = OpenDesktopA(name, 0, FALSE, GENERIC_ALL))
        {
            if (SetThreadDesktop(desktop))
                return true;
            fprintf(stderr, "flow_driver: cannot join desktop %s (error %lu)\n", name,
                    GetLastError());
            return false;
        }
        Sleep(100);
    }
    fprintf(stderr, "flow_driver: no desktop %s\n", name);
    return false;
}

struct ControlSearch
{
    int id;
    HWND found;
};

BOOL CALLBACK FindControl(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<ControlSearch*>(parameter);
    if (GetDlgCtrlID(window) == search->id)
    {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

int Run(int argc, char** argv)
{
    const char* command = argv[1];
    if (!JoinDesktop(argv[2]))
        return 2;
    const int seconds = atoi(argv[argc - 1]);
    if (strcmp(command, "dialog") == 0)
    {
        const int item = atoi(argv[3]);
        HWND dialog = Find(false, item, argv[4], seconds);
        if (dialog == nullptr)
        {
            printf("no dialog with \"%s\"\n", argv[4]);
            return 1;
        }
        char text[1024] = "";
        GetDlgItemTextA(dialog, item, text, sizeof(text));
        RECT rect = {};
        GetWindowRect(dialog, &rect);
        printf("%s|%ld %ld %ld %ld\n", text, rect.left, rect.top, rect.right, rect.bottom);
        if (const int button = atoi(argv[5]))
            PostMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
        return 0;
    }
    HWND window = Find(true, 0, nullptr, seconds);
    if (window == nullptr)
    {
        printf("no main window\n");
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
        return PostMessageA(window, WM_COMMAND, MAKEWPARAM(atoi(argv[3]), 1), 0) ? 0 : 1;
    // select: the combo lies on a page, a child dialog of the window.
    ControlSearch search = {atoi(argv[3]), nullptr};
    EnumChildWindows(window, FindControl, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr)
    {
        printf("no control %s\n", argv[3]);
        return 1;
    }
    const LRESULT index = SendMessageA(search.found, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(argv[4]));
    printf("%ld\n", static_cast<long>(index));
    return index == CB_ERR ? 1 : 0;
}
} // namespace

int main(int argc, char** argv)
{
    if ((argc == 4 && strcmp(argv[1], "pid") == 0) ||
        (argc == 5 && strcmp(argv[1], "command") == 0) ||
        (argc == 6 && strcmp(argv[1], "select") == 0) ||
        (argc == 7 && strcmp(argv[1], "dialog") == 0))
        return Run(argc, argv);
    fprintf(stderr, "usage: flow_driver pid <desktop> <seconds>\n"
                    "       flow_driver command <desktop> <id> <seconds>\n"
                    "       flow_driver select <desktop> <id> <text> <seconds>\n"
                    "       flow_driver dialog <desktop> <item id> <text> <button id> <seconds>\n");
    return 2;
}
