#pragma once
#include <windows.h>

enum TrustResult : int
{
    TrustOk = 0,
    TrustFailed = 1,
    TrustNotChecked = 2,
};

// Compares the signer of szPackage with the setup's own signer.
TrustResult VerifySignatures(LPCWSTR szSetupExe, LPCWSTR szPackage);
