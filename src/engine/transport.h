#pragma once
#include <windows.h>

// Why a transfer was refused for the sake of its transport's trust.
enum TransportRefusal
{
    TransportRefusalNone,
    // The server's certificate failed the platform's checks.
    TransportRefusalCertificate,
    // An https address was redirected to one that is not https.
    TransportRefusalDowngrade,
};

// Whether a URL uses https (the scheme in any case).
bool IsSecureUrl(LPCWSTR szUrl);

// Whether a redirect from szFrom to szTo leaves https: the transfer would
// go on where anyone on the network can change what it receives.
bool IsDowngradeRedirect(LPCWSTR szFrom, LPCWSTR szTo);

// Whether one of the URL service's security problems is the redirect out
// of https rather than a certificate.
bool IsDowngradeProblem(DWORD dwProblem);

// The URL service's certificate problem in the words of the log; 0 is a
// certificate refused without a reason given.
LPCWSTR DescribeCertificateProblem(DWORD dwProblem);

// Writes the setup log's line for a refused transfer.
void LogRefusedTransfer(LPCWSTR szUrl, TransportRefusal nRefusal, DWORD dwProblem, LPCWSTR szRedirect);
