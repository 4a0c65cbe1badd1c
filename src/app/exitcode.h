#pragma once
#include "manifest/package.h"
#include <windows.h>

// What an unattended run ended with, as its exit code tells a deployment
// tool (the Windows Installer's conventions).
struct RunOutcome
{
    // The install thread reached its end; false for a run that stopped
    // before its packages (a manifest fault, a failed system check).
    bool fCompleted = false;
    bool fCancelled = false;
    bool fSystemCheckFailed = false;
    bool fAlreadyRunning = false;
    bool fBadCommandLine = false;
    // A package asked for a restart, and whether it was started.
    bool fRestartNeeded = false;
    bool fRestartStarted = false;
    // The first failed package in list order and how it failed; null when
    // none did.
    const CPackageInfo* pFailed = nullptr;
};

constexpr DWORD EXIT_RESTART_STARTED = 1641;

// The first package of the list that failed; null when none did.
const CPackageInfo* FindFirstFailure(const CPackageInfo* pPackages);
// The exit code of an outcome.
DWORD ChooseExitCode(const RunOutcome& outcome);
// What an exit code of the setup means, for the log's last lines.
LPCWSTR DescribeExitCode(DWORD dwExitCode);
