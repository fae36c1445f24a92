// MessageBoxA writes its one line to standard error.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(MessageBox, OneLineOnStandardError) {
    testing::internal::CaptureStderr();
    int result = MessageBoxA(nullptr, "Requires the Halvorin REXX interpreter", "brevanto", MB_OK);
    int second = MessageBoxA(nullptr, nullptr, nullptr, MB_OKCANCEL);
    std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(second, IDOK);
    EXPECT_EQ(written,
              "MessageBox: brevanto: Requires the Halvorin REXX interpreter\n"
              "MessageBox: Error: \n");
}

}  // namespace
