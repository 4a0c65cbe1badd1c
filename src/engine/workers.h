#pragma once
#include "manifest/package.h"

class CSetupWizard;

// Messages the worker threads post to the wizard window.
constexpr UINT WM_SETUP_DONE = WM_USER + 15;
constexpr UINT WM_SETUP_UPDATE = WM_USER + 25;

// One block shared by both worker threads; it lives until the process ends.
struct WorkerParams
{
    CPackageInfo* pPackages;
    HINSTANCE hInstance;
    CSetupWizard* pWizard;
};

DWORD CreateWorkerThreads(HINSTANCE hInstance, CPackageInfo* pPackages, CSetupWizard* pWizard,
                          HANDLE* phInstallThread, HANDLE* phDownloadThread);
DWORD WINAPI InstallThreadProc(LPVOID pvParams);
DWORD WINAPI DownloadThreadProc(LPVOID pvParams);
