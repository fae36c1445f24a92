// The transfer buffer, InetMaxIn, InetIn and InetOut on the current handle.
#include "fixture.h"

#include <transfer/buffer.h>

namespace {

class Transfer : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        ASSERT_EQ(State.PageSize, 4096u) << "these cases are written for 4096-byte pages";
    }

    // A URL handle as the current one, through the library's own path.
    void OpenUrl(const std::string &variable = "u")
    {
        if (!State.SessionHandle)
            OpenSession();
        CallOutcome o = Call(InetConnectUrl, {"http://server/r", variable});
        ASSERT_EQ(o.errorCode, 0u) << Result(o);
    }

    // What each InternetReadFile asked for and what it delivered.
    static std::vector<std::string> ReadSizes(size_t which = 1)
    {
        std::vector<std::string> sizes;
        for (const recording::Call &c : recording::CallsTo("InternetReadFile"))
            sizes.push_back(c.args[which]);
        return sizes;
    }

    static std::string Bytes(size_t n)
    {
        std::string s(n, '\0');
        for (size_t i = 0; i < n; i++)
            s[i] = (char)(i * 7 + i / 251);
        return s;
    }

    static MEMORY_BASIC_INFORMATION Query()
    {
        MEMORY_BASIC_INFORMATION m{};
        VirtualQuery(State.TransferBufferBase, &m, sizeof m);
        return m;
    }
};

TEST_F(Transfer, MaxInReportsAndRoundsToPages)
{
    EXPECT_EQ(Result(Call(InetMaxIn)), "131072");
    EXPECT_EQ(Result(Call(InetMaxIn, {"1"})), "4096");
    EXPECT_EQ(Result(Call(InetMaxIn, {"4096"})), "4096");
    EXPECT_EQ(Result(Call(InetMaxIn, {"4097"})), "8192");
    EXPECT_EQ(Result(Call(InetMaxIn)), "8192");
    EXPECT_EQ(Result(Call(InetMaxIn, {"0"})), "8192");
    EXPECT_EQ(Call(InetMaxIn, {"abc"}).errorCode, 0xE0128u);
    EXPECT_EQ(Result(Call(InetMaxIn)), "8192");
}

TEST_F(Transfer, MaxInPastFourGigabytesStaysInRange)
{
    EXPECT_EQ(Result(Call(InetMaxIn, {"4294967295"})), "4294963200");
    EXPECT_EQ(Result(Call(InetMaxIn, {"4294963201"})), "4294963200");
    EXPECT_EQ(Result(Call(InetMaxIn, {"4294963200"})), "4294963200");
}

TEST_F(Transfer, MaxInNeverTouchesErrorMode)
{
    EXPECT_EQ(Call(InetMaxIn, {}, 42).slot.ErrorMode, 42);
    th::FailNth(Service::MakeString, 1);
    EXPECT_EQ(Call(InetMaxIn).errorCode, REXX_ERROR_RESOURCES);
}

TEST_F(Transfer, CommitInPlaceDecommitAndRelease)
{
    EXPECT_TRUE(CommitTransferBuffer(0));
    LPVOID base = State.TransferBufferBase;
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(State.BufferSize, 0u);
    EXPECT_TRUE(CommitTransferBuffer(1));
    EXPECT_EQ(State.BufferSize, 4096u);
    EXPECT_TRUE(CommitTransferBuffer(4096));
    EXPECT_TRUE(CommitTransferBuffer(8193));
    EXPECT_EQ(State.BufferSize, 12288u);
    EXPECT_EQ(State.TransferBufferBase, base);
    static_cast<char *>(base)[12287] = 1; // committed memory is writable
    EXPECT_EQ(Query().State, (DWORD)MEM_COMMIT);
    EXPECT_EQ(Query().RegionSize, 12288u);

    EXPECT_FALSE(CommitTransferBuffer(131073)); // past the reservation
    EXPECT_EQ(State.BufferSize, 12288u);

    DecommitTransferBuffer();
    EXPECT_EQ(State.BufferSize, 0u);
    EXPECT_EQ(Query().State, (DWORD)MEM_RESERVE);
    EXPECT_EQ(Query().RegionSize, 131072u);
    EXPECT_EQ(Result(Call(InetMaxIn)), "131072");

    EXPECT_EQ(Result(Call(InetMaxIn, {"65536"})), "65536");
    EXPECT_EQ(State.TransferBufferBase, nullptr);
    MEMORY_BASIC_INFORMATION m{};
    VirtualQuery(base, &m, sizeof m);
    EXPECT_EQ(m.State, (DWORD)MEM_FREE);
}

