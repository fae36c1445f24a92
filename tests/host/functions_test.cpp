// RegisterFunctions, calling what was registered, the ResultSlot, and the names.
#include <testhost/fixture.h>

#include <cstring>

using namespace std::string_literals;

namespace halvorin::testhost {
namespace {

HOSTSERVICES services; // what the handlers below call, as a library would

LONG seenErrorMode;
DWORD seenGiven;

// The text of argument 1 as the result.
DWORD WINAPI Echo(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    DWORD length = 0;
    LPCSTR text = services.GetArg(ctx, args, 1, &length);
    slot->Value = reinterpret_cast<ULONG_PTR>(
        services.MakeString(ctx, reinterpret_cast<ULONG_PTR>(text), length, HOST_STR_COPY));
    return 0;
}

DWORD WINAPI Probe(HOSTCTX, HOSTARGS args, RESULTSLOT *slot) {
    seenErrorMode = slot->ErrorMode;
    seenGiven = 0;
    for (DWORD n = 1; n <= 8; ++n)
        if (services.ArgGiven(args, n))
            seenGiven |= 1u << n;
    slot->ErrorMode = ERRORMODE_FAILURE;
    return 0x310000FB;
}

DWORD WINAPI Strays(HOSTCTX, HOSTARGS, RESULTSLOT *slot) {
    slot->Reserved = 0;
    return 0;
}

DWORD WINAPI Bogus(HOSTCTX, HOSTARGS, RESULTSLOT *slot) {
    static char notAString[] = "static";
    slot->Value = reinterpret_cast<ULONG_PTR>(notAString);
    return 0;
}

const BYTE kInOptions[] = "\4FULL\4FREE";

DWORD WINAPI RejectsKeyword(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    DWORD options = 0;
    slot->Value = services.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | 1, kInOptions, nullptr, &options, 0);
    return slot->Value ? ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 1) : 0;
}

class FunctionsTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        services = host;
    }
    DWORD Register(const char *names, FUNCTIONROW *rows) {
        return host.RegisterFunctions(0, "brevanto", reinterpret_cast<const BYTE *>(names), rows, 0);
    }
};

TEST_F(FunctionsTest, RegistersPrefixPlusEachSuffix) {
    FUNCTIONROW rows[] = {{0, Probe, 0, 1}, {0, Echo, 1, 2}, {0, RejectsKeyword, 0, 1}};
    ASSERT_EQ(Register("\4TEST\5PROBE\4ECHO\4OPTS", rows), 0u);
    std::vector<Function> all = Functions();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].name, "TESTECHO");
    EXPECT_EQ(all[0].handler, Echo);
    EXPECT_EQ(all[0].minArgs, 1);
    EXPECT_EQ(all[0].maxArgs, 2);
    EXPECT_EQ(all[0].library, "brevanto");
    EXPECT_EQ(all[1].name, "TESTOPTS");
    EXPECT_EQ(all[2].name, "TESTPROBE");
    EXPECT_EQ(FindFunction("testProbe")->handler, Probe) << "function names are case-insensitive";
    EXPECT_FALSE(FindFunction("TESTPROB"));
    for (const FUNCTIONROW &row : rows) {
        ULONG_PTR link = row.Link; // a packed field: read it, never bind to it
        EXPECT_EQ(link, 0u) << "the link words are left alone";
    }

    FUNCTIONROW again[] = {{0, Echo, 0, 5}};
    ASSERT_EQ(Register("\4TEST\5PROBE", again), 0u);
    EXPECT_EQ(FindFunction("TESTPROBE")->handler, Echo) << "registering again replaces";
    EXPECT_EQ(Functions().size(), 3u);
}

TEST_F(FunctionsTest, RefusesMalformedListsWhole) {
    FUNCTIONROW rows[] = {{0, Echo, 0, 1}, {0, Echo, 0, 1}};
    struct {
        const char *names;
        DWORD expected;
    } cases[] = {
        {"", kRegisterBadName},                       // no prefix
        {"\4INET", kRegisterBadName},                 // no suffix
        {"\4INET\5close", kRegisterBadName},          // lower case
        {"\4INET\5CL-SE", kRegisterBadName},          // not a symbol character
        {"\0011\2AB", kRegisterBadName},              // starts with a digit
        {"\1.\2AB", kRegisterBadName},                // starts with a dot
        {"\4INET\2IN\2IN", kRegisterDuplicate},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Register(c.names, rows), c.expected) << "list " << testing::PrintToString(std::string(c.names));
    EXPECT_EQ(host.RegisterFunctions(0, "brevanto", nullptr, rows, 0), kRegisterNoList);
    EXPECT_EQ(Register("\4INET\2IN", nullptr), kRegisterNoList);
    FUNCTIONROW noHandler[] = {{0, Echo, 0, 1}, {0, nullptr, 0, 1}};
    EXPECT_EQ(Register("\4INET\2IN\3OUT", noHandler), kRegisterBadRow);
    FUNCTIONROW inverted[] = {{0, Echo, 3, 2}};
    EXPECT_EQ(Register("\4INET\2IN", inverted), kRegisterBadRow);
    EXPECT_TRUE(Functions().empty()) << "nothing of a refused list is registered";
}

