#pragma once
#include <windows.h>

enum RunMode : int
{
    RunNormal = 0,
    RunUsage = 1,
    RunVerify = 2,
    RunAdmin = 3,
};

// Finds the next blank- or tab-separated token; a token that starts with a
// double quote runs to the next double quote. ERROR_NO_MORE_ITEMS when none.
DWORD NextToken(LPWSTR szText, LPWSTR* ppStart, LPWSTR* ppLast, bool* pfQuoted);
RunMode GetRunMode(LPWSTR szCommandLine);
// True when "/rsar" appears anywhere, compared case-sensitively.
bool HasRestartOption(LPCWSTR szCommandLine);
// Writes a NUL after the path token in place.
DWORD CheckVerifyArgs(LPCWSTR szModulePath, LPWSTR szCommandLine);
DWORD CheckAdminArgs(LPWSTR szCommandLine);
