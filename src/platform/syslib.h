#pragma once
#include <windows.h>
#include <atomic>
#include <type_traits>

// A setup is typically started from a downloads folder, where anybody may
// have left a DLL of a system name. The setup therefore loads libraries from
// the system folder only, and imports statically only the libraries that the
// platform itself always takes from there.

// Limits the DLL search of every later load to the system folder. Called
// first thing in the process.
void RestrictDllSearch();

// COM servers that the setup creates (the XML parser) are loaded with an
// altered search path that still reaches the setup's folder for their own
// imports. This maps the setup's libraries that they import from the system
// folder, so that every later import binds to these; called before the first
// COM server is created.
void PinSystemLibraries();

// The system folder that pfnGetSystemDirectory names, a backslash and a file
// name, in a buffer of MAX_PATH: 0, ERROR_PATH_NOT_FOUND when there is no
// system folder, ERROR_BUFFER_OVERFLOW when the path does not fit.
using PFN_GET_SYSTEM_DIRECTORY_W = UINT(WINAPI*)(LPWSTR lpBuffer, UINT uSize);
DWORD ComposeSystemFilePath(PFN_GET_SYSTEM_DIRECTORY_W pfnGetSystemDirectory, LPCWSTR szName, LPWSTR szPath);

// A pointer type for a function looked up at run time must be the type of
// its declaration in the platform headers: a calling convention left out
// would only crash the 32-bit build.
#define CHECK_EXPORT_TYPE(PointerType, Function)                                                                    \
    static_assert(std::is_same<PointerType, decltype(&Function)>::value, #Function " does not match its declaration")

// Loads a library by its file name from the system folder; null when it
// cannot be loaded there.
HMODULE LoadSystemLibrary(LPCWSTR szName);

// An export of a system library that stays loaded for the rest of the
// process, as the function type the caller names; null when it is missing.
FARPROC GetSystemExport(LPCWSTR szLibrary, LPCSTR szName);
// An export of a system library, looked up on first use and kept; safe to
// use from any thread (two first uses find the same function).
template <typename T>
class CSystemFunction
{
public:
    constexpr CSystemFunction(LPCWSTR szLibrary, LPCSTR szName) : m_szLibrary(szLibrary), m_szName(szName) {}
    CSystemFunction(const CSystemFunction&) = delete;
    CSystemFunction& operator=(const CSystemFunction&) = delete;
    T Get()
    {
        void* pvFunction = m_pvFunction.load();
        if (!pvFunction)
        {
            pvFunction = reinterpret_cast<void*>(GetSystemExport(m_szLibrary, m_szName));
            m_pvFunction.store(pvFunction);
        }
        return reinterpret_cast<T>(pvFunction);
    }

private:
    LPCWSTR m_szLibrary;
    LPCSTR m_szName;
    std::atomic<void*> m_pvFunction{nullptr};
};

// The file or folder beside the executable ("<exe>.local") through which the
// loader would redirect DLLs, when one exists; false otherwise.
bool FindDllRedirection(LPCWSTR szModulePath, LPWSTR szRedirection, size_t cchRedirection);
