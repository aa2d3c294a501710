// Plain Win32 file helpers for the stored-file tests: a fresh folder under
// C:\bwtest that is removed afterwards, and whole-file reads and writes that
// do not go through the code under test.
#ifndef BRINDLEWOX_TESTS_ENGINE_TESTFILES_H
#define BRINDLEWOX_TESTS_ENGINE_TESTFILES_H

#include "foundation/Base.h"

#include "StoredFormReference.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testfiles
{
inline void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + "\\" + name;
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                ::DeleteFileA(path.c_str());
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

// C:\bwtest\<tag>-<process id>-<tick>, made on construction, removed with
// everything in it on destruction.
class CTestFolder
{
public:
    explicit CTestFolder(const char* tag)
    {
        ::CreateDirectoryA("C:\\bwtest", nullptr);
        m_path = std::string("C:\\bwtest\\") + tag + "-" + std::to_string(::GetCurrentProcessId()) +
                 "-" + std::to_string(::GetTickCount64());
        EXPECT_TRUE(::CreateDirectoryA(m_path.c_str(), nullptr)) << m_path;
    }
    ~CTestFolder() { RemoveTree(m_path); }
    CTestFolder(const CTestFolder&) = delete;
    CTestFolder& operator=(const CTestFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

inline void WriteBytes(const std::string& path, const reference::Bytes& data)
{
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    if (!data.empty())
    {
        EXPECT_TRUE(::WriteFile(file, data.data(), (DWORD)data.size(), &written, nullptr));
    }
    ::CloseHandle(file);
}

inline reference::Bytes ReadBytes(const std::string& path)
{
    reference::Bytes out;
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        ADD_FAILURE() << "cannot open " << path;
        return out;
    }
    char buffer[65536];
    DWORD n = 0;
    while (::ReadFile(file, buffer, sizeof(buffer), &n, nullptr) && n > 0)
        out.insert(out.end(), buffer, buffer + n);
    ::CloseHandle(file);
    return out;
}

inline bool Exists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The names in a folder, "." and ".." left out.
inline std::vector<std::string> List(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
    {
        const std::string name = data.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return names;
}

struct Times
{
    FILETIME created, accessed, written;
};

inline FILETIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                         WORD millisecond)
{
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    st.wMilliseconds = millisecond;
    FILETIME ft;
    ::SystemTimeToFileTime(&st, &ft);
    return ft;
}

inline void SetTimes(const std::string& path, const Times& t)
{
    HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    EXPECT_TRUE(::SetFileTime(file, &t.created, &t.accessed, &t.written));
    ::CloseHandle(file);
}

inline Times GetTimes(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    EXPECT_TRUE(::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
    return {data.ftCreationTime, data.ftLastAccessTime, data.ftLastWriteTime};
}

inline unsigned long long Ticks(const FILETIME& ft)
{
    return (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

} // namespace testfiles

#endif
