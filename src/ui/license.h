#pragma once
#include "ui/wizard.h"
#include <optional>
#include <string>

// What the licence page remembers of the user's country choice.
struct LicensePageState
{
    int nSelection = -1;
    std::wstring strCountry;
};

// Made on the first entry to the licence page; lives until the process ends.
extern std::optional<LicensePageState> g_licensePageState;

// What the licence archive may unpack in all; more is refused as damaged.
constexpr ULONGLONG LICENSE_MAX_UNPACKED = 16ull * 1024 * 1024;
// Fetches the licence archive into a new folder under the temporary folder
// and unpacks it there; 0, or the failure's code.
DWORD DownloadLicenseArchive(CSetupWizard* pWizard);

// The text of the country box's selected entry; empty when none is selected.
std::wstring GetSelectedCountry(HWND hCombo);
