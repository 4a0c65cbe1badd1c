#include "buildconfig.h"
#include "engine/layout.h"
#include "manifest/packagelist.h"
#include "support/boxanswerer.h"
#include "support/msioverride.h"
#include "support/testpaths.h"
#include "support/tracecapture.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
const wchar_t c_szBaseUrl[] = TESSAL_SERVER_ORIGIN_W L"/esd/en/tessal/installfiles";

struct BuiltList
{
    DWORD dwResult = 0;
    std::vector<std::wstring> keys;
    std::vector<SeenBox> boxes;
    CPackageInfo* pHead = nullptr;

    BuiltList() = default;
    BuiltList(const BuiltList&) = delete;
    BuiltList(BuiltList&& other) noexcept
        : dwResult(other.dwResult), keys(std::move(other.keys)), boxes(std::move(other.boxes)), pHead(other.pHead)
    {
        other.pHead = nullptr;
    }
    ~BuiltList()
    {
        while (pHead)
        {
            CPackageInfo* pNext = pHead->pNext;
            DestroyPackage(pHead);
            pHead = pNext;
        }
    }
    const CPackageInfo* Find(const wchar_t* szKey) const
    {
        for (const CPackageInfo* p = pHead; p; p = p->pNext)
        {
            if (wcscmp(p->szKey, szKey) == 0)
            {
                return p;
            }
        }
        return nullptr;
    }
};

// Builds the list of one setup's manifest with the given stand-in for the
// installed Windows Installer, answering every box it shows.
BuiltList Build(const wchar_t* szExe, const wchar_t* szInstaller = L"fakemsi-4.5.dll")
{
    BuiltList list;
    CDataModule setup(szExe);
    EXPECT_NE(nullptr, setup.Get()) << szExe;
    CFakeSystemFolder folder(szInstaller);
    CBoxAnswerer answerer;
    list.dwResult = BuildPackageList(setup.Get(), c_szBaseUrl, &list.pHead);
    answerer.WaitForBoxes(1, 50);
    list.boxes = answerer.GetBoxes();
    for (const CPackageInfo* p = list.pHead; p; p = p->pNext)
    {
        list.keys.push_back(p->szKey);
    }
    return list;
}

using Keys = std::vector<std::wstring>;
}

TEST(PackageListTest, ShippedManifestFollowsThePlatform)
{
    BuiltList list = Build(L"TessalSetup.exe");
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), list.dwResult);
    EXPECT_TRUE(list.boxes.empty());
    // A fresh prefix has none of the runtimes but the XML parser, which
    // Wine builds in; the stand-in system folder has no DirectX library.
    if (IsNative64Bit())
    {
        EXPECT_EQ((Keys{L"VC9", L"VC964", L"DOTNET35SP1", L"D3DCORE", L"TESSAL"}), list.keys);
    }
    else
    {
        EXPECT_EQ((Keys{L"VC9", L"DOTNET35SP1", L"D3DCORE", L"TESSAL"}), list.keys);
    }
    EXPECT_EQ(IsNative64Bit(), IsRunningOnWin64());
    for (const CPackageInfo* p = list.pHead; p; p = p->pNext)
    {
        EXPECT_STREQ(c_szBaseUrl, p->szBaseUrl) << p->szKey;
        EXPECT_EQ(StatusPending, p->nStatus.load()) << p->szKey;
        EXPECT_EQ(ActionInstall, p->nAction) << p->szKey;
    }
    const CPackageInfo* pTessal = list.Find(L"TESSAL");
    ASSERT_NE(nullptr, pTessal);
    EXPECT_STREQ(L"Brantlow Project Tessal", pTessal->szProductName);
    EXPECT_STREQ(L"TESSAL\\TESSAL.zip", pTessal->szInstall);
    EXPECT_STREQ(L"BPTS.msi", pTessal->szInstallZip);
    EXPECT_STREQ(L"", pTessal->szParameters);
    EXPECT_STREQ(L"", pTessal->szProperties);
    EXPECT_STREQ(L"{6E2A94C1-5B07-4D3F-A1C8-92F0D47B3E65}", pTessal->szProductCode);
    EXPECT_EQ(157286400u, pTessal->dwDiskSpace);
    EXPECT_TRUE(pTessal->fNotify);
    EXPECT_EQ(nullptr, pTessal->szLocalFile.load());
    const CPackageInfo* pDotNet = list.Find(L"DOTNET35SP1");
    ASSERT_NE(nullptr, pDotNet);
    EXPECT_STREQ(L"/qb /norestart", pDotNet->szParameters);
    EXPECT_EQ(524288000u, pDotNet->dwDiskSpace);
    EXPECT_FALSE(pDotNet->fNotify);
}

