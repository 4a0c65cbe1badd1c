#include "platform/overrides.h"

PlatformOverrides g_overrides = {&GetSystemDirectoryW};

void ResetPlatformOverrides()
{
    g_overrides.pfnGetSystemDirectoryW = &GetSystemDirectoryW;
}
