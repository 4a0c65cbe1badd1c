#pragma once
#include "manifest/package.h"

constexpr size_t STATUS_TEXT_CAPACITY = 512;

// The four texts of a progress or finish page, each cut to 511 characters.
struct StatusTexts
{
    WCHAR szTitle[STATUS_TEXT_CAPACITY];
    WCHAR szSubtitle[STATUS_TEXT_CAPACITY];
    WCHAR szDetail[STATUS_TEXT_CAPACITY];
    WCHAR szStatus[STATUS_TEXT_CAPACITY];
};

// The flags that decide the finish page.
struct FinishState
{
    bool fOsSupported;
    bool fBrowserSupported;
    bool fEnoughDiskSpace;
    bool fCancelled;
    bool fRestart;
    // A "/layout" run: its files were copied, nothing was installed.
    bool fLayout;
};

// The progress page: one line per package. Returns the install package
// found installing, if any.
CPackageInfo* ComposeProgressTexts(HINSTANCE hInstance, CPackageInfo* pPackages, StatusTexts* pTexts,
                                   bool fLayout = false);
void ComposeFinishTexts(HINSTANCE hInstance, const FinishState& state, const CPackageInfo* pPackages,
                        StatusTexts* pTexts);
void DescribePackageFailure(HINSTANCE hInstance, DWORD dwError, LPWSTR szShort, LPWSTR szHint);
// String id of a package's line prefix.
UINT GetStatusPrefixId(const CPackageInfo* pPackage);

// Buttons of the finish page: string ids, 0 for a hidden left button.
struct FinishButtons
{
    UINT nRightText;
    UINT nLeftText;
};
// A layout has no product to launch.
FinishButtons ChooseFinishButtons(bool fRestart, bool fPackageFailed, bool fCancelled, bool fLayout = false);
