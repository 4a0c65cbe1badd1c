#include "ui/wizard.h"
#include "platform/owners.h"
#include "platform/syslib.h"
#include "app/restart.h"
#include "diag/heapstr.h"
#include "diag/msgbox.h"
#include "diag/safestr.h"
#include "diag/setuplog.h"
#include "engine/workers.h"
#include "ui/license.h"
#include "ui/status.h"
#include <commctrl.h>
#include <shlobj.h>

CSetupWizard* g_pWizard = nullptr;
HMODULE g_hRichEditModule = nullptr;
std::atomic<time_t> g_tSplashShown{0};

namespace
{
using PFN_INIT_COMMON_CONTROLS_EX = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
CHECK_EXPORT_TYPE(PFN_INIT_COMMON_CONTROLS_EX, InitCommonControlsEx);

// The common controls come through the application manifest's version 6,
// which the loader finds among the system's side-by-side assemblies; the
// search itself is already limited to the system folder.
void InitCommonControlClasses()
{
    // Kept for the process: the dialogs' controls live in it.
    HMODULE hCommonControls = LoadLibraryW(L"comctl32.dll");
    auto pfnInit = LookupExport<PFN_INIT_COMMON_CONTROLS_EX>(hCommonControls, "InitCommonControlsEx");
    if (pfnInit)
    {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), 0x0FFFFFFF};
        pfnInit(&icc);
    }
}

constexpr int c_cchText = 512;

void SetTitleFont(HWND hWnd)
{
    LOGFONTW lf = {};
    lf.lfHeight = 17;
    lf.lfWeight = FW_BOLD;
    lstrcpynW(lf.lfFaceName, L"Tahoma", LF_FACESIZE);
    HFONT hFont = CreateFontIndirectW(&lf);
    SendDlgItemMessageW(hWnd, IDC_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
}

RECT GetWorkArea()
{
    RECT rc = {};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &rc, 0))
    {
        rc.left = 0;
        rc.top = 0;
        rc.right = GetSystemMetrics(SM_CXSCREEN);
        rc.bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    return rc;
}

void SetButtonText(HWND hWnd, int nId, HINSTANCE hInstance, UINT nStringId)
{
    WCHAR szText[c_cchText] = {};
    LoadStringW(hInstance, nStringId, szText, c_cchText);
    SetDlgItemTextW(hWnd, nId, szText);
}

bool IsButtonText(HWND hWnd, int nId, HINSTANCE hInstance, UINT nStringId)
{
    WCHAR szExpected[c_cchText] = {};
    WCHAR szActual[c_cchText] = {};
    LoadStringW(hInstance, nStringId, szExpected, c_cchText);
    GetDlgItemTextW(hWnd, nId, szActual, c_cchText);
    return szExpected[0] != L'\0' && wcscmp(szExpected, szActual) == 0;
}

void SendToBar(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
    SendDlgItemMessageW(hWnd, IDC_PROGRESS, uMessage, wParam, lParam);
}
}

POINT GetCenteredPosition(const RECT& rcWorkArea, int nWidth, int nHeight)
{
    POINT pt;
    pt.x = (rcWorkArea.right - nWidth - rcWorkArea.left) / 2 + rcWorkArea.left;
    pt.y = (rcWorkArea.bottom - nHeight - rcWorkArea.top) / 2 + rcWorkArea.top;
    return pt;
}

