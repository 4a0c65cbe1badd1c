#pragma once
#include <windows.h>
#include <string>
#include <vector>

// One allowing entry of an access list: who, what, how it is inherited.
struct AceEntry
{
    std::wstring strSid;
    ACCESS_MASK dwMask;
    BYTE bFlags;
};

// The allowing entries of a descriptor's access list, in order.
std::vector<AceEntry> ReadAllowedEntries(PSECURITY_DESCRIPTOR pDescriptor, bool* pfProtected);
// The allowing entries of a file's or folder's access list as the platform
// reads it back; empty when it cannot be read.
std::vector<AceEntry> ReadFileAccessEntries(const std::wstring& strPath);
// Whether any entry grants the account (a SID string) any access.
bool GrantsAnything(const std::vector<AceEntry>& entries, LPCWSTR szSid);
