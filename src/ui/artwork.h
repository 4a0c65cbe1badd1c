#pragma once
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

// The pictures of the wizard: JPEG images of the resource type "RT_JPGDATA".
HRESULT LoadJpegBitmap(HINSTANCE hInstance, UINT nId, HDC hdcReference, int nWidth, int nHeight, HBITMAP* phBitmap);
// Gives a static control a bitmap; returns the bitmap the caller still owns,
// or null when the control keeps a copy and the original was deleted.
HBITMAP ShowPicture(HWND hStatic, HBITMAP hBitmap);
// Takes the picture off a static control and deletes it, with the caller's
// own bitmap (null when it has none).
void RemovePicture(HWND hStatic, HBITMAP hOwn);
HRESULT LoadPictureFromMemory(const void* pData, DWORD cbData, IPicture** ppPicture, LONG* pcxHimetric,
                              LONG* pcyHimetric);
