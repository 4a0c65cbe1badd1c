#include "app/exitcode.h"
#include <gtest/gtest.h>

TEST(ExitCodeTest, DeploymentToolsReadTheOutcome)
{
    CPackageInfo downloadFailed;
    downloadFailed.nStatus.store(StatusDownloadFailed);
    downloadFailed.dwError.store(0x800C0005);
    CPackageInfo msiFailed;
    msiFailed.nStatus.store(StatusInstallFailed);
    msiFailed.dwError.store(1625);
    CPackageInfo programFailed;
    programFailed.nStatus.store(StatusInstallFailed);
    programFailed.dwError.store(5);
    struct
    {
        const char* szCase;
        RunOutcome outcome;
        DWORD dwExitCode;
    } const rgCases[] = {
        {"all installed", {true, false, false, false, false, false, false, nullptr}, 0},
        {"restart needed", {true, false, false, false, false, true, false, nullptr}, 3010},
        {"restart started", {true, false, false, false, false, true, true, nullptr}, 1641},
        {"cancelled", {true, true, false, false, false, false, false, &downloadFailed}, 1602},
        {"already running", {false, false, false, true, false, false, false, nullptr}, 1618},
        {"system check", {false, false, true, false, false, false, false, nullptr}, 1603},
        {"manifest fault", {false, false, false, false, false, false, false, nullptr}, 1603},
        {"download failed", {true, false, false, false, false, false, false, &downloadFailed}, 1603},
        {"installer code", {true, false, false, false, false, true, false, &msiFailed}, 1625},
        {"program code", {true, false, false, false, false, false, false, &programFailed}, 1603},
        {"bad command line", {false, false, false, false, true, false, false, nullptr}, 87},
    };
    for (const auto& c : rgCases)
    {
        EXPECT_EQ(c.dwExitCode, ChooseExitCode(c.outcome)) << c.szCase;
    }
    // The first failure in list order decides.
    msiFailed.pNext = &downloadFailed;
    CPackageInfo installed;
    installed.nStatus.store(StatusInstalled);
    installed.pNext = &msiFailed;
    EXPECT_EQ(&msiFailed, FindFirstFailure(&installed));
    msiFailed.pNext = nullptr;
    installed.pNext = nullptr;
    EXPECT_EQ(nullptr, FindFirstFailure(&installed));
    EXPECT_STREQ(L"installed; a restart is needed and was not made", DescribeExitCode(3010));
}
