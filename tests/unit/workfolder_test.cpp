#include "engine/workfolder.h"
#include "engine/zip.h"
#include "support/accesslist.h"
#include "support/testpaths.h"
#include <gtest/gtest.h>
#include <sddl.h>
#include <string>
#include <vector>

namespace
{
void WriteText(const std::wstring& strPath, const char* szText)
{
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD cbWritten = 0;
    WriteFile(hFile, szText, static_cast<DWORD>(strlen(szText)), &cbWritten, nullptr);
    CloseHandle(hFile);
}

std::string ReadText(const std::wstring& strPath)
{
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        return "(missing)";
    }
    char szText[64] = {};
    DWORD cbRead = 0;
    ReadFile(hFile, szText, sizeof(szText) - 1, &cbRead, nullptr);
    CloseHandle(hFile);
    return szText;
}

bool Exists(const std::wstring& strPath)
{
    return GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Working folders, a folder outside them that must stay as it is, and links
// made on the way; all of it goes afterwards.
class WorkFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strOutside = GetTempFolder() + L"tessal-outside-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_strOutside.c_str(), nullptr);
        WriteText(m_strOutside + L"\\keep.txt", "keep");
    }
    void TearDown() override
    {
        for (const std::wstring& strLink : m_links)
        {
            RemoveSymbolicLink(strLink);
        }
        for (const std::wstring& strFolder : m_folders)
        {
            DeleteFolderTree(strFolder.c_str());
        }
        DeleteFolderTree(m_strOutside.c_str());
    }

    std::wstring MakeFolder()
    {
        WCHAR szFolder[MAX_PATH] = {};
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), CreateWorkFolder(szFolder, MAX_PATH));
        m_folders.push_back(szFolder);
        return szFolder;
    }

    // A link to the outside folder; false when the platform cannot make one.
    bool MakeLinkToOutside(const std::wstring& strLink)
    {
        m_links.push_back(strLink);
        return MakeSymbolicLink(strLink, m_strOutside);
    }

    bool IsOutsideUntouched()
    {
        return ReadText(m_strOutside + L"\\keep.txt") == "keep";
    }

    std::wstring m_strOutside;
    std::vector<std::wstring> m_folders;
    std::vector<std::wstring> m_links;
};
}

TEST(WorkFolderSecurityTest, TheAdminOnlyDescriptorGrantsAdministratorsAndTheSystemAlone)
{
    EXPECT_EQ(nullptr, SelectWorkFolderSddl(false));
    ASSERT_STREQ(c_szAdminOnlySddl, SelectWorkFolderSddl(true));
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c_szAdminOnlySddl, SDDL_REVISION_1, &pDescriptor,
                                                                     nullptr));
    bool fProtected = false;
    std::vector<AceEntry> entries = ReadAllowedEntries(pDescriptor, &fProtected);
    LocalFree(pDescriptor);
    // Nothing is inherited from the user's temporary folder.
    EXPECT_TRUE(fProtected);
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(L"S-1-5-18", entries[0].strSid);
    EXPECT_EQ(L"S-1-5-32-544", entries[1].strSid);
    for (const AceEntry& entry : entries)
    {
        EXPECT_EQ(static_cast<ACCESS_MASK>(FILE_ALL_ACCESS), entry.dwMask) << entry.strSid.c_str();
        // Files and folders made inside get the same two entries.
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, entry.bFlags) << entry.strSid.c_str();
    }
}

