#include "foundation/Ini.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

static_assert(!std::is_copy_constructible_v<CIni>);

TEST(IniTest, ValuesOfEveryLengthReadBackWhole)
{
    TempFolder dir("ini");
    CIni ini(dir / "long.ini");
    for (int length : {0, 1, 510, 511, 512, 1023, 1024, 1025, 5000})
    {
        std::string value(static_cast<size_t>(length), 'v');
        if (length > 2)
            value[static_cast<size_t>(length) - 1] = 'E'; // a cut would lose it
        ASSERT_TRUE(ini.WriteString("Language", "DL_N_101_36", value.c_str()));
        CString read;
        ini.GetString(read, "Language", "DL_N_101_36", "default");
        EXPECT_EQ(read.GetLength(), length);
        EXPECT_STREQ(read, value.c_str()) << "length " << length;
    }
}

TEST(IniTest, MissingValuesReadAsTheirDefaults)
{
    TempFolder dir("ini");
    CIni ini(dir / "settings.ini");
    ASSERT_TRUE(ini.WriteString("Skin", "Directory", "Metalbrown"));

    CString value;
    EXPECT_STREQ(ini.GetString(value, "Skin", "Directory", "Default"), "Metalbrown");
    EXPECT_STREQ(ini.GetString(value, "skin", "DIRECTORY", "Default"), "Metalbrown");
    EXPECT_STREQ(ini.GetString(value, "Skin", "Missing", "Default"), "Default");
    EXPECT_STREQ(ini.GetString(value, "Nowhere", "Directory", "English"), "English");
    EXPECT_STREQ(ini.GetString(value, "Skin", nullptr, "fallback"), "fallback");
    ini.GetString(value, "Skin", "Missing", nullptr);
    EXPECT_TRUE(value.IsEmpty());

    CIni absent(dir / "absent.ini");
    EXPECT_STREQ(absent.GetString(value, "Skin", "Directory", "Default"), "Default");
    EXPECT_EQ(absent.GetInt("Color", "BUTTON_R", 255), 255);

    std::unique_ptr<char[]> raw(ini.GetRawString(nullptr, "Directory", "copy"));
    ASSERT_NE(raw, nullptr);
    EXPECT_STREQ(raw.get(), "copy");
}

TEST(IniTest, IntegersFollowTheRadixAndOverflowRules)
{
    TempFolder dir("ini");
    CIni ini(dir / "numbers.ini");
    struct Case
    {
        const char* text;
        int radix;
        int expected;
    } cases[] = {
        {"0x1F", 16, 31},
        {"0x1F", 7, 0}, // radix 7 becomes 10: "0", then x stops
        {"1F", 16, 31},
        {"ff", 16, 255},
        {"FFFFFFFF", 16, -1},
        {"-0x10", 16, -16},
        {"12abc", 10, 12},
        {"+12", 10, 12},
        {"101", 2, 5},
        {"777", 8, 511},
        {"789", 8, 7},
        {"-1", 10, -1},
        {"4294967295", 10, -1},
        {"4294967296", 10, -1},      // overflow gives 4294967295
        {"-99999999999", 10, -1},    // overflow, whatever the sign
        {"2147483648", 10, INT_MIN}, // the same bits as a 32-bit number
        {"abc", 10, 0},              // a value without digits is 0, not the default
        {"-", 10, 0},
        {"42", 0, 42},
        {"42", 36, 42},
    };
    for (const Case& c : cases)
    {
        ASSERT_TRUE(ini.WriteString("Color", "VALUE", c.text));
        EXPECT_EQ(ini.GetInt("Color", "VALUE", 1234, c.radix), c.expected)
            << c.text << " radix " << c.radix;
    }

    // An empty value and a missing key give the default unchanged.
    ASSERT_TRUE(ini.WriteString("Color", "VALUE", ""));
    EXPECT_EQ(ini.GetInt("Color", "VALUE", 1234), 1234);
    EXPECT_EQ(ini.GetInt("Color", "NONE", -5), -5);

    // Only the first 64 characters count.
    std::string seventy = std::string(63, '0') + "7" + "999999";
    ASSERT_EQ(seventy.size(), 70u);
    ASSERT_TRUE(ini.WriteString("Color", "VALUE", seventy.c_str()));
    EXPECT_EQ(ini.GetInt("Color", "VALUE", 1234), 7);

    EXPECT_EQ(CIni::NormalizeRadix(2), 2);
    EXPECT_EQ(CIni::NormalizeRadix(8), 8);
    EXPECT_EQ(CIni::NormalizeRadix(16), 16);
    EXPECT_EQ(CIni::NormalizeRadix(7), 10);
    EXPECT_EQ(CIni::NormalizeRadix(-16), 10);
}

