#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Given by the platform's restart registration; compared case-sensitively.
constexpr WCHAR RESTART_OPTION[] = L"/rsar";

enum RunMode : int
{
    RunNormal = 0,
    RunUsage = 1,
    RunVerify = 2,
    RunAdmin = 3,
};

// Finds the next blank- or tab-separated token; a token that starts with a
// double quote runs to the next double quote. ERROR_NO_MORE_ITEMS when none.
DWORD NextToken(LPWSTR szText, LPWSTR* ppStart, LPWSTR* ppLast, bool* pfQuoted);
RunMode GetRunMode(LPWSTR szCommandLine);
// True when "/rsar" appears anywhere, compared case-sensitively.
bool HasRestartOption(LPCWSTR szCommandLine);
// Writes a NUL after the path token in place.
DWORD CheckVerifyArgs(LPCWSTR szModulePath, LPWSTR szCommandLine);
DWORD CheckAdminArgs(LPWSTR szCommandLine);

// The switches of unattended and managed runs. They may come in any order,
// with "/" or "-" and in any case, beside "/rsar" and "/a".
struct ManagedOptions
{
    // A managed switch is on the command line; without one the older rules
    // above decide alone.
    bool fPresent = false;
    bool fQuiet = false;
    bool fPassive = false;
    bool fNoRestart = false;
    bool fForceRestart = false;
    bool fAdmin = false;
    bool fRestarted = false;
    std::wstring strLogPath;
    // "/layout <folder>": fill an offline layout instead of installing.
    std::wstring strLayoutFolder;
    // "/source <folder>": install from this layout.
    std::wstring strSourceFolder;

    bool IsUnattended() const { return fQuiet || fPassive; }
};

// Reads the managed switches: 0, or 160 when a token is not recognised or a
// switch lacks its argument (the unattended flags are set even then, so that
// the caller knows whether it may show the usage box). A command line whose
// first token is "/v" or "/?" keeps its own rules: fPresent stays false.
DWORD ParseManagedOptions(LPCWSTR szCommandLine, ManagedOptions* pOptions);
// The command line a managed run registers for its restart: "/rsar" and its
// own switches.
std::wstring ComposeRestartCommandLine(const ManagedOptions& options);
