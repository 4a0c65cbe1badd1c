#include "buildconfig.h"
#include "engine/download.h"
#include "manifest/detect.h"
#include "platform/overrides.h"
#include "support/wizarddriver.h"
#include "ui/wizard.h"
#include <gtest/gtest.h>
#include <new>
#include <thread>

namespace
{
const wchar_t c_szDotNetUrl[] = TESSAL_SERVER_ORIGIN_W L"/esd/en/tessal/installfiles/dotNet/dotNetFx35setup.exe";
const char c_szDotNetPath[] = "/esd/en/tessal/installfiles/dotNet/dotNetFx35setup.exe";

struct TransferOutcome
{
    HRESULT hr;
    bool fStalled;
    DWORD dwHttpStatus;
    ULONGLONG ullMs;
};

// One transfer of the .NET stand-in through the watchdog, in this thread.
TransferOutcome Transfer(CSetupWizard& wizard)
{
    WCHAR szPath[MAX_PATH] = {};
    CDownloadBindStatusCallback* pCallback = new (std::nothrow) CDownloadBindStatusCallback(&wizard);
    ULONGLONG ullStart = GetTickCount64();
    TransferOutcome outcome = {};
    outcome.hr = DownloadWithWatchdog(c_szDotNetUrl, szPath, pCallback);
    outcome.ullMs = GetTickCount64() - ullStart;
    outcome.fStalled = pCallback->HasStalled();
    outcome.dwHttpStatus = pCallback->GetHttpStatus();
    pCallback->Release();
    return outcome;
}

class InstallRunTransferTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetPlatformOverrides(); }
    void TearDown() override
    {
        ResetPlatformOverrides();
        SetServerFaults("{}");
    }
};

void SetFault(const char* szFault)
{
    SetServerFaults(std::string("{\"") + c_szDotNetPath + "\": " + szFault + "}");
}
}

TEST_F(InstallRunTransferTest, TheServersAnswerDecides)
{
    struct
    {
        const char* szFault;
        bool fSucceeded;
        DWORD dwHttpStatus;
        bool fTransient;
    } const rgCases[] = {
        {"{}", true, 200, false},
        {"{\"mode\": \"404\"}", false, 404, false},
        {"{\"mode\": \"500\"}", false, 500, true},
    };
    for (const auto& test : rgCases)
    {
        SetFault(test.szFault);
        CSetupWizard wizard;
        TransferOutcome outcome = Transfer(wizard);
        EXPECT_EQ(test.fSucceeded, SUCCEEDED(outcome.hr)) << test.szFault << std::hex << " 0x" << outcome.hr;
        EXPECT_EQ(test.dwHttpStatus, outcome.dwHttpStatus) << test.szFault;
        EXPECT_FALSE(outcome.fStalled) << test.szFault;
        EXPECT_EQ(test.fTransient, IsTransientDownloadFailure(outcome.hr, outcome.dwHttpStatus, outcome.fStalled))
            << test.szFault;
    }
}

TEST_F(InstallRunTransferTest, ASilentServerEndsTheTransferAsAStall)
{
    g_overrides.dwStallTimeoutMs = 2000;
    for (const char* szFault : {"{\"mode\": \"stall\", \"seconds\": 40}", "{\"mode\": \"reset\"}"})
    {
        SetFault(szFault);
        CSetupWizard wizard;
        TransferOutcome outcome = Transfer(wizard);
        EXPECT_TRUE(FAILED(outcome.hr)) << szFault;
        EXPECT_TRUE(IsTransientDownloadFailure(outcome.hr, outcome.dwHttpStatus, outcome.fStalled)) << szFault;
        // Far less than the server's own stall: the transfer did not hang.
        EXPECT_LT(outcome.ullMs, 20000u) << szFault;
    }
}

TEST_F(InstallRunTransferTest, ACancelEndsAStalledTransfer)
{
    SetFault("{\"mode\": \"stall\", \"seconds\": 40}");
    CSetupWizard wizard;
    std::thread canceller([&wizard] {
        Sleep(1500);
        wizard.m_fCancelled.store(true);
    });
    TransferOutcome outcome = Transfer(wizard);
    canceller.join();
    EXPECT_TRUE(FAILED(outcome.hr));
    EXPECT_FALSE(outcome.fStalled);
    EXPECT_LT(outcome.ullMs, 10000u);
}

TEST_F(InstallRunTransferTest, TimeAtTheCancelQuestionIsNoSilenceOfTheServer)
{
    g_overrides.dwStallTimeoutMs = 2000;
    // The server pauses for less than the limit, the question holds the
    // watchdog for more.
    SetFault("{\"mode\": \"stall\", \"seconds\": 1.5, \"resume\": true}");
    CSetupWizard wizard;
    TransferOutcome outcome = {};
    // The transfer runs on a worker thread, which the question holds.
    std::thread transfer([&wizard, &outcome] { outcome = Transfer(wizard); });
    Sleep(500);
    wizard.HoldWorkers(true);
    Sleep(3000);
    wizard.HoldWorkers(false);
    transfer.join();
    EXPECT_TRUE(SUCCEEDED(outcome.hr)) << std::hex << outcome.hr;
    EXPECT_FALSE(outcome.fStalled);
    EXPECT_GT(outcome.ullMs, 3000u);
}

TEST_F(InstallRunTransferTest, ASilentServerForTheVersionFileDoesNotFreezeDetection)
{
    g_overrides.dwStallTimeoutMs = 2000;
    SetServerFaults("{\"/esd/en/tessal/update.txt\": {\"mode\": \"stall\", \"seconds\": 40}}");
    ULONGLONG ullStart = GetTickCount64();
    EXPECT_FALSE(IsOlderVersionInstalled());
    EXPECT_LT(GetTickCount64() - ullStart, 15000u);
}
