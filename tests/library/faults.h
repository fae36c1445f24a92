// Allocation faults for the library code linked into the unit tests: the
// definitions in faults.cpp stand in front of kernel32's GlobalAlloc,
// GlobalFree and VirtualAlloc and pass every call they do not fail on to it.
#pragma once

#include <windows.h>

#include <cstddef>

namespace faults {

void Reset();
// The nth GlobalAlloc from now fails with ERROR_NOT_ENOUGH_MEMORY.
void FailGlobalAlloc(unsigned nth);
// The nth VirtualAlloc of this type (MEM_RESERVE or MEM_COMMIT) from now fails.
void FailVirtualAlloc(unsigned nth, DWORD type, DWORD error = ERROR_NOT_ENOUGH_MEMORY);
unsigned GlobalAllocCalls();
// VirtualAlloc calls of this type (MEM_RESERVE or MEM_COMMIT) so far.
unsigned VirtualAllocCalls(DWORD type);
// Blocks from GlobalAlloc not yet given back with GlobalFree.
std::size_t LiveBlocks();

} // namespace faults
