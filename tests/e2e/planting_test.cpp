#include "engine/zip.h"
#include "support/setuprun.h"
#include "support/testpaths.h"
#include "support/wizarddriver.h"
#include <gtest/gtest.h>
#include <string>

namespace
{
// The libraries that the setup loads at run time. Not version.dll: Wine's
// own advapi32 imports it, and Wine's loader takes it from the program's
// folder when the process starts, before any code of the program runs. Nor
// the statically imported known DLLs, which Windows maps from the system.
const wchar_t* const c_rgszPlantedNames[] = {L"msi.dll",    L"riched20.dll", L"wintrust.dll", L"crypt32.dll",
                                             L"urlmon.dll", L"wininet.dll",  L"comctl32.dll"};
const wchar_t c_szSetupName[] = L"TessalSetup-planted.exe";

std::wstring GetPlantedLog()
{
    return GetTempFolder() + L"tessal-planted.txt";
}

// A downloads folder with the setup, marker DLLs under system names beside
// it and in the current folder, and Wine told to prefer DLLs it finds on
// disk over its own for this setup.
class CPlantedFolder
{
public:
    explicit CPlantedFolder(bool fPlantMarkers)
    {
        m_strRoot = GetTempFolder() + L"tessal-planted-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        m_strSetupFolder = m_strRoot + L"downloads\\";
        m_strWorkingFolder = m_strRoot + L"current\\";
        CreateDirectoryW(m_strRoot.c_str(), nullptr);
        CreateDirectoryW(m_strSetupFolder.c_str(), nullptr);
        CreateDirectoryW(m_strWorkingFolder.c_str(), nullptr);
        CopyFileW(GetBinPath(L"TessalSetup.exe").c_str(), GetSetupPath().c_str(), FALSE);
        for (const wchar_t* szName : c_rgszPlantedNames)
        {
            for (const std::wstring& strFolder : {m_strSetupFolder, m_strWorkingFolder})
            {
                if (fPlantMarkers)
                {
                    CopyFileW(GetBinPath(L"marker.dll").c_str(), (strFolder + szName).c_str(), FALSE);
                }
            }
        }
        DeleteFileW(GetPlantedLog().c_str());
        std::wstring strKey = L"Software\\Wine\\AppDefaults\\" + std::wstring(c_szSetupName) + L"\\DllOverrides";
        if (RegCreateKeyExW(HKEY_CURRENT_USER, strKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &m_hKey, nullptr) ==
            ERROR_SUCCESS)
        {
            for (const wchar_t* szName : c_rgszPlantedNames)
            {
                std::wstring strName(szName, wcslen(szName) - 4);
                const wchar_t szOrder[] = L"native,builtin";
                RegSetValueExW(m_hKey, strName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(szOrder),
                               sizeof(szOrder));
            }
        }
    }
    ~CPlantedFolder()
    {
        if (m_hKey)
        {
            RegCloseKey(m_hKey);
            RegDeleteTreeW(HKEY_CURRENT_USER,
                           (L"Software\\Wine\\AppDefaults\\" + std::wstring(c_szSetupName)).c_str());
        }
        DeleteFolderTree(m_strRoot.c_str());
        RemoveDirectoryW(m_strRoot.c_str());
        DeleteFileW(GetPlantedLog().c_str());
    }
    CPlantedFolder(const CPlantedFolder&) = delete;
    CPlantedFolder& operator=(const CPlantedFolder&) = delete;

    std::wstring GetSetupPath() const { return m_strSetupFolder + c_szSetupName; }
    const std::wstring& GetSetupFolder() const { return m_strSetupFolder; }

    SetupRunOptions MakeOptions() const
    {
        SetupRunOptions options;
        options.strExe = GetSetupPath();
        options.strWorkingFolder = m_strWorkingFolder;
        return options;
    }

private:
    std::wstring m_strRoot;
    std::wstring m_strSetupFolder;
    std::wstring m_strWorkingFolder;
    HKEY m_hKey = nullptr;
};
}

