#include "ui/installerui.h"
#include "ui/wizard.h"
#include <gtest/gtest.h>
#include <string>

TEST(ProgressRecordTest, ParsesWellFormedRecordsAndRefusesBrokenOnes)
{
    struct
    {
        const wchar_t* szRecord;
        bool fParsed;
        int f1, f2, f3, f4;
    } const rgCases[] = {
        {L"1: 0 2: 416914 3: 0 4: 0 ", true, 0, 416914, 0, 0},
        {L"1: 2 2: 24000 3: 0 4: 0 ", true, 2, 24000, 0, 0},
        {L"1: 0 2: 100 3: 1 4: 1", true, 0, 100, 1, 1},
        {L"1: 1 2: 5 3: 7 4: 9 ", true, 1, 5, 7, 0},
        {L"1: 3 2: -12", true, 3, -12, 0, 0},
        {L"", false, 0, 0, 0, 0},
        {L"1: ", false, 0, 0, 0, 0},
        {L"2", false, 0, 0, 0, 0},
        {L"1: 2 2:", false, 2, 0, 0, 0},
        {L"1: x", false, 0, 0, 0, 0},
        {L"5: 1", false, 0, 0, 0, 0},
        {L"1: 0 2: 10", true, 0, 10, 0, 0},
    };
    for (const auto& c : rgCases)
    {
        std::wstring strRecord(c.szRecord);
        strRecord.push_back(L'\0');
        int rgFields[4] = {0, 0, 0, 0};
        EXPECT_EQ(c.fParsed, ParseProgressFields(&strRecord[0], rgFields)) << c.szRecord;
        if (c.fParsed)
        {
            EXPECT_EQ(c.f1, rgFields[0]) << c.szRecord;
            EXPECT_EQ(c.f2, rgFields[1]) << c.szRecord;
            EXPECT_EQ(c.f3, rgFields[2]) << c.szRecord;
            EXPECT_EQ(c.f4, rgFields[3]) << c.szRecord;
        }
    }
}

TEST(ProgressRecordTest, ReadNumberFieldTerminatesInPlace)
{
    WCHAR szText[] = L"1234 rest";
    LPWSTR p = szText;
    EXPECT_EQ(1234, ReadNumberField(&p));
    EXPECT_EQ(szText + 4, p);
    EXPECT_EQ(L'\0', szText[4]);
    WCHAR szEnd[] = L"-7";
    p = szEnd;
    EXPECT_EQ(-7, ReadNumberField(&p));
    EXPECT_EQ(szEnd + 2, p);
}

TEST(ProgressRecordTest, SequencesMoveTheBarAsTheInstallerCounts)
{
    InstallerProgress progress = {0, true, 0, 0, false};
    const int rgReportBeforeReset[4] = {2, 500, 0, 0};
    ProgressAction action = ApplyProgressRecord(&progress, rgReportBeforeReset);
    EXPECT_FALSE(action.fSetRange);
    EXPECT_FALSE(action.fSetPosition);

    const int rgResetForward[4] = {0, 1000, 0, 1};
    action = ApplyProgressRecord(&progress, rgResetForward);
    EXPECT_TRUE(action.fSetRange);
    EXPECT_EQ(1000, action.nRange);
    EXPECT_EQ(0, action.nPosition);
    EXPECT_TRUE(progress.fScriptRunning);

    const int rgReport[4] = {2, 300, 0, 0};
    EXPECT_EQ(300, ApplyProgressRecord(&progress, rgReport).nPosition);
    EXPECT_EQ(600, ApplyProgressRecord(&progress, rgReport).nPosition);

    // A reset after the script ran puts the bar at the new total first;
    // counting down then shows minus the accumulated count.
    const int rgResetBackward[4] = {0, 800, 1, 0};
    action = ApplyProgressRecord(&progress, rgResetBackward);
    EXPECT_EQ(800, action.nRange);
    EXPECT_EQ(800, action.nPosition);
    EXPECT_FALSE(progress.fForward);
    EXPECT_EQ(-300, ApplyProgressRecord(&progress, rgReport).nPosition);

    const int rgResetEmpty[4] = {0, 0, 0, 0};
    ApplyProgressRecord(&progress, rgResetEmpty);
    EXPECT_FALSE(ApplyProgressRecord(&progress, rgReport).fSetPosition);
}

TEST(InstallerUiHandlerTest, AnswersByMessageKind)
{
    // Kinds that need no wizard: the handler answers before it looks at one.
    EXPECT_EQ(0, InstallerUiHandler(nullptr, 0x0A000000, nullptr));
    EXPECT_EQ(0, InstallerUiHandler(nullptr, 0x0A000000, L""));
    EXPECT_EQ(IDIGNORE, InstallerUiHandler(nullptr, 0x05000000, L"files"));
    EXPECT_EQ(IDIGNORE, InstallerUiHandler(nullptr, 0x19000000, L"files"));
    EXPECT_EQ(0, InstallerUiHandler(nullptr, 0x01000000 | MB_ICONERROR, L"an error"));
    EXPECT_EQ(0, InstallerUiHandler(nullptr, 0x04000000, L"info"));
}

TEST(InstallerUiHandlerTest, ProgressAnswersCarryTheCancelDecision)
{
    ResetInstallerProgress();
    CSetupWizard wizard;
    EXPECT_EQ(IDOK, InstallerUiHandler(&wizard, 0x0A000000, L"1: 0 2: 100 3: 0 4: 0 "));
    EXPECT_EQ(IDOK, InstallerUiHandler(&wizard, 0x0A000000, L"1: 2"));
    EXPECT_EQ(100, GetInstallerProgress().nTotal);
    // The installer's own text is never written to.
    const std::wstring strRecord = L"1: 2 2: 40 3: 0 4: 0 ";
    EXPECT_EQ(IDOK, InstallerUiHandler(&wizard, 0x0A000000, strRecord.c_str()));
    EXPECT_EQ(L"1: 2 2: 40 3: 0 4: 0 ", strRecord);
    EXPECT_EQ(40, GetInstallerProgress().nCurrent);
    // A failure elsewhere lets the install under way finish; only the
    // user's cancel stops it.
    wizard.m_fPackageFailed.store(true);
    EXPECT_TRUE(wizard.IsCancelled());
    EXPECT_EQ(IDOK, InstallerUiHandler(&wizard, 0x0A000000, L"1: 2 2: 10 3: 0 4: 0 "));
    wizard.m_fCancelled.store(true);
    EXPECT_EQ(IDCANCEL, InstallerUiHandler(&wizard, 0x0A000000, L"1: 2 2: 10 3: 0 4: 0 "));
    EXPECT_EQ(IDCANCEL, InstallerUiHandler(&wizard, 0x0A000000, L"garbage"));
    ResetInstallerProgress();
}
