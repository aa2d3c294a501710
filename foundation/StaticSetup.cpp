#include "foundation/StaticSetup.h"

#include "foundation/Gdi.h"
#include "foundation/Mime.h"

UINT GetTaskbarCreatedMessage()
{
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

CThemeLibrary& GetThemeLibrary()
{
    static CThemeLibrary library("uxtheme.dll");
    return library;
}

const CDllLoader& GetGradientLibrary()
{
    static const CDllLoader library("msimg32.dll");
    return library;
}

namespace
{
// Runs the set-up in its order during the static initialisation of this
// file. Each object is a function-local static, so its clean-up is entered
// in the runtime's exit list when it is made, and the clean-ups run in the
// reverse order.
struct StaticSetup
{
    StaticSetup()
    {
        RegisterMimeCoders();
        GetTaskbarCreatedMessage();
        GetThemeLibrary();
        GetSysColorTable();
        GetGradientLibrary();
    }
};

const StaticSetup g_staticSetup;
} // namespace
