// Access types and proxy lists, with the environment PRECONFIG reads.
#include "support.h"

using test::Download;
using test::Fetch;
using test::Internet;
using test::ScopedEnv;
using test::Servers;

namespace {

class Proxies : public test::WinInetTest {
protected:
    std::string refused() const { return "127.0.0.1:" + std::to_string(test::RefusedPort()); }
    std::string nginx() const { return "127.0.0.1:" + Servers::Get().Value("HTTP_PORT"); }
};

TEST_F(Proxies, DirectIgnoresTheEnvironment)
{
    std::string proxy = "http://" + refused();
    ScopedEnv http("http_proxy", proxy.c_str());
    ScopedEnv all("ALL_PROXY", proxy.c_str());
    Internet direct(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    Download d = Fetch(direct.get(), Servers::Get().Http("/hello.txt"));
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, "Hello from nginx\n");
}

TEST_F(Proxies, PreconfigTakesTheEnvironment)
{
    std::string proxy = "http://" + refused();
    ScopedEnv http("http_proxy", proxy.c_str());
    ScopedEnv none("no_proxy", nullptr);
    ScopedEnv noneUpper("NO_PROXY", nullptr);
    for (DWORD type : {INTERNET_OPEN_TYPE_PRECONFIG, INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY}) {
        Internet preconfig(InternetOpenA("t", type, nullptr, nullptr, 0));
        Download d = Fetch(preconfig.get(), Servers::Get().Http("/hello.txt"));
        EXPECT_FALSE(d.opened) << type;
        EXPECT_EQ(d.error, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT)) << type;
    }
}

TEST_F(Proxies, UnreachableProxyCannotConnect)
{
    std::string list = refused();
    Internet proxied(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, list.c_str(), nullptr, 0));
    ASSERT_TRUE(proxied);
    Download d = Fetch(proxied.get(), Servers::Get().Http("/hello.txt"));
    EXPECT_FALSE(d.opened);
    EXPECT_EQ(d.error, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
}

TEST_F(Proxies, RequestsGoThroughTheProxy)
{
    // nginx answers a request for an absolute URL as a proxy would: the name
    // below resolves nowhere, so only the proxy can have fetched it.
    std::string list = nginx();
    Internet proxied(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, list.c_str(), nullptr, 0));
    Download d = Fetch(proxied.get(), "http://through-the-proxy.invalid/hello.txt");
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, "Hello from nginx\n");
    // Without the proxy the name does not resolve.
    Internet direct(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    EXPECT_EQ(Fetch(direct.get(), "http://through-the-proxy.invalid/hello.txt").error,
              static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
}

TEST_F(Proxies, ListsPerScheme)
{
    std::string list = "https=" + refused() + " http=" + nginx();
    Internet proxied(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, list.c_str(), nullptr, 0));
    Download viaProxy = Fetch(proxied.get(), "http://per-scheme.invalid/hello.txt");
    ASSERT_TRUE(viaProxy.complete) << viaProxy.error;
    // Gopher has no entry: it goes direct.
    Download gopher = Fetch(proxied.get(), Servers::Get().Gopher("/0/text.txt"));
    EXPECT_TRUE(gopher.complete) << gopher.error;
}

TEST_F(Proxies, BypassListGoesDirect)
{
    std::string list = refused();
    for (const char *bypass : {"127.0.0.1", "127.0.0.*", "<local>;127.*"}) {
        Internet proxied(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, list.c_str(), bypass, 0));
        Download d = Fetch(proxied.get(), Servers::Get().Http("/hello.txt"));
        EXPECT_TRUE(d.complete) << bypass << " " << d.error;
    }
    Internet local(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, list.c_str(), "<local>", 0));
    EXPECT_TRUE(Fetch(local.get(), "http://localhost:" + Servers::Get().Value("HTTP_PORT") + "/hello.txt").complete);
    EXPECT_EQ(Fetch(local.get(), Servers::Get().Http("/hello.txt")).error,
              static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
}

TEST_F(Proxies, ProcessWideSettingServesPreconfig)
{
    ScopedEnv http("http_proxy", nullptr);
    std::string list = refused();
    INTERNET_PROXY_INFO info = {INTERNET_OPEN_TYPE_PROXY, list.c_str(), nullptr};
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_PROXY, &info, sizeof info));
    Internet preconfig(InternetOpenA("t", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    EXPECT_EQ(Fetch(preconfig.get(), Servers::Get().Http("/hello.txt")).error,
              static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
    Internet direct(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    EXPECT_TRUE(Fetch(direct.get(), Servers::Get().Http("/hello.txt")).complete);
    INTERNET_PROXY_INFO environment = {INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr};
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_PROXY, &environment, sizeof environment));
}

}  // namespace
