#include "ui/status.h"
#include "diag/msgbox.h"
#include "diag/safestr.h"

namespace
{
constexpr UINT IDS_BUTTON_RESTART_NOW = 53;
constexpr UINT IDS_BUTTON_RESTART_LATER = 54;
constexpr UINT IDS_BUTTON_FINISH = 55;
constexpr UINT IDS_BUTTON_LAUNCH = 59;
constexpr UINT IDS_BUTTON_CLOSE = 60;
constexpr UINT IDS_PROGRESS_TITLE = 318;
constexpr UINT IDS_PREFIX_PENDING = 319;
constexpr UINT IDS_PREFIX_COMPLETED = 320;
constexpr UINT IDS_PREFIX_INSTALLING = 321;
constexpr UINT IDS_PREFIX_DOWNLOADING = 322;
constexpr UINT IDS_PREFIX_FAILED = 323;
constexpr UINT IDS_FINISH_SUCCESS = 324;
constexpr UINT IDS_FINISH_FAILED = 325;
constexpr UINT IDS_FINISH_CANCELLED_DETAIL = 326;
constexpr UINT IDS_FINISH_FAILED_DETAIL = 327;
constexpr UINT IDS_FINISH_RESTART_DETAIL = 328;
constexpr UINT IDS_PREFIX_REMOVING = 329;
constexpr UINT IDS_PREFIX_PREVIOUS = 334;
constexpr UINT IDS_FAILURE_INTERNAL = 336;
constexpr UINT IDS_PROGRESS_SUBTITLE = 337;
constexpr UINT IDS_HINT_DOWNLOAD = 338;
constexpr UINT IDS_HINT_SUPPORT = 339;
constexpr UINT IDS_FINISH_SUBTITLE = 340;
constexpr UINT IDS_FINISH_CANCELLED = 341;
constexpr UINT IDS_PREFIX_REMOVED = 342;
constexpr UINT IDS_FINISH_LAUNCH_DETAIL = 345;
constexpr UINT IDS_LAYOUT_PROGRESS_TITLE = 348;
constexpr UINT IDS_LAYOUT_COMPLETE = 349;
constexpr UINT IDS_LAYOUT_COMPLETE_DETAIL = 350;
constexpr UINT IDS_LAYOUT_FAILED = 351;
constexpr UINT IDS_LAYOUT_FAILED_DETAIL = 352;
constexpr UINT IDS_LAYOUT_CANCELLED = 353;

void LoadInto(HINSTANCE hInstance, UINT nId, LPWSTR szText)
{
    LoadStringOrEmpty(hInstance, nId, szText, STATUS_TEXT_CAPACITY);
}

void AppendString(HINSTANCE hInstance, UINT nId, LPWSTR szText)
{
    WCHAR szPart[STATUS_TEXT_CAPACITY];
    LoadInto(hInstance, nId, szPart);
    SafeAppend(szText, STATUS_TEXT_CAPACITY, szPart);
}

void ClearTexts(StatusTexts* pTexts)
{
    pTexts->szTitle[0] = L'\0';
    pTexts->szSubtitle[0] = L'\0';
    pTexts->szDetail[0] = L'\0';
    pTexts->szStatus[0] = L'\0';
}

bool IsFailedInstall(const CPackageInfo* pPackage)
{
    int nStatus = pPackage->nStatus.load();
    return pPackage->nAction == ActionInstall && (nStatus == StatusDownloadFailed || nStatus == StatusInstallFailed);
}

LPCWSTR GetName(const CPackageInfo* pPackage)
{
    return pPackage->szProductName ? pPackage->szProductName : L"";
}

void ComposeFailureTexts(HINSTANCE hInstance, const CPackageInfo* pPackages, bool fLayout, StatusTexts* pTexts)
{
    LoadInto(hInstance, fLayout ? IDS_LAYOUT_FAILED : IDS_FINISH_FAILED, pTexts->szTitle);
    LoadInto(hInstance, fLayout ? IDS_LAYOUT_FAILED_DETAIL : IDS_FINISH_FAILED_DETAIL, pTexts->szDetail);
    for (const CPackageInfo* pPackage = pPackages; pPackage; pPackage = pPackage->pNext)
    {
        if (!IsFailedInstall(pPackage))
        {
            continue;
        }
        WCHAR szShort[STATUS_TEXT_CAPACITY];
        WCHAR szLine[STATUS_TEXT_CAPACITY];
        DWORD dwError = pPackage->dwError.load();
        // The last failed package's hint stands under the title.
        DescribePackageFailure(hInstance, dwError, szShort, pTexts->szSubtitle);
        SafeFormat(szLine, STATUS_TEXT_CAPACITY, L"%s (0x%x: %s)\n", GetName(pPackage), dwError, szShort);
        SafeAppend(pTexts->szDetail, STATUS_TEXT_CAPACITY, szLine);
    }
}
}

