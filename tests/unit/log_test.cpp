#include "diag/setuplog.h"
#include "support/testpaths.h"
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace
{
std::wstring FinalLogPath()
{
    return GetTempFolder() + L"ProjectTessalSetup.log";
}

// Opens the log, lets the test write, closes it and returns the final file.
template <typename F>
std::wstring WriteLog(F write)
{
    CSetupLog& log = CSetupLog::Instance();
    DeleteFileW(FinalLogPath().c_str());
    EXPECT_TRUE(log.Open());
    write(log);
    log.Close();
    bool fExists = false;
    std::wstring strText = ReadFileUtf16(FinalLogPath(), &fExists);
    EXPECT_TRUE(fExists);
    return strText;
}

std::vector<std::wstring> SplitAfter(const std::wstring& strText, WCHAR chEnd)
{
    std::vector<std::wstring> lines;
    size_t iStart = 0;
    for (size_t i = 0; i < strText.size(); ++i)
    {
        if (strText[i] == chEnd)
        {
            lines.push_back(strText.substr(iStart, i + 1 - iStart));
            iStart = i + 1;
        }
    }
    if (iStart < strText.size())
    {
        lines.push_back(strText.substr(iStart));
    }
    return lines;
}

const std::wregex c_rePrefix(L"^\\d{4}/\\d{1,2}/\\d{1,2}:\\d{2}:\\d{2}:\\d{2}\\t[^\\t]*\\t[^\\t]*\\t");
}

TEST(SetupLogTest, HasStartAndEndLinesInUtf16WithoutBom)
{
    std::wstring strText = WriteLog([](CSetupLog&) {});
    ASSERT_FALSE(strText.empty());
    EXPECT_NE(0xFEFF, strText[0]);
    std::vector<std::wstring> lines = SplitAfter(strText, L'\n');
    ASSERT_EQ(3u, lines.size());
    EXPECT_TRUE(std::regex_search(lines[0], c_rePrefix)) << lines[0];
    EXPECT_TRUE(std::regex_search(lines[0], std::wregex(L"\\t=== Setup started on [^ ]* by [^ ]* ===\\r\\n$")))
        << lines[0];
    EXPECT_TRUE(std::regex_search(lines[1], std::wregex(L"\\t=== Setup ended ===\\r\\n$"))) << lines[1];
    EXPECT_EQ(L"\r\n", lines[2]);

    // The start line names the computer and the user, the prefix the user
    // and the computer.
    WCHAR szComputer[MAX_PATH] = {};
    DWORD cch = MAX_PATH;
    GetComputerNameW(szComputer, &cch);
    EXPECT_NE(std::wstring::npos, lines[0].find(std::wstring(L"=== Setup started on ") + szComputer + L" by "));
}

TEST(SetupLogTest, WritesNothingWhileClosedAndLeavesTemporaryFileRenamed)
{
    CSetupLog& log = CSetupLog::Instance();
    log.Write(L"lost %s\n", L"line");
    std::wstring strTemporary;
    std::wstring strText = WriteLog([&](CSetupLog& openLog) {
        strTemporary = openLog.GetPath();
        openLog.Write(L"  Installation Error: %s\n", L"kept");
    });
    log.Write(L"after close\n");
    EXPECT_EQ(std::wstring::npos, strText.find(L"lost line"));
    EXPECT_EQ(std::wstring::npos, strText.find(L"after close"));
    EXPECT_NE(std::wstring::npos, strText.find(L"\t  Installation Error: kept\n"));
    // The temporary name came from the "bltwsetup" prefix and is gone now.
    std::wstring strName = strTemporary.substr(strTemporary.find_last_of(L'\\') + 1);
    EXPECT_EQ(0, _wcsnicmp(strName.c_str(), L"blt", 3)) << strName;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(strTemporary.c_str()));
}

TEST(SetupLogTest, LongMessagesAreWrittenWhole)
{
    for (size_t cchMessage : {4094u, 4095u, 4096u, 5000u, 9000u})
    {
        std::wstring strMessage(cchMessage, L'm');
        std::wstring strText = WriteLog([&](CSetupLog& log) { log.Write(L"%s\n", strMessage.c_str()); });
        std::vector<std::wstring> lines = SplitAfter(strText, L'\n');
        ASSERT_EQ(4u, lines.size()) << cchMessage;
        EXPECT_NE(std::wstring::npos, lines[1].find(L"\t" + strMessage + L"\n")) << cchMessage;
    }
}

TEST(SetupLogTest, LinesFromThreeThreadsStayWholeAndEndLineComesLast)
{
    constexpr int c_nThreads = 3;
    constexpr int c_nLines = 200;
    std::wstring strText = WriteLog([](CSetupLog& log) {
        std::vector<std::thread> threads;
        for (int nThread = 0; nThread < c_nThreads; ++nThread)
        {
            threads.emplace_back([&log, nThread] {
                std::wstring strPadding(50 + nThread * 40, L'a' + nThread);
                for (int nLine = 0; nLine < c_nLines; ++nLine)
                {
                    log.Write(L"thread %d line %d %s\n", nThread, nLine, strPadding.c_str());
                }
            });
        }
        for (std::thread& thread : threads)
        {
            thread.join();
        }
    });
    std::vector<std::wstring> lines = SplitAfter(strText, L'\n');
    ASSERT_EQ(static_cast<size_t>(c_nThreads * c_nLines + 3), lines.size());
    std::vector<int> nextLine(c_nThreads, 0);
    const std::wregex reLine(L"\\tthread (\\d) line (\\d+) ([a-c]+)\\n$");
    for (size_t i = 1; i + 2 < lines.size(); ++i)
    {
        ASSERT_TRUE(std::regex_search(lines[i], c_rePrefix)) << lines[i];
        std::wsmatch match;
        ASSERT_TRUE(std::regex_search(lines[i], match, reLine)) << lines[i];
        int nThread = std::stoi(match[1].str());
        EXPECT_EQ(nextLine[nThread]++, std::stoi(match[2].str()));
        EXPECT_EQ(static_cast<size_t>(50 + nThread * 40), match[3].str().size());
    }
    EXPECT_NE(std::wstring::npos, lines[lines.size() - 2].find(L"\t=== Setup ended ===\r\n"));
}
