// HTTP against the loopback nginx: reading, the request flags, headers,
// connection reuse, authentication, streaming with bounded memory.
#include "support.h"

#include <platform/wininet_stats.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <cstdlib>

using test::Download;
using test::Fetch;
using test::Internet;
using test::Servers;

namespace {

class Http : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("Brevanto-Test/1.0", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
    }
    HINTERNET session() const { return session_.get(); }
    void CloseSession() { session_.Reset(); }
    const Servers &servers() const { return Servers::Get(); }
    // A line of /echo's answer: "name=value".
    static std::string Echoed(const std::string &body, const std::string &name)
    {
        std::size_t pos = body.find(name + "=");
        if (pos == std::string::npos)
            return "<missing>";
        pos += name.size() + 1;
        return body.substr(pos, body.find('\n', pos) - pos);
    }

private:
    Internet session_;
};

TEST_F(Http, DownloadsAPage)
{
    Download d = Fetch(session(), servers().Http("/hello.txt"));
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, "Hello from nginx\n");
}

TEST_F(Http, ReadsNeverExceedTheSizeAskedAndEndWithZero)
{
    Internet file(InternetOpenUrlA(session(), servers().Http("/hello.txt").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(file);
    std::string body;
    char buffer[8];
    for (;;) {
        std::memset(buffer, '#', sizeof buffer);
        DWORD got = 0xdeadbeef;
        ASSERT_TRUE(InternetReadFile(file.get(), buffer, 5, &got));
        ASSERT_LE(got, 5u);
        EXPECT_EQ(buffer[5], '#');
        if (got == 0)
            break;
        body.append(buffer, got);
    }
    EXPECT_EQ(body, "Hello from nginx\n");
    // The end stays the end.
    DWORD got = 0xdeadbeef;
    ASSERT_TRUE(InternetReadFile(file.get(), buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 0u);
    // A read of nothing is no end.
    Internet again(InternetOpenUrlA(session(), servers().Http("/hello.txt").c_str(), nullptr, 0, 0, 0));
    got = 0xdeadbeef;
    ASSERT_TRUE(InternetReadFile(again.get(), buffer, 0, &got));
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(InternetReadFile(again.get(), buffer, 1, &got));
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(buffer[0], 'H');
}

TEST_F(Http, EmptyResourceEndsAtOnce)
{
    Download d = Fetch(session(), servers().Http("/empty.txt"));
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, "");
}

TEST_F(Http, ErrorStatusIsNoFailure)
{
    Download d = Fetch(session(), servers().Http("/no-such-file.txt"));
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_NE(d.body.find("404 Not Found"), std::string::npos) << d.body;
}

TEST_F(Http, LargeResourceByteForByte)
{
    std::string expected = test::ReadFile(servers().Value("HTTP_ROOT") + "/pattern.bin");
    ASSERT_EQ(expected.size(), std::stoul(servers().Value("PATTERN_SIZE")));
    // An odd read size, so that reads and libcurl's pieces never line up.
    Download d = Fetch(session(), servers().Http("/pattern.bin"), 0, "", 1000);
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_TRUE(d.body == expected) << "sizes " << d.body.size() << " and " << expected.size();
}

long PeakKilobytes()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(Http, StreamsAHugeResourceInBoundedMemory)
{
    const unsigned long long size = std::stoull(servers().Value("BIG_SIZE"));
    ASSERT_GE(size, 200ull * 1024 * 1024);
    Internet file(InternetOpenUrlA(session(), servers().Http("/big.bin").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(file);
    long before = PeakKilobytes();
    std::string buffer(65536, '\0');
    unsigned long long total = 0;
    bool zeros = true;
    for (;;) {
        DWORD got = 0;
        ASSERT_TRUE(InternetReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got))
            << GetLastError() << " after " << total;
        if (got == 0)
            break;
        total += got;
        if (zeros && buffer.find_first_not_of('\0', 0) < got)
            zeros = false;
    }
    long growth = PeakKilobytes() - before;
    EXPECT_EQ(total, size);
    EXPECT_TRUE(zeros);
    // The stand-in holds a small buffer, not the resource: a generous 32 MiB bound.
    EXPECT_LT(growth, 32 * 1024) << "peak grew by " << growth << " KiB";
}

TEST_F(Http, PageSizedReadsKeepTheSpillSmall)
{
    // A reader far slower than the network (a page per call) holds libcurl
    // back instead of the stand-in buffering what it has not asked for.
    const unsigned long long size = std::stoull(servers().Value("BIG_SIZE"));
    Internet file(InternetOpenUrlA(session(), servers().Http("/big.bin").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(file);
    platform::WininetSpillHighWater(true);
    char page[4096];
    unsigned long long total = 0;
    bool zeros = true;
    for (;;) {
        DWORD got = 0;
        ASSERT_TRUE(InternetReadFile(file.get(), page, sizeof page, &got)) << GetLastError() << " after " << total;
        if (got == 0)
            break;
        total += got;
        zeros = zeros && std::find_if(page, page + got, [](char c) { return c != 0; }) == page + got;
    }
    EXPECT_EQ(total, size);
    EXPECT_TRUE(zeros);
    std::size_t held = platform::WininetSpillHighWater(false);
    EXPECT_GT(held, 0u);
    EXPECT_LT(held, 1024u * 1024) << "the spill grew to " << held << " bytes";
}

TEST_F(Http, RedirectsAreFollowedUnlessAskedNotTo)
{
    Download followed = Fetch(session(), servers().Http("/redirect"));
    ASSERT_TRUE(followed.complete) << followed.error;
    EXPECT_EQ(followed.body, "Hello from nginx\n");

    Internet file(InternetOpenUrlA(session(), servers().Http("/redirect").c_str(), nullptr, 0, 0, 0));
    char url[256];
    DWORD size = sizeof url;
    ASSERT_TRUE(InternetQueryOptionA(file.get(), INTERNET_OPTION_URL, url, &size));
    EXPECT_EQ(std::string(url), servers().Http("/hello.txt"));
    EXPECT_EQ(size, std::strlen(url));

    Download kept = Fetch(session(), servers().Http("/redirect"), INTERNET_FLAG_NO_AUTO_REDIRECT);
    ASSERT_TRUE(kept.complete) << kept.error;
    EXPECT_NE(kept.body.find("302"), std::string::npos) << kept.body;

    SetLastError(0xdeadbeef);
    Download loop = Fetch(session(), servers().Http("/redirect-loop"));
    EXPECT_FALSE(loop.opened);
    EXPECT_EQ(loop.error, static_cast<DWORD>(ERROR_HTTP_REDIRECT_FAILED));
}

TEST_F(Http, UrlHandleTypeAndParent)
{
    Internet file(InternetOpenUrlA(session(), servers().Http("/hello.txt").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(file);
    DWORD type = 0, size = sizeof type;
    ASSERT_TRUE(InternetQueryOptionA(file.get(), INTERNET_OPTION_HANDLE_TYPE, &type, &size));
    EXPECT_EQ(type, static_cast<DWORD>(INTERNET_HANDLE_TYPE_HTTP_REQUEST));
    HINTERNET parent = nullptr;
    size = sizeof parent;
    ASSERT_TRUE(InternetQueryOptionA(file.get(), INTERNET_OPTION_PARENT_HANDLE, &parent, &size));
    EXPECT_EQ(parent, session());
    // Closing the session closes the URL handle made under it.
    HINTERNET value = file.Release();
    CloseSession();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetCloseHandle(value));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Http, ReloadAndPragmaNoCacheSendNoCacheHeaders)
{
    for (DWORD flags : {static_cast<DWORD>(INTERNET_FLAG_RELOAD), static_cast<DWORD>(INTERNET_FLAG_PRAGMA_NOCACHE)}) {
        Download d = Fetch(session(), servers().Http("/echo"), flags);
        ASSERT_TRUE(d.complete) << d.error;
        EXPECT_EQ(Echoed(d.body, "pragma"), "no-cache") << flags;
        EXPECT_EQ(Echoed(d.body, "cache-control"), "no-cache") << flags;
    }
    Download plain = Fetch(session(), servers().Http("/echo"));
    ASSERT_TRUE(plain.complete);
    EXPECT_EQ(Echoed(plain.body, "pragma"), "");
    EXPECT_EQ(Echoed(plain.body, "cache-control"), "");
    // The caller's own Cache-Control stands.
    Download own = Fetch(session(), servers().Http("/echo"), INTERNET_FLAG_RELOAD, "Cache-Control: max-age=5");
    EXPECT_EQ(Echoed(own.body, "cache-control"), "max-age=5");
}

TEST_F(Http, AgentAndHeadersAreSentAsGiven)
{
    Download d = Fetch(session(), servers().Http("/echo"), 0, "X-Test: one two\r\nUser-Agent: Override/2\r\n");
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(Echoed(d.body, "x-test"), "one two");
    EXPECT_EQ(Echoed(d.body, "user-agent"), "Override/2");
    Download agent = Fetch(session(), servers().Http("/echo"));
    EXPECT_EQ(Echoed(agent.body, "user-agent"), "Brevanto-Test/1.0");

    // A length counts the header bytes.
    const char headers[] = "X-Test: abcdef";
    Internet file(InternetOpenUrlA(session(), servers().Http("/echo").c_str(), headers, 11, 0, 0));
    ASSERT_TRUE(file);
    char buffer[2048];
    DWORD got = 0;
    std::string body;
    while (InternetReadFile(file.get(), buffer, sizeof buffer, &got) && got)
        body.append(buffer, got);
    EXPECT_EQ(Echoed(body, "x-test"), "abc");
}

TEST_F(Http, EmptyHeaderValuesReachTheServer)
{
    // The fault server records the request head as it came.
    std::string token = "tok-" + std::to_string(getpid()) + "-" + std::to_string(std::rand());
    Download d = Fetch(session(), servers().Fault("/ok"), 0, "X-Token: " + token + "\r\nX-Empty:\r\n");
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, "ok\n");
    std::string log = test::ReadFile(servers().Value("FAULT_LOG"));
    std::size_t at = log.find("X-Token: " + token);
    ASSERT_NE(at, std::string::npos);
    std::size_t start = log.rfind("\n--\n", at);
    std::string block = log.substr(start == std::string::npos ? 0 : start, log.find("\n--\n", at) - start);
    EXPECT_NE(block.find("\nX-Empty:"), std::string::npos) << block;
    EXPECT_NE(block.find("User-Agent: Brevanto-Test/1.0"), std::string::npos) << block;
}

TEST_F(Http, HttpVersionOneZero)
{
    HTTP_VERSION_INFO ten = {1, 0};
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_HTTP_VERSION, &ten, sizeof ten));
    Download d = Fetch(session(), servers().Http("/echo"));
    HTTP_VERSION_INFO eleven = {1, 1};
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_HTTP_VERSION, &eleven, sizeof eleven));
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(Echoed(d.body, "protocol"), "HTTP/1.0");
}

TEST_F(Http, KeepConnectionReusesTheConnection)
{
    for (DWORD flag : {static_cast<DWORD>(INTERNET_FLAG_KEEP_CONNECTION),
                       static_cast<DWORD>(INTERNET_FLAG_EXISTING_CONNECT)}) {
        Download first = Fetch(session(), servers().Http("/echo"), flag);
        Download second = Fetch(session(), servers().Http("/echo"), flag);
        ASSERT_TRUE(first.complete && second.complete);
        EXPECT_EQ(Echoed(first.body, "connection"), Echoed(second.body, "connection")) << flag;
    }
    Download first = Fetch(session(), servers().Http("/echo"));
    Download second = Fetch(session(), servers().Http("/echo"));
    EXPECT_NE(Echoed(first.body, "connection"), Echoed(second.body, "connection"));
}

TEST_F(Http, CredentialsAnswerAChallengeUnlessNoAuth)
{
    const Servers &s = servers();
    std::string url = "http://" + s.Value("HTTP_AUTH_USER") + ":" + s.Value("HTTP_AUTH_PASSWORD") + "@127.0.0.1:" +
                      s.Value("HTTP_PORT") + "/auth/secret.txt";
    Download in = Fetch(session(), url);
    ASSERT_TRUE(in.complete) << in.error;
    EXPECT_EQ(in.body, "behind basic auth\n");

    Download refused = Fetch(session(), url, INTERNET_FLAG_NO_AUTH);
    ASSERT_TRUE(refused.complete) << refused.error;
    EXPECT_NE(refused.body.find("401"), std::string::npos) << refused.body;

    // The user name and password options serve as well.
    std::string user = s.Value("HTTP_AUTH_USER"), password = s.Value("HTTP_AUTH_PASSWORD");
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_USERNAME, user.data(), static_cast<DWORD>(user.size())));
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_PASSWORD, password.data(),
                                   static_cast<DWORD>(password.size())));
    Download options = Fetch(session(), s.Http("/auth/secret.txt"));
    ASSERT_TRUE(options.complete) << options.error;
    EXPECT_EQ(options.body, "behind basic auth\n");
}

