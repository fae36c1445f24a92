// The handle model: types, the tree, closing, stale and forged values.
#include "support.h"

#include <atomic>
#include <set>
#include <thread>
#include <vector>

using test::Internet;

namespace {

class Handles : public test::WinInetTest {};

DWORD TypeOf(HINTERNET h)
{
    DWORD type = 0, size = sizeof type;
    if (!InternetQueryOptionA(h, INTERNET_OPTION_HANDLE_TYPE, &type, &size))
        return 0;
    return type;
}

TEST_F(Handles, SessionsAndConnectionsCarryTheirTypes)
{
    Internet session(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_TRUE(session);
    EXPECT_EQ(TypeOf(session.get()), static_cast<DWORD>(INTERNET_HANDLE_TYPE_INTERNET));

    Internet http(InternetConnectA(session.get(), "127.0.0.1", 0, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    ASSERT_TRUE(http);
    EXPECT_EQ(TypeOf(http.get()), static_cast<DWORD>(INTERNET_HANDLE_TYPE_CONNECT_HTTP));

    Internet gopher(InternetConnectA(session.get(), "127.0.0.1", 0, nullptr, nullptr, INTERNET_SERVICE_GOPHER, 0, 0));
    ASSERT_TRUE(gopher);
    EXPECT_EQ(TypeOf(gopher.get()), static_cast<DWORD>(INTERNET_HANDLE_TYPE_CONNECT_GOPHER));

    HINTERNET parent = nullptr;
    DWORD size = sizeof parent;
    ASSERT_TRUE(InternetQueryOptionA(http.get(), INTERNET_OPTION_PARENT_HANDLE, &parent, &size));
    EXPECT_EQ(parent, session.get());
    EXPECT_EQ(size, sizeof parent);
}

TEST_F(Handles, BadArgumentsOfOpenAndConnect)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(InternetOpenA("t", 2, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    Internet session(InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    ASSERT_TRUE(session);
    struct Case {
        const char *server;
        DWORD service;
    } cases[] = {{nullptr, INTERNET_SERVICE_HTTP}, {"", INTERNET_SERVICE_HTTP}, {"host", 0}, {"host", 4}};
    for (const Case &c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(InternetConnectA(session.get(), c.server, 0, nullptr, nullptr, c.service, 0, 0), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.service;
    }
}

// The agent, proxies, server, user and password end up in request lines and
// headers: a line break in them would add lines of the caller's choosing.
TEST_F(Handles, LineBreaksInTextsForRequestsAreRefused)
{
    for (const char *text : {"a\r\nX-Injected: 1", "a\nb", "a\r"}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(InternetOpenA(text, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0), nullptr) << text;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        SetLastError(0xdeadbeef);
        EXPECT_EQ(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, text, nullptr, 0), nullptr) << text;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        SetLastError(0xdeadbeef);
        EXPECT_EQ(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, "p:1", text, 0), nullptr) << text;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    Internet session(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_TRUE(session);
    for (DWORD service : {INTERNET_SERVICE_HTTP, INTERNET_SERVICE_FTP, INTERNET_SERVICE_GOPHER}) {
        const char *texts[][3] = {{"h\r\nX: 1", nullptr, nullptr}, {"h", "u\r\nX: 1", "p"}, {"h", "u", "p\nX: 1"}};
        for (auto &t : texts) {
            SetLastError(0xdeadbeef);
            EXPECT_EQ(InternetConnectA(session.get(), t[0], 1, t[1], t[2], service, 0, 0), nullptr) << service;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << service;
        }
    }
    // Set as options instead, they are refused when a request would carry them.
    for (DWORD option : {INTERNET_OPTION_USER_AGENT, INTERNET_OPTION_USERNAME, INTERNET_OPTION_PASSWORD,
                         INTERNET_OPTION_PROXY_USERNAME, INTERNET_OPTION_PROXY_PASSWORD}) {
        Internet s(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        char value[] = "v\r\nX-Injected: 1";
        ASSERT_TRUE(InternetSetOptionA(s.get(), option, value, sizeof value - 1)) << option;
        if (option == INTERNET_OPTION_PASSWORD) {
            char user[] = "u";
            ASSERT_TRUE(InternetSetOptionA(s.get(), INTERNET_OPTION_USERNAME, user, 1));
        }
        SetLastError(0xdeadbeef);
        Internet file(InternetOpenUrlA(s.get(), "http://127.0.0.1:9/", nullptr, 0, 0, 0));
        EXPECT_FALSE(file) << option;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HTTP_INVALID_HEADER)) << option;
    }
}

TEST_F(Handles, ClosedForgedAndNullHandlesAreInvalid)
{
    HINTERNET session = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ASSERT_NE(session, nullptr);
    ASSERT_TRUE(InternetCloseHandle(session));

    HINTERNET forged = reinterpret_cast<HINTERNET>(static_cast<uintptr_t>(0x7fff1234));
    for (HINTERNET h : {session, forged, static_cast<HINTERNET>(nullptr)}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(InternetCloseHandle(h));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

        char buffer[4];
        DWORD got = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(InternetReadFile(h, buffer, sizeof buffer, &got));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

        DWORD written = 0;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(InternetWriteFile(h, buffer, sizeof buffer, &written));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

        SetLastError(0xdeadbeef);
        EXPECT_EQ(InternetConnectA(h, "host", 0, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

        SetLastError(0xdeadbeef);
        EXPECT_EQ(InternetOpenUrlA(h, "http://127.0.0.1/", nullptr, 0, 0, 0), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    DWORD type = 0, size = sizeof type;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetQueryOptionA(session, INTERNET_OPTION_HANDLE_TYPE, &type, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Handles, ValuesAreNeverReused)
{
    std::set<HINTERNET> seen;
    for (int i = 0; i < 50; ++i) {
        HINTERNET h = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(seen.insert(h).second);
        ASSERT_TRUE(InternetCloseHandle(h));
    }
}

TEST_F(Handles, WrongTypeIsReportedBeforeOtherParameters)
{
    Internet session(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    Internet http(InternetConnectA(session.get(), "127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    ASSERT_TRUE(http);

    // A connection is no session: even with a null URL or server the type comes first.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(InternetOpenUrlA(http.get(), nullptr, nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(InternetConnectA(http.get(), nullptr, 0, nullptr, nullptr, 99, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));

    // Sessions and connections are not read or written, whatever the other arguments.
    for (HINTERNET h : {session.get(), http.get()}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(InternetReadFile(h, nullptr, 10, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(InternetWriteFile(h, nullptr, 10, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    }
}

TEST_F(Handles, ClosingAParentClosesItsChildren)
{
    HINTERNET session = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ASSERT_NE(session, nullptr);
    HINTERNET a = InternetConnectA(session, "127.0.0.1", 0, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET b = InternetConnectA(session, "127.0.0.1", 0, nullptr, nullptr, INTERNET_SERVICE_GOPHER, 0, 0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    // A closed child leaves its siblings alone.
    ASSERT_TRUE(InternetCloseHandle(a));
    EXPECT_EQ(TypeOf(b), static_cast<DWORD>(INTERNET_HANDLE_TYPE_CONNECT_GOPHER));

    ASSERT_TRUE(InternetCloseHandle(session));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetCloseHandle(b));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Handles, ChildrenInheritOptionsWhenMadeAndKeepTheirOwn)
{
    Internet session(InternetOpenA("Agent/1.0", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    DWORD timeout = 1234;
    ASSERT_TRUE(InternetSetOptionA(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
    Internet http(InternetConnectA(session.get(), "127.0.0.1", 0, "user", "pw", INTERNET_SERVICE_HTTP, 0, 0));
    ASSERT_TRUE(http);

    DWORD value = 0, size = sizeof value;
    ASSERT_TRUE(InternetQueryOptionA(http.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &size));
    EXPECT_EQ(value, 1234u);
    char text[64];
    size = sizeof text;
    ASSERT_TRUE(InternetQueryOptionA(http.get(), INTERNET_OPTION_USER_AGENT, text, &size));
    EXPECT_STREQ(text, "Agent/1.0");
    size = sizeof text;
    ASSERT_TRUE(InternetQueryOptionA(http.get(), INTERNET_OPTION_USERNAME, text, &size));
    EXPECT_STREQ(text, "user");
    size = sizeof text;
    ASSERT_TRUE(InternetQueryOptionA(http.get(), INTERNET_OPTION_PASSWORD, text, &size));
    EXPECT_STREQ(text, "pw");

    // Later changes stay where they are made.
    timeout = 999;
    ASSERT_TRUE(InternetSetOptionA(http.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
    size = sizeof value;
    ASSERT_TRUE(InternetQueryOptionA(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &size));
    EXPECT_EQ(value, 1234u);
}

TEST_F(Handles, ContextValueIsKept)
{
    Internet session(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    Internet http(InternetConnectA(session.get(), "h", 0, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0x5eed));
    DWORD_PTR context = 0;
    DWORD size = sizeof context;
    ASSERT_TRUE(InternetQueryOptionA(http.get(), INTERNET_OPTION_CONTEXT_VALUE, &context, &size));
    EXPECT_EQ(context, static_cast<DWORD_PTR>(0x5eed));
}

TEST_F(Handles, ManyThreadsOpenAndCloseTogether)
{
    constexpr int kThreads = 8, kRounds = 200;
    Internet session(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_TRUE(session);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                HINTERNET c = InternetConnectA(session.get(), "h", 0, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
                if (!c || TypeOf(c) != INTERNET_HANDLE_TYPE_CONNECT_HTTP || !InternetCloseHandle(c) ||
                    InternetCloseHandle(c))
                    ++failures;
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(Handles, SessionClosedWhileChildrenAreMadeElsewhere)
{
    for (int round = 0; round < 20; ++round) {
        HINTERNET session = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        ASSERT_NE(session, nullptr);
        std::vector<HINTERNET> made;
        std::thread maker([&] {
            for (int i = 0; i < 100; ++i) {
                HINTERNET c = InternetConnectA(session, "h", 0, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
                if (c)
                    made.push_back(c);
                else
                    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
            }
        });
        EXPECT_TRUE(InternetCloseHandle(session));
        maker.join();
        // Every child made before or during the close is gone with its session.
        for (HINTERNET c : made) {
            SetLastError(0xdeadbeef);
            EXPECT_FALSE(InternetCloseHandle(c));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        }
    }
}

}  // namespace