TEST(FakeInstallerTest, InstallerUpgradeComesFirstOnlyWhenTheInstalledOneIsTooOld)
{
    struct
    {
        const wchar_t* szInstaller;
        bool fUpgradeFirst;
    } const rgCases[] = {
        {L"fakemsi-3.0.dll", true},
        {L"fakemsi-2.100.dll", true},
        {nullptr, true},
        {L"fakemsi-3.1.dll", false},
        {L"fakemsi-4.5.dll", false},
    };
    for (const auto& c : rgCases)
    {
        BuiltList list = Build(L"TessalSetup.exe", c.szInstaller);
        const wchar_t* szName = c.szInstaller ? c.szInstaller : L"no MSI.DLL";
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), list.dwResult) << szName;
        ASSERT_FALSE(list.keys.empty()) << szName;
        EXPECT_EQ(c.fUpgradeFirst, list.keys[0] == L"MSI") << szName;
        if (c.fUpgradeFirst)
        {
            EXPECT_STREQ(L"/norestart /quiet", list.pHead->szParameters);
            EXPECT_STREQ(L"MSI/WindowsInstaller-KB893803-v2-x86.exe", list.pHead->szInstall);
            EXPECT_STREQ(c_szBaseUrl, list.pHead->szBaseUrl);
        }
    }
}

TEST(FakeInstallerTest, MissingUpgradeEntryIsReportedAndTheBuildGoesOn)
{
    CScopedTraceSwitch traceSwitch(L"1");
    CTraceCapture capture;
    BuiltList list = Build(L"TessalSetup-no-entry-1.exe", L"fakemsi-3.0.dll");
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), list.dwResult);
    ASSERT_EQ(1u, list.boxes.size()) << capture.GetText().c_str();
    EXPECT_EQ(L"The required resource '1' is missing.", list.boxes[0].strText);
    EXPECT_EQ(L"Error", list.boxes[0].strCaption);
    EXPECT_EQ(nullptr, list.boxes[0].hWndOwner);
    ASSERT_FALSE(list.keys.empty());
    EXPECT_EQ(L"VC9", list.keys[0]);
}

TEST(PackageListTest, MinimumMsiMustBeANumberOfAtLeast150)
{
    struct
    {
        const wchar_t* szExe;
        DWORD dwResult;
        const wchar_t* szBox;
    } const rgCases[] = {
        {L"TessalSetup-minmsi-149.exe", ERROR_INVALID_PARAMETER,
         L"'149' is an invalid Msi version. Be sure that it is numeric and is at least '150'."},
        {L"TessalSetup-minmsi-301a.exe", ERROR_INVALID_PARAMETER,
         L"'301a' is an invalid Msi version. Be sure that it is numeric and is at least '150'."},
        {L"TessalSetup-minmsi-empty.exe", ERROR_INVALID_PARAMETER,
         L"'' is an invalid Msi version. Be sure that it is numeric and is at least '150'."},
        {L"TessalSetup-minmsi-missing.exe", ERROR_INVALID_PARAMETER, L"The required resource 'MINIMUM_MSI' is missing."},
        {L"TessalSetup-minmsi-150.exe", ERROR_SUCCESS, nullptr},
    };
    for (const auto& c : rgCases)
    {
        BuiltList list = Build(c.szExe);
        EXPECT_EQ(c.dwResult, list.dwResult) << c.szExe;
        if (c.szBox)
        {
            ASSERT_EQ(1u, list.boxes.size()) << c.szExe;
            EXPECT_EQ(std::wstring(c.szBox), list.boxes[0].strText) << c.szExe;
            EXPECT_EQ(nullptr, list.pHead) << c.szExe;
        }
        else
        {
            EXPECT_TRUE(list.boxes.empty()) << c.szExe;
            EXPECT_FALSE(list.keys.empty()) << c.szExe;
        }
    }
}

