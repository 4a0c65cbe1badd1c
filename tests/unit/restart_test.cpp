#include "app/restart.h"
#include "platform/overrides.h"
#include "support/tracecapture.h"
#include <gtest/gtest.h>

namespace
{
UINT g_uFlags = 0;
DWORD g_dwReason = 0;
int g_nCalls = 0;

BOOL WINAPI RecordExitWindows(UINT uFlags, DWORD dwReason)
{
    g_uFlags = uFlags;
    g_dwReason = dwReason;
    ++g_nCalls;
    return TRUE;
}
}

TEST(RestartTest, RequestsAPlannedRestartWithTheShutdownPrivilege)
{
    g_nCalls = 0;
    g_overrides.pfnExitWindowsEx = RecordExitWindows;
    CScopedTraceSwitch traceSwitch(L"1");
    CTraceCapture capture;
    RequestMachineRestart();
    ResetPlatformOverrides();
    EXPECT_EQ(1, g_nCalls);
    EXPECT_EQ(18u, g_uFlags);
    EXPECT_EQ(0x84040002u, g_dwReason);
    EXPECT_EQ(std::vector<std::wstring>{L"[Info] Requesting a restart of the machine\n"}, capture.GetLines());
    // Wine grants the privilege to the setup, as Windows does to an administrator.
    EXPECT_TRUE(EnableShutdownPrivilege());
}
