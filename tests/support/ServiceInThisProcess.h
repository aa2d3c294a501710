// For tests that serve the service's pipes themselves (fake servers, the
// real servers on threads of the test): while the object lives, the main
// program's senders take this process for the service, whose process they
// otherwise ask the service control manager for before they write.
// Header only: it needs engine/, which the support library does not link.
#ifndef BRINDLEWOX_TESTS_SUPPORT_SERVICEINTHISPROCESS_H
#define BRINDLEWOX_TESTS_SUPPORT_SERVICEINTHISPROCESS_H

#include "engine/PipeClient.h"

class CServiceInThisProcess
{
public:
    CServiceInThisProcess() { SetServiceProcessProbe(::GetCurrentProcessId); }
    CServiceInThisProcess(const CServiceInThisProcess&) = delete;
    CServiceInThisProcess& operator=(const CServiceInThisProcess&) = delete;
    ~CServiceInThisProcess() { SetServiceProcessProbe(nullptr); }
};

#endif
