#include "engine/zip.h"
#include "diag/heapstr.h"
#include "diag/safestr.h"
#include "engine/exec.h"
#include "engine/install.h"
#include "engine/workfolder.h"
#include "platform/owners.h"
#include "ui/wizard.h"

namespace
{
constexpr DWORD c_cbCopy = 0x100000;

bool IsSeparator(WCHAR ch)
{
    return ch == L'/' || ch == L'\\';
}

bool EndsWithSeparator(LPCWSTR sz)
{
    size_t cch = wcslen(sz);
    return cch != 0 && IsSeparator(sz[cch - 1]);
}

// folder + separator (unless it has one) + name, then its full form.
bool ComposeTarget(LPCWSTR szFolder, LPCWSTR szName, LPWSTR szFull)
{
    WCHAR szTarget[MAX_PATH];
    if (FAILED(SafeCopy(szTarget, MAX_PATH, szFolder)) ||
        (!EndsWithSeparator(szFolder) && FAILED(SafeAppend(szTarget, MAX_PATH, L"\\"))) ||
        FAILED(SafeAppend(szTarget, MAX_PATH, szName)))
    {
        return false;
    }
    DWORD cchFull = GetFullPathNameW(szTarget, MAX_PATH, szFull, nullptr);
    return cchFull != 0 && cchFull < MAX_PATH;
}

HANDLE CreateOutputFile(LPCWSTR szPath)
{
    return CreateFileW(szPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Copies the open entry into the file: 0, -1 for a failed write, or the
// reader's negative code.
int CopyEntryData(unzFile hArchive, HANDLE hFile, void* pBuffer)
{
    for (;;)
    {
        int cbRead = unzReadCurrentFile(hArchive, pBuffer, c_cbCopy);
        if (cbRead <= 0)
        {
            return cbRead;
        }
        DWORD cbWritten = 0;
        if (!WriteFile(hFile, pBuffer, static_cast<DWORD>(cbRead), &cbWritten, nullptr) ||
            cbWritten != static_cast<DWORD>(cbRead))
        {
            return -1;
        }
    }
}

struct CHeapFree
{
    void operator()(void* p) const { HeapFree(GetProcessHeap(), 0, p); }
};

// Owns the copy buffer of one entry.
class CCopyBuffer : public CScopedOwner<void*, CHeapFree>
{
public:
    CCopyBuffer() : CScopedOwner(HeapAlloc(GetProcessHeap(), 0, c_cbCopy)) {}
};

struct CCloseArchive
{
    void operator()(unzFile h) const { unzClose(h); }
};

// Closes the archive on every path.
using CArchive = CScopedOwner<unzFile, CCloseArchive>;
}

namespace
{
// Where one file entry goes: the folder as given and in full form (with its
// separator), the entry's name and the file part of that name.
struct EntryTarget
{
    LPCWSTR szFolder;
    LPCWSTR szFolderFull;
    LPCWSTR szName;
    LPCWSTR pFilePart;
};

// Creates the entry's output file at szFull, making one missing folder
// level on demand in szWorkFolder; INVALID_HANDLE_VALUE when it cannot.
HANDLE CreateEntryFile(const EntryTarget& target, LPWSTR szWorkFolder, LPWSTR szFull)
{
    HANDLE hFile = CreateOutputFile(szFull);
    if (hFile != INVALID_HANDLE_VALUE || target.pFilePart == target.szName)
    {
        return hFile;
    }
    WCHAR szFolderPart[MAX_PATH] = {};
    SafeCopy(szFolderPart, static_cast<size_t>(target.pFilePart - target.szName), target.szName);
    if (!ComposeTarget(target.szFolder, szFolderPart, szWorkFolder) ||
        !IsPathInsideFolder(szWorkFolder, target.szFolderFull))
    {
        return INVALID_HANDLE_VALUE;
    }
    CreateDirectoryW(szWorkFolder, nullptr);
    if (!ComposeTarget(szWorkFolder, target.pFilePart, szFull) || !IsPathInsideFolder(szFull, target.szFolderFull) ||
        IsReparsePointOnPath(szFull, target.szFolderFull))
    {
        return INVALID_HANDLE_VALUE;
    }
    return CreateOutputFile(szFull);
}
}

bool IsSafeEntryName(LPCWSTR szName)
{
    if (!szName || szName[0] == L'\0' || IsSeparator(szName[0]) || wcschr(szName, L':'))
    {
        return false;
    }
    // Every segment between separators: not "..".
    for (LPCWSTR p = szName; *p;)
    {
        LPCWSTR pEnd = p;
        while (*pEnd && !IsSeparator(*pEnd))
        {
            ++pEnd;
        }
        size_t cch = static_cast<size_t>(pEnd - p);
        if (cch == 2 && p[0] == L'.' && p[1] == L'.')
        {
            return false;
        }
        p = *pEnd ? pEnd + 1 : pEnd;
    }
    return true;
}

bool IsPathInsideFolder(LPCWSTR szFullPath, LPCWSTR szFolder)
{
    size_t cchFolder = wcslen(szFolder);
    if (cchFolder == 0 || wcslen(szFullPath) <= cchFolder)
    {
        return false;
    }
    return CompareStringW(MAKELCID(1033, SORT_DEFAULT), NORM_IGNORECASE, szFullPath, static_cast<int>(cchFolder),
                          szFolder, static_cast<int>(cchFolder)) == CSTR_EQUAL;
}

namespace
{
// What the entries of one archive share: the folder in both forms, the copy
// buffer, and the last folder of an entry found free of links, whose next
// entries need only their own name checked (extraction makes no links).
struct ExtractionContext
{
    LPCWSTR szFolder;
    WCHAR szFolderFull[MAX_PATH];
    WCHAR szWorkFolder[MAX_PATH];
    WCHAR szCheckedFolder[MAX_PATH];
    CCopyBuffer buffer;
};

// The length of a path's folder part, its last separator included.
size_t GetFolderPartLength(LPCWSTR szPath)
{
    size_t cchFolder = 0;
    for (size_t i = 0; szPath[i]; ++i)
    {
        if (IsSeparator(szPath[i]))
        {
            cchFolder = i + 1;
        }
    }
    return cchFolder;
}

bool IsInCheckedFolder(LPCWSTR szFull, const ExtractionContext& context)
{
    size_t cchFolder = GetFolderPartLength(szFull);
    return cchFolder != 0 && wcslen(context.szCheckedFolder) == cchFolder &&
           wcsncmp(szFull, context.szCheckedFolder, cchFolder) == 0;
}

// A junction or link on the way would carry the entry elsewhere.
bool IsLinkOnTheWay(LPCWSTR szFull, const ExtractionContext& context)
{
    if (!IsInCheckedFolder(szFull, context))
    {
        return IsReparsePointOnPath(szFull, context.szFolderFull);
    }
    DWORD dwAttributes = GetFileAttributesW(szFull);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

DWORD CopyEntryToFile(unzFile hArchive, const EntryTarget& target, LPWSTR szFull, ExtractionContext& context)
{
    if (unzOpenCurrentFile(hArchive) != UNZ_OK)
    {
        return ERROR_INSTALL_FAILURE;
    }
    HANDLE hFile = CreateEntryFile(target, context.szWorkFolder, szFull);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        unzCloseCurrentFile(hArchive);
        return ERROR_INSTALL_FAILURE;
    }
    // The file's folder exists now and was checked on the way in.
    size_t cchFolder = GetFolderPartLength(szFull);
    SafeCopy(context.szCheckedFolder, cchFolder + 1, szFull);
    int nCopy = CopyEntryData(hArchive, hFile, context.buffer.Get());
    CloseHandle(hFile);
    int nClose = unzCloseCurrentFile(hArchive);
    return static_cast<DWORD>(nCopy == 0 ? nClose : nCopy);
}

DWORD ExtractZipEntry(unzFile hArchive, ExtractionContext& context)
{
    char szNameA[MAX_PATH] = {};
    unz_file_info info = {};
    int nResult = unzGetCurrentFileInfo(hArchive, &info, szNameA, MAX_PATH, nullptr, 0, nullptr, 0);
    if (nResult != UNZ_OK)
    {
        return static_cast<DWORD>(nResult);
    }
    WCHAR szName[MAX_PATH] = {};
    if (!DecodeEntryName(szNameA, info.flag, szName, MAX_PATH))
    {
        return ERROR_INSTALL_FAILURE;
    }
    LPCWSTR pFilePart = szName + GetFolderPartLength(szName);
    // Entry names are untrusted: nothing may land outside the folder.
    WCHAR szFull[MAX_PATH];
    if (!IsSafeEntryName(szName) || !ComposeTarget(context.szFolder, szName, szFull) ||
        !IsPathInsideFolder(szFull, context.szFolderFull) || IsLinkOnTheWay(szFull, context))
    {
        return ERROR_INSTALL_FAILURE;
    }
    if (*pFilePart == L'\0')
    {
        // A folder that cannot be made fails the first file put into it.
        CreateFolderPath(szFull);
        return ERROR_SUCCESS;
    }
    EntryTarget target = {context.szFolder, context.szFolderFull, szName, pFilePart};
    return CopyEntryToFile(hArchive, target, szFull, context);
}
}

bool DecodeEntryName(const char* szStored, unsigned long ulFlags, LPWSTR szName, int cchName)
{
    const bool fUtf8 = (ulFlags & UNZ_FLAG_UTF8_NAME) != 0;
    return MultiByteToWideChar(fUtf8 ? CP_UTF8 : 437, fUtf8 ? MB_ERR_INVALID_CHARS : 0, szStored, -1, szName,
                               cchName) != 0;
}

namespace
{
// The sum of the sizes the entries declare; the reader refuses an entry
// that yields more or less than its declared size, so this bounds what the
// archive can write.
bool IsWithinUnpackedLimit(unzFile hArchive, uLong cEntries, ULONGLONG cbMax)
{
    ULONGLONG cbTotal = 0;
    bool fWithin = true;
    for (uLong i = 0; i < cEntries && fWithin; ++i)
    {
        unz_file_info info = {};
        fWithin = unzGetCurrentFileInfo(hArchive, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK;
        cbTotal += info.uncompressed_size;
        fWithin = fWithin && cbTotal <= cbMax && (i + 1 == cEntries || unzGoToNextFile(hArchive) == UNZ_OK);
    }
    return unzGoToFirstFile(hArchive) == (cEntries ? UNZ_OK : UNZ_END_OF_LIST_OF_FILE) && fWithin;
}
}

DWORD ExtractZipArchive(LPCWSTR szArchive, LPCWSTR szFolder, ULONGLONG cbMaxUnpacked)
{
    // By its UTF-16 path: a temporary folder named in another script has
    // no form in the ANSI code page.
    CArchive archive(unzOpenW(szArchive));
    unz_global_info global = {};
    if (!archive.Get() || unzGetGlobalInfo(archive.Get(), &global) != UNZ_OK)
    {
        return ERROR_INSTALL_FAILURE;
    }
    if (cbMaxUnpacked != ~0ULL && !IsWithinUnpackedLimit(archive.Get(), global.number_entry, cbMaxUnpacked))
    {
        return ERROR_INSTALL_FAILURE;
    }
    ExtractionContext context = {szFolder, {}, {}, {}, {}};
    DWORD cchFolderFull = GetFullPathNameW(szFolder, MAX_PATH, context.szFolderFull, nullptr);
    if (!context.buffer.Get() || cchFolderFull == 0 || cchFolderFull >= MAX_PATH - 1)
    {
        return context.buffer.Get() ? ERROR_INSTALL_FAILURE : ERROR_OUTOFMEMORY;
    }
    if (!EndsWithSeparator(context.szFolderFull))
    {
        SafeAppend(context.szFolderFull, MAX_PATH, L"\\");
    }
    for (uLong i = 0; i < global.number_entry; ++i)
    {
        DWORD dwResult = ExtractZipEntry(archive.Get(), context);
        if (dwResult != ERROR_SUCCESS)
        {
            return dwResult;
        }
        if (i + 1 < global.number_entry && unzGoToNextFile(archive.Get()) != UNZ_OK)
        {
            return ERROR_INSTALL_FAILURE;
        }
    }
    return ERROR_SUCCESS;
}

void DeleteFolderTree(LPCWSTR szFolder)
{
    WCHAR szTop[MAX_PATH];
    if (FAILED(SafeCopy(szTop, MAX_PATH, szFolder)))
    {
        return;
    }
    if (EndsWithSeparator(szTop))
    {
        szTop[wcslen(szTop) - 1] = L'\0';
    }
    DWORD dwAttributes = GetFileAttributesW(szTop);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        // A folder swapped for a link: the link goes, never what it names.
        RemoveDirectoryW(szTop);
        return;
    }
    WCHAR szPattern[MAX_PATH];
    if (FAILED(SafeCopy(szPattern, MAX_PATH, szFolder)) ||
        FAILED(SafeAppend(szPattern, MAX_PATH, EndsWithSeparator(szFolder) ? L"*" : L"\\*")))
    {
        return;
    }
    WIN32_FIND_DATAW find = {};
    HANDLE hFind = FindFirstFileW(szPattern, &find);
    szPattern[wcslen(szPattern) - 1] = L'\0';
    if (hFind == INVALID_HANDLE_VALUE)
    {
        RemoveDirectoryW(szFolder);
        return;
    }
    do
    {
        if (wcscmp(find.cFileName, L".") == 0 || wcscmp(find.cFileName, L"..") == 0)
        {
            continue;
        }
        WCHAR szChild[MAX_PATH];
        if (FAILED(SafeFormat(szChild, MAX_PATH, L"%s%s", szPattern, find.cFileName)))
        {
            continue;
        }
        bool fFolder = (find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        bool fLink = (find.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (fFolder && !fLink)
        {
            DeleteFolderTree(szChild);
            RemoveDirectoryW(szChild);
        }
        else if (fFolder)
        {
            // A junction or link is removed itself; what it points to stays.
            RemoveDirectoryW(szChild);
        }
        else
        {
            DeleteFileW(szChild);
        }
    } while (FindNextFileW(hFind, &find));
    FindClose(hFind);
    RemoveDirectoryW(szFolder);
}

DWORD InstallZipPackage(CPackageInfo* pPackage, HINSTANCE hInstance, LPCWSTR szArchive, CSetupWizard* pWizard)
{
    WCHAR szFolder[MAX_PATH] = {};
    if (CreateWorkFolder(szFolder, MAX_PATH) != ERROR_SUCCESS)
    {
        return ERROR_INSTALL_FAILURE;
    }
    pWizard->StartMarquee();
    DWORD dwResult = ExtractZipArchive(szArchive, szFolder);
    pWizard->StopMarquee();
    if (dwResult == ERROR_SUCCESS)
    {
        WCHAR szFile[MAX_PATH] = {};
        LPCWSTR szInner = pPackage->szInstallZip ? pPackage->szInstallZip : L"";
        LPCWSTR pDot = nullptr;
        if (SUCCEEDED(SafeCopy(szFile, MAX_PATH, szFolder)) && SUCCEEDED(SafeAppend(szFile, MAX_PATH, szInner)))
        {
            pDot = wcsrchr(szFile + 1, L'.');
        }
        if (pDot && IsTextEqualNoCase(pDot, L".exe"))
        {
            dwResult = RunExecutablePackage(pPackage, szFile, pWizard);
        }
        else if (pDot && IsTextEqualNoCase(pDot, L".msi"))
        {
            dwResult = InstallMsiPackage(pPackage, szFile, pWizard, hInstance);
        }
        else
        {
            dwResult = ERROR_INSTALL_FAILURE;
        }
    }
    DeleteFolderTree(szFolder);
    RemoveDirectoryW(szFolder);
    return dwResult;
}
