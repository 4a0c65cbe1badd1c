#include "diag/msgbox.h"
#include "diag/safestr.h"
#include "diag/setuplog.h"
#include <atomic>

namespace
{
void LoadText(HINSTANCE hInstance, UINT nStringId, WCHAR (&szText)[MESSAGE_CAPACITY])
{
    LoadStringOrEmpty(hInstance, nStringId, szText, MESSAGE_CAPACITY);
}

void LogError(LPCWSTR szMessage)
{
    CSetupLog::Instance().Write(L"  Installation Error: %s\n", szMessage);
}

std::atomic<bool> g_fSilentBoxes{false};

// Every box of the setup comes through here; an unattended run shows none
// and takes the box's first button.
int ShowBox(HWND hWndOwner, LPCWSTR szMessage, LPCWSTR szCaption, UINT uStyle)
{
    if (g_fSilentBoxes.load())
    {
        CSetupLog::Instance().Write(L"  Unattended: no box shown for \"%s\"\n", szMessage ? szMessage : L"");
        return (uStyle & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    }
    return MessageBoxW(hWndOwner, szMessage, szCaption, uStyle);
}
}

void SetSilentMessageBoxes(bool fSilent)
{
    g_fSilentBoxes.store(fSilent);
}

int ShowMessageBox(HWND hWndOwner, LPCWSTR szMessage, LPCWSTR szCaption, UINT uStyle)
{
    return ShowBox(hWndOwner, szMessage, szCaption, uStyle);
}

void ShowAndLog(HWND hWndOwner, LPCWSTR szMessage, LPCWSTR szCaption, UINT uStyle)
{
    ShowBox(hWndOwner, szMessage, szCaption, uStyle);
    LogError(szMessage);
}

namespace
{
// Loads a string that holds one printf placeholder and fills it.
template <typename T>
void ShowFormatted(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption, UINT nStringId, UINT uStyle, T value)
{
    WCHAR szFormat[MESSAGE_CAPACITY];
    LoadText(hInstance, nStringId, szFormat);
    WCHAR szMessage[MESSAGE_CAPACITY] = {};
    SafeFormat(szMessage, MESSAGE_CAPACITY, szFormat, value);
    ShowAndLog(hWndOwner, szMessage, szCaption, uStyle);
}

void ShowById(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption, UINT nStringId, UINT uStyle)
{
    WCHAR szMessage[MESSAGE_CAPACITY];
    LoadText(hInstance, nStringId, szMessage);
    ShowAndLog(hWndOwner, szMessage, szCaption, uStyle);
}
}

void ReportMissingResource(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption, LPCWSTR szResourceName)
{
    ShowFormatted(hInstance, hWndOwner, szCaption, IDS_MISSING_RESOURCE, MB_OK | MB_ICONWARNING,
                  szResourceName ? szResourceName : L"");
}

void ReportCancelled(HINSTANCE hInstance, HWND hWndOwner)
{
    ShowById(hInstance, hWndOwner, nullptr, IDS_CANCELLED, MB_OK | MB_ICONWARNING);
}

void ReportErrorById(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption, UINT nStringId)
{
    ShowById(hInstance, hWndOwner, szCaption, nStringId, MB_OK | MB_ICONERROR);
}

void ReportOutOfMemory(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption)
{
    ShowById(hInstance, hWndOwner, szCaption, IDS_OUT_OF_MEMORY, MB_OK | MB_ICONERROR);
}

void ReportInvalidMsiVersion(HINSTANCE hInstance, LPCWSTR szValue)
{
    WCHAR szFormat[MESSAGE_CAPACITY];
    LoadText(hInstance, IDS_INVALID_MSI_VERSION, szFormat);
    WCHAR szMessage[MESSAGE_CAPACITY] = {};
    SafeFormat(szMessage, MESSAGE_CAPACITY, szFormat, szValue ? szValue : L"", MSI_VERSION_FLOOR);
    ShowAndLog(nullptr, szMessage, nullptr, MB_OK | MB_ICONERROR);
}

void ReportInstallError(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption, DWORD dwCode)
{
    ShowFormatted(hInstance, hWndOwner, szCaption, IDS_INSTALL_ERROR, MB_OK | MB_ICONERROR, static_cast<int>(dwCode));
}

bool ConvertPrintfInsert(LPCWSTR szSource, LPWSTR szDest, size_t cchDest)
{
    size_t iDest = 0;
    for (size_t iSource = 0; szSource[iSource] != L'\0'; ++iSource)
    {
        bool fPrintfInsert = szSource[iSource] == L'%' && szSource[iSource + 1] == L's';
        if (iDest + (fPrintfInsert ? 2 : 1) >= cchDest)
        {
            return false;
        }
        if (fPrintfInsert)
        {
            szDest[iDest++] = L'%';
            szDest[iDest++] = L'1';
            ++iSource;
            continue;
        }
        szDest[iDest++] = szSource[iSource];
        if (szSource[iSource] == L'%' && szSource[iSource + 1] != L'\0')
        {
            // Keep FormatMessage's own escapes ("%1", "%%", "%n") together.
            if (iDest + 1 >= cchDest)
            {
                return false;
            }
            szDest[iDest++] = szSource[++iSource];
        }
    }
    szDest[iDest] = L'\0';
    return true;
}

void ReportSystemError(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption, UINT nStringId, LPCWSTR szInsert)
{
    WCHAR szLoaded[MESSAGE_CAPACITY];
    LoadText(hInstance, nStringId, szLoaded);
    WCHAR szSource[MESSAGE_CAPACITY];
    if (!ConvertPrintfInsert(szLoaded, szSource, MESSAGE_CAPACITY))
    {
        SafeCopy(szSource, MESSAGE_CAPACITY, szLoaded);
    }

    DWORD_PTR rgArgs[1] = {reinterpret_cast<DWORD_PTR>(szInsert ? szInsert : L"")};
    LPWSTR szText = nullptr;
    DWORD cchText = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING |
                                       FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                   szSource, 0, 0, reinterpret_cast<LPWSTR>(&szText), 0,
                                   reinterpret_cast<va_list*>(rgArgs));
    if (cchText == 0 || !szText)
    {
        if (szText)
        {
            LocalFree(szText);
        }
        ReportOutOfMemory(hInstance, hWndOwner, szCaption);
        return;
    }
    ShowBox(hWndOwner, szText, szCaption, MB_ICONERROR);
    LogError(szText);
    LocalFree(szText);
}

