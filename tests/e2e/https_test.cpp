#include "e2e/installrun.h"
#include "engine/download.h"
#include "platform/overrides.h"
#include "support/tlstrust.h"
#include "ui/wizard.h"
#include <new>

// The setups of this tree reach the HTTPS listener by name: Wine's wininet
// does not match an IP address against the names of a certificate, which
// Windows does, so https://127.0.0.1 is refused here for every certificate.
namespace
{
const char c_szDotNetPath[] = "/esd/en/tessal/installfiles/dotNet/dotNetFx35setup.exe";
const wchar_t c_szSecureDotNetUrl[] = L"https://localhost:48443/esd/en/tessal/installfiles/dotNet/dotNetFx35setup.exe";

struct SecureTransfer
{
    HRESULT hr;
    TransportRefusal nRefusal;
    DWORD dwProblem;
    DWORD dwHttpStatus;
    bool fStalled;
};

SecureTransfer TransferOverHttps()
{
    CSetupWizard wizard;
    WCHAR szPath[MAX_PATH] = {};
    CDownloadBindStatusCallback* pCallback = new (std::nothrow) CDownloadBindStatusCallback(&wizard);
    SecureTransfer transfer = {};
    transfer.hr = DownloadWithWatchdog(c_szSecureDotNetUrl, szPath, pCallback);
    transfer.nRefusal = pCallback->GetRefusal();
    transfer.dwProblem = pCallback->GetSecurityProblem();
    transfer.dwHttpStatus = pCallback->GetHttpStatus();
    transfer.fStalled = pCallback->HasStalled();
    pCallback->Release();
    return transfer;
}

std::string Faults(const char* szCertificate, const std::string& strRedirect = std::string())
{
    std::string strJson = std::string("{\"certificate\": \"") + szCertificate + "\"";
    if (!strRedirect.empty())
    {
        strJson += std::string(", \"") + c_szDotNetPath + "\": {\"mode\": \"redirect\", \"location\": \"" + strRedirect +
                   "\", \"times\": 1}";
    }
    return strJson + "}";
}

class InstallRunHttpsTest : public InstallRunTest
{
protected:
    void SetUp() override
    {
        InstallRunTest::SetUp();
        ResetPlatformOverrides();
        ASSERT_TRUE(TrustTestAuthority()) << "the test authority cannot be trusted in this prefix";
    }
};
}

TEST_F(InstallRunHttpsTest, OnlyAGoodCertificateAndHttpsRedirectsCarryATransfer)
{
    const std::string strSecure = std::string("https://localhost:48443") + c_szDotNetPath + "?moved";
    const std::string strPlain = std::string("http://127.0.0.1:48080") + c_szDotNetPath;
    struct
    {
        const char* szCase;
        std::string strFaults;
        TransportRefusal nRefusal;
        LPCWSTR szProblem;
    } const rgCases[] = {
        {"a certificate of another host", Faults("other"), TransportRefusalCertificate, L"is issued for another host name"},
        {"an expired certificate", Faults("expired"), TransportRefusalCertificate, L"has expired or is not valid yet"},
        {"a self-signed certificate", Faults("self"), TransportRefusalCertificate,
         L"is issued by an authority that this machine does not trust"},
        {"a redirect to plain http", Faults("good", strPlain), TransportRefusalDowngrade, nullptr},
        {"a good certificate", Faults("good"), TransportRefusalNone, nullptr},
        {"a redirect to another https address", Faults("good", strSecure), TransportRefusalNone, nullptr},
    };
    for (const auto& test : rgCases)
    {
        SetServerFaults(test.strFaults);
        SecureTransfer transfer = TransferOverHttps();
        EXPECT_EQ(test.nRefusal, transfer.nRefusal) << test.szCase << std::hex << " 0x" << transfer.hr;
        EXPECT_EQ(test.nRefusal == TransportRefusalNone, SUCCEEDED(transfer.hr)) << test.szCase << std::hex << " 0x"
                                                                                 << transfer.hr;
        if (test.szProblem)
        {
            EXPECT_STREQ(test.szProblem, DescribeCertificateProblem(transfer.dwProblem)) << test.szCase;
        }
        // A refusal is no passing fault: it is not tried again.
        EXPECT_FALSE(FAILED(transfer.hr) &&
                     IsTransientDownloadFailure(transfer.hr, transfer.dwHttpStatus, transfer.fStalled))
            << test.szCase;
    }
}

