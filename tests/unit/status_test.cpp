#include "support/testpaths.h"
#include "ui/status.h"
#include "ui/wizard.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
struct PackageSpec
{
    const wchar_t* szName;
    int nAction;
    int nStatus;
    DWORD dwError;
};

// A package list on the heap's terms: nodes linked in order, names owned by
// the test.
class CTestList
{
public:
    explicit CTestList(const std::vector<PackageSpec>& specs) : m_nodes(specs.size())
    {
        for (size_t i = 0; i < specs.size(); ++i)
        {
            m_names.push_back(specs[i].szName);
        }
        for (size_t i = 0; i < specs.size(); ++i)
        {
            m_nodes[i].szProductName = &m_names[i][0];
            m_nodes[i].nAction = specs[i].nAction;
            m_nodes[i].nStatus.store(specs[i].nStatus);
            m_nodes[i].dwError.store(specs[i].dwError);
            m_nodes[i].pNext = i + 1 < specs.size() ? &m_nodes[i + 1] : nullptr;
        }
    }
    ~CTestList()
    {
        for (CPackageInfo& node : m_nodes)
        {
            node.szProductName = nullptr;
            node.pNext = nullptr;
        }
    }
    CPackageInfo* Head() { return m_nodes.empty() ? nullptr : &m_nodes[0]; }
    CPackageInfo* At(size_t i) { return &m_nodes[i]; }

private:
    std::vector<CPackageInfo> m_nodes;
    std::vector<std::wstring> m_names;
};

const FinishState c_stateOk = {true, true, true, false, false, false};
}

TEST(StatusTextTest, ProgressLinesFollowEachState)
{
    CDataModule setup(L"TessalSetup.exe");
    CTestList list({
        {L"A", ActionInstall, StatusPending, 0},
        {L"B", ActionInstall, StatusDownloaded, 0},
        {L"C", ActionInstall, StatusDownloading, 0},
        {L"D", ActionInstall, StatusInstalling, 0},
        {L"E", ActionInstall, StatusInstalled, 0},
        {L"F", ActionInstall, StatusDownloadFailed, 2},
        {L"G", ActionInstall, StatusInstallFailed, 1603},
        {L"H", ActionInstall, StatusPreviouslyInstalled, 0},
        {L"R1", ActionRemove, StatusDownloaded, 0},
        {L"R2", ActionRemove, StatusInstalling, 0},
        {L"R3", ActionRemove, StatusInstalled, 0},
    });
    StatusTexts texts;
    CPackageInfo* pInstalling = ComposeProgressTexts(setup.Get(), list.Head(), &texts);
    EXPECT_EQ(list.At(3), pInstalling);
    EXPECT_STREQ(L"Installation in progress...", texts.szTitle);
    EXPECT_STREQ(L"Please do not disconnect from the internet during installation.", texts.szSubtitle);
    EXPECT_STREQ(L"", texts.szStatus);
    EXPECT_STREQ(L"Pending: A\nPending: B\nDownloading:  C\nInstalling:  D\nCompleted:  E\nFAILED:  F\nFAILED:  G\n"
                 L"Previously Installed:  H\nPending: R1\nRemoving:  R2\nRemoved:  R3\n",
                 texts.szDetail);
}

TEST(StatusTextTest, ARemovalInProgressIsNotTheInstallingPackage)
{
    CDataModule setup(L"TessalSetup.exe");
    CTestList list({{L"R", ActionRemove, StatusInstalling, 0}, {L"A", ActionInstall, StatusPending, 0}});
    StatusTexts texts;
    EXPECT_EQ(nullptr, ComposeProgressTexts(setup.Get(), list.Head(), &texts));
}

TEST(StatusTextTest, LongListsAreCutAt511Characters)
{
    CDataModule setup(L"TessalSetup.exe");
    std::vector<PackageSpec> specs(40, PackageSpec{L"A package with a long display name", ActionInstall, StatusPending, 0});
    CTestList list(specs);
    StatusTexts texts;
    ComposeProgressTexts(setup.Get(), list.Head(), &texts);
    EXPECT_EQ(511u, wcslen(texts.szDetail));
    EXPECT_EQ(0, wcsncmp(texts.szDetail, L"Pending: A package with a long display name\nPending: A", 54));
}

