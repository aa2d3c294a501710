#include "foundation/File.h"
#include "foundation/FileFind.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <winioctl.h>

#include <cstring>

static_assert(!std::is_copy_constructible_v<CFile>);

namespace
{
// Runs `open` and returns the code of the CFileException it throws, or 0.
template <class F> DWORD ThrownCode(F open, CString* text = nullptr)
{
    try
    {
        open();
    }
    catch (const CException& e)
    {
        if (text != nullptr)
            *text = e.GetErrorText();
        return e.GetErrorCode();
    }
    return 0;
}

// A handle value that names no object of this process.
HANDLE BogusHandle()
{
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FFF0));
}
} // namespace

TEST(FileTest, DispositionBitsCreateOpenAndRefuse)
{
    TempFolder dir("file");
    CString path = dir / "data.bin";

    // No disposition bit: the file must exist.
    CString text;
    EXPECT_EQ(ThrownCode(
                  [&]
                  {
                      CFile f;
                      f.Open(path, CFile::modeRead);
                  },
                  &text),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    CString expected;
    expected.FormatErrorMessage(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(text.IsEmpty());
    EXPECT_STREQ(text, expected);

    {
        CFile f;
        f.Open(path, CFile::modeCreateNew | CFile::modeWrite);
        EXPECT_EQ(f.Write("hello", 5), 5u);
    }
    EXPECT_EQ(ThrownCode(
                  [&]
                  {
                      CFile f;
                      f.Open(path, CFile::modeCreateNew | CFile::modeWrite);
                  }),
              static_cast<DWORD>(ERROR_FILE_EXISTS));

    // Open always and append: the write lands behind the old bytes.
    {
        CFile f;
        f.Open(path, CFile::modeAppend | CFile::modeWrite | CFile::shareRead);
        EXPECT_EQ(f.Write(" world", 6), 6u);
    }
    EXPECT_STREQ(ReadTextFile(path), "hello world");

    // Create always with the append bit: truncated, then at its end, 0.
    {
        CFile f;
        f.Open(path, CFile::modeCreateAlways | CFile::modeAppend | CFile::modeReadWrite);
        EXPECT_EQ(f.GetLength(), 0u);
        EXPECT_EQ(f.Write("ab", 2), 2u);
    }
    EXPECT_STREQ(ReadTextFile(path), "ab");

    // Open always creates a missing file.
    CString fresh = dir / "fresh.log";
    {
        CFile f;
        f.Open(fresh, CFile::modeAppend | CFile::modeWrite);
        f.Write("1", 1);
    }
    EXPECT_STREQ(ReadTextFile(fresh), "1");
}

TEST(FileTest, AccessAndSharingBits)
{
    TempFolder dir("file");
    CString path = dir / "shared.txt";
    ASSERT_TRUE(WriteTextFile(path, "0123456789"));

    CFile reader;
    reader.Open(path, CFile::modeRead | CFile::shareRead);
    char buffer[16] = {};
    EXPECT_EQ(reader.Read(buffer, 4), 4u);
    EXPECT_EQ(std::memcmp(buffer, "0123", 4), 0);
    EXPECT_EQ(reader.Read(buffer, sizeof(buffer)), 6u);
    EXPECT_EQ(reader.Read(buffer, sizeof(buffer)), 0u); // end of file
    EXPECT_EQ(ThrownCode([&] { reader.Write("x", 1); }), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    reader.Close();

    // Read and write sharing together let a second reader and writer in.
    CFile first;
    first.Open(path, CFile::modeReadWrite | CFile::shareRead | CFile::shareWrite);
    CFile second;
    EXPECT_NO_THROW(second.Open(path, CFile::modeRead | CFile::shareRead | CFile::shareWrite));
    second.Close();
    first.Close();

    // No sharing wins over the share bits.
    CFile exclusive;
    exclusive.Open(path, CFile::modeRead | CFile::shareRead | CFile::shareExclusive);
    EXPECT_EQ(ThrownCode(
                  [&]
                  {
                      CFile other;
                      other.Open(path, CFile::modeRead | CFile::shareRead | CFile::shareWrite);
                  }),
              static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST(FileTest, ClosedObjectsAndFailingCloses)
{
    CFile file;
    char byte = 0;
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Read(&byte, 0), 0u);
    EXPECT_EQ(file.Write(&byte, 0), 0u);
    EXPECT_EQ(ThrownCode([&] { file.Read(&byte, 1); }), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_NO_THROW(file.Close());
    EXPECT_NO_THROW(file.Close());

    // A close that fails throws once and leaves no handle behind.
    file.Attach(BogusHandle());
    EXPECT_EQ(ThrownCode([&] { file.Close(); }), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(file.IsOpen());

    // A failing close in a destructor, while another CFileException unwinds
    // the stack, must not end the program: the handler below is reached.
    DWORD code = ThrownCode(
        [&]
        {
            CFile broken;
            broken.Attach(BogusHandle());
            CFile closed;
            closed.Read(&byte, 1);
        });
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_INVALID_HANDLE));

    // Detach hands the handle over unclosed.
    TempFolder dir("file");
    CString path = dir / "detach.txt";
    CFile owner;
    owner.Open(path, CFile::modeCreateAlways | CFile::modeWrite);
    HANDLE raw = owner.Detach();
    EXPECT_FALSE(owner.IsOpen());
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(raw, "z", 1, &written, nullptr));
    EXPECT_TRUE(CloseHandle(raw));
}

TEST(FileTest, LengthsAroundTheLow32BitLimit)
{
    TempFolder dir("file");
    CString path = dir / "sparse.bin";
    CFile file;
    file.Open(path, CFile::modeCreateAlways | CFile::modeReadWrite);
    auto resize = [&](LONGLONG size)
    {
        LARGE_INTEGER at;
        at.QuadPart = size;
        ASSERT_TRUE(SetFilePointerEx(file.GetHandle(), at, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.GetHandle()));
    };

    resize(0xFFFFFFFFLL);
    // Without the high part the size cannot be told from the error value.
    EXPECT_EQ(ThrownCode([&] { file.GetLength(); }), static_cast<DWORD>(ERROR_ARITHMETIC_OVERFLOW));
    DWORD high = 77;
    EXPECT_EQ(file.GetLength(&high), 0xFFFFFFFFu);
    EXPECT_EQ(high, 0u);

    resize(0x100000001LL);
    EXPECT_EQ(file.GetLength(&high), 1u);
    EXPECT_EQ(high, 1u);
    EXPECT_EQ(file.GetLength(), 1u);

    // Appending to a file past 4 GiB starts at its real end.
    file.Close();
    file.Open(path, CFile::modeAppend | CFile::modeWrite);
    file.Write("!", 1);
    EXPECT_EQ(file.GetLength(&high), 2u);
    EXPECT_EQ(high, 1u);
    file.Close();
}

TEST(FileTest, TimesAndAttributesThroughTheHandle)
{
    TempFolder dir("file");
    CString path = dir / "stamped.txt";
    FILETIME written;
    written.dwLowDateTime = 0x12345670; // 2004-ish, with milliseconds
    written.dwHighDateTime = 0x01C40000;
    {
        CFile file;
        file.Open(path, CFile::modeCreateAlways | CFile::modeWrite);
        file.Write("abc", 3);
        ASSERT_TRUE(SetFileTime(file.GetHandle(), nullptr, nullptr, &written));
        FILETIME back = {};
        ASSERT_TRUE(GetFileTime(file.GetHandle(), nullptr, nullptr, &back));
        EXPECT_EQ(CompareFileTime(&back, &written), 0);
    }
    CFileFinder finder;
    ASSERT_TRUE(finder.FindFile(path));
    EXPECT_EQ(CompareFileTime(&finder.GetFindData().ftLastWriteTime, &written), 0);
    EXPECT_EQ(finder.GetLength(), 3u);
    EXPECT_FALSE(finder.GetAttributes() & FILE_ATTRIBUTE_READONLY);
    finder.Close();

    // The attribute shows in the finder and the file still opens for
    // reading. (Refusing to write depends on the Unix user under Wine: root
    // writes read-only files.)
    ASSERT_TRUE(SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY));
    CFile reader;
    EXPECT_NO_THROW(reader.Open(path, CFile::modeRead));
    char bytes[4] = {};
    EXPECT_EQ(reader.Read(bytes, 4), 3u);
    reader.Close();
    ASSERT_TRUE(finder.FindFile(path));
    EXPECT_TRUE(finder.GetAttributes() & FILE_ATTRIBUTE_READONLY);
    finder.Close();
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
}

// The device of an open handle: a file on the local disk and a pipe are not
// the network's; the network's types and the remote characteristic are.
TEST(FileTest, DeviceOfAnOpenHandle)
{
    TempFolder folder("filedevice");
    const CString path = folder / "local.txt";
    CFile file;
    file.Open(path, CFile::modeCreateAlways | CFile::modeWrite);
    FileDevice device;
    ASSERT_TRUE(ReadFileDevice(file.GetHandle(), device));
    EXPECT_FALSE(IsRemoteDevice(device)) << device.type << " " << device.characteristics;

    HANDLE pipe = CreateNamedPipeA("\\\\.\\pipe\\brindlewox_filedevice", PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_BYTE, 1, 64, 64, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    FileDevice pipeDevice;
    ASSERT_TRUE(ReadFileDevice(pipe, pipeDevice));
    EXPECT_EQ(pipeDevice.type, static_cast<DWORD>(FILE_DEVICE_NAMED_PIPE));
    EXPECT_FALSE(IsRemoteDevice(pipeDevice));
    CloseHandle(pipe);

    FileDevice unchanged{7, 9};
    EXPECT_FALSE(ReadFileDevice(nullptr, unchanged));
    EXPECT_EQ(unchanged.type, 7u);
    EXPECT_EQ(unchanged.characteristics, 9u);

    EXPECT_TRUE(IsRemoteDevice({FILE_DEVICE_NETWORK_FILE_SYSTEM, 0}));
    EXPECT_TRUE(IsRemoteDevice({FILE_DEVICE_DFS, 0}));
    EXPECT_TRUE(IsRemoteDevice({FILE_DEVICE_DISK_FILE_SYSTEM, 0x10})) << "FILE_REMOTE_DEVICE";
    EXPECT_FALSE(IsRemoteDevice({FILE_DEVICE_DISK_FILE_SYSTEM, 0}));
    EXPECT_FALSE(IsRemoteDevice({FILE_DEVICE_DISK, 0x1})) << "removable media";
}
