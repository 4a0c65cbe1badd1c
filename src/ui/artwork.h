#pragma once
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

// The pictures of the wizard: JPEG images of the resource type "RT_JPGDATA".
HRESULT LoadJpegBitmap(HINSTANCE hInstance, UINT nId, HDC hdcReference, int nWidth, int nHeight, HBITMAP* phBitmap);
HRESULT LoadPictureFromMemory(const void* pData, DWORD cbData, IPicture** ppPicture, LONG* pcxHimetric,
                              LONG* pcyHimetric);
