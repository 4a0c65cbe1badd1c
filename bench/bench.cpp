// Measurements of the setup and its engine, one per command; each prints one
// line "name value unit" for bench/run-bench.py to collect.
//   bench extract <zip> <folder>      ExtractZipArchive, seconds and peak private bytes
//   bench inflate <zip>               every entry read through the unz* reader, seconds
//   bench download <url>              one transfer through the download callback, seconds
//   bench download-bare <url>         the same transfer without a callback: the URL service alone
//   bench startup <exe>               process start to its first visible window, seconds
//   bench cpu-splash <setup>          CPU seconds of the setup from splash to licence page
//   bench cpu-stall <setup> <secs>    CPU seconds of the setup during a stalled download
//   bench full-run <setup>            Accept to finish page in seconds, peak private bytes sampled
//                                     through the run and private bytes on the finish page
#include "engine/download.h"
#include "engine/zip.h"
#include "platform/urlservice.h"
#include "support/wizarddriver.h"
#include "ui/wizard.h"
#include <psapi.h>
#include <tlhelp32.h>
#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

namespace
{
double GetSeconds()
{
    LARGE_INTEGER nNow = {};
    LARGE_INTEGER nFrequency = {};
    QueryPerformanceCounter(&nNow);
    QueryPerformanceFrequency(&nFrequency);
    return static_cast<double>(nNow.QuadPart) / static_cast<double>(nFrequency.QuadPart);
}

double ToSeconds(const FILETIME& ft)
{
    return (static_cast<double>(ft.dwHighDateTime) * 4294967296.0 + ft.dwLowDateTime) / 1e7;
}

// The CPU seconds of another process, as the sum over its threads: Wine
// answers GetProcessTimes for another process with the caller's own times,
// while its thread times are the thread's. A thread that has ended is not
// counted.
double GetCpuSeconds(DWORD dwProcessId)
{
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
    {
        return 0;
    }
    double dSeconds = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL fMore = Thread32First(hSnapshot, &entry); fMore; fMore = Thread32Next(hSnapshot, &entry))
    {
        HANDLE hThread = entry.th32OwnerProcessID == dwProcessId
                             ? OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID)
                             : nullptr;
        FILETIME ftCreate = {}, ftExit = {}, ftKernel = {}, ftUser = {};
        if (hThread && GetThreadTimes(hThread, &ftCreate, &ftExit, &ftKernel, &ftUser))
        {
            dSeconds += ToSeconds(ftKernel) + ToSeconds(ftUser);
        }
        if (hThread)
        {
            CloseHandle(hThread);
        }
    }
    CloseHandle(hSnapshot);
    return dSeconds;
}

size_t GetPeakPrivateBytes(HANDLE hProcess)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    return GetProcessMemoryInfo(hProcess, &counters, sizeof(counters)) ? counters.PeakPagefileUsage : 0;
}

struct WindowSearch
{
    DWORD dwProcessId;
    int nControlId;
    HWND hWnd;
};

BOOL CALLBACK FindVisibleWindow(HWND hWnd, LPARAM lParam)
{
    auto* pSearch = reinterpret_cast<WindowSearch*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == pSearch->dwProcessId && IsWindowVisible(hWnd) &&
        (pSearch->nControlId == 0 || GetDlgItem(hWnd, pSearch->nControlId)))
    {
        pSearch->hWnd = hWnd;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the process (with the control, when given).
HWND WaitForWindow(DWORD dwProcessId, int nControlId, double dTimeout)
{
    double dEnd = GetSeconds() + dTimeout;
    while (GetSeconds() < dEnd)
    {
        WindowSearch search = {dwProcessId, nControlId, nullptr};
        EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
        if (search.hWnd)
        {
            return search.hWnd;
        }
        Sleep(1);
    }
    return nullptr;
}

// A program started for one measurement and ended with it.
class CProcess
{
public:
    explicit CProcess(const std::wstring& strExe)
    {
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        std::wstring strCommand = L"\"" + strExe + L"\"";
        m_fStarted = CreateProcessW(strExe.c_str(), &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &si, &m_info) != FALSE;
    }
    ~CProcess()
    {
        if (m_fStarted)
        {
            if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT)
            {
                TerminateProcess(m_info.hProcess, 1);
                WaitForSingleObject(m_info.hProcess, 10000);
            }
            CloseHandle(m_info.hThread);
            CloseHandle(m_info.hProcess);
        }
    }
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;
    bool IsStarted() const { return m_fStarted; }
    HANDLE Get() const { return m_info.hProcess; }
    DWORD GetId() const { return m_info.dwProcessId; }

private:
    PROCESS_INFORMATION m_info = {};
    bool m_fStarted = false;
};

