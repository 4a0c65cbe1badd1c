#include "unzip/unzip.h"
#include <windows.h>
#include <new>
#include <string.h>
#include <vector>

namespace
{
constexpr DWORD c_dwEndSignature = 0x06054b50;
constexpr DWORD c_dwCentralSignature = 0x02014b50;
constexpr DWORD c_dwLocalSignature = 0x04034b50;
constexpr size_t c_cbEndRecord = 22;
constexpr size_t c_cbCentralHeader = 46;
constexpr size_t c_cbLocalHeader = 30;
constexpr size_t c_cbMaxComment = 0xFFFF;
constexpr unsigned c_cbInput = 0x10000;
constexpr uLong c_flagEncrypted = 1;

unsigned ReadU16(const unsigned char* p)
{
    return static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8);
}

unsigned long ReadU32(const unsigned char* p)
{
    return static_cast<unsigned long>(ReadU16(p)) | (static_cast<unsigned long>(ReadU16(p + 2)) << 16);
}

struct Entry
{
    unz_file_info info;
    std::vector<char> name;
    unsigned long ulLocalOffset;
};

// The entry being read: where its data is and how far reading has come.
struct OpenEntry
{
    bool fOpen = false;
    bool fDeflated = false;
    z_stream stream = {};
    unsigned long ulDataOffset = 0;
    unsigned long ulCompressedLeft = 0;
    unsigned long ulUncompressedLeft = 0;
    unsigned long ulCrc = 0;
    bool fStreamEnded = false;
    std::vector<unsigned char> input;
};

struct Archive
{
    HANDLE hFile = INVALID_HANDLE_VALUE;
    unsigned long long ullSize = 0;
    std::vector<Entry> entries;
    size_t iCurrent = 0;
    OpenEntry current;

    ~Archive()
    {
        if (current.fOpen && current.fDeflated)
        {
            inflateEnd(&current.stream);
        }
        if (hFile != INVALID_HANDLE_VALUE)
        {
            CloseHandle(hFile);
        }
    }

    bool ReadAt(unsigned long long ullOffset, void* pBuffer, size_t cb)
    {
        if (ullOffset > ullSize || cb > ullSize - ullOffset)
        {
            return false;
        }
        LARGE_INTEGER li;
        li.QuadPart = static_cast<LONGLONG>(ullOffset);
        DWORD cbRead = 0;
        return SetFilePointerEx(hFile, li, nullptr, FILE_BEGIN) &&
               ReadFile(hFile, pBuffer, static_cast<DWORD>(cb), &cbRead, nullptr) && cbRead == cb;
    }
};

// Finds the end record in the file's last bytes; null when there is none.
const unsigned char* FindEndRecord(const std::vector<unsigned char>& tail)
{
    size_t iEnd = tail.size() - c_cbEndRecord + 1;
    while (iEnd-- > 0)
    {
        if (ReadU32(&tail[iEnd]) == c_dwEndSignature)
        {
            return &tail[iEnd];
        }
    }
    return nullptr;
}

// Reads the central record at iPos into the entry and moves iPos past it;
// false when it is not a whole record.
bool ReadCentralEntry(const std::vector<unsigned char>& directory, size_t& iPos, Entry& entry)
{
    if (iPos + c_cbCentralHeader > directory.size() || ReadU32(&directory[iPos]) != c_dwCentralSignature)
    {
        return false;
    }
    const unsigned char* p = &directory[iPos];
    unz_file_info& info = entry.info;
    info.version = ReadU16(p + 4);
    info.version_needed = ReadU16(p + 6);
    info.flag = ReadU16(p + 8);
    info.compression_method = ReadU16(p + 10);
    info.dosDate = ReadU32(p + 12);
    info.crc = ReadU32(p + 16);
    info.compressed_size = ReadU32(p + 20);
    info.uncompressed_size = ReadU32(p + 24);
    info.size_filename = ReadU16(p + 28);
    info.size_file_extra = ReadU16(p + 30);
    info.size_file_comment = ReadU16(p + 32);
    info.disk_num_start = ReadU16(p + 34);
    info.internal_fa = ReadU16(p + 36);
    info.external_fa = ReadU32(p + 38);
    entry.ulLocalOffset = ReadU32(p + 42);
    size_t cbRecord = c_cbCentralHeader + info.size_filename + info.size_file_extra + info.size_file_comment;
    if (iPos + cbRecord > directory.size())
    {
        return false;
    }
    entry.name.assign(p + c_cbCentralHeader, p + c_cbCentralHeader + info.size_filename);
    unsigned uDate = static_cast<unsigned>(info.dosDate >> 16);
    unsigned uTime = static_cast<unsigned>(info.dosDate & 0xFFFF);
    info.tmu_date.tm_mday = uDate & 0x1F;
    info.tmu_date.tm_mon = ((uDate >> 5) & 0x0F) - 1;
    info.tmu_date.tm_year = ((uDate >> 9) & 0x7F) + 1980;
    info.tmu_date.tm_hour = (uTime >> 11) & 0x1F;
    info.tmu_date.tm_min = (uTime >> 5) & 0x3F;
    info.tmu_date.tm_sec = (uTime & 0x1F) * 2;
    iPos += cbRecord;
    return true;
}

