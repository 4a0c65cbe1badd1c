#pragma once
#include "manifest/package.h"

bool IsOsSupported();
bool IsWindowsVersionAtLeast(int nMinor);
bool IsBrowserSupported();
bool IsIeVersionSupported(LPCWSTR szVersion);
bool HasEnoughDiskSpace(const CPackageInfo* pPackages);
// The disk decision without the platform: free bytes against the list's sum.
bool IsDiskSpaceSufficient(ULONGLONG ullFreeBytes, const CPackageInfo* pPackages);
