#include "platform/urlservice.h"
#include "platform/syslib.h"
#include <wininet.h>

namespace
{
using PFN_URL_DOWNLOAD_TO_CACHE_FILE_W = HRESULT(WINAPI*)(LPUNKNOWN, LPCWSTR, LPWSTR, DWORD, DWORD, LPBINDSTATUSCALLBACK);
using PFN_INTERNET_CANONICALIZE_URL_W = BOOL(WINAPI*)(LPCWSTR, LPWSTR, LPDWORD, DWORD);
using PFN_DELETE_URL_CACHE_ENTRY_W = BOOL(WINAPI*)(LPCWSTR);
}

HRESULT DownloadUrlToCacheFile(LPCWSTR szUrl, LPWSTR szLocalPath, IBindStatusCallback* pCallback)
{
    static const auto s_pfnDownload =
        GetSystemFunction<PFN_URL_DOWNLOAD_TO_CACHE_FILE_W>(L"urlmon.dll", "URLDownloadToCacheFileW");
    if (!s_pfnDownload)
    {
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    return s_pfnDownload(nullptr, szUrl, szLocalPath, MAX_PATH, 0, pCallback);
}

DWORD CanonicalizeUrl(LPCWSTR szUrl, LPWSTR szCanonical, DWORD* pcchCanonical)
{
    static const auto s_pfnCanonicalize =
        GetSystemFunction<PFN_INTERNET_CANONICALIZE_URL_W>(L"wininet.dll", "InternetCanonicalizeUrlW");
    if (!s_pfnCanonicalize)
    {
        return ERROR_PROC_NOT_FOUND;
    }
    if (s_pfnCanonicalize(szUrl, szCanonical, pcchCanonical, 0))
    {
        return ERROR_SUCCESS;
    }
    return GetLastError();
}

void DropCachedUrl(LPCWSTR szUrl)
{
    static const auto s_pfnDelete = GetSystemFunction<PFN_DELETE_URL_CACHE_ENTRY_W>(L"wininet.dll", "DeleteUrlCacheEntryW");
    if (szUrl && s_pfnDelete)
    {
        s_pfnDelete(szUrl);
    }
}
