// The runner's allocator: blocks of 1 MiB and more (a whole download as Regina
// copies it into a variable, and every copy Regina makes of such a value) get
// a 2 MiB aligned mapping of their own on transparent huge pages; everything
// smaller goes to glibc's malloc. A fresh 4 KiB page costs a fault on first
// touch, which on virtual machines dominates copying a large value; a huge
// page costs one fault per 2 MiB. glibc itself puts large blocks on plain
// pages, and its huge page tunable is read only at start-up from the
// environment.
//
// This replaces malloc the way glibc documents it ("Replacing malloc"): the
// program defines malloc, free, calloc, realloc and the rest, and every
// library in the process, libc included, calls them. Builds with the
// sanitizers leave this file out: their allocators must see every block.
#include <sys/mman.h>

#include <dlfcn.h>
#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <atomic>

extern "C" {
void *__libc_malloc(size_t);
void __libc_free(void *);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void *__libc_valloc(size_t);
void *__libc_pvalloc(size_t);
}

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kLarge = kHugePage / 2;
constexpr size_t kSlots = 256;

// The live large blocks: few at any time. A block's address is a huge-page
// boundary, so other pointers are told apart without a look at the table.
struct Slot {
    void *block;
    size_t size; // of the mapping
};
Slot slots[kSlots];
std::atomic_flag busy = ATOMIC_FLAG_INIT;

struct Hold {
    Hold()
    {
        while (busy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~Hold() { busy.clear(std::memory_order_release); }
};

bool MaybeLarge(const void *p) { return p && (reinterpret_cast<uintptr_t>(p) & (kHugePage - 1)) == 0; }

// The mapping size of a large block, or 0 when p is not one (with `forget`, it stops being one).
size_t Lookup(const void *p, bool forget)
{
    if (!MaybeLarge(p))
        return 0;
    Hold hold;
    for (Slot &s : slots)
        if (s.block == p) {
            size_t size = s.size;
            if (forget)
                s = Slot{};
            return size;
        }
    return 0;
}

// The last large block freed, kept for the next one: memory the process
// already has is much cheaper to fill than fresh pages, and a large value is
// commonly copied out of one block into the next (Regina copies an argument
// the host string just freed made room for). At most one is kept.
Slot spare;

Slot TakeSpare()
{
    Hold hold;
    Slot s = spare;
    spare = Slot{};
    return s;
}

// Huge pages for the whole 2 MiB pieces, and for a last piece of half a huge
// page or more: a block just over a multiple of 2 MiB (a value and its
// header) ends in a few small pages instead of a whole huge page more, while
// a block of 1 to 2 MiB costs one fault instead of hundreds.
void AskForHugePages(void *block, size_t bytes, size_t size)
{
    size_t tail = bytes % kHugePage;
    madvise(block, tail >= kLarge ? size : bytes - tail, MADV_HUGEPAGE);
}

// A block on huge pages, zero-filled when `zeroed`; null when no slot or
// mapping is free (glibc then serves).
void *MapLarge(size_t bytes, bool zeroed)
{
    if (bytes > SIZE_MAX / 2)
        return nullptr;
    size_t size = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    Slot kept = TakeSpare();
    if (kept.block && kept.size >= size) {
        // Trimmed to the size asked for, so that it holds no more memory than a fresh one.
        if (kept.size > size)
            munmap(static_cast<char *>(kept.block) + size, kept.size - size);
        AskForHugePages(kept.block, bytes, size);
        if (zeroed)
            memset(kept.block, 0, bytes);
        Hold hold;
        for (Slot &s : slots)
            if (!s.block) {
                s = Slot{kept.block, size};
                return kept.block;
            }
        kept.size = size;
    }
    // Too small for this one (or no slot): given back before new memory is taken.
    if (kept.block)
        munmap(kept.block, kept.size);
    void *p = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(p);
    uintptr_t base = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (base > start)
        munmap(p, base - start);
    if (start + size + kHugePage > base + size)
        munmap(reinterpret_cast<void *>(base + size), start + size + kHugePage - (base + size));
    void *block = reinterpret_cast<void *>(base);
    AskForHugePages(block, bytes, size);
    {
        Hold hold;
        for (Slot &s : slots)
            if (!s.block) {
                s = Slot{block, size};
                return block;
            }
    }
    munmap(block, size);
    return nullptr;
}

using UsableSize = size_t (*)(void *);
std::atomic<UsableSize> libcUsableSize{nullptr};

size_t ForeignUsableSize(void *p)
{
    UsableSize f = libcUsableSize.load(std::memory_order_relaxed);
    if (!f) {
        f = reinterpret_cast<UsableSize>(dlsym(RTLD_NEXT, "malloc_usable_size"));
        if (!f)
            return 0;
        libcUsableSize.store(f, std::memory_order_relaxed);
    }
    return f(p);
}

} // namespace

extern "C" {

void *malloc(size_t bytes)
{
    if (bytes >= kLarge)
        if (void *p = MapLarge(bytes, false))
            return p;
    return __libc_malloc(bytes);
}

void free(void *p)
{
    if (size_t size = Lookup(p, true)) {
        Slot old;
        {
            Hold hold;
            old = spare;
            spare = Slot{p, size};
        }
        if (old.block)
            munmap(old.block, old.size);
        return;
    }
    __libc_free(p);
}

void *calloc(size_t count, size_t size)
{
    size_t bytes;
    if (__builtin_mul_overflow(count, size, &bytes)) {
        errno = ENOMEM;
        return nullptr;
    }
    if (bytes >= kLarge)
        if (void *p = MapLarge(bytes, true))
            return p;
    return __libc_calloc(count, size);
}

void *realloc(void *p, size_t bytes)
{
    size_t had = Lookup(p, false);
    if (!had) {
        if (!p || bytes < kLarge)
            return __libc_realloc(p, bytes);
        // Growing into a large block: onto huge pages.
        void *grown = MapLarge(bytes, false);
        if (!grown)
            return __libc_realloc(p, bytes);
        size_t keep = ForeignUsableSize(p);
        memcpy(grown, p, keep < bytes ? keep : bytes);
        __libc_free(p);
        return grown;
    }
    if (bytes == 0) {
        free(p);
        return nullptr;
    }
    if (bytes <= had && bytes >= kLarge)
        return p;
    void *moved = malloc(bytes);
    if (!moved)
        return nullptr;
    memcpy(moved, p, had < bytes ? had : bytes);
    free(p);
    return moved;
}

size_t malloc_usable_size(void *p)
{
    if (!p)
        return 0;
    if (size_t size = Lookup(p, false))
        return size;
    return ForeignUsableSize(p);
}

// Aligned blocks stay with glibc; free tells them apart by the table.
void *memalign(size_t alignment, size_t bytes) { return __libc_memalign(alignment, bytes); }

void *aligned_alloc(size_t alignment, size_t bytes) { return __libc_memalign(alignment, bytes); }

int posix_memalign(void **out, size_t alignment, size_t bytes)
{
    if (alignment < sizeof(void *) || (alignment & (alignment - 1)))
        return EINVAL;
    void *p = __libc_memalign(alignment, bytes);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}

void *valloc(size_t bytes) { return __libc_valloc(bytes); }

void *pvalloc(size_t bytes) { return __libc_pvalloc(bytes); }

} // extern "C"