TEST(StatusTextTest, FinishPageRows)
{
    CDataModule setup(L"TessalSetup.exe");
    const std::wstring strSupport = L"Please visit http://www.brantlow.example/support for help";
    struct
    {
        const char* szName;
        FinishState state;
        std::vector<PackageSpec> packages;
        const wchar_t* szTitle;
        const wchar_t* szSubtitle;
        std::wstring strDetail;
    } const rgCases[] = {
        {"os", {false, false, false, true, true, false}, {}, L"Installation failed.", L"",
         L"This platform can not support the version of Windows Installer you are attempting to install."},
        {"browser", {true, false, false, true, false, false}, {}, L"Installation failed.", L"",
         L"The version of IE is not supported."},
        {"disk", {true, true, false, false, false, false}, {}, L"Installation failed.", L"",
         L"There is not enough disk space for installation."},
        {"cancelled after a failure", {true, true, true, true, false, false}, {{L"A", ActionInstall, StatusInstallFailed, 5}},
         L"Installation canceled.", L"", L"Click Finish to exit this installation program."},
        {"download failed", c_stateOk, {{L"A", ActionInstall, StatusDownloadFailed, 2}}, L"Installation failed.",
         L"Please check your internet connection and try again",
         L"Project Tessal failed to install:\n\nA (0x2: Failed downloading component.)\n"},
        {"two failures, last hint wins", c_stateOk,
         {{L"A", ActionInstall, StatusDownloadFailed, 2},
          {L"R", ActionRemove, StatusInstallFailed, 1},
          {L"B", ActionInstall, StatusInstallFailed, 0x643}},
         L"Installation failed.", strSupport.c_str(),
         L"Project Tessal failed to install:\n\nA (0x2: Failed downloading component.)\nB (0x643: Internal error)\n"},
        {"restart", {true, true, true, false, true, false}, {{L"A", ActionInstall, StatusInstalled, 0}},
         L"Installation successful.", L"Brantlow Project Tessal is installed and ready to use.",
         L"You need to restart your machine in order for the changes to take effect.\n\nClick Restart Now to restart "
         L"your machine or click on Restart Later to manually restart the machine and exit this installation program"},
        {"success", c_stateOk, {{L"R", ActionRemove, StatusInstallFailed, 0}, {L"A", ActionInstall, StatusInstalled, 0}},
         L"Installation successful.", L"Brantlow Project Tessal is installed and ready to use.",
         L"Click Launch Now to start the program."},
        {"layout complete", {true, true, true, false, false, true}, {{L"eula.zip", ActionInstall, StatusInstalled, 0}},
         L"Layout complete.", L"",
         L"Every file is in the layout folder. Run TessalSetup.exe from there to install Project Tessal without the "
         L"network."},
        {"layout failed", {true, true, true, false, false, true},
         {{L"installfiles\\VC9\\vcredist_x86.exe", ActionInstall, StatusDownloadFailed, 2}}, L"Layout failed.",
         L"Please check your internet connection and try again",
         L"These files could not be copied into the layout:\n\ninstallfiles\\VC9\\vcredist_x86.exe (0x2: Failed "
         L"downloading component.)\n"},
        {"layout cancelled", {true, true, true, true, false, true}, {}, L"Layout canceled.", L"",
         L"Click Finish to exit this installation program."},
    };
    for (const auto& c : rgCases)
    {
        CTestList list(c.packages);
        StatusTexts texts;
        ComposeFinishTexts(setup.Get(), c.state, list.Head(), &texts);
        EXPECT_STREQ(c.szTitle, texts.szTitle) << c.szName;
        EXPECT_STREQ(c.szSubtitle, texts.szSubtitle) << c.szName;
        EXPECT_EQ(c.strDetail, std::wstring(texts.szDetail)) << c.szName;
        EXPECT_STREQ(L"", texts.szStatus) << c.szName;
    }
}

TEST(StatusTextTest, FinishButtons)
{
    struct
    {
        bool fRestart, fFailed, fCancelled;
        UINT nRight, nLeft;
    } const rgCases[] = {
        {true, true, true, 53, 54},   {false, false, false, 60, 59}, {false, false, true, 55, 0},
        {false, true, true, 55, 0},   {false, true, false, 60, 0},
    };
    for (const auto& c : rgCases)
    {
        FinishButtons buttons = ChooseFinishButtons(c.fRestart, c.fFailed, c.fCancelled);
        EXPECT_EQ(c.nRight, buttons.nRightText) << c.fRestart << c.fFailed << c.fCancelled;
        EXPECT_EQ(c.nLeft, buttons.nLeftText) << c.fRestart << c.fFailed << c.fCancelled;
    }
    // A finished layout has nothing to launch.
    FinishButtons layout = ChooseFinishButtons(false, false, false, true);
    EXPECT_EQ(60u, layout.nRightText);
    EXPECT_EQ(0u, layout.nLeftText);
}

TEST(StatusTextTest, ClosingTheWindowIsNeverARestart)
{
    struct
    {
        WizardPage nPage;
        bool fLicenseShown, fRestart;
        CloseAction nAction;
    } const rgCases[] = {
        {PageLicense, false, false, CloseActionNone},       {PageLicense, true, false, CloseActionDecline},
        {PageProgress, true, false, CloseActionAskCancel},  {PageProgress, true, true, CloseActionAskCancel},
        {PageFinish, true, false, CloseActionRightButton},  {PageFinish, true, true, CloseActionLeftButton},
    };
    for (const auto& c : rgCases)
    {
        EXPECT_EQ(c.nAction, ChooseCloseAction(c.nPage, c.fLicenseShown, c.fRestart))
            << c.nPage << c.fLicenseShown << c.fRestart;
    }
    // On the restart page the left button is "Restart Later".
    EXPECT_EQ(54u, ChooseFinishButtons(true, false, false).nLeftText);
}
