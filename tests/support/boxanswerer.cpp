#include "support/boxanswerer.h"
#include <algorithm>

namespace
{
// Windows numbers the icon control 20, Wine 0x440.
constexpr int c_rgIconControls[] = {20, 0x440};
constexpr int c_nTextControl = 0xFFFF;

std::wstring GetText(HWND hWnd)
{
    WCHAR szText[4096] = {};
    GetWindowTextW(hWnd, szText, ARRAYSIZE(szText));
    return szText;
}

struct FindContext
{
    DWORD dwProcessId;
    std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBox(HWND hWnd, LPARAM lParam)
{
    FindContext* pContext = reinterpret_cast<FindContext*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    WCHAR szClass[64] = {};
    GetClassNameW(hWnd, szClass, ARRAYSIZE(szClass));
    if (dwProcessId == pContext->dwProcessId && wcscmp(szClass, L"#32770") == 0 && IsWindowVisible(hWnd) &&
        GetDlgItem(hWnd, c_nTextControl))
    {
        pContext->boxes.push_back(hWnd);
    }
    return TRUE;
}
}

UINT GetBoxIcon(HWND hWndBox)
{
    HICON hIcon = nullptr;
    for (int nControl : c_rgIconControls)
    {
        if (!hIcon && GetDlgItem(hWndBox, nControl))
        {
            hIcon = reinterpret_cast<HICON>(SendDlgItemMessageW(hWndBox, nControl, STM_GETICON, 0, 0));
        }
    }
    if (!hIcon)
    {
        return 0;
    }
    struct
    {
        LPCWSTR szId;
        UINT uIcon;
    } const rgIcons[] = {{IDI_HAND, MB_ICONERROR},
                         {IDI_EXCLAMATION, MB_ICONWARNING},
                         {IDI_ASTERISK, MB_ICONINFORMATION},
                         {IDI_QUESTION, MB_ICONQUESTION}};
    for (const auto& icon : rgIcons)
    {
        if (LoadIconW(nullptr, icon.szId) == hIcon)
        {
            return icon.uIcon;
        }
    }
    return 0;
}

CBoxAnswerer::CBoxAnswerer(DWORD dwProcessId) : m_dwProcessId(dwProcessId)
{
    m_thread = std::thread([this] { Watch(); });
}

CBoxAnswerer::~CBoxAnswerer()
{
    m_fStop.store(true);
    m_thread.join();
}

void CBoxAnswerer::SetAnswer(const std::wstring& strTextPart, int nButton)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers[strTextPart] = nButton;
}

std::vector<SeenBox> CBoxAnswerer::GetBoxes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes;
}

bool CBoxAnswerer::WaitForBoxes(size_t nCount, DWORD dwTimeoutMs) const
{
    DWORD dwStart = GetTickCount();
    while (GetTickCount() - dwStart < dwTimeoutMs)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_boxes.size() >= nCount)
            {
                return true;
            }
        }
        Sleep(20);
    }
    return false;
}

void CBoxAnswerer::AnswerBox(HWND hWnd)
{
    SeenBox box;
    box.strCaption = GetText(hWnd);
    box.strText = GetText(GetDlgItem(hWnd, c_nTextControl));
    box.hWndOwner = GetWindow(hWnd, GW_OWNER);
    box.uIcon = m_dwProcessId == GetCurrentProcessId() ? GetBoxIcon(hWnd) : 0;
    int nButton = IDOK;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& answer : m_answers)
        {
            if (box.strText.find(answer.first) != std::wstring::npos)
            {
                nButton = answer.second;
            }
        }
        m_boxes.push_back(box);
        m_answered.push_back(hWnd);
    }
    // Button 0 leaves the box open for the test to answer, or not at all.
    if (nButton != 0)
    {
        PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED), 0);
    }
}

void CBoxAnswerer::Watch()
{
    while (!m_fStop.load())
    {
        FindContext context{m_dwProcessId, {}};
        EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&context));
        for (HWND hWnd : context.boxes)
        {
            bool fKnown = false;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                fKnown = std::find(m_answered.begin(), m_answered.end(), hWnd) != m_answered.end();
            }
            if (!fKnown)
            {
                AnswerBox(hWnd);
            }
        }
        {
            // A handle may be reused by a later box once the old one is gone.
            std::lock_guard<std::mutex> lock(m_mutex);
            m_answered.erase(std::remove_if(m_answered.begin(), m_answered.end(),
                                            [](HWND hWnd) { return !IsWindow(hWnd); }),
                             m_answered.end());
        }
        Sleep(30);
    }
}
