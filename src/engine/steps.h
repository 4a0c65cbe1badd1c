#pragma once
#include "manifest/package.h"

class CSetupWizard;

// The package steps that the worker threads call. A test gives the threads
// scripted steps through g_workerSteps; the run uses the real ones.
DWORD DownloadPackage(CPackageInfo* pPackage, HINSTANCE hInstance, LPWSTR* pszLocalFile, CSetupWizard* pWizard);
DWORD InstallPackage(CPackageInfo* pPackage, CSetupWizard* pWizard, HINSTANCE hInstance);
DWORD RemovePreviousVersion(CPackageInfo* pPackage, CSetupWizard* pWizard);

struct WorkerSteps
{
    DWORD (*pfnDownloadPackage)(CPackageInfo*, HINSTANCE, LPWSTR*, CSetupWizard*);
    DWORD (*pfnInstallPackage)(CPackageInfo*, CSetupWizard*, HINSTANCE);
    DWORD (*pfnRemovePreviousVersion)(CPackageInfo*, CSetupWizard*);
};

extern WorkerSteps g_workerSteps;
void ResetWorkerSteps();
