/* The smallest dialog program of the same toolchain: the reference for the
   setup's start-up time. It shows one empty dialog until it is closed.
   Built with COMMON_CONTROLS it also carries the setup's manifest and
   registers every common control class first, as the setup must: the
   difference between the two is the platform's cost of those two. */
#include <windows.h>
#ifdef COMMON_CONTROLS
#include <commctrl.h>
#endif

static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
    (void)wParam;
    (void)lParam;
    if (uMessage == WM_CLOSE)
    {
        EndDialog(hWnd, 0);
        return TRUE;
    }
    return uMessage == WM_INITDIALOG;
}

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevious, LPWSTR szCommandLine, int nShow)
{
    (void)hPrevious;
    (void)szCommandLine;
    (void)nShow;
#ifdef COMMON_CONTROLS
    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0x0FFFFFFF};
    InitCommonControlsEx(&icc);
#endif
    return (int)DialogBoxParamW(hInstance, MAKEINTRESOURCEW(1), NULL, DialogProc, 0);
}
