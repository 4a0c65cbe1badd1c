#pragma once
#include "engine/steps.h"
#include <urlmon.h>

// Progress callback of one transfer: drives the wizard's bar and aborts the
// transfer once the run is stopped.
class CDownloadBindStatusCallback final : public IBindStatusCallback
{
public:
    explicit CDownloadBindStatusCallback(CSetupWizard* pWizard);

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

    CSetupWizard* m_pWizard;
    LONG m_cRef;
    ULONG m_ulLastProgress;

private:
    // Only Release ends the object.
    ~CDownloadBindStatusCallback() = default;
};

// The package file's URL: the base URL, a "/" unless it already ends in
// one, and the relative path unchanged. False when it does not fit.
bool ComposePackageUrl(LPCWSTR szBaseUrl, LPCWSTR szInstall, LPWSTR szUrl, size_t cchUrl);
