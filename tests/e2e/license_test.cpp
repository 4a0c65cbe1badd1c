#include "support/screenshot.h"
#include "support/setuprun.h"
#include "support/testpaths.h"
#include "support/wizarddriver.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
const wchar_t c_szHeading[] = L"TESSAL TEST LICENCE (";

std::vector<std::wstring> GetCountries(HWND hCombo)
{
    std::vector<std::wstring> rgCountries;
    LRESULT cEntries = SendMessageW(hCombo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < cEntries; ++i)
    {
        WCHAR szText[256] = {};
        SendMessageW(hCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(szText));
        rgCountries.push_back(szText);
    }
    return rgCountries;
}

std::wstring GetSelectedCountry(HWND hCombo)
{
    LRESULT nIndex = SendMessageW(hCombo, CB_GETCURSEL, 0, 0);
    WCHAR szText[256] = {};
    if (nIndex >= 0)
    {
        SendMessageW(hCombo, CB_GETLBTEXT, nIndex, reinterpret_cast<LPARAM>(szText));
    }
    return szText;
}

// The heading line of the licence shown, e.g. "TESSAL TEST LICENCE (Germany)".
std::wstring GetLicenceHeading(HWND hPage)
{
    std::wstring strText = GetControlText(hPage, 1020);
    return strText.substr(0, strText.find_first_of(L"\r\n"));
}

std::wstring WaitForLicenceHeading(HWND hPage, const std::wstring& strHeading)
{
    std::wstring strSeen;
    for (int i = 0; i < 200 && (strSeen = GetLicenceHeading(hPage)) != strHeading; ++i)
    {
        Sleep(50);
    }
    return strSeen;
}

// The licence page once its country box has been filled.
HWND WaitForFilledLicencePage(const CRunningSetup& setup)
{
    HWND hPage = WaitForPage(setup.GetProcessId(), DriverPageLicense, 30000);
    for (int i = 0; hPage && i < 200 && SendDlgItemMessageW(hPage, 1093, CB_GETCOUNT, 0, 0) <= 0; ++i)
    {
        Sleep(50);
    }
    return hPage;
}

// A box owned by the page disables it while it is up; the run's answerer
// closes it.
bool WaitForOwnedBoxToPass(HWND hPage)
{
    int i = 0;
    for (; i < 200 && IsWindowEnabled(hPage); ++i)
    {
        Sleep(50);
    }
    for (; i < 400 && !IsWindowEnabled(hPage); ++i)
    {
        Sleep(50);
    }
    return i < 400 && IsWindowEnabled(hPage);
}

void ChooseCountry(HWND hPage, const std::wstring& strCountry)
{
    HWND hCombo = GetDlgItem(hPage, 1093);
    LRESULT nIndex = SendMessageW(hCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>(strCountry.c_str()));
    ASSERT_GE(nIndex, 0) << "no entry " << strCountry.c_str();
    SendMessageW(hCombo, CB_SETCURSEL, nIndex, 0);
    PostMessageW(hPage, WM_COMMAND, MAKEWPARAM(1093, CBN_SELENDOK), reinterpret_cast<LPARAM>(hCombo));
}

// The country that the test server's index preselects for this process's
// user locale, which the setups it starts share.
std::wstring GetExpectedCountry()
{
    switch (GetUserDefaultLCID())
    {
    case 1033:
        return L"United States";
    case 2057:
    case 3081:
        return L"United Kingdom";
    case 1031:
    case 3079:
        return L"Germany";
    default:
        return L"";
    }
}

// Sends the prefix's web traffic to a proxy that is not there, so that the
// download server is out of reach for the setups started meanwhile.
class CUnreachableServer
{
public:
    CUnreachableServer()
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                        nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &m_hKey, nullptr);
        DWORD dwEnable = 1;
        RegSetValueExW(m_hKey, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwEnable),
                       sizeof(dwEnable));
        const wchar_t szProxy[] = L"127.0.0.1:9";
        RegSetValueExW(m_hKey, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(szProxy), sizeof(szProxy));
    }
    ~CUnreachableServer()
    {
        if (m_hKey)
        {
            DWORD dwEnable = 0;
            RegSetValueExW(m_hKey, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwEnable),
                           sizeof(dwEnable));
            RegDeleteValueW(m_hKey, L"ProxyServer");
            RegCloseKey(m_hKey);
        }
    }

