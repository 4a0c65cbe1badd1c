#include "engine/download.h"
#include "diag/heapstr.h"
#include "diag/msgbox.h"
#include "diag/safestr.h"
#include "diag/setuplog.h"
#include "diag/trace.h"
#include "engine/layout.h"
#include "engine/payload.h"
#include "engine/workers.h"
#include "platform/overrides.h"
#include "platform/owners.h"
#include "platform/urlservice.h"
#include "ui/wizard.h"
#include <new>
#include <wininet.h>

namespace
{
// What the watchdog of one thread knows while a transfer runs there: the
// transfer it checks, and the notification window's own procedure while
// the watchdog listens on that window. Lives in a slot of the thread.
struct WatchdogState
{
    CDownloadBindStatusCallback* pTransfer;
    WNDPROC pfnNotifyProc;
};
// Taken before any thread of the process exists.
const DWORD g_dwWatchdogSlot = TlsAlloc();

WatchdogState* GetWatchdogState()
{
    return g_dwWatchdogSlot == TLS_OUT_OF_INDEXES ? nullptr
                                                  : static_cast<WatchdogState*>(TlsGetValue(g_dwWatchdogSlot));
}

constexpr UINT c_uWatchdogMs = 200;

// The watchdog's tick, in the range of private messages that the URL
// service's wait serves, and clear of the ones it uses itself.
constexpr UINT c_uWatchdogTick = WM_USER + 60;

// Runs on the transfer's own thread, where the binding may be aborted.
void CheckWatchedTransfer()
{
    WatchdogState* pState = GetWatchdogState();
    if (pState && pState->pTransfer)
    {
        pState->pTransfer->CheckTransfer();
    }
}

VOID CALLBACK WatchTransfer(HWND, UINT, UINT_PTR, DWORD)
{
    CheckWatchedTransfer();
}

// While it waits for the server, the URL service serves only its own
// notification window on the calling thread. Null when it has none.
HWND FindUrlNotifyWindow()
{
    const DWORD dwThreadId = GetCurrentThreadId();
    HWND hWnd = nullptr;
    while ((hWnd = FindWindowExW(HWND_MESSAGE, hWnd, L"URL Moniker Notification Window", nullptr)) != nullptr)
    {
        if (GetWindowThreadProcessId(hWnd, nullptr) == dwThreadId)
        {
            return hWnd;
        }
    }
    return nullptr;
}

LRESULT CALLBACK WatchNotifyWindow(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
    if (uMessage == c_uWatchdogTick)
    {
        CheckWatchedTransfer();
        return 0;
    }
    WatchdogState* pState = GetWatchdogState();
    return pState && pState->pfnNotifyProc ? CallWindowProcW(pState->pfnNotifyProc, hWnd, uMessage, wParam, lParam)
                                           : DefWindowProcW(hWnd, uMessage, wParam, lParam);
}

constexpr SIZE_T c_cbWakerStack = 64 * 1024;

// Wakes the transfer's wait a few times a second, so that the watchdog's
// timer is served while nothing arrives.
class CWatchdogWaker
{
public:
    explicit CWatchdogWaker(const CDownloadBindStatusCallback* pCallback)
        : m_pCallback(pCallback), m_hStop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_hThread(m_hStop ? CreateThread(nullptr, c_cbWakerStack, Run, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr) : nullptr)
    {
    }
    ~CWatchdogWaker()
    {
        if (m_hThread)
        {
            SetEvent(m_hStop);
            WaitForSingleObject(m_hThread, INFINITE);
            CloseHandle(m_hThread);
        }
        if (m_hStop)
        {
            CloseHandle(m_hStop);
        }
    }
    CWatchdogWaker(const CWatchdogWaker&) = delete;
    CWatchdogWaker& operator=(const CWatchdogWaker&) = delete;

private:
    static DWORD WINAPI Run(LPVOID pvThis)
    {
        auto* pThis = static_cast<CWatchdogWaker*>(pvThis);
        while (WaitForSingleObject(pThis->m_hStop, c_uWatchdogMs) == WAIT_TIMEOUT)
        {
            HWND hWnd = pThis->m_pCallback->GetNotifyWindow();
            if (hWnd)
            {
                PostMessageW(hWnd, c_uWatchdogTick, 0, 0);
            }
        }
        return 0;
    }

