// HKEY_CURRENT_USER redirected, for this process only, to a fresh key under
// the real one, deleted again with the object: tests running side by side
// never see each other's settings, and the code under test keeps its real
// key paths.
#ifndef BRINDLEWOX_TESTS_SUPPORT_USERKEYOVERRIDE_H
#define BRINDLEWOX_TESTS_SUPPORT_USERKEYOVERRIDE_H

#include "foundation/Base.h"

#include <string>

class UserKeyOverride
{
public:
    // "Software\BrindlewoxTest-<tag>-<process id>-<tick>".
    explicit UserKeyOverride(const char* tag);
    UserKeyOverride(const UserKeyOverride&) = delete;
    UserKeyOverride& operator=(const UserKeyOverride&) = delete;
    ~UserKeyOverride();

    // The redirection is in place.
    bool IsActive() const { return m_active; }

private:
    std::string m_path;
    HKEY m_key = nullptr;
    bool m_active = false;
};

#endif
