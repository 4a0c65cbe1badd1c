#pragma once
#include <windows.h>
#include <map>
#include <string>

// The licence archive's index: section name to key to value, both levels in
// ordinal (code unit) order, names and keys case-sensitive.
using IniKeyMap = std::map<std::wstring, std::wstring>;
using IniSectionMap = std::map<std::wstring, IniKeyMap>;

// Applies one line of the index file to the map: trims it, skips comments
// (lines starting with one of szCommentChars), switches the current section
// on a header and stores "key = value" pairs while the section has a name.
void ParseIniLine(const std::wstring& strLine, LPCWSTR szCommentChars, std::wstring& strSection, IniSectionMap& map);

// Reads an 8-bit index file, each byte one character; true when it could be
// opened and at least one key was stored. A line longer than INI_MAX_LINE
// makes the whole index unreadable.
constexpr size_t INI_MAX_LINE = 0x10000;
bool ReadLicenseIni(LPCWSTR szPath, IniSectionMap& map);

// Whether a list of locale identifiers separated by runs of ',', ';' and
// ' ' names the given one (case-insensitive).
bool IsLcidListed(const std::wstring& strList, const std::wstring& strLcid);
