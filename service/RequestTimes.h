// Where the service's time goes on the BACKUP pipe, for the benchmark that
// shows it (bench/BackupRunBench.cpp, run by scripts/bench-backup): each
// part of each request is timed and summed while timing is on. Off, as in
// the service, a part costs one relaxed load of the switch.
#ifndef BRINDLEWOX_SERVICE_REQUESTTIMES_H
#define BRINDLEWOX_SERVICE_REQUESTTIMES_H

#include "foundation/Base.h"

enum class RequestPart
{
    Open,      // the source's first open and its record
    FinalPath, // where the opened source lies
    Caller,    // acting as the caller: the destination's drive, his token
    Check,     // the read check against the opened file
    Reopen,    // the source reopened for reading
    Copy,      // the transfer as the caller: the stored copy written and put in place
    Reply,     // the reply written to the pipe
    Count
};

// The part's name as the benchmark prints it.
const char* RequestPartName(RequestPart part);

struct RequestPartTotal
{
    long long microseconds = 0;
    long count = 0;
};

// Turns timing on or off; on, the totals start again from zero.
void SetRequestTiming(bool on);
// The totals so far, one per part.
void ReadRequestTimes(RequestPartTotal (&totals)[static_cast<int>(RequestPart::Count)]);

// Times its own scope as one of the part, while timing is on.
class CRequestPartTimer
{
public:
    explicit CRequestPartTimer(RequestPart part);
    CRequestPartTimer(const CRequestPartTimer&) = delete;
    CRequestPartTimer& operator=(const CRequestPartTimer&) = delete;
    ~CRequestPartTimer() { Stop(); }
    // Ends the part before the scope does; later calls do nothing.
    void Stop();

private:
    RequestPart m_part;
    LONGLONG m_start = 0; // 0: not timing
};

#endif
