// What really happened on the network, as the WinINet code for it.
#include "support.h"

using test::Download;
using test::Fetch;
using test::Internet;
using test::Servers;

namespace {

class Faults : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
    }
    HINTERNET session() const { return session_.get(); }
    void ShortTimeouts()
    {
        DWORD timeout = 500;
        ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
    }
    static DWORD OpenError(HINTERNET session, const std::string &url)
    {
        SetLastError(0xdeadbeef);
        HINTERNET h = InternetOpenUrlA(session, url.c_str(), nullptr, 0, 0, 0);
        if (h) {
            InternetCloseHandle(h);
            return 0;
        }
        return GetLastError();
    }

private:
    Internet session_;
};

TEST_F(Faults, RefusedPort)
{
    std::string url = "http://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/";
    EXPECT_EQ(OpenError(session(), url), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
    EXPECT_EQ(OpenError(session(), "gopher://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/"),
              static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
}

TEST_F(Faults, UnknownHost)
{
    EXPECT_EQ(OpenError(session(), "http://no-such-host.invalid/"), static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
}

TEST_F(Faults, StalledServerBeforeTheHead)
{
    ShortTimeouts();
    EXPECT_EQ(OpenError(session(), Servers::Get().Fault("/stall")), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
}

TEST_F(Faults, StalledServerInTheBody)
{
    Internet file(InternetOpenUrlA(session(), Servers::Get().Fault("/stall-body").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(file);
    // The URL handle's own timeout rules its reads.
    DWORD timeout = 300;
    ASSERT_TRUE(InternetSetOptionA(file.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
    std::string buffer(4096, '\0');
    std::size_t total = 0;
    DWORD got = 0;
    BOOL ok;
    while ((ok = InternetReadFile(file.get(), buffer.data(), 4096, &got)) && got)
        total += got;
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
    EXPECT_EQ(total, 10240u);
    // A handle that timed out stays failed.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetReadFile(file.get(), buffer.data(), 4096, &got));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
}

TEST_F(Faults, ResetInTheBodyAfterTheDataSoFar)
{
    Download d = Fetch(session(), Servers::Get().Fault("/reset-body"));
    ASSERT_TRUE(d.opened) << d.error;
    EXPECT_FALSE(d.complete);
    EXPECT_EQ(d.error, static_cast<DWORD>(ERROR_INTERNET_CONNECTION_RESET));
    EXPECT_EQ(d.body.size(), 10240u);
}

TEST_F(Faults, ResetBeforeAnyReply)
{
    DWORD e = OpenError(session(), Servers::Get().Fault("/reset"));
    EXPECT_TRUE(e == ERROR_INTERNET_CONNECTION_RESET || e == ERROR_INTERNET_CONNECTION_ABORTED) << e;
}

TEST_F(Faults, TruncatedBodiesFailInsteadOfEnding)
{
    for (const char *path : {"/truncated-chunked", "/short-body"}) {
        Download d = Fetch(session(), Servers::Get().Fault(path));
        ASSERT_TRUE(d.opened) << path << " " << d.error;
        EXPECT_FALSE(d.complete) << path;
        EXPECT_EQ(d.error, static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED)) << path;
        EXPECT_EQ(d.body.size(), 10240u) << path;
    }
}

TEST_F(Faults, RepliesThatAreNoHttp)
{
    for (const char *path : {"/garbage", "/bad-status"}) {
        EXPECT_EQ(OpenError(session(), Servers::Get().Fault(path)),
                  static_cast<DWORD>(ERROR_HTTP_INVALID_SERVER_RESPONSE))
            << path;
    }
}

TEST_F(Faults, ConnectTimeoutIsItsOwnOption)
{
    // A stalled server has accepted the connection: the connect timeout does not apply.
    DWORD shortConnect = 100, longReceive = 800;
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_CONNECT_TIMEOUT, &shortConnect, sizeof shortConnect));
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_RECEIVE_TIMEOUT, &longReceive, sizeof longReceive));
    EXPECT_EQ(OpenError(session(), Servers::Get().Fault("/ok")), 0u);
    EXPECT_EQ(OpenError(session(), Servers::Get().Fault("/stall")), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
}

}  // namespace
