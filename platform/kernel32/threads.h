// Threads as kernel objects, for the other parts of kernel32.
#ifndef KERNEL32_THREADS_H
#define KERNEL32_THREADS_H

#include <windows.h>

namespace kernel32 {

// The id of the thread a handle stands for (GetCurrentThread's pseudo
// handle included); ERROR_INVALID_HANDLE when it stands for none.
DWORD ThreadIdOf(HANDLE handle, DWORD &id);

}  // namespace kernel32

#endif
