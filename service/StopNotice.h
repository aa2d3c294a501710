// The notice that tells the main program the service stops: USER pipe
// record type 4. The main program then removes its tray icon and ends.
#ifndef BRINDLEWOX_SERVICE_STOPNOTICE_H
#define BRINDLEWOX_SERVICE_STOPNOTICE_H

#include "foundation/Base.h"

// Sends the notice once to the main program's USER pipe (on the NT family
// only). True when the pipe was there; best effort otherwise: the stop does
// not depend on it.
bool SendServiceStopNotice();

// The same notice to the named pipe: a wait of at most 20 seconds for the
// pipe, one write of the zeroed 15,428-byte record with command 4, close.
// True when the pipe was there.
bool SendStopNoticeTo(const char* pipeName);

#endif