CSetupWizard::CSetupWizard()
    : m_hInstance(nullptr), m_hWnd(nullptr), m_hWndParent(nullptr), m_hCountryCombo(nullptr),
      m_hLicenseText(nullptr), m_fCancelled(false), m_fOsSupported(true), m_fBrowserSupported(true),
      m_fEnoughDiskSpace(true), m_hInstallThread(nullptr), m_hDownloadThread(nullptr), m_fRestart(false), m_fNeverRestart(false), m_fLayout(false),
      m_fPackageFailed(false), m_pPackages(nullptr), m_pInstalling(nullptr), m_nPage(PageLicense),
      m_hBackground(nullptr), m_szEulaFolder(AllocString(MAX_PATH)), m_hWorkersMayRun(CreateEventW(nullptr, TRUE, TRUE, nullptr)),
      m_rghWindows{}, m_cWindows(0), m_dwMainThreadId(GetCurrentThreadId()), m_ullSplashTick(0),
      m_fAskingCancel(false), m_fDonePending(false), m_nUiMode(UiModeFull), m_strRestartCommandLine(RESTART_COMMAND_LINE),
      m_fCompleted(false), m_fCancelledAtEnd(false)
{
}

CSetupWizard::~CSetupWizard()
{
    if (g_pWizard == this)
    {
        g_pWizard = nullptr;
    }
    DestroyWindows();
    if (m_hWorkersMayRun)
    {
        CloseHandle(m_hWorkersMayRun);
    }
    FreeString(m_szEulaFolder);
}

void CSetupWizard::DestroyWindows()
{
    for (size_t i = 0; i < m_cWindows; ++i)
    {
        if (IsWindow(m_rghWindows[i]))
        {
            DestroyWindow(m_rghWindows[i]);
        }
    }
    m_cWindows = 0;
}

bool CSetupWizard::Init(HINSTANCE hInstance)
{
    InitCommonControlClasses();
    m_hWndParent = nullptr;
    m_hInstance = hInstance;
    if (!m_hWnd.load())
    {
        CreatePage(IDD_SPLASH, IDB_SPLASH);
        RedrawWindow(m_hWnd.load(), nullptr, nullptr, REDRAW_ALL);
        g_tSplashShown.store(time(nullptr));
        m_ullSplashTick = GetTickCount64();
    }
    return true;
}

void CSetupWizard::CreatePage(UINT nTemplate, UINT nPicture)
{
    RECT rcOld = {};
    HWND hWndOld = m_hWnd.load();
    if (hWndOld)
    {
        GetWindowRect(hWndOld, &rcOld);
        ShowWindow(hWndOld, SW_HIDE);
        ReleaseBackground(hWndOld);
        // A licence page left before its fill tick must not fill later.
        KillTimer(hWndOld, IDT_FILL_LICENSE);
    }
    HWND hWnd = CreateDialogParamW(m_hInstance, MAKEINTRESOURCEW(nTemplate), m_hWndParent, WizardDialogProc,
                                   reinterpret_cast<LPARAM>(this));
    m_hWnd.store(hWnd);
    if (!hWnd)
    {
        return;
    }
    if (m_cWindows < ARRAYSIZE(m_rghWindows))
    {
        m_rghWindows[m_cWindows++] = hWnd;
    }
    WCHAR szTitle[c_cchText] = {};
    LoadStringW(m_hInstance, IDS_TITLE, szTitle, c_cchText);
    SetWindowTextW(hWnd, szTitle);
    SetBackground(nPicture);
    SetTitleFont(hWnd);

    RECT rcWindow = {};
    GetWindowRect(hWnd, &rcWindow);
    int nWidth = rcWindow.right - rcWindow.left;
    int nHeight = rcWindow.bottom - rcWindow.top;
    if (nTemplate == IDD_SPLASH)
    {
        POINT pt = GetCenteredPosition(GetWorkArea(), nWidth, nHeight);
        MoveWindow(hWnd, pt.x, pt.y, nWidth, nHeight, TRUE);
    }
    else
    {
        MoveWindow(hWnd, rcOld.left, rcOld.top, rcOld.right - rcOld.left, rcOld.bottom - rcOld.top, TRUE);
    }
    if (IsPageShown(m_nUiMode, nTemplate))
    {
        ShowWindow(hWnd, SW_SHOW);
    }
}

bool IsPageShown(UiMode nMode, UINT nTemplate)
{
    return nMode == UiModeFull || (nMode == UiModePassive && nTemplate == IDD_PROGRESS);
}

