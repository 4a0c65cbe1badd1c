#include "app/cmdline.h"
#include "trust/verify.h"
#include <wchar.h>

namespace
{
bool IsBlank(WCHAR ch)
{
    return ch == L' ' || ch == L'\t';
}

// One token of the command line.
struct Token
{
    LPWSTR pStart = nullptr;
    LPWSTR pLast = nullptr;
    bool fQuoted = false;
};

bool ReadToken(LPWSTR szText, Token* pToken)
{
    return NextToken(szText, &pToken->pStart, &pToken->pLast, &pToken->fQuoted) == ERROR_SUCCESS;
}

// The character after a token's last one: its terminator.
LPWSTR GetTerminator(LPWSTR pLast)
{
    return CharNextW(pLast);
}

// Looks for another token after a token's terminator.
bool HasTokenAfter(LPWSTR pLast)
{
    LPWSTR pTerminator = GetTerminator(pLast);
    if (*pTerminator == L'\0')
    {
        return false;
    }
    Token next;
    return ReadToken(CharNextW(pTerminator), &next);
}
}

DWORD NextToken(LPWSTR szText, LPWSTR* ppStart, LPWSTR* ppLast, bool* pfQuoted)
{
    if (!szText)
    {
        return ERROR_NO_MORE_ITEMS;
    }
    LPWSTR p = szText;
    while (IsBlank(*p))
    {
        p = CharNextW(p);
    }
    if (*p == L'\0')
    {
        return ERROR_NO_MORE_ITEMS;
    }
    bool fQuoted = *p == L'"';
    if (fQuoted)
    {
        p = CharNextW(p);
    }
    LPWSTR pStart = p;
    // The first character always belongs to the token, even a quote or NUL
    // right after an opening quote; the token then ends where it began.
    LPWSTR pStop = CharNextW(p);
    if (*p == L'\0')
    {
        pStop = p;
    }
    while (*pStop != L'\0' && !(fQuoted ? *pStop == L'"' : IsBlank(*pStop)))
    {
        pStop = CharNextW(pStop);
    }
    *ppStart = pStart;
    *ppLast = CharPrevW(pStart, pStop);
    *pfQuoted = fQuoted;
    return ERROR_SUCCESS;
}

RunMode GetRunMode(LPWSTR szCommandLine)
{
    Token first;
    if (!ReadToken(szCommandLine, &first))
    {
        return RunNormal;
    }
    LPCWSTR pStart = first.pStart;
    size_t cchToken = static_cast<size_t>(first.pLast - pStart) + 1;
    if (cchToken == 5 && wcsncmp(pStart, L"/rsar", 5) == 0)
    {
        return RunNormal;
    }
    if (first.fQuoted || cchToken != 2)
    {
        return RunUsage;
    }
    if (pStart[0] != L'/' && pStart[0] != L'-')
    {
        return RunUsage;
    }
    switch (pStart[1])
    {
    case L'A':
    case L'a':
        return RunAdmin;
    case L'V':
    case L'v':
        return RunVerify;
    default:
        return RunUsage;
    }
}

bool HasRestartOption(LPCWSTR szCommandLine)
{
    return szCommandLine && wcsstr(szCommandLine, L"/rsar") != nullptr;
}

DWORD CheckVerifyArgs(LPCWSTR szModulePath, LPWSTR szCommandLine)
{
    Token option;
    if (!ReadToken(szCommandLine, &option))
    {
        return ERROR_BAD_ARGUMENTS;
    }
    LPWSTR pTerminator = GetTerminator(option.pLast);
    Token path;
    if (*pTerminator == L'\0' || !ReadToken(CharNextW(pTerminator), &path) || HasTokenAfter(path.pLast))
    {
        return ERROR_BAD_ARGUMENTS;
    }
    *GetTerminator(path.pLast) = L'\0';
    switch (VerifySignatures(szModulePath, path.pStart))
    {
    case TrustOk:
        return ERROR_SUCCESS;
    case TrustFailed:
        return static_cast<DWORD>(TRUST_E_SUBJECT_NOT_TRUSTED);
    default:
        return static_cast<DWORD>(TRUST_E_PROVIDER_UNKNOWN);
    }
}

DWORD CheckAdminArgs(LPWSTR szCommandLine)
{
    Token option;
    if (!ReadToken(szCommandLine, &option))
    {
        return ERROR_SUCCESS;
    }
    return HasTokenAfter(option.pLast) ? ERROR_BAD_ARGUMENTS : ERROR_SUCCESS;
}
