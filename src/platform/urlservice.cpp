#include "platform/urlservice.h"
#include <wininet.h>
#include <string>
#include <vector>

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

DWORD ParseHttpStatusLine(const char* pchHeaders, size_t cchHeaders)
{
    const char c_szPrefix[] = "HTTP/";
    const size_t cchPrefix = sizeof(c_szPrefix) - 1;
    if (!pchHeaders || cchHeaders < cchPrefix || _strnicmp(pchHeaders, c_szPrefix, cchPrefix) != 0)
    {
        return 0;
    }
    size_t i = cchPrefix;
    while (i < cchHeaders && pchHeaders[i] != ' ' && pchHeaders[i] != '\r' && pchHeaders[i] != '\n')
    {
        ++i;
    }
    while (i < cchHeaders && pchHeaders[i] == ' ')
    {
        ++i;
    }
    // Exactly three digits, then the end or a blank.
    DWORD dwStatus = 0;
    size_t cDigits = 0;
    for (; i < cchHeaders && pchHeaders[i] >= '0' && pchHeaders[i] <= '9'; ++i, ++cDigits)
    {
        dwStatus = dwStatus * 10 + static_cast<DWORD>(pchHeaders[i] - '0');
        if (cDigits == 3)
        {
            return 0;
        }
    }
    bool fEnded = i == cchHeaders || pchHeaders[i] == ' ' || pchHeaders[i] == '\r' || pchHeaders[i] == '\n';
    return cDigits == 3 && fEnded ? dwStatus : 0;
}

namespace
{
// Cache lookups take the URL in 8-bit characters; a canonical URL is ASCII.
bool ConvertUrlToAnsi(LPCWSTR szUrl, std::string& strUrl)
{
    for (LPCWSTR pch = szUrl; *pch; ++pch)
    {
        if (*pch > 0x7F)
        {
            return false;
        }
        strUrl.push_back(static_cast<char>(*pch));
    }
    return true;
}
}

DWORD GetCachedHttpStatus(LPCWSTR szUrl)
{
    std::string strUrl;
    if (!szUrl || !ConvertUrlToAnsi(szUrl, strUrl))
    {
        return 0;
    }
    // The header block of the entry is kept in 8-bit characters by every
    // version of the cache, so the ANSI entry point reads it as stored.
    DWORD cbEntry = 0;
    GetUrlCacheEntryInfoA(strUrl.c_str(), nullptr, &cbEntry);
    if (cbEntry < sizeof(INTERNET_CACHE_ENTRY_INFOA))
    {
        return 0;
    }
    std::vector<BYTE> rgbEntry(cbEntry);
    auto* pEntry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(rgbEntry.data());
    if (!GetUrlCacheEntryInfoA(strUrl.c_str(), pEntry, &cbEntry) || !pEntry->lpHeaderInfo)
    {
        return 0;
    }
    return ParseHttpStatusLine(pEntry->lpHeaderInfo, pEntry->dwHeaderInfoSize);
}

void DropCachedUrl(LPCWSTR szUrl)
{
    if (szUrl)
    {
        DeleteUrlCacheEntryW(szUrl);
    }
}
