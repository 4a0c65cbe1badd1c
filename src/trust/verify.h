#pragma once
#include <windows.h>
#include <wincrypt.h>

enum TrustResult : int
{
    TrustNotChecked = 0,
    TrustOk = 1,
    TrustFailed = 2,
};

// One WinVerifyTrust verification of a file. The signed flag and the
// signer certificate (owned by the caller) are optional outputs.
TrustResult VerifyFileTrust(LPCWSTR szFile, DWORD dwUIChoice, bool* pfSigned, PCCERT_CONTEXT* ppSigner);
// Compares the signer of szPackage with the setup's own signer and shows
// the platform's trust dialog as the comparison decides.
TrustResult VerifySignatures(LPCWSTR szSetupExe, LPCWSTR szPackage);
// The trust answer of one verification, from WinVerifyTrust's result.
TrustResult GetTrustResult(LONG lAnswer);
