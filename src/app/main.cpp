#include "app/runsetup.h"
#include "platform/syslib.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR lpCmdLine, int)
{
    RestrictDllSearch();
    return RunSetup(hInstance, lpCmdLine);
}
