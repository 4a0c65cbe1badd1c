#include "engine/layout.h"
#include "diag/heapstr.h"
#include "diag/msgbox.h"
#include "diag/setuplog.h"
#include "diag/trace.h"
#include "engine/payload.h"
#include "engine/workers.h"
#include "engine/workfolder.h"
#include "manifest/manifest.h"
#include "platform/urlservice.h"
#include "ui/wizard.h"

namespace
{
// Written once before the worker threads start, read by them after.
std::wstring g_strLayoutSource;
std::wstring g_strLayoutTarget;

int HexValue(WCHAR ch)
{
    if (ch >= L'0' && ch <= L'9')
    {
        return ch - L'0';
    }
    if (ch >= L'a' && ch <= L'f')
    {
        return ch - L'a' + 10;
    }
    return ch >= L'A' && ch <= L'F' ? ch - L'A' + 10 : -1;
}

// Decodes %XX escapes; false on a broken escape or a character that has
// no place in a file name.
bool DecodeRelativePart(LPCWSTR szRest, std::wstring* pstrDecoded)
{
    for (LPCWSTR p = szRest; *p; ++p)
    {
        WCHAR ch = *p;
        if (ch == L'%')
        {
            int nHigh = HexValue(p[1]);
            int nLow = nHigh < 0 ? -1 : HexValue(p[2]);
            if (nLow < 0)
            {
                return false;
            }
            ch = static_cast<WCHAR>(nHigh * 16 + nLow);
            p += 2;
        }
        if (ch < 0x20 || wcschr(L":*?\"<>|#", ch))
        {
            return false;
        }
        pstrDecoded->push_back(ch == L'/' ? L'\\' : ch);
    }
    return true;
}

// Every segment is a name: none empty, "." or "..".
bool HasOnlyNamedSegments(const std::wstring& strPath)
{
    size_t iStart = 0;
    while (iStart <= strPath.size())
    {
        size_t iEnd = strPath.find(L'\\', iStart);
        std::wstring strSegment = strPath.substr(iStart, iEnd == std::wstring::npos ? std::wstring::npos : iEnd - iStart);
        if (strSegment.empty() || strSegment == L"." || strSegment == L"..")
        {
            return false;
        }
        if (iEnd == std::wstring::npos)
        {
            break;
        }
        iStart = iEnd + 1;
    }
    return true;
}

bool IsFile(const std::wstring& strPath)
{
    DWORD dwAttributes = GetFileAttributesW(strPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}
}

bool ComposeLayoutRelativePath(LPCWSTR szBase, LPCWSTR szUrl, std::wstring* pstrRelative)
{
    pstrRelative->clear();
    if (!szBase || !szUrl || szBase[0] == L'\0')
    {
        return false;
    }
    size_t cchBase = wcslen(szBase);
    if (_wcsnicmp(szUrl, szBase, cchBase) != 0)
    {
        return false;
    }
    std::wstring strDecoded;
    if (!DecodeRelativePart(szUrl + cchBase, &strDecoded) || !HasOnlyNamedSegments(strDecoded))
    {
        return false;
    }
    *pstrRelative = strDecoded;
    return true;
}

std::wstring GetLayoutBaseUrl()
{
    return GetServerOrigin() + L"/esd/en/tessal/";
}

bool IsLayoutFolder(LPCWSTR szFolder)
{
    std::wstring strFiles = std::wstring(szFolder ? szFolder : L"") + L"\\installfiles";
    DWORD dwAttributes = GetFileAttributesW(strFiles.c_str());
    return szFolder && szFolder[0] && dwAttributes != INVALID_FILE_ATTRIBUTES &&
           (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

void SetLayoutSource(LPCWSTR szFolder)
{
    g_strLayoutSource = szFolder ? szFolder : L"";
}

LPCWSTR GetLayoutSource()
{
    return g_strLayoutSource.c_str();
}

bool FindInLayoutSource(LPCWSTR szUrl, std::wstring* pstrPath)
{
    std::wstring strRelative;
    if (g_strLayoutSource.empty() || !ComposeLayoutRelativePath(GetLayoutBaseUrl().c_str(), szUrl, &strRelative))
    {
        return false;
    }
    *pstrPath = g_strLayoutSource + L"\\" + strRelative;
    return IsFile(*pstrPath);
}

void SetLayoutTarget(LPCWSTR szFolder)
{
    g_strLayoutTarget = szFolder ? szFolder : L"";
}

namespace
{
// A file of the layout counts as there when it is complete (files are
// only ever renamed into place) and matches its digest, where known.
bool IsLayoutFileKept(const CPackageInfo* pPackage, const std::wstring& strPath)
{
    if (!IsFile(strPath))
    {
        return false;
    }
    WCHAR szActual[SHA256_TEXT_CAPACITY] = {};
    return !pPackage->szSha256 ||
           (ComputeFileSha256(strPath.c_str(), szActual) == ERROR_SUCCESS && IsSameDigest(pPackage->szSha256, szActual));
}

// Puts the fetched file in place under a temporary name first, so that an
// interrupted layout never leaves a partial file under the real one.
DWORD PlaceLayoutFile(const CPackageInfo* pPackage, LPCWSTR szFetched, const std::wstring& strPath)
{
    size_t iSlash = strPath.rfind(L'\\');
    DWORD dwResult = CreateFolderPath(strPath.substr(0, iSlash));
    if (dwResult != ERROR_SUCCESS)
    {
        return dwResult;
    }
    const std::wstring strPartial = strPath + L".partial";
    if (!CopyFileW(szFetched, strPartial.c_str(), FALSE))
    {
        return GetLastError();
    }
    SetFileAttributesW(strPartial.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!IsLayoutFileKept(pPackage, strPartial) && pPackage->szSha256)
    {
        DeleteFileW(strPartial.c_str());
        CSetupLog::Instance().Write(L"  Layout: %s does not match its SHA-256 and is not kept\n",
                                    pPackage->szProductName);
        return ERROR_INVALID_DATA;
    }
    if (!MoveFileExW(strPartial.c_str(), strPath.c_str(), MOVEFILE_REPLACE_EXISTING))
    {
        dwResult = GetLastError();
        DeleteFileW(strPartial.c_str());
        return dwResult;
    }
    return ERROR_SUCCESS;
}

DWORD KeepLayoutFile(CPackageInfo*, HINSTANCE, CSetupWizard*, CWorkFolder*)
{
    return ERROR_SUCCESS;
}

DWORD CompleteLayoutFile(CPackageInfo*, CSetupWizard*, HINSTANCE)
{
    return ERROR_SUCCESS;
}
}

DWORD DownloadLayoutFile(CPackageInfo* pPackage, HINSTANCE hInstance, LPWSTR* pszLocalFile, CSetupWizard* pWizard)
{
    // The list names each file by its path in the layout.
    const std::wstring strPath = g_strLayoutTarget + L"\\" + pPackage->szProductName;
    if (IsLayoutFileKept(pPackage, strPath))
    {
        DebugMsg(L"[Info] %s is in the layout already\n", strPath.c_str());
        *pszLocalFile = DuplicateString(strPath.c_str());
        return *pszLocalFile ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
    }
    CHeapString strFetched;
    DWORD dwResult = DownloadPackage(pPackage, hInstance, strFetched.Slot(), pWizard);
    if (dwResult != ERROR_SUCCESS)
    {
        return dwResult;
    }
    dwResult = PlaceLayoutFile(pPackage, strFetched.Get(), strPath);
    if (dwResult != ERROR_SUCCESS)
    {
        CSetupLog::Instance().Write(L"  Layout: %s could not be written (%u)\n", strPath.c_str(), dwResult);
        ReportErrorById(hInstance, pWizard->GetOwnerWindow(), nullptr, IDS_DOWNLOAD_FAILED);
        return dwResult;
    }
    *pszLocalFile = DuplicateString(strPath.c_str());
    return *pszLocalFile ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
}

void UseLayoutSteps()
{
    g_workerSteps = {&DownloadLayoutFile, &CompleteLayoutFile, &RemovePreviousVersion, &KeepLayoutFile};
}
