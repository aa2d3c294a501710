// Entry of the service program, BrindlewoxSrv.exe.
#include "foundation/Base.h"
#include "service/ServiceProgram.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    return ServiceWinMain(instance, previous, commandLine, show);
}
