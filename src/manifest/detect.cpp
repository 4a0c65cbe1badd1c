#include "manifest/detect.h"
#include "manifest/manifest.h"
#include "buildconfig.h"
#include "diag/safestr.h"
#include "diag/setuplog.h"
#include "platform/msiservice.h"
#include "platform/overrides.h"
#include "platform/registry.h"
#include "platform/syslib.h"
#include "platform/urlservice.h"
#include "engine/download.h"
#include "ui/wizard.h"
#include <objbase.h>
#include <stdlib.h>

namespace
{
const WCHAR c_szProductUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brantlow Project Tessal";
// {88D96A05-F192-11D4-A65F-0040963251E5}: the MSXML 6.0 DOM document.
const CLSID c_clsidXmlDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};

bool IsKey(const CPackageInfo* pPackage, LPCWSTR szKey)
{
    return pPackage->szKey && IsTextEqualNoCase(pPackage->szKey, szKey);
}

bool IsDigits(const std::wstring& strPart)
{
    for (WCHAR ch : strPart)
    {
        if (ch < L'0' || ch > L'9')
        {
            return false;
        }
    }
    return true;
}

// The version is in the first word; a few kilobytes are plenty.
struct VersionFileHead
{
    char rgBytes[4096];
    DWORD cbRead = 0;
};

void ReadFileHead(LPCWSTR szPath, VersionFileHead* pHead)
{
    HANDLE hFile = CreateFileW(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
    {
        ReadFile(hFile, pHead->rgBytes, sizeof(pHead->rgBytes), &pHead->cbRead, nullptr);
        CloseHandle(hFile);
    }
}

}

