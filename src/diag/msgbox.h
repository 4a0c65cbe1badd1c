#pragma once
#include <windows.h>

// String ids of the executable's string table that the boxes and the run use.
constexpr UINT IDS_TITLE = 11;
constexpr UINT IDS_OUT_OF_MEMORY = 12;
constexpr UINT IDS_MISSING_RESOURCE = 15;
constexpr UINT IDS_INVALID_PATH = 23;
constexpr UINT IDS_CANCELLED = 24;
constexpr UINT IDS_INVALID_MSI_VERSION = 25;
constexpr UINT IDS_MSI_UPGRADE_FAILED = 29;
constexpr UINT IDS_INSTALL_ERROR = 32;
constexpr UINT IDS_BAD_OPERATION = 34;
constexpr UINT IDS_USAGE = 35;
constexpr UINT IDS_USAGE_MANAGED = 347;
constexpr UINT IDS_LAYOUT_FOLDER = 354;
constexpr UINT IDS_USAGE_LAYOUT = 355;
constexpr UINT IDS_OS_NOT_SUPPORTED = 36;
constexpr UINT IDS_INTERNAL_ERROR = 37;
constexpr UINT IDS_BROWSER_NOT_SUPPORTED = 331;
constexpr UINT IDS_NOT_ENOUGH_DISK_SPACE = 332;
constexpr UINT IDS_DOWNLOAD_FAILED = 335;
constexpr UINT IDS_DLL_REDIRECTION = 346;

// The lowest MINIMUM_MSI value that the manifest may name.
constexpr int MSI_VERSION_FLOOR = 150;
constexpr int MESSAGE_CAPACITY = 1024;

void ReportMissingResource(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption, LPCWSTR szResourceName);
void ReportCancelled(HINSTANCE hInstance, HWND hWndOwner);
void ReportErrorById(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption, UINT nStringId);
void ReportInvalidMsiVersion(HINSTANCE hInstance, LPCWSTR szValue);
void ReportInstallError(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption, DWORD dwCode);
void ReportSystemError(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption, UINT nStringId, LPCWSTR szInsert);
void ReportMsiError(DWORD dwCode, HWND hWndOwner, LPCWSTR szCaption, HINSTANCE hInstance, HMODULE hMsiModule);
void ReportOutOfMemory(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption);
// A box with a fixed text of its own, logged like every error box.
void ShowAndLog(HWND hWndOwner, LPCWSTR szMessage, LPCWSTR szCaption, UINT uStyle);
void ShowUsage(HINSTANCE hInstance, HWND hWndOwner, LPCWSTR szCaption);
// An unattended run shows no box at all: each is logged and takes its
// first button (OK, or Yes).
void SetSilentMessageBoxes(bool fSilent);
// A box of the setup's own; none while boxes are silent.
int ShowMessageBox(HWND hWndOwner, LPCWSTR szMessage, LPCWSTR szCaption, UINT uStyle);

// Decisions kept apart from the boxes so they can be tested without windows.
bool IsSilentMsiResult(DWORD dwCode);
DWORD MapMsiResultForText(DWORD dwCode);
// FormatMessage inserts are written "%1"; a string that writes its
// placeholder printf-style as "%s" gets it rewritten to "%1" so the insert
// still lands there. Returns false when the result does not fit.
bool ConvertPrintfInsert(LPCWSTR szSource, LPWSTR szDest, size_t cchDest);
