#pragma once
#include <windows.h>

// True when the installed Windows Installer is older than dwMinimum
// (major * 100 + minor), or when it cannot be examined.
bool IsMsiUpgradeNeeded(DWORD dwMinimum);
// The most significant half of a file's version; 0xFFFFFFFF on failure.
DWORD GetFileVersionMS(LPCWSTR szPath, DWORD* pdwVersionMS);
// major * 100 + minor of a dwFileVersionMS value.
DWORD GetMsiVersionNumber(DWORD dwVersionMS);
