// FTP servers that misbehave: long and endless replies, a passive address
// that points elsewhere, names with a CR in them; and names too long to send.
#include "ftp_support.h"

#include <chrono>
#include <fstream>
#include <unistd.h>

using ftptest::FindAll;
using ftptest::FindResult;
using ftptest::LastResponse;
using test::Internet;
using test::Servers;

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kTimeout = 1500;

class HostileFtp : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("hostile", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
        DWORD timeout = kTimeout;
        for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                             INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT})
            ASSERT_TRUE(InternetSetOptionA(session_.get(), option, &timeout, sizeof timeout));
        start_ = Clock::now();
    }
    void TearDown() override
    {
        double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        EXPECT_LT(seconds, 4 * kTimeout / 1000.0 + 5) << "beyond the timeouts";
        test::WinInetTest::TearDown();
    }

    // The fault server's mode is the user name; the tag keeps tests apart in its log.
    HINTERNET Connect(const std::string &mode, const std::string &password = "any")
    {
        std::string user = mode + "." + std::to_string(getpid());
        SetLastError(0xdeadbeef);
        return InternetConnectA(session_.get(), "127.0.0.1",
                                static_cast<INTERNET_PORT>(Servers::Get().Port("FTP_FAULT_PORT")), user.c_str(),
                                password.c_str(), INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    }
    std::string Url(const std::string &mode, const std::string &path) const
    {
        return "ftp://" + mode + "." + std::to_string(getpid()) + ":any@127.0.0.1:" +
               Servers::Get().Value("FTP_FAULT_PORT") + path;
    }
    HINTERNET session() const { return session_.get(); }

private:
    Internet session_;
    Clock::time_point start_;
};

// A listing comes byte for byte, as a file does: CR LF stays CR LF, and a CR
// inside a name stays in the name.
TEST_F(HostileFtp, ListingsKeepTheirBytes)
{
    test::Download d = test::Fetch(session(), Url("crlf", "/"), INTERNET_FLAG_PASSIVE);
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, "-rw-r--r--   1 ftp      ftp             5 Mar 04 12:30 car\rriage.txt\r\n"
                      "-rw-r--r--   1 ftp      ftp             7 Mar 04 12:30 plain.txt\r\n");
    Internet c(Connect("crlf"));
    ASSERT_TRUE(c) << GetLastError();
    DWORD error = 0xdeadbeef;
    std::vector<FindResult> found = FindAll(c.get(), "*", &error);
    EXPECT_EQ(error, 0u);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, "car\rriage.txt");
    EXPECT_EQ(found[1].name, "plain.txt");
}

// A refused login in many words: the reply is kept as far as a caller's usual
// 200-character buffer goes, code first, rather than not at all.
TEST_F(HostileFtp, ALongRefusalIsShownAsFarAsItGoes)
{
    for (const char *mode : {"long-refusal", "long-multi"}) {
        Internet c(Connect(mode));
        ASSERT_FALSE(c) << mode;
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR)) << mode;
        char text[200];
        DWORD length = sizeof text, code = 0;
        ASSERT_TRUE(InternetGetLastResponseInfoA(&code, text, &length)) << mode << " " << GetLastError();
        EXPECT_EQ(code, 530u);
        EXPECT_EQ(length, 199u) << mode;
        EXPECT_EQ(std::string(text, 17), std::string(mode) == "long-refusal" ? "530 Login refused" : "530-Login refused")
            << mode;
    }
}

TEST_F(HostileFtp, RepliesThatDoNotEndAreNoFtp)
{
    for (const char *mode : {"endless-reply", "huge-line"}) {
        Internet c(Connect(mode));
        EXPECT_FALSE(c) << mode;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HTTP_INVALID_SERVER_RESPONSE)) << mode;
    }
}

// The address in a PASV reply is not trusted: the data comes from the server's own.
TEST_F(HostileFtp, APassiveAddressElsewhereIsNotFollowed)
{
    test::Download d = test::Fetch(session(), Url("pasv-elsewhere", "/hello.txt"), INTERNET_FLAG_PASSIVE);
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, "hello from the fault server\r\n");
}

TEST_F(HostileFtp, SilenceEndsInATimeout)
{
    Internet c(InternetConnectA(session(), "127.0.0.1",
                                static_cast<INTERNET_PORT>(Servers::Get().Port("FTP_FAULT_SILENT_PORT")), "unix", "any",
                                INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
    EXPECT_FALSE(c);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
    Internet hung(Connect("hang-login"));
    EXPECT_FALSE(hung);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
}

// What cannot be sent is refused with what is wrong with it, not as a lack of memory.
TEST_F(HostileFtp, NamesTooLongToSend)
{
    std::string longText(100000, 'n');
    Internet user(Connect(longText));
    EXPECT_FALSE(user);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_USER_NAME));
    Internet password(Connect("unix", longText));
    EXPECT_FALSE(password);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_PASSWORD));
    Internet c(Connect("unix"));
    ASSERT_TRUE(c) << GetLastError();
    using Call = BOOL (*)(HINTERNET, LPCSTR);
    const Call calls[] = {
        [](HINTERNET h, LPCSTR n) { return FtpSetCurrentDirectoryA(h, n); },
        [](HINTERNET h, LPCSTR n) { return FtpDeleteFileA(h, n); },
        [](HINTERNET h, LPCSTR n) { return FtpGetFileA(h, n, "/tmp/never", FALSE, 0, 0, 0); },
        [](HINTERNET h, LPCSTR n) { return static_cast<BOOL>(FtpFindFirstFileA(h, n, nullptr, 0, 0) != nullptr); }};
    for (Call call : calls) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(call(c.get(), longText.c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    }
}

} // namespace
