#pragma once
#include <windows.h>

constexpr WCHAR RESTART_COMMAND_LINE[] = L"/rsar";

// The platform's restart registration, looked up in Kernel32 for the
// duration of one page switch; either function may be missing.
class CRestartRegistration
{
public:
    CRestartRegistration();
    ~CRestartRegistration();
    CRestartRegistration(const CRestartRegistration&) = delete;
    CRestartRegistration& operator=(const CRestartRegistration&) = delete;

    // szCommandLine: what the restarted setup gets; "/rsar" by default.
    void Register(LPCWSTR szCommandLine = RESTART_COMMAND_LINE);
    void Unregister();

    using PFN_REGISTER = HRESULT(WINAPI*)(PCWSTR, DWORD);
    using PFN_UNREGISTER = HRESULT(WINAPI*)();

private:
    HMODULE m_hKernel = nullptr;
    PFN_REGISTER m_pfnRegister = nullptr;
    PFN_UNREGISTER m_pfnUnregister = nullptr;
};

bool EnableShutdownPrivilege();
// Asks the platform to restart the machine; the result is not examined.
void RequestMachineRestart();

// EWX_REBOOT with EWX_FORCEIFHUNG; a planned restart for an installation.
constexpr UINT RESTART_REQUEST_FLAGS = 18;
constexpr DWORD RESTART_REQUEST_REASON = 0x84040002;
