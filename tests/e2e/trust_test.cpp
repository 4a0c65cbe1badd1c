#include "support/setuprun.h"
#include "support/testpaths.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
const wchar_t c_szStep1[] = L"[WVT] step 1: silently call WinVerifyTrust on szSetupExe, ignoring return value\n";
const wchar_t c_szStep2[] = L"[WVT] step2: silently call WinVerifyTrust on szPackage, ignoring return value\n";
const wchar_t c_szFullUi[] = L"[WVT] step3: last call to WinVerifyTrust using full UI\n";
const wchar_t c_szNoGoodUi[] = L"[WVT] step3: last call to WinVerifyTrust showing UI only if something is wrong\n";

std::vector<std::wstring> TrustLines(const SetupRunResult& result)
{
    std::vector<std::wstring> lines;
    for (const std::wstring& strLine : result.traceLines)
    {
        if (strLine.compare(0, 6, L"[WVT] ") == 0)
        {
            lines.push_back(strLine);
        }
    }
    return lines;
}
}

TEST(SignatureTest, TheSignersDecideWhichDialogTheLastStepShows)
{
    struct
    {
        const wchar_t* szSetup;
        const wchar_t* szFile;
        std::vector<std::wstring> lines;
    } const rgCases[] = {
        {L"TessalSetup-signed.exe", L"signed-a.exe",
         {c_szStep1, L"[WVT] WVT returned 0x0\n", L"[WVT] fSetupExeIsSigned = TRUE\n", c_szStep2,
          L"[WVT] WVT returned 0x0\n", L"[WVT] fPackageIsSigned = TRUE\n", c_szNoGoodUi, L"[WVT] WVT returned 0x0\n"}},
        {L"TessalSetup-signed.exe", L"signed-b.exe",
         {c_szStep1, L"[WVT] WVT returned 0x0\n", L"[WVT] fSetupExeIsSigned = TRUE\n", c_szStep2,
          L"[WVT] WVT returned 0x0\n", L"[WVT] fPackageIsSigned = TRUE\n", c_szFullUi, L"[WVT] WVT returned 0x0\n"}},
        {L"TessalSetup-signed.exe", L"unsigned.exe",
         {c_szStep1, L"[WVT] WVT returned 0x0\n", L"[WVT] fSetupExeIsSigned = TRUE\n", c_szStep2,
          L"[WVT] WVT returned 0x800B0100\n", L"[WVT] fPackageIsSigned = FALSE\n", c_szFullUi,
          L"[WVT] WVT returned 0x800B0100\n"}},
        // A changed byte breaks the digest: signed, but the platform gives no
        // signer to compare, so the full dialog is asked for.
        {L"TessalSetup-signed.exe", L"tampered.exe",
         {c_szStep1, L"[WVT] WVT returned 0x0\n", L"[WVT] fSetupExeIsSigned = TRUE\n", c_szStep2,
          L"[WVT] WVT returned 0x80096010\n", L"[WVT] fPackageIsSigned = TRUE\n", c_szFullUi,
          L"[WVT] WVT returned 0x80096010\n"}},
        {L"TessalSetup.exe", L"signed-a.exe",
         {c_szStep1, L"[WVT] WVT returned 0x800B0100\n", L"[WVT] fSetupExeIsSigned = FALSE\n", c_szFullUi,
          L"[WVT] WVT returned 0x0\n"}},
    };
    for (const auto& c : rgCases)
    {
        SetupRunOptions options;
        options.strExe = c.szSetup;
        options.strCommandLine = L"/v \"" + GetBinPath(c.szFile) + L"\"";
        SetupRunResult result = RunSetupProcess(options);
        std::wstring strName = std::wstring(c.szSetup) + L" " + c.szFile;
        EXPECT_FALSE(result.fTimedOut) << strName;
        EXPECT_EQ(0u, result.dwExitCode) << strName;
        EXPECT_TRUE(result.boxes.empty()) << strName;
        EXPECT_EQ(c.lines, TrustLines(result)) << strName;
    }
}
