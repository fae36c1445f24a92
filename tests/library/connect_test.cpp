// InetConnect: new connections and switching.
#include "fixture.h"

#include <set>

namespace {

using Connect_ = LibraryTest;

recording::Call ConnectCall()
{
    auto calls = recording::CallsTo("InternetConnectA");
    return calls.empty() ? recording::Call{} : calls.back();
}

TEST_F(Connect_, WithoutSessionReportsMessageThree)
{
    CallOutcome o = Call(InetConnect, {"c", "server"});
    EXPECT_EQ(o.errorCode, REPORT_PLAIN);
    EXPECT_EQ(Result(o), "session handle not open");
    EXPECT_EQ(State.HandleList, nullptr);
}

TEST_F(Connect_, DefaultsAreHttpWithPassiveFlagAndArgumentSevenUnread)
{
    OpenSession();
    ASSERT_EQ(Call(InetConnect, {"c", "www.example.org", Arg::Omitted(), "", "", Arg::Omitted(), "BOGUS"}).errorCode,
              0u);
    EXPECT_EQ(ConnectCall().Text(), "InternetConnectA(" + recording::Name(State.SessionHandle) +
                                        ", www.example.org, 0, null, null, 3, 0x8000000, 0)");
    EXPECT_EQ(HandleValue("c"), (ULONG_PTR)State.HandleList);
}

TEST_F(Connect_, FtpPassiveOrActive)
{
    OpenSession();
    ASSERT_EQ(Call(InetConnect, {"p", "ftp.example.org", "FTP", "anna", "secret", "2121"}).errorCode, 0u);
    EXPECT_EQ(ConnectCall().Text(), "InternetConnectA(" + recording::Name(State.SessionHandle) +
                                        ", ftp.example.org, 2121, anna, secret, 1, 0x8000000, 0)");
    ASSERT_EQ(Call(InetConnect, {"a", "ftp.example.org", "ftp", "", "", "", "active"}).errorCode, 0u);
    EXPECT_EQ(ConnectCall().args[6], "0x0");
    CallOutcome o = Call(InetConnect, {"x", "ftp.example.org", "ftp", "", "", "", "LAZY"});
    EXPECT_EQ(o.errorCode, 0x1C0728u);
    EXPECT_EQ(Result(o), "LAZY");
}

TEST_F(Connect_, GopherAndAnEmptyServerName)
{
    OpenSession();
    ASSERT_EQ(Call(InetConnect, {"g", "", "Gopher"}).errorCode, 0u);
    EXPECT_EQ(ConnectCall().args[1], "");
    EXPECT_EQ(ConnectCall().args[5], "2");
}

TEST_F(Connect_, ArgumentChecks)
{
    OpenSession();
    CallOutcome o = Call(InetConnect, {"c", "s", "TELNET"});
    EXPECT_EQ(o.errorCode, 0x1C0328u);
    EXPECT_EQ(Result(o), "TELNET");
    EXPECT_EQ(Call(InetConnect, {"c", "s", "FTP", "", "", "twenty-one"}).errorCode, 0xE0628u);
    EXPECT_EQ(Call(InetConnect, {"c", "s", "FTP", "", "", "-1"}).errorCode, 0xE0628u);
    EXPECT_TRUE(recording::CallsTo("InternetConnectA").empty());
    EXPECT_EQ(State.HandleList, nullptr);
}

TEST_F(Connect_, APortAboveTheSixteenBitRangeWraps)
{
    OpenSession();
    ASSERT_EQ(Call(InetConnect, {"c", "s", "HTTP", "", "", "65616"}).errorCode, 0u);
    EXPECT_EQ(ConnectCall().args[2], "80");
}

TEST_F(Connect_, SwitchingReordersTheList)
{
    OpenSession();
    Connect("a");
    Connect("b");
    ULONG_PTR a = HandleValue("a"), b = HandleValue("b");
    EXPECT_EQ((ULONG_PTR)State.HandleList, b);
    recording::Reset();

    ASSERT_EQ(Call(InetConnect, {"a", "ignored", "NOT-A-SERVICE"}).errorCode, 0u);
    EXPECT_EQ((ULONG_PTR)State.HandleList, a);
    EXPECT_EQ((ULONG_PTR)State.HandleList->Next, b);
    ASSERT_EQ(Call(InetConnect, {"b"}).errorCode, 0u);
    EXPECT_EQ((ULONG_PTR)State.HandleList, b);
    ASSERT_EQ(Call(InetConnect, {"b"}).errorCode, 0u); // already current
    EXPECT_EQ((ULONG_PTR)State.HandleList, b);
    EXPECT_EQ((ULONG_PTR)State.HandleList->Next, a);
    EXPECT_TRUE(recording::Calls().empty());
}

TEST_F(Connect_, VariablesThatNameNoConnection)
{
    OpenSession();
    th::SetVariable("stale", "12345");
    EXPECT_EQ(Call(InetConnect, {"stale", "s"}).errorCode, 0xD0128u); // also with an empty list
    Connect("a");
    EXPECT_EQ(Call(InetConnect, {"stale", "s"}).errorCode, 0xD0128u);
    th::SetVariable("word", "hello");
    EXPECT_EQ(Call(InetConnect, {"word", "s"}).errorCode, 0xD0128u);
    EXPECT_EQ(List().size(), 1u);
    // 0 or unset: a new connection.
    th::SetVariable("zero", "0");
    ASSERT_EQ(Call(InetConnect, {"zero", "s"}).errorCode, 0u);
    EXPECT_EQ(HandleValue("zero"), (ULONG_PTR)State.HandleList);
    EXPECT_EQ(List().size(), 2u);
}

TEST_F(Connect_, AFailedConnectionGivesItsTextAndNoNode)
{
    OpenSession();
    recording::FailNext("InternetConnectA", ERROR_INTERNET_NAME_NOT_RESOLVED);
    CallOutcome o = Call(InetConnect, {"c", "nowhere.invalid"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "The server name or address could not be resolved\r\n");
    EXPECT_EQ(State.HandleList, nullptr);
    EXPECT_FALSE(th::Variable("c").has_value());
}

TEST_F(Connect_, ALoginRefusedGivesTheServersReply)
{
    OpenSession();
    recording::FailNext("InternetConnectA", ERROR_INTERNET_EXTENDED_ERROR);
    recording::SetResponse(530, "530 Authentication failed.\r\n");
    CallOutcome o = Call(InetConnect, {"c", "ftp", "FTP", "anna", "wrong"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "530 Authentication failed.\r\n");
}

TEST_F(Connect_, AHandleValueThatCannotBeStoredClosesTheConnection)
{
    OpenSession();
    th::FailNth(Service::SetVar, 1, HOST_REASON_NO_MEMORY);
    EXPECT_EQ(Call(InetConnect, {"c", "s"}).errorCode, REXX_ERROR_RESOURCES);
    EXPECT_EQ(State.HandleList, nullptr);
    // No name at all: the connection would be lost to the script.
    EXPECT_EQ(Call(InetConnect, {Arg::Omitted(), "s"}).errorCode, 0x50128u);
    EXPECT_EQ(Call(InetConnect, {"1st", "s"}).errorCode, 0x1A0128u);
    EXPECT_EQ(State.HandleList, nullptr);
}

TEST_F(Connect_, EveryInjectedFailureLeavesNothingOpenOrLeaked)
{
    OpenSession();
    const Args args{"c", "ftp.example.org", "FTP", "anna", "secret", "21"};
    struct Fault {
        Service service;
        unsigned count;
    };
    // GetVar once, GetArgCopy three times, SetVar once.
    for (Fault f : {Fault{Service::GetVar, 1}, Fault{Service::GetArgCopy, 3}, Fault{Service::SetVar, 1}}) {
        for (unsigned n = 1; n <= f.count; n++) {
            th::FailNth(f.service, n, HOST_REASON_NO_MEMORY);
            CallOutcome o = Call(InetConnect, args);
            // The variable cannot be read for want of memory either: no new connection in its place.
            EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES) << th::NameOf(f.service) << n;
            EXPECT_EQ(State.HandleList, nullptr);
            EXPECT_EQ(th::OutstandingCopies(), 0u);
            EXPECT_EQ(faults::LiveBlocks(), 0u);
            EXPECT_EQ(recording::OpenHandles(), 1u); // the session only
        }
    }
    faults::FailGlobalAlloc(1);
    EXPECT_EQ(Call(InetConnect, args).errorCode, REXX_ERROR_RESOURCES);
    EXPECT_EQ(th::OutstandingCopies(), 0u);
    EXPECT_EQ(recording::CallsTo("InternetConnectA").size(), 1u); // the SetVar run connected
}

// A script keeps handle values in variables after their connections are
// closed: with 40 closed and 40 opened, none of the old values may name a new
// connection, in this session or the next, and every value is a whole number
// of at most nine digits, which REXX holds exactly.
TEST_F(Connect_, StaleHandleValuesNameNothing)
{
    OpenSession();
    std::vector<ULONG_PTR> stale;
    for (int i = 0; i < 40; i++) {
        Connect("OLD" + std::to_string(i));
        stale.push_back(HandleValue("OLD" + std::to_string(i)));
    }
    for (int i = 0; i < 40; i++)
        ASSERT_EQ(Call(InetClose, {"OLD" + std::to_string(i)}).errorCode, 0u);
    for (int round = 0; round < 2; round++) {
        std::set<ULONG_PTR> live;
        for (int i = 0; i < 40; i++) {
            std::string name = "NEW" + std::to_string(round) + "_" + std::to_string(i);
            Connect(name);
            EXPECT_LT(HandleValue(name), 1000000000u) << "more than nine digits";
            EXPECT_TRUE(live.insert(HandleValue(name)).second);
        }
        HINTERNET current = State.HandleList->Handle;
        for (ULONG_PTR value : stale) {
            EXPECT_EQ(live.count(value), 0u) << "a stale value names a live connection";
            th::SetVariable("STALE", std::to_string(value));
            EXPECT_EQ(Call(InetConnect, {"STALE", "s"}).errorCode, 0xD0128u);
            ASSERT_EQ(Call(InetClose, {"STALE"}).errorCode, 0u);
        }
        EXPECT_EQ(State.HandleList->Handle, current);
        EXPECT_EQ(List().size(), 40u);
        stale.insert(stale.end(), live.begin(), live.end());
        // The same in a new session.
        ASSERT_EQ(Call(InetClose).errorCode, 0u);
        OpenSession();
    }
}

} // namespace
