#include "engine/zip.h"
#include "e2e/installrun.h"
#include "support/accesslist.h"
#include "support/screenshot.h"
#include <stdio.h>
#include <string.h>

TEST_F(InstallRunTest, EachPackageRunsFromItsOwnCopyInAFolderClosedToOtherUsers)
{
    // The first program takes a while, so its folder can be looked at.
    CScopedEnvironment sleep(L"TESSAL_STUB_SLEEP_VCREDIST_X86", L"4000");
    int nFoldersBefore = CountGuidFolders();
    SetupRunOptions options;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup setup(options);
    ASSERT_NE(nullptr, AcceptLicence(setup));
    std::wstring strProgram;
    for (int i = 0; i < 1200 && strProgram.empty(); ++i)
    {
        Sleep(50);
        strProgram = FindStubProgramPath(ReadStubCalls(), "vcredist_x86");
    }
    ASSERT_FALSE(strProgram.empty()) << "the first program never ran";
    std::wstring strFolder = strProgram.substr(0, strProgram.rfind(L'\\') + 1);
    // %TEMP%\{GUID}\ and the cache's own file name.
    EXPECT_EQ(0u, strFolder.find(GetTempFolder())) << strProgram.c_str();
    EXPECT_EQ(GetTempFolder().size() + 39, strFolder.size()) << strProgram.c_str();
    EXPECT_NE(std::wstring::npos, strProgram.find(L"\\vcredist_x86")) << strProgram.c_str();
    std::vector<AceEntry> entries = ReadFileAccessEntries(strFolder);
    EXPECT_FALSE(entries.empty()) << strFolder.c_str();
    EXPECT_TRUE(GrantsAnything(entries, L"S-1-5-18"));
    for (LPCWSTR szOther : {L"S-1-1-0", L"S-1-5-32-545", L"S-1-5-11"})
    {
        EXPECT_FALSE(GrantsAnything(entries, szOther)) << szOther;
        EXPECT_FALSE(GrantsAnything(ReadFileAccessEntries(strProgram), szOther)) << szOther;
    }
    SetupRunResult result =
        CloseFinishPage(setup, WaitForPage(setup.GetProcessId(), DriverPageFinish, c_dwRunTimeoutMs), L"Installation successful.");
    // Every program ran from a copy; every copy went with its folder.
    std::string strCalls = ReadStubCalls();
    for (const char* szName : {"vcredist_x86", "dotNetFx35setup"})
    {
        std::wstring strPath = FindStubProgramPath(strCalls, szName);
        EXPECT_EQ(0u, strPath.find(GetTempFolder() + L"{")) << szName << " ran from " << strPath.c_str();
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(strFolder.c_str()));
    EXPECT_EQ(nFoldersBefore, CountGuidFolders());
}

TEST_F(InstallRunTest, ProgramsThatFindNothingToDoCountAsInstalled)
{
    // 1605: the product is unknown to the program; 1614: it was uninstalled.
    for (const wchar_t* szCode : {L"1605", L"1614"})
    {
        ResetMachine();
        CScopedEnvironment exitCode(L"TESSAL_STUB_EXIT_VCREDIST_X86", szCode);
        SetupRunResult result = RunAndCloseFinishPage(L"TessalSetup.exe", L"Installation successful.");
        EXPECT_TRUE(result.boxes.empty()) << szCode;
        EXPECT_TRUE(HasCall(ReadStubCalls(), "vcredist_x86", "/Q")) << szCode;
        EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode)) << szCode;
    }
}

TEST_F(InstallRunTest, AZipEntryThatClimbsOutFailsThePackageAndWritesNothingOutside)
{
    SetServerFaults("{\"/esd/en/tessal/installfiles/DIRECT3D/D3DXCORE.zip\": "
                    "{\"mode\": \"file\", \"path\": \"fixtures/D3DXCORE-escape.zip\"}}");
    std::wstring strEscaped = GetTempFolder() + L"tessal-escaped.txt";
    DeleteFileW(strEscaped.c_str());
    int nFoldersBefore = CountGuidFolders();
    SetupRunOptions options;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup setup(options);
    HWND hFinish = RunToFinish(setup);
    ASSERT_NE(nullptr, hFinish);
    EXPECT_EQ(L"Installation failed.", GetControlText(hFinish, 1005));
    std::wstring strDetail = GetControlText(hFinish, 1004);
    // Every failed package keeps its code for the page.
    EXPECT_NE(std::wstring::npos, strDetail.find(L"\nDirectX 10.0 runtime (0x643: Internal error)\n")) << strDetail.c_str();
    ClickButton(hFinish, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_EQ(0u, result.dwExitCode);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(strEscaped.c_str()));
    EXPECT_FALSE(HasCall(ReadStubCalls(), "DXSETUP", "")) << ReadStubCalls();
    EXPECT_FALSE(IsProductInstalledForTest(c_szTessalCode));
    EXPECT_EQ(nFoldersBefore, CountGuidFolders());
}