    const CDownloadBindStatusCallback* m_pCallback;
    HANDLE m_hStop;
    HANDLE m_hThread;
};

// {B506A5D1-9716-4F35-8ED5-9ECB0E9A55F8}
const IID c_iidOwnCallback = {0xB506A5D1, 0x9716, 0x4F35, {0x8E, 0xD5, 0x9E, 0xCB, 0x0E, 0x9A, 0x55, 0xF8}};

// Releases the callback's first reference when the transfer is over.
using CCallbackOwner = CInterfaceOwner<CDownloadBindStatusCallback>;

// Canonicalises the composed URL into an owned buffer; the platform's code
// on failure.
DWORD CanonicalizePackageUrl(LPCWSTR szUrl, size_t cchComposed, CHeapString& strCanonical)
{
    DWORD cchCanonical = static_cast<DWORD>(cchComposed * 2);
    strCanonical.Reset(AllocString(cchCanonical));
    if (!strCanonical.Get())
    {
        return ERROR_OUTOFMEMORY;
    }
    DWORD dwResult = CanonicalizeUrl(szUrl, strCanonical.Get(), &cchCanonical);
    if (dwResult == ERROR_INSUFFICIENT_BUFFER)
    {
        strCanonical.Reset(AllocString(cchCanonical));
        if (!strCanonical.Get())
        {
            return ERROR_OUTOFMEMORY;
        }
        // A second shortage is a failure like any other.
        dwResult = CanonicalizeUrl(szUrl, strCanonical.Get(), &cchCanonical);
    }
    return dwResult;
}
}

CDownloadBindStatusCallback::CDownloadBindStatusCallback(CSetupWizard* pWizard, bool fShowProgress)
    : m_pWizard(pWizard), m_cRef(1), m_ulLastProgress(0), m_pBinding(nullptr), m_hWndNotify(nullptr), m_dwHttpStatus(0),
      m_ullLastActivity(GetTickCount64()), m_fStalled(false), m_fShowProgress(fShowProgress && pWizard),
      m_nProgressShift(0), m_szStartUrl(nullptr), m_nRefusal(TransportRefusalNone), m_dwSecurityProblem(0)
{
    if (m_fShowProgress)
    {
        m_pWizard->StartMarquee();
    }
}

bool CDownloadBindStatusCallback::IsStopped() const
{
    return m_nRefusal != TransportRefusalNone || (m_pWizard && m_pWizard->IsCancelled());
}

void CDownloadBindStatusCallback::Refuse(TransportRefusal nRefusal, DWORD dwProblem, LPCWSTR szRedirect)
{
    if (m_nRefusal != TransportRefusalNone)
    {
        return;
    }
    m_nRefusal = nRefusal;
    m_dwSecurityProblem = dwProblem;
    if (szRedirect)
    {
        m_strRedirect.Reset(DuplicateString(szRedirect));
    }
}

int GetProgressShift(ULONG ulMax)
{
    int nShift = 0;
    while ((ulMax >> nShift) > 0x7FFFFFFFul)
    {
        ++nShift;
    }
    return nShift;
}

CDownloadBindStatusCallback::~CDownloadBindStatusCallback()
{
    if (m_pBinding)
    {
        m_pBinding->Release();
        m_pBinding = nullptr;
    }
}

