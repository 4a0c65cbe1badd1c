#include "diag/trace.h"
#include "support/tracecapture.h"
#include <gtest/gtest.h>
#include <string>

namespace
{
std::vector<std::wstring> TraceOnce(LPCWSTR szSwitch)
{
    CScopedTraceSwitch traceSwitch(szSwitch);
    CTraceCapture capture;
    DebugMsg(L"[Resource] lpName = %s NOT FOUND\n", L"X");
    return capture.GetLines();
}
}

TEST(TraceSwitchTest, OnlyAShortValueStartingWithOneTurnsTracingOn)
{
    std::wstring str64(64, L'1');
    std::wstring str63(63, L'1');
    struct
    {
        const wchar_t* szValue;
        bool fTracing;
    } const rgCases[] = {
        {L"1", true},        {L"10", true},          {L"1abc", true},  {L"0", false}, {L"", false},
        {nullptr, false},    {L" 1", false},         {L"true", false}, {str63.c_str(), true},
        {str64.c_str(), false},
    };
    for (const auto& c : rgCases)
    {
        std::vector<std::wstring> lines = TraceOnce(c.szValue);
        if (c.fTracing)
        {
            ASSERT_EQ(1u, lines.size()) << (c.szValue ? c.szValue : L"(unset)");
            EXPECT_EQ(L"[Resource] lpName = X NOT FOUND\n", lines[0]);
        }
        else
        {
            EXPECT_TRUE(lines.empty()) << (c.szValue ? c.szValue : L"(unset)");
        }
    }
}

TEST(TraceSwitchTest, FlagIsDecidedOncePerProcess)
{
    CScopedTraceSwitch traceSwitch(L"1");
    CTraceCapture capture;
    DebugMsg(L"first\n");
    SetEnvironmentVariableW(L"_MSI_WEB_BOOTSTRAP_DEBUG", L"0");
    DebugMsg(L"second\n");
    EXPECT_EQ((std::vector<std::wstring>{L"first\n", L"second\n"}), capture.GetLines());
}

TEST(DebugMsgTest, FillsOrKeepsPlaceholders)
{
    CScopedTraceSwitch traceSwitch(L"1");
    CTraceCapture capture;
    DebugMsg(L"[Info] a %s\n", nullptr);
    DebugMsg(L"[Info] b %s\n", L"");
    DebugMsg(L"[Resource] lpName = %s, lpBuf = %s\n", L"TESSALDB", L"");
    DebugMsg(L"[Info] %s and %s\n", L"one", L"two");
    DebugMsg(nullptr, L"ignored");
    DebugMsgInt(L"[Info] n = %d\n", -2147483647 - 1);
    DebugMsgInt2(300, 301);
    EXPECT_EQ((std::vector<std::wstring>{
                  L"[Info] a %s\n",
                  L"[Info] b %s\n",
                  L"[Resource] lpName = TESSALDB, lpBuf = \n",
                  L"[Info] one and two\n",
                  L"[Info] n = -2147483648\n",
                  L"[Info] Windows Installer upgrade is required.  System Version = 300, Minimum Version = 301.\n",
              }),
              capture.GetLines());
}

TEST(DebugMsgTest, LongStringsAreOutputWhole)
{
    CScopedTraceSwitch traceSwitch(L"1");
    CTraceCapture capture;
    std::wstring strLong(3000, L'v');
    DebugMsg(L"[Info] %s\n", strLong.c_str());
    ASSERT_EQ(1u, capture.GetLines().size());
    EXPECT_EQ(L"[Info] " + strLong + L"\n", capture.GetLines()[0]);
}