TEST_F(InstallRunTest, DigestsCatchAChangedFileAndFetchItAgain)
{
    // The server hands out a wrong .NET file once; the fresh copy matches.
    SetServerFaults("{\"/esd/en/tessal/installfiles/dotNet/dotNetFx35setup.exe\": "
                    "{\"mode\": \"file\", \"path\": \"fixtures/BPTS-old.msi\", \"times\": 1}}");
    SetupRunResult result = RunAndCloseFinishPage(L"TessalSetup-hashed.exe", L"Installation successful.");
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_TRUE(result.HasTraceLine(L"[Error] dotNet/dotNetFx35setup.exe does not match its SHA-256; downloading it again\n"))
        << result.GetTrace().c_str();
    EXPECT_TRUE(HasCall(ReadStubCalls(), "dotNetFx35setup", "/qb /norestart")) << ReadStubCalls();
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
}

TEST_F(InstallRunTest, ALicenceArchiveThatDoesNotMatchItsDigestIsNotShown)
{
    SetServerFaults("{\"/esd/en/tessal/eula.zip\": {\"mode\": \"file\", \"path\": \"fixtures/BPTS-old.msi\"}}");
    SetupRunResult result = RunAndCloseFinishPage(L"TessalSetup-hashed.exe", L"Installation successful.");
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(L"Download Eula failed", result.boxes[0].strText);
    std::wstring strLog = ReadFinalLog();
    EXPECT_NE(std::wstring::npos, strLog.find(L"  Installation Error: the licence archive does not match its SHA-256: "
                                              L"expected "))
        << strLog.c_str();
}

TEST_F(InstallRunTest, AFileThatNeverMatchesItsDigestIsNeverRun)
{
    std::wstring strDetail;
    SetupRunResult result = RunAndCloseFinishPage(L"TessalSetup-bad-hash.exe", L"Installation failed.", &strDetail);
    EXPECT_NE(std::wstring::npos, strDetail.find(L"\n.NET Framework Runtime 3.5 SP1 (0x2: Failed downloading component.)\n"))
        << strDetail.c_str();
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(L"Failed downloading component.", result.boxes[0].strText);
    EXPECT_FALSE(HasCall(ReadStubCalls(), "dotNetFx35setup", "")) << ReadStubCalls();
    std::wstring strLog = ReadFinalLog();
    EXPECT_NE(std::wstring::npos,
              strLog.find(L"  Installation Error: .NET Framework Runtime 3.5 SP1 (dotNet/dotNetFx35setup.exe) does not "
                          L"match its SHA-256: expected " + std::wstring(64, L'0') + L", found "))
        << strLog.c_str();
}

