#include "ui/licenseini.h"
#include "diag/safestr.h"
#include "platform/owners.h"
#include <new>
#include <wctype.h>

namespace
{
std::wstring TrimText(const std::wstring& strText)
{
    size_t nFirst = 0;
    size_t nEnd = strText.size();
    while (nFirst < nEnd && iswspace(strText[nFirst]))
    {
        ++nFirst;
    }
    while (nEnd > nFirst && iswspace(strText[nEnd - 1]))
    {
        --nEnd;
    }
    return strText.substr(nFirst, nEnd - nFirst);
}
}

void ParseIniLine(const std::wstring& strLine, LPCWSTR szCommentChars, std::wstring& strSection, IniSectionMap& map)
{
    std::wstring strTrimmed = TrimText(strLine);
    if (strTrimmed.empty() || wcschr(szCommentChars, strTrimmed[0]))
    {
        return;
    }
    size_t nOpen = strTrimmed.find(L'[');
    size_t nClose = strTrimmed.rfind(L']');
    if (nOpen != std::wstring::npos && nClose != std::wstring::npos && nOpen != nClose + 1)
    {
        strSection = nClose > nOpen ? strTrimmed.substr(nOpen + 1, nClose - nOpen - 1) : std::wstring();
        return;
    }
    if (strSection.empty())
    {
        return;
    }
    size_t nEquals = strTrimmed.find(L'=');
    if (nEquals == std::wstring::npos)
    {
        return;
    }
    std::wstring strKey = TrimText(strTrimmed.substr(0, nEquals));
    std::wstring strValue = TrimText(strTrimmed.substr(nEquals + 1));
    if (!strKey.empty() && !strValue.empty())
    {
        map[strSection][strKey] = strValue;
    }
}

namespace
{
// Reads the open file line by line; false for a line over the limit.
bool ParseIniFile(HANDLE hFile, IniSectionMap& map)
{
    // Lines are handed on as they end, so memory grows with the longest
    // line only, whatever the file's size.
    std::wstring strSection;
    std::wstring strLine;
    BYTE rgbBuffer[4096];
    DWORD cbRead = 0;
    while (ReadFile(hFile, rgbBuffer, sizeof(rgbBuffer), &cbRead, nullptr) && cbRead != 0)
    {
        for (DWORD i = 0; i < cbRead; ++i)
        {
            if (rgbBuffer[i] == '\n')
            {
                ParseIniLine(strLine, L"#=-~", strSection, map);
                strLine.clear();
            }
            else if (strLine.size() >= INI_MAX_LINE)
            {
                return false;
            }
            else
            {
                strLine.push_back(static_cast<wchar_t>(rgbBuffer[i]));
            }
        }
    }
    ParseIniLine(strLine, L"#=-~", strSection, map);
    return true;
}
}

bool ReadLicenseIni(LPCWSTR szPath, IniSectionMap& map)
{
    CFileHandle file(CreateFileW(szPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
    {
        return false;
    }
    bool fRead = false;
    try
    {
        fRead = ParseIniFile(file.Get(), map);
    }
    catch (const std::bad_alloc&)
    {
        // An index too big for memory is as unreadable as a broken one.
        fRead = false;
    }
    if (!fRead)
    {
        map.clear();
    }
    return fRead && !map.empty();
}

bool IsLcidListed(const std::wstring& strList, const std::wstring& strLcid)
{
    static const wchar_t c_szSeparators[] = L",; ";
    size_t nStart = strList.find_first_not_of(c_szSeparators);
    while (nStart != std::wstring::npos)
    {
        size_t nEnd = strList.find_first_of(c_szSeparators, nStart);
        std::wstring strToken = strList.substr(nStart, nEnd == std::wstring::npos ? std::wstring::npos : nEnd - nStart);
        if (IsTextEqualNoCase(strToken.c_str(), strLcid.c_str()))
        {
            return true;
        }
        nStart = nEnd == std::wstring::npos ? nEnd : strList.find_first_not_of(c_szSeparators, nEnd);
    }
    return false;
}
