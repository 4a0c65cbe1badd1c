#include "engine/remove.h"
#include <gtest/gtest.h>

TEST(UninstallCommandTest, SplitsProgramAndQuietArguments)
{
    struct
    {
        const wchar_t* szCommand;
        bool fSplit;
        const wchar_t* szProgram;
        const wchar_t* szArguments;
    } const rgCases[] = {
        {L"C:\\App\\uninst.exe /S", true, L"C:\\App\\uninst.exe", L"/S /q"},
        {L"C:\\App\\UNINST.EXE /S /x", true, L"C:\\App\\UNINST.EXE", L"/S /x /q"},
        {L"\"C:\\Program Files\\App\\uninst.exe\" /S", true, L"C:\\Program Files\\App\\uninst.exe", L"/S /q"},
        {L"C:\\App\\uninst.exe", true, L"C:\\App\\uninst.exe", L" /q"},
        {L"C:\\App\\remove.bat /S", false, nullptr, nullptr},
        {L"", false, nullptr, nullptr},
    };
    for (const auto& c : rgCases)
    {
        std::wstring strProgram;
        std::wstring strArguments;
        EXPECT_EQ(c.fSplit, SplitUninstallCommand(c.szCommand, &strProgram, &strArguments)) << c.szCommand;
        if (c.fSplit)
        {
            EXPECT_EQ(std::wstring(c.szProgram), strProgram) << c.szCommand;
            EXPECT_EQ(std::wstring(c.szArguments), strArguments) << c.szCommand;
        }
    }
}
