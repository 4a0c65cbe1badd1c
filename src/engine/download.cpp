#include "engine/download.h"
#include "diag/heapstr.h"
#include "diag/msgbox.h"
#include "diag/safestr.h"
#include "diag/trace.h"
#include "engine/workers.h"
#include "platform/urlservice.h"
#include "ui/wizard.h"
#include <new>

namespace
{
// {B506A5D1-9716-4F35-8ED5-9ECB0E9A55F8}
const IID c_iidOwnCallback = {0xB506A5D1, 0x9716, 0x4F35, {0x8E, 0xD5, 0x9E, 0xCB, 0x0E, 0x9A, 0x55, 0xF8}};

// Releases the callback's first reference when the transfer is over.
class CCallbackOwner
{
public:
    explicit CCallbackOwner(CDownloadBindStatusCallback* p) : m_p(p) {}
    ~CCallbackOwner()
    {
        if (m_p)
        {
            m_p->Release();
        }
    }
    CCallbackOwner(const CCallbackOwner&) = delete;
    CCallbackOwner& operator=(const CCallbackOwner&) = delete;
    CDownloadBindStatusCallback* Get() const { return m_p; }

private:
    CDownloadBindStatusCallback* m_p;
};

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

CDownloadBindStatusCallback::CDownloadBindStatusCallback(CSetupWizard* pWizard)
    : m_pWizard(pWizard), m_cRef(1), m_ulLastProgress(0)
{
    m_pWizard->StartMarquee();
}

STDMETHODIMP CDownloadBindStatusCallback::QueryInterface(REFIID riid, void** ppvObject)
{
    if (!ppvObject)
    {
        return E_INVALIDARG;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, c_iidOwnCallback))
    {
        *ppvObject = this;
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

STDMETHODIMP CDownloadBindStatusCallback::OnStartBinding(DWORD, IBinding*)
{
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
                                                     LPCWSTR)
{
    if (m_pWizard->IsCancelled())
    {
        return E_ABORT;
    }
    if (m_pWizard->m_pInstalling.load())
    {
        return S_OK;
    }
    switch (ulStatusCode)
    {
    case BINDSTATUS_BEGINDOWNLOADDATA:
        m_pWizard->StopMarquee();
        m_pWizard->ResetProgress(static_cast<int>(ulProgressMax));
        m_ulLastProgress = 0;
        // The first piece of data counts too.
        [[fallthrough]];
    case BINDSTATUS_DOWNLOADINGDATA:
    {
        ULONG ulDelta = ulProgress - m_ulLastProgress;
        m_ulLastProgress = ulProgress;
        if (ulDelta != 0)
        {
            m_pWizard->AdvanceProgress(static_cast<int>(ulDelta));
        }
        break;
    }
    case BINDSTATUS_ENDDOWNLOADDATA:
    {
        ULONG ulDelta = ulProgressMax - m_ulLastProgress;
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

bool ComposePackageUrl(LPCWSTR szBaseUrl, LPCWSTR szInstall, LPWSTR szUrl, size_t cchUrl)
{
    LPCWSTR szBase = szBaseUrl ? szBaseUrl : L"";
    size_t cchBase = wcslen(szBase);
    bool fHasSlash = cchBase != 0 && szBase[cchBase - 1] == L'/';
    return SUCCEEDED(SafeCopy(szUrl, cchUrl, szBase)) && (fHasSlash || SUCCEEDED(SafeAppend(szUrl, cchUrl, L"/"))) &&
           SUCCEEDED(SafeAppend(szUrl, cchUrl, szInstall));
}

DWORD DownloadPackage(CPackageInfo* pPackage, HINSTANCE hInstance, LPWSTR* pszLocalFile, CSetupWizard* pWizard)
{
    if (!pPackage->szInstall || pPackage->szInstall[0] == L'\0')
    {
        return ERROR_SUCCESS;
    }
    pPackage->nStatus.store(StatusDownloading);
    pWizard->PostNotify(WM_SETUP_UPDATE, 0);

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
    CHeapString strCanonical;
    DWORD dwResult = CanonicalizePackageUrl(strUrl.Get(), cchComposed, strCanonical);
    if (dwResult == ERROR_OUTOFMEMORY)
    {
        return ERROR_OUTOFMEMORY;
    }
    if (dwResult != ERROR_SUCCESS)
    {
        ReportSystemError(hInstance, pWizard->GetOwnerWindow(), nullptr, IDS_INVALID_PATH, strUrl.Get());
        return dwResult;
    }
    CHeapString strCachePath(AllocString(MAX_PATH));
    CCallbackOwner callback(new (std::nothrow) CDownloadBindStatusCallback(pWizard));
    if (!strCachePath.Get() || !callback.Get())
    {
        return ERROR_OUTOFMEMORY;
    }
    HRESULT hr = DownloadUrlToCacheFile(strCanonical.Get(), strCachePath.Get(), callback.Get());
    if (pWizard->IsCancelled())
    {
        ReportCancelled(hInstance, pWizard->GetOwnerWindow());
        return ERROR_INSTALL_USEREXIT;
    }
    // An error page must never be taken for the package.
    if (SUCCEEDED(hr) && GetCachedHttpStatus(strCanonical.Get()) >= 400)
    {
        DropCachedUrl(strCanonical.Get());
        hr = INET_E_DOWNLOAD_FAILURE;
    }
    if (FAILED(hr))
    {
        ReportErrorById(hInstance, pWizard->GetOwnerWindow(), nullptr, IDS_DOWNLOAD_FAILED);
        return ERROR_FILE_NOT_FOUND;
    }
    DebugMsg(L"[Info] Msi file was cached to %s\n", strCachePath.Get());
    size_t cchResult = wcslen(strCachePath.Get()) + 2;
    LPWSTR szResult = AllocString(cchResult);
    if (!szResult)
    {
        return ERROR_OUTOFMEMORY;
    }
    SafeCopy(szResult, cchResult, strCachePath.Get());
    *pszLocalFile = szResult;
    return ERROR_SUCCESS;
}
