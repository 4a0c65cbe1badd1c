#include "engine/zip.h"
#include "support/testpaths.h"
#include <gtest/gtest.h>
#include <string>

namespace
{
// A fresh folder under the temporary folder, deleted afterwards.
class CScratchFolder
{
public:
    CScratchFolder()
    {
        static int s_n = 0;
        m_strBase = GetTempFolder() + L"tessal-zip-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(++s_n);
        CreateDirectoryW(m_strBase.c_str(), nullptr);
        m_strFolder = m_strBase + L"\\out";
        CreateDirectoryW(m_strFolder.c_str(), nullptr);
    }
    ~CScratchFolder() { DeleteFolderTree(m_strBase.c_str()); }
    const std::wstring& Folder() const { return m_strFolder; }
    const std::wstring& Base() const { return m_strBase; }

private:
    std::wstring m_strBase;
    std::wstring m_strFolder;
};

std::string ReadBytes(const std::wstring& strPath, bool* pfExists)
{
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    *pfExists = hFile != INVALID_HANDLE_VALUE;
    if (!*pfExists)
    {
        return std::string();
    }
    std::string strData(GetFileSize(hFile, nullptr), '\0');
    DWORD cbRead = 0;
    if (!strData.empty())
    {
        ReadFile(hFile, &strData[0], static_cast<DWORD>(strData.size()), &cbRead, nullptr);
    }
    CloseHandle(hFile);
    return strData;
}

std::wstring Archive(const wchar_t* szName)
{
    return GetBinPath(L"zips\\") + szName;
}

std::string BigData()
{
    std::string strData(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < strData.size(); ++i)
    {
        strData[i] = static_cast<char>((i * 7 + i / 251) % 256);
    }
    return strData;
}
}

TEST(ZipExtractTest, UnpacksArchivesOfBothTools)
{
    const std::string strBig = BigData();
    struct
    {
        const wchar_t* szArchive;
        std::vector<std::pair<const wchar_t*, std::string>> files;
    } const rgCases[] = {
        {L"stored.zip", {{L"a.txt", "alpha\n"}, {L"empty.txt", ""}, {L"big.bin", strBig}}},
        {L"deflated.zip", {{L"empty.txt", ""}, {L"big.bin", strBig}}},
        {L"folders.zip", {{L"one\\two\\deep.txt", "deep"}, {L"top.txt", "top"}}},
        {L"onelevel.zip", {{L"sub\\file.txt", "made on demand"}}},
        {L"infozip.zip", {{L"tree\\readme.txt", "readme"}}},
        {L"streamed.zip", {{L"-", std::string()}}},
        {L"utf8.zip", {{L"\u0422\u0435\u0441\u0442\\\u6587\u4ef6.txt", "utf-8"}}},
        {L"cp437.zip", {{L"\u00fcber.txt", "cp437"}}},
    };
    for (const auto& c : rgCases)
    {
        CScratchFolder scratch;
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ExtractZipArchive(Archive(c.szArchive).c_str(), scratch.Folder().c_str()))
            << c.szArchive;
        for (const auto& file : c.files)
        {
            bool fExists = false;
            std::string strData = ReadBytes(scratch.Folder() + L"\\" + file.first, &fExists);
            EXPECT_TRUE(fExists) << c.szArchive << " " << file.first;
            if (!file.second.empty() || wcscmp(file.first, L"-") != 0)
            {
                EXPECT_TRUE(strData == file.second) << c.szArchive << " " << file.first << " size " << strData.size();
            }
        }
    }
    // The streamed entry carried its sizes in a data descriptor.
    CScratchFolder scratch;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ExtractZipArchive(Archive(L"streamed.zip").c_str(), scratch.Folder().c_str()));
    bool fExists = false;
    std::string strStreamed = ReadBytes(scratch.Folder() + L"\\-", &fExists);
    EXPECT_EQ(7000u, strStreamed.size());
    EXPECT_EQ(0u, strStreamed.find("streamed data\n"));
}

