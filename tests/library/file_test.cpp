// InetFile: whole-file transfers, their flags and the derived second name.
#include "fixture.h"

namespace {

using File = FtpTest;

struct TransferCase {
    Args args;
    std::string call; // % stands for the connection
};

TEST_F(File, KeywordsNamesAndAttributesReachWinInet)
{
    const TransferCase cases[] = {
        {{"pub/docs/readme.txt"}, "FtpGetFileA(%, pub/docs/readme.txt, readme.txt, 0, 0x0, 0x0, 0)"},
        {{"a.txt", "b.txt", "TEXT RELOAD"}, "FtpGetFileA(%, a.txt, b.txt, 0, 0x0, 0x80000001, 0)"},
        {{"a.txt", "b.txt", "existing", "32"}, "FtpGetFileA(%, a.txt, b.txt, 1, 0x20, 0x0, 0)"},
        {{"a.txt", "", "usetemp,link resync"}, "FtpGetFileA(%, a.txt, a.txt, 0, 0x0, 0xC10, 0)"},
        {{"a.txt", "b.txt", Arg::Omitted(), "4294967295"}, "FtpGetFileA(%, a.txt, b.txt, 0, 0xFFFFFFFF, 0x0, 0)"},
        {{"C:\\tmp\\x.bin", Arg::Omitted(), "UPLOAD"}, "FtpPutFileA(%, C:\\tmp\\x.bin, x.bin, 0x0, 0)"},
        {{"x.bin", "up/y.bin", "UPLOAD EXISTING", "7"}, "FtpPutFileA(%, x.bin, up/y.bin, 0x0, 0)"},
        {{"notes.txt", "", "upload text reload"}, "FtpPutFileA(%, notes.txt, notes.txt, 0x80000001, 0)"},
        {{"dir\\sub/name.c"}, "FtpGetFileA(%, dir\\sub/name.c, name.c, 0, 0x0, 0x0, 0)"},
        {{"a/b\\c"}, "FtpGetFileA(%, a/b\\c, c, 0, 0x0, 0x0, 0)"},
        {{"pub/"}, "FtpGetFileA(%, pub/, , 0, 0x0, 0x0, 0)"},
        {{"/"}, "FtpGetFileA(%, /, , 0, 0x0, 0x0, 0)"},
        {{""}, "FtpGetFileA(%, , , 0, 0x0, 0x0, 0)"},
    };
    for (const TransferCase &c : cases) {
        size_t before = recording::Calls().size();
        CallOutcome o = Call(InetFile, c.args);
        EXPECT_EQ(o.errorCode, 0u) << c.call;
        EXPECT_FALSE(o.result.has_value()) << c.call;
        auto calls = recording::Calls();
        ASSERT_EQ(calls.size(), before + 1) << c.call;
        std::string expected = c.call;
        expected.replace(expected.find('%'), 1, ftp);
        EXPECT_EQ(calls.back().Text(), expected);
    }
}

TEST_F(File, ArgumentThreeIsCheckedBeforeArgumentFour)
{
    struct Case {
        Args args;
        DWORD error;
        std::string result;
    };
    const Case cases[] = {
        {{"a.txt", "b.txt", Arg::Omitted(), "x"}, 0xD0428u, ""},
        {{"a.txt", "b.txt", "", "-1"}, 0xD0428u, ""},
        {{"a.txt", "b.txt", "TEXT", "1.5"}, 0xD0428u, ""},
        {{"a.txt", "b.txt", "TEXT BINARY", "x"}, 0x1C0328u, "BINARY"},
        {{"a.txt", "b.txt", "UPLOAD", "4294967296"}, 0xD0428u, ""}, // checked for an upload too
        {{"a.txt", "b.txt", "ASCII"}, 0x1C0328u, "ASCII"},
    };
    for (const Case &c : cases) {
        CallOutcome o = Call(InetFile, c.args);
        EXPECT_EQ(o.errorCode, c.error) << c.result;
        EXPECT_EQ(Result(o), c.result);
    }
    EXPECT_TRUE(recording::CallsTo("FtpGetFileA").empty());
    EXPECT_TRUE(recording::CallsTo("FtpPutFileA").empty());
}

TEST_F(File, EveryFormWithoutAConnectionGivesMessageFour)
{
    ASSERT_EQ(Call(InetClose, {"F"}).errorCode, 0u);
    for (const Args &args : std::vector<Args>{{"a.txt"},
                                              {"a.txt", "b.txt", "UPLOAD"},
                                              {"a.txt", "b.txt", "BOGUS", "x"},
                                              {"a.txt", "b.txt", Arg::Omitted(), "x"}})
        EXPECT_TRUE(NoServerHandle(InetFile, args));
}

TEST_F(File, FailuresGiveTheirText)
{
    recording::FailNext("FtpGetFileA", ERROR_FILE_EXISTS);
    EXPECT_EQ(Result(Call(InetFile, {"a.txt", "b.txt", "EXISTING"})), "The file exists.\r\n");
    recording::FailNext("FtpPutFileA", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Result(Call(InetFile, {"gone.txt", "", "UPLOAD"})), "The system cannot find the file specified.\r\n");
    recording::FailNext("FtpGetFileA", ERROR_INTERNET_EXTENDED_ERROR);
    recording::SetResponse(550, "550 No such file or directory.");
    CallOutcome o = Call(InetFile, {"missing.txt"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "550 No such file or directory.");
}

TEST_F(File, EveryInjectedCopyFailureReleasesTheOtherCopy)
{
    for (const Args &args : std::vector<Args>{{"pub/a.txt"}, {"pub/a.txt", "b.txt"}, {"a.txt", "", "UPLOAD"}}) {
        unsigned before = th::Calls(Service::GetArgCopy);
        ASSERT_EQ(Call(InetFile, args).errorCode, 0u);
        unsigned count = th::Calls(Service::GetArgCopy) - before;
        ASSERT_EQ(count, 2u);
        for (unsigned n = 1; n <= count; n++) {
            size_t wininetCalls = recording::Calls().size();
            th::FailNth(Service::GetArgCopy, n);
            CallOutcome o = Call(InetFile, args);
            EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES) << n;
            EXPECT_FALSE(o.result.has_value());
            EXPECT_EQ(recording::Calls().size(), wininetCalls);
            EXPECT_EQ(th::OutstandingCopies(), 0u);
        }
    }
    // A failed transfer whose text the interpreter cannot take is still a failure.
    recording::FailNext("FtpGetFileA", ERROR_FILE_EXISTS);
    th::FailNth(Service::MakeString, 1);
    CallOutcome o = Call(InetFile, {"a.txt"});
    EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(th::OutstandingCopies(), 0u);
}

} // namespace
