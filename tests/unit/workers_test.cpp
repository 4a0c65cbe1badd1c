#include "engine/steps.h"
#include "engine/workers.h"
#include "ui/wizard.h"
#include <gtest/gtest.h>
#include <atomic>
#include <map>
#include <string>
#include <vector>

namespace
{
// What a scripted step returns for a package, and how long it takes.
struct StepScript
{
    DWORD dwDownload = 0;
    DWORD dwInstall = 0;
    DWORD dwStage = 0;
    DWORD dwDelayMs = 0;
    // Spent in the install alone, deaf to a cancel.
    DWORD dwInstallDelayMs = 0;
};

std::map<std::wstring, StepScript> g_script;
std::atomic<int> g_nDownloads{0};
std::atomic<int> g_nInstalls{0};

DWORD ScriptedDownload(CPackageInfo* pPackage, HINSTANCE, LPWSTR* pszLocalFile, CSetupWizard* pWizard)
{
    ++g_nDownloads;
    pPackage->nStatus.store(StatusDownloading);
    const StepScript& script = g_script[pPackage->szKey];
    for (DWORD dwWaited = 0; dwWaited < script.dwDelayMs; dwWaited += 10)
    {
        if (pWizard->IsCancelled())
        {
            // The real step shows its cancellation box here first.
            Sleep(1000);
            return ERROR_INSTALL_USEREXIT;
        }
        Sleep(10);
    }
    if (script.dwDownload == 0)
    {
        *pszLocalFile = nullptr;
    }
    return script.dwDownload;
}

DWORD ScriptedInstall(CPackageInfo* pPackage, CSetupWizard*, HINSTANCE)
{
    ++g_nInstalls;
    Sleep(g_script[pPackage->szKey].dwDelayMs + g_script[pPackage->szKey].dwInstallDelayMs);
    return g_script[pPackage->szKey].dwInstall;
}

std::atomic<int> g_nStages{0};

DWORD ScriptedStage(CPackageInfo* pPackage, HINSTANCE, CSetupWizard*, CWorkFolder*)
{
    ++g_nStages;
    return g_script[pPackage->szKey].dwStage;
}

DWORD ScriptedRemove(CPackageInfo* pPackage, CSetupWizard*)
{
    ++g_nInstalls;
    return g_script[pPackage->szKey].dwInstall;
}

std::atomic<int> g_nDoneMessages{0};
std::atomic<WPARAM> g_wDoneResult{0};

LRESULT CALLBACK RecordingProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
    if (uMessage == WM_SETUP_DONE)
    {
        ++g_nDoneMessages;
        g_wDoneResult.store(wParam);
    }
    return DefWindowProcW(hWnd, uMessage, wParam, lParam);
}

struct Walk
{
    std::vector<int> states;
    int nDone;
    WPARAM wResult;
    int nDownloads;
    int nInstalls;
    int nStages;
    std::vector<DWORD> errors;
};

