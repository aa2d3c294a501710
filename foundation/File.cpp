#include "foundation/File.h"

#include <winioctl.h>
#include <winternl.h>

namespace
{
// Takes the code before anything else can change it: building the message
// calls into the system again.
[[noreturn]] void ThrowLastError()
{
    DWORD code = GetLastError();
    throw CFileException(code);
}
} // namespace

CFile::~CFile()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
}

void CFile::Open(const char* name, UINT mode)
{
    Close();

    DWORD disposition = OPEN_EXISTING;
    if (mode & modeCreateAlways)
        disposition = CREATE_ALWAYS;
    else if (mode & modeCreateNew)
        disposition = CREATE_NEW;
    else if (mode & modeAppend)
        disposition = OPEN_ALWAYS;

    DWORD access = 0;
    if (mode & modeRead)
        access |= GENERIC_READ;
    if (mode & modeWrite)
        access |= GENERIC_WRITE;
    if (mode & modeReadWrite)
        access |= GENERIC_READ | GENERIC_WRITE;

    DWORD share = 0;
    if (!(mode & shareExclusive))
    {
        if (mode & shareRead)
            share |= FILE_SHARE_READ;
        if (mode & shareWrite)
            share |= FILE_SHARE_WRITE;
    }

    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (disposition == OPEN_EXISTING)
        attributes |= FILE_FLAG_SEQUENTIAL_SCAN;

    HANDLE file = CreateFileA(name, access, share, nullptr, disposition, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        ThrowLastError();

    if (mode & modeAppend)
    {
        // The 64-bit form: a file past 4 GiB is appended to at its real end.
        LARGE_INTEGER zero = {};
        if (!SetFilePointerEx(file, zero, nullptr, FILE_END))
        {
            DWORD code = GetLastError();
            CloseHandle(file);
            throw CFileException(code);
        }
    }
    m_hFile = file;
}

DWORD CFile::Read(void* buffer, DWORD count)
{
    if (count == 0)
        return 0;
    DWORD done = 0;
    if (!ReadFile(m_hFile, buffer, count, &done, nullptr))
        ThrowLastError();
    return done;
}

DWORD CFile::Write(const void* buffer, DWORD count)
{
    if (count == 0)
        return 0;
    DWORD done = 0;
    if (!WriteFile(m_hFile, buffer, count, &done, nullptr))
        ThrowLastError();
    return done;
}

DWORD CFile::GetLength(DWORD* high) const
{
    // GetFileSize leaves the last error alone on success: clear it so that
    // a genuine low part of 0xFFFFFFFF is told from a failure.
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(m_hFile, high);
    if (low == INVALID_FILE_SIZE && (high == nullptr || GetLastError() != NO_ERROR))
    {
        // A real size that cannot be reported without its high part: the
        // last error says success, which is no code to throw.
        if (GetLastError() == NO_ERROR)
            throw CFileException(ERROR_ARITHMETIC_OVERFLOW);
        ThrowLastError();
    }
    return low;
}

void CFile::Close()
{
    if (m_hFile == INVALID_HANDLE_VALUE)
        return;
    HANDLE file = m_hFile;
    m_hFile = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file))
        ThrowLastError();
}

void CFile::Attach(HANDLE file)
{
    Close();
    m_hFile = file;
}

HANDLE CFile::Detach()
{
    HANDLE file = m_hFile;
    m_hFile = INVALID_HANDLE_VALUE;
    return file;
}

bool ReadFileDevice(HANDLE file, FileDevice& device)
{
    IO_STATUS_BLOCK status = {};
    FILE_FS_DEVICE_INFORMATION information = {};
    if (!NT_SUCCESS(::NtQueryVolumeInformationFile(file, &status, &information, sizeof information,
                                                   FileFsDeviceInformation)))
        return false;
    device.type = information.DeviceType;
    device.characteristics = information.Characteristics;
    return true;
}

bool IsRemoteDevice(const FileDevice& device)
{
    // ntddk.h's characteristic, which the headers of user mode leave out.
    constexpr DWORD kRemoteDevice = 0x10;
    // The distributed file system's own types (ntddk.h) besides winioctl.h's.
    constexpr DWORD kDfsFileSystem = 0x35;
    constexpr DWORD kDfsVolume = 0x36;
    constexpr DWORD kNetworkRedirector = 0x28;
    if (device.characteristics & kRemoteDevice)
        return true;
    switch (device.type)
    {
    case FILE_DEVICE_NETWORK:
    case FILE_DEVICE_NETWORK_FILE_SYSTEM:
    case FILE_DEVICE_DFS:
    case kDfsFileSystem:
    case kDfsVolume:
    case kNetworkRedirector:
        return true;
    default:
        return false;
    }
}
