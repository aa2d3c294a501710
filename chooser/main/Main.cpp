// Entry of the skin and language chooser, BrindlewoxSkin.exe.
#include "foundation/Base.h"
#include "foundation/Module.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    GetModuleState();
    (void)instance;
    return 0;
}
