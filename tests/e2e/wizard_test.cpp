#include "support/screenshot.h"
#include "support/setuprun.h"
#include "support/testpaths.h"
#include "support/wizarddriver.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>

namespace
{
RECT GetRect(HWND hWnd)
{
    RECT rc = {};
    GetWindowRect(hWnd, &rc);
    return rc;
}

// Sets the Internet Explorer version in both registry views for one scope.
// On 32-bit Windows both views are the same key, so every old value is read
// before anything is written, and restored in reverse order.
class CScopedIeVersion
{
public:
    explicit CScopedIeVersion(LPCWSTR szVersion)
    {
        for (size_t i = 0; i < 2; ++i)
        {
            m_rgOld[i] = Read(c_rgViews[i]);
        }
        for (REGSAM samView : c_rgViews)
        {
            Write(samView, szVersion);
        }
    }
    ~CScopedIeVersion()
    {
        Write(c_rgViews[1], m_rgOld[1].c_str());
        Write(c_rgViews[0], m_rgOld[0].c_str());
    }

private:
    static constexpr REGSAM c_rgViews[2] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

    static std::wstring Read(REGSAM samView)
    {
        WCHAR szValue[255] = {};
        HKEY hKey = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", 0, KEY_READ | samView,
                          &hKey) == ERROR_SUCCESS)
        {
            DWORD cbValue = sizeof(szValue) - sizeof(WCHAR);
            RegQueryValueExW(hKey, L"Version", nullptr, nullptr, reinterpret_cast<LPBYTE>(szValue), &cbValue);
            RegCloseKey(hKey);
        }
        return szValue;
    }

    static void Write(REGSAM samView, LPCWSTR szValue)
    {
        HKEY hKey = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", 0, KEY_WRITE | samView,
                          &hKey) == ERROR_SUCCESS)
        {
            RegSetValueExW(hKey, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(szValue),
                           static_cast<DWORD>((wcslen(szValue) + 1) * sizeof(WCHAR)));
            RegCloseKey(hKey);
        }
    }

    std::wstring m_rgOld[2];
};
}

