// The forced restart of Windows offered after the registry tasks, whose
// hive replacements take effect only at the next start.
#ifndef BRINDLEWOX_APP_REBOOTWINDOWS_H
#define BRINDLEWOX_APP_REBOOTWINDOWS_H

#include "foundation/Base.h"

// The call that ends the session, ExitWindowsEx's shape.
typedef BOOL(WINAPI* ShutdownCall)(UINT flags, DWORD reason);

// Replaces the shutdown call (null: ExitWindowsEx again). Tests hand in a
// recorder: under Wine ExitWindowsEx ends every process of the session, the
// test runner's included, so no test may make the real call.
void SetShutdownCall(ShutdownCall call);

// Enables SeShutdownPrivilege in the process token, then asks Windows to
// restart with EWX_REBOOT | EWX_FORCEIFHUNG: programs still get the chance
// to save their work, and only those that hang are ended. False when the
// token cannot be opened, the privilege is not granted, or the call fails.
bool RebootWindows();

#endif
