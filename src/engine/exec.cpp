#include "engine/exec.h"
#include "diag/heapstr.h"
#include "diag/safestr.h"
#include "platform/owners.h"
#include "ui/wizard.h"

bool ComposeProgramCommandLine(LPCWSTR szProgram, LPCWSTR szParameters, LPWSTR szCommandLine, size_t cchCommandLine)
{
    return SUCCEEDED(SafeCopy(szCommandLine, cchCommandLine, L"\"")) &&
           SUCCEEDED(SafeAppend(szCommandLine, cchCommandLine, szProgram)) &&
           SUCCEEDED(SafeAppend(szCommandLine, cchCommandLine, L"\" ")) &&
           SUCCEEDED(SafeAppend(szCommandLine, cchCommandLine, szParameters ? szParameters : L""));
}

DWORD JudgeProgramExitCode(DWORD dwExitCode, bool* pfReboot)
{
    switch (dwExitCode)
    {
    case ERROR_SUCCESS_REBOOT_REQUIRED:
        *pfReboot = true;
        return ERROR_SUCCESS;
    case ERROR_UNKNOWN_PRODUCT:
    case ERROR_PRODUCT_UNINSTALLED:
        return ERROR_SUCCESS;
    default:
        return dwExitCode;
    }
}

DWORD WaitForProcess(HANDLE hProcess)
{
    for (;;)
    {
        DWORD dwWait = MsgWaitForMultipleObjects(1, &hProcess, FALSE, INFINITE, QS_ALLINPUT);
        if (dwWait == WAIT_OBJECT_0)
        {
            return ERROR_SUCCESS;
        }
        if (dwWait != WAIT_OBJECT_0 + 1)
        {
            return GetLastError();
        }
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

bool GetProgramFolder(LPCWSTR szProgram, LPWSTR szFolder, size_t cchFolder)
{
    LPCWSTR pLast = nullptr;
    for (LPCWSTR p = szProgram; *p; ++p)
    {
        if (*p == L'\\' || *p == L'/')
        {
            pLast = p;
        }
    }
    if (!pLast || pLast == szProgram)
    {
        return false;
    }
    // A drive's root keeps its separator: "C:" alone means that drive's
    // current folder.
    size_t cchFolderPart = static_cast<size_t>(pLast - szProgram) + (pLast[-1] == L':' ? 1 : 0);
    if (cchFolderPart >= cchFolder)
    {
        return false;
    }
    wmemcpy(szFolder, szProgram, cchFolderPart);
    szFolder[cchFolderPart] = L'\0';
    return true;
}

DWORD RunExecutablePackage(CPackageInfo* pPackage, LPCWSTR szProgram, CSetupWizard* pWizard)
{
    LPCWSTR szParameters = pPackage->szParameters ? pPackage->szParameters : L"";
    size_t cchCommandLine = wcslen(szProgram) + wcslen(szParameters) + 4;
    CHeapString strCommandLine(AllocString(cchCommandLine));
    if (!strCommandLine.Get())
    {
        return ERROR_OUTOFMEMORY;
    }
    if (!ComposeProgramCommandLine(szProgram, szParameters, strCommandLine.Get(), cchCommandLine))
    {
        return ERROR_INSTALL_FAILURE;
    }
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOW;
    // The installer starts in its own folder, never in the setup's current
    // one (often Downloads), where it would find planted DLLs.
    WCHAR szFolder[MAX_PATH] = {};
    if (!GetProgramFolder(szProgram, szFolder, MAX_PATH))
    {
        return ERROR_INSTALL_FAILURE;
    }
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, strCommandLine.Get(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                        szFolder, &si, &info))
    {
        return GetLastError();
    }
    CHandleOwner thread(info.hThread);
    CHandleOwner process(info.hProcess);
    pWizard->StartMarquee();
    DWORD dwWait = WaitForProcess(process.Get());
    pWizard->StopMarquee();
    if (dwWait != ERROR_SUCCESS)
    {
        return dwWait;
    }
    DWORD dwExitCode = 0;
    GetExitCodeProcess(process.Get(), &dwExitCode);
    bool fReboot = false;
    DWORD dwResult = JudgeProgramExitCode(dwExitCode, &fReboot);
    if (fReboot)
    {
        pPackage->fRebootRequired.store(true);
    }
    return dwResult;
}
