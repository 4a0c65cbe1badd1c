#include "diag/heapstr.h"
#include "diag/safestr.h"

LPWSTR AllocString(size_t cch)
{
    if (cch == 0 || cch > SAFE_MAX_CAPACITY)
    {
        return nullptr;
    }
    return static_cast<LPWSTR>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cch * sizeof(WCHAR)));
}

void FreeString(LPWSTR& sz)
{
    if (sz)
    {
        HeapFree(GetProcessHeap(), 0, sz);
        sz = nullptr;
    }
}

LPWSTR DuplicateString(LPCWSTR sz)
{
    if (!sz)
    {
        return nullptr;
    }
    size_t cch = wcslen(sz) + 1;
    LPWSTR szCopy = AllocString(cch);
    if (szCopy && FAILED(SafeCopy(szCopy, cch, sz)))
    {
        FreeString(szCopy);
    }
    return szCopy;
}
