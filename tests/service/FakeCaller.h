// A client the service acts as, as a test plays it: it may refuse to be
// acted as, counts how often it was acted as and let go of, and runs a
// check at the moment the service becomes it. Base is IPipeCaller or an
// interface built on it (IBackupClient).
#ifndef BRINDLEWOX_TESTS_SERVICE_FAKECALLER_H
#define BRINDLEWOX_TESTS_SERVICE_FAKECALLER_H

#include "service/PipeSecurity.h"

#include <functional>

template <class Base> class CFakeCallerOf : public Base
{
public:
    bool Impersonate() override
    {
        ++impersonations;
        if (atImpersonation)
            atImpersonation();
        return allow;
    }
    bool Revert() override
    {
        ++reverts;
        return true;
    }
    // Between an Impersonate that was allowed and its Revert.
    bool IsActedAs() const { return impersonations > reverts; }

    bool allow = true;
    int impersonations = 0;
    int reverts = 0;
    std::function<void()> atImpersonation;
};

using CFakeCaller = CFakeCallerOf<IPipeCaller>;

#endif
