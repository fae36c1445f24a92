// Names from the per-user hosts file: listed names reach their address at any
// port, every other name is not resolved, and the machine's resolver is never asked.
#include "support.h"

using test::Download;
using test::Fetch;
using test::Internet;
using test::Servers;

namespace {

class Names : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
    }
    void Hosts(const std::string &text) { test::WriteFile(UserDir() + "/hosts", text); }
    HINTERNET session() const { return session_.get(); }
    static std::string Port(const char *key) { return Servers::Get().Value(key); }

private:
    Internet session_;
};

TEST_F(Names, AListedNameReachesItsAddress)
{
    Hosts("127.0.0.1 localhost\n127.0.0.1 web.brevanto.test Gopher.Brevanto.Test\n");
    Download web = Fetch(session(), "http://web.brevanto.test:" + Port("HTTP_PORT") + "/hello.txt");
    ASSERT_TRUE(web.complete) << web.error;
    EXPECT_EQ(web.body, "Hello from nginx\n");
    Download gopher = Fetch(session(), "gopher://gopher.brevanto.test:" + Port("GOPHER_PORT") + "/0/text.txt");
    EXPECT_TRUE(gopher.complete) << gopher.error;
    SetLastError(0xdeadbeef);
    Internet ftp(InternetConnectA(session(), "WEB.brevanto.test", static_cast<INTERNET_PORT>(std::stoi(Port("FTP_PORT"))),
                                  nullptr, nullptr, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
    EXPECT_TRUE(ftp) << GetLastError();
}

TEST_F(Names, EveryOtherNameIsNotResolved)
{
    Hosts("127.0.0.1 localhost\n");
    for (std::string url : {"http://nowhere.brevanto.test:" + Port("HTTP_PORT") + "/hello.txt",
                            "https://nowhere.brevanto.test:" + Port("HTTPS_PORT") + "/hello.txt",
                            "gopher://nowhere.brevanto.test:" + Port("GOPHER_PORT") + "/0/text.txt",
                            "ftp://nowhere.brevanto.test:" + Port("FTP_PORT") + "/hello.txt",
                            "http://localhost.localdomain:" + Port("HTTP_PORT") + "/hello.txt"}) {
        SetLastError(0xdeadbeef);
        Internet file(InternetOpenUrlA(session(), url.c_str(), nullptr, 0, 0, 0));
        EXPECT_FALSE(file) << url;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED)) << url;
    }
    SetLastError(0xdeadbeef);
    Internet ftp(InternetConnectA(session(), "nowhere.brevanto.test", static_cast<INTERNET_PORT>(std::stoi(Port("FTP_PORT"))),
                                  nullptr, nullptr, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
    EXPECT_FALSE(ftp);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
}

TEST_F(Names, AnEmptyFileLeavesOnlyAddresses)
{
    Hosts("# nothing listed\n");
    EXPECT_EQ(Fetch(session(), "http://localhost:" + Port("HTTP_PORT") + "/hello.txt").error,
              static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
    EXPECT_TRUE(Fetch(session(), Servers::Get().Http("/hello.txt")).complete);
}

TEST_F(Names, RedirectsFollowTheFile)
{
    // /redirect-tls sends the client to https://localhost at another port.
    TrustTestCa();
    std::string url = "http://alias.brevanto.test:" + Port("HTTP_PORT") + "/redirect-tls";
    Hosts("127.0.0.1 alias.brevanto.test localhost\n");
    Download listed = Fetch(session(), url, INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);
    ASSERT_TRUE(listed.complete) << listed.error;
    EXPECT_EQ(listed.body, "Hello from nginx\n");
    Hosts("127.0.0.1 alias.brevanto.test\n");
    Download unlisted = Fetch(session(), url, INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);
    EXPECT_FALSE(unlisted.complete);
    EXPECT_EQ(unlisted.error, static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
}

TEST_F(Names, AProxyByNameAndTheNameItResolves)
{
    // nginx answers an absolute URL as a proxy would: the target's name is the proxy's business.
    Hosts("127.0.0.1 proxy.brevanto.test\n");
    std::string list = "proxy.brevanto.test:" + Port("HTTP_PORT");
    Internet proxied(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, list.c_str(), nullptr, 0));
    Download d = Fetch(proxied.get(), "http://only-the-proxy-knows.invalid/hello.txt");
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, "Hello from nginx\n");
    std::string unlisted = "unlisted-proxy.brevanto.test:" + Port("HTTP_PORT");
    Internet lost(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, unlisted.c_str(), nullptr, 0));
    EXPECT_EQ(Fetch(lost.get(), Servers::Get().Http("/hello.txt")).error,
              static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
}

TEST_F(Names, AProxyFromTheEnvironmentByListedName)
{
    Hosts("127.0.0.1 envproxy.brevanto.test\n");
    std::string proxy = "http://envproxy.brevanto.test:" + Port("HTTP_PORT");
    test::ScopedEnv http("http_proxy", proxy.c_str());
    test::ScopedEnv none("no_proxy", nullptr);
    test::ScopedEnv noneUpper("NO_PROXY", nullptr);
    Internet preconfig(InternetOpenA("t", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    Download d = Fetch(preconfig.get(), "http://only-the-proxy-knows.invalid/hello.txt");
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, "Hello from nginx\n");
}

}  // namespace
