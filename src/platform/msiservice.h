#pragma once
#include <windows.h>
#include <msi.h>

// The Windows Installer library, loaded by name at run time so that the
// setup starts on systems where it is missing or broken.
class CMsiLibrary
{
public:
    using PFN_MSI_SET_INTERNAL_UI = INSTALLUILEVEL(WINAPI*)(INSTALLUILEVEL, HWND*);
    using PFN_MSI_SET_EXTERNAL_UI_W = INSTALLUI_HANDLERW(WINAPI*)(INSTALLUI_HANDLERW, DWORD, LPVOID);
    using PFN_MSI_INSTALL_PRODUCT_W = UINT(WINAPI*)(LPCWSTR, LPCWSTR);
    using PFN_MSI_QUERY_PRODUCT_STATE_W = INSTALLSTATE(WINAPI*)(LPCWSTR);

    CMsiLibrary() = default;
    ~CMsiLibrary() { Unload(); }
    CMsiLibrary(const CMsiLibrary&) = delete;
    CMsiLibrary& operator=(const CMsiLibrary&) = delete;

    // ERROR_SUCCESS, or the loader's error when msi.dll cannot be loaded.
    DWORD Load();
    void Unload();
    HMODULE GetModule() const { return m_hModule; }

    // Null when the export is missing.
    FARPROC GetExport(LPCSTR szName) const;
    // Whether every entry point an install relies on is there: all twelve
    // of the install step but MsiOpenDatabaseW.
    bool HasInstallEntryPoints() const;

    PFN_MSI_SET_INTERNAL_UI pfnSetInternalUI = nullptr;
    PFN_MSI_SET_EXTERNAL_UI_W pfnSetExternalUIW = nullptr;
    PFN_MSI_INSTALL_PRODUCT_W pfnInstallProductW = nullptr;
    PFN_MSI_QUERY_PRODUCT_STATE_W pfnQueryProductStateW = nullptr;

private:
    HMODULE m_hModule = nullptr;
};
