#pragma once
#include "platform/syslib.h"
#include <windows.h>

// Small owners of platform resources, released on every path.

// A file handle; INVALID_HANDLE_VALUE means none.
class CFileHandle
{
public:
    explicit CFileHandle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~CFileHandle() { Reset(INVALID_HANDLE_VALUE); }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h)
    {
        if (m_h != INVALID_HANDLE_VALUE)
        {
            CloseHandle(m_h);
        }
        m_h = h;
    }

private:
    HANDLE m_h;
};

// A library of the system folder loaded for one step.
class CLoadedLibrary
{
public:
    explicit CLoadedLibrary(LPCWSTR szName) : m_hModule(LoadSystemLibrary(szName)) {}
    ~CLoadedLibrary()
    {
        if (m_hModule)
        {
            FreeLibrary(m_hModule);
        }
    }
    CLoadedLibrary(const CLoadedLibrary&) = delete;
    CLoadedLibrary& operator=(const CLoadedLibrary&) = delete;
    HMODULE Get() const { return m_hModule; }

private:
    HMODULE m_hModule;
};

// An export of a library as the function type the caller names; null when
// the platform lacks it.
template <typename T>
T LookupExport(HMODULE hModule, LPCSTR szName)
{
    return hModule ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(hModule, szName))) : nullptr;
}
