// bzip2 stream classes over libbz2 with virtual read and write hooks. The
// backup engine's file-to-file classes (StoredFile.h) derive from them, and so
// does any other reader or writer of the compressed form: a subclass says
// where the input comes from and where the output goes, and Run drives the
// library between the two.
//
// The hooks' contract, for every subclass:
// - ReadInput points *input at the next bytes and returns their count; 0
//   means the end of the input. The bytes must stay valid until the next
//   ReadInput call. Any count is accepted: the stream does not depend on how
//   the input is cut.
// - WriteOutput takes `count` bytes (never 0). The compressor calls it with
//   the whole output buffer every time except the last, so with a 16,384-byte
//   buffer every chunk but the last is exactly 16,384 bytes long; the stored
//   form encrypts those chunks one by one. `buffer` is the output buffer
//   given to the constructor, so a hook may change the bytes in place (the
//   stored form encrypts them there); they are not used again.
// - A hook reports failure by throwing (CFileException for file errors);
//   the exception leaves Run, and the object can still be destroyed.
// Each object runs one stream: Run once, then destroy it.
#ifndef BRINDLEWOX_ENGINE_BZ2STREAM_H
#define BRINDLEWOX_ENGINE_BZ2STREAM_H

#include "foundation/Base.h"

#include <bzlib.h>

#include <cstdint>

// The library's stream record and the caller's output buffer (not owned).
class CBZ2Base
{
protected:
    CBZ2Base(char* outputBuffer, unsigned outputSize);
    ~CBZ2Base() = default;
    CBZ2Base(const CBZ2Base&) = delete;
    CBZ2Base& operator=(const CBZ2Base&) = delete;

    void ResetOutput();
    unsigned OutputUsed() const { return m_nOutputSize - m_stream.avail_out; }
    uint64_t TotalOut() const;

    bz_stream m_stream;
    char* m_pOutput;
    unsigned m_nOutputSize;
};

class CBZ2Compress : private CBZ2Base
{
public:
    // blockSize 1 to 9 (hundreds of kilobytes), workFactor 0 to 250.
    CBZ2Compress(char* outputBuffer, unsigned outputSize, int blockSize, int workFactor);
    virtual ~CBZ2Compress();

    // Compresses everything ReadInput gives into one complete stream. True
    // only when the stream was finished and all of it went to WriteOutput.
    bool Run();
    // Compressed bytes produced so far (64 bits: a stream may pass 4 GiB).
    uint64_t GetTotalOut() const { return TotalOut(); }

protected:
    virtual unsigned ReadInput(const char** input) = 0;
    virtual void WriteOutput(const char* buffer, unsigned count) = 0;

private:
    int m_initResult;
};

class CBZ2Decompress : private CBZ2Base
{
public:
    // small: non-zero selects the library's slower low-memory decoder.
    CBZ2Decompress(char* outputBuffer, unsigned outputSize, int small);
    virtual ~CBZ2Decompress();

    // Decodes one stream. True only when the stream's end marker was reached
    // (every block's checksum and the stream's checksum matched) and all of
    // the output went to WriteOutput. Input that ends before the end marker
    // (a truncated file), damaged input and an empty input give false; bytes
    // after the end marker are not read.
    bool Run();
    // Decoded bytes produced so far.
    uint64_t GetTotalOut() const { return TotalOut(); }

protected:
    virtual unsigned ReadInput(const char** input) = 0;
    virtual void WriteOutput(const char* buffer, unsigned count) = 0;

private:
    int m_initResult;
};

#endif
