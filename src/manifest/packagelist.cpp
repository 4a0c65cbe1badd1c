#include "manifest/packagelist.h"
#include "checks/msiversion.h"
#include "diag/heapstr.h"
#include "diag/msgbox.h"
#include "diag/safestr.h"
#include "manifest/detect.h"
#include "engine/layout.h"
#include "manifest/manifest.h"
#include "platform/overrides.h"
#include "platform/owners.h"
#include <errno.h>
#include <stdlib.h>

namespace
{
bool EndsWithZip(LPCWSTR szInstall)
{
    if (!szInstall)
    {
        return false;
    }
    size_t cch = wcslen(szInstall);
    return cch >= 4 && IsTextEqualNoCase(szInstall + cch - 4, L".zip");
}

// Reads one optional string field; a field that runs out of memory stays
// absent, like a missing one.
void ReadOptionalField(HINSTANCE hInstance, LPCWSTR szKey, LPCWSTR szSuffix, LPWSTR* pszField)
{
    if (ReadPackageValue(hInstance, szKey, szSuffix, pszField) != ERROR_SUCCESS)
    {
        FreeString(*pszField);
    }
}

// Reads an entry that is interpreted at once; null when missing.
LPWSTR ReadTemporaryValue(HINSTANCE hInstance, LPCWSTR szKey, LPCWSTR szSuffix)
{
    LPWSTR szValue = nullptr;
    if (ReadPackageValue(hInstance, szKey, szSuffix, &szValue) != ERROR_SUCCESS)
    {
        FreeString(szValue);
    }
    return szValue;
}

// Unlinks and releases every node for which the filter says so, and
// completes the nodes that stay.
DWORD FilterPackageList(CPackageInfo** ppPackages, LPCWSTR szBaseUrl, bool fWin64)
{
    CPackageInfo** ppLink = ppPackages;
    while (*ppLink)
    {
        CPackageInfo* pPackage = *ppLink;
        bool fInstalled = IsPackageInstalled(pPackage);
        if (IsPackageDropped(pPackage, fInstalled, fWin64))
        {
            *ppLink = pPackage->pNext;
            DestroyPackage(pPackage);
            continue;
        }
        if (pPackage->nAction == ActionRemove)
        {
            pPackage->nStatus.store(StatusDownloaded);
        }
        else if (fInstalled)
        {
            pPackage->nStatus.store(StatusPreviouslyInstalled);
        }
        else if (!pPackage->szBaseUrl || pPackage->szBaseUrl[0] == L'\0')
        {
            FreeString(pPackage->szBaseUrl);
            pPackage->szBaseUrl = DuplicateString(szBaseUrl ? szBaseUrl : L"");
            if (!pPackage->szBaseUrl)
            {
                return ERROR_OUTOFMEMORY;
            }
        }
        ppLink = &pPackage->pNext;
    }
    return ERROR_SUCCESS;
}

// Owns the list while it is built, so that every early return releases it.
class CPackageListOwner
{
public:
    ~CPackageListOwner()
    {
        while (m_pHead)
        {
            CPackageInfo* pNext = m_pHead->pNext;
            DestroyPackage(m_pHead);
            m_pHead = pNext;
        }
        DestroyPackage(m_pSpare);
    }
    CPackageInfo* m_pHead = nullptr;
    CPackageInfo* m_pSpare = nullptr;
    CPackageInfo* m_pLast = nullptr;
    CPackageInfo* Release()
    {
        CPackageInfo* pHead = m_pHead;
        m_pHead = nullptr;
        return pHead;
    }
    // Links the spare node, just read, and takes a fresh one for the next.
    DWORD AcceptSpare()
    {
        (m_pLast ? m_pLast->pNext : m_pHead) = m_pSpare;
        m_pLast = m_pSpare;
        m_pSpare = CreatePackage();
        return m_pSpare ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
    }
    // Reads the package of a list number into the spare node and keeps it
    // when it is valid: 0, or 14 when memory ran out.
    DWORD ReadNumbered(HINSTANCE hInstance, LPCWSTR szNumber)
    {
        DWORD dwResult = ReadPackage(m_pSpare, hInstance, szNumber);
        if (dwResult == ERROR_OUTOFMEMORY)
        {
            return ERROR_OUTOFMEMORY;
        }
        return dwResult == ERROR_SUCCESS ? AcceptSpare() : ERROR_SUCCESS;
    }
};

// The manifest's MINIMUM_MSI as a number; its box is shown when it is
// missing or malformed.
DWORD LoadMinimumMsi(HINSTANCE hInstance, DWORD* pdwMinimum)
{
    CHeapString strMinimum;
    DWORD dwResult = LoadManifestString(hInstance, L"MINIMUM_MSI", strMinimum.Slot());
    if (dwResult == ERROR_OUTOFMEMORY)
    {
        return ERROR_OUTOFMEMORY;
    }
    if (dwResult != ERROR_SUCCESS)
    {
        ReportMissingResource(hInstance, nullptr, nullptr, L"MINIMUM_MSI");
        return ERROR_INVALID_PARAMETER;
    }
    if (!ParseMinimumMsi(strMinimum.Get(), pdwMinimum))
    {
        ReportInvalidMsiVersion(hInstance, strMinimum.Get());
        return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
}
}

bool ParseMinimumMsi(LPCWSTR szValue, DWORD* pdwMinimum)
{
    if (!szValue || szValue[0] < L'0' || szValue[0] > L'9')
    {
        // wcstoul would accept leading blanks and a sign; the manifest may not.
        return false;
    }
    LPWSTR pEnd = nullptr;
    errno = 0;
    unsigned long ulValue = wcstoul(szValue, &pEnd, 10);
    if (pEnd == szValue || *pEnd != L'\0' || errno == ERANGE || ulValue < MSI_VERSION_FLOOR)
    {
        return false;
    }
    *pdwMinimum = static_cast<DWORD>(ulValue);
    return true;
}

bool DecideRunningOnWin64(PFN_IS_WOW64_PROCESS pfnIsWow64Process, bool f64BitBuild)
{
    // A 64-bit build of the setup is itself proof of 64-bit Windows.
    BOOL fWow64 = FALSE;
    return f64BitBuild || (pfnIsWow64Process && pfnIsWow64Process(GetCurrentProcess(), &fWow64) && fWow64);
}

bool IsRunningOnWin64()
{
    HMODULE hKernel = GetModuleHandleW(L"kernel32");
    PFN_IS_WOW64_PROCESS pfnIsWow64Process = g_overrides.pfnIsWow64Process
                                                 ? g_overrides.pfnIsWow64Process
                                                 : LookupExport<PFN_IS_WOW64_PROCESS>(hKernel, "IsWow64Process");
    return DecideRunningOnWin64(pfnIsWow64Process, sizeof(void*) == 8 && !g_overrides.pfnIsWow64Process);
}

bool IsPackageDropped(const CPackageInfo* pPackage, bool fInstalled, bool fWin64)
{
    if (pPackage->nAction == ActionRemove && !fInstalled)
    {
        return true;
    }
    if (pPackage->nAction == ActionInstall && fInstalled && !pPackage->fNotify)
    {
        return true;
    }
    if (pPackage->nPlatform == PlatformWin32 && fWin64)
    {
        return true;
    }
    return pPackage->nPlatform == PlatformWin64 && !fWin64;
}

namespace
{
// The entry name of a package value, KEY + suffix; null when out of memory.
LPWSTR ComposeValueName(LPCWSTR szKey, LPCWSTR szSuffix)
{
    size_t cchName = wcslen(szKey) + wcslen(szSuffix) + 2;
    CHeapString strName(AllocString(cchName));
    if (strName.Get() &&
        (FAILED(SafeCopy(strName.Get(), cchName, szKey)) || FAILED(SafeAppend(strName.Get(), cchName, szSuffix))))
    {
        strName.Reset(nullptr);
    }
    return strName.Release();
}

// Whether the manifest has the value at all, asked without a trace line: the
// entries that only some manifests carry stay out of every other run's trace.
bool HasPackageValue(HINSTANCE hInstance, LPCWSTR szKey, LPCWSTR szSuffix)
{
    CHeapString strName(ComposeValueName(szKey, szSuffix));
    return strName.Get() && FindResourceW(hInstance, strName.Get(), RT_MANIFEST_ENTRY) != nullptr;
}
}

DWORD ReadPackageValue(HINSTANCE hInstance, LPCWSTR szKey, LPCWSTR szSuffix, LPWSTR* pszValue)
{
    CHeapString strName(ComposeValueName(szKey, szSuffix));
    if (!strName.Get())
    {
        return ERROR_OUTOFMEMORY;
    }
    return LoadManifestString(hInstance, strName.Get(), pszValue);
}

DWORD ReadPackage(CPackageInfo* pPackage, HINSTANCE hInstance, LPCWSTR szEntryName)
{
    LPWSTR szKey = nullptr;
    DWORD dwResult = LoadManifestString(hInstance, szEntryName, &szKey);
    if (dwResult == ERROR_OUTOFMEMORY)
    {
        return ERROR_OUTOFMEMORY;
    }
    if (dwResult != ERROR_SUCCESS)
    {
        ReportMissingResource(hInstance, nullptr, nullptr, szEntryName);
        return ERROR_INVALID_PARAMETER;
    }
    pPackage->szKey = szKey;

    CHeapString strValue(ReadTemporaryValue(hInstance, szKey, L"_ACTION"));
    if (strValue.Get())
    {
        long nAction = wcstol(strValue.Get(), nullptr, 10);
        pPackage->nAction = nAction == ActionRemove ? ActionRemove : ActionInstall;
    }
    strValue.Reset(ReadTemporaryValue(hInstance, szKey, L"_PLATFORM"));
    if (strValue.Get())
    {
        pPackage->nPlatform = IsTextEqualNoCase(strValue.Get(), L"WIN32")   ? PlatformWin32
                              : IsTextEqualNoCase(strValue.Get(), L"WIN64") ? PlatformWin64
                                                                            : PlatformAny;
    }
    strValue.Reset(ReadTemporaryValue(hInstance, szKey, L"_DISKSPACE"));
    if (strValue.Get())
    {
        pPackage->dwDiskSpace = static_cast<DWORD>(wcstoul(strValue.Get(), nullptr, 10));
    }
    strValue.Reset(ReadTemporaryValue(hInstance, szKey, L"_NOTIFY"));
    if (strValue.Get())
    {
        pPackage->fNotify = IsTextEqualNoCase(strValue.Get(), L"1");
    }
    strValue.Reset(nullptr);

    ReadOptionalField(hInstance, szKey, L"_PRODNAME", &pPackage->szProductName);
    ReadOptionalField(hInstance, szKey, L"_INSTALL", &pPackage->szInstall);
    ReadOptionalField(hInstance, szKey, L"_PARAMETERS", &pPackage->szParameters);
    ReadOptionalField(hInstance, szKey, L"_PROPERTIES", &pPackage->szProperties);
    ReadOptionalField(hInstance, szKey, L"_BASEURL", &pPackage->szBaseUrl);
    ReadOptionalField(hInstance, szKey, L"_INSTALLZIP", &pPackage->szInstallZip);
    ReadOptionalField(hInstance, szKey, L"_PRODCODE", &pPackage->szProductCode);
    if (HasPackageValue(hInstance, szKey, L"_SHA256"))
    {
        ReadOptionalField(hInstance, szKey, L"_SHA256", &pPackage->szSha256);
    }

    bool fRejected = !pPackage->szProductName || (pPackage->nAction == ActionInstall && !pPackage->szInstall) ||
                     (!pPackage->szInstallZip && EndsWithZip(pPackage->szInstall));
    if (fRejected)
    {
        ResetPackage(pPackage);
        return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
}

namespace
{
// Reads the packages numbered 2 and up, to the first missing number.
DWORD ReadNumberedFrom2(HINSTANCE hInstance, CPackageListOwner& list)
{
    DWORD dwResult = ERROR_SUCCESS;
    for (int n = 2;; ++n)
    {
        WCHAR szNumber[10] = {};
        SafeFormat(szNumber, 10, L"%d", n);
        CHeapString strEntry;
        dwResult = LoadManifestString(hInstance, szNumber, strEntry.Slot());
        if (dwResult == ERROR_OUTOFMEMORY)
        {
            return ERROR_OUTOFMEMORY;
        }
        if (dwResult != ERROR_SUCCESS)
        {
            break;
        }
        if (list.ReadNumbered(hInstance, szNumber) != ERROR_SUCCESS)
        {
            return ERROR_OUTOFMEMORY;
        }
    }
    return ERROR_SUCCESS;
}
}

DWORD BuildPackageList(HINSTANCE hInstance, LPCWSTR szBaseUrl, CPackageInfo** ppPackages)
{
    *ppPackages = nullptr;
    CPackageListOwner list;
    list.m_pSpare = CreatePackage();
    if (!list.m_pSpare)
    {
        return ERROR_OUTOFMEMORY;
    }
    DWORD dwMinimum = 0;
    DWORD dwResult = LoadMinimumMsi(hInstance, &dwMinimum);
    if (dwResult != ERROR_SUCCESS)
    {
        return dwResult;
    }
    if (IsMsiUpgradeNeeded(dwMinimum) && list.ReadNumbered(hInstance, L"1") != ERROR_SUCCESS)
    {
        return ERROR_OUTOFMEMORY;
    }
    dwResult = ReadNumberedFrom2(hInstance, list);
    if (dwResult != ERROR_SUCCESS)
    {
        return dwResult;
    }
    dwResult = FilterPackageList(&list.m_pHead, szBaseUrl, IsRunningOnWin64());
    if (dwResult != ERROR_SUCCESS)
    {
        return dwResult;
    }
    *ppPackages = list.Release();
    return ERROR_SUCCESS;
}

namespace
{
// Turns a package node into a layout file: named by its path in the
// layout, the base URL filled in. False when it has no file the layout can
// hold (a removal, or a file off the vendor's server).
bool MakeLayoutFile(CPackageInfo* pPackage, LPCWSTR szBaseUrl, LPCWSTR szLayoutBase)
{
    if (pPackage->nAction != ActionInstall || !pPackage->szInstall || pPackage->szInstall[0] == L'\0')
    {
        return false;
    }
    LPCWSTR szBase = pPackage->szBaseUrl && pPackage->szBaseUrl[0] ? pPackage->szBaseUrl : szBaseUrl;
    std::wstring strUrl = szBase ? szBase : L"";
    if (strUrl.empty() || strUrl.back() != L'/')
    {
        strUrl.push_back(L'/');
    }
    strUrl += pPackage->szInstall;
    std::wstring strRelative;
    if (!ComposeLayoutRelativePath(szLayoutBase, strUrl.c_str(), &strRelative))
    {
        return false;
    }
    LPWSTR szName = DuplicateString(strRelative.c_str());
    LPWSTR szFullBase = DuplicateString(szBase);
    FreeString(pPackage->szProductName);
    FreeString(pPackage->szBaseUrl);
    pPackage->szProductName = szName;
    pPackage->szBaseUrl = szFullBase;
    return szName && szFullBase;
}

// A file beside the packages (the licence archive, the version file).
CPackageInfo* CreateSideFile(LPCWSTR szLayoutBase, LPCWSTR szName, LPCWSTR szDigestEntry)
{
    CPackageInfo* pFile = CreatePackage();
    if (!pFile)
    {
        return nullptr;
    }
    WCHAR szDigest[65];
    pFile->szProductName = DuplicateString(szName);
    pFile->szInstall = DuplicateString(szName);
    pFile->szBaseUrl = DuplicateString(szLayoutBase);
    if (szDigestEntry && LoadBuildSetting(szDigestEntry, szDigest, ARRAYSIZE(szDigest)))
    {
        pFile->szSha256 = DuplicateString(szDigest);
    }
    if (!pFile->szProductName || !pFile->szInstall || !pFile->szBaseUrl)
    {
        DestroyPackage(pFile);
        return nullptr;
    }
    return pFile;
}
}

DWORD BuildLayoutList(HINSTANCE hInstance, LPCWSTR szBaseUrl, LPCWSTR szLayoutBase, CPackageInfo** ppFiles)
{
    *ppFiles = nullptr;
    CPackageListOwner list;
    list.m_pSpare = CreatePackage();
    if (!list.m_pSpare || list.ReadNumbered(hInstance, L"1") != ERROR_SUCCESS ||
        ReadNumberedFrom2(hInstance, list) != ERROR_SUCCESS)
    {
        return ERROR_OUTOFMEMORY;
    }
    CPackageInfo** ppLink = &list.m_pHead;
    while (*ppLink)
    {
        CPackageInfo* pPackage = *ppLink;
        if (!MakeLayoutFile(pPackage, szBaseUrl, szLayoutBase))
        {
            *ppLink = pPackage->pNext;
            DestroyPackage(pPackage);
            continue;
        }
        ppLink = &pPackage->pNext;
    }
    for (const auto& side : {std::make_pair(L"eula.zip", L"EULA_SHA256"), std::make_pair(L"update.txt", L"")})
    {
        *ppLink = CreateSideFile(szLayoutBase, side.first, side.second[0] ? side.second : nullptr);
        if (!*ppLink)
        {
            return ERROR_OUTOFMEMORY;
        }
        ppLink = &(*ppLink)->pNext;
    }
    *ppFiles = list.Release();
    return ERROR_SUCCESS;
}
