#include "platform/msiservice.h"
#include "platform/syslib.h"

CHECK_EXPORT_TYPE(CMsiLibrary::PFN_MSI_SET_INTERNAL_UI, MsiSetInternalUI);
CHECK_EXPORT_TYPE(CMsiLibrary::PFN_MSI_SET_EXTERNAL_UI_W, MsiSetExternalUIW);
CHECK_EXPORT_TYPE(CMsiLibrary::PFN_MSI_INSTALL_PRODUCT_W, MsiInstallProductW);
CHECK_EXPORT_TYPE(CMsiLibrary::PFN_MSI_QUERY_PRODUCT_STATE_W, MsiQueryProductStateW);

namespace
{
template <typename T>
T CastExport(FARPROC pfn)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(pfn));
}
}

DWORD CMsiLibrary::Load()
{
    if (m_hModule)
    {
        return ERROR_SUCCESS;
    }
    m_hModule = LoadSystemLibrary(L"msi.dll");
    if (!m_hModule)
    {
        DWORD dwError = GetLastError();
        return dwError ? dwError : ERROR_MOD_NOT_FOUND;
    }
    pfnSetInternalUI = CastExport<PFN_MSI_SET_INTERNAL_UI>(GetExport("MsiSetInternalUI"));
    pfnSetExternalUIW = CastExport<PFN_MSI_SET_EXTERNAL_UI_W>(GetExport("MsiSetExternalUIW"));
    pfnInstallProductW = CastExport<PFN_MSI_INSTALL_PRODUCT_W>(GetExport("MsiInstallProductW"));
    pfnQueryProductStateW = CastExport<PFN_MSI_QUERY_PRODUCT_STATE_W>(GetExport("MsiQueryProductStateW"));
    return ERROR_SUCCESS;
}

void CMsiLibrary::Unload()
{
    if (m_hModule)
    {
        FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }
    pfnSetInternalUI = nullptr;
    pfnSetExternalUIW = nullptr;
    pfnInstallProductW = nullptr;
    pfnQueryProductStateW = nullptr;
}

FARPROC CMsiLibrary::GetExport(LPCSTR szName) const
{
    return m_hModule ? GetProcAddress(m_hModule, szName) : nullptr;
}

bool CMsiLibrary::HasInstallEntryPoints() const
{
    static const char* const c_rgszRequired[] = {
        "MsiSetInternalUI",      "MsiSetExternalUIW",    "MsiInstallProductW", "MsiApplyPatchW",
        "MsiReinstallProductW",  "MsiQueryProductStateW", "MsiDatabaseOpenViewW", "MsiViewExecute",
        "MsiViewFetch",          "MsiRecordGetStringW",  "MsiCloseHandle",
    };
    if (!m_hModule)
    {
        return false;
    }
    for (const char* szName : c_rgszRequired)
    {
        if (!GetExport(szName))
        {
            return false;
        }
    }
    return true;
}
