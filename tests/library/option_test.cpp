// InetOption and InetTime.
#include "fixture.h"

#include <cstring>

namespace {

using namespace std::string_literals;

class Option : public LibraryTest {
protected:
    static std::string Word(DWORD value) { return std::string((const char *)&value, sizeof value); }

    static std::vector<std::string> Queries()
    {
        std::vector<std::string> out;
        for (const recording::Call &c : recording::CallsTo("InternetQueryOptionA"))
            out.push_back(c.Text());
        return out;
    }

    static std::string LastSet()
    {
        auto calls = recording::CallsTo("InternetSetOptionA");
        return calls.empty() ? "" : calls.back().Text();
    }

    // How the recording names the session and the current handle.
    static std::string Session() { return recording::Name(State.SessionHandle); }
    static std::string Current() { return recording::Name(State.HandleList->Handle); }

    static DWORD Number(const std::string &bytes)
    {
        DWORD value = 0;
        std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
        return value;
    }
};

// The records travel at their own sizes on this platform.
static_assert(sizeof(INTERNET_PROXY_INFO) == 24);
static_assert(sizeof(INTERNET_CONNECTED_INFO) == 8);
static_assert(sizeof(HTTP_VERSION_INFO) == 8);

TEST_F(Option, NumberSettingsGoToTheHandleInUse)
{
    const std::pair<const char *, DWORD> numbers[] = {
        {"RETRIES", 3}, {"CONNECT", 2},  {"RECEIVE", 8},  {"SEND", 7},     {"READSIZE", 12},
        {"RCVTIME", 6}, {"REFRESH", 37}, {"SENDTIME", 5}, {"writesize", 13}};
    for (auto [keyword, option] : numbers) {
        // No session: WinINet's settings for the process.
        ASSERT_EQ(Call(InetOption, {keyword, "30000"}).errorCode, 0u) << keyword;
        EXPECT_EQ(LastSet(), "InternetSetOptionA(null, " + std::to_string(option) + ", ptr, 4)");
        EXPECT_EQ(Number(recording::LastOptionSet()), 30000u);
    }
    OpenSession();
    ASSERT_EQ(Call(InetOption, {"CONNECT", "5"}).errorCode, 0u);
    EXPECT_EQ(LastSet(), "InternetSetOptionA(" + Session() + ", 2, ptr, 4)");
    Connect("c");
    ASSERT_EQ(Call(InetOption, {"connect", " 7 "}).errorCode, 0u);
    EXPECT_EQ(LastSet(), "InternetSetOptionA(" + Current() + ", 2, ptr, 4)");
    EXPECT_EQ(Number(recording::LastOptionSet()), 7u);
}

TEST_F(Option, ANumberSettingNeedsANumber)
{
    for (Arg value : {Arg("abc"), Arg("-1"), Arg::Omitted(), Arg("")}) {
        CallOutcome o = Call(InetOption, {"RETRIES", value});
        EXPECT_EQ(o.errorCode, 0xD0228u) << value.text();
        EXPECT_FALSE(o.result.has_value());
    }
    EXPECT_TRUE(recording::CallsTo("InternetSetOptionA").empty());
}

TEST_F(Option, KeywordsOutsideTheirListAreRefused)
{
    // Two arguments set; URL can only be queried.
    CallOutcome o = Call(InetOption, {"URL", "u"});
    EXPECT_EQ(o.errorCode, 0x1C0128u);
    EXPECT_EQ(Result(o), "URL");
    o = Call(InetOption, {"COLOUR", "u", "q"});
    EXPECT_EQ(o.errorCode, 0x1C0128u);
    EXPECT_EQ(Result(o), "COLOUR");
    o = Call(InetOption, {"AGENT USER", "u", "q"});
    EXPECT_EQ(o.errorCode, 0x1C0128u);
    EXPECT_EQ(Result(o), "USER");
    EXPECT_EQ(Call(InetOption, {Arg::Omitted(), "u", "q"}).errorCode, 0x50128u);
    EXPECT_EQ(Call(InetOption, {"", "5"}).errorCode, 0x50128u);
    EXPECT_TRUE(recording::Calls().empty());
}

TEST_F(Option, AnyThirdArgumentQueries)
{
    recording::SetOptionText(INTERNET_OPTION_URL, "http://server/r");
    ASSERT_EQ(Call(InetOption, {"URL", "u", ""}).errorCode, 0u);
    EXPECT_EQ(th::Variable("u"), "http://server/r");
}

TEST_F(Option, TheHttpVersionIsSetForTheProcessFromItsText)
{
    OpenSession();
    Connect("c");
    const std::pair<const char *, std::pair<DWORD, DWORD>> versions[] = {
        {"1.0", {1, 0}}, {"1.1", {1, 1}}, {" 2 ", {2, 0}}, {"", {0, 0}}};
    for (auto [text, pair] : versions) {
        ASSERT_EQ(Call(InetOption, {"HTTPVERS", text}).errorCode, 0u) << text;
        EXPECT_EQ(LastSet(), "InternetSetOptionA(null, 59, ptr, 8)");
        std::string bytes = recording::LastOptionSet();
        EXPECT_EQ(Number(bytes), pair.first) << text;
        EXPECT_EQ(Number(bytes.substr(4)), pair.second) << text;
    }
}

TEST_F(Option, BytesSettingsPassTheArgumentAsItIs)
{
    OpenSession();
    const std::pair<const char *, DWORD> texts[] = {{"AGENT", 41},    {"USER", 28},     {"PASSWORD", 29},
                                                    {"PROXYUSER", 43}, {"PROXYPWD", 44}, {"PRIORITY", 58},
                                                    {"CACHEKEY", 53}, {"CLIENTCERT", 47}, {"FLUSH", 42}};
    for (auto [keyword, option] : texts) {
        ASSERT_EQ(Call(InetOption, {keyword, "a\0b c"s}).errorCode, 0u) << keyword;
        EXPECT_EQ(LastSet(), "InternetSetOptionA(" + Session() + ", " + std::to_string(option) + ", ptr, 5)");
        EXPECT_EQ(recording::LastOptionSet(), "a\0b c"s);
    }
    ASSERT_EQ(Call(InetOption, {"AGENT", Arg::Omitted()}).errorCode, 0u);
    EXPECT_EQ(LastSet(), "InternetSetOptionA(" + Session() + ", 41, null, 0)");
}

TEST_F(Option, OnlineSetsTheConnectedStateWithTheFlagsGiven)
{
    ASSERT_EQ(Call(InetOption, {"ONLINE", "1"}).errorCode, 0u);
    EXPECT_EQ(LastSet(), "InternetSetOptionA(null, 50, ptr, 8)");
    EXPECT_EQ(recording::LastOptionSet(), Word(INTERNET_STATE_CONNECTED) + Word(1));
    ASSERT_EQ(Call(InetOption, {"ONLINE", Arg::Omitted()}).errorCode, 0u);
    EXPECT_EQ(recording::LastOptionSet(), Word(INTERNET_STATE_CONNECTED) + Word(0));
    // Not a number: refused like the numbers' values, not sent as a stray flag word.
    EXPECT_EQ(Call(InetOption, {"ONLINE", "soon"}).errorCode, 0xD0228u);
    EXPECT_EQ(recording::CallsTo("InternetSetOptionA").size(), 2u);
}

TEST_F(Option, AFailedSetGivesTheWinINetText)
{
    recording::FailNext("InternetSetOptionA", ERROR_INTERNET_OPTION_NOT_SETTABLE);
    CallOutcome o = Call(InetOption, {"AGENT", "x"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "The option value cannot be set\r\n");
}

TEST_F(Option, AProxyIsSetFromAStem)
{
    OpenSession();
    th::SetVariable("p.0", "proxy");
    th::SetVariable("p.1", "http=web:3128 ftp=files:21");
    th::SetVariable("p.2", "<local>");
    ASSERT_EQ(Call(InetOption, {"PROXY", "p."}).errorCode, 0u);
    EXPECT_EQ(LastSet(), "InternetSetOptionA(" + Session() + ", 38, ptr, 24)");
    EXPECT_EQ(recording::LastOptionSet(), "{3, http=web:3128 ftp=files:21, <local>}");

    // Elements without a value are no lists.
    th::DropVariable("p.1");
    th::DropVariable("p.2");
    th::SetVariable("p.0", "No_AutoProxy");
    ASSERT_EQ(Call(InetOption, {"PROXY", "p"}).errorCode, 0u);
    EXPECT_EQ(recording::LastOptionSet(), "{4, null, null}");
    th::SetVariable("p.0", "");
    ASSERT_EQ(Call(InetOption, {"PROXY", "p."}).errorCode, 0u);
    EXPECT_EQ(recording::LastOptionSet(), "{0, null, null}");
}

TEST_F(Option, AProxyStemMustSayWhatItIs)
{
    th::SetVariable("p.0", "HTTP");
    CallOutcome o = Call(InetOption, {"PROXY", "p."});
    EXPECT_EQ(o.errorCode, 0x1C0228u);
    EXPECT_EQ(Result(o), "HTTP");
    th::DropVariable("p.0");
    EXPECT_EQ(Call(InetOption, {"PROXY", "p."}).errorCode, 0x50228u);
    EXPECT_EQ(Call(InetOption, {"PROXY", "1bad"}).errorCode, 0x50228u);
    EXPECT_TRUE(recording::CallsTo("InternetSetOptionA").empty());
}

TEST_F(Option, AProxyListIsNeverWrittenPastItsBuffer)
{
    th::SetVariable("p.0", "PROXY");
    th::SetVariable("p.1", std::string(255, 'x'));
    ASSERT_EQ(Call(InetOption, {"PROXY", "p."}).errorCode, 0u);
    EXPECT_EQ(recording::LastOptionSet(), "{3, " + std::string(255, 'x') + ", null}");

    th::SetVariable("p.1", std::string(256, 'x'));
    CallOutcome o = Call(InetOption, {"PROXY", "p."});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "The data area passed to a system call is too small.\r\n");
    EXPECT_EQ(recording::CallsTo("InternetSetOptionA").size(), 1u);
}

TEST_F(Option, NumbersAreQueriedIntoAVariable)
{
    OpenSession();
    Connect("c");
    recording::SetOptionValue(INTERNET_OPTION_RECEIVE_TIMEOUT, Word(45000));
    ASSERT_EQ(Call(InetOption, {"RCVTIME", "t", "q"}).errorCode, 0u);
    EXPECT_EQ(Queries(), std::vector<std::string>{"InternetQueryOptionA(" + Current() + ", 6, ptr, 4)"});
    EXPECT_EQ(th::Variable("t"), "45000");
}

TEST_F(Option, TheParentIsAHandleSizedNumber)
{
    OpenSession();
    Connect("c");
    HINTERNET parent = (HINTERNET)(ULONG_PTR)0x123456789ULL;
    recording::SetOptionValue(INTERNET_OPTION_PARENT_HANDLE, std::string((const char *)&parent, sizeof parent));
    ASSERT_EQ(Call(InetOption, {"PARENT", "p", "q"}).errorCode, 0u);
    EXPECT_EQ(Queries(), std::vector<std::string>{"InternetQueryOptionA(" + Current() + ", 21, ptr, 8)"});
    EXPECT_EQ(th::Variable("p"), "4886718345");
}

TEST_F(Option, PairsGoToElementsZeroAndOne)
{
    OpenSession();
    Connect("c");
    recording::SetOptionValue(INTERNET_OPTION_HTTP_VERSION, Word(1) + Word(0));
    recording::SetOptionValue(INTERNET_OPTION_VERSION, Word(1) + Word(2));
    ASSERT_EQ(Call(InetOption, {"HTTPVERS", "h.", "q"}).errorCode, 0u);
    ASSERT_EQ(Call(InetOption, {"VERSION", "v.", "q"}).errorCode, 0u);
    EXPECT_EQ(Queries(), (std::vector<std::string>{"InternetQueryOptionA(null, 59, ptr, 8)",
                                                   "InternetQueryOptionA(" + Current() + ", 40, ptr, 8)"}));
    EXPECT_EQ(th::Variables(), (std::map<std::string, std::string>{
                                   {"C", th::Variable("c").value()}, {"H.0", "1"}, {"H.1", "0"}, {"V.0", "1"}, {"V.1", "2"}}));
}

TEST_F(Option, TheConnectedStateReadsAsWords)
{
    struct Case {
        DWORD state;
        std::optional<std::string> word;
        const char *idle;
    } cases[] = {
        {INTERNET_STATE_CONNECTED | INTERNET_STATE_IDLE, "ON", "IDLE"},
        {INTERNET_STATE_DISCONNECTED | INTERNET_STATE_BUSY, "OFF", "BUSY"},
        {INTERNET_STATE_CONNECTED | INTERNET_STATE_DISCONNECTED, "OFF", "BUSY"},
        {INTERNET_STATE_DISCONNECTED_BY_USER | INTERNET_STATE_CONNECTED | INTERNET_STATE_IDLE, "CANCEL", "IDLE"},
        {0, std::nullopt, "BUSY"},
    };
    for (const Case &c : cases) {
        th::SetVariable("s.0", "kept");
        th::SetVariable("s.1", "old");
        recording::SetOptionValue(INTERNET_OPTION_CONNECTED_STATE, Word(c.state));
        ASSERT_EQ(Call(InetOption, {"ONLINE", "s.", "q"}).errorCode, 0u);
        EXPECT_EQ(th::Variable("s.0"), "kept");
        EXPECT_EQ(th::Variable("s.1"), c.word) << c.state;
        EXPECT_EQ(th::Variable("s.2"), c.idle) << c.state;
    }
    EXPECT_EQ(recording::CallsTo("InternetQueryOptionA")[0].Text(), "InternetQueryOptionA(null, 50, ptr, 8)");
}

TEST_F(Option, AProxyRecordReadsIntoAStem)
{
    const struct {
        DWORD type;
        const char *proxy, *bypass, *word;
    } cases[] = {
        {INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, "DIRECT"},
        {INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, "PRECONFIG"},
        {INTERNET_OPEN_TYPE_PROXY, "web:3128", "<local>", "PROXY"},
        {INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, "web:3128", nullptr, "PROXY"},
    };
    for (const auto &c : cases) {
        th::SetVariable("p.1", "old");
        th::SetVariable("p.2", "old");
        recording::Reset();
        recording::SetProxyRecord(c.type, c.proxy, c.bypass);
        ASSERT_EQ(Call(InetOption, {"PROXY", "p.", "q"}).errorCode, 0u) << c.word;
        EXPECT_EQ(th::Variable("p.0"), c.word);
        EXPECT_EQ(th::Variable("p.1"), c.proxy ? std::optional<std::string>(c.proxy) : std::nullopt);
        EXPECT_EQ(th::Variable("p.2"), c.bypass ? std::optional<std::string>(c.bypass) : std::nullopt);
        // The value area first; lists that do not fit it are fetched at their size.
        std::vector<std::string> expected{"InternetQueryOptionA(null, 38, ptr, 24)"};
        if (c.proxy || c.bypass)
            expected.push_back("InternetQueryOptionA(null, 38, ptr, " +
                               std::to_string(24 + (c.proxy ? std::strlen(c.proxy) + 1 : 0) +
                                              (c.bypass ? std::strlen(c.bypass) + 1 : 0)) +
                               ")");
        EXPECT_EQ(Queries(), expected);
    }
}

TEST_F(Option, SizedValuesAreProbedThenFetched)
{
    OpenSession();
    recording::SetOptionText(INTERNET_OPTION_USER_AGENT, "tour.rex Halvorin/1.0");
    ASSERT_EQ(Call(InetOption, {"AGENT", "a", "q"}).errorCode, 0u);
    EXPECT_EQ(Queries(), (std::vector<std::string>{"InternetQueryOptionA(" + Session() + ", 41, null, 0)",
                                                   "InternetQueryOptionA(" + Session() + ", 41, ptr, 22)"}));
    // The text alone, without the zero byte the probe counted.
    EXPECT_EQ(th::Variable("a"), "tour.rex Halvorin/1.0");

    // The extended error is the thread's: no handle; its four bytes as they lie.
    Connect("c");
    recording::SetOptionValue(INTERNET_OPTION_EXTENDED_ERROR, Word(550));
    ASSERT_EQ(Call(InetOption, {"ERROR", "e", "q"}).errorCode, 0u);
    EXPECT_EQ(Queries()[2], "InternetQueryOptionA(null, 24, null, 0)");
    EXPECT_EQ(th::Variable("e"), Word(550));
}

TEST_F(Option, FailedQueriesGiveTheWinINetTextAndStoreNothing)
{
    OpenSession();
    // The probe fails with something other than "too small": nothing more is done.
    recording::FailNext("InternetQueryOptionA", ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    CallOutcome o = Call(InetOption, {"CERTIFICATE", "c", "q"});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "The supplied handle is the wrong type for the requested operation\r\n");
    EXPECT_EQ(Queries().size(), 1u);
    EXPECT_EQ(th::Calls(Service::MakeString), 1u); // the message only

    // The fetch fails: the fresh string is released (the fixture counts it).
    recording::SetOptionText(INTERNET_OPTION_URL, "http://server/");
    recording::FailNext("InternetQueryOptionA", ERROR_INTERNET_INVALID_OPTION, 1);
    o = Call(InetOption, {"URL", "u", "q"});
    EXPECT_EQ(Result(o), "The option is invalid\r\n");
    recording::FailNext("InternetQueryOptionA", ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    o = Call(InetOption, {"TYPE", "t", "q"});
    EXPECT_EQ(Result(o), "The supplied handle is the wrong type for the requested operation\r\n");
    EXPECT_EQ(th::Variables(), (std::map<std::string, std::string>{}));
}

TEST_F(Option, AProxyRecordTooLargeEvenForItsSizeIsReported)
{
    recording::SetProxyRecord(INTERNET_OPEN_TYPE_PROXY, "web:3128", nullptr);
    recording::FailNext("InternetQueryOptionA", ERROR_INTERNET_INVALID_OPTION, 1);
    CallOutcome o = Call(InetOption, {"PROXY", "p.", "q"});
    EXPECT_EQ(Result(o), "The option is invalid\r\n");
    faults::FailGlobalAlloc(1);
    EXPECT_EQ(Call(InetOption, {"PROXY", "p.", "q"}).errorCode, REXX_ERROR_RESOURCES);
    EXPECT_FALSE(th::Variable("p.0").has_value());
}

TEST_F(Option, ValuesTheInterpreterCannotStoreAreErrors)
{
    recording::SetOptionValue(INTERNET_OPTION_CONNECT_TIMEOUT, Word(1));
    recording::SetOptionValue(INTERNET_OPTION_VERSION, Word(1) + Word(2));
    recording::SetOptionValue(INTERNET_OPTION_CONNECTED_STATE, Word(INTERNET_STATE_CONNECTED));
    recording::SetOptionText(INTERNET_OPTION_USER_AGENT, "agent");
    recording::SetProxyRecord(INTERNET_OPEN_TYPE_PROXY, "web:3128", "<local>");
    struct Case {
        const char *keyword;
        unsigned setVars; // how many the query makes
    } cases[] = {{"CONNECT", 1}, {"VERSION", 2}, {"ONLINE", 2}, {"AGENT", 1}, {"PROXY", 3}};
    for (const Case &c : cases) {
        for (unsigned n = 1; n <= c.setVars; n++) {
            th::FailNth(Service::SetVar, n, HOST_REASON_NO_MEMORY);
            EXPECT_EQ(Call(InetOption, {c.keyword, "v.", "q"}).errorCode, REXX_ERROR_RESOURCES) << c.keyword << n;
        }
        // A name that is none, or no name at all: 40.26 and 40.5, not a value quietly lost.
        EXPECT_EQ(Call(InetOption, {c.keyword, "1v", "q"}).errorCode, 0x1A0228u) << c.keyword;
        EXPECT_EQ(Call(InetOption, {c.keyword, Arg::Omitted(), "q"}).errorCode, 0x50228u) << c.keyword;
        EXPECT_EQ(Call(InetOption, {c.keyword, "v.", "q"}).errorCode, 0u) << c.keyword;
    }
}

TEST_F(Option, NoMemoryForAStringIsAnError)
{
    recording::SetOptionText(INTERNET_OPTION_USER_AGENT, "agent");
    recording::SetProxyRecord(INTERNET_OPEN_TYPE_PROXY, "web:3128", "<local>");
    recording::SetOptionValue(INTERNET_OPTION_CONNECTED_STATE, Word(INTERNET_STATE_CONNECTED));
    // AGENT: the fresh string, then the one cut to the text; PROXY: its three copies; ONLINE: two.
    const std::pair<const char *, unsigned> cases[] = {{"AGENT", 2}, {"PROXY", 3}, {"ONLINE", 2}};
    for (auto [keyword, count] : cases) {
        for (unsigned n = 1; n <= count; n++) {
            th::FailNth(Service::MakeString, n);
            EXPECT_EQ(Call(InetOption, {keyword, "v.", "q"}).errorCode, REXX_ERROR_RESOURCES) << keyword << n;
        }
    }
    th::FailNth(Service::GetVar, 1, HOST_REASON_NO_MEMORY);
    th::SetVariable("p.0", "DIRECT");
    EXPECT_EQ(Call(InetOption, {"PROXY", "p."}).errorCode, REXX_ERROR_RESOURCES);
    for (unsigned n = 2; n <= 3; n++) {
        th::FailNth(Service::GetVar, n, HOST_REASON_NO_MEMORY);
        EXPECT_EQ(Call(InetOption, {"PROXY", "p."}).errorCode, REXX_ERROR_RESOURCES) << n;
        th::FailNth(Service::GetVar, n, HOST_REASON_BAD_CALL);
        EXPECT_EQ(Call(InetOption, {"PROXY", "p."}).errorCode, 0x50228u) << n;
    }
    EXPECT_TRUE(recording::CallsTo("InternetSetOptionA").empty());
}

TEST_F(Option, InetTimeDoesNothing)
{
    CallOutcome o = Call(InetTime, {"x"}, ERRORMODE_ERROR);
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(o.slot.ErrorMode, ERRORMODE_ERROR);
    EXPECT_TRUE(recording::Calls().empty());
}

} // namespace
