// Drives a running Brindlewox.exe from outside for the main window's
// screenshots (tests/scripts/main-window-screens.sh). The program runs inside
// Wine's virtual desktop `explorer /desktop=<name>`; the driver joins that
// desktop first, or it would see none of its windows.
//   main_window_driver <desktop> wait         waits for the window, prints
//                                             where its parts lie
//   main_window_driver <desktop> page <n>     shows page n through its
//                                             left-bar or tab command,
//                                             prints the layout again
//   main_window_driver <desktop> close        the tray menu's Close, once no
//                                             dialog of the window is open
// Every printed line is "name left top right bottom", screen pixels of the
// desktop. Exit status 0 on success, 1 when the window did not come or a
// step failed, 2 for bad arguments.
#include "tests/tools/DriverSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
const char kTitle[] = "Orvanel Brindlewox";

// The page commands of the left bar and the options tabs.
struct PageCommand
{
    int page;
    UINT command;
};
const PageCommand kPageCommands[] = {{0, 248}, {1, 250}, {2, 251}, {3, 252}, {4, 816},
                                     {6, 253}, {7, 254}, {9, 256}, {10, 258}};

// The window once shown (a pop-up, not the tray's hidden child) and
// painted; null, with what the desktop held, when it did not come.
HWND WaitForMain()
{
    HWND main = WaitForWindowWhere(
        [](HWND window)
        {
            return IsDialogWindow(window, kTitle) && IsWindowVisible(window) &&
                   (GetWindowLongA(window, GWL_STYLE) & WS_POPUP) != 0;
        },
        wait_bound::kProgramStartMs);
    if (main == nullptr)
    {
        printf("main_window_driver: no main window\n");
        PrintDesktopWindows(stdout);
        return nullptr;
    }
    return WaitPainted(main) ? main : nullptr;
}

// The shown page: the visible child dialog of the main window.
HWND ShownPage(HWND main)
{
    for (HWND child = GetWindow(main, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
    {
        if (IsDialogWindow(child) && IsWindowVisible(child))
            return child;
    }
    return nullptr;
}

int Describe(HWND main)
{
    PrintRect("client", main, true);
    PrintRect("window", main, false);
    const struct
    {
        const char* name;
        UINT id;
    } anchors[] = {{"top-left", 954}, {"title", 955},  {"top-right", 827}, {"menu", 952},
                   {"right", 957},    {"bottom", 956}, {"page-area", 809}, {"minimise", 242},
                   {"maximise", 824}, {"help", 236},   {"about", 232},     {"menu-first", 248},
                   {"menu-last", 258}};
    for (const auto& anchor : anchors)
        PrintRect(anchor.name, GetDlgItem(main, anchor.id), false);
    HWND page = ShownPage(main);
    if (page != nullptr)
    {
        PrintRect("page", page, false);
        PrintRect("page-title", GetDlgItem(page, 828), false);
        // Every visible control of the page, by id.
        for (HWND child = GetWindow(page, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
        {
            if (!IsWindowVisible(child))
                continue;
            char name[32];
            snprintf(name, sizeof(name), "control-%d", GetDlgCtrlID(child));
            PrintRect(name, child, false);
        }
    }
    fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        fprintf(stderr, "usage: main_window_driver <desktop> wait | page <n> | close\n");
        return 2;
    }
    if (!JoinDesktop("main_window_driver", argv[1]))
        return 1;
    HWND main = WaitForMain();
    if (main == nullptr)
        return 1;
    const char* action = argv[2];
    if (strcmp(action, "wait") == 0)
        return Describe(main);
    if (strcmp(action, "page") == 0 && argc > 3)
    {
        const int page = atoi(argv[3]);
        for (const PageCommand& entry : kPageCommands)
        {
            if (entry.page != page)
                continue;
            // The options tab of page 4 needs page 3 shown first, as a user
            // would do it.
            if (page == 4)
                SendMessageA(main, WM_COMMAND, MAKEWPARAM(252, 1), 0);
            SendMessageA(main, WM_COMMAND, MAKEWPARAM(entry.command, 1), 0);
            RedrawWindow(main, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            return WaitPainted(main) ? Describe(main) : 1;
        }
        fprintf(stderr, "main_window_driver: no page %d\n", page);
        return 2;
    }
    if (strcmp(action, "close") == 0)
        return PostCommandWhenReady(main, 390, 0) ? 0 : 1;
    fprintf(stderr, "main_window_driver: unknown action %s\n", action);
    return 2;
}