private:
    HKEY m_hKey = nullptr;
};
}

TEST(LicenseRunTest, TheUsersCountryIsShownAndOthersCanBeChosen)
{
    ClearStubCalls();
    SetupRunOptions options;
    CRunningSetup setup(options);
    HWND hPage = WaitForFilledLicencePage(setup);
    ASSERT_NE(nullptr, hPage);
    HWND hCombo = GetDlgItem(hPage, 1093);
    std::vector<std::wstring> rgExpected = {L"Germany", L"New Zealand", L"United Kingdom", L"United States",
                                            L"Other Countries"};
    EXPECT_EQ(rgExpected, GetCountries(hCombo));
    std::wstring strCountry = GetExpectedCountry();
    EXPECT_EQ(strCountry, GetSelectedCountry(hCombo)) << "user locale " << GetUserDefaultLCID();
    if (!strCountry.empty())
    {
        EXPECT_EQ(c_szHeading + strCountry + L")", WaitForLicenceHeading(hPage, c_szHeading + strCountry + L")"));
    }
    else
    {
        EXPECT_EQ(L"", GetControlText(hPage, 1020));
    }
    EXPECT_EQ(0, SendDlgItemMessageW(hPage, 1020, EM_GETFIRSTVISIBLELINE, 0, 0));
    SaveScreenshot(L"licence-" + std::to_wstring(GetUserDefaultLCID()));

    ChooseCountry(hPage, L"Other Countries");
    EXPECT_EQ(L"TESSAL TEST LICENCE (Other Countries)",
              WaitForLicenceHeading(hPage, L"TESSAL TEST LICENCE (Other Countries)"));
    // A country without a licence file: the box, and the text stays.
    ChooseCountry(hPage, L"New Zealand");
    EXPECT_TRUE(WaitForOwnedBoxToPass(hPage)) << "no box came and went";
    EXPECT_EQ(L"TESSAL TEST LICENCE (Other Countries)", GetLicenceHeading(hPage));

    ClickButton(hPage, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_FALSE(result.fTimedOut);
    EXPECT_EQ(0u, result.dwExitCode);
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(L"Error openning RTF file.", result.boxes[0].strText);
    EXPECT_EQ(L"", result.boxes[0].strCaption);
    EXPECT_EQ(hPage, result.boxes[0].hWndOwner);
    // Declined: no package was touched.
    EXPECT_EQ("", ReadStubCalls());
}

TEST(LicenseRunTest, PrintingWithoutAPrinterReturnsToThePage)
{
    SetupRunOptions options;
    CRunningSetup setup(options);
    HWND hPage = WaitForFilledLicencePage(setup);
    ASSERT_NE(nullptr, hPage);
    ClickButton(hPage, 1011);
    // Wine has no printer: its print dialog says so in a box of its own.
    Sleep(4000);
    EXPECT_TRUE(IsWindow(hPage));
    ClickButton(hPage, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_FALSE(result.fTimedOut);
    EXPECT_FALSE(result.fCrashed);
    EXPECT_EQ(0u, result.dwExitCode);
    for (const SeenBox& box : result.boxes)
    {
        EXPECT_NE(std::wstring::npos, box.strText.find(L"printer")) << box.strText.c_str();
    }
}

TEST(LicenseRunTest, UnreachableServerGivesOneBoxAndAnEmptyPage)
{
    ClearStubCalls();
    CUnreachableServer unreachable;
    SetupRunOptions options;
    CRunningSetup setup(options);
    HWND hPage = WaitForPage(setup.GetProcessId(), DriverPageLicense, 60000);
    ASSERT_NE(nullptr, hPage);
    Sleep(1000);
    EXPECT_EQ(0, SendDlgItemMessageW(hPage, 1093, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(L"", GetControlText(hPage, 1020));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hPage, 108)));
    SaveScreenshot(L"licence-no-server");
    ClickButton(hPage, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_FALSE(result.fTimedOut);
    EXPECT_EQ(0u, result.dwExitCode);
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(L"Download Eula failed", result.boxes[0].strText);
    EXPECT_EQ(L"Eula", result.boxes[0].strCaption);
    EXPECT_EQ(nullptr, result.boxes[0].hWndOwner);
    EXPECT_EQ("", ReadStubCalls());
}
