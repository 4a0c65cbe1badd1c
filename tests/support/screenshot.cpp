#include "support/screenshot.h"
#include "support/testpaths.h"
#include <vector>
#include <zlib.h>

namespace
{
void AppendU32(std::vector<unsigned char>& data, unsigned long ulValue)
{
    for (int nShift = 24; nShift >= 0; nShift -= 8)
    {
        data.push_back(static_cast<unsigned char>((ulValue >> nShift) & 0xFF));
    }
}

void AppendChunk(std::vector<unsigned char>& png, const char* szType, const std::vector<unsigned char>& body)
{
    AppendU32(png, static_cast<unsigned long>(body.size()));
    size_t iType = png.size();
    png.insert(png.end(), szType, szType + 4);
    png.insert(png.end(), body.begin(), body.end());
    AppendU32(png, crc32(0, &png[iType], static_cast<uInt>(png.size() - iType)));
}
}

std::wstring SaveScreenshot(const std::wstring& strName)
{
    int cx = GetSystemMetrics(SM_CXSCREEN);
    int cy = GetSystemMetrics(SM_CYSCREEN);
    HDC hdcScreen = GetDC(nullptr);
    HDC hdcMemory = CreateCompatibleDC(hdcScreen);
    HBITMAP hBitmap = CreateCompatibleBitmap(hdcScreen, cx, cy);
    HGDIOBJ hOld = SelectObject(hdcMemory, hBitmap);
    BitBlt(hdcMemory, 0, 0, cx, cy, hdcScreen, 0, 0, SRCCOPY);
    SelectObject(hdcMemory, hOld);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = cx;
    bmi.bmiHeader.biHeight = -cy;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    std::vector<unsigned char> pixels(static_cast<size_t>(cx) * cy * 4);
    int nLines = GetDIBits(hdcMemory, hBitmap, 0, cy, pixels.data(), &bmi, DIB_RGB_COLORS);
    DeleteObject(hBitmap);
    DeleteDC(hdcMemory);
    ReleaseDC(nullptr, hdcScreen);
    if (nLines != cy)
    {
        return std::wstring();
    }
    // One filter byte per row, then RGB.
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<size_t>(cy) * (cx * 3 + 1));
    for (int y = 0; y < cy; ++y)
    {
        raw.push_back(0);
        const unsigned char* pRow = &pixels[static_cast<size_t>(y) * cx * 4];
        for (int x = 0; x < cx; ++x)
        {
            raw.push_back(pRow[x * 4 + 2]);
            raw.push_back(pRow[x * 4 + 1]);
            raw.push_back(pRow[x * 4 + 0]);
        }
    }
    uLongf cbCompressed = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> compressed(cbCompressed);
    if (compress2(compressed.data(), &cbCompressed, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
    {
        return std::wstring();
    }
    compressed.resize(cbCompressed);
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    AppendU32(header, static_cast<unsigned long>(cx));
    AppendU32(header, static_cast<unsigned long>(cy));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", compressed);
    AppendChunk(png, "IEND", {});

    std::wstring strFolder = GetBinFolder() + L"..\\artifacts";
    CreateDirectoryW(strFolder.c_str(), nullptr);
    std::wstring strPath = strFolder + L"\\" + strName + L".png";
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        return std::wstring();
    }
    DWORD cbWritten = 0;
    WriteFile(hFile, png.data(), static_cast<DWORD>(png.size()), &cbWritten, nullptr);
    CloseHandle(hFile);
    return cbWritten == png.size() ? strPath : std::wstring();
}
