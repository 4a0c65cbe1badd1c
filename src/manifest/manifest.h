#pragma once
#include <windows.h>
#include <string>

// The manifest lives in string-named resources of this type.
#define RT_MANIFEST_ENTRY MAKEINTRESOURCEW(500)

// Reads one manifest entry into *pszValue, an owned heap string.
// 0 with the value; ERROR_OUTOFMEMORY; ERROR_RESOURCE_NAME_NOT_FOUND with no string.
DWORD LoadManifestString(HMODULE hModule, LPCWSTR szName, LPWSTR* pszValue);

// Reads a setting that the build stamped into the manifest, without a
// trace line; false (and an empty value) when it is missing, empty or
// longer than the buffer.
bool LoadBuildSetting(LPCWSTR szName, LPWSTR szValue, size_t cchValue);

// Scheme, host and port of the vendor's server for the files beside the
// packages: the manifest's SERVERORIGIN, else the build's default.
std::wstring GetServerOrigin();

// Whether this setup installs only packages whose SHA-256 it carries.
bool IsDigestRequired();
