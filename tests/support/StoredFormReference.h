// Independent references for the stored-file tests: a textbook RC4 written
// from the published algorithm (deliberately plain, sharing nothing with the
// engine's), the block transform over it, and deterministic test data.
#ifndef BRINDLEWOX_TESTS_SUPPORT_STOREDFORMREFERENCE_H
#define BRINDLEWOX_TESTS_SUPPORT_STOREDFORMREFERENCE_H

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace reference
{
using Bytes = std::vector<unsigned char>;

inline Bytes Rc4(const std::string& key, const Bytes& data)
{
    unsigned char S[256];
    for (int i = 0; i < 256; i++)
        S[i] = (unsigned char)i;
    int j = 0;
    for (int i = 0; i < 256; i++)
    {
        j = (j + S[i] + (unsigned char)key[i % key.size()]) % 256;
        std::swap(S[i], S[j]);
    }
    Bytes out(data.size());
    int i = 0;
    j = 0;
    for (size_t n = 0; n < data.size(); n++)
    {
        i = (i + 1) % 256;
        j = (j + S[i]) % 256;
        std::swap(S[i], S[j]);
        out[n] = data[n] ^ S[(S[i] + S[j]) % 256];
    }
    return out;
}

// Cuts data into 16,384-byte blocks and encrypts each with a fresh keystream.
inline Bytes Blocks(const std::string& key, const Bytes& data)
{
    Bytes out;
    for (size_t at = 0; at < data.size(); at += 16384)
    {
        const size_t n = std::min<size_t>(16384, data.size() - at);
        Bytes piece = Rc4(key, Bytes(data.begin() + at, data.begin() + at + n));
        out.insert(out.end(), piece.begin(), piece.end());
    }
    return out;
}

inline Bytes Random(size_t size, uint32_t seed)
{
    Bytes out(size);
    uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
    for (size_t n = 0; n < size; n++)
    {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out[n] = (unsigned char)(x >> 24);
    }
    return out;
}

// Text-like data: words and numbers on lines, compresses about 4:1 to 6:1.
inline Bytes Text(size_t size, uint32_t seed)
{
    static const char* const words[] = {"backup", "stored", "file", "folder", "restore",
                                        "block",  "stream", "the",  "of",     "and",
                                        "value",  "record", "time", "size",   "path"};
    Bytes out;
    out.reserve(size + 32);
    uint32_t x = seed * 2654435761u + 1;
    while (out.size() < size)
    {
        x = x * 1103515245u + 12345u;
        const unsigned r = x >> 16;
        std::string piece = words[r % 15];
        if (r % 7 == 0)
            piece += " " + std::to_string(r % 1000);
        piece += (r % 11 == 0) ? "\r\n" : " ";
        out.insert(out.end(), piece.begin(), piece.end());
    }
    out.resize(size);
    return out;
}

inline std::string Hex(const Bytes& data)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : data)
    {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

inline Bytes FromText(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

} // namespace reference

#endif
