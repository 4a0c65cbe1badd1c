#include "engine/download.h"
#include "engine/exec.h"
#include "engine/install.h"
#include <gtest/gtest.h>

TEST(PackageUrlTest, OneSlashBetweenBaseAndPath)
{
    struct
    {
        const wchar_t* szBase;
        const wchar_t* szInstall;
        const wchar_t* szUrl;
    } const rgCases[] = {
        {L"http://h/esd/en/tessal/installfiles", L"VC9/vcredist_x86.exe", L"http://h/esd/en/tessal/installfiles/VC9/vcredist_x86.exe"},
        {L"http://h/base/", L"VC9/vcredist_x86.exe", L"http://h/base/VC9/vcredist_x86.exe"},
        {L"http://h/base", L"TESSAL\\TESSAL.zip", L"http://h/base/TESSAL\\TESSAL.zip"},
        {L"", L"a.exe", L"/a.exe"},
    };
    for (const auto& c : rgCases)
    {
        WCHAR szUrl[128] = {};
        ASSERT_TRUE(ComposePackageUrl(c.szBase, c.szInstall, szUrl, 128)) << c.szUrl;
        EXPECT_STREQ(c.szUrl, szUrl);
    }
    WCHAR szSmall[8] = {};
    EXPECT_FALSE(ComposePackageUrl(L"http://h", L"a.exe", szSmall, 8));
}

TEST(ProgramPackageTest, CommandLineAndExitCodes)
{
    WCHAR szLine[128] = {};
    ASSERT_TRUE(ComposeProgramCommandLine(L"C:\\a b\\vcredist_x86.exe", L"/Q", szLine, 128));
    EXPECT_STREQ(L"\"C:\\a b\\vcredist_x86.exe\" /Q", szLine);
    ASSERT_TRUE(ComposeProgramCommandLine(L"C:\\x.exe", nullptr, szLine, 128));
    EXPECT_STREQ(L"\"C:\\x.exe\" ", szLine);
    EXPECT_FALSE(ComposeProgramCommandLine(L"C:\\x.exe", L"/Q", szLine, 12));

    struct
    {
        DWORD dwExitCode;
        DWORD dwResult;
        bool fReboot;
    } const rgCases[] = {
        {0, 0, false}, {3010, 0, true}, {1605, 0, false}, {1614, 0, false}, {1641, 1641, false}, {1, 1, false},
    };
    for (const auto& c : rgCases)
    {
        bool fReboot = false;
        EXPECT_EQ(c.dwResult, JudgeProgramExitCode(c.dwExitCode, &fReboot)) << c.dwExitCode;
        EXPECT_EQ(c.fReboot, fReboot) << c.dwExitCode;
    }
}

TEST(InstallDispatchTest, ExtensionsInAnyCase)
{
    EXPECT_EQ(FileTypeMsi, GetPackageFileType(L".MSI"));
    EXPECT_EQ(FileTypeExe, GetPackageFileType(L".exe"));
    EXPECT_EQ(FileTypeZip, GetPackageFileType(L".Zip"));
    EXPECT_EQ(FileTypeUnknown, GetPackageFileType(L".msp"));
    EXPECT_EQ(FileTypeUnknown, GetPackageFileType(L""));
    EXPECT_EQ(FileTypeUnknown, GetPackageFileType(nullptr));
}
