#include "checks/msiversion.h"
#include "platform/syslib.h"
#include "diag/safestr.h"
#include "diag/trace.h"
#include "platform/overrides.h"

DWORD GetMsiVersionNumber(DWORD dwVersionMS)
{
    return HIWORD(dwVersionMS) * 100 + LOWORD(dwVersionMS);
}

namespace
{
using PFN_GET_FILE_VERSION_INFO_SIZE_W = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using PFN_GET_FILE_VERSION_INFO_W = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using PFN_VER_QUERY_VALUE_W = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
CHECK_EXPORT_TYPE(PFN_GET_FILE_VERSION_INFO_SIZE_W, GetFileVersionInfoSizeW);
CHECK_EXPORT_TYPE(PFN_GET_FILE_VERSION_INFO_W, GetFileVersionInfoW);
CHECK_EXPORT_TYPE(PFN_VER_QUERY_VALUE_W, VerQueryValueW);

CSystemFunction<PFN_GET_FILE_VERSION_INFO_SIZE_W> g_getFileVersionInfoSize(L"version.dll", "GetFileVersionInfoSizeW");
CSystemFunction<PFN_GET_FILE_VERSION_INFO_W> g_getFileVersionInfo(L"version.dll", "GetFileVersionInfoW");
CSystemFunction<PFN_VER_QUERY_VALUE_W> g_verQueryValue(L"version.dll", "VerQueryValueW");
}

DWORD GetFileVersionMS(LPCWSTR szPath, DWORD* pdwVersionMS)
{
    *pdwVersionMS = 0xFFFFFFFF;
    PFN_GET_FILE_VERSION_INFO_SIZE_W pfnGetSize = g_getFileVersionInfoSize.Get();
    PFN_GET_FILE_VERSION_INFO_W pfnGetInfo = g_getFileVersionInfo.Get();
    PFN_VER_QUERY_VALUE_W pfnQueryValue = g_verQueryValue.Get();
    if (!pfnGetSize || !pfnGetInfo || !pfnQueryValue)
    {
        return ERROR_PROC_NOT_FOUND;
    }
    DWORD dwHandle = 0;
    DWORD cbInfo = pfnGetSize(szPath, &dwHandle);
    if (cbInfo == 0)
    {
        return GetLastError();
    }
    void* pInfo = GlobalAlloc(GPTR, cbInfo);
    if (!pInfo)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    DWORD dwResult = ERROR_SUCCESS;
    if (!pfnGetInfo(szPath, 0, cbInfo, pInfo))
    {
        dwResult = GetLastError();
    }
    else
    {
        VS_FIXEDFILEINFO* pFixed = nullptr;
        UINT cbFixed = 0;
        if (pfnQueryValue(pInfo, L"\\", reinterpret_cast<void**>(&pFixed), &cbFixed) && cbFixed != 0 && pFixed)
        {
            *pdwVersionMS = pFixed->dwFileVersionMS;
        }
    }
    GlobalFree(pInfo);
    return dwResult;
}

bool IsMsiUpgradeNeeded(DWORD dwMinimum)
{
    WCHAR szMsi[MAX_PATH] = {};
    DWORD dwPath = ComposeSystemFilePath(g_overrides.pfnGetSystemDirectoryW, L"MSI.DLL", szMsi);
    if (dwPath == ERROR_PATH_NOT_FOUND)
    {
        DebugMsg(L"[Info] Can't obtain system directory; assuming upgrade is necessary");
        return true;
    }
    if (dwPath != ERROR_SUCCESS)
    {
        DebugMsg(L"[Info] Can't obtain msi.dll path; assuming upgrade is necessary");
        return true;
    }
    HMODULE hMsi = LoadLibraryW(szMsi);
    if (!hMsi)
    {
        DebugMsg(L"[Info] Can't load msi.dll; assuming upgrade is necessary");
        return true;
    }
    FreeLibrary(hMsi);

    DWORD dwVersionMS = 0;
    if (GetFileVersionMS(szMsi, &dwVersionMS) != ERROR_SUCCESS)
    {
        DebugMsg(L"[Info] Can't obtain version information; assuming upgrade is necessary");
        return true;
    }
    DWORD dwVersion = GetMsiVersionNumber(dwVersionMS);
    if (dwVersion < dwMinimum)
    {
        DebugMsgInt2(static_cast<int>(dwVersion), static_cast<int>(dwMinimum));
        return true;
    }
    DebugMsg(L"[Info] No upgrade is necessary.  System version meets minimum requirements\n");
    return false;
}
