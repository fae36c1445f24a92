// InetConnectUrl: plain open, one-call download and upload.
#include "fixture.h"

namespace {

class ConnectUrl : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        OpenSession();
    }

    static recording::Call OpenUrlCall()
    {
        auto calls = recording::CallsTo("InternetOpenUrlA");
        return calls.empty() ? recording::Call{} : calls.back();
    }

    static std::string Flags(const std::string &options)
    {
        CallOutcome o = Call(InetConnectUrl, {"http://s/", "v", options});
        EXPECT_EQ(o.errorCode, 0u) << options;
        std::string flags = OpenUrlCall().args[4];
        Call(InetClose, {"v"});
        return flags;
    }
};

TEST_F(ConnectUrl, WithoutSessionReportsMessageThreeWhateverTheArguments)
{
    Call(InetClose);
    CallOutcome o = Call(InetConnectUrl, {"http://s/", "v", "NO-SUCH-OPTION"});
    EXPECT_EQ(Result(o), "session handle not open");
    EXPECT_EQ(o.errorCode, REPORT_PLAIN);
}

TEST_F(ConnectUrl, EveryKeywordHasItsValue)
{
    const std::pair<const char *, const char *> table[] = {
        {"USETEMP", "0x10"},        {"NOCACHE", "0x100"},         {"NOUI", "0x200"},
        {"LINK", "0x400"},          {"RESYNC", "0x800"},          {"HTTPS", "0x1000"},
        {"NOHOSTCHECK", "0x2000"},  {"NODATECHECK", "0x4000"},    {"HTTP", "0x8000"},
        {"NOAUTH", "0x40000"},      {"NOCOOKIES", "0x80000"},     {"NOREDIRECT", "0x200000"},
        {"SECURE", "0x800000"},     {"KEEPALIVE", "0x400000"},    {"NOCACHEWRITE", "0x4000000"},
        {"PASSIVE", "0x8000000"},   {"REUSE", "0x20000000"},      {"RAWDATA", "0x40000000"},
        {"RELOAD", "0x80000000"},
    };
    for (auto [word, value] : table)
        EXPECT_EQ(Flags(word), value) << word;
    EXPECT_EQ(Flags("secure keepalive"), "0xC00000");
    EXPECT_EQ(Flags(""), "0x0");
}

