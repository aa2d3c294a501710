// Entry of the skin and language chooser, BrindlewoxSkin.exe: one modal
// dialog that writes the chosen skin and language for the main program. It
// takes no command-line options, starts and tells no other program, and
// ends with 0 in every case.
#include "chooser/SkinLanguage.h"
#include "foundation/Base.h"
#include "foundation/Module.h"
#include "resources/SkinLanguage.h"

namespace
{
int RunChooser(HINSTANCE instance, const char* commandLine, int showCommand)
{
    ModuleState* module = GetModuleState();
    if (!module->Init(instance, commandLine, showCommand))
        return 0;
    DWORD platform = module->GetOSVersion().dwPlatformId;
    if (platform == VER_PLATFORM_WIN32_WINDOWS || platform == VER_PLATFORM_WIN32_NT)
    {
        SkinLanguage dialog;
        dialog.DoModal(IDD_SKIN_LANGUAGE);
    }
    return 0;
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    return RunChooser(instance, commandLine, showCommand);
}
