#include "platform/syslib.h"
#include "diag/safestr.h"
#include <initializer_list>

namespace
{
using PFN_SET_DEFAULT_DLL_DIRECTORIES = BOOL(WINAPI*)(DWORD);
using PFN_SET_DLL_DIRECTORY_W = BOOL(WINAPI*)(LPCWSTR);
CHECK_EXPORT_TYPE(PFN_SET_DLL_DIRECTORY_W, SetDllDirectoryW);
CHECK_EXPORT_TYPE(PFN_SET_DEFAULT_DLL_DIRECTORIES, SetDefaultDllDirectories);

FARPROC GetKernelExport(LPCSTR szName)
{
    // Kernel32 is mapped into every process; this loads nothing.
    HMODULE hKernel = GetModuleHandleW(L"kernel32.dll");
    return hKernel ? GetProcAddress(hKernel, szName) : nullptr;
}
}

void RestrictDllSearch()
{
    auto pfnSetDefault = reinterpret_cast<PFN_SET_DEFAULT_DLL_DIRECTORIES>(
        reinterpret_cast<void*>(GetKernelExport("SetDefaultDllDirectories")));
    if (!pfnSetDefault || !pfnSetDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
    {
        // Older systems: at least take the current folder out of the search.
        auto pfnSetDllDirectory =
            reinterpret_cast<PFN_SET_DLL_DIRECTORY_W>(reinterpret_cast<void*>(GetKernelExport("SetDllDirectoryW")));
        if (pfnSetDllDirectory)
        {
            pfnSetDllDirectory(L"");
        }
    }
}

void PinSystemLibraries()
{
    for (LPCWSTR szName : {L"urlmon.dll", L"wininet.dll"})
    {
        LoadSystemLibrary(szName);
    }
}

DWORD ComposeSystemFilePath(PFN_GET_SYSTEM_DIRECTORY_W pfnGetSystemDirectory, LPCWSTR szName, LPWSTR szPath)
{
    szPath[0] = L'\0';
    UINT cchSystem = pfnGetSystemDirectory(szPath, MAX_PATH);
    if (cchSystem == 0 || cchSystem >= MAX_PATH)
    {
        szPath[0] = L'\0';
        return ERROR_PATH_NOT_FOUND;
    }
    return SUCCEEDED(SafeAppend(szPath, MAX_PATH, L"\\")) && SUCCEEDED(SafeAppend(szPath, MAX_PATH, szName))
               ? ERROR_SUCCESS
               : ERROR_BUFFER_OVERFLOW;
}

HMODULE LoadSystemLibrary(LPCWSTR szName)
{
    WCHAR szPath[MAX_PATH] = {};
    if (!szName || wcspbrk(szName, L"\\/:") || ComposeSystemFilePath(&GetSystemDirectoryW, szName, szPath) != ERROR_SUCCESS)
    {
        return nullptr;
    }
    // A full path is never searched for.
    return LoadLibraryW(szPath);
}

FARPROC GetSystemExport(LPCWSTR szLibrary, LPCSTR szName)
{
    // The reference is kept: callers hold on to the function.
    HMODULE hModule = LoadSystemLibrary(szLibrary);
    return hModule ? GetProcAddress(hModule, szName) : nullptr;
}

bool FindDllRedirection(LPCWSTR szModulePath, LPWSTR szRedirection, size_t cchRedirection)
{
    return szModulePath && SUCCEEDED(SafeCopy(szRedirection, cchRedirection, szModulePath)) &&
           SUCCEEDED(SafeAppend(szRedirection, cchRedirection, L".local")) &&
           GetFileAttributesW(szRedirection) != INVALID_FILE_ATTRIBUTES;
}
