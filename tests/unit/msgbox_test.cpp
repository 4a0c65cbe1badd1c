#include "diag/msgbox.h"
#include "diag/setuplog.h"
#include "support/boxanswerer.h"
#include "support/testpaths.h"
#include <gtest/gtest.h>
#include <functional>
#include <string>

namespace
{
struct BoxOutcome
{
    std::vector<SeenBox> boxes;
    std::wstring strLog;
};

// Runs one report with the log open and a watcher answering its box.
BoxOutcome Report(const std::function<void()>& report, size_t nExpectedBoxes)
{
    BoxOutcome outcome;
    CSetupLog& log = CSetupLog::Instance();
    log.Open();
    {
        CBoxAnswerer answerer;
        report();
        EXPECT_TRUE(answerer.WaitForBoxes(nExpectedBoxes, 100));
        outcome.boxes = answerer.GetBoxes();
    }
    log.Close();
    outcome.strLog = ReadFileUtf16(GetTempFolder() + L"ProjectTessalSetup.log");
    return outcome;
}

bool LogHasError(const std::wstring& strLog, const std::wstring& strText)
{
    return strLog.find(L"\t  Installation Error: " + strText + L"\n") != std::wstring::npos;
}

int CountErrors(const std::wstring& strLog)
{
    int n = 0;
    for (size_t i = strLog.find(L"Installation Error"); i != std::wstring::npos;
         i = strLog.find(L"Installation Error", i + 1))
    {
        ++n;
    }
    return n;
}
}

TEST(MessageBoxTest, EachReportShowsItsTextIconAndCaptionAndLogsIt)
{
    CDataModule setup(L"TessalSetup.exe");
    HINSTANCE h = setup.Get();
    ASSERT_NE(nullptr, h);
    struct
    {
        const char* szName;
        std::function<void()> report;
        const wchar_t* szText;
        const wchar_t* szCaption;
        UINT uIcon;
        bool fLogged;
    } const rgCases[] = {
        {"missing resource", [h] { ReportMissingResource(h, nullptr, L"Title", L"BASEURL"); },
         L"The required resource 'BASEURL' is missing.", L"Title", MB_ICONWARNING, true},
        {"cancelled", [h] { ReportCancelled(h, nullptr); }, L"Setup was cancelled", L"Error", MB_ICONWARNING, true},
        {"error by id", [h] { ReportErrorById(h, nullptr, L"Title", IDS_NOT_ENOUGH_DISK_SPACE); },
         L"There is not enough disk space for installation.", L"Title", MB_ICONERROR, true},
        {"invalid msi version", [h] { ReportInvalidMsiVersion(h, L"301a"); },
         L"'301a' is an invalid Msi version. Be sure that it is numeric and is at least '150'.", L"Error",
         MB_ICONERROR, true},
        {"install error", [h] { ReportInstallError(h, nullptr, L"Pkg", 1625); },
         L"An error occured installing the package.  Windows Installer returned '1625'.", L"Pkg", MB_ICONERROR, true},
        {"system error %1", [h] { ReportSystemError(h, nullptr, nullptr, IDS_INVALID_PATH, L"http://h/a b"); },
         L"The path 'http://h/a b' is invalid.", L"Error", MB_ICONERROR, true},
        {"system error %s", [h] { ReportSystemError(h, nullptr, L"Title", IDS_BAD_OPERATION, L"MINPATCH"); },
         L"The setup was authored with an incorrect operation resource 'MINPATCH' and cannot continue.", L"Title",
         MB_ICONERROR, true},
        {"out of memory", [h] { ReportOutOfMemory(h, nullptr, L"Title"); }, L"Out of Memory", L"Title", MB_ICONERROR,
         true},
        {"usage", [h] { ShowUsage(h, nullptr, L"Title"); },
         L"Usage:\n   /? :  Show this dialog.\n   /a :  Perform an administrative install.\n   /a <full path to "
         L"existing administrative install> :  Patch an existing administrative install.\n   /v <full path to "
         L"file> :  Verify signature on file.\n"
         L"   /quiet :  Install without any window or message; exit code 0, 3010 (restart needed), 1602, 1603 or "
         L"1618.\n   /passive :  Show only the progress page; Cancel stops at once.\n   /norestart :  Never restart "
         L"the machine.\n   /forcerestart :  Restart at the end when a package asks for it.\n   /log <file> :  Also "
         L"write the setup log to this file.\n"
         L"   /layout <folder> :  Download every file into the folder for offline installs; exit code 0, 1602 or "
         L"1603.\n   /source <folder> :  Install from a layout made by /layout.\n",
         L"Title", MB_ICONINFORMATION, false},
        {"unknown string", [h] { ReportErrorById(h, nullptr, L"Title", 9999); }, L"", L"Title", MB_ICONERROR, true},
    };
    for (const auto& c : rgCases)
    {
        BoxOutcome outcome = Report(c.report, 1);
        ASSERT_EQ(1u, outcome.boxes.size()) << c.szName;
        const SeenBox& box = outcome.boxes[0];
        // The platform's box trims a trailing line break from its text.
        std::wstring strExpected(c.szText);
        EXPECT_TRUE(box.strText == strExpected || box.strText + L"\n" == strExpected) << c.szName;
        EXPECT_EQ(std::wstring(c.szCaption), box.strCaption) << c.szName;
        EXPECT_EQ(c.uIcon, box.uIcon) << c.szName;
        EXPECT_EQ(c.fLogged ? 1 : 0, CountErrors(outcome.strLog)) << c.szName;
        if (c.fLogged)
        {
            EXPECT_TRUE(LogHasError(outcome.strLog, c.szText)) << c.szName << "\n" << outcome.strLog.c_str();
        }
    }
}

