// InetOpen and InetClose.
#include "fixture.h"

namespace {

using Session = LibraryTest;

recording::Call OpenCall()
{
    auto calls = recording::CallsTo("InternetOpenA");
    return calls.empty() ? recording::Call{} : calls.back();
}

TEST_F(Session, NoArgumentsOpenWithTheCallerNameAndDefaults)
{
    th::SetCallerName("tour.rex Halvorin/1.0");
    ASSERT_EQ(Call(InetOpen).errorCode, 0u);
    EXPECT_EQ(OpenCall().Text(), "InternetOpenA(tour.rex Halvorin/1.0, 0, null, null, 0x0)");
}

TEST_F(Session, WithoutACallerNameTheDefaultNameIsTheAgent)
{
    th::SetCallerName(std::nullopt);
    ASSERT_EQ(Call(InetOpen, {"", "", ""}).errorCode, 0u);
    EXPECT_EQ(OpenCall().args[0], "Halvorin/1.0");
}

TEST_F(Session, ArgumentsReachWinINet)
{
    CallOutcome o = Call(InetOpen, {"async offline", "Proxy", "agent/2", "proxy:8080", "<local>"});
    ASSERT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(OpenCall().Text(), "InternetOpenA(agent/2, 3, proxy:8080, <local>, 0x11000000)");
}

TEST_F(Session, EmptyProxyAndBypassAreNull)
{
    ASSERT_EQ(Call(InetOpen, {Arg::Omitted(), "DIRECT", "a", "", ""}).errorCode, 0u);
    EXPECT_EQ(OpenCall().Text(), "InternetOpenA(a, 1, null, null, 0x0)");
}

TEST_F(Session, AccessTypes)
{
    const std::pair<const char *, const char *> types[] = {
        {"PRECONFIG", "0"}, {"direct", "1"}, {"PROXY", "3"}, {"No_AutoProxy", "4"}};
    for (auto [word, value] : types) {
        ASSERT_EQ(Call(InetOpen, {"", word}).errorCode, 0u) << word;
        EXPECT_EQ(OpenCall().args[1], value);
        ASSERT_EQ(Call(InetClose).errorCode, 0u);
    }
}

TEST_F(Session, ArgumentTwoIsCheckedBeforeArgumentOne)
{
    CallOutcome o = Call(InetOpen, {"SLOW", "NEAR"});
    EXPECT_EQ(o.errorCode, 0x1C0228u);
    EXPECT_EQ(Result(o), "NEAR");
    o = Call(InetOpen, {"SLOW", "DIRECT"});
    EXPECT_EQ(o.errorCode, 0x1C0128u);
    EXPECT_EQ(Result(o), "SLOW");
    o = Call(InetOpen, {"", "DIRECT PROXY"});
    EXPECT_EQ(o.errorCode, 0x1C0228u);
    EXPECT_EQ(State.SessionHandle, nullptr);
    EXPECT_TRUE(recording::CallsTo("InternetOpenA").empty());
}

TEST_F(Session, ASecondOpenLooksAtNothing)
{
    OpenSession();
    HINTERNET session = State.SessionHandle;
    unsigned parsed = th::Calls(Service::ParseKeywords);
    CallOutcome o = Call(InetOpen, {"BAD", "WORSE"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(State.SessionHandle, session);
    EXPECT_EQ(th::Calls(Service::ParseKeywords), parsed);
}

TEST_F(Session, AFailedOpenGivesTheWinINetText)
{
    recording::FailNext("InternetOpenA", ERROR_INTERNET_INVALID_PROXY_REQUEST);
    CallOutcome o = Call(InetOpen);
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "The proxy request is invalid\r\n");
    EXPECT_EQ(State.SessionHandle, nullptr);
}

TEST_F(Session, NoCopyFromTheInterpreterIsAnError)
{
    for (unsigned n = 1; n <= 3; n++) {
        th::FailNth(Service::GetArgCopy, n);
        CallOutcome o = Call(InetOpen, {"", "", "agent", "p", "b"});
        EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES) << n;
        EXPECT_EQ(State.SessionHandle, nullptr);
        EXPECT_EQ(th::OutstandingCopies(), 0u) << n;
    }
    EXPECT_TRUE(recording::CallsTo("InternetOpenA").empty());
}

TEST_F(Session, CloseOneHandleMakesTheNextCurrentAndDropsTheVariable)
{
    OpenSession();
    Connect("a");
    Connect("b");
    std::vector<std::string> before = List();
    ASSERT_EQ(Call(InetClose, {"b"}).errorCode, 0u);
    EXPECT_EQ(List(), std::vector<std::string>{before[1]});
    EXPECT_FALSE(th::Variable("b").has_value());
    EXPECT_EQ(recording::CallsTo("InternetCloseHandle").back().args[0], before[0]);

    ASSERT_EQ(Call(InetClose, {"a"}).errorCode, 0u);
    EXPECT_EQ(State.HandleList, nullptr);
    EXPECT_NE(State.SessionHandle, nullptr);
}

TEST_F(Session, CloseWithAVariableThatNamesNothing)
{
    OpenSession();
    Connect("a");
    // Unset, or holding 0: nothing happens, the variable stays.
    EXPECT_EQ(Call(InetClose, {"unset"}).errorCode, 0u);
    th::SetVariable("zero", "0");
    EXPECT_EQ(Call(InetClose, {"zero"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("zero"), "0");
    // Not a handle value at all.
    th::SetVariable("word", "hello");
    EXPECT_EQ(Call(InetClose, {"word"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("word"), "hello");
    // A value no node has: dropped, nothing closed.
    th::SetVariable("stale", "12345");
    EXPECT_EQ(Call(InetClose, {"stale"}).errorCode, 0u);
    EXPECT_FALSE(th::Variable("stale").has_value());
    EXPECT_EQ(List().size(), 1u);
    // An empty name is a name, not the teardown.
    EXPECT_EQ(Call(InetClose, {""}).errorCode, 0u);
    EXPECT_NE(State.SessionHandle, nullptr);
}

TEST_F(Session, CloseAfterTheSessionWentDropsTheVariable)
{
    OpenSession();
    Connect("a");
    ASSERT_EQ(Call(InetClose).errorCode, 0u);
    recording::Reset();
    EXPECT_EQ(Call(InetClose, {"a"}).errorCode, 0u);
    EXPECT_FALSE(th::Variable("a").has_value());
    EXPECT_TRUE(recording::Calls().empty());
}

TEST_F(Session, CloseAllWithoutSessionChangesNothing)
{
    EXPECT_EQ(Call(InetClose).errorCode, 0u);
    EXPECT_TRUE(recording::Calls().empty());
}

TEST_F(Session, ANewSessionAfterCloseKeepsOldValuesInVariables)
{
    OpenSession();
    Connect("a");
    std::string value = *th::Variable("a");
    ASSERT_EQ(Call(InetClose).errorCode, 0u);
    OpenSession();
    EXPECT_EQ(th::Variable("a"), value);
    // The old value names no node of the new session.
    EXPECT_EQ(Call(InetConnect, {"a", "server"}).errorCode, 0xD0128u);
}

} // namespace
