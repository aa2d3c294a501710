// Entry of the service program, BrindlewoxSrv.exe.
#include "foundation/Base.h"
#include "foundation/Module.h"

int main(int, char**)
{
    GetModuleState();
    return 0;
}
