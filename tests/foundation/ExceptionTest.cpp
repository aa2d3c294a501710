#include "foundation/Array.h"
#include "foundation/Exception.h"
#include "foundation/Module.h"

#include <gtest/gtest.h>

#include <climits>

namespace
{
int Refs(const CString& s)
{
    return reinterpret_cast<const int*>(static_cast<const char*>(s))[-3];
}
} // namespace

TEST(ExceptionTest, CarriesTheCodeAndTheSystemText)
{
    CFileException e(ERROR_ACCESS_DENIED);
    CString expected;
    expected.FormatErrorMessage(ERROR_ACCESS_DENIED);
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(e.GetErrorText().IsEmpty());
    EXPECT_STREQ(e.GetErrorText(), expected);

    CException unknown(0x3FFFFFF1);
    EXPECT_STREQ(unknown.GetErrorText(), "Error 1073741809 occured.");

    // A copy shares the message.
    CException copy(e);
    EXPECT_EQ(copy.GetErrorCode(), e.GetErrorCode());
    EXPECT_EQ(static_cast<const char*>(copy.GetErrorText()),
              static_cast<const char*>(e.GetErrorText()));
    EXPECT_EQ(Refs(e.GetErrorText()), 2);
}

TEST(ExceptionTest, ExhaustedMemoryRaisesCodeEightAndArraysStayAsTheyWere)
{
    GetModuleState();
    struct Gigabyte
    {
        char bytes[1 << 30];
    };
    CSimpleArray<Gigabyte> array;
    DWORD code = 0;
    CString text;
    try
    {
        array.SetSize(INT_MAX); // 2 EiB: no allocator gives that
    }
    catch (const CException& e)
    {
        code = e.GetErrorCode();
        text = e.GetErrorText();
    }
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    CString expected;
    expected.FormatErrorMessage(ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_STREQ(text, expected);
    EXPECT_EQ(array.GetSize(), 0);
    EXPECT_EQ(array.GetCapacity(), 0);

    // The finder and other result-reporting functions turn it into false.
    EXPECT_FALSE(TryAllocate([] { CSimpleArray<Gigabyte>().SetSize(INT_MAX); }));
    EXPECT_TRUE(TryAllocate([] {}));
}
