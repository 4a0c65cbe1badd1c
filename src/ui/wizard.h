#pragma once
#include "manifest/package.h"
#include <atomic>
#include <time.h>

enum WizardPage : int
{
    PageLicense = 2,
    PageProgress = 3,
    PageFinish = 4,
};

// Dialog templates, pictures and controls of the wizard's windows.
enum : UINT
{
    IDD_SPLASH = 109,
    IDD_LICENSE = 1102,
    IDD_PROGRESS = 1103,
    IDD_FINISH = 1104,
    IDB_SPLASH = 111,
    IDB_PAGE = 112,
    IDC_BUTTON_RIGHT = 107,
    IDC_BUTTON_LEFT = 108,
    IDC_PRINT = 1011,
    IDC_BACKGROUND = 1003,
    IDC_COUNTRY_LABEL = 1092,
    IDC_COUNTRY = 1093,
    IDC_LICENSE_TEXT = 1020,
    IDC_TITLE = 1005,
    IDC_SUBTITLE = 1008,
    IDC_DETAIL = 1004,
    IDC_STATUS = 105,
    IDC_PROGRESS = 104,
};

constexpr UINT IDS_BUTTON_CLOSE = 60;

// The setup's only window: a chain of modeless dialogs (splash, licence,
// progress, finish) sharing one procedure, plus the worker-thread handles
// and the flags the worker threads and the wizard exchange.
class CSetupWizard
{
public:
    CSetupWizard();

    bool Init(HINSTANCE hInstance);
    void CreatePage(UINT nTemplate, UINT nPicture);
    void SetPage(WizardPage nPage);
    void Start(HANDLE hInstallThread, HANDLE hDownloadThread, CPackageInfo* pPackages);
    void ResumeWorkers();
    void PostNotify(UINT uMessage, WPARAM wParam);
    void RunMessageLoop();
    void RefreshStatus();
    void Close();
    HWND GetOwnerWindow() const;
    bool IsCancelled() const;

    HINSTANCE m_hInstance;
    std::atomic<HWND> m_hWnd;
    HWND m_hWndParent;
    HWND m_hCountryCombo;
    HWND m_hLicenseText;
    std::atomic<bool> m_fCancelled;
    bool m_fOsSupported;
    bool m_fBrowserSupported;
    bool m_fEnoughDiskSpace;
    HANDLE m_hInstallThread;
    HANDLE m_hDownloadThread;
    bool m_fRestart;
    std::atomic<bool> m_fPackageFailed;
    CPackageInfo* m_pPackages;
    std::atomic<CPackageInfo*> m_pInstalling;
    WizardPage m_nPage;
    HBITMAP m_hBackground;
};

INT_PTR CALLBACK WizardDialogProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam);

// Top-left corner that centres a window of the given size on a work area.
POINT GetCenteredPosition(const RECT& rcWorkArea, int nWidth, int nHeight);

extern CSetupWizard* g_pWizard;
extern HMODULE g_hRichEditModule;
extern std::atomic<time_t> g_tSplashShown;

// How long the splash stays up before the first page, in seconds.
constexpr time_t SPLASH_SECONDS = 3;
