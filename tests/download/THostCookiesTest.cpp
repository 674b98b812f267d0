#include "download/THostCookies.h"

#include <gtest/gtest.h>

// Catches a cookie from HTTPS leaking onto plain HTTP, one from plain HTTP kept off HTTPS, a newer
// cookie not taking the older one's place, and hosts sharing cookies.
TEST(THostCookiesTest, HttpsCookiesNeverGoOverPlainHttp)
{
    THostCookies cookies;
    cookies.Store("a.example", "plain=1", false);
    cookies.Store("s.example", "secure=1", true);
    EXPECT_EQ(cookies.ForRequest("a.example", false), "plain=1");
    EXPECT_EQ(cookies.ForRequest("a.example", true), "plain=1");
    EXPECT_EQ(cookies.ForRequest("s.example", true), "secure=1");
    EXPECT_EQ(cookies.ForRequest("s.example", false), "");
    EXPECT_EQ(cookies.ForRequest("other.example", true), "");
    cookies.Store("a.example", "secure=2", true);
    EXPECT_EQ(cookies.ForRequest("a.example", false), "") << "the last cookie came over HTTPS";
}
