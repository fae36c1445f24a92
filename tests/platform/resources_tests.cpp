// FindResourceA/ExA, LoadResource, SizeofResource and LoadStringA on modules
// whose resources win32_rc compiled.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "sample_ids.h"
#include "sample_module.h"

namespace {

std::u16string Utf16(const WORD* p, size_t n) { return std::u16string(reinterpret_cast<const char16_t*>(p), n); }

TEST(FindResource, FindsEachKindAndReportsWhatIsMissing) {
    HMODULE m = SampleModule();
    ASSERT_NE(m, nullptr);
    EXPECT_NE(FindResourceA(m, MAKEINTRESOURCEA(1), RT_VERSION), nullptr);
    EXPECT_NE(FindResourceA(m, MAKEINTRESOURCEA(1), RT_MESSAGETABLE), nullptr);
    EXPECT_NE(FindResourceA(m, "#300", RT_RCDATA), nullptr);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(99)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceA(m, MAKEINTRESOURCEA(2), RT_VERSION), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceA(m, "NAMED", RT_VERSION), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceExA(m, RT_VERSION, MAKEINTRESOURCEA(1), MAKELANGID(LANG_FRENCH, 1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));

    // kernel32.dll's only resource is its message table; user32.dll has none.
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&CharUpperA), &info);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceA(static_cast<HMODULE>(info.dli_fbase), MAKEINTRESOURCEA(1), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));

    int notAModule = 0;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceA(reinterpret_cast<HMODULE>(&notAModule), MAKEINTRESOURCEA(1), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(FindResource, LanguagesOfOneBundle) {
    HMODULE m = SampleModule();
    HRSRC english = FindResourceExA(m, RT_STRING, MAKEINTRESOURCEA(1), 0x409);
    HRSRC german = FindResourceExA(m, RT_STRING, MAKEINTRESOURCEA(1), 0x407);
    ASSERT_NE(english, nullptr);
    ASSERT_NE(german, nullptr);
    EXPECT_NE(english, german);
    // No language asked for: the user's, English.
    EXPECT_EQ(FindResourceA(m, MAKEINTRESOURCEA(1), RT_STRING), english);
    // Only German has bundle 3 (id 40); asked for no language, that one is found.
    EXPECT_EQ(FindResourceExA(m, RT_STRING, MAKEINTRESOURCEA(3), 0x409), nullptr);
    HRSRC onlyGerman = FindResourceExA(m, RT_STRING, MAKEINTRESOURCEA(3), 0x407);
    ASSERT_NE(onlyGerman, nullptr);
    EXPECT_EQ(FindResourceA(m, MAKEINTRESOURCEA(3), RT_STRING), onlyGerman);
    // A sublanguage that is not there falls back to the primary language's neutral form only.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceExA(m, RT_STRING, MAKEINTRESOURCEA(1), MAKELANGID(LANG_GERMAN, 2)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
}

TEST(LoadResource, RawDataAndSize) {
    HMODULE m = SampleModule();
    HRSRC r = FindResourceA(m, MAKEINTRESOURCEA(300), RT_RCDATA);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(SizeofResource(m, r), 8u);
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(m, r)));
    ASSERT_NE(data, nullptr);
    const BYTE expected[] = {0x34, 0x12, 0xBC, 0x9A, 0x78, 0x56, 'a', 'b'};
    EXPECT_EQ(memcmp(data, expected, sizeof expected), 0);

    // A resource handle belongs to its module.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadResource(nullptr, r), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SizeofResource(m, reinterpret_cast<HRSRC>(&m)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(LoadResource, VersionBlockIsVsVersionInfo) {
    HMODULE m = SampleModule();
    HRSRC r = FindResourceA(m, MAKEINTRESOURCEA(1), RT_VERSION);
    ASSERT_NE(r, nullptr);
    const auto* p = static_cast<const BYTE*>(LockResource(LoadResource(m, r)));
    DWORD size = SizeofResource(m, r);
    WORD length, valueLength, type;
    memcpy(&length, p, 2);
    memcpy(&valueLength, p + 2, 2);
    memcpy(&type, p + 4, 2);
    EXPECT_EQ(length, size);
    EXPECT_EQ(valueLength, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(type, 0);
    EXPECT_EQ(Utf16(reinterpret_cast<const WORD*>(p + 6), 15), u"VS_VERSION_INFO");
    // Header 6 + key 32 = 38, padded to 40.
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, p + 40, sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwStrucVersion, 0x00010000u);
    EXPECT_EQ(fixed.dwFileVersionMS, 0u);
    EXPECT_EQ(fixed.dwFileVersionLS, 1u);
    EXPECT_EQ(fixed.dwProductVersionLS, 1u);
    EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed.dwFileOS, 0x40004u);
    EXPECT_EQ(fixed.dwFileType, 2u);

    // The description text, its value length counting the terminating zero once.
    std::u16string all = Utf16(reinterpret_cast<const WORD*>(p), size / 2);
    size_t key = all.find(u"FileDescription");
    ASSERT_NE(key, std::u16string::npos);
    WORD textLength = static_cast<WORD>(all[key - 2]);
    EXPECT_EQ(textLength, sizeof("Adds Internet support to Halvorin"));
    EXPECT_NE(all.find(u"Adds Internet support to Halvorin", key), std::u16string::npos);
    size_t translation = all.find(u"Translation");
    ASSERT_NE(translation, std::u16string::npos);
    EXPECT_EQ(all[translation - 2], 4);     // wValueLength: bytes
    EXPECT_EQ(all[translation - 1], 0);     // wType: binary
    // Key "Translation" and its zero end at word 15 of the node; the value starts on the next 4-byte boundary.
    EXPECT_EQ(all[translation + 13], 0x409);
    EXPECT_EQ(all[translation + 14], 1200);
}

