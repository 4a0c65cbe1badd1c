#pragma once
#include <windows.h>
#include <string>

// Tests that use this run in a process of their own (suite names starting
// with "FakeInstaller"), one in which the real msi.dll was never loaded.
// Points the setup's view of the system folder at a private folder that
// holds a stand-in MSI.DLL (or none), for one scope.
class CFakeSystemFolder
{
public:
    explicit CFakeSystemFolder(LPCWSTR szStandIn);
    ~CFakeSystemFolder();
    CFakeSystemFolder(const CFakeSystemFolder&) = delete;
    CFakeSystemFolder& operator=(const CFakeSystemFolder&) = delete;

private:
    std::wstring m_strFolder;
};