TEST(IniTest, KeyExistsAndWritesOfNullValues)
{
    TempFolder dir("ini");
    CString path = dir / "keys.ini";
    CIni ini(path);
    ASSERT_TRUE(ini.WriteString("Skin", "Empty", ""));
    ASSERT_TRUE(ini.WriteString("Skin", "Null", nullptr)); // written empty, not deleted
    ASSERT_TRUE(ini.WriteString("Skin", "Odd", "{63788286-AE30-4D6B-95DF-3B451C1C79F9}"));

    EXPECT_TRUE(ini.KeyExists("Skin", "Empty"));
    EXPECT_TRUE(ini.KeyExists("Skin", "Null"));
    EXPECT_FALSE(ini.KeyExists("Skin", "Missing"));
    EXPECT_FALSE(ini.KeyExists("Nowhere", "Empty"));
    EXPECT_FALSE(ini.KeyExists("Skin", "Odd")); // the sentinel itself reads as missing
    EXPECT_FALSE(ini.KeyExists(nullptr, "Empty"));
    EXPECT_FALSE(CIni(dir / "absent.ini").KeyExists("Skin", "Empty"));

    CString content = ReadTextFile(path);
    EXPECT_GE(content.Find("Null="), 0);

    // A null section or key writes nothing.
    EXPECT_FALSE(ini.WriteString(nullptr, "Key", "v"));
    EXPECT_FALSE(ini.WriteString("Skin", nullptr, "v"));
    EXPECT_STREQ(ReadTextFile(path), content);
}

TEST(IniTest, WithoutAPathNothingIsReadOrWritten)
{
    TempFolder dir("ini");
    CString path = dir / "settings.ini";
    CIni ini(path);
    ASSERT_TRUE(ini.WriteString("Skin", "Directory", "Metalbrown"));

    ini.SetPathName(nullptr);
    EXPECT_STREQ(ini.GetPathName(), "");
    CString value;
    EXPECT_STREQ(ini.GetString(value, "Skin", "Directory", "Default"), "Default");
    EXPECT_FALSE(ini.KeyExists("Skin", "Directory"));
    EXPECT_FALSE(ini.WriteString("Skin", "Directory", "Other"));

    // A default-constructed object does not reach win.ini either.
    CIni none;
    EXPECT_FALSE(none.WriteString("BrindlewoxTest", "Key", "value"));
    EXPECT_STREQ(none.GetString(value, "BrindlewoxTest", "Key", "dflt"), "dflt");
    EXPECT_EQ(GetProfileIntA("BrindlewoxTest", "Key", 99), 99u);

    ini.SetPathName(path);
    EXPECT_STREQ(ini.GetString(value, "Skin", "Directory", "Default"), "Metalbrown");
}

TEST(IniTest, SectionNamesInFileOrder)
{
    TempFolder dir("ini");
    CIni ini(dir / "sections.ini");
    for (int i = 0; i < 100; ++i)
    {
        CString section;
        section.Format("Section_%03d", i);
        ASSERT_TRUE(ini.WriteString(section, "k", "v"));
    }
    // 100 names of 11 characters and their terminators: more than 512 bytes.
    EXPECT_EQ(ini.GetSectionNames(nullptr, 0), 100u * 12 + 2);

    CSimpleArray<CString*> names;
    ASSERT_TRUE(ini.GetSectionNames(names));
    ASSERT_EQ(names.GetSize(), 100);
    for (int i = 0; i < names.GetSize(); ++i)
    {
        CString expected;
        expected.Format("Section_%03d", i);
        EXPECT_STREQ(*names[i], expected);
        delete names[i];
    }
    names.SetSize(0);

    // The callback walk stops at the first 0.
    const char list[] = "a\0b\0c\0";
    int seen = 0;
    auto countTwo = [](const char*, void* context) -> int
    { return ++*static_cast<int*>(context) < 2 ? 1 : 0; };
    EXPECT_EQ(CIni::ForEachMultiString(list, countTwo, &seen), 0);
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(CIni::ForEachMultiString(nullptr, countTwo, &seen), 0);
    EXPECT_EQ(CIni::AddSectionName(nullptr, &names), 0);
    EXPECT_EQ(names.GetSize(), 0);
}
