// InetDir: the server's directories on the current connection.
#include "fixture.h"

namespace {

using Dir = FtpTest;

TEST_F(Dir, OperationsReachTheirWinInetCall)
{
    struct Case {
        Args args;
        std::string call;
    };
    const Case cases[] = {
        {{"pub"}, "FtpSetCurrentDirectoryA(%, pub)"},
        {{"pub", ""}, "FtpSetCurrentDirectoryA(%, pub)"},
        {{"/a b/c", "set"}, "FtpSetCurrentDirectoryA(%, /a b/c)"},
        {{"new", "Create"}, "FtpCreateDirectoryA(%, new)"},
        {{"new", " DELETE "}, "FtpRemoveDirectoryA(%, new)"},
        {{""}, "FtpSetCurrentDirectoryA(%, )"},
    };
    for (const Case &c : cases) {
        size_t before = recording::Calls().size();
        CallOutcome o = Call(InetDir, c.args);
        EXPECT_EQ(o.errorCode, 0u) << c.call;
        EXPECT_FALSE(o.result.has_value()) << c.call;
        auto calls = recording::Calls();
        ASSERT_EQ(calls.size(), before + 1) << c.call;
        std::string expected = c.call;
        expected.replace(expected.find('%'), 1, ftp);
        EXPECT_EQ(calls.back().Text(), expected);
    }
    EXPECT_EQ(th::Variables().size(), 1u) << "F alone: no operation but GET sets a variable";
}

TEST_F(Dir, GetStoresTheDirectoryInTheNamedVariable)
{
    CallOutcome o = Call(InetDir, {"cwd", "GET"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(th::Variable("cwd"), "/pub");
    EXPECT_EQ(LastCall("FtpGetCurrentDirectoryA"), "FtpGetCurrentDirectoryA(" + ftp + ", 260)");
    EXPECT_TRUE(recording::CallsTo("FtpSetCurrentDirectoryA").empty()) << "argument 1 is a name, not a directory";
}

TEST_F(Dir, TheDirectoryBufferHoldsTwoHundredFiftyNineCharacters)
{
    std::string longest = "/" + std::string(258, 'd');
    recording::SetCurrentDirectory(longest);
    ASSERT_EQ(Call(InetDir, {"cwd", "GET"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("cwd"), longest);

    recording::SetCurrentDirectory(longest + "x");
    CallOutcome o = Call(InetDir, {"cwd", "GET"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "The data area passed to a system call is too small.\r\n");
    EXPECT_EQ(th::Variable("cwd"), longest) << "unchanged";
}

TEST_F(Dir, KeywordsAreCheckedBeforeAnyWinInetCall)
{
    struct Case {
        std::string operation, rejected;
    };
    for (const Case &c : {Case{"CHANGE", "CHANGE"}, Case{"SET GET", "GET"}, Case{"GE", "GE"}}) {
        CallOutcome o = Call(InetDir, {"pub", c.operation});
        EXPECT_EQ(o.errorCode, 0x1C0228u) << c.operation;
        EXPECT_EQ(Result(o), c.rejected);
    }
    EXPECT_EQ(recording::Calls().size(), 2u) << "only the session and the connection";
}

TEST_F(Dir, EveryFormWithoutAConnectionGivesMessageFour)
{
    ASSERT_EQ(Call(InetClose, {"F"}).errorCode, 0u);
    for (const Args &args : std::vector<Args>{{"pub"}, {"cwd", "GET"}, {"x", "BOGUS"}, {Arg::Omitted(), "GET"}})
        EXPECT_TRUE(NoServerHandle(InetDir, args));
}

TEST_F(Dir, ServerRefusalsGiveTheServersText)
{
    recording::SetResponse(550, "550 No such file or directory.");
    for (const char *function : {"FtpSetCurrentDirectoryA", "FtpCreateDirectoryA", "FtpRemoveDirectoryA"})
        recording::FailNext(function, ERROR_INTERNET_EXTENDED_ERROR);
    for (const char *operation : {"SET", "CREATE", "DELETE"}) {
        CallOutcome o = Call(InetDir, {"nowhere", operation});
        EXPECT_EQ(o.errorCode, 0u);
        EXPECT_EQ(Result(o), "550 No such file or directory.") << operation;
    }
    recording::FailNext("FtpGetCurrentDirectoryA", ERROR_INTERNET_CONNECTION_ABORTED);
    EXPECT_EQ(Result(Call(InetDir, {"cwd", "GET"})), "The connection with the server was terminated abnormally\r\n");
    EXPECT_FALSE(th::Variable("cwd").has_value());
    // INETERR steers the library's own failures, not WinINet's.
    th::SetVariable("INETERR", "NUM");
    recording::FailNext("FtpSetCurrentDirectoryA", ERROR_INTERNET_TIMEOUT);
    EXPECT_EQ(Result(Call(InetDir, {"slow"})), "The operation timed out\r\n") << "not the library's own failure";
}

TEST_F(Dir, ADirectoryThatCannotBeStoredIsAnError)
{
    EXPECT_EQ(Call(InetDir, {Arg::Omitted(), "GET"}).errorCode, 0x50128u);
    EXPECT_EQ(Call(InetDir, {"", "GET"}).errorCode, 0x1A0128u);
    EXPECT_EQ(Call(InetDir, {"not a name", "GET"}).errorCode, 0x1A0128u);
    th::FailNth(Service::SetVar, 1, HOST_REASON_NO_MEMORY);
    EXPECT_EQ(Call(InetDir, {"cwd", "GET"}).errorCode, REXX_ERROR_RESOURCES);
    EXPECT_FALSE(th::Variable("cwd").has_value());
}

TEST_F(Dir, EveryInjectedHostFailureIsReportedAndReleasesTheRest)
{
    struct Fault {
        Service service;
        Args args;
    };
    const Fault faults[] = {
        {Service::GetArgCopy, {"pub"}},
        {Service::GetArgCopy, {"new", "CREATE"}},
        {Service::GetArgCopy, {"new", "DELETE"}},
        {Service::MakeString, {"cwd", "GET"}},
        {Service::SetVar, {"cwd", "GET"}},
    };
    for (const Fault &f : faults) {
        unsigned before = th::Calls(f.service);
        ASSERT_EQ(Call(InetDir, f.args).errorCode, 0u);
        unsigned count = th::Calls(f.service) - before;
        ASSERT_GT(count, 0u);
        th::DropVariable("cwd");
        for (unsigned n = 1; n <= count; n++) {
            size_t wininetCalls = recording::Calls().size();
            th::FailNth(f.service, n, HOST_REASON_NO_MEMORY);
            CallOutcome o = Call(InetDir, f.args);
            EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES) << th::NameOf(f.service) << n;
            EXPECT_FALSE(o.result.has_value());
            EXPECT_FALSE(th::Variable("cwd").has_value());
            if (f.service == Service::GetArgCopy) {
                EXPECT_EQ(recording::Calls().size(), wininetCalls) << "nothing reached WinINet";
            }
            EXPECT_EQ(th::OutstandingCopies(), 0u);
            EXPECT_EQ(th::OutstandingStrings(), 0u);
        }
    }
}

} // namespace
