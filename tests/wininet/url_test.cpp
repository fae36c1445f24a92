// InternetOpenUrlA's checks that need no server: URLs, headers, offline sessions.
#include "support.h"

using test::Internet;

namespace {

class Urls : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
    }
    DWORD OpenError(const char *url, const char *headers = nullptr, DWORD flags = 0, HINTERNET session = nullptr)
    {
        SetLastError(0xdeadbeef);
        HINTERNET h = InternetOpenUrlA(session ? session : session_.get(), url, headers,
                                       headers ? static_cast<DWORD>(-1) : 0, flags, 0);
        if (h) {
            InternetCloseHandle(h);
            return 0;
        }
        return GetLastError();
    }

    HINTERNET session() const { return session_.get(); }

private:
    Internet session_;
};

TEST_F(Urls, SchemesThatAreNotRecognized)
{
    for (const char *url : {"www.example.com/index.html", "foo://host/", "mailto:someone@example.com",
                            "file:///etc/hostname", "", "1http://host/", "://host/"}) {
        EXPECT_EQ(OpenError(url), static_cast<DWORD>(ERROR_INTERNET_UNRECOGNIZED_SCHEME)) << url;
    }
}

TEST_F(Urls, MalformedUrls)
{
    for (const char *url : {"http://", "http:///path", "http:host/x", "http://ho st/", "http://host:99999/",
                            "http://host:0/", "http://host:12ab/", "http://a/\r\nX-Injected: 1", "https://h/\x01",
                            "gopher://", "http://[::1/"}) {
        EXPECT_EQ(OpenError(url), static_cast<DWORD>(ERROR_INTERNET_INVALID_URL)) << url;
    }
}

// A selector or path that decodes to more than one line would send commands
// of the URL's choosing; FTP and Gopher refuse it before connecting.
TEST_F(Urls, EncodedLineBreaksInSelectorsAndPaths)
{
    for (const char *url : {"gopher://127.0.0.1:9/0/a%0D%0Ab", "gopher://127.0.0.1:9/0/a%0ab", "gopher://127.0.0.1:9/0/a%0Db",
                            "gopher://127.0.0.1:9/7/search?x%0D%0Ay", "ftp://127.0.0.1:9/a%0D%0ADELE%20b"}) {
        EXPECT_EQ(OpenError(url), static_cast<DWORD>(ERROR_INTERNET_INVALID_URL)) << url;
    }
    // A search's tab is gopher's own: it goes through (to nobody, on port 9).
    EXPECT_EQ(OpenError("gopher://127.0.0.1:9/7/search%09term"), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
}

TEST_F(Urls, NullUrl)
{
    EXPECT_EQ(OpenError(nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Urls, HeadersThatAreNoHeaders)
{
    // Checked before anything is sent, so no server is needed to see them refused.
    for (const char *headers : {"no colon here", "X-Ok: 1\r\nbroken", ": no name", "Bad Name: x",
                                "X-Cr: a\rb"}) {
        EXPECT_EQ(OpenError("http://127.0.0.1:9/", headers), static_cast<DWORD>(ERROR_HTTP_INVALID_HEADER))
            << headers;
    }
}

// More than any server takes: refused as an invalid header, not as a lack of memory.
TEST_F(Urls, HeadersTooLongToSend)
{
    std::string huge = "X-Huge: " + std::string(1 << 20, 'h');
    EXPECT_EQ(OpenError("http://127.0.0.1:9/", huge.c_str()), static_cast<DWORD>(ERROR_HTTP_INVALID_HEADER));
    std::string many;
    for (int i = 0; i < 40000; ++i)
        many += "X-" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(OpenError("http://127.0.0.1:9/", many.c_str()), static_cast<DWORD>(ERROR_HTTP_INVALID_HEADER));
}

TEST_F(Urls, AZeroByteInHeadersIsRefusedNotTakenForTheirEnd)
{
    // "X-Test: 1" and, after the zero byte, a line that would be lost.
    const char headers[] = "X-Test: 1\0\r\nX-Lost: 2";
    SetLastError(0xdeadbeef);
    Internet refused(InternetOpenUrlA(session(), "http://127.0.0.1:9/", headers, sizeof headers - 1, 0, 0));
    EXPECT_FALSE(refused);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HTTP_INVALID_HEADER));
    // A length that counts the terminating zero: the headers are taken (and nobody answers on port 9).
    SetLastError(0xdeadbeef);
    Internet taken(InternetOpenUrlA(session(), "http://127.0.0.1:9/", headers, 10, 0, 0));
    EXPECT_FALSE(taken);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
}

TEST_F(Urls, OfflineSessionsHaveNoCacheToServeFrom)
{
    Internet offline(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_OFFLINE));
    ASSERT_TRUE(offline);
    EXPECT_EQ(OpenError("http://127.0.0.1:9/", nullptr, 0, offline.get()), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(OpenError("http://127.0.0.1:9/", nullptr, INTERNET_FLAG_FROM_CACHE),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