TEST_F(Transfer, DecommitOfAnUnreservedBufferKeepsTheSize)
{
    DecommitTransferBuffer();
    EXPECT_EQ(State.BufferSize, 131072u);
    faults::FailVirtualAlloc(1, MEM_RESERVE);
    EXPECT_FALSE(CommitTransferBuffer(1));
    EXPECT_EQ(State.TransferBufferBase, nullptr);
    EXPECT_EQ(State.BufferSize, 131072u);
}

TEST_F(Transfer, CloseCurrentIfFree)
{
    OpenUrl("a");
    OpenUrl("b");
    CloseCurrentIfFree(0x1);
    EXPECT_EQ(List().size(), 2u);
    CloseCurrentIfFree(0x3);
    EXPECT_EQ(List().size(), 1u);
    EXPECT_EQ((ULONG_PTR)State.HandleList, HandleValue("a"));
}

TEST_F(Transfer, InWithoutHandleLeavesErrorModeAlone)
{
    th::SetVariable("INETERR", "SYNTAX"); // the report itself keeps ErrorMode then
    CallOutcome o = Call(InetIn, {"v"}, 9);
    EXPECT_EQ(Result(o), "server handle not open");
    EXPECT_EQ(o.slot.ErrorMode, 9);
    o = Call(InetOut, {"abc"}, 9);
    EXPECT_EQ(Result(o), "server handle not open");
    EXPECT_EQ(o.slot.ErrorMode, 9);
}

TEST_F(Transfer, WholeReadsPageByPage)
{
    OpenUrl();
    std::string data = Bytes(10000);
    recording::SetReadData(data);
    CallOutcome o = Call(InetIn, {"v"});
    ASSERT_EQ(o.errorCode, 0u) << Result(o);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(ReadSizes(1), (std::vector<std::string>{"4096", "4096", "4096", "4096"}));
    EXPECT_EQ(ReadSizes(2), (std::vector<std::string>{"4096", "4096", "1808", "0"}));
    EXPECT_EQ(th::Variable("v"), data);
    EXPECT_EQ(State.BufferSize, 0u);
    EXPECT_EQ(Query().State, (DWORD)MEM_RESERVE);
    EXPECT_EQ(Result(Call(InetMaxIn)), "131072");
}

