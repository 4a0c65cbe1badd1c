#pragma once
#include "engine/steps.h"

// Runs a program package with its arguments and judges its exit code.
DWORD RunExecutablePackage(CPackageInfo* pPackage, LPCWSTR szProgram, CSetupWizard* pWizard);
// Waits for a process while dispatching the calling thread's messages.
DWORD WaitForProcess(HANDLE hProcess);
// Quote, program, quote, one space, the arguments. False when it does not fit.
bool ComposeProgramCommandLine(LPCWSTR szProgram, LPCWSTR szParameters, LPWSTR szCommandLine, size_t cchCommandLine);
// 0 for the exit codes that count as success; sets *pfReboot for 3010.
DWORD JudgeProgramExitCode(DWORD dwExitCode, bool* pfReboot);
// The folder of a program path, without its trailing separator ("C:\\" for
// a program in a drive's root). False when the path names no folder.
bool GetProgramFolder(LPCWSTR szProgram, LPWSTR szFolder, size_t cchFolder);
