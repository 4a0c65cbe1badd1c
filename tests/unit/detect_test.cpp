#include "manifest/detect.h"
#include "platform/overrides.h"
#include "support/tracecapture.h"
#include <gtest/gtest.h>
#include <string>

TEST(VersionTest, ParsesOnlyFourNumericParts)
{
    struct
    {
        const wchar_t* szText;
        bool fValid;
    } const rgCases[] = {
        {L"1.0.0.5", true}, {L"2.0.0.0", true},    {L"1..0.", true},     {L"1.0.5", false},
        {L"1.0.0.5.1", false}, {L"1.0.0.5b", false}, {L"", false},       {L"...", true},
        {L"1.0.0.-5", false}, {L" 1.0.0.5", false},
    };
    for (const auto& c : rgCases)
    {
        std::wstring rgParts[4];
        EXPECT_EQ(c.fValid, ParseVersion(c.szText, rgParts)) << c.szText;
    }
    std::wstring rgParts[4];
    ASSERT_TRUE(ParseVersion(L"10.20.30.40", rgParts));
    EXPECT_EQ(L"10", rgParts[0]);
    EXPECT_EQ(L"40", rgParts[3]);
}

TEST(VersionTest, TheFirstDifferingPartDecides)
{
    struct
    {
        const wchar_t* szOnline;
        const wchar_t* szLocal;
        bool fNewer;
    } const rgCases[] = {
        {L"1.0.0.6", L"1.0.0.5", true},  {L"1.0.0.5", L"1.0.0.5", false}, {L"1.5.0.0", L"2.0.0.0", false},
        {L"2.0.0.0", L"1.5.0.0", true},  {L"1.10.0.0", L"1.9.0.0", true}, {L"1..0.1", L"1.0.0.0", true},
        {L"0.9.9.9", L"1.0.0.0", false},
    };
    for (const auto& c : rgCases)
    {
        std::wstring rgOnline[4];
        std::wstring rgLocal[4];
        ASSERT_TRUE(ParseVersion(c.szOnline, rgOnline));
        ASSERT_TRUE(ParseVersion(c.szLocal, rgLocal));
        EXPECT_EQ(c.fNewer, IsVersionNewer(rgOnline, rgLocal)) << c.szOnline << " vs " << c.szLocal;
    }
}

TEST(VersionTest, OnlineVersionIsAfterTheLastHashOfTheFirstWord)
{
    struct
    {
        const char* szFile;
        const wchar_t* szVersion;
    } const rgCases[] = {
        {"#1.0.0.6", L"1.0.0.6"},     {"#1.0.0.6\r\n", L"1.0.0.6"},     {"  \t#2.0.0.0 rest", L"2.0.0.0"},
        {"a#b#1.2.3.4", L"1.2.3.4"},  {"version #1.0.0.6", L""},        {"1.0.0.6", L""},
        {"", L""},
    };
    for (const auto& c : rgCases)
    {
        EXPECT_EQ(std::wstring(c.szVersion), ExtractOnlineVersion(c.szFile)) << c.szFile;
    }
}

TEST(DetectionTest, TheWineMachineHasTheBuiltInParserAndDirectX)
{
    EXPECT_TRUE(IsXmlParserInstalled());
    EXPECT_TRUE(IsDirectXInstalled());
    EXPECT_FALSE(IsDotNet35Installed());
    CPackageInfo package;
    WCHAR szKey[] = L"MSXML6";
    package.szKey = szKey;
    EXPECT_TRUE(IsPackageInstalled(&package));
    WCHAR szTessal[] = L"TESSAL";
    WCHAR szCode[] = L"{6E2A94C1-5B07-4D3F-A1C8-92F0D47B3E65}";
    package.szKey = szTessal;
    package.szProductCode = szCode;
    EXPECT_FALSE(IsPackageInstalled(&package));
    package.szKey = nullptr;
    package.szProductCode = nullptr;
}

TEST(DetectionTest, DotNetNeedsAServicePack)
{
    const wchar_t szPath[] = L"Software\\Microsoft\\NET Framework Setup\\NDP\\V3.5";
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, szPath, 0, nullptr, 0, KEY_WRITE, nullptr, &hKey,
                                             nullptr));
    for (DWORD dwServicePack : {0u, 1u})
    {
        RegSetValueExW(hKey, L"SP", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwServicePack), sizeof(DWORD));
        EXPECT_EQ(dwServicePack != 0, IsDotNet35Installed()) << dwServicePack;
    }
    RegCloseKey(hKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, szPath);
    EXPECT_FALSE(IsDotNet35Installed());
}

namespace
{
INSTALLSTATE g_nProductState = INSTALLSTATE_UNKNOWN;

INSTALLSTATE WINAPI AnswerProductState(LPCWSTR)
{
    return g_nProductState;
}
}

TEST(DetectionTest, OnlyAProductInstalledForUseCountsAsPresent)
{
    struct
    {
        INSTALLSTATE nState;
        bool fInstalled;
    } const rgCases[] = {
        {INSTALLSTATE_DEFAULT, true},   {INSTALLSTATE_ADVERTISED, false}, {INSTALLSTATE_ABSENT, false},
        {INSTALLSTATE_UNKNOWN, false},  {INSTALLSTATE_INVALIDARG, false}, {INSTALLSTATE_BADCONFIG, false},
    };
    g_overrides.pfnMsiQueryProductStateW = AnswerProductState;
    for (const auto& c : rgCases)
    {
        g_nProductState = c.nState;
        EXPECT_EQ(c.fInstalled, IsProductInstalled(L"{6E2A94C1-5B07-4D3F-A1C8-92F0D47B3E65}")) << c.nState;
    }
    EXPECT_FALSE(IsProductInstalled(L""));
    EXPECT_FALSE(IsProductInstalled(nullptr));
    ResetPlatformOverrides();
}

TEST(DetectionTest, TheDotNetKeyCountsInTheOwnAndTheNativeView)
{
    // The setup's own view and the 64-bit view: for the shipped 32-bit setup
    // that is either view; a 64-bit build does not look into the 32-bit one.
    const wchar_t szPath[] = L"Software\\Microsoft\\NET Framework Setup\\NDP\\V3.5";
    for (REGSAM samView : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
    {
        HKEY hKey = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, szPath, 0, nullptr, 0, KEY_WRITE | samView,
                                                 nullptr, &hKey, nullptr));
        DWORD dwServicePack = 1;
        RegSetValueExW(hKey, L"SP", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwServicePack), sizeof(DWORD));
        RegCloseKey(hKey);
        bool fSeen = samView == KEY_WOW64_64KEY || sizeof(void*) == 4;
        EXPECT_EQ(fSeen, IsDotNet35Installed()) << samView;
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, szPath, samView, 0);
        EXPECT_FALSE(IsDotNet35Installed()) << samView;
    }
}