TEST(WizardWindowTest, SplashIsCentredAndEveryPageTakesThePlaceOfTheLastOne)
{
    SetupRunOptions options;
    options.strExe = L"TessalSetup-dead-server.exe";
    CRunningSetup setup(options);
    HWND hSplash = WaitForWizardControl(setup.GetProcessId(), 1003, 30000);
    ASSERT_NE(nullptr, hSplash);
    ASSERT_EQ(nullptr, GetDlgItem(hSplash, 1093));
    RECT rcSplash = GetRect(hSplash);
    RECT rcWork = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    int nWidth = rcSplash.right - rcSplash.left;
    int nHeight = rcSplash.bottom - rcSplash.top;
    EXPECT_EQ((rcWork.right - nWidth - rcWork.left) / 2 + rcWork.left, rcSplash.left);
    EXPECT_EQ((rcWork.bottom - nHeight - rcWork.top) / 2 + rcWork.top, rcSplash.top);
    SaveScreenshot(L"splash");

    HWND hLicence = WaitForPage(setup.GetProcessId(), DriverPageLicense, 30000);
    ASSERT_NE(nullptr, hLicence);
    RECT rcLicence = GetRect(hLicence);
    EXPECT_EQ(rcSplash.left, rcLicence.left);
    EXPECT_EQ(rcSplash.top, rcLicence.top);
    EXPECT_FALSE(IsWindowVisible(hSplash));
    // The hidden splash gave its picture up; the page shows its own.
    EXPECT_EQ(0, SendDlgItemMessageW(hSplash, 1003, STM_GETIMAGE, IMAGE_BITMAP, 0));
    EXPECT_NE(0, SendDlgItemMessageW(hLicence, 1003, STM_GETIMAGE, IMAGE_BITMAP, 0));
    SaveScreenshot(L"licence");

    // The user drags the page elsewhere; the next pages stand there too.
    SetWindowPos(hLicence, nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ClickButton(hLicence, 108);
    // With no server at the manifest's address every download fails at once.
    HWND hFinish = WaitForPage(setup.GetProcessId(), DriverPageFinish, 120000);
    ASSERT_NE(nullptr, hFinish);
    RECT rcFinish = GetRect(hFinish);
    EXPECT_EQ(40, rcFinish.left);
    EXPECT_EQ(50, rcFinish.top);
    EXPECT_EQ(nWidth, rcFinish.right - rcFinish.left);
    EXPECT_EQ(L"Installation failed.", GetControlText(hFinish, 1005));
    EXPECT_EQ(0, SendDlgItemMessageW(hLicence, 1003, STM_GETIMAGE, IMAGE_BITMAP, 0));
    EXPECT_NE(0, SendDlgItemMessageW(hFinish, 1003, STM_GETIMAGE, IMAGE_BITMAP, 0));
    SaveScreenshot(L"finish-failed");
    ClickButton(hFinish, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_EQ(0u, result.dwExitCode);
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(L"Failed downloading component.", result.boxes[0].strText);
}

TEST(WizardWindowTest, AltF4OnTheLicencePageDeclines)
{
    SetupRunOptions options;
    CRunningSetup setup(options);
    HWND hLicence = WaitForPage(setup.GetProcessId(), DriverPageLicense, 30000);
    ASSERT_NE(nullptr, hLicence);
    PostMessageW(hLicence, WM_CLOSE, 0, 0);
    SetupRunResult result = setup.Wait();
    EXPECT_FALSE(result.fTimedOut);
    EXPECT_EQ(0u, result.dwExitCode);
    EXPECT_TRUE(result.boxes.empty());
}

TEST(WizardWindowTest, TabWalksTheLicencePageAndEnterPressesTheFocusedButton)
{
    SetupRunOptions options;
    CRunningSetup setup(options);
    HWND hLicence = WaitForPage(setup.GetProcessId(), DriverPageLicense, 30000);
    ASSERT_NE(nullptr, hLicence);
    // Tab visits every control that takes the focus, and comes round again.
    std::vector<int> visited;
    for (int i = 0; i < 12; ++i)
    {
        PressKey(hLicence, VK_TAB);
        Sleep(150);
        int nId = GetDlgCtrlID(GetFocusedControl(hLicence));
        if (std::find(visited.begin(), visited.end(), nId) == visited.end())
        {
            visited.push_back(nId);
        }
    }
    for (int nId : {107, 108, 1011})
    {
        EXPECT_NE(visited.end(), std::find(visited.begin(), visited.end(), nId)) << "Tab never reached " << nId;
    }
    for (int i = 0; i < 12 && GetDlgCtrlID(GetFocusedControl(hLicence)) != 107; ++i)
    {
        PressKey(hLicence, VK_TAB);
        Sleep(150);
    }
    ASSERT_EQ(107, GetDlgCtrlID(GetFocusedControl(hLicence)));
    // Enter on Decline declines.
    PressKey(hLicence, VK_RETURN);
    SetupRunResult result = setup.Wait();
    EXPECT_FALSE(result.fTimedOut);
    EXPECT_EQ(0u, result.dwExitCode);
    EXPECT_TRUE(result.boxes.empty());
}

TEST(WizardWindowTest, UnsupportedBrowserEndsOnTheFailurePage)
{
    CScopedIeVersion oldBrowser(L"5.50.4807.2300");
    SetupRunOptions options;
    CRunningSetup setup(options);
    HWND hFinish = WaitForPage(setup.GetProcessId(), DriverPageFinish, 30000);
    ASSERT_NE(nullptr, hFinish);
    EXPECT_EQ(L"Installation failed.", GetControlText(hFinish, 1005));
    EXPECT_EQ(L"", GetControlText(hFinish, 1008));
    EXPECT_EQ(L"The version of IE is not supported.", GetControlText(hFinish, 1004));
    // Neither failure flag nor cancel flag is set on this path.
    EXPECT_EQ(L"Close", GetControlText(hFinish, 107));
    EXPECT_EQ(L"Launch Now", GetControlText(hFinish, 108));
    EXPECT_TRUE(IsControlVisible(hFinish, 108));
    SaveScreenshot(L"finish-browser");
    ClickButton(hFinish, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_EQ(0u, result.dwExitCode);
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(L"The version of IE is not supported.", result.boxes[0].strText);
    EXPECT_EQ(L"Brantlow Project Tessal Setup", result.boxes[0].strCaption);
    EXPECT_NE(nullptr, result.boxes[0].hWndOwner);
}

namespace
{
// Makes Wine report another Windows version to the setup (its own
// executable name only) for one scope.
class CScopedWindowsVersion
{
public:
    explicit CScopedWindowsVersion(LPCWSTR szVersion)
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, c_szKey, 0, nullptr, 0, KEY_WRITE, nullptr, &m_hKey, nullptr) ==
            ERROR_SUCCESS)
        {
            RegSetValueExW(m_hKey, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(szVersion),
                           static_cast<DWORD>((wcslen(szVersion) + 1) * sizeof(WCHAR)));
        }
    }
    ~CScopedWindowsVersion()
    {
        if (m_hKey)
        {
            RegDeleteValueW(m_hKey, L"Version");
            RegCloseKey(m_hKey);
        }
    }

private:
    static constexpr LPCWSTR c_szKey = L"Software\\Wine\\AppDefaults\\TessalSetup.exe";
    HKEY m_hKey = nullptr;
};
}

TEST(WizardWindowTest, WindowsBeforeXpEndsOnTheFailurePage)
{
    struct
    {
        const wchar_t* szVersion;
        bool fSupported;
    } const rgCases[] = {{L"win2k", false}, {L"winxp", true}, {L"win7", true}};
    for (const auto& c : rgCases)
    {
        CScopedWindowsVersion version(c.szVersion);
        SetupRunOptions options;
        CRunningSetup setup(options);
        HWND hPage = WaitForPage(setup.GetProcessId(), c.fSupported ? DriverPageLicense : DriverPageFinish, 30000);
        ASSERT_NE(nullptr, hPage) << c.szVersion;
        if (!c.fSupported)
        {
            EXPECT_EQ(L"Installation failed.", GetControlText(hPage, 1005));
            EXPECT_EQ(L"This platform can not support the version of Windows Installer you are attempting to install.",
                      GetControlText(hPage, 1004));
        }
        ClickButton(hPage, 107);
        SetupRunResult result = setup.Wait();
        EXPECT_FALSE(result.fTimedOut) << c.szVersion;
        EXPECT_EQ(0u, result.dwExitCode);
        ASSERT_EQ(c.fSupported ? 0u : 1u, result.boxes.size()) << c.szVersion;
        if (!c.fSupported)
        {
            EXPECT_EQ(L"This platform can not support the version of Windows Installer you are attempting to install.",
                      result.boxes[0].strText);
        }
    }
}
