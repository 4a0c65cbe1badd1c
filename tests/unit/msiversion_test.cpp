#include "checks/msiversion.h"
#include "platform/overrides.h"
#include "support/msioverride.h"
#include "support/testpaths.h"
#include "support/tracecapture.h"
#include <gtest/gtest.h>
#include <string>

TEST(FakeInstallerTest, ComparesTheInstalledVersionWithTheMinimum)
{
    struct
    {
        const wchar_t* szLibrary;  // stand-in copied to MSI.DLL; null: none there
        DWORD dwMinimum;
        bool fUpgrade;
        const wchar_t* szTrace;
    } const rgCases[] = {
        {L"fakemsi-3.1.dll", 301, false,
         L"[Info] No upgrade is necessary.  System version meets minimum requirements\n"},
        {L"fakemsi-3.0.dll", 301, true,
         L"[Info] Windows Installer upgrade is required.  System Version = 300, Minimum Version = 301.\n"},
        {L"fakemsi-4.5.dll", 301, false,
         L"[Info] No upgrade is necessary.  System version meets minimum requirements\n"},
        {L"fakemsi-4.5.dll", 406, true,
         L"[Info] Windows Installer upgrade is required.  System Version = 405, Minimum Version = 406.\n"},
        {L"fakemsi-2.100.dll", 301, true,
         L"[Info] Windows Installer upgrade is required.  System Version = 300, Minimum Version = 301.\n"},
        {L"fakemsi-2.100.dll", 300, false,
         L"[Info] No upgrade is necessary.  System version meets minimum requirements\n"},
        {nullptr, 150, true, L"[Info] Can't load msi.dll; assuming upgrade is necessary"},
    };
    for (const auto& c : rgCases)
    {
        CFakeSystemFolder folder(c.szLibrary);
        CScopedTraceSwitch traceSwitch(L"1");
        CTraceCapture capture;
        EXPECT_EQ(c.fUpgrade, IsMsiUpgradeNeeded(c.dwMinimum)) << (c.szLibrary ? c.szLibrary : L"none");
        EXPECT_EQ(std::vector<std::wstring>{c.szTrace}, capture.GetLines()) << (c.szLibrary ? c.szLibrary : L"none");
    }
}

namespace
{
UINT WINAPI FailSystemDirectory(LPWSTR, UINT)
{
    return 0;
}

UINT WINAPI OversizedSystemDirectory(LPWSTR, UINT)
{
    return MAX_PATH + 1;
}

// A folder of 255 characters: it fits, but "\MSI.DLL" after it does not.
UINT WINAPI LongSystemDirectory(LPWSTR szBuffer, UINT uSize)
{
    std::wstring strFolder = L"C:\\" + std::wstring(252, L'd');
    wcsncpy(szBuffer, strFolder.c_str(), uSize);
    return static_cast<UINT>(strFolder.size());
}
}

TEST(MsiVersionTest, AnUnexaminableInstallerNeedsTheUpgrade)
{
    struct
    {
        UINT(WINAPI* pfnOverride)(LPWSTR, UINT);
        const wchar_t* szTrace;
    } const rgCases[] = {
        {FailSystemDirectory, L"[Info] Can't obtain system directory; assuming upgrade is necessary"},
        {OversizedSystemDirectory, L"[Info] Can't obtain system directory; assuming upgrade is necessary"},
        {LongSystemDirectory, L"[Info] Can't obtain msi.dll path; assuming upgrade is necessary"},
    };
    for (const auto& c : rgCases)
    {
        g_overrides.pfnGetSystemDirectoryW = c.pfnOverride;
        CScopedTraceSwitch traceSwitch(L"1");
        CTraceCapture capture;
        EXPECT_TRUE(IsMsiUpgradeNeeded(150));
        ResetPlatformOverrides();
        EXPECT_EQ(std::vector<std::wstring>{c.szTrace}, capture.GetLines());
    }
}

TEST(MsiVersionTest, ReadsTheRealInstallerVersion)
{
    WCHAR szMsi[MAX_PATH] = {};
    GetSystemDirectoryW(szMsi, MAX_PATH);
    wcscat(szMsi, L"\\msi.dll");
    DWORD dwVersion = 0;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetFileVersionMS(szMsi, &dwVersion));
    EXPECT_GE(GetMsiVersionNumber(dwVersion), 301u);
    EXPECT_FALSE(IsMsiUpgradeNeeded(301));

    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), GetFileVersionMS(L"C:\\no\\such\\file.dll", &dwVersion));
    EXPECT_EQ(0xFFFFFFFFu, dwVersion);
}

TEST(MsiVersionTest, VersionNumberUsesMajorAndMinorOnly)
{
    EXPECT_EQ(301u, GetMsiVersionNumber(MAKELONG(1, 3)));
    EXPECT_EQ(405u, GetMsiVersionNumber(MAKELONG(5, 4)));
    EXPECT_EQ(300u, GetMsiVersionNumber(MAKELONG(100, 2)));
    EXPECT_EQ(6619035u, GetMsiVersionNumber(0xFFFFFFFF));
}
