#include "ui/rtfcheck.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <string>

namespace
{
struct RtfVerdict
{
    int nDepth;
    bool fWithinLimits;
};

RtfVerdict ScanInChunks(const std::string& strRtf, size_t cchChunk)
{
    CRtfLimitScanner scanner;
    for (size_t i = 0; i < strRtf.size(); i += cchChunk)
    {
        scanner.Scan(strRtf.data() + i, std::min(cchChunk, strRtf.size() - i));
    }
    return {scanner.GetMaxDepth(), scanner.IsWithinLimits()};
}

std::string Nest(int cLevels)
{
    return std::string(static_cast<size_t>(cLevels), '{') + "x" + std::string(static_cast<size_t>(cLevels), '}');
}

std::string FontTable(const std::string& strName)
{
    return "{\\rtf1{\\fonttbl{\\f0\\fswiss " + strName + ";}{\\f1 Arial;}}\\f0 Terms\\par}";
}
}

TEST(RtfLimitTest, DocumentsAreMeasuredAsAReaderSeesThem)
{
    const std::string strWord32 = "{\\" + std::string(c_cchMaxRtfWord, 'w') + " x}";
    const std::string strWord33 = "{\\" + std::string(c_cchMaxRtfWord + 1, 'w') + " x}";
    struct
    {
        const char* szName;
        std::string strRtf;
        int nDepth;
        bool fWithinLimits;
    } const rgCases[] = {
        {"empty", "", 0, true},
        {"plain document", "{\\rtf1\\ansi{\\fonttbl{\\f0 Tahoma;}}\\f0 Terms\\par}", 3, true},
        {"deepest allowed nesting", Nest(c_nMaxRtfGroupDepth), c_nMaxRtfGroupDepth, true},
        {"one level deeper", Nest(c_nMaxRtfGroupDepth + 1), c_nMaxRtfGroupDepth + 1, false},
        {"escaped braces are text", "{\\rtf1 \\{\\{\\{\\} \\\\{x}}", 2, true},
        {"a stray close never goes below zero", "}}}}{{x}}", 2, true},
        {"hex escapes are text", "{\\'7b\\'7b{x}}", 2, true},
        {"control word ended by a brace", "{\\b{x}}", 2, true},
        {"\\bin data holds closing braces", "{\\bin4 }}}}{{x}}}", 3, true},
        {"\\bin data holds opening braces", "{\\bin4 {{{{x}", 5, true},
        {"\\bin without a space delimiter", "{\\bin2{{x}", 3, true},
        {"\\bin with a huge count hides nothing", "{\\bin9999999999 {{{{{{x", 7, true},
        {"\\bin0 and \\bin-3 carry no data", "{\\bin0 {\\bin-3 {x}}}", 3, true},
        {"\\binary is another word", "{\\binary4 }}}}{x", 1, true},
        {"a backslash at the very end", "{{x}\\", 2, true},
        {"longest control word", strWord32, 1, true},
        {"control word one letter too long", strWord33, 1, false},
        {"ten-digit parameter", "{\\fs1234567890 x}", 1, true},
        {"eleven-digit parameter", "{\\fs12345678901 x}", 1, false},
        {"ten digits after a minus", "{\\li-1234567890 x}", 1, true},
        {"long text outside tables", "{\\rtf1 " + std::string(20000, 't') + "}", 1, true},
        {"longest font name", FontTable(std::string(c_cchMaxRtfTableEntry, 'N')), 3, true},
        {"font name one byte too long", FontTable(std::string(c_cchMaxRtfTableEntry + 1, 'N')), 3, false},
        {"style name too long", "{\\rtf1{\\stylesheet{\\s1 " + std::string(300, 'S') + ";}}x}", 3, false},
        {"text after the font table is free", FontTable("Tahoma") + std::string(1000, 't'), 3, true},
        {"long name hidden in \\bin data", "{\\rtf1{\\fonttbl{\\f0 \\bin300 " + std::string(300, 'N') + ";}}}", 3, false},
    };
    for (const auto& test : rgCases)
    {
        RtfVerdict verdict = ScanInChunks(test.strRtf, test.strRtf.size() + 1);
        EXPECT_EQ(test.nDepth, verdict.nDepth) << test.szName;
        EXPECT_EQ(test.fWithinLimits, verdict.fWithinLimits) << test.szName;
        // Where the reader's chunks end changes nothing.
        for (size_t cchChunk = 1; cchChunk <= 4; ++cchChunk)
        {
            RtfVerdict chunked = ScanInChunks(test.strRtf, cchChunk);
            EXPECT_EQ(verdict.nDepth, chunked.nDepth) << test.szName << " in chunks of " << cchChunk;
            EXPECT_EQ(verdict.fWithinLimits, chunked.fWithinLimits) << test.szName << " in chunks of " << cchChunk;
        }
    }
}
