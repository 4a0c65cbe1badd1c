#pragma once
#include "engine/steps.h"

enum PackageFileType : int
{
    FileTypeUnknown = 0,
    FileTypeMsi = 1,
    FileTypeExe = 2,
    FileTypeZip = 3,
};

// The installer a package file needs, from its extension in any case.
PackageFileType GetPackageFileType(LPCWSTR szPath);
DWORD InstallMsiPackage(CPackageInfo* pPackage, LPCWSTR szMsiPath, CSetupWizard* pWizard, HINSTANCE hInstance);
