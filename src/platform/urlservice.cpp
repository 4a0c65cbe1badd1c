#include "platform/urlservice.h"
#include "platform/syslib.h"
#include <wininet.h>

namespace
{
using PFN_URL_DOWNLOAD_TO_CACHE_FILE_W = HRESULT(WINAPI*)(LPUNKNOWN, LPCWSTR, LPWSTR, DWORD, DWORD, LPBINDSTATUSCALLBACK);
using PFN_INTERNET_CANONICALIZE_URL_W = BOOL(WINAPI*)(LPCWSTR, LPWSTR, LPDWORD, DWORD);
using PFN_DELETE_URL_CACHE_ENTRY_W = BOOL(WINAPI*)(LPCWSTR);
CHECK_EXPORT_TYPE(PFN_URL_DOWNLOAD_TO_CACHE_FILE_W, URLDownloadToCacheFileW);
CHECK_EXPORT_TYPE(PFN_INTERNET_CANONICALIZE_URL_W, InternetCanonicalizeUrlW);
CHECK_EXPORT_TYPE(PFN_DELETE_URL_CACHE_ENTRY_W, DeleteUrlCacheEntryW);

CSystemFunction<PFN_URL_DOWNLOAD_TO_CACHE_FILE_W> g_urlDownloadToCacheFile(L"urlmon.dll", "URLDownloadToCacheFileW");
CSystemFunction<PFN_INTERNET_CANONICALIZE_URL_W> g_internetCanonicalizeUrl(L"wininet.dll", "InternetCanonicalizeUrlW");
CSystemFunction<PFN_DELETE_URL_CACHE_ENTRY_W> g_deleteUrlCacheEntry(L"wininet.dll", "DeleteUrlCacheEntryW");
}

HRESULT DownloadUrlToCacheFile(LPCWSTR szUrl, LPWSTR szLocalPath, IBindStatusCallback* pCallback)
{
    PFN_URL_DOWNLOAD_TO_CACHE_FILE_W pfnDownload = g_urlDownloadToCacheFile.Get();
    if (!pfnDownload)
    {
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    return pfnDownload(nullptr, szUrl, szLocalPath, MAX_PATH, 0, pCallback);
}

DWORD CanonicalizeUrl(LPCWSTR szUrl, LPWSTR szCanonical, DWORD* pcchCanonical)
{
    PFN_INTERNET_CANONICALIZE_URL_W pfnCanonicalize = g_internetCanonicalizeUrl.Get();
    if (!pfnCanonicalize)
    {
        return ERROR_PROC_NOT_FOUND;
    }
    if (pfnCanonicalize(szUrl, szCanonical, pcchCanonical, 0))
    {
        return ERROR_SUCCESS;
    }
    return GetLastError();
}

void DropCachedUrl(LPCWSTR szUrl)
{
    PFN_DELETE_URL_CACHE_ENTRY_W pfnDelete = g_deleteUrlCacheEntry.Get();
    if (szUrl && pfnDelete)
    {
        pfnDelete(szUrl);
    }
}
