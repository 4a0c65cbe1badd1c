#include "trust/verify.h"
#include "diag/trace.h"
#include "platform/owners.h"
#include <softpub.h>
#include <wintrust.h>

namespace
{
using PFN_WIN_VERIFY_TRUST = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using PFN_PROV_DATA_FROM_STATE = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using PFN_PROV_SIGNER_FROM_CHAIN = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using PFN_PROV_CERT_FROM_CHAIN = CRYPT_PROVIDER_CERT*(WINAPI*)(CRYPT_PROVIDER_SGNR*, DWORD);
using PFN_DUPLICATE_CERT = PCCERT_CONTEXT(WINAPI*)(PCCERT_CONTEXT);
using PFN_COMPARE_CERT = BOOL(WINAPI*)(DWORD, PCERT_INFO, PCERT_INFO);
using PFN_FREE_CERT = BOOL(WINAPI*)(PCCERT_CONTEXT);
CHECK_EXPORT_TYPE(PFN_WIN_VERIFY_TRUST, WinVerifyTrust);
CHECK_EXPORT_TYPE(PFN_PROV_DATA_FROM_STATE, WTHelperProvDataFromStateData);
CHECK_EXPORT_TYPE(PFN_PROV_SIGNER_FROM_CHAIN, WTHelperGetProvSignerFromChain);
CHECK_EXPORT_TYPE(PFN_PROV_CERT_FROM_CHAIN, WTHelperGetProvCertFromChain);
CHECK_EXPORT_TYPE(PFN_DUPLICATE_CERT, CertDuplicateCertificateContext);
CHECK_EXPORT_TYPE(PFN_COMPARE_CERT, CertCompareCertificate);
CHECK_EXPORT_TYPE(PFN_FREE_CERT, CertFreeCertificateContext);

PCCERT_CONTEXT DuplicateSigner(PFN_PROV_DATA_FROM_STATE pfnData, PFN_PROV_SIGNER_FROM_CHAIN pfnSigner,
                               PFN_PROV_CERT_FROM_CHAIN pfnCert, HANDLE hState)
{
    CRYPT_PROVIDER_DATA* pData = pfnData(hState);
    CRYPT_PROVIDER_SGNR* pSigner = pData ? pfnSigner(pData, 0, FALSE, 0) : nullptr;
    CRYPT_PROVIDER_CERT* pCert = pSigner ? pfnCert(pSigner, 0) : nullptr;
    if (!pCert || !pCert->pCert)
    {
        return nullptr;
    }
    CLoadedLibrary crypt(L"crypt32.dll");
    auto pfnDuplicate = crypt.Get() ? LookupExport<PFN_DUPLICATE_CERT>(crypt.Get(), "CertDuplicateCertificateContext")
                                    : nullptr;
    return pfnDuplicate ? pfnDuplicate(pCert->pCert) : nullptr;
}

const WCHAR* FormatFlag(bool f)
{
    return f ? L"TRUE" : L"FALSE";
}
}

TrustResult GetTrustResult(LONG lAnswer)
{
    if (lAnswer == TRUST_E_PROVIDER_UNKNOWN)
    {
        return TrustNotChecked;
    }
    return lAnswer == 0 ? TrustOk : TrustFailed;
}

