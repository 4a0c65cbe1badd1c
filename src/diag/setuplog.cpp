#include "diag/setuplog.h"
#include "diag/heapstr.h"
#include "diag/safestr.h"
#include <shlwapi.h>

namespace
{
// Holds the log's lock for one scope.
class CLogLock
{
public:
    explicit CLogLock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
    ~CLogLock() { LeaveCriticalSection(&m_cs); }
    CLogLock(const CLogLock&) = delete;
    CLogLock& operator=(const CLogLock&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};
}

CSetupLog CSetupLog::s_log;

CSetupLog& CSetupLog::Instance()
{
    return s_log;
}

CSetupLog::CSetupLog() : m_hFile(INVALID_HANDLE_VALUE), m_hCopy(INVALID_HANDLE_VALUE)
{
    InitializeCriticalSection(&m_csWrite);
}

CSetupLog::~CSetupLog()
{
    // The lock stays: a worker thread that outlived the run may still try
    // to write, and finds the log closed.
    Close();
}

std::wstring CSetupLog::GetPath() const
{
    return m_hFile == INVALID_HANDLE_VALUE ? std::wstring() : m_strPath;
}

bool CSetupLog::Open()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
    {
        return true;
    }
    WCHAR szFolder[MAX_PATH] = {};
    DWORD cchFolder = GetTempPathW(MAX_PATH, szFolder);
    if (cchFolder == 0 || cchFolder > MAX_PATH)
    {
        return false;
    }
    WCHAR szName[MAX_PATH] = {};
    if (!GetTempFileNameW(szFolder, L"bltwsetup", 0, szName))
    {
        return false;
    }
    // The returned name is already a full path, so appending it keeps it.
    if (!PathAppendW(szFolder, szName))
    {
        return false;
    }
    HANDLE hFile = CreateFileW(szFolder, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    if (SetFilePointer(hFile, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    {
        CloseHandle(hFile);
        return false;
    }

    WCHAR szComputer[MAX_PATH] = {};
    DWORD cchComputer = MAX_PATH;
    if (!GetComputerNameW(szComputer, &cchComputer))
    {
        szComputer[0] = L'\0';
    }
    WCHAR szUser[MAX_PATH] = {};
    DWORD cchUser = MAX_PATH;
    if (!GetUserNameW(szUser, &cchUser))
    {
        szUser[0] = L'\0';
    }
    {
        CLogLock lock(m_csWrite);
        m_strPath = szFolder;
        m_strComputer = szComputer;
        m_strUser = szUser;
        m_hFile = hFile;
    }
    Write(L"=== Setup started on %s by %s ===\r\n", m_strComputer.c_str(), m_strUser.c_str());
    return true;
}

bool CSetupLog::AddCopy(LPCWSTR szPath)
{
    HANDLE hCopy = CreateFileW(szPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    if (hCopy == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    CLogLock lock(m_csWrite);
    if (m_hCopy != INVALID_HANDLE_VALUE)
    {
        CloseHandle(m_hCopy);
    }
    m_hCopy = hCopy;
    // The copy starts as the log did, so that it reads as a whole run.
    if (m_hFile != INVALID_HANDLE_VALUE)
    {
        WCHAR szStart[LOG_LINE_CAPACITY + 1];
        SafeFormat(szStart, ARRAYSIZE(szStart), L"=== Setup started on %s by %s ===\r\n", m_strComputer.c_str(),
                   m_strUser.c_str());
        WriteTo(m_hCopy, szStart, true);
    }
    return true;
}

bool CSetupLog::WriteText(LPCWSTR szText)
{
    if (m_hCopy != INVALID_HANDLE_VALUE)
    {
        WriteTo(m_hCopy, szText, false);
    }
    return WriteTo(m_hFile, szText, false);
}

bool CSetupLog::WriteTo(HANDLE hFile, LPCWSTR szText, bool fPrefixed)
{
    if (fPrefixed)
    {
        WCHAR szPrefix[LOG_LINE_CAPACITY + 1];
        FormatPrefix(szPrefix, ARRAYSIZE(szPrefix));
        WriteTo(hFile, szPrefix, false);
    }
    DWORD cbText = static_cast<DWORD>(wcslen(szText) * sizeof(WCHAR));
    DWORD cbWritten = 0;
    return WriteFile(hFile, szText, cbText, &cbWritten, nullptr) != FALSE;
}

void CSetupLog::FormatPrefix(LPWSTR szPrefix, size_t cchPrefix) const
{
    SYSTEMTIME st = {};
    GetLocalTime(&st);
    SafeFormat(szPrefix, cchPrefix, L"%d/%d/%d:%02d:%02d:%02d\t%s\t%s\t", st.wYear, st.wMonth, st.wDay, st.wHour,
               st.wMinute, st.wSecond, m_strUser.c_str(), m_strComputer.c_str());
}

void CSetupLog::WritePrefixed(LPCWSTR szMessage)
{
    WCHAR szPrefix[LOG_LINE_CAPACITY + 1];
    FormatPrefix(szPrefix, ARRAYSIZE(szPrefix));
    WriteText(szPrefix);
    WriteText(szMessage);
}

void CSetupLog::WriteLocked(LPCWSTR szFormat, va_list args)
{
    // The line buffer grows only for messages longer than its first size.
    size_t cchCapacity = LOG_LINE_CAPACITY;
    CHeapString strLine(AllocString(cchCapacity + 1));
    while (strLine.Get())
    {
        va_list argsCopy;
        va_copy(argsCopy, args);
        bool fWhole = FormatBounded(strLine.Get(), cchCapacity + 1, szFormat, argsCopy);
        va_end(argsCopy);
        if (fWhole)
        {
            WritePrefixed(strLine.Get());
            return;
        }
        if (cchCapacity > SAFE_MAX_CAPACITY / 2)
        {
            return;
        }
        cchCapacity *= 2;
        strLine.Reset(AllocString(cchCapacity + 1));
    }
}

void CSetupLog::Write(LPCWSTR szFormat, ...)
{
    CLogLock lock(m_csWrite);
    if (m_hFile == INVALID_HANDLE_VALUE || !szFormat)
    {
        return;
    }
    va_list args;
    va_start(args, szFormat);
    WriteLocked(szFormat, args);
    va_end(args);
}

void CSetupLog::Close()
{
    std::wstring strTemporary;
    {
        CLogLock lock(m_csWrite);
        if (m_hFile == INVALID_HANDLE_VALUE)
        {
            return;
        }
        WritePrefixed(L"=== Setup ended ===\r\n\r\n");
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
        if (m_hCopy != INVALID_HANDLE_VALUE)
        {
            CloseHandle(m_hCopy);
            m_hCopy = INVALID_HANDLE_VALUE;
        }
        strTemporary = m_strPath;
    }
    WCHAR szFinal[MAX_PATH] = {};
    if (FAILED(SafeCopy(szFinal, MAX_PATH, strTemporary.c_str())) || !PathRemoveFileSpecW(szFinal) ||
        !PathAppendW(szFinal, L"ProjectTessalSetup.log"))
    {
        return;
    }
    MoveFileExW(strTemporary.c_str(), szFinal, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}
