#include "support/setuprun.h"
#include "support/testpaths.h"
#include "support/tracecapture.h"
#include <memory>

namespace
{
constexpr DWORD c_dwBreakpoint = 0x80000003;
constexpr DWORD c_dwWow64Breakpoint = 0x4000001F;

std::wstring ReadDebugString(HANDLE hProcess, const OUTPUT_DEBUG_STRING_INFO& info)
{
    size_t cch = info.nDebugStringLength;
    if (cch == 0)
    {
        return std::wstring();
    }
    if (info.fUnicode)
    {
        std::wstring strText(cch, L'\0');
        SIZE_T cbRead = 0;
        ReadProcessMemory(hProcess, info.lpDebugStringData, &strText[0], cch * sizeof(WCHAR), &cbRead);
        strText.resize(cbRead / sizeof(WCHAR));
        return std::wstring(strText.c_str());
    }
    std::string strAnsi(cch, '\0');
    SIZE_T cbRead = 0;
    ReadProcessMemory(hProcess, info.lpDebugStringData, &strAnsi[0], cch, &cbRead);
    strAnsi.resize(cbRead);
    strAnsi = std::string(strAnsi.c_str());
    std::wstring strText(strAnsi.size(), L'\0');
    int cchWide = MultiByteToWideChar(CP_ACP, 0, strAnsi.data(), static_cast<int>(strAnsi.size()), &strText[0],
                                      static_cast<int>(strText.size()));
    strText.resize(cchWide > 0 ? static_cast<size_t>(cchWide) : 0);
    return strText;
}
}

std::wstring SetupRunResult::GetTrace() const
{
    std::wstring strText;
    for (const std::wstring& strLine : traceLines)
    {
        strText += strLine;
    }
    return strText;
}

bool SetupRunResult::HasTraceLine(const std::wstring& strLine) const
{
    for (const std::wstring& strSeen : traceLines)
    {
        if (strSeen == strLine)
        {
            return true;
        }
    }
    return false;
}

CRunningSetup::CRunningSetup(const SetupRunOptions& options) : m_options(options)
{
    m_hStarted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hThread = CreateThread(nullptr, 0, DebugThread, this, 0, nullptr);
    WaitForSingleObject(m_hStarted, 30000);
}

CRunningSetup::~CRunningSetup()
{
    Wait();
    CloseHandle(m_hStarted);
}

DWORD WINAPI CRunningSetup::DebugThread(LPVOID pvThis)
{
    static_cast<CRunningSetup*>(pvThis)->RunDebugLoop();
    return 0;
}

void CRunningSetup::RunDebugLoop()
{
    std::unique_ptr<CScopedEnvironment> trace(
        new CScopedEnvironment(L"_MSI_WEB_BOOTSTRAP_DEBUG", m_options.fTrace ? L"1" : nullptr));
    bool fFullPath = m_options.strExe.find(L'\\') != std::wstring::npos;
    std::wstring strExe = fFullPath ? m_options.strExe : GetBinPath(m_options.strExe.c_str());
    std::wstring strCommand = L"\"" + strExe + L"\"";
    if (!m_options.strCommandLine.empty())
    {
        strCommand += L" " + m_options.strCommandLine;
    }
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    LPCWSTR szWorkingFolder = m_options.strWorkingFolder.empty() ? nullptr : m_options.strWorkingFolder.c_str();
    BOOL fCreated = CreateProcessW(strExe.c_str(), &strCommand[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                                   nullptr, szWorkingFolder, &si, &pi);
    trace.reset();
    if (!fCreated)
    {
        SetEvent(m_hStarted);
        return;
    }
    m_result.fStarted = true;
    m_dwProcessId = pi.dwProcessId;
    CBoxAnswerer answerer(pi.dwProcessId);
    for (const auto& answer : m_options.answers)
    {
        answerer.SetAnswer(answer.first, answer.second);
    }
    SetEvent(m_hStarted);

    DWORD dwStart = GetTickCount();
    bool fDone = false;
    while (!fDone)
    {
        // The deadline holds even while events keep coming.
        if (!m_result.fTimedOut && GetTickCount() - dwStart > m_options.dwTimeoutMs)
        {
            m_result.fTimedOut = true;
            TerminateProcess(pi.hProcess, 0xDEAD);
        }
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, 100))
        {
            continue;
        }
        DWORD dwContinue = DBG_CONTINUE;
        switch (event.dwDebugEventCode)
        {
        case OUTPUT_DEBUG_STRING_EVENT:
            m_result.traceLines.push_back(ReadDebugString(pi.hProcess, event.u.DebugString));
            break;
        case EXCEPTION_DEBUG_EVENT:
        {
            DWORD dwCode = event.u.Exception.ExceptionRecord.ExceptionCode;
            if (dwCode != c_dwBreakpoint && dwCode != c_dwWow64Breakpoint)
            {
                dwContinue = DBG_EXCEPTION_NOT_HANDLED;
                if (!event.u.Exception.dwFirstChance)
                {
                    // Nothing handled it: the setup crashed.
                    m_result.fCrashed = true;
                    TerminateProcess(pi.hProcess, dwCode);
                }
            }
            break;
        }
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile)
            {
                CloseHandle(event.u.CreateProcessInfo.hFile);
            }
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile)
            {
                CloseHandle(event.u.LoadDll.hFile);
            }
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            m_result.dwExitCode = event.u.ExitProcess.dwExitCode;
            fDone = true;
            break;
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, dwContinue);
    }
    // Boxes of a process that is gone cannot come any more.
    m_result.boxes = answerer.GetBoxes();
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

SetupRunResult CRunningSetup::Wait()
{
    if (m_hThread)
    {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    return m_result;
}

SetupRunResult RunSetupProcess(const SetupRunOptions& options)
{
    CRunningSetup run(options);
    return run.Wait();
}

namespace
{
struct WindowSearch
{
    DWORD dwProcessId;
    const std::function<bool(HWND)>* pfnMatch;
    HWND hWnd;
};

BOOL CALLBACK MatchWindow(HWND hWnd, LPARAM lParam)
{
    auto* pSearch = reinterpret_cast<WindowSearch*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == pSearch->dwProcessId && IsWindowVisible(hWnd) && (*pSearch->pfnMatch)(hWnd))
    {
        pSearch->hWnd = hWnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindWizardWithControl(DWORD dwProcessId, int nControlId)
{
    return FindProcessWindow(dwProcessId, [nControlId](HWND hWnd) {
        WCHAR szTitle[256] = {};
        GetWindowTextW(hWnd, szTitle, ARRAYSIZE(szTitle));
        return wcscmp(szTitle, L"Brantlow Project Tessal Setup") == 0 && (nControlId == 0 || GetDlgItem(hWnd, nControlId));
    });
}
}

HWND FindProcessWindow(DWORD dwProcessId, const std::function<bool(HWND)>& fnMatch)
{
    WindowSearch search{dwProcessId, &fnMatch, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.hWnd;
}

HWND FindWizardWindow(DWORD dwProcessId)
{
    return FindWizardWithControl(dwProcessId, 0);
}

HWND WaitForWizardControl(DWORD dwProcessId, int nControlId, DWORD dwTimeoutMs)
{
    DWORD dwStart = GetTickCount();
    do
    {
        HWND hWnd = FindWizardWithControl(dwProcessId, nControlId);
        if (hWnd)
        {
            return hWnd;
        }
        Sleep(50);
    } while (GetTickCount() - dwStart < dwTimeoutMs);
    return nullptr;
}
