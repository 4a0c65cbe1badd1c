#include "checks/syschecks.h"
#include <gtest/gtest.h>

TEST(SystemChecksTest, InternetExplorerVersionTexts)
{
    struct
    {
        const wchar_t* szVersion;
        bool fSupported;
    } const rgCases[] = {
        {L"5.50.4807.2300", false}, {L"6.0.2600.0000", true},  {L"6.0.2462.0000", false},
        {L"6.0.2900.2180", true},   {L"7.0.5730.13", true},    {L"8.0.6001.18702", true},
        {L"6.0.2600", false},       {L".6.0.2600.0", false},   {L"9", false},
        {L"", false},               {L"9.11.9600.18376", true}, {L"00000000000000000007.0", false},
        {L"0000000000000000007.0", true}, {L"6.0.0000000000000000002600.0", false},
        {L"6.0.000000000000002600.0", true},
    };
    for (const auto& c : rgCases)
    {
        EXPECT_EQ(c.fSupported, IsIeVersionSupported(c.szVersion)) << c.szVersion;
    }
}

TEST(SystemChecksTest, DiskSpaceMustExceedTheSumOfTheList)
{
    CPackageInfo rgPackages[3];
    rgPackages[0].dwDiskSpace = 157286400;
    rgPackages[1].dwDiskSpace = 62914560;
    rgPackages[2].dwDiskSpace = 524288000;
    rgPackages[0].pNext = &rgPackages[1];
    rgPackages[1].pNext = &rgPackages[2];
    const ULONGLONG ullSum = 157286400ull + 62914560ull + 524288000ull;
    EXPECT_TRUE(IsDiskSpaceSufficient(ullSum + 1, rgPackages));
    EXPECT_FALSE(IsDiskSpaceSufficient(ullSum, rgPackages));
    EXPECT_FALSE(IsDiskSpaceSufficient(0, nullptr));
    // Sizes past 4 GiB in sum do not wrap.
    rgPackages[0].dwDiskSpace = 0xFFFFFFFFu;
    rgPackages[1].dwDiskSpace = 0xFFFFFFFFu;
    EXPECT_FALSE(IsDiskSpaceSufficient(0x100000000ull, rgPackages));
    EXPECT_TRUE(IsDiskSpaceSufficient(0x1FFFFFFFFull + 524288000ull, rgPackages));
    EXPECT_TRUE(IsDiskSpaceSufficient(1, nullptr));
    for (CPackageInfo& package : rgPackages)
    {
        package.pNext = nullptr;
    }
}

TEST(SystemChecksTest, TheTestMachinePassesEveryCheck)
{
    EXPECT_TRUE(IsOsSupported());
    EXPECT_TRUE(IsWindowsVersionAtLeast(1));
    EXPECT_TRUE(IsWindowsVersionAtLeast(2));
    EXPECT_TRUE(IsBrowserSupported());
    EXPECT_TRUE(HasEnoughDiskSpace(nullptr));
}
