// GetVar and SetVar: name rules, number and text forms, stems, find records, reasons.
#include <testhost/fixture.h>

#include <cstring>

using namespace std::string_literals;

namespace halvorin::testhost {
namespace {

class VariablesTest : public HostTest {
protected:
    LPCSTR Text(const char *name, ULONG_PTR &out) {
        return reinterpret_cast<LPCSTR>(host.GetVar(frame.ctx(), name, 0, &out, HOST_VAR_TEXT));
    }
    ULONG_PTR String(std::string_view text) {
        return reinterpret_cast<ULONG_PTR>(
            host.MakeString(frame.ctx(), reinterpret_cast<ULONG_PTR>(text.data()), text.size(), HOST_STR_COPY));
    }
    Frame frame;
};

TEST_F(VariablesTest, TextFormGivesTheValueAndItsLength) {
    ASSERT_TRUE(SetVariable("GREETING", "hello"));
    ASSERT_TRUE(SetVariable("BLOB", "a\0b"s));
    ASSERT_TRUE(SetVariable("EMPTY", ""));
    ULONG_PTR out = 0;
    LPCSTR hello = Text("greeting", out);
    ASSERT_NE(hello, nullptr) << "names are case-insensitive";
    EXPECT_EQ(out, 5u);
    EXPECT_STREQ(hello, "hello");
    LPCSTR blob = Text("Blob", out);
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(out, 3u);
    EXPECT_EQ(std::string(blob, 4), "a\0b\0"s);
    LPCSTR empty = Text("EMPTY", out);
    ASSERT_NE(empty, nullptr) << "an empty value is found";
    EXPECT_EQ(out, 0u);
    // Texts stay valid for the whole call, however many follow.
    for (int i = 0; i < 100; ++i)
        Text("GREETING", out);
    EXPECT_STREQ(hello, "hello");
    EXPECT_EQ(OutstandingStrings(), 0u) << "GetVar's texts are not the library's to free";
}

TEST_F(VariablesTest, ReasonsForNothingFound) {
    ULONG_PTR out = 0;
    EXPECT_EQ(Text("UNSET", out), nullptr);
    EXPECT_EQ(out, HOST_REASON_NOT_SET);
    for (const char *bad : {"", "1ABC", ".X", "A B", "A-B", "A=1", "'A'"}) {
        out = 0;
        EXPECT_EQ(Text(bad, out), nullptr) << bad;
        EXPECT_EQ(out, HOST_REASON_BAD_NAME) << bad;
    }
    out = 0;
    EXPECT_EQ(host.GetVar(frame.ctx(), nullptr, 0, &out, HOST_VAR_NUMBER), 0u);
    EXPECT_EQ(out, HOST_REASON_BAD_NAME);
    EXPECT_EQ(host.SetVar(frame.ctx(), nullptr, 0, 7, HOST_SET_NUMBER), HOST_REASON_BAD_NAME);
    EXPECT_EQ(host.SetVar(frame.ctx(), "9LIVES", 0, 7, HOST_SET_NUMBER), HOST_REASON_BAD_NAME);
    for (const char *good : {"A", "a1", "_x", "!Q", "?", "A.", "A.B.C", "A..", "A.1e3", "X@#$"})
        EXPECT_EQ(host.SetVar(frame.ctx(), good, 0, 1, HOST_SET_NUMBER), 0u) << good;
}

TEST_F(VariablesTest, NumberFormReadsPlainDigitsOnly) {
    struct {
        const char *value;
        bool valid;
        ULONG_PTR number;
    } cases[] = {{"12345", true, 12345},       {" 42\t", true, 42},
                 {"0", true, 0},               {"18446744073709551615", true, ~ULONG_PTR{0}},
                 {"18446744073709551616", false, 0}, {"", false, 0},
                 {"abc", false, 0},            {"+1", false, 0},
                 {"1E3", false, 0},            {"1.0", false, 0},
                 {"-5", false, 0},             {"1 2", false, 0}};
    for (const auto &c : cases) {
        ASSERT_TRUE(SetVariable("H", c.value));
        ULONG_PTR out = 0xdeadbeef;
        ULONG_PTR found = host.GetVar(frame.ctx(), "H", 0, &out, HOST_VAR_NUMBER);
        if (c.valid) {
            EXPECT_NE(found, 0u) << c.value;
            EXPECT_EQ(out, c.number) << c.value;
        } else {
            EXPECT_EQ(found, 0u) << c.value;
            EXPECT_EQ(out, HOST_REASON_NOT_HANDLE) << c.value;
        }
    }
    ULONG_PTR out = 0;
    EXPECT_EQ(host.GetVar(frame.ctx(), "NOPE", 0, &out, HOST_VAR_NUMBER), 0u);
    EXPECT_EQ(out, HOST_REASON_NOT_SET) << "not set is not reason 26";
}

TEST_F(VariablesTest, AHandleValueReadsBackAsTheSameNumber) {
    auto handle = reinterpret_cast<ULONG_PTR>(&frame);
    ASSERT_EQ(host.SetVar(frame.ctx(), "conn", 0, handle, HOST_SET_NUMBER), 0u);
    EXPECT_EQ(Variable("CONN"), std::to_string(handle)) << "a handle value reads as decimal text";
    ULONG_PTR out = 0;
    EXPECT_NE(host.GetVar(frame.ctx(), "CONN", 0, &out, HOST_VAR_NUMBER), 0u);
    EXPECT_EQ(out, handle);
    ASSERT_EQ(host.SetVar(frame.ctx(), "MAX", 0, ~ULONG_PTR{0}, HOST_SET_NUMBER), 0u);
    EXPECT_EQ(Variable("MAX"), "18446744073709551615");
}

TEST_F(VariablesTest, StringsAreTakenOverAndZeroDrops) {
    ASSERT_EQ(host.SetVar(frame.ctx(), "data", 0, String("x\0y"s), HOST_SET_STRING), 0u);
    EXPECT_EQ(Variable("DATA"), "x\0y"s);
    EXPECT_EQ(OutstandingStrings(), 0u);
    ASSERT_EQ(host.SetVar(frame.ctx(), "DATA", 0, 0, HOST_SET_STRING), 0u);
    EXPECT_EQ(Variable("DATA"), std::nullopt);
    EXPECT_EQ(host.SetVar(frame.ctx(), "DATA", 0, 0, HOST_SET_STRING), 0u) << "dropping an unset variable is fine";
}

TEST_F(VariablesTest, AFailedStoreStillTakesTheStringOver) {
    EXPECT_EQ(host.SetVar(frame.ctx(), "1BAD", 0, String("lost"), 0), HOST_REASON_BAD_NAME);
    EXPECT_EQ(host.SetVar(frame.ctx(), "", 0, String("lost"), HOST_SET_ELEMENT + 1), HOST_REASON_BAD_NAME);
    EXPECT_EQ(host.SetVar(nullptr, "OK", 0, String("lost"), 0), HOST_REASON_BAD_CALL);
    EXPECT_EQ(OutstandingStrings(), 0u);
    EXPECT_EQ(Expected().size(), 1u); // the missing context
}

TEST_F(VariablesTest, CompoundTailsAreSubstituted) {
    ASSERT_TRUE(SetVariable("I", "3"));
    ASSERT_TRUE(SetVariable("J", "x y"));
    ASSERT_EQ(host.SetVar(frame.ctx(), "s.i", 0, String("third"), 0), 0u);
    ASSERT_EQ(host.SetVar(frame.ctx(), "S.J.i", 0, 9, HOST_SET_NUMBER), 0u);
    ASSERT_EQ(host.SetVar(frame.ctx(), "S.k", 0, 1, HOST_SET_NUMBER), 0u);
    EXPECT_EQ(Variable("S.3"), "third");
    EXPECT_EQ(Variable("S.K"), "1") << "an unset tail symbol stands for its own name";
    auto all = Variables();
    EXPECT_EQ(all["S.x y.3"], "9") << "tails keep the substituted value as it is";
    ULONG_PTR out = 0;
    LPCSTR text = Text("S.I", out);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "third");
}

TEST_F(VariablesTest, AStemDefaultAnswersForUnsetElements) {
    ASSERT_EQ(host.SetVar(frame.ctx(), "S.", 0, String("dflt"), 0), 0u);
    ULONG_PTR out = 0;
    LPCSTR text = Text("S.99", out);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "dflt");
    ASSERT_EQ(host.SetVar(frame.ctx(), "S.99", 0, 0, 0), 0u);
    EXPECT_EQ(Text("S.99", out), nullptr) << "a dropped element has no value, default or not";
    EXPECT_EQ(out, HOST_REASON_NOT_SET);
    ASSERT_EQ(host.SetVar(frame.ctx(), "S.", 0, 0, 0), 0u);
    EXPECT_EQ(Text("S.5", out), nullptr);
}

