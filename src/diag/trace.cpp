#include "diag/trace.h"
#include "diag/heapstr.h"
#include "diag/safestr.h"
#include <atomic>

namespace
{
// -1 undecided, 0 off, 1 on. Two threads deciding at once read the same
// environment and store the same value, so no lock is needed.
std::atomic<int> g_nDebugFlag{-1};

const WCHAR c_szUpgradeRequired[] =
    L"[Info] Windows Installer upgrade is required.  System Version = %d, Minimum Version = %d.\n";

bool IsTracing()
{
    if (g_nDebugFlag.load(std::memory_order_relaxed) == -1)
    {
        InitDebugFlag();
    }
    return g_nDebugFlag.load(std::memory_order_relaxed) == 1;
}

void OutputFormatted(size_t cchBuffer, LPCWSTR szFormat, ...)
{
    CHeapString strBuffer(AllocString(cchBuffer));
    if (!strBuffer.Get())
    {
        return;
    }
    va_list args;
    va_start(args, szFormat);
    HRESULT hr = SafeFormatV(strBuffer.Get(), cchBuffer, szFormat, args);
    va_end(args);
    if (SUCCEEDED(hr))
    {
        OutputDebugStringW(strBuffer.Get());
    }
}
}

void InitDebugFlag()
{
    g_nDebugFlag.store(0);
    WCHAR szValue[64] = {};
    DWORD cch = GetEnvironmentVariableW(L"_MSI_WEB_BOOTSTRAP_DEBUG", szValue, 64);
    // A value that does not fit reports its needed size and leaves the buffer
    // zeroed, so it cannot turn tracing on.
    if (cch != 0 && szValue[0] == L'1')
    {
        g_nDebugFlag.store(1);
    }
}

void ResetDebugFlagForTest()
{
    g_nDebugFlag.store(-1);
}

void DebugMsg(LPCWSTR szFormat, LPCWSTR szFirst, LPCWSTR szSecond)
{
    if (!IsTracing() || !szFormat)
    {
        return;
    }
    if (!szFirst || szFirst[0] == L'\0')
    {
        OutputDebugStringW(szFormat);
        return;
    }
    size_t cch = wcslen(szFormat) + wcslen(szFirst) + (szSecond ? wcslen(szSecond) : 0) + 1;
    OutputFormatted(cch, szFormat, szFirst, szSecond ? szSecond : L"");
}

void DebugMsgInt(LPCWSTR szFormat, int nValue)
{
    if (!IsTracing() || !szFormat)
    {
        return;
    }
    OutputFormatted(wcslen(szFormat) + 13, szFormat, nValue);
}

void DebugMsgInt2(int nSystemVersion, int nMinimumVersion)
{
    if (!IsTracing())
    {
        return;
    }
    OutputFormatted(wcslen(c_szUpgradeRequired) + 25, c_szUpgradeRequired, nSystemVersion, nMinimumVersion);
}
