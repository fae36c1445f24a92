// InternetWriteFile on URL handles: a PUT answered before the call returns.
#include "support.h"

#include <cstdlib>
#include <cstring>
#include <vector>
#include <thread>
#include <unistd.h>

using test::Download;
using test::Fetch;
using test::Internet;
using test::Servers;

namespace {

class Put : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
        name_ = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                std::to_string(getpid());
    }
    HINTERNET session() const { return session_.get(); }
    // A fresh upload URL for this test, and the file nginx writes for it.
    std::string UploadUrl(const std::string &stem) const { return Servers::Get().Http("/upload/" + name_ + "/" + stem); }
    std::string UploadFile(const std::string &stem) const
    {
        return Servers::Get().Value("HTTP_UPLOAD_DIR") + "/" + name_ + "/" + stem;
    }
    static std::string LastResponse(DWORD *code)
    {
        char text[256];
        DWORD size = sizeof text;
        if (!InternetGetLastResponseInfoA(code, text, &size))
            return "<error " + std::to_string(GetLastError()) + ">";
        EXPECT_EQ(size, std::strlen(text));
        return text;
    }

private:
    Internet session_;
    std::string name_;
};

TEST_F(Put, UploadsAndReadsBack)
{
    std::string data("binary\0data\r\nand more", 21);
    test::Outcome o = test::Put(session(), UploadUrl("a/b.bin"), data);
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_EQ(test::ReadFile(UploadFile("a/b.bin")), data);
    Download back = Fetch(session(), UploadUrl("a/b.bin"));
    ASSERT_TRUE(back.complete) << back.error;
    EXPECT_EQ(back.body, data);
}

TEST_F(Put, LaterWritesExtendTheResource)
{
    Internet file(InternetOpenUrlA(session(), UploadUrl("parts.txt").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(InternetWriteFile(file.get(), "first,", 6, &written));
    EXPECT_EQ(written, 6u);
    EXPECT_EQ(test::ReadFile(UploadFile("parts.txt")), "first,");
    ASSERT_TRUE(InternetWriteFile(file.get(), "second", 6, &written));
    EXPECT_EQ(written, 6u);
    EXPECT_EQ(test::ReadFile(UploadFile("parts.txt")), "first,second");
    // After writing, the handle has no download left to read.
    char buffer[16];
    DWORD got = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetReadFile(file.get(), buffer, sizeof buffer, &got));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE));
    EXPECT_EQ(got, 0u);
}

TEST_F(Put, EmptyUploadMakesAnEmptyResource)
{
    test::Outcome o = test::Put(session(), UploadUrl("empty.txt"), "");
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_TRUE(test::Exists(UploadFile("empty.txt")));
    EXPECT_EQ(test::ReadFile(UploadFile("empty.txt")), "");
}

TEST_F(Put, LargeUpload)
{
    std::string data(3 * 1024 * 1024 + 5, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 31) ^ (i >> 9));
    test::Outcome o = test::Put(session(), UploadUrl("large.bin"), data);
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_TRUE(test::ReadFile(UploadFile("large.bin")) == data);
}

TEST_F(Put, RefusedUploadKeepsTheReply)
{
    std::string target = Servers::Get().Value("HTTP_ROOT") + "/static-" + std::to_string(getpid()) + ".txt";
    test::Outcome o = test::Put(session(), Servers::Get().Http("/static-" + std::to_string(getpid()) + ".txt"), "x");
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.error, static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_FALSE(test::Exists(target));
    DWORD code = 0;
    EXPECT_EQ(LastResponse(&code), "HTTP/1.1 405 Not Allowed");
    EXPECT_EQ(code, 405u);

    // A short plain-text body is part of it.
    o = test::Put(session(), Servers::Get().Http("/refuse"), "x");
    EXPECT_EQ(o.error, static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_EQ(LastResponse(&code), "HTTP/1.1 403 Forbidden\r\nnot taking it");
    EXPECT_EQ(code, 403u);
}

TEST_F(Put, LastResponseInfoSizeEdges)
{
    test::Outcome o = test::Put(session(), Servers::Get().Http("/refuse"), "x");
    ASSERT_EQ(o.error, static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    const std::string expected = "HTTP/1.1 403 Forbidden\r\nnot taking it";
    const DWORD length = static_cast<DWORD>(expected.size());
    DWORD code = 0, size = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetGetLastResponseInfoA(&code, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, length);

    char buffer[128];
    size = length;  // no room for the zero
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetGetLastResponseInfoA(&code, buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, length);

    size = length + 1;
    ASSERT_TRUE(InternetGetLastResponseInfoA(&code, buffer, &size));
    EXPECT_EQ(size, length);
    EXPECT_EQ(std::string(buffer), expected);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetGetLastResponseInfoA(nullptr, buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Put, RepliesBelongToTheirThread)
{
    test::Outcome o = test::Put(session(), Servers::Get().Http("/refuse"), "x");
    ASSERT_EQ(o.error, static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    DWORD size = 123, code = 7;
    std::thread([&] {
        char buffer[64];
        EXPECT_TRUE(InternetGetLastResponseInfoA(&code, buffer, &size));
    }).join();
    EXPECT_EQ(size, 0u);
}

TEST_F(Put, OnlyHttpUrlHandlesAreWritten)
{
    DWORD written = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetWriteFile(session(), "x", 1, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    Internet gopher(InternetOpenUrlA(session(), Servers::Get().Gopher("/0/text.txt").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(gopher);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetWriteFile(gopher.get(), "x", 1, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    Internet http(InternetOpenUrlA(session(), UploadUrl("n.txt").c_str(), nullptr, 0, 0, 0));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetWriteFile(http.get(), "x", 1, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(test::Exists(UploadFile("n.txt")));
}

TEST_F(Put, UploadOverHttps)
{
    TrustTestCa();
    std::string url = Servers::Get().Https("/upload/" + std::to_string(getpid()) + "-tls.txt");
    test::Outcome o = test::Put(session(), url, "over tls");
    ASSERT_TRUE(o.ok) << o.error;
    Download back = Fetch(session(), url);
    ASSERT_TRUE(back.complete) << back.error;
    EXPECT_EQ(back.body, "over tls");
}

TEST_F(Put, SilentServerTimesOut)
{
    DWORD timeout = 500;
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout));
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
    test::Outcome o = test::Put(session(), Servers::Get().Fault("/stall-put"), "data");
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.error, static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
}

TEST_F(Put, ARefusedWriteIsNotSentAgain)
{
    std::string key = std::to_string(getpid()) + "-" + std::to_string(std::rand());
    Internet file(InternetOpenUrlA(session(), Servers::Get().Fault("/put-once?" + key).c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(InternetWriteFile(file.get(), "aa", 2, &written));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetWriteFile(file.get(), "bb", 2, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    DWORD code = 0;
    EXPECT_EQ(LastResponse(&code), "HTTP/1.1 409 Conflict\r\nalready taken");
    EXPECT_EQ(code, 409u);
    EXPECT_FALSE(InternetWriteFile(file.get(), "cc", 2, &written));
    // What the server received: everything written and taken so far, each time.
    std::string log = test::ReadFile(Servers::Get().Value("FAULT_LOG"));
    std::string mine = "PUT /put-once?" + key;
    std::vector<std::string> bodies;
    for (std::size_t at = log.find(mine); at != std::string::npos; at = log.find(mine, at + 1)) {
        std::size_t body = log.find("\nbody=", at);
        ASSERT_NE(body, std::string::npos);
        bodies.push_back(log.substr(body + 6, log.find('\n', body + 1) - body - 6));
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{"aa", "aabb", "aacc"}));
}

}  // namespace
