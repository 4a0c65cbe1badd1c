#include "engine/install.h"
#include "diag/heapstr.h"
#include "diag/msgbox.h"
#include "diag/trace.h"
#include "diag/safestr.h"
#include "engine/exec.h"
#include "engine/zip.h"
#include "platform/msiservice.h"
#include "ui/installerui.h"
#include "ui/wizard.h"

namespace
{
constexpr DWORD c_dwUiFilter = 0x02007FFF;
}

PackageFileType GetPackageFileType(LPCWSTR szPath)
{
    if (!szPath)
    {
        return FileTypeUnknown;
    }
    size_t cch = wcslen(szPath);
    if (cch < 4)
    {
        return FileTypeUnknown;
    }
    LPCWSTR szExtension = szPath + cch - 4;
    if (IsTextEqualNoCase(szExtension, L".msi"))
    {
        return FileTypeMsi;
    }
    if (IsTextEqualNoCase(szExtension, L".exe"))
    {
        return FileTypeExe;
    }
    if (IsTextEqualNoCase(szExtension, L".zip"))
    {
        return FileTypeZip;
    }
    return FileTypeUnknown;
}

DWORD InstallMsiPackage(CPackageInfo* pPackage, LPCWSTR szMsiPath, CSetupWizard* pWizard, HINSTANCE hInstance)
{
    CMsiLibrary msi;
    if (msi.Load() != ERROR_SUCCESS || !msi.HasInstallEntryPoints())
    {
        ReportErrorById(hInstance, pWizard->GetOwnerWindow(), pPackage->szProductName, IDS_MSI_UPGRADE_FAILED);
        return ERROR_INSTALL_FAILURE;
    }
    // The trace has always said FULL; the level set is NONE, so that the
    // wizard's handler is the only user interface.
    DebugMsg(L"[Info] Setting Internal UI level to FULL...\n");
    msi.pfnSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    msi.pfnSetExternalUIW(InstallerUiHandler, c_dwUiFilter, pWizard);
    DebugMsg(L"[Info] Calling MsiInstallProduct with szInstallPath = %s", szMsiPath);
    DebugMsg(L" and szCommandLine = %s\n", pPackage->szProperties ? pPackage->szProperties : L"{null}");

    LPCWSTR szProperties = pPackage->szProperties ? pPackage->szProperties : L"";
    size_t cchCommandLine = wcslen(szProperties) + 1;
    CHeapString strCommandLine(AllocString(cchCommandLine));
    if (!strCommandLine.Get())
    {
        return ERROR_OUTOFMEMORY;
    }
    if (FAILED(SafeCopy(strCommandLine.Get(), cchCommandLine, szProperties)))
    {
        ReportErrorById(hInstance, pWizard->GetOwnerWindow(), pPackage->szProductName, IDS_INTERNAL_ERROR);
        return ERROR_INSTALL_FAILURE;
    }
    UINT uResult = msi.pfnInstallProductW(szMsiPath, strCommandLine.Get());
    if (uResult == ERROR_SUCCESS_REBOOT_REQUIRED)
    {
        pPackage->fRebootRequired.store(true);
        uResult = ERROR_SUCCESS;
    }
    else if (uResult != ERROR_SUCCESS)
    {
        pPackage->dwError.store(uResult);
        ReportMsiError(uResult, pWizard->GetOwnerWindow(), pPackage->szProductName, hInstance, msi.GetModule());
    }
    DebugMsgInt(L"[Info] MsiInstallProduct returned %d\n", static_cast<int>(uResult));
    return uResult;
}

DWORD InstallPackage(CPackageInfo* pPackage, CSetupWizard* pWizard, HINSTANCE hInstance)
{
    LPCWSTR szLocalFile = pPackage->szLocalFile.load();
    WCHAR szDrive[MAX_PATH];
    WCHAR szFolder[MAX_PATH];
    WCHAR szName[MAX_PATH];
    WCHAR szExtension[MAX_PATH];
    // Every part fits its buffer when the whole path does; the extension
    // has a tighter limit of its own.
    bool fSplit = szLocalFile && wcslen(szLocalFile) < MAX_PATH;
    if (fSplit)
    {
        _wsplitpath(szLocalFile, szDrive, szFolder, szName, szExtension);
        fSplit = wcslen(szExtension) < 256;
    }
    if (!fSplit)
    {
        ReportErrorById(hInstance, pWizard->GetOwnerWindow(), pPackage->szProductName, IDS_MSI_UPGRADE_FAILED);
        return ERROR_INSTALL_FAILURE;
    }
    switch (GetPackageFileType(szExtension))
    {
    case FileTypeMsi:
        return InstallMsiPackage(pPackage, szLocalFile, pWizard, hInstance);
    case FileTypeExe:
        return RunExecutablePackage(pPackage, szLocalFile, pWizard);
    case FileTypeZip:
        return InstallZipPackage(pPackage, hInstance, szLocalFile, pWizard);
    default:
        return ERROR_FILE_NOT_FOUND;
    }
}
