#include "manifest/package.h"
#include "diag/heapstr.h"
#include <new>

void ResetPackage(CPackageInfo* pPackage)
{
    FreeString(pPackage->szKey);
    FreeString(pPackage->szProductName);
    FreeString(pPackage->szBaseUrl);
    FreeString(pPackage->szInstall);
    FreeString(pPackage->szParameters);
    FreeString(pPackage->szProperties);
    FreeString(pPackage->szInstallZip);
    FreeString(pPackage->szProductCode);
    FreeString(pPackage->szSha256);
    LPWSTR szLocalFile = pPackage->szLocalFile.exchange(nullptr);
    FreeString(szLocalFile);
    pPackage->nAction = ActionInstall;
    pPackage->nPlatform = PlatformAny;
    pPackage->nStatus.store(StatusPending);
    pPackage->fRebootRequired.store(false);
    pPackage->dwError.store(0);
    pPackage->dwDiskSpace = 0;
    pPackage->fNotify = false;
    pPackage->pNext = nullptr;
}

CPackageInfo* CreatePackage()
{
    return new (std::nothrow) CPackageInfo;
}

void DestroyPackage(CPackageInfo*& pPackage)
{
    if (pPackage)
    {
        ResetPackage(pPackage);
        delete pPackage;
        pPackage = nullptr;
    }
}
