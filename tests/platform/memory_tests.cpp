// VirtualAlloc, VirtualFree, VirtualQuery and GetSystemInfo.
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstddef>
#include <cstring>

#include <unistd.h>

static_assert(sizeof(MEMORY_BASIC_INFORMATION) == 48);
static_assert(offsetof(MEMORY_BASIC_INFORMATION, AllocationProtect) == 16);
static_assert(offsetof(MEMORY_BASIC_INFORMATION, RegionSize) == 24);
static_assert(offsetof(MEMORY_BASIC_INFORMATION, State) == 32);
static_assert(offsetof(MEMORY_BASIC_INFORMATION, Type) == 40);
static_assert(sizeof(SYSTEM_INFO) == 48);
static_assert(offsetof(SYSTEM_INFO, dwAllocationGranularity) == 40);

namespace {

SIZE_T Page() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

MEMORY_BASIC_INFORMATION Query(const void* address) {
    MEMORY_BASIC_INFORMATION info;
    memset(&info, 0xCC, sizeof info);
    EXPECT_EQ(VirtualQuery(address, &info, sizeof info), sizeof info);
    return info;
}

char* At(void* base, SIZE_T offset) { return static_cast<char*>(base) + offset; }

TEST(SystemInfo, ReportsPageSizeAndGranularity) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_EQ(info.dwPageSize, static_cast<DWORD>(sysconf(_SC_PAGESIZE)));
    EXPECT_EQ(info.dwAllocationGranularity, 65536u);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    EXPECT_LT(info.lpMinimumApplicationAddress, info.lpMaximumApplicationAddress);
}

TEST(VirtualMemory, ReserveCommitDecommitRelease) {
    const SIZE_T page = Page();
    SetLastError(0xdeadbeef);
    void* base = VirtualAlloc(nullptr, 16 * page, MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(base) % 65536, 0u);

    MEMORY_BASIC_INFORMATION info = Query(At(base, 5));
    EXPECT_EQ(info.BaseAddress, base);
    EXPECT_EQ(info.AllocationBase, base);
    EXPECT_EQ(info.AllocationProtect, static_cast<DWORD>(PAGE_READWRITE));
    EXPECT_EQ(info.RegionSize, 16 * page);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_RESERVE));
    EXPECT_EQ(info.Protect, 0u);
    EXPECT_EQ(info.Type, static_cast<DWORD>(MEM_PRIVATE));

    // Commit pages 2-3 (the range is rounded out to whole pages), then extend it in place to page 5.
    EXPECT_EQ(VirtualAlloc(At(base, 2 * page + 10), page, MEM_COMMIT, PAGE_READWRITE), At(base, 2 * page));
    memset(At(base, 2 * page), 0x5A, 2 * page);
    EXPECT_EQ(VirtualAlloc(At(base, 4 * page), 2 * page, MEM_COMMIT, PAGE_READWRITE), At(base, 4 * page));
    At(base, 5 * page)[page - 1] = 1;

    info = Query(base);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_RESERVE));
    EXPECT_EQ(info.RegionSize, 2 * page);
    info = Query(At(base, 3 * page));
    EXPECT_EQ(info.BaseAddress, At(base, 3 * page));
    EXPECT_EQ(info.AllocationBase, base);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE));
    EXPECT_EQ(info.RegionSize, 3 * page);
    info = Query(At(base, 6 * page));
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_RESERVE));
    EXPECT_EQ(info.RegionSize, 10 * page);

    // Decommit keeps the range reserved; committing again gives zeroed pages.
    ASSERT_TRUE(VirtualFree(At(base, 2 * page), 2 * page, MEM_DECOMMIT));
    info = Query(At(base, 2 * page));
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_RESERVE));
    EXPECT_EQ(info.RegionSize, 2 * page);
    EXPECT_EQ(Query(At(base, 4 * page)).State, static_cast<DWORD>(MEM_COMMIT));
    ASSERT_NE(VirtualAlloc(At(base, 2 * page), page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(At(base, 2 * page)[0], 0);
    EXPECT_EQ(At(base, 2 * page)[page - 1], 0);

    ASSERT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    info = Query(base);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));
    EXPECT_EQ(info.BaseAddress, base);
}

