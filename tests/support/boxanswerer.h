#pragma once
#include <windows.h>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A message box that a test saw and answered.
struct SeenBox
{
    std::wstring strCaption;
    std::wstring strText;
    HWND hWndOwner;
    // Which of the platform's icons the box shows: MB_ICONERROR,
    // MB_ICONWARNING, MB_ICONINFORMATION, MB_ICONQUESTION or 0.
    UINT uIcon;
};

// Finds the message boxes of one process and answers them, so that no test
// waits for a person. Boxes are answered with OK unless a rule names a
// button for a text that the box contains; button 0 leaves the box open.
class CBoxAnswerer
{
public:
    explicit CBoxAnswerer(DWORD dwProcessId = GetCurrentProcessId());
    ~CBoxAnswerer();
    CBoxAnswerer(const CBoxAnswerer&) = delete;
    CBoxAnswerer& operator=(const CBoxAnswerer&) = delete;

    void SetAnswer(const std::wstring& strTextPart, int nButton);
    std::vector<SeenBox> GetBoxes() const;
    // Waits until at least nCount boxes were answered; false on timeout.
    bool WaitForBoxes(size_t nCount, DWORD dwTimeoutMs) const;

private:
    void Watch();
    void AnswerBox(HWND hWnd);

    DWORD m_dwProcessId;
    std::atomic<bool> m_fStop{false};
    mutable std::mutex m_mutex;
    std::vector<SeenBox> m_boxes;
    std::vector<HWND> m_answered;
    std::map<std::wstring, int> m_answers;
    std::thread m_thread;
};

// The icon a message box window shows, told apart by comparing its icon
// control's icon with the platform's shared icons. Only works for boxes of
// this process.
UINT GetBoxIcon(HWND hWndBox);
