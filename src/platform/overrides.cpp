#include "platform/overrides.h"

namespace
{
constexpr DWORD c_dwStallTimeoutMs = 60000;
}

PlatformOverrides g_overrides = {&GetSystemDirectoryW, nullptr, &ExitWindowsEx, nullptr, nullptr, c_dwStallTimeoutMs, 100,
                                 &StartDocW, &StartPage, nullptr, &RegOpenKeyExW};

void ResetPlatformOverrides()
{
    g_overrides.pfnGetSystemDirectoryW = &GetSystemDirectoryW;
    g_overrides.pfnMsiQueryProductStateW = nullptr;
    g_overrides.pfnExitWindowsEx = &ExitWindowsEx;
    g_overrides.pfnRegisterApplicationRestart = nullptr;
    g_overrides.pfnUnregisterApplicationRestart = nullptr;
    g_overrides.dwStallTimeoutMs = c_dwStallTimeoutMs;
    g_overrides.dwRetryPausePercent = 100;
    g_overrides.pfnStartDocW = &StartDocW;
    g_overrides.pfnStartPage = &StartPage;
    g_overrides.pfnIsWow64Process = nullptr;
    g_overrides.pfnRegOpenKeyExW = &RegOpenKeyExW;
}