bool IsSilentMsiResult(DWORD dwCode)
{
    switch (dwCode)
    {
    case ERROR_APPHELP_BLOCK:
    case ERROR_INSTALL_USEREXIT:
    case ERROR_INSTALL_FAILURE:
    case ERROR_INSTALL_SUSPEND:
    case ERROR_SUCCESS_REBOOT_INITIATED:
    case ERROR_SUCCESS_REBOOT_REQUIRED:
        return true;
    default:
        return false;
    }
}

DWORD MapMsiResultForText(DWORD dwCode)
{
    switch (dwCode)
    {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ERROR_INSTALL_PACKAGE_OPEN_FAILED;
    default:
        return dwCode;
    }
}

void ReportMsiError(DWORD dwCode, HWND hWndOwner, LPCWSTR szCaption, HINSTANCE hInstance, HMODULE hMsiModule)
{
    if (IsSilentMsiResult(dwCode))
    {
        return;
    }
    DWORD dwTextId = MapMsiResultForText(dwCode);
    WCHAR szText[MESSAGE_CAPACITY] = {};
    int cchText = hMsiModule ? LoadStringW(hMsiModule, dwTextId, szText, MESSAGE_CAPACITY) : 0;
    if (cchText <= 0)
    {
        ReportInstallError(hInstance, hWndOwner, szCaption, dwTextId);
        return;
    }
    ShowAndLog(hWndOwner, szText, szCaption, MB_OK | MB_ICONERROR);
}

void ShowUsage(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption)
{
    WCHAR szMessage[MESSAGE_CAPACITY * 2];
    LoadStringOrEmpty(hInstance, IDS_USAGE, szMessage, MESSAGE_CAPACITY);
    // The managed switches follow the older lines, which stay as they were.
    WCHAR szManaged[MESSAGE_CAPACITY];
    for (UINT nId : {IDS_USAGE_MANAGED, IDS_USAGE_LAYOUT})
    {
        LoadText(hInstance, nId, szManaged);
        SafeAppend(szMessage, ARRAYSIZE(szMessage), szManaged);
    }
    ShowBox(hWndOwner, szMessage, szCaption, MB_OK | MB_ICONINFORMATION);
}
