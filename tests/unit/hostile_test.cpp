// Random and adversarial inputs for every reader of outside data: each case
// must end with one of the documented results, never crash, hang or write
// outside its folder. Fixed seeds, so a failure repeats.
#include "app/cmdline.h"
#include "engine/zip.h"
#include "manifest/detect.h"
#include "support/testpaths.h"
#include "ui/installerui.h"
#include "ui/licenseini.h"
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace
{
std::string ReadAll(const std::wstring& strPath)
{
    std::string strData;
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
    {
        strData.resize(GetFileSize(hFile, nullptr));
        DWORD cbRead = 0;
        ReadFile(hFile, &strData[0], static_cast<DWORD>(strData.size()), &cbRead, nullptr);
        strData.resize(cbRead);
        CloseHandle(hFile);
    }
    return strData;
}

void WriteAll(const std::wstring& strPath, const std::string& strData)
{
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD cbWritten = 0;
    WriteFile(hFile, strData.data(), static_cast<DWORD>(strData.size()), &cbWritten, nullptr);
    CloseHandle(hFile);
}

// Names of everything under a folder, recursively.
void ListTree(const std::wstring& strFolder, std::vector<std::wstring>& rgNames)
{
    ForEachEntry(strFolder, [&strFolder, &rgNames](const std::wstring& strName, bool fDirectory) {
        rgNames.push_back(strFolder + L"\\" + strName);
        if (fDirectory)
        {
            ListTree(strFolder + L"\\" + strName, rgNames);
        }
    });
}

// 0, 14, 1603, -1 for a failed write, or a code of the unzip interface
// (zlib's own codes and UNZ_END_OF_LIST_OF_FILE to UNZ_CRCERROR).
bool IsDocumentedExtractionResult(DWORD dwResult)
{
    int nResult = static_cast<int>(dwResult);
    return dwResult == ERROR_SUCCESS || dwResult == ERROR_OUTOFMEMORY || dwResult == ERROR_INSTALL_FAILURE ||
           (nResult < 0 && nResult >= UNZ_CRCERROR);
}

std::string MutateBytes(std::string strData, std::mt19937& rng)
{
    std::uniform_int_distribution<int> kind(0, 3);
    switch (kind(rng))
    {
    case 0:
    {
        // A few random bytes anywhere.
        int cFlips = std::uniform_int_distribution<int>(1, 8)(rng);
        for (int i = 0; i < cFlips && !strData.empty(); ++i)
        {
            strData[std::uniform_int_distribution<size_t>(0, strData.size() - 1)(rng)] = static_cast<char>(rng());
        }
        break;
    }
    case 1:
        // Cut anywhere, the central directory included.
        strData.resize(std::uniform_int_distribution<size_t>(0, strData.size())(rng));
        break;
    case 2:
    {
        // A huge declared size or offset in the last 64 bytes (the end record
        // and the central directory's tail).
        size_t nAt = strData.size() > 64 ? strData.size() - std::uniform_int_distribution<size_t>(4, 64)(rng) : 0;
        for (size_t i = nAt; i < nAt + 4 && i < strData.size(); ++i)
        {
            strData[i] = static_cast<char>(0xFF);
        }
        break;
    }
    default:
        // Bytes of a local header's size fields, near the start.
        for (size_t i = 18; i < 26 && i < strData.size(); ++i)
        {
            strData[i] = static_cast<char>(rng());
        }
        break;
    }
    return strData;
}
}

TEST(HostileInputTest, MutatedArchivesNeverEscapeOrCrash)
{
    const wchar_t* const rgszArchives[] = {L"stored.zip", L"deflated.zip", L"folders.zip", L"infozip.zip",
                                           L"streamed.zip", L"onelevel.zip"};
    std::wstring strBase = GetTempFolder() + L"tessal-hostile-" + std::to_wstring(GetCurrentProcessId());
    std::wstring strFolder = strBase + L"\\out\\";
    std::wstring strArchive = strBase + L"\\case.zip";
    CreateDirectoryW(strBase.c_str(), nullptr);
    std::mt19937 rng(20261209);
    int cCases = 0;
    int cExtracted = 0;
    const int cRounds = IsStressRun() ? 2000 : 200;
    for (int nRound = 0; nRound < cRounds; ++nRound)
    {
        for (const wchar_t* szArchive : rgszArchives)
        {
            std::string strValid = ReadAll(GetBinPath(L"zips\\") + szArchive);
            ASSERT_FALSE(strValid.empty()) << szArchive;
            WriteAll(strArchive, MutateBytes(strValid, rng));
            CreateDirectoryW(strFolder.c_str(), nullptr);
            DWORD dwResult = ExtractZipArchive(strArchive.c_str(), strFolder.c_str());
            ++cCases;
            cExtracted += dwResult == ERROR_SUCCESS;
            ASSERT_TRUE(IsDocumentedExtractionResult(dwResult))
                << szArchive << " round " << nRound << ": " << static_cast<int>(dwResult);
            // Nothing but the archive and the extraction folder's own tree.
            std::vector<std::wstring> rgNames;
            ListTree(strBase, rgNames);
            for (const std::wstring& strName : rgNames)
            {
                ASSERT_TRUE(strName == strArchive || strName + L"\\" == strFolder || strName.rfind(strFolder, 0) == 0)
                    << "written outside: " << strName.c_str();
            }
            DeleteFolderTree(strFolder.c_str());
            RemoveDirectoryW(strFolder.c_str());
        }
    }
    DeleteFileW(strArchive.c_str());
    RemoveDirectoryW(strBase.c_str());
    RecordProperty("cases", cCases);
    EXPECT_EQ(cRounds * 6, cCases);
    // Some mutations leave an archive whole (a flipped byte in stored data
    // is caught by the CRC, others in unused fields are not).
    EXPECT_GT(cExtracted, 0);
}