TEST(PlantedDllTest, NoDllBesideTheSetupOrInTheCurrentFolderIsLoaded)
{
    CPlantedFolder planted(true);
    // The marker records its loads.
    {
        std::wstring strMarker = planted.GetSetupFolder() + L"proof.dll";
        CopyFileW(GetBinPath(L"marker.dll").c_str(), strMarker.c_str(), FALSE);
        HMODULE hProof = LoadLibraryW(strMarker.c_str());
        ASSERT_NE(nullptr, hProof);
        FreeLibrary(hProof);
        bool fExists = false;
        ReadFileUtf16(GetPlantedLog(), &fExists);
        ASSERT_TRUE(fExists) << "the marker does not record its loads";
        DeleteFileW(GetPlantedLog().c_str());
    }

    // An install run up to the licence page: the manifest, detection with
    // msi.dll, the licence download and the rich-edit control.
    {
        CRunningSetup setup(planted.MakeOptions());
        HWND hPage = WaitForPage(setup.GetProcessId(), DriverPageLicense, 60000);
        ASSERT_NE(nullptr, hPage);
        for (int i = 0; i < 600 && SendDlgItemMessageW(hPage, 1093, CB_GETCOUNT, 0, 0) <= 0; ++i)
        {
            Sleep(50);
        }
        EXPECT_GT(SendDlgItemMessageW(hPage, 1093, CB_GETCOUNT, 0, 0), 0) << "the licence archive was not read";
        ClickButton(hPage, 107);
        SetupRunResult result = setup.Wait();
        EXPECT_FALSE(result.fTimedOut);
        EXPECT_FALSE(result.fCrashed);
        EXPECT_TRUE(result.boxes.empty());
    }
    // A signature check: the trust and certificate libraries.
    {
        SetupRunOptions options = planted.MakeOptions();
        options.strCommandLine = L"/v \"" + GetBinPath(L"signed-a.exe") + L"\"";
        SetupRunResult result = RunSetupProcess(options);
        EXPECT_FALSE(result.fTimedOut);
        EXPECT_NE(std::wstring::npos, result.GetTrace().find(L"[WVT] WVT returned")) << result.GetTrace().c_str();
    }
    bool fLoaded = false;
    std::wstring strLoads = ReadFileUtf16(GetPlantedLog(), &fLoaded);
    EXPECT_FALSE(fLoaded) << "planted DLLs were loaded:\n" << strLoads.c_str();
}

TEST(PlantedDllTest, ARedirectionBesideTheSetupStopsItBeforeItLoadsAnything)
{
    CPlantedFolder planted(false);
    for (bool fFolder : {false, true})
    {
        std::wstring strLocal = planted.GetSetupPath() + L".local";
        if (fFolder)
        {
            CreateDirectoryW(strLocal.c_str(), nullptr);
        }
        else
        {
            CopyFileW(GetBinPath(L"marker.dll").c_str(), strLocal.c_str(), FALSE);
        }
        SetupRunResult result = RunSetupProcess(planted.MakeOptions());
        EXPECT_FALSE(result.fTimedOut);
        EXPECT_EQ(0u, result.dwExitCode);
        ASSERT_EQ(1u, result.boxes.size()) << (fFolder ? "folder" : "file");
        EXPECT_EQ(L"The setup cannot run while '" + strLocal +
                      L"' exists beside it: Windows would load system files through it. Remove it and start the "
                      L"setup again.",
                  result.boxes[0].strText);
        // It stopped before the manifest.
        EXPECT_EQ(std::wstring::npos, result.GetTrace().find(L"[Resource]"));
        if (fFolder)
        {
            RemoveDirectoryW(strLocal.c_str());
        }
        else
        {
            DeleteFileW(strLocal.c_str());
        }
    }
}
