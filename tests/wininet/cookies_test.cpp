// The cookie calls on the process-wide store, without a server.
#include "support.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

class Cookies : public test::WinInetTest {
protected:
    // The cookie text for url, or "<error n>".
    static std::string Get(const char *url, const char *name = nullptr, DWORD flags = 0)
    {
        char buffer[1024];
        DWORD size = sizeof buffer;
        BOOL ok = name || flags ? InternetGetCookieExA(url, name, buffer, &size, flags, nullptr)
                                : InternetGetCookieA(url, nullptr, buffer, &size);
        if (!ok)
            return "<error " + std::to_string(GetLastError()) + ">";
        return buffer;
    }
    // A second process's view of the store, through the same per-user folder.
    static std::string Probe(const std::string &url)
    {
        std::string command = std::string(COOKIE_PROBE) + " '" + url + "'";
        FILE *pipe = popen(command.c_str(), "r");
        if (!pipe)
            return "<no probe>";
        char line[1024] = {};
        if (!std::fgets(line, sizeof line, pipe))
            line[0] = '\0';
        pclose(pipe);
        std::string out = line;
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }
};

const char kUrl[] = "http://cookies.example/dir/page.html";

std::string NoItems() { return "<error " + std::to_string(ERROR_NO_MORE_ITEMS) + ">"; }

