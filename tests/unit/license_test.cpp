#include "engine/zip.h"
#include "platform/overrides.h"
#include "support/boxanswerer.h"
#include "support/testpaths.h"
#include "ui/license.h"
#include "ui/licenseini.h"
#include "ui/print.h"
#include "ui/rtfcheck.h"
#include <gtest/gtest.h>
#include <richedit.h>
#include <random>
#include <string>
#include <vector>

namespace
{
// "[section]key=value|key=value;[section]..." in the map's order.
std::wstring DescribeMap(const IniSectionMap& map)
{
    std::wstring strText;
    for (const auto& section : map)
    {
        if (!strText.empty())
        {
            strText += L";";
        }
        strText += L"[" + section.first + L"]";
        bool fFirst = true;
        for (const auto& key : section.second)
        {
            strText += (fFirst ? L"" : L"|") + key.first + L"=" + key.second;
            fFirst = false;
        }
    }
    return strText;
}

void WriteBytes(const std::wstring& strPath, const std::string& strData)
{
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile) << strPath.c_str();
    DWORD cbWritten = 0;
    WriteFile(hFile, strData.data(), static_cast<DWORD>(strData.size()), &cbWritten, nullptr);
    CloseHandle(hFile);
}

// A licence folder of the test's own, with its trailing backslash.
class CLicenseFolder
{
public:
    CLicenseFolder()
    {
        static int s_n = 0;
        m_strFolder = GetTempFolder() + L"tessal-eula-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                      std::to_wstring(++s_n) + L"\\";
        CreateDirectoryW(m_strFolder.c_str(), nullptr);
    }
    ~CLicenseFolder()
    {
        DeleteFolderTree(m_strFolder.c_str());
        RemoveDirectoryW(m_strFolder.c_str());
    }
    void Add(LPCWSTR szName, const std::string& strData) { WriteBytes(m_strFolder + szName, strData); }
    const std::wstring& Get() const { return m_strFolder; }

private:
    std::wstring m_strFolder;
};

std::string MakeRtf(const char* szHeading, int cParagraphs)
{
    std::string strRtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Tahoma;}}\\f0 ";
    strRtf += szHeading;
    strRtf += "\\par ";
    for (int i = 0; i < cParagraphs; ++i)
    {
        strRtf += "Paragraph " + std::to_string(i) + " of the test licence.\\par ";
    }
    return strRtf + "}";
}

const char c_szUsUkIndex[] = "[US]\nCountry=United States\nLCID=1033\nLicenseFile=us.rtf\n"
                             "[UK]\nCountry=United Kingdom\nLCID=2057;3081\nLicenseFile=uk.rtf\n";
}

TEST(LicenseIniTest, IndexFilesAreReadAsTheFormatSays)
{
    struct
    {
        const char* szName;
        std::string strFile;
        bool fRead;
        std::wstring strMap;
    } const rgCases[] = {
        {"two countries", c_szUsUkIndex, true,
         L"[UK]Country=United Kingdom|LCID=2057;3081|LicenseFile=uk.rtf;"
         L"[US]Country=United States|LCID=1033|LicenseFile=us.rtf"},
        {"comment characters after trimming", "#a=1\n=b\n-c=1\n~d=1\n  # e=1\n[S]\n\t~k=v\nk=v\n", true, L"[S]k=v"},
        {"key lines before any header", "k=v\nx=y\n[S]\na=b\n", true, L"[S]a=b"},
        {"an empty header switches keys off", "[S]\na=b\n[]\nc=d\n[T]\ne=f\n", true, L"[S]a=b;[T]e=f"},
        {"blanks inside the brackets stay", "[ S ]\na=b\n", true, L"[ S ]a=b"},
        {"text around the brackets", "junk [S] tail\na=b\n", true, L"[S]a=b"},
        {"first [ right after the last ] is a key line", "[S]\n][k=v\n", true, L"[S]][k=v"},
        {"] before [ names an empty section", "[S]\na=b\nx]y[z\nc=d\n", true, L"[S]a=b"},
        {"blanks around = and at the ends", "[S]\n   key   =   value with blanks   \n", true,
         L"[S]key=value with blanks"},
        {"the first = splits", "[S]\na=b=c\n", true, L"[S]a=b=c"},
        {"empty key or value or no =", "[S]\n a =\n b = \nc\n", false, L""},
        {"repeated keys and sections", "[S]\na=1\n[T]\nx=y\n[S]\na=2\nb=3\n", true, L"[S]a=2|b=3;[T]x=y"},
        {"case-sensitive ordinal order", "[b]\nk=v\n[B]\ncountry=x\nCountry=y\n[a]\nk=v\n", true,
         L"[B]Country=y|country=x;[a]k=v;[b]k=v"},
        {"CR LF line ends", "[S]\r\na=b\r\nc=d\r\n", true, L"[S]a=b|c=d"},
        {"bytes are characters", "[S]\nCountry=M\xe9xico\n", true, L"[S]Country=M\u00e9xico"},
        {"no line end at the end", "[S]\na=b", true, L"[S]a=b"},
        {"empty file", "", false, L""},
        {"header only", "[S]\n", false, L""},
    };
    CLicenseFolder folder;
    for (const auto& test : rgCases)
    {
        folder.Add(L"BltwLicense.ini", test.strFile);
        IniSectionMap map;
        EXPECT_EQ(test.fRead, ReadLicenseIni((folder.Get() + L"BltwLicense.ini").c_str(), map)) << test.szName;
        EXPECT_EQ(test.strMap, DescribeMap(map)) << test.szName;
    }
}

