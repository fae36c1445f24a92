// InternetQueryOptionA and InternetSetOptionA: sizes, defaults, the NULL handle.
#include "support.h"

#include <cstddef>
#include <cstring>

using test::Internet;

// The 64-bit layouts of the records options use.
static_assert(sizeof(INTERNET_PROXY_INFO) == 24);
static_assert(offsetof(INTERNET_PROXY_INFO, dwAccessType) == 0);
static_assert(offsetof(INTERNET_PROXY_INFO, lpszProxy) == 8);
static_assert(offsetof(INTERNET_PROXY_INFO, lpszProxyBypass) == 16);
static_assert(sizeof(INTERNET_VERSION_INFO) == 8);
static_assert(offsetof(INTERNET_VERSION_INFO, dwMinorVersion) == 4);
static_assert(sizeof(HTTP_VERSION_INFO) == 8);
static_assert(sizeof(INTERNET_PORT) == 2);

namespace {

class Options : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("Brevanto/1.0", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
    }
    HINTERNET session() const { return session_.get(); }

private:
    Internet session_;
};

TEST_F(Options, VersionIsOneTwoEverywhere)
{
    for (HINTERNET h : {static_cast<HINTERNET>(nullptr), session()}) {
        INTERNET_VERSION_INFO v = {};
        DWORD size = sizeof v;
        ASSERT_TRUE(InternetQueryOptionA(h, INTERNET_OPTION_VERSION, &v, &size));
        EXPECT_EQ(v.dwMajorVersion, 1u);
        EXPECT_EQ(v.dwMinorVersion, 2u);
        EXPECT_EQ(size, sizeof v);
    }
}

TEST_F(Options, DefaultTimeouts)
{
    struct Case {
        DWORD option, value;
    } cases[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, 60000},   {INTERNET_OPTION_SEND_TIMEOUT, 30000},
                 {INTERNET_OPTION_RECEIVE_TIMEOUT, 30000},   {INTERNET_OPTION_DATA_SEND_TIMEOUT, 30000},
                 {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, 30000}};
    for (const Case &c : cases) {
        for (HINTERNET h : {static_cast<HINTERNET>(nullptr), session()}) {
            DWORD value = 0, size = sizeof value;
            ASSERT_TRUE(InternetQueryOptionA(h, c.option, &value, &size)) << c.option;
            EXPECT_EQ(value, c.value) << c.option;
        }
    }
}

TEST_F(Options, NumberQuerySizeEdges)
{
    DWORD value[2] = {7, 7};
    DWORD size = 3;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(session(), INTERNET_OPTION_CONNECT_TIMEOUT, value, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(value[0], 7u);

    size = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(session(), INTERNET_OPTION_CONNECT_TIMEOUT, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 4u);

    size = 8;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_CONNECT_TIMEOUT, value, &size));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(value[0], 60000u);
    EXPECT_EQ(value[1], 7u);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(session(), INTERNET_OPTION_CONNECT_TIMEOUT, value, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Options, NumberSetNeedsFourBytes)
{
    DWORD value[2] = {5000, 0};
    for (DWORD size : {0u, 3u, 5u, 8u}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(InternetSetOptionA(session(), INTERNET_OPTION_RECEIVE_TIMEOUT, value, size)) << size;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_BAD_OPTION_LENGTH)) << size;
    }
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_RECEIVE_TIMEOUT, value, 4));
    DWORD got = 0, size = sizeof got;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_RECEIVE_TIMEOUT, &got, &size));
    EXPECT_EQ(got, 5000u);
}

TEST_F(Options, StringQuerySizeEdges)
{
    const char expected[] = "Brevanto/1.0";
    const DWORD length = sizeof expected - 1;
    DWORD size = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(session(), INTERNET_OPTION_USER_AGENT, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, length + 1);

    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    size = length;  // no room for the zero
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(session(), INTERNET_OPTION_USER_AGENT, buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, length + 1);
    EXPECT_EQ(buffer[0], 'x');

    size = length + 1;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_USER_AGENT, buffer, &size));
    EXPECT_EQ(size, length);
    EXPECT_STREQ(buffer, expected);
}

