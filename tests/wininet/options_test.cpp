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

// Every option of the library's table, on every kind of handle that needs no
// server: the query, and a set of what the query gave.
TEST_F(Options, EachOptionOnEachKindOfHandle)
{
    Internet http(InternetConnectA(session(), "127.0.0.1", 0, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    Internet gopher(InternetConnectA(session(), "127.0.0.1", 0, nullptr, nullptr, INTERNET_SERVICE_GOPHER, 0, 0));
    ASSERT_TRUE(http && gopher);
    constexpr DWORD kType = ERROR_INTERNET_INCORRECT_HANDLE_TYPE, kReadOnly = ERROR_INTERNET_OPTION_NOT_SETTABLE,
                    kNoOption = ERROR_INTERNET_INVALID_OPTION;
    struct Case {
        DWORD option;
        test::RoundTrip none, handle;  // the NULL handle; a session or a connection
    } cases[] = {
        {INTERNET_OPTION_CONNECT_RETRIES, {0, 0}, {0, 0}},
        {INTERNET_OPTION_CONNECT_TIMEOUT, {0, 0}, {0, 0}},
        {INTERNET_OPTION_SEND_TIMEOUT, {0, 0}, {0, 0}},
        {INTERNET_OPTION_RECEIVE_TIMEOUT, {0, 0}, {0, 0}},
        {INTERNET_OPTION_DATA_SEND_TIMEOUT, {0, 0}, {0, 0}},
        {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, {0, 0}, {0, 0}},
        {INTERNET_OPTION_READ_BUFFER_SIZE, {0, 0}, {0, 0}},
        {INTERNET_OPTION_WRITE_BUFFER_SIZE, {0, 0}, {0, 0}},
        {INTERNET_OPTION_PROXY, {0, 0}, {0, 0}},
        {INTERNET_OPTION_HTTP_VERSION, {0, 0}, {0, 0}},
        {INTERNET_OPTION_CONNECTED_STATE, {0, 0}, {0, 0}},
        {INTERNET_OPTION_VERSION, {0, kReadOnly}, {0, kReadOnly}},
        {INTERNET_OPTION_EXTENDED_ERROR, {0, kReadOnly}, {0, kReadOnly}},
        {INTERNET_OPTION_END_BROWSER_SESSION, {kNoOption, 0}, {kNoOption, 0}},
        {INTERNET_OPTION_REFRESH, {kNoOption, 0}, {kNoOption, 0}},
        {INTERNET_OPTION_USER_AGENT, {kType, kType}, {0, 0}},
        {INTERNET_OPTION_USERNAME, {kType, kType}, {0, 0}},
        {INTERNET_OPTION_PASSWORD, {kType, kType}, {0, 0}},
        {INTERNET_OPTION_PROXY_USERNAME, {kType, kType}, {0, 0}},
        {INTERNET_OPTION_PROXY_PASSWORD, {kType, kType}, {0, 0}},
        {INTERNET_OPTION_HANDLE_TYPE, {kType, kReadOnly}, {0, kReadOnly}},
        {INTERNET_OPTION_PARENT_HANDLE, {kType, kReadOnly}, {0, kReadOnly}},
        {INTERNET_OPTION_REQUEST_FLAGS, {kType, kReadOnly}, {kType, kReadOnly}},
        {INTERNET_OPTION_DATAFILE_NAME, {kType, kReadOnly}, {kType, kReadOnly}},
        {INTERNET_OPTION_URL, {kType, kReadOnly}, {kType, kReadOnly}},
        {INTERNET_OPTION_SECURITY_CERTIFICATE, {kType, kReadOnly}, {kType, kReadOnly}},
        {INTERNET_OPTION_REQUEST_PRIORITY, {kType, kType}, {kType, kType}},
        {INTERNET_OPTION_SECONDARY_CACHE_KEY, {kType, kType}, {kType, kType}},
        {INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT, {kType, kType}, {kType, kType}},
    };
    for (const Case &c : cases) {
        test::RoundTrip got = test::QueryAndSetBack(nullptr, c.option);
        EXPECT_EQ(got.query, c.none.query) << "NULL, option " << c.option;
        EXPECT_EQ(got.set, c.none.set) << "NULL, option " << c.option;
        for (HINTERNET h : {session(), http.get(), gopher.get()}) {
            got = test::QueryAndSetBack(h, c.option);
            EXPECT_EQ(got.query, c.handle.query) << "handle type " << test::HandleType(h) << ", option " << c.option;
            EXPECT_EQ(got.set, c.handle.set) << "handle type " << test::HandleType(h) << ", option " << c.option;
        }
    }
    // What the process had before.
    INTERNET_PROXY_INFO preconfig = {INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr};
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_PROXY, &preconfig, sizeof preconfig));
}