STDMETHODIMP CDownloadBindStatusCallback::QueryInterface(REFIID riid, void** ppvObject)
{
    if (!ppvObject)
    {
        return E_INVALIDARG;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, c_iidOwnCallback))
    {
        *ppvObject = static_cast<IBindStatusCallback*>(this);
        AddRef();
        return S_OK;
    }
    if (IsEqualIID(riid, IID_IHttpNegotiate))
    {
        *ppvObject = static_cast<IHttpNegotiate*>(this);
        AddRef();
        return S_OK;
    }
    if (IsEqualIID(riid, IID_IServiceProvider))
    {
        *ppvObject = static_cast<IServiceProvider*>(this);
        AddRef();
        return S_OK;
    }
    if (IsEqualIID(riid, IID_IHttpSecurity) || IsEqualIID(riid, IID_IWindowForBindingUI))
    {
        *ppvObject = static_cast<IHttpSecurity*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CDownloadBindStatusCallback::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CDownloadBindStatusCallback::Release()
{
    LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0)
    {
        delete this;
    }
    return static_cast<ULONG>(cRef);
}

STDMETHODIMP CDownloadBindStatusCallback::OnStartBinding(DWORD, IBinding* pBinding)
{
    if (pBinding && !m_pBinding)
    {
        m_pBinding = pBinding;
        m_pBinding->AddRef();
    }
    NoteActivity();
    WatchdogState* pState = GetWatchdogState();
    HWND hWndNotify = pState ? FindUrlNotifyWindow() : nullptr;
    if (hWndNotify && !m_hWndNotify.load() && !pState->pfnNotifyProc)
    {
        pState->pfnNotifyProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(hWndNotify, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchNotifyWindow)));
        if (pState->pfnNotifyProc)
        {
            m_hWndNotify.store(hWndNotify);
        }
    }
    return S_OK;
}

STDMETHODIMP CDownloadBindStatusCallback::GetPriority(LONG*)
{
    return S_OK;
}

STDMETHODIMP CDownloadBindStatusCallback::OnLowResource(DWORD)
{
    return S_OK;
}

STDMETHODIMP CDownloadBindStatusCallback::OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                                                     LPCWSTR szStatusText)
{
    if (ulStatusCode == BINDSTATUS_REDIRECTING && IsDowngradeRedirect(m_szStartUrl, szStatusText))
    {
        Refuse(TransportRefusalDowngrade, 0, szStatusText);
    }
    if (ulStatusCode == BINDSTATUS_BEGINDOWNLOADDATA)
    {
        CheckArrivalUrl();
    }
    bool fStopped = IsStopped();
    // Noted after the test, which may have held the thread at the cancel
    // question: that wait is no silence of the server.
    NoteActivity();
    if (fStopped)
    {
        return E_ABORT;
    }
    if (!m_fShowProgress || m_pWizard->m_pInstalling.load())
    {
        return S_OK;
    }
    switch (ulStatusCode)
    {
    case BINDSTATUS_BEGINDOWNLOADDATA:
        m_pWizard->StopMarquee();
        m_nProgressShift = GetProgressShift(ulProgressMax);
        m_pWizard->ResetProgress(static_cast<int>(ulProgressMax >> m_nProgressShift));
        m_ulLastProgress = 0;
        // The first piece of data counts too.
        [[fallthrough]];
    case BINDSTATUS_DOWNLOADINGDATA:
    {
        ULONG ulDelta = (ulProgress >> m_nProgressShift) - (m_ulLastProgress >> m_nProgressShift);
        m_ulLastProgress = ulProgress;
        if (ulDelta != 0)
        {
            m_pWizard->AdvanceProgress(static_cast<int>(ulDelta));
        }
        break;
    }
    case BINDSTATUS_ENDDOWNLOADDATA:
    {
        ULONG ulDelta = (ulProgressMax >> m_nProgressShift) - (m_ulLastProgress >> m_nProgressShift);
        if (ulDelta != 0)
        {
            m_pWizard->AdvanceProgress(static_cast<int>(ulDelta));
        }
        break;
    }
    default:
        break;
    }
    return S_OK;
}

STDMETHODIMP CDownloadBindStatusCallback::OnStopBinding(HRESULT, LPCWSTR)
{
    if (m_pBinding)
    {
        m_pBinding->Release();
        m_pBinding = nullptr;
    }
    return S_OK;
}

STDMETHODIMP CDownloadBindStatusCallback::GetBindInfo(DWORD*, BINDINFO*)
{
    return S_OK;
}

