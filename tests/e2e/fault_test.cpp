#include "e2e/installrun.h"
#include <tlhelp32.h>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace
{
// A package the run downloads, as the server and the finish page name it.
struct DownloadedPackage
{
    const char* szPath;
    const wchar_t* szName;
    const char* szProgram;
};

// The packages a run on this platform downloads, in manifest order.
std::vector<DownloadedPackage> ListDownloadedPackages()
{
    std::vector<DownloadedPackage> packages = {
        {"VC9/vcredist_x86.exe", L"Microsoft Visual C++ 2008 Redistributable (x86)", "vcredist_x86"}};
    if (IsNative64Bit())
    {
        packages.push_back({"VC9/vcredist_x64.exe", L"Microsoft Visual C++ 2008 Redistributable (x64)", "vcredist_x64"});
    }
    packages.push_back({"dotNet/dotNetFx35setup.exe", L".NET Framework Runtime 3.5 SP1", "dotNetFx35setup"});
    packages.push_back({"DIRECT3D/D3DXCORE.zip", L"DirectX 10.0 runtime", "DXSETUP"});
    packages.push_back(IsNative64Bit()
                           ? DownloadedPackage{"MSXML/msxml6_x64.msi", L"Microsoft XML 6 Parser (x64)", nullptr}
                           : DownloadedPackage{"MSXML/msxml6.msi", L"Microsoft XML 6 Parser (x86)", nullptr});
    packages.push_back({"TESSAL/TESSAL.zip", L"Brantlow Project Tessal", nullptr});
    return packages;
}

std::string FaultJson(const DownloadedPackage& package, const std::string& strFault)
{
    return "{\"/esd/en/tessal/installfiles/" + std::string(package.szPath) + "\": " + strFault + "}";
}

int CountOccurrences(const std::wstring& strText, const std::wstring& strPart)
{
    int n = 0;
    for (size_t i = strText.find(strPart); i != std::wstring::npos; i = strText.find(strPart, i + 1))
    {
        ++n;
    }
    return n;
}

// Whether one of the stub programs is still running anywhere.
std::wstring FindRunningProgram()
{
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    std::wstring strFound;
    for (BOOL fMore = Process32FirstW(hSnapshot, &entry); fMore && strFound.empty();
         fMore = Process32NextW(hSnapshot, &entry))
    {
        for (LPCWSTR szName : {L"vcredist_x86", L"vcredist_x64", L"dotNetFx35setup", L"DXSETUP", L"TessalSetup"})
        {
            if (_wcsnicmp(entry.szExeFile, szName, wcslen(szName)) == 0)
            {
                strFound = entry.szExeFile;
            }
        }
    }
    CloseHandle(hSnapshot);
    return strFound;
}

// A whole log: one start line first, one end line last.
void ExpectWholeLog(const std::wstring& strLog, const std::string& strWhich)
{
    size_t iFirstEnd = strLog.find(L"\r\n");
    EXPECT_LT(strLog.find(L"\t=== Setup started on "), iFirstEnd) << strWhich << "\n" << strLog.c_str();
    EXPECT_EQ(1, CountOccurrences(strLog, L"=== Setup started on ")) << strWhich << "\n" << strLog.c_str();
    const std::wstring strEnd = L"\t=== Setup ended ===\r\n\r\n";
    EXPECT_TRUE(strLog.size() > strEnd.size() && strLog.compare(strLog.size() - strEnd.size(), strEnd.size(), strEnd) == 0)
        << strWhich << "\n" << strLog.c_str();
    EXPECT_EQ(1, CountOccurrences(strLog, L"=== Setup ended ===")) << strWhich << "\n" << strLog.c_str();
}

// Waits until the progress page names the package as downloading.
bool WaitForDownloadOf(HWND hProgress, const wchar_t* szName)
{
    std::wstring strLine = std::wstring(L"Downloading:  ") + szName;
    for (int i = 0; i < 2400; ++i)
    {
        if (GetControlText(hProgress, 1004).find(strLine) != std::wstring::npos)
        {
            return true;
        }
        Sleep(25);
    }
    return false;
}

// The finish page stays the one window: a second WM_SETUP_DONE would make
// the wizard build its finish page again.
void ExpectOneFinishPage(CRunningSetup& setup, HWND hFinish)
{
    Sleep(1000);
    EXPECT_TRUE(IsWindow(hFinish));
    EXPECT_EQ(hFinish, FindWizardWindow(setup.GetProcessId()));
}

void ExpectNothingRanAfter(const std::vector<DownloadedPackage>& packages, size_t iFailed, const std::string& strCalls,
                           const std::string& strCase)
{
    for (size_t i = iFailed; i < packages.size(); ++i)
    {
        if (packages[i].szProgram)
        {
            EXPECT_FALSE(HasCall(strCalls, packages[i].szProgram, "")) << strCase << "\n" << strCalls;
        }
    }
}

class InstallRunFaultTest : public InstallRunTest
{
protected:
    void RunFailedDownload(const std::vector<DownloadedPackage>& packages, size_t iPackage, const char* szMode);
    void RunStalledThenCancelled(const std::vector<DownloadedPackage>& packages, size_t iPackage);
    void RunResetMidTransfer(const std::vector<DownloadedPackage>& packages, size_t iPackage);
};

void InstallRunFaultTest::RunFailedDownload(const std::vector<DownloadedPackage>& packages, size_t iPackage,
                                            const char* szMode)
{
    const DownloadedPackage& package = packages[iPackage];
    std::string strCase = std::string(szMode) + " on " + package.szPath;
    SetServerFaults(FaultJson(package, std::string("{\"mode\": \"") + szMode + "\"}"));
    int nFoldersBefore = CountGuidFolders();
    std::wstring strDetail;
    SetupRunResult result = RunAndCloseFinishPage(L"TessalSetup.exe", L"Installation failed.", &strDetail);
    EXPECT_NE(std::wstring::npos, strDetail.find(std::wstring(L"\n") + package.szName +
                                                 L" (0x2: Failed downloading component.)\n"))
        << strCase << "\n" << strDetail.c_str();
    ASSERT_EQ(1u, result.boxes.size()) << strCase;
    EXPECT_EQ(L"Failed downloading component.", result.boxes[0].strText) << strCase;
    std::wstring strLog = ReadFinalLog();
    EXPECT_EQ(1, CountOccurrences(strLog, L"\t  Installation Error: Failed downloading component.\n"))
        << strCase << "\n" << strLog.c_str();
    ExpectWholeLog(strLog, strCase);
    // A server error is tried again three times, a missing file never.
    std::string strFile = std::string(package.szPath).substr(std::string(package.szPath).find('/') + 1);
    EXPECT_EQ(std::string(szMode) == "500" ? 3 : 0,
              CountOccurrences(result.GetTrace(), std::wstring(strFile.begin(), strFile.end()) + L" failed ("))
        << strCase;
    ExpectNothingRanAfter(packages, iPackage, ReadStubCalls(), strCase);
    EXPECT_FALSE(IsProductInstalledForTest(c_szTessalCode)) << strCase;
    EXPECT_EQ(nFoldersBefore, CountGuidFolders()) << strCase;
}

void InstallRunFaultTest::RunStalledThenCancelled(const std::vector<DownloadedPackage>& packages, size_t iPackage)
{
    const DownloadedPackage& package = packages[iPackage];
    std::string strCase = std::string("stall then cancel on ") + package.szPath;
    SetServerFaults(FaultJson(package, "{\"mode\": \"stall\", \"seconds\": 90}"));
    int nFoldersBefore = CountGuidFolders();
    CRunningSetup setup(CancelQuestionRun(IDYES));
    HWND hProgress = AcceptLicence(setup);
    ASSERT_NE(nullptr, hProgress) << strCase;
    ASSERT_TRUE(WaitForDownloadOf(hProgress, package.szName)) << strCase << ": the transfer was never seen";
    Sleep(1000);
    ClickButton(hProgress, 107);
    // The stall lasts 90 s and the stall limit is 60 s: a finish page
    // within 30 s means the cancel ended the transfer.
    HWND hFinish = WaitForPage(setup.GetProcessId(), DriverPageFinish, 30000);
    ASSERT_NE(nullptr, hFinish) << strCase << ": the stalled transfer outlived the cancel";
    EXPECT_EQ(L"Installation canceled.", GetControlText(hFinish, 1005)) << strCase;
    ExpectOneFinishPage(setup, hFinish);
    ClickButton(hFinish, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_FALSE(result.fTimedOut) << strCase;
    EXPECT_EQ(0u, result.dwExitCode) << strCase;
    ASSERT_FALSE(result.boxes.empty()) << strCase;
    EXPECT_EQ(L"Do you really want to terminate the installation of Project Tessal?", result.boxes[0].strText);
    for (size_t i = 1; i < result.boxes.size(); ++i)
    {
        EXPECT_EQ(L"Setup was cancelled", result.boxes[i].strText) << strCase;
    }
    ExpectWholeLog(ReadFinalLog(), strCase);
    ExpectNothingRanAfter(packages, iPackage, ReadStubCalls(), strCase);
    EXPECT_FALSE(IsProductInstalledForTest(c_szTessalCode)) << strCase;
    EXPECT_EQ(nFoldersBefore, CountGuidFolders()) << strCase;
    EXPECT_EQ(L"", FindRunningProgram()) << strCase;
}

void InstallRunFaultTest::RunResetMidTransfer(const std::vector<DownloadedPackage>& packages, size_t iPackage)
{
    const DownloadedPackage& package = packages[iPackage];
    std::string strCase = std::string("reset on ") + package.szPath;
    SetServerFaults(FaultJson(package, "{\"mode\": \"reset\", \"times\": 1}"));
    SetupRunResult result = RunAndCloseFinishPage(L"TessalSetup.exe", L"Installation successful.");
    EXPECT_TRUE(result.boxes.empty()) << strCase;
    std::string strFile = std::string(package.szPath).substr(std::string(package.szPath).find('/') + 1);
    EXPECT_EQ(1, CountOccurrences(result.GetTrace(), std::wstring(strFile.begin(), strFile.end()) + L" failed ("))
        << strCase;
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode)) << strCase;
    ExpectWholeLog(ReadFinalLog(), strCase);
}
}

