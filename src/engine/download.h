#pragma once
#include "diag/heapstr.h"
#include "engine/steps.h"
#include "engine/transport.h"
#include <urlmon.h>
#include <atomic>

// Progress callback of one transfer: drives the wizard's bar and aborts the
// transfer once the run is stopped. It also hears the server's HTTP status,
// because some URL services store an error page as a successful download,
// and it keeps the binding, so that a transfer that receives nothing can
// still be ended. It answers the URL service's security questions itself:
// a bad certificate or a redirect out of https ends the transfer, and no
// box ever offers to go on.
class CDownloadBindStatusCallback final : public IBindStatusCallback,
                                          public IHttpNegotiate,
                                          public IServiceProvider,
                                          public IHttpSecurity
{
public:
    // Without fShowProgress (small files beside the packages) the bar is
    // left alone; a null wizard means a transfer that only stalls end.
    explicit CDownloadBindStatusCallback(CSetupWizard* pWizard, bool fShowProgress = true);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppvObject) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP OnStartBinding(DWORD dwReserved, IBinding* pBinding) override;
    STDMETHODIMP GetPriority(LONG* pnPriority) override;
    STDMETHODIMP OnLowResource(DWORD dwReserved) override;
    STDMETHODIMP OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode, LPCWSTR szStatusText) override;
    STDMETHODIMP OnStopBinding(HRESULT hresult, LPCWSTR szError) override;
    STDMETHODIMP GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo) override;
    STDMETHODIMP OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC* pformatetc, STGMEDIUM* pstgmed) override;
    STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* punk) override;
    STDMETHODIMP BeginningTransaction(LPCWSTR szUrl, LPCWSTR szHeaders, DWORD dwReserved,
                                      LPWSTR* pszAdditionalHeaders) override;
    STDMETHODIMP OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders, LPCWSTR szRequestHeaders,
                            LPWSTR* pszAdditionalRequestHeaders) override;
    STDMETHODIMP QueryService(REFGUID guidService, REFIID riid, void** ppv) override;
    STDMETHODIMP GetWindow(REFGUID rguidReason, HWND* phwnd) override;
    STDMETHODIMP OnSecurityProblem(DWORD dwProblem) override;

    // The address the transfer starts from, which redirects are judged by;
    // it outlives the transfer.
    void SetStartUrl(LPCWSTR szUrl) { m_szStartUrl = szUrl; }
    // Why the transfer was refused for its transport, if it was.
    TransportRefusal GetRefusal() const { return m_nRefusal; }
    // The URL service's problem code behind a refused certificate; 0 if none was given.
    DWORD GetSecurityProblem() const { return m_dwSecurityProblem; }
    // Where a refused redirect pointed; empty when unknown.
    LPCWSTR GetRefusedRedirect() const { return m_strRedirect.Get() ? m_strRedirect.Get() : L""; }

    // Ends the transfer when the run is stopped or nothing has arrived for
    // too long; called on the transfer's thread while it waits.
    void CheckTransfer();
    // The window that the watchdog's ticks reach; null until the binding started.
    HWND GetNotifyWindow() const { return m_hWndNotify.load(); }
    // Whether the transfer was ended because nothing arrived.
    bool HasStalled() const { return m_fStalled; }
    // The server's HTTP status; 0 when none was heard.
    DWORD GetHttpStatus() const { return m_dwHttpStatus; }

    CSetupWizard* m_pWizard;
    LONG m_cRef;
    ULONG m_ulLastProgress;

private:
    bool IsStopped() const;
    void Refuse(TransportRefusal nRefusal, DWORD dwProblem, LPCWSTR szRedirect);
    void CheckArrivalUrl();

    // Only Release ends the object.
    ~CDownloadBindStatusCallback();
    void NoteActivity() { m_ullLastActivity = GetTickCount64(); }

    IBinding* m_pBinding;
    // The URL service's notification window on this thread, which its
    // wait for the server keeps serving; the watchdog ticks there.
    std::atomic<HWND> m_hWndNotify;
    DWORD m_dwHttpStatus;
    ULONGLONG m_ullLastActivity;
    bool m_fStalled;
    bool m_fShowProgress;
    // Bits the byte counts are shifted by to fit the bar's int range.
    int m_nProgressShift;
    LPCWSTR m_szStartUrl;
    TransportRefusal m_nRefusal;
    DWORD m_dwSecurityProblem;
    CHeapString m_strRedirect;
};

// How far byte counts up to ulMax must be shifted right to fit the progress
// bar's range (a positive int).
int GetProgressShift(ULONG ulMax);

// Fetches a small file (the version file, the licence archive) into the
// browser cache under the same watchdog as the packages, without the bar.
HRESULT DownloadSmallFile(LPCWSTR szUrl, LPWSTR szCachePath, CSetupWizard* pWizard);

// Fetches a URL into the browser cache with the callback, ending a transfer
// that stalls or that the run stops. The result of URLDownloadToCacheFileW,
// or a failure when the server answered with an HTTP error.
HRESULT DownloadWithWatchdog(LPCWSTR szUrl, LPWSTR szCachePath, CDownloadBindStatusCallback* pCallback);

// Whether a failed transfer is worth another attempt: the connection failed
// or timed out, the transfer stalled, or the server had a passing fault (5xx).
bool IsTransientDownloadFailure(HRESULT hr, DWORD dwHttpStatus, bool fStalled);
// The pause before retry nAttempt (1-based), in milliseconds.
DWORD GetRetryPauseMs(int nAttempt);
constexpr int DOWNLOAD_RETRIES = 3;

// Drops the package file's cached copy and downloads it again.
DWORD RefetchPackage(CPackageInfo* pPackage, HINSTANCE hInstance, LPWSTR* pszLocalFile, CSetupWizard* pWizard);

// The package file's URL: the base URL, a "/" unless it already ends in
// one, and the relative path unchanged. False when it does not fit.
bool ComposePackageUrl(LPCWSTR szBaseUrl, LPCWSTR szInstall, LPWSTR szUrl, size_t cchUrl);
