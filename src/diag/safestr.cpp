#include "diag/safestr.h"
#include <stdio.h>
#include <wchar.h>

namespace
{
bool IsValidCapacity(size_t cchDest)
{
    return cchDest != 0 && cchDest <= SAFE_MAX_CAPACITY;
}

// Copies until the source's NUL or cchDest characters; the shared tail of
// copy and append.
HRESULT CopyBounded(LPWSTR szDest, size_t cchDest, LPCWSTR szSource)
{
    size_t i = 0;
    for (; i < cchDest; ++i)
    {
        szDest[i] = szSource[i];
        if (szSource[i] == L'\0')
        {
            return S_OK;
        }
    }
    szDest[cchDest - 1] = L'\0';
    return SAFE_E_CUT_TO_FIT;
}
}

bool FormatBounded(LPWSTR szDest, size_t cchDest, LPCWSTR szFormat, va_list args)
{
    // The C runtime's _vsnwprintf returns -1 when the result is longer than
    // the count, and leaves the text unterminated when it fits exactly.
    size_t cchMax = cchDest - 1;
    int nWritten = _vsnwprintf(szDest, cchMax, szFormat, args);
    if (nWritten < 0 || static_cast<size_t>(nWritten) > cchMax)
    {
        szDest[cchMax] = L'\0';
        return false;
    }
    szDest[nWritten] = L'\0';
    return true;
}

HRESULT SafeCopy(LPWSTR szDest, size_t cchDest, LPCWSTR szSource)
{
    if (!IsValidCapacity(cchDest))
    {
        return SAFE_E_INVALID_CAPACITY;
    }
    return CopyBounded(szDest, cchDest, szSource ? szSource : L"");
}

HRESULT SafeAppend(LPWSTR szDest, size_t cchDest, LPCWSTR szSource)
{
    if (!IsValidCapacity(cchDest))
    {
        return SAFE_E_INVALID_CAPACITY;
    }
    size_t cchCurrent = 0;
    while (cchCurrent < cchDest && szDest[cchCurrent] != L'\0')
    {
        ++cchCurrent;
    }
    if (cchCurrent == cchDest)
    {
        return SAFE_E_INVALID_CAPACITY;
    }
    return CopyBounded(szDest + cchCurrent, cchDest - cchCurrent, szSource ? szSource : L"");
}

HRESULT SafeFormatV(LPWSTR szDest, size_t cchDest, LPCWSTR szFormat, va_list args)
{
    if (!IsValidCapacity(cchDest))
    {
        return SAFE_E_INVALID_CAPACITY;
    }
    return FormatBounded(szDest, cchDest, szFormat, args) ? S_OK : SAFE_E_CUT_TO_FIT;
}

HRESULT SafeFormat(LPWSTR szDest, size_t cchDest, LPCWSTR szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    HRESULT hr = SafeFormatV(szDest, cchDest, szFormat, args);
    va_end(args);
    return hr;
}

bool IsTextEqualNoCase(LPCWSTR szFirst, LPCWSTR szSecond)
{
    return CompareStringW(MAKELCID(1033, SORT_DEFAULT), NORM_IGNORECASE, szFirst, -1, szSecond, -1) == CSTR_EQUAL;
}

void LoadStringOrEmpty(HINSTANCE hInstance, UINT nStringId, LPWSTR szText, int cchText)
{
    szText[0] = L'\0';
    if (LoadStringW(hInstance, nStringId, szText, cchText) <= 0)
    {
        szText[0] = L'\0';
    }
}
