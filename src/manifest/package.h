#pragma once
#include <windows.h>
#include <atomic>

enum PackageAction : int
{
    ActionInstall = 1,
    ActionRemove = 2,
};

enum PackagePlatform : int
{
    PlatformAny = 0,
    PlatformWin32 = 1,
    PlatformWin64 = 2,
};

enum PackageStatus : int
{
    StatusPending = 0,
    StatusDownloading = 1,
    StatusInstalling = 2,
    StatusDownloaded = 3,
    StatusInstalled = 4,
    StatusDownloadFailed = 5,
    StatusInstallFailed = 6,
    StatusPreviouslyInstalled = 7,
};

// One package of the manifest and one node of the package list. The run
// fields are shared by the wizard and both worker threads without locks;
// each has one writer at a time, so they are atomics.
struct CPackageInfo
{
    int nAction = ActionInstall;
    LPWSTR szKey = nullptr;
    LPWSTR szProductName = nullptr;
    LPWSTR szBaseUrl = nullptr;
    LPWSTR szInstall = nullptr;
    LPWSTR szParameters = nullptr;
    LPWSTR szProperties = nullptr;
    LPWSTR szInstallZip = nullptr;
    LPWSTR szProductCode = nullptr;
    // The expected SHA-256 of the package file, 64 hex digits; null when
    // the manifest names none.
    LPWSTR szSha256 = nullptr;
    std::atomic<LPWSTR> szLocalFile{nullptr};
    int nPlatform = PlatformAny;
    std::atomic<int> nStatus{StatusPending};
    std::atomic<bool> fRebootRequired{false};
    std::atomic<DWORD> dwError{0};
    DWORD dwDiskSpace = 0;
    bool fNotify = false;
    CPackageInfo* pNext = nullptr;
};

// Releases every string the node owns and returns it to its initial state;
// the link is cleared too.
void ResetPackage(CPackageInfo* pPackage);
CPackageInfo* CreatePackage();
void DestroyPackage(CPackageInfo*& pPackage);
