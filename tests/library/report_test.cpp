// Reporting: INETERR and INETHEADING, WinINet and system texts, memory lack.
#include "fixture.h"

namespace {

DWORD WINAPI ReportNoServer(HOSTCTX ctx, HOSTARGS, RESULTSLOT *slot)
{
    return ReportResourceMessage(ctx, slot, nullptr, 4);
}

DWORD WINAPI FailCannotConnect(HOSTCTX ctx, HOSTARGS, RESULTSLOT *slot)
{
    SetLastError(ERROR_INTERNET_CANNOT_CONNECT);
    return ReportFailure(ctx, slot);
}

DWORD WINAPI FailExtended(HOSTCTX ctx, HOSTARGS, RESULTSLOT *slot)
{
    SetLastError(ERROR_INTERNET_EXTENDED_ERROR);
    return ReportFailure(ctx, slot);
}

DWORD WINAPI FailOutOfMemory(HOSTCTX ctx, HOSTARGS, RESULTSLOT *slot)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return ReportSystemFailure(ctx, slot);
}

const char kNoServer[] = "server handle not open";
const char kBadInetErr[] =
    "InetErr must be set to SYNTAX, ERROR, FAILURE, NUM, or a USER number from 1 to 200. Found ";

struct Case {
    const char *inetErr; // nullptr: unset
    bool heading;
    DWORD code;
    LONG errorMode;
    std::string result;
};

class Reporting : public LibraryTest, public ::testing::WithParamInterface<Case> {};

TEST_P(Reporting, ResourceMessageFollowsInetErrAndInetHeading)
{
    const Case &c = GetParam();
    if (c.inetErr)
        th::SetVariable("INETERR", c.inetErr);
    if (c.heading)
        th::SetVariable("INETHEADING", "");
    CallOutcome o = Call(ReportNoServer);
    EXPECT_EQ(o.errorCode, c.code);
    EXPECT_EQ(o.slot.ErrorMode, c.errorMode);
    EXPECT_EQ(Result(o), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Reporting,
    ::testing::Values(Case{nullptr, false, REPORT_PLAIN, ERRORMODE_NONE, kNoServer},
                      Case{nullptr, true, REPORT_HEADING, ERRORMODE_NONE, kNoServer},
                      Case{"num", false, REPORT_PLAIN, ERRORMODE_NONE, "4"},
                      Case{"Num", true, REPORT_HEADING, ERRORMODE_NONE, "4"},
                      Case{"17", false, REPORT_PLAIN, 23, kNoServer}, Case{"1", false, REPORT_PLAIN, 7, kNoServer},
                      Case{"200", true, REPORT_HEADING, 206, kNoServer},
                      Case{"error", false, REPORT_PLAIN, ERRORMODE_ERROR, kNoServer},
                      Case{"Failure", false, REPORT_PLAIN, ERRORMODE_FAILURE, kNoServer},
                      Case{"SYNTAX", false, REPORT_PLAIN, ERRORMODE_SYNTAX, kNoServer},
                      Case{"0", false, REPORT_BAD_INETERR_PLAIN, ERRORMODE_SYNTAX, std::string(kBadInetErr) + "0"},
                      Case{"201", true, REPORT_BAD_INETERR_HEADING, ERRORMODE_SYNTAX,
                           std::string(kBadInetErr) + "201"},
                      Case{"ERRORS", false, REPORT_BAD_INETERR_PLAIN, ERRORMODE_SYNTAX,
                           std::string(kBadInetErr) + "ERRORS"},
                      Case{"failures", false, REPORT_BAD_INETERR_PLAIN, ERRORMODE_SYNTAX,
                           std::string(kBadInetErr) + "failures"},
                      Case{"", false, REPORT_BAD_INETERR_PLAIN, ERRORMODE_SYNTAX, kBadInetErr}));

using Report = LibraryTest;

TEST_F(Report, AFailedWinINetCallInAPlainCallGivesItsText)
{
    CallOutcome o = Call(FailCannotConnect);
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(o.slot.ErrorMode, ERRORMODE_SYNTAX);
    EXPECT_EQ(Result(o), "A connection with the server could not be established\r\n");
}

TEST_F(Report, AnInternalCallReportsThroughInetErr)
{
    th::SetVariable("INETERR", "Syntax");
    CallOutcome o = Call(FailCannotConnect, {}, ERRORMODE_NONE);
    EXPECT_EQ(o.errorCode, REPORT_PLAIN);
    EXPECT_EQ(o.slot.ErrorMode, ERRORMODE_SYNTAX);
    EXPECT_EQ(Result(o), "A connection with the server could not be established\r\n");

    th::SetVariable("INETERR", "NUM");
    o = Call(FailCannotConnect, {}, ERRORMODE_NONE);
    EXPECT_EQ(o.errorCode, REPORT_PLAIN);
    EXPECT_EQ(Result(o), "12029");
}

TEST_F(Report, AnExtendedErrorReportsTheServersText)
{
    recording::SetResponse(550, "550 readme.txt: No such file or directory.\r\n");
    CallOutcome o = Call(FailExtended);
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "550 readme.txt: No such file or directory.\r\n");

    th::SetVariable("INETERR", "NUM");
    EXPECT_EQ(Result(Call(FailExtended, {}, ERRORMODE_NONE)), "550");
}

