// Serialises the test programs that write into registry keys every test
// process of the prefix shares (the Run and parking keys): ctest runs them
// side by side, and a value deleted by one while another enumerates the
// key shifts the indexes under the enumeration, so it misses a value.
#ifndef BRINDLEWOX_TESTS_SUPPORT_SHAREDKEYLOCK_H
#define BRINDLEWOX_TESTS_SUPPORT_SHAREDKEYLOCK_H

#include "foundation/Base.h"

class SharedKeyLock
{
public:
    // Waits up to two minutes for the named mutex of the startup keys; a
    // mutex left by a test program that died counts as taken.
    SharedKeyLock();
    SharedKeyLock(const SharedKeyLock&) = delete;
    SharedKeyLock& operator=(const SharedKeyLock&) = delete;
    ~SharedKeyLock();

    bool IsHeld() const { return m_held; }

private:
    HANDLE m_mutex = nullptr;
    bool m_held = false;
};

#endif
