// brevanto.dll through the platform loader, in a process with the test host.
#include <testhost/testhost.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace th = halvorin::testhost;

namespace {

struct Loaded {
    HMODULE module = LoadLibraryA(BREVANTO_PATH);
    ~Loaded()
    {
        if (module)
            FreeLibrary(module);
    }
};

// The value of `key` in the version block's string table (UTF-16 in the block).
std::string VersionString(const BYTE *block, DWORD size, const char *key)
{
    std::u16string wanted(key, key + std::strlen(key));
    const char16_t *text = reinterpret_cast<const char16_t *>(block);
    size_t count = size / 2;
    std::u16string all(text, text + count);
    size_t at = all.find(wanted);
    if (at == std::u16string::npos)
        return "";
    at += wanted.size() + 1;
    while (at < count && all[at] == 0) // padding to a 32-bit boundary
        at++;
    std::string value;
    while (at < count && all[at])
        value += (char)all[at++];
    return value;
}

TEST(LoadedLibrary, RegistersSixteenFunctionsAndExportsOnlyRexxFeedback)
{
    th::Reset();
    Loaded lib;
    ASSERT_NE(lib.module, nullptr) << GetLastError();
    EXPECT_EQ(GetModuleHandleA("brevanto.dll"), lib.module);
    auto feedback = (REXXFEEDBACKPROC)(void (*)(void))GetProcAddress(lib.module, LIBRARY_FEEDBACK_EXPORT);
    ASSERT_NE(feedback, nullptr);
    EXPECT_EQ(GetProcAddress(lib.module, "DllMain"), nullptr);
    EXPECT_EQ(GetProcAddress(lib.module, "InetOpen"), nullptr);
    EXPECT_EQ(GetProcAddress(lib.module, "State"), nullptr);

    ASSERT_EQ(feedback(FEEDBACK_REGISTER, 0), 0u);
    std::vector<halvorin::Function> functions = th::Functions();
    ASSERT_EQ(functions.size(), 16u);
    for (const halvorin::Function &f : functions)
        EXPECT_EQ(f.library, "brevanto") << f.name;
    halvorin::CallOutcome o = th::CallFunction("InetMaxIn", {});
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(o.result.value_or(""), "131072");
    o = th::CallFunction("inetconnect", {"c", "server"});
    EXPECT_EQ(o.result.value_or(""), "session handle not open");
    EXPECT_EQ(feedback(FEEDBACK_END_OF_SCRIPT, 0), 0u);
    th::Reset();
}

TEST(LoadedLibrary, CarriesItsStringsAndVersion)
{
    Loaded lib;
    ASSERT_NE(lib.module, nullptr);
    const char *expected[] = {"Requires a later version of the Halvorin REXX interpreter",
                              "Requires the Halvorin REXX interpreter",
                              "session handle not open",
                              "server handle not open",
                              "can't dialup internet",
                              "all data not written"};
    for (UINT id = 1; id <= 6; id++) {
        char text[100];
        ASSERT_GT(LoadStringA(lib.module, id, text, sizeof text), 0) << id;
        EXPECT_STREQ(text, expected[id - 1]);
    }
    HRSRC found = FindResourceA(lib.module, MAKEINTRESOURCEA(1), RT_VERSION);
    ASSERT_NE(found, nullptr);
    const BYTE *block = (const BYTE *)LockResource(LoadResource(lib.module, found));
    DWORD size = SizeofResource(lib.module, found);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(VersionString(block, size, "FileDescription"), "Adds Internet support to Halvorin");
    EXPECT_EQ(VersionString(block, size, "FileVersion"), "0, 0, 0, 1");
    EXPECT_EQ(VersionString(block, size, "ProductVersion"), "0, 0, 0, 1");
    const VS_FIXEDFILEINFO *fixed = nullptr;
    for (DWORD i = 0; i + sizeof(VS_FIXEDFILEINFO) <= size; i += 4) {
        const VS_FIXEDFILEINFO *candidate = (const VS_FIXEDFILEINFO *)(block + i);
        if (candidate->dwSignature == VS_FFI_SIGNATURE) {
            fixed = candidate;
            break;
        }
    }
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, 0u);
    EXPECT_EQ(fixed->dwFileVersionLS, 1u);
    EXPECT_EQ(fixed->dwProductVersionLS, 1u);
}

} // namespace
