#include "buildconfig.h"
#include "support/setuprun.h"
#include "support/testpaths.h"
#include <gtest/gtest.h>
#include <string>

namespace
{
const wchar_t c_szTitle[] = L"Brantlow Project Tessal Setup";
const wchar_t c_szUsage[] =
    L"Usage:\n   /? :  Show this dialog.\n   /a :  Perform an administrative install.\n   /a <full path to existing "
    L"administrative install> :  Patch an existing administrative install.\n   /v <full path to file> :  Verify "
    L"signature on file.";

std::wstring FinalLog()
{
    return GetTempFolder() + L"ProjectTessalSetup.log";
}

struct RunWithLog
{
    SetupRunResult result;
    std::wstring strLog;
};

template <typename F>
RunWithLog RunAndReadLog(const SetupRunOptions& options, F whileRunning)
{
    DeleteFileW(FinalLog().c_str());
    RunWithLog run;
    {
        CRunningSetup setup(options);
        whileRunning(setup.GetProcessId());
        run.result = setup.Wait();
    }
    run.strLog = ReadFileUtf16(FinalLog());
    return run;
}

RunWithLog RunToEnd(const SetupRunOptions& options)
{
    return RunAndReadLog(options, [](DWORD) {});
}

int CountOf(const std::wstring& strText, const std::wstring& strPart)
{
    int n = 0;
    for (size_t i = strText.find(strPart); i != std::wstring::npos; i = strText.find(strPart, i + 1))
    {
        ++n;
    }
    return n;
}

void ExpectCleanEnd(const RunWithLog& run, const std::wstring& strName)
{
    EXPECT_TRUE(run.result.fStarted) << strName;
    EXPECT_FALSE(run.result.fTimedOut) << strName;
    EXPECT_FALSE(run.result.fCrashed) << strName;
    EXPECT_EQ(0u, run.result.dwExitCode) << strName;
    EXPECT_EQ(1, CountOf(run.strLog, L"\t=== Setup started on ")) << strName;
    EXPECT_EQ(1, CountOf(run.strLog, L"\t=== Setup ended ===\r\n\r\n")) << strName;
    EXPECT_EQ(run.strLog.size() - 4, run.strLog.rfind(L"\r\n\r\n")) << strName;
}

// Declines the licence page once it is shown, which ends the run.
void DeclineLicence(DWORD dwProcessId)
{
    HWND hWnd = WaitForWizardControl(dwProcessId, 1093, 30000);
    ASSERT_NE(nullptr, hWnd) << "the licence page never appeared";
    PostMessageW(hWnd, WM_COMMAND, 107, 0);
}
}

TEST(RunSequenceTest, UnrecognisedCommandLinesShowTheUsageBox)
{
    for (const wchar_t* szCommandLine : {L"/?", L"/x", L"/va", L"-", L"\"/a\"", L"/v", L"/v a b", L"/RSAR", L"/log",
                                         L"/norestart /bogus", L"/log C:\\no\\such\\folder\\x.log"})
    {
        SetupRunOptions options;
        options.strCommandLine = szCommandLine;
        RunWithLog run = RunToEnd(options);
        ExpectCleanEnd(run, szCommandLine);
        ASSERT_EQ(1u, run.result.boxes.size()) << szCommandLine;
        EXPECT_EQ(c_szUsage, run.result.boxes[0].strText.substr(0, wcslen(c_szUsage))) << szCommandLine;
        EXPECT_EQ(c_szTitle, run.result.boxes[0].strCaption) << szCommandLine;
        EXPECT_EQ(nullptr, run.result.boxes[0].hWndOwner) << szCommandLine;
        EXPECT_EQ(0, CountOf(run.strLog, L"Installation Error")) << szCommandLine;
        EXPECT_TRUE(run.result.HasTraceLine(L"[Info] we are running from --> " + GetBinPath(L"TessalSetup.exe") + L"\n"))
            << szCommandLine << "\n" << run.result.GetTrace().c_str();
        // The run ended before reading any of the manifest.
        EXPECT_EQ(std::wstring::npos, run.result.GetTrace().find(L"[Resource]")) << szCommandLine;
    }
}