TEST(HostileInputTest, AHugeDeclaredDirectoryIsRefusedBeforeAnythingIsAllocated)
{
    std::string strArchive = ReadAll(GetBinPath(L"zips\\stored.zip"));
    ASSERT_GT(strArchive.size(), 22u);
    // The end record closes the file (no comment): its directory size field.
    for (size_t i = 0; i < 4; ++i)
    {
        strArchive[strArchive.size() - 10 + i] = static_cast<char>(i == 0 ? 0xF0 : 0xFF);
    }
    std::wstring strBase = GetTempFolder() + L"tessal-hugedir-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(strBase.c_str(), nullptr);
    WriteAll(strBase + L"\\case.zip", strArchive);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSTALL_FAILURE),
              ExtractZipArchive((strBase + L"\\case.zip").c_str(), (strBase + L"\\").c_str()));
    DeleteFileW((strBase + L"\\case.zip").c_str());
    RemoveDirectoryW(strBase.c_str());
}

TEST(HostileInputTest, RandomIndexFilesGiveTrimmedNonEmptyPairs)
{
    const std::string strAlphabet = "[]=#-~;, \t\r\nabcXYZ019\xA0\x85\x01";
    std::mt19937 rng(7);
    std::wstring strPath = GetTempFolder() + L"tessal-hostile-" + std::to_wstring(GetCurrentProcessId()) + L".ini";
    for (int nCase = 0; nCase < 1500; ++nCase)
    {
        std::string strFile(std::uniform_int_distribution<size_t>(0, 400)(rng), ' ');
        for (char& ch : strFile)
        {
            ch = strAlphabet[std::uniform_int_distribution<size_t>(0, strAlphabet.size() - 1)(rng)];
        }
        WriteAll(strPath, strFile);
        IniSectionMap map;
        bool fRead = ReadLicenseIni(strPath.c_str(), map);
        ASSERT_EQ(fRead, !map.empty()) << nCase;
        for (const auto& section : map)
        {
            ASSERT_FALSE(section.first.empty()) << nCase;
            for (const auto& key : section.second)
            {
                ASSERT_FALSE(key.first.empty()) << nCase;
                ASSERT_FALSE(key.second.empty()) << nCase;
                ASSERT_FALSE(iswspace(key.first.front()) || iswspace(key.first.back())) << nCase;
                ASSERT_FALSE(iswspace(key.second.front()) || iswspace(key.second.back())) << nCase;
                ASSERT_EQ(std::wstring::npos, key.first.find(L'\n')) << nCase;
            }
        }
    }
    DeleteFileW(strPath.c_str());
}

TEST(HostileInputTest, RandomTextsForTheSmallParsers)
{
    const std::string strAlphabet = "#0123456789. \t\r\n/-\"?aAvVrs:\\";
    std::mt19937 rng(11);
    auto randomText = [&](size_t cchMax) {
        std::string strText(std::uniform_int_distribution<size_t>(0, cchMax)(rng), ' ');
        for (char& ch : strText)
        {
            ch = strAlphabet[std::uniform_int_distribution<size_t>(0, strAlphabet.size() - 1)(rng)];
        }
        return strText;
    };
    for (int nCase = 0; nCase < 3000; ++nCase)
    {
        // Version files: the version is a word without blanks or "#".
        std::string strFile = randomText(80);
        std::wstring strVersion = ExtractOnlineVersion(strFile);
        ASSERT_EQ(std::wstring::npos, strVersion.find_first_of(L"# \t\r\n")) << strFile;
        std::wstring rgParts[4];
        if (ParseVersion(strVersion.c_str(), rgParts))
        {
            ASSERT_FALSE(IsVersionNewer(rgParts, rgParts)) << strFile;
        }

        // Progress records of the installer, parsed in place.
        std::string strRecord = randomText(40);
        std::wstring strWide(strRecord.begin(), strRecord.end());
        int rgFields[4] = {};
        ParseProgressFields(&strWide[0], rgFields);

        // Command lines: always one of the four modes.
        std::string strCommand = randomText(60);
        std::wstring strLine(strCommand.begin(), strCommand.end());
        RunMode nMode = GetRunMode(&strLine[0]);
        ASSERT_TRUE(nMode == RunNormal || nMode == RunUsage || nMode == RunVerify || nMode == RunAdmin) << strCommand;
        std::wstring strAdmin(strCommand.begin(), strCommand.end());
        DWORD dwAdmin = CheckAdminArgs(&strAdmin[0]);
        ASSERT_TRUE(dwAdmin == ERROR_SUCCESS || dwAdmin == ERROR_BAD_ARGUMENTS) << strCommand << " " << dwAdmin;
    }
}
