// FormatMessageA: system texts, module texts, languages, inserts and buffers.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "sample_module.h"

namespace {

std::string System(DWORD code) {
    char buffer[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                             sizeof buffer, nullptr);
    return std::string(buffer, n);
}

std::string FromString(const char* pattern, DWORD flags, ...) {
    char buffer[512];
    va_list args;
    va_start(args, flags);
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | flags, pattern, 0, 0, buffer, sizeof buffer, &args);
    va_end(args);
    return n ? std::string(buffer, n) : std::string("<failed ") + std::to_string(GetLastError()) + ">";
}

TEST(FormatMessage, SystemTexts) {
    struct {
        DWORD code;
        const char* text;
    } cases[] = {
        {0, "The operation completed successfully.\r\n"},
        {2, "The system cannot find the file specified.\r\n"},
        {5, "Access is denied.\r\n"},
        {8, "Not enough memory resources are available to process this command.\r\n"},
        {87, "The parameter is incorrect.\r\n"},
        {122, "The data area passed to a system call is too small.\r\n"},
        {126, "The specified module could not be found.\r\n"},
        {193, "%1 is not a valid Win32 application.\r\n"},
        {487, "Attempt to access invalid address.\r\n"},
        {1114, "A dynamic link library (DLL) initialization routine failed.\r\n"},
        {1815, "The specified resource language ID cannot be found in the image file.\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(System(c.code), c.text) << c.code;
}

TEST(FormatMessage, EveryCodeTheStandInsReportHasAText) {
    const DWORD codes[] = {0,   1,   2,   3,   4,   5,   6,   8,   13,  14,   15,   18,   19,   32,   38,   50,
                           80,  87,  109, 112, 120, 122, 123, 126, 127, 145,  161,  183,  193,  203,  206,  234,
                           259, 267, 317, 487, 1114, 1400, 1460, 1812, 1813, 1814, 1815};
    for (DWORD code : codes) {
        std::string text = System(code);
        EXPECT_GT(text.size(), 2u) << code;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << code;
    }
}

TEST(FormatMessage, MessageNotFound) {
    char buffer[64];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 99999, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, SampleModule(), 3, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST(FormatMessage, ModuleTextsAndLanguages) {
    HMODULE m = SampleModule();
    char buffer[128];
    for (DWORD language : {0u, 0x400u, 0x409u}) {
        ASSERT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, m, 1, language, buffer, sizeof buffer, nullptr), 18u) << language;
        EXPECT_STREQ(buffer, "A plain message.\r\n");
    }
    ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, m, 1, 0x407, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_STREQ(buffer, "Eine einfache Meldung.\r\n");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, m, 1, 0x40c, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
    // The German table lacks message 5.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, m, 5, 0x407, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, m, 5, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_STREQ(buffer, "First line\r\nsecond line\r\n");
}

TEST(FormatMessage, ModuleFirstThenSystem) {
    HMODULE m = SampleModule();
    char buffer[128];
    const DWORD both = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM;
    ASSERT_GT(FormatMessageA(both, m, 12001, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_STREQ(buffer, "A module message beside the system's.\r\n");
    ASSERT_GT(FormatMessageA(both, m, 87, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_STREQ(buffer, "The parameter is incorrect.\r\n");
    // A module without a message table, then the system.
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&CharUpperA), &info);
    ASSERT_GT(FormatMessageA(both, info.dli_fbase, 5, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_STREQ(buffer, "Access is denied.\r\n");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, info.dli_fbase, 5, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

TEST(FormatMessage, InsertsFromVaList) {
    HMODULE m = SampleModule();
    char buffer[128];
    auto call = [&](DWORD id, ...) {
        va_list args;
        va_start(args, id);
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, m, id, 0, buffer, sizeof buffer, &args);
        va_end(args);
        return n;
    };
    ASSERT_GT(call(2, "report.csv", 42), 0u);
    EXPECT_STREQ(buffer, "File report.csv has 42 lines.\r\n");
    ASSERT_GT(call(7, "one", "two"), 0u);
    EXPECT_STREQ(buffer, "two before one, one again\r\n");
    ASSERT_GT(call(6), 0u);
    EXPECT_STREQ(buffer, "100% sure. Really! \r\n");
}

TEST(FormatMessage, InsertsFromArgumentArray) {
    const char* name = "x.txt";
    DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(name), 7, 255, static_cast<DWORD_PTR>(-3)};
    char buffer[128];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             "%1|%2!03d!|%3!x!|%3!X!|%4!d!|%4!u!|%1!-7s!|", 0, 0, buffer, sizeof buffer,
                             reinterpret_cast<va_list*>(args));
    ASSERT_GT(n, 0u);
    EXPECT_STREQ(buffer, "x.txt|007|ff|FF|-3|4294967293|x.txt  |");
    // Widths from arguments: %1!*s! takes the width from 1 and the text from 2.
    DWORD_PTR starred[] = {6, reinterpret_cast<DWORD_PTR>("ab")};
    n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "[%1!*s!]", 0, 0, buffer,
                       sizeof buffer, reinterpret_cast<va_list*>(starred));
    ASSERT_GT(n, 0u);
    EXPECT_STREQ(buffer, "[    ab]");
    // Negative widths from arguments justify to the left; a negative precision is none.
    DWORD_PTR left[] = {static_cast<DWORD_PTR>(-4), 'q', static_cast<DWORD_PTR>(-6), 12,
                        static_cast<DWORD_PTR>(-1), reinterpret_cast<DWORD_PTR>("abc")};
    n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "[%1!*c!][%3!*d!][%5!.*s!]", 0, 0,
                       buffer, sizeof buffer, reinterpret_cast<va_list*>(left));
    ASSERT_GT(n, 0u);
    EXPECT_STREQ(buffer, "[q   ][12    ][abc]");
}

TEST(FormatMessage, SizesAndWideInserts) {
    const WORD wide[] = {'w', 0xE9, 0x20AC, 0};  // w, é, the euro sign
    DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(wide), 0x123456789ULL, 0xFFFFFFFFFFFFFFFFULL, 0x41};
    char buffer[128];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             "%1!S!|%1!ls!|%2!I64x!|%2!x!|%3!hd!|%3!I64d!|%4!c!|%4!hhu!", 0, 0, buffer, sizeof buffer,
                             reinterpret_cast<va_list*>(args));
    ASSERT_GT(n, 0u);
    EXPECT_STREQ(buffer, "w\xE9\x80|w\xE9\x80|123456789|23456789|-1|-1|A|65");
}

