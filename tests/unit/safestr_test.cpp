#include "diag/safestr.h"
#include <gtest/gtest.h>
#include <string>

namespace
{
constexpr WCHAR c_chUntouched = L'#';

struct CopyCase
{
    const wchar_t* szName;
    const wchar_t* szInitial;  // text already in the buffer (append only)
    const wchar_t* szSource;
    size_t cchCapacity;
    HRESULT hrExpected;
    const wchar_t* szExpected;
};

class SafeCopyTest : public ::testing::TestWithParam<CopyCase> {};
class SafeAppendTest : public ::testing::TestWithParam<CopyCase> {};

std::wstring FillBuffer(WCHAR (&rgBuffer)[16], const wchar_t* szInitial)
{
    for (WCHAR& ch : rgBuffer)
    {
        ch = c_chUntouched;
    }
    if (szInitial)
    {
        wcscpy(rgBuffer, szInitial);
    }
    return std::wstring(rgBuffer, 16);
}
}

TEST_P(SafeCopyTest, CopiesWithinCapacity)
{
    const CopyCase& c = GetParam();
    WCHAR rgBuffer[16];
    std::wstring strBefore = FillBuffer(rgBuffer, nullptr);
    EXPECT_EQ(c.hrExpected, SafeCopy(rgBuffer, c.cchCapacity, c.szSource)) << c.szName;
    if (c.szExpected)
    {
        EXPECT_STREQ(c.szExpected, rgBuffer) << c.szName;
        // Nothing past the capacity is written.
        for (size_t i = c.cchCapacity; i < 16; ++i)
        {
            EXPECT_EQ(c_chUntouched, rgBuffer[i]) << c.szName << " at " << i;
        }
    }
    else
    {
        EXPECT_EQ(strBefore, std::wstring(rgBuffer, 16)) << c.szName;
    }
}

INSTANTIATE_TEST_SUITE_P(Boundaries, SafeCopyTest,
                         ::testing::Values(CopyCase{L"capacity 0", nullptr, L"abc", 0, SAFE_E_INVALID_CAPACITY, nullptr},
                                           CopyCase{L"capacity too large", nullptr, L"abc", 0x80000000u,
                                                    SAFE_E_INVALID_CAPACITY, nullptr},
                                           CopyCase{L"exact fit", nullptr, L"abcde", 6, S_OK, L"abcde"},
                                           CopyCase{L"one over", nullptr, L"abcde", 5, SAFE_E_CUT_TO_FIT, L"abcd"},
                                           CopyCase{L"capacity 1", nullptr, L"abc", 1, SAFE_E_CUT_TO_FIT, L""},
                                           CopyCase{L"empty source", nullptr, L"", 1, S_OK, L""}));

TEST_P(SafeAppendTest, AppendsWithinCapacity)
{
    const CopyCase& c = GetParam();
    WCHAR rgBuffer[16];
    std::wstring strBefore = FillBuffer(rgBuffer, c.szInitial);
    EXPECT_EQ(c.hrExpected, SafeAppend(rgBuffer, c.cchCapacity, c.szSource)) << c.szName;
    if (c.szExpected)
    {
        EXPECT_STREQ(c.szExpected, rgBuffer) << c.szName;
    }
    else
    {
        EXPECT_EQ(strBefore, std::wstring(rgBuffer, 16)) << c.szName;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, SafeAppendTest,
    ::testing::Values(CopyCase{L"fits", L"abc", L"de", 6, S_OK, L"abcde"},
                      CopyCase{L"one over", L"abc", L"de", 5, SAFE_E_CUT_TO_FIT, L"abcd"},
                      CopyCase{L"full buffer", L"abcd", L"x", 5, SAFE_E_CUT_TO_FIT, L"abcd"},
                      CopyCase{L"no NUL within capacity", L"abcdef", L"x", 4, SAFE_E_INVALID_CAPACITY, nullptr},
                      CopyCase{L"capacity 0", L"ab", L"x", 0, SAFE_E_INVALID_CAPACITY, nullptr},
                      CopyCase{L"append empty", L"ab", L"", 3, S_OK, L"ab"}));

TEST(SafeFormatTest, FormatsAtBoundaries)
{
    struct
    {
        size_t cchCapacity;
        int nValue;
        HRESULT hrExpected;
        const wchar_t* szExpected;
    } const rgCases[] = {
        {5, 12345, SAFE_E_CUT_TO_FIT, L"1234"},
        {6, 12345, S_OK, L"12345"},
        {7, 12345, S_OK, L"12345"},
        {1, 7, SAFE_E_CUT_TO_FIT, L""},
    };
    for (const auto& c : rgCases)
    {
        WCHAR rgBuffer[16];
        for (WCHAR& ch : rgBuffer)
        {
            ch = c_chUntouched;
        }
        EXPECT_EQ(c.hrExpected, SafeFormat(rgBuffer, c.cchCapacity, L"%d", c.nValue)) << c.cchCapacity;
        EXPECT_STREQ(c.szExpected, rgBuffer) << c.cchCapacity;
        EXPECT_EQ(c_chUntouched, rgBuffer[c.cchCapacity]) << c.cchCapacity;
    }
}

TEST(SafeFormatTest, TakesWideStringsAndHex)
{
    WCHAR rgBuffer[64];
    ASSERT_EQ(S_OK, SafeFormat(rgBuffer, 64, L"[%s] %x %X %d", L"wide", 0xbeefu, 0xbeefu, -3));
    EXPECT_STREQ(L"[wide] beef BEEF -3", rgBuffer);
}

TEST(SafeFormatTest, CapacityZeroLeavesDestinationUntouched)
{
    WCHAR rgBuffer[4] = {L'x', L'y', L'z', L'\0'};
    EXPECT_EQ(SAFE_E_INVALID_CAPACITY, SafeFormat(rgBuffer, 0, L"%d", 1));
    EXPECT_STREQ(L"xyz", rgBuffer);
}

TEST(TextCompareTest, IgnoresCaseOnly)
{
    EXPECT_TRUE(IsTextEqualNoCase(L"install", L"INSTALL"));
    EXPECT_TRUE(IsTextEqualNoCase(L"Win64", L"WIN64"));
    EXPECT_FALSE(IsTextEqualNoCase(L"INSTALL ", L"INSTALL"));
    EXPECT_FALSE(IsTextEqualNoCase(L"", L"1"));
}
