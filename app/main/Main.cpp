// Entry of the main program, Brindlewox.exe: the framework's start-up, the
// platform check, then the main window run modally on template 101 for the
// whole life of the process. The window's constructor does the real
// start-up (and ends the process when another instance takes over). The
// result is 0 in every case.
#include "app/MainApplicationDialog.h"
#include "app/ProgramTexts.h"
#include "foundation/Base.h"
#include "foundation/Exception.h"
#include "foundation/Module.h"
#include "resources/Icons.h"
#include "resources/MainWindow.h"

#include <memory>

namespace
{
int RunMainProgram(HINSTANCE instance, const char* commandLine, int showCommand)
{
    ModuleState* module = GetModuleState();
    if (!module->Init(instance, commandLine, showCommand, MAKEINTRESOURCEA(IDI_PROGRAM), nullptr,
                      nullptr, 0, ICC_WIN95_CLASSES))
        return 0;
    if (!module->IsNT())
    {
        MessageBoxA(nullptr, kNotNtText, kNotNtCaption, MB_OK);
        return 0;
    }
    // An exhausted allocator raises CMemoryException (the module state's
    // handler): no window then, and the same 0.
    std::unique_ptr<MainApplicationDialog> window;
    try
    {
        window = std::make_unique<MainApplicationDialog>();
    }
    catch (const CMemoryException&)
    {
        return 0;
    }
    window->DoModal(IDD_MAIN_WINDOW);
    return 0;
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    return RunMainProgram(instance, commandLine, showCommand);
}
