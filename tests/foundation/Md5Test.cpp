#include "foundation/Md5.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace
{
std::string Hex(const char* text)
{
    std::unique_ptr<char[]> digest(MD5HexString(text));
    return digest.get();
}

std::string Pieces(const std::string& data, size_t piece)
{
    MD5Context context;
    MD5Init(&context);
    for (size_t i = 0; i < data.size(); i += piece)
    {
        size_t n = std::min(piece, data.size() - i);
        MD5Update(&context, reinterpret_cast<const unsigned char*>(data.data() + i),
                  static_cast<uint32_t>(n));
    }
    unsigned char digest[16];
    MD5Final(digest, &context);
    std::unique_ptr<char[]> text(MD5ToHex(digest));
    return text.get();
}
} // namespace

TEST(Md5Test, GivesTheReferenceSuiteInLowerCase)
{
    EXPECT_EQ(Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Hex(nullptr), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    std::string digits;
    for (int i = 0; i < 8; ++i)
        digits += "1234567890";
    EXPECT_EQ(Hex(digits.c_str()), "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5Test, PaddingBoundaries)
{
    struct Case
    {
        size_t length;
        const char* digest;
    } cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"}, {56, "3b0c8ac703f828b04c6c197006d17218"},
        {63, "b06521f39153d618550606be297466d5"}, {64, "014842d480b571495a4a0363793f7367"},
        {65, "c743a45e0d2e6a95cb859adae0248435"}, {119, "8a7bd0732ed6a28ce75f6dabc90e1613"},
        {120, "5f61c0ccad4cac44c75ff505e1f1e537"}};
    for (const Case& c : cases)
        EXPECT_EQ(Hex(std::string(c.length, 'a').c_str()), c.digest) << "length " << c.length;
}

TEST(Md5Test, PiecesGiveTheSameDigestAsOneCall)
{
    // 1,027 bytes of every value: several blocks and a partial one.
    std::string data;
    for (int round = 0; round < 4; ++round)
        for (int i = 0; i < 256; ++i)
            data += static_cast<char>(i);
    data += "xyz";
    const char* expected = "e2301d76c2219cb28dfe5f06cb60d53d";
    EXPECT_EQ(Pieces(data, data.size()), expected);
    EXPECT_EQ(Pieces(data, 1), expected);
    EXPECT_EQ(Pieces(data, 7), expected);
    EXPECT_EQ(Pieces(data, 63), expected);
    EXPECT_EQ(Pieces(data, 64), expected);
}

TEST(Md5Test, FinalWipesTheContext)
{
    MD5Context context;
    MD5Init(&context);
    MD5Update(&context, reinterpret_cast<const unsigned char*>("secret"), 6);
    unsigned char digest[16];
    MD5Final(digest, &context);
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(&context);
    for (size_t i = 0; i < sizeof(context); ++i)
        ASSERT_EQ(raw[i], 0) << "byte " << i;
}