TEST_F(VariablesTest, ElementsAreTheStemNamePlusTheIndex) {
    ASSERT_EQ(host.SetVar(frame.ctx(), "V.", 0, String("zero"), HOST_SET_ELEMENT + 0), 0u);
    ASSERT_EQ(host.SetVar(frame.ctx(), "v", 0, String("one"), HOST_SET_ELEMENT + 1), 0u);
    ASSERT_EQ(host.SetVar(frame.ctx(), "V", 0, 1, HOST_SET_ELEMENT_NUMBER + 2), 0u);
    ASSERT_EQ(host.SetVar(frame.ctx(), "V", 0, 77, HOST_SET_ELEMENT_NUMBER + HOST_SET_INDEX), 0u);
    auto all = Variables();
    EXPECT_EQ(all["V.0"], "zero");
    EXPECT_EQ(all["V.1"], "one");
    EXPECT_EQ(all["V.2"], "1");
    EXPECT_EQ(all["V.16777215"], "77");
    ASSERT_EQ(host.SetVar(frame.ctx(), "V", 0, 0, HOST_SET_ELEMENT + 1), 0u);
    EXPECT_EQ(Variable("V.1"), std::nullopt) << "value 0 drops the element";

    ULONG_PTR out = 0;
    LPCSTR text = reinterpret_cast<LPCSTR>(host.GetVar(frame.ctx(), "V.", 0, &out, HOST_VAR_ELEMENT));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "zero");
    EXPECT_EQ(out, 4u);
    out = 2;
    text = reinterpret_cast<LPCSTR>(host.GetVar(frame.ctx(), "v", 0, &out, HOST_VAR_ELEMENT_REASON));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "1");
    out = 1;
    EXPECT_EQ(host.GetVar(frame.ctx(), "V", 0, &out, HOST_VAR_ELEMENT_REASON), 0u);
    EXPECT_EQ(out, HOST_REASON_NOT_SET);
    out = 0;
    EXPECT_EQ(host.GetVar(frame.ctx(), "NOSTEM", 0, &out, HOST_VAR_ELEMENT), 0u);
    EXPECT_EQ(out, HOST_REASON_NOT_SET);
}

