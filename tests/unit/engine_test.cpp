#include "engine/download.h"
#include "engine/exec.h"
#include "engine/install.h"
#include "engine/payload.h"
#include "support/testpaths.h"
#include "ui/wizard.h"
#include <commctrl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <wininet.h>

TEST(PackageUrlTest, OneSlashBetweenBaseAndPath)
{
    struct
    {
        const wchar_t* szBase;
        const wchar_t* szInstall;
        const wchar_t* szUrl;
    } const rgCases[] = {
        {L"http://h/esd/en/tessal/installfiles", L"VC9/vcredist_x86.exe", L"http://h/esd/en/tessal/installfiles/VC9/vcredist_x86.exe"},
        {L"http://h/base/", L"VC9/vcredist_x86.exe", L"http://h/base/VC9/vcredist_x86.exe"},
        {L"http://h/base", L"TESSAL\\TESSAL.zip", L"http://h/base/TESSAL\\TESSAL.zip"},
        {L"", L"a.exe", L"/a.exe"},
    };
    for (const auto& c : rgCases)
    {
        WCHAR szUrl[128] = {};
        ASSERT_TRUE(ComposePackageUrl(c.szBase, c.szInstall, szUrl, 128)) << c.szUrl;
        EXPECT_STREQ(c.szUrl, szUrl);
    }
    WCHAR szSmall[8] = {};
    EXPECT_FALSE(ComposePackageUrl(L"http://h", L"a.exe", szSmall, 8));
}

TEST(ProgramPackageTest, CommandLineAndExitCodes)
{
    WCHAR szLine[128] = {};
    ASSERT_TRUE(ComposeProgramCommandLine(L"C:\\a b\\vcredist_x86.exe", L"/Q", szLine, 128));
    EXPECT_STREQ(L"\"C:\\a b\\vcredist_x86.exe\" /Q", szLine);
    ASSERT_TRUE(ComposeProgramCommandLine(L"C:\\x.exe", nullptr, szLine, 128));
    EXPECT_STREQ(L"\"C:\\x.exe\" ", szLine);
    EXPECT_FALSE(ComposeProgramCommandLine(L"C:\\x.exe", L"/Q", szLine, 12));

    struct
    {
        DWORD dwExitCode;
        DWORD dwResult;
        bool fReboot;
    } const rgCases[] = {
        {0, 0, false}, {3010, 0, true}, {1605, 0, false}, {1614, 0, false}, {1641, 1641, false}, {1, 1, false},
    };
    for (const auto& c : rgCases)
    {
        bool fReboot = false;
        EXPECT_EQ(c.dwResult, JudgeProgramExitCode(c.dwExitCode, &fReboot)) << c.dwExitCode;
        EXPECT_EQ(c.fReboot, fReboot) << c.dwExitCode;
    }
}

TEST(ProgramPackageTest, EachProgramStartsInItsOwnFolder)
{
    struct
    {
        const wchar_t* szProgram;
        const wchar_t* szFolder;  // null: no folder
    } const rgCases[] = {
        {L"C:\\t\\{G}\\vcredist_x86.exe", L"C:\\t\\{G}"},
        {L"C:\\t\\{G}\\sub/DXSETUP.exe", L"C:\\t\\{G}\\sub"},
        {L"C:\\setup.exe", L"C:\\"},
        {L"\\\\server\\share\\x.exe", L"\\\\server\\share"},
        {L"setup.exe", nullptr},
        {L"\\setup.exe", nullptr},
    };
    for (const auto& c : rgCases)
    {
        WCHAR szFolder[MAX_PATH] = {};
        EXPECT_EQ(c.szFolder != nullptr, GetProgramFolder(c.szProgram, szFolder, MAX_PATH)) << c.szProgram;
        if (c.szFolder)
        {
            EXPECT_STREQ(c.szFolder, szFolder) << c.szProgram;
        }
    }
    WCHAR szSmall[4] = {};
    EXPECT_FALSE(GetProgramFolder(L"C:\\long\\x.exe", szSmall, ARRAYSIZE(szSmall)));
}

TEST(InstallDispatchTest, ExtensionsInAnyCase)
{
    EXPECT_EQ(FileTypeMsi, GetPackageFileType(L".MSI"));
    EXPECT_EQ(FileTypeExe, GetPackageFileType(L".exe"));
    EXPECT_EQ(FileTypeZip, GetPackageFileType(L".Zip"));
    EXPECT_EQ(FileTypeUnknown, GetPackageFileType(L".msp"));
    EXPECT_EQ(FileTypeUnknown, GetPackageFileType(L""));
    EXPECT_EQ(FileTypeUnknown, GetPackageFileType(nullptr));
}