TEST(LicenseIniTest, LongLinesAndMissingFiles)
{
    CLicenseFolder folder;
    std::string strLong(5000, 'x');
    folder.Add(L"long.ini", "[S]\nk=" + strLong + "\n[" + strLong + "]\na=b\n");
    IniSectionMap map;
    ASSERT_TRUE(ReadLicenseIni((folder.Get() + L"long.ini").c_str(), map));
    EXPECT_EQ(std::wstring(5000, L'x'), map[L"S"][L"k"]);
    EXPECT_EQ(L"b", map[std::wstring(5000, L'x')][L"a"]);

    // A line without end past the limit makes the whole index unreadable
    // instead of growing until memory runs out; one at the limit is read.
    const std::string strAtLimit = "[S]\nk=" + std::string(INI_MAX_LINE - 2, 'y') + "\n";
    folder.Add(L"limit.ini", strAtLimit);
    folder.Add(L"endless.ini", "[S]\na=b\nk=" + std::string(INI_MAX_LINE, 'y'));
    IniSectionMap atLimit;
    EXPECT_TRUE(ReadLicenseIni((folder.Get() + L"limit.ini").c_str(), atLimit));
    IniSectionMap endless;
    EXPECT_FALSE(ReadLicenseIni((folder.Get() + L"endless.ini").c_str(), endless));
    EXPECT_TRUE(endless.empty());

    IniSectionMap none;
    EXPECT_FALSE(ReadLicenseIni((folder.Get() + L"absent.ini").c_str(), none));
    // A folder is not an index file.
    EXPECT_FALSE(ReadLicenseIni(folder.Get().c_str(), none));
    EXPECT_TRUE(none.empty());
}

TEST(LicenseIniTest, LocaleListsMatchWholeTokens)
{
    struct
    {
        const wchar_t* szList;
        const wchar_t* szLcid;
        bool fListed;
    } const rgCases[] = {
        {L"1033", L"1033", true},       {L"2057;3081", L"3081", true}, {L"1033;;2057", L"2057", true},
        {L"1033, 2057", L"2057", true}, {L" ,;1033 ;", L"1033", true}, {L"1033,,,;;; 2057", L"1033", true},
        {L"10331", L"1033", false},     {L"103", L"1033", false},       {L"", L"1033", false},
        {L";;,", L"1033", false},       {L"1033", L"", false},          {L"1033\t2057", L"2057", false},
    };
    for (const auto& test : rgCases)
    {
        EXPECT_EQ(test.fListed, IsLcidListed(test.szList, test.szLcid)) << test.szList << L" / " << test.szLcid;
    }
}