STDMETHODIMP CDownloadBindStatusCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*)
{
    return S_OK;
}

STDMETHODIMP CDownloadBindStatusCallback::OnObjectAvailable(REFIID, IUnknown*)
{
    return S_OK;
}

STDMETHODIMP CDownloadBindStatusCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* pszAdditionalHeaders)
{
    if (pszAdditionalHeaders)
    {
        *pszAdditionalHeaders = nullptr;
    }
    return S_OK;
}

STDMETHODIMP CDownloadBindStatusCallback::OnResponse(DWORD dwResponseCode, LPCWSTR, LPCWSTR,
                                                     LPWSTR* pszAdditionalRequestHeaders)
{
    if (pszAdditionalRequestHeaders)
    {
        *pszAdditionalRequestHeaders = nullptr;
    }
    m_dwHttpStatus = dwResponseCode;
    NoteActivity();
    return S_OK;
}

void CDownloadBindStatusCallback::CheckArrivalUrl()
{
    // Some URL services follow redirects without a word; the address the
    // data really comes from is asked of the request itself.
    if (!m_pBinding || !IsSecureUrl(m_szStartUrl))
    {
        return;
    }
    IWinInetInfo* pInfo = nullptr;
    if (FAILED(m_pBinding->QueryInterface(IID_IWinInetInfo, reinterpret_cast<void**>(&pInfo))) || !pInfo)
    {
        return;
    }
    CInterfaceOwner<IWinInetInfo> info(pInfo);
    WCHAR szUrl[INTERNET_MAX_URL_LENGTH] = {};
    DWORD cbUrl = sizeof(szUrl) - sizeof(WCHAR);
    if (info.Get()->QueryOption(INTERNET_OPTION_URL, szUrl, &cbUrl) == S_OK && IsDowngradeRedirect(m_szStartUrl, szUrl))
    {
        Refuse(TransportRefusalDowngrade, 0, szUrl);
    }
}

