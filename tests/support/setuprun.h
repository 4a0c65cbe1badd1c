#pragma once
#include "support/boxanswerer.h"
#include <functional>
#include <string>
#include <vector>

// One run of a setup executable in its own process, observed the way a
// release engineer would: its debugger output, its message boxes, its exit
// code and the log it leaves.
struct SetupRunResult
{
    bool fStarted = false;
    bool fTimedOut = false;
    bool fCrashed = false;
    DWORD dwExitCode = 0xFFFFFFFF;
    std::vector<std::wstring> traceLines;
    std::vector<SeenBox> boxes;

    std::wstring GetTrace() const;
    bool HasTraceLine(const std::wstring& strLine) const;
};

struct SetupRunOptions
{
    // A name in the build's bin folder, or a full path.
    std::wstring strExe = L"TessalSetup.exe";
    // The setup's current folder; the test program's when empty.
    std::wstring strWorkingFolder;
    std::wstring strCommandLine;
    bool fTrace = true;
    DWORD dwTimeoutMs = 60000;
    // Answers for boxes whose text contains the key.
    std::vector<std::pair<std::wstring, int>> answers;
};

// Runs the setup as a debuggee, collecting every OutputDebugString line,
// answering every message box, and killing it after the timeout.
SetupRunResult RunSetupProcess(const SetupRunOptions& options);

// A started setup that a test lets run while it does something else.
class CRunningSetup
{
public:
    explicit CRunningSetup(const SetupRunOptions& options);
    ~CRunningSetup();
    CRunningSetup(const CRunningSetup&) = delete;
    CRunningSetup& operator=(const CRunningSetup&) = delete;

    DWORD GetProcessId() const { return m_dwProcessId; }
    // Waits for the end of the run; kills it on timeout.
    SetupRunResult Wait();

private:
    static DWORD WINAPI DebugThread(LPVOID pvThis);
    void RunDebugLoop();

    SetupRunOptions m_options;
    HANDLE m_hThread = nullptr;
    HANDLE m_hStarted = nullptr;
    DWORD m_dwProcessId = 0;
    SetupRunResult m_result;
};

// The first visible top-level window of a process that fnMatch accepts.
HWND FindProcessWindow(DWORD dwProcessId, const std::function<bool(HWND)>& fnMatch);
// The visible top-level window of a process whose title is the setup's.
HWND FindWizardWindow(DWORD dwProcessId);
// Waits until the wizard shows a window that has a control of this id.
HWND WaitForWizardControl(DWORD dwProcessId, int nControlId, DWORD dwTimeoutMs);
