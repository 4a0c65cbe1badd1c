/* The smallest dialog program of the same toolchain: the reference for the
   setup's start-up time. It shows one empty dialog until it is closed. */
#include <windows.h>

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
    return (int)DialogBoxParamW(hInstance, MAKEINTRESOURCEW(1), NULL, DialogProc, 0);
}
