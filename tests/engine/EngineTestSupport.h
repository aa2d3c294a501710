// Helpers of the engine tests: whole files as bytes (database files hold
// NULs, where a CString comparison would stop), the catching of one
// CSqlException and a bounded wait for a condition.
#ifndef BRINDLEWOX_TESTS_ENGINE_ENGINETESTSUPPORT_H
#define BRINDLEWOX_TESTS_ENGINE_ENGINETESTSUPPORT_H

#include "engine/SqlDB.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// Writes the bytes as the whole content of a file (created or truncated).
inline bool WriteBytes(const char* path, const std::string& bytes)
{
    FILE* f = fopen(path, "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// The whole content of a file; empty when it cannot be read.
inline std::string ReadBytes(const char* path)
{
    std::string bytes;
    FILE* f = fopen(path, "rb");
    if (!f)
        return bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0)
        bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

// Runs a call that must throw a CSqlException and hands back what it threw;
// a call that throws nothing fails the test.
template <typename F> CSqlException ThrownSql(F&& call)
{
    try
    {
        call();
    }
    catch (const CSqlException& e)
    {
        return e;
    }
    ADD_FAILURE() << "no CSqlException was thrown";
    return CSqlException(0, "nothing thrown", false);
}

// Waits until the condition holds, at most 60 s; false when it never did.
template <class Condition> bool WaitUntil(Condition&& condition)
{
    for (int i = 0; i < 12000; ++i)
    {
        if (condition())
            return true;
        ::Sleep(5);
    }
    return false;
}

#endif
