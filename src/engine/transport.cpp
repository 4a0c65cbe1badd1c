#include "engine/transport.h"
#include "diag/setuplog.h"
#include "diag/trace.h"
#include <wininet.h>

bool IsSecureUrl(LPCWSTR szUrl)
{
    return szUrl && _wcsnicmp(szUrl, L"https://", 8) == 0;
}

bool IsDowngradeRedirect(LPCWSTR szFrom, LPCWSTR szTo)
{
    // A relative location stays on the scheme it came from.
    bool fAbsolute = szTo && wcsstr(szTo, L"://") != nullptr;
    return IsSecureUrl(szFrom) && fAbsolute && !IsSecureUrl(szTo);
}

bool IsDowngradeProblem(DWORD dwProblem)
{
    return dwProblem == ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
}

LPCWSTR DescribeCertificateProblem(DWORD dwProblem)
{
    switch (dwProblem)
    {
    case ERROR_INTERNET_INVALID_CA:
        return L"is issued by an authority that this machine does not trust";
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        return L"has expired or is not valid yet";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        return L"is issued for another host name";
    case ERROR_INTERNET_SEC_CERT_REVOKED:
        return L"is revoked";
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
        return L"cannot be checked for revocation";
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
        return L"is asked of this machine, which has none";
    default:
        return L"is not valid";
    }
}

void LogRefusedTransfer(LPCWSTR szUrl, TransportRefusal nRefusal, DWORD dwProblem, LPCWSTR szRedirect)
{
    if (nRefusal == TransportRefusalDowngrade)
    {
        CSetupLog::Instance().Write(L"  Installation Error: %s was refused: the server redirected it to %s, which is "
                                    L"not https\n",
                                    szUrl, szRedirect && szRedirect[0] ? szRedirect : L"an address");
        DebugMsg(L"[Error] Refused a redirect out of https: %s\n", szUrl);
        return;
    }
    CSetupLog::Instance().Write(L"  Installation Error: %s was refused: the server's certificate %s (%u)\n", szUrl,
                                DescribeCertificateProblem(dwProblem), dwProblem);
    DebugMsg(L"[Error] Refused the server's certificate: %s\n", szUrl);
}