TEST_F(InstallRunHttpsTest, TheTypicalInstallRunsOverHttps)
{
    SetServerFaults(Faults("good"));
    SetupRunResult result = RunAndCloseFinishPage(L"TessalSetup-https.exe", L"Installation successful.");
    // The licence archive came over HTTPS too: no box.
    EXPECT_TRUE(result.boxes.empty()) << (result.boxes.empty() ? "" : std::string(result.boxes[0].strText.begin(),
                                                                                  result.boxes[0].strText.end()));
    const std::string strCalls = ReadStubCalls();
    EXPECT_TRUE(HasCall(strCalls, "vcredist_x86", "/Q")) << strCalls;
    EXPECT_TRUE(HasCall(strCalls, "dotNetFx35setup", "/qb /norestart")) << strCalls;
    EXPECT_TRUE(IsProductInstalledForTest(c_szTessalCode));
    EXPECT_TRUE(result.HasTraceLine(L"[Resource] lpName = BASEURL, lpBuf = https://localhost:48443/esd/en/tessal/installfiles\n"));
    EXPECT_EQ(std::wstring::npos, ReadFinalLog().find(L"was refused")) << ReadFinalLog().c_str();
}

TEST_F(InstallRunHttpsTest, ARefusedTransportFailsTheFirstDownloadAndInstallsNothing)
{
    const std::wstring strFirst = L"https://localhost:48443/esd/en/tessal/installfiles/VC9/vcredist_x86.exe";
    struct
    {
        const char* szCase;
        std::string strFaults;
        std::wstring strLogLine;
    } const rgCases[] = {
        {"an expired certificate", Faults("expired"),
         strFirst + L" was refused: the server's certificate has expired or is not valid yet"},
        {"a certificate of another host", Faults("other"),
         strFirst + L" was refused: the server's certificate is issued for another host name"},
        {"an untrusted certificate", Faults("self"),
         strFirst + L" was refused: the server's certificate is issued by an authority that this machine does not trust"},
        {"a redirect to plain http",
         "{\"/esd/en/tessal/installfiles/VC9/vcredist_x86.exe\": {\"mode\": \"redirect\", \"location\": "
         "\"http://127.0.0.1:48080/esd/en/tessal/installfiles/VC9/vcredist_x86.exe\", \"times\": 1}}",
         strFirst + L" was refused: the server redirected it to "},
    };
    for (const auto& test : rgCases)
    {
        ResetMachine();
        SetServerFaults(test.strFaults);
        SetupRunOptions options;
        options.strExe = L"TessalSetup-https.exe";
        options.strCommandLine = L"/quiet";
        options.dwTimeoutMs = c_dwRunTimeoutMs;
        SetupRunResult result = CRunningSetup(options).Wait();
        EXPECT_FALSE(result.fTimedOut) << test.szCase;
        EXPECT_EQ(1603u, result.dwExitCode) << test.szCase;
        std::wstring strLog = ReadFinalLog();
        EXPECT_NE(std::wstring::npos, strLog.find(test.strLogLine)) << test.szCase << "\n" << strLog.c_str();
        EXPECT_EQ("", ReadStubCalls()) << test.szCase;
        EXPECT_FALSE(result.HasTraceLine(L"[Info] Download of " + strFirst + L" failed")) << test.szCase;
        EXPECT_EQ(std::wstring::npos, result.GetTrace().find(L"attempt 2 of")) << test.szCase;
    }
}

TEST_F(InstallRunHttpsTest, ABadCertificateShowsTheFailedDownloadAndItsFinishPage)
{
    SetServerFaults(Faults("expired"));
    std::wstring strDetail;
    SetupRunResult result = RunAndCloseFinishPage(L"TessalSetup-https.exe", L"Installation failed.", &strDetail);
    ASSERT_EQ(2u, result.boxes.size());
    EXPECT_EQ(L"Download Eula failed", result.boxes[0].strText);
    EXPECT_EQ(L"Failed downloading component.", result.boxes[1].strText);
    EXPECT_NE(std::wstring::npos, strDetail.find(L"Microsoft Visual C++ 2008 Redistributable (x86) (0x2: "))
        << strDetail.c_str();
    EXPECT_EQ("", ReadStubCalls());
    std::wstring strLog = ReadFinalLog();
    EXPECT_NE(std::wstring::npos, strLog.find(L"https://localhost:48443/esd/en/tessal/eula.zip was refused: the server's "
                                              L"certificate has expired"))
        << strLog.c_str();
}

TEST_F(InstallRunTest, AFailClosedReleaseRefusesAPackageWithoutADigest)
{
    std::wstring strDetail;
    SetupRunResult result = RunAndCloseFinishPage(L"TessalSetup-unchecked.exe", L"Installation failed.", &strDetail);
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(L"Failed downloading component.", result.boxes[0].strText);
    // The packages before it carry their digests and may have installed by
    // then; it never runs.
    const std::string strCalls = ReadStubCalls();
    EXPECT_FALSE(HasCall(strCalls, "dotNetFx35setup", "")) << strCalls;
    EXPECT_FALSE(IsProductInstalledForTest(c_szTessalCode));
    std::wstring strLog = ReadFinalLog();
    EXPECT_NE(std::wstring::npos, strLog.find(L"  Installation Error: .NET Framework Runtime 3.5 SP1 "
                                              L"(dotNet/dotNetFx35setup.exe) carries no SHA-256, and this setup installs "
                                              L"only packages that it can check"))
        << strLog.c_str();
}
