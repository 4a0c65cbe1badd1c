#include "support/wizarddriver.h"
#include "support/setuprun.h"
#include "support/testpaths.h"
#include <commctrl.h>
#include <msi.h>

std::wstring GetControlText(HWND hWnd, int nControlId)
{
    WCHAR szText[2048] = {};
    SendDlgItemMessageW(hWnd, nControlId, WM_GETTEXT, ARRAYSIZE(szText), reinterpret_cast<LPARAM>(szText));
    return szText;
}

bool IsControlVisible(HWND hWnd, int nControlId)
{
    HWND hControl = GetDlgItem(hWnd, nControlId);
    return hControl && (GetWindowLongW(hControl, GWL_STYLE) & WS_VISIBLE) != 0;
}

void ClickButton(HWND hWnd, int nControlId)
{
    PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(nControlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hWnd, nControlId)));
}

HWND GetFocusedControl(HWND hWnd)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(GetWindowThreadProcessId(hWnd, nullptr), &info) ? info.hwndFocus : nullptr;
}

void PressKey(HWND hWnd, UINT uVirtualKey)
{
    HWND hFocus = GetFocusedControl(hWnd);
    LPARAM lScan = static_cast<LPARAM>(MapVirtualKeyW(uVirtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(hFocus, WM_KEYDOWN, uVirtualKey, lScan | 1);
    PostMessageW(hFocus, WM_KEYUP, uVirtualKey, lScan | 1 | (1 << 30) | (1u << 31));
}

HWND FindMessageBox(DWORD dwProcessId, LPCWSTR szTextPart)
{
    return FindProcessWindow(dwProcessId, [szTextPart](HWND hWnd) {
        WCHAR szClass[16] = {};
        GetClassNameW(hWnd, szClass, ARRAYSIZE(szClass));
        return wcscmp(szClass, L"#32770") == 0 && GetControlText(hWnd, 0xFFFF).find(szTextPart) != std::wstring::npos;
    });
}

namespace
{
bool IsPage(HWND hWnd, DriverPage nPage)
{
    switch (nPage)
    {
    case DriverPageLicense:
        return GetDlgItem(hWnd, 1093) != nullptr;
    case DriverPageProgress:
        return GetDlgItem(hWnd, 104) != nullptr;
    default:
        return GetDlgItem(hWnd, 1005) != nullptr && GetDlgItem(hWnd, 104) == nullptr;
    }
}
}

HWND WaitForPage(DWORD dwProcessId, DriverPage nPage, DWORD dwTimeoutMs)
{
    DWORD dwStart = GetTickCount();
    do
    {
        HWND hWnd = FindWizardWindow(dwProcessId);
        if (hWnd && IsPage(hWnd, nPage))
        {
            return hWnd;
        }
        Sleep(50);
    } while (GetTickCount() - dwStart < dwTimeoutMs);
    return nullptr;
}

ProgressBarState GetProgressBar(HWND hWnd)
{
    HWND hBar = GetDlgItem(hWnd, 104);
    ProgressBarState state = {};
    state.nLow = static_cast<int>(SendMessageW(hBar, PBM_GETRANGE, TRUE, 0));
    state.nHigh = static_cast<int>(SendMessageW(hBar, PBM_GETRANGE, FALSE, 0));
    state.nPosition = static_cast<int>(SendMessageW(hBar, PBM_GETPOS, 0, 0));
    state.fMarquee = (GetWindowLongW(hBar, GWL_STYLE) & PBS_MARQUEE) != 0;
    return state;
}

std::wstring GetServerRoot()
{
    return GetBinFolder() + L"..\\server\\";
}

void SetServerFaults(const std::string& strJson)
{
    std::wstring strPath = GetServerRoot() + L"faults.json";
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD cbWritten = 0;
    WriteFile(hFile, strJson.data(), static_cast<DWORD>(strJson.size()), &cbWritten, nullptr);
    CloseHandle(hFile);
}

std::string ReadFileBytes(const std::wstring& strPath)
{
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        return std::string();
    }
    std::string strData(GetFileSize(hFile, nullptr), '\0');
    DWORD cbRead = 0;
    if (!strData.empty())
    {
        ReadFile(hFile, &strData[0], static_cast<DWORD>(strData.size()), &cbRead, nullptr);
    }
    CloseHandle(hFile);
    strData.resize(cbRead);
    return strData;
}

std::vector<std::string> ReadServerRequests()
{
    const std::string strLog = ReadFileBytes(GetServerRoot() + L"requests.log");
    std::vector<std::string> requests;
    for (size_t iStart = 0; iStart < strLog.size();)
    {
        size_t iEnd = strLog.find('\n', iStart);
        requests.push_back(strLog.substr(iStart, iEnd == std::string::npos ? std::string::npos : iEnd - iStart));
        iStart = iEnd == std::string::npos ? strLog.size() : iEnd + 1;
    }
    return requests;
}

void ClearServerRequests()
{
    DeleteFileW((GetServerRoot() + L"requests.log").c_str());
}

std::string ReadStubCalls()
{
    return ReadFileBytes(GetTempFolder() + L"tessal-stub-calls.txt");
}

void ClearStubCalls()
{
    DeleteFileW((GetTempFolder() + L"tessal-stub-calls.txt").c_str());
}

namespace
{
DWORD RunInstaller(const std::wstring& strArguments)
{
    std::wstring strCommand = L"msiexec.exe " + strArguments;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    DWORD dwExitCode = 0xFFFFFFFF;
    if (CreateProcessW(nullptr, &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    {
        WaitForSingleObject(pi.hProcess, 120000);
        GetExitCodeProcess(pi.hProcess, &dwExitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    return dwExitCode;
}
}

void UninstallProduct(LPCWSTR szProductCode)
{
    RunInstaller(std::wstring(L"/qn /x ") + szProductCode);
}

DWORD InstallProductFile(const std::wstring& strMsi)
{
    return RunInstaller(L"/qn /i \"" + strMsi + L"\"");
}

bool IsProductInstalledForTest(LPCWSTR szProductCode)
{
    return MsiQueryProductStateW(szProductCode) == INSTALLSTATE_DEFAULT;
}
