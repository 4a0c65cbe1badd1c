#include "support/testpaths.h"
#include <gtest/gtest.h>
#include <richedit.h>
#include <string>

namespace
{
#pragma pack(push, 1)
struct DialogHeader
{
    WORD wVersion;
    WORD wSignature;
    DWORD dwHelpId;
    DWORD dwExStyle;
    DWORD dwStyle;
    WORD cItems;
    short x, y, cx, cy;
};
#pragma pack(pop)

const DialogHeader* FindDialog(HINSTANCE hInstance, int nId)
{
    HRSRC hResource = FindResourceW(hInstance, MAKEINTRESOURCEW(nId), RT_DIALOG);
    HGLOBAL hData = hResource ? LoadResource(hInstance, hResource) : nullptr;
    return hData ? static_cast<const DialogHeader*>(LockResource(hData)) : nullptr;
}

INT_PTR CALLBACK InertProc(HWND, UINT uMessage, WPARAM, LPARAM)
{
    return uMessage == WM_INITDIALOG;
}

std::wstring ClassOf(HWND hWnd)
{
    WCHAR szClass[64] = {};
    GetClassNameW(hWnd, szClass, 64);
    return szClass;
}
}

TEST(DialogResourceTest, EveryWizardWindowHasTheSameFrame)
{
    CDataModule setup(L"TessalSetup.exe");
    struct
    {
        int nId;
        WORD cItems;
    } const rgDialogs[] = {{109, 1}, {1102, 7}, {1103, 8}, {1104, 6}};
    for (const auto& dialog : rgDialogs)
    {
        const DialogHeader* pHeader = FindDialog(setup.Get(), dialog.nId);
        ASSERT_NE(nullptr, pHeader) << dialog.nId;
        EXPECT_EQ(0xFFFF, pHeader->wSignature) << dialog.nId;
        EXPECT_EQ(0x8008004Cu, pHeader->dwStyle) << dialog.nId;
        EXPECT_EQ(0u, pHeader->dwExStyle) << dialog.nId;
        EXPECT_EQ(dialog.cItems, pHeader->cItems) << dialog.nId;
        EXPECT_EQ(321, pHeader->cx) << dialog.nId;
        EXPECT_EQ(216, pHeader->cy) << dialog.nId;
    }
}

