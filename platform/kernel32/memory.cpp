// Virtual memory: reservations and commits on mmap/mprotect/madvise, with the
// region table that VirtualQuery reports from, and GetSystemInfo.
#include <windows.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <vector>

namespace {

constexpr uintptr_t kGranularity = 0x10000;
constexpr uintptr_t kLowest = 0x10000;
constexpr uintptr_t kHighest = 0x7FFFFFFEFFFF;

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

DWORD Reserve(uintptr_t address, SIZE_T size, DWORD protect, uintptr_t& base, uintptr_t& length) {
    const uintptr_t page = PageSize();
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
        // Over-allocate by one granule, then trim to a 64 KiB aligned base as Windows places reservations.
        uintptr_t span = length + kGranularity;
        void* p = mmap(nullptr, span, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) return ERROR_NOT_ENOUGH_MEMORY;
        uintptr_t start = reinterpret_cast<uintptr_t>(p);
        base = RoundUp(start, kGranularity);
        if (base > start) munmap(p, base - start);
        if (start + span > base + length) munmap(reinterpret_cast<void*>(base + length), start + span - (base + length));
    }
    try {
        Reservation r;
        r.size = length;
        r.allocationProtect = protect;
        r.pages.assign(length / page, 0);
        table().reservations.emplace(base, std::move(r));
    } catch (const std::bad_alloc&) {
        munmap(reinterpret_cast<void*>(base), length);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

DWORD Commit(std::map<uintptr_t, Reservation>::iterator where, uintptr_t start, uintptr_t end, DWORD protect,
             int prot) {
    if (mprotect(reinterpret_cast<void*>(start), end - start, prot) != 0)
        return errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_ADDRESS;
    const uintptr_t page = PageSize();
    for (uintptr_t a = start; a < end; a += page) where->second.pages[(a - where->first) / page] = protect;
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
