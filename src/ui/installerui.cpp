#include "ui/installerui.h"
#include "diag/safestr.h"
#include "ui/wizard.h"
#include <commctrl.h>
#include <stdlib.h>

namespace
{
constexpr UINT c_uKindMask = 0xFF000000;
constexpr UINT c_uKindError = 0x01000000;
constexpr UINT c_uKindFilesInUse = 0x05000000;
constexpr UINT c_uKindProgress = 0x0A000000;
constexpr UINT c_uKindRmFilesInUse = 0x19000000;
// A progress record is a few dozen characters; a longer text is no record.
constexpr size_t c_cchRecord = 256;

InstallerProgress g_progress = {0, true, 0, 0, false};

bool IsDigit(WCHAR ch)
{
    return ch >= L'0' && ch <= L'9';
}
}

InstallerProgress& GetInstallerProgress()
{
    return g_progress;
}

void ResetInstallerProgress()
{
    g_progress = {0, true, 0, 0, false};
}

int ReadNumberField(LPWSTR* ppPosition)
{
    LPWSTR pStart = *ppPosition;
    LPWSTR p = pStart;
    while (*p != L'\0' && *p != L' ')
    {
        ++p;
    }
    *p = L'\0';
    *ppPosition = p;
    return static_cast<int>(wcstol(pStart, nullptr, 10));
}

bool ParseProgressFields(LPWSTR szText, int rgFields[4])
{
    if (!szText || szText[0] == L'\0')
    {
        return false;
    }
    // The fields' terminators are written into the text, so its real end
    // is taken first.
    LPWSTR pEnd = szText + wcslen(szText);
    LPWSTR p = szText;
    while (p < pEnd && *p != L'\0')
    {
        WCHAR chField = p[0];
        // A field is its number, a colon and a space before the value; a
        // record that ends inside that does not parse.
        if (chField == L'\0' || p[1] != L':' || p[2] != L' ')
        {
            return false;
        }
        p += 3;
        switch (chField)
        {
        case L'1':
            if (!IsDigit(*p))
            {
                return false;
            }
            rgFields[0] = *p - L'0';
            ++p;
            break;
        case L'2':
            rgFields[1] = ReadNumberField(&p);
            if (rgFields[0] == 2 || rgFields[0] == 3)
            {
                return true;
            }
            break;
        case L'3':
            rgFields[2] = ReadNumberField(&p);
            if (rgFields[0] == 1)
            {
                return true;
            }
            break;
        case L'4':
            rgFields[3] = ReadNumberField(&p);
            return true;
        default:
            return false;
        }
        if (p >= pEnd)
        {
            break;
        }
        ++p;
    }
    return true;
}

ProgressAction ApplyProgressRecord(InstallerProgress* pProgress, const int rgFields[4])
{
    ProgressAction action = {false, 0, false, 0};
    if (rgFields[0] == 0)
    {
        pProgress->nTotal = rgFields[1];
        pProgress->fForward = rgFields[2] == 0;
        pProgress->nStart = pProgress->fForward ? 0 : pProgress->nTotal;
        action.fSetRange = true;
        action.nRange = pProgress->nTotal;
        action.fSetPosition = true;
        action.nPosition = pProgress->fScriptRunning ? pProgress->nTotal : pProgress->nStart;
        pProgress->nCurrent = 0;
        pProgress->fScriptRunning = rgFields[3] == 1;
    }
    else if (rgFields[0] == 2 && pProgress->nTotal != 0)
    {
        pProgress->nCurrent += rgFields[1];
        action.fSetPosition = true;
        action.nPosition = pProgress->fForward ? pProgress->nCurrent : -pProgress->nCurrent;
    }
    return action;
}

INT CALLBACK InstallerUiHandler(LPVOID pvContext, UINT uMessageType, LPCWSTR szMessage)
{
    if (!szMessage || szMessage[0] == L'\0')
    {
        return 0;
    }
    CSetupWizard* pWizard = static_cast<CSetupWizard*>(pvContext);
    switch (uMessageType & c_uKindMask)
    {
    case c_uKindError:
        MessageBeep(uMessageType & 0xF0);
        return 0;
    case c_uKindFilesInUse:
    case c_uKindRmFilesInUse:
        return IDIGNORE;
    case c_uKindProgress:
    {
        // The installer's text is its own; parse a copy, and only a whole one.
        WCHAR szRecord[c_cchRecord];
        int rgFields[4] = {0, 0, 0, 0};
        if (SUCCEEDED(SafeCopy(szRecord, c_cchRecord, szMessage)) && ParseProgressFields(szRecord, rgFields))
        {
            ProgressAction action = ApplyProgressRecord(&g_progress, rgFields);
            HWND hBar = GetDlgItem(pWizard->m_hWnd.load(), IDC_PROGRESS);
            if (action.fSetRange)
            {
                SendMessageW(hBar, PBM_SETRANGE32, 0, action.nRange);
            }
            if (action.fSetPosition)
            {
                SendMessageW(hBar, PBM_SETPOS, static_cast<WPARAM>(action.nPosition), 0);
            }
        }
        // Only the user cancels an install under way; a failure elsewhere
        // lets it finish.
        return pWizard->IsCancelledByUser() ? IDCANCEL : IDOK;
    }
    default:
        return 0;
    }
}
