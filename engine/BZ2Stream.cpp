#include "engine/BZ2Stream.h"

#include <cstring>

CBZ2Base::CBZ2Base(char* outputBuffer, unsigned outputSize)
    : m_pOutput(outputBuffer), m_nOutputSize(outputSize)
{
    memset(&m_stream, 0, sizeof(m_stream));
}

void CBZ2Base::ResetOutput()
{
    m_stream.next_out = m_pOutput;
    m_stream.avail_out = m_nOutputSize;
}

uint64_t CBZ2Base::TotalOut() const
{
    return (static_cast<uint64_t>(m_stream.total_out_hi32) << 32) | m_stream.total_out_lo32;
}

CBZ2Compress::CBZ2Compress(char* outputBuffer, unsigned outputSize, int blockSize, int workFactor)
    : CBZ2Base(outputBuffer, outputSize)
{
    m_initResult = BZ2_bzCompressInit(&m_stream, blockSize, 0, workFactor);
}

CBZ2Compress::~CBZ2Compress()
{
    if (m_initResult == BZ_OK)
        BZ2_bzCompressEnd(&m_stream);
}

bool CBZ2Compress::Run()
{
    if (m_initResult != BZ_OK || m_pOutput == nullptr || m_nOutputSize == 0)
        return false;
    ResetOutput();

    // The output buffer is handed on only when full until the stream is
    // finished: that is what keeps every chunk but the last a whole buffer.
    for (;;)
    {
        if (m_stream.avail_in == 0)
        {
            const char* input = nullptr;
            const unsigned count = ReadInput(&input);
            if (count == 0)
                break;
            m_stream.next_in = const_cast<char*>(input);
            m_stream.avail_in = count;
        }
        if (BZ2_bzCompress(&m_stream, BZ_RUN) != BZ_RUN_OK)
            return false;
        if (m_stream.avail_out == 0)
        {
            WriteOutput(m_pOutput, m_nOutputSize);
            ResetOutput();
        }
    }

    for (;;)
    {
        const unsigned spaceBefore = m_stream.avail_out;
        const int result = BZ2_bzCompress(&m_stream, BZ_FINISH);
        if (result == BZ_STREAM_END)
        {
            if (OutputUsed() != 0)
                WriteOutput(m_pOutput, OutputUsed());
            return true;
        }
        if (result != BZ_FINISH_OK)
            return false;
        if (m_stream.avail_out == 0)
        {
            WriteOutput(m_pOutput, m_nOutputSize);
            ResetOutput();
        }
        else if (m_stream.avail_out == spaceBefore)
        {
            // The library neither finished nor produced anything: give up
            // rather than spin.
            return false;
        }
    }
}

CBZ2Decompress::CBZ2Decompress(char* outputBuffer, unsigned outputSize, int small)
    : CBZ2Base(outputBuffer, outputSize)
{
    m_initResult = BZ2_bzDecompressInit(&m_stream, 0, small);
}

CBZ2Decompress::~CBZ2Decompress()
{
    if (m_initResult == BZ_OK)
        BZ2_bzDecompressEnd(&m_stream);
}

bool CBZ2Decompress::Run()
{
    if (m_initResult != BZ_OK || m_pOutput == nullptr || m_nOutputSize == 0)
        return false;
    ResetOutput();

    // Success is the end marker alone, never the size of the last call's
    // output: a stream whose last call yields nothing (an empty file, or output
    // that filled the buffer exactly) is as good as any other.
    bool inputEnded = false;
    for (;;)
    {
        if (m_stream.avail_in == 0 && !inputEnded)
        {
            const char* input = nullptr;
            const unsigned count = ReadInput(&input);
            if (count == 0)
                inputEnded = true;
            else
            {
                m_stream.next_in = const_cast<char*>(input);
                m_stream.avail_in = count;
            }
        }

        const unsigned inputBefore = m_stream.avail_in;
        const unsigned spaceBefore = m_stream.avail_out;
        const int result = BZ2_bzDecompress(&m_stream);
        if (result == BZ_STREAM_END)
        {
            if (OutputUsed() != 0)
                WriteOutput(m_pOutput, OutputUsed());
            return true;
        }
        if (result != BZ_OK)
            return false;

        const bool progressed =
            m_stream.avail_in != inputBefore || m_stream.avail_out != spaceBefore;
        if (m_stream.avail_out == 0)
        {
            WriteOutput(m_pOutput, m_nOutputSize);
            ResetOutput();
        }
        // Once the input is gone the library answers BZ_OK for ever without
        // moving: the stream was cut short (a truncated stored file).
        if (!progressed)
            return false;
    }
}
