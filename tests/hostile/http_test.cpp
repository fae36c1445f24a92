// HTTP and HTTPS servers that misbehave: every case ends in the WinINet error
// for what happened, within the timeouts, and takes no more memory than a
// well-behaved server's answer would.
#include "support.h"

#include <chrono>
#include <fstream>
#include <set>

using test::Download;
using test::Fetch;
using test::Internet;
using test::Servers;

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kTimeout = 1000;  // the connect and receive timeouts these tests set, in ms
constexpr double kSlack = 5.0;     // seconds beyond it that a case may take

struct HostileCase {
    const char *name;
    std::string (*url)();
    DWORD flags;
    bool trusted;                 // the user trusts the test CA
    std::set<DWORD> errors;       // 0: the download completes
    bool opens;                   // the failure comes while reading, not when opening
};

void PrintTo(const HostileCase &c, std::ostream *os) { *os << c.name; }

std::string Fault(const char *path) { return Servers::Get().Fault(path); }

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class HostileHttp : public test::WinInetTest, public testing::WithParamInterface<HostileCase> {};

TEST_P(HostileHttp, EndsInItsErrorWithinTheTimeouts)
{
    const HostileCase &c = GetParam();
    if (c.trusted)
        TrustTestCa();
    Internet session(InternetOpenA("hostile", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_TRUE(session);
    DWORD timeout = kTimeout;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        ASSERT_TRUE(InternetSetOptionA(session.get(), option, &timeout, sizeof timeout));
    long before = ResidentKiB();
    Clock::time_point start = Clock::now();
    Download d = Fetch(session.get(), c.url(), c.flags);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_LT(seconds, kTimeout / 1000.0 + kSlack);
    EXPECT_LT(ResidentKiB() - before, 32 * 1024) << "memory grew";
    if (c.errors.count(0)) {
        EXPECT_TRUE(d.complete) << d.error;
        return;
    }
    EXPECT_FALSE(d.complete);
    EXPECT_EQ(d.opened, c.opens) << d.error;
    EXPECT_TRUE(c.errors.count(d.error)) << "error " << d.error;
}

const DWORD kTimedOut = ERROR_INTERNET_TIMEOUT, kInvalid = ERROR_HTTP_INVALID_SERVER_RESPONSE,
            kAborted = ERROR_INTERNET_CONNECTION_ABORTED, kReset = ERROR_INTERNET_CONNECTION_RESET,
            kRedirect = ERROR_HTTP_REDIRECT_FAILED;

INSTANTIATE_TEST_SUITE_P(
    Servers, HostileHttp,
    testing::Values(
        // Silence, broken connections, bodies that stop short.
        HostileCase{"StallBeforeTheHead", [] { return Fault("/stall"); }, 0, false, {kTimedOut}, false},
        HostileCase{"StallInTheBody", [] { return Fault("/stall-body"); }, 0, false, {kTimedOut}, true},
        HostileCase{"ResetInTheBody", [] { return Fault("/reset-body"); }, 0, false, {kReset}, true},
        HostileCase{"ResetBeforeAnyReply", [] { return Fault("/reset"); }, 0, false, {kReset, kAborted}, false},
        HostileCase{"ShortBody", [] { return Fault("/short-body"); }, 0, false, {kAborted}, true},
        HostileCase{"TruncatedChunks", [] { return Fault("/truncated-chunked"); }, 0, false, {kAborted}, true},
        HostileCase{"NoHttpAtAll", [] { return Fault("/garbage"); }, 0, false, {kInvalid}, false},
        // Heads and trailers that do not end, or end too late.
        HostileCase{"EndlessHead", [] { return Fault("/endless-head"); }, 0, false, {kInvalid}, false},
        HostileCase{"SlowHead", [] { return Fault("/slow-head"); }, 0, false, {kTimedOut}, false},
        HostileCase{"ManyHeaders", [] { return Fault("/many-headers"); }, 0, false, {kInvalid}, false},
        HostileCase{"EndlessTrailers", [] { return Fault("/endless-trailers"); }, 0, false, {kInvalid}, true},
        HostileCase{"SlowTrailers", [] { return Fault("/slow-trailers"); }, 0, false, {kTimedOut}, true},
        // A compressed body is delivered as it came: nobody asked for it unpacked.
        HostileCase{"GzipBomb", [] { return Fault("/gzip-bomb"); }, 0, false, {0}, true},
        // Redirects: in circles, to schemes nobody follows, between http and https.
        HostileCase{"RedirectLoop", [] { return Servers::Get().Http("/redirect-loop"); }, 0, false, {kRedirect}, false},
        HostileCase{"RedirectToFtp", [] { return Fault("/redirect?ftp://127.0.0.1/x"); }, 0, false, {kRedirect}, false},
        HostileCase{"RedirectToFile", [] { return Fault("/redirect?file:///etc/passwd"); }, 0, false, {kRedirect}, false},
        HostileCase{"RedirectToGopher", [] { return Fault("/redirect?gopher://127.0.0.1/1"); }, 0, false, {kRedirect},
                    false},
        HostileCase{"RedirectToNowhere", [] { return Fault("/redirect?http://"); }, 0, false, {kRedirect}, false},
        HostileCase{"HttpsToHttp", [] { return Servers::Get().Https("/redirect-plain"); }, 0, true,
                    {ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR}, false},
        HostileCase{"HttpToHttps", [] { return Servers::Get().Http("/redirect-tls"); }, 0, true,
                    {ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR}, false},
        // TLS that does not hold.
        HostileCase{"UnknownAuthority", [] { return Servers::Get().Https("/hello.txt"); }, 0, false,
                    {ERROR_INTERNET_INVALID_CA}, false},
        HostileCase{"UntrustedChain", [] { return Servers::Get().Https("/hello.txt", "HTTPS_UNTRUSTED_PORT"); }, 0,
                    true, {ERROR_INTERNET_INVALID_CA}, false},
        HostileCase{"Expired", [] { return Servers::Get().Https("/hello.txt", "HTTPS_EXPIRED_PORT"); }, 0, true,
                    {ERROR_INTERNET_SEC_CERT_DATE_INVALID}, false},
        HostileCase{"WrongName", [] { return Servers::Get().Https("/hello.txt", "HTTPS_WRONG_NAME_PORT"); }, 0, true,
                    {ERROR_INTERNET_SEC_CERT_CN_INVALID}, false},
        HostileCase{"AnswerThatIsNoTls",
                    [] { return "https://127.0.0.1:" + Servers::Get().Value("HTTP_PORT") + "/hello.txt"; }, 0, true,
                    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR}, false},
        HostileCase{"NoAnswerToTls",
                    [] { return "https://127.0.0.1:" + Servers::Get().Value("FAULT_PORT") + "/ok"; }, 0, true,
                    {kTimedOut}, false}),
    [](const testing::TestParamInfo<HostileCase> &info) { return std::string(info.param.name); });

// The compressed body comes as it was sent, not unpacked to 64 MiB.
TEST(HostileHttpBodies, AGzipBombStaysPacked)
{
    Internet session(InternetOpenA("hostile", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    Download d = Fetch(session.get(), Fault("/gzip-bomb"), 0, "", 65536);
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_LT(d.body.size(), 1u << 20);
    EXPECT_EQ(d.body.substr(0, 2), "\x1f\x8b");
}

// Headers too long for any server are refused as headers, not as a lack of memory.
TEST(HostileHttpRequests, AMegabyteOfHeaders)
{
    Internet session(InternetOpenA("hostile", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    Download d = Fetch(session.get(), Fault("/ok"), 0, "X-Huge: " + std::string(1 << 20, 'h'));
    EXPECT_FALSE(d.opened);
    EXPECT_EQ(d.error, static_cast<DWORD>(ERROR_HTTP_INVALID_HEADER));
}

} // namespace
