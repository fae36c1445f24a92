// Arguments: text and number forms of GetArg, GetArgCopy, ArgGiven.
#include <testhost/fixture.h>

#include <cstring>

using namespace std::string_literals;

namespace halvorin::testhost {
namespace {

using ArgumentsTest = HostTest;

TEST_F(ArgumentsTest, TextFormIsTheInterpretersOwnText) {
    Frame frame({"hello", ""s, Arg::Omitted(), "a\0b"s});
    DWORD length = 0xdeadbeef;
    LPCSTR text = host.GetArg(frame.ctx(), frame.args(), 1, &length);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(length, 5u);
    EXPECT_STREQ(text, "hello");
    EXPECT_EQ(host.GetArg(frame.ctx(), frame.args(), 1, &length), text) << "the same text each time, not a copy";

    length = 0xdeadbeef;
    text = host.GetArg(frame.ctx(), frame.args(), 2, &length);
    ASSERT_NE(text, nullptr) << "an empty argument is given";
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(text[0], '\0');

    length = 0xdeadbeef;
    EXPECT_EQ(host.GetArg(frame.ctx(), frame.args(), 3, &length), nullptr);
    EXPECT_EQ(length, 0u);
    length = 0xdeadbeef;
    EXPECT_EQ(host.GetArg(frame.ctx(), frame.args(), 9, &length), nullptr) << "past the last argument";
    EXPECT_EQ(length, 0u);

    text = host.GetArg(frame.ctx(), frame.args(), 4, &length);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(std::string(text, 4), "a\0b\0"s) << "binary text, with a zero byte after it";
    EXPECT_EQ(OutstandingCopies() + OutstandingStrings(), 0u);
}

struct NumberCase {
    const char *text;
    bool valid;
    DWORD value;
    friend void PrintTo(const NumberCase &c, std::ostream *os) { *os << '"' << c.text << '"'; }
};

class NumberFormTest : public HostTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(NumberFormTest, ReadsUnsignedWholeNumbers) {
    const NumberCase &c = GetParam();
    Frame frame({c.text});
    DWORD out = 0xdeadbeef;
    LPCSTR r = host.GetArg(frame.ctx(), frame.args(), HOST_ARG_NUMBER | 1, &out);
    if (c.valid) {
        EXPECT_NE(r, nullptr) << '"' << c.text << '"';
        EXPECT_EQ(out, c.value) << '"' << c.text << '"';
    } else {
        EXPECT_EQ(r, nullptr) << '"' << c.text << '"';
        EXPECT_NE(out, 0u) << '"' << c.text << "\" must read as given but not a number";
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, NumberFormTest,
                         ::testing::Values(NumberCase{"4096", true, 4096}, NumberCase{"0", true, 0},
                                           NumberCase{" 12 ", true, 12}, NumberCase{"\t12\t", true, 12},
                                           NumberCase{"+7", true, 7}, NumberCase{"+ 7", true, 7},
                                           NumberCase{"10.00", true, 10}, NumberCase{"10.", true, 10},
                                           NumberCase{"1E3", true, 1000}, NumberCase{"1e+3", true, 1000},
                                           NumberCase{"1.5E1", true, 15}, NumberCase{".5E1", true, 5},
                                           NumberCase{"1500E-2", true, 15}, NumberCase{"0E99999999999", true, 0},
                                           NumberCase{"0.000", true, 0}, NumberCase{"007", true, 7},
                                           NumberCase{"4294967295", true, 4294967295u},
                                           NumberCase{"0004294967295.000", true, 4294967295u},
                                           NumberCase{"4.294967295E9", true, 4294967295u},
                                           NumberCase{"-1", false, 0}, NumberCase{"-0", false, 0},
                                           NumberCase{"1.5", false, 0}, NumberCase{"abc", false, 0},
                                           NumberCase{"4294967296", false, 0}, NumberCase{"42949672950E-1", true,
                                                                                           4294967295u},
                                           NumberCase{"1E10", false, 0}, NumberCase{"1E-1", false, 0},
                                           NumberCase{"1E", false, 0}, NumberCase{"E3", false, 0},
                                           NumberCase{".", false, 0}, NumberCase{"1 2", false, 0},
                                           NumberCase{" ", false, 0}, NumberCase{"12a", false, 0},
                                           NumberCase{"0x10", false, 0}, NumberCase{"1E99999999999", false, 0},
                                           NumberCase{"++1", false, 0}, NumberCase{"1..0", false, 0}));

TEST_F(ArgumentsTest, NumberFormTellsOmittedFromNotANumber) {
    Frame frame({Arg::Omitted(), ""s, "1\0"s});
    DWORD out = 0xdeadbeef;
    EXPECT_EQ(host.GetArg(frame.ctx(), frame.args(), HOST_ARG_NUMBER | 1, &out), nullptr);
    EXPECT_EQ(out, 0u);
    out = 0xdeadbeef;
    EXPECT_EQ(host.GetArg(frame.ctx(), frame.args(), HOST_ARG_NUMBER | 2, &out), nullptr);
    EXPECT_EQ(out, 0u) << "empty reads as omitted";
    out = 0xdeadbeef;
    EXPECT_EQ(host.GetArg(frame.ctx(), frame.args(), HOST_ARG_NUMBER | 3, &out), nullptr);
    EXPECT_NE(out, 0u) << "a zero byte is not part of a number";
}

TEST_F(ArgumentsTest, GetArgCopyIsAZeroTerminatedCopy) {
    Frame frame({"abc", Arg::Omitted(), ""s, "x\0y"s});
    LPSTR copy = host.GetArgCopy(frame.ctx(), frame.args(), 1);
    ASSERT_NE(copy, nullptr);
    DWORD length;
    EXPECT_NE(copy, host.GetArg(frame.ctx(), frame.args(), 1, &length));
    EXPECT_STREQ(copy, "abc");
    copy[0] = 'X'; // the copy is the handler's own
    EXPECT_STREQ(host.GetArg(frame.ctx(), frame.args(), 1, &length), "abc");
    host.FreeMem(copy);

    for (DWORD n : {2u, 3u, 7u}) {
        LPSTR empty = host.GetArgCopy(frame.ctx(), frame.args(), n);
        ASSERT_NE(empty, nullptr) << n;
        EXPECT_EQ(empty[0], '\0') << n;
        host.FreeMem(empty);
    }
    LPSTR binary = host.GetArgCopy(frame.ctx(), frame.args(), 4);
    ASSERT_NE(binary, nullptr);
    EXPECT_EQ(std::memcmp(binary, "x\0y\0", 4), 0);
    host.FreeMem(binary);
}

TEST_F(ArgumentsTest, ArgGivenCountsEmptyAsGiven) {
    Frame frame({"a", Arg::Omitted(), ""s});
    EXPECT_TRUE(host.ArgGiven(frame.args(), 1));
    EXPECT_FALSE(host.ArgGiven(frame.args(), 2));
    EXPECT_TRUE(host.ArgGiven(frame.args(), 3));
    EXPECT_FALSE(host.ArgGiven(frame.args(), 4));
}

TEST_F(ArgumentsTest, MisuseIsReportedNotFollowed) {
    Frame frame({"a"});
    DWORD out = 0xdeadbeef;
    EXPECT_EQ(host.GetArg(frame.ctx(), frame.args(), 0, &out), nullptr);
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(host.GetArg(frame.ctx(), frame.args(), 0x00010001, &out), nullptr) << "unknown flag bits";
    EXPECT_EQ(host.GetArg(frame.ctx(), nullptr, 1, &out), nullptr);
    // ctx and args are both opaque; passing one for the other is caught by its tag.
    EXPECT_EQ(host.GetArg(frame.ctx(), reinterpret_cast<HOSTARGS>(frame.ctx()), 1, &out), nullptr);
    EXPECT_EQ(host.GetArg(frame.ctx(), frame.args(), 1, nullptr), nullptr);
    EXPECT_FALSE(host.ArgGiven(nullptr, 1));
    EXPECT_FALSE(host.ArgGiven(frame.args(), 0));
    EXPECT_EQ(host.GetArgCopy(frame.ctx(), nullptr, 1), nullptr);
    auto errors = Expected();
    EXPECT_EQ(errors.size(), 8u);
    for (const HostError &e : errors)
        EXPECT_FALSE(e.message.empty());
}

} // namespace
} // namespace halvorin::testhost
