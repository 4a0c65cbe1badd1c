#include "platform/overrides.h"

PlatformOverrides g_overrides = {&GetSystemDirectoryW, nullptr, &ExitWindowsEx};

void ResetPlatformOverrides()
{
    g_overrides.pfnGetSystemDirectoryW = &GetSystemDirectoryW;
    g_overrides.pfnMsiQueryProductStateW = nullptr;
    g_overrides.pfnExitWindowsEx = &ExitWindowsEx;
}
