#pragma once
#include <windows.h>
#include <richedit.h>

constexpr LONG PRINT_MARGIN_TWIPS = 1080;

// The printed page and the text's rectangle on it, in twips, for a device of
// the given resolution and pixels per inch. Only whole inches of the
// printable area count.
struct PrintLayout
{
    RECT rcPage;
    RECT rcText;
};
PrintLayout ComputePrintLayout(int nHorzRes, int nVertRes, int nLogPixelsX, int nLogPixelsY);

// Prints the whole content of a rich-edit control page by page on a printer
// device context, as one document of the given name.
void PrintRichText(HWND hRichEdit, HDC hdcPrinter, LPCWSTR szDocName);