TEST(VirtualMemory, CommitAndReserveTogether) {
    const SIZE_T page = Page();
    char* p = static_cast<char*>(VirtualAlloc(nullptr, page + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0);
    p[2 * page - 1] = 7;  // the size was rounded up to two pages
    MEMORY_BASIC_INFORMATION info = Query(p);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(info.RegionSize, 2 * page);
    EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));

    // MEM_COMMIT alone with no address reserves as well.
    p = static_cast<char*>(VirtualAlloc(nullptr, page, MEM_COMMIT, PAGE_READONLY));
    ASSERT_NE(p, nullptr);
    info = Query(p);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READONLY));
    EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
}

TEST(VirtualMemory, ReserveAtAddressRoundsDownToGranularity) {
    const SIZE_T page = Page();
    char* probe = static_cast<char*>(VirtualAlloc(nullptr, 4 * 65536, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(probe, nullptr);
    ASSERT_TRUE(VirtualFree(probe, 0, MEM_RELEASE));
    char* wanted = probe + 65536 + 3 * page;
    void* got = VirtualAlloc(wanted, page, MEM_RESERVE, PAGE_READWRITE);
    ASSERT_EQ(got, probe + 65536);
    // Reserved from the granule's start through the page that holds the end.
    EXPECT_EQ(Query(got).RegionSize, 4 * page);
    EXPECT_EQ(Query(wanted).RegionSize, page);
    // A second reservation over the same range is refused.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(VirtualAlloc(got, page, MEM_RESERVE, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    EXPECT_TRUE(VirtualFree(got, 0, MEM_RELEASE));
}

TEST(VirtualMemory, CommitOutsideOneReservationFails) {
    const SIZE_T page = Page();
    char* base = static_cast<char*>(VirtualAlloc(nullptr, 4 * page, MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(VirtualAlloc(base + 3 * page, 2 * page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    // The pages inside were not committed by the failed call.
    EXPECT_EQ(Query(base + 3 * page).State, static_cast<DWORD>(MEM_RESERVE));
    // Exactly to the end is fine.
    EXPECT_EQ(VirtualAlloc(base + 3 * page, page, MEM_COMMIT, PAGE_READWRITE), base + 3 * page);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(VirtualFree(base + 3 * page, 2 * page, MEM_DECOMMIT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
    // Committing where nothing is reserved fails the same way.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(VirtualAlloc(base, page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
}

TEST(VirtualMemory, ReleaseRules) {
    const SIZE_T page = Page();
    char* base = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(VirtualFree(base, page, MEM_RELEASE));  // size must be 0
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(VirtualFree(base + page, 0, MEM_RELEASE));  // not the base
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(VirtualFree(base, 0, MEM_RELEASE | MEM_DECOMMIT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Query(base).State, static_cast<DWORD>(MEM_COMMIT));
    ASSERT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(VirtualFree(base, 0, MEM_RELEASE));  // already gone
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
}

TEST(VirtualMemory, DecommitWholeReservationWithSizeZero) {
    const SIZE_T page = Page();
    char* base = static_cast<char*>(VirtualAlloc(nullptr, 3 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    ASSERT_TRUE(VirtualFree(base, 0, MEM_DECOMMIT));
    MEMORY_BASIC_INFORMATION info = Query(base);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_RESERVE));
    EXPECT_EQ(info.RegionSize, 3 * page);
    EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

TEST(VirtualMemory, BadArguments) {
    const SIZE_T page = Page();
    struct Case {
        SIZE_T size;
        DWORD type, protect, error;
    } cases[] = {
        {0, MEM_RESERVE, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {page, 0, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {page, MEM_DECOMMIT, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {page, MEM_RESERVE, 0x12345, ERROR_INVALID_PARAMETER},
        {SIZE_T(1) << 62, MEM_RESERVE, PAGE_READWRITE, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(VirtualAlloc(nullptr, c.size, c.type, c.protect), nullptr);
        EXPECT_EQ(GetLastError(), c.error) << c.size << " " << c.type << " " << c.protect;
    }
}

TEST(VirtualMemory, QueryRecordLength) {
    MEMORY_BASIC_INFORMATION info;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(VirtualQuery(&info, &info, sizeof info - 1), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Memory the process has from elsewhere (this stack) is committed.
    EXPECT_EQ(VirtualQuery(&info, &info, sizeof info + 8), sizeof info);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE));
}

// Large reservations: 2 MiB aligned, opened a 2 MiB chunk at a time underneath,
// while the table, and so VirtualQuery, stays exact to the page.
constexpr SIZE_T kChunk = SIZE_T(2) << 20;

// Whether the process may read (write) the byte at p, asked of the kernel,
// which answers EFAULT where an access would fault.
struct Probe {
    int fds[2] = {-1, -1};
    Probe() { EXPECT_EQ(pipe(fds), 0); }
    ~Probe() {
        close(fds[0]);
        close(fds[1]);
    }
    bool Readable(const char* p) {
        if (write(fds[1], p, 1) != 1) return false;
        char c;
        return read(fds[0], &c, 1) == 1;
    }
    bool Writable(char* p) {
        char c = 'x';
        if (write(fds[1], &c, 1) != 1) return false;
        if (read(fds[0], p, 1) == 1) return true;
        ssize_t drained = read(fds[0], &c, 1);  // p was not writable: the byte is still there
        (void)drained;
        return false;
    }
};

void ExpectRegion(const void* address, DWORD state, SIZE_T size, DWORD protect) {
    MEMORY_BASIC_INFORMATION info = Query(address);
    EXPECT_EQ(info.State, state) << address;
    EXPECT_EQ(info.RegionSize, size) << address;
    EXPECT_EQ(info.Protect, protect) << address;
}

TEST(LargeReservation, GrowsPageByPageAcrossChunkEdges) {
    const SIZE_T page = Page();
    const SIZE_T size = 3 * kChunk + 5 * page;  // a last chunk that is only partly there
    char* base = static_cast<char*>(VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(base) % kChunk, 0u);
    ExpectRegion(base, MEM_RESERVE, size, 0);

    // Committed a page at a time, as a buffer grows, over every chunk edge to the very end.
    for (SIZE_T at = 0; at < size; at += page) {
        ASSERT_EQ(VirtualAlloc(base + at, page, MEM_COMMIT, PAGE_READWRITE), base + at) << at;
        ASSERT_EQ(base[at], 0) << at;
        ASSERT_EQ(base[at + page - 1], 0) << at;
        base[at] = static_cast<char>(at / page + 1);
        base[at + page - 1] = static_cast<char>(at / page + 2);
        if (at + page < size && (at + page) % kChunk == 0) {
            ExpectRegion(base, MEM_COMMIT, at + page, PAGE_READWRITE);
            ExpectRegion(base + at + page, MEM_RESERVE, size - at - page, 0);
        }
    }
    for (SIZE_T at = 0; at < size; at += page) {
        ASSERT_EQ(base[at], static_cast<char>(at / page + 1)) << at;
        ASSERT_EQ(base[at + page - 1], static_cast<char>(at / page + 2)) << at;
    }
    ExpectRegion(base + kChunk - 1, MEM_COMMIT, size - (kChunk - page), PAGE_READWRITE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(VirtualAlloc(base + size - page, 2 * page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));

    // Decommitted, everything is inaccessible again and comes back as zeros.
    ASSERT_TRUE(VirtualFree(base, 0, MEM_DECOMMIT));
    ExpectRegion(base, MEM_RESERVE, size, 0);
    Probe probe;
    EXPECT_FALSE(probe.Readable(base));
    EXPECT_FALSE(probe.Readable(base + kChunk));
    EXPECT_FALSE(probe.Readable(base + size - 1));
    ASSERT_EQ(VirtualAlloc(base + kChunk - page, 2 * page, MEM_COMMIT, PAGE_READWRITE), base + kChunk - page);
    EXPECT_EQ(base[kChunk - 1], 0);
    EXPECT_EQ(base[kChunk], 0);
    EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

TEST(LargeReservation, OnlyItsOpenChunksLoosenProtection) {
    const SIZE_T page = Page();
    char* base = static_cast<char*>(VirtualAlloc(nullptr, 4 * kChunk, MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    ASSERT_NE(VirtualAlloc(base + kChunk, page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    Probe probe;
    // The chunk of the committed page is open; the rest of the reservation is not.
    EXPECT_TRUE(probe.Writable(base + kChunk + page));
    EXPECT_FALSE(probe.Readable(base + kChunk - 1));
    EXPECT_FALSE(probe.Readable(base + 2 * kChunk));
    ExpectRegion(base + kChunk + page, MEM_RESERVE, 3 * kChunk - page, 0);

    // A write that reached an uncommitted page is gone when the page is committed.
    memset(base + kChunk + page, 0x77, page);
    ASSERT_NE(VirtualAlloc(base + kChunk + page, page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(base[kChunk + page], 0);
    EXPECT_EQ(base[kChunk + 2 * page - 1], 0);

    // Protections stay exact page by page inside an open chunk.
    ASSERT_NE(VirtualAlloc(base + kChunk + 2 * page, page, MEM_COMMIT, PAGE_READONLY), nullptr);
    EXPECT_TRUE(probe.Readable(base + kChunk + 2 * page));
    EXPECT_FALSE(probe.Writable(base + kChunk + 2 * page));
    EXPECT_TRUE(probe.Writable(base + kChunk + page));
    ExpectRegion(base + kChunk + 2 * page, MEM_COMMIT, page, PAGE_READONLY);
    ASSERT_NE(VirtualAlloc(base + kChunk + 2 * page, page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_TRUE(probe.Writable(base + kChunk + 2 * page));
    ExpectRegion(base + kChunk, MEM_COMMIT, 3 * page, PAGE_READWRITE);

    // Decommitting part of a chunk keeps the rest; the chunk closes with its last page.
    base[kChunk] = 1;
    base[kChunk + 2 * page] = 3;
    ASSERT_TRUE(VirtualFree(base + kChunk + page, page, MEM_DECOMMIT));
    EXPECT_EQ(base[kChunk], 1);
    EXPECT_EQ(base[kChunk + 2 * page], 3);
    ExpectRegion(base + kChunk + page, MEM_RESERVE, page, 0);
    ASSERT_NE(VirtualAlloc(base + kChunk + page, page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(base[kChunk + page], 0);
    ASSERT_TRUE(VirtualFree(base + kChunk, 3 * page, MEM_DECOMMIT));
    EXPECT_FALSE(probe.Readable(base + kChunk));
    EXPECT_FALSE(probe.Readable(base + kChunk + 5 * page));
    EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

TEST(LargeReservation, CommittedWholeAtOnce) {
    const SIZE_T size = 2 * kChunk + 3 * Page();
    char* base = static_cast<char*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    ExpectRegion(base, MEM_COMMIT, size, PAGE_READWRITE);
    EXPECT_EQ(base[0], 0);
    EXPECT_EQ(base[kChunk - 1], 0);
    EXPECT_EQ(base[kChunk], 0);
    EXPECT_EQ(base[size - 1], 0);
    base[size - 1] = 9;
    EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

TEST(SmallReservation, KeepsExactProtection) {
    const SIZE_T page = Page();
    const SIZE_T size = kChunk - page;  // the largest that stays exact
    char* base = static_cast<char*>(VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(base) % 65536, 0u);
    Probe probe;
    for (SIZE_T at = 0; at < 3 * page; at += page)
        ASSERT_NE(VirtualAlloc(base + at, page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    // Filled at commit (one populate instead of a fault each), and still zeros.
    unsigned char resident[3] = {};
    ASSERT_EQ(mincore(base, 3 * page, resident), 0);
    for (unsigned char r : resident) EXPECT_TRUE(r & 1);
    EXPECT_EQ(base[0], 0);
    EXPECT_TRUE(probe.Writable(base + 3 * page - 1));
    EXPECT_FALSE(probe.Readable(base + 3 * page));
    EXPECT_FALSE(probe.Readable(base + size - 1));
    ASSERT_TRUE(VirtualFree(base, 0, MEM_DECOMMIT));
    EXPECT_FALSE(probe.Readable(base));
    EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

}  // namespace

namespace {

DWORD WINAPI Churn(LPVOID) {
    const SIZE_T page = Page();
    for (int i = 0; i < 200; ++i) {
        char* base = static_cast<char*>(VirtualAlloc(nullptr, 8 * page, MEM_RESERVE, PAGE_READWRITE));
        if (!base) return 1;
        if (VirtualAlloc(base + page, page, MEM_COMMIT, PAGE_READWRITE) != base + page) return 2;
        base[page] = 1;
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(base + page, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT ||
            info.AllocationBase != base || info.RegionSize != page)
            return 3;
        if (!VirtualFree(base, 0, MEM_RELEASE)) return 4;
    }
    return 0;
}

TEST(VirtualMemory, TableHoldsUpUnderThreads) {
    HANDLE threads[4];
    for (HANDLE& t : threads) ASSERT_NE(t = CreateThread(nullptr, 0, Churn, nullptr, 0, nullptr), nullptr);
    for (HANDLE t : threads) {
        EXPECT_EQ(WaitForSingleObject(t, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD code = 99;
        EXPECT_TRUE(GetExitCodeThread(t, &code));
        EXPECT_EQ(code, 0u);
        CloseHandle(t);
    }
}

}  // namespace