TEST(DownloadRetryTest, OnlyPassingFaultsAreTriedAgain)
{
    struct
    {
        const char* szName;
        HRESULT hr;
        DWORD dwHttpStatus;
        bool fStalled;
        bool fTransient;
    } const rgCases[] = {
        {"stalled", E_ABORT, 0, true, true},
        {"server error", INET_E_DOWNLOAD_FAILURE, 500, false, true},
        {"bad gateway", INET_E_DOWNLOAD_FAILURE, 502, false, true},
        {"unavailable", INET_E_DOWNLOAD_FAILURE, 503, false, true},
        {"missing file", INET_E_DOWNLOAD_FAILURE, 404, false, false},
        {"forbidden", INET_E_DOWNLOAD_FAILURE, 403, false, false},
        {"refused", INET_E_CANNOT_CONNECT, 0, false, true},
        {"timed out", INET_E_CONNECTION_TIMEOUT, 0, false, true},
        {"dropped", INET_E_DOWNLOAD_FAILURE, 0, false, true},
        {"reset", HRESULT_FROM_WIN32(12031), 0, false, true},
        {"aborted by the run", E_ABORT, 0, false, false},
        {"bad address", INET_E_INVALID_URL, 0, false, false},
        {"unknown host", INET_E_RESOURCE_NOT_FOUND, 0, false, false},
        {"out of memory", E_OUTOFMEMORY, 0, false, false},
        {"refused certificate", INET_E_INVALID_CERTIFICATE, 0, false, false},
        {"refused redirect", INET_E_REDIRECT_FAILED, 0, false, false},
    };
    for (const auto& c : rgCases)
    {
        EXPECT_EQ(c.fTransient, IsTransientDownloadFailure(c.hr, c.dwHttpStatus, c.fStalled)) << c.szName;
    }
    EXPECT_EQ(1000u, GetRetryPauseMs(1));
    EXPECT_EQ(2000u, GetRetryPauseMs(2));
    EXPECT_EQ(3000u, GetRetryPauseMs(3));
    EXPECT_EQ(0u, GetRetryPauseMs(0));
}

namespace
{
// A window with the progress bar of the progress page, standing in for it.
class CProgressWindow
{
public:
    CProgressWindow()
    {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
        m_hWnd = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
        CreateWindowW(PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 100, 20, m_hWnd, reinterpret_cast<HMENU>(104), nullptr,
                      nullptr);
    }
    ~CProgressWindow() { DestroyWindow(m_hWnd); }
    HWND Get() const { return m_hWnd; }
    int GetPosition() const { return static_cast<int>(SendDlgItemMessageW(m_hWnd, 104, PBM_GETPOS, 0, 0)); }
    int GetUpper() const { return static_cast<int>(SendDlgItemMessageW(m_hWnd, 104, PBM_GETRANGE, FALSE, 0)); }

private:
    HWND m_hWnd;
};
}

TEST(DownloadCallbackTest, ProgressMovesTheBarByBytesOfThisPackage)
{
    CProgressWindow window;
    CSetupWizard wizard;
    wizard.m_hWnd.store(window.Get());
    CDownloadBindStatusCallback* pCallback = new CDownloadBindStatusCallback(&wizard);
    struct
    {
        ULONG ulProgress, ulMax, ulStatus;
        int nPosition;
    } const rgSteps[] = {
        {0, 1000, BINDSTATUS_BEGINDOWNLOADDATA, 0}, {400, 1000, BINDSTATUS_DOWNLOADINGDATA, 400},
        {900, 1000, BINDSTATUS_DOWNLOADINGDATA, 900}, {1000, 1000, BINDSTATUS_ENDDOWNLOADDATA, 1000},
        {5, 1000, BINDSTATUS_CONNECTING, 1000},
        // The next package's first data starts the bar over.
        {100, 2000, BINDSTATUS_BEGINDOWNLOADDATA, 100},
    };
    for (const auto& step : rgSteps)
    {
        EXPECT_EQ(S_OK, pCallback->OnProgress(step.ulProgress, step.ulMax, step.ulStatus, nullptr));
        EXPECT_EQ(step.nPosition, window.GetPosition()) << step.ulStatus << " " << step.ulProgress;
    }
    EXPECT_EQ(2000, window.GetUpper());

    // While a package installs the bar is the installer's.
    CPackageInfo installing;
    wizard.m_pInstalling.store(&installing);
    EXPECT_EQ(S_OK, pCallback->OnProgress(1500, 2000, BINDSTATUS_DOWNLOADINGDATA, nullptr));
    EXPECT_EQ(100, window.GetPosition());
    wizard.m_pInstalling.store(nullptr);
    // A stopped run aborts the transfer at its next notification.
    wizard.m_fPackageFailed.store(true);
    EXPECT_EQ(E_ABORT, pCallback->OnProgress(1600, 2000, BINDSTATUS_DOWNLOADINGDATA, nullptr));
    EXPECT_EQ(100, window.GetPosition());
    EXPECT_EQ(0u, pCallback->Release());
    wizard.m_hWnd.store(nullptr);
}

