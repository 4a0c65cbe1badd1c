#include "support/msioverride.h"
#include "platform/overrides.h"
#include "support/testpaths.h"

namespace
{
std::wstring g_strFakeFolder;

UINT WINAPI GetFakeSystemDirectory(LPWSTR szBuffer, UINT uSize)
{
    if (g_strFakeFolder.size() >= uSize)
    {
        return static_cast<UINT>(g_strFakeFolder.size() + 1);
    }
    wcscpy(szBuffer, g_strFakeFolder.c_str());
    return static_cast<UINT>(g_strFakeFolder.size());
}
}

CFakeSystemFolder::CFakeSystemFolder(LPCWSTR szStandIn)
{
    m_strFolder = GetTempFolder() + L"tessal-fake-system";
    CreateDirectoryW(m_strFolder.c_str(), nullptr);
    std::wstring strTarget = m_strFolder + L"\\MSI.DLL";
    DeleteFileW(strTarget.c_str());
    if (szStandIn)
    {
        CopyFileW(GetBinPath(szStandIn).c_str(), strTarget.c_str(), FALSE);
    }
    g_strFakeFolder = m_strFolder;
    g_overrides.pfnGetSystemDirectoryW = GetFakeSystemDirectory;
}

CFakeSystemFolder::~CFakeSystemFolder()
{
    ResetPlatformOverrides();
    DeleteFileW((m_strFolder + L"\\MSI.DLL").c_str());
    RemoveDirectoryW(m_strFolder.c_str());
}
