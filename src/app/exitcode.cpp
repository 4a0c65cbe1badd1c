#include "app/exitcode.h"

namespace
{
bool IsInstallerCode(DWORD dwCode)
{
    return dwCode >= 1600 && dwCode <= 1699;
}
}

const CPackageInfo* FindFirstFailure(const CPackageInfo* pPackages)
{
    for (const CPackageInfo* pPackage = pPackages; pPackage; pPackage = pPackage->pNext)
    {
        int nStatus = pPackage->nStatus.load();
        if (nStatus == StatusDownloadFailed || nStatus == StatusInstallFailed)
        {
            return pPackage;
        }
    }
    return nullptr;
}

DWORD ChooseExitCode(const RunOutcome& outcome)
{
    if (outcome.fBadCommandLine)
    {
        return ERROR_INVALID_PARAMETER;
    }
    if (outcome.fAlreadyRunning)
    {
        return ERROR_INSTALL_ALREADY_RUNNING;
    }
    if (outcome.fCancelled)
    {
        return ERROR_INSTALL_USEREXIT;
    }
    if (outcome.fSystemCheckFailed || !outcome.fCompleted)
    {
        return ERROR_INSTALL_FAILURE;
    }
    if (outcome.pFailed)
    {
        // A download's own code is the URL service's, which a deployment
        // tool cannot judge; an installer's 16xx code it can.
        DWORD dwError = outcome.pFailed->dwError.load();
        bool fInstall = outcome.pFailed->nStatus.load() == StatusInstallFailed;
        return fInstall && IsInstallerCode(dwError) ? dwError : ERROR_INSTALL_FAILURE;
    }
    if (outcome.fRestartNeeded)
    {
        return outcome.fRestartStarted ? EXIT_RESTART_STARTED : ERROR_SUCCESS_REBOOT_REQUIRED;
    }
    return ERROR_SUCCESS;
}

LPCWSTR DescribeExitCode(DWORD dwExitCode)
{
    switch (dwExitCode)
    {
    case ERROR_SUCCESS:
        return L"everything is installed";
    case ERROR_SUCCESS_REBOOT_REQUIRED:
        return L"installed; a restart is needed and was not made";
    case EXIT_RESTART_STARTED:
        return L"installed; the restart was started";
    case ERROR_INSTALL_USEREXIT:
        return L"cancelled";
    case ERROR_INSTALL_ALREADY_RUNNING:
        return L"another setup is already running";
    case ERROR_INVALID_PARAMETER:
        return L"bad command line or log path";
    case ERROR_INSTALL_FAILURE:
        return L"the installation failed";
    default:
        return L"a package failed to install";
    }
}