TEST(DownloadCallbackTest, FilesOverTwoGigabytesKeepAPositiveRange)
{
    CProgressWindow window;
    CSetupWizard wizard;
    wizard.m_hWnd.store(window.Get());
    CDownloadBindStatusCallback* pCallback = new CDownloadBindStatusCallback(&wizard);
    struct
    {
        ULONG ulMax;
        int nShift;
    } const rgShifts[] = {{0, 0}, {1000, 0}, {0x7FFFFFFFul, 0}, {0x80000000ul, 1}, {0xFFFFFFFFul, 1}};
    for (const auto& c : rgShifts)
    {
        EXPECT_EQ(c.nShift, GetProgressShift(c.ulMax)) << c.ulMax;
    }
    const ULONG ulMax = 3000000000ul;
    EXPECT_EQ(S_OK, pCallback->OnProgress(0, ulMax, BINDSTATUS_BEGINDOWNLOADDATA, nullptr));
    EXPECT_EQ(static_cast<int>(ulMax / 2), window.GetUpper());
    EXPECT_EQ(S_OK, pCallback->OnProgress(2000000001ul, ulMax, BINDSTATUS_DOWNLOADINGDATA, nullptr));
    EXPECT_EQ(1000000000, window.GetPosition());
    EXPECT_EQ(S_OK, pCallback->OnProgress(ulMax, ulMax, BINDSTATUS_ENDDOWNLOADDATA, nullptr));
    EXPECT_EQ(window.GetUpper(), window.GetPosition());
    EXPECT_EQ(0u, pCallback->Release());
    wizard.m_hWnd.store(nullptr);
}

TEST(DownloadCallbackTest, InterfacesAndHttpStatus)
{
    CSetupWizard wizard;
    CDownloadBindStatusCallback* pCallback = new CDownloadBindStatusCallback(&wizard);
    const IID iidOwn = {0xB506A5D1, 0x9716, 0x4F35, {0x8E, 0xD5, 0x9E, 0xCB, 0x0E, 0x9A, 0x55, 0xF8}};
    struct
    {
        const char* szName;
        const IID* piid;
        HRESULT hr;
    } const rgCases[] = {
        {"IUnknown", &IID_IUnknown, S_OK},
        {"own", &iidOwn, S_OK},
        {"IHttpNegotiate", &IID_IHttpNegotiate, S_OK},
        {"IBindStatusCallback", &IID_IBindStatusCallback, E_NOINTERFACE},
        {"IServiceProvider", &IID_IServiceProvider, S_OK},
        {"IHttpSecurity", &IID_IHttpSecurity, S_OK},
        {"IWindowForBindingUI", &IID_IWindowForBindingUI, S_OK},
        {"IAuthenticate", &IID_IAuthenticate, E_NOINTERFACE},
    };
    for (const auto& c : rgCases)
    {
        void* pv = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.hr, pCallback->QueryInterface(*c.piid, &pv)) << c.szName;
        EXPECT_EQ(c.hr == S_OK, pv != nullptr) << c.szName;
        if (pv)
        {
            static_cast<IUnknown*>(pv)->Release();
        }
    }
    EXPECT_EQ(E_INVALIDARG, pCallback->QueryInterface(IID_IUnknown, nullptr));

    EXPECT_EQ(0u, pCallback->GetHttpStatus());
    LPWSTR szExtra = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(S_OK, pCallback->OnResponse(503, L"HTTP/1.1 503 Busy\r\n", nullptr, &szExtra));
    EXPECT_EQ(nullptr, szExtra);
    EXPECT_EQ(503u, pCallback->GetHttpStatus());
    EXPECT_EQ(2u, pCallback->AddRef());
    EXPECT_EQ(1u, pCallback->Release());
    EXPECT_EQ(0u, pCallback->Release());
}

