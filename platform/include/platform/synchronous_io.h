// Platform-private, exported by kernel32.dll for the other stand-ins: the
// blocking calls a thread makes (WinINet's network waits), so that
// CancelSynchronousIo from another thread can end them, as it ends a
// thread's synchronous I/O on Windows.
//
// A stand-in brackets each wait with BeginSynchronousIo and EndSynchronousIo
// (they nest), watches the descriptor Begin returns with poll() beside its
// own, and gives up with its "cancelled" error once SynchronousIoCancelled()
// says so. A cancel lasts until the outermost End; one that comes while the
// thread waits on nothing finds nothing to cancel (ERROR_NOT_FOUND).
#ifndef PLATFORM_SYNCHRONOUS_IO_H
#define PLATFORM_SYNCHRONOUS_IO_H

#include <platform/errors.h>

namespace platform {

// Marks the calling thread as waiting; returns a descriptor that is readable
// once the wait is cancelled, or -1 when none could be made (then only
// SynchronousIoCancelled tells).
PLATFORM_API int BeginSynchronousIo();
// Whether CancelSynchronousIo named the calling thread during its wait.
PLATFORM_API bool SynchronousIoCancelled();
PLATFORM_API void EndSynchronousIo();

}  // namespace platform

#endif