void CSetupWizard::SetUiMode(UiMode nMode, const std::wstring& strRestartCommandLine)
{
    m_nUiMode = nMode;
    m_strRestartCommandLine = strRestartCommandLine;
}

void CSetupWizard::SetPage(WizardPage nPage)
{
    CRestartRegistration restart;
    m_nPage = nPage;
    switch (nPage)
    {
    case PageLicense:
    {
        // Only the licence page has a rich-edit control: its library is
        // loaded here, not before the splash is up. Kept for the process.
        if (!g_hRichEditModule)
        {
            g_hRichEditModule = LoadSystemLibrary(L"RICHED20.DLL");
        }
        CreatePage(IDD_LICENSE, IDB_PAGE);
        HWND hWnd = m_hWnd.load();
        m_hLicenseText = GetDlgItem(hWnd, IDC_LICENSE_TEXT);
        m_hCountryCombo = GetDlgItem(hWnd, IDC_COUNTRY);
        InitLicensePage();
        SetFocus(GetDlgItem(hWnd, IDC_BUTTON_LEFT));
        SetForegroundWindow(hWnd);
        RedrawWindow(hWnd, nullptr, nullptr, REDRAW_ALL);
        break;
    }
    case PageProgress:
    {
        CreatePage(IDD_PROGRESS, IDB_PAGE);
        HWND hWnd = m_hWnd.load();
        if (!m_fLayout)
        {
            // A layout is simply run again; a restart never resumes it.
            restart.Register(m_strRestartCommandLine.c_str());
        }
        ShowWindow(GetDlgItem(hWnd, IDC_PROGRESS), SW_SHOW);
        ShowWindow(GetDlgItem(hWnd, IDC_BUTTON_LEFT), SW_HIDE);
        RedrawWindow(hWnd, nullptr, nullptr, REDRAW_ALL);
        break;
    }
    case PageFinish:
    {
        CreatePage(IDD_FINISH, IDB_PAGE);
        restart.Unregister();
        if (m_nUiMode == UiModeFull)
        {
            ShowWindow(m_hWnd.load(), SW_RESTORE);
        }
        CheckRestartNeeded();
        RefreshStatus();
        SetFinishButtons();
        break;
    }
    }
}

void CSetupWizard::SetFinishButtons()
{
    HWND hWnd = m_hWnd.load();
    FinishButtons buttons = ChooseFinishButtons(m_fRestart, m_fPackageFailed.load(), m_fCancelled.load(), m_fLayout);
    SetButtonText(hWnd, IDC_BUTTON_RIGHT, m_hInstance, buttons.nRightText);
    if (buttons.nLeftText)
    {
        SetButtonText(hWnd, IDC_BUTTON_LEFT, m_hInstance, buttons.nLeftText);
    }
    ShowWindow(GetDlgItem(hWnd, IDC_BUTTON_LEFT), buttons.nLeftText ? SW_SHOW : SW_HIDE);
}

void CSetupWizard::OnFinishButton(int nButton)
{
    if (nButton == IDC_BUTTON_LEFT)
    {
        if (m_fRestart)
        {
            m_fRestart = false;
        }
        else if (IsButtonText(m_hWnd.load(), IDC_BUTTON_LEFT, m_hInstance, IDS_BUTTON_LAUNCH_NOW))
        {
            LaunchProduct();
        }
    }
    Close();
}

CloseAction ChooseCloseAction(WizardPage nPage, bool fLicenseShown, bool fRestartOffered)
{
    switch (nPage)
    {
    case PageLicense:
        // Before the licence page, the splash has nothing to close.
        return fLicenseShown ? CloseActionDecline : CloseActionNone;
    case PageProgress:
        return CloseActionAskCancel;
    case PageFinish:
        return fRestartOffered ? CloseActionLeftButton : CloseActionRightButton;
    }
    return CloseActionNone;
}

