#include "engine/workfolder.h"
#include "diag/safestr.h"
#include "engine/zip.h"
#include "platform/owners.h"
#include <memory>
#include <new>
#include <objbase.h>
#include <sddl.h>
#include <wchar.h>

namespace
{
PSECURITY_DESCRIPTOR ConvertSddl(LPCWSTR szSddl)
{
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    if (szSddl)
    {
        ConvertStringSecurityDescriptorToSecurityDescriptorW(szSddl, SDDL_REVISION_1, &pDescriptor, nullptr);
    }
    return pDescriptor;
}

struct CLocalFree
{
    void operator()(PSECURITY_DESCRIPTOR p) const { LocalFree(p); }
};

// A descriptor made from its text form, freed on every path.
class CSecurityDescriptor : public CScopedOwner<PSECURITY_DESCRIPTOR, CLocalFree>
{
public:
    explicit CSecurityDescriptor(LPCWSTR szSddl) : CScopedOwner(ConvertSddl(szSddl)) {}
};

// The attributes that working folders and copies are made with: admin-only
// when elevated. Valid() is false when the descriptor could not be made.
class CWorkSecurity
{
public:
    CWorkSecurity() : m_szSddl(SelectWorkFolderSddl(IsProcessElevated())), m_descriptor(m_szSddl)
    {
        m_attributes.lpSecurityDescriptor = m_descriptor.Get();
    }
    bool IsValid() const { return !m_szSddl || m_descriptor.Get(); }
    SECURITY_ATTRIBUTES* Get() { return m_szSddl ? &m_attributes : nullptr; }

private:
    LPCWSTR m_szSddl;
    CSecurityDescriptor m_descriptor;
    SECURITY_ATTRIBUTES m_attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

constexpr DWORD c_cbCopyChunk = 64 * 1024;

DWORD CopyFileData(HANDLE hSource, HANDLE hTarget)
{
    std::unique_ptr<BYTE[]> rgbChunk(new (std::nothrow) BYTE[c_cbCopyChunk]);
    if (!rgbChunk)
    {
        return ERROR_OUTOFMEMORY;
    }
    for (;;)
    {
        DWORD cbRead = 0;
        DWORD cbWritten = 0;
        if (!ReadFile(hSource, rgbChunk.get(), c_cbCopyChunk, &cbRead, nullptr))
        {
            return GetLastError();
        }
        if (cbRead == 0)
        {
            return ERROR_SUCCESS;
        }
        if (!WriteFile(hTarget, rgbChunk.get(), cbRead, &cbWritten, nullptr) || cbWritten != cbRead)
        {
            return GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        }
    }
}

bool IsReparsePoint(LPCWSTR szPath)
{
    DWORD dwAttributes = GetFileAttributesW(szPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsAdministratorsMember(HANDLE hToken)
{
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID pAdministrators = nullptr;
    if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &pAdministrators))
    {
        return false;
    }
    BOOL fMember = FALSE;
    bool fChecked = CheckTokenMembership(hToken, pAdministrators, &fMember) != FALSE;
    FreeSid(pAdministrators);
    return fChecked && fMember;
}
}

bool IsProcessElevated()
{
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
    {
        return false;
    }
    TOKEN_ELEVATION elevation = {};
    DWORD cbElevation = 0;
    bool fElevated = false;
    if (GetTokenInformation(hToken, TokenElevation, &elevation, sizeof(elevation), &cbElevation))
    {
        fElevated = elevation.TokenIsElevated != 0;
    }
    else
    {
        // Systems without elevation run an administrator with full rights.
        fElevated = IsAdministratorsMember(nullptr);
    }
    CloseHandle(hToken);
    return fElevated;
}

LPCWSTR SelectWorkFolderSddl(bool fElevated)
{
    return fElevated ? c_szAdminOnlySddl : nullptr;
}

DWORD CreateWorkFolder(LPWSTR szFolder, size_t cchFolder)
{
    WCHAR szPath[MAX_PATH] = {};
    DWORD cchTemp = GetTempPathW(MAX_PATH, szPath);
    GUID guid = {};
    WCHAR szGuid[40] = {};
    if (cchTemp == 0 || cchTemp >= MAX_PATH || FAILED(CoCreateGuid(&guid)) ||
        StringFromGUID2(guid, szGuid, ARRAYSIZE(szGuid)) == 0 || FAILED(SafeAppend(szPath, MAX_PATH, szGuid)))
    {
        return ERROR_INSTALL_FAILURE;
    }
    CWorkSecurity security;
    if (!security.IsValid())
    {
        return ERROR_INVALID_SECURITY_DESCR;
    }
    // CreateDirectoryW fails on any existing name, a planted link included.
    if (!CreateDirectoryW(szPath, security.Get()))
    {
        return GetLastError();
    }
    if (IsReparsePoint(szPath) || FAILED(SafeAppend(szPath, MAX_PATH, L"\\")) ||
        FAILED(SafeCopy(szFolder, cchFolder, szPath)))
    {
        RemoveDirectoryW(szPath);
        return ERROR_INSTALL_FAILURE;
    }
    return ERROR_SUCCESS;
}

bool IsReparsePointOnPath(LPCWSTR szFullPath, LPCWSTR szFolder)
{
    WCHAR szPart[MAX_PATH];
    size_t cchFolder = wcslen(szFolder);
    size_t cchFull = wcslen(szFullPath);
    if (cchFolder == 0 || cchFull >= MAX_PATH || cchFolder > cchFull)
    {
        return true;
    }
    // Each existing level from the folder itself down to the full path.
    for (size_t i = cchFolder - 1; i <= cchFull; ++i)
    {
        if (i != cchFull && szFullPath[i] != L'\\' && szFullPath[i] != L'/')
        {
            continue;
        }
        wmemcpy(szPart, szFullPath, i);
        szPart[i] = L'\0';
        DWORD dwAttributes = GetFileAttributesW(szPart);
        if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        {
            return false;
        }
        if (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        {
            return true;
        }
    }
    return false;
}

DWORD CopyFileIntoFolder(LPCWSTR szSource, LPCWSTR szFolder, LPWSTR szCopy, size_t cchCopy)
{
    LPCWSTR szName = szSource;
    for (LPCWSTR p = szSource; *p; ++p)
    {
        if (*p == L'\\' || *p == L'/')
        {
            szName = p + 1;
        }
    }
    if (*szName == L'\0' || FAILED(SafeCopy(szCopy, cchCopy, szFolder)) ||
        FAILED(SafeAppend(szCopy, cchCopy, szName)))
    {
        return ERROR_INVALID_NAME;
    }
    if (IsReparsePointOnPath(szCopy, szFolder))
    {
        return ERROR_CANT_ACCESS_FILE;
    }
    CWorkSecurity security;
    if (!security.IsValid())
    {
        return ERROR_INVALID_SECURITY_DESCR;
    }
    CFileHandle source(CreateFileW(szSource, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.IsValid())
    {
        return GetLastError();
    }
    // CREATE_NEW: whatever already stands under the name fails the copy.
    CFileHandle target(CreateFileW(szCopy, GENERIC_WRITE, 0, security.Get(), CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!target.IsValid())
    {
        return GetLastError();
    }
    DWORD dwResult = CopyFileData(source.Get(), target.Get());
    if (dwResult != ERROR_SUCCESS)
    {
        target.Reset(INVALID_HANDLE_VALUE);
        DeleteFileW(szCopy);
    }
    return dwResult;
}

DWORD CWorkFolder::Create()
{
    return m_szPath[0] ? ERROR_SUCCESS : CreateWorkFolder(m_szPath, MAX_PATH);
}

void CWorkFolder::Delete()
{
    if (m_szPath[0])
    {
        DeleteFolderTree(m_szPath);
        m_szPath[0] = L'\0';
    }
}

DWORD CreateFolderPath(const std::wstring& strFolder)
{
    // From the first separator after the root, each missing level is made.
    for (size_t i = strFolder.find(L'\\', 3); ; i = strFolder.find(L'\\', i + 1))
    {
        std::wstring strLevel = strFolder.substr(0, i);
        if (!strLevel.empty() && !CreateDirectoryW(strLevel.c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
        {
            return GetLastError();
        }
        if (i == std::wstring::npos)
        {
            return ERROR_SUCCESS;
        }
    }
}