TEST_F(Cookies, NoCookieIsNoMoreItems)
{
    DWORD size = 100;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetGetCookieA(kUrl, nullptr, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    char buffer[16];
    size = sizeof buffer;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetGetCookieExA(kUrl, "n", buffer, &size, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
}

TEST_F(Cookies, SizeQueryCountsTheZero)
{
    ASSERT_TRUE(InternetSetCookieA(kUrl, nullptr, "n1=v1"));
    ASSERT_TRUE(InternetSetCookieA(kUrl, "n2", "v2"));
    const std::string expected = "n1=v1; n2=v2";
    const DWORD needed = static_cast<DWORD>(expected.size() + 1);

    DWORD size = 0;
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(InternetGetCookieA(kUrl, nullptr, nullptr, &size));
    EXPECT_EQ(size, needed);

    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    size = needed - 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetGetCookieA(kUrl, nullptr, buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, needed);
    EXPECT_EQ(buffer[0], 'x');

    size = needed;
    ASSERT_TRUE(InternetGetCookieA(kUrl, nullptr, buffer, &size));
    EXPECT_EQ(std::string(buffer), expected);
    EXPECT_EQ(size, needed - 1);

    size = 0;
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(InternetGetCookieExA(kUrl, "n2", nullptr, &size, 0, nullptr));
    EXPECT_EQ(size, sizeof "n2=v2");
    EXPECT_EQ(Get(kUrl, "n2"), "n2=v2");
    EXPECT_EQ(Get(kUrl, "n3"), NoItems());
}

TEST_F(Cookies, ExStatesAndBadArguments)
{
    EXPECT_EQ(InternetSetCookieExA(kUrl, "a", "1", 0, 0), static_cast<DWORD>(COOKIE_STATE_ACCEPT));
    EXPECT_EQ(InternetSetCookieExA(kUrl, nullptr, "b=2", INTERNET_COOKIE_THIRD_PARTY, 0),
              static_cast<DWORD>(COOKIE_STATE_ACCEPT));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(InternetSetCookieExA(kUrl, "a", nullptr, 0, 0), static_cast<DWORD>(COOKIE_STATE_UNKNOWN));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetSetCookieA(nullptr, "a", "1"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetSetCookieA(kUrl, nullptr, "no-equals-sign"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetSetCookieA("not a url", "a", "1"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetGetCookieA(kUrl, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Cookies, AnExpiredCookieDeletesTheStoredOne)
{
    ASSERT_TRUE(InternetSetCookieA(kUrl, "keep", "1; expires=Fri, 01 Jan 2100 00:00:00 GMT"));
    ASSERT_TRUE(InternetSetCookieA(kUrl, "gone", "1; expires=Fri, 01 Jan 2100 00:00:00 GMT"));
    EXPECT_EQ(InternetSetCookieExA(kUrl, "gone", "x; expires=Thu, 01 Jan 1970 00:00:10 GMT", 0, 0),
              static_cast<DWORD>(COOKIE_STATE_ACCEPT));
    EXPECT_EQ(Get(kUrl), "keep=1");
    ASSERT_TRUE(InternetSetCookieA(kUrl, "keep", "1; max-age=0"));
    EXPECT_EQ(Get(kUrl), NoItems());
    // A lifetime too long to add to today is long, not past.
    ASSERT_TRUE(InternetSetCookieA(kUrl, "long", "1; max-age=9223372036854775807"));
    EXPECT_EQ(Get(kUrl), "long=1");
}

TEST_F(Cookies, PathAndDomainScope)
{
    // Without a Path the cookie belongs to the URL's directory.
    ASSERT_TRUE(InternetSetCookieA("http://www.example.com/dir/page.html", "here", "1"));
    EXPECT_EQ(Get("http://www.example.com/dir/other"), "here=1");
    EXPECT_EQ(Get("http://www.example.com/dir"), "here=1");
    EXPECT_EQ(Get("http://www.example.com/directory"), NoItems());
    EXPECT_EQ(Get("http://www.example.com/"), NoItems());
    EXPECT_EQ(Get("http://other.example.com/dir/x"), NoItems());

    // A Domain covers the domain and the hosts in it.
    ASSERT_TRUE(InternetSetCookieA("http://www.example.com/", "wide", "2; domain=.example.com; path=/"));
    EXPECT_EQ(Get("http://other.example.com/"), "wide=2");
    EXPECT_EQ(Get("http://example.com/"), "wide=2");
    EXPECT_EQ(Get("http://notexample.com/"), NoItems());

    // Longer paths first.
    EXPECT_EQ(Get("http://www.example.com/dir/x"), "here=1; wide=2");

    // A domain the URL is not in, or no domain at all, is refused.
    for (const char *data : {"v; domain=other.org", "v; domain=com", "v; domain=.www.example.com.evil"}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(InternetSetCookieA("http://www.example.com/", "bad", data)) << data;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << data;
    }
    // A host that starts with a dot is no host: its cookie would be example.com's.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetSetCookieA("http://.example.com/", "dot", "1"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Get("http://example.com/"), "wide=2");
}

TEST_F(Cookies, SecureCookiesOnlyForHttps)
{
    ASSERT_TRUE(InternetSetCookieA("https://secure.example/", "s", "1; secure; path=/"));
    EXPECT_EQ(Get("https://secure.example/"), "s=1");
    EXPECT_EQ(Get("http://secure.example/"), NoItems());
}

TEST_F(Cookies, HttpOnlyCookiesNeedTheFlag)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(InternetSetCookieExA(kUrl, "h", "1; HttpOnly", 0, 0), static_cast<DWORD>(COOKIE_STATE_UNKNOWN));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_OPERATION));
    EXPECT_EQ(InternetSetCookieExA(kUrl, "h", "1; HttpOnly", INTERNET_COOKIE_HTTPONLY, 0),
              static_cast<DWORD>(COOKIE_STATE_ACCEPT));
    EXPECT_EQ(Get(kUrl), NoItems());
    EXPECT_EQ(Get(kUrl, nullptr, INTERNET_COOKIE_HTTPONLY), "h=1");
}

TEST_F(Cookies, PersistentCookiesOutliveTheProcessSessionCookiesDoNot)
{
    const std::string url = "http://persist.example/";
    ASSERT_TRUE(InternetSetCookieA(url.c_str(), "session", "s"));
    ASSERT_TRUE(InternetSetCookieA(url.c_str(), "stored", "p; max-age=3600"));
    EXPECT_EQ(Get(url.c_str()), "session=s; stored=p");

    // The file holds the persistent one only.
    std::string file = test::ReadFile(UserDir() + "/cookies.txt");
    EXPECT_NE(file.find("stored\tp"), std::string::npos) << file;
    EXPECT_EQ(file.find("session"), std::string::npos) << file;

    EXPECT_EQ(Probe(url), "stored=p");

    // Deleted here, gone for the next process too.
    ASSERT_TRUE(InternetSetCookieA(url.c_str(), "stored", "p; max-age=0"));
    EXPECT_EQ(Probe(url), "none " + std::to_string(ERROR_NO_MORE_ITEMS));
}

TEST_F(Cookies, NothingIsWrittenWithoutPersistentCookies)
{
    ASSERT_TRUE(InternetSetCookieA(kUrl, "session", "s"));
    EXPECT_FALSE(test::Exists(UserDir() + "/cookies.txt"));
}

TEST_F(Cookies, EndingTheBrowserSessionDropsSessionCookies)
{
    ASSERT_TRUE(InternetSetCookieA(kUrl, "session", "s"));
    ASSERT_TRUE(InternetSetCookieA(kUrl, "stored", "p; max-age=3600"));
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0));
    EXPECT_EQ(Get(kUrl), "stored=p");
}

}  // namespace
