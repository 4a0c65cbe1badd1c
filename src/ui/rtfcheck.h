#pragma once
#include <cstddef>

// Rich-edit readers have crashed on documents that break the format's own
// limits or nest deeper than their fixed stacks (Wine's style stack holds 32
// levels; its token and font-name buffers a few thousand bytes). A licence
// never comes near these, so a document beyond them is not shown at all.
constexpr int c_nMaxRtfGroupDepth = 30;
// The format allows control words of up to 32 letters and parameters of up
// to 10 digits.
constexpr size_t c_cchMaxRtfWord = 32;
constexpr size_t c_cchMaxRtfParam = 10;
// Font and style names are short; a reader copies each into a fixed buffer.
constexpr size_t c_cchMaxRtfTableEntry = 255;

// Checks an RTF document fed in chunks of any size against those limits.
// Escaped braces are text. Data after "\binN" is checked twice over: skipped,
// as the format defines it, and read as text, as a reader that does not know
// the word would.
class CRtfLimitScanner
{
public:
    void Scan(const char* pch, size_t cch);
    int GetMaxDepth() const;
    bool IsWithinLimits() const;

private:
    class CCounter
    {
    public:
        explicit CCounter(bool fSkipBinary) : m_fSkipBinary(fSkipBinary) {}
        void Feed(char ch);
        int GetMaxDepth() const { return m_nMaxDepth; }
        bool IsMalformed() const { return m_fMalformed; }

    private:
        enum ScanState
        {
            ScanStateText,
            ScanStateEscape,
            ScanStateWord,
            ScanStateParam,
            ScanStateBinary,
        };
        void FeedText(char ch);
        void EndWord(char ch);
        bool IsWord(const char* szWord) const;

        bool m_fSkipBinary;
        ScanState m_state = ScanStateText;
        int m_nDepth = 0;
        int m_nMaxDepth = 0;
        bool m_fMalformed = false;
        // Enough of the word to tell the few words that matter here.
        char m_szWord[12] = {};
        size_t m_cchWord = 0;
        size_t m_cchParam = 0;
        bool m_fNegative = false;
        unsigned long long m_cbParam = 0;
        unsigned long long m_cbBinaryLeft = 0;
        // The level of the font table or style sheet being read, 0 outside.
        int m_nTableDepth = 0;
        size_t m_cchTableEntry = 0;
    };

    CCounter m_skipping{true};
    CCounter m_reading{false};
};