TEST(FormatMessage, Escapes) {
    EXPECT_EQ(FromString("a%%b%.c%!d%n", 0), "a%b.c!d\r\n");
    EXPECT_EQ(FromString("a%0b", 0), "a");
    EXPECT_EQ(FromString("x %1 y", FORMAT_MESSAGE_IGNORE_INSERTS), "x %1 y");
    EXPECT_EQ(FromString("%1!d! %% %n%0", FORMAT_MESSAGE_IGNORE_INSERTS), "%1!d! %% \r\n");
    EXPECT_EQ(FromString("%1 and %2!c!", 0, "text", 'Z'), "text and Z");
    // An insert with no arguments to take it from.
    char buffer[32];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "%1", 0, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(FromString("%1!d", 0, 5), "<failed 87>");          // format not closed
    EXPECT_EQ(FromString("%1!f!", 0, 1.0), "<failed 87>");       // no floating point
    EXPECT_EQ(FromString("%1!99999d!", 0, 1), "<failed 87>");    // absurd width
}

TEST(FormatMessage, MaxWidth) {
    HMODULE m = SampleModule();
    char buffer[128];
    ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_MAX_WIDTH_MASK, m, 5, 0, buffer,
                             sizeof buffer, nullptr), 0u);
    EXPECT_STREQ(buffer, "First line second line ");  // line breaks of the text become spaces
    EXPECT_EQ(FromString("one two three four%nfive", 9), "one two\r\nthree\r\nfour\r\nfive");
}

TEST(FormatMessage, BufferSizes) {
    char buffer[32];
    const char* text = "12345";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, text, 0, 0, buffer, 5, nullptr), 0u);  // one short
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, text, 0, 0, buffer, 6, nullptr), 5u);  // exact
    EXPECT_STREQ(buffer, "12345");
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, text, 0, 0, buffer, 7, nullptr), 5u);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
}

TEST(FormatMessage, AllocateBuffer) {
    LPSTR text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_EQ(n, strlen("The system cannot find the file specified.\r\n"));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "The system cannot find the file specified.\r\n");
    EXPECT_EQ(LocalFree(text), nullptr);

    text = reinterpret_cast<LPSTR>(1);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 99999, 0,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(text, nullptr);
}

}  // namespace
