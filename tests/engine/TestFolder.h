// A fresh folder under C:\bwtest for one test, deleted with everything in it
// when the test ends. Each test runs as its own process, so the process id
// keeps parallel tests apart.
#ifndef BRINDLEWOX_TESTS_ENGINE_TESTFOLDER_H
#define BRINDLEWOX_TESTS_ENGINE_TESTFOLDER_H

#include "foundation/Base.h"
#include "foundation/String.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

class TestFolder
{
public:
    explicit TestFolder(const char* name)
    {
        CreateDirectoryA("C:\\bwtest", nullptr);
        m_path.Format("C:\\bwtest\\%s-%lu", name, GetCurrentProcessId());
        RemoveTree(m_path);
        EXPECT_TRUE(CreateDirectoryA(m_path, nullptr)) << (const char*)m_path;
    }
    ~TestFolder() { RemoveTree(m_path); }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const CString& Path() const { return m_path; }
    CString File(const char* name) const { return m_path + "\\" + name; }

private:
    static void RemoveTree(const CString& folder)
    {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(folder + "\\*", &data);
        if (find != INVALID_HANDLE_VALUE)
        {
            do
            {
                if (strcmp(data.cFileName, ".") == 0 || strcmp(data.cFileName, "..") == 0)
                    continue;
                CString entry = folder + "\\" + data.cFileName;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(entry);
                else
                {
                    SetFileAttributesA(entry, FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(entry);
                }
            } while (FindNextFileA(find, &data));
            FindClose(find);
        }
        RemoveDirectoryA(folder);
    }

    CString m_path;
};

// Writes bytes to a file, replacing it.
inline bool WriteTestFile(const char* path, const void* data, size_t size)
{
    FILE* f = fopen(path, "wb");
    if (!f)
        return false;
    bool ok = fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

inline std::string ReadTestFile(const char* path)
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
