#include "support/msioverride.h"
#include "platform/overrides.h"
#include "support/testpaths.h"

namespace
{
std::wstring g_strFakeFolder;

INSTALLSTATE WINAPI QueryNothingInstalled(LPCWSTR)
{
    return INSTALLSTATE_UNKNOWN;
}

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
    // A folder of its own each time: the platform may keep an earlier
    // stand-in mapped, and then it could be neither deleted nor replaced.
    static int s_nFolder = 0;
    m_strFolder = GetTempFolder() + L"tessal-fake-system-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(++s_nFolder);
    CreateDirectoryW(m_strFolder.c_str(), nullptr);
    std::wstring strTarget = m_strFolder + L"\\MSI.DLL";
    DeleteFileW(strTarget.c_str());
    if (szStandIn)
    {
        CopyFileW(GetBinPath(szStandIn).c_str(), strTarget.c_str(), FALSE);
    }
    g_strFakeFolder = m_strFolder;
    g_overrides.pfnGetSystemDirectoryW = GetFakeSystemDirectory;
    // Wine's version reader answers for a loaded module of the same name, so
    // the real msi.dll must stay out of this process.
    g_overrides.pfnMsiQueryProductStateW = QueryNothingInstalled;
}

CFakeSystemFolder::~CFakeSystemFolder()
{
    ResetPlatformOverrides();
    DeleteFileW((m_strFolder + L"\\MSI.DLL").c_str());
    RemoveDirectoryW(m_strFolder.c_str());
}
