#include "app/runsetup.h"
#include "app/cmdline.h"
#include "app/exitcode.h"
#include "app/layoutrun.h"
#include "app/restart.h"
#include "checks/syschecks.h"
#include "diag/heapstr.h"
#include "diag/msgbox.h"
#include "diag/safestr.h"
#include "diag/setuplog.h"
#include "diag/trace.h"
#include "engine/layout.h"
#include "engine/workers.h"
#include "manifest/manifest.h"
#include "manifest/packagelist.h"
#include "platform/owners.h"
#include "platform/syslib.h"
#include "ui/wizard.h"
#include <memory>
#include <new>

namespace
{
constexpr int c_cchTitle = 512;

// Everything the run holds between its steps.
struct CRunState
{
    HINSTANCE hInstance;
    LPWSTR szCommandLine;
    WCHAR szTitle[c_cchTitle];
    WCHAR szModulePath[MAX_PATH];
    CSetupWizard& wizard;
    // The single-instance mutex, closed when the run ends.
    CHandleOwner mutex;
    CHeapString strOperation;
    CHeapString strDatabase;
    CHeapString strBaseUrl;
    CPackageInfo* pPackages;
    // The command line has managed switches, which were checked already.
    bool fManaged;
    bool fAlreadyRunning;
    // "/layout <folder>", and whether its folder was refused.
    LPCWSTR szLayoutFolder;
    bool fLayoutRefused;
};

// Shown when a system check fails: the finish page names the failure and
// the run waits for the user to close the wizard.
void RunFailureTail(CSetupWizard& wizard)
{
    if (wizard.GetUiMode() != UiModeFull)
    {
        // Unattended: the failure's box was logged, and the exit code says it.
        return;
    }
    wizard.SetPage(PageFinish);
    wizard.RefreshStatus();
    wizard.RunMessageLoop();
}

// Reads a required global entry; false ends the run after its report.
bool LoadRequiredEntry(CRunState& run, LPCWSTR szName, CHeapString& strValue)
{
    DWORD dwResult = LoadManifestString(run.hInstance, szName, strValue.Slot());
    if (dwResult == ERROR_OUTOFMEMORY)
    {
        ReportOutOfMemory(run.hInstance, run.wizard.GetOwnerWindow(), run.szTitle);
        return false;
    }
    if (dwResult != ERROR_SUCCESS)
    {
        ReportMissingResource(run.hInstance, run.wizard.GetOwnerWindow(), run.szTitle, szName);
        return false;
    }
    return true;
}

bool LoadOperation(CRunState& run)
{
    DWORD dwResult = LoadManifestString(run.hInstance, L"OPERATION", run.strOperation.Slot());
    if (dwResult == ERROR_OUTOFMEMORY)
    {
        ReportOutOfMemory(run.hInstance, run.wizard.GetOwnerWindow(), run.szTitle);
        return false;
    }
    if (dwResult == ERROR_SUCCESS)
    {
        return true;
    }
    const WCHAR szDefault[] = L"DEFAULT";
    run.strOperation.Reset(AllocString(ARRAYSIZE(szDefault)));
    if (!run.strOperation.Get())
    {
        ReportOutOfMemory(run.hInstance, run.wizard.GetOwnerWindow(), run.szTitle);
        return false;
    }
    if (FAILED(SafeCopy(run.strOperation.Get(), ARRAYSIZE(szDefault), szDefault)))
    {
        ReportErrorById(run.hInstance, run.wizard.GetOwnerWindow(), run.szTitle, IDS_INTERNAL_ERROR);
        return false;
    }
    return true;
}

// The operating system and the browser; false ends the run on the failure
// page.
bool PassSystemChecks(CRunState& run)
{
    CSetupWizard& wizard = run.wizard;
    if (!IsOsSupported())
    {
        ReportErrorById(run.hInstance, wizard.GetOwnerWindow(), run.szTitle, IDS_OS_NOT_SUPPORTED);
        wizard.m_fOsSupported = false;
        RunFailureTail(wizard);
        return false;
    }
    if (!IsBrowserSupported())
    {
        ReportErrorById(run.hInstance, wizard.GetOwnerWindow(), run.szTitle, IDS_BROWSER_NOT_SUPPORTED);
        wizard.m_fBrowserSupported = false;
        RunFailureTail(wizard);
        return false;
    }
    return true;
}

// Takes the single-instance mutex; false when another setup holds it.
bool TakeSingleInstance(CRunState& run)
{
    HANDLE hMutex = CreateMutexW(nullptr, FALSE, SETUP_MUTEX_NAME);
    if (!hMutex)
    {
        return false;
    }
    DWORD dwMutexError = GetLastError();
    run.mutex.Reset(hMutex);
    run.fAlreadyRunning = dwMutexError == ERROR_ALREADY_EXISTS;
    return !run.fAlreadyRunning;
}

// The manifest's global entries and the admin arguments; false ends the run
// after its box.
bool LoadGlobalEntries(CRunState& run, RunMode nMode)
{
    CSetupWizard& wizard = run.wizard;
    if (!LoadOperation(run))
    {
        return false;
    }
    if (nMode == RunAdmin && !run.fManaged && CheckAdminArgs(run.szCommandLine) == ERROR_BAD_ARGUMENTS)
    {
        ShowUsage(run.hInstance, wizard.GetOwnerWindow(), run.szTitle);
        return false;
    }
    if (!IsOperationAccepted(run.strOperation.Get()))
    {
        DebugMsg(L"[Error] Operation %s is not valid for a package\n", run.strOperation.Get());
        ReportSystemError(run.hInstance, wizard.GetOwnerWindow(), run.szTitle, IDS_BAD_OPERATION,
                          run.strOperation.Get());
        return false;
    }
    return LoadRequiredEntry(run, L"TESSALDB", run.strDatabase) && LoadRequiredEntry(run, L"BASEURL", run.strBaseUrl);
}

// The package list and the disk space; false ends the run (on the failure
// page when the space is short).
bool PreparePackages(CRunState& run)
{
    CSetupWizard& wizard = run.wizard;
    DWORD dwResult = BuildPackageList(run.hInstance, run.strBaseUrl.Get(), &run.pPackages);
    if (dwResult == ERROR_OUTOFMEMORY)
    {
        ReportOutOfMemory(run.hInstance, wizard.GetOwnerWindow(), run.szTitle);
        return false;
    }
    if (dwResult != ERROR_SUCCESS)
    {
        return false;
    }
    if (!HasEnoughDiskSpace(run.pPackages))
    {
        ReportErrorById(run.hInstance, wizard.GetOwnerWindow(), run.szTitle, IDS_NOT_ENOUGH_DISK_SPACE);
        wizard.m_fEnoughDiskSpace = false;
        RunFailureTail(wizard);
        return false;
    }
    return true;
}

// A "/layout" run's files in place of the package list; false ends the run
// (on the failure page when the space is short).
bool PrepareLayout(CRunState& run)
{
    DWORD dwResult = PrepareLayoutRun(run.hInstance, run.szTitle, run.szModulePath, run.szLayoutFolder,
                                      run.strBaseUrl.Get(), run.wizard, &run.pPackages);
    if (dwResult == ERROR_OUTOFMEMORY)
    {
        ReportOutOfMemory(run.hInstance, run.wizard.GetOwnerWindow(), run.szTitle);
    }
    else if (dwResult == ERROR_DISK_FULL)
    {
        run.wizard.m_fEnoughDiskSpace = false;
        RunFailureTail(run.wizard);
    }
    run.fLayoutRefused = dwResult == ERROR_BAD_PATHNAME;
    return dwResult == ERROR_SUCCESS;
}

// Steps from the system checks to the message loop; returning ends the run.
void RunInstall(CRunState& run, RunMode nMode, bool fRestarted)
{
    CSetupWizard& wizard = run.wizard;
    wizard.Init(run.hInstance);
    // After the splash is up, which they would only delay.
    PinSystemLibraries();
    if (!PassSystemChecks(run) || !TakeSingleInstance(run) || !LoadGlobalEntries(run, nMode) ||
        !(run.szLayoutFolder ? PrepareLayout(run) : PreparePackages(run)))
    {
        return;
    }
    HANDLE hInstallThread = nullptr;
    HANDLE hDownloadThread = nullptr;
    if (CreateWorkerThreads(run.hInstance, run.pPackages, &wizard, &hInstallThread, &hDownloadThread) != ERROR_SUCCESS)
    {
        ReportOutOfMemory(run.hInstance, wizard.GetOwnerWindow(), run.szTitle);
        return;
    }
    wizard.Start(hInstallThread, hDownloadThread, run.pPackages);
    // An unattended run is on its progress page already.
    if (fRestarted && wizard.GetUiMode() == UiModeFull)
    {
        wizard.SetPage(PageProgress);
        wizard.ResumeWorkers();
        wizard.RefreshStatus();
    }
    wizard.RunMessageLoop();
}
}

