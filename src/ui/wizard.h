#pragma once
#include "manifest/package.h"
#include <atomic>
#include <map>
#include <string>
#include <time.h>

enum WizardPage : int
{
    PageLicense = 2,
    PageProgress = 3,
    PageFinish = 4,
};

// How the wizard redraws a page and all its controls at once.
constexpr UINT REDRAW_ALL = RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME;

// Dialog templates, pictures and controls of the wizard's windows.
constexpr UINT IDD_SPLASH = 109;
constexpr UINT IDD_LICENSE = 1102;
constexpr UINT IDD_PROGRESS = 1103;
constexpr UINT IDD_FINISH = 1104;
constexpr UINT IDB_SPLASH = 111;
constexpr UINT IDB_PAGE = 112;
constexpr UINT IDC_BUTTON_RIGHT = 107;
constexpr UINT IDC_BUTTON_LEFT = 108;
constexpr UINT IDC_PRINT = 1011;
constexpr UINT IDC_BACKGROUND = 1003;
constexpr UINT IDC_COUNTRY_LABEL = 1092;
constexpr UINT IDC_COUNTRY = 1093;
constexpr UINT IDC_LICENSE_TEXT = 1020;
constexpr UINT IDC_TITLE = 1005;
constexpr UINT IDC_SUBTITLE = 1008;
constexpr UINT IDC_DETAIL = 1004;
constexpr UINT IDC_STATUS = 105;
constexpr UINT IDC_PROGRESS = 104;
constexpr UINT IDT_FILL_LICENSE = 2;

constexpr UINT IDS_CANCEL_QUESTION = 41;
constexpr UINT IDS_CANCEL_CAPTION = 45;
constexpr UINT IDS_CANCEL_NOTICE = 46;
constexpr UINT IDS_BUTTON_LAUNCH_NOW = 59;

// What closing the window (Alt+F4, the title bar) does on a page. Closing
// is never a restart: on a finish page that offers one it is "Restart
// Later".
enum CloseAction : int
{
    CloseActionNone = 0,
    CloseActionDecline = 1,
    CloseActionAskCancel = 2,
    CloseActionRightButton = 3,
    CloseActionLeftButton = 4,
};
CloseAction ChooseCloseAction(WizardPage nPage, bool fLicenseShown, bool fRestartOffered);

// How much of the wizard a run shows: all of it; the progress page alone,
// whose Cancel stops at once (/passive); or nothing at all (/quiet).
enum UiMode : int
{
    UiModeFull = 0,
    UiModePassive = 1,
    UiModeQuiet = 2,
};
// Whether a page of the given dialog template is shown in a mode.
bool IsPageShown(UiMode nMode, UINT nTemplate);

// How long the end of the run waits for the worker threads to stop.
constexpr DWORD WORKER_STOP_BOUND_MS = 15000;

// The setup's only window: a chain of modeless dialogs (splash, licence,
// progress, finish) sharing one procedure, plus the worker-thread handles
// and the flags the worker threads and the wizard exchange.
class CSetupWizard
{
public:
    CSetupWizard();
    // The windows go with the wizard, so that no message of the process's
    // end reaches a wizard that is gone.
    ~CSetupWizard();
    CSetupWizard(const CSetupWizard&) = delete;
    CSetupWizard& operator=(const CSetupWizard&) = delete;

