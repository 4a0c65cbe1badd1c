#include "buildconfig.h"
#include "diag/heapstr.h"
#include "manifest/manifest.h"
#include "support/testpaths.h"
#include "support/tracecapture.h"
#include <gtest/gtest.h>
#include <string>

TEST(LoadManifestStringTest, ReadsValuesOfTheShippedManifest)
{
    CDataModule setup(L"TessalSetup.exe");
    ASSERT_NE(nullptr, setup.Get());
    struct
    {
        const wchar_t* szName;
        const wchar_t* szValue;
    } const rgCases[] = {
        {L"TESSALDB", L"BPTS.msi"},
        {L"tessaldb", L"BPTS.msi"},
        {L"MINIMUM_MSI", L"301"},
        {L"PRODUCTNAME", L"Brantlow Project Tessal"},
        {L"BASEURL", TESSAL_SERVER_ORIGIN_W L"/esd/en/tessal/installfiles"},
        {L"1", L"MSI"},
        {L"9", L"TESSAL"},
        {L"TESSAL_INSTALL", L"TESSAL\\TESSAL.zip"},
        {L"VC964_PLATFORM", L"Win64"},
        {L"DOTNET35SP1_PARAMETERS", L"/qb /norestart"},
        {L"TESSAL_MINREQ", L""},
        {L"MSI_PRODCODE", L""},
    };
    for (const auto& c : rgCases)
    {
        CHeapString strValue;
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), LoadManifestString(setup.Get(), c.szName, strValue.Slot()))
            << c.szName;
        ASSERT_NE(nullptr, strValue.Get()) << c.szName;
        EXPECT_STREQ(c.szValue, strValue.Get()) << c.szName;
    }
}

TEST(LoadManifestStringTest, ManifestHasNoOperationAndNoTenthPackage)
{
    CDataModule setup(L"TessalSetup.exe");
    for (const wchar_t* szName : {L"OPERATION", L"10", L"TESSAL_PROPERTIES_X"})
    {
        CHeapString strValue(DuplicateString(L"stale"));
        EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND),
                  LoadManifestString(setup.Get(), szName, strValue.Slot()))
            << szName;
        EXPECT_EQ(nullptr, strValue.Get()) << szName;
    }
}

TEST(LoadManifestStringTest, StoresValuesAsNulTerminatedUtf16InNeutralLanguage)
{
    CDataModule setup(L"TessalSetup.exe");
    HRSRC hEmpty = FindResourceExW(setup.Get(), MAKEINTRESOURCEW(500), L"TESSAL_MINREQ", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_NE(nullptr, hEmpty);
    EXPECT_EQ(2u, SizeofResource(setup.Get(), hEmpty));
    HRSRC hValue = FindResourceExW(setup.Get(), MAKEINTRESOURCEW(500), L"TESSALDB", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_NE(nullptr, hValue);
    EXPECT_EQ(2u * (8 + 1), SizeofResource(setup.Get(), hValue));
}

TEST(LoadManifestStringTest, ReadsLongValuesWhole)
{
    CDataModule setup(L"TessalSetup-package-rules.exe");
    CHeapString strValue;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), LoadManifestString(setup.Get(), L"LONGVALUE", strValue.Slot()));
    ASSERT_EQ(300u, wcslen(strValue.Get()));
    EXPECT_EQ(std::wstring(strValue.Get()).find_first_not_of(L"0123456789"), std::wstring::npos);
    EXPECT_EQ(L'9', strValue.Get()[299]);
}

TEST(LoadManifestStringTest, TracesFoundAndMissingEntries)
{
    CDataModule setup(L"TessalSetup.exe");
    CScopedTraceSwitch traceSwitch(L"1");
    CTraceCapture capture;
    CHeapString strValue;
    LoadManifestString(setup.Get(), L"TESSALDB", strValue.Slot());
    LoadManifestString(setup.Get(), L"TESSAL_MINREQ", strValue.Slot());
    LoadManifestString(setup.Get(), L"X", strValue.Slot());
    EXPECT_EQ((std::vector<std::wstring>{
                  L"[Resource] lpName = TESSALDB, lpBuf = BPTS.msi\n",
                  L"[Resource] lpName = TESSAL_MINREQ, lpBuf = \n",
                  L"[Resource] lpName = X NOT FOUND\n",
              }),
              capture.GetLines());
}
