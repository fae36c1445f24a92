// Loaded with LD_PRELOAD in front of kernel32.dll for torture runs of whole
// scripts: counts GlobalAlloc and VirtualAlloc calls, and makes one fail as a
// system out of memory would. The environment says which (as the runner's
// own torture mode does for host services):
//
//   TORTURE_FAULT="GlobalAlloc N"                     the Nth GlobalAlloc fails
//   TORTURE_FAULT="VirtualAllocReserve N"             the Nth reservation fails
//   TORTURE_FAULT="VirtualAllocCommit N"              the Nth commit fails
//   TORTURE_COUNTS=FILE                               the counts, appended at exit
#include <windows.h>

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum Kind { kGlobal, kReserve, kCommit, kKinds };
const char *const kNames[kKinds] = {"GlobalAlloc", "VirtualAllocReserve", "VirtualAllocCommit"};

std::atomic<unsigned> calls[kKinds];
int failing = -1;
unsigned nth = 0;
const char *countsFile = nullptr;

void WriteCounts()
{
    FILE *out = std::fopen(countsFile, "a");
    if (!out)
        return;
    for (int k = 0; k < kKinds; k++)
        std::fprintf(out, "%s %u\n", kNames[k], calls[k].load());
    std::fclose(out);
}

__attribute__((constructor)) void Configure()
{
    if (const char *fault = std::getenv("TORTURE_FAULT")) {
        char name[64] = {};
        if (std::sscanf(fault, "%63s %u", name, &nth) == 2)
            for (int k = 0; k < kKinds; k++)
                if (std::strcmp(name, kNames[k]) == 0)
                    failing = k;
    }
    countsFile = std::getenv("TORTURE_COUNTS");
    if (countsFile)
        std::atexit(WriteCounts);
}

// The nth call of this kind: fail it?
bool Fails(Kind kind) { return ++calls[kind] == nth && failing == kind; }

template <class Fn> Fn Next(const char *name) { return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name)); }

} // namespace

extern "C" __attribute__((visibility("default"))) HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes)
{
    static auto real = Next<HGLOBAL(WINAPI *)(UINT, SIZE_T)>("GlobalAlloc");
    if (Fails(kGlobal)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return real(flags, bytes);
}

extern "C" __attribute__((visibility("default"))) LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD type,
                                                                             DWORD protect)
{
    static auto real = Next<LPVOID(WINAPI *)(LPVOID, SIZE_T, DWORD, DWORD)>("VirtualAlloc");
    if (((type & MEM_RESERVE) && Fails(kReserve)) || (!(type & MEM_RESERVE) && (type & MEM_COMMIT) && Fails(kCommit))) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return real(address, size, type, protect);
}
