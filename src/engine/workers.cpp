#include "engine/workers.h"
#include "engine/steps.h"
#include "engine/workfolder.h"
#include "ui/wizard.h"
#include <new>

WorkerSteps g_workerSteps = {&DownloadPackage, &InstallPackage, &RemovePreviousVersion, &StagePackageFile};

void ResetWorkerSteps()
{
    g_workerSteps = {&DownloadPackage, &InstallPackage, &RemovePreviousVersion, &StagePackageFile};
}

namespace
{
constexpr DWORD c_dwInstallPollMs = 500;

bool IsAwaitingDownload(int nStatus)
{
    return nStatus == StatusPending || nStatus == StatusDownloading;
}
}

DWORD CreateWorkerThreads(HINSTANCE hInstance, CPackageInfo* pPackages, CSetupWizard* pWizard,
                          HANDLE* phInstallThread, HANDLE* phDownloadThread)
{
    *phInstallThread = nullptr;
    *phDownloadThread = nullptr;
    WorkerParams* pParams = new (std::nothrow) WorkerParams{pPackages, hInstance, pWizard};
    if (!pParams)
    {
        return ERROR_OUTOFMEMORY;
    }
    *phInstallThread = CreateThread(nullptr, 0, InstallThreadProc, pParams, CREATE_SUSPENDED, nullptr);
    *phDownloadThread = CreateThread(nullptr, 0, DownloadThreadProc, pParams, CREATE_SUSPENDED, nullptr);
    if (!*phInstallThread || !*phDownloadThread)
    {
        // Either thread alone would leave the wizard waiting forever; a
        // thread that was made stays suspended and ends with the process.
        return ERROR_OUTOFMEMORY;
    }
    return ERROR_SUCCESS;
}

DWORD WINAPI DownloadThreadProc(LPVOID pvParams)
{
    WorkerParams* pParams = static_cast<WorkerParams*>(pvParams);
    CSetupWizard* pWizard = pParams->pWizard;
    DWORD dwError = ERROR_SUCCESS;
    for (CPackageInfo* pPackage = pParams->pPackages;
         pPackage && dwError == ERROR_SUCCESS && !pWizard->IsCancelled(); pPackage = pPackage->pNext)
    {
        if (pPackage->nAction == ActionInstall && pPackage->nStatus.load() != StatusPreviouslyInstalled)
        {
            LPWSTR szLocalFile = nullptr;
            dwError = g_workerSteps.pfnDownloadPackage(pPackage, pParams->hInstance, &szLocalFile, pWizard);
            if (dwError == ERROR_SUCCESS)
            {
                // The path is in place before the state that hands the
                // package to the install thread.
                pPackage->szLocalFile.store(szLocalFile);
                pPackage->nStatus.store(StatusDownloaded);
            }
            else
            {
                pPackage->dwError.store(dwError);
                pPackage->nStatus.store(StatusDownloadFailed);
                pWizard->m_fPackageFailed.store(true);
            }
        }
        else if (pPackage->nAction == ActionRemove)
        {
            // There is nothing to download. The install thread does not wait
            // for a removal and may have finished it already, so only a
            // package still pending is moved on.
            int nPending = StatusPending;
            pPackage->nStatus.compare_exchange_strong(nPending, StatusDownloaded);
        }
        pWizard->PostNotify(WM_SETUP_UPDATE, 0);
    }
    return 0;
}

DWORD WINAPI InstallThreadProc(LPVOID pvParams)
{
    WorkerParams* pParams = static_cast<WorkerParams*>(pvParams);
    CSetupWizard* pWizard = pParams->pWizard;
    DWORD dwResult = ERROR_SUCCESS;
    CPackageInfo* pPackage = pParams->pPackages;
    pWizard->PostNotify(WM_SETUP_UPDATE, 0);
    while (pPackage && dwResult == ERROR_SUCCESS && !pWizard->IsCancelled())
    {
        int nStatus = pPackage->nStatus.load();
        if (nStatus == StatusInstallFailed)
        {
            break;
        }
        if (nStatus != StatusPreviouslyInstalled)
        {
            if (pPackage->nAction == ActionInstall)
            {
                while (IsAwaitingDownload(pPackage->nStatus.load()) && !pWizard->IsCancelled())
                {
                    Sleep(c_dwInstallPollMs);
                }
            }
            if (pWizard->IsCancelled() || pPackage->nStatus.load() != StatusDownloaded)
            {
                pPackage->nStatus.store(StatusInstallFailed);
                pWizard->PostNotify(WM_SETUP_UPDATE, 0);
                break;
            }
            // The file is copied where only the setup can change it and
            // checked there, right before it runs; the copy goes with the
            // folder when the package is done.
            CWorkFolder workFolder;
            DWORD dwStage = pPackage->nAction == ActionInstall
                                ? g_workerSteps.pfnStagePackageFile(pPackage, pParams->hInstance, pWizard, &workFolder)
                                : ERROR_SUCCESS;
            if (dwStage != ERROR_SUCCESS)
            {
                pPackage->dwError.store(dwStage);
                pPackage->nStatus.store(StatusDownloadFailed);
                pWizard->m_fPackageFailed.store(true);
                pWizard->PostNotify(WM_SETUP_UPDATE, 0);
                dwResult = dwStage;
                break;
            }
            pPackage->nStatus.store(StatusInstalling);
            pWizard->PostNotify(WM_SETUP_UPDATE, 0);
            dwResult = pPackage->nAction == ActionRemove
                           ? g_workerSteps.pfnRemovePreviousVersion(pPackage, pWizard)
                           : g_workerSteps.pfnInstallPackage(pPackage, pWizard, pParams->hInstance);
            if (dwResult == ERROR_SUCCESS)
            {
                pPackage->nStatus.store(StatusInstalled);
            }
            else
            {
                // Every kind of package keeps its code for the finish page.
                pPackage->dwError.store(dwResult);
                pPackage->nStatus.store(StatusInstallFailed);
                pWizard->m_fPackageFailed.store(true);
            }
            pWizard->PostNotify(WM_SETUP_UPDATE, 0);
        }
        pPackage = pPackage->pNext;
        pWizard->PostNotify(WM_SETUP_UPDATE, 0);
    }
    pWizard->PostNotify(WM_SETUP_DONE, dwResult);
    return dwResult;
}