bool IsOperationAccepted(LPCWSTR szOperation)
{
    return szOperation && (IsTextEqualNoCase(szOperation, L"INSTALL") || IsTextEqualNoCase(szOperation, L"INSTALLUPD") ||
                           IsTextEqualNoCase(szOperation, L"DEFAULT"));
}

namespace
{
// Runs the install and waits for the worker threads.
void RunInstallAndStopWorkers(CRunState& run, RunMode nMode, bool fRestarted,
                              std::unique_ptr<CSetupWizard>& pWizard)
{
    RunInstall(run, nMode, fRestarted);
    if (!pWizard->StopWorkers(WORKER_STOP_BOUND_MS))
    {
        // A thread still inside a transfer or an installer keeps what it
        // reaches until the process ends.
        DebugMsg(L"[Info] A worker thread is still busy at the end of the run\n");
        pWizard->DestroyWindows();
        static_cast<void>(pWizard.release());
    }
}

// The files of the run come from this layout from now on, if any.
void UseLayoutSource(const std::wstring& strSource)
{
    if (!strSource.empty())
    {
        CSetupLog::Instance().Write(L"  Installing from the layout in %s\n", strSource.c_str());
    }
    SetLayoutSource(strSource.c_str());
}

// A run with managed switches; returns whether the machine is to restart.
// *pdwExitCode is what an unattended run reports.
bool RunManaged(CRunState& run, const ManagedOptions& options, DWORD dwParse, std::unique_ptr<CSetupWizard>& pWizard,
                DWORD* pdwExitCode)
{
    CSetupWizard& wizard = *pWizard;
    const bool fUnattended = options.IsUnattended();
    RunOutcome outcome;
    if (dwParse == ERROR_SUCCESS && !options.strLogPath.empty() &&
        !CSetupLog::Instance().AddCopy(options.strLogPath.c_str()))
    {
        CSetupLog::Instance().Write(L"  Command line: the log file %s cannot be opened (%u)\n",
                                    options.strLogPath.c_str(), GetLastError());
        dwParse = ERROR_BAD_ARGUMENTS;
    }
    std::wstring strSource;
    if (dwParse == ERROR_SUCCESS && !ChooseLayoutSource(run.szModulePath, options.strSourceFolder, &strSource))
    {
        CSetupLog::Instance().Write(L"  Command line: %s holds no layout (no installfiles folder)\n",
                                    options.strSourceFolder.c_str());
        dwParse = ERROR_BAD_ARGUMENTS;
    }
    UseLayoutSource(strSource);
    run.szLayoutFolder = options.strLayoutFolder.empty() ? nullptr : options.strLayoutFolder.c_str();
    if (dwParse != ERROR_SUCCESS)
    {
        if (!fUnattended)
        {
            ShowUsage(run.hInstance, nullptr, run.szTitle);
        }
        outcome.fBadCommandLine = true;
        *pdwExitCode = ChooseExitCode(outcome);
        return false;
    }
    run.fManaged = true;
    wizard.SetUiMode(options.fQuiet ? UiModeQuiet : (options.fPassive ? UiModePassive : UiModeFull),
                     fUnattended ? ComposeRestartCommandLine(options) : std::wstring(RESTART_COMMAND_LINE));
    wizard.m_fNeverRestart = options.fNoRestart;
    RunInstallAndStopWorkers(run, options.fAdmin ? RunAdmin : RunNormal, options.fRestarted, pWizard);
    // The wizard outlives a worker thread that could not be stopped, so it
    // is still there to be read.
    const CSetupWizard& ended = wizard;
    outcome.fCompleted = ended.HasCompleted();
    outcome.fCancelled = ended.WasCancelledBeforeEnd();
    outcome.fSystemCheckFailed = !ended.m_fOsSupported || !ended.m_fBrowserSupported || !ended.m_fEnoughDiskSpace;
    outcome.fAlreadyRunning = run.fAlreadyRunning;
    outcome.fBadCommandLine = run.fLayoutRefused;
    outcome.pFailed = FindFirstFailure(run.pPackages);
    outcome.fRestartNeeded = fUnattended && ended.m_fRestart;
    outcome.fRestartStarted = outcome.fRestartNeeded && options.fForceRestart && !options.fNoRestart;
    if (outcome.fRestartNeeded && !outcome.fRestartStarted)
    {
        CSetupLog::Instance().Write(L"  Unattended: a restart is needed and was not made\n");
    }
    *pdwExitCode = ChooseExitCode(outcome);
    return fUnattended ? outcome.fRestartStarted : ended.m_fRestart;
}

// A run without managed switches, whose first token decides; returns
// whether the machine is to restart.
bool RunByFirstToken(CRunState& run, std::unique_ptr<CSetupWizard>& pWizard)
{
    RunMode nMode = GetRunMode(run.szCommandLine);
    std::wstring strSource;
    ChooseLayoutSource(run.szModulePath, std::wstring(), &strSource);
    UseLayoutSource(strSource);
    switch (nMode)
    {
    case RunVerify:
        if (CheckVerifyArgs(run.szModulePath, run.szCommandLine) == ERROR_BAD_ARGUMENTS)
        {
            ShowUsage(run.hInstance, nullptr, run.szTitle);
        }
        return false;
    case RunUsage:
        ShowUsage(run.hInstance, nullptr, run.szTitle);
        return false;
    default:
        RunInstallAndStopWorkers(run, nMode, HasRestartOption(run.szCommandLine), pWizard);
        return pWizard->m_fRestart;
    }
}
}

