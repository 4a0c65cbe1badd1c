#include "engine/payload.h"
#include "diag/heapstr.h"
#include "diag/msgbox.h"
#include "diag/safestr.h"
#include "diag/setuplog.h"
#include "diag/trace.h"
#include "engine/download.h"
#include "engine/workfolder.h"
#include "manifest/manifest.h"
#include "platform/owners.h"
#include "ui/wizard.h"
#include <memory>
#include <new>
#include <wincrypt.h>

namespace
{
constexpr DWORD c_cbReadChunk = 64 * 1024;

// The platform's hash provider and one hash object, released on every path.
class CSha256Hash
{
public:
    CSha256Hash()
    {
        if (CryptAcquireContextW(&m_hProvider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        {
            CryptCreateHash(m_hProvider, CALG_SHA_256, 0, 0, &m_hHash);
        }
    }
    ~CSha256Hash()
    {
        if (m_hHash)
        {
            CryptDestroyHash(m_hHash);
        }
        if (m_hProvider)
        {
            CryptReleaseContext(m_hProvider, 0);
        }
    }
    CSha256Hash(const CSha256Hash&) = delete;
    CSha256Hash& operator=(const CSha256Hash&) = delete;
    HCRYPTHASH Get() const { return m_hHash; }

private:
    HCRYPTPROV m_hProvider = 0;
    HCRYPTHASH m_hHash = 0;
};

bool IsHexDigit(WCHAR ch)
{
    return (ch >= L'0' && ch <= L'9') || (ch >= L'a' && ch <= L'f') || (ch >= L'A' && ch <= L'F');
}
}

void FormatDigest(const BYTE (&rgbDigest)[32], WCHAR (&szDigest)[SHA256_TEXT_CAPACITY])
{
    static const WCHAR c_szHex[] = L"0123456789abcdef";
    for (size_t i = 0; i < 32; ++i)
    {
        szDigest[2 * i] = c_szHex[rgbDigest[i] >> 4];
        szDigest[2 * i + 1] = c_szHex[rgbDigest[i] & 0x0F];
    }
    szDigest[64] = L'\0';
}

bool IsSameDigest(LPCWSTR szExpected, LPCWSTR szActual)
{
    if (!szExpected || !szActual || wcslen(szExpected) != 64 || wcslen(szActual) != 64)
    {
        return false;
    }
    for (size_t i = 0; i < 64; ++i)
    {
        if (!IsHexDigit(szExpected[i]) || towlower(szExpected[i]) != towlower(szActual[i]))
        {
            return false;
        }
    }
    return true;
}

DWORD ComputeFileSha256(LPCWSTR szPath, WCHAR (&szDigest)[SHA256_TEXT_CAPACITY])
{
    szDigest[0] = L'\0';
    CSha256Hash hash;
    if (!hash.Get())
    {
        return GetLastError() ? GetLastError() : ERROR_NOT_SUPPORTED;
    }
    CFileHandle file(CreateFileW(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid())
    {
        return GetLastError();
    }
    std::unique_ptr<BYTE[]> rgbChunk(new (std::nothrow) BYTE[c_cbReadChunk]);
    if (!rgbChunk)
    {
        return ERROR_OUTOFMEMORY;
    }
    DWORD cbRead = 0;
    do
    {
        if (!ReadFile(file.Get(), rgbChunk.get(), c_cbReadChunk, &cbRead, nullptr) ||
            (cbRead != 0 && !CryptHashData(hash.Get(), rgbChunk.get(), cbRead, 0)))
        {
            return GetLastError();
        }
    } while (cbRead != 0);
    BYTE rgbDigest[32] = {};
    DWORD cbDigest = sizeof(rgbDigest);
    if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, rgbDigest, &cbDigest, 0) || cbDigest != sizeof(rgbDigest))
    {
        return GetLastError() ? GetLastError() : ERROR_INVALID_DATA;
    }
    FormatDigest(rgbDigest, szDigest);
    return ERROR_SUCCESS;
}

namespace
{
// Logs why the downloaded file of a package cannot be installed and shows
// the failed download's box.
DWORD FailStaging(CPackageInfo* pPackage, HINSTANCE hInstance, CSetupWizard* pWizard, DWORD dwError)
{
    CSetupLog::Instance().Write(L"  Installation Error: %s (%s) could not be copied to the setup's working folder "
                                L"(0x%08X)\n",
                                pPackage->szProductName ? pPackage->szProductName : L"",
                                pPackage->szInstall ? pPackage->szInstall : L"", dwError);
    ReportErrorById(hInstance, pWizard->GetOwnerWindow(), nullptr, IDS_DOWNLOAD_FAILED);
    return dwError;
}

// Hands the install thread's copy to the package in place of the cache's file.
DWORD PublishCopy(CPackageInfo* pPackage, LPCWSTR szCopy)
{
    LPWSTR szOwned = DuplicateString(szCopy);
    if (!szOwned)
    {
        return ERROR_OUTOFMEMORY;
    }
    LPWSTR szCached = pPackage->szLocalFile.exchange(szOwned);
    FreeString(szCached);
    return ERROR_SUCCESS;
}
}

DWORD StagePackageFile(CPackageInfo* pPackage, HINSTANCE hInstance, CSetupWizard* pWizard, CWorkFolder* pFolder)
{
    DWORD dwResult = pFolder->Create();
    if (dwResult != ERROR_SUCCESS)
    {
        return FailStaging(pPackage, hInstance, pWizard, dwResult);
    }
    WCHAR szCopy[MAX_PATH] = {};
    WCHAR szActual[SHA256_TEXT_CAPACITY] = {};
    WCHAR szTarget[MAX_PATH] = {};
    SafeCopy(szTarget, MAX_PATH, pFolder->GetPath());
    for (int nAttempt = 0;; ++nAttempt)
    {
        LPCWSTR szCached = pPackage->szLocalFile.load();
        dwResult = CopyFileIntoFolder(szCached ? szCached : L"", szTarget, szCopy, MAX_PATH);
        if (dwResult != ERROR_SUCCESS)
        {
            return FailStaging(pPackage, hInstance, pWizard, dwResult);
        }
        // The copy is what runs, so the copy is what is checked.
        if (!pPackage->szSha256 ||
            (ComputeFileSha256(szCopy, szActual) == ERROR_SUCCESS && IsSameDigest(pPackage->szSha256, szActual)))
        {
            return PublishCopy(pPackage, szCopy);
        }
        DeleteFileW(szCopy);
        if (nAttempt != 0)
        {
            break;
        }
        // A scanner may still hold the rejected copy open: the next one goes
        // into a new folder beside it, under the same file name.
        if (FAILED(SafeAppend(szTarget, MAX_PATH, L"retry\\")) || !CreateDirectoryW(szTarget, nullptr))
        {
            return FailStaging(pPackage, hInstance, pWizard, ERROR_CANNOT_MAKE);
        }
        // A server that replaced the file behind the same address leaves
        // the old copy in the cache: fetch it afresh, once.
        DebugMsg(L"[Error] %s does not match its SHA-256; downloading it again\n", pPackage->szInstall);
        LPWSTR szFresh = nullptr;
        dwResult = RefetchPackage(pPackage, hInstance, &szFresh, pWizard);
        if (dwResult != ERROR_SUCCESS)
        {
            return dwResult;
        }
        // The install thread owns the package now; the old path goes.
        LPWSTR szStale = pPackage->szLocalFile.exchange(szFresh);
        FreeString(szStale);
    }
    CSetupLog::Instance().Write(L"  Installation Error: %s (%s) does not match its SHA-256: expected %s, found %s\n",
                                pPackage->szProductName ? pPackage->szProductName : L"",
                                pPackage->szInstall ? pPackage->szInstall : L"", pPackage->szSha256,
                                szActual[0] ? szActual : L"(unreadable)");
    ReportErrorById(hInstance, pWizard->GetOwnerWindow(), nullptr, IDS_DOWNLOAD_FAILED);
    return ERROR_FILE_NOT_FOUND;
}

DWORD RefuseUncheckedPackage(const CPackageInfo* pPackage, HINSTANCE hInstance, CSetupWizard* pWizard)
{
    // A file beside the packages in a layout (it has no key) is judged where
    // it is read: the licence archive by its own digest, the version file
    // not at all, as it changes with every release.
    if (pPackage->szSha256 || !pPackage->szKey || !IsDigestRequired())
    {
        return ERROR_SUCCESS;
    }
    CSetupLog::Instance().Write(L"  Installation Error: %s (%s) carries no SHA-256, and this setup installs only "
                                L"packages that it can check\n",
                                pPackage->szProductName ? pPackage->szProductName : L"",
                                pPackage->szInstall ? pPackage->szInstall : L"");
    ReportErrorById(hInstance, pWizard->GetOwnerWindow(), nullptr, IDS_DOWNLOAD_FAILED);
    return ERROR_INVALID_DATA;
}
