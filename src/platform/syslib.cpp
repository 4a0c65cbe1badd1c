#include "platform/syslib.h"
#include "diag/safestr.h"
#include <initializer_list>

namespace
{
using PFN_SET_DEFAULT_DLL_DIRECTORIES = BOOL(WINAPI*)(DWORD);
using PFN_SET_DLL_DIRECTORY_W = BOOL(WINAPI*)(LPCWSTR);

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

HMODULE LoadSystemLibrary(LPCWSTR szName)
{
    WCHAR szPath[MAX_PATH] = {};
    UINT cchSystem = GetSystemDirectoryW(szPath, MAX_PATH);
    if (!szName || wcspbrk(szName, L"\\/:") || cchSystem == 0 || cchSystem >= MAX_PATH ||
        FAILED(SafeAppend(szPath, MAX_PATH, L"\\")) || FAILED(SafeAppend(szPath, MAX_PATH, szName)))
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
