#include "engine/workers.h"
#include "ui/wizard.h"
#include <new>

DWORD CreateWorkerThreads(HINSTANCE hInstance, CPackageInfo* pPackages, CSetupWizard* pWizard,
                          HANDLE* phInstallThread, HANDLE* phDownloadThread)
{
    WorkerParams* pParams = new (std::nothrow) WorkerParams{pPackages, hInstance, pWizard};
    *phInstallThread = nullptr;
    *phDownloadThread = nullptr;
    if (!pParams)
    {
        return ERROR_OUTOFMEMORY;
    }
    *phInstallThread = CreateThread(nullptr, 0, InstallThreadProc, pParams, CREATE_SUSPENDED, nullptr);
    *phDownloadThread = CreateThread(nullptr, 0, DownloadThreadProc, pParams, CREATE_SUSPENDED, nullptr);
    return ERROR_SUCCESS;
}

DWORD WINAPI DownloadThreadProc(LPVOID)
{
    return 0;
}

DWORD WINAPI InstallThreadProc(LPVOID pvParams)
{
    WorkerParams* pParams = static_cast<WorkerParams*>(pvParams);
    pParams->pWizard->PostNotify(WM_SETUP_DONE, 0);
    return 0;
}
