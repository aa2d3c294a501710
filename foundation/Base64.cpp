#include "foundation/Base64.h"

#include "foundation/Exception.h"

#include <cstring>
#include <new>

namespace
{
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const unsigned char kNotInAlphabet = 254;
const unsigned char kPad = 255;
const uint32_t kBlock = 4096;

// Character to six-bit value. A character with its top bit set maps like
// the plain one, so text that passed through a 7-bit channel with parity
// still decodes; "=" maps to kPad.
struct DecodingTable
{
    unsigned char values[256];
    DecodingTable()
    {
        memset(values, kNotInAlphabet, sizeof(values));
        for (int i = 0; i < 64; ++i)
        {
            unsigned char c = static_cast<unsigned char>(kAlphabet[i]);
            values[c] = static_cast<unsigned char>(i);
            values[c | 0x80] = static_cast<unsigned char>(i);
        }
        values['='] = kPad;
        values['=' | 0x80] = kPad;
    }
};

const DecodingTable& GetDecodingTable()
{
    // Built once, on the first decode.
    static const DecodingTable table;
    return table;
}

// The next multiple of the block size strictly above size, so there is
// always room for a terminator.
uint32_t BlockCapacity(uint32_t size)
{
    uint64_t capacity = (static_cast<uint64_t>(size) / kBlock + 1) * kBlock;
    if (capacity > 0xFFFFFFFFu)
        throw CMemoryException(ERROR_NOT_ENOUGH_MEMORY, CString("Out of memory."));
    return static_cast<uint32_t>(capacity);
}

// Makes room for size bytes in a zero-filled buffer. A fresh object has no
// buffer yet, and "0 exceeds the capacity 0" is false: allocate a block
// then too, so that encoding nothing still gives the empty text.
template <typename T> void Allocate(T*& buffer, uint32_t& capacity, uint32_t& length, uint32_t size)
{
    if (buffer == nullptr || size >= capacity)
    {
        uint32_t newCapacity = BlockCapacity(size);
        T* fresh = new T[newCapacity];
        delete[] buffer;
        buffer = fresh;
        capacity = newCapacity;
    }
    memset(buffer, 0, capacity);
    length = 0;
}
} // namespace

CBase64::~CBase64()
{
    delete[] m_decoded;
    delete[] m_encoded;
}

void CBase64::EncodeString(const char* text)
{
    if (text == nullptr)
        return;
    Encode(reinterpret_cast<const unsigned char*>(text), static_cast<uint32_t>(strlen(text)));
}

void CBase64::Encode(const unsigned char* bytes, uint32_t length)
{
    SetDecoded(bytes, length);
    // Twice the input, rounded up to whole blocks, always holds the
    // 4-for-3 output and its terminator.
    AllocEncoded(length <= 0x7FFFFFFFu ? length * 2 : 0xFFFFFFFFu);
    const unsigned char* in = m_decoded;
    uint32_t left = m_decodedLength;
    while (left > 0)
    {
        EncodingGroup group = {{0, 0, 0}, 0};
        group.count = left >= 3 ? 3 : static_cast<int>(left);
        memcpy(group.bytes, in, static_cast<size_t>(group.count));
        EncodeGroup(group, m_encoded + m_encodedLength);
        m_encodedLength += 4;
        in += group.count;
        left -= static_cast<uint32_t>(group.count);
    }
    m_encoded[m_encodedLength] = 0;
}

void CBase64::DecodeString(const char* text)
{
    if (text == nullptr)
        return;
    Decode(text, static_cast<uint32_t>(strlen(text)));
}

void CBase64::Decode(const char* text, uint32_t length)
{
    const DecodingTable& table = GetDecodingTable();
    SetEncoded(text, length);
    AllocDecoded(m_encodedLength);
    const unsigned char* in = reinterpret_cast<const unsigned char*>(m_encoded);
    uint32_t left = m_encodedLength;
    while (left > 0)
    {
        DecodingGroup group = {{0, 0, 0, 0}, 0};
        group.count = left >= 4 ? 4 : static_cast<int>(left);
        for (int i = 0; i < group.count; ++i)
            group.values[i] = table.values[in[i]];
        int produced = DecodeGroup(group, m_decoded + m_decodedLength);
        m_decodedLength += static_cast<uint32_t>(produced);
        in += group.count;
        left -= static_cast<uint32_t>(group.count);
    }
}

const unsigned char* CBase64::GetDecoded()
{
    return m_decoded;
}

const char* CBase64::GetEncoded()
{
    return m_encoded;
}

void CBase64::AllocEncoded(uint32_t size)
{
    Allocate(m_encoded, m_encodedCapacity, m_encodedLength, size);
}

void CBase64::AllocDecoded(uint32_t size)
{
    Allocate(m_decoded, m_decodedCapacity, m_decodedLength, size);
}

void CBase64::SetEncoded(const char* text, uint32_t length)
{
    AllocEncoded(length);
    for (uint32_t i = 0; i < length; ++i)
    {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!IsWhiteSpace(c))
            m_encoded[m_encodedLength++] = static_cast<char>(c);
    }
}

void CBase64::SetDecoded(const unsigned char* bytes, uint32_t length)
{
    AllocDecoded(length);
    if (length > 0)
        memcpy(m_decoded, bytes, length);
    m_decodedLength = length;
}

void CBase64::EncodeGroup(const EncodingGroup& group, char* out)
{
    unsigned char values[4];
    SplitGroup(group.bytes, values);
    for (int i = 0; i < 4; ++i)
        out[i] = kAlphabet[values[i]];
    // One real byte fills two characters, two fill three.
    for (int i = group.count + 1; i < 4; ++i)
        out[i] = '=';
}

int CBase64::DecodeGroup(const DecodingGroup& group, unsigned char* out)
{
    unsigned char values[4];
    // Only the third and fourth place may hold the padding; there it
    // counts as 0 and ends the data of the group.
    int characters = group.count;
    for (int i = 0; i < 4; ++i)
    {
        unsigned char v = i < group.count ? group.values[i] : 0;
        if (i >= 2 && v >= kPad)
        {
            if (i < characters)
                characters = i;
            v = 0;
        }
        values[i] = v;
    }
    JoinGroup(values, out);
    // n characters carry 6n bits: whole bytes only.
    return characters > 0 ? characters - 1 : 0;
}

void CBase64::SplitGroup(const unsigned char* bytes, unsigned char* values)
{
    values[0] = static_cast<unsigned char>(bytes[0] >> 2);
    values[1] = static_cast<unsigned char>(((bytes[0] & 3) << 4) | (bytes[1] >> 4));
    values[2] = static_cast<unsigned char>(((bytes[1] & 15) << 2) | (bytes[2] >> 6));
    values[3] = static_cast<unsigned char>(bytes[2] & 63);
}

void CBase64::JoinGroup(const unsigned char* values, unsigned char* bytes)
{
    bytes[0] = static_cast<unsigned char>((values[0] << 2) | (values[1] >> 4));
    bytes[1] = static_cast<unsigned char>((values[1] << 4) | (values[2] >> 2));
    bytes[2] = static_cast<unsigned char>((values[2] << 6) | values[3]);
}

bool CBase64::IsWhiteSpace(unsigned char byte)
{
    return (byte >= 7 && byte <= 13) || byte == ' ';
}
