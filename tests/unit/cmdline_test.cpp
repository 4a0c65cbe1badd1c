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

TEST(ManagedOptionsTest, LayoutAndSourceTakeAFolder)
{
    struct
    {
        const wchar_t* szCommandLine;
        DWORD dwResult;
        const wchar_t* szLayout;
        const wchar_t* szSource;
    } const rgCases[] = {
        {L"/layout D:\\lay /quiet", 0, L"D:\\lay", L""},
        {L"-LAYOUT \"C:\\a b\"", 0, L"C:\\a b", L""},
        {L"/passive /source \\\\srv\\share", 0, L"", L"\\\\srv\\share"},
        {L"/layout", ERROR_BAD_ARGUMENTS, L"", L""},
        {L"/quiet /source", ERROR_BAD_ARGUMENTS, L"", L""},
    };
    for (const auto& c : rgCases)
    {
        ManagedOptions options;
        EXPECT_EQ(c.dwResult, ParseManagedOptions(c.szCommandLine, &options)) << c.szCommandLine;
        EXPECT_TRUE(options.fPresent) << c.szCommandLine;
        EXPECT_EQ(std::wstring(c.szLayout), options.strLayoutFolder) << c.szCommandLine;
        EXPECT_EQ(std::wstring(c.szSource), options.strSourceFolder) << c.szCommandLine;
    }
}

TEST(ManagedOptionsTest, SwitchesInAnyOrderCaseAndPrefix)
{
    struct
    {
        const wchar_t* szCommandLine;
        DWORD dwResult;
        bool fPresent, fQuiet, fPassive, fNoRestart, fForceRestart, fAdmin, fRestarted;
        const wchar_t* szLog;
    } const rgCases[] = {
        {L"", 0, false, false, false, false, false, false, false, L""},
        {L"/rsar", 0, false, false, false, false, false, false, false, L""},
        {L"/quiet", 0, true, true, false, false, false, false, false, L""},
        {L"-Q /NoRestart", 0, true, true, false, true, false, false, false, L""},
        {L"/passive /forcerestart /a", 0, true, false, true, false, true, true, false, L""},
        {L"/rsar /quiet /log \"C:\\a b\\s.log\"", 0, true, true, false, false, false, false, true, L"C:\\a b\\s.log"},
        {L"/log C:\\x\\setup.log", 0, true, false, false, false, false, false, false, L"C:\\x\\setup.log"},
        // Errors keep the unattended flags, so that no box is shown.
        {L"/quiet /log", ERROR_BAD_ARGUMENTS, true, true, false, false, false, false, false, L""},
        {L"/quiet /x", ERROR_BAD_ARGUMENTS, true, true, false, false, false, false, false, L""},
        {L"/passive \"/quiet\"", ERROR_BAD_ARGUMENTS, true, false, true, false, false, false, false, L""},
        {L"/quiet /RSAR", ERROR_BAD_ARGUMENTS, true, true, false, false, false, false, false, L""},
        {L"/norestart extra", ERROR_BAD_ARGUMENTS, true, false, false, true, false, false, false, L""},
        // "/v" and "/?" keep their rules; so does a line without a new switch.
        {L"/v /quiet", 0, false, false, false, false, false, false, false, L""},
        {L"/? /quiet", 0, false, false, false, false, false, false, false, L""},
        {L"/a c:\\admin", 0, false, false, false, false, false, false, false, L""},
    };
    for (const auto& c : rgCases)
    {
        ManagedOptions options;
        EXPECT_EQ(c.dwResult, ParseManagedOptions(c.szCommandLine, &options)) << c.szCommandLine;
        EXPECT_EQ(c.fPresent, options.fPresent) << c.szCommandLine;
        EXPECT_EQ(c.fQuiet, options.fQuiet) << c.szCommandLine;
        EXPECT_EQ(c.fPassive, options.fPassive) << c.szCommandLine;
        EXPECT_EQ(c.fNoRestart, options.fNoRestart) << c.szCommandLine;
        EXPECT_EQ(c.fForceRestart, options.fForceRestart) << c.szCommandLine;
        if (c.dwResult == 0)
        {
            EXPECT_EQ(c.fAdmin, options.fAdmin) << c.szCommandLine;
            EXPECT_EQ(c.fRestarted, options.fRestarted) << c.szCommandLine;
            EXPECT_EQ(std::wstring(c.szLog), options.strLogPath) << c.szCommandLine;
        }
    }
    // A restarted unattended run is unattended again, with its own log.
    ManagedOptions options;
    ASSERT_EQ(0u, ParseManagedOptions(L"-quiet -norestart -log C:\\x.log", &options));
    EXPECT_EQ(L"/rsar /quiet /norestart /log \"C:\\x.log\"", ComposeRestartCommandLine(options));
    ManagedOptions again;
    ASSERT_EQ(0u, ParseManagedOptions(ComposeRestartCommandLine(options).c_str(), &again));
    EXPECT_TRUE(again.fQuiet && again.fNoRestart && again.fRestarted);
    EXPECT_EQ(L"C:\\x.log", again.strLogPath);
}
