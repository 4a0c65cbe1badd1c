#include "app/cmdline.h"
#include "diag/safestr.h"
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
    if (cchToken == 5 && wcsncmp(pStart, RESTART_OPTION, 5) == 0)
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
    return szCommandLine && wcsstr(szCommandLine, RESTART_OPTION) != nullptr;
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

namespace
{
enum ManagedSwitch
{
    ManagedSwitchNone,
    ManagedSwitchQuiet,
    ManagedSwitchPassive,
    ManagedSwitchNoRestart,
    ManagedSwitchForceRestart,
    ManagedSwitchLog,
    ManagedSwitchLayout,
    ManagedSwitchSource,
};

// The tokens of a command line as the tokenizer cuts them.
struct TokenText
{
    std::wstring strText;
    bool fQuoted;
};

std::vector<TokenText> SplitTokens(LPCWSTR szCommandLine)
{
    std::vector<TokenText> tokens;
    std::wstring strCopy = szCommandLine ? szCommandLine : L"";
    strCopy.push_back(L'\0');
    for (LPWSTR p = &strCopy[0];;)
    {
        Token token;
        if (!ReadToken(p, &token))
        {
            break;
        }
        tokens.push_back({std::wstring(token.pStart, token.pLast + 1), token.fQuoted});
        LPWSTR pTerminator = GetTerminator(token.pLast);
        if (*pTerminator == L'\0')
        {
            break;
        }
        p = CharNextW(pTerminator);
    }
    return tokens;
}

ManagedSwitch ClassifySwitch(const TokenText& token)
{
    static const struct
    {
        LPCWSTR szName;
        ManagedSwitch nSwitch;
    } c_rgSwitches[] = {
        {L"quiet", ManagedSwitchQuiet},         {L"q", ManagedSwitchQuiet},
        {L"passive", ManagedSwitchPassive},     {L"norestart", ManagedSwitchNoRestart},
        {L"forcerestart", ManagedSwitchForceRestart}, {L"log", ManagedSwitchLog},
        {L"layout", ManagedSwitchLayout},       {L"source", ManagedSwitchSource},
    };
    const std::wstring& strText = token.strText;
    if (token.fQuoted || strText.size() < 2 || (strText[0] != L'/' && strText[0] != L'-'))
    {
        return ManagedSwitchNone;
    }
    for (const auto& entry : c_rgSwitches)
    {
        if (IsTextEqualNoCase(strText.c_str() + 1, entry.szName))
        {
            return entry.nSwitch;
        }
    }
    return ManagedSwitchNone;
}

bool IsAdminSwitch(const TokenText& token)
{
    return !token.fQuoted && token.strText.size() == 2 && (token.strText[0] == L'/' || token.strText[0] == L'-') &&
           (token.strText[1] == L'a' || token.strText[1] == L'A');
}

// Sets the flag of one switch; the log's path is taken by the caller.
void ApplySwitch(ManagedSwitch nSwitch, ManagedOptions* pOptions)
{
    switch (nSwitch)
    {
    case ManagedSwitchQuiet:
        pOptions->fQuiet = true;
        break;
    case ManagedSwitchPassive:
        pOptions->fPassive = true;
        break;
    case ManagedSwitchNoRestart:
        pOptions->fNoRestart = true;
        break;
    case ManagedSwitchForceRestart:
        pOptions->fForceRestart = true;
        break;
    default:
        break;
    }
}
}

DWORD ParseManagedOptions(LPCWSTR szCommandLine, ManagedOptions* pOptions)
{
    *pOptions = ManagedOptions();
    std::vector<TokenText> tokens = SplitTokens(szCommandLine);
    if (tokens.empty())
    {
        return ERROR_SUCCESS;
    }
    const std::wstring& strFirst = tokens[0].strText;
    bool fOwnRules = !tokens[0].fQuoted && strFirst.size() == 2 && (strFirst[0] == L'/' || strFirst[0] == L'-') &&
                     (strFirst[1] == L'v' || strFirst[1] == L'V' || strFirst[1] == L'?');
    for (const TokenText& token : tokens)
    {
        ManagedSwitch nSwitch = ClassifySwitch(token);
        pOptions->fPresent = pOptions->fPresent || (!fOwnRules && nSwitch != ManagedSwitchNone);
        ApplySwitch(fOwnRules ? ManagedSwitchNone : nSwitch, pOptions);
    }
    if (!pOptions->fPresent)
    {
        return ERROR_SUCCESS;
    }
    for (size_t i = 0; i < tokens.size(); ++i)
    {
        ManagedSwitch nSwitch = ClassifySwitch(tokens[i]);
        std::wstring* pstrArgument = nSwitch == ManagedSwitchLog      ? &pOptions->strLogPath
                                     : nSwitch == ManagedSwitchLayout ? &pOptions->strLayoutFolder
                                     : nSwitch == ManagedSwitchSource ? &pOptions->strSourceFolder
                                                                      : nullptr;
        if (pstrArgument)
        {
            if (i + 1 >= tokens.size() || tokens[i + 1].strText.empty())
            {
                return ERROR_BAD_ARGUMENTS;
            }
            *pstrArgument = tokens[++i].strText;
        }
        else if (!tokens[i].fQuoted && tokens[i].strText == RESTART_OPTION)
        {
            pOptions->fRestarted = true;
        }
        else if (IsAdminSwitch(tokens[i]))
        {
            pOptions->fAdmin = true;
        }
        else if (nSwitch == ManagedSwitchNone)
        {
            return ERROR_BAD_ARGUMENTS;
        }
    }
    return ERROR_SUCCESS;
}

std::wstring ComposeRestartCommandLine(const ManagedOptions& options)
{
    std::wstring strLine = RESTART_OPTION;
    strLine += options.fQuiet ? L" /quiet" : (options.fPassive ? L" /passive" : L"");
    strLine += options.fNoRestart ? L" /norestart" : (options.fForceRestart ? L" /forcerestart" : L"");
    strLine += options.fAdmin ? L" /a" : L"";
    if (!options.strLogPath.empty())
    {
        strLine += L" /log \"" + options.strLogPath + L"\"";
    }
    return strLine;
}