TEST(ZipExtractTest, FaultyArchivesFailWithoutGarbage)
{
    struct
    {
        const wchar_t* szArchive;
        DWORD dwResult;
        const wchar_t* szAbsent;  // a file that must not be written, relative to the base
    } const rgCases[] = {
        {L"twolevels.zip", ERROR_INSTALL_FAILURE, L"out\\x\\y\\file.txt"},
        {L"crc.zip", static_cast<DWORD>(UNZ_CRCERROR), nullptr},
        {L"truncated.zip", ERROR_INSTALL_FAILURE, nullptr},
        {L"encrypted.zip", ERROR_INSTALL_FAILURE, L"out\\tree\\readme.txt"},
        {L"escape.zip", ERROR_INSTALL_FAILURE, L"escaped.txt"},
        {L"absolute.zip", ERROR_INSTALL_FAILURE, nullptr},
        {L"drive.zip", ERROR_INSTALL_FAILURE, nullptr},
        {L"backslash.zip", ERROR_INSTALL_FAILURE, L"escaped2.txt"},
        {L"missing.zip", ERROR_INSTALL_FAILURE, nullptr},
        // Shorter than declared is damaged, never a smaller file.
        {L"cutshort.zip", static_cast<DWORD>(UNZ_BADZIPFILE), nullptr},
        {L"cutstream.zip", static_cast<DWORD>(UNZ_BADZIPFILE), nullptr},
        {L"storedlong.zip", ERROR_INSTALL_FAILURE, L"out\\DXSETUP.exe"},
    };
    for (const auto& c : rgCases)
    {
        CScratchFolder scratch;
        EXPECT_EQ(c.dwResult, ExtractZipArchive(Archive(c.szArchive).c_str(), scratch.Folder().c_str())) << c.szArchive;
        if (c.szAbsent)
        {
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((scratch.Base() + L"\\" + c.szAbsent).c_str()))
                << c.szArchive;
        }
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((GetTempFolder() + L"rooted.txt").c_str()));
}

TEST(ZipExtractTest, EntryNameRules)
{
    struct
    {
        const wchar_t* szName;
        bool fSafe;
    } const rgCases[] = {
        {L"a.txt", true},       {L"dir/a.txt", true},   {L"dir\\sub\\", true}, {L"..a/b..", true},
        {L"../a", false},       {L"a/../../b", false},  {L"a\\..", false},     {L"/a", false},
        {L"\\\\server\\s", false}, {L"C:a", false},     {L"a:stream", false},  {L"", false},
    };
    for (const auto& c : rgCases)
    {
        EXPECT_EQ(c.fSafe, IsSafeEntryName(c.szName)) << c.szName;
    }
    EXPECT_TRUE(IsPathInsideFolder(L"C:\\t\\{g}\\a.txt", L"C:\\t\\{g}\\"));
    EXPECT_TRUE(IsPathInsideFolder(L"c:\\T\\{G}\\a.txt", L"C:\\t\\{g}\\"));
    EXPECT_FALSE(IsPathInsideFolder(L"C:\\t\\{g}x\\a.txt", L"C:\\t\\{g}\\"));
    EXPECT_FALSE(IsPathInsideFolder(L"C:\\t\\{g}\\", L"C:\\t\\{g}\\"));
}

TEST(ZipExtractTest, DeleteFolderTreeRemovesEverything)
{
    CScratchFolder scratch;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ExtractZipArchive(Archive(L"folders.zip").c_str(), scratch.Folder().c_str()));
    DeleteFolderTree(scratch.Folder().c_str());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(scratch.Folder().c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(scratch.Base().c_str()));
}

TEST(ZipExtractTest, PathsOutsideTheAnsiCodePageAndTheUnpackedLimit)
{
    // A temporary folder named in other scripts than the user's code page.
    CScratchFolder scratch;
    const std::wstring strFolder = scratch.Base() + L"\\\u041f\u0440\u043e\u0444\u0438\u043b\u044c-\u7528\u6237";
    ASSERT_TRUE(CreateDirectoryW(strFolder.c_str(), nullptr));
    const std::wstring strArchive = strFolder + L"\\utf8.zip";
    ASSERT_TRUE(CopyFileW(Archive(L"utf8.zip").c_str(), strArchive.c_str(), FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ExtractZipArchive(strArchive.c_str(), strFolder.c_str()));
    bool fExists = false;
    EXPECT_EQ("utf-8", ReadBytes(strFolder + L"\\\u0422\u0435\u0441\u0442\\\u6587\u4ef6.txt", &fExists));

    // 17 MB declared in all is refused before anything is written; an
    // archive within the limit passes it.
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSTALL_FAILURE),
              ExtractZipArchive(Archive(L"huge.zip").c_str(), scratch.Folder().c_str(), 16ull << 20));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((scratch.Folder() + L"\\a.rtf").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ExtractZipArchive(Archive(L"folders.zip").c_str(), scratch.Folder().c_str(), 16ull << 20));
    EXPECT_EQ("deep", ReadBytes(scratch.Folder() + L"\\one\\two\\deep.txt", &fExists));
    // Names that are not valid UTF-8 under the flag do not decode.
    WCHAR szName[MAX_PATH] = {};
    EXPECT_FALSE(DecodeEntryName("\xff\xfe.txt", UNZ_FLAG_UTF8_NAME, szName, MAX_PATH));
    EXPECT_TRUE(DecodeEntryName("\x81\x9b.txt", 0, szName, MAX_PATH));
    EXPECT_STREQ(L"\u00fc\u00a2.txt", szName);
}