TEST(MessageBoxTest, InstallerResultsPickTheirTextOrStaySilent)
{
    CDataModule setup(L"TessalSetup.exe");
    CDataModule msi(L"fakemsi-3.1.dll");
    ASSERT_NE(nullptr, msi.Get());
    HINSTANCE h = setup.Get();
    HMODULE hMsi = msi.Get();
    struct
    {
        DWORD dwCode;
        HMODULE hLibrary;
        const wchar_t* szText;  // null: no box and no log line
    } const rgCases[] = {
        {1259, hMsi, nullptr},
        {1602, hMsi, nullptr},
        {1603, hMsi, nullptr},
        {1604, hMsi, nullptr},
        {1641, hMsi, nullptr},
        {3010, hMsi, nullptr},
        {2, hMsi, L"Stand-in text for 1619."},
        {3, hMsi, L"Stand-in text for 1619."},
        {123, hMsi, L"Stand-in text for 1619."},
        {1620, hMsi, L"Stand-in text for 1620."},
        {1638, hMsi, L"An error occured installing the package.  Windows Installer returned '1638'."},
        {2, nullptr, L"An error occured installing the package.  Windows Installer returned '1619'."},
    };
    for (const auto& c : rgCases)
    {
        BoxOutcome outcome = Report([&] { ReportMsiError(c.dwCode, nullptr, L"Package", h, c.hLibrary); },
                                    c.szText ? 1 : 0);
        if (!c.szText)
        {
            EXPECT_TRUE(outcome.boxes.empty()) << c.dwCode;
            EXPECT_EQ(0, CountErrors(outcome.strLog)) << c.dwCode;
            continue;
        }
        ASSERT_EQ(1u, outcome.boxes.size()) << c.dwCode;
        EXPECT_EQ(std::wstring(c.szText), outcome.boxes[0].strText) << c.dwCode;
        EXPECT_EQ(L"Package", outcome.boxes[0].strCaption) << c.dwCode;
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), outcome.boxes[0].uIcon) << c.dwCode;
        EXPECT_TRUE(LogHasError(outcome.strLog, c.szText)) << c.dwCode;
    }
}

TEST(MessageBoxTest, MessagesAreCutAt1023Characters)
{
    CDataModule setup(L"TessalSetup.exe");
    std::wstring strName(2000, L'N');
    BoxOutcome outcome = Report([&] { ReportMissingResource(setup.Get(), nullptr, nullptr, strName.c_str()); }, 1);
    ASSERT_EQ(1u, outcome.boxes.size());
    EXPECT_EQ(1023u, outcome.boxes[0].strText.size());
    EXPECT_EQ(0u, outcome.boxes[0].strText.find(L"The required resource 'NNN"));
}

TEST(ConvertPrintfInsertTest, RewritesOnlyPrintfStringPlaceholders)
{
    struct
    {
        const wchar_t* szSource;
        size_t cchDest;
        bool fFits;
        const wchar_t* szExpected;
    } const rgCases[] = {
        {L"resource '%s' and", 64, true, L"resource '%1' and"},
        {L"The path '%1' is invalid.", 64, true, L"The path '%1' is invalid."},
        {L"100%% sure %s", 64, true, L"100%% sure %1"},
        {L"%s", 3, true, L"%1"},
        {L"%s", 2, false, nullptr},
        {L"abc", 3, false, nullptr},
        {L"", 1, true, L""},
    };
    for (const auto& c : rgCases)
    {
        WCHAR szDest[64] = {};
        EXPECT_EQ(c.fFits, ConvertPrintfInsert(c.szSource, szDest, c.cchDest)) << c.szSource;
        if (c.szExpected)
        {
            EXPECT_STREQ(c.szExpected, szDest) << c.szSource;
        }
    }
}
