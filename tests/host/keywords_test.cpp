// ParseKeywords: words, matching, OR and single modes, rejected text.
#include <testhost/fixture.h>

#include <cstring>

using namespace std::string_literals;

namespace halvorin::testhost {
namespace {

const BYTE kInOptions[] = "\4FULL\4FREE";                             // no values: bits 1, 2
const BYTE kAccess[] = "\11PRECONFIG\6DIRECT\5PROXY\14NO_AUTOPROXY"; // with values
const DWORD kAccessValues[] = {0, 1, 3, 4};
constexpr DWORD kUntouched = 0xdeadbeef;

class KeywordsTest : public HostTest {
protected:
    // ParseKeywords on argument 1 of a call with `text` as that argument.
    ULONG_PTR Parse(Arg argument, DWORD flags, const BYTE *list, const DWORD *values, DWORD &out) {
        Frame frame({std::move(argument)});
        return host.ParseKeywords(frame.ctx(), frame.args(), HOST_KW_ARGUMENT | flags | 1, list, values, &out, 0);
    }
    // The rejected text, released as the interpreter releases it.
    std::string Rejected(ULONG_PTR r) {
        EXPECT_NE(r, 0u);
        if (!r)
            return "<accepted>";
        Frame frame;
        EXPECT_EQ(host.SetVar(frame.ctx(), "REJECTED", 0, r, 0), 0u);
        std::string text = Variable("REJECTED").value_or("<unset>");
        DropVariable("REJECTED");
        return text;
    }
};

TEST_F(KeywordsTest, OrModeCombinesEveryWord) {
    struct {
        const char *text;
        DWORD expected;
    } cases[] = {{"FULL", 1}, {"free", 2}, {"Full Free", 3}, {"full,free", 3}, {" \tfree ,, full\t", 3},
                 {"FREE FREE", 2}};
    for (const auto &c : cases) {
        DWORD out = kUntouched;
        EXPECT_EQ(Parse(c.text, 0, kInOptions, nullptr, out), 0u) << c.text;
        EXPECT_EQ(out, c.expected) << c.text;
    }
    DWORD out = kUntouched;
    EXPECT_EQ(Parse("proxy,direct", 0, kAccess, kAccessValues, out), 0u);
    EXPECT_EQ(out, 3u | 1u);
}

TEST_F(KeywordsTest, NoWordsLeaveTheDefault) {
    for (Arg argument : {Arg::Omitted(), Arg(""), Arg("   "), Arg(" ,\t, ")}) {
        DWORD out = kUntouched;
        EXPECT_EQ(Parse(argument, 0, kInOptions, nullptr, out), 0u);
        EXPECT_EQ(out, kUntouched);
        EXPECT_EQ(Parse(argument, HOST_KW_SINGLE, kAccess, kAccessValues, out), 0u);
        EXPECT_EQ(out, kUntouched);
    }
}

TEST_F(KeywordsTest, AnUnknownWordComesBackAsItWasWritten) {
    DWORD out = kUntouched;
    EXPECT_EQ(Rejected(Parse("full aLL free", 0, kInOptions, nullptr, out)), "aLL");
    EXPECT_EQ(out, kUntouched);
    // Exact words only: no abbreviations, no longer words.
    EXPECT_EQ(Rejected(Parse("FUL", 0, kInOptions, nullptr, out)), "FUL");
    EXPECT_EQ(Rejected(Parse("FULLER", 0, kInOptions, nullptr, out)), "FULLER");
    EXPECT_EQ(Rejected(Parse("NO_AUTO", HOST_KW_SINGLE, kAccess, kAccessValues, out)), "NO_AUTO");
    EXPECT_EQ(Rejected(Parse("fr\0ee"s, 0, kInOptions, nullptr, out)), "fr\0ee"s);
    EXPECT_EQ(out, kUntouched);
}

TEST_F(KeywordsTest, TheRejectedCopyIsAHostStringUntilHandedOver) {
    DWORD out = kUntouched;
    ULONG_PTR r = Parse("BAD", 0, kInOptions, nullptr, out);
    ASSERT_NE(r, 0u);
    EXPECT_STREQ(reinterpret_cast<const char *>(r), "BAD");
    EXPECT_EQ(OutstandingStrings(), 1u);
    host.FreeMem(reinterpret_cast<LPVOID>(r));
    EXPECT_EQ(OutstandingStrings(), 0u);
}

TEST_F(KeywordsTest, SingleModeTakesExactlyOneWord) {
    DWORD out = kUntouched;
    EXPECT_EQ(Parse(" no_autoproxy ", HOST_KW_SINGLE, kAccess, kAccessValues, out), 0u);
    EXPECT_EQ(out, 4u);
    out = kUntouched;
    EXPECT_EQ(Parse("preconfig", HOST_KW_SINGLE, kAccess, kAccessValues, out), 0u);
    EXPECT_EQ(out, 0u) << "a keyword whose value is 0";
    out = kUntouched;
    EXPECT_EQ(Rejected(Parse("DIRECT PROXY", HOST_KW_SINGLE, kAccess, kAccessValues, out)), "PROXY");
    EXPECT_EQ(Rejected(Parse("BOGUS,DIRECT,X", HOST_KW_SINGLE, kAccess, kAccessValues, out)), "DIRECT")
        << "the second word is the one rejected";
    EXPECT_EQ(out, kUntouched);
}

TEST_F(KeywordsTest, TextFormReadsItsLengthOnly) {
    Frame frame;
    const char text[] = "directPROXY";
    DWORD out = kUntouched;
    EXPECT_EQ(host.ParseKeywords(frame.ctx(), text, 6 | HOST_KW_SINGLE, kAccess, kAccessValues, &out, 0), 0u);
    EXPECT_EQ(out, 1u);
    out = kUntouched;
    EXPECT_EQ(host.ParseKeywords(frame.ctx(), text, 0 | HOST_KW_SINGLE, kAccess, kAccessValues, &out, 0), 0u);
    EXPECT_EQ(out, kUntouched);
    EXPECT_EQ(Rejected(host.ParseKeywords(frame.ctx(), text, 11 | HOST_KW_SINGLE, kAccess, kAccessValues, &out, 0)),
              "directPROXY");
    EXPECT_EQ(host.ParseKeywords(frame.ctx(), "FREE", 4, kInOptions, nullptr, &out, 0), 0u);
    EXPECT_EQ(out, 2u);
}

TEST_F(KeywordsTest, WithoutMemoryARejectionIsStillNonzero) {
    FailNth(Service::KeywordCopy, 1);
    DWORD out = kUntouched;
    ULONG_PTR r = Parse("BAD", 0, kInOptions, nullptr, out);
    ASSERT_NE(r, 0u);
    EXPECT_STREQ(reinterpret_cast<const char *>(r), "");
    EXPECT_EQ(OutstandingStrings(), 0u);
    host.FreeMem(reinterpret_cast<LPVOID>(r)); // accepted silently
    EXPECT_TRUE(BadFrees().empty());
    EXPECT_EQ(out, kUntouched);
    EXPECT_EQ(Calls(Service::KeywordCopy), 1u);
}

TEST_F(KeywordsTest, KeywordsPastTheThirtySecondNeedAValueTable) {
    std::string list;
    for (int i = 0; i < 33; ++i)
        list += "\3K" + std::string(1, static_cast<char>('A' + i / 26)) + static_cast<char>('A' + i % 26);
    const auto *keywords = reinterpret_cast<const BYTE *>(list.c_str());
    DWORD out = kUntouched;
    EXPECT_EQ(Parse("KBF", 0, keywords, nullptr, out), 0u); // keyword 31
    EXPECT_EQ(out, 0x80000000u);
    EXPECT_EQ(Parse("KBG", 0, keywords, nullptr, out), 0u); // keyword 32: no bit of its own
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(Expected().size(), 1u);
}

TEST_F(KeywordsTest, MisuseIsReported) {
    Frame frame({"FREE"});
    DWORD out = kUntouched;
    EXPECT_EQ(host.ParseKeywords(frame.ctx(), frame.args(), HOST_KW_ARGUMENT | 1, nullptr, nullptr, &out, 0), 0u);
    EXPECT_EQ(host.ParseKeywords(frame.ctx(), frame.args(), HOST_KW_ARGUMENT | 1, kInOptions, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(host.ParseKeywords(frame.ctx(), frame.args(), HOST_KW_ARGUMENT | 0x20000 | 1, kInOptions, nullptr,
                                 &out, 0),
              0u);
    EXPECT_EQ(host.ParseKeywords(frame.ctx(), frame.args(), HOST_KW_ARGUMENT, kInOptions, nullptr, &out, 0), 0u);
    EXPECT_EQ(host.ParseKeywords(frame.ctx(), nullptr, 4, kInOptions, nullptr, &out, 0), 0u);
    EXPECT_EQ(host.ParseKeywords(frame.ctx(), frame.ctx(), HOST_KW_ARGUMENT | 1, kInOptions, nullptr, &out, 0), 0u);
    EXPECT_EQ(out, kUntouched);
    EXPECT_EQ(Expected().size(), 6u);
}

} // namespace
} // namespace halvorin::testhost
