#include "support/accesslist.h"
#include <aclapi.h>
#include <sddl.h>

namespace
{
std::wstring FormatSid(PSID pSid)
{
    LPWSTR szSid = nullptr;
    std::wstring strSid;
    if (ConvertSidToStringSidW(pSid, &szSid))
    {
        strSid = szSid;
        LocalFree(szSid);
    }
    return strSid;
}
}

std::vector<AceEntry> ReadAllowedEntries(PSECURITY_DESCRIPTOR pDescriptor, bool* pfProtected)
{
    std::vector<AceEntry> entries;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD dwRevision = 0;
    GetSecurityDescriptorControl(pDescriptor, &control, &dwRevision);
    *pfProtected = (control & SE_DACL_PROTECTED) != 0;
    BOOL fPresent = FALSE;
    BOOL fDefaulted = FALSE;
    PACL pAcl = nullptr;
    if (!GetSecurityDescriptorDacl(pDescriptor, &fPresent, &pAcl, &fDefaulted) || !fPresent || !pAcl)
    {
        return entries;
    }
    for (DWORD i = 0; i < pAcl->AceCount; ++i)
    {
        ACCESS_ALLOWED_ACE* pAce = nullptr;
        if (GetAce(pAcl, i, reinterpret_cast<void**>(&pAce)) && pAce->Header.AceType == ACCESS_ALLOWED_ACE_TYPE)
        {
            entries.push_back({FormatSid(&pAce->SidStart), pAce->Mask, pAce->Header.AceFlags});
        }
    }
    return entries;
}

std::vector<AceEntry> ReadFileAccessEntries(const std::wstring& strPath)
{
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    std::vector<AceEntry> entries;
    if (GetNamedSecurityInfoW(strPath.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, &pDescriptor) == ERROR_SUCCESS)
    {
        bool fProtected = false;
        entries = ReadAllowedEntries(pDescriptor, &fProtected);
        LocalFree(pDescriptor);
    }
    return entries;
}

bool GrantsAnything(const std::vector<AceEntry>& entries, LPCWSTR szSid)
{
    for (const AceEntry& entry : entries)
    {
        if (entry.strSid == szSid && entry.dwMask != 0)
        {
            return true;
        }
    }
    return false;
}