TEST(TransportTest, OnlyALeapOutOfHttpsIsADowngrade)
{
    struct
    {
        LPCWSTR szFrom;
        LPCWSTR szTo;
        bool fDowngrade;
    } const rgCases[] = {
        {L"https://a.example/x", L"http://a.example/x", true},
        {L"HTTPS://a.example/x", L"HTTP://a.example/x", true},
        {L"https://a.example/x", L"ftp://a.example/x", true},
        {L"https://a.example/x", L"https://b.example/y", false},
        {L"https://a.example/x", L"HttpS://b.example/y", false},
        {L"https://a.example/x", L"/elsewhere/x", false},
        {L"http://a.example/x", L"http://b.example/x", false},
        {L"http://a.example/x", L"https://b.example/x", false},
        {L"https://a.example/x", nullptr, false},
        {nullptr, L"http://a.example/x", false},
    };
    for (const auto& c : rgCases)
    {
        EXPECT_EQ(c.fDowngrade, IsDowngradeRedirect(c.szFrom, c.szTo))
            << (c.szFrom ? std::wstring(c.szFrom) : L"(null)").c_str() << " -> "
            << (c.szTo ? std::wstring(c.szTo) : L"(null)").c_str();
    }
}

TEST(TransportTest, ASecurityQuestionIsAnsweredWithARefusal)
{
    struct
    {
        DWORD dwProblem;
        TransportRefusal nRefusal;
    } const rgCases[] = {
        {ERROR_INTERNET_SEC_CERT_DATE_INVALID, TransportRefusalCertificate},
        {ERROR_INTERNET_INVALID_CA, TransportRefusalCertificate},
        {ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR, TransportRefusalDowngrade},
    };
    for (const auto& c : rgCases)
    {
        CSetupWizard wizard;
        CDownloadBindStatusCallback* pCallback = new CDownloadBindStatusCallback(&wizard);
        HWND hWnd = reinterpret_cast<HWND>(1);
        // No window: nobody may be asked to accept the problem.
        EXPECT_EQ(S_FALSE, pCallback->GetWindow(IID_IHttpSecurity, &hWnd));
        EXPECT_EQ(nullptr, hWnd);
        EXPECT_EQ(E_ABORT, pCallback->OnSecurityProblem(c.dwProblem)) << c.dwProblem;
        EXPECT_EQ(c.nRefusal, pCallback->GetRefusal()) << c.dwProblem;
        // The transfer's progress is refused from then on.
        EXPECT_EQ(E_ABORT, pCallback->OnProgress(1, 2, BINDSTATUS_DOWNLOADINGDATA, nullptr)) << c.dwProblem;
        pCallback->Release();
    }
}

TEST(PayloadDigestTest, FilesHashAsTheStandardSays)
{
    struct
    {
        const char* szData;
        const wchar_t* szDigest;
    } const rgCases[] = {
        {"", L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    };
    std::wstring strPath = GetTempFolder() + L"tessal-digest-" + std::to_wstring(GetCurrentProcessId()) + L".bin";
    for (const auto& c : rgCases)
    {
        HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
        DWORD cbWritten = 0;
        WriteFile(hFile, c.szData, static_cast<DWORD>(strlen(c.szData)), &cbWritten, nullptr);
        CloseHandle(hFile);
        WCHAR szDigest[SHA256_TEXT_CAPACITY] = {};
        ASSERT_EQ(0u, ComputeFileSha256(strPath.c_str(), szDigest)) << c.szData;
        EXPECT_STREQ(c.szDigest, szDigest) << c.szData;
    }
    DeleteFileW(strPath.c_str());
    WCHAR szDigest[SHA256_TEXT_CAPACITY] = {};
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ComputeFileSha256(strPath.c_str(), szDigest));
    EXPECT_STREQ(L"", szDigest);
}

TEST(PayloadDigestTest, TheManifestsDigestMustBeExactlySixtyFourHexDigits)
{
    const wchar_t szActual[] = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    struct
    {
        const wchar_t* szExpected;
        bool fSame;
    } const rgCases[] = {
        {L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", true},
        {L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", true},
        {L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015a", false},
        {L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad0", false},
        {L" ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015a", false},
        {L"ca7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", false},
        {L"", false},
        {nullptr, false},
    };
    for (const auto& c : rgCases)
    {
        EXPECT_EQ(c.fSame, IsSameDigest(c.szExpected, szActual)) << (c.szExpected ? c.szExpected : L"(null)");
    }
    const BYTE rgbZero[32] = {};
    WCHAR szZero[SHA256_TEXT_CAPACITY] = {};
    FormatDigest(rgbZero, szZero);
    EXPECT_EQ(std::wstring(64, L'0'), szZero);
}