    bool Init(HINSTANCE hInstance);
    void CreatePage(UINT nTemplate, UINT nPicture);
    void SetPage(WizardPage nPage);
    void Start(HANDLE hInstallThread, HANDLE hDownloadThread, CPackageInfo* pPackages);
    void ResumeWorkers();
    void PostNotify(UINT uMessage, WPARAM wParam);
    void RunMessageLoop();
    void RefreshStatus();
    bool Close();
    void ConfirmCancel();
    bool CheckRestartNeeded();
    HWND GetOwnerWindow() const;
    // Also the point where a worker thread is held while the cancel
    // question is open.
    bool IsCancelled() const;
    // Only the user's confirmed cancel (or closing the wizard), not a
    // failed package: an install under way is cancelled for this alone.
    bool IsCancelledByUser() const;
    // Holds a worker thread while the cancel question is open; true when
    // it had to wait.
    bool HoldWorkerIfAsked() const;
    // Closes or opens the gate at which the worker threads are held.
    void HoldWorkers(bool fHold);
    // Tells both worker threads to stop and waits for them, answering the
    // boxes they still show; true when both ended within the bound.
    bool StopWorkers(DWORD dwBoundMs);
    // Destroys every window of the wizard.
    void DestroyWindows();
    // An unattended run: which pages show, and what the restart
    // registration hands the restarted setup.
    void SetUiMode(UiMode nMode, const std::wstring& strRestartCommandLine);
    UiMode GetUiMode() const { return m_nUiMode; }
    // The run's end as an unattended run reports it; set when its
    // install thread is done.
    bool HasCompleted() const { return m_fCompleted; }
    bool WasCancelledBeforeEnd() const { return m_fCancelledAtEnd; }
    bool SetBackground(UINT nPicture);
    // The picture of a window that was left for another.
    void ReleaseBackground(HWND hWndHidden);

    // The licence page.
    void InitLicensePage();
    void FillLicensePage(HWND hWndTimer);
    bool FillCountryList();
    void OnCountryChanged();
    void LoadLicenseText(const std::wstring& strFile);
    void PrintLicense();

    void ResetProgress(int nUpper);
    void AdvanceProgress(int nDelta);
    void StartMarquee();
    void StopMarquee();

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
    // "/norestart" in a run with its wizard: the finish page offers no restart.
    bool m_fNeverRestart;
    // A "/layout" run: no licence, no restart, its own progress and finish texts.
    bool m_fLayout;
    std::atomic<bool> m_fPackageFailed;
    CPackageInfo* m_pPackages;
    std::atomic<CPackageInfo*> m_pInstalling;
    WizardPage m_nPage;
    HBITMAP m_hBackground;
    // The licence folder, ending in a backslash; empty until it was made.
    LPWSTR m_szEulaFolder;
    std::map<std::wstring, std::wstring> m_mapLicenseFiles;
    std::wstring m_strUserLcid;

private:
    void SetFinishButtons();
    void OnFinishButton(int nButton);
    void OnCloseRequest();
    void OnSetupDone();
    // A button or the country box; false for a command of no control here.
    bool OnCommand(WPARAM wParam);
    friend INT_PTR CALLBACK WizardDialogProc(HWND, UINT, WPARAM, LPARAM);

    // Open while the workers may run; closed while the cancel question is
    // asked, so that they wait at their next cancellation test.
    HANDLE m_hWorkersMayRun;
    // Every window made, the hidden earlier pages included.
    HWND m_rghWindows[4];
    size_t m_cWindows;
    DWORD m_dwMainThreadId;
    ULONGLONG m_ullSplashTick;
    // The cancel question is open; the end of the run that arrives then
    // waits for its answer.
    bool m_fAskingCancel;
    bool m_fDonePending;
    UiMode m_nUiMode;
    std::wstring m_strRestartCommandLine;
    bool m_fCompleted;
    bool m_fCancelledAtEnd;
};

// Starts the installed product from its folder under Program Files.
void LaunchProduct();
// The product's folder for a native processor architecture; false when
// nothing should be started.
bool GetProductFolder(WORD wProcessorArchitecture, LPWSTR szFolder, size_t cchFolder);

INT_PTR CALLBACK WizardDialogProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam);

// Top-left corner that centres a window of the given size on a work area.
POINT GetCenteredPosition(const RECT& rcWorkArea, int nWidth, int nHeight);

extern CSetupWizard* g_pWizard;
extern HMODULE g_hRichEditModule;
extern std::atomic<time_t> g_tSplashShown;

// How long the splash stays up before the first page, in seconds.
constexpr time_t SPLASH_SECONDS = 3;