TEST_F(Options, StringSetTakesTheLengthGiven)
{
    // The length counts characters; no zero needs to follow them.
    const char text[] = "user-nameXXXX";
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_USERNAME, const_cast<char *>(text), 9));
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_PASSWORD, const_cast<char *>("secret"), 6));
    char buffer[32];
    DWORD size = sizeof buffer;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_USERNAME, buffer, &size));
    EXPECT_STREQ(buffer, "user-name");
    size = sizeof buffer;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_PASSWORD, buffer, &size));
    EXPECT_STREQ(buffer, "secret");
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_USER_AGENT, const_cast<char *>("New/2"), 5));
    size = sizeof buffer;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_USER_AGENT, buffer, &size));
    EXPECT_STREQ(buffer, "New/2");
}

TEST_F(Options, UnknownAndReadOnlyOptions)
{
    DWORD value = 0, size = sizeof value;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(session(), 9999, &value, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INVALID_OPTION));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetSetOptionA(session(), 9999, &value, sizeof value));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INVALID_OPTION));
    for (DWORD option : {INTERNET_OPTION_HANDLE_TYPE, INTERNET_OPTION_VERSION, INTERNET_OPTION_URL}) {
        DWORD buffer[4] = {};
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(InternetSetOptionA(session(), option, buffer, sizeof buffer)) << option;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_OPTION_NOT_SETTABLE)) << option;
    }
}

TEST_F(Options, HandleOptionsNeedAHandleOfTheirKind)
{
    DWORD value = 0, size = sizeof value;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(nullptr, INTERNET_OPTION_HANDLE_TYPE, &value, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    char url[64];
    size = sizeof url;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(session(), INTERNET_OPTION_URL, url, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
}

TEST_F(Options, HttpVersionIsProcessWide)
{
    HTTP_VERSION_INFO v = {};
    DWORD size = sizeof v;
    ASSERT_TRUE(InternetQueryOptionA(nullptr, INTERNET_OPTION_HTTP_VERSION, &v, &size));
    EXPECT_EQ(v.dwMajorVersion, 1u);
    EXPECT_EQ(v.dwMinorVersion, 1u);

    HTTP_VERSION_INFO ten = {1, 0};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetSetOptionA(nullptr, INTERNET_OPTION_HTTP_VERSION, &ten, sizeof ten - 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_BAD_OPTION_LENGTH));
    HTTP_VERSION_INFO two = {2, 0};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetSetOptionA(nullptr, INTERNET_OPTION_HTTP_VERSION, &two, sizeof two));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_HTTP_VERSION, &ten, sizeof ten));
    size = sizeof v;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_HTTP_VERSION, &v, &size));
    EXPECT_EQ(v.dwMinorVersion, 0u);
    HTTP_VERSION_INFO eleven = {1, 1};
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_HTTP_VERSION, &eleven, sizeof eleven));
}

TEST_F(Options, NullHandleSettingsReachNewSessions)
{
    DWORD timeout = 4321;
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout));
    Internet later(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    DWORD value = 0, size = sizeof value;
    ASSERT_TRUE(InternetQueryOptionA(later.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &value, &size));
    EXPECT_EQ(value, 4321u);
    // The session opened before keeps what it had.
    size = sizeof value;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_CONNECT_TIMEOUT, &value, &size));
    EXPECT_EQ(value, 60000u);
    timeout = 60000;
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout));
}

TEST_F(Options, ProxyRecordOfADirectSessionHasNoLists)
{
    alignas(INTERNET_PROXY_INFO) char buffer[sizeof(INTERNET_PROXY_INFO)];
    DWORD size = sizeof buffer - 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(session(), INTERNET_OPTION_PROXY, buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, sizeof(INTERNET_PROXY_INFO));
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_PROXY, buffer, &size));
    auto *info = reinterpret_cast<INTERNET_PROXY_INFO *>(buffer);
    EXPECT_EQ(info->dwAccessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_DIRECT));
    EXPECT_EQ(info->lpszProxy, nullptr);
    EXPECT_EQ(info->lpszProxyBypass, nullptr);
}