void CSetupWizard::OnCloseRequest()
{
    bool fLicenseShown = GetDlgItem(m_hWnd.load(), IDC_COUNTRY) != nullptr;
    switch (ChooseCloseAction(m_nPage, fLicenseShown, m_fRestart))
    {
    case CloseActionDecline:
        Close();
        break;
    case CloseActionAskCancel:
        ConfirmCancel();
        break;
    case CloseActionRightButton:
        OnFinishButton(IDC_BUTTON_RIGHT);
        break;
    case CloseActionLeftButton:
        OnFinishButton(IDC_BUTTON_LEFT);
        break;
    case CloseActionNone:
        break;
    }
}

void CSetupWizard::OnSetupDone()
{
    // Under the question the finish page would appear beneath a box owned
    // by a hidden page; it comes once the question is answered.
    if (m_fAskingCancel)
    {
        m_fDonePending = true;
        return;
    }
    if (m_nUiMode != UiModeFull)
    {
        // Nobody reads a finish page: the run ends with what it did.
        m_fCompleted = true;
        m_fCancelledAtEnd = m_fCancelled.load();
        CheckRestartNeeded();
        CRestartRegistration restart;
        restart.Unregister();
        Close();
        return;
    }
    SetPage(PageFinish);
}

void CSetupWizard::Start(HANDLE hInstallThread, HANDLE hDownloadThread, CPackageInfo* pPackages)
{
    m_hInstallThread = hInstallThread;
    m_hDownloadThread = hDownloadThread;
    m_pPackages = pPackages;
    if (m_nUiMode != UiModeFull || m_fLayout)
    {
        // The administrator who starts an unattended install has read the
        // licence, and a layout installs nothing; the run goes straight to
        // its files.
        if (!m_fLayout)
        {
            CSetupLog::Instance().Write(L"  Unattended: the licence counts as accepted\n");
        }
        SetPage(PageProgress);
        ResumeWorkers();
        RefreshStatus();
        return;
    }
    if (DownloadLicenseArchive(this) != ERROR_SUCCESS)
    {
        ShowAndLog(nullptr, L"Download Eula failed", L"Eula", MB_OK);
    }
    // Keep the splash up, and responsive, until it has been seen long
    // enough; the wait sleeps until input or the deadline.
    const ULONGLONG ullDeadline = m_ullSplashTick + SPLASH_SECONDS * 1000;
    for (ULONGLONG ullNow = GetTickCount64(); ullNow < ullDeadline; ullNow = GetTickCount64())
    {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ullDeadline - ullNow), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    SetPage(PageLicense);
}

void CSetupWizard::ResumeWorkers()
{
    if (m_hInstallThread)
    {
        ResumeThread(m_hInstallThread);
    }
    if (m_hDownloadThread)
    {
        ResumeThread(m_hDownloadThread);
    }
}

void CSetupWizard::HoldWorkers(bool fHold)
{
    if (fHold)
    {
        ResetEvent(m_hWorkersMayRun);
    }
    else
    {
        SetEvent(m_hWorkersMayRun);
    }
}

void CSetupWizard::ConfirmCancel()
{
    if (m_fAskingCancel)
    {
        return;
    }
    if (m_nUiMode != UiModeFull)
    {
        // Whoever runs the setup unattended has already decided.
        m_fCancelled.store(true);
        CSetupLog::Instance().Write(L"  Unattended: cancelled without a question\n");
        return;
    }
    // The workers are held at their next cancellation test rather than
    // suspended wherever they are, which could be inside a lock the
    // question box needs.
    HoldWorkers(true);
    m_fAskingCancel = true;
    WCHAR szQuestion[c_cchText] = {};
    WCHAR szCaption[c_cchText] = {};
    LoadStringW(m_hInstance, IDS_CANCEL_QUESTION, szQuestion, c_cchText);
    LoadStringW(m_hInstance, IDS_CANCEL_CAPTION, szCaption, c_cchText);
    bool fYes = MessageBoxW(m_hWnd.load(), szQuestion, szCaption, MB_YESNO) == IDYES;
    m_fAskingCancel = false;
    // A run that ended while the question was open has nothing left to
    // cancel: its finish page tells what really happened.
    if (fYes && !m_fDonePending)
    {
        m_fCancelled.store(true);
        WCHAR szNotice[c_cchText] = {};
        LoadStringW(m_hInstance, IDS_CANCEL_NOTICE, szNotice, c_cchText);
        SetDlgItemTextW(m_hWnd.load(), IDC_STATUS, szNotice);
    }
    HoldWorkers(false);
    if (m_fDonePending)
    {
        m_fDonePending = false;
        SetPage(PageFinish);
    }
}

