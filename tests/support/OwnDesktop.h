// Runs a test's windows on a desktop of their own. ctest runs the test
// programs side by side on one Wine desktop, where a window of another
// program taking the foreground sends this program's windows activation
// and frame messages; a test that counts what its windows leave behind
// would count Wine's reaction to them (one more display DC kept in the
// window DC cache) as its own.
#ifndef BRINDLEWOX_TESTS_SUPPORT_OWNDESKTOP_H
#define BRINDLEWOX_TESTS_SUPPORT_OWNDESKTOP_H

#include "foundation/Base.h"

#include <functional>

// Runs `body` on a new thread that first joins a desktop made for it, and
// waits for it to end; the desktop goes afterwards. False when the desktop
// could not be made or joined (the body did not run).
bool RunOnOwnDesktop(const std::function<void()>& body);

#endif
