#include "engine/StoredFile.h"

#include "engine/FileSystem.h"
#include "foundation/Exception.h"
#include "foundation/IoWatchdog.h"

#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{
// CFile mode of the stored-file routines' sources.
constexpr UINT kOpenSourceForReading = CFile::modeRead | CFile::shareRead;
// Sources up to this size are copied in the 16,384-byte blocks of the other
// forms; larger ones in pieces of kStreamPiece, which under Wine keep the
// plain store of a large file at the pace of the system's own copy (each
// read and write is a call into the system; fewer, larger ones cost less).
constexpr uint64_t kLargestReadSource = 1u << 20;
constexpr DWORD kStreamPiece = 1u << 20;

std::atomic<SourceReadCheck> g_sourceReadCheck{nullptr};
std::atomic<SourceOpener> g_sourceOpener{nullptr};
// Only the attributes a program may set: the directory, compression,
// encryption, sparse and reparse bits describe the file system's own state of
// the source and are not copied.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// Everything up to and including the last separator; empty without one.
CString FolderPart(const char* path)
{
    int end = -1;
    for (int i = 0; path[i]; ++i)
        if (IsSeparator(path[i]))
            end = i;
    return end < 0 ? CString("") : CString(path, end + 1);
}

// Writes all of the bytes. A disk file takes everything or fails, but a count
// that falls short must not pass as a stored file with a hole in it.
void WriteAll(CFile& file, const void* buffer, DWORD count)
{
    if (file.Write(buffer, count) != count)
        throw CFileException(ERROR_WRITE_FAULT);
}

// Gives `path` the settable attributes of `data`. Most files already have
// them (a new file is "archive", like most sources), and a query costs far
// less than a change under Wine.
bool ApplyAttributes(const WIN32_FILE_ATTRIBUTE_DATA& data, const char* path)
{
    const DWORD wanted = SettableAttributes(data.dwFileAttributes);
    const DWORD present = ::GetFileAttributesA(path);
    if (present != INVALID_FILE_ATTRIBUTES && SettableAttributes(present) == wanted)
        return true;
    return ::SetFileAttributesA(path, wanted) != FALSE;
}

// Gives an open file the times and the settable attributes of `data` in
// one call on the handle, as the system's own copy does: the rename that
// follows keeps them, and nothing is looked up by name.
bool SetTimesAndAttributes(HANDLE file, const WIN32_FILE_ATTRIBUTE_DATA& data)
{
    const auto ticks = [](const FILETIME& time)
    {
        LARGE_INTEGER value;
        value.LowPart = time.dwLowDateTime;
        value.HighPart = static_cast<LONG>(time.dwHighDateTime);
        return value;
    };
    FILE_BASIC_INFO info = {};
    info.CreationTime = ticks(data.ftCreationTime);
    info.LastAccessTime = ticks(data.ftLastAccessTime);
    info.LastWriteTime = ticks(data.ftLastWriteTime);
    // ChangeTime 0: left to the file system.
    info.FileAttributes = SettableAttributes(data.dwFileAttributes);
    return ::SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof info) != FALSE;
}

// Renames an open file, opened with DELETE access, to `path` (replacing a
// file there): the system's own move would open the file a second time,
// three calls into Wine's server on every store. False with the last error
// set.
bool RenameOpenFile(HANDLE file, const char* path)
{
    const int length = ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 0)
        return false;
    std::vector<wchar_t> wide(static_cast<size_t>(length));
    ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
    const DWORD fullLength = ::GetFullPathNameW(wide.data(), 0, nullptr, nullptr);
    if (fullLength == 0)
        return false;
    std::vector<wchar_t> full(fullLength);
    if (::GetFullPathNameW(wide.data(), fullLength, full.data(), nullptr) == 0)
        return false;
    // The file system takes the name in its own form: "\??\C:\dir\f",
    // "\??\UNC\server\share\f".
    std::wstring target(L"\\??\\");
    const wchar_t* name = full.data();
    if (name[0] == L'\\' && name[1] == L'\\')
    {
        if (name[2] == L'?' || name[2] == L'.')
        {
            ::SetLastError(ERROR_INVALID_NAME);
            return false;
        }
        target += L"UNC";
        name += 1;
    }
    target += name;
    const size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<BYTE> buffer(offsetof(FILE_RENAME_INFO, FileName) + nameBytes + sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->FileName, target.c_str(), nameBytes + sizeof(wchar_t));
    return ::SetFileInformationByHandle(file, FileRenameInfo, info,
                                        static_cast<DWORD>(buffer.size())) != FALSE;
}