STDMETHODIMP CDownloadBindStatusCallback::QueryService(REFGUID guidService, REFIID riid, void** ppv)
{
    if (IsEqualGUID(guidService, IID_IHttpSecurity) || IsEqualGUID(guidService, IID_IWindowForBindingUI) ||
        IsEqualGUID(guidService, IID_IHttpNegotiate))
    {
        return QueryInterface(riid, ppv);
    }
    if (ppv)
    {
        *ppv = nullptr;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP CDownloadBindStatusCallback::GetWindow(REFGUID, HWND* phwnd)
{
    // No window: the service may not ask the user to accept what failed.
    if (phwnd)
    {
        *phwnd = nullptr;
    }
    return S_FALSE;
}

STDMETHODIMP CDownloadBindStatusCallback::OnSecurityProblem(DWORD dwProblem)
{
    Refuse(IsDowngradeProblem(dwProblem) ? TransportRefusalDowngrade : TransportRefusalCertificate, dwProblem, nullptr);
    return E_ABORT;
}

void CDownloadBindStatusCallback::CheckTransfer()
{
    if (!m_pBinding)
    {
        return;
    }
    // The stall clock starts again when the cancel question lets the
    // thread go.
    if (m_pWizard && m_pWizard->HoldWorkerIfAsked())
    {
        NoteActivity();
    }
    bool fStopped = IsStopped();
    if (!fStopped && GetTickCount64() - m_ullLastActivity < g_overrides.dwStallTimeoutMs)
    {
        return;
    }
    if (!fStopped)
    {
        m_fStalled = true;
        DebugMsgInt(L"[Error] The transfer received nothing for %d ms\n", static_cast<int>(g_overrides.dwStallTimeoutMs));
    }
    // The binding goes with the abort, so it is aborted once.
    IBinding* pBinding = m_pBinding;
    m_pBinding = nullptr;
    pBinding->Abort();
    pBinding->Release();
}

namespace
{
bool IsHttpError(DWORD dwStatus)
{
    return dwStatus >= 400;
}

// Waits between attempts; false as soon as the run is stopped.
bool PauseUnlessStopped(CSetupWizard* pWizard, DWORD dwPauseMs)
{
    const ULONGLONG ullEnd = GetTickCount64() + dwPauseMs;
    while (!pWizard->IsCancelled())
    {
        ULONGLONG ullNow = GetTickCount64();
        if (ullNow >= ullEnd)
        {
            return true;
        }
        Sleep(static_cast<DWORD>(ullEnd - ullNow < 50 ? ullEnd - ullNow : 50));
    }
    return false;
}
}

namespace
{
// A transfer refused for its transport fails, whatever the service made of
// the abort, and whatever reached the cache over it is dropped.
HRESULT JudgeTransport(LPCWSTR szUrl, HRESULT hr, const CDownloadBindStatusCallback* pCallback)
{
    TransportRefusal nRefusal = pCallback->GetRefusal();
    if (nRefusal == TransportRefusalNone && hr == INET_E_INVALID_CERTIFICATE)
    {
        // The service refused the certificate without asking.
        nRefusal = TransportRefusalCertificate;
    }
    if (nRefusal == TransportRefusalNone)
    {
        return hr;
    }
    LogRefusedTransfer(szUrl, nRefusal, pCallback->GetSecurityProblem(), pCallback->GetRefusedRedirect());
    DropCachedUrl(szUrl);
    if (pCallback->GetRefusedRedirect()[0])
    {
        DropCachedUrl(pCallback->GetRefusedRedirect());
    }
    return nRefusal == TransportRefusalDowngrade ? INET_E_REDIRECT_FAILED : INET_E_INVALID_CERTIFICATE;
}
}

HRESULT DownloadWithWatchdog(LPCWSTR szUrl, LPWSTR szCachePath, CDownloadBindStatusCallback* pCallback)
{
    WatchdogState state = {pCallback, nullptr};
    WatchdogState* pOuter = GetWatchdogState();
    if (g_dwWatchdogSlot != TLS_OUT_OF_INDEXES)
    {
        TlsSetValue(g_dwWatchdogSlot, &state);
    }
    HRESULT hr = S_OK;
    pCallback->SetStartUrl(szUrl);
    {
        // A thread timer too, for a service that serves all of the thread's
        // messages while it waits.
        UINT_PTR idTimer = SetTimer(nullptr, 0, c_uWatchdogMs, WatchTransfer);
        CWatchdogWaker waker(pCallback);
        hr = DownloadUrlToCacheFile(szUrl, szCachePath, pCallback);
        if (idTimer)
        {
            KillTimer(nullptr, idTimer);
        }
    }
    // The window outlives the transfer on some systems; it gets its own
    // procedure back.
    HWND hWndNotify = pCallback->GetNotifyWindow();
    if (hWndNotify && state.pfnNotifyProc && IsWindow(hWndNotify))
    {
        SetWindowLongPtrW(hWndNotify, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state.pfnNotifyProc));
    }
    if (g_dwWatchdogSlot != TLS_OUT_OF_INDEXES)
    {
        TlsSetValue(g_dwWatchdogSlot, pOuter);
    }
    hr = JudgeTransport(szUrl, hr, pCallback);
    // An error page must never be taken for the file.
    if (SUCCEEDED(hr) && IsHttpError(pCallback->GetHttpStatus()))
    {
        DropCachedUrl(szUrl);
        hr = INET_E_DOWNLOAD_FAILURE;
    }
    if (SUCCEEDED(hr) && pCallback->HasStalled())
    {
        hr = INET_E_CONNECTION_TIMEOUT;
    }
    return hr;
}

HRESULT DownloadSmallFile(LPCWSTR szUrl, LPWSTR szCachePath, CSetupWizard* pWizard)
{
    std::wstring strLayoutFile;
    if (FindInLayoutSource(szUrl, &strLayoutFile))
    {
        // Read where it lies: nothing is written into a layout.
        DebugMsg(L"[Info] %s is taken from the layout\n", strLayoutFile.c_str());
        return SafeCopy(szCachePath, MAX_PATH, strLayoutFile.c_str());
    }
    CCallbackOwner callback(new (std::nothrow) CDownloadBindStatusCallback(pWizard, false));
    return callback.Get() ? DownloadWithWatchdog(szUrl, szCachePath, callback.Get()) : E_OUTOFMEMORY;
}

bool IsTransientDownloadFailure(HRESULT hr, DWORD dwHttpStatus, bool fStalled)
{
    if (fStalled || (dwHttpStatus >= 500 && dwHttpStatus < 600))
    {
        return true;
    }
    if (IsHttpError(dwHttpStatus))
    {
        return false;
    }
    switch (hr)
    {
    case INET_E_CONNECTION_TIMEOUT:
    case INET_E_CANNOT_CONNECT:
    case INET_E_DOWNLOAD_FAILURE:
    case INET_E_DATA_NOT_AVAILABLE:
    case HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT):
    case HRESULT_FROM_WIN32(ERROR_INTERNET_CANNOT_CONNECT):
    case HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_ABORTED):
    case HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_RESET):
        return true;
    default:
        return false;
    }
}

