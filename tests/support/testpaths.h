#pragma once
#include <windows.h>
#include <string>

// Folder of the running test program; every built executable lies there.
std::wstring GetBinFolder();
std::wstring GetBinPath(LPCWSTR szName);
// The user's temporary folder, with its trailing backslash.
std::wstring GetTempFolder();
std::wstring ReadFileUtf16(const std::wstring& strPath, bool* pfExists = nullptr);
// True when the platform is 64-bit, told by the native system information.
bool IsNative64Bit();
// The suite runs the smaller sets; ./scripts/test.sh --stress the full ones.
bool IsStressRun();
// The longer end-to-end sets run once per suite: for the shipped setup (32-bit)
// on 64-bit Windows, or, on a machine that cannot run 32-bit programs, for the
// configuration the test script names with TESSAL_MAIN_CONFIG=1.
bool IsMainConfiguration();

// A setup executable loaded as data, for reading its resources.
class CDataModule
{
public:
    explicit CDataModule(LPCWSTR szExeName);
    ~CDataModule();
    CDataModule(const CDataModule&) = delete;
    CDataModule& operator=(const CDataModule&) = delete;
    HINSTANCE Get() const { return m_hModule; }

private:
    HINSTANCE m_hModule;
};

// Wine keeps junctions and links as the host's symbolic links, which only a
// host program can make or remove; Wine runs one given by its Z: path. On a
// platform that cannot, these return false and the test skips its case.
bool MakeSymbolicLink(const std::wstring& strLink, const std::wstring& strTarget);
bool RemoveSymbolicLink(const std::wstring& strLink);

// Calls fnEach(name, fDirectory) for every entry of a folder but . and ..
template <typename F>
void ForEachEntry(const std::wstring& strFolder, F fnEach)
{
    WIN32_FIND_DATAW find = {};
    HANDLE hFind = FindFirstFileW((strFolder + L"\\*").c_str(), &find);
    if (hFind == INVALID_HANDLE_VALUE)
    {
        return;
    }
    do
    {
        std::wstring strName = find.cFileName;
        if (strName != L"." && strName != L"..")
        {
            fnEach(strName, (find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        }
    } while (FindNextFileW(hFind, &find));
    FindClose(hFind);
}
