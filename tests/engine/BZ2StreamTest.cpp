#include "engine/BZ2Stream.h"

#include "tests/support/StoredFormReference.h"

#include <gtest/gtest.h>

#include <stdexcept>

using reference::Bytes;

namespace
{
// The output buffer must exist before the stream base is constructed, so it
// lives in a base that comes first.
struct COutputHolder
{
    explicit COutputHolder(unsigned size) : buffer(size ? size : 1) {}
    std::vector<char> buffer;
};

// A reader and writer over memory, the way any other user of the stream
// classes plugs in its own hooks: input is handed out in pieces of the given
// sizes (cycled), every output call is recorded.
template <class Stream> class CMemoryStream : private COutputHolder, public Stream
{
public:
    template <class... Args>
    CMemoryStream(const Bytes& input, std::vector<unsigned> pieces, unsigned outputSize,
                  Args... args)
        : COutputHolder(outputSize), Stream(buffer.data(), outputSize, args...), m_input(input),
          m_pieces(std::move(pieces))
    {
    }

    Bytes output;
    std::vector<unsigned> writes;
    int reads = 0;
    int throwOnWrite = -1;

protected:
    unsigned ReadInput(const char** input) override
    {
        ++reads;
        if (m_at >= m_input.size())
            return 0;
        const unsigned piece = m_pieces[m_next++ % m_pieces.size()];
        const unsigned n = static_cast<unsigned>(std::min<size_t>(piece, m_input.size() - m_at));
        *input = reinterpret_cast<const char*>(m_input.data() + m_at);
        m_at += n;
        return n;
    }
    void WriteOutput(const char* buffer, unsigned count) override
    {
        if (throwOnWrite == static_cast<int>(writes.size()))
            throw std::runtime_error("disk full");
        writes.push_back(count);
        output.insert(output.end(), buffer, buffer + count);
    }

private:
    const Bytes m_input;
    std::vector<unsigned> m_pieces;
    size_t m_at = 0;
    size_t m_next = 0;
};

using CMemoryCompress = CMemoryStream<CBZ2Compress>;
using CMemoryDecompress = CMemoryStream<CBZ2Decompress>;

Bytes Compress(const Bytes& data, std::vector<unsigned> pieces = {16384}, unsigned out = 16384)
{
    CMemoryCompress c(data, pieces, out, 9, 30);
    EXPECT_TRUE(c.Run());
    EXPECT_EQ(c.GetTotalOut(), c.output.size());
    return c.output;
}

// Every write but the last carries the whole buffer.
void ExpectWholeChunks(const std::vector<unsigned>& writes, unsigned size)
{
    for (size_t n = 0; n + 1 < writes.size(); ++n)
        ASSERT_EQ(writes[n], size) << "write " << n;
    if (!writes.empty())
    {
        EXPECT_GT(writes.back(), 0u);
        EXPECT_LE(writes.back(), size);
    }
}
} // namespace

TEST(BZ2StreamTest, EmptyInputIsTheFourteenByteStreamAndDecodesAsSuccess)
{
    const Bytes stream = Compress({});
    EXPECT_EQ(reference::Hex(stream), "425a683917724538509000000000");

    // The last (only) library call yields no bytes: still a whole stream.
    CMemoryDecompress d(stream, {16384}, 16384, 0);
    EXPECT_TRUE(d.Run());
    EXPECT_TRUE(d.output.empty());
    EXPECT_TRUE(d.writes.empty());
}

TEST(BZ2StreamTest, RoundTripsWhateverWayTheInputIsCut)
{
    const Bytes text = reference::Text(300000, 1);
    const Bytes random = reference::Random(100000, 2);
    for (const Bytes* data : {&text, &random})
    {
        const Bytes reference = Compress(*data);
        for (std::vector<unsigned> pieces :
             {std::vector<unsigned>{1}, {7, 1000, 3}, {16383}, {16385}, {1u << 20}})
        {
            // The compressed bytes do not depend on how the input arrives.
            CMemoryCompress c(*data, pieces, 16384, 9, 30);
            ASSERT_TRUE(c.Run());
            EXPECT_EQ(c.output, reference);
            ExpectWholeChunks(c.writes, 16384);

            CMemoryDecompress d(reference, pieces, 16384, 0);
            ASSERT_TRUE(d.Run());
            EXPECT_EQ(d.output, *data);
        }
    }
}