TEST(LicensePrintTest, PageIsMeasuredInWholeInchesWithAThreeQuarterInchMargin)
{
    struct
    {
        int nHorzRes, nVertRes, nDpiX, nDpiY;
        RECT rcPage;
        RECT rcText;
    } const rgCases[] = {
        {4960, 7016, 600, 600, {0, 0, 11520, 15840}, {1080, 1080, 10440, 14760}},
        {4800, 6600, 600, 600, {0, 0, 11520, 15840}, {1080, 1080, 10440, 14760}},
        {2549, 3299, 300, 300, {0, 0, 11520, 14400}, {1080, 1080, 10440, 13320}},
        {1280, 1024, 96, 96, {0, 0, 18720, 14400}, {1080, 1080, 17640, 13320}},
        {1200, 600, 600, 300, {0, 0, 2880, 2880}, {1080, 1080, 1800, 1800}},
        {599, 599, 600, 600, {0, 0, 0, 0}, {1080, 1080, -1080, -1080}},
        {100, 100, 0, 0, {0, 0, 0, 0}, {1080, 1080, -1080, -1080}},
    };
    for (const auto& test : rgCases)
    {
        PrintLayout layout = ComputePrintLayout(test.nHorzRes, test.nVertRes, test.nDpiX, test.nDpiY);
        EXPECT_TRUE(EqualRect(&test.rcPage, &layout.rcPage)) << test.nHorzRes << "x" << test.nVertRes;
        EXPECT_TRUE(EqualRect(&test.rcText, &layout.rcText)) << test.nHorzRes << "x" << test.nVertRes;
    }
}

namespace
{
// A window that answers the rich-edit messages of printing from a script and
// records every page request it gets.
struct RichEditScript
{
    LONG cchText = 0;
    LONG cpSelectionEnd = 0;
    std::vector<LONG> rgNext;
    size_t iNext = 0;
    std::vector<FORMATRANGE> rgRenders;
    std::vector<RECT> rgBands;
    std::vector<CHARRANGE> rgSelections;
    int cReleases = 0;
    bool fReleaseLast = false;
    // Pages that the control was asked to draw while being measured.
    int cDrawnByFormat = 0;
};

RichEditScript* g_pScript = nullptr;
int g_nStartDocResult = 1;

int WINAPI FakeStartDoc(HDC, const DOCINFOW*)
{
    return g_nStartDocResult;
}

int WINAPI FakeStartPage(HDC)
{
    return 1;
}

LRESULT CALLBACK StandInProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
    RichEditScript& script = *g_pScript;
    switch (uMessage)
    {
    case WM_GETTEXTLENGTH:
        return script.cchText;
    case EM_EXSETSEL:
        script.rgSelections.push_back(*reinterpret_cast<CHARRANGE*>(lParam));
        return 0;
    case EM_EXGETSEL:
        reinterpret_cast<CHARRANGE*>(lParam)->cpMin = 0;
        reinterpret_cast<CHARRANGE*>(lParam)->cpMax = script.cpSelectionEnd;
        return 0;
    case EM_FORMATRANGE:
        script.fReleaseLast = wParam == FALSE && lParam == 0;
        if (script.fReleaseLast)
        {
            ++script.cReleases;
            return 0;
        }
        script.rgRenders.push_back(*reinterpret_cast<FORMATRANGE*>(lParam));
        script.cDrawnByFormat += wParam ? 1 : 0;
        return script.iNext < script.rgNext.size() ? script.rgNext[script.iNext++] : script.rgNext.back();
    case EM_DISPLAYBAND:
        script.rgBands.push_back(*reinterpret_cast<RECT*>(lParam));
        script.fReleaseLast = false;
        return TRUE;
    default:
        return DefWindowProcW(hWnd, uMessage, wParam, lParam);
    }
}
}

