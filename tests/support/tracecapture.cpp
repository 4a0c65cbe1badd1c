#include "support/tracecapture.h"
#include "diag/trace.h"
#include <mutex>

namespace
{
constexpr DWORD c_dwPrintA = 0x40010006;  // DBG_PRINTEXCEPTION_C
constexpr DWORD c_dwPrintW = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

std::mutex g_mutexLines;
std::vector<std::wstring> g_lines;
PVOID g_pHandler = nullptr;
int g_nCaptures = 0;

LONG CALLBACK OnDebugPrint(PEXCEPTION_POINTERS pInfo)
{
    const EXCEPTION_RECORD* pRecord = pInfo->ExceptionRecord;
    if (pRecord->NumberParameters < 2)
    {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    std::wstring strLine;
    if (pRecord->ExceptionCode == c_dwPrintW)
    {
        strLine = reinterpret_cast<LPCWSTR>(pRecord->ExceptionInformation[1]);
    }
    else if (pRecord->ExceptionCode == c_dwPrintA)
    {
        LPCSTR szAnsi = reinterpret_cast<LPCSTR>(pRecord->ExceptionInformation[1]);
        int cch = MultiByteToWideChar(CP_ACP, 0, szAnsi, -1, nullptr, 0);
        if (cch > 0)
        {
            strLine.resize(static_cast<size_t>(cch));
            MultiByteToWideChar(CP_ACP, 0, szAnsi, -1, &strLine[0], cch);
            strLine.resize(static_cast<size_t>(cch - 1));
        }
    }
    else
    {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    {
        std::lock_guard<std::mutex> lock(g_mutexLines);
        // The wide form is followed by its narrow form on systems that
        // raise both; keep one.
        if (pRecord->ExceptionCode == c_dwPrintA && !g_lines.empty() && g_lines.back() == strLine)
        {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        g_lines.push_back(strLine);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}
}

CTraceCapture::CTraceCapture()
{
    std::lock_guard<std::mutex> lock(g_mutexLines);
    if (g_nCaptures++ == 0)
    {
        g_pHandler = AddVectoredExceptionHandler(1, OnDebugPrint);
    }
    g_lines.clear();
}

CTraceCapture::~CTraceCapture()
{
    std::lock_guard<std::mutex> lock(g_mutexLines);
    if (--g_nCaptures == 0 && g_pHandler)
    {
        RemoveVectoredExceptionHandler(g_pHandler);
        g_pHandler = nullptr;
    }
}

std::vector<std::wstring> CTraceCapture::GetLines() const
{
    std::lock_guard<std::mutex> lock(g_mutexLines);
    return g_lines;
}

std::wstring CTraceCapture::GetText() const
{
    std::wstring strText;
    for (const std::wstring& strLine : GetLines())
    {
        strText += strLine;
    }
    return strText;
}

void CTraceCapture::Clear()
{
    std::lock_guard<std::mutex> lock(g_mutexLines);
    g_lines.clear();
}

CScopedEnvironment::CScopedEnvironment(LPCWSTR szName, LPCWSTR szValue) : m_strName(szName), m_fHadOld(false)
{
    WCHAR szOld[32768];
    DWORD cch = GetEnvironmentVariableW(szName, szOld, ARRAYSIZE(szOld));
    if (cch > 0 && cch < ARRAYSIZE(szOld))
    {
        m_fHadOld = true;
        m_strOld = szOld;
    }
    SetEnvironmentVariableW(szName, szValue);
}

CScopedEnvironment::~CScopedEnvironment()
{
    SetEnvironmentVariableW(m_strName.c_str(), m_fHadOld ? m_strOld.c_str() : nullptr);
}

CScopedTraceSwitch::CScopedTraceSwitch(LPCWSTR szValue) : m_env(L"_MSI_WEB_BOOTSTRAP_DEBUG", szValue)
{
    ResetDebugFlagForTest();
}

CScopedTraceSwitch::~CScopedTraceSwitch()
{
    ResetDebugFlagForTest();
}
