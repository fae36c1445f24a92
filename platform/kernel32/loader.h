// What the thread functions need of the loader.
#ifndef KERNEL32_LOADER_H
#define KERNEL32_LOADER_H

#include <windows.h>

namespace kernel32 {

// DLL_THREAD_ATTACH or DLL_THREAD_DETACH to every loaded module with an entry
// point that has not switched thread notifications off.
void NotifyThread(DWORD reason);

}  // namespace kernel32

#endif