TEST_F(FunctionsTest, CallsEnforceTheArgumentCounts) {
    FUNCTIONROW rows[] = {{0, Probe, 1, 2}};
    ASSERT_EQ(Register("\1X\5PROBE", rows), 0u);
    CallOutcome few = CallFunction("XPROBE", {});
    EXPECT_FALSE(few.handlerRan);
    EXPECT_EQ(few.errorCode, ARGUMENT_ERROR(3, 1));
    CallOutcome omittedOnly = CallFunction("XPROBE", {Arg::Omitted(), Arg::Omitted()});
    EXPECT_EQ(omittedOnly.errorCode, ARGUMENT_ERROR(3, 1)) << "trailing omitted arguments do not count";
    CallOutcome many = CallFunction("XPROBE", {"a", "b", "c"});
    EXPECT_FALSE(many.handlerRan);
    EXPECT_EQ(many.errorCode, ARGUMENT_ERROR(4, 2));
    CallOutcome trailing = CallFunction("XPROBE", {"a", "b", Arg::Omitted(), Arg::Omitted()});
    EXPECT_TRUE(trailing.handlerRan);
    CallOutcome gap = CallFunction("XPROBE", {Arg::Omitted(), ""s});
    EXPECT_TRUE(gap.handlerRan);
    EXPECT_EQ(seenGiven, 1u << 2);
    CallOutcome unknown = CallFunction("XNONE", {});
    EXPECT_FALSE(unknown.handlerRan);
    EXPECT_EQ(unknown.errorCode, kErrorRoutineNotFound);
}

TEST_F(FunctionsTest, TheHandlerSeesTheErrorModeAndReportsThroughTheSlot) {
    CallOutcome plain = Call(Probe, {"a"});
    EXPECT_EQ(seenErrorMode, ERRORMODE_SYNTAX) << "a script's call arrives with ErrorMode 5";
    EXPECT_TRUE(plain.handlerRan);
    EXPECT_EQ(plain.errorCode, 0x310000FBu);
    EXPECT_EQ(plain.slot.ErrorMode, ERRORMODE_FAILURE);
    EXPECT_EQ(plain.result, std::nullopt);
    Call(Probe, {}, ERRORMODE_NONE);
    EXPECT_EQ(seenErrorMode, ERRORMODE_NONE);
}

TEST_F(FunctionsTest, TheResultStringIsTakenOverBinarySafe) {
    CallOutcome r = Call(Echo, {"bytes\0and more"s});
    EXPECT_EQ(r.errorCode, 0u);
    EXPECT_EQ(r.result, "bytes\0and more"s);
    EXPECT_EQ(OutstandingStrings(), 0u);
    CallOutcome empty = Call(Echo, {""s});
    EXPECT_EQ(empty.result, ""s) << "an empty result is a result";
}

TEST_F(FunctionsTest, ARejectedKeywordReachesTheInterpreter) {
    CallOutcome r = Call(RejectsKeyword, {"FULL nope"});
    EXPECT_EQ(r.errorCode, ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 1));
    EXPECT_EQ(r.result, "nope");
    FailNth(Service::KeywordCopy, 1);
    CallOutcome marker = Call(RejectsKeyword, {"nope"});
    EXPECT_EQ(marker.errorCode, ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 1));
    EXPECT_EQ(marker.result, ""s);
}

TEST_F(FunctionsTest, HandlersThatStrayAreReported) {
    Call(Strays, {});
    CallOutcome bogus = Call(Bogus, {});
    EXPECT_EQ(bogus.result, std::nullopt);
    auto errors = Expected();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].service, Service::Call);
    EXPECT_EQ(errors[1].service, Service::Call);
}

TEST_F(FunctionsTest, CallerNameIsALengthByteThenTheName) {
    Frame frame;
    ULONG_PTR out = 0xdeadbeef;
    EXPECT_EQ(host.GetCallerName(frame.ctx(), &out, HOST_CALLER_NAME, 0), 0u) << "no caller name set";
    SetCallerName("get.rex Halvorin/1.0");
    ASSERT_NE(host.GetCallerName(frame.ctx(), &out, HOST_CALLER_NAME, 0), 0u);
    const auto *record = reinterpret_cast<const unsigned char *>(out);
    EXPECT_EQ(record[0], 20);
    EXPECT_STREQ(reinterpret_cast<const char *>(record + 1), "get.rex Halvorin/1.0");

    std::string longName(300, 'n');
    SetCallerName(longName);
    ASSERT_NE(host.GetCallerName(frame.ctx(), &out, HOST_CALLER_NAME, 0), 0u);
    record = reinterpret_cast<const unsigned char *>(out);
    EXPECT_EQ(record[0], 255) << "the length byte is capped";
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(record + 1)), longName) << "the name is not";

    SetCallerName(std::nullopt);
    EXPECT_EQ(host.GetCallerName(frame.ctx(), &out, HOST_CALLER_NAME, 0), 0u);
    EXPECT_EQ(host.GetCallerName(frame.ctx(), &out, 0, 0), 0u);
    EXPECT_EQ(Expected().size(), 1u);
}

TEST_F(FunctionsTest, DefaultNameCarriesTheVersion) {
    Frame frame;
    EXPECT_STREQ(host.GetDefaultName(frame.ctx(), 1), "Halvorin/" HALVORIN_VERSION);
    EXPECT_STREQ(host.GetDefaultName(frame.ctx(), 1), kDefaultName);
    EXPECT_STREQ(host.GetDefaultName(frame.ctx(), 2), kDefaultName);
    EXPECT_EQ(Expected().size(), 1u);
}

} // namespace
} // namespace halvorin::testhost
