#include "support/testpaths.h"
#include "ui/artwork.h"
#include <gtest/gtest.h>

namespace
{
// The setup's own manifest made current, so that a static control created
// here is the version 6 one that the wizard's pages hold.
class CSetupControls
{
public:
    CSetupControls()
    {
        std::wstring strSetup = GetBinPath(L"TessalSetup.exe");
        ACTCTXW context = {};
        context.cbSize = sizeof(context);
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpSource = strSetup.c_str();
        context.lpResourceName = MAKEINTRESOURCEW(1);
        m_hContext = CreateActCtxW(&context);
        m_fActive = m_hContext != INVALID_HANDLE_VALUE && ActivateActCtx(m_hContext, &m_ulCookie);
    }
    ~CSetupControls()
    {
        if (m_fActive)
        {
            DeactivateActCtx(0, m_ulCookie);
        }
        if (m_hContext != INVALID_HANDLE_VALUE)
        {
            ReleaseActCtx(m_hContext);
        }
    }
    bool IsActive() const { return m_fActive; }

private:
    HANDLE m_hContext;
    ULONG_PTR m_ulCookie = 0;
    bool m_fActive;
};

HBITMAP CreatePicture(BYTE bAlpha)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 48;
    info.bmiHeader.biHeight = 32;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* pvBits = nullptr;
    HBITMAP hBitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pvBits, nullptr, 0);
    if (hBitmap)
    {
        auto* pdwPixel = static_cast<DWORD*>(pvBits);
        for (int i = 0; i < 48 * 32; ++i)
        {
            pdwPixel[i] = (static_cast<DWORD>(bAlpha) << 24) | 0x336699;
        }
    }
    return hBitmap;
}
}

// A page that is left deletes every bitmap behind its picture, also the copy
// that the control draws a picture with alpha from.
TEST(ArtworkTest, APictureTakenOffItsControlLeavesNoBitmapBehind)
{
    CSetupControls controls;
    ASSERT_TRUE(controls.IsActive());
    const struct
    {
        const char* szCase;
        BYTE bAlpha;
    } rgCases[] = {{"opaque", 0}, {"with alpha", 0x80}};
    for (const auto& test : rgCases)
    {
        SCOPED_TRACE(test.szCase);
        HWND hStatic = CreateWindowExW(0, L"Static", L"", WS_POPUP | SS_BITMAP, 0, 0, 48, 32, nullptr, nullptr,
                                       nullptr, nullptr);
        ASSERT_NE(nullptr, hStatic);
        HBITMAP hBitmap = CreatePicture(test.bAlpha);
        ASSERT_NE(nullptr, hBitmap);
        HBITMAP hOwn = ShowPicture(hStatic, hBitmap);
        HGDIOBJ hShown = reinterpret_cast<HGDIOBJ>(SendMessageW(hStatic, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_NE(nullptr, hShown);
        if (test.bAlpha)
        {
            // The control drew from its own copy: the original is gone already.
            EXPECT_EQ(nullptr, hOwn);
            EXPECT_EQ(0u, GetObjectType(hBitmap));
        }
        EXPECT_TRUE(hOwn == nullptr || hOwn == hShown);
        RemovePicture(hStatic, hOwn);
        EXPECT_EQ(0, SendMessageW(hStatic, STM_GETIMAGE, IMAGE_BITMAP, 0));
        EXPECT_EQ(0u, GetObjectType(hShown));
        EXPECT_EQ(0u, GetObjectType(hBitmap));
        DestroyWindow(hStatic);
    }
}