TEST_F(InstallRunFaultTest, EachPackageFailingOnTheServerEndsTheRunAsSpecified)
{
    std::vector<DownloadedPackage> packages = ListDownloadedPackages();
    size_t iLast = packages.size() - 1;
    if (IsStressRun())
    {
        for (size_t i = 0; i < packages.size(); ++i)
        {
            ResetMachine();
            RunFailedDownload(packages, i, "404");
            ResetMachine();
            RunFailedDownload(packages, i, "500");
            ResetMachine();
            RunStalledThenCancelled(packages, i);
            ResetMachine();
            RunResetMidTransfer(packages, i);
        }
        return;
    }
    // One fault on each of a few packages, first and last among them.
    RunStalledThenCancelled(packages, iLast - 1);
    if (IsMainConfiguration())
    {
        ResetMachine();
        RunFailedDownload(packages, 0, "404");
        ResetMachine();
        RunFailedDownload(packages, iLast - 2, "500");
        ResetMachine();
        RunStalledThenCancelled(packages, 1);
        ResetMachine();
        RunFailedDownload(packages, iLast, "404");
    }
}

TEST_F(InstallRunFaultTest, CancelAtAnyMomentReachesTheFinishPageOnce)
{
    int cRuns = IsStressRun() ? 30 : (IsMainConfiguration() ? 3 : 1);
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> delay(0, 3000);
    int cCancelled = 0;
    for (int nRun = 0; nRun < cRuns; ++nRun)
    {
        ResetMachine();
        int nDelayMs = delay(random);
        std::string strCase = "run " + std::to_string(nRun) + ", cancel after " + std::to_string(nDelayMs) + " ms";
        int nFoldersBefore = CountGuidFolders();
        CRunningSetup setup(CancelQuestionRun(IDYES));
        HWND hProgress = AcceptLicence(setup);
        ASSERT_NE(nullptr, hProgress) << strCase;
        Sleep(static_cast<DWORD>(nDelayMs));
        // A run that is already over is closed as its finish page offers.
        HWND hFinish = WaitForPage(setup.GetProcessId(), DriverPageFinish, 0);
        if (!hFinish)
        {
            ClickButton(hProgress, 107);
            hFinish = WaitForPage(setup.GetProcessId(), DriverPageFinish, c_dwRunTimeoutMs);
        }
        SetupRunResult result;
        if (hFinish)
        {
            std::wstring strTitle = GetControlText(hFinish, 1005);
            // The question may come after the install thread's last step.
            EXPECT_TRUE(strTitle == L"Installation canceled." || strTitle == L"Installation successful.")
                << strCase << ": " << strTitle.c_str();
            cCancelled += strTitle == L"Installation canceled." ? 1 : 0;
            ExpectOneFinishPage(setup, hFinish);
            ClickButton(hFinish, 107);
            result = setup.Wait();
        }
        else
        {
            // The click reached the page as it turned into the finish page,
            // which closes the wizard: the run itself must be complete.
            result = setup.Wait();
            EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode)) << strCase;
        }
        EXPECT_FALSE(result.fTimedOut) << strCase;
        EXPECT_EQ(0u, result.dwExitCode) << strCase;
        EXPECT_EQ(nFoldersBefore, CountGuidFolders()) << strCase;
        EXPECT_EQ(L"", FindRunningProgram()) << strCase;
        ExpectWholeLog(ReadFinalLog(), strCase);
    }
    std::printf("%d of %d runs ended cancelled\n", cCancelled, cRuns);
}

