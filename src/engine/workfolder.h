#pragma once
#include <windows.h>
#include <string>

// The access a working folder gets when the setup runs elevated: only
// administrators and the system, nothing inherited from the user's folder.
constexpr WCHAR c_szAdminOnlySddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Whether the setup runs with an administrator's full rights.
bool IsProcessElevated();
// The descriptor a new working folder gets: admin-only when elevated, the
// temporary folder's own (nullptr) otherwise.
LPCWSTR SelectWorkFolderSddl(bool fElevated);

// Makes a new GUID-named folder in the temporary folder and returns it with
// its trailing separator. A name that already exists, whatever it is, is
// never reused.
DWORD CreateWorkFolder(LPWSTR szFolder, size_t cchFolder);
// Makes every level of a full path that is missing (a trailing separator
// is allowed); 0 or the platform's error.
DWORD CreateFolderPath(const std::wstring& strFolder);
// Whether the folder itself or anything between it and the full path is a
// junction or link. szFolder is full and ends with a separator.
bool IsReparsePointOnPath(LPCWSTR szFullPath, LPCWSTR szFolder);
// Copies a file into the folder under its own name; nothing that already
// stands there is overwritten or followed.
DWORD CopyFileIntoFolder(LPCWSTR szSource, LPCWSTR szFolder, LPWSTR szCopy, size_t cchCopy);

// A working folder for one package's copy, deleted with everything in it.
class CWorkFolder
{
public:
    CWorkFolder() = default;
    ~CWorkFolder() { Delete(); }
    CWorkFolder(const CWorkFolder&) = delete;
    CWorkFolder& operator=(const CWorkFolder&) = delete;

    // Makes the folder on first use.
    DWORD Create();
    LPCWSTR GetPath() const { return m_szPath; }
    void Delete();

private:
    WCHAR m_szPath[MAX_PATH] = {};
};
