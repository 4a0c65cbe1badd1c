#include "manifest/manifest.h"
#include "diag/heapstr.h"
#include "diag/safestr.h"
#include "diag/trace.h"
#include "buildconfig.h"
#include <wininet.h>

namespace
{
constexpr size_t c_cchFirstBuffer = 256;
}

namespace
{
// The stored value carries its own NUL; a value without one, or data of an
// odd size, is read up to its last whole character, so a damaged entry can
// never be read past its end. False when the entry is missing.
bool FindManifestValue(HMODULE hModule, LPCWSTR szName, LPCWSTR* ppData, size_t* pcchValue)
{
    HRSRC hResource = FindResourceW(hModule, szName, RT_MANIFEST_ENTRY);
    HGLOBAL hData = hResource ? LoadResource(hModule, hResource) : nullptr;
    if (!hData)
    {
        return false;
    }
    LPCWSTR pData = static_cast<LPCWSTR>(LockResource(hData));
    size_t cchData = (pData ? SizeofResource(hModule, hResource) : 0) / sizeof(WCHAR);
    size_t cchValue = 0;
    while (cchValue < cchData && pData[cchValue] != L'\0')
    {
        ++cchValue;
    }
    *ppData = pData;
    *pcchValue = cchValue;
    return true;
}
}

DWORD LoadManifestString(HMODULE hModule, LPCWSTR lpName, LPWSTR* pszValue)
{
    FreeString(*pszValue);
    CHeapString strBuffer(AllocString(c_cchFirstBuffer));
    if (!strBuffer.Get())
    {
        return ERROR_OUTOFMEMORY;
    }
    LPCWSTR pData = nullptr;
    size_t cchValue = 0;
    if (!FindManifestValue(hModule, lpName, &pData, &cchValue))
    {
        DebugMsg(L"[Resource] lpName = %s NOT FOUND\n", lpName);
        return ERROR_RESOURCE_NAME_NOT_FOUND;
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

bool LoadBuildSetting(LPCWSTR szName, LPWSTR szValue, size_t cchValue)
{
    LPCWSTR pData = nullptr;
    size_t cchData = 0;
    szValue[0] = L'\0';
    if (!FindManifestValue(GetModuleHandleW(nullptr), szName, &pData, &cchData) || cchData == 0 ||
        cchData >= cchValue)
    {
        return false;
    }
    for (size_t i = 0; i < cchData; ++i)
    {
        szValue[i] = pData[i];
    }
    szValue[cchData] = L'\0';
    return true;
}

std::wstring GetServerOrigin()
{
    WCHAR szOrigin[INTERNET_MAX_URL_LENGTH];
    return LoadBuildSetting(L"SERVERORIGIN", szOrigin, ARRAYSIZE(szOrigin)) ? std::wstring(szOrigin)
                                                                           : std::wstring(TESSAL_SERVER_ORIGIN_W);
}

bool IsDigestRequired()
{
    WCHAR szValue[8];
    return LoadBuildSetting(L"REQUIREDIGESTS", szValue, ARRAYSIZE(szValue)) && wcscmp(szValue, L"1") == 0;
}
