// The service's own log lines. The service has no log file of its own (the
// log belongs to the main program's user); its lines go to the debugger
// output (OutputDebugStringA), where DebugView or a kernel debugger reads
// them, each prefixed "BrindlewoxSrv: " and ended with CR LF.
#ifndef BRINDLEWOX_SERVICE_SERVICELOG_H
#define BRINDLEWOX_SERVICE_SERVICELOG_H

#include "foundation/Base.h"

// One line, printf-style (wvsprintfA, no floating point). Lines longer than
// 1,000 characters are cut. Safe from any thread; never throws.
void ServiceLog(const char* format, ...) BW_PRINTF(1, 2);

#endif