bool ReadCentralDirectory(Archive& archive)
{
    size_t cbTail = static_cast<size_t>(archive.ullSize < c_cbEndRecord + c_cbMaxComment
                                            ? archive.ullSize
                                            : c_cbEndRecord + c_cbMaxComment);
    if (cbTail < c_cbEndRecord)
    {
        return false;
    }
    std::vector<unsigned char> tail(cbTail);
    if (!archive.ReadAt(archive.ullSize - cbTail, tail.data(), cbTail))
    {
        return false;
    }
    const unsigned char* pEnd = FindEndRecord(tail);
    if (!pEnd)
    {
        return false;
    }
    unsigned nEntries = ReadU16(pEnd + 10);
    unsigned long ulDirectorySize = ReadU32(pEnd + 12);
    unsigned long ulDirectoryOffset = ReadU32(pEnd + 16);
    if (ReadU16(pEnd + 4) != 0 || ReadU16(pEnd + 6) != 0 || nEntries != ReadU16(pEnd + 8) || nEntries == 0xFFFF ||
        ulDirectoryOffset == 0xFFFFFFFFul)
    {
        // Spanned and ZIP64 archives are not supported.
        return false;
    }
    // The declared directory must lie inside the file before anything is
    // allocated for it: a damaged end record may declare up to 4 GiB.
    if (ulDirectoryOffset > archive.ullSize || ulDirectorySize > archive.ullSize - ulDirectoryOffset)
    {
        return false;
    }
    std::vector<unsigned char> directory(ulDirectorySize);
    if (ulDirectorySize != 0 && !archive.ReadAt(ulDirectoryOffset, directory.data(), ulDirectorySize))
    {
        return false;
    }
    size_t iPos = 0;
    for (unsigned n = 0; n < nEntries; ++n)
    {
        Entry entry = {};
        if (!ReadCentralEntry(directory, iPos, entry))
        {
            return false;
        }
        archive.entries.push_back(std::move(entry));
    }
    return true;
}

Archive* GetArchive(unzFile file)
{
    return static_cast<Archive*>(file);
}

void CloseCurrent(Archive& archive)
{
    if (archive.current.fOpen && archive.current.fDeflated)
    {
        inflateEnd(&archive.current.stream);
    }
    archive.current = OpenEntry();
}

int ReadStored(Archive& archive, unsigned char* pOut, unsigned cbWanted)
{
    OpenEntry& entry = archive.current;
    unsigned cb = cbWanted;
    if (cb > entry.ulCompressedLeft)
    {
        cb = static_cast<unsigned>(entry.ulCompressedLeft);
    }
    if (cb == 0)
    {
        return 0;
    }
    if (!archive.ReadAt(entry.ulDataOffset, pOut, cb))
    {
        return UNZ_ERRNO;
    }
    entry.ulDataOffset += cb;
    entry.ulCompressedLeft -= cb;
    entry.ulUncompressedLeft -= cb < entry.ulUncompressedLeft ? cb : entry.ulUncompressedLeft;
    entry.ulCrc = crc32(entry.ulCrc, pOut, cb);
    return static_cast<int>(cb);
}

