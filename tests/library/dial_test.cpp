// InetDial, and the teardown's hang-up of what it dialled.
#include "fixture.h"

namespace {

using Dial = LibraryTest;

std::vector<std::string> Texts()
{
    std::vector<std::string> out;
    for (const recording::Call &c : recording::Calls())
        out.push_back(c.Text());
    return out;
}

TEST_F(Dial, OfflineWithoutANameAutodials)
{
    recording::SetConnectedState(INTERNET_CONNECTION_OFFLINE | INTERNET_RAS_INSTALLED);
    CallOutcome o = Call(InetDial);
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"InternetGetConnectedState(0)", "InternetAutodial(0x0, 0)"}));
    EXPECT_EQ(State.DialFlags, 0x02);
}

TEST_F(Dial, OnlineNothingIsDialled)
{
    recording::SetConnectedState(INTERNET_CONNECTION_LAN);
    ASSERT_EQ(Call(InetDial).errorCode, 0u);
    ASSERT_EQ(Call(InetDial, {"", "", "office"}).errorCode, 0u);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"InternetGetConnectedState(0)",
                                                 "InternetGetConnectedStateEx(ptr, 257, 0)"}));
    EXPECT_EQ(State.DialFlags, 0);
}

TEST_F(Dial, ANamedConnectionIsDialledWithTheWindowAndFlags)
{
    recording::SetConnectedState(INTERNET_CONNECTION_OFFLINE);
    // The name of the connection WinINet would use does not replace the one asked for.
    recording::SetConnectionName("default");
    recording::SetDialConnection(77);
    ASSERT_EQ(Call(InetDial, {"online unattended", "4660", "office"}).errorCode, 0u);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"InternetGetConnectedStateEx(ptr, 257, 0)",
                                                 "InternetDial(4660, office, 0x3, 0)"}));
    EXPECT_EQ(State.DialFlags, 0x03);
    EXPECT_EQ(State.DialConnection, 77u);
    // A later autodial only adds its bit.
    ASSERT_EQ(Call(InetDial, {"FORCEDIAL FAILNOSHARE"}).errorCode, 0u);
    EXPECT_EQ(recording::Calls().back().Text(), "InternetAutodial(0xC, 0)");
    EXPECT_EQ(State.DialFlags, 0x03);
}

TEST_F(Dial, HangingUp)
{
    State.DialFlags = 0x03;
    State.DialConnection = 9;
    ASSERT_EQ(Call(InetDial, {"HANGUP"}).errorCode, 0u);
    ASSERT_EQ(Call(InetDial, {"hangup", "", "23"}).errorCode, 0u);
    recording::FailNext("InternetHangUp", ERROR_INVALID_HANDLE);
    CallOutcome o = Call(InetDial, {"HANGUP", "", "24"});
    EXPECT_EQ(o.errorCode, 0u); // not reported
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"InternetAutodialHangup(0)", "InternetHangUp(23, 0)",
                                                 "InternetHangUp(24, 0)"}));
    EXPECT_EQ(State.DialFlags, 0x03);
    EXPECT_EQ(State.DialConnection, 9u);
    State.DialFlags = 0;
    State.DialConnection = 0;
}

TEST_F(Dial, ArgumentTwoIsCheckedFirst)
{
    EXPECT_EQ(Call(InetDial, {"BOGUS", "window"}).errorCode, 0xE0228u);
    CallOutcome o = Call(InetDial, {"BOGUS", "12"});
    EXPECT_EQ(o.errorCode, 0x1C0128u);
    EXPECT_EQ(Result(o), "BOGUS");
    EXPECT_TRUE(recording::Calls().empty());
}

TEST_F(Dial, AFailedDialIsMessageFive)
{
    recording::SetConnectedState(INTERNET_CONNECTION_OFFLINE);
    recording::FailNext("InternetDial", 651);
    CallOutcome o = Call(InetDial, {"", "", "office"});
    EXPECT_EQ(o.errorCode, REPORT_PLAIN);
    EXPECT_EQ(o.slot.ErrorMode, ERRORMODE_NONE);
    EXPECT_EQ(Result(o), "can't dialup internet");
    EXPECT_EQ(State.DialFlags, 0);

    th::SetVariable("INETERR", "num");
    recording::FailNext("InternetAutodial", 623);
    o = Call(InetDial);
    EXPECT_EQ(Result(o), "5");
    th::SetVariable("INETERR", "FAILURE");
    recording::FailNext("InternetAutodial", 623);
    o = Call(InetDial);
    EXPECT_EQ(o.slot.ErrorMode, ERRORMODE_FAILURE);
    EXPECT_EQ(State.DialFlags, 0);
}

TEST_F(Dial, TheTeardownHangsUpWhatWasDialled)
{
    recording::SetConnectedState(INTERNET_CONNECTION_OFFLINE);
    recording::SetDialConnection(31);
    OpenSession();
    ASSERT_EQ(Call(InetDial, {"", "", "office"}).errorCode, 0u);
    ASSERT_EQ(Call(InetClose).errorCode, 0u);
    EXPECT_EQ(recording::CallsTo("InternetHangUp").at(0).Text(), "InternetHangUp(31, 0)");
    EXPECT_EQ(State.DialFlags, 0);

    ASSERT_EQ(Call(InetDial).errorCode, 0u); // without a session: stays up
    RexxFeedback(FEEDBACK_END_OF_SCRIPT, 0);
    EXPECT_TRUE(recording::CallsTo("InternetAutodialHangup").empty());
    OpenSession();
    RexxFeedback(FEEDBACK_END_OF_SCRIPT, 0);
    EXPECT_EQ(recording::CallsTo("InternetAutodialHangup").size(), 1u);
}

TEST_F(Dial, NoCopyOfTheNameIsAnError)
{
    th::FailNth(Service::GetArgCopy, 1);
    EXPECT_EQ(Call(InetDial, {"", "", "office"}).errorCode, REXX_ERROR_RESOURCES);
    EXPECT_TRUE(recording::Calls().empty());
}

} // namespace