// Both threads over packages with the given actions and starting states,
// started and wound up as the wizard does.
class CWalkRun
{
public:
    explicit CWalkRun(const std::vector<std::pair<int, int>>& packages) : m_nodes(packages.size())
    {
        static ATOM s_atom = [] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = RecordingProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"TessalWorkerTest";
            return RegisterClassW(&wc);
        }();
        EXPECT_NE(0, s_atom);
        g_workerSteps = {ScriptedDownload, ScriptedInstall, ScriptedRemove, ScriptedStage};
        g_nDoneMessages = 0;
        g_nStages = 0;
        g_nDownloads = 0;
        g_nInstalls = 0;
        for (size_t i = 0; i < packages.size(); ++i)
        {
            m_keys.push_back(L"P" + std::to_wstring(i + 1));
        }
        for (size_t i = 0; i < packages.size(); ++i)
        {
            m_nodes[i].szKey = &m_keys[i][0];
            m_nodes[i].nAction = packages[i].first;
            m_nodes[i].nStatus.store(packages[i].second);
            m_nodes[i].pNext = i + 1 < m_nodes.size() ? &m_nodes[i + 1] : nullptr;
        }
        m_hWnd = CreateWindowW(L"TessalWorkerTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        wizard.m_hWnd.store(m_hWnd);
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
                  CreateWorkerThreads(GetModuleHandleW(nullptr), m_nodes.empty() ? nullptr : &m_nodes[0], &wizard,
                                      &m_rghThreads[0], &m_rghThreads[1]));
        wizard.m_hInstallThread = m_rghThreads[0];
        wizard.m_hDownloadThread = m_rghThreads[1];
        wizard.ResumeWorkers();
    }
    ~CWalkRun()
    {
        Join();
        CloseHandle(m_rghThreads[0]);
        CloseHandle(m_rghThreads[1]);
        DestroyWindow(m_hWnd);
        ResetWorkerSteps();
    }
    CWalkRun(const CWalkRun&) = delete;
    CWalkRun& operator=(const CWalkRun&) = delete;

    static void PumpMessages()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            DispatchMessageW(&msg);
        }
    }

    // Both threads end their walks; nothing comes after the end, and
    // nothing may outlive the nodes the threads point at.
    void Join()
    {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, m_rghThreads, TRUE, 30000));
        PumpMessages();
    }

    Walk Collect()
    {
        Join();
        Walk walk{{}, g_nDoneMessages.load(), g_wDoneResult.load(), g_nDownloads.load(), g_nInstalls.load(),
                  g_nStages.load(), {}};
        for (CPackageInfo& node : m_nodes)
        {
            walk.states.push_back(node.nStatus.load());
            walk.errors.push_back(node.dwError.load());
        }
        return walk;
    }

    CSetupWizard wizard;

private:
    std::vector<std::wstring> m_keys;
    std::vector<CPackageInfo> m_nodes;
    HWND m_hWnd = nullptr;
    HANDLE m_rghThreads[2] = {};
};

// Runs both threads until the install thread reports that it is done.
Walk RunWalk(const std::vector<std::pair<int, int>>& packages, DWORD dwCancelAfterMs = 0)
{
    CWalkRun run(packages);
    DWORD dwStart = GetTickCount();
    while (g_nDoneMessages.load() == 0 && GetTickCount() - dwStart < 30000)
    {
        if (dwCancelAfterMs && GetTickCount() - dwStart > dwCancelAfterMs)
        {
            run.wizard.m_fCancelled.store(true);
        }
        CWalkRun::PumpMessages();
        Sleep(5);
    }
    EXPECT_EQ(1, g_nDoneMessages.load()) << "the install thread never reported that it was done";
    return run.Collect();
}

const std::pair<int, int> c_pending = {ActionInstall, StatusPending};
using States = std::vector<int>;
}

TEST(WorkerThreadTest, EmptyListEndsAtOnce)
{
    g_script.clear();
    Walk walk = RunWalk({});
    EXPECT_EQ(1, walk.nDone);
    EXPECT_EQ(0u, walk.wResult);
}

TEST(WorkerThreadTest, PreviouslyInstalledPackagesAreLeftAlone)
{
    g_script.clear();
    Walk walk = RunWalk({{ActionInstall, StatusPreviouslyInstalled}, {ActionInstall, StatusPreviouslyInstalled}});
    EXPECT_EQ((States{StatusPreviouslyInstalled, StatusPreviouslyInstalled}), walk.states);
    EXPECT_EQ(0, walk.nDownloads);
    EXPECT_EQ(0, walk.nInstalls);
    EXPECT_EQ(0u, walk.wResult);
}

TEST(WorkerThreadTest, EveryPackageIsDownloadedAndInstalledInOrder)
{
    g_script.clear();
    Walk walk = RunWalk({{ActionRemove, StatusDownloaded}, c_pending, c_pending, {ActionInstall, StatusPreviouslyInstalled}});
    EXPECT_EQ((States{StatusInstalled, StatusInstalled, StatusInstalled, StatusPreviouslyInstalled}), walk.states);
    EXPECT_EQ(2, walk.nDownloads);
    EXPECT_EQ(3, walk.nInstalls);
    // Only downloaded files are copied to a working folder; a removal has none.
    EXPECT_EQ(2, walk.nStages);
    EXPECT_EQ(0u, walk.wResult);
}

