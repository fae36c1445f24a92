// WinINet's proxy and bypass lists as libcurl takes them.
#include "internal.h"

#include <gtest/gtest.h>

namespace wininet {
namespace {

TEST(ProxyList, EntryForTheScheme)
{
    struct Case {
        const char *list;
        const char *scheme;
        const char *expected;
    } cases[] = {
        {"proxy:8080", "http", "http://proxy:8080"},
        {"proxy:8080", "https", "http://proxy:8080"},
        {"proxy", "http", "http://proxy:80"},
        {"http://proxy:3128/", "gopher", "http://proxy:3128"},
        {"http=hp:1 https=sp:2", "https", "http://sp:2"},
        {"http=hp:1;https=sp:2", "http", "http://hp:1"},
        {"http=hp:1 https=sp:2", "gopher", ""},
        {"http=hp:1 other:9", "gopher", "http://other:9"},
        {"HTTP=hp:1", "http", "http://hp:1"},
        {"https=https://sp:443", "https", "http://sp:443"},
        {"socks=sk", "http", "socks4://sk:1080"},
        {"socks=sk:99 http=hp", "http", "http://hp:80"},
        {"[::1]:8080", "http", "http://[::1]:8080"},
        {"[::1]", "http", "http://[::1]:80"},
        {"", "http", ""},
        {" ; ", "http", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ProxyForScheme(c.list, c.scheme), c.expected) << c.list << " for " << c.scheme;
}

TEST(ProxyList, Bypass)
{
    struct Case {
        const char *list;
        const char *host;
        INTERNET_PORT port;
        bool expected;
    } cases[] = {
        {"<local>", "intranet", 80, true},
        {"<local>", "www.example.com", 80, false},
        {"<local>", "127.0.0.1", 80, false},
        {"127.0.0.1", "127.0.0.1", 8080, true},
        {"*.example.com", "www.example.com", 80, true},
        {"*.example.com", "example.com", 80, false},
        {"*.EXAMPLE.com", "WWW.example.COM", 80, true},
        {"10.*", "10.1.2.3", 80, true},
        {"10.*", "110.1.2.3", 80, false},
        {"a.test;b.test", "b.test", 80, true},
        {"a.test, b.test", "c.test", 80, false},
        {"host:8080", "host", 8080, true},
        {"host:8080", "host", 80, false},
        {"http://host", "host", 80, true},
        {"*", "anything.at.all", 1, true},
        {"", "host", 80, false},
        {"<-loopback>", "localhost", 80, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Bypassed(c.list, c.host, c.port), c.expected) << c.list << " / " << c.host;
}

TEST(ProxyList, Choice)
{
    Url url;
    ASSERT_EQ(ParseUrl("http://www.example.com/", url), 0u);
    ProxySettings direct;
    direct.accessType = INTERNET_OPEN_TYPE_DIRECT;
    direct.list = "ignored:1";
    ProxyChoice c = ChooseProxy(direct, url);
    EXPECT_FALSE(c.useEnvironment);
    EXPECT_EQ(c.proxy, "");

    ProxySettings proxy;
    proxy.accessType = INTERNET_OPEN_TYPE_PROXY;
    proxy.list = "p:3128";
    proxy.bypass = "*.example.com";
    EXPECT_EQ(ChooseProxy(proxy, url).proxy, "");
    proxy.bypass = "<local>";
    EXPECT_EQ(ChooseProxy(proxy, url).proxy, "http://p:3128");

    ProxySettings preconfig;
    EXPECT_TRUE(ChooseProxy(preconfig, url).useEnvironment);
    preconfig.accessType = INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
    EXPECT_TRUE(ChooseProxy(preconfig, url).useEnvironment);
}

}  // namespace
}  // namespace wininet
