#include "app/layoutrun.h"
#include "checks/syschecks.h"
#include "diag/msgbox.h"
#include "diag/setuplog.h"
#include "engine/layout.h"
#include "engine/workfolder.h"
#include "manifest/packagelist.h"
#include "ui/wizard.h"

namespace
{
std::wstring GetFullPath(LPCWSTR szPath)
{
    WCHAR szFull[MAX_PATH] = {};
    DWORD cchFull = GetFullPathNameW(szPath, MAX_PATH, szFull, nullptr);
    std::wstring strFull = cchFull != 0 && cchFull < MAX_PATH ? szFull : L"";
    while (strFull.size() > 3 && strFull.back() == L'\\')
    {
        strFull.pop_back();
    }
    return strFull;
}

// The folder's copy of the running setup, which installs from it later.
DWORD CopySetupInto(LPCWSTR szModulePath, const std::wstring& strFolder)
{
    const std::wstring strCopy = strFolder + L"\\TessalSetup.exe";
    const std::wstring strSelf = GetFullPath(szModulePath);
    if (_wcsicmp(strCopy.c_str(), strSelf.c_str()) == 0)
    {
        return ERROR_SUCCESS;
    }
    return CopyFileW(szModulePath, strCopy.c_str(), FALSE) ? ERROR_SUCCESS : GetLastError();
}

DWORD RefuseFolder(HINSTANCE hInstance, LPCWSTR szTitle, CSetupWizard& wizard, LPCWSTR szFolder, DWORD dwError)
{
    CSetupLog::Instance().Write(L"  Layout: the folder %s cannot be made or written (%u)\n", szFolder, dwError);
    ReportSystemError(hInstance, wizard.GetOwnerWindow(), szTitle, IDS_LAYOUT_FOLDER, szFolder);
    return ERROR_BAD_PATHNAME;
}
}

DWORD PrepareLayoutRun(HINSTANCE hInstance, LPCWSTR szTitle, LPCWSTR szModulePath, LPCWSTR szFolder,
                       LPCWSTR szBaseUrl, CSetupWizard& wizard, CPackageInfo** ppFiles)
{
    const std::wstring strFolder = GetFullPath(szFolder);
    DWORD dwResult = strFolder.empty() ? ERROR_BAD_PATHNAME : CreateFolderPath(strFolder);
    if (dwResult != ERROR_SUCCESS)
    {
        return RefuseFolder(hInstance, szTitle, wizard, szFolder, dwResult);
    }
    dwResult = BuildLayoutList(hInstance, szBaseUrl, GetLayoutBaseUrl().c_str(), ppFiles);
    if (dwResult != ERROR_SUCCESS)
    {
        return dwResult;
    }
    if (!HasEnoughDiskSpace(*ppFiles, strFolder.c_str()))
    {
        CSetupLog::Instance().Write(L"  Layout: the drive of %s has not the space the packages need\n",
                                    strFolder.c_str());
        ReportErrorById(hInstance, wizard.GetOwnerWindow(), szTitle, IDS_NOT_ENOUGH_DISK_SPACE);
        return ERROR_DISK_FULL;
    }
    dwResult = CopySetupInto(szModulePath, strFolder);
    if (dwResult != ERROR_SUCCESS)
    {
        return RefuseFolder(hInstance, szTitle, wizard, strFolder.c_str(), dwResult);
    }
    SetLayoutTarget(strFolder.c_str());
    UseLayoutSteps();
    wizard.m_fLayout = true;
    CSetupLog::Instance().Write(L"  Layout: filling %s\n", strFolder.c_str());
    return ERROR_SUCCESS;
}

bool ChooseLayoutSource(LPCWSTR szModulePath, const std::wstring& strSourceOption, std::wstring* pstrSource)
{
    pstrSource->clear();
    if (!strSourceOption.empty())
    {
        *pstrSource = GetFullPath(strSourceOption.c_str());
        return IsLayoutFolder(pstrSource->c_str());
    }
    std::wstring strFolder = szModulePath;
    size_t iSlash = strFolder.rfind(L'\\');
    strFolder.resize(iSlash == std::wstring::npos ? 0 : iSlash);
    if (IsLayoutFolder(strFolder.c_str()))
    {
        *pstrSource = strFolder;
    }
    return true;
}