TEST(WorkerThreadTest, AFileThatCannotBeStagedIsAFailedDownloadAndNothingRunsAfterIt)
{
    g_script.clear();
    g_script[L"P2"].dwStage = ERROR_DISK_FULL;
    Walk walk = RunWalk({c_pending, c_pending, c_pending});
    EXPECT_EQ(StatusInstalled, walk.states[0]);
    EXPECT_EQ(StatusDownloadFailed, walk.states[1]);
    EXPECT_NE(StatusInstalled, walk.states[2]);
    EXPECT_EQ(1, walk.nInstalls);
    EXPECT_EQ(static_cast<WPARAM>(ERROR_DISK_FULL), walk.wResult);
}

TEST(WorkerThreadTest, ThirdOfFiveDownloadsFails)
{
    g_script.clear();
    g_script[L"P3"].dwDownload = 2;
    // Slow enough that the first two are installed before it fails.
    g_script[L"P3"].dwDelayMs = 1500;
    Walk walk = RunWalk({c_pending, c_pending, c_pending, c_pending, c_pending});
    EXPECT_EQ(StatusInstalled, walk.states[0]);
    EXPECT_EQ(StatusInstalled, walk.states[1]);
    EXPECT_TRUE(walk.states[2] == StatusDownloadFailed || walk.states[2] == StatusInstallFailed) << walk.states[2];
    EXPECT_EQ(StatusPending, walk.states[3]);
    EXPECT_EQ(StatusPending, walk.states[4]);
    EXPECT_EQ(3, walk.nDownloads);
    EXPECT_EQ(0u, walk.wResult);
}

TEST(WorkerThreadTest, FailedInstallStopsTheDownloadOfTheNextPackage)
{
    g_script.clear();
    g_script[L"P1"].dwInstall = 1603;
    g_script[L"P1"].dwDelayMs = 300;
    g_script[L"P2"].dwDelayMs = 3000;
    Walk walk = RunWalk({c_pending, c_pending, c_pending});
    EXPECT_EQ((States{StatusInstallFailed, StatusDownloadFailed, StatusPending}), walk.states);
    EXPECT_EQ(1603u, walk.wResult);
    // The finish page names the installer's own code, whatever its kind.
    EXPECT_EQ(1603u, walk.errors[0]);
    EXPECT_EQ(2, walk.nDownloads);
}

TEST(WorkerThreadTest, CancelWhileTheInstallThreadWaits)
{
    g_script.clear();
    g_script[L"P1"].dwDelayMs = 20000;
    Walk walk = RunWalk({c_pending, c_pending}, 300);
    // The install thread gave the awaited package up; the aborted transfer
    // then marked it as a failed download.
    EXPECT_EQ((States{StatusDownloadFailed, StatusPending}), walk.states);
    EXPECT_EQ(0u, walk.wResult);
    EXPECT_EQ(0, walk.nInstalls);
}

TEST(WorkerThreadTest, StoppingTheWorkersWaitsForThemWithinTheBound)
{
    struct
    {
        const char* szCase;
        DWORD dwDownloadDelayMs;
        DWORD dwInstallDelayMs;
        DWORD dwBoundMs;
        bool fStopped;
    } const rgCases[] = {
        {"a transfer ends at the stop", 20000, 0, 10000, true},
        {"an installer that keeps running outlasts the bound", 0, 2500, 300, false},
    };
    for (const auto& test : rgCases)
    {
        g_script.clear();
        g_script[L"P1"].dwDelayMs = test.dwDownloadDelayMs;
        g_script[L"P1"].dwInstallDelayMs = test.dwInstallDelayMs;
        CWalkRun run({c_pending, c_pending});
        for (int i = 0; i < 400 && (test.dwInstallDelayMs ? g_nInstalls.load() : g_nDownloads.load()) == 0; ++i)
        {
            Sleep(10);
        }
        ULONGLONG ullStart = GetTickCount64();
        EXPECT_EQ(test.fStopped, run.wizard.StopWorkers(test.dwBoundMs)) << test.szCase;
        EXPECT_LT(GetTickCount64() - ullStart, test.dwBoundMs + 1000ull) << test.szCase;
    }
}