int Fail(const char* szWhat)
{
    fprintf(stderr, "bench: %s\n", szWhat);
    return 1;
}

int MeasureExtract(LPCWSTR szZip, LPCWSTR szFolder)
{
    CreateDirectoryW(szFolder, nullptr);
    double dStart = GetSeconds();
    DWORD dwResult = ExtractZipArchive(szZip, szFolder);
    double dSeconds = GetSeconds() - dStart;
    if (dwResult != ERROR_SUCCESS)
    {
        return Fail("extraction failed");
    }
    printf("extract_seconds %.4f s\n", dSeconds);
    printf("extract_peak_private %zu bytes\n", GetPeakPrivateBytes(GetCurrentProcess()));
    return 0;
}

int MeasureInflate(LPCWSTR szZip)
{
    char szZipA[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, szZip, -1, szZipA, MAX_PATH, nullptr, nullptr);
    double dStart = GetSeconds();
    unzFile hArchive = unzOpen(szZipA);
    if (!hArchive)
    {
        return Fail("cannot open the archive");
    }
    std::vector<char> rgBuffer(1 << 20);
    unsigned long long cbTotal = 0;
    for (int nResult = UNZ_OK; nResult == UNZ_OK; nResult = unzGoToNextFile(hArchive))
    {
        if (unzOpenCurrentFile(hArchive) != UNZ_OK)
        {
            unzClose(hArchive);
            return Fail("cannot open an entry");
        }
        int cbRead = 0;
        while ((cbRead = unzReadCurrentFile(hArchive, rgBuffer.data(), static_cast<unsigned>(rgBuffer.size()))) > 0)
        {
            cbTotal += static_cast<unsigned>(cbRead);
        }
        unzCloseCurrentFile(hArchive);
    }
    unzClose(hArchive);
    printf("inflate_seconds %.4f s\n", GetSeconds() - dStart);
    printf("inflate_bytes %llu bytes\n", cbTotal);
    return 0;
}

// One transfer into the cache and out again; with a callback when given.
int MeasureTransfer(LPCWSTR szUrl, CDownloadBindStatusCallback* pCallback)
{
    WCHAR szPath[MAX_PATH] = {};
    double dStart = GetSeconds();
    HRESULT hr = pCallback ? DownloadWithWatchdog(szUrl, szPath, pCallback) : DownloadUrlToCacheFile(szUrl, szPath, nullptr);
    double dSeconds = GetSeconds() - dStart;
    if (FAILED(hr))
    {
        return Fail("download failed");
    }
    DropCachedUrl(szUrl);
    DeleteFileW(szPath);
    printf("download_seconds %.4f s\n", dSeconds);
    return 0;
}

int MeasureDownload(LPCWSTR szUrl)
{
    CSetupWizard wizard;
    CDownloadBindStatusCallback* pCallback = new CDownloadBindStatusCallback(&wizard);
    int nResult = MeasureTransfer(szUrl, pCallback);
    pCallback->Release();
    return nResult;
}

int MeasureStartup(LPCWSTR szExe)
{
    double dStart = GetSeconds();
    CProcess process(szExe);
    if (!process.IsStarted() || !WaitForWindow(process.GetId(), 0, 60))
    {
        return Fail("no window appeared");
    }
    printf("startup_seconds %.4f s\n", GetSeconds() - dStart);
    return 0;
}

// The licence page once its country box is filled and its text shown, the
// state in which it waits for the user; null when that does not come.
HWND WaitForFilledLicencePage(DWORD dwProcessId, double dTimeout)
{
    double dEnd = GetSeconds() + dTimeout;
    for (HWND hLicence = WaitForWindow(dwProcessId, IDC_COUNTRY, dTimeout); hLicence && GetSeconds() < dEnd; Sleep(10))
    {
        if (SendDlgItemMessageW(hLicence, IDC_COUNTRY, CB_GETCOUNT, 0, 0) > 0 &&
            !GetControlText(hLicence, IDC_LICENSE_TEXT).empty())
        {
            return hLicence;
        }
    }
    return nullptr;
}

