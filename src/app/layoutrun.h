#pragma once
#include "manifest/package.h"
#include <string>

class CSetupWizard;

// Readies a "/layout" run: the folder is made (with every missing level),
// the files are listed, the drive's space is checked, the setup copies
// itself there and the worker threads get the layout's steps. 0;
// ERROR_BAD_PATHNAME when the folder cannot be made or written (its box is
// shown); ERROR_DISK_FULL (its box is shown); ERROR_OUTOFMEMORY.
DWORD PrepareLayoutRun(HINSTANCE hInstance, LPCWSTR szTitle, LPCWSTR szModulePath, LPCWSTR szFolder,
                       LPCWSTR szBaseUrl, CSetupWizard& wizard, CPackageInfo** ppFiles);

// The layout that a run installs from: the "/source" folder when given,
// else the setup's own folder when it holds a layout; empty for none.
// False when a "/source" folder holds no layout.
bool ChooseLayoutSource(LPCWSTR szModulePath, const std::wstring& strSourceOption, std::wstring* pstrSource);
