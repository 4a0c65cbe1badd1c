#include "platform/registry.h"
#include "platform/overrides.h"

HKEY OpenMachineKey(LPCWSTR szPath, REGSAM samView)
{
    HKEY hKey = nullptr;
    return g_overrides.pfnRegOpenKeyExW(HKEY_LOCAL_MACHINE, szPath, 0, KEY_READ | samView, &hKey) == ERROR_SUCCESS
               ? hKey
               : nullptr;
}

HKEY OpenMachineKeyEitherView(LPCWSTR szPath)
{
    HKEY hKey = OpenMachineKey(szPath, 0);
    return hKey ? hKey : OpenMachineKey(szPath, KEY_WOW64_64KEY);
}
