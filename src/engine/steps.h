#pragma once
#include "manifest/package.h"

class CSetupWizard;

// The package steps that the worker threads call. A test gives the threads
// scripted steps through g_workerSteps; the run uses the real ones.
DWORD DownloadPackage(CPackageInfo* pPackage, HINSTANCE hInstance, LPWSTR* pszLocalFile, CSetupWizard* pWizard);
DWORD InstallPackage(CPackageInfo* pPackage, CSetupWizard* pWizard, HINSTANCE hInstance);
DWORD RemovePreviousVersion(CPackageInfo* pPackage, CSetupWizard* pWizard);
class CWorkFolder;
// Copies the downloaded file of a package into a working folder of its own
// and checks the copy against the manifest's SHA-256 just before it is
// installed; the package's local file is the copy from then on. A mismatch
// drops the cached file and fetches it once more; a second mismatch, or a
// file that cannot be copied, fails the package as a failed download (its
// box and an error line in the setup log).
DWORD StagePackageFile(CPackageInfo* pPackage, HINSTANCE hInstance, CSetupWizard* pWizard, CWorkFolder* pFolder);

struct WorkerSteps
{
    DWORD (*pfnDownloadPackage)(CPackageInfo*, HINSTANCE, LPWSTR*, CSetupWizard*);
    DWORD (*pfnInstallPackage)(CPackageInfo*, CSetupWizard*, HINSTANCE);
    DWORD (*pfnRemovePreviousVersion)(CPackageInfo*, CSetupWizard*);
    DWORD (*pfnStagePackageFile)(CPackageInfo*, HINSTANCE, CSetupWizard*, CWorkFolder*);
};

extern WorkerSteps g_workerSteps;
void ResetWorkerSteps();