TEST_F(Http, SecureFlagSpeaksTlsOnAnHttpUrl)
{
    TrustTestCa();
    std::string url = "http://localhost:" + servers().Value("HTTPS_PORT") + "/hello.txt";
    Download secure = Fetch(session(), url, INTERNET_FLAG_SECURE);
    ASSERT_TRUE(secure.complete) << secure.error;
    EXPECT_EQ(secure.body, "Hello from nginx\n");
    // Plain HTTP to the TLS port gets nginx's complaint instead.
    Download plain = Fetch(session(), url);
    ASSERT_TRUE(plain.complete) << plain.error;
    EXPECT_NE(plain.body.find("400"), std::string::npos) << plain.body;
}

TEST_F(Http, ClosingTheHandleStopsAWaitingRead)
{
    DWORD forever = INFINITE;
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_RECEIVE_TIMEOUT, &forever, sizeof forever));
    HINTERNET file = InternetOpenUrlA(session(), servers().Fault("/stall-body").c_str(), nullptr, 0, 0, 0);
    ASSERT_NE(file, nullptr);
    std::string buffer(1 << 20, '\0');
    DWORD got = 0;
    ASSERT_TRUE(InternetReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got));
    // The server now sends nothing more: the next read waits until the close.
    std::atomic<bool> reading{false};
    BOOL ok = TRUE;
    DWORD error = 0;
    std::thread reader([&] {
        reading = true;
        while (ok) {
            ok = InternetReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got);
            error = ok ? 0 : GetLastError();
            if (ok && got == 0)
                break;
        }
    });
    while (!reading)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(InternetCloseHandle(file));
    reader.join();
    EXPECT_FALSE(ok);
    EXPECT_TRUE(error == ERROR_INTERNET_OPERATION_CANCELLED || error == ERROR_INVALID_HANDLE) << error;
}

}  // namespace
