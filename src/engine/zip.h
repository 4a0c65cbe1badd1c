#pragma once
#include "engine/steps.h"
#include "unzip/unzip.h"

DWORD InstallZipPackage(CPackageInfo* pPackage, HINSTANCE hInstance, LPCWSTR szArchive, CSetupWizard* pWizard);
// Unpacks every entry of the archive into an existing folder.
DWORD ExtractZipArchive(LPCWSTR szArchive, LPCWSTR szFolder);
DWORD ExtractZipEntry(unzFile hArchive, LPCWSTR szFolder, LPWSTR szWorkFolder);
// Deletes a folder and everything in it, without following links out of it.
void DeleteFolderTree(LPCWSTR szFolder);
// Whether a full path lies inside a folder (given with its trailing separator).
bool IsPathInsideFolder(LPCWSTR szFullPath, LPCWSTR szFolder);
// Whether an entry name may be unpacked at all: relative, no drive, no
// "..", no device or stream syntax.
bool IsSafeEntryName(LPCWSTR szName);
