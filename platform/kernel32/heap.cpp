// GlobalAlloc/LocalAlloc: fixed blocks in an arena of low addresses.
//
// Callers use a block's address as a value of its own (brevanto hands it to
// REXX scripts as a handle value), so two rules hold besides Windows' own:
// - every address is below 10^9, a whole number of at most nine digits,
//   which REXX carries exactly at its default NUMERIC DIGITS 9;
// - a freed address is not handed out again soon: the arena is used front
//   to back, and a page comes round again only after the rest of the arena
//   has been used, so a value a script still holds names nothing rather
//   than somebody else's block.
// Pages whose blocks are all freed go back to the system and are made
// inaccessible, so a stale pointer faults instead of reading someone else's
// data. The live blocks are kept in a table: a stale or foreign pointer is
// refused, not freed.
#include <windows.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define HEAP_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define HEAP_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define HEAP_POISON(p, n) ((void)(p), (void)(n))
#define HEAP_UNPOISON(p, n) ((void)(p), (void)(n))
#endif
#include <valgrind/memcheck.h>

namespace {

// The arena lies below 10^9; it is reserved once, at the first block, as
// large as the address space there allows.
constexpr uintptr_t kCeiling = 1000000000;
constexpr uintptr_t kLowestStart = 0x04000000;  // above what executables and ld.so usually take
constexpr uintptr_t kLargestSpan = 0x20000000;  // 512 MiB
constexpr uintptr_t kSmallestSpan = 0x01000000;
constexpr uintptr_t kAlign = 16;
constexpr uintptr_t kCommitStep = 0x10000;  // fresh pages are made usable 64 KiB at a time

// Only the flags Windows defines for these calls (GMEM_VALID_FLAGS).
constexpr UINT kValidFlags = 0x7F72;

uintptr_t RoundUp(uintptr_t value, uintptr_t unit) { return (value + unit - 1) / unit * unit; }

// Blocks go one after another from a cursor that runs front to back through
// the arena and then starts again at the front; a small block never crosses
// a page, a block of a page or more starts on one. On its next round the
// cursor takes only pages that no live block holds.
class Arena {
public:
    DWORD Allocate(SIZE_T bytes, void *&block) {
        std::lock_guard guard(lock_);
        if (!base_ && !Reserve())
            return ERROR_NOT_ENOUGH_MEMORY;
        if (bytes > span_ / 2)
            return ERROR_NOT_ENOUGH_MEMORY;
        uintptr_t size = RoundUp(bytes ? bytes : 1, kAlign);
        uintptr_t at = 0;
        if (!Place(size, at))
            return ERROR_NOT_ENOUGH_MEMORY;
        try {
            live_.emplace(at, bytes);
        } catch (const std::bad_alloc &) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        for (uintptr_t page = PageOf(at); page <= PageOf(at + size - 1); ++page)
            ++users_[page];
        cursor_ = at + size;
        block = reinterpret_cast<void *>(at);
        HEAP_UNPOISON(block, bytes);
        HEAP_POISON(reinterpret_cast<char *>(block) + bytes, size - bytes);  // the rounding is no one's
        VALGRIND_MALLOCLIKE_BLOCK(block, bytes, 0, 1);
        return ERROR_SUCCESS;
    }

