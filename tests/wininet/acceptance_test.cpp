// A program's view, with the WinINet calls only: download over HTTP and
// HTTPS, upload and read back, a cookie a response set, and the code (and
// message text) of the common failures.
#include "support.h"

#include <string>

using test::Internet;
using test::Servers;

namespace {

class Acceptance : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        TrustTestCa();
        session_.Reset(InternetOpenA("Acceptance/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
    }

    // The whole resource, or the failing call's code.
    bool Get(const std::string &url, std::string &body, DWORD &error)
    {
        HINTERNET file = InternetOpenUrlA(session_.get(), url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
        if (!file) {
            error = GetLastError();
            return false;
        }
        char buffer[4096];
        DWORD got = 0;
        body.clear();
        bool ok = true;
        while ((ok = InternetReadFile(file, buffer, sizeof buffer, &got)) && got > 0)
            body.append(buffer, got);
        if (!ok)
            error = GetLastError();
        InternetCloseHandle(file);
        return ok;
    }

    DWORD FailureOf(const std::string &url)
    {
        std::string body;
        DWORD error = 0;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(Get(url, body, error)) << url;
        return error;
    }

    static std::string Text(DWORD code)
    {
        char text[256] = {};
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 GetModuleHandleA("wininet.dll"), code, 0, text, sizeof text, nullptr);
        std::string s(text, n);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        return s;
    }

    Internet session_;
};

TEST_F(Acceptance, DownloadsOverHttpAndHttps)
{
    std::string body;
    DWORD error = 0;
    ASSERT_TRUE(Get(Servers::Get().Http("/hello.txt"), body, error)) << error;
    EXPECT_EQ(body, "Hello from nginx\n");
    ASSERT_TRUE(Get(Servers::Get().Https("/hello.txt"), body, error)) << error;
    EXPECT_EQ(body, "Hello from nginx\n");
}

TEST_F(Acceptance, UploadsAndReadsBack)
{
    std::string url = Servers::Get().Http("/upload/acceptance-" + std::to_string(getpid()) + ".txt");
    HINTERNET file = InternetOpenUrlA(session_.get(), url.c_str(), nullptr, 0, 0, 0);
    ASSERT_NE(file, nullptr);
    const char data[] = "uploaded by the acceptance test";
    DWORD written = 0;
    ASSERT_TRUE(InternetWriteFile(file, data, sizeof data - 1, &written)) << GetLastError();
    EXPECT_EQ(written, sizeof data - 1);
    ASSERT_TRUE(InternetCloseHandle(file));
    std::string body;
    DWORD error = 0;
    ASSERT_TRUE(Get(url, body, error)) << error;
    EXPECT_EQ(body, data);
}

TEST_F(Acceptance, SeesTheCookieAResponseSet)
{
    std::string body;
    DWORD error = 0;
    ASSERT_TRUE(Get(Servers::Get().Http("/cookies/set"), body, error)) << error;
    DWORD size = 0;
    ASSERT_TRUE(InternetGetCookieA(Servers::Get().Http("/").c_str(), nullptr, nullptr, &size));
    std::string cookie(size, '\0');
    ASSERT_TRUE(InternetGetCookieA(Servers::Get().Http("/").c_str(), nullptr, cookie.data(), &size));
    EXPECT_NE(cookie.find("persist_c=p1"), std::string::npos) << cookie;
}

TEST_F(Acceptance, CodesAndTextsOfTheCommonFailures)
{
    struct Case {
        std::string url;
        DWORD code;
        const char *text;
    } cases[] = {
        {"http://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/", ERROR_INTERNET_CANNOT_CONNECT,
         "A connection with the server could not be established"},
        {"http://unknown-host.invalid/", ERROR_INTERNET_NAME_NOT_RESOLVED,
         "The server name or address could not be resolved"},
        {Servers::Get().Https("/hello.txt", "HTTPS_UNTRUSTED_PORT"), ERROR_INTERNET_INVALID_CA,
         "The certificate authority is invalid or incorrect"},
        {Servers::Get().Fault("/stall"), ERROR_INTERNET_TIMEOUT, "The operation timed out"},
    };
    DWORD timeout = 1000;
    ASSERT_TRUE(InternetSetOptionA(session_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
    for (const Case &c : cases) {
        EXPECT_EQ(FailureOf(c.url), c.code) << c.url;
        EXPECT_EQ(Text(c.code), c.text) << c.code;
    }
}

}  // namespace