int ReadDeflated(Archive& archive, unsigned char* pOut, unsigned cbWanted)
{
    OpenEntry& entry = archive.current;
    z_stream& stream = entry.stream;
    stream.next_out = pOut;
    stream.avail_out = cbWanted;
    while (stream.avail_out > 0 && !entry.fStreamEnded)
    {
        if (stream.avail_in == 0 && entry.ulCompressedLeft > 0)
        {
            unsigned cbIn = entry.ulCompressedLeft < c_cbInput ? static_cast<unsigned>(entry.ulCompressedLeft) : c_cbInput;
            if (!archive.ReadAt(entry.ulDataOffset, entry.input.data(), cbIn))
            {
                return UNZ_ERRNO;
            }
            entry.ulDataOffset += cbIn;
            entry.ulCompressedLeft -= cbIn;
            stream.next_in = entry.input.data();
            stream.avail_in = cbIn;
        }
        int nResult = inflate(&stream, Z_SYNC_FLUSH);
        if (nResult == Z_STREAM_END)
        {
            entry.fStreamEnded = true;
        }
        else if (nResult == Z_BUF_ERROR && stream.avail_in == 0 && entry.ulCompressedLeft == 0)
        {
            // The data ended before the deflate stream did.
            return UNZ_BADZIPFILE;
        }
        else if (nResult != Z_OK && nResult != Z_BUF_ERROR)
        {
            return UNZ_BADZIPFILE;
        }
    }
    unsigned cbProduced = cbWanted - stream.avail_out;
    if (cbProduced > entry.ulUncompressedLeft)
    {
        return UNZ_BADZIPFILE;
    }
    entry.ulUncompressedLeft -= cbProduced;
    entry.ulCrc = crc32(entry.ulCrc, pOut, cbProduced);
    return static_cast<int>(cbProduced);
}
}

namespace
{
unzFile OpenArchive(HANDLE hFile)
{
    Archive* pArchive = new (std::nothrow) Archive;
    if (!pArchive)
    {
        if (hFile != INVALID_HANDLE_VALUE)
        {
            CloseHandle(hFile);
        }
        return nullptr;
    }
    pArchive->hFile = hFile;
    LARGE_INTEGER liSize = {};
    if (pArchive->hFile == INVALID_HANDLE_VALUE || !GetFileSizeEx(pArchive->hFile, &liSize))
    {
        delete pArchive;
        return nullptr;
    }
    pArchive->ullSize = static_cast<unsigned long long>(liSize.QuadPart);
    bool fRead = false;
    try
    {
        fRead = ReadCentralDirectory(*pArchive);
    }
    catch (const std::bad_alloc&)
    {
        fRead = false;
    }
    if (!fRead)
    {
        delete pArchive;
        return nullptr;
    }
    return pArchive;
}
}

extern "C" unzFile unzOpen(const char* path)
{
    return path ? OpenArchive(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr))
                : nullptr;
}

extern "C" unzFile unzOpenW(const wchar_t* path)
{
    return path ? OpenArchive(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr))
                : nullptr;
}

extern "C" int unzClose(unzFile file)
{
    if (!file)
    {
        return UNZ_PARAMERROR;
    }
    delete GetArchive(file);
    return UNZ_OK;
}

extern "C" int unzGetGlobalInfo(unzFile file, unz_global_info* pglobal_info)
{
    if (!file || !pglobal_info)
    {
        return UNZ_PARAMERROR;
    }
    pglobal_info->number_entry = static_cast<uLong>(GetArchive(file)->entries.size());
    pglobal_info->size_comment = 0;
    return UNZ_OK;
}

extern "C" int unzGoToFirstFile(unzFile file)
{
    if (!file)
    {
        return UNZ_PARAMERROR;
    }
    Archive& archive = *GetArchive(file);
    CloseCurrent(archive);
    archive.iCurrent = 0;
    return archive.entries.empty() ? UNZ_END_OF_LIST_OF_FILE : UNZ_OK;
}

extern "C" int unzGoToNextFile(unzFile file)
{
    if (!file)
    {
        return UNZ_PARAMERROR;
    }
    Archive& archive = *GetArchive(file);
    CloseCurrent(archive);
    if (archive.iCurrent + 1 >= archive.entries.size())
    {
        archive.iCurrent = archive.entries.size();
        return UNZ_END_OF_LIST_OF_FILE;
    }
    ++archive.iCurrent;
    return UNZ_OK;
}

