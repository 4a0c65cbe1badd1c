#include "app/restart.h"
#include "diag/trace.h"
#include "platform/overrides.h"
#include "platform/owners.h"

CHECK_EXPORT_TYPE(CRestartRegistration::PFN_REGISTER, RegisterApplicationRestart);
CHECK_EXPORT_TYPE(CRestartRegistration::PFN_UNREGISTER, UnregisterApplicationRestart);

CRestartRegistration::CRestartRegistration() : m_hKernel(LoadSystemLibrary(L"Kernel32.dll"))
{
    if (m_hKernel)
    {
        m_pfnRegister = LookupExport<PFN_REGISTER>(m_hKernel, "RegisterApplicationRestart");
        m_pfnUnregister = LookupExport<PFN_UNREGISTER>(m_hKernel, "UnregisterApplicationRestart");
    }
    if (g_overrides.pfnRegisterApplicationRestart)
    {
        m_pfnRegister = g_overrides.pfnRegisterApplicationRestart;
    }
    if (g_overrides.pfnUnregisterApplicationRestart)
    {
        m_pfnUnregister = g_overrides.pfnUnregisterApplicationRestart;
    }
}

CRestartRegistration::~CRestartRegistration()
{
    if (m_hKernel)
    {
        FreeLibrary(m_hKernel);
    }
}

void CRestartRegistration::Register(LPCWSTR szCommandLine)
{
    if (m_pfnRegister)
    {
        m_pfnRegister(szCommandLine, RESTART_NO_CRASH);
    }
}

void CRestartRegistration::Unregister()
{
    if (m_pfnUnregister)
    {
        m_pfnUnregister();
    }
}

bool EnableShutdownPrivilege()
{
    using PFN_OPEN_PROCESS_TOKEN = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using PFN_LOOKUP_PRIVILEGE_VALUE_W = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, PLUID);
    using PFN_ADJUST_TOKEN_PRIVILEGES = BOOL(WINAPI*)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
    CHECK_EXPORT_TYPE(PFN_OPEN_PROCESS_TOKEN, OpenProcessToken);
    CHECK_EXPORT_TYPE(PFN_LOOKUP_PRIVILEGE_VALUE_W, LookupPrivilegeValueW);
    CHECK_EXPORT_TYPE(PFN_ADJUST_TOKEN_PRIVILEGES, AdjustTokenPrivileges);

    CLoadedLibrary advapi(L"advapi32.dll");
    if (!advapi.Get())
    {
        return false;
    }
    auto pfnOpenProcessToken = LookupExport<PFN_OPEN_PROCESS_TOKEN>(advapi.Get(), "OpenProcessToken");
    auto pfnLookupPrivilegeValueW = LookupExport<PFN_LOOKUP_PRIVILEGE_VALUE_W>(advapi.Get(), "LookupPrivilegeValueW");
    auto pfnAdjustTokenPrivileges = LookupExport<PFN_ADJUST_TOKEN_PRIVILEGES>(advapi.Get(), "AdjustTokenPrivileges");
    if (!pfnOpenProcessToken || !pfnLookupPrivilegeValueW || !pfnAdjustTokenPrivileges)
    {
        return false;
    }
    HANDLE hToken = nullptr;
    if (!pfnOpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &hToken))
    {
        return false;
    }
    TOKEN_PRIVILEGES privileges = {};
    bool fEnabled = false;
    if (pfnLookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid))
    {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        SetLastError(ERROR_SUCCESS);
        pfnAdjustTokenPrivileges(hToken, FALSE, &privileges, 0, nullptr, nullptr);
        fEnabled = GetLastError() == ERROR_SUCCESS;
    }
    CloseHandle(hToken);
    return fEnabled;
}

void RequestMachineRestart()
{
    EnableShutdownPrivilege();
    // A release engineer reading the trace sees the request even where the
    // platform ignores it.
    DebugMsg(L"[Info] Requesting a restart of the machine\n");
    g_overrides.pfnExitWindowsEx(RESTART_REQUEST_FLAGS, RESTART_REQUEST_REASON);
}
