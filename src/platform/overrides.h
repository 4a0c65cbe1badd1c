#pragma once
#include <windows.h>
#include <msi.h>

// Platform calls that tests redirect where the test machine cannot produce
// the answer (an old Windows Installer, for one). Product code calls these
// pointers; they default to the real functions.
struct PlatformOverrides
{
    UINT(WINAPI* pfnGetSystemDirectoryW)(LPWSTR lpBuffer, UINT uSize);
    // When set, answers product-state queries instead of msi.dll.
    INSTALLSTATE(WINAPI* pfnMsiQueryProductStateW)(LPCWSTR szProduct);
    // The machine restart request; a test records it instead.
    BOOL(WINAPI* pfnExitWindowsEx)(UINT uFlags, DWORD dwReason);
    // When set, stand in for the restart registration of Kernel32.
    HRESULT(WINAPI* pfnRegisterApplicationRestart)(PCWSTR szCommandLine, DWORD dwFlags);
    HRESULT(WINAPI* pfnUnregisterApplicationRestart)();
    // How long a transfer may receive nothing before it counts as stalled.
    DWORD dwStallTimeoutMs;
    // Scale of the pauses between download attempts, in percent.
    DWORD dwRetryPausePercent;
    // The print job's start calls: a test machine has no printer whose
    // device context takes a document.
    int(WINAPI* pfnStartDocW)(HDC hdc, const DOCINFOW* pDocInfo);
    int(WINAPI* pfnStartPage)(HDC hdc);
    // When set, answers in place of Kernel32's IsWow64Process.
    BOOL(WINAPI* pfnIsWow64Process)(HANDLE hProcess, PBOOL pfWow64Process);
    // Opens the machine keys of the checks, in the registry view asked for.
    LSTATUS(WINAPI* pfnRegOpenKeyExW)(HKEY hKey, LPCWSTR szSubKey, DWORD dwOptions, REGSAM samDesired, PHKEY phkResult);
};

extern PlatformOverrides g_overrides;

// Restores every pointer to the real platform function.
void ResetPlatformOverrides();
