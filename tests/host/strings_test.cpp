// MakeString's modes, FreeMem, and who owns a host string when.
#include <testhost/fixture.h>

#include <cstring>

using namespace std::string_literals;

namespace halvorin::testhost {
namespace {

class StringsTest : public HostTest {
protected:
    LPSTR Make(const char *text, ULONG_PTR length, DWORD mode) {
        return host.MakeString(frame.ctx(), reinterpret_cast<ULONG_PTR>(text), length, mode);
    }
    // As the library asks: the length passed as the text too.
    LPSTR Fresh(ULONG_PTR length) { return host.MakeString(frame.ctx(), length, length, HOST_STR_FRESH); }
    LPSTR Decimal(ULONG_PTR value) { return host.MakeString(frame.ctx(), 0, value, HOST_STR_DECIMAL); }
    // The whole string, its length as the host recorded it: hand it to a variable and read that.
    std::string Take(LPSTR s) {
        EXPECT_NE(s, nullptr);
        if (!s)
            return "<none>";
        EXPECT_EQ(host.SetVar(frame.ctx(), "TAKEN", 0, reinterpret_cast<ULONG_PTR>(s), HOST_SET_STRING), 0u);
        std::string value = Variable("TAKEN").value_or("<unset>");
        DropVariable("TAKEN");
        return value;
    }
    Frame frame;
};

TEST_F(StringsTest, FreshIsZeroFilledWithAZeroAfter) {
    LPSTR s = Fresh(5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::memcmp(s, "\0\0\0\0\0\0", 6), 0);
    std::memcpy(s, "abcde", 5);
    EXPECT_EQ(Take(s), "abcde");

    LPSTR empty = Fresh(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty[0], '\0');
    EXPECT_EQ(Take(empty), "");
}

TEST_F(StringsTest, LargeStringsAreWholeAndGoBackWhenFreed) {
    // Sizes around the point where a string gets a mapping of its own.
    for (ULONG_PTR length : {(4u << 20) - 64, 4u << 20, (9u << 20) + 3}) {
        LPSTR s = Fresh(length);
        ASSERT_NE(s, nullptr) << length;
        EXPECT_EQ(s[0], '\0');
        EXPECT_EQ(s[length - 1], '\0');
        EXPECT_EQ(s[length], '\0');
        std::memset(s, 'x', length);
        s[length / 2] = '\0';
        std::string value = Take(s);
        EXPECT_EQ(value.size(), length);
        EXPECT_EQ(value[length / 2], '\0');
        EXPECT_EQ(value.back(), 'x');

        std::string text(length, 'y');
        LPSTR copy = Make(text.data(), length, HOST_STR_COPY);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy[length], '\0');
        host.FreeMem(copy);
    }
}

TEST_F(StringsTest, FreshBeyondTheLimitIsNoMemory) {
    EXPECT_EQ(Fresh(0x80000000u), nullptr);
    EXPECT_EQ(Fresh(HOST_STR_TO_ZERO), nullptr);
}

TEST_F(StringsTest, CopyTakesExactlyTheLengthGiven) {
    EXPECT_EQ(Take(Make("a\0b\0c", 4, HOST_STR_COPY)), "a\0b\0"s);
    EXPECT_EQ(Take(Make("abc\0def", HOST_STR_TO_ZERO, HOST_STR_COPY)), "abc");
    EXPECT_EQ(Take(Make("", HOST_STR_TO_ZERO, HOST_STR_COPY)), "");
    EXPECT_EQ(Take(Make(nullptr, 0, HOST_STR_COPY)), "");
    LPSTR s = Make("xyz", 2, HOST_STR_COPY);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "xy"); // the zero byte follows the data
    host.FreeMem(s);
}

TEST_F(StringsTest, CopyOfNoTextIsRefused) {
    EXPECT_EQ(Make(nullptr, 3, HOST_STR_COPY), nullptr);
    EXPECT_EQ(Make(nullptr, HOST_STR_TO_ZERO, HOST_STR_COPY), nullptr);
    EXPECT_EQ(Expected().size(), 2u);
}

TEST_F(StringsTest, DecimalIsTheUnsignedTextOfTheLength) {
    EXPECT_EQ(Take(Decimal(0)), "0");
    EXPECT_EQ(Take(Decimal(4294967295u)), "4294967295");
    EXPECT_EQ(Take(Decimal(~ULONG_PTR{0})), "18446744073709551615");
}

