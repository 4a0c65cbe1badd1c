#include "ui/wizard.h"
#include "app/restart.h"
#include "diag/msgbox.h"
#include "engine/workers.h"
#include <commctrl.h>

CSetupWizard* g_pWizard = nullptr;
HMODULE g_hRichEditModule = nullptr;
std::atomic<time_t> g_tSplashShown{0};

namespace
{
constexpr UINT c_uRedrawAll = RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME;
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
      m_fEnoughDiskSpace(true), m_hInstallThread(nullptr), m_hDownloadThread(nullptr), m_fRestart(false),
      m_fPackageFailed(false), m_pPackages(nullptr), m_pInstalling(nullptr), m_nPage(PageLicense),
      m_hBackground(nullptr)
{
}

bool CSetupWizard::Init(HINSTANCE hInstance)
{
    g_hRichEditModule = LoadLibraryW(L"RICHED20.DLL");
    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0x0FFFFFFF};
    InitCommonControlsEx(&icc);
    m_hWndParent = nullptr;
    m_hInstance = hInstance;
    if (!m_hWnd.load())
    {
        CreatePage(IDD_SPLASH, IDB_SPLASH);
        RedrawWindow(m_hWnd.load(), nullptr, nullptr, c_uRedrawAll);
        g_tSplashShown.store(time(nullptr));
    }
    return true;
}

void CSetupWizard::CreatePage(UINT nTemplate, UINT)
{
    RECT rcOld = {};
    HWND hWndOld = m_hWnd.load();
    if (hWndOld)
    {
        GetWindowRect(hWndOld, &rcOld);
        ShowWindow(hWndOld, SW_HIDE);
    }
    HWND hWnd = CreateDialogParamW(m_hInstance, MAKEINTRESOURCEW(nTemplate), m_hWndParent, WizardDialogProc,
                                   reinterpret_cast<LPARAM>(this));
    m_hWnd.store(hWnd);
    if (!hWnd)
    {
        return;
    }
    WCHAR szTitle[c_cchText] = {};
    LoadStringW(m_hInstance, IDS_TITLE, szTitle, c_cchText);
    SetWindowTextW(hWnd, szTitle);
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
    ShowWindow(hWnd, SW_SHOW);
}

void CSetupWizard::SetPage(WizardPage nPage)
{
    CRestartRegistration restart;
    m_nPage = nPage;
    switch (nPage)
    {
    case PageLicense:
    {
        CreatePage(IDD_LICENSE, IDB_PAGE);
        HWND hWnd = m_hWnd.load();
        m_hLicenseText = GetDlgItem(hWnd, IDC_LICENSE_TEXT);
        m_hCountryCombo = GetDlgItem(hWnd, IDC_COUNTRY);
        SetFocus(GetDlgItem(hWnd, IDC_BUTTON_LEFT));
        SetForegroundWindow(hWnd);
        RedrawWindow(hWnd, nullptr, nullptr, c_uRedrawAll);
        break;
    }
    case PageProgress:
    {
        CreatePage(IDD_PROGRESS, IDB_PAGE);
        HWND hWnd = m_hWnd.load();
        restart.Register();
        ShowWindow(GetDlgItem(hWnd, IDC_PROGRESS), SW_SHOW);
        ShowWindow(GetDlgItem(hWnd, IDC_BUTTON_LEFT), SW_HIDE);
        RedrawWindow(hWnd, nullptr, nullptr, c_uRedrawAll);
        break;
    }
    case PageFinish:
    {
        CreatePage(IDD_FINISH, IDB_PAGE);
        HWND hWnd = m_hWnd.load();
        restart.Unregister();
        ShowWindow(hWnd, SW_RESTORE);
        RefreshStatus();
        SetButtonText(hWnd, IDC_BUTTON_RIGHT, m_hInstance, IDS_BUTTON_CLOSE);
        break;
    }
    }
}

void CSetupWizard::Start(HANDLE hInstallThread, HANDLE hDownloadThread, CPackageInfo* pPackages)
{
    m_hInstallThread = hInstallThread;
    m_hDownloadThread = hDownloadThread;
    m_pPackages = pPackages;
    // Keep the splash up, and responsive, until it has been seen long enough.
    while (time(nullptr) - g_tSplashShown.load() < SPLASH_SECONDS)
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
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
        if (!IsDialogMessageW(msg.hwnd, &msg))
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void CSetupWizard::RefreshStatus()
{
}

void CSetupWizard::Close()
{
    m_fCancelled.store(true);
    HWND hWnd = m_hWnd.exchange(nullptr);
    if (hWnd)
    {
        DestroyWindow(hWnd);
    }
    m_hInstance = nullptr;
}

HWND CSetupWizard::GetOwnerWindow() const
{
    HWND hWnd = m_hWnd.load();
    return hWnd ? hWnd : m_hWndParent;
}

bool CSetupWizard::IsCancelled() const
{
    return m_fCancelled.load() || m_fPackageFailed.load();
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
        if (wParam == IDC_BUTTON_RIGHT)
        {
            // Decline, and the finish page's closing button.
            if (pWizard->m_nPage != PageProgress)
            {
                pWizard->Close();
            }
            return TRUE;
        }
        if (wParam == IDC_BUTTON_LEFT)
        {
            if (pWizard->m_nPage == PageLicense)
            {
                pWizard->SetPage(PageProgress);
                pWizard->ResumeWorkers();
            }
            else if (pWizard->m_nPage == PageFinish)
            {
                pWizard->Close();
            }
            return TRUE;
        }
        return FALSE;
    case WM_SETUP_UPDATE:
        pWizard->RefreshStatus();
        return TRUE;
    case WM_SETUP_DONE:
        pWizard->SetPage(PageFinish);
        return TRUE;
    default:
        return FALSE;
    }
}
