#pragma once
#include <windows.h>

// The manifest lives in string-named resources of this type.
#define RT_MANIFEST_ENTRY MAKEINTRESOURCEW(500)

// Reads one manifest entry into *pszValue, an owned heap string.
// 0 with the value; ERROR_OUTOFMEMORY; ERROR_RESOURCE_NAME_NOT_FOUND with no string.
DWORD LoadManifestString(HMODULE hModule, LPCWSTR szName, LPWSTR* pszValue);
