#include "manifest/manifest.h"
#include "diag/heapstr.h"
#include "diag/safestr.h"
#include "diag/trace.h"

namespace
{
constexpr size_t c_cchFirstBuffer = 256;
}

DWORD LoadManifestString(HMODULE hModule, LPCWSTR lpName, LPWSTR* pszValue)
{
    FreeString(*pszValue);
    CHeapString strBuffer(AllocString(c_cchFirstBuffer));
    if (!strBuffer.Get())
    {
        return ERROR_OUTOFMEMORY;
    }
    HRSRC hResource = FindResourceW(hModule, lpName, RT_MANIFEST_ENTRY);
    HGLOBAL hData = hResource ? LoadResource(hModule, hResource) : nullptr;
    if (!hData)
    {
        DebugMsg(L"[Resource] lpName = %s NOT FOUND\n", lpName);
        return ERROR_RESOURCE_NAME_NOT_FOUND;
    }
    LPCWSTR pData = static_cast<LPCWSTR>(LockResource(hData));
    DWORD cbData = pData ? SizeofResource(hModule, hResource) : 0;

    // The stored value carries its own NUL; a value without one, or data of
    // an odd size, is read up to its last whole character and terminated
    // here, so a damaged entry can never be read past its end.
    size_t cchData = cbData / sizeof(WCHAR);
    size_t cchValue = 0;
    while (cchValue < cchData && pData[cchValue] != L'\0')
    {
        ++cchValue;
    }
    if (cchValue + 1 > c_cchFirstBuffer)
    {
        strBuffer.Reset(AllocString(cchValue + 1));
        if (!strBuffer.Get())
        {
            return ERROR_OUTOFMEMORY;
        }
    }
    LPWSTR lpBuf = strBuffer.Get();
    for (size_t i = 0; i < cchValue; ++i)
    {
        lpBuf[i] = pData[i];
    }
    lpBuf[cchValue] = L'\0';
    DebugMsg(L"[Resource] lpName = %s, lpBuf = %s\n", lpName, lpBuf);
    *pszValue = strBuffer.Release();
    return ERROR_SUCCESS;
}
