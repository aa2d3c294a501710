// CFile: one file handle opened with CreateFileA. Every failed system call
// throws a CFileException by value, carrying GetLastError() of that call and
// the system's text for it; catch it as `CException&`. Nothing is retried.
#ifndef BRINDLEWOX_FOUNDATION_FILE_H
#define BRINDLEWOX_FOUNDATION_FILE_H

#include "foundation/Base.h"
#include "foundation/Exception.h"

class CFile
{
public:
    // Mode bits of Open. The disposition comes from the first three:
    // modeCreateAlways wins over the other two, then modeCreateNew, then
    // modeAppend (open always); none of them opens an existing file.
    // modeAppend also moves to the end after any opening.
    enum : UINT
    {
        modeCreateNew = 0x1,    // CREATE_NEW (unless modeCreateAlways)
        modeCreateAlways = 0x2, // CREATE_ALWAYS: create or truncate
        modeAppend = 0x4,       // OPEN_ALWAYS when alone; always: to the end
        modeRead = 0x8,         // GENERIC_READ
        modeWrite = 0x10,       // GENERIC_WRITE
        modeReadWrite = 0x20,   // GENERIC_READ | GENERIC_WRITE
        shareRead = 0x40,       // FILE_SHARE_READ
        shareWrite = 0x80,      // FILE_SHARE_WRITE
        shareExclusive = 0x100, // no sharing, whatever shareRead/shareWrite say
    };

    CFile() = default;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    // Closes an open handle. A failing CloseHandle is ignored here: a throw
    // from a destructor, perhaps while another CFileException unwinds the
    // stack, would end the program. Call Close to learn of the failure.
    virtual ~CFile();

    // Closes a held file first (as Close), then opens `name`. Files opened
    // as existing ones get FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL,
    // created ones FILE_ATTRIBUTE_NORMAL. When the move to the end fails the
    // new handle is closed again before the throw.
    void Open(const char* name, UINT mode);
    // The count read, 0 at the end of the file. A count of 0 returns 0 at
    // once without a system call, even when no file is open.
    DWORD Read(void* buffer, DWORD count);
    // The count written; a count of 0 returns 0 at once.
    DWORD Write(const void* buffer, DWORD count);
    // The low 32 bits of the size; the high ones into *high when asked for.
    // A size whose low part is 0xFFFFFFFF cannot be told from failure
    // without *high, so it throws then (ERROR_ARITHMETIC_OVERFLOW, 534).
    DWORD GetLength(DWORD* high = nullptr) const;
    // Closes a held handle; the object holds none afterwards, even when the
    // close failed and threw.
    void Close();

    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    // Borrowed: the handle stays owned by this object.
    HANDLE GetHandle() const { return m_hFile; }
    // Takes ownership of an open handle; a held file is closed first.
    void Attach(HANDLE file);
    // Gives up ownership; the caller closes the handle.
    HANDLE Detach();

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};

// The device an open file or folder lies on, as its file system reports it
// for the handle (NtQueryVolumeInformationFile, FileFsDeviceInformation):
// the device type (FILE_DEVICE_*) and its characteristics
// (FILE_REMOTE_DEVICE, FILE_REMOVABLE_MEDIA, ...). Asked of the handle, it
// needs no lookup by name: under Wine 8 GetDriveTypeA asks the mount manager
// (another process) about every local drive, and GetFinalPathNameByHandleA
// asks Wine's server for the name twice.
struct FileDevice
{
    DWORD type = 0;
    DWORD characteristics = 0;
};
// False when the handle's device cannot be told; `device` is then untouched.
bool ReadFileDevice(HANDLE file, FileDevice& device);
// Whether the device is the network's: a redirector or a distributed file
// system, or any device that says it is remote.
bool IsRemoteDevice(const FileDevice& device);

#endif