TEST(PackageListTest, MinimumMsiParsing)
{
    struct
    {
        const wchar_t* szValue;
        bool fValid;
        DWORD dwMinimum;
    } const rgCases[] = {
        {L"150", true, 150},   {L"301", true, 301},     {L"149", false, 0},  {L"301a", false, 0},
        {L"", false, 0},       {L" 301", false, 0},     {L"+301", false, 0}, {L"-301", false, 0},
        {L"0301", true, 301},  {L"99999999999", false, 0}, {L"4294967295", true, 4294967295u},
    };
    for (const auto& c : rgCases)
    {
        DWORD dwMinimum = 0;
        EXPECT_EQ(c.fValid, ParseMinimumMsi(c.szValue, &dwMinimum)) << c.szValue;
        if (c.fValid)
        {
            EXPECT_EQ(c.dwMinimum, dwMinimum) << c.szValue;
        }
    }
}

TEST(PackageListTest, NumberedEntriesEndAtTheFirstGap)
{
    BuiltList list = Build(L"TessalSetup-numbered-gap.exe");
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), list.dwResult);
    EXPECT_EQ((Keys{L"ALPHA", L"BETA"}), list.keys);
}

TEST(PackageListTest, IncompletePackagesAreLeftOutSilently)
{
    CScopedTraceSwitch traceSwitch(L"1");
    CTraceCapture capture;
    BuiltList list = Build(L"TessalSetup-package-rules.exe");
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), list.dwResult);
    EXPECT_TRUE(list.boxes.empty());
    EXPECT_EQ((Keys{L"ZIPEMPTYINNER", L"EMPTYNAME", L"SETTINGS", L"SHORTZIP"}), list.keys);

    const CPackageInfo* pEmptyName = list.Find(L"EMPTYNAME");
    ASSERT_NE(nullptr, pEmptyName);
    EXPECT_STREQ(L"", pEmptyName->szProductName);
    EXPECT_STREQ(L"http://mirror.example/own", pEmptyName->szBaseUrl);
    EXPECT_EQ(nullptr, pEmptyName->szParameters);

    const CPackageInfo* pZip = list.Find(L"ZIPEMPTYINNER");
    ASSERT_NE(nullptr, pZip);
    EXPECT_STREQ(L"", pZip->szInstallZip);
    EXPECT_STREQ(c_szBaseUrl, pZip->szBaseUrl);

    const CPackageInfo* pSettings = list.Find(L"SETTINGS");
    ASSERT_NE(nullptr, pSettings);
    EXPECT_EQ(ActionInstall, pSettings->nAction);
    EXPECT_EQ(PlatformAny, pSettings->nPlatform);
    EXPECT_EQ(4294967295u, pSettings->dwDiskSpace);
    EXPECT_FALSE(pSettings->fNotify);
    EXPECT_STREQ(L"/quiet", pSettings->szParameters);
    EXPECT_STREQ(L"REBOOT=ReallySuppress", pSettings->szProperties);

    // The trace shows the entries of a package that was left out.
    std::wstring strTrace = capture.GetText();
    EXPECT_NE(std::wstring::npos, strTrace.find(L"[Resource] lpName = ZIPNOINNER_INSTALL, lpBuf = z/ARCHIVE.ZIP\n"));
    EXPECT_NE(std::wstring::npos, strTrace.find(L"[Resource] lpName = ZIPNOINNER_INSTALLZIP NOT FOUND\n"));
    EXPECT_NE(std::wstring::npos, strTrace.find(L"[Resource] lpName = NONAME_PRODNAME NOT FOUND\n"));
}

TEST(PackageListTest, AllRejectedGivesAnEmptyListAndSuccess)
{
    BuiltList list = Build(L"TessalSetup-all-rejected.exe");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), list.dwResult);
    EXPECT_EQ(nullptr, list.pHead);
    EXPECT_TRUE(list.boxes.empty());
}

TEST(PackageListTest, FilterDecisions)
{
    struct
    {
        int nAction;
        int nPlatform;
        bool fNotify;
        bool fInstalled;
        bool fWin64;
        bool fDropped;
    } const rgCases[] = {
        {ActionRemove, PlatformAny, false, false, false, true},
        {ActionRemove, PlatformAny, false, true, false, false},
        {ActionInstall, PlatformAny, false, true, true, true},
        {ActionInstall, PlatformAny, true, true, true, false},
        {ActionInstall, PlatformAny, false, false, true, false},
        {ActionInstall, PlatformWin32, false, false, true, true},
        {ActionInstall, PlatformWin32, false, false, false, false},
        {ActionInstall, PlatformWin64, false, false, false, true},
        {ActionInstall, PlatformWin64, false, false, true, false},
        {ActionRemove, PlatformWin64, false, true, false, true},
    };
    for (const auto& c : rgCases)
    {
        CPackageInfo package;
        package.nAction = c.nAction;
        package.nPlatform = c.nPlatform;
        package.fNotify = c.fNotify;
        EXPECT_EQ(c.fDropped, IsPackageDropped(&package, c.fInstalled, c.fWin64))
            << c.nAction << " " << c.nPlatform << " " << c.fNotify << " " << c.fInstalled << " " << c.fWin64;
    }
}

