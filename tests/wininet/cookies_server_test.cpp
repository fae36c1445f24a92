// Cookies a response sets: stored, sent back, kept across processes when persistent.
#include "support.h"

#include <cstdio>

using test::Download;
using test::Fetch;
using test::Internet;
using test::Servers;

namespace {

class ServerCookies : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
    }
    HINTERNET session() const { return session_.get(); }
    static std::string Stored(const std::string &url)
    {
        char buffer[1024];
        DWORD size = sizeof buffer;
        if (!InternetGetCookieA(url.c_str(), nullptr, buffer, &size))
            return "<error " + std::to_string(GetLastError()) + ">";
        return buffer;
    }
    static std::string SentCookie(HINTERNET session, DWORD flags = 0)
    {
        Download d = Fetch(session, Servers::Get().Http("/echo"), flags);
        EXPECT_TRUE(d.complete) << d.error;
        std::size_t at = d.body.find("cookie=");
        return at == std::string::npos ? "<missing>" : d.body.substr(at + 7, d.body.find('\n', at) - at - 7);
    }
    static std::string Probe(const std::string &url)
    {
        FILE *pipe = popen((std::string(COOKIE_PROBE) + " '" + url + "'").c_str(), "r");
        char line[1024] = {};
        if (!pipe || !std::fgets(line, sizeof line, pipe))
            line[0] = '\0';
        if (pipe)
            pclose(pipe);
        std::string out = line;
        if (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }

private:
    Internet session_;
};

TEST_F(ServerCookies, ResponseCookiesAreStoredAndSentBack)
{
    const std::string site = Servers::Get().Http("/");
    EXPECT_EQ(SentCookie(session()), "");
    Download set = Fetch(session(), Servers::Get().Http("/cookies/set"));
    ASSERT_TRUE(set.complete) << set.error;

    std::string stored = Stored(site);
    EXPECT_NE(stored.find("session_c=s1"), std::string::npos) << stored;
    EXPECT_NE(stored.find("persist_c=p1"), std::string::npos) << stored;
    std::string sent = SentCookie(session());
    EXPECT_NE(sent.find("session_c=s1"), std::string::npos) << sent;
    EXPECT_NE(sent.find("persist_c=p1"), std::string::npos) << sent;

    // One store for the process: another session sends them too.
    Internet other(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    EXPECT_NE(SentCookie(other.get()).find("persist_c=p1"), std::string::npos);

    // Only the persistent one survives the process.
    EXPECT_EQ(Probe(site), "persist_c=p1");

    Download expire = Fetch(session(), Servers::Get().Http("/cookies/expire"));
    ASSERT_TRUE(expire.complete);
    EXPECT_EQ(Stored(site), "session_c=s1");
    EXPECT_EQ(Probe(site), "none " + std::to_string(ERROR_NO_MORE_ITEMS));
}

TEST_F(ServerCookies, NoCookiesNeitherStoresNorSends)
{
    Download set = Fetch(session(), Servers::Get().Http("/cookies/set"), INTERNET_FLAG_NO_COOKIES);
    ASSERT_TRUE(set.complete) << set.error;
    EXPECT_EQ(Stored(Servers::Get().Http("/")), "<error " + std::to_string(ERROR_NO_MORE_ITEMS) + ">");

    ASSERT_TRUE(InternetSetCookieA(Servers::Get().Http("/").c_str(), "mine", "m; path=/"));
    EXPECT_EQ(SentCookie(session()), "mine=m");
    EXPECT_EQ(SentCookie(session(), INTERNET_FLAG_NO_COOKIES), "");
}

TEST_F(ServerCookies, CookiesOfAnotherProcessAreSent)
{
    const std::string site = Servers::Get().Http("/");
    FILE *pipe = popen((std::string(COOKIE_PROBE) + " '" + site + "' from 'probe; path=/; max-age=600'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256];
    ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
    pclose(pipe);
    EXPECT_EQ(std::string(line), "from=probe\n");
    EXPECT_EQ(SentCookie(session()), "from=probe");
}

}  // namespace
