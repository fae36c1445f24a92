#include "faults.h"

#include <dlfcn.h>

#include <mutex>
#include <set>

namespace {

struct Faults {
    std::mutex lock;
    unsigned globalCalls = 0;
    unsigned failGlobalAt = 0;
    unsigned reserveCalls = 0, commitCalls = 0;
    unsigned failReserveAt = 0, failCommitAt = 0;
    DWORD virtualError = ERROR_NOT_ENOUGH_MEMORY;
    std::set<HGLOBAL> live;
};

Faults &F()
{
    static Faults f;
    return f;
}

template <class Fn> Fn Next(const char *name) { return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name)); }

} // namespace

namespace faults {

void Reset()
{
    std::lock_guard guard(F().lock);
    F().globalCalls = F().failGlobalAt = 0;
    F().reserveCalls = F().commitCalls = F().failReserveAt = F().failCommitAt = 0;
    F().live.clear();
}

void FailGlobalAlloc(unsigned nth)
{
    std::lock_guard guard(F().lock);
    F().failGlobalAt = F().globalCalls + nth;
}

void FailVirtualAlloc(unsigned nth, DWORD type, DWORD error)
{
    std::lock_guard guard(F().lock);
    F().virtualError = error;
    if (type == MEM_RESERVE)
        F().failReserveAt = F().reserveCalls + nth;
    else
        F().failCommitAt = F().commitCalls + nth;
}

unsigned GlobalAllocCalls()
{
    std::lock_guard guard(F().lock);
    return F().globalCalls;
}

unsigned VirtualAllocCalls(DWORD type)
{
    std::lock_guard guard(F().lock);
    return type == MEM_RESERVE ? F().reserveCalls : F().commitCalls;
}

std::size_t LiveBlocks()
{
    std::lock_guard guard(F().lock);
    return F().live.size();
}

} // namespace faults

extern "C" HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes)
{
    static auto real = Next<HGLOBAL(WINAPI *)(UINT, SIZE_T)>("GlobalAlloc");
    {
        std::lock_guard guard(F().lock);
        if (++F().globalCalls == F().failGlobalAt) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    HGLOBAL block = real(flags, bytes);
    std::lock_guard guard(F().lock);
    if (block)
        F().live.insert(block);
    return block;
}

extern "C" HGLOBAL WINAPI GlobalFree(HGLOBAL block)
{
    static auto real = Next<HGLOBAL(WINAPI *)(HGLOBAL)>("GlobalFree");
    {
        std::lock_guard guard(F().lock);
        F().live.erase(block);
    }
    return real(block);
}

extern "C" LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect)
{
    static auto real = Next<LPVOID(WINAPI *)(LPVOID, SIZE_T, DWORD, DWORD)>("VirtualAlloc");
    {
        std::lock_guard guard(F().lock);
        bool fail = false;
        if (type & MEM_RESERVE)
            fail = ++F().reserveCalls == F().failReserveAt;
        else if (type & MEM_COMMIT)
            fail = ++F().commitCalls == F().failCommitAt;
        if (fail) {
            SetLastError(F().virtualError);
            return nullptr;
        }
    }
    return real(address, size, type, protect);
}
