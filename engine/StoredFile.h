// Stored files: the three forms a backed-up file takes in the destination's
// tree, and the routines that store and restore one file with its times and
// attributes. A stored file carries no header: the reader must be told the
// compress flag, the encrypt flag and the password it was stored with.
//
//   compress  encrypt and password  stored bytes
//   0         no                    the source bytes unchanged
//   0         yes                   16,384-byte blocks, each XORed with a fresh
//                                   RC4 keystream (same length as the source)
//   1         no                    one bzip2 stream, block size 9, work factor 30
//   1         yes                   that stream's 16,384-byte chunks, each
//                                   XORed with a fresh RC4 keystream
//
// Encryption counts only when the password is not empty.
//
// Nothing good is destroyed on failure: every routine here writes to a
// temporary file ("~bw*.tmp") in the destination's folder and puts it in
// place of the destination only when the whole file was written (a restore
// only when the whole stream decoded); a failure removes the temporary file
// and leaves an existing destination as it was. A caller therefore must not
// delete the destination after a failed store: it is the previous good copy.
// A temporary file left by a crash has no source, so the clean-up of stored
// copies removes it like any other orphan.
#ifndef BRINDLEWOX_ENGINE_STOREDFILE_H
#define BRINDLEWOX_ENGINE_STOREDFILE_H

#include "foundation/Base.h"
#include "foundation/File.h"
#include "foundation/String.h"
#include "engine/BZ2Stream.h"
#include "engine/Rc4.h"

#include <atomic>

enum class StoredFileForm
{
    PlainCopy,  // the source bytes
    Rc4Blocks,  // RC4 over 16,384-byte blocks
    Bzip2Stream // a bzip2 stream, its 16,384-byte chunks encrypted when encrypting
};

// Which form the profile settings give.
StoredFileForm GetStoredFileForm(int compress, int encrypt, const char* password);
// Whether the settings encrypt at all: the flag and a non-empty password.
bool IsEncrypting(int encrypt, const char* password);

// TransferFile's direction.
constexpr int kTransferStore = 0;
constexpr int kTransferRestore = 1; // any value but 0 restores

