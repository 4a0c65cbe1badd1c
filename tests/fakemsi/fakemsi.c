/* A stand-in for the Windows Installer library: only a version resource
   and a string table, so tests can present any installer version. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pvReserved)
{
    (void)hInstance;
    (void)dwReason;
    (void)pvReserved;
    return TRUE;
}
