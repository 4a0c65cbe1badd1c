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

// Drops a URL's entry from the browser cache, so that the next download
// asks the server again.
void DropCachedUrl(LPCWSTR szUrl);
