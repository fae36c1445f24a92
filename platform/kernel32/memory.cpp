// Virtual memory: reservations and commits on mmap/mprotect/madvise, with the
// region table that VirtualQuery reports from, and GetSystemInfo.
//
// Reservations of 2 MiB and more that the system places are "coarse": 2 MiB
// aligned, on transparent huge pages, and opened to the caller a whole 2 MiB
// chunk at a time. A first touch of a fresh 4 KiB page costs a VM exit on the
// machines this runs on, and a buffer committed page by page would pay one
// mprotect and one fault per page; a chunk costs one mprotect and one
// populate. The table still records each page exactly, so VirtualQuery and
// the rules of VirtualAlloc and VirtualFree are unchanged; only an access to
// an uncommitted page of an open chunk no longer faults.
#include <windows.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <vector>

namespace {

constexpr uintptr_t kGranularity = 0x10000;
constexpr uintptr_t kLowest = 0x10000;
constexpr uintptr_t kHighest = 0x7FFFFFFEFFFF;
constexpr uintptr_t kChunk = uintptr_t{2} << 20;  // a transparent huge page
constexpr int kClosed = -1;

uintptr_t PageSize() {
    static const uintptr_t size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    return size;
}

uintptr_t RoundDown(uintptr_t value, uintptr_t unit) { return value & ~(unit - 1); }
uintptr_t RoundUp(uintptr_t value, uintptr_t unit) { return (value + unit - 1) & ~(unit - 1); }

struct Reservation {
    uintptr_t size = 0;
    DWORD allocationProtect = 0;
    std::vector<DWORD> pages;  // 0: reserved only; otherwise the protection of the committed page
    // Coarse reservations only: per 2 MiB chunk, kClosed (PROT_NONE, no memory
    // behind it) or the POSIX protection its uncommitted pages were opened with.
    std::vector<int> chunks;
    bool Coarse() const { return !chunks.empty(); }
};

// Never destroyed: a module's detach at process exit may still free memory.
struct Table {
    std::mutex lock;
    std::map<uintptr_t, Reservation> reservations;  // by base address
};
Table& table() {
    static Table* t = new Table;
    return *t;
}

bool PosixProtection(DWORD protect, int& prot) {
    switch (protect) {
    case PAGE_NOACCESS: prot = PROT_NONE; return true;
    case PAGE_READONLY: prot = PROT_READ; return true;
    case PAGE_READWRITE: prot = PROT_READ | PROT_WRITE; return true;
    case PAGE_EXECUTE: prot = PROT_EXEC; return true;
    case PAGE_EXECUTE_READ: prot = PROT_READ | PROT_EXEC; return true;
    case PAGE_EXECUTE_READWRITE: prot = PROT_READ | PROT_WRITE | PROT_EXEC; return true;
    default: return false;
    }
}

// The reservation holding [start, end), or the end of the map.
std::map<uintptr_t, Reservation>::iterator Holding(uintptr_t start, uintptr_t end) {
    auto& all = table().reservations;
    auto it = all.upper_bound(start);
    if (it == all.begin()) return all.end();
    --it;
    if (start >= it->first && end <= it->first + it->second.size && end > start) return it;
    return all.end();
}

bool Overlaps(uintptr_t start, uintptr_t end) {
    auto& all = table().reservations;
    auto it = all.lower_bound(end);
    if (it == all.begin()) return false;
    --it;
    return it->first + it->second.size > start;
}

// Maps `length` bytes of PROT_NONE address space at a base aligned to `align`.
uintptr_t MapAligned(uintptr_t length, uintptr_t align) {
    // Over-allocate by one unit, then trim to the aligned base.
    uintptr_t span = length + align;
    void* p = mmap(nullptr, span, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return 0;
    uintptr_t start = reinterpret_cast<uintptr_t>(p);
    uintptr_t base = RoundUp(start, align);
    if (base > start) munmap(p, base - start);
    if (start + span > base + length) munmap(reinterpret_cast<void*>(base + length), start + span - (base + length));
    return base;
}

DWORD Reserve(uintptr_t address, SIZE_T size, DWORD protect, uintptr_t& base, uintptr_t& length) {
    const uintptr_t page = PageSize();
    bool coarse = false;
    if (address) {
        base = RoundDown(address, kGranularity);
        uintptr_t end = RoundUp(address + size, page);
        length = end - base;
        if (end > kHighest + 1 || Overlaps(base, end)) return ERROR_INVALID_ADDRESS;
        void* p = mmap(reinterpret_cast<void*>(base), length, PROT_NONE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
        if (p == MAP_FAILED) return errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_ADDRESS;
        if (reinterpret_cast<uintptr_t>(p) != base) {
            munmap(p, length);
            return ERROR_INVALID_ADDRESS;
        }
    } else {
        length = RoundUp(size, page);
        // Windows places reservations on 64 KiB boundaries; large ones here on
        // 2 MiB boundaries (also 64 KiB ones), so that their chunks are huge pages.
        coarse = length >= kChunk;
        base = MapAligned(length, coarse ? kChunk : kGranularity);
        if (!base) return ERROR_NOT_ENOUGH_MEMORY;
        if (coarse) madvise(reinterpret_cast<void*>(base), length, MADV_HUGEPAGE);  // a hint: no THP, no harm
    }
    try {
        Reservation r;
        r.size = length;
        r.allocationProtect = protect;
        r.pages.assign(length / page, 0);
        if (coarse) r.chunks.assign(RoundUp(length, kChunk) / kChunk, kClosed);
        table().reservations.emplace(base, std::move(r));
    } catch (const std::bad_alloc&) {
        munmap(reinterpret_cast<void*>(base), length);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

DWORD FromErrno() { return errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_ADDRESS; }

bool IsZero(const char* p, uintptr_t length) {
    static const char* zeros = static_cast<const char*>(std::calloc(1, PageSize()));
    if (!zeros) {
        for (uintptr_t i = 0; i < length; ++i)
            if (p[i]) return false;
        return true;
    }
    return std::memcmp(p, zeros, length) == 0;
}

// A chunk whose pages are all uncommitted closes: no access, no memory.
void Close(Reservation& r, uintptr_t base, size_t chunk) {
    void* p = reinterpret_cast<void*>(base + chunk * kChunk);
    uintptr_t length = std::min(kChunk, r.size - chunk * kChunk);
    mprotect(p, length, PROT_NONE);
    madvise(p, length, MADV_DONTNEED);
    r.chunks[chunk] = kClosed;
}

bool Unused(const Reservation& r, size_t chunk) {
    const uintptr_t perChunk = kChunk / PageSize();
    size_t first = chunk * perChunk, last = std::min(r.pages.size(), first + perChunk);
    return std::all_of(r.pages.begin() + first, r.pages.begin() + last, [](DWORD p) { return p == 0; });
}

// Commits [start, end) of a coarse reservation: the chunks it touches open
// whole; pages already open but uncommitted get zeroed if anything wrote them.
DWORD CommitCoarse(Reservation& r, uintptr_t base, uintptr_t start, uintptr_t end, DWORD protect, int prot) {
    const uintptr_t page = PageSize();
    // A commit of a few pages, as a growing buffer makes, is about to be used:
    // its chunks are filled at once. A large one faults in as it is touched.
    const bool populate = end - start <= kChunk && prot != PROT_NONE;
    std::vector<size_t> opened;
    DWORD err = ERROR_SUCCESS;
    for (uintptr_t c = RoundDown(start, kChunk); c < end && !err; c += kChunk) {
        size_t chunk = (c - base) / kChunk;
        uintptr_t chunkEnd = std::min(c + kChunk, base + r.size);
        uintptr_t from = std::max(start, c), to = std::min(end, chunkEnd);
        int& open = r.chunks[chunk];
        if (open == kClosed) {
            // Nothing in a closed chunk is committed, so the whole of it takes the protection.
            if (mprotect(reinterpret_cast<void*>(c), chunkEnd - c, prot) != 0) {
                err = FromErrno();
                break;
            }
            open = prot;
            try {
                opened.push_back(chunk);
            } catch (const std::bad_alloc&) {
                Close(r, base, chunk);
                err = ERROR_NOT_ENOUGH_MEMORY;
                break;
            }
            if (populate)
                madvise(reinterpret_cast<void*>(c), chunkEnd - c,
                        (prot & PROT_WRITE) ? MADV_POPULATE_WRITE : MADV_POPULATE_READ);
            continue;
        }
        bool exact = prot == open;
        for (uintptr_t a = from; a < to; a += page) {
            DWORD& was = r.pages[(a - base) / page];
            // A fresh commit reads as zeros, also where a stray write reached the open page.
            if (!was && (open & PROT_WRITE) && !IsZero(reinterpret_cast<const char*>(a), page))
                std::memset(reinterpret_cast<char*>(a), 0, page);
            if (was && was != protect) exact = false;
        }
        if (!exact && mprotect(reinterpret_cast<void*>(from), to - from, prot) != 0) err = FromErrno();
    }
    if (err) {
        for (size_t chunk : opened) Close(r, base, chunk);
        return err;
    }
    for (uintptr_t a = start; a < end; a += page) r.pages[(a - base) / page] = protect;
    return ERROR_SUCCESS;
}

DWORD Commit(std::map<uintptr_t, Reservation>::iterator where, uintptr_t start, uintptr_t end, DWORD protect,
             int prot) {
    if (where->second.Coarse()) return CommitCoarse(where->second, where->first, start, end, protect, prot);
    if (mprotect(reinterpret_cast<void*>(start), end - start, prot) != 0) return FromErrno();
    // A commit of a few pages (a buffer growing page by page) is filled at
    // once, as in a coarse chunk: one populate costs less than a fault.
    if (end - start <= kGranularity && (prot & PROT_WRITE))
        madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
    const uintptr_t page = PageSize();
    for (uintptr_t a = start; a < end; a += page) where->second.pages[(a - where->first) / page] = protect;
    return ERROR_SUCCESS;
}

// Decommits [start, end) of a coarse reservation: chunks left with nothing
// committed close; in others the pages go back to the system, still open.
DWORD DecommitCoarse(Reservation& r, uintptr_t base, uintptr_t start, uintptr_t end) {
    const uintptr_t page = PageSize();
    for (uintptr_t c = RoundDown(start, kChunk); c < end; c += kChunk) {
        size_t chunk = (c - base) / kChunk;
        uintptr_t chunkEnd = std::min(c + kChunk, base + r.size);
        uintptr_t from = std::max(start, c), to = std::min(end, chunkEnd);
        int open = r.chunks[chunk];
        bool exact = true;
        for (uintptr_t a = from; a < to; a += page) {
            DWORD& was = r.pages[(a - base) / page];
            int posix = PROT_NONE;
            if (was && PosixProtection(was, posix) && posix != open) exact = false;
            was = 0;
        }
        if (open == kClosed) continue;
        if (Unused(r, chunk)) {
            Close(r, base, chunk);
            continue;
        }
        void* p = reinterpret_cast<void*>(from);
        if (!exact && mprotect(p, to - from, open) != 0) return ERROR_INVALID_ADDRESS;
        if (madvise(p, to - from, MADV_DONTNEED) != 0) return ERROR_INVALID_ADDRESS;
    }
    return ERROR_SUCCESS;
}

DWORD Allocate(uintptr_t address, SIZE_T size, DWORD type, DWORD protect, LPVOID& result) {
    int prot = 0;
    if ((type & ~(MEM_COMMIT | MEM_RESERVE | MEM_TOP_DOWN)) || !(type & (MEM_COMMIT | MEM_RESERVE)))
        return ERROR_INVALID_PARAMETER;
    if (size == 0 || !PosixProtection(protect, prot)) return ERROR_INVALID_PARAMETER;
    if (address && (address < kLowest || address > kHighest)) return ERROR_INVALID_PARAMETER;
    if (size > kHighest - (address ? address : kLowest)) return ERROR_NOT_ENOUGH_MEMORY;

    std::lock_guard guard(table().lock);
    const uintptr_t page = PageSize();
    if ((type & MEM_RESERVE) || !address) {
        uintptr_t base = 0, length = 0;
        if (DWORD err = Reserve(address, size, protect, base, length)) return err;
        if (type & MEM_COMMIT) {
            auto where = table().reservations.find(base);
            if (DWORD err = Commit(where, base, base + length, protect, prot)) {
                munmap(reinterpret_cast<void*>(base), length);
                table().reservations.erase(where);
                return err;
            }
        }
        result = reinterpret_cast<LPVOID>(base);
        return ERROR_SUCCESS;
    }
    uintptr_t start = RoundDown(address, page), end = RoundUp(address + size, page);
    auto where = Holding(start, end);
    if (where == table().reservations.end()) return ERROR_INVALID_ADDRESS;
    if (DWORD err = Commit(where, start, end, protect, prot)) return err;
    result = reinterpret_cast<LPVOID>(start);
    return ERROR_SUCCESS;
}

DWORD Free(uintptr_t address, SIZE_T size, DWORD type) {
    if (!address || (type != MEM_RELEASE && type != MEM_DECOMMIT)) return ERROR_INVALID_PARAMETER;
    const uintptr_t page = PageSize();
    std::lock_guard guard(table().lock);
    if (type == MEM_RELEASE) {
        if (size != 0) return ERROR_INVALID_PARAMETER;
        auto where = Holding(address, address + 1);
        if (where == table().reservations.end()) return ERROR_INVALID_ADDRESS;
        if (where->first != address) return ERROR_INVALID_PARAMETER;
        munmap(reinterpret_cast<void*>(where->first), where->second.size);
        table().reservations.erase(where);
        return ERROR_SUCCESS;
    }
    uintptr_t start = RoundDown(address, page);
    auto where = Holding(start, start + 1);
    if (where == table().reservations.end()) return ERROR_INVALID_ADDRESS;
    uintptr_t end = size == 0 ? where->first + where->second.size
                              : (size > kHighest ? kHighest + 1 : RoundUp(address + size, page));
    if (end > where->first + where->second.size) return ERROR_INVALID_ADDRESS;
    if (where->second.Coarse()) return DecommitCoarse(where->second, where->first, start, end);
    void* p = reinterpret_cast<void*>(start);
    // The range stays reserved; its pages go back to the system and read as zeros when committed again.
    if (mprotect(p, end - start, PROT_NONE) != 0 || madvise(p, end - start, MADV_DONTNEED) != 0)
        return ERROR_INVALID_ADDRESS;
    for (uintptr_t a = start; a < end; a += page) where->second.pages[(a - where->first) / page] = 0;
    return ERROR_SUCCESS;
}

DWORD PosixToProtect(const char* perms) {
    bool r = perms[0] == 'r', w = perms[1] == 'w', x = perms[2] == 'x';
    if (x) return w ? PAGE_EXECUTE_READWRITE : r ? PAGE_EXECUTE_READ : PAGE_EXECUTE;
    if (w) return PAGE_READWRITE;
    return r ? PAGE_READONLY : PAGE_NOACCESS;
}

// Memory this table does not manage (images, heap, stacks) is reported from the
// kernel's map of the process; what nothing maps is free up to the next mapping.
void DescribeForeign(uintptr_t page, MEMORY_BASIC_INFORMATION& info) {
    uintptr_t freeEnd = kHighest + 1;
    auto& all = table().reservations;
    auto next = all.upper_bound(page);
    if (next != all.end()) freeEnd = next->first;
    info.BaseAddress = reinterpret_cast<PVOID>(page);
    info.State = MEM_FREE;
    info.Protect = PAGE_NOACCESS;
    if (FILE* maps = fopen("/proc/self/maps", "re")) {
        char line[512];
        while (fgets(line, sizeof line, maps)) {
            unsigned long start = 0, end = 0, inode = 0, offset = 0;
            char perms[8] = {}, dev[16] = {};
            if (sscanf(line, "%lx-%lx %7s %lx %15s %lu", &start, &end, perms, &offset, dev, &inode) < 6) continue;
            if (end <= page) continue;
            if (start <= page) {
                info.AllocationBase = reinterpret_cast<PVOID>(start);
                info.AllocationProtect = info.Protect = PosixToProtect(perms);
                info.State = MEM_COMMIT;
                info.Type = inode ? MEM_IMAGE : MEM_PRIVATE;
                info.RegionSize = end - page;
                fclose(maps);
                return;
            }
            if (start < freeEnd) freeEnd = start;
            break;
        }
        fclose(maps);
    }
    info.RegionSize = freeEnd - page;
}

}  // namespace

LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    LPVOID result = nullptr;
    if (DWORD err = Allocate(reinterpret_cast<uintptr_t>(address), size, allocationType, protect, result)) {
        SetLastError(err);
        return nullptr;
    }
    return result;
}

BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    if (DWORD err = Free(reinterpret_cast<uintptr_t>(address), size, freeType)) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

SIZE_T WINAPI VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION buffer, SIZE_T length) {
    uintptr_t where = reinterpret_cast<uintptr_t>(address);
    if (!buffer || length < sizeof(MEMORY_BASIC_INFORMATION) || where > kHighest) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const uintptr_t page = PageSize();
    MEMORY_BASIC_INFORMATION info = {};
    uintptr_t start = RoundDown(where, page);
    std::lock_guard guard(table().lock);
    auto it = Holding(start, start + 1);
    if (it == table().reservations.end()) {
        DescribeForeign(start, info);
    } else {
        const Reservation& r = it->second;
        size_t first = (start - it->first) / page, last = first;
        while (last < r.pages.size() && r.pages[last] == r.pages[first]) ++last;
        info.BaseAddress = reinterpret_cast<PVOID>(start);
        info.AllocationBase = reinterpret_cast<PVOID>(it->first);
        info.AllocationProtect = r.allocationProtect;
        info.RegionSize = (last - first) * page;
        info.State = r.pages[first] ? MEM_COMMIT : MEM_RESERVE;
        info.Protect = r.pages[first];
        info.Type = MEM_PRIVATE;
    }
    *buffer = info;
    return sizeof(MEMORY_BASIC_INFORMATION);
}

void WINAPI GetSystemInfo(LPSYSTEM_INFO info) {
    if (!info) return;
    *info = SYSTEM_INFO{};
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    if (cpus < 1) cpus = 1;
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    info->dwPageSize = static_cast<DWORD>(PageSize());
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(kLowest);
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(kHighest);
    info->dwActiveProcessorMask = cpus >= 64 ? ~DWORD_PTR{0} : (DWORD_PTR{1} << cpus) - 1;
    info->dwNumberOfProcessors = static_cast<DWORD>(cpus);
    info->dwProcessorType = PROCESSOR_AMD_X8664;
    info->dwAllocationGranularity = kGranularity;
    info->wProcessorLevel = 6;
}
