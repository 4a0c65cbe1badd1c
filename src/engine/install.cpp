#include "engine/install.h"
#include "diag/msgbox.h"
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
    if (msi.Load() != ERROR_SUCCESS || !msi.pfnSetInternalUI || !msi.pfnSetExternalUIW || !msi.pfnInstallProductW)
    {
        ReportErrorById(hInstance, pWizard->GetOwnerWindow(), pPackage->szProductName, IDS_MSI_UPGRADE_FAILED);
        return ERROR_INSTALL_FAILURE;
    }
    msi.pfnSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    msi.pfnSetExternalUIW(InstallerUiHandler, c_dwUiFilter, pWizard);
    UINT uResult = msi.pfnInstallProductW(szMsiPath, pPackage->szProperties ? pPackage->szProperties : L"");
    if (uResult == ERROR_SUCCESS_REBOOT_REQUIRED)
    {
        pPackage->fRebootRequired.store(true);
        return ERROR_SUCCESS;
    }
    if (uResult != ERROR_SUCCESS)
    {
        pPackage->dwError.store(uResult);
        ReportMsiError(uResult, pWizard->GetOwnerWindow(), pPackage->szProductName, hInstance, msi.GetModule());
    }
    return uResult;
}

DWORD InstallPackage(CPackageInfo* pPackage, CSetupWizard* pWizard, HINSTANCE hInstance)
{
    LPCWSTR szLocalFile = pPackage->szLocalFile.load();
    switch (GetPackageFileType(pPackage->szInstall))
    {
    case FileTypeMsi:
        return szLocalFile ? InstallMsiPackage(pPackage, szLocalFile, pWizard, hInstance) : ERROR_FILE_NOT_FOUND;
    case FileTypeExe:
        return szLocalFile ? RunExecutablePackage(pPackage, szLocalFile, pWizard) : ERROR_FILE_NOT_FOUND;
    case FileTypeZip:
        return szLocalFile ? InstallZipPackage(pPackage, hInstance, szLocalFile, pWizard) : ERROR_FILE_NOT_FOUND;
    default:
        return ERROR_FILE_NOT_FOUND;
    }
}

DWORD RemovePreviousVersion(CPackageInfo*, CSetupWizard*)
{
    // Nothing earlier is removed until the removal step is built; the
    // removal never fails the run.
    return ERROR_SUCCESS;
}
