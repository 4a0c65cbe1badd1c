#include "manifest/detect.h"
#include "platform/msiservice.h"

bool IsPackageInstalled(const CPackageInfo* pPackage)
{
    if (!pPackage->szProductCode || pPackage->szProductCode[0] == L'\0')
    {
        return false;
    }
    return IsProductInstalled(pPackage->szProductCode);
}