bool IsProductInstalled(LPCWSTR szCode)
{
    if (!szCode || szCode[0] == L'\0')
    {
        return false;
    }
    if (g_overrides.pfnMsiQueryProductStateW)
    {
        return g_overrides.pfnMsiQueryProductStateW(szCode) == INSTALLSTATE_DEFAULT;
    }
    CMsiLibrary msi;
    if (msi.Load() == ERROR_SUCCESS)
    {
        return msi.pfnQueryProductStateW && msi.pfnQueryProductStateW(szCode) == INSTALLSTATE_DEFAULT;
    }
    // Without the installer library, the product's uninstall key stands in.
    WCHAR szKey[255];
    if (FAILED(SafeCopy(szKey, ARRAYSIZE(szKey), L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\")) ||
        FAILED(SafeAppend(szKey, ARRAYSIZE(szKey), szCode)))
    {
        return false;
    }
    HKEY hKey = OpenMachineKeyEitherView(szKey);
    if (hKey)
    {
        RegCloseKey(hKey);
    }
    return hKey != nullptr;
}

bool IsDotNet35Installed()
{
    HKEY hKey = OpenMachineKeyEitherView(L"Software\\Microsoft\\NET Framework Setup\\NDP\\V3.5");
    if (!hKey)
    {
        return false;
    }
    DWORD dwServicePack = 0;
    DWORD cbValue = sizeof(dwServicePack);
    LONG lResult = RegQueryValueExW(hKey, L"SP", nullptr, nullptr, reinterpret_cast<LPBYTE>(&dwServicePack), &cbValue);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS && dwServicePack != 0;
}

bool IsDirectXInstalled()
{
    WCHAR szPath[MAX_PATH] = {};
    if (ComposeSystemFilePath(g_overrides.pfnGetSystemDirectoryW, L"d3dx10_41.dll", szPath) != ERROR_SUCCESS)
    {
        return false;
    }
    HMODULE hLibrary = LoadLibraryW(szPath);
    if (!hLibrary)
    {
        return false;
    }
    FreeLibrary(hLibrary);
    return true;
}

bool IsXmlParserInstalled()
{
    if (CoInitialize(nullptr) != S_OK)
    {
        return false;
    }
    IUnknown* pObject = nullptr;
    HRESULT hr = CoCreateInstance(c_clsidXmlDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&pObject));
    if (SUCCEEDED(hr) && pObject)
    {
        pObject->Release();
    }
    CoUninitialize();
    return SUCCEEDED(hr);
}

bool ParseVersion(LPCWSTR szText, std::wstring rgParts[4])
{
    if (!szText)
    {
        return false;
    }
    std::wstring rgFound[4];
    size_t nPart = 0;
    for (LPCWSTR p = szText; *p; ++p)
    {
        if (*p == L'.')
        {
            if (++nPart > 3)
            {
                return false;
            }
            continue;
        }
        rgFound[nPart].push_back(*p);
    }
    if (nPart != 3)
    {
        return false;
    }
    for (const std::wstring& strPart : rgFound)
    {
        if (!IsDigits(strPart))
        {
            return false;
        }
    }
    for (size_t i = 0; i < 4; ++i)
    {
        rgParts[i] = rgFound[i];
    }
    return true;
}

bool IsVersionNewer(const std::wstring rgOnline[4], const std::wstring rgLocal[4])
{
    for (size_t i = 0; i < 4; ++i)
    {
        long lOnline = wcstol(rgOnline[i].c_str(), nullptr, 10);
        long lLocal = wcstol(rgLocal[i].c_str(), nullptr, 10);
        if (lOnline != lLocal)
        {
            return lOnline > lLocal;
        }
    }
    return false;
}

std::wstring ExtractOnlineVersion(std::string_view strFile)
{
    auto isSpace = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\v' || ch == '\f'; };
    size_t iStart = 0;
    while (iStart < strFile.size() && isSpace(strFile[iStart]))
    {
        ++iStart;
    }
    size_t iEnd = iStart;
    while (iEnd < strFile.size() && !isSpace(strFile[iEnd]) && strFile[iEnd] != '\0')
    {
        ++iEnd;
    }
    std::string_view strWord = strFile.substr(iStart, iEnd - iStart);
    size_t iHash = strWord.rfind('#');
    if (iHash == std::string_view::npos)
    {
        return std::wstring();
    }
    std::wstring strVersion;
    for (char ch : strWord.substr(iHash + 1))
    {
        // Each byte is one character.
        strVersion.push_back(static_cast<WCHAR>(static_cast<unsigned char>(ch)));
    }
    return strVersion;
}

std::wstring GetOnlineVersionUrl()
{
    return GetServerOrigin() + L"/esd/en/tessal/update.txt";
}

bool IsOlderVersionInstalled()
{
    std::wstring rgLocal[4];
    bool fLocalValid = false;
    HKEY hKey = nullptr;
    if ((hKey = OpenMachineKey(c_szProductUninstallKey, 0)) != nullptr)
    {
        WCHAR szVersion[128] = {};
        DWORD cbVersion = sizeof(szVersion) - sizeof(WCHAR);
        LONG lResult =
            RegQueryValueExW(hKey, L"DisplayVersion", nullptr, nullptr, reinterpret_cast<LPBYTE>(szVersion), &cbVersion);
        RegCloseKey(hKey);
        if (lResult != ERROR_SUCCESS)
        {
            CSetupLog::Instance().Write(L"  Installation Error: %s\n", L"Failed to get local version");
            return false;
        }
        fLocalValid = ParseVersion(szVersion, rgLocal);
    }
    WCHAR szCached[MAX_PATH] = {};
    // Under the watchdog: a silent server must not freeze the splash, and
    // the removal step's fetch ends with a cancel.
    if (FAILED(DownloadSmallFile(GetOnlineVersionUrl().c_str(), szCached, g_pWizard)))
    {
        CSetupLog::Instance().Write(L"  Installation Error: %s\n", L"Failed to get online version");
        return false;
    }
    VersionFileHead head;
    ReadFileHead(szCached, &head);
    std::wstring strOnline = ExtractOnlineVersion(std::string_view(head.rgBytes, head.cbRead));
    std::wstring rgOnline[4];
    if (!fLocalValid || strOnline.empty() || !ParseVersion(strOnline.c_str(), rgOnline))
    {
        return false;
    }
    return IsVersionNewer(rgOnline, rgLocal);
}

bool IsPackageInstalled(const CPackageInfo* pPackage)
{
    bool fOwnProduct = IsKey(pPackage, L"TESSAL") || IsKey(pPackage, L"TESSALUNINST");
    if (pPackage->szProductCode && !fOwnProduct && IsProductInstalled(pPackage->szProductCode))
    {
        return true;
    }
    if (IsKey(pPackage, L"DOTNET35SP1"))
    {
        return IsProductInstalled(L"{CE2CDD62-0124-36CA-84D3-9F4DCF5C5BD9}") ||
               IsProductInstalled(L"Microsoft .NET Framework 3.5 SP1") || IsDotNet35Installed();
    }
    if (IsKey(pPackage, L"D3DCORE"))
    {
        return IsDirectXInstalled();
    }
    if (IsKey(pPackage, L"TESSALUNINST"))
    {
        return IsOlderVersionInstalled();
    }
    if (IsKey(pPackage, L"MSXML6") || IsKey(pPackage, L"MSXML6X64"))
    {
        return IsXmlParserInstalled();
    }
    return false;
}
