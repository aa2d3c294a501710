// The device-context and GDI-object calls of FrameworkHooks.h as they stand
// while the framework has no such wrappers: the lists stay empty, so there
// is nothing to find, rebuild or delete. The device-context part deletes
// this file and defines these functions itself.
#include "foundation/FrameworkHooks.h"

CDC* FrameworkDcFromHandle(HDC)
{
    return nullptr;
}

void RebuildSysColorTable() {}

void DestroyTemporaryGdiObjects() {}

void DestroyTemporaryDCs() {}
