#pragma once
// A small reader for .zip archives with the minizip "unzip" interface that
// the setup calls, on top of zlib's inflate. Stored and deflated entries;
// an entry that ends before its declared size is a damaged archive, and
// the CRC of an entry is checked when it is closed. Encrypted entries,
// other methods and ZIP64 archives are refused with an error code.
#include <zlib.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* unzFile;

#define UNZ_OK 0
#define UNZ_END_OF_LIST_OF_FILE (-100)
#define UNZ_ERRNO (Z_ERRNO)
#define UNZ_EOF 0
#define UNZ_PARAMERROR (-102)
#define UNZ_BADZIPFILE (-103)
#define UNZ_INTERNALERROR (-104)
#define UNZ_CRCERROR (-105)

typedef struct tm_unz_s
{
    unsigned int tm_sec;
    unsigned int tm_min;
    unsigned int tm_hour;
    unsigned int tm_mday;
    unsigned int tm_mon;
    unsigned int tm_year;
} tm_unz;

typedef struct unz_global_info_s
{
    uLong number_entry;
    uLong size_comment;
} unz_global_info;

typedef struct unz_file_info_s
{
    uLong version;
    uLong version_needed;
    uLong flag;
    uLong compression_method;
    uLong dosDate;
    uLong crc;
    uLong compressed_size;
    uLong uncompressed_size;
    uLong size_filename;
    uLong size_file_extra;
    uLong size_file_comment;
    uLong disk_num_start;
    uLong internal_fa;
    uLong external_fa;
    tm_unz tmu_date;
} unz_file_info;

// Opens an archive by its path in the ANSI code page; null on failure.
unzFile unzOpen(const char* path);
// The same by its UTF-16 path, which reaches every file name.
unzFile unzOpenW(const wchar_t* path);
// Set in unz_file_info.flag when the entry's name is UTF-8 (else CP437).
#define UNZ_FLAG_UTF8_NAME 0x800
int unzClose(unzFile file);
int unzGetGlobalInfo(unzFile file, unz_global_info* pglobal_info);
int unzGoToFirstFile(unzFile file);
int unzGoToNextFile(unzFile file);
int unzGetCurrentFileInfo(unzFile file, unz_file_info* pfile_info, char* szFileName, uLong fileNameBufferSize,
                          void* extraField, uLong extraFieldBufferSize, char* szComment, uLong commentBufferSize);
int unzOpenCurrentFile(unzFile file);
// Bytes read (0 at the end of the entry), or a negative error code; an
// entry whose data ends before its declared size gives UNZ_BADZIPFILE.
int unzReadCurrentFile(unzFile file, voidp buf, unsigned len);
int unzCloseCurrentFile(unzFile file);

#ifdef __cplusplus
}
#endif
