// The runner's allocator, linked into this program as into the runner: large
// blocks on their own huge-page mappings, everything else glibc's.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

bool OnHugePageBoundary(const void *p) { return (reinterpret_cast<std::uintptr_t>(p) & (2 * kMiB - 1)) == 0; }

// A recognisable byte at every offset.
char At(std::size_t i) { return static_cast<char>((i * 131 + i / 4096) & 0xFF); }

void Fill(char *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        p[i] = At(i);
}

bool Holds(const char *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] != At(i))
            return false;
    return true;
}

TEST(LargeBlocks, LargeOnesAreMappingsOfTheirOwn)
{
    // Kept out of the optimiser's reach, so the calls really happen.
    volatile std::size_t large = kMiB, small = kMiB - 1;
    char *a = static_cast<char *>(std::malloc(large));
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(OnHugePageBoundary(a));
    EXPECT_GE(malloc_usable_size(a), large);
    Fill(a, large);
    EXPECT_TRUE(Holds(a, large));

    char *b = static_cast<char *>(std::malloc(small));
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(OnHugePageBoundary(b));
    EXPECT_GE(malloc_usable_size(b), small);
    std::free(b);

    char *z = static_cast<char *>(std::calloc(3, large));
    ASSERT_NE(z, nullptr);
    EXPECT_TRUE(OnHugePageBoundary(z));
    EXPECT_EQ(std::memcmp(z, std::vector<char>(3 * large).data(), 3 * large), 0);
    std::free(z);
    std::free(a);
    volatile std::size_t half = SIZE_MAX / 2;
    EXPECT_EQ(std::calloc(half, 4), nullptr);
}

// Whether the kernel was asked for huge pages where p lies (VmFlags "hg").
bool AskedForHugePages(const void *p)
{
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    auto at = reinterpret_cast<std::uintptr_t>(p);
    bool inside = false;
    while (std::getline(smaps, line)) {
        std::uintptr_t from = 0, to = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> from >> dash >> to && dash == '-') {
            inside = from <= at && at < to;
            continue;
        }
        if (inside && line.rfind("VmFlags:", 0) == 0)
            return line.find(" hg") != std::string::npos;
    }
    return false;
}

TEST(LargeBlocks, HugePagesWhereTheyPay)
{
    // A block of 1 to 2 MiB is one huge page; a few bytes over a multiple of
    // 2 MiB end on small pages, half a huge page over takes a whole one.
    volatile std::size_t mid = kMiB + 16, big = 8 * kMiB + 16, halfOver = 8 * kMiB + kMiB;
    for (std::size_t size : {std::size_t{mid}, std::size_t{big}, std::size_t{halfOver}}) {
        char *p = static_cast<char *>(std::malloc(size));
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(AskedForHugePages(p)) << size;
        EXPECT_EQ(AskedForHugePages(p + size - 1), size != big) << size;
        Fill(p, size);
        EXPECT_TRUE(Holds(p, size));
        std::free(p);
    }
}

TEST(LargeBlocks, ReallocKeepsTheBytesEveryWay)
{
    volatile std::size_t start = 100 * 1024;
    std::size_t size = start;
    char *p = static_cast<char *>(std::malloc(size));
    ASSERT_NE(p, nullptr);
    Fill(p, size);
    // Small to large, larger, shrunk inside its mapping, back to small, gone.
    for (std::size_t next : {6 * kMiB + 3, 13 * kMiB, 12 * kMiB, 64 * std::size_t{1024}}) {
        char *q = static_cast<char *>(std::realloc(p, next));
        ASSERT_NE(q, nullptr) << next;
        std::size_t kept = next < size ? next : size;
        EXPECT_TRUE(Holds(q, kept)) << next;
        EXPECT_EQ(OnHugePageBoundary(q), next >= kMiB) << next;
        Fill(q, next);
        p = q;
        size = next;
    }
    EXPECT_EQ(std::realloc(p, 0), nullptr);
}

TEST(LargeBlocks, TheLastOneFreedServesTheNext)
{
    volatile std::size_t large = 8 * kMiB;
    char *a = static_cast<char *>(std::malloc(large));
    ASSERT_NE(a, nullptr);
    std::memset(a, 0xAB, large);
    std::free(a);
    // Reused, and still zeros for calloc.
    char *z = static_cast<char *>(std::calloc(1, large));
    ASSERT_EQ(z, a);
    EXPECT_EQ(std::memcmp(z, std::vector<char>(large).data(), large), 0);
    std::memset(z, 0xCD, large);
    std::free(z);
    // A smaller one takes the front of it; a larger one gets memory of its own.
    char *s = static_cast<char *>(std::malloc(large / 2));
    EXPECT_EQ(s, a);
    EXPECT_EQ(malloc_usable_size(s), large / 2);
    char *l = static_cast<char *>(std::malloc(2 * large));
    ASSERT_NE(l, nullptr);
    l[2 * large - 1] = 1;
    std::free(s);
    std::free(l);
}

TEST(LargeBlocks, ManyAtOnce)
{
    // More than the allocator tracks: the rest come from glibc, and all free alike.
    // (Untouched: address space, not memory.)
    std::vector<char *> blocks;
    for (int i = 0; i < 300; ++i) {
        char *p = static_cast<char *>(std::malloc(4 * kMiB));
        ASSERT_NE(p, nullptr);
        blocks.push_back(p);
    }
    EXPECT_TRUE(OnHugePageBoundary(blocks.front()));
    blocks.back()[4 * kMiB - 1] = 1;
    EXPECT_EQ(blocks.back()[4 * kMiB - 1], 1);
    for (char *p : blocks)
        std::free(p);
}

} // namespace