DWORD GetRetryPauseMs(int nAttempt)
{
    return static_cast<DWORD>(nAttempt > 0 ? nAttempt : 0) * 1000 * g_overrides.dwRetryPausePercent / 100;
}

bool ComposePackageUrl(LPCWSTR szBaseUrl, LPCWSTR szInstall, LPWSTR szUrl, size_t cchUrl)
{
    LPCWSTR szBase = szBaseUrl ? szBaseUrl : L"";
    size_t cchBase = wcslen(szBase);
    bool fHasSlash = cchBase != 0 && szBase[cchBase - 1] == L'/';
    return SUCCEEDED(SafeCopy(szUrl, cchUrl, szBase)) && (fHasSlash || SUCCEEDED(SafeAppend(szUrl, cchUrl, L"/"))) &&
           SUCCEEDED(SafeAppend(szUrl, cchUrl, szInstall));
}

namespace
{
// The package file's canonical URL; on failure its box is shown and the
// code returned.
DWORD PreparePackageUrl(const CPackageInfo* pPackage, HINSTANCE hInstance, CSetupWizard* pWizard,
                        CHeapString& strCanonical)
{
    LPCWSTR szBaseUrl = pPackage->szBaseUrl ? pPackage->szBaseUrl : L"";
    size_t cchComposed = wcslen(pPackage->szInstall) + wcslen(szBaseUrl) + 2;
    CHeapString strUrl(AllocString(cchComposed));
    if (!strUrl.Get())
    {
        return ERROR_OUTOFMEMORY;
    }
    if (!ComposePackageUrl(szBaseUrl, pPackage->szInstall, strUrl.Get(), cchComposed))
    {
        ReportErrorById(hInstance, pWizard->GetOwnerWindow(), nullptr, IDS_INTERNAL_ERROR);
        return ERROR_INSTALL_FAILURE;
    }
    DWORD dwResult = CanonicalizePackageUrl(strUrl.Get(), cchComposed, strCanonical);
    if (dwResult != ERROR_SUCCESS && dwResult != ERROR_OUTOFMEMORY)
    {
        ReportSystemError(hInstance, pWizard->GetOwnerWindow(), nullptr, IDS_INVALID_PATH, strUrl.Get());
    }
    return dwResult;
}
}

DWORD RefetchPackage(CPackageInfo* pPackage, HINSTANCE hInstance, LPWSTR* pszLocalFile, CSetupWizard* pWizard)
{
    CHeapString strCanonical;
    DWORD dwResult = PreparePackageUrl(pPackage, hInstance, pWizard, strCanonical);
    if (dwResult != ERROR_SUCCESS)
    {
        return dwResult;
    }
    DropCachedUrl(strCanonical.Get());
    return DownloadPackage(pPackage, hInstance, pszLocalFile, pWizard);
}