TEST(LicensePrintTest, PagesFollowTheControlUntilTheTextIsPrinted)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = StandInProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TessalRichEditStandIn";
    RegisterClassW(&wc);
    HDC hdc = CreateCompatibleDC(nullptr);
    ASSERT_NE(nullptr, hdc);
    const int nDpiX = GetDeviceCaps(hdc, LOGPIXELSX);
    const int nDpiY = GetDeviceCaps(hdc, LOGPIXELSY);
    const LONG nWidth = GetDeviceCaps(hdc, HORZRES) / nDpiX * 1440;
    const LONG nHeight = GetDeviceCaps(hdc, VERTRES) / nDpiY * 1440;

    struct
    {
        const char* szName;
        LONG cchText;
        LONG cpSelectionEnd;
        std::vector<LONG> rgNext;
        std::vector<LONG> rgStarts;
    } const rgCases[] = {
        {"short licence", 120, 120, {120}, {0}},
        {"long licence", 250, 250, {100, 200, 250}, {0, 100, 200}},
        {"empty licence prints one empty page", 0, 0, {0}, {0}},
        {"the selection's end bounds the text", 300, 250, {100, 250, 300}, {0, 100}},
        {"a control that fits nothing stops", 250, 250, {0}, {0}},
        {"a control that goes back stops", 250, 250, {100, 50}, {0, 100}},
        {"no document, no page", 250, 250, {100}, {}},
    };
    g_overrides.pfnStartDocW = FakeStartDoc;
    g_overrides.pfnStartPage = FakeStartPage;
    for (const auto& test : rgCases)
    {
        // A print to file that the user cancels ends the document before it starts.
        const bool fNoDocument = test.rgStarts.empty();
        g_nStartDocResult = fNoDocument ? 0 : 1;
        RichEditScript script;
        script.cchText = test.cchText;
        script.cpSelectionEnd = test.cpSelectionEnd;
        script.rgNext = test.rgNext;
        g_pScript = &script;
        HWND hWnd = CreateWindowW(L"TessalRichEditStandIn", L"", 0, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(nullptr, hWnd);
        PrintRichText(hWnd, hdc, L"uk.rtf");
        DestroyWindow(hWnd);

        ASSERT_EQ(test.rgStarts.size(), script.rgRenders.size()) << test.szName;
        EXPECT_EQ(test.rgStarts.size(), script.rgBands.size()) << test.szName;
        for (size_t i = 0; i < script.rgRenders.size(); ++i)
        {
            const FORMATRANGE& range = script.rgRenders[i];
            EXPECT_EQ(test.rgStarts[i], range.chrg.cpMin) << test.szName << " page " << i;
            EXPECT_EQ(-1, range.chrg.cpMax) << test.szName;
            EXPECT_EQ(hdc, range.hdc) << test.szName;
            EXPECT_EQ(hdc, range.hdcTarget) << test.szName;
            RECT rcPage = {0, 0, nWidth, nHeight};
            RECT rcText = {1080, 1080, nWidth - 1080, nHeight - 1080};
            EXPECT_TRUE(EqualRect(&rcPage, &range.rcPage)) << test.szName;
            EXPECT_TRUE(EqualRect(&rcText, &range.rc)) << test.szName;
            EXPECT_TRUE(EqualRect(&rcText, &script.rgBands[i])) << test.szName;
        }
        // Each band is drawn once, by the band itself.
        EXPECT_EQ(0, script.cDrawnByFormat) << test.szName;
        if (fNoDocument)
        {
            EXPECT_EQ(0, script.cReleases) << test.szName;
            continue;
        }
        // Select all, read back, collapse; then one release after the last band.
        ASSERT_EQ(2u, script.rgSelections.size()) << test.szName;
        EXPECT_EQ(-1, script.rgSelections[0].cpMax) << test.szName;
        EXPECT_EQ(0, script.rgSelections[1].cpMin) << test.szName;
        EXPECT_EQ(0, script.rgSelections[1].cpMax) << test.szName;
        EXPECT_EQ(1, script.cReleases) << test.szName;
        EXPECT_TRUE(script.fReleaseLast) << test.szName;
    }
    g_pScript = nullptr;
    ResetPlatformOverrides();
    DeleteDC(hdc);
}

namespace
{
// The real licence page of the setup's resources, in this process, filled
// from a licence folder of the test's own with the country box sorting by
// the given locale.
class CLicensePageRun
{
public:
    CLicensePageRun(const std::wstring& strFolder, LCID lcid) : m_setup(L"TessalSetup.exe")
    {
        g_licensePageState.reset();
        m_wizard.Init(m_setup.Get());
        SafeCopyFolder(strFolder);
        m_wizard.SetPage(PageLicense);
        SendMessageW(m_wizard.m_hCountryCombo, CB_SETLOCALE, lcid, 0);
        Pump(300);
    }

