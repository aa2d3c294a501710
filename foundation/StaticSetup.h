// The static set-up of the class library: the objects that exist before a
// program's entry runs. StaticSetup.cpp makes them in this order, and the
// runtime's exit list undoes them in the reverse order:
//   1. the MIME coder registries with the standard coders (Mime.h);
//   2. the id of the registered window message "TaskbarCreated";
//   3. the empty object lists (Node.h; constant-initialised, so they exist
//      even before this set-up runs, and need no clean-up of their own:
//      their objects are deleted by the module state's exit clean-up);
//   4. the theme entry table, with uxtheme.dll loaded (freed at exit);
//   5. the table of derived system colours (Gdi.h);
//   6. the msimg32.dll loader, for the gradients of CDC;
//   7. the menu lists (constant-initialised like those of step 3).
//
// Each getter makes its object on first use as well, so a static object of
// another file that needs one before this set-up ran still finds it.
//
// A static library links an object file only when something refers to it:
// CDC refers to the msimg32 loader and the window procedure to CDC, so every
// program that uses the window framework runs this set-up.
#ifndef BRINDLEWOX_FOUNDATION_STATICSETUP_H
#define BRINDLEWOX_FOUNDATION_STATICSETUP_H

#include "foundation/Base.h"
#include "foundation/DllLoader.h"

// The message the shell broadcasts when a new taskbar appears (the tray icon
// adds itself again); 0 when the system refused to register it.
UINT GetTaskbarCreatedMessage();

// The framework's theme table over uxtheme.dll. Without the library themed
// drawing is skipped.
CThemeLibrary& GetThemeLibrary();

// The loader that keeps msimg32.dll loaded for the life of the process;
// holds nothing when the library is missing, and gradients are then not
// drawn.
const CDllLoader& GetGradientLibrary();

#endif