TEST(LoadString, CopiesAtMostBufferMaxLessOne) {
    HMODULE m = SampleModule();
    char buffer[8];
    // "four": one short, exact, one over.
    memset(buffer, 'x', sizeof buffer);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadStringA(m, IDS_FOUR, buffer, 4), 3);
    EXPECT_STREQ(buffer, "fou");
    EXPECT_EQ(LoadStringA(m, IDS_FOUR, buffer, 5), 4);
    EXPECT_STREQ(buffer, "four");
    EXPECT_EQ(LoadStringA(m, IDS_FOUR, buffer, 6), 4);
    EXPECT_STREQ(buffer, "four");
    EXPECT_EQ(LoadStringA(m, IDS_FOUR, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
}

TEST(LoadString, TextsAndLanguages) {
    HMODULE m = SampleModule();
    char buffer[100];
    EXPECT_EQ(LoadStringA(m, IDS_LATER_VERSION, buffer, 100), 57);
    EXPECT_STREQ(buffer, "Requires a later version of the Halvorin REXX interpreter");
    EXPECT_GT(LoadStringA(m, IDS_NO_HOST, buffer, 100), 0);
    EXPECT_STREQ(buffer, "Requires the Halvorin REXX interpreter");
    EXPECT_GT(LoadStringA(m, IDS_SPECIAL, buffer, 100), 0);
    EXPECT_STREQ(buffer, "tab\there, \"quoted\", caf\xe9");
    EXPECT_GT(LoadStringA(m, IDS_SECOND_BLOCK, buffer, 100), 0);
    EXPECT_STREQ(buffer, "second block");
    EXPECT_GT(LoadStringA(m, IDS_LAST, buffer, 100), 0);
    EXPECT_STREQ(buffer, "last");
    EXPECT_GT(LoadStringA(m, IDS_ONLY_GERMAN, buffer, 100), 0);
    EXPECT_STREQ(buffer, "nur deutsch");
    EXPECT_GT(LoadStringA(nullptr, 7, buffer, 100), 0);
    EXPECT_STREQ(buffer, "from the executable");
}

TEST(LoadString, MissingStrings) {
    HMODULE m = SampleModule();
    char buffer[16] = "untouched";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadStringA(m, 5, buffer, sizeof buffer), 0);  // an empty slot of an existing bundle
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    strcpy(buffer, "untouched");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadStringA(m, 1000, buffer, sizeof buffer), 0);  // no such bundle
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(LoadString, PointerFormWithBufferMaxZero) {
    HMODULE m = SampleModule();
    const WORD* text = nullptr;
    EXPECT_EQ(LoadStringA(m, IDS_FOUR, reinterpret_cast<LPSTR>(&text), 0), 4);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(Utf16(text, 4), u"four");
}

}  // namespace
