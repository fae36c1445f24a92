// brevanto.dll refuses to load where the interpreter is missing or too old.
#include <windows.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

void ExpectRefused(const char *message)
{
    testing::internal::CaptureStderr();
    SetLastError(0xDEADBEEF);
    HMODULE module = LoadLibraryA(BREVANTO_PATH);
    std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DLL_INIT_FAILED);
    EXPECT_NE(shown.find(std::string("MessageBox: brevanto: ") + message), std::string::npos) << shown;
    EXPECT_EQ(GetModuleHandleA("brevanto.dll"), nullptr);
    EXPECT_EQ(dlopen(BREVANTO_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the module must be gone";
}

TEST(Refusal, WithoutTheInterpreter) { ExpectRefused("Requires the Halvorin REXX interpreter"); }

TEST(Refusal, WithAnInterpreterThatLacksTheServices)
{
    HMODULE host = LoadLibraryA(STUBHOST_PATH);
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(GetModuleHandleA("halvorin.dll"), host);
    ExpectRefused("Requires a later version of the Halvorin REXX interpreter");
    FreeLibrary(host);
}

} // namespace
