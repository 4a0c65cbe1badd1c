#include "checks/syschecks.h"
#include "platform/registry.h"
#include "diag/trace.h"
#include <shlobj.h>
#include <stdlib.h>

namespace
{
constexpr size_t c_cchComponent = 20;

// Copies the text up to the next '.' into szComponent. Returns the position
// after the '.', or null when the text ends first or the part is too long.
LPCWSTR CopyComponent(LPCWSTR szText, WCHAR (&szComponent)[c_cchComponent])
{
    size_t i = 0;
    for (; szText[i] != L'.'; ++i)
    {
        if (szText[i] == L'\0' || i + 1 >= c_cchComponent)
        {
            return nullptr;
        }
        szComponent[i] = szText[i];
    }
    szComponent[i] = L'\0';
    return szText + i + 1;
}

bool ReadIeVersion(REGSAM samView, WCHAR (&szVersion)[255])
{
    HKEY hKey = OpenMachineKey(L"SOFTWARE\\Microsoft\\Internet Explorer", samView);
    if (!hKey)
    {
        return false;
    }
    // The size is announced in bytes; the last character stays the NUL.
    DWORD cbVersion = 255;
    ZeroMemory(szVersion, sizeof(szVersion));
    LONG lResult = RegQueryValueExW(hKey, L"Version", nullptr, nullptr, reinterpret_cast<LPBYTE>(szVersion),
                                    &cbVersion);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}
}

bool IsWindowsVersionAtLeast(int nMinor)
{
    OSVERSIONINFOEXW osvi = {};
    osvi.dwOSVersionInfoSize = sizeof(osvi);
    osvi.dwMajorVersion = 5;
    osvi.dwMinorVersion = static_cast<DWORD>(nMinor);
    osvi.wServicePackMajor = 0;
    ULONGLONG ullMask = 0;
    ullMask = VerSetConditionMask(ullMask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    ullMask = VerSetConditionMask(ullMask, VER_MINORVERSION, VER_GREATER_EQUAL);
    ullMask = VerSetConditionMask(ullMask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&osvi, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, ullMask) != FALSE;
}

bool IsOsSupported()
{
    OSVERSIONINFOW osvi = {};
    osvi.dwOSVersionInfoSize = sizeof(osvi);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL fVersion = GetVersionExW(&osvi);
#pragma GCC diagnostic pop
    if (fVersion && osvi.dwMajorVersion < 5)
    {
        return false;
    }
    return IsWindowsVersionAtLeast(1);
}

bool IsIeVersionSupported(LPCWSTR szVersion)
{
    WCHAR szMajor[c_cchComponent] = {};
    LPCWSTR pRest = CopyComponent(szVersion, szMajor);
    if (!pRest)
    {
        return false;
    }
    long nMajor = wcstol(szMajor, nullptr, 10);
    if (nMajor != 6)
    {
        return nMajor > 6;
    }
    while (*pRest != L'.')
    {
        if (*pRest == L'\0')
        {
            return false;
        }
        ++pRest;
    }
    WCHAR szBuild[c_cchComponent] = {};
    if (!CopyComponent(pRest + 1, szBuild))
    {
        return false;
    }
    return wcstol(szBuild, nullptr, 10) >= 2600;
}

bool IsBrowserSupported()
{
    WCHAR szVersion[255];
    if (!ReadIeVersion(0, szVersion) && !ReadIeVersion(KEY_WOW64_64KEY, szVersion))
    {
        return false;
    }
    return IsIeVersionSupported(szVersion);
}

bool IsDiskSpaceSufficient(ULONGLONG ullFreeBytes, const CPackageInfo* pPackages)
{
    // Summed in 64 bits: a 32-bit sum would wrap past 4 GiB and let a full
    // disk through.
    ULONGLONG dwNeeded = 0;
    for (const CPackageInfo* pPackage = pPackages; pPackage; pPackage = pPackage->pNext)
    {
        dwNeeded += pPackage->dwDiskSpace;
    }
    return ullFreeBytes > dwNeeded;
}

bool HasEnoughDiskSpace(const CPackageInfo* pPackages, LPCWSTR szFolder)
{
    WCHAR szProgramFiles[MAX_PATH] = {};
    ULARGE_INTEGER ulAvailable = {};
    ULARGE_INTEGER ulTotal = {};
    // An unknown is no reason to refuse the install: the installers report
    // a full disk themselves.
    if ((!szFolder && !SHGetSpecialFolderPathW(nullptr, szProgramFiles, CSIDL_PROGRAM_FILES, FALSE)) ||
        !GetDiskFreeSpaceExW(szFolder ? szFolder : szProgramFiles, &ulAvailable, &ulTotal, nullptr))
    {
        DebugMsg(L"[Info] Can't obtain the free disk space; assuming there is enough\n");
        return true;
    }
    return IsDiskSpaceSufficient(ulAvailable.QuadPart, pPackages);
}
