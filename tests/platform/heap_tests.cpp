// GlobalAlloc, GlobalFree, LocalAlloc, LocalFree.
#include <windows.h>

#include <gtest/gtest.h>
#include <valgrind/valgrind.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

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

// Callers use a block's address as a number of their own (brevanto's handle
// values): it stays below 10^9, nine digits, and a freed one does not come
// back while a script could still hold it.
namespace lowaddresses {

bool NineDigits(const void* p) { return reinterpret_cast<uintptr_t>(p) < 1000000000u; }

TEST(GlobalMemory, AddressesAreNineDigitNumbers) {
    std::vector<void*> blocks;
    for (SIZE_T size : {SIZE_T{0}, SIZE_T{1}, SIZE_T{16}, SIZE_T{100}, SIZE_T{4095}, SIZE_T{4096},
                        SIZE_T{70000}, SIZE_T{3} << 20}) {
        void* p = GlobalAlloc(GMEM_FIXED, size);
        ASSERT_NE(p, nullptr) << size;
        EXPECT_TRUE(NineDigits(p)) << p;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << p;
        memset(p, 0x5A, size);
        blocks.push_back(p);
    }
    for (void* p : blocks) EXPECT_EQ(GlobalFree(p), nullptr);
}

TEST(GlobalMemory, FreedAddressesAreNotHandedOutAgainSoon) {
    // What a script does that opens and closes connections all day.
    std::set<uintptr_t> seen;
    std::vector<void*> open;
    for (int i = 0; i < 200000; ++i) {
        void* p = GlobalAlloc(GMEM_FIXED, 16);
        ASSERT_NE(p, nullptr);
        ASSERT_TRUE(seen.insert(reinterpret_cast<uintptr_t>(p)).second) << "address " << p << " again, after " << i;
        open.push_back(p);
        if (open.size() > 40 || i % 7 == 0) {
            ASSERT_EQ(GlobalFree(open.front()), nullptr);
            open.erase(open.begin());
        }
    }
    for (void* p : open) EXPECT_EQ(GlobalFree(p), nullptr);
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

TEST(GlobalMemory, FreedPagesGoBackToTheSystem) {
    // 64 MiB passes through in 64 KiB blocks; what stays resident is what is live.
    if (RUNNING_ON_VALGRIND) GTEST_SKIP() << "valgrind keeps its own books";
    long before = ResidentKiB();
    for (int i = 0; i < 1024; ++i) {
        void* p = GlobalAlloc(GMEM_FIXED, 65536);
        ASSERT_NE(p, nullptr);
        memset(p, 1, 65536);
        ASSERT_EQ(GlobalFree(p), nullptr);
    }
    EXPECT_LT(ResidentKiB() - before, 16 * 1024);
}

TEST(GlobalMemoryDeathTest, TheFirstBlockCostsLittle) {
    // A script's first handle must not make the arena's books resident: a
    // fresh process, one small block, a few pages more at most.
    if (RUNNING_ON_VALGRIND) GTEST_SKIP() << "valgrind keeps its own books";
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow and allocator grow with a first block";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a process of its own, arena untouched
    EXPECT_EXIT(
        {
            long before = ResidentKiB();
            void* p = GlobalAlloc(GMEM_FIXED, 16);
            long grown = ResidentKiB() - before;
            std::exit(p && grown < 128 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(GlobalMemory, BlocksComeZeroedAndApart) {
    // Neighbours do not overlap: each keeps what was written into it.
    std::vector<unsigned char*> blocks;
    for (int i = 0; i < 3000; ++i) {
        SIZE_T size = 1 + static_cast<SIZE_T>(i * 37 % 5000);
        auto* p = static_cast<unsigned char*>(GlobalAlloc(GPTR, size));
        ASSERT_NE(p, nullptr);
        for (SIZE_T j = 0; j < size; ++j) ASSERT_EQ(p[j], 0) << i << " " << j;
        memset(p, i & 0xFF, size);
        blocks.push_back(p);
    }
    for (int i = 0; i < 3000; ++i) {
        SIZE_T size = 1 + static_cast<SIZE_T>(i * 37 % 5000);
        for (SIZE_T j = 0; j < size; ++j) ASSERT_EQ(blocks[i][j], i & 0xFF) << i << " " << j;
    }
    for (auto* p : blocks) EXPECT_EQ(GlobalFree(p), nullptr);
}

TEST(GlobalMemory, ThreadsGetBlocksOfTheirOwn) {
    std::vector<std::thread> threads;
    std::mutex lock;
    std::set<uintptr_t> live;
    bool clash = false;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                void* p = GlobalAlloc(GMEM_FIXED, 24);
                if (!p) continue;
                {
                    std::lock_guard guard(lock);
                    clash |= !live.insert(reinterpret_cast<uintptr_t>(p)).second;
                }
                {
                    std::lock_guard guard(lock);
                    live.erase(reinterpret_cast<uintptr_t>(p));
                }
                GlobalFree(p);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_FALSE(clash);
}

}  // namespace lowaddresses

namespace lowaddresses {

TEST(GlobalMemoryDeathTest, AFreedBlockIsNoLongerThere) {
    // A block of whole pages goes back to the system with its last user.
    auto* p = static_cast<volatile char*>(GlobalAlloc(GMEM_FIXED, 65536));
    ASSERT_NE(p, nullptr);
    p[100] = 1;
    ASSERT_EQ(GlobalFree(const_cast<char*>(p)), nullptr);
    EXPECT_DEATH((void)p[100], "");
}

}  // namespace lowaddresses
