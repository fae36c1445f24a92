// Texts with a zero byte: refused where the system would see them cut short.
#include "fixture.h"

using namespace std::string_literals;

namespace {

struct ZeroByteCase {
    const char *name;
    HANDLERPROC handler;
    Args args;
    DWORD position;
    const char *call; // the WinINet function that must not be reached
};

void PrintTo(const ZeroByteCase &c, std::ostream *os) { *os << c.name; }

class ZeroBytes : public FtpTest, public testing::WithParamInterface<ZeroByteCase> {};

TEST_P(ZeroBytes, AreRefusedNotCut)
{
    const ZeroByteCase &c = GetParam();
    recording::Reset();
    CallOutcome o = Call(c.handler, c.args);
    EXPECT_EQ(o.errorCode, ARGUMENT_ERROR(MINOR_ZERO_BYTE, c.position));
    EXPECT_TRUE(recording::CallsTo(c.call).empty()) << LastCall(c.call);
    EXPECT_EQ(th::OutstandingCopies(), 0u);
}

const std::string cut = "cut\0here"s;

INSTANTIATE_TEST_SUITE_P(
    Library, ZeroBytes,
    testing::Values(ZeroByteCase{"Url", InetConnectUrl, {"http://a/" + cut, "v"}, 1, "InternetOpenUrlA"},
                    ZeroByteCase{"Server", InetConnect, {"c", cut}, 2, "InternetConnectA"},
                    ZeroByteCase{"User", InetConnect, {"c", "s", "FTP", cut, "pw"}, 4, "InternetConnectA"},
                    ZeroByteCase{"Password", InetConnect, {"c", "s", "FTP", "anna", cut}, 5, "InternetConnectA"},
                    ZeroByteCase{"Directory", InetDir, {cut}, 1, "FtpSetCurrentDirectoryA"},
                    ZeroByteCase{"RemoteFile", InetFile, {cut}, 1, "FtpGetFileA"},
                    ZeroByteCase{"LocalFile", InetFile, {"a.txt", cut}, 2, "FtpGetFileA"},
                    ZeroByteCase{"RenameFrom", InetRename, {cut, "b"}, 1, "FtpRenameFileA"},
                    ZeroByteCase{"RenameTo", InetRename, {"a", cut}, 2, "FtpRenameFileA"},
                    ZeroByteCase{"Delete", InetDelete, {cut}, 1, "FtpDeleteFileA"},
                    ZeroByteCase{"Pattern", InetMatchName, {"e.", cut}, 2, "FtpFindFirstFileA"},
                    ZeroByteCase{"CookieUrl", InetCookie, {"http://a/" + cut, "", "v"}, 1, "InternetGetCookieA"},
                    ZeroByteCase{"CookieName", InetCookie, {"http://a/", cut, "v"}, 2, "InternetGetCookieExA"},
                    ZeroByteCase{"CookieData", InetCookie, {"http://a/", "", cut, "SET"}, 3, "InternetSetCookieA"},
                    ZeroByteCase{"DialConnection", InetDial, {"", "", cut}, 3, "InternetDial"}),
    [](const testing::TestParamInfo<ZeroByteCase> &info) { return std::string(info.param.name); });

using ZeroBytesInOpen = LibraryTest;

TEST_F(ZeroBytesInOpen, AgentProxyAndBypass)
{
    for (DWORD position : {3u, 4u, 5u}) {
        Args args{Arg::Omitted(), "PROXY", "agent", "proxy:8080", "<local>"};
        args[position - 1] = Arg(cut);
        EXPECT_EQ(Call(InetOpen, args).errorCode, ARGUMENT_ERROR(MINOR_ZERO_BYTE, position));
        EXPECT_EQ(State.SessionHandle, nullptr);
        EXPECT_EQ(th::OutstandingCopies(), 0u);
    }
    EXPECT_TRUE(recording::CallsTo("InternetOpenA").empty());
}

// A name is refused whole by the interpreter: 'a'||'00'x||'b c' does not set A.
TEST_F(ZeroBytesInOpen, VariableNames)
{
    OpenSession();
    const std::string name = "a\0b c"s;
    EXPECT_EQ(Call(InetConnect, {name, "s"}).errorCode, ARGUMENT_ERROR(MINOR_NOT_SYMBOL, 1));
    EXPECT_EQ(State.HandleList, nullptr) << "a connection the script cannot name stays open";
    Connect("C");
    recording::SetReadData("data");
    EXPECT_EQ(Call(InetIn, {name}).errorCode, ARGUMENT_ERROR(MINOR_NOT_SYMBOL, 1));
    EXPECT_EQ(Call(InetConnectUrl, {"http://a/", name}).errorCode, ARGUMENT_ERROR(MINOR_NOT_SYMBOL, 2));
    EXPECT_EQ(Call(InetConnectUrl, {"http://a/", name, "DOWNLOAD"}).errorCode, ARGUMENT_ERROR(MINOR_NOT_SYMBOL, 2));
    EXPECT_EQ(th::Variables().size(), 1u) << "only C is set";
    EXPECT_EQ(List().size(), 1u);
}

} // namespace