extern "C" int unzGetCurrentFileInfo(unzFile file, unz_file_info* pfile_info, char* szFileName,
                                     uLong fileNameBufferSize, void*, uLong, char* szComment, uLong commentBufferSize)
{
    if (!file)
    {
        return UNZ_PARAMERROR;
    }
    Archive& archive = *GetArchive(file);
    if (archive.iCurrent >= archive.entries.size())
    {
        return UNZ_END_OF_LIST_OF_FILE;
    }
    const Entry& entry = archive.entries[archive.iCurrent];
    if (pfile_info)
    {
        *pfile_info = entry.info;
    }
    if (szFileName && fileNameBufferSize > 0)
    {
        // The name is cut to the buffer and always terminated.
        size_t cbCopy = entry.name.size() < fileNameBufferSize - 1 ? entry.name.size() : fileNameBufferSize - 1;
        memcpy(szFileName, entry.name.data(), cbCopy);
        szFileName[cbCopy] = '\0';
    }
    if (szComment && commentBufferSize > 0)
    {
        szComment[0] = '\0';
    }
    return UNZ_OK;
}

extern "C" int unzOpenCurrentFile(unzFile file)
{
    if (!file)
    {
        return UNZ_PARAMERROR;
    }
    Archive& archive = *GetArchive(file);
    CloseCurrent(archive);
    if (archive.iCurrent >= archive.entries.size())
    {
        return UNZ_PARAMERROR;
    }
    const Entry& entry = archive.entries[archive.iCurrent];
    const unz_file_info& info = entry.info;
    if ((info.flag & c_flagEncrypted) || (info.compression_method != 0 && info.compression_method != Z_DEFLATED))
    {
        return UNZ_BADZIPFILE;
    }
    unsigned char rgLocal[c_cbLocalHeader];
    if (!archive.ReadAt(entry.ulLocalOffset, rgLocal, c_cbLocalHeader) || ReadU32(rgLocal) != c_dwLocalSignature)
    {
        return UNZ_BADZIPFILE;
    }
    unsigned long long ullData =
        static_cast<unsigned long long>(entry.ulLocalOffset) + c_cbLocalHeader + ReadU16(rgLocal + 26) + ReadU16(rgLocal + 28);
    if (ullData > archive.ullSize || info.compressed_size > archive.ullSize - ullData ||
        (info.compression_method == 0 && info.compressed_size != info.uncompressed_size))
    {
        return UNZ_BADZIPFILE;
    }
    OpenEntry& current = archive.current;
    current.ulDataOffset = static_cast<unsigned long>(ullData);
    current.ulCompressedLeft = info.compressed_size;
    current.ulUncompressedLeft = info.uncompressed_size;
    current.ulCrc = crc32(0, nullptr, 0);
    current.fDeflated = info.compression_method == Z_DEFLATED;
    if (current.fDeflated)
    {
        try
        {
            current.input.resize(c_cbInput);
        }
        catch (const std::bad_alloc&)
        {
            return UNZ_INTERNALERROR;
        }
        if (inflateInit2(&current.stream, -MAX_WBITS) != Z_OK)
        {
            return UNZ_INTERNALERROR;
        }
    }
    current.fOpen = true;
    return UNZ_OK;
}

extern "C" int unzReadCurrentFile(unzFile file, voidp buf, unsigned len)
{
    if (!file || !buf)
    {
        return UNZ_PARAMERROR;
    }
    Archive& archive = *GetArchive(file);
    if (!archive.current.fOpen)
    {
        return UNZ_PARAMERROR;
    }
    // Results are ints, so one read returns at most INT_MAX bytes.
    unsigned cbWanted = len > 0x7FFFFFFFu ? 0x7FFFFFFFu : len;
    unsigned char* pOut = static_cast<unsigned char*>(buf);
    int nRead = archive.current.fDeflated ? ReadDeflated(archive, pOut, cbWanted) : ReadStored(archive, pOut, cbWanted);
    // The end of the data before the declared size is a cut entry, never a
    // shorter file: a truncated installer must not pass for a whole one.
    if (nRead == 0 && cbWanted != 0 && archive.current.ulUncompressedLeft != 0)
    {
        return UNZ_BADZIPFILE;
    }
    return nRead;
}

extern "C" int unzCloseCurrentFile(unzFile file)
{
    if (!file)
    {
        return UNZ_PARAMERROR;
    }
    Archive& archive = *GetArchive(file);
    if (!archive.current.fOpen)
    {
        return UNZ_PARAMERROR;
    }
    const OpenEntry& current = archive.current;
    bool fComplete = current.ulUncompressedLeft == 0 && (!current.fDeflated || current.fStreamEnded);
    int nResult = UNZ_OK;
    if (fComplete && current.ulCrc != archive.entries[archive.iCurrent].info.crc)
    {
        nResult = UNZ_CRCERROR;
    }
    CloseCurrent(archive);
    return nResult;
}
