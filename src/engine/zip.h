#pragma once
#include "engine/steps.h"
#include "unzip/unzip.h"

DWORD InstallZipPackage(CPackageInfo* pPackage, HINSTANCE hInstance, LPCWSTR szArchive, CSetupWizard* pWizard);
// Unpacks every entry of the archive into an existing folder. An archive
// whose entries declare more than cbMaxUnpacked bytes in all is refused
// before anything is written.
DWORD ExtractZipArchive(LPCWSTR szArchive, LPCWSTR szFolder, ULONGLONG cbMaxUnpacked = ~0ULL);
// An entry's stored name as wide text: UTF-8 when its flags say so, else
// the format's own default, code page 437. False when it does not decode
// or fit.
bool DecodeEntryName(const char* szStored, unsigned long ulFlags, LPWSTR szName, int cchName);
// Deletes a folder and everything in it, without following links out of it.
void DeleteFolderTree(LPCWSTR szFolder);
// Whether a full path lies inside a folder (given with its trailing separator).
bool IsPathInsideFolder(LPCWSTR szFullPath, LPCWSTR szFolder);
// Whether an entry name may be unpacked at all: relative, no drive, no
// "..", no device or stream syntax.
bool IsSafeEntryName(LPCWSTR szName);
