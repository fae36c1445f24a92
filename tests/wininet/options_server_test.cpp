// Options of URL handles against the loopback servers, and option values
// that act on transfers: timeouts, buffer sizes, the data file.
#include "support.h"

#include <chrono>
#include <cstring>

using test::Internet;
using test::Servers;

namespace {

class UrlOptions : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        TrustTestCa();
        session_.Reset(InternetOpenA("Brevanto-Test/1.0", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
    }
    HINTERNET session() const { return session_.get(); }
    const Servers &servers() const { return Servers::Get(); }
    HINTERNET Open(const std::string &url, DWORD flags = 0)
    {
        return InternetOpenUrlA(session(), url.c_str(), nullptr, 0, flags, 0);
    }
    static std::string Text(HINTERNET h, DWORD option)
    {
        char text[4096];
        DWORD size = sizeof text;
        if (!InternetQueryOptionA(h, option, text, &size))
            return "<error " + std::to_string(GetLastError()) + ">";
        return std::string(text, size);
    }
    static DWORD Number(HINTERNET h, DWORD option)
    {
        DWORD value = 0, size = sizeof value;
        EXPECT_TRUE(InternetQueryOptionA(h, option, &value, &size)) << option;
        return value;
    }
    static std::string ReadAll(HINTERNET h, DWORD *error = nullptr)
    {
        std::string body;
        char buffer[8192];
        for (;;) {
            DWORD got = 0;
            if (!InternetReadFile(h, buffer, sizeof buffer, &got)) {
                if (error)
                    *error = GetLastError();
                break;
            }
            if (!got)
                break;
            body.append(buffer, got);
        }
        return body;
    }

private:
    Internet session_;
};

TEST_F(UrlOptions, EachOptionOnUrlHandlesAndAnFtpConnection)
{
    Internet http(Open(servers().Http("/hello.txt")));
    Internet https(Open(servers().Https("/hello.txt")));
    Internet gopher(Open(servers().Gopher("/0/text.txt")));
    std::string ftpUrl = "ftp://" + servers().Value("FTP_USER") + ":" + servers().Value("FTP_PASSWORD") +
                         "@127.0.0.1:" + servers().Value("FTP_PORT") + "/";
    Internet ftp(Open(ftpUrl + "readme.txt", INTERNET_FLAG_PASSIVE));
    Internet connection(InternetConnectA(session(), "127.0.0.1", static_cast<INTERNET_PORT>(servers().Port("FTP_PORT")),
                                         servers().Value("FTP_USER").c_str(), servers().Value("FTP_PASSWORD").c_str(),
                                         INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
    ASSERT_TRUE(http && https && gopher && ftp && connection);
    constexpr DWORD kType = ERROR_INTERNET_INCORRECT_HANDLE_TYPE, kReadOnly = ERROR_INTERNET_OPTION_NOT_SETTABLE,
                    kNoOption = ERROR_INTERNET_INVALID_OPTION, kNoTls = ERROR_INTERNET_INVALID_OPERATION,
                    kNoFile = ERROR_INTERNET_ITEM_NOT_FOUND;
    struct Case {
        DWORD option;
        test::RoundTrip http, https, other, connection;  // other: the Gopher and FTP files
    } cases[] = {
        {INTERNET_OPTION_CONNECT_RETRIES, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_CONNECT_TIMEOUT, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_RECEIVE_TIMEOUT, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_SEND_TIMEOUT, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_DATA_SEND_TIMEOUT, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_READ_BUFFER_SIZE, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_WRITE_BUFFER_SIZE, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_USER_AGENT, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_USERNAME, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_PASSWORD, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_PROXY_USERNAME, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_PROXY_PASSWORD, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_PROXY, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_HTTP_VERSION, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_CONNECTED_STATE, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {INTERNET_OPTION_VERSION, {0, kReadOnly}, {0, kReadOnly}, {0, kReadOnly}, {0, kReadOnly}},
        {INTERNET_OPTION_EXTENDED_ERROR, {0, kReadOnly}, {0, kReadOnly}, {0, kReadOnly}, {0, kReadOnly}},
        {INTERNET_OPTION_END_BROWSER_SESSION, {kNoOption, 0}, {kNoOption, 0}, {kNoOption, 0}, {kNoOption, 0}},
        {INTERNET_OPTION_REFRESH, {kNoOption, 0}, {kNoOption, 0}, {kNoOption, 0}, {kNoOption, 0}},
        {INTERNET_OPTION_HANDLE_TYPE, {0, kReadOnly}, {0, kReadOnly}, {0, kReadOnly}, {0, kReadOnly}},
        {INTERNET_OPTION_PARENT_HANDLE, {0, kReadOnly}, {0, kReadOnly}, {0, kReadOnly}, {0, kReadOnly}},
        {INTERNET_OPTION_REQUEST_FLAGS, {0, kReadOnly}, {0, kReadOnly}, {0, kReadOnly}, {kType, kReadOnly}},
        {INTERNET_OPTION_URL, {0, kReadOnly}, {0, kReadOnly}, {0, kReadOnly}, {kType, kReadOnly}},
        {INTERNET_OPTION_DATAFILE_NAME, {kNoFile, kReadOnly}, {kNoFile, kReadOnly}, {kNoFile, kReadOnly},
         {kType, kReadOnly}},
        {INTERNET_OPTION_SECURITY_CERTIFICATE, {kNoTls, kReadOnly}, {0, kReadOnly}, {kNoTls, kReadOnly},
         {kType, kReadOnly}},
        {INTERNET_OPTION_REQUEST_PRIORITY, {0, 0}, {0, 0}, {kType, kType}, {kType, kType}},
        {INTERNET_OPTION_SECONDARY_CACHE_KEY, {kNoOption, kNoOption}, {kNoOption, kNoOption}, {kType, kType},
         {kType, kType}},
        {INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT, {kNoOption, kNoOption}, {kNoOption, kNoOption}, {kType, kType},
         {kType, kType}},
    };
    for (const Case &c : cases) {
        const std::pair<HINTERNET, test::RoundTrip> handles[] = {{http.get(), c.http},
                                                                 {https.get(), c.https},
                                                                 {gopher.get(), c.other},
                                                                 {ftp.get(), c.other},
                                                                 {connection.get(), c.connection}};
        for (auto [h, expected] : handles) {
            test::RoundTrip got = test::QueryAndSetBack(h, c.option);
            EXPECT_EQ(got.query, expected.query) << "handle type " << test::HandleType(h) << ", option " << c.option;
            EXPECT_EQ(got.set, expected.set) << "handle type " << test::HandleType(h) << ", option " << c.option;
        }
    }
}

TEST_F(UrlOptions, RequestFlags)
{
    Internet http(Open(servers().Http("/hello.txt")));
    EXPECT_EQ(Number(http.get(), INTERNET_OPTION_REQUEST_FLAGS),
              static_cast<DWORD>(INTERNET_REQFLAG_CACHE_WRITE_DISABLED));
    std::string ftpUrl = "ftp://" + servers().Value("FTP_USER") + ":" + servers().Value("FTP_PASSWORD") +
                         "@127.0.0.1:" + servers().Value("FTP_PORT") + "/readme.txt";
    Internet ftp(Open(ftpUrl, INTERNET_FLAG_PASSIVE));
    EXPECT_EQ(Number(ftp.get(), INTERNET_OPTION_REQUEST_FLAGS),
              static_cast<DWORD>(INTERNET_REQFLAG_PASSIVE | INTERNET_REQFLAG_CACHE_WRITE_DISABLED));

    // nginx answers absolute URLs as a proxy does.
    std::string nginx = "127.0.0.1:" + servers().Value("HTTP_PORT");
    Internet proxied(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, nginx.c_str(), nullptr, INTERNET_FLAG_ASYNC));
    Internet file(InternetOpenUrlA(proxied.get(), "http://through-the-proxy.invalid/hello.txt", nullptr, 0, 0, 0));
    ASSERT_TRUE(file);
    EXPECT_EQ(Number(file.get(), INTERNET_OPTION_REQUEST_FLAGS),
              static_cast<DWORD>(INTERNET_REQFLAG_ASYNC | INTERNET_REQFLAG_VIA_PROXY |
                                 INTERNET_REQFLAG_CACHE_WRITE_DISABLED));
}

TEST_F(UrlOptions, TheCertificateOfAnHttpsHandle)
{
    Internet https(Open(servers().Https("/hello.txt")));
    ASSERT_TRUE(https);
    std::string text = Text(https.get(), INTERNET_OPTION_SECURITY_CERTIFICATE);
    EXPECT_EQ(text.rfind("Subject:\r\nlocalhost\r\nIssuer:\r\nBrevanto Test CA\r\nEffective Date:\t", 0), 0u) << text;
    EXPECT_NE(text.find("\r\nExpiration Date:\t20"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nSecurity Protocol:\tTLSv1."), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nSignature Type:\tecdsa-with-SHA256\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nPrivacy Strength:\tHigh ("), std::string::npos) << text;
    // Probed: the size counts the zero byte.
    DWORD size = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(https.get(), INTERNET_OPTION_SECURITY_CERTIFICATE, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, text.size() + 1);
    // A redirect to https (allowed): the certificate of the response delivered.
    Internet redirected(Open(servers().Http("/redirect-tls"), INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS));
    ASSERT_TRUE(redirected);
    EXPECT_EQ(Text(redirected.get(), INTERNET_OPTION_SECURITY_CERTIFICATE), text);
}

TEST_F(UrlOptions, TheDataFileHoldsWhatWasRead)
{
    Internet file(Open(servers().Http("/pattern.bin"), INTERNET_FLAG_NEED_FILE));
    ASSERT_TRUE(file);
    std::string path = Text(file.get(), INTERNET_OPTION_DATAFILE_NAME);
    EXPECT_EQ(path.rfind(UserDir() + "/cache/pattern[", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 5), "].bin");
    std::string body = ReadAll(file.get());
    EXPECT_EQ(body.size(), static_cast<std::size_t>(std::stoul(servers().Value("PATTERN_SIZE"))));
    EXPECT_TRUE(test::ReadFile(path) == body);
    file.Reset();
    EXPECT_FALSE(test::Exists(path));
}

TEST_F(UrlOptions, AQuietServerEndsAReadInAboutTheTimeSet)
{
    // Either timeout: the receive timeout, or the data receive timeout.
    for (DWORD option : {INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        DWORD timeout = 1000;
        ASSERT_TRUE(InternetSetOptionA(session(), option, &timeout, sizeof timeout));
        Internet file(Open(servers().Fault("/stall-body")));
        ASSERT_TRUE(file) << GetLastError();
        auto start = std::chrono::steady_clock::now();
        DWORD error = 0;
        std::string body = ReadAll(file.get(), &error);
        auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_TIMEOUT)) << option;
        EXPECT_EQ(body.size(), 10240u);
        EXPECT_GE(took, std::chrono::milliseconds(900)) << option;
        EXPECT_LT(took, std::chrono::seconds(10)) << option;
        timeout = 30000;
        ASSERT_TRUE(InternetSetOptionA(session(), option, &timeout, sizeof timeout));
    }
}

TEST_F(UrlOptions, SmallBuffersCarryEverything)
{
    DWORD size = 1;
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_READ_BUFFER_SIZE, &size, sizeof size));
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_WRITE_BUFFER_SIZE, &size, sizeof size));
    Internet file(Open(servers().Http("/pattern.bin")));
    ASSERT_TRUE(file);
    std::string body = ReadAll(file.get());
    EXPECT_TRUE(body == test::ReadFile(servers().Value("HTTP_ROOT") + "/pattern.bin"));
    std::string data(100000, 'w');
    test::Outcome put = test::Put(session(), servers().Http("/upload/small-buffers.bin"), data);
    ASSERT_TRUE(put.ok) << put.error;
    EXPECT_TRUE(test::ReadFile(servers().Value("HTTP_UPLOAD_DIR") + "/small-buffers.bin") == data);
}

}  // namespace