TEST(DialogResourceTest, ControlsHaveTheirClassesTextsAndPlaces)
{
    CDataModule setup(L"TessalSetup.exe");
    HMODULE hRichEdit = LoadLibraryW(L"RICHED20.DLL");
    struct
    {
        int nDialog;
        int nControl;
        const wchar_t* szClass;
        const wchar_t* szText;
        RECT rcUnits;
        DWORD dwStyleBits;
        bool fVisible;
    } const rgControls[] = {
        {109, 1003, L"Static", L"", {0, 0, 321, 216}, SS_BITMAP | SS_REALSIZEIMAGE, true},
        {1102, 1092, L"Static", L"&Country or Region", {131, 50, 70, 10}, SS_RIGHT | WS_GROUP, true},
        {1102, 1093, L"ComboBox", L"", {203, 48, 106, 112}, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, true},
        {1102, 107, L"Button", L"&Decline", {261, 187, 50, 15}, WS_TABSTOP, true},
        {1102, 108, L"Button", L"&Accept", {207, 187, 50, 15}, BS_DEFPUSHBUTTON | WS_TABSTOP, true},
        {1102, 1011, L"Button", L"&Print", {9, 187, 51, 15}, WS_GROUP | WS_TABSTOP, true},
        {1102, 1020, L"RichEdit20W", L"", {10, 65, 300, 112},
         ES_MULTILINE | ES_NOHIDESEL | ES_READONLY | WS_BORDER | WS_VSCROLL | WS_TABSTOP, true},
        {1103, 107, L"Button", L"&Cancel", {261, 187, 50, 15}, BS_DEFPUSHBUTTON | WS_TABSTOP, true},
        {1103, 108, L"Button", L"Left", {207, 187, 50, 15}, WS_TABSTOP, true},
        {1103, 1005, L"Static", L"", {14, 53, 290, 14}, SS_CENTER | WS_GROUP, true},
        {1103, 1008, L"Static", L"", {46, 69, 225, 12}, SS_CENTER | WS_GROUP, true},
        {1103, 104, L"msctls_progress32", L"", {56, 87, 203, 11}, WS_BORDER, true},
        {1103, 1004, L"Static", L"", {13, 108, 292, 51}, SS_CENTER | WS_GROUP, true},
        {1103, 105, L"Static", L"", {9, 169, 300, 12}, SS_CENTER | WS_GROUP, true},
        {1104, 107, L"Button", L"Right", {261, 187, 50, 15}, WS_TABSTOP, true},
        {1104, 108, L"Button", L"Left", {207, 187, 50, 15}, BS_DEFPUSHBUTTON | WS_TABSTOP, false},
        {1104, 1004, L"Static", L"", {13, 108, 292, 51}, SS_CENTER | WS_GROUP, true},
    };
    for (const auto& c : rgControls)
    {
        HWND hDialog = CreateDialogParamW(setup.Get(), MAKEINTRESOURCEW(c.nDialog), nullptr, InertProc, 0);
        ASSERT_NE(nullptr, hDialog) << c.nDialog;
        HWND hControl = GetDlgItem(hDialog, c.nControl);
        ASSERT_NE(nullptr, hControl) << c.nDialog << "/" << c.nControl;
        EXPECT_EQ(0, _wcsicmp(c.szClass, ClassOf(hControl).c_str())) << c.nDialog << "/" << c.nControl;
        WCHAR szText[64] = {};
        GetWindowTextW(hControl, szText, 64);
        EXPECT_STREQ(c.szText, szText) << c.nDialog << "/" << c.nControl;
        DWORD dwStyle = static_cast<DWORD>(GetWindowLongW(hControl, GWL_STYLE));
        // Controls trade a border and scroll bar for their own edge and bars
        // when they are made, so those two bits are not compared here.
        DWORD dwCheck = c.dwStyleBits & ~static_cast<DWORD>(WS_BORDER | WS_VSCROLL);
        EXPECT_EQ(dwCheck, dwStyle & dwCheck) << c.nDialog << "/" << c.nControl;
        EXPECT_EQ(c.fVisible, (dwStyle & WS_VISIBLE) != 0) << c.nDialog << "/" << c.nControl;
        RECT rcExpected = {c.rcUnits.left, c.rcUnits.top, c.rcUnits.left + c.rcUnits.right,
                           c.rcUnits.top + c.rcUnits.bottom};
        MapDialogRect(hDialog, &rcExpected);
        RECT rcActual = {};
        GetWindowRect(hControl, &rcActual);
        MapWindowPoints(nullptr, hDialog, reinterpret_cast<POINT*>(&rcActual), 2);
        EXPECT_EQ(rcExpected.left, rcActual.left) << c.nDialog << "/" << c.nControl;
        EXPECT_EQ(rcExpected.top, rcActual.top) << c.nDialog << "/" << c.nControl;
        DestroyWindow(hDialog);
    }
    FreeLibrary(hRichEdit);
}

TEST(DialogResourceTest, PicturesAreJpegsOfTheirOwnType)
{
    CDataModule setup(L"TessalSetup.exe");
    for (int nId : {111, 112})
    {
        HRSRC hResource = FindResourceExW(setup.Get(), L"RT_JPGDATA", MAKEINTRESOURCEW(nId), 1033);
        ASSERT_NE(nullptr, hResource) << nId;
        const unsigned char* pData =
            static_cast<const unsigned char*>(LockResource(LoadResource(setup.Get(), hResource)));
        ASSERT_NE(nullptr, pData);
        EXPECT_EQ(0xFF, pData[0]);
        EXPECT_EQ(0xD8, pData[1]);
    }
}
