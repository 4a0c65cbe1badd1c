#pragma once
#include "engine/steps.h"
#include <string>

// Offline layouts: a folder that holds the server's files under their
// paths below <origin>/esd/en/tessal/ (installfiles\..., eula.zip,
// update.txt) beside a copy of the setup.

// The path of a URL's file inside a layout, with backslashes, when the URL
// lies below szBase (compared without case) and its rest is a plain
// relative path: no "..", no drive, query or device characters after the
// escapes are decoded. False otherwise.
bool ComposeLayoutRelativePath(LPCWSTR szBase, LPCWSTR szUrl, std::wstring* pstrRelative);

// The layout base of this setup: its origin's "/esd/en/tessal/".
std::wstring GetLayoutBaseUrl();

// Whether a folder holds a layout (an installfiles folder).
bool IsLayoutFolder(LPCWSTR szFolder);

// The layout that the run reads its files from; empty for the server. Set
// once before any thread that downloads exists.
void SetLayoutSource(LPCWSTR szFolder);
LPCWSTR GetLayoutSource();
// The layout source's copy of a URL's file; false when there is no source
// or it lacks the file, which then comes from the server.
bool FindInLayoutSource(LPCWSTR szUrl, std::wstring* pstrPath);

// The folder that a "/layout" run fills; set before its threads start.
void SetLayoutTarget(LPCWSTR szFolder);

// The worker steps of a "/layout" run: each file is fetched with the
// install's download code into the layout (a file that is there already
// with its digest, where known, is kept), and nothing is installed.
void UseLayoutSteps();
DWORD DownloadLayoutFile(CPackageInfo* pPackage, HINSTANCE hInstance, LPWSTR* pszLocalFile, CSetupWizard* pWizard);
