// lstrlenA, lstrcpyA, lstrcpynA, lstrcmpiA and CharUpperA.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(Strings, Length) {
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrlenA(""), 0);
    EXPECT_EQ(lstrlenA("brevanto"), 8);
}

TEST(Strings, Copy) {
    char buffer[16];
    EXPECT_EQ(lstrcpyA(buffer, "abc"), buffer);
    EXPECT_STREQ(buffer, "abc");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(lstrcpyA(buffer, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Strings, CopyWithLimit) {
    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(lstrcpynA(buffer, "abcdef", 4), buffer);  // one short: three characters and the zero
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], 'x');
    EXPECT_STREQ(lstrcpynA(buffer, "abcdef", 7), "abcdef");  // exact
    EXPECT_STREQ(lstrcpynA(buffer, "abc", 8), "abc");        // room to spare
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(lstrcpynA(buffer, "abc", 1), buffer);
    EXPECT_EQ(buffer[0], 0);
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(lstrcpynA(buffer, "abc", 0), buffer);
    EXPECT_EQ(buffer[0], 'x');
}

TEST(Strings, CompareIgnoringCase) {
    EXPECT_EQ(lstrcmpiA("Halvorin.DLL", "halvorin.dll"), 0);
    EXPECT_LT(lstrcmpiA("abc", "ABD"), 0);
    EXPECT_GT(lstrcmpiA("abcd", "ABC"), 0);
    EXPECT_EQ(lstrcmpiA("\xC4rger", "\xE4RGER"), 0);  // Ä and ä
    EXPECT_EQ(lstrcmpiA(nullptr, nullptr), 0);
    EXPECT_LT(lstrcmpiA(nullptr, "a"), 0);
    EXPECT_GT(lstrcmpiA("a", nullptr), 0);
}

TEST(CharUpper, SingleCharacterForm) {
    auto upper = [](unsigned char c) {
        return static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(CharUpperA(reinterpret_cast<LPSTR>(ULONG_PTR{c}))));
    };
    EXPECT_EQ(upper('a'), unsigned('A'));
    EXPECT_EQ(upper('Z'), unsigned('Z'));
    EXPECT_EQ(upper('1'), unsigned('1'));
    EXPECT_EQ(upper(0xE9), 0xC9u);  // é
    EXPECT_EQ(upper(0xFF), 0x9Fu);  // ÿ to Ÿ
    EXPECT_EQ(upper(0xF7), 0xF7u);  // ÷ has no case
    EXPECT_EQ(upper(0xDF), 0xDFu);  // ß stays
}

TEST(CharUpper, StringInPlace) {
    char text[] = "Inet\xE4rger \x9A!";
    EXPECT_EQ(CharUpperA(text), text);
    EXPECT_STREQ(text, "INET\xC4RGER \x8A!");
}

}  // namespace
