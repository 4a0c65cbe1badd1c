#include "engine/remove.h"
#include "diag/heapstr.h"
#include "diag/safestr.h"
#include "diag/trace.h"
#include "engine/exec.h"
#include "manifest/detect.h"
#include "platform/overrides.h"
#include "platform/registry.h"
#include "platform/syslib.h"
#include <objbase.h>

namespace
{
constexpr size_t c_cchRegistryText = 255;

bool FormatUninstallKey(LPCWSTR szCode, LPWSTR szKey)
{
    return SUCCEEDED(SafeFormat(szKey, c_cchRegistryText, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s",
                                szCode));
}

bool IsUninstallKeyPresent(LPCWSTR szCode)
{
    WCHAR szKey[c_cchRegistryText];
    HKEY hKey = FormatUninstallKey(szCode, szKey) ? OpenMachineKey(szKey, 0) : nullptr;
    if (!hKey)
    {
        return false;
    }
    RegCloseKey(hKey);
    return true;
}

// Runs a program for the removal package with these arguments in place of
// its own parameters, which are put back afterwards.
void RunWithParameters(CPackageInfo* pPackage, LPCWSTR szProgram, LPCWSTR szArguments, CSetupWizard* pWizard)
{
    LPWSTR szOwn = pPackage->szParameters;
    pPackage->szParameters = DuplicateString(szArguments);
    if (pPackage->szParameters)
    {
        RunExecutablePackage(pPackage, szProgram, pWizard);
        FreeString(pPackage->szParameters);
    }
    pPackage->szParameters = szOwn;
}

void RemoveWithInstaller(CPackageInfo* pPackage, CSetupWizard* pWizard)
{
    WCHAR szProgram[MAX_PATH] = {};
    DWORD dwPath = ComposeSystemFilePath(g_overrides.pfnGetSystemDirectoryW, L"msiExec.exe", szProgram);
    if (dwPath == ERROR_PATH_NOT_FOUND)
    {
        DebugMsg(L"[Info] Can't obtain system directory; assuming upgrade is necessary");
        return;
    }
    if (dwPath != ERROR_SUCCESS)
    {
        DebugMsg(L"[Info] Can't obtain msiexec.exe path");
        return;
    }
    LPCWSTR szCode = IsUninstallKeyPresent(EARLIER_PRODUCT_CODE) ? EARLIER_PRODUCT_CODE : pPackage->szProductCode;
    WCHAR szArguments[c_cchRegistryText];
    if (SUCCEEDED(SafeCopy(szArguments, c_cchRegistryText, L"/qn /uninstall ")) &&
        SUCCEEDED(SafeAppend(szArguments, c_cchRegistryText, szCode)))
    {
        RunWithParameters(pPackage, szProgram, szArguments, pWizard);
    }
}

void RemoveWithRegisteredCommand(CPackageInfo* pPackage, CSetupWizard* pWizard)
{
    WCHAR szKey[c_cchRegistryText];
    HKEY hKey = FormatUninstallKey(pPackage->szProductCode, szKey) ? OpenMachineKeyEitherView(szKey) : nullptr;
    if (!hKey)
    {
        return;
    }
    WCHAR szCommand[c_cchRegistryText / sizeof(WCHAR) + 1] = {};
    DWORD cbCommand = c_cchRegistryText;
    LONG lResult = RegQueryValueExW(hKey, L"UninstallString", nullptr, nullptr, reinterpret_cast<LPBYTE>(szCommand),
                                    &cbCommand);
    RegCloseKey(hKey);
    std::wstring strProgram;
    std::wstring strArguments;
    if (lResult == ERROR_SUCCESS && SplitUninstallCommand(szCommand, &strProgram, &strArguments))
    {
        RunWithParameters(pPackage, strProgram.c_str(), strArguments.c_str(), pWizard);
    }
}
}

bool SplitUninstallCommand(const std::wstring& strCommand, std::wstring* pstrProgram, std::wstring* pstrArguments)
{
    size_t iExe = std::wstring::npos;
    for (size_t i = 0; i + 4 <= strCommand.size(); ++i)
    {
        if (IsTextEqualNoCase(strCommand.substr(i, 4).c_str(), L".exe"))
        {
            iExe = i;
            break;
        }
    }
    if (iExe == std::wstring::npos)
    {
        return false;
    }
    std::wstring strProgram = strCommand.substr(0, iExe + 4);
    // The program runner quotes the path itself, so quotes of the command
    // are taken off; the closing quote is then the character skipped below.
    if (!strProgram.empty() && strProgram[0] == L'"')
    {
        strProgram.erase(0, 1);
    }
    size_t iRest = iExe + 5;
    *pstrProgram = strProgram;
    *pstrArguments = (iRest < strCommand.size() ? strCommand.substr(iRest) : std::wstring()) + L" /q";
    if (pstrArguments->size() > 4 && (*pstrArguments)[0] == L' ')
    {
        // A quoted program leaves the blank after its closing quote.
        pstrArguments->erase(0, 1);
    }
    return true;
}

DWORD RemovePreviousVersion(CPackageInfo* pPackage, CSetupWizard* pWizard)
{
    if (!IsPackageInstalled(pPackage))
    {
        return ERROR_SUCCESS;
    }
    if (pPackage->szProductCode)
    {
        CLSID clsid = {};
        if (SUCCEEDED(CLSIDFromString(pPackage->szProductCode, &clsid)))
        {
            RemoveWithInstaller(pPackage, pWizard);
        }
        else
        {
            RemoveWithRegisteredCommand(pPackage, pWizard);
        }
    }
    // The install thread marks the package done; what the uninstaller did
    // is not judged.
    return ERROR_SUCCESS;
}
