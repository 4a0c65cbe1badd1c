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

namespace
{
bool IsSwitchSet(LPCWSTR szName)
{
    WCHAR szValue[8] = {};
    return GetEnvironmentVariableW(szName, szValue, 8) > 0 && szValue[0] == L'1';
}
}

bool IsStressRun()
{
    return IsSwitchSet(L"TESSAL_STRESS");
}

bool IsMainConfiguration()
{
    return (sizeof(void*) == 4 && IsNative64Bit()) || IsSwitchSet(L"TESSAL_MAIN_CONFIG");
}

namespace
{
std::string GetHostPath(const std::wstring& strPath)
{
    using PFN_GET_UNIX_FILE_NAME = char*(CDECL*)(LPCWSTR);
    auto pfnGet = reinterpret_cast<PFN_GET_UNIX_FILE_NAME>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* szHost = pfnGet ? pfnGet(strPath.c_str()) : nullptr;
    std::string strHost = szHost ? szHost : "";
    if (szHost)
    {
        HeapFree(GetProcessHeap(), 0, szHost);
    }
    return strHost;
}

// Runs a host program and waits until the link is there or gone.
bool RunHostProgram(const std::wstring& strProgram, const std::string& strArguments, const std::wstring& strLink,
                    bool fLinkExpected)
{
    std::wstring strCommandLine = strProgram + L" " + std::wstring(strArguments.begin(), strArguments.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW((L"Z:" + strProgram).c_str(), &strCommandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The host process's handle does not tell when it is done: its effect does.
    for (int i = 0; i < 100; ++i)
    {
        DWORD dwAttributes = GetFileAttributesW(strLink.c_str());
        bool fIsLink = dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (fIsLink == fLinkExpected)
        {
            return true;
        }
        Sleep(50);
    }
    return false;
}

std::string Quote(const std::string& str)
{
    return "\"" + str + "\"";
}
}

bool MakeSymbolicLink(const std::wstring& strLink, const std::wstring& strTarget)
{
    std::string strHostLink = GetHostPath(strLink);
    std::string strHostTarget = GetHostPath(strTarget);
    return !strHostLink.empty() && !strHostTarget.empty() &&
           RunHostProgram(L"/bin/ln", "-s " + Quote(strHostTarget) + " " + Quote(strHostLink), strLink, true);
}

bool RemoveSymbolicLink(const std::wstring& strLink)
{
    std::string strHostLink = GetHostPath(strLink);
    return !strHostLink.empty() && RunHostProgram(L"/bin/rm", "-f " + Quote(strHostLink), strLink, false);
}
