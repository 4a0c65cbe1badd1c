#include "ui/license.h"
#include "diag/msgbox.h"
#include "diag/safestr.h"
#include "diag/setuplog.h"
#include "engine/download.h"
#include "engine/payload.h"
#include "engine/workfolder.h"
#include "engine/zip.h"
#include "manifest/manifest.h"
#include "platform/urlservice.h"
#include "platform/owners.h"
#include "ui/licenseini.h"
#include "ui/rtfcheck.h"
#include "buildconfig.h"
#include <memory>
#include <new>
#include <richedit.h>

std::optional<LicensePageState> g_licensePageState;

namespace
{
constexpr LPARAM c_cchLicenseLimit = 0x400000;
constexpr DWORD c_cbRtfScanChunk = 0x10000;
const wchar_t c_szOtherCountries[] = L"Other Countries";

// The licence folder joined with a name inside it; false when there is no
// folder yet or the path does not fit, so nothing is ever read relative to
// the current folder.
bool ComposeLicensePath(LPCWSTR szFolder, LPCWSTR szName, LPWSTR szPath)
{
    return szFolder && szFolder[0] != L'\0' && SUCCEEDED(SafeCopy(szPath, MAX_PATH, szFolder)) &&
           SUCCEEDED(SafeAppend(szPath, MAX_PATH, szName));
}

DWORD CALLBACK ReadRtfChunk(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    DWORD cbRead = 0;
    if (cb <= 0 || !ReadFile(reinterpret_cast<HANDLE>(dwCookie), pbBuffer, static_cast<DWORD>(cb), &cbRead, nullptr))
    {
        cbRead = 0;
    }
    *pcb = static_cast<LONG>(cbRead);
    return 0;
}

// Whether the file keeps within the limits that rich-edit readers are known
// to survive; the file is read to its end and rewound for the control.
bool IsRtfFileShowable(HANDLE hFile)
{
    std::unique_ptr<char[]> pBuffer(new (std::nothrow) char[c_cbRtfScanChunk]);
    if (!pBuffer)
    {
        return false;
    }
    CRtfLimitScanner scanner;
    DWORD cbRead = 0;
    while (ReadFile(hFile, pBuffer.get(), c_cbRtfScanChunk, &cbRead, nullptr) && cbRead > 0)
    {
        scanner.Scan(pBuffer.get(), cbRead);
        if (!scanner.IsWithinLimits())
        {
            return false;
        }
    }
    return SetFilePointer(hFile, 0, nullptr, FILE_BEGIN) == 0;
}

std::wstring GetComboEntryText(HWND hCombo, LRESULT nIndex)
{
    LRESULT cchText = SendMessageW(hCombo, CB_GETLBTEXTLEN, static_cast<WPARAM>(nIndex), 0);
    if (nIndex < 0 || cchText < 0)
    {
        return std::wstring();
    }
    std::wstring strText(static_cast<size_t>(cchText) + 1, L'\0');
    LRESULT cchCopied = SendMessageW(hCombo, CB_GETLBTEXT, static_cast<WPARAM>(nIndex),
                                     reinterpret_cast<LPARAM>(&strText[0]));
    strText.resize(cchCopied < 0 ? 0 : static_cast<size_t>(cchCopied));
    return strText;
}
}

std::wstring GetSelectedCountry(HWND hCombo)
{
    return GetComboEntryText(hCombo, SendMessageW(hCombo, CB_GETCURSEL, 0, 0));
}

namespace
{
// The archive matches the digest that the build stamped for it, if any.
bool IsLicenseArchiveTrusted(LPCWSTR szArchive)
{
    WCHAR szExpected[SHA256_TEXT_CAPACITY];
    if (!LoadBuildSetting(L"EULA_SHA256", szExpected, ARRAYSIZE(szExpected)))
    {
        return true;
    }
    WCHAR szActual[SHA256_TEXT_CAPACITY] = {};
    if (ComputeFileSha256(szArchive, szActual) == ERROR_SUCCESS && IsSameDigest(szExpected, szActual))
    {
        return true;
    }
    CSetupLog::Instance().Write(L"  Installation Error: the licence archive does not match its SHA-256: expected %s, "
                                L"found %s\n",
                                szExpected, szActual[0] ? szActual : L"(unreadable)");
    return false;
}
}

DWORD DownloadLicenseArchive(CSetupWizard* pWizard)
{
    WCHAR szFolder[MAX_PATH] = {};
    if (CreateWorkFolder(szFolder, MAX_PATH) != ERROR_SUCCESS)
    {
        return ERROR_INSTALL_FAILURE;
    }
    WCHAR szCached[MAX_PATH] = {};
    const std::wstring strUrl = GetServerOrigin() + L"/esd/en/tessal/eula.zip";
    // The transfer's own result is not needed: no file, no archive.
    DownloadSmallFile(strUrl.c_str(), szCached, pWizard);
    if (szCached[0] && !IsLicenseArchiveTrusted(szCached))
    {
        DropCachedUrl(strUrl.c_str());
        return ERROR_INVALID_DATA;
    }
    // The archive comes from the network: it may not fill the disk.
    DWORD dwResult = ExtractZipArchive(szCached, szFolder, LICENSE_MAX_UNPACKED);
    if (pWizard->m_szEulaFolder)
    {
        SafeCopy(pWizard->m_szEulaFolder, MAX_PATH, szFolder);
    }
    return dwResult;
}