int MeasureSplashCpu(LPCWSTR szSetup)
{
    CProcess process(szSetup);
    if (!process.IsStarted() || !WaitForWindow(process.GetId(), IDC_BACKGROUND, 60))
    {
        return Fail("no splash appeared");
    }
    double dCpuStart = GetCpuSeconds(process.GetId());
    if (!WaitForFilledLicencePage(process.GetId(), 60))
    {
        return Fail("no filled licence page appeared");
    }
    printf("splash_cpu_seconds %.4f s\n", GetCpuSeconds(process.GetId()) - dCpuStart);
    // Idle: what the page holds once it has settled.
    Sleep(500);
    printf("licence_peak_private %zu bytes\n", GetPeakPrivateBytes(process.Get()));
    return 0;
}

int MeasureStallCpu(LPCWSTR szSetup, double dSeconds)
{
    CProcess process(szSetup);
    HWND hLicence = process.IsStarted() ? WaitForWindow(process.GetId(), IDC_COUNTRY, 60) : nullptr;
    if (!hLicence)
    {
        return Fail("no licence page appeared");
    }
    ClickButton(hLicence, IDC_BUTTON_LEFT);
    if (!WaitForWindow(process.GetId(), IDC_PROGRESS, 60))
    {
        return Fail("no progress page appeared");
    }
    Sleep(2000);
    double dCpuStart = GetCpuSeconds(process.GetId());
    Sleep(static_cast<DWORD>(dSeconds * 1000));
    printf("stall_cpu_seconds %.4f s\n", GetCpuSeconds(process.GetId()) - dCpuStart);
    return 0;
}

int MeasureFullRun(LPCWSTR szSetup)
{
    CProcess process(szSetup);
    HWND hLicence = process.IsStarted() ? WaitForWindow(process.GetId(), IDC_COUNTRY, 60) : nullptr;
    if (!hLicence)
    {
        return Fail("no licence page appeared");
    }
    double dStart = GetSeconds();
    ClickButton(hLicence, IDC_BUTTON_LEFT);
    HWND hFinish = nullptr;
    // Wine answers the peak with the current figure, so the peak is sampled
    // all the way through.
    size_t cbPeak = 0;
    for (double dEnd = dStart + 1800; !hFinish && GetSeconds() < dEnd; Sleep(5))
    {
        cbPeak = (std::max)(cbPeak, GetPeakPrivateBytes(process.Get()));
        HWND hWnd = WaitForWindow(process.GetId(), IDC_TITLE, 1);
        hFinish = hWnd && !GetDlgItem(hWnd, IDC_PROGRESS) ? hWnd : nullptr;
    }
    if (!hFinish)
    {
        return Fail("no finish page appeared");
    }
    double dSeconds = GetSeconds() - dStart;
    printf("run_seconds %.4f s\n", dSeconds);
    size_t cbFinish = GetPeakPrivateBytes(process.Get());
    printf("run_peak_private %zu bytes\n", (std::max)(cbPeak, cbFinish));
    printf("run_finish_private %zu bytes\n", cbFinish);
    printf("run_result %ls -\n", GetControlText(hFinish, IDC_TITLE).c_str());
    ClickButton(hFinish, IDC_BUTTON_RIGHT);
    WaitForSingleObject(process.Get(), 30000);
    return 0;
}
}

int wmain(int argc, wchar_t** argv)
{
    std::wstring strCommand = argc > 1 ? argv[1] : L"";
    if (strCommand == L"extract" && argc == 4)
    {
        return MeasureExtract(argv[2], argv[3]);
    }
    if (strCommand == L"inflate" && argc == 3)
    {
        return MeasureInflate(argv[2]);
    }
    if (strCommand == L"download" && argc == 3)
    {
        return MeasureDownload(argv[2]);
    }
    if (strCommand == L"download-bare" && argc == 3)
    {
        return MeasureTransfer(argv[2], nullptr);
    }
    if (strCommand == L"startup" && argc == 3)
    {
        return MeasureStartup(argv[2]);
    }
    if (strCommand == L"cpu-splash" && argc == 3)
    {
        return MeasureSplashCpu(argv[2]);
    }
    if (strCommand == L"cpu-stall" && argc == 4)
    {
        return MeasureStallCpu(argv[2], _wtof(argv[3]));
    }
    if (strCommand == L"full-run" && argc == 3)
    {
        return MeasureFullRun(argv[2]);
    }
    return Fail("usage: bench extract|inflate|download|startup|cpu-splash|cpu-stall|full-run ...");
}