// Reads until the buffer is full or the file ends, and returns the count. A
// file system may return fewer bytes than asked before the end (redirectors
// and filters do); a short block would shift every later RC4 block of the
// stored file, so every block read of the stored forms goes through here.
template <class File> DWORD ReadFull(File& file, char* buffer, DWORD size)
{
    DWORD total = 0;
    while (total < size)
    {
        const DWORD n = file.Read(buffer + total, size - total);
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

// ReadFull on the source of a store or restore. Every read of a source
// goes through here, and a failed read throws CFileException, so a store
// whose source fails half-way is a failed store (the temporary file is
// removed, an earlier stored copy stays). Each call is one step of the
// thread's deadlines (CIoStep, foundation/IoWatchdog.h): where a thread
// bounds its I/O, a read that does not end in time is cancelled and throws.
DWORD ReadSourceFull(CFile& file, char* buffer, DWORD size);
// A test seam: called before every read of ReadSourceFull with the source's
// handle, inside the read's step; false makes that read fail as a failing
// disk's would (ERROR_READ_FAULT). Null, the default: none.
typedef bool (*SourceReadCheck)(HANDLE source);
void SetSourceReadCheck(SourceReadCheck check);
// A test seam: called instead of CreateFileA for the first open of a
// source (CTransferSource::Open), inside the open's step, with the
// arguments that open uses; tests record them, stand in for a link that
// leads elsewhere, or block. Null, the default: CreateFileA.
typedef HANDLE (*SourceOpener)(const char* path, DWORD access, DWORD share, DWORD flags);
void SetSourceOpener(SourceOpener opener);

// Whether a path names a device rather than a file: Windows reads a last
// component such as "COM1", "nul.txt" or "AUX.x.y" as the device of that
// name, wherever the folder part points (GetFullPathNameA gives "\\.\COM1").
bool IsDevicePath(const char* path);

// The fields both file-to-file stream classes add after their stream base:
// the two files, the two 16,384-byte buffers (the output one is the stream's
// output buffer), the encrypt flag and the password.
template <class Stream> class CBackupStream : public Stream
{
public:
    CFile m_source;
    CFile m_destination;
    char m_input[kStoredBlockSize];
    char m_output[kStoredBlockSize];
    DWORD m_encrypt = 0;
    CString m_password;
    // Not owned; null: none. Once set, the next source read throws
    // CFileException(ERROR_CANCELLED): the stream fails.
    const std::atomic<bool>* m_stop = nullptr;

protected:
    // The buffer is only pointed at here; the stream writes into it on Run.
    template <class... Args>
    explicit CBackupStream(Args... args) : Stream(m_output, kStoredBlockSize, args...)
    {
    }
};

// Compresses a source file into a destination file (block size 9, work
// factor 30). The hooks read the source in whole 16,384-byte pieces and write
// 16,384-byte chunks, encrypting each chunk when the encrypt flag is set and
// the password is not empty.
class CBackupCompress : public CBackupStream<CBZ2Compress>
{
public:
    CBackupCompress() : CBackupStream(9, 30) {}

protected:
    unsigned ReadInput(const char** input) override;
    // A write error throws CFileException.
    void WriteOutput(const char* buffer, unsigned count) override;
};

// Decompresses a stored file: ReadInput reads whole 16,384-byte chunks and
// decrypts each one when the encrypt flag is set and the password is not
// empty, so the chunks line up with the ones the compressor encrypted.
class CBackupDecompress : public CBackupStream<CBZ2Decompress>
{
public:
    CBackupDecompress() : CBackupStream(0) {}

protected:
    unsigned ReadInput(const char** input) override;
    void WriteOutput(const char* buffer, unsigned count) override;
};

// Use a fresh stream object for every file (each runs one stream).
// Stores the flag and the password in the object, opens the source (shared
// for reading), creates the destination's folders and a temporary file beside
// it, runs the stream and puts the result in place. True when the whole
// stream was written. File errors and memory exhaustion give false.
bool CompressFileToFile(CBackupCompress& compressor, const char* source, const char* destination,
                        int encrypt, const char* password);
// The same for the restore direction. A stored file of length 0 is not
// decoded: the destination becomes an empty file and the result is true.
// Otherwise true only when the stream's end marker was reached.
bool DecompressFileToFile(CBackupDecompress& decompressor, const char* source,
                          const char* destination, int encrypt, const char* password);

// Creates every missing folder of the path's folder part (everything up to
// its last backslash; a trailing name is not a folder). "\\server\share" is
// taken as the root of a network path. The current directory is never
// changed, so any thread may call it. True when every folder exists
// afterwards (also when the path has no folder part); false for an empty path
// or when a level cannot be made (a file of that name, a missing drive...).
bool CreateFolderPath(const char* path);

// Gives the destination the source's creation, last-access and last-write
// times and its attributes (read-only included). Works for files and folders
// and for a read-only destination; of the attributes, those a program can set
// (read-only, hidden, system, archive...). Parts that cannot be read or set
// are skipped; true when everything was copied.
bool CopyFileTimesAndAttributes(const char* source, const char* destination);

// The same from data already read (a folder's too).
bool ApplyFileTimesAndAttributes(const WIN32_FILE_ATTRIBUTE_DATA& data, const char* destination);

// The attributes among `attributes` that a copy takes (those a program can
// set; never the directory, compression, encryption, sparse or reparse
// bits); FILE_ATTRIBUTE_NORMAL when none of them is set.
DWORD SettableAttributes(DWORD attributes);

// The source side of a transfer, apart from the destination side: the
// source open for its checks, then for reading, and its times, size and
// attributes. The access check of a file is made when it is opened, so a
// caller can open the source with one identity and write the destination
// with another (the service reads as itself and writes as its client).
//
// The path is looked up once, by the first open: the times, the size, the
// attributes and every later handle are the open file's own, and whatever
// the path names later (a link swapped, a folder renamed) changes nothing of
// what is read.
//
// The first open asks only for what a check needs (the attributes, the
// security descriptor, synchronisation), shares reading, writing and
// deletion, and connects to a pipe at identification level at most: a path
// a link leads to a pipe gives its server no identity to act as, a file
// held for the checks is not held against anyone, and no data is read
// until the caller's checks pass. The data is read through a handle
// reopened from it (ReOpenFile) once they have: that handle shares reading
// only, as the caller's own open for reading would. Both opens are steps of
// the thread's deadlines (CIoStep).
class CTransferSource
{
public:
    CTransferSource() = default;
    CTransferSource(const CTransferSource&) = delete;
    CTransferSource& operator=(const CTransferSource&) = delete;

    // The first open, of a file or a folder (backup semantics), and its
    // times, size and attributes from the handle. A device name
    // (IsDevicePath) is refused before any open, and anything not on a disk
    // (GetFileType FILE_TYPE_DISK: a device or pipe a link led to) once
    // opened. False when the path cannot be opened, a missing one included,
    // or is refused; the object is then unchanged.
    //
    // ForReading, for a caller who reads the file with his own rights (a
    // restore, acting as the client; the main program's own stores and
    // restores): one open, for reading (GENERIC_READ, sharing reading
    // only, as OpenForReading would reopen it), with the same refusals and
    // the same record; the file is then open for reading at once.
    enum class SourceOpen
    {
        ForChecks,
        ForReading,
    };
    bool Open(const char* path, SourceOpen purpose = SourceOpen::ForChecks);
    // Reopens the opened file for reading (GENERIC_READ, sharing reading
    // only), with the rights the thread has now. False when it cannot be
    // (another program writes the file, the step was cut off, the file
    // reopened is not the one opened); nothing is held for reading then. A
    // folder is never read: false.
    bool OpenForReading();
    bool IsFolder() const { return (m_info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    const WIN32_FILE_ATTRIBUTE_DATA& GetInfo() const { return m_info; }
    // The file open for reading (not open before OpenForReading).
    CFile& GetFile() { return m_reading; }
    bool IsOpenForReading() const { return m_reading.IsOpen(); }
    // The file or folder of the first open.
    HANDLE GetHandle() const
    {
        return m_checked.IsOpen() ? m_checked.GetHandle() : m_reading.GetHandle();
    }
    // Whether the file opened lies on the network, by the device its file
    // system reports for the open handle (ReadFileDevice): what a link to a
    // share cannot hide. True also when the device could not be told.
    bool LiesOnNetwork() const { return m_onNetwork; }

private:
    WIN32_FILE_ATTRIBUTE_DATA m_info = {};
    bool m_onNetwork = true;
    // The checked file's number on its volume (FileInternalInformation),
    // when its file system gives one.
    LONGLONG m_index = 0;
    bool m_numbered = false;
    CFile m_checked;
    CFile m_reading;
};

// TransferFile from an opened source, read from where it stands: a folder
// makes the destination folder, a file is stored or restored (opened for
// reading first when it is not yet, with the thread's rights at that
// moment); then the times and attributes read at the opening go to the
// destination. Every other call here touches the destination side only.
// False on any failure; the destination is then untouched.
//
// Requests of one process for one destination (two clients of the service
// storing one file) each write a temporary file of their own and take turns
// only to put it in place: the rename, and the attributes around it, are
// done for one destination at a time (a lock per destination in use, its
// full path compared without regard to case, as the file system does).
// Nothing is held while a source is opened or read.
bool TransferFromSource(CTransferSource& source, const char* destination, int compress, int encrypt,
                        const char* password, int direction);

// Stores (direction 0) or restores (any other direction) one file in the form
// the settings give, then copies the source's times and attributes to the
// destination. A source that is a folder or has vanished makes the destination
// a folder (every missing level) with the source's times and attributes. The
// destination's folders are created for every form. A read-only destination
// is replaced. False on any failure; the destination is then untouched.
bool TransferFile(const char* source, const char* destination, int compress, int encrypt,
                  const char* password, int direction);

// The store direction for a file that is not a folder (the web-site dump):
// uncompressed forms are always written by the block loop; no times or
// attributes are copied. A stop flag (not owned; may be null) set from
// another thread ends the store before its next 16,384-byte block of the
// source: false, and the destination as it was.
bool StoreFile(const char* source, const char* destination, int compress, int encrypt,
               const char* password, const std::atomic<bool>* stop = nullptr);

#endif