    void Pump(DWORD dwMs)
    {
        ULONGLONG ullEnd = GetTickCount64() + dwMs;
        while (GetTickCount64() < ullEnd)
        {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }

    std::vector<std::wstring> GetCountries() const
    {
        std::vector<std::wstring> rgCountries;
        LRESULT cEntries = SendMessageW(m_wizard.m_hCountryCombo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < cEntries; ++i)
        {
            WCHAR szText[256] = {};
            SendMessageW(m_wizard.m_hCountryCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(szText));
            rgCountries.push_back(szText);
        }
        return rgCountries;
    }

    std::wstring GetLicenseText() const
    {
        WCHAR szText[4096] = {};
        GetWindowTextW(m_wizard.m_hLicenseText, szText, ARRAYSIZE(szText));
        return szText;
    }

    void Choose(const std::wstring& strCountry)
    {
        HWND hCombo = m_wizard.m_hCountryCombo;
        LRESULT nIndex = SendMessageW(hCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(strCountry.c_str()));
        SendMessageW(hCombo, CB_SETCURSEL, nIndex, 0);
        SendMessageW(m_wizard.m_hWnd.load(), WM_COMMAND, MAKEWPARAM(1093, CBN_SELENDOK),
                     reinterpret_cast<LPARAM>(hCombo));
    }

    CSetupWizard& Wizard() { return m_wizard; }

private:
    void SafeCopyFolder(const std::wstring& strFolder)
    {
        if (m_wizard.m_szEulaFolder)
        {
            lstrcpynW(m_wizard.m_szEulaFolder, strFolder.c_str(), MAX_PATH);
        }
    }

    CDataModule m_setup;
    CSetupWizard m_wizard;
};
}

TEST(LicensePageTest, TheUsersCountryIsPreselectedAndItsLicenceShown)
{
    CLicenseFolder folder;
    folder.Add(L"BltwLicense.ini", std::string(c_szUsUkIndex) +
                                       "[ZZ]\nCountry=Other Countries\nLCID=0\nLicenseFile=other.rtf\n"
                                       "[NZ]\nCountry=New Zealand\nLCID=5129\n");
    folder.Add(L"us.rtf", MakeRtf("US TERMS", 3));
    folder.Add(L"uk.rtf", MakeRtf("UK TERMS", 200));
    folder.Add(L"other.rtf", MakeRtf("OTHER TERMS", 3));
    struct
    {
        LCID lcid;
        const wchar_t* szSelected;
        const wchar_t* szHeading;
    } const rgCases[] = {
        {3081, L"United Kingdom", L"UK TERMS"},
        {2057, L"United Kingdom", L"UK TERMS"},
        {1033, L"United States", L"US TERMS"},
        {1031, L"", L""},
        {5129, L"", L""},
    };
    for (const auto& test : rgCases)
    {
        CBoxAnswerer answerer;
        CLicensePageRun page(folder.Get(), test.lcid);
        // Sections are visited NZ, UK, US, ZZ: "Other Countries" goes behind
        // the three before it, in the box's sorted order.
        std::vector<std::wstring> rgExpected = {L"New Zealand", L"United Kingdom", L"United States", L"Other Countries"};
        EXPECT_EQ(rgExpected, page.GetCountries()) << test.lcid;
        EXPECT_EQ(std::to_wstring(test.lcid), page.Wizard().m_strUserLcid);
        EXPECT_EQ(std::wstring(test.szSelected), GetSelectedCountry(page.Wizard().m_hCountryCombo)) << test.lcid;
        std::wstring strText = page.GetLicenseText();
        if (test.szHeading[0])
        {
            EXPECT_EQ(0u, strText.find(test.szHeading)) << test.lcid;
        }
        else
        {
            EXPECT_EQ(L"", strText) << test.lcid;
        }
        // Shown from its first line; Accept and Print are usable at once.
        EXPECT_EQ(0, SendMessageW(page.Wizard().m_hLicenseText, EM_GETFIRSTVISIBLELINE, 0, 0));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page.Wizard().m_hWnd.load(), 108)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page.Wizard().m_hWnd.load(), 1011)));
        EXPECT_TRUE(answerer.GetBoxes().empty()) << test.lcid;
        EXPECT_EQ(3u, page.Wizard().m_mapLicenseFiles.size());
    }
}