bool CSetupWizard::CheckRestartNeeded()
{
    bool fAllInstalled = true;
    for (const CPackageInfo* pPackage = m_pPackages; pPackage; pPackage = pPackage->pNext)
    {
        if (pPackage->fRebootRequired.load())
        {
            m_fRestart = true;
        }
        if (pPackage->nAction == ActionInstall && pPackage->nStatus.load() != StatusInstalled)
        {
            fAllInstalled = false;
        }
    }
    if (!fAllInstalled)
    {
        m_fRestart = false;
    }
    if (m_fRestart && m_fNeverRestart && m_nUiMode == UiModeFull)
    {
        CSetupLog::Instance().Write(L"  A restart is needed; not offered (/norestart)\n");
        m_fRestart = false;
    }
    return m_fRestart;
}

void CSetupWizard::PostNotify(UINT uMessage, WPARAM wParam)
{
    PostMessageW(m_hWnd.load(), uMessage, wParam, 0);
}

void CSetupWizard::RunMessageLoop()
{
    while (m_hWnd.load())
    {
        MSG msg;
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0)
        {
            break;
        }
        // The dialog, not the control that has the message, decides what
        // Tab, Enter, Esc and the mnemonics do.
        HWND hDialog = m_hWnd.load();
        if (!hDialog || !IsDialogMessageW(hDialog, &msg))
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void CSetupWizard::RefreshStatus()
{
    HWND hWnd = m_hWnd.load();
    StatusTexts texts;
    if (m_nPage == PageProgress)
    {
        m_pInstalling.store(ComposeProgressTexts(m_hInstance, m_pPackages, &texts, m_fLayout));
    }
    else if (m_nPage == PageFinish)
    {
        FinishState state = {m_fOsSupported, m_fBrowserSupported, m_fEnoughDiskSpace, m_fCancelled.load(),
                             m_fRestart, m_fLayout};
        ComposeFinishTexts(m_hInstance, state, m_pPackages, &texts);
    }
    else
    {
        texts.szTitle[0] = texts.szSubtitle[0] = texts.szDetail[0] = texts.szStatus[0] = L'\0';
    }
    SetDlgItemTextW(hWnd, IDC_TITLE, texts.szTitle);
    SetDlgItemTextW(hWnd, IDC_SUBTITLE, texts.szSubtitle);
    SetDlgItemTextW(hWnd, IDC_DETAIL, texts.szDetail);
    SetDlgItemTextW(hWnd, IDC_STATUS, texts.szStatus);
    RedrawWindow(hWnd, nullptr, nullptr, REDRAW_ALL);
}

bool CSetupWizard::Close()
{
    m_fCancelled.store(true);
    SetEvent(m_hWorkersMayRun);
    ResumeWorkers();
    HWND hWnd = m_hWnd.exchange(nullptr);
    if (hWnd)
    {
        DestroyWindow(hWnd);
    }
    m_hInstance = nullptr;
    m_hWndParent = nullptr;
    m_pPackages = nullptr;
    return true;
}

HWND CSetupWizard::GetOwnerWindow() const
{
    HWND hWnd = m_hWnd.load();
    return hWnd ? hWnd : m_hWndParent;
}

bool CSetupWizard::HoldWorkerIfAsked() const
{
    if (GetCurrentThreadId() == m_dwMainThreadId || WaitForSingleObject(m_hWorkersMayRun, 0) != WAIT_TIMEOUT)
    {
        return false;
    }
    WaitForSingleObject(m_hWorkersMayRun, INFINITE);
    return true;
}

bool CSetupWizard::IsCancelled() const
{
    HoldWorkerIfAsked();
    return m_fCancelled.load() || m_fPackageFailed.load();
}

bool CSetupWizard::IsCancelledByUser() const
{
    HoldWorkerIfAsked();
    return m_fCancelled.load();
}

namespace
{
struct WorkerBoxSearch
{
    DWORD dwProcessId;
    DWORD dwMainThreadId;
};

// A box of a worker thread still open when the run ends has lost its
// page; it is closed as if answered, so that the thread can end.
BOOL CALLBACK CloseWorkerBox(HWND hWnd, LPARAM lParam)
{
    const WorkerBoxSearch* pSearch = reinterpret_cast<const WorkerBoxSearch*>(lParam);
    DWORD dwProcessId = 0;
    DWORD dwThreadId = GetWindowThreadProcessId(hWnd, &dwProcessId);
    WCHAR szClass[16] = {};
    if (dwProcessId == pSearch->dwProcessId && dwThreadId != pSearch->dwMainThreadId &&
        GetClassNameW(hWnd, szClass, ARRAYSIZE(szClass)) && wcscmp(szClass, L"#32770") == 0)
    {
        PostMessageW(hWnd, WM_CLOSE, 0, 0);
    }
    return TRUE;
}
}

bool CSetupWizard::StopWorkers(DWORD dwBoundMs)
{
    m_fCancelled.store(true);
    HoldWorkers(false);
    HANDLE rghThreads[2];
    DWORD cThreads = 0;
    for (HANDLE hThread : {m_hInstallThread, m_hDownloadThread})
    {
        if (hThread)
        {
            // A thread that never ran is let go too, so that it ends now.
            DWORD dwCount = 0;
            do
            {
                dwCount = ResumeThread(hThread);
            } while (dwCount != static_cast<DWORD>(-1) && dwCount > 1);
            rghThreads[cThreads++] = hThread;
        }
    }
    const ULONGLONG ullEnd = GetTickCount64() + dwBoundMs;
    const WorkerBoxSearch search = {GetCurrentProcessId(), m_dwMainThreadId};
    // A worker may be sending to a window of this thread: messages are
    // served while it waits.
    while (cThreads != 0 && WaitForMultipleObjects(cThreads, rghThreads, TRUE, 0) != WAIT_OBJECT_0)
    {
        EnumWindows(CloseWorkerBox, reinterpret_cast<LPARAM>(&search));
        if (GetTickCount64() >= ullEnd)
        {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

void CSetupWizard::ResetProgress(int nUpper)
{
    HWND hWnd = m_hWnd.load();
    SendToBar(hWnd, PBM_SETRANGE32, 0, nUpper);
    SendToBar(hWnd, PBM_SETPOS, 0, 0);
}

void CSetupWizard::AdvanceProgress(int nDelta)
{
    if (nDelta != 0)
    {
        SendToBar(m_hWnd.load(), PBM_DELTAPOS, static_cast<WPARAM>(nDelta), 0);
    }
}

void CSetupWizard::StartMarquee()
{
    HWND hBar = GetDlgItem(m_hWnd.load(), IDC_PROGRESS);
    SetWindowLongW(hBar, GWL_STYLE, GetWindowLongW(hBar, GWL_STYLE) | PBS_MARQUEE);
    SendMessageW(hBar, PBM_SETMARQUEE, TRUE, 50);
}

void CSetupWizard::StopMarquee()
{
    HWND hBar = GetDlgItem(m_hWnd.load(), IDC_PROGRESS);
    SendMessageW(hBar, PBM_SETMARQUEE, FALSE, 0);
    SetWindowLongW(hBar, GWL_STYLE, GetWindowLongW(hBar, GWL_STYLE) & ~PBS_MARQUEE);
}

bool GetProductFolder(WORD wProcessorArchitecture, LPWSTR szFolder, size_t cchFolder)
{
    int nFolder = 0;
    switch (wProcessorArchitecture)
    {
    case PROCESSOR_ARCHITECTURE_AMD64:
    case PROCESSOR_ARCHITECTURE_IA64:
        nFolder = CSIDL_PROGRAM_FILESX86;
        break;
    case PROCESSOR_ARCHITECTURE_INTEL:
        nFolder = CSIDL_PROGRAM_FILES;
        break;
    default:
        return false;
    }
    WCHAR szProgramFiles[MAX_PATH] = {};
    return SHGetSpecialFolderPathW(nullptr, szProgramFiles, nFolder, FALSE) &&
           SUCCEEDED(SafeCopy(szFolder, cchFolder, szProgramFiles)) &&
           SUCCEEDED(SafeAppend(szFolder, cchFolder, L"\\Brantlow\\Project Tessal"));
}

void LaunchProduct()
{
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    WCHAR szFolder[MAX_PATH] = {};
    if (GetProductFolder(info.wProcessorArchitecture, szFolder, MAX_PATH))
    {
        ShellExecuteW(nullptr, L"open", L"bpts.exe", nullptr, szFolder, SW_SHOWNORMAL);
    }
}

bool CSetupWizard::OnCommand(WPARAM wParam)
{
    if (wParam == IDC_BUTTON_RIGHT)
    {
        switch (m_nPage)
        {
        case PageProgress:
            ConfirmCancel();
            break;
        case PageFinish:
            OnFinishButton(IDC_BUTTON_RIGHT);
            break;
        default:
            Close();
            break;
        }
        return true;
    }
    if (wParam == IDC_BUTTON_LEFT)
    {
        if (m_nPage == PageLicense)
        {
            SetPage(PageProgress);
            ResumeWorkers();
        }
        else if (m_nPage == PageFinish)
        {
            OnFinishButton(IDC_BUTTON_LEFT);
        }
        return true;
    }
    if (wParam == IDC_PRINT)
    {
        PrintLicense();
        return true;
    }
    if (HIWORD(wParam) == CBN_SELENDOK)
    {
        OnCountryChanged();
        return true;
    }
    return false;
}

INT_PTR CALLBACK WizardDialogProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
    switch (uMessage)
    {
    case WM_INITDIALOG:
        g_pWizard = reinterpret_cast<CSetupWizard*>(lParam);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    case WM_LBUTTONDOWN:
        PostMessageW(hWnd, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
        return FALSE;
    case WM_LBUTTONUP:
        PostMessageW(hWnd, WM_NCLBUTTONUP, HTCAPTION, lParam);
        return FALSE;
    default:
        break;
    }
    CSetupWizard* pWizard = g_pWizard;
    if (!pWizard)
    {
        return FALSE;
    }
    switch (uMessage)
    {
    case WM_COMMAND:
        return pWizard->OnCommand(wParam) ? TRUE : FALSE;
    case WM_TIMER:
        if (wParam == IDT_FILL_LICENSE)
        {
            pWizard->FillLicensePage(hWnd);
        }
        return FALSE;
    case WM_SETUP_UPDATE:
        pWizard->RefreshStatus();
        return TRUE;
    case WM_SETUP_DONE:
        pWizard->OnSetupDone();
        return TRUE;
    case WM_SETCURSOR:
    {
        WORD wHitTest = LOWORD(lParam);
        bool fOverLeftButton = reinterpret_cast<HWND>(wParam) == GetDlgItem(hWnd, IDC_BUTTON_LEFT);
        if (pWizard->m_nPage == PageProgress && !fOverLeftButton && wHitTest != HTCAPTION && wHitTest != HTMINBUTTON)
        {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    }
    case WM_CLOSE:
        pWizard->OnCloseRequest();
        return FALSE;
    default:
        return FALSE;
    }
}