int RunSetup(HINSTANCE hInstance, LPWSTR szCommandLine)
{
    // The worker threads point at the wizard, so it lives on the heap: past
    // the run when one of them could not be stopped in time.
    std::unique_ptr<CSetupWizard> pWizard(new (std::nothrow) CSetupWizard);
    if (!pWizard)
    {
        return 0;
    }
    CSetupWizard& wizard = *pWizard;
    CSetupLog::Instance().Open();

    CRunState run{hInstance, szCommandLine, {}, {}, wizard, {}, {}, {}, {}, nullptr, false, false, nullptr, false};
    LoadStringW(hInstance, IDS_TITLE, run.szTitle, c_cchTitle);
    DWORD cchModule = GetModuleFileNameW(nullptr, run.szModulePath, MAX_PATH);
    if (cchModule == 0 || cchModule >= MAX_PATH)
    {
        return 0;
    }
    DebugMsg(L"[Info] we are running from --> %s\n", run.szModulePath);
    ManagedOptions options;
    DWORD dwManaged = ParseManagedOptions(szCommandLine, &options);
    // From here on an unattended run shows no box at all.
    SetSilentMessageBoxes(options.IsUnattended());
    // A "<setup>.local" beside the setup would make the loader take DLLs
    // from there, whatever the search order says.
    WCHAR szRedirection[MAX_PATH] = {};
    if (FindDllRedirection(run.szModulePath, szRedirection, MAX_PATH))
    {
        ReportSystemError(hInstance, nullptr, run.szTitle, IDS_DLL_REDIRECTION, szRedirection);
        return options.IsUnattended() ? static_cast<int>(ERROR_INSTALL_FAILURE) : 0;
    }

    bool fRestart = false;
    DWORD dwExitCode = ERROR_SUCCESS;
    if (options.fPresent)
    {
        fRestart = RunManaged(run, options, dwManaged, pWizard, &dwExitCode);
        CSetupLog::Instance().Write(L"  Exit code %u: %s\n", dwExitCode, DescribeExitCode(dwExitCode));
    }
    else
    {
        fRestart = RunByFirstToken(run, pWizard);
    }

    // The restart must come after the mutex is released, so that the setup
    // started after the restart can take it.
    run.mutex.Reset();
    run.strOperation.Reset(nullptr);
    run.strDatabase.Reset(nullptr);
    run.strBaseUrl.Reset(nullptr);
    if (fRestart)
    {
        RequestMachineRestart();
    }
    if (wizard.m_hBackground)
    {
        DeleteObject(wizard.m_hBackground);
        wizard.m_hBackground = nullptr;
    }
    // Only an unattended run reports by its exit code.
    return options.IsUnattended() ? static_cast<int>(dwExitCode) : 0;
}