TEST(LicensePageTest, ChoosingACountryReplacesTheTextOrSaysItHasNone)
{
    CLicenseFolder folder;
    folder.Add(L"BltwLicense.ini", std::string(c_szUsUkIndex) + "[NZ]\nCountry=New Zealand\nLCID=5129\n"
                                                                 "[DE]\nCountry=Germany\nLCID=1031\nLicenseFile=de.rtf\n");
    folder.Add(L"us.rtf", MakeRtf("US TERMS", 3));
    folder.Add(L"uk.rtf", MakeRtf("UK TERMS", 200));
    CBoxAnswerer answerer;
    CLicensePageRun page(folder.Get(), 1033);
    ASSERT_EQ(0u, page.GetLicenseText().find(L"US TERMS"));

    page.Choose(L"United Kingdom");
    EXPECT_EQ(0u, page.GetLicenseText().find(L"UK TERMS"));
    EXPECT_EQ(0, SendMessageW(page.Wizard().m_hLicenseText, EM_GETFIRSTVISIBLELINE, 0, 0));
    ASSERT_TRUE(g_licensePageState.has_value());
    EXPECT_EQ(2, g_licensePageState->nSelection);
    EXPECT_EQ(L"United Kingdom", g_licensePageState->strCountry);
    CHARFORMATW format = {};
    format.cbSize = sizeof(format);
    SendMessageW(page.Wizard().m_hLicenseText, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(0u, format.crTextColor);

    // No licence file, and a licence file that is missing: the box, and the
    // control keeps the text it had.
    for (const wchar_t* szCountry : {L"New Zealand", L"Germany"})
    {
        size_t cBefore = answerer.GetBoxes().size();
        page.Choose(szCountry);
        ASSERT_TRUE(answerer.WaitForBoxes(cBefore + 1, 10000)) << szCountry;
        SeenBox box = answerer.GetBoxes().back();
        EXPECT_EQ(L"Error openning RTF file.", box.strText);
        EXPECT_EQ(L"", box.strCaption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), box.uIcon);
        EXPECT_EQ(page.Wizard().m_hWnd.load(), box.hWndOwner);
        EXPECT_EQ(0u, page.GetLicenseText().find(L"UK TERMS")) << szCountry;
    }
    // Choosing a country without a file listed it in the map with no name.
    EXPECT_EQ(L"", page.Wizard().m_mapLicenseFiles[L"New Zealand"]);
}

TEST(LicensePageTest, NoLicenceFolderLeavesAnEmptyBoxAndAcceptEnabled)
{
    for (const wchar_t* szFolder : {L"", L"C:\\tessal-no-such-folder\\"})
    {
        CBoxAnswerer answerer;
        CLicensePageRun page(szFolder, 1033);
        EXPECT_TRUE(page.GetCountries().empty()) << szFolder;
        EXPECT_EQ(L"", page.GetLicenseText()) << szFolder;
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page.Wizard().m_hWnd.load(), 108)));
        EXPECT_TRUE(answerer.GetBoxes().empty()) << szFolder;
    }
}