TEST_F(InstallRunFaultTest, EndingAtAnyMomentLeavesNoWorkerThreadBehind)
{
    int cRuns = IsStressRun() ? 30 : 3;
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> delay(0, 2500);
    for (int nRun = 0; nRun < cRuns; ++nRun)
    {
        ResetMachine();
        // Decline; cancel with the download thread's box left open while
        // the finish page is closed; or finish.
        const int nEnding = nRun % 3;
        const int nDelayMs = delay(random);
        std::string strCase = "run " + std::to_string(nRun) + ", ending " + std::to_string(nEnding) + " after " +
                              std::to_string(nDelayMs) + " ms";
        SetupRunOptions options = CancelQuestionRun(IDYES);
        options.answers.push_back({L"Setup was cancelled", 0});
        CRunningSetup setup(options);
        HWND hLicence = WaitForPage(setup.GetProcessId(), DriverPageLicense, 30000);
        ASSERT_NE(nullptr, hLicence) << strCase;
        if (nEnding == 0)
        {
            Sleep(static_cast<DWORD>(nDelayMs));
            ClickButton(hLicence, 107);
        }
        else
        {
            ClickButton(hLicence, 108);
            HWND hProgress = WaitForPage(setup.GetProcessId(), DriverPageProgress, 30000);
            ASSERT_NE(nullptr, hProgress) << strCase;
            Sleep(static_cast<DWORD>(nDelayMs));
            if (nEnding == 1 && !WaitForPage(setup.GetProcessId(), DriverPageFinish, 0))
            {
                ClickButton(hProgress, 107);
            }
            HWND hFinish = WaitForPage(setup.GetProcessId(), DriverPageFinish, c_dwRunTimeoutMs);
            ASSERT_NE(nullptr, hFinish) << strCase;
            ClickButton(hFinish, 107);
        }
        SetupRunResult result = setup.Wait();
        EXPECT_FALSE(result.fTimedOut) << strCase;
        EXPECT_FALSE(result.fCrashed) << strCase;
        EXPECT_EQ(0u, result.dwExitCode) << strCase;
        EXPECT_EQ(std::wstring::npos, result.GetTrace().find(L"still busy")) << strCase;
        EXPECT_EQ(L"", FindRunningProgram()) << strCase;
        ExpectWholeLog(ReadFinalLog(), strCase);
    }
}

