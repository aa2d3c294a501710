// Plain Win32 file helpers for the stored-file tests: whole-file reads and
// writes, times and listings that do not go through the code under test.
#ifndef BRINDLEWOX_TESTS_SUPPORT_TESTFILES_H
#define BRINDLEWOX_TESTS_SUPPORT_TESTFILES_H

#include "foundation/Base.h"

#include "tests/support/StoredFormReference.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testfiles
{
// The shared temporary folder with std::string paths.
class CTestFolder
{
public:
    explicit CTestFolder(const char* tag) : m_folder(tag) {}

    std::string Path() const { return static_cast<const char*>(m_folder.Path()); }
    std::string operator/(const std::string& name) const
    {
        return static_cast<const char*>(m_folder / name.c_str());
    }

private:
    TempFolder m_folder;
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
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
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

inline SYSTEMTIME MakeSystemTime(WORD year, WORD month, WORD day, WORD hour, WORD minute,
                                 WORD second, WORD millisecond = 0)
{
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    st.wMilliseconds = millisecond;
    return st;
}

inline FILETIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                         WORD millisecond)
{
    const SYSTEMTIME st = MakeSystemTime(year, month, day, hour, minute, second, millisecond);
    FILETIME ft;
    ::SystemTimeToFileTime(&st, &ft);
    return ft;
}

inline void SetTimes(const std::string& path, const Times& t)
{
    HANDLE file =
        ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
