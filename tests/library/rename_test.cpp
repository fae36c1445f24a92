// InetRename and InetDelete: one remote file.
#include "fixture.h"

namespace {

using RenameDelete = FtpTest;

TEST_F(RenameDelete, NamesGoToWinInetAsGiven)
{
    ASSERT_EQ(Call(InetRename, {"a.txt", "b.txt"}).errorCode, 0u);
    EXPECT_EQ(LastCall("FtpRenameFileA"), "FtpRenameFileA(" + ftp + ", a.txt, b.txt)");
    ASSERT_EQ(Call(InetRename, {" dir\\odd name ", "/abs/path"}).errorCode, 0u);
    EXPECT_EQ(LastCall("FtpRenameFileA"), "FtpRenameFileA(" + ftp + ",  dir\\odd name , /abs/path)");
    ASSERT_EQ(Call(InetDelete, {"pub/old.txt"}).errorCode, 0u);
    EXPECT_EQ(LastCall("FtpDeleteFileA"), "FtpDeleteFileA(" + ftp + ", pub/old.txt)");
    CallOutcome o = Call(InetDelete, {""});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(LastCall("FtpDeleteFileA"), "FtpDeleteFileA(" + ftp + ", )");
}

TEST_F(RenameDelete, WithoutAConnectionNoArgumentIsRead)
{
    ASSERT_EQ(Call(InetClose, {"F"}).errorCode, 0u);
    EXPECT_TRUE(NoServerHandle(InetRename, {"a", "b"}));
    EXPECT_TRUE(NoServerHandle(InetDelete, {"a"}));
}

TEST_F(RenameDelete, RefusalsGiveTheServersText)
{
    recording::SetResponse(550, "550 No such file or directory.");
    recording::FailNext("FtpRenameFileA", ERROR_INTERNET_EXTENDED_ERROR);
    recording::FailNext("FtpDeleteFileA", ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(Result(Call(InetRename, {"gone", "b"})), "550 No such file or directory.");
    EXPECT_EQ(Result(Call(InetDelete, {"gone"})), "550 No such file or directory.");
    recording::FailNext("FtpDeleteFileA", ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    EXPECT_EQ(Result(Call(InetDelete, {"x"})),
              "The supplied handle is the wrong type for the requested operation\r\n");
}

TEST_F(RenameDelete, EveryInjectedCopyFailureReleasesTheOtherCopy)
{
    struct Case {
        HANDLERPROC handler;
        Args args;
        unsigned copies;
    };
    for (const Case &c : {Case{InetRename, {"a", "b"}, 2}, Case{InetDelete, {"a"}, 1}}) {
        for (unsigned n = 1; n <= c.copies; n++) {
            size_t wininetCalls = recording::Calls().size();
            th::FailNth(Service::GetArgCopy, n);
            CallOutcome o = Call(c.handler, c.args);
            EXPECT_EQ(o.errorCode, REXX_ERROR_RESOURCES) << n;
            EXPECT_FALSE(o.result.has_value());
            EXPECT_EQ(recording::Calls().size(), wininetCalls);
            EXPECT_EQ(th::OutstandingCopies(), 0u);
        }
        unsigned before = th::Calls(Service::GetArgCopy);
        ASSERT_EQ(Call(c.handler, c.args).errorCode, 0u);
        EXPECT_EQ(th::Calls(Service::GetArgCopy) - before, c.copies);
    }
}

} // namespace
