#include "app/runsetup.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR lpCmdLine, int)
{
    return RunSetup(hInstance, lpCmdLine);
}
