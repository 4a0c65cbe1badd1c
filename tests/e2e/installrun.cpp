#include "e2e/installrun.h"
#include <string.h>

std::wstring ReadFinalLog()
{
    return ReadFileUtf16(GetTempFolder() + L"ProjectTessalSetup.log");
}

void ResetMachine()
{
    SetServerFaults("{}");
    ClearStubCalls();
    for (LPCWSTR szCode : {c_szTessalCode, c_szMsxml32Code, c_szMsxml64Code})
    {
        if (IsProductInstalledForTest(szCode))
        {
            UninstallProduct(szCode);
        }
    }
}

int CountGuidFolders()
{
    WIN32_FIND_DATAW find = {};
    HANDLE hFind = FindFirstFileW((GetTempFolder() + L"{*}").c_str(), &find);
    int n = 0;
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            // The licence folders stay by design; the extraction folders must not.
            std::wstring strIndex = GetTempFolder() + find.cFileName + L"\\BltwLicense.ini";
            if ((find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                GetFileAttributesW(strIndex.c_str()) == INVALID_FILE_ATTRIBUTES)
            {
                ++n;
            }
        } while (FindNextFileW(hFind, &find));
        FindClose(hFind);
    }
    return n;
}

bool HasCall(const std::string& strCalls, const char* szName, const char* szArguments)
{
    size_t iLine = 0;
    while (iLine < strCalls.size())
    {
        size_t iEnd = strCalls.find("\r\n", iLine);
        std::string strLine = strCalls.substr(iLine, iEnd == std::string::npos ? std::string::npos : iEnd - iLine);
        iLine = iEnd == std::string::npos ? strCalls.size() : iEnd + 2;
        size_t iQuote = strLine.rfind('"');
        if (strLine.compare(0, strlen(szName), szName) == 0 && iQuote != std::string::npos &&
            (szArguments[0] == '\0' || strLine.substr(iQuote + 1) == std::string(" ") + szArguments))
        {
            return true;
        }
    }
    return false;
}

CDisabledBuiltIns::CDisabledBuiltIns()
{
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_WRITE, nullptr,
                        &m_hKey, nullptr) == ERROR_SUCCESS)
    {
        for (LPCWSTR szName : c_rgszNames)
        {
            RegSetValueExW(m_hKey, szName, 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(WCHAR));
        }
    }
}

CDisabledBuiltIns::~CDisabledBuiltIns()
{
    if (m_hKey)
    {
        for (LPCWSTR szName : c_rgszNames)
        {
            RegDeleteValueW(m_hKey, szName);
        }
        RegCloseKey(m_hKey);
    }
}

SetupRunOptions CancelQuestionRun(int nAnswer)
{
    SetupRunOptions options;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    options.answers = {{L"Do you really want to terminate", nAnswer}};
    return options;
}

HWND AcceptLicenceAndWaitFor(CRunningSetup& setup, DriverPage nPage, DWORD dwTimeoutMs)
{
    HWND hLicence = WaitForPage(setup.GetProcessId(), DriverPageLicense, 30000);
    EXPECT_NE(nullptr, hLicence) << "the licence page never appeared";
    if (!hLicence)
    {
        return nullptr;
    }
    ClickButton(hLicence, 108);
    HWND hPage = WaitForPage(setup.GetProcessId(), nPage, dwTimeoutMs);
    EXPECT_NE(nullptr, hPage) << "the expected page never appeared";
    return hPage;
}

HWND AcceptLicence(CRunningSetup& setup)
{
    return AcceptLicenceAndWaitFor(setup, DriverPageProgress, 30000);
}

HWND RunToFinish(CRunningSetup& setup)
{
    return AcceptLicenceAndWaitFor(setup, DriverPageFinish, c_dwRunTimeoutMs);
}

SetupRunResult RunAndCloseFinishPage(LPCWSTR szExe, LPCWSTR szTitle, std::wstring* pstrDetail)
{
    SetupRunOptions options;
    options.strExe = szExe;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup setup(options);
    HWND hFinish = RunToFinish(setup);
    if (hFinish && pstrDetail)
    {
        *pstrDetail = GetControlText(hFinish, 1004);
    }
    return CloseFinishPage(setup, hFinish, szTitle);
}

SetupRunResult CloseFinishPage(CRunningSetup& setup, HWND hFinish, LPCWSTR szTitle)
{
    EXPECT_NE(nullptr, hFinish) << "no finish page with the title " << std::string(szTitle, szTitle + wcslen(szTitle));
    if (hFinish)
    {
        EXPECT_EQ(std::wstring(szTitle), GetControlText(hFinish, 1005));
        ClickButton(hFinish, 107);
    }
    SetupRunResult result = setup.Wait();
    EXPECT_FALSE(result.fTimedOut);
    EXPECT_EQ(0u, result.dwExitCode);
    return result;
}

std::wstring FindStubProgramPath(const std::string& strCalls, const char* szName)
{
    size_t iLine = strCalls.find(std::string(szName));
    size_t iOpen = iLine == std::string::npos ? std::string::npos : strCalls.find('"', iLine);
    size_t iClose = iOpen == std::string::npos ? std::string::npos : strCalls.find('"', iOpen + 1);
    if (iClose == std::string::npos)
    {
        return std::wstring();
    }
    std::string strPath = strCalls.substr(iOpen + 1, iClose - iOpen - 1);
    return std::wstring(strPath.begin(), strPath.end());
}
