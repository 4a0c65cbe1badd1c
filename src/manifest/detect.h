#pragma once
#include "manifest/package.h"
#include <string>
#include <string_view>

// Whether the package's software is already present on the machine; for
// the removal package, whether an older version must go.
bool IsPackageInstalled(const CPackageInfo* pPackage);
// The Windows Installer knows the product as installed; without the
// installer library, the product code's uninstall key stands in.
bool IsProductInstalled(LPCWSTR szProductCode);
bool IsDotNet35Installed();
bool IsDirectXInstalled();
bool IsXmlParserInstalled();
bool IsOlderVersionInstalled();

// A version is exactly four parts of decimal digits (a part may be empty).
bool ParseVersion(LPCWSTR szText, std::wstring rgParts[4]);
// The first part that differs decides.
bool IsVersionNewer(const std::wstring rgOnline[4], const std::wstring rgLocal[4]);
// The version in a version file's text: its first word, after the word's
// last "#". Empty when there is no "#".
std::wstring ExtractOnlineVersion(std::string_view strFile);

// Where the product's current version is published.
std::wstring GetOnlineVersionUrl();
