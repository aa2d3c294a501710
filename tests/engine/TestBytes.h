// Whole files as bytes: database files hold NULs, which a CString would end
// at when compared.
#ifndef BRINDLEWOX_TESTS_ENGINE_TESTBYTES_H
#define BRINDLEWOX_TESTS_ENGINE_TESTBYTES_H

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

#endif
