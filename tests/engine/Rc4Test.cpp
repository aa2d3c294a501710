#include "engine/Rc4.h"

#include "tests/support/StoredFormReference.h"

#include <gtest/gtest.h>

#include <cstring>

using reference::Bytes;

namespace
{
Bytes Crypt(const std::string& key, Bytes data)
{
    Rc4Crypt(data.data(), data.size(), key.data(), key.size());
    return data;
}
} // namespace

TEST(Rc4Test, MatchesThePublishedVectors)
{
    EXPECT_EQ(reference::Hex(Crypt("Key", reference::FromText("Plaintext"))), "bbf316e8d940af0ad3");
    EXPECT_EQ(reference::Hex(Crypt("Wiki", reference::FromText("pedia"))), "1021bf0420");
    EXPECT_EQ(reference::Hex(Crypt("Secret", reference::FromText("Attack at dawn"))),
              "45a01f645fc35b383552544b9bf5");
    EXPECT_EQ(reference::Hex(Crypt("secret", Bytes(16, 0))), "ed36d21c82a4d6a632cbbbdcf3e6f537");
}

TEST(Rc4Test, AgreesWithTheTextbookCipherForEveryKeyLength)
{
    const Bytes data = reference::Random(20000, 7);
    // Lengths that divide 256 and lengths that do not, up to the longest
    // password the profile holds and past it.
    for (const std::string& key : std::vector<std::string>{
             "a", "ab", "abc", "abcd", "secret", "0123456789abcdefghij",
             std::string(255, 'k') + "z", std::string(256, 'q'), std::string(300, 'w') + "tail"})
    {
        EXPECT_EQ(Crypt(key, data), reference::Rc4(key, data)) << "key length " << key.size();
    }
    // Key bytes above 127 are unsigned in the key schedule.
    const std::string high = "\xff\x80\x81pass\xfe";
    EXPECT_EQ(Crypt(high, data), reference::Rc4(high, data));
}

TEST(Rc4Test, EveryCallStartsAFreshKeystreamAndDecrypts)
{
    const Bytes data = reference::Text(5000, 3);
    Bytes a = data;
    Rc4Crypt(a.data(), a.size(), "pw", 2);
    Bytes b = data;
    Rc4Crypt(b.data(), b.size(), "pw", 2);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, data);
    Rc4Crypt(a.data(), a.size(), "pw", 2);
    EXPECT_EQ(a, data);
}

TEST(Rc4Test, EmptyKeyOrEmptyBufferChangesNothing)
{
    Bytes data = reference::Random(64, 1);
    const Bytes before = data;
    Rc4Crypt(data.data(), data.size(), "", 0);
    EXPECT_EQ(data, before);
    Rc4Crypt(data.data(), 0, "key", 3);
    EXPECT_EQ(data, before);
}