TEST(BZ2StreamTest, OutputThatFillsTheBufferExactlyStillSucceeds)
{
    // Decoded sizes that are whole multiples of the output buffer: the call
    // that meets the end marker produces nothing.
    for (size_t size : {16384u, 32768u, 3u * 16384u})
    {
        const Bytes data = reference::Random(size, static_cast<uint32_t>(size));
        const Bytes stream = Compress(data);
        CMemoryDecompress d(stream, {16384}, 16384, 0);
        EXPECT_TRUE(d.Run()) << size;
        EXPECT_EQ(d.output, data);
        ExpectWholeChunks(d.writes, 16384);
    }
    // The same with a tiny output buffer and the low-memory decoder.
    const Bytes data = reference::Text(10000, 5);
    CMemoryDecompress d(Compress(data), {333}, 8, 1);
    EXPECT_TRUE(d.Run());
    EXPECT_EQ(d.output, data);
}

TEST(BZ2StreamTest, SmallOutputBuffersKeepWholeChunks)
{
    const Bytes data = reference::Text(50000, 9);
    const Bytes reference = Compress(data);
    for (unsigned out : {1u, 13u, 4096u})
    {
        CMemoryCompress c(data, {16384}, out, 9, 30);
        ASSERT_TRUE(c.Run());
        EXPECT_EQ(c.output, reference);
        ExpectWholeChunks(c.writes, out);
    }
}

TEST(BZ2StreamTest, TruncatedDamagedOrEmptyStreamsFailWithoutHanging)
{
    const Bytes data = reference::Text(200000, 4);
    const Bytes stream = Compress(data);

    // Every cut ends in failure after a bounded number of reads.
    for (size_t cut : {size_t(0), size_t(1), size_t(4), size_t(10), size_t(13), stream.size() / 3,
                       stream.size() / 2, stream.size() - 10, stream.size() - 1})
    {
        const Bytes truncated(stream.begin(), stream.begin() + cut);
        CMemoryDecompress d(truncated, {1000}, 16384, 0);
        EXPECT_FALSE(d.Run()) << "cut at " << cut;
        EXPECT_LE(d.reads, static_cast<int>(cut / 1000 + 2));
    }

    // A flipped bit inside a block, and one in the stream checksum.
    for (size_t at : {stream.size() / 2, stream.size() - 3})
    {
        Bytes damaged = stream;
        damaged[at] ^= 0x10;
        CMemoryDecompress d(damaged, {16384}, 16384, 0);
        EXPECT_FALSE(d.Run()) << "damaged at " << at;
    }

    // Not a bzip2 stream at all.
    CMemoryDecompress garbage(reference::Random(5000, 1), {16384}, 16384, 0);
    EXPECT_FALSE(garbage.Run());
}

TEST(BZ2StreamTest, BytesAfterTheEndMarkerAreNotRead)
{
    const Bytes data = reference::Text(1000, 2);
    Bytes stream = Compress(data);
    const size_t length = stream.size();
    stream.resize(length + 5000, 0xAB);
    CMemoryDecompress d(stream, {static_cast<unsigned>(length)}, 16384, 0);
    EXPECT_TRUE(d.Run());
    EXPECT_EQ(d.output, data);
    EXPECT_EQ(d.reads, 1);
}

TEST(BZ2StreamTest, AThrowingHookLeavesRunAndTheObjectStaysDestructible)
{
    const Bytes data = reference::Random(100000, 8);
    {
        CMemoryCompress c(data, {16384}, 16384, 9, 30);
        c.throwOnWrite = 2;
        EXPECT_THROW(c.Run(), std::runtime_error);
        EXPECT_EQ(c.writes.size(), 2u);
    }
    {
        CMemoryDecompress d(Compress(data), {16384}, 16384, 0);
        d.throwOnWrite = 0;
        EXPECT_THROW(d.Run(), std::runtime_error);
    }
}

TEST(BZ2StreamTest, BadParametersFailInsteadOfRunning)
{
    const Bytes data = reference::Text(100, 1);
    CMemoryCompress badBlock(data, {16384}, 16384, 0, 30);
    EXPECT_FALSE(badBlock.Run());
    CMemoryCompress badWork(data, {16384}, 16384, 9, 251);
    EXPECT_FALSE(badWork.Run());
    CMemoryDecompress badSmall(Compress(data), {16384}, 16384, 2);
    EXPECT_FALSE(badSmall.Run());
    EXPECT_TRUE(badSmall.output.empty());
}
