#pragma once
#include <windows.h>
#include <urlmon.h>

// Fetches a URL into the browser cache on the calling thread. On success
// szLocalPath (MAX_PATH characters) holds the cached copy's path.
HRESULT DownloadUrlToCacheFile(LPCWSTR szUrl, LPWSTR szLocalPath, IBindStatusCallback* pCallback);

// Canonicalises a composed URL into szCanonical (capacity in characters,
// updated with the needed length on ERROR_INSUFFICIENT_BUFFER).
// Returns ERROR_SUCCESS or the platform's error.
DWORD CanonicalizeUrl(LPCWSTR szUrl, LPWSTR szCanonical, DWORD* pcchCanonical);

// The HTTP status code that the server answered for a URL whose answer is
// now in the browser cache; 0 when the cache holds no status for it. Some
// URL services store an error page as a successful download.
DWORD GetCachedHttpStatus(LPCWSTR szUrl);

// The status code of an HTTP response's header block ("HTTP/1.1 404 Not
// Found\r\n..."); 0 when the block does not start with a status line.
DWORD ParseHttpStatusLine(const char* pchHeaders, size_t cchHeaders);

// Drops a URL's entry from the browser cache, so that the next download
// asks the server again.
void DropCachedUrl(LPCWSTR szUrl);
