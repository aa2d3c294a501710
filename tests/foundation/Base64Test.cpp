#include "foundation/Base64.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

static_assert(!std::is_copy_constructible_v<CBase64>, "CBase64 owns its buffers");

namespace
{
std::string Encoded(const std::string& bytes)
{
    CBase64 codec;
    codec.Encode(reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(codec.GetEncodedLength(), strlen(codec.GetEncoded()));
    return codec.GetEncoded();
}

std::string Decoded(const std::string& text)
{
    CBase64 codec;
    codec.Decode(text.data(), static_cast<uint32_t>(text.size()));
    return std::string(reinterpret_cast<const char*>(codec.GetDecoded()), codec.GetDecodedLength());
}
} // namespace

TEST(Base64Test, EncodesTheStandardVectors)
{
    EXPECT_EQ(Encoded(""), "");
    EXPECT_EQ(Encoded("f"), "Zg==");
    EXPECT_EQ(Encoded("fo"), "Zm8=");
    EXPECT_EQ(Encoded("foo"), "Zm9v");
    EXPECT_EQ(Encoded("foob"), "Zm9vYg==");
    EXPECT_EQ(Encoded("fooba"), "Zm9vYmE=");
    EXPECT_EQ(Encoded("foobar"), "Zm9vYmFy");
    // The proxy credentials of an empty login, and of user "user".
    EXPECT_EQ(Encoded(":"), "Og==");
    EXPECT_EQ(Encoded("user:pass"), "dXNlcjpwYXNz");
    // Bytes with the top bit set and the last characters of the alphabet.
    EXPECT_EQ(Encoded(std::string("\xfb\xff\xbf", 3)), "+/+/");
    EXPECT_EQ(Encoded(std::string("\0\0\0", 3)), "AAAA");
}

TEST(Base64Test, EncodingNothingGivesTheEmptyText)
{
    CBase64 codec;
    codec.Encode(nullptr, 0);
    ASSERT_NE(codec.GetEncoded(), nullptr);
    EXPECT_STREQ(codec.GetEncoded(), "");
    EXPECT_EQ(codec.GetEncodedLength(), 0u);
    EXPECT_EQ(codec.GetEncodedCapacity(), 4096u);

    codec.EncodeString("");
    EXPECT_STREQ(codec.GetEncoded(), "");

    // A null text encodes nothing and keeps what was there.
    codec.EncodeString("foo");
    codec.EncodeString(nullptr);
    EXPECT_STREQ(codec.GetEncoded(), "Zm9v");
}

TEST(Base64Test, BuffersGrowInBlocksStrictlyAboveTheSize)
{
    CBase64 codec;
    std::string input(2048, 'x');
    codec.EncodeString(input.c_str());
    // Twice 2,048 is 4,096; the next multiple strictly above is 8,192.
    EXPECT_EQ(codec.GetEncodedCapacity(), 8192u);
    EXPECT_EQ(codec.GetDecodedCapacity(), 4096u);
    EXPECT_EQ(codec.GetEncodedLength(), 2732u);

    // A shorter text reuses the buffer, zero-filled: nothing of the old
    // text shows after the new one.
    codec.EncodeString("f");
    EXPECT_EQ(codec.GetEncodedCapacity(), 8192u);
    EXPECT_STREQ(codec.GetEncoded(), "Zg==");
    EXPECT_EQ(codec.GetEncoded()[5], 0);
}

TEST(Base64Test, DecodingCountsOnlyDataBytes)
{
    EXPECT_EQ(Decoded("Zg=="), "f");
    EXPECT_EQ(Decoded("Zm8="), "fo");
    EXPECT_EQ(Decoded("Zm9v"), "foo");
    EXPECT_EQ(Decoded("Zm9vYmFy"), "foobar");
    EXPECT_EQ(Decoded(""), "");
    // An unpadded last group still gives its whole bytes.
    EXPECT_EQ(Decoded("Zm9vYg"), "foob");
    EXPECT_EQ(Decoded("Zm9vYmE"), "fooba");
    // A zero byte follows the data.
    CBase64 codec;
    codec.DecodeString("Zm8=");
    ASSERT_EQ(codec.GetDecodedLength(), 2u);
    EXPECT_EQ(codec.GetDecoded()[2], 0);
    // Characters with the top bit set decode like the plain ones.
    EXPECT_EQ(Decoded("\xdam8="), "fo");
}

TEST(Base64Test, DecodingSkipsWhiteSpace)
{
    std::string bytes;
    for (int i = 0; i < 200; ++i)
        bytes += static_cast<char>(i * 7 + 3);
    std::string flat = Encoded(bytes);
    ASSERT_GT(flat.size(), 76u);
    std::string wrapped;
    for (size_t i = 0; i < flat.size(); i += 76)
        wrapped += flat.substr(i, 76) + "\r\n";
    wrapped = " \t" + wrapped.substr(0, 10) + " \v\f" + wrapped.substr(10) + "\a";
    EXPECT_EQ(Decoded(wrapped), bytes);
    EXPECT_EQ(Decoded(wrapped), Decoded(flat));
}

TEST(Base64Test, EveryByteAndLengthRoundTrips)
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    EXPECT_EQ(Decoded(Encoded(all)), all);

    CBase64 codec;
    for (size_t length = 0; length <= 70; ++length)
    {
        std::string input = all.substr(256 - length);
        codec.Encode(reinterpret_cast<const unsigned char*>(input.data()),
                     static_cast<uint32_t>(length));
        EXPECT_EQ(codec.GetEncodedLength(), (length + 2) / 3 * 4) << "length " << length;
        std::string text = codec.GetEncoded();
        codec.DecodeString(text.c_str());
        ASSERT_EQ(codec.GetDecodedLength(), length);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(codec.GetDecoded()), length), input);
    }
}
