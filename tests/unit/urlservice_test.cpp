#include "platform/urlservice.h"
#include <gtest/gtest.h>
#include <string.h>

TEST(HttpStatusLineTest, OnlyAWellFormedStatusLineCounts)
{
    struct
    {
        const char* szHeaders;
        DWORD dwStatus;
    } const rgCases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n", 200},
        {"HTTP/1.0 404 Not Found\r\n", 404},
        {"HTTP/1.1 500\r\n", 500},
        {"http/1.1 503 Service Unavailable", 503},
        {"HTTP/2 301 Moved", 301},
        {"HTTP/1.1  404 Two blanks", 404},
        {"HTTP/1.1 4040 Too long", 0},
        {"HTTP/1.1 40 Too short", 0},
        {"HTTP/1.1 40x Letters", 0},
        {"HTTP/1.1\r\n404", 0},
        {"XTTP/1.1 404 Not HTTP", 0},
        {"HTTP/", 0},
        {"", 0},
    };
    for (const auto& test : rgCases)
    {
        EXPECT_EQ(test.dwStatus, ParseHttpStatusLine(test.szHeaders, strlen(test.szHeaders))) << test.szHeaders;
    }
    // The block's length bounds the read, whatever follows it.
    EXPECT_EQ(0u, ParseHttpStatusLine("HTTP/1.1 404", 11));
    EXPECT_EQ(404u, ParseHttpStatusLine("HTTP/1.1 4044", 12));
    EXPECT_EQ(0u, ParseHttpStatusLine(nullptr, 10));
}
