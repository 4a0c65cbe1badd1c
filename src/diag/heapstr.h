#pragma once
#include <windows.h>
#include <wchar.h>

// Owned wide strings on the process heap. Absent (null) and empty are
// different values throughout the setup, so the owner keeps a plain pointer.
LPWSTR AllocString(size_t cch);
void FreeString(LPWSTR& sz);
LPWSTR DuplicateString(LPCWSTR sz);

// Scoped owner of a heap wide string; Release() hands the string on.
class CHeapString
{
public:
    CHeapString() = default;
    explicit CHeapString(LPWSTR sz) : m_sz(sz) {}
    ~CHeapString() { FreeString(m_sz); }
    CHeapString(const CHeapString&) = delete;
    CHeapString& operator=(const CHeapString&) = delete;

    LPWSTR Get() const { return m_sz; }
    LPWSTR* Slot() { FreeString(m_sz); return &m_sz; }
    LPWSTR Release() { LPWSTR sz = m_sz; m_sz = nullptr; return sz; }
    void Reset(LPWSTR sz) { FreeString(m_sz); m_sz = sz; }

private:
    LPWSTR m_sz = nullptr;
};