    DWORD Release(void *block) {
        std::lock_guard guard(lock_);
        auto it = live_.find(reinterpret_cast<uintptr_t>(block));
        if (it == live_.end())
            return ERROR_INVALID_HANDLE;
        uintptr_t at = it->first;
        uintptr_t size = RoundUp(it->second ? it->second : 1, kAlign);
        live_.erase(it);
        VALGRIND_FREELIKE_BLOCK(block, 0);
        HEAP_POISON(block, size);
        for (uintptr_t page = PageOf(at); page <= PageOf(at + size - 1); ++page) {
            if (--users_[page] == 0 && !IsCursorPage(page))
                Retire(page);
        }
        return ERROR_SUCCESS;
    }

private:
    // A hint, never MAP_FIXED: what is mapped there stays, and the next place is tried.
    bool Reserve() {
        page_ = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        for (uintptr_t span = kLargestSpan; span >= kSmallestSpan; span /= 2) {
            for (uintptr_t hint = kLowestStart; hint + span <= kCeiling; hint += span / 2) {
                void *p = mmap(reinterpret_cast<void *>(hint), span, PROT_NONE,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
                if (p == MAP_FAILED)
                    return false;
                uintptr_t at = reinterpret_cast<uintptr_t>(p);
                if (at + span <= kCeiling) {
                    // The count table is mapped, not filled: its pages are
                    // touched only as blocks reach that part of the arena.
                    void *table = mmap(nullptr, span / page_ * sizeof(uint32_t), PROT_READ | PROT_WRITE,
                                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
                    if (table == MAP_FAILED) {
                        munmap(p, span);
                        return false;
                    }
                    users_ = static_cast<uint32_t *>(table);
                    base_ = cursor_ = committed_ = at;
                    span_ = span;
                    return true;
                }
                munmap(p, span);
            }
        }
        return false;
    }

    uintptr_t Pages() const { return span_ / page_; }
    uintptr_t PageOf(uintptr_t address) const { return (address - base_) / page_; }
    uintptr_t PageStart(uintptr_t page) const { return base_ + page * page_; }

    // The page small blocks are being cut from; it stays until the cursor leaves it.
    bool IsCursorPage(uintptr_t page) const { return cursor_ % page_ != 0 && PageOf(cursor_) == page; }

    // Gives a page back to the system; an access to it faults from now on.
    void Retire(uintptr_t page) {
        void *start = reinterpret_cast<void *>(PageStart(page));
        madvise(start, page_, MADV_DONTNEED);
        mprotect(start, page_, PROT_NONE);
    }

    void LeaveCursorPage() {
        if (cursor_ % page_ == 0)
            return;
        uintptr_t page = PageOf(cursor_);
        cursor_ = PageStart(page + 1);
        if (users_[page] == 0)
            Retire(page);
    }

    bool Place(uintptr_t size, uintptr_t &at) {
        if (size < page_ && cursor_ % page_ != 0 && cursor_ % page_ + size <= page_) {
            at = cursor_;
            return true;
        }
        LeaveCursorPage();
        // The first run of free pages from the cursor on, going round at most once.
        const uintptr_t need = RoundUp(size, page_) / page_;
        uintptr_t page = PageOf(cursor_);
        uintptr_t run = 0;
        for (uintptr_t looked = 0; looked <= Pages() + need; ++looked, ++page) {
            if (page == Pages()) {
                page = 0;
                run = 0;
                ++round_;
            }
            run = users_[page] == 0 ? run + 1 : 0;
            if (run == need) {
                uintptr_t first = page + 1 - need;
                if (!Commit(first, need))
                    return false;
                at = PageStart(first);
                return true;
            }
        }
        return false;
    }

    // Pages past the high-water mark are made usable in steps; on later
    // rounds a retired page is made usable again.
    bool Commit(uintptr_t first, uintptr_t count) {
        for (uintptr_t page = first; page < first + count; ++page) {
            uintptr_t start = PageStart(page);
            if (start >= committed_) {
                uintptr_t step = RoundUp(start + 1, kCommitStep);
                if (step > base_ + span_)
                    step = base_ + span_;
                if (mprotect(reinterpret_cast<void *>(committed_), step - committed_, PROT_READ | PROT_WRITE) != 0)
                    return false;
                committed_ = step;
            } else if (round_ > 0) {
                if (mprotect(reinterpret_cast<void *>(start), page_, PROT_READ | PROT_WRITE) != 0)
                    return false;
            }
        }
        return true;
    }

    std::mutex lock_;
    uintptr_t page_ = 4096;
    uintptr_t base_ = 0;
    uintptr_t span_ = 0;
    uintptr_t cursor_ = 0;     // where the next block may go
    uintptr_t committed_ = 0;  // every page below was usable at least once
    unsigned round_ = 0;       // how often the cursor went round
    uint32_t *users_ = nullptr;                   // live blocks on each page
    std::unordered_map<uintptr_t, SIZE_T> live_;  // address -> bytes asked for
};

Arena &arena() {
    static Arena *a = new Arena;  // never destroyed: blocks are freed during process exit too
    return *a;
}

DWORD Allocate(UINT flags, SIZE_T bytes, void *&block) {
    if (flags & ~kValidFlags) return ERROR_INVALID_PARAMETER;
    if (flags & GMEM_MOVEABLE) return ERROR_CALL_NOT_IMPLEMENTED;  // no handle table for movable blocks
    // A page that comes to the arena fresh, or back after it was retired, is zero.
    return arena().Allocate(bytes, block);
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    void* block = nullptr;
    if (DWORD err = Allocate(flags, bytes, block)) {
        SetLastError(err);
        return nullptr;
    }
    return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
    if (!memory) return nullptr;
    if (DWORD err = arena().Release(memory)) {
        SetLastError(err);
        return memory;
    }
    return nullptr;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) { return GlobalAlloc(flags, bytes); }

HLOCAL WINAPI LocalFree(HLOCAL memory) { return GlobalFree(memory); }
