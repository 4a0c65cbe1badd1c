#pragma once
#include <windows.h>
#include <string>

// The process-wide setup log: UTF-16LE without a byte order mark, a
// temporary file while the run goes on, "ProjectTessalSetup.log" in the
// same folder once the process exits.
class CSetupLog
{
public:
    static CSetupLog& Instance();

    bool Open();
    // Writes every later line to this file too (created, or appended to),
    // after the start line; false when it cannot be opened.
    bool AddCopy(LPCWSTR szPath);
    void Write(LPCWSTR szFormat, ...);
    void Close();

    // The temporary path while the log is open; empty otherwise.
    std::wstring GetPath() const;

private:
    CSetupLog();
    ~CSetupLog();
    CSetupLog(const CSetupLog&) = delete;
    CSetupLog& operator=(const CSetupLog&) = delete;

    // These expect the caller to hold m_csWrite.
    void WriteLocked(LPCWSTR szFormat, va_list args);
    void WritePrefixed(LPCWSTR szMessage);
    bool WriteText(LPCWSTR szText);
    bool WriteTo(HANDLE hFile, LPCWSTR szText, bool fPrefixed);
    void FormatPrefix(LPWSTR szPrefix, size_t cchPrefix) const;

    HANDLE m_hFile;
    HANDLE m_hCopy;
    std::wstring m_strPath;
    std::wstring m_strComputer;
    std::wstring m_strUser;
    CRITICAL_SECTION m_csWrite;

    // Made before any thread exists; destroyed at process exit, after the
    // entry function has returned, so the end line follows everything.
    static CSetupLog s_log;
};

constexpr size_t LOG_LINE_CAPACITY = 4095;