TEST_F(WorkFolderTest, EachFolderIsNewAndClosedToOtherUsersWhenElevated)
{
    std::wstring strFirst = MakeFolder();
    std::wstring strSecond = MakeFolder();
    EXPECT_NE(strFirst, strSecond);
    for (const std::wstring& strFolder : {strFirst, strSecond})
    {
        ASSERT_EQ(0u, strFolder.find(GetTempFolder())) << strFolder.c_str();
        std::wstring strName = strFolder.substr(GetTempFolder().size());
        EXPECT_EQ(39u, strName.size()) << strName.c_str();
        EXPECT_EQ(L'{', strName.front());
        EXPECT_EQ(L"}\\", strName.substr(37));
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
                  GetFileAttributesW(strFolder.c_str()) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    }
    if (!IsProcessElevated())
    {
        GTEST_SKIP() << "the test program does not run elevated";
    }
    // Wine keeps what the descriptor allows as the folder's mode bits, so
    // what it reads back shows the system and no one else outside the owner.
    std::vector<AceEntry> entries = ReadFileAccessEntries(strFirst);
    ASSERT_FALSE(entries.empty());
    EXPECT_TRUE(GrantsAnything(entries, L"S-1-5-18"));
    for (LPCWSTR szOther : {L"S-1-1-0", L"S-1-5-32-545", L"S-1-5-11", L"S-1-5-4"})
    {
        EXPECT_FALSE(GrantsAnything(entries, szOther)) << szOther;
    }
    // A copy made inside carries the same restriction.
    WCHAR szCopy[MAX_PATH] = {};
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              CopyFileIntoFolder((m_strOutside + L"\\keep.txt").c_str(), strFirst.c_str(), szCopy, MAX_PATH));
    EXPECT_FALSE(GrantsAnything(ReadFileAccessEntries(szCopy), L"S-1-1-0"));
}

TEST_F(WorkFolderTest, CopiesKeepTheirNameAndNeverReplaceWhatIsThere)
{
    std::wstring strFolder = MakeFolder();
    std::wstring strSource = m_strOutside + L"\\vcredist_x86[1].exe";
    WriteText(strSource, "program");
    WCHAR szCopy[MAX_PATH] = {};
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), CopyFileIntoFolder(strSource.c_str(), strFolder.c_str(), szCopy, MAX_PATH));
    EXPECT_EQ(strFolder + L"vcredist_x86[1].exe", szCopy);
    EXPECT_EQ("program", ReadText(szCopy));
    // A second copy under the same name fails and leaves the first alone.
    WriteText(strSource, "another");
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS),
              CopyFileIntoFolder(strSource.c_str(), strFolder.c_str(), szCopy, MAX_PATH));
    EXPECT_EQ("program", ReadText(strFolder + L"vcredist_x86[1].exe"));
    // No name, no copy; a missing source is the platform's error.
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME),
              CopyFileIntoFolder((m_strOutside + L"\\").c_str(), strFolder.c_str(), szCopy, MAX_PATH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              CopyFileIntoFolder((m_strOutside + L"\\missing.exe").c_str(), strFolder.c_str(), szCopy, MAX_PATH));
}

TEST_F(WorkFolderTest, LinksAreNeverFollowedWhenFillingOrDeleting)
{
    std::wstring strFolder = MakeFolder();
    std::wstring strLink = strFolder + L"sub";
    if (!MakeLinkToOutside(strLink))
    {
        GTEST_SKIP() << "this platform cannot make a link for the test";
    }
    // The reparse test: the folder, a level on the way, the path itself.
    EXPECT_TRUE(IsReparsePointOnPath((strFolder + L"sub\\file.txt").c_str(), strFolder.c_str()));
    EXPECT_TRUE(IsReparsePointOnPath((strFolder + L"sub").c_str(), strFolder.c_str()));
    EXPECT_FALSE(IsReparsePointOnPath((strFolder + L"other\\file.txt").c_str(), strFolder.c_str()));
    EXPECT_TRUE(IsReparsePointOnPath((strLink + L"\\keep.txt").c_str(), (strLink + L"\\").c_str()));

    // An archive entry under the link is refused, the copy too.
    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS),
              ExtractZipArchive(GetBinPath(L"zips\\onelevel.zip").c_str(), strFolder.c_str()));
    EXPECT_FALSE(Exists(m_strOutside + L"\\file.txt"));
    WCHAR szCopy[MAX_PATH] = {};
    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS),
              CopyFileIntoFolder((m_strOutside + L"\\keep.txt").c_str(), (strLink + L"\\").c_str(), szCopy, MAX_PATH));
    EXPECT_FALSE(Exists(m_strOutside + L"\\keep.txt\\keep.txt"));

    // Deleting the folder, or a link given as the folder, leaves the
    // linked folder's files alone.
    WriteText(strFolder + L"own.txt", "own");
    DeleteFolderTree(strLink.c_str());
    DeleteFolderTree((strLink + L"\\").c_str());
    DeleteFolderTree(strFolder.c_str());
    EXPECT_FALSE(Exists(strFolder + L"own.txt"));
    EXPECT_TRUE(IsOutsideUntouched());
}
