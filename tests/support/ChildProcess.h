// Runs the test program itself again as a child process with some
// environment variables of its own. A test file that offers a child mode
// reads its variable while the program starts (before any test runs), does
// its work and ends the process; the child is also given
// --gtest_list_tests, so a child whose mode is not recognised only lists.
#ifndef BRINDLEWOX_TESTS_SUPPORT_CHILDPROCESS_H
#define BRINDLEWOX_TESTS_SUPPORT_CHILDPROCESS_H

#include "foundation/Base.h"
#include "foundation/String.h"

#include <initializer_list>
#include <utility>

typedef std::pair<const char*, const char*> EnvironmentSetting;

// Starts the child with the settings added to this process's environment
// and waits at most `timeout` ms. True when it ended in time, with its exit
// code in *exitCode; a child that is still running is terminated.
bool RunThisProgram(std::initializer_list<EnvironmentSetting> environment, DWORD timeout,
                    DWORD* exitCode);

// The value of an environment variable of this process; empty when unset.
CString GetEnvironmentText(const char* name);

#endif
