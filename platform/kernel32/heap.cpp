// GlobalAlloc/LocalAlloc: fixed blocks from the C heap. The live blocks are
// kept in a set so that a stale or foreign pointer is refused, not freed.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

namespace {

// Nothing this system asks for comes near it; refusing early keeps the
// allocators (and the sanitizers' ones) from being asked for absurd sizes.
constexpr SIZE_T kLargestBlock = SIZE_T{1} << 40;

// Only the flags Windows defines for these calls (GMEM_VALID_FLAGS).
constexpr UINT kValidFlags = 0x7F72;

struct Blocks {
    std::mutex lock;
    std::unordered_set<void*> live;
};
Blocks& blocks() {
    static Blocks* b = new Blocks;  // never destroyed: blocks are freed during process exit too
    return *b;
}

DWORD Allocate(UINT flags, SIZE_T bytes, void*& block) {
    if (flags & ~kValidFlags) return ERROR_INVALID_PARAMETER;
    if (flags & GMEM_MOVEABLE) return ERROR_CALL_NOT_IMPLEMENTED;  // no handle table for movable blocks
    if (bytes > kLargestBlock) return ERROR_NOT_ENOUGH_MEMORY;
    void* p = (flags & GMEM_ZEROINIT) ? calloc(1, bytes ? bytes : 1) : malloc(bytes ? bytes : 1);
    if (!p) return ERROR_NOT_ENOUGH_MEMORY;
    try {
        std::lock_guard guard(blocks().lock);
        blocks().live.insert(p);
    } catch (const std::bad_alloc&) {
        free(p);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    block = p;
    return ERROR_SUCCESS;
}

DWORD Release(void* block) {
    {
        std::lock_guard guard(blocks().lock);
        if (blocks().live.erase(block) == 0) return ERROR_INVALID_HANDLE;
    }
    free(block);
    return ERROR_SUCCESS;
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
    if (DWORD err = Release(memory)) {
        SetLastError(err);
        return memory;
    }
    return nullptr;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) { return GlobalAlloc(flags, bytes); }

HLOCAL WINAPI LocalFree(HLOCAL memory) { return GlobalFree(memory); }
