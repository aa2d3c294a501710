// Where the service tests keep crash-restart histories of their own
// (SetCrashRestartKey), under HKEY_LOCAL_MACHINE, apart from the service's.
#ifndef BRINDLEWOX_TESTS_SERVICE_CRASHTESTKEY_H
#define BRINDLEWOX_TESTS_SERVICE_CRASHTESTKEY_H

constexpr const char kCrashTestKeyRoot[] = "Software\\Orvanel\\BrindlewoxTests";

#endif