TEST(LayoutListTest, EveryFileOfEveryPlatformAndTheFilesBeside)
{
    CDataModule setup(L"TessalSetup.exe");
    BuiltList list;
    const std::wstring strBase = TESSAL_SERVER_ORIGIN_W L"/esd/en/tessal/";
    ASSERT_EQ(0u, BuildLayoutList(setup.Get(), c_szBaseUrl, strBase.c_str(), &list.pHead));
    std::vector<std::wstring> names;
    for (const CPackageInfo* p = list.pHead; p; p = p->pNext)
    {
        names.push_back(p->szProductName);
        // Each file is fetched from where its path in the layout says.
        std::wstring strUrl = std::wstring(p->szBaseUrl) + (std::wstring(p->szBaseUrl).back() == L'/' ? L"" : L"/") +
                              p->szInstall;
        std::wstring strRelative;
        EXPECT_TRUE(ComposeLayoutRelativePath(strBase.c_str(), strUrl.c_str(), &strRelative)) << strUrl.c_str();
        EXPECT_EQ(std::wstring(p->szProductName), strRelative);
    }
    // The removal of the older version has no file; nothing is filtered by
    // platform or by what is installed.
    EXPECT_EQ((std::vector<std::wstring>{L"installfiles\\MSI\\WindowsInstaller-KB893803-v2-x86.exe",
                                         L"installfiles\\VC9\\vcredist_x86.exe", L"installfiles\\VC9\\vcredist_x64.exe",
                                         L"installfiles\\dotNet\\dotNetFx35setup.exe",
                                         L"installfiles\\DIRECT3D\\D3DXCORE.zip", L"installfiles\\MSXML\\msxml6.msi",
                                         L"installfiles\\MSXML\\msxml6_x64.msi", L"installfiles\\TESSAL\\TESSAL.zip",
                                         L"eula.zip", L"update.txt"}),
              names);
}

TEST(LayoutListTest, OnlyPlainPathsBelowTheBaseHaveAPlaceInALayout)
{
    const wchar_t c_szBase[] = L"http://h.example/esd/en/tessal/";
    struct
    {
        const wchar_t* szUrl;
        const wchar_t* szRelative;
    } const rgCases[] = {
        {L"http://h.example/esd/en/tessal/installfiles/VC9/a.exe", L"installfiles\\VC9\\a.exe"},
        {L"HTTP://H.EXAMPLE/ESD/en/tessal/eula.zip", L"eula.zip"},
        {L"http://h.example/esd/en/tessal/installfiles/TESSAL\\TESSAL.zip", L"installfiles\\TESSAL\\TESSAL.zip"},
        {L"http://h.example/esd/en/tessal/installfiles/a%20b%5Cc.exe", L"installfiles\\a b\\c.exe"},
        {L"http://h.example/esd/en/tessal/installfiles/../../x.exe", nullptr},
        {L"http://h.example/esd/en/tessal/installfiles/%2e%2e/x.exe", nullptr},
        {L"http://h.example/esd/en/tessal/installfiles//x.exe", nullptr},
        {L"http://h.example/esd/en/tessal/x.exe?y=1", nullptr},
        {L"http://h.example/esd/en/tessal/C:x.exe", nullptr},
        {L"http://h.example/esd/en/tessal/a%ZZ.exe", nullptr},
        {L"http://h.example/esd/en/tessal/a%00.exe", nullptr},
        {L"http://other.example/esd/en/tessal/x.exe", nullptr},
        {L"http://h.example/esd/en/tessal/", nullptr},
    };
    for (const auto& c : rgCases)
    {
        std::wstring strRelative;
        EXPECT_EQ(c.szRelative != nullptr, ComposeLayoutRelativePath(c_szBase, c.szUrl, &strRelative)) << c.szUrl;
        EXPECT_EQ(std::wstring(c.szRelative ? c.szRelative : L""), strRelative) << c.szUrl;
    }
}
