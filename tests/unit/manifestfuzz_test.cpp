#include "checks/syschecks.h"
#include "diag/heapstr.h"
#include "engine/download.h"
#include "engine/install.h"
#include "engine/payload.h"
#include "manifest/manifest.h"
#include "manifest/packagelist.h"
#include "support/boxanswerer.h"
#include "support/msioverride.h"
#include "support/testpaths.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <string>

namespace
{
// Nothing listens there: the previous-version rule's online check fails at once.
const wchar_t c_szDeadBaseUrl[] = L"http://127.0.0.1:9/esd/en/tessal/installfiles";

bool IsListResult(DWORD dwResult)
{
    return dwResult == ERROR_SUCCESS || dwResult == ERROR_OUTOFMEMORY || dwResult == ERROR_INVALID_PARAMETER;
}

bool IsManifestReadResult(DWORD dwResult)
{
    return dwResult == ERROR_SUCCESS || dwResult == ERROR_OUTOFMEMORY || dwResult == ERROR_RESOURCE_NAME_NOT_FOUND;
}

// Every node the list keeps is whole enough for the steps that use it.
void ExpectUsableNode(const CPackageInfo* p, const std::wstring& strCase)
{
    ASSERT_NE(nullptr, p->szKey) << strCase.c_str();
    EXPECT_TRUE(p->nAction == ActionInstall || p->nAction == ActionRemove) << strCase.c_str() << " " << p->szKey;
    EXPECT_TRUE(p->nStatus.load() == StatusPending || p->nStatus.load() == StatusPreviouslyInstalled ||
                p->nStatus.load() == StatusDownloaded)
        << strCase.c_str() << " " << p->szKey;
    if (p->szSha256)
    {
        // A digest that is not 64 hex digits matches no file: such a
        // package is never run unverified.
        bool fWellFormed = wcslen(p->szSha256) == 64 && wcsspn(p->szSha256, L"0123456789abcdefABCDEF") == 64;
        EXPECT_EQ(fWellFormed, IsSameDigest(p->szSha256, p->szSha256)) << strCase.c_str() << " " << p->szKey;
    }
    // The steps compose the package's address and pick its installer; a
    // hostile value ends in a refusal, never past a buffer.
    WCHAR szUrl[2084] = {};
    if (p->szBaseUrl && p->szInstall && ComposePackageUrl(p->szBaseUrl, p->szInstall, szUrl, ARRAYSIZE(szUrl)))
    {
        EXPECT_EQ(0u, std::wstring(szUrl).find(p->szBaseUrl)) << strCase.c_str();
    }
    PackageFileType nType = GetPackageFileType(p->szInstall);
    EXPECT_TRUE(nType >= FileTypeUnknown && nType <= FileTypeZip) << strCase.c_str();
}
}

TEST(ManifestFuzzTest, StampedHostileManifestsBuildAListOrFailWithADocumentedCode)
{
    int cManifests = 0;
    int cFailed = 0;
    int cNodes = 0;
    int cBoxes = 0;
    CFakeSystemFolder folder(L"fakemsi-4.5.dll");
    for (int i = 0;; ++i)
    {
        WCHAR szName[64] = {};
        swprintf(szName, ARRAYSIZE(szName), L"fuzzed\\manifest-fuzz-%03d.dll", i);
        if (GetFileAttributesW(GetBinPath(szName).c_str()) == INVALID_FILE_ATTRIBUTES)
        {
            break;
        }
        std::wstring strCase = szName;
        CDataModule module(szName);
        ASSERT_NE(nullptr, module.Get()) << strCase.c_str();
        ++cManifests;
        for (LPCWSTR szGlobal : {L"PRODUCTNAME", L"MINIMUM_MSI", L"BASEURL", L"TESSALDB"})
        {
            LPWSTR szValue = nullptr;
            EXPECT_TRUE(IsManifestReadResult(LoadManifestString(module.Get(), szGlobal, &szValue)))
                << strCase.c_str() << " " << szGlobal;
            FreeString(szValue);
        }
        CBoxAnswerer answerer;
        CPackageInfo* pHead = nullptr;
        DWORD dwResult = BuildPackageList(module.Get(), c_szDeadBaseUrl, &pHead);
        EXPECT_TRUE(IsListResult(dwResult)) << strCase.c_str() << ": " << dwResult;
        cFailed += dwResult == ERROR_SUCCESS ? 0 : 1;
        for (const CPackageInfo* p = pHead; p; p = p->pNext)
        {
            ExpectUsableNode(p, strCase);
            ++cNodes;
        }
        // The disk check sums every size, whatever the manifest claims.
        HasEnoughDiskSpace(pHead);
        while (pHead)
        {
            CPackageInfo* pNext = pHead->pNext;
            DestroyPackage(pHead);
            pHead = pNext;
        }
        answerer.WaitForBoxes(1, 0);
        cBoxes += static_cast<int>(answerer.GetBoxes().size());
    }
    EXPECT_GE(cManifests, 50) << "the stamped manifests are missing";
    std::printf("%d stamped manifests: %d lists refused, %d packages kept, %d boxes\n", cManifests, cFailed, cNodes,
                cBoxes);
}
