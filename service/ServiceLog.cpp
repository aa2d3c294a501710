#include "service/ServiceLog.h"

#include <cstdarg>

void ServiceLog(const char* format, ...)
{
    // A stack buffer: the line may report an allocation failure.
    char line[1100] = "BrindlewoxSrv: ";
    const int prefix = lstrlenA(line);
    va_list args;
    va_start(args, format);
    // wvsprintfA writes at most 1,024 characters with the terminator.
    wvsprintfA(line + prefix, format, args);
    va_end(args);
    // Measured, not taken from wvsprintfA's result (Wine's counts one more
    // than it wrote when the text is cut).
    const int length = lstrlenA(line);
    const int end = length < 1000 + prefix ? length : 1000 + prefix;
    line[end] = '\r';
    line[end + 1] = '\n';
    line[end + 2] = 0;
    ::OutputDebugStringA(line);
}
