#include "app/restart.h"
#include "platform/overrides.h"
#include "support/testpaths.h"
#include "support/tracecapture.h"
#include "ui/wizard.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

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

namespace
{
std::vector<std::wstring> g_rgRegistrations;

HRESULT WINAPI RecordRegister(PCWSTR szCommandLine, DWORD dwFlags)
{
    g_rgRegistrations.push_back(L"register " + std::wstring(szCommandLine ? szCommandLine : L"(null)") + L" " +
                                std::to_wstring(dwFlags));
    return S_OK;
}

HRESULT WINAPI RecordUnregister()
{
    g_rgRegistrations.push_back(L"unregister");
    return S_OK;
}
}

TEST(RestartRegistrationTest, TheProgressPageRegistersAndTheFinishPageUnregisters)
{
    g_rgRegistrations.clear();
    g_overrides.pfnRegisterApplicationRestart = RecordRegister;
    g_overrides.pfnUnregisterApplicationRestart = RecordUnregister;
    CDataModule setup(L"TessalSetup.exe");
    {
        CSetupWizard wizard;
        wizard.Init(setup.Get());
        EXPECT_TRUE(g_rgRegistrations.empty());
        wizard.SetPage(PageProgress);
        EXPECT_EQ(std::vector<std::wstring>{L"register /rsar 1"}, g_rgRegistrations);
        wizard.SetPage(PageFinish);
        EXPECT_EQ((std::vector<std::wstring>{L"register /rsar 1", L"unregister"}), g_rgRegistrations);
    }
    ResetPlatformOverrides();
}