TEST(LicensePageTest, HostileLicenceFilesNeverBreakThePage)
{
    CLicenseFolder folder;
    folder.Add(L"BltwLicense.ini", c_szUsUkIndex);
    folder.Add(L"us.rtf", MakeRtf("US TERMS", 3));
    folder.Add(L"uk.rtf", MakeRtf("UK TERMS", 3));
    CLicensePageRun run(folder.Get(), 1033);
    const std::string strBase = MakeRtf("FUZZ TERMS", 20);
    static const std::string s_strLongWord(3000, 'x');
    // Pieces a hostile or damaged licence may carry.
    const char* const rgszPieces[] = {
        "{", "}", "\\", "{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{", "\\bin2147483647 ", "\\bin-1 ", "\\fs2147483647 ",
        "\\u-32768?", "\\u65535 ", "\\'ff\\'00", "\\*\\shppict{\\pict\\wmetafile8 0102", "{\\object\\objemb ",
        "\\field{\\*\\fldinst HYPERLINK \"file:///C:/\"}", "\\f999999 ", "\\cf-5 ", "{\\colortbl;\\red999\\green-1;}",
        "\\par\\par\\par", "\\tx99999999 ", "\\ansicpg99999 ", "\\uc-1 ", s_strLongWord.c_str(), "\0\0\0",
    };
    std::mt19937 random(5);
    int cRounds = IsStressRun() ? 3000 : 300;
    CBoxAnswerer answerer;
    for (int nRound = 0; nRound < cRounds; ++nRound)
    {
        std::string strRtf = strBase;
        int cEdits = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < cEdits; ++i)
        {
            size_t iAt = random() % (strRtf.size() + 1);
            switch (random() % 4)
            {
            case 0:
                strRtf.insert(iAt, rgszPieces[random() % ARRAYSIZE(rgszPieces)]);
                break;
            case 1:
                strRtf.resize(iAt);
                break;
            case 2:
                if (iAt < strRtf.size())
                {
                    strRtf[iAt] = static_cast<char>(random());
                }
                break;
            default:
                strRtf.insert(iAt, std::string(1 + random() % 64, static_cast<char>(random())));
                break;
            }
        }
        folder.Add(L"us.rtf", strRtf);
        run.Wizard().LoadLicenseText(L"us.rtf");
        ASSERT_TRUE(IsWindow(run.Wizard().m_hLicenseText)) << "round " << nRound;
        LRESULT cchText = SendMessageW(run.Wizard().m_hLicenseText, WM_GETTEXTLENGTH, 0, 0);
        ASSERT_LE(cchText, 0x400000) << "round " << nRound;
    }
    // The file was always there: the only box is the one for a licence
    // beyond the limits a reader survives, and the page still works.
    for (const SeenBox& box : answerer.GetBoxes())
    {
        EXPECT_EQ(L"Error openning RTF file.", box.strText);
    }
    folder.Add(L"us.rtf", MakeRtf("US TERMS", 3));
    run.Wizard().LoadLicenseText(L"us.rtf");
    EXPECT_EQ(0u, run.GetLicenseText().find(L"US TERMS"));
}

TEST(LicensePageTest, ALicenceTooDeepOrBeingWrittenIsNotShownAndTheShownOneStays)
{
    CLicenseFolder folder;
    folder.Add(L"BltwLicense.ini", c_szUsUkIndex);
    folder.Add(L"us.rtf", MakeRtf("US TERMS", 3));
    folder.Add(L"uk.rtf", MakeRtf("UK TERMS", 3));
    auto makeNested = [](int cLevels, const char* szText) {
        // The document's own group is the first level.
        return "{\\rtf1\\ansi " + std::string(static_cast<size_t>(cLevels - 1), '{') + szText +
               std::string(static_cast<size_t>(cLevels - 1), '}') + "}";
    };
    folder.Add(L"deepest.rtf", makeNested(c_nMaxRtfGroupDepth, "DEEPEST TERMS"));
    folder.Add(L"deeper.rtf", makeNested(c_nMaxRtfGroupDepth + 1, "DEEPER TERMS"));
    folder.Add(L"far.rtf", makeNested(200, "FAR TERMS"));
    CLicensePageRun run(folder.Get(), 1033);
    CBoxAnswerer answerer;
    run.Wizard().LoadLicenseText(L"deepest.rtf");
    EXPECT_EQ(0u, run.GetLicenseText().find(L"DEEPEST TERMS")) << run.GetLicenseText().c_str();
    EXPECT_TRUE(answerer.GetBoxes().empty());
    // A licence that another program holds open for writing could change
    // between the check and the reading: it is not read either.
    std::wstring strWritten = folder.Get() + L"uk.rtf";
    HANDLE hWriter = CreateFileW(strWritten.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hWriter);
    for (const wchar_t* szFile : {L"deeper.rtf", L"far.rtf", L"uk.rtf"})
    {
        run.Wizard().LoadLicenseText(szFile);
        EXPECT_EQ(0u, run.GetLicenseText().find(L"DEEPEST TERMS")) << szFile;
    }
    CloseHandle(hWriter);
    std::vector<SeenBox> boxes = answerer.GetBoxes();
    ASSERT_EQ(3u, boxes.size());
    for (const SeenBox& box : boxes)
    {
        EXPECT_EQ(L"Error openning RTF file.", box.strText);
        EXPECT_EQ(L"", box.strCaption);
    }
}