TEST(RunSequenceTest, ManifestFaultsEndTheRunWithOneBox)
{
    struct
    {
        const wchar_t* szExe;
        const wchar_t* szCommandLine;
        const wchar_t* szBox;
        bool fLogged;
        const wchar_t* szTrace;
    } const rgCases[] = {
        {L"TessalSetup-no-tessaldb.exe", L"", L"The required resource 'TESSALDB' is missing.", true,
         L"[Resource] lpName = TESSALDB NOT FOUND\n"},
        {L"TessalSetup-no-baseurl.exe", L"", L"The required resource 'BASEURL' is missing.", true,
         L"[Resource] lpName = BASEURL NOT FOUND\n"},
        {L"TessalSetup-op-minpatch.exe", L"",
         L"The setup was authored with an incorrect operation resource 'MINPATCH' and cannot continue.", true,
         L"[Error] Operation MINPATCH is not valid for a package\n"},
        {L"TessalSetup-minmsi-149.exe", L"",
         L"'149' is an invalid Msi version. Be sure that it is numeric and is at least '150'.", true,
         L"[Resource] lpName = MINIMUM_MSI, lpBuf = 149\n"},
        {L"TessalSetup.exe", L"/a C:\\admin", c_szUsage, false, L"[Resource] lpName = OPERATION NOT FOUND\n"},
    };
    for (const auto& c : rgCases)
    {
        SetupRunOptions options;
        options.strExe = c.szExe;
        options.strCommandLine = c.szCommandLine;
        RunWithLog run = RunToEnd(options);
        ExpectCleanEnd(run, c.szExe);
        ASSERT_EQ(1u, run.result.boxes.size()) << c.szExe;
        const SeenBox& box = run.result.boxes[0];
        EXPECT_EQ(std::wstring(c.szBox), box.strText.substr(0, wcslen(c.szBox))) << c.szExe;
        // Boxes after the splash belong to the wizard, except the package
        // list's own, which have no owner and the default caption.
        bool fListBox = wcsstr(c.szExe, L"minmsi") != nullptr;
        EXPECT_EQ(fListBox ? L"Error" : c_szTitle, box.strCaption) << c.szExe;
        EXPECT_EQ(fListBox, box.hWndOwner == nullptr) << c.szExe;
        EXPECT_EQ(c.fLogged ? 1 : 0, CountOf(run.strLog, L"\t  Installation Error: " + std::wstring(c.szBox) + L"\n"))
            << c.szExe << "\n" << run.strLog.c_str();
        EXPECT_TRUE(run.result.HasTraceLine(c.szTrace)) << c.szExe << "\n" << run.result.GetTrace().c_str();
    }
}

TEST(RunSequenceTest, AcceptedRunsReachTheLicencePage)
{
    struct
    {
        const wchar_t* szExe;
        const wchar_t* szCommandLine;
        const wchar_t* szTrace;
    } const rgCases[] = {
        {L"TessalSetup.exe", L"", L"[Resource] lpName = OPERATION NOT FOUND\n"},
        {L"TessalSetup.exe", L" \t ", L"[Resource] lpName = TESSALDB, lpBuf = BPTS.msi\n"},
        {L"TessalSetup.exe", L"-A", L"[Resource] lpName = BASEURL, lpBuf = " TESSAL_SERVER_ORIGIN_W L"/esd/en/tessal/installfiles\n"},
        {L"TessalSetup-op-install.exe", L"", L"[Resource] lpName = OPERATION, lpBuf = install\n"},
        {L"TessalSetup-op-installupd.exe", L"", L"[Resource] lpName = OPERATION, lpBuf = InstallUpd\n"},
    };
    for (const auto& c : rgCases)
    {
        SetupRunOptions options;
        options.strExe = c.szExe;
        options.strCommandLine = c.szCommandLine;
        RunWithLog run = RunAndReadLog(options, DeclineLicence);
        ExpectCleanEnd(run, c.szExe);
        EXPECT_TRUE(run.result.boxes.empty()) << c.szExe;
        // Without the download server the version check logs that it could
        // not read the online version; nothing else may be an error.
        EXPECT_EQ(CountOf(run.strLog, L"\t  Installation Error: Failed to get online version\n"),
                  CountOf(run.strLog, L"Installation Error"))
            << c.szExe << "\n" << run.strLog.c_str();
        EXPECT_TRUE(run.result.HasTraceLine(c.szTrace)) << c.szExe << "\n" << run.result.GetTrace().c_str();
    }
}

TEST(RunSequenceTest, SecondInstanceEndsSilentlyAfterItsSplash)
{
    SetupRunOptions options;
    DeleteFileW(FinalLog().c_str());
    CRunningSetup first(options);
    HWND hLicence = WaitForWizardControl(first.GetProcessId(), 1093, 30000);
    ASSERT_NE(nullptr, hLicence) << "the first setup never showed its licence page";

    SetupRunResult second = RunSetupProcess(options);
    EXPECT_FALSE(second.fTimedOut);
    EXPECT_EQ(0u, second.dwExitCode);
    EXPECT_TRUE(second.boxes.empty());
    // It stopped at the mutex: it traced its start and read nothing.
    EXPECT_NE(std::wstring::npos, second.GetTrace().find(L"[Info] we are running from --> "));
    EXPECT_EQ(std::wstring::npos, second.GetTrace().find(L"[Resource]"));
    // The first setup is still there and still ends normally.
    EXPECT_TRUE(IsWindow(hLicence));
    PostMessageW(hLicence, WM_COMMAND, 107, 0);
    SetupRunResult firstResult = first.Wait();
    EXPECT_FALSE(firstResult.fTimedOut);
    EXPECT_EQ(0u, firstResult.dwExitCode);
}

TEST(RunSequenceTest, TracingStaysOffWithoutTheSwitch)
{
    SetupRunOptions options;
    options.fTrace = false;
    options.strCommandLine = L"/?";
    RunWithLog run = RunToEnd(options);
    ExpectCleanEnd(run, L"no trace");
    EXPECT_TRUE(run.result.traceLines.empty()) << run.result.GetTrace().c_str();
}
