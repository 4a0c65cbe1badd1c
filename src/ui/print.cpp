#include "ui/print.h"
#include "platform/syslib.h"
#include "ui/license.h"
#include "platform/overrides.h"
#include <commdlg.h>

namespace
{
constexpr LONG c_nTwipsPerInch = 1440;

LONG ConvertWholeInchesToTwips(int nPixels, int nPixelsPerInch)
{
    return nPixelsPerInch > 0 && nPixels > 0 ? (nPixels / nPixelsPerInch) * c_nTwipsPerInch : 0;
}
}

PrintLayout ComputePrintLayout(int nHorzRes, int nVertRes, int nLogPixelsX, int nLogPixelsY)
{
    PrintLayout layout = {};
    LONG nWidth = ConvertWholeInchesToTwips(nHorzRes, nLogPixelsX);
    LONG nHeight = ConvertWholeInchesToTwips(nVertRes, nLogPixelsY);
    layout.rcPage = {0, 0, nWidth, nHeight};
    layout.rcText = {PRINT_MARGIN_TWIPS, PRINT_MARGIN_TWIPS, nWidth - PRINT_MARGIN_TWIPS, nHeight - PRINT_MARGIN_TWIPS};
    return layout;
}

void PrintRichText(HWND hRichEdit, HDC hdcPrinter, LPCWSTR szDocName)
{
    PrintLayout layout = ComputePrintLayout(GetDeviceCaps(hdcPrinter, HORZRES), GetDeviceCaps(hdcPrinter, VERTRES),
                                            GetDeviceCaps(hdcPrinter, LOGPIXELSX), GetDeviceCaps(hdcPrinter, LOGPIXELSY));
    SetMapMode(hdcPrinter, MM_TEXT);
    FORMATRANGE range = {};
    range.hdc = hdcPrinter;
    range.hdcTarget = hdcPrinter;
    range.rcPage = layout.rcPage;
    range.rc = layout.rcText;
    range.chrg.cpMin = 0;
    range.chrg.cpMax = -1;

    DOCINFOW doc = {};
    doc.cbSize = sizeof(doc);
    doc.lpszDocName = szDocName;
    // No document (the user cancelled "print to file", the spooler is
    // gone): nothing to print on.
    if (g_overrides.pfnStartDocW(hdcPrinter, &doc) <= 0)
    {
        return;
    }

    LONG cchText = static_cast<LONG>(SendMessageW(hRichEdit, WM_GETTEXTLENGTH, 0, 0));
    CHARRANGE all = {0, -1};
    SendMessageW(hRichEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    SendMessageW(hRichEdit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&all));
    CHARRANGE none = {0, 0};
    SendMessageW(hRichEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
    if (all.cpMax < cchText)
    {
        cchText = all.cpMax;
    }
    for (;;)
    {
        if (g_overrides.pfnStartPage(hdcPrinter) <= 0)
        {
            break;
        }
        // Measured here, drawn once by the band.
        LONG cpNext = static_cast<LONG>(SendMessageW(hRichEdit, EM_FORMATRANGE, FALSE, reinterpret_cast<LPARAM>(&range)));
        SendMessageW(hRichEdit, EM_DISPLAYBAND, 0, reinterpret_cast<LPARAM>(&range.rc));
        EndPage(hdcPrinter);
        // A control that fits nothing more on a page would otherwise print
        // the same page for ever.
        if (cpNext >= cchText || cpNext <= range.chrg.cpMin)
        {
            break;
        }
        range.chrg.cpMin = cpNext;
        range.chrg.cpMax = -1;
    }
    SendMessageW(hRichEdit, EM_FORMATRANGE, FALSE, 0);
    EndDoc(hdcPrinter);
}

namespace
{
using PFN_PRINT_DLG_W = BOOL(WINAPI*)(LPPRINTDLGW);
CHECK_EXPORT_TYPE(PFN_PRINT_DLG_W, PrintDlgW);
}

void CSetupWizard::PrintLicense()
{
    std::wstring strDocName = m_mapLicenseFiles[GetSelectedCountry(m_hCountryCombo)];
    PRINTDLGW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = GetActiveWindow();
    dialog.Flags = PD_ALLPAGES | PD_USEDEVMODECOPIES | PD_NOPAGENUMS | PD_NOSELECTION | PD_RETURNDC;
    // Loaded when the user prints: the library brings the print spooler,
    // whose start costs every other run.
    static CSystemFunction<PFN_PRINT_DLG_W> s_printDlg(L"comdlg32.dll", "PrintDlgW");
    PFN_PRINT_DLG_W pfnPrintDlg = s_printDlg.Get();
    if (!pfnPrintDlg || !pfnPrintDlg(&dialog))
    {
        return;
    }
    if (dialog.hDC)
    {
        PrintRichText(m_hLicenseText, dialog.hDC, strDocName.c_str());
        DeleteDC(dialog.hDC);
    }
    // The dialog hands its settings over; they are not kept between prints.
    if (dialog.hDevMode)
    {
        GlobalFree(dialog.hDevMode);
    }
    if (dialog.hDevNames)
    {
        GlobalFree(dialog.hDevNames);
    }
}
