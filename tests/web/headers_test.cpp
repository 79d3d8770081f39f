// Cookie merging, response-header parsing and the address routines.
#include <gtest/gtest.h>

#include "web/web.h"

namespace {

TEST(Headers, HeaderValue) {
    EXPECT_EQ(headerValue("Location: http://a/b"), "http://a/b");
    EXPECT_EQ(headerValue("Location:http://a:8080/b  "), "http://a:8080/b");
    EXPECT_EQ(headerValue("X:　v　"), "v");
    EXPECT_EQ(headerValue("no colon"), "");
    EXPECT_EQ(headerValue("Empty:"), "");
}

TEST(Headers, CookieNames) {
    EXPECT_EQ(cookieName("a=1"), "a");
    EXPECT_EQ(cookieName(" a =1=2"), "a");
    EXPECT_EQ(cookieName("flag"), "flag");
    EXPECT_EQ(cookieName(""), "");
    EXPECT_EQ(cookieName("=v"), "");
    const TextList pieces{"A=1", "b=2", "c"};
    EXPECT_TRUE(hasCookieNamed(pieces, "b"));
    EXPECT_TRUE(hasCookieNamed(pieces, "c"));
    EXPECT_FALSE(hasCookieNamed(pieces, "a"));  // case counts
    EXPECT_FALSE(hasCookieNamed({}, ""));
}

TEST(Headers, MergeCookies) {
    struct Case {
        std::string oldCookies, newCookies, merged, newAfter;
    } cases[] = {
        {"a=1; b=2", "b=3; c=deleted", "b=3; a=1", "b=3;c=deleted"},
        {"a=1; b=2", "", "a=1; b=2", ""},
        {"a=1; x=deleted; b = 2", "", "a=1; b=2", ""},
        {"a=1;a=2", "", "a=1", ""},
        {"a=1", "a=5; a=6", "a=5; a=6", "a=5;a=6"},  // several new pieces of one name stay
        {"flag; a=1", "flag", "flag; a=1", "flag"},
        {"a=1;;b=2", "", "a=1; ; b=2", ""},
        {"v=x y", "", "v=xy", ""},  // spaces inside values are lost
        {"", "", "", ""},
        {"", "s=1", "s=1", "s=1"},
        {"a=1", "a=deleted", "", "a=deleted"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.oldCookies + " + " + c.newCookies);
        std::string oldCookies = c.oldCookies, newCookies = c.newCookies;
        EXPECT_EQ(mergeCookies(oldCookies, newCookies), c.merged);
        EXPECT_EQ(oldCookies, c.merged);
        EXPECT_EQ(newCookies, c.newAfter);
    }
}

TEST(Headers, ParseResponseHeaders) {
    struct Case {
        std::string raw, cookiesIn, locationIn;
        std::string cookies, newCookies, location;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nSet-Cookie: b=3; path=/\r\nSet-Cookie: c=deleted; path=/\r\n\r\n",
         "a=1; b=2", "", "b=3; a=1", "b=3;c=deleted",
         "HTTP/1.1 200 OK\r\nSet-Cookie: b=3; path=/\r\nSet-Cookie: c=deleted; path=/\r\n\r\n"},
        {"HTTP/1.1 302 Found\r\nLocation: http://a/b\r\n\r\n", "", "", "", "", "http://a/b"},
        {"HTTP/1.1 200 OK\r\nContent-Location: /c\r\n\r\n", "", "", "", "", "/c"},
        {"HTTP/1.1 301 Moved\r\nLocation: /1\r\nLocation: /2\r\n\r\n", "", "", "", "", "/2"},
        {"HTTP/1.1 200 OK\r\n\r\n", "", "kept", "", "", "kept"},
        {"HTTP/1.1 200 OK\r\nset-cookie: z=1; path=/\r\n\r\n", "a=1", "x", "a=1", "", "x"},
        {"HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\n\r\n", "a=1", "x", "s=1; a=1", "s=1", "x"},
        {"HTTP/1.1 200 OK\r\nSet-Cookie:SID=ab cd;\r\n\r\n", "", "x", "SID=abcd", "SID=abcd", "x"},
        {"", "a=1; b=deleted", "", "a=1", "", ""},
        {std::string(5000, ' '), "a = 1", "", "a=1", "", std::string(5000, ' ')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw.substr(0, 60));
        std::string cookies = c.cookiesIn, newCookies = "stale", location = c.locationIn;
        parseResponseHeaders(c.raw, newCookies, location, cookies);
        EXPECT_EQ(cookies, c.cookies);
        EXPECT_EQ(newCookies, c.newCookies);
        EXPECT_EQ(location, c.location);
    }
}

TEST(Headers, UrlRoutines) {
    struct Case {
        std::string url, host, hostWithPort;
        int port;
        std::string path;
    } cases[] = {
        {"example.com/a", "example.com", "example.com", 80, "/a"},
        {"HTTPS://Example.com:8443/Q?x=1", "example.com", "example.com:8443", 8443, "/Q?x=1"},
        {"https://Example.com/Path", "example.com", "example.com", 443, "/Path"},
        {"http://host", "host", "host", 80, "/"},
        {"http://host?x=1", "host?x=1", "host?x=1", 80, "/"},
        {"http://h:ab/", "h", "h:ab", 0, "/"},
        {"http://t/x", "t", "t", 80, "/x"},
        {"HTTPS://tp:1/p", "tp", "tp:1", 1, "/p"},
        {"http://127.0.0.1:8080/ip.php?a=1&b=%20", "127.0.0.1", "127.0.0.1:8080", 8080,
         "/ip.php?a=1&b=%20"},
        {"www.IP138.com/ips138.asp?ip=1.2.3.4&action=2", "www.ip138.com", "www.ip138.com", 80,
         "/ips138.asp?ip=1.2.3.4&action=2"},
        {"http://a.b/c/d#f", "a.b", "a.b", 80, "/c/d#f"},
        {"", "", "", 80, "/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(urlHost(c.url, false), c.host);
        EXPECT_EQ(urlHost(c.url, true), c.hostWithPort);
        EXPECT_EQ(urlPort(c.url), c.port);
        EXPECT_EQ(urlPath(c.url), c.path);
    }
}

TEST(Headers, EncodePathText) {
    struct Case {
        std::string text, path;
    } cases[] = {
        {"1.2.3.4", "1.2.3.4"},
        {" \t1.2.3.4 \r\n", "1.2.3.4"},
        {"　1.2.3.4　 ", "1.2.3.4"},  // full-width spaces
        {"::1", "::1"},
        {"1.2.3.4/../x", "1.2.3.4%2F..%2Fx"},
        {"1.2.3.4&action=1#x?y", "1.2.3.4%26action%3D1%23x%3Fy"},
        {"a b_c~d+e%41", "a%20b%5Fc%7Ed%2Be%2541"},
        {"上海", "%C9%CF%BA%A3"},
        {std::string("a\0b\xff", 4), "a%00b%FF"},
        {"   ", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(encodePathText(c.text), c.path) << c.text;
}

}  // namespace
