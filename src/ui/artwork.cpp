#include "ui/artwork.h"
#include "ui/wizard.h"
#include "platform/owners.h"

namespace
{
struct CDeleteDC
{
    void operator()(HDC hdc) const { DeleteDC(hdc); }
};

// A memory device context, deleted on every path.
class CMemoryDC : public CScopedOwner<HDC, CDeleteDC>
{
public:
    explicit CMemoryDC(HDC hdcReference) : CScopedOwner(CreateCompatibleDC(hdcReference)) {}
};

}

HRESULT LoadPictureFromMemory(const void* pData, DWORD cbData, IPicture** ppPicture, LONG* pcxHimetric,
                              LONG* pcyHimetric)
{
    if (!pData || !ppPicture || !pcxHimetric || !pcyHimetric)
    {
        return E_INVALIDARG;
    }
    *ppPicture = nullptr;
    HGLOBAL hBlock = GlobalAlloc(GMEM_MOVEABLE, cbData);
    void* pBlock = hBlock ? GlobalLock(hBlock) : nullptr;
    if (!pBlock)
    {
        if (hBlock)
        {
            GlobalFree(hBlock);
        }
        return E_FAIL;
    }
    CopyMemory(pBlock, pData, cbData);
    GlobalUnlock(hBlock);
    IStream* pStream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(hBlock, TRUE, &pStream)) || !pStream)
    {
        GlobalFree(hBlock);
        return E_FAIL;
    }
    IPicture* pPicture = nullptr;
    HRESULT hr = OleLoadPicture(pStream, 0, FALSE, IID_IPicture, reinterpret_cast<void**>(&pPicture));
    pStream->Release();
    if (FAILED(hr) || !pPicture)
    {
        return E_FAIL;
    }
    pPicture->get_Width(pcxHimetric);
    pPicture->get_Height(pcyHimetric);
    *ppPicture = pPicture;
    return S_OK;
}

HRESULT LoadJpegBitmap(HINSTANCE hInstance, UINT nId, HDC hdcReference, int nWidth, int nHeight, HBITMAP* phBitmap)
{
    if (!phBitmap)
    {
        return E_INVALIDARG;
    }
    *phBitmap = nullptr;
    HRSRC hResource = FindResourceW(hInstance, MAKEINTRESOURCEW(nId), L"RT_JPGDATA");
    HGLOBAL hData = hResource ? LoadResource(hInstance, hResource) : nullptr;
    const void* pData = hData ? LockResource(hData) : nullptr;
    if (!pData)
    {
        return E_FAIL;
    }
    DWORD cbData = SizeofResource(hInstance, hResource);
    CMemoryDC memory(hdcReference);
    LONG cxHimetric = 0;
    LONG cyHimetric = 0;
    IPicture* pPicture = nullptr;
    HRESULT hrLoad = memory.Get() ? LoadPictureFromMemory(pData, cbData, &pPicture, &cxHimetric, &cyHimetric) : E_FAIL;
    CInterfaceOwner<IPicture> picture(SUCCEEDED(hrLoad) ? pPicture : nullptr);
    if (!picture.Get())
    {
        return E_FAIL;
    }
    HBITMAP hBitmap = CreateCompatibleBitmap(hdcReference, nWidth, nHeight);
    if (!hBitmap)
    {
        return E_FAIL;
    }
    HGDIOBJ hOld = SelectObject(memory.Get(), hBitmap);
    // HIMETRIC grows upward, so the destination is given bottom-up.
    HRESULT hr = picture.Get()->Render(memory.Get(), 0, nHeight, nWidth, -nHeight, 0, 0, cxHimetric, cyHimetric,
                                            nullptr);
    SelectObject(memory.Get(), hOld);
    if (FAILED(hr))
    {
        DeleteObject(hBitmap);
        return hr;
    }
    *phBitmap = hBitmap;
    return S_OK;
}

bool CSetupWizard::SetBackground(UINT nPicture)
{
    HWND hWnd = m_hWnd.load();
    HDC hdc = GetDC(hWnd);
    RECT rcClient = {};
    GetClientRect(hWnd, &rcClient);
    HBITMAP hBitmap = nullptr;
    HRESULT hr = LoadJpegBitmap(m_hInstance, nPicture, hdc, rcClient.right - rcClient.left,
                                rcClient.bottom - rcClient.top, &hBitmap);
    ReleaseDC(hWnd, hdc);
    if (FAILED(hr))
    {
        return false;
    }
    m_hBackground = ShowPicture(GetDlgItem(hWnd, IDC_BACKGROUND), hBitmap);
    return true;
}

void CSetupWizard::ReleaseBackground(HWND hWndHidden)
{
    // A page that is left is never shown again, and its picture is as large
    // as the window: kept, every page would add one.
    RemovePicture(GetDlgItem(hWndHidden, IDC_BACKGROUND), m_hBackground);
    m_hBackground = nullptr;
}

HBITMAP ShowPicture(HWND hStatic, HBITMAP hBitmap)
{
    SendMessageW(hStatic, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(hBitmap));
    // A version 6 static control draws a picture with alpha from a copy of
    // its own; the original would then only hold a second bitmap.
    if (SendMessageW(hStatic, STM_GETIMAGE, IMAGE_BITMAP, 0) != reinterpret_cast<LRESULT>(hBitmap))
    {
        DeleteObject(hBitmap);
        return nullptr;
    }
    return hBitmap;
}

void RemovePicture(HWND hStatic, HBITMAP hOwn)
{
    // The control hands back what it drew from: its own copy, when it made
    // one, is the caller's to delete as well.
    HGDIOBJ hShown = reinterpret_cast<HGDIOBJ>(SendMessageW(hStatic, STM_SETIMAGE, IMAGE_BITMAP, 0));
    if (hShown && hShown != hOwn)
    {
        DeleteObject(hShown);
    }
    if (hOwn)
    {
        DeleteObject(hOwn);
    }
}
