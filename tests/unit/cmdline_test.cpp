#include "app/cmdline.h"
#include <gtest/gtest.h>
#include <string>

TEST(RunModeTest, ClassifiesTheFirstToken)
{
    struct
    {
        const wchar_t* szCommandLine;
        RunMode nMode;
        bool fRestart;
    } const rgCases[] = {
        {L"", RunNormal, false},
        {L" \t  ", RunNormal, false},
        {L"/rsar", RunNormal, true},
        {L"  /rsar extra", RunNormal, true},
        {L"/RSAR", RunUsage, false},
        {L"/?", RunUsage, false},
        {L"/x", RunUsage, false},
        {L"/va", RunUsage, false},
        {L"a", RunUsage, false},
        {L"--a", RunUsage, false},
        {L"\"/a\"", RunUsage, false},
        {L"/a", RunAdmin, false},
        {L"-A", RunAdmin, false},
        {L"/A c:\\admin", RunAdmin, false},
        {L"/v file", RunVerify, false},
        {L"-V \"c:\\a b\\c.exe\"", RunVerify, false},
        {L"/v\tfile /rsar", RunVerify, true},
        {L"x/rsar", RunUsage, true},
    };
    for (const auto& c : rgCases)
    {
        std::wstring strLine(c.szCommandLine);
        EXPECT_EQ(c.nMode, GetRunMode(&strLine[0])) << c.szCommandLine;
        EXPECT_EQ(c.fRestart, HasRestartOption(strLine.c_str())) << c.szCommandLine;
    }
}

TEST(NextTokenTest, FindsQuotedAndUnquotedTokens)
{
    struct
    {
        const wchar_t* szText;
        DWORD dwResult;
        const wchar_t* szToken;
        bool fQuoted;
    } const rgCases[] = {
        {L"", ERROR_NO_MORE_ITEMS, nullptr, false},
        {L" \t", ERROR_NO_MORE_ITEMS, nullptr, false},
        {L"  abc def", ERROR_SUCCESS, L"abc", false},
        {L"\"a b\" c", ERROR_SUCCESS, L"a b", true},
        {L"\"a b", ERROR_SUCCESS, L"a b", true},
        {L"a\"b\" c", ERROR_SUCCESS, L"a\"b\"", false},
        {L"\tx", ERROR_SUCCESS, L"x", false},
    };
    for (const auto& c : rgCases)
    {
        std::wstring strText(c.szText);
        LPWSTR pStart = nullptr;
        LPWSTR pLast = nullptr;
        bool fQuoted = false;
        ASSERT_EQ(c.dwResult, NextToken(&strText[0], &pStart, &pLast, &fQuoted)) << c.szText;
        if (c.szToken)
        {
            EXPECT_EQ(std::wstring(c.szToken), std::wstring(pStart, pLast + 1)) << c.szText;
            EXPECT_EQ(c.fQuoted, fQuoted) << c.szText;
        }
    }
    LPWSTR pStart = nullptr;
    LPWSTR pLast = nullptr;
    bool fQuoted = false;
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), NextToken(nullptr, &pStart, &pLast, &fQuoted));
}

TEST(CheckArgsTest, AdminAndVerifyArguments)
{
    struct
    {
        const wchar_t* szCommandLine;
        bool fVerify;
        DWORD dwResult;
        const wchar_t* szRest;  // the command line after the check, up to its first NUL
    } const rgCases[] = {
        {L"/a", false, ERROR_SUCCESS, L"/a"},
        {L"/a  ", false, ERROR_SUCCESS, L"/a  "},
        {L"/a c:\\x", false, ERROR_BAD_ARGUMENTS, L"/a c:\\x"},
        {L"/v", true, ERROR_BAD_ARGUMENTS, L"/v"},
        {L"/v  ", true, ERROR_BAD_ARGUMENTS, L"/v  "},
        {L"/v a b", true, ERROR_BAD_ARGUMENTS, L"/v a b"},
        {L"/v \"c:\\a b\\f.exe\"", true, static_cast<DWORD>(TRUST_E_SUBJECT_NOT_TRUSTED), L"/v \"c:\\a b\\f.exe"},
        {L"/v\tc:\\f.exe  ", true, static_cast<DWORD>(TRUST_E_SUBJECT_NOT_TRUSTED), L"/v\tc:\\f.exe"},
    };
    for (const auto& c : rgCases)
    {
        std::wstring strLine(c.szCommandLine);
        DWORD dwResult = c.fVerify ? CheckVerifyArgs(L"C:\\setup.exe", &strLine[0]) : CheckAdminArgs(&strLine[0]);
        EXPECT_EQ(c.dwResult, dwResult) << c.szCommandLine;
        EXPECT_STREQ(c.szRest, strLine.c_str()) << c.szCommandLine;
    }
}
