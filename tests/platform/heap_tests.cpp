// GlobalAlloc, GlobalFree, LocalAlloc, LocalFree.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(GlobalMemory, ZeroInitAndFree) {
    SetLastError(0xdeadbeef);
    auto* p = static_cast<unsigned char*>(GlobalAlloc(GPTR, 100));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0) << i;
    EXPECT_EQ(GlobalFree(p), nullptr);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
}

TEST(GlobalMemory, FixedBlockIsItsOwnPointer) {
    auto* p = static_cast<char*>(GlobalAlloc(GMEM_FIXED, 16));
    ASSERT_NE(p, nullptr);
    strcpy(p, "fifteen chars..");
    EXPECT_STREQ(p, "fifteen chars..");
    EXPECT_EQ(GlobalFree(p), nullptr);
    void* empty = GlobalAlloc(GMEM_FIXED, 0);
    EXPECT_NE(empty, nullptr);
    EXPECT_EQ(GlobalFree(empty), nullptr);
}

TEST(GlobalMemory, Failures) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GlobalAlloc(GMEM_FIXED, SIZE_MAX / 2), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, 8), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));

    // Freeing twice, or something that never came from GlobalAlloc, is refused.
    void* p = GlobalAlloc(GMEM_FIXED, 8);
    ASSERT_EQ(GlobalFree(p), nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GlobalFree(p), p);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    int local = 0;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GlobalFree(&local), &local);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
}

TEST(LocalMemory, AllocAndFree) {
    auto* p = static_cast<char*>(LocalAlloc(LPTR, 10));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[9], 0);
    EXPECT_EQ(LocalFree(p), nullptr);
}

}  // namespace
