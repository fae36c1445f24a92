// StrToNum: the whole-text form and the stepwise form.
#include <testhost/fixture.h>

#include <cstring>

namespace halvorin::testhost {
namespace {

using NumbersTest = HostTest;

DWORD Whole(const HOSTSERVICES &host, const char *text) {
    return host.StrToNum(text, static_cast<DWORD>(std::strlen(text)), nullptr, HOST_NUM_WHOLE);
}

TEST_F(NumbersTest, WholeTextMustBePlainDigits) {
    EXPECT_EQ(Whole(host, "17"), 17u);
    EXPECT_EQ(Whole(host, " 200 "), 200u);
    EXPECT_EQ(Whole(host, "0"), 0u);
    EXPECT_EQ(Whole(host, "4294967295"), 4294967295u);
    for (const char *bad : {"", " ", "4294967296", "+1", "-1", "1.0", "1E2", "SYNTAX", "1 2", "12x"})
        EXPECT_EQ(Whole(host, bad), 0u) << '"' << bad << '"';
}

TEST_F(NumbersTest, WholeTextReadsOnlyItsLength) {
    const char text[] = "12345";
    EXPECT_EQ(host.StrToNum(text, 2, nullptr, HOST_NUM_WHOLE), 12u);
    LPCSTR end = nullptr;
    EXPECT_EQ(host.StrToNum(text, 3, &end, HOST_NUM_WHOLE), 123u);
    EXPECT_EQ(end, text + 3);
    EXPECT_EQ(host.StrToNum(text, 0, &end, HOST_NUM_WHOLE), 0u);
    EXPECT_EQ(end, text);
}

TEST_F(NumbersTest, StepwiseReadsAVersionInTwoSteps) {
    const char text[] = "1.1";
    LPCSTR end = nullptr;
    DWORD major = host.StrToNum(text, 3, &end, 0);
    EXPECT_EQ(major, 1u);
    ASSERT_EQ(end, text + 1);
    DWORD minor = host.StrToNum(end, static_cast<DWORD>(3 - (end - text)), &end, 0);
    EXPECT_EQ(minor, 1u);
    EXPECT_EQ(end, text + 3);

    const char spaced[] = "  12.034 rest";
    EXPECT_EQ(host.StrToNum(spaced, sizeof spaced - 1, &end, 0), 12u);
    EXPECT_EQ(end, spaced + 4);
    EXPECT_EQ(host.StrToNum(end, static_cast<DWORD>(spaced + sizeof spaced - 1 - end), &end, 0), 34u);
    EXPECT_EQ(*end, ' ');
}

TEST_F(NumbersTest, StepwiseStopsAtItsLengthAndSaturates) {
    const char text[] = "98765";
    LPCSTR end = nullptr;
    EXPECT_EQ(host.StrToNum(text, 3, &end, 0), 987u);
    EXPECT_EQ(end, text + 3);
    const char big[] = "99999999999999999999";
    EXPECT_EQ(host.StrToNum(big, sizeof big - 1, &end, 0), 4294967295u);
    EXPECT_EQ(end, big + sizeof big - 1);
    const char none[] = "abc";
    EXPECT_EQ(host.StrToNum(none, 3, &end, 0), 0u);
    EXPECT_EQ(end, none);
    const char dotOnly[] = " .";
    EXPECT_EQ(host.StrToNum(dotOnly, 2, &end, 0), 0u);
    EXPECT_EQ(end, dotOnly + 2) << "blanks and the dot were read";
    EXPECT_EQ(host.StrToNum("1.2", 3, nullptr, 0), 1u) << "no end pointer wanted";
}

TEST_F(NumbersTest, MisuseIsReported) {
    LPCSTR end = reinterpret_cast<LPCSTR>(1);
    EXPECT_EQ(host.StrToNum(nullptr, 5, &end, 0), 0u);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(host.StrToNum("12", 2, nullptr, 0x1), 0u);
    EXPECT_EQ(host.StrToNum(nullptr, 0, nullptr, 0), 0u) << "no text of no length is fine";
    EXPECT_EQ(Expected().size(), 2u);
}

} // namespace
} // namespace halvorin::testhost