TEST_F(Report, AnExtendedErrorWithoutResponseFallsBackToTheWinINetText)
{
    recording::SetResponse(0, std::string(250, 'x')); // does not fit the 200-character buffer
    CallOutcome o = Call(FailExtended);
    EXPECT_EQ(Result(o), "The server returned extended information\r\n");
}

TEST_F(Report, ASystemFailureGivesTheSystemText)
{
    CallOutcome o = Call(FailOutOfMemory);
    EXPECT_EQ(o.errorCode, REPORT_PLAIN);
    EXPECT_EQ(o.slot.ErrorMode, ERRORMODE_NONE);
    EXPECT_EQ(Result(o), "Not enough memory resources are available to process this command.\r\n");
    th::SetVariable("INETERR", "num");
    EXPECT_EQ(Result(Call(FailOutOfMemory)), "8");
}

TEST_F(Report, MemoryLackWhileReadingTheSettingsEndsTheReport)
{
    th::FailNth(Service::GetVar, 1, HOST_REASON_NO_MEMORY); // INETHEADING
    CallOutcome o = Call(ReportNoServer);
    EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES);
    EXPECT_EQ(o.slot.ErrorMode, ERRORMODE_SYNTAX);
    EXPECT_FALSE(o.result.has_value());

    th::SetVariable("INETERR", "ERROR");
    th::FailNth(Service::GetVar, 2, HOST_REASON_NO_MEMORY); // INETERR
    o = Call(ReportNoServer, {}, ERRORMODE_NONE);
    EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES);
    EXPECT_EQ(o.slot.ErrorMode, ERRORMODE_SYNTAX);
    EXPECT_FALSE(o.result.has_value());
}

// Without its text a report would be no report: with INETERR unset (or NUM)
// a plain call would seem to succeed with an empty result.
TEST_F(Report, AMessageWithoutRoomForItsTextIsNoSuccess)
{
    for (const char *ineterr : {"", "NUM", "ERROR"}) {
        if (*ineterr)
            th::SetVariable("INETERR", ineterr);
        th::FailNth(Service::MakeString, 1);
        CallOutcome o = Call(ReportNoServer);
        EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES) << ineterr;
        EXPECT_EQ(o.slot.ErrorMode, ERRORMODE_SYNTAX) << ineterr;
        EXPECT_FALSE(o.result.has_value()) << ineterr;
    }
}

TEST_F(Report, AWinInetFailureWithoutRoomForItsTextIsNoSuccess)
{
    th::FailNth(Service::MakeString, 1);
    CallOutcome o = Call(FailCannotConnect);
    EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES);
    EXPECT_FALSE(o.result.has_value());
}

} // namespace
