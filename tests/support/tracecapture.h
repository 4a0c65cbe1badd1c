#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Collects the debug trace of this process while it is alive. The platform
// turns OutputDebugString into a first-chance exception that a vectored
// handler sees before anything else.
class CTraceCapture
{
public:
    CTraceCapture();
    ~CTraceCapture();
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;

    // Every piece of output in call order; one entry per output call.
    std::vector<std::wstring> GetLines() const;
    // The output joined together.
    std::wstring GetText() const;
    void Clear();
};

// Sets or removes an environment variable for one scope.
class CScopedEnvironment
{
public:
    CScopedEnvironment(LPCWSTR szName, LPCWSTR szValue);
    ~CScopedEnvironment();
    CScopedEnvironment(const CScopedEnvironment&) = delete;
    CScopedEnvironment& operator=(const CScopedEnvironment&) = delete;

private:
    std::wstring m_strName;
    std::wstring m_strOld;
    bool m_fHadOld;
};

// Tracing on (value "1") or off (null removes the variable) for one scope,
// with the trace flag decided again on entry and on exit.
class CScopedTraceSwitch
{
public:
    explicit CScopedTraceSwitch(LPCWSTR szValue);
    ~CScopedTraceSwitch();

private:
    CScopedEnvironment m_env;
};
