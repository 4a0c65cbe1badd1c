#pragma once
#include "manifest/package.h"

bool IsOsSupported();
bool IsWindowsVersionAtLeast(int nMinor);
bool IsBrowserSupported();
bool IsIeVersionSupported(LPCWSTR szVersion);
// On the drive of szFolder, or of Program Files when it is null.
bool HasEnoughDiskSpace(const CPackageInfo* pPackages, LPCWSTR szFolder = nullptr);
// The disk decision without the platform: free bytes against the list's sum.
bool IsDiskSpaceSufficient(ULONGLONG ullFreeBytes, const CPackageInfo* pPackages);