TEST_F(StringsTest, FormatReplacesMarkersInTurn) {
    const char *two[] = {"one", "two", nullptr};
    auto inserts = reinterpret_cast<ULONG_PTR>(two);
    EXPECT_EQ(Take(Make("a %_ b %_ c", inserts, HOST_STR_FORMAT)), "a one b two c");
    EXPECT_EQ(Take(Make("%_%_", inserts, HOST_STR_FORMAT)), "onetwo");
    EXPECT_EQ(Take(Make("no markers", inserts, HOST_STR_FORMAT)), "no markers");
    // A marker with no insert left stays; a lone % or _ is text.
    EXPECT_EQ(Take(Make("%_ %_ %_ % _ %", inserts, HOST_STR_FORMAT)), "one two %_ % _ %");
    EXPECT_EQ(Take(Make("x %_", 0, HOST_STR_FORMAT)), "x %_");
    EXPECT_EQ(Take(Make("%%_", inserts, HOST_STR_FORMAT)), "%one");
    // An insert is not scanned again.
    const char *marker[] = {"%_", "later", nullptr};
    EXPECT_EQ(Take(Make("[%_] [%_]", reinterpret_cast<ULONG_PTR>(marker), HOST_STR_FORMAT)), "[%_] [later]");
    const char *empty[] = {"", nullptr};
    EXPECT_EQ(Take(Make("Found %_.", reinterpret_cast<ULONG_PTR>(empty), HOST_STR_FORMAT)), "Found .");
}

TEST_F(StringsTest, FormatOfNoTextAndUnknownModesAreRefused) {
    EXPECT_EQ(Make(nullptr, 0, HOST_STR_FORMAT), nullptr);
    EXPECT_EQ(Make("abc", 3, HOST_STR_COPY | 1), nullptr);
    EXPECT_EQ(Make("abc", 3, 0x40000000u), nullptr);
    EXPECT_EQ(Expected().size(), 3u);
}

TEST_F(StringsTest, FreeMemReleasesCopiesAndStrings) {
    Frame withArgs({"text"});
    LPSTR copy = host.GetArgCopy(withArgs.ctx(), withArgs.args(), 1);
    LPSTR string = Make("abc", 3, HOST_STR_COPY);
    EXPECT_EQ(OutstandingCopies(), 1u);
    EXPECT_EQ(OutstandingStrings(), 1u);
    host.FreeMem(copy);
    host.FreeMem(string);
    EXPECT_EQ(OutstandingCopies(), 0u);
    EXPECT_EQ(OutstandingStrings(), 0u);
    host.FreeMem(nullptr);
    EXPECT_TRUE(BadFrees().empty());
}

TEST_F(StringsTest, FreeingAnythingElseIsRecordedNotFollowed) {
    LPSTR s = Make("abc", 3, HOST_STR_COPY);
    host.FreeMem(s);
    host.FreeMem(s); // twice
    char local[32] = "not the host's";
    host.FreeMem(local);
    host.FreeMem(local + 16);
    Frame withArgs({"argument"});
    DWORD length = 0;
    host.FreeMem(const_cast<char *>(host.GetArg(withArgs.ctx(), withArgs.args(), 1, &length)));
    LPSTR handed = Make("abc", 3, HOST_STR_COPY);
    ASSERT_EQ(host.SetVar(frame.ctx(), "V", 0, reinterpret_cast<ULONG_PTR>(handed), 0), 0u);
    host.FreeMem(handed); // the interpreter's now
    EXPECT_EQ(BadFrees().size(), 5u);
    EXPECT_EQ(Expected().size(), 5u);
    EXPECT_EQ(Variable("V"), "abc");
}

TEST_F(StringsTest, AStringHandedOverTwiceIsRefusedTheSecondTime) {
    LPSTR s = Make("abc", 3, HOST_STR_COPY);
    ASSERT_EQ(host.SetVar(frame.ctx(), "A", 0, reinterpret_cast<ULONG_PTR>(s), 0), 0u);
    EXPECT_EQ(host.SetVar(frame.ctx(), "B", 0, reinterpret_cast<ULONG_PTR>(s), 0), HOST_REASON_BAD_CALL);
    EXPECT_EQ(Variable("B"), std::nullopt);
    ASSERT_EQ(Expected().size(), 1u);
}

TEST_F(StringsTest, ACopyHandedOverIsTakenButReported) {
    Frame withArgs({"copied"});
    LPSTR copy = host.GetArgCopy(withArgs.ctx(), withArgs.args(), 1);
    EXPECT_EQ(host.SetVar(frame.ctx(), "A", 0, reinterpret_cast<ULONG_PTR>(copy), 0), 0u);
    EXPECT_EQ(Variable("A"), "copied");
    EXPECT_EQ(OutstandingCopies(), 0u);
    auto errors = Expected();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].service, Service::SetVar);
}

} // namespace
} // namespace halvorin::testhost