TrustResult VerifyFileTrust(LPCWSTR szFile, DWORD dwUIChoice, bool* pfSigned, PCCERT_CONTEXT* ppSigner)
{
    if (pfSigned)
    {
        *pfSigned = false;
    }
    if (ppSigner)
    {
        *ppSigner = nullptr;
    }
    GUID guidAction = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = szFile;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = dwUIChoice;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = ppSigner ? WTD_STATEACTION_VERIFY : WTD_STATEACTION_IGNORE;

    CLoadedLibrary wintrust(L"wintrust.dll");
    if (!wintrust.Get())
    {
        return TrustNotChecked;
    }
    auto pfnVerify = LookupExport<PFN_WIN_VERIFY_TRUST>(wintrust.Get(), "WinVerifyTrust");
    auto pfnData = LookupExport<PFN_PROV_DATA_FROM_STATE>(wintrust.Get(), "WTHelperProvDataFromStateData");
    auto pfnSigner = LookupExport<PFN_PROV_SIGNER_FROM_CHAIN>(wintrust.Get(), "WTHelperGetProvSignerFromChain");
    auto pfnCert = LookupExport<PFN_PROV_CERT_FROM_CHAIN>(wintrust.Get(), "WTHelperGetProvCertFromChain");
    if (!pfnVerify || !pfnData || !pfnSigner || !pfnCert)
    {
        return TrustNotChecked;
    }
    // Without an interactive user the platform must not show anything.
    HWND hWnd = dwUIChoice == WTD_UI_NONE ? static_cast<HWND>(INVALID_HANDLE_VALUE) : nullptr;
    LONG lAnswer = pfnVerify(hWnd, &guidAction, &data);
    DebugMsgInt(L"[WVT] WVT returned 0x%X\n", static_cast<int>(lAnswer));
    TrustResult nResult = GetTrustResult(lAnswer);
    bool fSigned = lAnswer != TRUST_E_PROVIDER_UNKNOWN && lAnswer != TRUST_E_NOSIGNATURE;
    if (pfSigned && lAnswer != TRUST_E_PROVIDER_UNKNOWN)
    {
        *pfSigned = lAnswer != TRUST_E_NOSIGNATURE;
    }
    if (ppSigner)
    {
        if (fSigned)
        {
            *ppSigner = DuplicateSigner(pfnData, pfnSigner, pfnCert, data.hWVTStateData);
        }
        data.dwUIChoice = WTD_UI_NONE;
        data.dwStateAction = WTD_STATEACTION_CLOSE;
        pfnVerify(static_cast<HWND>(INVALID_HANDLE_VALUE), &guidAction, &data);
    }
    return nResult;
}

TrustResult VerifySignatures(LPCWSTR szSetupExe, LPCWSTR szPackage)
{
    CLoadedLibrary crypt(L"crypt32.dll");
    if (!crypt.Get())
    {
        return TrustNotChecked;
    }
    auto pfnCompare = LookupExport<PFN_COMPARE_CERT>(crypt.Get(), "CertCompareCertificate");
    auto pfnFree = LookupExport<PFN_FREE_CERT>(crypt.Get(), "CertFreeCertificateContext");
    if (!pfnCompare || !pfnFree)
    {
        return TrustNotChecked;
    }
    PCCERT_CONTEXT pSetupSigner = nullptr;
    PCCERT_CONTEXT pPackageSigner = nullptr;
    bool fSetupExeIsSigned = false;
    bool fPackageIsSigned = false;
    TrustResult nResult = TrustNotChecked;
    DWORD dwUIChoice = WTD_UI_ALL;

    DebugMsg(L"[WVT] step 1: silently call WinVerifyTrust on szSetupExe, ignoring return value\n");
    bool fChecked = VerifyFileTrust(szSetupExe, WTD_UI_NONE, &fSetupExeIsSigned, &pSetupSigner) != TrustNotChecked;
    if (fChecked)
    {
        DebugMsg(L"[WVT] fSetupExeIsSigned = %s\n", FormatFlag(fSetupExeIsSigned));
        if (fSetupExeIsSigned)
        {
            DebugMsg(L"[WVT] step2: silently call WinVerifyTrust on szPackage, ignoring return value\n");
            fChecked = VerifyFileTrust(szPackage, WTD_UI_NONE, &fPackageIsSigned, &pPackageSigner) != TrustNotChecked;
            if (fChecked)
            {
                DebugMsg(L"[WVT] fPackageIsSigned = %s\n", FormatFlag(fPackageIsSigned));
                if (fPackageIsSigned && pSetupSigner && pPackageSigner &&
                    pfnCompare(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, pSetupSigner->pCertInfo,
                               pPackageSigner->pCertInfo))
                {
                    dwUIChoice = WTD_UI_NOGOOD;
                }
            }
        }
    }
    if (fChecked)
    {
        DebugMsg(dwUIChoice == WTD_UI_NOGOOD
                     ? L"[WVT] step3: last call to WinVerifyTrust showing UI only if something is wrong\n"
                     : L"[WVT] step3: last call to WinVerifyTrust using full UI\n");
        nResult = VerifyFileTrust(szPackage, dwUIChoice, nullptr, nullptr);
    }
    if (pSetupSigner)
    {
        pfnFree(pSetupSigner);
    }
    if (pPackageSigner)
    {
        pfnFree(pPackageSigner);
    }
    return nResult;
}