TEST_F(Options, FixedSizedOptionsRefuseOtherLengths)
{
    INTERNET_CONNECTED_INFO online = {INTERNET_STATE_CONNECTED, 0};
    HTTP_VERSION_INFO version = {1, 1};
    DWORD_PTR context = 7;
    const struct {
        DWORD option;
        const void *value;
        DWORD size;
    } cases[] = {
        {INTERNET_OPTION_CONNECTED_STATE, &online, sizeof online},
        {INTERNET_OPTION_HTTP_VERSION, &version, sizeof version},
        {INTERNET_OPTION_CONTEXT_VALUE, &context, sizeof context},
        {INTERNET_OPTION_READ_BUFFER_SIZE, &version, sizeof(DWORD)},
    };
    for (const auto &c : cases) {
        char bytes[16] = {};
        std::memcpy(bytes, c.value, c.size);
        for (DWORD size : {c.size - 1, c.size + 1}) {
            SetLastError(0xdeadbeef);
            EXPECT_FALSE(InternetSetOptionA(session(), c.option, bytes, size)) << c.option << " " << size;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_BAD_OPTION_LENGTH)) << c.option;
        }
        EXPECT_TRUE(InternetSetOptionA(session(), c.option, bytes, c.size)) << c.option;
    }
    DWORD_PTR got = 0;
    DWORD size = sizeof got;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_CONTEXT_VALUE, &got, &size));
    EXPECT_EQ(got, 7u);
    // A buffer of no bytes at all reads nothing.
    DWORD zero = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetSetOptionA(session(), INTERNET_OPTION_WRITE_BUFFER_SIZE, &zero, sizeof zero));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Options, TheConnectedStateAndOfflineMode)
{
    DWORD state = 0, size = 4;
    ASSERT_TRUE(InternetQueryOptionA(nullptr, INTERNET_OPTION_CONNECTED_STATE, &state, &size));
    EXPECT_EQ(size, 4u);
    // The machine's state, whichever it is, and nothing under way.
    EXPECT_TRUE(state == (INTERNET_STATE_CONNECTED | INTERNET_STATE_IDLE) ||
                state == (INTERNET_STATE_DISCONNECTED | INTERNET_STATE_IDLE))
        << state;

    INTERNET_CONNECTED_INFO offline = {INTERNET_STATE_DISCONNECTED, ISO_FORCE_DISCONNECTED};
    ASSERT_TRUE(InternetSetOptionA(session(), INTERNET_OPTION_CONNECTED_STATE, &offline, sizeof offline));
    size = 4;
    ASSERT_TRUE(InternetQueryOptionA(session(), INTERNET_OPTION_CONNECTED_STATE, &state, &size));
    EXPECT_EQ(state, static_cast<DWORD>(INTERNET_STATE_DISCONNECTED_BY_USER | INTERNET_STATE_IDLE));
    DWORD flags = 0;
    EXPECT_FALSE(InternetGetConnectedState(&flags, 0));
    EXPECT_TRUE(flags & INTERNET_CONNECTION_OFFLINE);
    // Offline, nothing is fetched and no FTP login is made.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(InternetOpenUrlA(session(), "http://127.0.0.1:1/", nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(InternetConnectA(session(), "127.0.0.1", 1, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_DISCONNECTED));

    INTERNET_CONNECTED_INFO strange = {INTERNET_STATE_IDLE, 0};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetSetOptionA(nullptr, INTERNET_OPTION_CONNECTED_STATE, &strange, sizeof strange));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    INTERNET_CONNECTED_INFO online = {INTERNET_STATE_CONNECTED, 0};
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_CONNECTED_STATE, &online, sizeof online));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(InternetOpenUrlA(session(), "http://127.0.0.1:1/", nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
}

TEST_F(Options, TheExtendedErrorIsTheLastReplysCode)
{
    DWORD code = 7, size = sizeof code;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(nullptr, INTERNET_OPTION_EXTENDED_ERROR, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 4u);
    ASSERT_TRUE(InternetQueryOptionA(nullptr, INTERNET_OPTION_EXTENDED_ERROR, &code, &size));
    DWORD response = 1;
    char text[64];
    DWORD length = sizeof text;
    ASSERT_TRUE(InternetGetLastResponseInfoA(&response, text, &length));
    EXPECT_EQ(code, response);
}

}  // namespace
