#include "e2e/installrun.h"
#include "support/screenshot.h"
#include <algorithm>
#include <map>

namespace
{
// Every file that a layout of this manifest holds, by its path there; the
// server has each below /esd/en/tessal/.
const char* const c_rgLayoutFiles[] = {
    "installfiles/MSI/WindowsInstaller-KB893803-v2-x86.exe",
    "installfiles/VC9/vcredist_x86.exe",
    "installfiles/VC9/vcredist_x64.exe",
    "installfiles/dotNet/dotNetFx35setup.exe",
    "installfiles/DIRECT3D/D3DXCORE.zip",
    "installfiles/MSXML/msxml6.msi",
    "installfiles/MSXML/msxml6_x64.msi",
    "installfiles/TESSAL/TESSAL.zip",
    "eula.zip",
    "update.txt",
};

std::wstring Widen(const std::string& strText)
{
    return std::wstring(strText.begin(), strText.end());
}

std::wstring InFolder(const std::wstring& strFolder, const char* szRelative)
{
    std::wstring strPath = strFolder + L"\\" + Widen(szRelative);
    std::replace(strPath.begin(), strPath.end(), L'/', L'\\');
    return strPath;
}

void RemoveTree(const std::wstring& strFolder)
{
    ForEachEntry(strFolder, [&strFolder](const std::wstring& strName, bool fDirectory) {
        std::wstring strPath = strFolder + L"\\" + strName;
        SetFileAttributesW(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        fDirectory ? RemoveTree(strPath) : static_cast<void>(DeleteFileW(strPath.c_str()));
    });
    RemoveDirectoryW(strFolder.c_str());
}

// Copies a layout's tree, each file made read-only.
void CopyTreeReadOnly(const std::wstring& strFrom, const std::wstring& strTo)
{
    CreateDirectoryW(strTo.c_str(), nullptr);
    ForEachEntry(strFrom, [&strFrom, &strTo](const std::wstring& strName, bool fDirectory) {
        std::wstring strSource = strFrom + L"\\" + strName;
        std::wstring strTarget = strTo + L"\\" + strName;
        if (fDirectory)
        {
            CopyTreeReadOnly(strSource, strTarget);
            return;
        }
        CopyFileW(strSource.c_str(), strTarget.c_str(), FALSE);
        SetFileAttributesW(strTarget.c_str(), FILE_ATTRIBUTE_READONLY);
    });
}

std::map<std::string, int> CountRequests()
{
    std::map<std::string, int> counts;
    for (const std::string& strPath : ReadServerRequests())
    {
        ++counts[strPath];
    }
    return counts;
}

std::string ServerPath(const char* szRelative)
{
    return std::string("/esd/en/tessal/") + szRelative;
}

SetupRunResult RunLayoutSetup(const std::wstring& strExe, const std::wstring& strCommandLine)
{
    SetupRunOptions options;
    options.strExe = strExe;
    options.strCommandLine = strCommandLine;
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    SetupRunResult result = CRunningSetup(options).Wait();
    EXPECT_FALSE(result.fTimedOut) << "the run waited for something";
    EXPECT_TRUE(result.boxes.empty());
    return result;
}

class InstallRunLayoutTest : public InstallRunTest
{
protected:
    void SetUp() override
    {
        InstallRunTest::SetUp();
        RemoveTree(m_strFolder);
        ClearServerRequests();
    }
    void TearDown() override
    {
        RemoveTree(m_strFolder);
        InstallRunTest::TearDown();
    }
    // Makes the layout with a quiet run and checks it is whole.
    void MakeLayout()
    {
        SetupRunResult result = RunLayoutSetup(L"TessalSetup.exe", L"/layout \"" + m_strFolder + L"\" /quiet");
        ASSERT_EQ(0u, result.dwExitCode);
        for (const char* szFile : c_rgLayoutFiles)
        {
            const std::string strServed = ReadFileBytes(InFolder(GetServerRoot() + L"esd\\en\\tessal", szFile));
            ASSERT_FALSE(strServed.empty()) << szFile;
            ASSERT_EQ(strServed, ReadFileBytes(InFolder(m_strFolder, szFile))) << szFile;
        }
        ASSERT_EQ(ReadFileBytes(GetBinPath(L"TessalSetup.exe")), ReadFileBytes(m_strFolder + L"\\TessalSetup.exe"));
    }

    const std::wstring m_strFolder = GetTempFolder() + L"tessal-layout";
};
}

TEST_F(InstallRunLayoutTest, ALayoutHoldsEveryFileOnceAndIsNotFetchedAgain)
{
    MakeLayout();
    std::map<std::string, int> counts = CountRequests();
    for (const char* szFile : c_rgLayoutFiles)
    {
        EXPECT_EQ(1, counts[ServerPath(szFile)]) << szFile;
    }
    EXPECT_EQ(std::size(c_rgLayoutFiles), counts.size());
    // Nothing was installed, and a second run, with its pages, asks the
    // server for nothing.
    EXPECT_EQ("", ReadStubCalls());
    ClearServerRequests();
    SetupRunOptions options;
    options.strCommandLine = L"/layout \"" + m_strFolder + L"\"";
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup again(options);
    HWND hFinish = WaitForPage(again.GetProcessId(), DriverPageFinish, 60000);
    ASSERT_NE(nullptr, hFinish);
    SaveScreenshot(L"layout-finish");
    EXPECT_EQ(L"Layout complete.", GetControlText(hFinish, 1005));
    EXPECT_EQ(L"Close", GetControlText(hFinish, 107));
    SetupRunResult result = CloseFinishPage(again, hFinish, L"Layout complete.");
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_TRUE(ReadServerRequests().empty());
    // A folder that cannot be made is refused before any transfer.
    ClearServerRequests();
    EXPECT_EQ(87u, RunLayoutSetup(L"TessalSetup.exe", L"/layout \"" + m_strFolder + L"\\eula.zip\\x\" /quiet").dwExitCode);
    EXPECT_TRUE(ReadServerRequests().empty());
}

TEST_F(InstallRunLayoutTest, ACancelledLayoutIsFinishedByRunningItAgain)
{
    const char c_szSlow[] = "installfiles/dotNet/dotNetFx35setup.exe";
    SetServerFaults("{\"" + ServerPath(c_szSlow) + "\": {\"mode\": \"throttle\", \"rate\": 4000}}");
    SetupRunOptions options;
    options.strCommandLine = L"/layout \"" + m_strFolder + L"\" /passive";
    options.dwTimeoutMs = c_dwRunTimeoutMs;
    CRunningSetup setup(options);
    HWND hProgress = WaitForPage(setup.GetProcessId(), DriverPageProgress, 30000);
    ASSERT_NE(nullptr, hProgress);
    const std::wstring strBefore = InFolder(m_strFolder, "installfiles/VC9/vcredist_x64.exe");
    for (int i = 0; i < 2400 && GetFileAttributesW(strBefore.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
    {
        Sleep(25);
    }
    Sleep(500);
    SaveScreenshot(L"layout-progress");
    ClickButton(hProgress, 107);
    SetupRunResult cancelled = setup.Wait();
    EXPECT_EQ(1602u, cancelled.dwExitCode);
    // The interrupted file never stands under its own name.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(InFolder(m_strFolder, c_szSlow).c_str()));
    std::map<std::string, int> first = CountRequests();

    SetServerFaults("{}");
    ClearServerRequests();
    MakeLayout();
    std::map<std::string, int> second = CountRequests();
    for (const char* szFile : c_rgLayoutFiles)
    {
        // Each file came once in all; the one cut off came again.
        EXPECT_EQ(std::string(szFile) == c_szSlow ? 2 : 1, first[ServerPath(szFile)] + second[ServerPath(szFile)])
            << szFile;
    }
}

TEST_F(InstallRunLayoutTest, ASetupBesideALayoutInstallsWithoutTheNetwork)
{
    MakeLayout();
    ClearServerRequests();
    SetupRunResult beside = RunAndCloseFinishPage((m_strFolder + L"\\TessalSetup.exe").c_str(), L"Installation successful.");
    EXPECT_TRUE(beside.boxes.empty());
    EXPECT_TRUE(HasCall(ReadStubCalls(), "dotNetFx35setup", "/qb /norestart")) << ReadStubCalls();
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
    EXPECT_TRUE(ReadServerRequests().empty()) << ReadServerRequests().size() << " requests";

    // A read-only copy named by /source, which lacks one package: only that
    // one comes from the server.
    ResetMachine();
    const std::wstring strCopy = m_strFolder + L"-readonly";
    RemoveTree(strCopy);
    CopyTreeReadOnly(m_strFolder, strCopy);
    const char c_szMissing[] = "installfiles/dotNet/dotNetFx35setup.exe";
    SetFileAttributesW(InFolder(strCopy, c_szMissing).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(InFolder(strCopy, c_szMissing).c_str());
    ClearServerRequests();
    SetupRunResult fromSource = RunLayoutSetup(L"TessalSetup.exe", L"/quiet /source \"" + strCopy + L"\"");
    EXPECT_EQ(0u, fromSource.dwExitCode);
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
    EXPECT_EQ(std::vector<std::string>{ServerPath(c_szMissing)}, ReadServerRequests());
    // The layout is only read.
    EXPECT_NE(0u, GetFileAttributesW(InFolder(strCopy, "eula.zip").c_str()) & FILE_ATTRIBUTE_READONLY);
    RemoveTree(strCopy);
    // A folder without a layout is a bad command line.
    EXPECT_EQ(87u, RunLayoutSetup(L"TessalSetup.exe", L"/quiet /source \"" + GetTempFolder() + L"\"").dwExitCode);
}
