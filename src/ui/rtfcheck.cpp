#include "ui/rtfcheck.h"
#include <algorithm>
#include <cstring>

namespace
{
bool IsAsciiLetter(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

bool IsAsciiDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

// Larger counts only mean "the rest of the document".
constexpr unsigned long long c_cbParamCap = 1ull << 40;
}

void CRtfLimitScanner::Scan(const char* pch, size_t cch)
{
    for (size_t i = 0; i < cch; ++i)
    {
        m_skipping.Feed(pch[i]);
        m_reading.Feed(pch[i]);
    }
}

int CRtfLimitScanner::GetMaxDepth() const
{
    return std::max(m_skipping.GetMaxDepth(), m_reading.GetMaxDepth());
}

bool CRtfLimitScanner::IsWithinLimits() const
{
    return GetMaxDepth() <= c_nMaxRtfGroupDepth && !m_skipping.IsMalformed() && !m_reading.IsMalformed();
}

void CRtfLimitScanner::CCounter::Feed(char ch)
{
    switch (m_state)
    {
    case ScanStateBinary:
        if (--m_cbBinaryLeft == 0)
        {
            m_state = ScanStateText;
        }
        break;
    case ScanStateEscape:
        if (IsAsciiLetter(ch))
        {
            m_state = ScanStateWord;
            m_szWord[0] = ch;
            m_cchWord = 1;
        }
        else
        {
            // A control symbol: "\{", "\}" and "\\" are text.
            m_state = ScanStateText;
        }
        break;
    case ScanStateWord:
        if (IsAsciiLetter(ch))
        {
            if (m_cchWord < sizeof(m_szWord))
            {
                m_szWord[m_cchWord] = ch;
            }
            m_fMalformed = m_fMalformed || ++m_cchWord > c_cchMaxRtfWord;
        }
        else if (IsAsciiDigit(ch) || ch == '-')
        {
            m_state = ScanStateParam;
            m_fNegative = ch == '-';
            m_cchParam = m_fNegative ? 0 : 1;
            m_cbParam = m_fNegative ? 0 : static_cast<unsigned long long>(ch - '0');
        }
        else
        {
            m_cbParam = 0;
            EndWord(ch);
        }
        break;
    case ScanStateParam:
        if (IsAsciiDigit(ch))
        {
            m_cbParam = std::min(c_cbParamCap, m_cbParam * 10 + static_cast<unsigned long long>(ch - '0'));
            m_fMalformed = m_fMalformed || ++m_cchParam > c_cchMaxRtfParam;
        }
        else
        {
            EndWord(ch);
        }
        break;
    default:
        FeedText(ch);
        break;
    }
}

void CRtfLimitScanner::CCounter::FeedText(char ch)
{
    if (ch == '\\')
    {
        m_state = ScanStateEscape;
        return;
    }
    if (ch == '{')
    {
        ++m_nDepth;
        m_nMaxDepth = std::max(m_nMaxDepth, m_nDepth);
    }
    else if (ch == '}' && m_nDepth > 0)
    {
        --m_nDepth;
        if (m_nDepth < m_nTableDepth)
        {
            m_nTableDepth = 0;
        }
    }
    if (m_nTableDepth == 0)
    {
        return;
    }
    if (ch == '{' || ch == '}' || ch == ';')
    {
        m_cchTableEntry = 0;
    }
    else
    {
        m_fMalformed = m_fMalformed || ++m_cchTableEntry > c_cchMaxRtfTableEntry;
    }
}

bool CRtfLimitScanner::CCounter::IsWord(const char* szWord) const
{
    size_t cchWord = strlen(szWord);
    return m_cchWord == cchWord && memcmp(m_szWord, szWord, cchWord) == 0;
}

// A space ends a control word and belongs to it; any other character ends it
// and is read on its own, or, after "\binN", is the first byte of the data.
void CRtfLimitScanner::CCounter::EndWord(char ch)
{
    if (m_nTableDepth == 0 && (IsWord("fonttbl") || IsWord("stylesheet")))
    {
        // A table outside any group stays open to the end.
        m_nTableDepth = std::max(m_nDepth, 1);
        m_cchTableEntry = 0;
    }
    bool fBinary = m_fSkipBinary && IsWord("bin") && !m_fNegative && m_cbParam > 0;
    m_state = ScanStateText;
    if (fBinary)
    {
        m_state = ScanStateBinary;
        m_cbBinaryLeft = m_cbParam;
        if (ch != ' ')
        {
            Feed(ch);
        }
    }
    else if (ch != ' ')
    {
        FeedText(ch);
    }
}
