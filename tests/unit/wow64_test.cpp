#include "checks/syschecks.h"
#include "manifest/detect.h"
#include "manifest/packagelist.h"
#include "platform/overrides.h"
#include "ui/wizard.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>

namespace
{
// The registry of a 32-bit setup on 64-bit Windows: its own view and the
// native one are two trees of the test's, and every open is recorded.
const wchar_t c_szFakeRoot[] = L"Software\\TessalTests\\Wow64";
std::vector<std::pair<std::wstring, bool>> g_opens;

LSTATUS WINAPI OpenInFakeViews(HKEY, LPCWSTR szSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    bool fNative = (samDesired & KEY_WOW64_64KEY) != 0;
    g_opens.push_back({szSubKey, fNative});
    std::wstring strPath = std::wstring(c_szFakeRoot) + (fNative ? L"\\Native\\" : L"\\Own\\") + szSubKey;
    return RegOpenKeyExW(HKEY_CURRENT_USER, strPath.c_str(), 0, KEY_READ, phkResult);
}

void PutValue(bool fNative, LPCWSTR szPath, LPCWSTR szName, DWORD dwType, const void* pData, DWORD cbData)
{
    std::wstring strPath = std::wstring(c_szFakeRoot) + (fNative ? L"\\Native\\" : L"\\Own\\") + szPath;
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, strPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                             &hKey, nullptr));
    RegSetValueExW(hKey, szName, 0, dwType, static_cast<const BYTE*>(pData), cbData);
    RegCloseKey(hKey);
}

BOOL g_fWow64Answer = FALSE;
BOOL WINAPI AnswerWow64(HANDLE, PBOOL pfWow64)
{
    *pfWow64 = g_fWow64Answer;
    return TRUE;
}
BOOL WINAPI FailWow64(HANDLE, PBOOL)
{
    return FALSE;
}
}

TEST(Wow64Test, WhatOnlyTheShippedSetupOn64BitWindowsExecutes)
{
    const wchar_t szDotNet[] = L"Software\\Microsoft\\NET Framework Setup\\NDP\\V3.5";
    const wchar_t szIe[] = L"SOFTWARE\\Microsoft\\Internet Explorer";
    const DWORD dwServicePack = 1;
    const wchar_t szIeVersion[] = L"9.11.9600.18376";
    struct
    {
        const char* szCase;
        bool fOwn, fNative;  // where the keys are
        bool fFound;
        size_t cOpens;       // views asked, the own one first
    } const rgCases[] = {
        {"keys in the own view", true, false, true, 1},
        {"keys only in the 64-bit view", false, true, true, 2},
        {"keys in neither view", false, false, false, 2},
    };
    g_overrides.pfnRegOpenKeyExW = OpenInFakeViews;
    for (const auto& c : rgCases)
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, c_szFakeRoot);
        for (bool fNative : {false, true})
        {
            if (fNative ? c.fNative : c.fOwn)
            {
                PutValue(fNative, szDotNet, L"SP", REG_DWORD, &dwServicePack, sizeof(dwServicePack));
                PutValue(fNative, szIe, L"Version", REG_SZ, szIeVersion, sizeof(szIeVersion));
            }
        }
        g_opens.clear();
        EXPECT_EQ(c.fFound, IsDotNet35Installed()) << c.szCase;
        ASSERT_EQ(c.cOpens, g_opens.size()) << c.szCase;
        EXPECT_FALSE(g_opens[0].second) << c.szCase;
        EXPECT_TRUE(c.cOpens == 1 || g_opens[1].second) << c.szCase;
        g_opens.clear();
        EXPECT_EQ(c.fFound, IsBrowserSupported()) << c.szCase;
        EXPECT_EQ(c.cOpens, g_opens.size()) << c.szCase;
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, c_szFakeRoot);
    ResetPlatformOverrides();

    // The platform filter: a 32-bit build believes IsWow64Process, and only
    // a TRUE answer of a call that worked.
    struct
    {
        PFN_IS_WOW64_PROCESS pfn;
        BOOL fAnswer;
        bool f64BitBuild;
        bool fWin64;
    } const rgFilters[] = {
        {nullptr, FALSE, false, false}, {AnswerWow64, TRUE, false, true}, {AnswerWow64, FALSE, false, false},
        {FailWow64, TRUE, false, false}, {nullptr, FALSE, true, true},    {AnswerWow64, FALSE, true, true},
    };
    for (const auto& c : rgFilters)
    {
        g_fWow64Answer = c.fAnswer;
        EXPECT_EQ(c.fWin64, DecideRunningOnWin64(c.pfn, c.f64BitBuild)) << c.fAnswer << c.f64BitBuild;
    }
    g_fWow64Answer = FALSE;
    g_overrides.pfnIsWow64Process = AnswerWow64;
    EXPECT_FALSE(IsRunningOnWin64());
    ResetPlatformOverrides();

    // Launch Now looks under the 32-bit Program Files folder on 64-bit Windows.
    WCHAR szX86[MAX_PATH] = {};
    WCHAR szNative[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, szX86, CSIDL_PROGRAM_FILESX86, FALSE));
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, szNative, CSIDL_PROGRAM_FILES, FALSE));
    WCHAR szFolder[MAX_PATH] = {};
    ASSERT_TRUE(GetProductFolder(PROCESSOR_ARCHITECTURE_AMD64, szFolder, MAX_PATH));
    EXPECT_EQ(std::wstring(szX86) + L"\\Brantlow\\Project Tessal", szFolder);
    ASSERT_TRUE(GetProductFolder(PROCESSOR_ARCHITECTURE_INTEL, szFolder, MAX_PATH));
    EXPECT_EQ(std::wstring(szNative) + L"\\Brantlow\\Project Tessal", szFolder);
    EXPECT_FALSE(GetProductFolder(PROCESSOR_ARCHITECTURE_ARM, szFolder, MAX_PATH));
}
