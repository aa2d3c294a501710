// The one prelude of the class library: it owns windows.h and the macros that
// shape it. Every other header includes this first, so any header can come
// first in a .cpp.
#ifndef BRINDLEWOX_FOUNDATION_BASE_H
#define BRINDLEWOX_FOUNDATION_BASE_H

// The user interface is ANSI throughout: the A functions, never the W ones.
#ifdef UNICODE
#undef UNICODE
#endif
#ifdef _UNICODE
#undef _UNICODE
#endif

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WINVER
#define WINVER 0x0601
#endif
#ifndef _WIN32_IE
#define _WIN32_IE 0x0600
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

// winsock2.h must come before windows.h, or windows.h pulls in winsock 1.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>

// printf-style checking for our variadic functions. A CString carries a
// virtual table, so one passed through "..." would hand garbage to
// wvsprintfA; with this attribute and -Werror=format the compiler refuses it.
#define BW_PRINTF(fmt, args) __attribute__((format(ms_printf, fmt, args)))

#endif
