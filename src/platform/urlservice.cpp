#include "platform/urlservice.h"
#include <wininet.h>

HRESULT DownloadUrlToCacheFile(LPCWSTR szUrl, LPWSTR szLocalPath, IBindStatusCallback* pCallback)
{
    return URLDownloadToCacheFileW(nullptr, szUrl, szLocalPath, MAX_PATH, 0, pCallback);
}

DWORD CanonicalizeUrl(LPCWSTR szUrl, LPWSTR szCanonical, DWORD* pcchCanonical)
{
    if (InternetCanonicalizeUrlW(szUrl, szCanonical, pcchCanonical, 0))
    {
        return ERROR_SUCCESS;
    }
    return GetLastError();
}
