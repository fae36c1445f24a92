// InetCookie.
#include "fixture.h"

namespace {

using Cookie = LibraryTest;

std::vector<std::string> Texts()
{
    std::vector<std::string> out;
    for (const recording::Call &c : recording::Calls())
        out.push_back(c.Text());
    return out;
}

TEST_F(Cookie, AReadWithoutAVariableIsAnError)
{
    CallOutcome o = Call(InetCookie, {"http://server/"});
    EXPECT_EQ(o.errorCode, 0x50328u);
    EXPECT_TRUE(recording::Calls().empty());
}

TEST_F(Cookie, TheVariableHoldsTheCookieTextExactly)
{
    recording::SetCookieData("n1=v1; n2=v2");
    ASSERT_EQ(Call(InetCookie, {"http://server/", "", "jar"}).errorCode, 0u);
    // The size query names the empty name; the fetch none. The size word
    // arrives holding the variable name's length, as GetArg left it.
    EXPECT_EQ(Texts(), (std::vector<std::string>{"InternetGetCookieA(http://server/, , null, 3)",
                                                 "InternetGetCookieA(http://server/, null, ptr, 13)"}));
    EXPECT_EQ(th::Variable("jar"), "n1=v1; n2=v2");
}

TEST_F(Cookie, NamedReadsUseTheExtendedCallWithTheFlags)
{
    recording::SetCookieData("id=7");
    ASSERT_EQ(Call(InetCookie, {"http://server/", "id", "c", "restricted"}).errorCode, 0u);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"InternetGetCookieExA(http://server/, id, null, 1, 0x20000, null)",
                                                 "InternetGetCookieExA(http://server/, id, ptr, 5, 0x20000, null)"}));
    EXPECT_EQ(th::Variable("c"), "id=7");
    ASSERT_EQ(Call(InetCookie, {"http://server/", "id", "c", "THIRDPARTY P3P"}).errorCode, 0u);
    EXPECT_EQ(recording::Calls().back().args[4], "0x50");
}

TEST_F(Cookie, NoCookieForTheUrlIsReportedAndTouchesNothing)
{
    th::SetVariable("c", "before");
    CallOutcome o = Call(InetCookie, {"http://server/", "", "c"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "No more data is available.\r\n");
    EXPECT_EQ(th::Variable("c"), "before");
    EXPECT_EQ(recording::Calls().size(), 1u);
}

TEST_F(Cookie, NoSessionOrHandleIsNeeded)
{
    recording::SetCookieData("a=b");
    EXPECT_EQ(Call(InetCookie, {"http://server/", "", "c"}).errorCode, 0u);
    OpenSession();
    Connect("h");
    EXPECT_EQ(Call(InetCookie, {"http://server/", "", "c"}).errorCode, 0u);
    EXPECT_EQ(recording::CallsTo("InternetGetCookieA").size(), 4u);
}

TEST_F(Cookie, SettingANamedCookie)
{
    ASSERT_EQ(Call(InetCookie, {"http://server/", "id", "7; Path=/", "set thirdparty", "CP=\"NOI\""}).errorCode, 0u);
    EXPECT_EQ(Texts(), std::vector<std::string>{
                           "InternetSetCookieExA(http://server/, id, 7; Path=/, 0x10, CP=\"NOI\")"});
    // No header: the empty text, not a null pointer.
    ASSERT_EQ(Call(InetCookie, {"http://server/", "id", "8", "SET"}).errorCode, 0u);
    EXPECT_EQ(recording::Calls().back().Text(), "InternetSetCookieExA(http://server/, id, 8, 0x0, )");
}

TEST_F(Cookie, SettingWithoutANameUsesThePlainCall)
{
    ASSERT_EQ(Call(InetCookie, {"http://server/", "", "id=7", "SET THIRDPARTY", "ignored"}).errorCode, 0u);
    EXPECT_EQ(Texts(), std::vector<std::string>{"InternetSetCookieA(http://server/, null, id=7)"});
    ASSERT_EQ(Call(InetCookie, {"http://server/", Arg::Omitted(), Arg::Omitted(), "SET"}).errorCode, 0u);
    EXPECT_EQ(recording::Calls().back().Text(), "InternetSetCookieA(http://server/, null, )");
}

TEST_F(Cookie, OnlyAnAcceptedCookieIsSuccess)
{
    recording::SetCookieState(COOKIE_STATE_REJECT, ERROR_INTERNET_INVALID_OPERATION);
    CallOutcome o = Call(InetCookie, {"http://server/", "id", "7", "SET"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "The requested operation is invalid\r\n");
    recording::FailNext("InternetSetCookieExA", ERROR_INVALID_PARAMETER);
    o = Call(InetCookie, {"http://server/", "id", "7", "SET"});
    EXPECT_EQ(Result(o), "The parameter is incorrect.\r\n");
    recording::FailNext("InternetSetCookieA", ERROR_INVALID_PARAMETER);
    o = Call(InetCookie, {"http://server/", "", "id=7", "SET"});
    EXPECT_EQ(Result(o), "The parameter is incorrect.\r\n");
}

TEST_F(Cookie, AnUnknownOptionIsRefused)
{
    CallOutcome o = Call(InetCookie, {"http://server/", "", "c", "SET CRUMBLE"});
    EXPECT_EQ(o.errorCode, 0x1C0428u);
    EXPECT_EQ(Result(o), "CRUMBLE");
    EXPECT_TRUE(recording::Calls().empty());
}

TEST_F(Cookie, AFailedFetchReleasesItsString)
{
    recording::SetCookieData("a=b");
    recording::FailNext("InternetGetCookieA", ERROR_INSUFFICIENT_BUFFER, 1);
    CallOutcome o = Call(InetCookie, {"http://server/", "", "c"});
    EXPECT_EQ(Result(o), "The data area passed to a system call is too small.\r\n");
    EXPECT_FALSE(th::Variable("c").has_value());
}

TEST_F(Cookie, EveryInjectedFailureIsAnErrorAndReleasesEverything)
{
    recording::SetCookieData("a=b");
    // Reading: two copies, the fresh string and the one cut to the text, the store.
    const std::pair<Service, unsigned> reading[] = {{Service::GetArgCopy, 2}, {Service::MakeString, 2}};
    for (auto [service, count] : reading) {
        for (unsigned n = 1; n <= count; n++) {
            th::FailNth(service, n);
            EXPECT_EQ(Call(InetCookie, {"http://server/", "", "c"}).errorCode, REXX_ERROR_RESOURCES)
                << th::NameOf(service) << n;
            EXPECT_FALSE(th::Variable("c").has_value());
        }
    }
    th::FailNth(Service::SetVar, 1);
    EXPECT_EQ(Call(InetCookie, {"http://server/", "", "c"}).errorCode, REXX_ERROR_RESOURCES);
    EXPECT_EQ(Call(InetCookie, {"http://server/", "", "2c"}).errorCode, 0x1A0328u);
    // Setting: four copies.
    for (unsigned n = 1; n <= 4; n++) {
        th::FailNth(Service::GetArgCopy, n);
        EXPECT_EQ(Call(InetCookie, {"http://server/", "id", "7", "SET"}).errorCode, REXX_ERROR_RESOURCES) << n;
    }
    EXPECT_TRUE(recording::CallsTo("InternetSetCookieExA").empty());
    EXPECT_EQ(th::OutstandingCopies(), 0u);
}

} // namespace
