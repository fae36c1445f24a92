// The waits of each thread that CancelSynchronousIo can end. A thread's
// record lives as long as the thread; the registry maps thread ids to the
// records of threads that have waited, so another thread can find them.
#include "threads.h"

#include <platform/synchronous_io.h>

#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace kernel32 {
namespace {

struct Waits {
    DWORD thread = 0;
    int wake = -1;  // eventfd, readable while a cancel is pending
    int depth = 0;  // nested Begin calls; written by the thread, read under the registry lock
    std::atomic<bool> cancelled{false};
};

struct Registry {
    std::mutex lock;
    std::unordered_map<DWORD, Waits*> threads;
};
Registry& registry() {
    static Registry* r = new Registry;  // never destroyed: threads may end after exit starts
    return *r;
}

void Drain(int fd) {
    uint64_t count;
    while (read(fd, &count, sizeof count) > 0) {
    }
}

// The calling thread's record, entered in the registry on first use and
// taken out when the thread ends.
struct Local {
    Waits waits;
    bool registered = false;
    ~Local() {
        if (registered) {
            std::lock_guard hold(registry().lock);
            registry().threads.erase(waits.thread);
        }
        if (waits.wake >= 0) close(waits.wake);
    }
    Waits& Get() {
        if (!registered) {
            waits.thread = static_cast<DWORD>(syscall(SYS_gettid));
            waits.wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
            try {
                std::lock_guard hold(registry().lock);
                registry().threads[waits.thread] = &waits;
                registered = true;
            } catch (...) {
                // Not findable: its waits cannot be cancelled, and run as before.
            }
        }
        return waits;
    }
};
thread_local Local local;

}  // namespace
}  // namespace kernel32

namespace platform {

int BeginSynchronousIo() {
    kernel32::Waits& w = kernel32::local.Get();
    std::lock_guard hold(kernel32::registry().lock);
    if (w.depth++ == 0) {
        w.cancelled = false;
        if (w.wake >= 0) kernel32::Drain(w.wake);
    }
    return w.wake;
}

bool SynchronousIoCancelled() { return kernel32::local.waits.cancelled.load(); }

void EndSynchronousIo() {
    kernel32::Waits& w = kernel32::local.waits;
    std::lock_guard hold(kernel32::registry().lock);
    if (w.depth > 0 && --w.depth == 0) {
        w.cancelled = false;
        if (w.wake >= 0) kernel32::Drain(w.wake);
    }
}

}  // namespace platform

BOOL WINAPI CancelSynchronousIo(HANDLE thread) {
    DWORD id = 0;
    if (DWORD err = kernel32::ThreadIdOf(thread, id)) {
        SetLastError(err);
        return FALSE;
    }
    std::lock_guard hold(kernel32::registry().lock);
    auto it = kernel32::registry().threads.find(id);
    if (it == kernel32::registry().threads.end() || it->second->depth == 0) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    kernel32::Waits& w = *it->second;
    w.cancelled = true;
    if (w.wake >= 0) {
        uint64_t one = 1;
        ssize_t written = write(w.wake, &one, sizeof one);
        (void)written;  // a full counter is readable already
    }
    return TRUE;
}
