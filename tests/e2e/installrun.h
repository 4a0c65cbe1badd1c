#pragma once
#include "support/setuprun.h"
#include "support/testpaths.h"
#include "support/tracecapture.h"
#include "support/wizarddriver.h"
#include <gtest/gtest.h>
#include <string>

// What the full runs against the download server share.

inline const wchar_t c_szTessalCode[] = L"{6E2A94C1-5B07-4D3F-A1C8-92F0D47B3E65}";
inline const wchar_t c_szMsxml32Code[] = L"{AEB9948B-4FF2-47C9-990E-47014492A0FE}";
inline const wchar_t c_szMsxml64Code[] = L"{FF59CB23-1800-4047-B40C-E20AE7051491}";
constexpr DWORD c_dwRunTimeoutMs = 240000;

// The setup log a run left behind under its final name.
std::wstring ReadFinalLog();

// Leaves the machine as a fresh one for the next run.
void ResetMachine();

// GUID-named folders in the temporary folder, the licence folders aside.
int CountGuidFolders();

// Whether a stub package whose file name starts with szName ran with
// exactly these arguments after its quoted path.
bool HasCall(const std::string& strCalls, const char* szName, const char* szArguments);

// Wine builds in the DirectX library and the XML parser, so detection finds
// them present. The runs switch them off in the prefix's own DLL settings
// (read by each new process) to install every package.
class CDisabledBuiltIns
{
public:
    CDisabledBuiltIns();
    ~CDisabledBuiltIns();
    CDisabledBuiltIns(const CDisabledBuiltIns&) = delete;
    CDisabledBuiltIns& operator=(const CDisabledBuiltIns&) = delete;

private:
    static constexpr LPCWSTR c_rgszNames[2] = {L"d3dx10_41", L"msxml6"};
    HKEY m_hKey = nullptr;
};

class InstallRunTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetMachine(); }
    void TearDown() override { ResetMachine(); }

    CDisabledBuiltIns m_builtIns;
};

// Options of a full run that answers the cancel question as given.
SetupRunOptions CancelQuestionRun(int nAnswer);

// Accepts the licence, then waits for the given page.
HWND AcceptLicenceAndWaitFor(CRunningSetup& setup, DriverPage nPage, DWORD dwTimeoutMs);

// Accepts the licence and waits for the progress page, or the finish page.
HWND AcceptLicence(CRunningSetup& setup);
HWND RunToFinish(CRunningSetup& setup);

// Expects a finish page with this title, closes it and expects the setup to
// end with code 0 in time.
SetupRunResult CloseFinishPage(CRunningSetup& setup, HWND hFinish, LPCWSTR szTitle);

// A full run of a setup that accepts the licence, expects the finish page
// with this title, keeps the page's detail text and closes the page.
SetupRunResult RunAndCloseFinishPage(LPCWSTR szExe, LPCWSTR szTitle, std::wstring* pstrDetail = nullptr);

// The quoted program path of a stub's recorded call, empty until it ran.
std::wstring FindStubProgramPath(const std::string& strCalls, const char* szName);
