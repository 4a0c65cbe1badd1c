#include "platform/overrides.h"

PlatformOverrides g_overrides = {&GetSystemDirectoryW, nullptr};

void ResetPlatformOverrides()
{
    g_overrides.pfnGetSystemDirectoryW = &GetSystemDirectoryW;
    g_overrides.pfnMsiQueryProductStateW = nullptr;
}
