#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Reads and drives the wizard of another process the way a user would see
// and use it: texts, buttons, the progress bar, the page shown.
enum DriverPage
{
    DriverPageLicense,
    DriverPageProgress,
    DriverPageFinish,
};

std::wstring GetControlText(HWND hWnd, int nControlId);
bool IsControlVisible(HWND hWnd, int nControlId);
void ClickButton(HWND hWnd, int nControlId);
// The control that has the keyboard focus in the thread of a window.
HWND GetFocusedControl(HWND hWnd);
// A key pressed and released on the focused control, queued to its thread
// as typed keys are, so that the thread's own message loop handles it.
void PressKey(HWND hWnd, UINT uVirtualKey);
// An open message box of the process whose text contains szTextPart.
HWND FindMessageBox(DWORD dwProcessId, LPCWSTR szTextPart);
// Waits until the visible wizard window is the given page; null on timeout.
HWND WaitForPage(DWORD dwProcessId, DriverPage nPage, DWORD dwTimeoutMs);

struct ProgressBarState
{
    int nLow;
    int nHigh;
    int nPosition;
    bool fMarquee;
};
ProgressBarState GetProgressBar(HWND hWnd);

// The server tree of the build, and its fault switch.
std::wstring GetServerRoot();
// Sets the faults of the test server, e.g. L"{\"/esd/...\": {\"mode\": \"404\"}}".
void SetServerFaults(const std::string& strJson);

// The calls that the stub packages recorded, one "name|command line" per line.
// A whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& strPath);
// The paths that the download server was asked for, in order, since the
// last clear.
std::vector<std::string> ReadServerRequests();
void ClearServerRequests();
std::string ReadStubCalls();
void ClearStubCalls();
// Removes an installed product without a user interface.
void UninstallProduct(LPCWSTR szProductCode);
// Installs a package file without a user interface; the installer's exit code.
DWORD InstallProductFile(const std::wstring& strMsi);
bool IsProductInstalledForTest(LPCWSTR szProductCode);
