/* A stand-in for every program package of the manifest. It appends its own
   file name and command line to %TEMP%\tessal-stub-calls.txt and exits with
   the code that TESSAL_STUB_EXIT_<NAME> asks for (NAME: its file name up to
   the extension or the browser cache's "[n]" mark, upper case), 0 otherwise.
   TESSAL_STUB_SLEEP_<NAME> makes it take that many milliseconds first. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevious, LPWSTR szCommandLine, int nShow)
{
    (void)hInstance;
    (void)hPrevious;
    (void)szCommandLine;
    (void)nShow;
    WCHAR szPath[MAX_PATH] = L"";
    GetModuleFileNameW(NULL, szPath, MAX_PATH);
    LPCWSTR szName = wcsrchr(szPath, L'\\') ? wcsrchr(szPath, L'\\') + 1 : szPath;

    WCHAR szLog[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, szLog);
    wcscat(szLog, L"tessal-stub-calls.txt");
    HANDLE hLog = CreateFileW(szLog, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (hLog != INVALID_HANDLE_VALUE)
    {
        char szLine[2048];
        int cb = _snprintf(szLine, sizeof(szLine) - 1, "%ls|%ls\r\n", szName, GetCommandLineW());
        DWORD cbWritten = 0;
        if (cb > 0)
        {
            WriteFile(hLog, szLine, (DWORD)cb, &cbWritten, NULL);
        }
        CloseHandle(hLog);
    }

    WCHAR szVariable[MAX_PATH] = L"TESSAL_STUB_EXIT_";
    size_t cchPrefix = wcslen(szVariable);
    for (LPCWSTR p = szName; *p && *p != L'.' && *p != L'[' && cchPrefix + 1 < MAX_PATH; ++p)
    {
        szVariable[cchPrefix++] = (WCHAR)towupper(*p);
    }
    szVariable[cchPrefix] = L'\0';
    WCHAR szSleepVariable[MAX_PATH] = L"TESSAL_STUB_SLEEP_";
    wcscat(szSleepVariable, szVariable + wcslen(L"TESSAL_STUB_EXIT_"));
    WCHAR szCode[32] = L"";
    if (GetEnvironmentVariableW(szSleepVariable, szCode, 32) > 0)
    {
        Sleep((DWORD)wcstoul(szCode, NULL, 10));
    }
    if (GetEnvironmentVariableW(szVariable, szCode, 32) > 0)
    {
        return (int)wcstoul(szCode, NULL, 10);
    }
    return 0;
}
