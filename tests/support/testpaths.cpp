#include "support/testpaths.h"

std::wstring GetBinFolder()
{
    WCHAR szPath[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring strPath(szPath);
    return strPath.substr(0, strPath.find_last_of(L"\\/") + 1);
}

std::wstring GetBinPath(LPCWSTR szName)
{
    return GetBinFolder() + szName;
}

std::wstring GetTempFolder()
{
    WCHAR szPath[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szPath);
    return szPath;
}

std::wstring ReadFileUtf16(const std::wstring& strPath, bool* pfExists)
{
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (pfExists)
    {
        *pfExists = hFile != INVALID_HANDLE_VALUE;
    }
    if (hFile == INVALID_HANDLE_VALUE)
    {
        return std::wstring();
    }
    DWORD cbFile = GetFileSize(hFile, nullptr);
    std::wstring strText(cbFile / sizeof(WCHAR), L'\0');
    DWORD cbRead = 0;
    if (cbFile >= sizeof(WCHAR))
    {
        ReadFile(hFile, &strText[0], static_cast<DWORD>(strText.size() * sizeof(WCHAR)), &cbRead, nullptr);
    }
    CloseHandle(hFile);
    strText.resize(cbRead / sizeof(WCHAR));
    return strText;
}

bool IsNative64Bit()
{
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

CDataModule::CDataModule(LPCWSTR szExeName)
    : m_hModule(LoadLibraryExW(GetBinPath(szExeName).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
{
}

CDataModule::~CDataModule()
{
    if (m_hModule)
    {
        FreeLibrary(m_hModule);
    }
}

bool IsStressRun()
{
    WCHAR szValue[8] = {};
    return GetEnvironmentVariableW(L"TESSAL_STRESS", szValue, 8) > 0 && szValue[0] == L'1';
}