TEST_F(InstallRunTest, FailedInstallEndsOnTheFailurePage)
{
    // 1641 means the program started a restart itself: a failure here.
    CScopedEnvironment exitCode(L"TESSAL_STUB_EXIT_DOTNETFX35SETUP", L"1641");
    SetupRunOptions options;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup setup(options);
    HWND hFinish = RunToFinish(setup);
    ASSERT_NE(nullptr, hFinish);
    EXPECT_EQ(L"Installation failed.", GetControlText(hFinish, 1005));
    EXPECT_EQ(L"Please visit http://www.brantlow.example/support for help", GetControlText(hFinish, 1008));
    EXPECT_EQ(L"Project Tessal failed to install:\n\n.NET Framework Runtime 3.5 SP1 (0x669: Internal error)\n",
              GetControlText(hFinish, 1004));
    EXPECT_EQ(L"Close", GetControlText(hFinish, 107));
    EXPECT_FALSE(IsControlVisible(hFinish, 108));
    ClickButton(hFinish, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_EQ(0u, result.dwExitCode);
    EXPECT_TRUE(result.boxes.empty());
    // The packages before it were installed; nothing after it ran.
    std::string strCalls = ReadStubCalls();
    EXPECT_TRUE(HasCall(strCalls, "vcredist_x86", "/Q")) << strCalls;
    EXPECT_FALSE(HasCall(strCalls, "DXSETUP", "/silent")) << strCalls;
    EXPECT_FALSE(IsProductInstalledForTest(c_szTessalCode));
}

TEST_F(InstallRunTest, AFailedInstallStopsTheDownloadUnderWay)
{
    // The DirectX archive is still on its way when the .NET program fails.
    CScopedEnvironment exitCode(L"TESSAL_STUB_EXIT_DOTNETFX35SETUP", L"1641");
    SetServerFaults("{\"/esd/en/tessal/installfiles/DIRECT3D/D3DXCORE.zip\": {\"mode\": \"throttle\", \"rate\": 1000}}");
    SetupRunOptions options;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup setup(options);
    HWND hFinish = RunToFinish(setup);
    ASSERT_NE(nullptr, hFinish);
    EXPECT_EQ(L"Installation failed.", GetControlText(hFinish, 1005));
    // The finish page comes first; the transfer ends at its next piece of
    // data, shows its box, and the page lists it.
    const std::wstring strExpected = L"Project Tessal failed to install:\n\n"
                                     L".NET Framework Runtime 3.5 SP1 (0x669: Internal error)\n"
                                     L"DirectX 10.0 runtime (0x642: Internal error)\n";
    for (int i = 0; i < 200 && GetControlText(hFinish, 1004) != strExpected; ++i)
    {
        Sleep(100);
    }
    EXPECT_EQ(strExpected, GetControlText(hFinish, 1004));
    ClickButton(hFinish, 107);
    SetupRunResult result = setup.Wait();
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(L"Setup was cancelled", result.boxes[0].strText);
    EXPECT_FALSE(HasCall(ReadStubCalls(), "DXSETUP", "")) << ReadStubCalls();
}

TEST_F(InstallRunTest, AConnectionResetMidTransferIsTriedAgain)
{
    // A reset hangs the transfer until the 60-second stall limit: the suite
    // runs it once, --stress everywhere.
    if (!IsStressRun() && !IsMainConfiguration())
    {
        GTEST_SKIP() << "the reset run takes a minute; it runs here with --stress";
    }
    SetServerFaults("{\"/esd/en/tessal/installfiles/dotNet/dotNetFx35setup.exe\": {\"mode\": \"reset\", \"times\": 1}}");
    SetupRunResult result = RunAndCloseFinishPage(L"TessalSetup.exe", L"Installation successful.");
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_NE(std::wstring::npos, result.GetTrace().find(L"dotNetFx35setup.exe failed (")) << result.GetTrace().c_str();
    EXPECT_TRUE(HasCall(ReadStubCalls(), "dotNetFx35setup", "/qb /norestart")) << ReadStubCalls();
}

TEST_F(InstallRunTest, RestartRequestOffersTheRestartButtons)
{
    CScopedEnvironment exitCode(L"TESSAL_STUB_EXIT_VCREDIST_X86", L"3010");
    SetupRunOptions options;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup setup(options);
    HWND hFinish = RunToFinish(setup);
    ASSERT_NE(nullptr, hFinish);
    EXPECT_EQ(L"Installation successful.", GetControlText(hFinish, 1005));
    EXPECT_EQ(0u, GetControlText(hFinish, 1004).find(L"You need to restart your machine"));
    EXPECT_EQ(L"Restart Now", GetControlText(hFinish, 107));
    EXPECT_EQ(L"Restart Later", GetControlText(hFinish, 108));
    EXPECT_TRUE(IsControlVisible(hFinish, 108));
    ClickButton(hFinish, 108);
    SetupRunResult result = setup.Wait();
    EXPECT_EQ(0u, result.dwExitCode);
    // Restart Later neither restarts nor starts the product.
    EXPECT_FALSE(HasCall(ReadStubCalls(), "bpts", ""));
}

TEST_F(InstallRunTest, AServerErrorFailsThePackageAsAFailedDownload)
{
    for (const char* szMode : {"404", "500"})
    {
        ResetMachine();
        SetServerFaults(std::string("{\"/esd/en/tessal/installfiles/dotNet/dotNetFx35setup.exe\": {\"mode\": \"") +
                        szMode + "\"}}");
        SetupRunOptions options;
        options.dwTimeoutMs = c_dwRunTimeoutMs;
        CRunningSetup setup(options);
        HWND hFinish = RunToFinish(setup);
        ASSERT_NE(nullptr, hFinish) << szMode;
        EXPECT_EQ(L"Installation failed.", GetControlText(hFinish, 1005)) << szMode;
        EXPECT_EQ(L"Please check your internet connection and try again", GetControlText(hFinish, 1008)) << szMode;
        // The install thread, stopped by the failure, may or may not have
        // run the package before it.
        std::wstring strDetail = GetControlText(hFinish, 1004);
        EXPECT_EQ(0u, strDetail.find(L"Project Tessal failed to install:\n\n")) << strDetail.c_str();
        EXPECT_NE(std::wstring::npos, strDetail.find(L"\n.NET Framework Runtime 3.5 SP1 (0x2: Failed downloading component.)\n"))
            << strDetail.c_str();
        ClickButton(hFinish, 107);
        SetupRunResult result = setup.Wait();
        EXPECT_EQ(0u, result.dwExitCode);
        ASSERT_EQ(1u, result.boxes.size()) << szMode;
        EXPECT_EQ(L"Failed downloading component.", result.boxes[0].strText);
        // A server fault is tried again three times, a missing file never.
        std::wstring strTrace = result.GetTrace();
        int cRetries = 0;
        for (size_t i = strTrace.find(L"dotNetFx35setup.exe failed ("); i != std::wstring::npos;
             i = strTrace.find(L"dotNetFx35setup.exe failed (", i + 1))
        {
            ++cRetries;
        }
        EXPECT_EQ(strcmp(szMode, "500") == 0 ? 3 : 0, cRetries) << strTrace.c_str();
        // The error page was never run as the package, and nothing after it ran.
        std::string strCalls = ReadStubCalls();
        EXPECT_FALSE(HasCall(strCalls, "dotNetFx35setup", "")) << strCalls;
        EXPECT_FALSE(HasCall(strCalls, "DXSETUP", "")) << strCalls;
        EXPECT_FALSE(IsProductInstalledForTest(c_szTessalCode)) << szMode;
    }
}

TEST_F(InstallRunTest, RestartNowRequestsTheRestartAfterTheWizardHasClosed)
{
    CScopedEnvironment exitCode(L"TESSAL_STUB_EXIT_VCREDIST_X86", L"3010");
    SetupRunOptions options;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup setup(options);
    HWND hFinish = RunToFinish(setup);
    ASSERT_NE(nullptr, hFinish);
    ASSERT_EQ(L"Restart Now", GetControlText(hFinish, 107));
    ClickButton(hFinish, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_EQ(0u, result.dwExitCode);
    // Wine accepts the request and carries on; the trace shows it was made,
    // as the last thing the run did.
    ASSERT_FALSE(result.traceLines.empty());
    EXPECT_EQ(L"[Info] Requesting a restart of the machine\n", result.traceLines.back());
}

TEST_F(InstallRunTest, RestartedRunInstallsWithoutWaitingForTheUser)
{
    SetupRunOptions options;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    options.strCommandLine = L"/rsar";
    CRunningSetup setup(options);
    // Nobody accepts the licence: the run moves on by itself.
    SetupRunResult result =
        CloseFinishPage(setup, WaitForPage(setup.GetProcessId(), DriverPageFinish, c_dwRunTimeoutMs), L"Installation successful.");
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
    EXPECT_FALSE(HasCall(ReadStubCalls(), "bpts", ""));
}

std::wstring ReadInstalledVersion()
{
    WCHAR szVersion[64] = {};
    DWORD cbVersion = sizeof(szVersion) - sizeof(WCHAR);
    RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brantlow Project Tessal",
                 L"DisplayVersion", RRF_RT_REG_SZ, nullptr, szVersion, &cbVersion);
    return szVersion;
}

TEST_F(InstallRunTest, AnOlderProductIsRemovedBeforeTheNewOneInstalls)
{
    if (sizeof(void*) != 4)
    {
        GTEST_SKIP() << "the product registers its version for 32-bit programs; the shipped setup is the 32-bit one";
    }
    ASSERT_EQ(0u, InstallProductFile(GetServerRoot() + L"fixtures\\BPTS-old.msi"));
    ASSERT_EQ(L"1.0.0.0", ReadInstalledVersion());
    SetupRunOptions options;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup setup(options);
    HWND hFinish = RunToFinish(setup);
    ASSERT_NE(nullptr, hFinish);
    EXPECT_EQ(L"Installation successful.", GetControlText(hFinish, 1005));
    ClickButton(hFinish, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_EQ(0u, result.dwExitCode);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(L"2.0.0.0", ReadInstalledVersion());
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
}

TEST_F(InstallRunTest, CancelDuringADownloadEndsOnTheCancelledPage)
{
    SetServerFaults("{\"/esd/en/tessal/installfiles/VC9/vcredist_x86.exe\": {\"mode\": \"stall\", \"seconds\": 60}}");
    CRunningSetup setup(CancelQuestionRun(IDYES));
    HWND hProgress = AcceptLicence(setup);
    ASSERT_NE(nullptr, hProgress);
    Sleep(1500);
    EXPECT_EQ(L"Installation in progress...", GetControlText(hProgress, 1005));
    EXPECT_NE(std::wstring::npos, GetControlText(hProgress, 1004).find(L"Downloading:  Microsoft Visual C++ 2008"))
        << GetControlText(hProgress, 1004).c_str();
    EXPECT_FALSE(IsControlVisible(hProgress, 108));
    ClickButton(hProgress, 107);
    HWND hFinish = WaitForPage(setup.GetProcessId(), DriverPageFinish, 120000);
    ASSERT_NE(nullptr, hFinish);
    EXPECT_EQ(L"Installation canceled.", GetControlText(hFinish, 1005));
    EXPECT_EQ(L"Click Finish to exit this installation program.", GetControlText(hFinish, 1004));
    EXPECT_EQ(L"Finish", GetControlText(hFinish, 107));
    EXPECT_FALSE(IsControlVisible(hFinish, 108));
    ClickButton(hFinish, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_EQ(0u, result.dwExitCode);
    EXPECT_TRUE(ReadStubCalls().empty()) << ReadStubCalls();
}

TEST_F(InstallRunTest, CancelDuringTheProductsInstallEndsOnTheCancelledPage)
{
    CRunningSetup setup(CancelQuestionRun(IDYES));
    HWND hProgress = AcceptLicence(setup);
    ASSERT_NE(nullptr, hProgress);
    bool fInstalling = false;
    for (int i = 0; i < 2400 && !fInstalling; ++i)
    {
        fInstalling = GetControlText(hProgress, 1004).find(L"Installing:  Brantlow Project Tessal") != std::wstring::npos;
        if (!fInstalling)
        {
            Sleep(25);
        }
    }
    ASSERT_TRUE(fInstalling) << "the product's install was never seen";
    // The workers are held at their next test from this click on; the
    // installer's handler answers IDCANCEL once the question says Yes.
    ClickButton(hProgress, 107);
    SetupRunResult result =
        CloseFinishPage(setup, WaitForPage(setup.GetProcessId(), DriverPageFinish, c_dwRunTimeoutMs), L"Installation canceled.");
    ASSERT_FALSE(result.boxes.empty());
    EXPECT_EQ(L"Do you really want to terminate the installation of Project Tessal?", result.boxes[0].strText);
    // Wine's installer ignores the cancel and completes; what it returned is
    // in the trace, and nothing was installed after it.
    std::wstring strTrace = result.GetTrace();
    size_t iLastCall = strTrace.rfind(L"[Info] Calling MsiInstallProduct");
    ASSERT_NE(std::wstring::npos, iLastCall) << strTrace.c_str();
    EXPECT_NE(std::wstring::npos, strTrace.find(L"BPTS.msi", iLastCall)) << strTrace.c_str();
    EXPECT_NE(std::wstring::npos, strTrace.find(L"[Info] MsiInstallProduct returned ", iLastCall)) << strTrace.c_str();
}

TEST_F(InstallRunTest, CancelThenNoLetsTheInstallationGoOn)
{
    // The first transfer is slow enough to ask the question during it.
    SetServerFaults("{\"/esd/en/tessal/installfiles/VC9/vcredist_x86.exe\": {\"mode\": \"throttle\", \"rate\": 20000}}");
    CRunningSetup setup(CancelQuestionRun(IDNO));
    HWND hProgress = AcceptLicence(setup);
    ASSERT_NE(nullptr, hProgress);
    Sleep(500);
    SaveScreenshot(L"progress");
    ClickButton(hProgress, 107);
    HWND hFinish = WaitForPage(setup.GetProcessId(), DriverPageFinish, c_dwRunTimeoutMs);
    ASSERT_NE(nullptr, hFinish);
    EXPECT_EQ(L"Installation successful.", GetControlText(hFinish, 1005));
    SaveScreenshot(L"finish-success");
    ClickButton(hFinish, 107);
    SetupRunResult result = setup.Wait();
    EXPECT_EQ(0u, result.dwExitCode);
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(L"Do you really want to terminate the installation of Project Tessal?", result.boxes[0].strText);
    EXPECT_EQ(L"Cancel Installation", result.boxes[0].strCaption);
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
}

namespace
{
// Polls until the condition holds; false when the time ran out.
template <typename F>
bool WaitUntil(DWORD dwTimeoutMs, F fnCondition)
{
    for (ULONGLONG ullEnd = GetTickCount64() + dwTimeoutMs; GetTickCount64() < ullEnd; Sleep(50))
    {
        if (fnCondition())
        {
            return true;
        }
    }
    return fnCondition();
}

// One line per page for the demo's reader: the page, its title, its state.
void ReportDemoPage(const char* szPage, HWND hPage, LPCWSTR szState)
{
    std::wstring strTitle = GetControlText(hPage, 1005);
    printf("page %s: \"%ls\" (%ls)\n", szPage, strTitle.c_str(), szState);
    fflush(stdout);
}
}

TEST_F(InstallRunTest, TypicalRunInstallsEveryPackageAndLaunchesTheProduct)
{
    SetupRunOptions options;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    int nFoldersBefore = CountGuidFolders();
    CRunningSetup setup(options);
    HWND hSplash = WaitForWizardControl(setup.GetProcessId(), 1003, 30000);
    if (hSplash && !GetDlgItem(hSplash, 1093))
    {
        SaveScreenshot(L"typical-1-splash");
    }
    HWND hLicence = WaitForPage(setup.GetProcessId(), DriverPageLicense, 30000);
    ASSERT_NE(nullptr, hLicence);
    // The pictures show each page once it is ready: the licence with its
    // countries and text, the progress page with a package under way.
    bool fLicenceReady = WaitUntil(10000, [hLicence] {
        return SendDlgItemMessageW(hLicence, 1093, CB_GETCOUNT, 0, 0) > 0 && !GetControlText(hLicence, 1020).empty();
    });
    EXPECT_TRUE(fLicenceReady);
    ReportDemoPage("licence", hLicence, fLicenceReady ? L"countries and text shown" : L"not filled");
    SaveScreenshot(L"typical-2-licence");
    ClickButton(hLicence, 108);
    HWND hProgress = WaitForPage(setup.GetProcessId(), DriverPageProgress, 30000);
    if (hProgress && WaitUntil(30000, [hProgress] {
            std::wstring strLines = GetControlText(hProgress, 1004);
            return strLines.find(L"Downloading: ") != std::wstring::npos ||
                   strLines.find(L"Installing: ") != std::wstring::npos ||
                   strLines.find(L"Completed: ") != std::wstring::npos;
        }))
    {
        ReportDemoPage("progress", hProgress, L"a package under way");
        SaveScreenshot(L"typical-3-progress");
    }
    HWND hFinish = WaitForPage(setup.GetProcessId(), DriverPageFinish, c_dwRunTimeoutMs);
    ASSERT_NE(nullptr, hFinish);
    ReportDemoPage("finish", hFinish, L"done");
    SaveScreenshot(L"typical-4-finish");
    EXPECT_EQ(L"Installation successful.", GetControlText(hFinish, 1005));
    EXPECT_EQ(L"Brantlow Project Tessal is installed and ready to use.", GetControlText(hFinish, 1008));
    EXPECT_EQ(L"Click Launch Now to start the program.", GetControlText(hFinish, 1004));
    EXPECT_EQ(L"Close", GetControlText(hFinish, 107));
    EXPECT_EQ(L"Launch Now", GetControlText(hFinish, 108));
    EXPECT_TRUE(IsControlVisible(hFinish, 108));
    ClickButton(hFinish, 108);
    SetupRunResult result = setup.Wait();
    EXPECT_FALSE(result.fTimedOut);
    EXPECT_EQ(0u, result.dwExitCode);
    EXPECT_TRUE(result.boxes.empty());

    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
    EXPECT_TRUE(IsProductInstalledForTest(IsNative64Bit() ? c_szMsxml64Code : c_szMsxml32Code));
    EXPECT_FALSE(IsProductInstalledForTest(IsNative64Bit() ? c_szMsxml32Code : c_szMsxml64Code));
    EXPECT_EQ(nFoldersBefore, CountGuidFolders());

    // The launched product gets a moment to start and record itself.
    std::string strCalls;
    for (int i = 0; i < 100 && strCalls.find("bpts.exe|") == std::string::npos; ++i)
    {
        Sleep(100);
        strCalls = ReadStubCalls();
    }
    EXPECT_TRUE(HasCall(strCalls, "vcredist_x86", "/Q")) << strCalls;
    EXPECT_EQ(IsNative64Bit(), HasCall(strCalls, "vcredist_x64", "/Q")) << strCalls;
    EXPECT_TRUE(HasCall(strCalls, "dotNetFx35setup", "/qb /norestart")) << strCalls;
    EXPECT_TRUE(HasCall(strCalls, "DXSETUP.exe", "/silent")) << strCalls;
    EXPECT_TRUE(HasCall(strCalls, "bpts.exe", "")) << strCalls;
    // Manifest order: each runtime before the next.
    EXPECT_LT(strCalls.find("vcredist_x86"), strCalls.find("dotNetFx35setup"));
    EXPECT_LT(strCalls.find("dotNetFx35setup"), strCalls.find("DXSETUP.exe"));
    EXPECT_TRUE(result.HasTraceLine(L"[Resource] lpName = TESSAL_INSTALLZIP, lpBuf = BPTS.msi\n"));
}

TEST_F(InstallRunTest, AnInstallThatEndsUnderTheCancelQuestionIsReportedAsCompleted)
{
    CScopedEnvironment sleep(L"TESSAL_STUB_SLEEP_DXSETUP", L"3000");
    // The question stays open until the test answers it.
    SetupRunOptions options = CancelQuestionRun(0);
    options.strExe = L"TessalSetup-last-program.exe";
    CRunningSetup setup(options);
    HWND hProgress = AcceptLicence(setup);
    ASSERT_NE(nullptr, hProgress);
    for (int i = 0; i < 2400 && !HasCall(ReadStubCalls(), "DXSETUP", "/silent"); ++i)
    {
        Sleep(25);
    }
    ASSERT_TRUE(HasCall(ReadStubCalls(), "DXSETUP", "/silent")) << "the last program never started";
    ClickButton(hProgress, 107);
    HWND hQuestion = nullptr;
    for (int i = 0; i < 400 && !hQuestion; ++i)
    {
        Sleep(25);
        hQuestion = FindMessageBox(setup.GetProcessId(), L"Do you really want to terminate");
    }
    ASSERT_NE(nullptr, hQuestion);
    // The last program ends and the run with it while the question is open:
    // no finish page beneath the question.
    Sleep(5000);
    EXPECT_EQ(nullptr, WaitForPage(setup.GetProcessId(), DriverPageFinish, 0));
    PostMessageW(hQuestion, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    HWND hFinish = WaitForPage(setup.GetProcessId(), DriverPageFinish, 30000);
    SetupRunResult result = CloseFinishPage(setup, hFinish, L"Installation successful.");
    EXPECT_FALSE(result.fCrashed);
}

TEST_F(InstallRunTest, ATemporaryFolderNamedInOtherScriptsInstallsEveryArchive)
{
    // Cyrillic and CJK, which the Western ANSI code page cannot hold.
    const std::wstring strTemp = GetTempFolder() + L"\u041f\u0440\u043e\u0444\u0438\u043b\u044c-\u7528\u6237";
    CreateDirectoryW(strTemp.c_str(), nullptr);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(strTemp.c_str()));
    SetupRunResult result;
    {
        CScopedEnvironment temp(L"TEMP", strTemp.c_str());
        CScopedEnvironment tmp(L"TMP", strTemp.c_str());
        result = RunAndCloseFinishPage(L"TessalSetup.exe", L"Installation successful.");
    }
    EXPECT_TRUE(result.boxes.empty()) << (result.boxes.empty() ? "" : std::string(result.boxes[0].strText.begin(),
                                                                                  result.boxes[0].strText.end()));
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
    // The setup's own temporary files went there too.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((strTemp + L"\\ProjectTessalSetup.log").c_str()));
    DeleteFolderTree(strTemp.c_str());
}
