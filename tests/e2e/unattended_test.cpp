#include "e2e/installrun.h"
#include "buildconfig.h"
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace
{
// Every visible top-level window of a process, sampled for the whole run:
// the progress page by its bar, anything else by its title.
class CVisibleWindowWatch
{
public:
    explicit CVisibleWindowWatch(DWORD dwProcessId)
        : m_dwProcessId(dwProcessId), m_thread([this] { Watch(); })
    {
    }
    ~CVisibleWindowWatch() { Stop(); }
    CVisibleWindowWatch(const CVisibleWindowWatch&) = delete;
    CVisibleWindowWatch& operator=(const CVisibleWindowWatch&) = delete;

    std::set<std::wstring> Stop()
    {
        m_fStop.store(true);
        if (m_thread.joinable())
        {
            m_thread.join();
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

private:
    void Watch()
    {
        while (!m_fStop.load())
        {
            FindProcessWindow(m_dwProcessId, [this](HWND hWnd) {
                std::wstring strName = IsControlVisible(hWnd, 104) ? L"progress page" : L"";
                if (strName.empty())
                {
                    WCHAR szTitle[256] = {};
                    GetWindowTextW(hWnd, szTitle, ARRAYSIZE(szTitle));
                    strName = std::wstring(L"window: ") + szTitle + L" / " + GetControlText(hWnd, 1005);
                }
                std::lock_guard<std::mutex> lock(m_mutex);
                m_seen.insert(strName);
                return false;
            });
            Sleep(20);
        }
    }

    DWORD m_dwProcessId;
    std::atomic<bool> m_fStop{false};
    std::mutex m_mutex;
    std::set<std::wstring> m_seen;
    std::thread m_thread;
};

struct UnattendedRun
{
    SetupRunResult result;
    std::set<std::wstring> windows;
};

UnattendedRun RunUnattended(const std::wstring& strCommandLine, const std::function<void(CRunningSetup&)>& fnDuring = {})
{
    SetupRunOptions options;
    options.strCommandLine = strCommandLine;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup setup(options);
    CVisibleWindowWatch watch(setup.GetProcessId());
    if (fnDuring)
    {
        fnDuring(setup);
    }
    UnattendedRun run;
    run.result = setup.Wait();
    run.windows = watch.Stop();
    EXPECT_FALSE(run.result.fTimedOut) << "the unattended run waited for something";
    EXPECT_FALSE(run.result.fCrashed);
    return run;
}

std::string Describe(const std::set<std::wstring>& windows)
{
    std::string strText;
    for (const std::wstring& strWindow : windows)
    {
        strText += std::string(strWindow.begin(), strWindow.end()) + "; ";
    }
    return strText;
}
}

TEST_F(InstallRunTest, QuietRunInstallsEverythingWithoutAWindowAndLogsWhereAsked)
{
    const std::wstring strFolder = GetTempFolder() + L"tessal-quiet";
    const std::wstring strLog = strFolder + L"\\setup.log";
    CreateDirectoryW(strFolder.c_str(), nullptr);
    DeleteFileW(strLog.c_str());
    UnattendedRun run = RunUnattended(L"/quiet /log \"" + strLog + L"\"");
    EXPECT_EQ(0u, run.result.dwExitCode);
    EXPECT_TRUE(run.windows.empty()) << Describe(run.windows);
    EXPECT_TRUE(run.result.boxes.empty());
    const std::string strCalls = ReadStubCalls();
    EXPECT_TRUE(HasCall(strCalls, "vcredist_x86", "/Q")) << strCalls;
    EXPECT_EQ(IsNative64Bit(), HasCall(strCalls, "vcredist_x64", "/Q")) << strCalls;
    EXPECT_TRUE(HasCall(strCalls, "dotNetFx35setup", "/qb /norestart")) << strCalls;
    EXPECT_TRUE(HasCall(strCalls, "DXSETUP.exe", "/silent")) << strCalls;
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
    // The copy reads like the setup log, from its start line to its end.
    std::wstring strCopy = ReadFileUtf16(strLog);
    EXPECT_NE(std::wstring::npos, strCopy.find(L"=== Setup started on ")) << strCopy.c_str();
    EXPECT_NE(std::wstring::npos, strCopy.find(L"Unattended: the licence counts as accepted")) << strCopy.c_str();
    EXPECT_NE(std::wstring::npos, strCopy.find(L"Exit code 0: everything is installed")) << strCopy.c_str();
    EXPECT_NE(std::wstring::npos, strCopy.find(L"=== Setup ended ===")) << strCopy.c_str();
    DeleteFileW(strLog.c_str());
    RemoveDirectoryW(strFolder.c_str());
}

TEST_F(InstallRunTest, QuietRunEndsWithTheCodeOfWhatHappened)
{
    struct
    {
        const char* szCase;
        std::wstring strCommandLine;
        const char* szFaults;
        const wchar_t* szExitVariable;
        DWORD dwExitCode;
        const wchar_t* szLogLine;
    } const rgCases[] = {
        {"a package that cannot be downloaded", L"/quiet",
         "{\"/esd/en/tessal/installfiles/VC9/vcredist_x86.exe\": {\"mode\": \"404\"}}", nullptr, 1603,
         L"Microsoft Visual C++ 2008 Redistributable (x86) could not be downloaded from " TESSAL_SERVER_ORIGIN_W
         L"/esd/en/tessal/installfiles/VC9/vcredist_x86.exe"},
        {"a program that needs a restart", L"-Q -NoRestart", "{}", L"TESSAL_STUB_EXIT_VCREDIST_X86", 3010,
         L"Exit code 3010: installed; a restart is needed and was not made"},
        {"a bad command line", L"/quiet /bogus", "{}", nullptr, 87, L"Exit code 87: bad command line or log path"},
        {"a log that cannot be opened", L"/quiet /log C:\\no\\such\\folder\\x.log", "{}", nullptr, 87,
         L"the log file C:\\no\\such\\folder\\x.log cannot be opened"},
    };
    for (const auto& c : rgCases)
    {
        ResetMachine();
        SetServerFaults(c.szFaults);
        std::unique_ptr<CScopedEnvironment> exitCode(c.szExitVariable ? new CScopedEnvironment(c.szExitVariable, L"3010")
                                                                       : nullptr);
        UnattendedRun run = RunUnattended(c.strCommandLine);
        EXPECT_EQ(c.dwExitCode, run.result.dwExitCode) << c.szCase;
        EXPECT_TRUE(run.windows.empty()) << c.szCase << ": " << Describe(run.windows);
        EXPECT_TRUE(run.result.boxes.empty()) << c.szCase;
        std::wstring strLog = ReadFinalLog();
        EXPECT_NE(std::wstring::npos, strLog.find(c.szLogLine)) << c.szCase << "\n" << strLog.c_str();
        // Nothing after a failed download runs, and no restart is asked for.
        EXPECT_FALSE(c.dwExitCode == 1603 && HasCall(ReadStubCalls(), "dotNetFx35setup", "")) << c.szCase;
        EXPECT_EQ(std::wstring::npos, run.result.GetTrace().find(L"Requesting a restart")) << c.szCase;
    }
}

TEST_F(InstallRunTest, PassiveRunShowsOnlyItsProgressAndCancelStopsAtOnce)
{
    UnattendedRun typical = RunUnattended(L"/passive");
    EXPECT_EQ(0u, typical.result.dwExitCode);
    EXPECT_EQ((std::set<std::wstring>{L"progress page"}), typical.windows) << Describe(typical.windows);
    EXPECT_TRUE(typical.result.boxes.empty());
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));

    ResetMachine();
    SetServerFaults("{\"/esd/en/tessal/installfiles/dotNet/dotNetFx35setup.exe\": {\"mode\": \"throttle\", \"rate\": 2000}}");
    UnattendedRun cancelled = RunUnattended(L"/passive", [](CRunningSetup& setup) {
        HWND hProgress = WaitForPage(setup.GetProcessId(), DriverPageProgress, 30000);
        ASSERT_NE(nullptr, hProgress);
        for (int i = 0; i < 2400 && !HasCall(ReadStubCalls(), "vcredist_x86", ""); ++i)
        {
            Sleep(25);
        }
        Sleep(500);
        ClickButton(hProgress, 107);
    });
    EXPECT_EQ(1602u, cancelled.result.dwExitCode);
    EXPECT_TRUE(cancelled.result.boxes.empty());
    EXPECT_FALSE(HasCall(ReadStubCalls(), "dotNetFx35setup", ""));
    EXPECT_FALSE(IsProductInstalledForTest(c_szTessalCode));
}

TEST_F(InstallRunTest, ASecondQuietRunEndsAtOnceWithAlreadyRunning)
{
    CScopedEnvironment sleep(L"TESSAL_STUB_SLEEP_DOTNETFX35SETUP", L"3000");
    SetupRunOptions options;
    options.strCommandLine = L"/quiet";
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup first(options);
    for (int i = 0; i < 2400 && !HasCall(ReadStubCalls(), "dotNetFx35setup", ""); ++i)
    {
        Sleep(25);
    }
    ASSERT_TRUE(HasCall(ReadStubCalls(), "dotNetFx35setup", "")) << "the first run never got going";
    UnattendedRun second = RunUnattended(L"/quiet");
    EXPECT_EQ(1618u, second.result.dwExitCode);
    EXPECT_TRUE(second.windows.empty()) << Describe(second.windows);
    SetupRunResult result = first.Wait();
    EXPECT_EQ(0u, result.dwExitCode);
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
}