FILETIME Time(ULONGLONG unixSeconds) {
    ULONGLONG ticks = (unixSeconds + 11644473600ull) * 10000000ull;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

WIN32_FIND_DATAA Record(const char *name) {
    WIN32_FIND_DATAA r{};
    std::strcpy(r.cFileName, name);
    std::strcpy(r.cAlternateFileName, "READ~1.TXT");
    r.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    r.nFileSizeHigh = 1;
    r.nFileSizeLow = 5;
    r.ftLastWriteTime = Time(1614834367); // 2021-03-04 05:06:07 UTC
    return r;
}

TEST_F(VariablesTest, AFindRecordFillsTheVariableAndItsFields) {
    WIN32_FIND_DATAA r = Record("readme.txt");
    r.dwReserved0 = 5;
    ASSERT_EQ(host.SetVar(frame.ctx(), "match", 0, reinterpret_cast<ULONG_PTR>(&r), HOST_SET_FINDRECORD), 0u);
    std::map<std::string, std::string> expected = {
        {"MATCH", "readme.txt"},          {"MATCH.NAME", "readme.txt"},
        {"MATCH.SIZE", "4294967301"},     {"MATCH.ATTRIBUTES", "32"},
        {"MATCH.DIRECTORY", "0"},         {"MATCH.WRITETIME", "2021-03-04 05:06:07"},
        {"MATCH.ALTNAME", "READ~1.TXT"},
    };
    EXPECT_EQ(Variables(), expected);
}

TEST_F(VariablesTest, AFindRecordIntoAStemFillsOnlyTheFields) {
    WIN32_FIND_DATAA r = Record("pub");
    r.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    r.nFileSizeHigh = r.nFileSizeLow = 0;
    r.ftLastWriteTime = {};
    r.cAlternateFileName[0] = '\0';
    r.dwReserved0 = 2;
    ASSERT_EQ(host.SetVar(frame.ctx(), "F.", 0, reinterpret_cast<ULONG_PTR>(&r), HOST_SET_FINDRECORD), 0u);
    std::map<std::string, std::string> expected = {
        {"F.NAME", "pub"}, {"F.SIZE", "0"},      {"F.ATTRIBUTES", "16"},
        {"F.DIRECTORY", "1"}, {"F.WRITETIME", ""}, {"F.ALTNAME", ""},
    };
    EXPECT_EQ(Variables(), expected);
}

TEST_F(VariablesTest, AFindRecordNameIsAsLongAsTheRecordSays) {
    WIN32_FIND_DATAA r = Record("x");
    std::memset(r.cFileName, 'n', sizeof r.cFileName); // no zero byte anywhere
    std::memset(r.cAlternateFileName, 'a', sizeof r.cAlternateFileName);
    r.ftLastWriteTime = {0xFFFFFFFF, 0xFFFFFFFF}; // past the year 9999
    r.dwReserved0 = 3;
    ASSERT_EQ(host.SetVar(frame.ctx(), "ABCDEF", 0, reinterpret_cast<ULONG_PTR>(&r), HOST_SET_FINDRECORD), 0u);
    auto all = Variables();
    EXPECT_EQ(all.count("ABCDEF"), 0u);
    EXPECT_EQ(all["ABC"], std::string(MAX_PATH, 'n'));
    EXPECT_EQ(all["ABC.ALTNAME"], std::string(14, 'a'));
    EXPECT_EQ(all["ABC.WRITETIME"], "");
    r.dwReserved0 = 0;
    EXPECT_EQ(host.SetVar(frame.ctx(), "ABC", 0, reinterpret_cast<ULONG_PTR>(&r), HOST_SET_FINDRECORD),
              HOST_REASON_BAD_NAME);
    EXPECT_EQ(host.SetVar(frame.ctx(), "ABC", 0, 0, HOST_SET_FINDRECORD), HOST_REASON_BAD_CALL);
    EXPECT_EQ(Expected().size(), 1u);
}

TEST_F(VariablesTest, WriteTimeCoversTheWholeRangeOfYears) {
    struct {
        FILETIME time;
        const char *text;
    } cases[] = {
        {{1, 0}, "1601-01-01 00:00:00"},
        {Time(0), "1970-01-01 00:00:00"},
        {Time(951782400), "2000-02-29 00:00:00"},
        {Time(253402300799), "9999-12-31 23:59:59"},
        {Time(253402300800), ""},
    };
    for (const auto &c : cases) {
        WIN32_FIND_DATAA r = Record("f");
        r.ftLastWriteTime = c.time;
        r.dwReserved0 = 2;
        ASSERT_EQ(host.SetVar(frame.ctx(), "F.", 0, reinterpret_cast<ULONG_PTR>(&r), HOST_SET_FINDRECORD), 0u);
        EXPECT_EQ(Variable("F.WRITETIME"), c.text);
    }
}

TEST_F(VariablesTest, UnknownFlagsAreReported) {
    ULONG_PTR out = 0;
    EXPECT_EQ(host.GetVar(frame.ctx(), "A", 0, &out, 0), 0u);
    EXPECT_EQ(out, HOST_REASON_BAD_CALL);
    EXPECT_EQ(host.GetVar(frame.ctx(), "A", 0, &out, HOST_VAR_TEXT | 1), 0u);
    EXPECT_EQ(host.GetVar(frame.ctx(), "A", 0, nullptr, HOST_VAR_TEXT), 0u);
    EXPECT_EQ(host.GetVar(nullptr, "A", 0, &out, HOST_VAR_TEXT), 0u);
    EXPECT_EQ(out, HOST_REASON_BAD_CALL);
    EXPECT_EQ(host.SetVar(frame.ctx(), "A", 0, 1, HOST_SET_NUMBER | 1), HOST_REASON_BAD_CALL);
    EXPECT_EQ(host.SetVar(frame.ctx(), "A", 0, 1, 0x01000000), HOST_REASON_BAD_CALL);
    EXPECT_EQ(Expected().size(), 6u);
    EXPECT_EQ(Variable("A"), std::nullopt);
}

// A zero byte cannot be part of a name; a name with one is refused whole,
// never cut at the zero byte (which would set A for 'a'||'00'x||'b c').
TEST_F(VariablesTest, ANameWithAZeroByteIsRefusedNotCut) {
    const std::string bad = "a\0b c"s;
    Frame call({bad, "B\0"s});
    DWORD length = 0;
    LPCSTR fromArgument = host.GetArg(call.ctx(), call.args(), 1, &length);
    ASSERT_EQ(length, 5u);
    LPSTR copy = host.GetArgCopy(call.ctx(), call.args(), 1);
    LPSTR string = host.MakeString(call.ctx(), reinterpret_cast<ULONG_PTR>(bad.data()), bad.size(), HOST_STR_COPY);
    LPCSTR trailing = host.GetArg(call.ctx(), call.args(), 2, &length);
    for (LPCSTR name : {fromArgument, static_cast<LPCSTR>(copy), static_cast<LPCSTR>(string), trailing}) {
        ULONG_PTR out = 0;
        EXPECT_EQ(host.GetVar(call.ctx(), name, 0, &out, HOST_VAR_TEXT), 0u);
        EXPECT_EQ(out, HOST_REASON_BAD_NAME);
        EXPECT_EQ(host.SetVar(call.ctx(), name, 0, 7, HOST_SET_NUMBER), HOST_REASON_BAD_NAME);
        EXPECT_EQ(host.SetVar(call.ctx(), name, 0, 0, HOST_SET_STRING), HOST_REASON_BAD_NAME);
    }
    EXPECT_TRUE(Variables().empty()) << "A or B was set";
    host.FreeMem(copy);
    host.FreeMem(string);
    // The same text without the zero byte is a name like any other.
    Frame plain({"ab"});
    LPCSTR ab = host.GetArg(plain.ctx(), plain.args(), 1, &length);
    EXPECT_EQ(host.SetVar(plain.ctx(), ab, 0, 7, HOST_SET_NUMBER), 0u);
    EXPECT_EQ(Variable("AB"), "7");
}

} // namespace
} // namespace halvorin::testhost