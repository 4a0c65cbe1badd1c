#pragma once
#include "manifest/package.h"
#include "platform/syslib.h"

// Builds the validated, platform-filtered package list in manifest order.
// 0 (the list may be empty), ERROR_OUTOFMEMORY, or ERROR_INVALID_PARAMETER
// after MINIMUM_MSI was reported missing or invalid.
DWORD BuildPackageList(HINSTANCE hInstance, LPCWSTR szBaseUrl, CPackageInfo** ppPackages);
// The files of an offline layout, in manifest order: every package file of
// every platform, named by its path in the layout (szLayoutBase is the URL
// that the layout's root stands for), then the licence archive and the
// version file. 0 or ERROR_OUTOFMEMORY.
DWORD BuildLayoutList(HINSTANCE hInstance, LPCWSTR szBaseUrl, LPCWSTR szLayoutBase, CPackageInfo** ppFiles);
DWORD ReadPackage(CPackageInfo* pPackage, HINSTANCE hInstance, LPCWSTR szEntryName);
DWORD ReadPackageValue(HINSTANCE hInstance, LPCWSTR szKey, LPCWSTR szSuffix, LPWSTR* pszValue);

// Parses MINIMUM_MSI: digits only, at least one, and at least the floor.
bool ParseMinimumMsi(LPCWSTR szValue, DWORD* pdwMinimum);
// Whether the 32-bit setup runs on 64-bit Windows.
bool IsRunningOnWin64();
// The platform filter's answer: a 64-bit build, or a 32-bit one that
// IsWow64Process (null when the platform lacks it) finds under WOW64. A
// test's stand-in through the override table is asked as the 32-bit setup
// would ask.
using PFN_IS_WOW64_PROCESS = BOOL(WINAPI*)(HANDLE, PBOOL);
CHECK_EXPORT_TYPE(PFN_IS_WOW64_PROCESS, IsWow64Process);
bool DecideRunningOnWin64(PFN_IS_WOW64_PROCESS pfnIsWow64Process, bool f64BitBuild);
// The filter's decision for one node, kept free of platform calls.
bool IsPackageDropped(const CPackageInfo* pPackage, bool fInstalled, bool fWin64);
