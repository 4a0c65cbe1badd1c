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

// A value of a platform type that is released through Release unless it is
// null; Reset releases the value held before taking the new one.
template <typename T, typename Release>
class CScopedOwner
{
public:
    CScopedOwner() : m_value(nullptr) {}
    explicit CScopedOwner(T value) : m_value(value) {}
    ~CScopedOwner() { Reset(); }
    CScopedOwner(const CScopedOwner&) = delete;
    CScopedOwner& operator=(const CScopedOwner&) = delete;
    T Get() const { return m_value; }
    void Reset(T value = nullptr)
    {
        if (m_value)
        {
            Release()(m_value);
        }
        m_value = value;
    }

private:
    T m_value;
};

struct CCloseHandle
{
    void operator()(HANDLE h) const { CloseHandle(h); }
};

// A kernel handle for which null means none (mutexes, threads, processes).
using CHandleOwner = CScopedOwner<HANDLE, CCloseHandle>;

struct CReleaseInterface
{
    template <typename T>
    void operator()(T* p) const
    {
        p->Release();
    }
};

// A reference to a COM object (or an object counted the same way).
template <typename T>
using CInterfaceOwner = CScopedOwner<T*, CReleaseInterface>;

struct CFreeLibrary
{
    void operator()(HMODULE hModule) const { FreeLibrary(hModule); }
};

// A library of the system folder loaded for one step.
class CLoadedLibrary : public CScopedOwner<HMODULE, CFreeLibrary>
{
public:
    explicit CLoadedLibrary(LPCWSTR szName) : CScopedOwner(LoadSystemLibrary(szName)) {}
};

// An export of a library as the function type the caller names; null when
// the platform lacks it.
template <typename T>
T LookupExport(HMODULE hModule, LPCSTR szName)
{
    return hModule ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(hModule, szName))) : nullptr;
}