namespace
{
// Fetches the package's URL into the cache, trying passing faults again;
// 0 with the cached path, or the failure after its box.
DWORD TransferWithRetries(const CPackageInfo* pPackage, HINSTANCE hInstance, CSetupWizard* pWizard, LPCWSTR szUrl,
                          LPWSTR szCachePath)
{
    for (int nAttempt = 0;; ++nAttempt)
    {
        // A new callback per attempt, so the bar starts over.
        CCallbackOwner callback(new (std::nothrow) CDownloadBindStatusCallback(pWizard));
        if (!callback.Get())
        {
            return ERROR_OUTOFMEMORY;
        }
        HRESULT hr = DownloadWithWatchdog(szUrl, szCachePath, callback.Get());
        bool fStopped = pWizard->IsCancelled();
        DWORD dwHttpStatus = callback.Get()->GetHttpStatus();
        bool fRetry = !fStopped && FAILED(hr) && nAttempt < DOWNLOAD_RETRIES &&
                      IsTransientDownloadFailure(hr, dwHttpStatus, callback.Get()->HasStalled());
        if (fRetry)
        {
            WCHAR szLine[MAX_PATH * 2];
            SafeFormat(szLine, ARRAYSIZE(szLine), L"[Info] Download of %s failed (0x%08X, HTTP %u); attempt %d of %d follows\n",
                       szUrl, static_cast<unsigned>(hr), dwHttpStatus, nAttempt + 2, DOWNLOAD_RETRIES + 1);
            DebugMsg(L"%s", szLine);
            fStopped = !PauseUnlessStopped(pWizard, GetRetryPauseMs(nAttempt + 1));
        }
        if (fStopped)
        {
            ReportCancelled(hInstance, pWizard->GetOwnerWindow());
            return ERROR_INSTALL_USEREXIT;
        }
        if (SUCCEEDED(hr))
        {
            return ERROR_SUCCESS;
        }
        if (!fRetry)
        {
            if (pWizard->GetUiMode() != UiModeFull)
            {
                // A deployment tool's log reader has no box to look at.
                CSetupLog::Instance().Write(L"  Installation Error: %s could not be downloaded from %s (0x%08X, HTTP %u)\n",
                                            pPackage->szProductName ? pPackage->szProductName : L"", szUrl,
                                            static_cast<unsigned>(hr), dwHttpStatus);
            }
            ReportErrorById(hInstance, pWizard->GetOwnerWindow(), nullptr, IDS_DOWNLOAD_FAILED);
            return ERROR_FILE_NOT_FOUND;
        }
    }
}
}

DWORD DownloadPackage(CPackageInfo* pPackage, HINSTANCE hInstance, LPWSTR* pszLocalFile, CSetupWizard* pWizard)
{
    if (!pPackage->szInstall || pPackage->szInstall[0] == L'\0')
    {
        return ERROR_SUCCESS;
    }
    pPackage->nStatus.store(StatusDownloading);
    pWizard->PostNotify(WM_SETUP_UPDATE, 0);
    DWORD dwResult = RefuseUncheckedPackage(pPackage, hInstance, pWizard);
    if (dwResult != ERROR_SUCCESS)
    {
        return dwResult;
    }
    CHeapString strCanonical;
    dwResult = PreparePackageUrl(pPackage, hInstance, pWizard, strCanonical);
    if (dwResult != ERROR_SUCCESS)
    {
        return dwResult;
    }
    std::wstring strLayoutFile;
    if (FindInLayoutSource(strCanonical.Get(), &strLayoutFile))
    {
        // The install thread copies it into its working folder, as it
        // does a download, before it runs.
        DebugMsg(L"[Info] %s is taken from the layout\n", strLayoutFile.c_str());
        *pszLocalFile = DuplicateString(strLayoutFile.c_str());
        return *pszLocalFile ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
    }
    WCHAR szCachePath[MAX_PATH] = {};
    dwResult = TransferWithRetries(pPackage, hInstance, pWizard, strCanonical.Get(), szCachePath);
    if (dwResult != ERROR_SUCCESS)
    {
        return dwResult;
    }
    DebugMsg(L"[Info] Msi file was cached to %s\n", szCachePath);
    *pszLocalFile = DuplicateString(szCachePath);
    return *pszLocalFile ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
}