TEST_F(InstallRunFaultTest, ASecondSetupDuringTheInstallEndsSilentlyAndBothLogsAreWhole)
{
    CScopedEnvironment sleep(L"TESSAL_STUB_SLEEP_DOTNETFX35SETUP", L"3000");
    SetupRunOptions options;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup first(options);
    HWND hProgress = AcceptLicence(first);
    ASSERT_NE(nullptr, hProgress);
    for (int i = 0; i < 2400 && !HasCall(ReadStubCalls(), "dotNetFx35setup", ""); ++i)
    {
        Sleep(25);
    }
    ASSERT_TRUE(HasCall(ReadStubCalls(), "dotNetFx35setup", "")) << "the .NET program never started";

    SetupRunOptions secondOptions;
    secondOptions.dwTimeoutMs = 60000;
    SetupRunResult second = RunSetupProcess(secondOptions);
    EXPECT_FALSE(second.fTimedOut);
    EXPECT_EQ(0u, second.dwExitCode);
    EXPECT_TRUE(second.boxes.empty());
    EXPECT_EQ(std::wstring::npos, second.GetTrace().find(L"[Resource]")) << second.GetTrace().c_str();
    // The second setup's log takes the final name first, whole.
    std::wstring strSecondLog = ReadFinalLog();
    ExpectWholeLog(strSecondLog, "second setup");
    EXPECT_EQ(std::wstring::npos, strSecondLog.find(L"Installation Error")) << strSecondLog.c_str();

    HWND hFinish = WaitForPage(first.GetProcessId(), DriverPageFinish, c_dwRunTimeoutMs);
    ASSERT_NE(nullptr, hFinish);
    EXPECT_EQ(L"Installation successful.", GetControlText(hFinish, 1005));
    ClickButton(hFinish, 107);
    SetupRunResult result = first.Wait();
    EXPECT_EQ(0u, result.dwExitCode);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
    // The first setup's log then replaces it, just as whole.
    std::wstring strFirstLog = ReadFinalLog();
    ExpectWholeLog(strFirstLog, "first setup");
    EXPECT_NE(strSecondLog, strFirstLog);
}