TEST_F(Options, ProxyRecordCarriesItsListsBehindIt)
{
    Internet proxied(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, "proxy.example:8080", "<local>", 0));
    ASSERT_TRUE(proxied);
    const DWORD needed = sizeof(INTERNET_PROXY_INFO) + sizeof "proxy.example:8080" + sizeof "<local>";
    DWORD size = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(proxied.get(), INTERNET_OPTION_PROXY, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, needed);
    alignas(INTERNET_PROXY_INFO) char buffer[128];
    size = needed;
    ASSERT_TRUE(InternetQueryOptionA(proxied.get(), INTERNET_OPTION_PROXY, buffer, &size));
    auto *info = reinterpret_cast<INTERNET_PROXY_INFO *>(buffer);
    EXPECT_EQ(info->dwAccessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_PROXY));
    EXPECT_STREQ(info->lpszProxy, "proxy.example:8080");
    EXPECT_STREQ(info->lpszProxyBypass, "<local>");
    EXPECT_GE(info->lpszProxy, buffer);
    EXPECT_LT(info->lpszProxyBypass, buffer + needed);
}

TEST_F(Options, ProxyRecordInAnUnalignedBuffer)
{
    Internet proxied(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, "p:1", nullptr, 0));
    alignas(8) char storage[64 + 4];
    char *buffer = storage + 4;
    DWORD size = 64;
    ASSERT_TRUE(InternetQueryOptionA(proxied.get(), INTERNET_OPTION_PROXY, buffer, &size));
    INTERNET_PROXY_INFO info;
    std::memcpy(&info, buffer, sizeof info);
    EXPECT_EQ(info.dwAccessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_PROXY));
    EXPECT_STREQ(info.lpszProxy, "p:1");
    // And back through a set from the same place.
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_PROXY, buffer, sizeof info));
    alignas(INTERNET_PROXY_INFO) char out[64];
    size = sizeof out;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_PROXY, out, &size));
    EXPECT_STREQ(reinterpret_cast<INTERNET_PROXY_INFO *>(out)->lpszProxy, "p:1");
}

TEST_F(Options, ProxySetOnAHandle)
{
    INTERNET_PROXY_INFO info = {INTERNET_OPEN_TYPE_PROXY, "p:3128", nullptr};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetSetOptionA(session(), INTERNET_OPTION_PROXY, &info, 12));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_BAD_OPTION_LENGTH));
    INTERNET_PROXY_INFO empty = {INTERNET_OPEN_TYPE_PROXY, nullptr, nullptr};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetSetOptionA(session(), INTERNET_OPTION_PROXY, &empty, sizeof empty));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_PROXY, &info, sizeof info));
    alignas(INTERNET_PROXY_INFO) char buffer[64];
    DWORD size = sizeof buffer;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_PROXY, buffer, &size));
    EXPECT_STREQ(reinterpret_cast<INTERNET_PROXY_INFO *>(buffer)->lpszProxy, "p:3128");
}

TEST_F(Options, PreconfigReadsTheEnvironment)
{
    test::ScopedEnv http("http_proxy", "http://envproxy:3128");
    test::ScopedEnv noProxy("no_proxy", "localhost,.example");
    Internet preconfig(InternetOpenA("t", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    alignas(INTERNET_PROXY_INFO) char buffer[256];
    DWORD size = sizeof buffer;
    ASSERT_TRUE(InternetQueryOptionA(preconfig.get(), INTERNET_OPTION_PROXY, buffer, &size));
    auto *info = reinterpret_cast<INTERNET_PROXY_INFO *>(buffer);
    EXPECT_EQ(info->dwAccessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_PROXY));
    ASSERT_NE(info->lpszProxy, nullptr);
    EXPECT_NE(std::strstr(info->lpszProxy, "http=http://envproxy:3128"), nullptr);
    ASSERT_NE(info->lpszProxyBypass, nullptr);
    EXPECT_STREQ(info->lpszProxyBypass, "localhost;.example");
}

}  // namespace