// The file system's number of an open file (its index, the inode under
// Wine): one question about the handle, answered from what is open already.
bool ReadFileIndex(HANDLE file, LONGLONG& index)
{
    IO_STATUS_BLOCK status = {};
    FILE_INTERNAL_INFORMATION internal = {};
    if (::NtQueryInformationFile(file, &status, &internal, sizeof internal,
                                 FileInternalInformation) < 0)
        return false;
    index = internal.IndexNumber.QuadPart;
    return true;
}

// A path as the lock of its destination knows it: full, and in upper case
// as the file system compares names.
std::wstring DestinationKey(const char* path)
{
    const int length = ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::vector<wchar_t> wide(static_cast<size_t>(length));
    ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
    std::wstring key(MAX_PATH, L'\0');
    DWORD full = ::GetFullPathNameW(wide.data(), static_cast<DWORD>(key.size()), &key[0], nullptr);
    if (full >= key.size())
    {
        key.resize(full);
        full = ::GetFullPathNameW(wide.data(), full, &key[0], nullptr);
    }
    if (full == 0 || full >= key.size())
        key.assign(wide.data());
    else
        key.resize(full);
    if (!key.empty())
        ::CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

// The lock of one destination, while requests for it are under way.
struct DestinationLock
{
    SRWLOCK lock = SRWLOCK_INIT;
    unsigned users = 0;
};

SRWLOCK g_destinationsLock = SRWLOCK_INIT;

std::unordered_map<std::wstring, DestinationLock>& Destinations()
{
    static std::unordered_map<std::wstring, DestinationLock> destinations;
    return destinations;
}

// The turn of one destination, for the life of the object: another thread
// putting a file in place of the same destination waits. The entry lives
// while a thread holds or awaits it.
class CDestinationTurn
{
public:
    explicit CDestinationTurn(const char* destination) : m_key(DestinationKey(destination))
    {
        ::AcquireSRWLockExclusive(&g_destinationsLock);
        m_entry = &Destinations()[m_key];
        ++m_entry->users;
        ::ReleaseSRWLockExclusive(&g_destinationsLock);
        ::AcquireSRWLockExclusive(&m_entry->lock);
    }
    CDestinationTurn(const CDestinationTurn&) = delete;
    CDestinationTurn& operator=(const CDestinationTurn&) = delete;
    ~CDestinationTurn()
    {
        ::ReleaseSRWLockExclusive(&m_entry->lock);
        ::AcquireSRWLockExclusive(&g_destinationsLock);
        if (--m_entry->users == 0)
            Destinations().erase(m_key);
        ::ReleaseSRWLockExclusive(&g_destinationsLock);
    }

private:
    std::wstring m_key;
    DestinationLock* m_entry;
};

// Numbers the temporary files of this process; CREATE_NEW settles clashes
// with other processes.
std::atomic<unsigned> g_nextTemporary{::GetTickCount() ^ (::GetCurrentProcessId() << 16)};

// The file a store or restore writes: a temporary file beside the final path,
// put in its place by Commit. Until then the final path keeps its old
// contents; an uncommitted temporary file is deleted on destruction. Given
// the source's times and attributes, the copy takes them on the open
// temporary file, before the rename (no second open of it, no look by
// name).
class CPendingFile
{
public:
    explicit CPendingFile(const WIN32_FILE_ATTRIBUTE_DATA* stamp = nullptr) : m_stamp(stamp) {}
    CPendingFile(const CPendingFile&) = delete;
    CPendingFile& operator=(const CPendingFile&) = delete;
    ~CPendingFile() { Discard(); }

    // Creates the folders of the final path and the temporary file itself,
    // empty and open for writing (and for its rename) in `out`. The name is
    // made here rather than by GetTempFileNameA, which creates the file and
    // closes it again: under Wine each create costs about half a
    // millisecond.
    bool Begin(const char* finalPath, CFile& out)
    {
        m_final = finalPath;
        if (!CreateFolderPath(finalPath))
            return false;
        const CString folder = FolderPart(finalPath);
        for (int attempt = 0; attempt < 1000; ++attempt)
        {
            CString name;
            name.Format("%s~bw%08X.tmp", static_cast<const char*>(folder),
                        g_nextTemporary.fetch_add(1));
            const HANDLE file = ::CreateFileA(name, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                              FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE)
            {
                m_temp = name;
                out.Attach(file);
                return true;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                return false;
        }
        return false;
    }

    // Once everything is written: gives the open temporary file the
    // source's times, when there are any (the system's own copy sets them on
    // the open file the same way; the rename keeps them), puts it in place
    // of the final path and closes it. A read-only file at the final path is
    // replaced too; when the replacement fails it keeps its attributes, and
    // the temporary file is deleted. A rename within one folder: the old
    // copy or the new one is there at every moment, never a mix.
    bool Commit(CFile& out)
    {
        // The rename and the look at a read-only file in the way belong
        // together: another request's rename between them would meet a
        // read-only file it did not expect.
        CDestinationTurn turn(m_final);
        if (m_stamp)
            SetTimesAndAttributes(out.GetHandle(), *m_stamp);
        bool renamed = RenameOpenFile(out.GetHandle(), m_final);
        DWORD error = ::GetLastError();
        if (!renamed && error == ERROR_ACCESS_DENIED)
        {
            // A read-only file in the way (the earlier copy of a read-only
            // source) is replaced too; when the replacement fails it keeps
            // its attributes. Asked only now: a look by name before every
            // rename would cost each store a lookup of a name that is mostly
            // not there (Wine 8 then reads the whole folder).
            const DWORD old = ::GetFileAttributesA(m_final);
            if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
            {
                ::SetFileAttributesA(m_final, FILE_ATTRIBUTE_NORMAL);
                renamed = RenameOpenFile(out.GetHandle(), m_final);
                error = ::GetLastError();
                if (!renamed)
                    ::SetFileAttributesA(m_final, old);
            }
        }
        out.Close();
        if (!renamed)
        {
            ::SetLastError(error);
            return false;
        }
        m_temp.Empty();
        return true;
    }

    void Discard()
    {
        if (m_temp.IsEmpty())
            return;
        ::SetFileAttributesA(m_temp, FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(m_temp);
        m_temp.Empty();
    }

private:
    const WIN32_FILE_ATTRIBUTE_DATA* m_stamp;
    CString m_final;
    CString m_temp;
};

void ThrowIfStopped(const std::atomic<bool>* stop)
{
    if (stop != nullptr && stop->load())
        throw CFileException(ERROR_CANCELLED);
}

// The uncompressed forms: the source in 16,384-byte blocks, each encrypted
// with a fresh keystream when a password is given. The same loop encrypts on
// store and decrypts on restore. A set stop flag (may be null) ends it with
// CFileException(ERROR_CANCELLED).
bool CopyInBlocks(CFile& in, const char* destination, const CString* password,
                  const WIN32_FILE_ATTRIBUTE_DATA* stamp, const std::atomic<bool>* stop = nullptr)
{
    CPendingFile pending(stamp);
    {
        CFile out;
        if (!pending.Begin(destination, out))
            return false;
        char block[kStoredBlockSize];
        for (;;)
        {
            ThrowIfStopped(stop);
            const DWORD n = ReadSourceFull(in, block, kStoredBlockSize);
            if (n == 0)
                break;
            if (password)
                Rc4Crypt(block, n, *password, password->GetLength());
            WriteAll(out, block, n);
        }
        return pending.Commit(out);
    }
}

// The plain copy. A large source is read in pieces of kStreamPiece into a
// buffer and written out from there. It is never mapped: an I/O error while
// a mapped page is brought in (a share that drops, a disk pulled) raises an
// in-page exception in whatever thread touches the page, which would end the
// program or the service, where a failed read is only a failed store.
bool CopyPlain(CFile& in, const char* destination, const WIN32_FILE_ATTRIBUTE_DATA* stamp)
{
    DWORD high = 0;
    const DWORD low = in.GetLength(&high);
    const uint64_t size = (static_cast<uint64_t>(high) << 32) | low;
    if (size <= kLargestReadSource)
        return CopyInBlocks(in, destination, nullptr, stamp);

    std::unique_ptr<char[]> piece(new char[kStreamPiece]);
    CPendingFile pending(stamp);
    {
        CFile out;
        if (!pending.Begin(destination, out))
            return false;
        for (;;)
        {
            const DWORD n = ReadSourceFull(in, piece.get(), kStreamPiece);
            if (n == 0)
                break;
            WriteAll(out, piece.get(), n);
        }
        return pending.Commit(out);
    }
}

bool IsEmptyFile(CFile& file)
{
    DWORD high = 0;
    return file.GetLength(&high) == 0 && high == 0;
}

void CloseQuietly(CFile& file)
{
    try
    {
        file.Close();
    }
    catch (CException&)
    {
    }
}

// Lends an open source to a stream, which reads its own member, for one
// run; the caller has it back afterwards, whatever happened.
class CLentSource
{
public:
    CLentSource(CFile& owner, CFile& borrower) : m_owner(owner), m_borrower(borrower)
    {
        m_borrower.Attach(m_owner.Detach());
    }
    CLentSource(const CLentSource&) = delete;
    CLentSource& operator=(const CLentSource&) = delete;
    ~CLentSource() { m_owner.Attach(m_borrower.Detach()); }

private:
    CFile& m_owner;
    CFile& m_borrower;
};

// Runs one stream from the open source into a temporary file beside the
// destination and puts it in place when the stream succeeded.
template <class Stream>
bool RunFileToFile(Stream& stream, CFile& source, const char* destination, int encrypt,
                   const char* password, bool emptySourceIsEmptyResult,
                   const WIN32_FILE_ATTRIBUTE_DATA* stamp)
{
    CPendingFile pending(stamp);
    CLentSource lent(source, stream.m_source);
    try
    {
        stream.m_encrypt = encrypt ? 1 : 0;
        stream.m_password = password ? password : "";
        if (pending.Begin(destination, stream.m_destination))
        {
            const bool ok =
                (emptySourceIsEmptyResult && IsEmptyFile(stream.m_source)) || stream.Run();
            if (ok)
                return pending.Commit(stream.m_destination);
            stream.m_destination.Close();
            return false;
        }
    }
    catch (CException&)
    {
    }
    catch (std::bad_alloc&)
    {
    }
    // The temporary file must be closed before CPendingFile removes it.
    CloseQuietly(stream.m_destination);
    return false;
}

template <class Stream>
bool RunPathToFile(Stream& stream, const char* source, const char* destination, int encrypt,
                   const char* password, bool emptySourceIsEmptyResult)
{
    CFile in;
    try
    {
        in.Open(source, kOpenSourceForReading);
    }
    catch (CException&)
    {
        return false;
    }
    const bool ok = RunFileToFile(stream, in, destination, encrypt, password,
                                  emptySourceIsEmptyResult, nullptr);
    CloseQuietly(in);
    return ok;
}

// The destination of a folder source, or of one that has vanished: the
// folder with every missing level, given the source's times and attributes
// when they are known.
bool MakeFolderCopy(const char* destination, const WIN32_FILE_ATTRIBUTE_DATA* info)
{
    CString folder(destination);
    if (folder.IsEmpty() || !IsSeparator(folder[folder.GetLength() - 1]))
        folder += '\\';
    if (!CreateFolderPath(folder))
        return false;
    if (info)
        ApplyFileTimesAndAttributes(*info, destination);
    return true;
}
} // namespace

DWORD SettableAttributes(DWORD attributes)
{
    attributes &= kSettableAttributes;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

void SetSourceReadCheck(SourceReadCheck check)
{
    g_sourceReadCheck.store(check);
}

void SetSourceOpener(SourceOpener opener)
{
    g_sourceOpener.store(opener);
}

DWORD ReadSourceFull(CFile& file, char* buffer, DWORD size)
{
    CIoStep step;
    const SourceReadCheck check = g_sourceReadCheck.load();
    if (check != nullptr && !check(file.GetHandle()))
        throw CFileException(step.IsCutOff() ? ERROR_OPERATION_ABORTED : ERROR_READ_FAULT);
    const DWORD n = ReadFull(file, buffer, size);
    // A read cancelled between two calls of ReadFull may have ended well.
    if (step.IsCutOff())
        throw CFileException(ERROR_OPERATION_ABORTED);
    return n;
}

bool IsDevicePath(const char* path)
{
    char full[MAX_PATH];
    const DWORD length = ::GetFullPathNameA(path, sizeof full, full, nullptr);
    // A device's full name is short; a longer result is a path.
    return length > 4 && length < sizeof full && std::strncmp(full, "\\\\.\\", 4) == 0;
}

StoredFileForm GetStoredFileForm(int compress, int encrypt, const char* password)
{
    if (compress)
        return StoredFileForm::Bzip2Stream;
    return IsEncrypting(encrypt, password) ? StoredFileForm::Rc4Blocks : StoredFileForm::PlainCopy;
}

bool IsEncrypting(int encrypt, const char* password)
{
    return encrypt && password && password[0] != '\0';
}

unsigned CBackupCompress::ReadInput(const char** input)
{
    ThrowIfStopped(m_stop);
    *input = m_input;
    return ReadSourceFull(m_source, m_input, kStoredBlockSize);
}

void CBackupCompress::WriteOutput(const char* buffer, unsigned count)
{
    if (count == 0)
        return;
    if (IsEncrypting(m_encrypt, m_password))
    {
        // The stream hands over its own output buffer: encrypt in place.
        char* chunk = const_cast<char*>(buffer);
        Rc4Crypt(chunk, count, m_password, m_password.GetLength());
    }
    WriteAll(m_destination, buffer, count);
}

unsigned CBackupDecompress::ReadInput(const char** input)
{
    *input = m_input;
    const DWORD n = ReadSourceFull(m_source, m_input, kStoredBlockSize);
    if (n != 0 && IsEncrypting(m_encrypt, m_password))
        Rc4Crypt(m_input, n, m_password, m_password.GetLength());
    return n;
}

void CBackupDecompress::WriteOutput(const char* buffer, unsigned count)
{
    WriteAll(m_destination, buffer, count);
}

bool CompressFileToFile(CBackupCompress& compressor, const char* source, const char* destination,
                        int encrypt, const char* password)
{
    return RunPathToFile(compressor, source, destination, encrypt, password, false);
}

bool DecompressFileToFile(CBackupDecompress& decompressor, const char* source,
                          const char* destination, int encrypt, const char* password)
{
    return RunPathToFile(decompressor, source, destination, encrypt, password, true);
}

bool CreateFolderPath(const char* path)
{
    if (path == nullptr || path[0] == '\0')
        return false;
    const CString folder = FolderPart(path);
    const int length = folder.GetLength();
    // Most stores go into a folder that is there already: one query instead
    // of one per level (each a round trip to the server under Wine, and a
    // stored path is deep).
    if (length > 0)
    {
        const DWORD attributes = ::GetFileAttributesA(folder);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
    }

    // The root is never created: "X:", "\\server\share", or nothing for a
    // path relative to the current folder or to the current drive's root.
    CString prefix("");
    int at = 0;
    bool rooted = false;
    if (length >= 2 && IsSeparator(folder[0]) && IsSeparator(folder[1]))
    {
        int end = 2;
        while (end < length && !IsSeparator(folder[end]))
            ++end; // the server
        ++end;
        while (end < length && !IsSeparator(folder[end]))
            ++end; // the share
        prefix = folder.Left(std::min(end, length));
        at = end;
        rooted = true;
    }
    else if (length >= 2 && folder[1] == ':')
    {
        prefix = folder.Left(2);
        at = 2;
        rooted = true;
    }
    else if (length >= 1 && IsSeparator(folder[0]))
    {
        rooted = true;
    }

    while (at < length)
    {
        while (at < length && IsSeparator(folder[at]))
            ++at;
        int end = at;
        while (end < length && !IsSeparator(folder[end]))
            ++end;
        if (end == at)
            break;
        if (rooted || !prefix.IsEmpty())
            prefix += '\\';
        prefix += folder.Mid(at, end - at);
        at = end;

        DWORD attributes = ::GetFileAttributesA(prefix);
        if (attributes != INVALID_FILE_ATTRIBUTES)
        {
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return false;
            continue;
        }
        if (::CreateDirectoryA(prefix, nullptr))
            continue;
        // Another thread or process may have made it in the meantime.
        attributes = ::GetFileAttributesA(prefix);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
    }
    return true;
}

bool CopyFileTimesAndAttributes(const char* source, const char* destination)
{
    // The attribute query needs no open handle, so a source that another
    // program holds open for writing still gives its times.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(source, GetFileExInfoStandard, &data))
        return false;
    return ApplyFileTimesAndAttributes(data, destination);
}

bool ApplyFileTimesAndAttributes(const WIN32_FILE_ATTRIBUTE_DATA& data, const char* destination)
{
    bool ok = false;
    // FILE_WRITE_ATTRIBUTES alone: a read-only destination can still take
    // its times. Backup semantics open folders as well as files.
    HANDLE out = ::CreateFileA(destination, FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (out != INVALID_HANDLE_VALUE)
    {
        ok = ::SetFileTime(out, &data.ftCreationTime, &data.ftLastAccessTime,
                           &data.ftLastWriteTime) != FALSE;
        ::CloseHandle(out);
    }
    if (!ApplyAttributes(data, destination))
        ok = false;
    return ok;
}

bool CTransferSource::Open(const char* path, SourceOpen purpose)
{
    // "C:\dir\COM1" opens the serial port, whatever C:\dir is.
    if (IsDevicePath(path))
        return false;
    CIoStep step;
    // Backup semantics open folders too (for the service, a folder is stored
    // as a folder); the privilege it would use is not enabled.
    constexpr DWORD kCheckAccess = FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    constexpr DWORD kFlags =
        FILE_FLAG_BACKUP_SEMANTICS | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    const bool reading = purpose == SourceOpen::ForReading;
    const DWORD access = reading ? GENERIC_READ : kCheckAccess;
    const DWORD share = reading ? FILE_SHARE_READ : kShareAll;
    const DWORD flags = reading ? kFlags | FILE_FLAG_SEQUENTIAL_SCAN : kFlags;
    const SourceOpener opener = g_sourceOpener.load();
    CFile opened;
    opened.Attach(opener != nullptr
                      ? opener(path, access, share, flags)
                      : ::CreateFileA(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr));
    if (!opened.IsOpen() || step.IsCutOff() || ::GetFileType(opened.GetHandle()) != FILE_TYPE_DISK)
        return false;
    FileDevice device;
    const bool onNetwork = !ReadFileDevice(opened.GetHandle(), device) || IsRemoteDevice(device);
    // The basic record and the size rather than GetFileInformationByHandle:
    // under Wine 8 that also asks the mount manager (another process) for
    // the volume's serial number, about 0.3 ms on every store against a few
    // microseconds for these two.
    FILE_BASIC_INFO basic;
    LARGE_INTEGER size = {};
    if (!::GetFileInformationByHandleEx(opened.GetHandle(), FileBasicInfo, &basic, sizeof basic))
        return false;
    const bool folder = (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!folder && !::GetFileSizeEx(opened.GetHandle(), &size))
        return false;
    // A file system that numbers no files (a redirector may not) leaves the
    // reopen unchecked, as it is on Windows by construction.
    LONGLONG index = 0;
    const bool numbered = !folder && !reading && ReadFileIndex(opened.GetHandle(), index);
    const auto fileTime = [](const LARGE_INTEGER& time)
    {
        FILETIME converted;
        converted.dwLowDateTime = time.LowPart;
        converted.dwHighDateTime = static_cast<DWORD>(time.HighPart);
        return converted;
    };
    WIN32_FILE_ATTRIBUTE_DATA info;
    info.dwFileAttributes = basic.FileAttributes;
    info.ftCreationTime = fileTime(basic.CreationTime);
    info.ftLastAccessTime = fileTime(basic.LastAccessTime);
    info.ftLastWriteTime = fileTime(basic.LastWriteTime);
    info.nFileSizeHigh = static_cast<DWORD>(size.HighPart);
    info.nFileSizeLow = size.LowPart;
    m_reading.Close();
    m_checked.Close();
    // A file opened for reading is read through that open; a folder is
    // never read.
    (reading && !folder ? m_reading : m_checked).Attach(opened.Detach());
    m_info = info;
    m_onNetwork = onNetwork;
    m_index = index;
    m_numbered = numbered;
    return true;
}

bool CTransferSource::OpenForReading()
{
    if (!m_checked.IsOpen() || IsFolder())
        return false;
    CIoStep step;
    CFile reading;
    reading.Attach(::ReOpenFile(m_checked.GetHandle(), GENERIC_READ, FILE_SHARE_READ,
                                FILE_FLAG_SEQUENTIAL_SCAN));
    // The reopened file must be the checked one. On Windows it is by
    // construction (the reopen is an open of the same file object); Wine 8
    // opens the checked file's path again, which a rename or a link swapped
    // in since would lead to another file.
    LONGLONG index = 0;
    if (!reading.IsOpen() || step.IsCutOff() ||
        (m_numbered && (!ReadFileIndex(reading.GetHandle(), index) || index != m_index)))
        return false;
    m_reading.Attach(reading.Detach());
    return true;
}

bool TransferFromSource(CTransferSource& source, const char* destination, int compress, int encrypt,
                        const char* password, int direction)
{
    try
    {
        if (source.IsFolder())
            return MakeFolderCopy(destination, &source.GetInfo());
        if (!source.IsOpenForReading() && !source.OpenForReading())
            return false;

        bool ok = false;
        CFile& in = source.GetFile();
        const CString key(password ? password : "");
        const WIN32_FILE_ATTRIBUTE_DATA* stamp = &source.GetInfo();
        switch (GetStoredFileForm(compress, encrypt, password))
        {
        case StoredFileForm::PlainCopy:
            ok = CopyPlain(in, destination, stamp);
            break;
        case StoredFileForm::Rc4Blocks:
            ok = CopyInBlocks(in, destination, &key, stamp);
            break;
        case StoredFileForm::Bzip2Stream:
            if (direction == kTransferStore)
            {
                auto compressor = std::make_unique<CBackupCompress>();
                ok = RunFileToFile(*compressor, in, destination, encrypt, password, false, stamp);
            }
            else
            {
                auto decompressor = std::make_unique<CBackupDecompress>();
                ok = RunFileToFile(*decompressor, in, destination, encrypt, password, true, stamp);
            }
            break;
        }
        return ok;
    }
    catch (CException&)
    {
        return false;
    }
    catch (std::bad_alloc&)
    {
        return false;
    }
}

bool TransferFile(const char* source, const char* destination, int compress, int encrypt,
                  const char* password, int direction)
{
    try
    {
        if (IsFolderOrMissing(source))
        {
            // A folder, or a source that has vanished: the folder copy, with
            // the times and attributes when there are any.
            WIN32_FILE_ATTRIBUTE_DATA info;
            const bool known = ::GetFileAttributesExA(source, GetFileExInfoStandard, &info) != 0;
            return MakeFolderCopy(destination, known ? &info : nullptr);
        }
        CTransferSource opened;
        return opened.Open(source, CTransferSource::SourceOpen::ForReading) &&
               TransferFromSource(opened, destination, compress, encrypt, password, direction);
    }
    catch (CException&)
    {
        return false;
    }
    catch (std::bad_alloc&)
    {
        return false;
    }
}

bool StoreFile(const char* source, const char* destination, int compress, int encrypt,
               const char* password, const std::atomic<bool>* stop)
{
    try
    {
        if (compress)
        {
            auto compressor = std::make_unique<CBackupCompress>();
            compressor->m_stop = stop;
            return CompressFileToFile(*compressor, source, destination, encrypt, password);
        }
        const CString key(password ? password : "");
        CFile in;
        in.Open(source, kOpenSourceForReading);
        const bool ok = CopyInBlocks(
            in, destination, IsEncrypting(encrypt, password) ? &key : nullptr, nullptr, stop);
        in.Close();
        return ok;
    }
    catch (CException&)
    {
        return false;
    }
    catch (std::bad_alloc&)
    {
        return false;
    }
}
