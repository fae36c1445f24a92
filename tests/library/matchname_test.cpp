// InetMatchName: one match per call, "DONE" at the end, the enumeration kept between calls.
#include "fixture.h"

namespace {

class MatchName : public FtpTest {
protected:
    void SetUp() override
    {
        FtpTest::SetUp();
        recording::SetFindEntries({{"a.txt", 5},
                                   {"b.txt", 0x100000005ull},
                                   {"sub", 0, FILE_ATTRIBUTE_DIRECTORY}});
    }

    static std::string Find() { return recording::Name(State.FindHandle); }
};

TEST_F(MatchName, ThreeMatchesThenDoneThenAFreshStart)
{
    CallOutcome o = Call(InetMatchName, {"m", "*"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(LastCall("FtpFindFirstFileA"), "FtpFindFirstFileA(" + ftp + ", *, 0x0, 0)");
    ASSERT_NE(State.FindHandle, nullptr);
    std::string find = Find();
    EXPECT_EQ(th::Variable("m"), "a.txt");
    EXPECT_EQ(th::Variable("m.NAME"), "a.txt");
    EXPECT_EQ(th::Variable("m.SIZE"), "5");
    EXPECT_EQ(th::Variable("m.ATTRIBUTES"), "128");
    EXPECT_EQ(th::Variable("m.DIRECTORY"), "0");
    EXPECT_EQ(th::Variable("m.WRITETIME"), "2022-10-01 00:00:00");

    o = Call(InetMatchName, {"m"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(th::Variable("m"), "b.txt");
    EXPECT_EQ(th::Variable("m.SIZE"), "4294967301");
    EXPECT_EQ(Call(InetMatchName, {"m"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("m"), "sub");
    EXPECT_EQ(th::Variable("m.DIRECTORY"), "1");
    EXPECT_EQ(th::Variable("m.SIZE"), "0");

    o = Call(InetMatchName, {"m"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "DONE");
    EXPECT_EQ(th::Variable("m"), "sub") << "unchanged";
    EXPECT_EQ(State.FindHandle, nullptr);
    EXPECT_EQ(LastCall("InternetCloseHandle"), "InternetCloseHandle(" + find + ")");
    EXPECT_EQ(recording::CallsTo("InternetFindNextFileA").size(), 3u);
    EXPECT_EQ(recording::OpenHandles(), 2u) << "the session and the connection";

    EXPECT_EQ(Call(InetMatchName, {"m", "*.txt"}).errorCode, 0u);
    EXPECT_EQ(recording::CallsTo("FtpFindFirstFileA").size(), 2u);
    EXPECT_EQ(th::Variable("m"), "a.txt");
}

TEST_F(MatchName, AStemNameGetsTheFieldsOnly)
{
    ASSERT_EQ(Call(InetMatchName, {"e.", "", "ONE"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("e.NAME"), "a.txt");
    EXPECT_FALSE(th::Variable("e.").has_value());
}

TEST_F(MatchName, OptionsReachTheFindWithoutOne)
{
    struct Case {
        Arg pattern, options;
        std::string search, flags;
    };
    const Case cases[] = {
        {Arg::Omitted(), Arg::Omitted(), "", "0x0"},
        {"", "one", "", "0x0"},
        {"pub/*.txt", "USETEMP LINK", "pub/*.txt", "0x410"},
        {"x", "RESYNC,NOCACHEWRITE reload ONE", "x", "0x84000800"},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Call(InetMatchName, {"m", c.pattern, c.options}).errorCode, 0u);
        Call(InetMatchName); // ends it, if ONE did not
        EXPECT_EQ(LastCall("FtpFindFirstFileA"), "FtpFindFirstFileA(" + ftp + ", " + c.search + ", " + c.flags + ", 0)");
    }
}

TEST_F(MatchName, OneStoresTheFirstMatchAndStartsOverEachTime)
{
    for (int i = 0; i < 2; i++) {
        CallOutcome o = Call(InetMatchName, {"m", "*", "ONE"});
        EXPECT_EQ(o.errorCode, 0u);
        EXPECT_FALSE(o.result.has_value());
        EXPECT_EQ(th::Variable("m"), "a.txt");
        EXPECT_EQ(State.FindHandle, nullptr);
    }
    EXPECT_EQ(recording::CallsTo("FtpFindFirstFileA").size(), 2u);
    EXPECT_TRUE(recording::CallsTo("InternetFindNextFileA").empty());
    EXPECT_EQ(recording::OpenHandles(), 2u);
}

TEST_F(MatchName, NoMatchIsDoneAtOnce)
{
    recording::SetFindEntries({});
    CallOutcome o = Call(InetMatchName, {"m", "*.zip"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "DONE");
    EXPECT_EQ(State.FindHandle, nullptr);
    EXPECT_FALSE(th::Variable("m").has_value());
}

TEST_F(MatchName, ArgumentsTwoAndThreeCountOnlyAtTheStart)
{
    ASSERT_EQ(Call(InetMatchName, {"m", "*"}).errorCode, 0u);
    CallOutcome o = Call(InetMatchName, {"m", "other", "BOGUS"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(th::Variable("m"), "b.txt");
    EXPECT_EQ(recording::CallsTo("FtpFindFirstFileA").size(), 1u);

    // An empty argument 1 is given: it continues, and its store fails.
    EXPECT_EQ(Call(InetMatchName, {""}).errorCode, 0x1A0128u);
    EXPECT_EQ(State.FindHandle, nullptr);
    o = Call(InetMatchName, {"m", "*", "BOGUS"});
    EXPECT_EQ(o.errorCode, 0x1C0328u);
    EXPECT_EQ(Result(o), "BOGUS");
    EXPECT_EQ(State.FindHandle, nullptr);
    EXPECT_EQ(recording::CallsTo("FtpFindFirstFileA").size(), 1u);
}

TEST_F(MatchName, ACallWithoutArgumentOneEndsTheEnumeration)
{
    size_t calls = recording::Calls().size();
    EXPECT_EQ(Call(InetMatchName).errorCode, 0u);
    EXPECT_EQ(recording::Calls().size(), calls) << "nothing to end";

    ASSERT_EQ(Call(InetMatchName, {"m", "*"}).errorCode, 0u);
    std::string find = Find();
    CallOutcome o = Call(InetMatchName, {Arg::Omitted(), "*", "BOGUS"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(State.FindHandle, nullptr);
    EXPECT_EQ(LastCall("InternetCloseHandle"), "InternetCloseHandle(" + find + ")");
    EXPECT_EQ(th::Variable("m"), "a.txt");
}

TEST_F(MatchName, TheEnumerationGoesOnWhicheverConnectionIsCurrent)
{
    ASSERT_EQ(Call(InetMatchName, {"m", "*"}).errorCode, 0u);
    std::string find = Find();
    Connect("G", "FTP");
    ASSERT_EQ(Call(InetMatchName, {"m"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("m"), "b.txt");
    EXPECT_EQ(LastCall("InternetFindNextFileA"), "InternetFindNextFileA(" + find + ")");
    EXPECT_EQ(recording::CallsTo("FtpFindFirstFileA").size(), 1u);
}

TEST_F(MatchName, WithoutAConnectionEveryFormGivesMessageFourAndTheEnumerationStays)
{
    ASSERT_EQ(Call(InetMatchName, {"m", "*"}).errorCode, 0u);
    HINTERNET find = State.FindHandle;
    ASSERT_EQ(Call(InetClose, {"F"}).errorCode, 0u);
    for (const Args &args : std::vector<Args>{{}, {"m"}, {"m", "*", "ONE"}, {"m", "*", "BOGUS"}})
        EXPECT_TRUE(NoServerHandle(InetMatchName, args));
    EXPECT_EQ(State.FindHandle, find);
    // The end of the script closes it.
    RexxFeedback(FEEDBACK_END_OF_SCRIPT, 0);
    EXPECT_EQ(State.FindHandle, nullptr);
    EXPECT_EQ(LastCall("InternetCloseHandle"), "InternetCloseHandle(" + recording::Name(find) + ")");
}

TEST_F(MatchName, TeardownClosesAnEnumerationInProgress)
{
    ASSERT_EQ(Call(InetMatchName, {"m", "*"}).errorCode, 0u);
    std::string find = Find();
    std::string session = recording::Name(State.SessionHandle);
    // A session that will not close keeps everything but the list.
    recording::FailNext("InternetCloseHandle", ERROR_INTERNET_INTERNAL_ERROR, 1);
    EXPECT_EQ(Call(InetClose).errorCode, 0u);
    EXPECT_NE(State.FindHandle, nullptr);
    EXPECT_EQ(recording::OpenHandles(), 2u) << "the session and the find";

    ASSERT_EQ(Call(InetClose).errorCode, 0u);
    EXPECT_EQ(State.FindHandle, nullptr);
    auto closes = recording::CallsTo("InternetCloseHandle");
    ASSERT_GE(closes.size(), 2u);
    EXPECT_EQ(closes[closes.size() - 2].Text(), "InternetCloseHandle(" + session + ")");
    EXPECT_EQ(closes.back().Text(), "InternetCloseHandle(" + find + ")");
    EXPECT_EQ(recording::OpenHandles(), 0u);
}

TEST_F(MatchName, FindFailuresAreReportedAndEndTheEnumeration)
{
    recording::FailNext("FtpFindFirstFileA", ERROR_INTERNET_EXTENDED_ERROR);
    recording::SetResponse(550, "550 No such file or directory.");
    CallOutcome o = Call(InetMatchName, {"m", "nothing"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "550 No such file or directory.");
    EXPECT_EQ(State.FindHandle, nullptr);

    ASSERT_EQ(Call(InetMatchName, {"m", "*"}).errorCode, 0u);
    std::string find = Find();
    recording::FailNext("InternetFindNextFileA", ERROR_INTERNET_CONNECTION_ABORTED);
    o = Call(InetMatchName, {"m"});
    EXPECT_EQ(Result(o), "The connection with the server was terminated abnormally\r\n");
    EXPECT_EQ(State.FindHandle, nullptr);
    EXPECT_EQ(LastCall("InternetCloseHandle"), "InternetCloseHandle(" + find + ")");
    EXPECT_EQ(th::Variable("m"), "a.txt");
    // With INETERR the report of a WinINet failure from a script's call is still its text.
    th::SetVariable("INETERR", "SYNTAX");
    recording::FailNext("FtpFindFirstFileA", ERROR_INTERNET_TIMEOUT);
    EXPECT_EQ(Result(Call(InetMatchName, {"m", "*"})), "The operation timed out\r\n");
}

TEST_F(MatchName, ARecordTheInterpreterRefusesEndsTheEnumerationAndIsReported)
{
    struct Case {
        Arg name;
        DWORD reason, error;
    };
    const Case cases[] = {
        {"m", HOST_REASON_NO_MEMORY, REXX_ERROR_RESOURCES},
        {"m", HOST_REASON_BAD_NAME, 0x1A0128u},
        {"not a name", 0, 0x1A0128u},
    };
    for (const Case &c : cases) {
        for (bool starting : {true, false}) {
            th::DropVariable("m");
            if (!starting) {
                ASSERT_EQ(Call(InetMatchName, {"m", "*"}).errorCode, 0u);
            }
            if (c.reason)
                th::FailNth(Service::SetVar, 1, c.reason);
            CallOutcome o = Call(InetMatchName, {c.name, "*"});
            EXPECT_EQ(o.errorCode, c.error) << c.name.text() << starting;
            EXPECT_FALSE(o.result.has_value());
            EXPECT_EQ(State.FindHandle, nullptr);
            EXPECT_EQ(recording::OpenHandles(), 2u);
        }
    }
}

TEST_F(MatchName, EveryInjectedCopyAndStringFailureReleasesTheRest)
{
    th::FailNth(Service::GetArgCopy, 1);
    CallOutcome o = Call(InetMatchName, {"m", "*"});
    EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES);
    EXPECT_TRUE(recording::CallsTo("FtpFindFirstFileA").empty());

    // "DONE" is the only thing telling the end from a match.
    recording::SetFindEntries({});
    th::FailNth(Service::MakeString, 1);
    o = Call(InetMatchName, {"m", "*"});
    EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES);
    EXPECT_FALSE(o.result.has_value());
    recording::SetFindEntries({{"only"}});
    ASSERT_EQ(Call(InetMatchName, {"m", "*"}).errorCode, 0u);
    th::FailNth(Service::MakeString, 1);
    EXPECT_EQ(Call(InetMatchName, {"m"}).errorCode, REXX_ERROR_RESOURCES);
    EXPECT_EQ(State.FindHandle, nullptr);
    EXPECT_EQ(recording::OpenHandles(), 2u);
    EXPECT_EQ(th::OutstandingCopies(), 0u);
    EXPECT_EQ(th::OutstandingStrings(), 0u);
}

} // namespace
