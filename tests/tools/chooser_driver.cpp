// Drives a running BrindlewoxSkin.exe from outside for tests/scripts/chooser.sh
// (same wineserver, same desktop):
//   chooser_driver wait               waits for the dialog, prints where its
//                                     parts are on the screen
//   chooser_driver choose <id>        clicks the radio button <id>, then OK
//   chooser_driver escape             presses Escape in the dialog
// Exit status 0 on success, 1 when the dialog did not come or a step failed.
#include "tests/tools/DriverSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
const char kCaptionStart[] = "Orvanel Brindlewox - ";

// The chooser's dialog once it is shown and has painted; null, with what
// the desktop held, when it did not come.
HWND WaitForChooser()
{
    HWND dialog = WaitForWindowWhere(
        [](HWND window)
        {
            char caption[256] = "";
            GetWindowTextA(window, caption, sizeof(caption));
            return IsDialogWindow(window) && IsWindowVisible(window) &&
                   strncmp(caption, kCaptionStart, strlen(kCaptionStart)) == 0;
        },
        wait_bound::kProgramStartMs);
    if (dialog == nullptr)
    {
        printf("chooser_driver: no chooser dialog\n");
        PrintDesktopWindows(stdout);
        return nullptr;
    }
    return WaitPainted(dialog) ? dialog : nullptr;
}

int Describe(HWND dialog)
{
    char caption[256] = "";
    GetWindowTextA(dialog, caption, sizeof(caption));
    printf("caption %s\n", caption);
    PrintRect("dialog", dialog, true);
    PrintRect("header", GetDlgItem(dialog, 1001), true);
    // The pictures are the bitmap statics in template order: the header
    // picture first, then the six previews.
    std::vector<HWND> pictures;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
    {
        char className[64] = "";
        GetClassNameA(child, className, sizeof(className));
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if (_stricmp(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_BITMAP)
            pictures.push_back(child);
    }
    if (pictures.size() != 7)
    {
        fprintf(stderr, "chooser_driver: %zu pictures, not 7\n", pictures.size());
        return 1;
    }
    PrintRect("picture", pictures[0], true);
    for (size_t i = 1; i < pictures.size(); ++i)
    {
        char name[32];
        snprintf(name, sizeof(name), "preview%zu", i);
        PrintRect(name, pictures[i], true);
    }
    PrintRect("ok", GetDlgItem(dialog, IDOK), true);
    PrintRect("combo", GetDlgItem(dialog, 1004), true);
    return 0;
}

int Choose(HWND dialog, int id)
{
    HWND radio = GetDlgItem(dialog, id);
    if (radio == nullptr)
        return 1;
    SendMessageA(radio, BM_CLICK, 0, 0);
    if (SendMessageA(radio, BM_GETCHECK, 0, 0) != BST_CHECKED)
    {
        fprintf(stderr, "chooser_driver: radio %d not checked after a click\n", id);
        return 1;
    }
    // Posted: the dialog ends while handling it.
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return 0;
}

int Escape(HWND dialog)
{
    // The key goes to the control with the focus, as a real key press
    // would; the dialog manager in the chooser's loop turns it into Cancel.
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) &&
        info.hwndFocus != nullptr)
        target = info.hwndFocus;
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    HWND dialog = WaitForChooser();
    if (dialog == nullptr)
        return 1;
    int status = 2;
    if (strcmp(argv[1], "wait") == 0)
        status = Describe(dialog);
    else if (strcmp(argv[1], "choose") == 0 && argc > 2)
        status = Choose(dialog, atoi(argv[2]));
    else if (strcmp(argv[1], "escape") == 0)
        status = Escape(dialog);
    fflush(stdout);
    return status;
}