void CSetupWizard::InitLicensePage()
{
    if (!g_licensePageState)
    {
        g_licensePageState.emplace();
    }
    HWND hWnd = m_hWnd.load();
    SetTimer(hWnd, IDT_FILL_LICENSE, 1, nullptr);
    SendMessageW(m_hCountryCombo, CB_RESETCONTENT, 0, 0);
    EnableWindow(GetDlgItem(hWnd, IDC_BUTTON_LEFT), TRUE);
    SetFocus(m_hCountryCombo);
    EnableWindow(GetDlgItem(hWnd, IDC_PRINT), TRUE);
}

void CSetupWizard::FillLicensePage(HWND hWndTimer)
{
    KillTimer(hWndTimer, IDT_FILL_LICENSE);
    if (FillCountryList() && g_licensePageState)
    {
        auto it = m_mapLicenseFiles.find(g_licensePageState->strCountry);
        if (it != m_mapLicenseFiles.end())
        {
            LoadLicenseText(it->second);
        }
    }
    HWND hWnd = m_hWnd.load();
    SetForegroundWindow(hWnd);
    RedrawWindow(hWnd, nullptr, nullptr, REDRAW_ALL);
    RedrawWindow(m_hLicenseText, nullptr, nullptr, REDRAW_ALL);
}

bool CSetupWizard::FillCountryList()
{
    WCHAR szIndex[MAX_PATH] = {};
    WCHAR szLcid[16] = {};
    SafeFormat(szLcid, ARRAYSIZE(szLcid), L"%d", static_cast<int>(SendMessageW(m_hCountryCombo, CB_GETLOCALE, 0, 0)));
    m_strUserLcid = szLcid;
    IniSectionMap map;
    if (!g_licensePageState || !ComposeLicensePath(m_szEulaFolder, L"BltwLicense.ini", szIndex) ||
        !ReadLicenseIni(szIndex, map))
    {
        return false;
    }
    const bool fPreselect = g_licensePageState->nSelection == -1;
    for (const auto& section : map)
    {
        const IniKeyMap& keys = section.second;
        auto itCountry = keys.find(L"Country");
        auto itLcid = keys.find(L"LCID");
        if (itCountry == keys.end() || itLcid == keys.end())
        {
            continue;
        }
        const std::wstring& strCountry = itCountry->second;
        LPARAM lParamCountry = reinterpret_cast<LPARAM>(strCountry.c_str());
        LRESULT nIndex = strCountry == c_szOtherCountries
                             ? SendMessageW(m_hCountryCombo, CB_INSERTSTRING, static_cast<WPARAM>(-1), lParamCountry)
                             : SendMessageW(m_hCountryCombo, CB_ADDSTRING, 0, lParamCountry);
        if (nIndex < 0)
        {
            return false;
        }
        auto itFile = keys.find(L"LicenseFile");
        if (itFile == keys.end())
        {
            continue;
        }
        m_mapLicenseFiles[strCountry] = itFile->second;
        if (fPreselect && IsLcidListed(itLcid->second, m_strUserLcid))
        {
            g_licensePageState->strCountry = strCountry;
            SendMessageW(m_hCountryCombo, CB_SETCURSEL, static_cast<WPARAM>(nIndex), 0);
        }
    }
    return true;
}

void CSetupWizard::OnCountryChanged()
{
    if (!g_licensePageState)
    {
        return;
    }
    LRESULT nIndex = SendMessageW(m_hCountryCombo, CB_GETCURSEL, 0, 0);
    g_licensePageState->nSelection = static_cast<int>(nIndex);
    g_licensePageState->strCountry = GetComboEntryText(m_hCountryCombo, nIndex);
    LoadLicenseText(m_mapLicenseFiles[g_licensePageState->strCountry]);
}

void CSetupWizard::LoadLicenseText(const std::wstring& strFile)
{
    WCHAR szPath[MAX_PATH] = {};
    CFileHandle file;
    if (ComposeLicensePath(m_szEulaFolder, strFile.c_str(), szPath))
    {
        // A folder (a country without a licence file) does not open as a file.
        // Nobody may write to it while it is open, so the control reads the
        // very bytes that were checked.
        file.Reset(CreateFileW(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file.IsValid() || !IsRtfFileShowable(file.Get()))
    {
        ShowMessageBox(GetOwnerWindow(), L"Error openning RTF file.", L"", MB_ICONERROR);
        return;
    }
    SendMessageW(m_hLicenseText, EM_SETBKGNDCOLOR, 0, RGB(255, 255, 255));
    SendMessageW(m_hLicenseText, EM_EXLIMITTEXT, 0, c_cchLicenseLimit);
    EDITSTREAM stream = {};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(file.Get());
    stream.pfnCallback = ReadRtfChunk;
    SendMessageW(m_hLicenseText, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    file.Reset(INVALID_HANDLE_VALUE);

    CHARFORMATW format = {};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_COLOR;
    format.crTextColor = RGB(0, 0, 0);
    SendMessageW(m_hLicenseText, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    LRESULT nFirstLine = SendMessageW(m_hLicenseText, EM_GETFIRSTVISIBLELINE, 0, 0);
    if (nFirstLine > 0)
    {
        SendMessageW(m_hLicenseText, EM_LINESCROLL, 0, -nFirstLine);
    }
    ShowWindow(m_hLicenseText, SW_HIDE);
    ShowWindow(m_hLicenseText, SW_SHOW);
}