UINT GetStatusPrefixId(const CPackageInfo* pPackage)
{
    int nStatus = pPackage->nStatus.load();
    if (pPackage->nAction == ActionRemove && nStatus == StatusInstalling)
    {
        return IDS_PREFIX_REMOVING;
    }
    if (pPackage->nAction == ActionRemove && nStatus == StatusInstalled)
    {
        return IDS_PREFIX_REMOVED;
    }
    switch (nStatus)
    {
    case StatusDownloading:
        return IDS_PREFIX_DOWNLOADING;
    case StatusInstalling:
        return IDS_PREFIX_INSTALLING;
    case StatusInstalled:
        return IDS_PREFIX_COMPLETED;
    case StatusDownloadFailed:
    case StatusInstallFailed:
        return IDS_PREFIX_FAILED;
    case StatusPreviouslyInstalled:
        return IDS_PREFIX_PREVIOUS;
    default:
        return IDS_PREFIX_PENDING;
    }
}

CPackageInfo* ComposeProgressTexts(HINSTANCE hInstance, CPackageInfo* pPackages, StatusTexts* pTexts, bool fLayout)
{
    ClearTexts(pTexts);
    LoadInto(hInstance, fLayout ? IDS_LAYOUT_PROGRESS_TITLE : IDS_PROGRESS_TITLE, pTexts->szTitle);
    LoadInto(hInstance, IDS_PROGRESS_SUBTITLE, pTexts->szSubtitle);
    CPackageInfo* pInstalling = nullptr;
    for (CPackageInfo* pPackage = pPackages; pPackage; pPackage = pPackage->pNext)
    {
        if (pPackage->nAction != ActionRemove && pPackage->nStatus.load() == StatusInstalling)
        {
            pInstalling = pPackage;
        }
        AppendString(hInstance, GetStatusPrefixId(pPackage), pTexts->szDetail);
        SafeAppend(pTexts->szDetail, STATUS_TEXT_CAPACITY, L" ");
        SafeAppend(pTexts->szDetail, STATUS_TEXT_CAPACITY, GetName(pPackage));
        SafeAppend(pTexts->szDetail, STATUS_TEXT_CAPACITY, L"\n");
    }
    return pInstalling;
}

void ComposeFinishTexts(HINSTANCE hInstance, const FinishState& state, const CPackageInfo* pPackages,
                        StatusTexts* pTexts)
{
    ClearTexts(pTexts);
    UINT nSystemFailure = !state.fOsSupported        ? IDS_OS_NOT_SUPPORTED
                          : !state.fBrowserSupported ? IDS_BROWSER_NOT_SUPPORTED
                          : !state.fEnoughDiskSpace  ? IDS_NOT_ENOUGH_DISK_SPACE
                                                     : 0;
    if (nSystemFailure)
    {
        LoadInto(hInstance, IDS_FINISH_FAILED, pTexts->szTitle);
        LoadInto(hInstance, nSystemFailure, pTexts->szDetail);
        return;
    }
    if (state.fCancelled)
    {
        LoadInto(hInstance, state.fLayout ? IDS_LAYOUT_CANCELLED : IDS_FINISH_CANCELLED, pTexts->szTitle);
        LoadInto(hInstance, IDS_FINISH_CANCELLED_DETAIL, pTexts->szDetail);
        return;
    }
    for (const CPackageInfo* pPackage = pPackages; pPackage; pPackage = pPackage->pNext)
    {
        if (IsFailedInstall(pPackage))
        {
            ComposeFailureTexts(hInstance, pPackages, state.fLayout, pTexts);
            return;
        }
    }
    if (state.fLayout)
    {
        LoadInto(hInstance, IDS_LAYOUT_COMPLETE, pTexts->szTitle);
        LoadInto(hInstance, IDS_LAYOUT_COMPLETE_DETAIL, pTexts->szDetail);
        return;
    }
    LoadInto(hInstance, IDS_FINISH_SUCCESS, pTexts->szTitle);
    LoadInto(hInstance, IDS_FINISH_SUBTITLE, pTexts->szSubtitle);
    LoadInto(hInstance, state.fRestart ? IDS_FINISH_RESTART_DETAIL : IDS_FINISH_LAUNCH_DETAIL, pTexts->szDetail);
}

void DescribePackageFailure(HINSTANCE hInstance, DWORD dwError, LPWSTR szShort, LPWSTR szHint)
{
    bool fDownload = dwError == ERROR_FILE_NOT_FOUND;
    LoadInto(hInstance, fDownload ? IDS_DOWNLOAD_FAILED : IDS_FAILURE_INTERNAL, szShort);
    LoadInto(hInstance, fDownload ? IDS_HINT_DOWNLOAD : IDS_HINT_SUPPORT, szHint);
}

FinishButtons ChooseFinishButtons(bool fRestart, bool fPackageFailed, bool fCancelled, bool fLayout)
{
    if (fRestart)
    {
        return {IDS_BUTTON_RESTART_NOW, IDS_BUTTON_RESTART_LATER};
    }
    if (!fPackageFailed && !fCancelled && !fLayout)
    {
        return {IDS_BUTTON_CLOSE, IDS_BUTTON_LAUNCH};
    }
    if (fCancelled)
    {
        return {IDS_BUTTON_FINISH, 0};
    }
    return {IDS_BUTTON_CLOSE, 0};
}