TEST_F(Transfer, WholeReadsKeepNoGapsWhenWinINetDeliversLess)
{
    OpenUrl();
    std::string data = Bytes(10000);
    recording::SetReadData(data, 1000);
    ASSERT_EQ(Call(InetIn, {"v", "FULL"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("v"), data);
    EXPECT_EQ(ReadSizes().size(), 11u);
}

TEST_F(Transfer, TheDefaultLimitIsTheReservationLessOnePage)
{
    OpenUrl();
    std::string data = Bytes(126976);
    recording::SetReadData(data);
    ASSERT_EQ(Call(InetIn, {"v"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("v")->size(), 126976u);

    recording::SetReadData(Bytes(126977));
    th::SetVariable("v", "old");
    CallOutcome o = Call(InetIn, {"v"});
    EXPECT_EQ(o.errorCode, REPORT_PLAIN);
    EXPECT_EQ(Result(o), "Attempt to access invalid address.\r\n");
    EXPECT_EQ(th::Variable("v"), "old");
    EXPECT_EQ(State.BufferSize, 0u);
}

TEST_F(Transfer, AnEmptyResourceIsAnEmptyString)
{
    OpenUrl();
    ASSERT_EQ(Call(InetIn, {"v"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("v"), "");
}

TEST_F(Transfer, CountReads)
{
    OpenUrl();
    recording::SetReadData(Bytes(140));
    ASSERT_EQ(Call(InetIn, {"v", "", "100"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("v"), Bytes(140).substr(0, 100));
    ASSERT_EQ(Call(InetIn, {"v", Arg::Omitted(), "100"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("v"), Bytes(140).substr(100));
    ASSERT_EQ(Call(InetIn, {"v", "", "100"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("v"), "");
    ASSERT_EQ(Call(InetIn, {"v", "", "0"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("v"), "");
    EXPECT_EQ(ReadSizes(), (std::vector<std::string>{"100", "100", "100", "0"}));
    // The count mode leaves the buffer unreserved, and a whole read after it works.
    EXPECT_EQ(State.TransferBufferBase, nullptr);
    recording::SetReadData("again");
    ASSERT_EQ(Call(InetIn, {"v"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("v"), "again");
    recording::SetReadData("and again");
    ASSERT_EQ(Call(InetIn, {"v", "", "4"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("v"), "and ");
}

TEST_F(Transfer, InArgumentChecks)
{
    OpenUrl();
    CallOutcome o = Call(InetIn, {"v", "ALL"}, 3);
    EXPECT_EQ(o.errorCode, 0x1C0228u);
    EXPECT_EQ(Result(o), "ALL");
    EXPECT_EQ(o.slot.ErrorMode, ERRORMODE_SYNTAX);
    EXPECT_EQ(Call(InetIn, {"v", "", "x"}).errorCode, 0xE0328u);
    EXPECT_TRUE(recording::CallsTo("InternetReadFile").empty());
}

TEST_F(Transfer, InWithFreeClosesTheHandleOnSuccessAndFailure)
{
    OpenUrl("a");
    OpenUrl("b");
    ASSERT_EQ(Call(InetIn, {"v", "free"}).errorCode, 0u);
    EXPECT_EQ((ULONG_PTR)State.HandleList, HandleValue("a"));
    recording::FailNext("InternetReadFile", ERROR_INTERNET_CONNECTION_RESET);
    CallOutcome o = Call(InetIn, {"v", "FREE FULL"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "The connection with the server was reset\r\n");
    EXPECT_EQ(State.HandleList, nullptr);
    EXPECT_EQ(State.BufferSize, 0u);
}

TEST_F(Transfer, InIntoANameThatCannotBeSetIsAnError)
{
    OpenUrl();
    recording::SetReadData("data");
    EXPECT_EQ(Call(InetIn, {"1bad"}).errorCode, 0x1A0128u);
    EXPECT_EQ(Call(InetIn, {"", "", "2"}).errorCode, 0x1A0128u);
}

TEST_F(Transfer, InjectedFailuresReleaseWhatTheyTook)
{
    OpenUrl();
    recording::SetReadData(Bytes(5000));
    // Whole mode: the one MakeString.
    th::FailNth(Service::MakeString, 1);
    EXPECT_EQ(Call(InetIn, {"v"}).errorCode, REXX_ERROR_RESOURCES);
    EXPECT_EQ(State.BufferSize, 0u);
    // Count mode: the string asked for, and the shorter one.
    recording::SetReadData(Bytes(50));
    th::FailNth(Service::MakeString, 1);
    EXPECT_EQ(Call(InetIn, {"v", "FREE", "100"}).errorCode, REXX_ERROR_RESOURCES);
    EXPECT_EQ(List().size(), 1u); // nothing read, nothing closed
    th::FailNth(Service::MakeString, 2);
    EXPECT_EQ(Call(InetIn, {"v", "", "100"}).errorCode, REXX_ERROR_RESOURCES);
    EXPECT_FALSE(th::Variable("v").has_value());
    // A refused commit: the system text through INETERR.
    recording::SetReadData(Bytes(5000));
    faults::FailVirtualAlloc(2, MEM_COMMIT);
    th::SetVariable("INETERR", "NUM");
    CallOutcome o = Call(InetIn, {"v"});
    EXPECT_EQ(Result(o), "8");
    EXPECT_EQ(State.BufferSize, 0u);
    EXPECT_EQ(th::OutstandingStrings(), 0u);
}

TEST_F(Transfer, OutWritesAllOrSaysSo)
{
    OpenUrl("a");
    OpenUrl("b");
    CallOutcome o = Call(InetOut, {std::string("a\0c", 3)});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(recording::Written(), std::string("a\0c", 3));
    EXPECT_EQ(List().size(), 2u);

    o = Call(InetOut, {"abc", "FULL"}, 4);
    EXPECT_EQ(o.errorCode, 0x1C0228u);
    EXPECT_EQ(o.slot.ErrorMode, 4);

    recording::SetWriteLimit(2);
    o = Call(InetOut, {"xyz", "FREE"});
    EXPECT_EQ(o.errorCode, REPORT_PLAIN);
    EXPECT_EQ(Result(o), "all data not written");
    EXPECT_EQ((ULONG_PTR)State.HandleList, HandleValue("a"));

    recording::FailNext("InternetWriteFile", ERROR_INTERNET_CONNECTION_ABORTED);
    o = Call(InetOut, {"xyz", "free"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "The connection with the server was terminated abnormally\r\n");
    EXPECT_EQ(State.HandleList, nullptr);
}

} // namespace
