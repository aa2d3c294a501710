// message_dialogs: shows one of the main program's message dialogs, as the
// program shows it, for the screenshot scripts.
//   message_dialogs <message|result|question|about> [seconds]
// The dialog ends by its own buttons, or by itself after the seconds (10 by
// default). Exit code: the dialog's result (1 OK, 2 Close or timed out), 64
// for bad arguments.
#include "app/AboutDialog.h"
#include "app/MessageDialog.h"
#include "foundation/Module.h"
#include "skin/SkinFiles.h"

#include <cstdlib>
#include <cstring>
#include <thread>

namespace
{

BOOL CALLBACK CloseDialogs(HWND window, LPARAM)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof(name));
    if (lstrcmpA(name, "#32770") == 0)
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    if (__argc < 2)
        return 64;
    const char* kind = __argv[1];
    DWORD seconds = __argc > 2 ? static_cast<DWORD>(atoi(__argv[2])) : 10;
    if (!GetModuleState()->Init(instance, GetCommandLineA(), show))
        return 65;
    DWORD uiThread = GetCurrentThreadId();
    std::thread closer(
        [uiThread, seconds]
        {
            Sleep(seconds * 1000);
            EnumThreadWindows(uiThread, CloseDialogs, 0);
        });
    closer.detach();
    if (strcmp(kind, "message") == 0)
        return MessageDialog(LanguageText("DL_N_101_535", "Task sucessfully completed."))
            .DoModal(IDD_MESSAGE);
    if (strcmp(kind, "result") == 0)
        return MessageDialog(LanguageText("DL_N_101_534", "Task failed."))
            .DoModal(IDD_MESSAGE_RESULT);
    if (strcmp(kind, "question") == 0)
        return MessageDialogOkCancel(
                   LanguageText("DL_N_101_271", "Your skin and language setting has been changed. They will not be visible until program restart."))
            .DoModal(IDD_MESSAGE_OKCANCEL);
    if (strcmp(kind, "about") == 0)
        return AboutDialog().DoModal(IDD_ABOUT);
    return 64;
}
