// HTTPS: the user's root store, and each certificate check with the one flag
// that relaxes it and nothing else.
#include "support.h"

using test::Download;
using test::Fetch;
using test::Internet;
using test::Servers;

namespace {

class Https : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
    }
    HINTERNET session() const { return session_.get(); }
    // The error of opening url with flags, 0 when the page came.
    DWORD Outcome(const std::string &url, DWORD flags = 0)
    {
        Download d = Fetch(session(), url, flags);
        if (d.complete) {
            EXPECT_EQ(d.body, "Hello from nginx\n");
            return 0;
        }
        return d.error;
    }

private:
    Internet session_;
};

const DWORD kIgnoreName = INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
const DWORD kIgnoreDates = INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;

TEST_F(Https, TrustedThroughTheUserRootStore)
{
    const Servers &s = Servers::Get();
    EXPECT_EQ(Outcome(s.Https("/hello.txt")), static_cast<DWORD>(ERROR_INTERNET_INVALID_CA));
    TrustTestCa();
    EXPECT_EQ(Outcome(s.Https("/hello.txt")), 0u);
    EXPECT_EQ(Outcome(s.Https("/hello.txt", "HTTPS_PORT", "127.0.0.1")), 0u);
}

TEST_F(Https, UnknownAuthority)
{
    TrustTestCa();
    std::string url = Servers::Get().Https("/hello.txt", "HTTPS_UNTRUSTED_PORT");
    for (DWORD flags : {0u, kIgnoreName, kIgnoreDates, kIgnoreName | kIgnoreDates})
        EXPECT_EQ(Outcome(url, flags), static_cast<DWORD>(ERROR_INTERNET_INVALID_CA)) << flags;
}

TEST_F(Https, WrongNameOnlyTheNameFlagRelaxes)
{
    TrustTestCa();
    const Servers &s = Servers::Get();
    std::string url = s.Https("/hello.txt", "HTTPS_WRONG_NAME_PORT");
    EXPECT_EQ(Outcome(url), static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_CN_INVALID));
    EXPECT_EQ(Outcome(s.Https("/hello.txt", "HTTPS_WRONG_NAME_PORT", "127.0.0.1")),
              static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_CN_INVALID));
    EXPECT_EQ(Outcome(url, kIgnoreDates), static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_CN_INVALID));
    EXPECT_EQ(Outcome(url, kIgnoreName), 0u);
}

TEST_F(Https, ExpiredOnlyTheDateFlagRelaxes)
{
    TrustTestCa();
    std::string url = Servers::Get().Https("/hello.txt", "HTTPS_EXPIRED_PORT");
    EXPECT_EQ(Outcome(url), static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_DATE_INVALID));
    EXPECT_EQ(Outcome(url, kIgnoreName), static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_DATE_INVALID));
    EXPECT_EQ(Outcome(url, kIgnoreDates), 0u);
}

TEST_F(Https, ARelaxedConnectionServesNoStrictRequest)
{
    TrustTestCa();
    std::string url = Servers::Get().Https("/hello.txt", "HTTPS_EXPIRED_PORT");
    const DWORD keep = INTERNET_FLAG_KEEP_CONNECTION;
    EXPECT_EQ(Outcome(url, keep | kIgnoreDates), 0u);
    EXPECT_EQ(Outcome(url, keep), static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_DATE_INVALID));
}

TEST_F(Https, RedirectFromHttpIsCheckedLikeAnyOther)
{
    const Servers &s = Servers::Get();
    const DWORD toHttps = INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    EXPECT_EQ(Outcome(s.Http("/redirect-tls"), toHttps), static_cast<DWORD>(ERROR_INTERNET_INVALID_CA));
    TrustTestCa();
    EXPECT_EQ(Outcome(s.Http("/redirect-tls"), toHttps), 0u);
    EXPECT_EQ(Outcome(s.Http("/redirect-wrong-name"), toHttps), static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_CN_INVALID));
}

// A redirect between http and https is followed only when its flag says so:
// a secure page must not hand a request over to plain http unasked.
TEST_F(Https, RedirectsBetweenSchemesNeedTheirFlag)
{
    TrustTestCa();
    const Servers &s = Servers::Get();
    const DWORD toHttp = INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP, toHttps = INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    EXPECT_EQ(Outcome(s.Https("/redirect-plain")), static_cast<DWORD>(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR));
    EXPECT_EQ(Outcome(s.Https("/redirect-plain"), toHttps), static_cast<DWORD>(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR));
    EXPECT_EQ(Outcome(s.Https("/redirect-plain"), toHttp), 0u);
    EXPECT_EQ(Outcome(s.Http("/redirect-tls")), static_cast<DWORD>(ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR));
    EXPECT_EQ(Outcome(s.Http("/redirect-tls"), toHttp), static_cast<DWORD>(ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR));
    // Within a scheme nothing changes.
    EXPECT_EQ(Outcome(s.Http("/redirect")), 0u);
    EXPECT_EQ(Outcome(s.Https("/redirect")), 0u);
}

TEST_F(Https, PlainHttpServerIsNoSecureChannel)
{
    std::string url = "https://127.0.0.1:" + Servers::Get().Value("HTTP_PORT") + "/hello.txt";
    EXPECT_EQ(Outcome(url), static_cast<DWORD>(ERROR_INTERNET_SECURITY_CHANNEL_ERROR));
}

}  // namespace
