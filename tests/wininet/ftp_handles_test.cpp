// The FTP calls' checks that need no server: the handle first (a missing or
// stale one, then one of another kind), then the arguments.
#include "support.h"

#include <string>

using test::Internet;

namespace {

class FtpHandles : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("ftp-handles", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
        // An HTTP connection connects to nothing until a request is made.
        http_.Reset(InternetConnectA(session_.get(), "127.0.0.1", 1, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        ASSERT_TRUE(http_);
    }
    HINTERNET Session() const { return session_.get(); }
    HINTERNET Http() const { return http_.get(); }

private:
    Internet session_;
    Internet http_;
};

// Every FTP call on handle h; each result paired with the error it left.
std::vector<std::pair<std::string, DWORD>> EveryCall(HINTERNET h)
{
    std::vector<std::pair<std::string, DWORD>> out;
    auto note = [&](const char *name, bool ok) { out.emplace_back(name, ok ? 0 : GetLastError()); };
    char dir[MAX_PATH];
    DWORD size = sizeof dir;
    WIN32_FIND_DATAA data;
    SetLastError(0xdeadbeef);
    note("FtpGetFileA", FtpGetFileA(h, "r", "/tmp/never-written", FALSE, 0, 0, 0));
    SetLastError(0xdeadbeef);
    note("FtpPutFileA", FtpPutFileA(h, "/etc/hostname", "r", 0, 0));
    SetLastError(0xdeadbeef);
    note("FtpRenameFileA", FtpRenameFileA(h, "a", "b"));
    SetLastError(0xdeadbeef);
    note("FtpDeleteFileA", FtpDeleteFileA(h, "a"));
    SetLastError(0xdeadbeef);
    note("FtpCreateDirectoryA", FtpCreateDirectoryA(h, "a"));
    SetLastError(0xdeadbeef);
    note("FtpRemoveDirectoryA", FtpRemoveDirectoryA(h, "a"));
    SetLastError(0xdeadbeef);
    note("FtpSetCurrentDirectoryA", FtpSetCurrentDirectoryA(h, "a"));
    SetLastError(0xdeadbeef);
    note("FtpGetCurrentDirectoryA", FtpGetCurrentDirectoryA(h, dir, &size));
    SetLastError(0xdeadbeef);
    note("FtpFindFirstFileA", FtpFindFirstFileA(h, "*", &data, 0, 0) != nullptr);
    SetLastError(0xdeadbeef);
    note("InternetFindNextFileA", InternetFindNextFileA(h, &data));
    return out;
}

TEST_F(FtpHandles, NoHandleAtAll)
{
    for (auto &[name, error] : EveryCall(nullptr))
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE)) << name;
}

TEST_F(FtpHandles, ClosedHandle)
{
    HINTERNET stale = InternetConnectA(Session(), "127.0.0.1", 1, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    ASSERT_NE(stale, nullptr);
    ASSERT_TRUE(InternetCloseHandle(stale));
    for (auto &[name, error] : EveryCall(stale))
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE)) << name;
}

TEST_F(FtpHandles, HandlesOfAnotherKind)
{
    for (HINTERNET h : {Session(), Http()}) {
        for (auto &[name, error] : EveryCall(h))
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE)) << name;
    }
}

TEST_F(FtpHandles, TypeIsCheckedBeforeTheArguments)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetCurrentDirectoryA(Http(), nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetFileA(Http(), nullptr, nullptr, FALSE, 0, 3, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpRenameFileA(Http(), nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
}

TEST_F(FtpHandles, ConnectingWhereNoServerIs)
{
    SetLastError(0xdeadbeef);
    HINTERNET h = InternetConnectA(Session(), "127.0.0.1", static_cast<INTERNET_PORT>(test::RefusedPort()), nullptr,
                                   nullptr, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));

    // A password without a user is refused before any connection is tried.
    SetLastError(0xdeadbeef);
    h = InternetConnectA(Session(), "127.0.0.1", 1, nullptr, "secret", INTERNET_SERVICE_FTP, 0, 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    h = InternetConnectA(Session(), "127.0.0.1", 1, "user\r\nSITE x", "p", INTERNET_SERVICE_FTP, 0, 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    SetLastError(0xdeadbeef);
    h = InternetOpenUrlA(Session(), ("ftp://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/f.txt").c_str(),
                         nullptr, 0, INTERNET_FLAG_PASSIVE, 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
}

}  // namespace