TEST_F(ConnectUrl, PlainOpenMakesTheUrlCurrentAndClosePutsTheOldBack)
{
    ASSERT_EQ(Call(InetConnect, {"c", "server"}).errorCode, 0u);
    ULONG_PTR connection = (ULONG_PTR)State.HandleList;
    CallOutcome o = Call(InetConnectUrl, {"http://s/page", "u", Arg::Omitted(), "X-A: 1\r\nX-B: 2"});
    ASSERT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(OpenUrlCall().Text(), "InternetOpenUrlA(" + recording::Name(State.SessionHandle) +
                                        ", http://s/page, X-A: 1\r\nX-B: 2, 14, 0x0, 0)");
    EXPECT_EQ(HandleValue("u"), (ULONG_PTR)State.HandleList);
    EXPECT_EQ((ULONG_PTR)State.HandleList->Next, connection);
    recording::SetReadData("body");
    ASSERT_EQ(Call(InetIn, {"v"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("v"), "body");
    ASSERT_EQ(Call(InetClose, {"u"}).errorCode, 0u);
    EXPECT_EQ((ULONG_PTR)State.HandleList, connection);
}

TEST_F(ConnectUrl, NoHeadersAreANullText)
{
    ASSERT_EQ(Call(InetConnectUrl, {"http://s/", "u"}).errorCode, 0u);
    EXPECT_EQ(OpenUrlCall().args[2], "null");
    EXPECT_EQ(OpenUrlCall().args[3], "0");
}

TEST_F(ConnectUrl, DownloadReloadReadsEverythingAndKeepsNothingOpen)
{
    std::string data("bin\0ary", 7);
    recording::SetReadData(data);
    CallOutcome o = Call(InetConnectUrl, {"http://s/f", "data", "Download Reload"});
    ASSERT_EQ(o.errorCode, 0u);
    EXPECT_EQ(OpenUrlCall().args[4], "0x80000000");
    EXPECT_EQ(th::Variable("data"), data);
    EXPECT_EQ(o.slot.ErrorMode, ERRORMODE_SYNTAX);
    EXPECT_EQ(State.HandleList, nullptr);
    EXPECT_EQ(recording::OpenHandles(), 1u);
}

TEST_F(ConnectUrl, DownloadAndUploadTogetherOnlyDownload)
{
    recording::SetReadData("x");
    ASSERT_EQ(Call(InetConnectUrl, {"http://s/f", "data", "UPLOAD DOWNLOAD"}).errorCode, 0u);
    EXPECT_EQ(th::Variable("data"), "x");
    EXPECT_TRUE(recording::CallsTo("InternetWriteFile").empty());
}

TEST_F(ConnectUrl, UploadWritesArgumentTwoItself)
{
    ASSERT_EQ(Call(InetConnectUrl, {"http://s/f", std::string("up\0load", 7), "UPLOAD"}).errorCode, 0u);
    EXPECT_EQ(recording::Written(), std::string("up\0load", 7));
    EXPECT_EQ(State.HandleList, nullptr);
    recording::SetWriteLimit(3);
    CallOutcome o = Call(InetConnectUrl, {"http://s/f", "upload", "UPLOAD"});
    EXPECT_EQ(Result(o), "all data not written");
    EXPECT_EQ(State.HandleList, nullptr);
}

TEST_F(ConnectUrl, ADownloadPastTheMaximumFailsAndClosesTheHandle)
{
    ASSERT_EQ(Result(Call(InetMaxIn, {"8192"})), "8192");
    recording::SetReadData(std::string(4097, 'x'));
    th::SetVariable("data", "old");
    CallOutcome o = Call(InetConnectUrl, {"http://s/f", "data", "DOWNLOAD"});
    EXPECT_EQ(Result(o), "Attempt to access invalid address.\r\n");
    EXPECT_EQ(th::Variable("data"), "old");
    EXPECT_EQ(State.HandleList, nullptr);
}

TEST_F(ConnectUrl, BadKeywordOpensNothing)
{
    CallOutcome o = Call(InetConnectUrl, {"http://s/", "v", "DOWNLOAD FAST"});
    EXPECT_EQ(o.errorCode, 0x1C0328u);
    EXPECT_EQ(Result(o), "FAST");
    EXPECT_TRUE(recording::CallsTo("InternetOpenUrlA").empty());
}

TEST_F(ConnectUrl, AUrlThatCannotBeOpenedGivesTheText)
{
    recording::FailNext("InternetOpenUrlA", ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    CallOutcome o = Call(InetConnectUrl, {"xyz://s/", "v"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "The URL does not use a recognized protocol\r\n");
    EXPECT_EQ(State.HandleList, nullptr);
    EXPECT_FALSE(th::Variable("v").has_value());
}

TEST_F(ConnectUrl, AHandleValueThatCannotBeStoredClosesTheUrl)
{
    EXPECT_EQ(Call(InetConnectUrl, {"http://s/", "not a name"}).errorCode, 0x1A0228u);
    EXPECT_EQ(State.HandleList, nullptr);
}

TEST_F(ConnectUrl, InjectedFailuresLeaveNothingOpenOrLeaked)
{
    th::FailNth(Service::GetArgCopy, 1);
    EXPECT_EQ(Call(InetConnectUrl, {"http://s/", "v"}).errorCode, REXX_ERROR_RESOURCES);
    faults::FailGlobalAlloc(1);
    EXPECT_EQ(Call(InetConnectUrl, {"http://s/", "v"}).errorCode, REXX_ERROR_RESOURCES);
    th::FailNth(Service::SetVar, 1);
    EXPECT_EQ(Call(InetConnectUrl, {"http://s/", "v"}).errorCode, REXX_ERROR_RESOURCES);
    recording::SetReadData("12345");
    th::FailNth(Service::MakeString, 1);
    EXPECT_EQ(Call(InetConnectUrl, {"http://s/", "v", "DOWNLOAD"}).errorCode, REXX_ERROR_RESOURCES);
    EXPECT_EQ(State.HandleList, nullptr);
    EXPECT_EQ(recording::OpenHandles(), 1u);
    EXPECT_EQ(th::OutstandingCopies(), 0u);
    EXPECT_EQ(faults::LiveBlocks(), 0u);
}

} // namespace
