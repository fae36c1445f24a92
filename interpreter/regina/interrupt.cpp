// Ctrl-C during a library call: the signal handler only notes it and wakes
// the watch thread through a pipe; the watch thread cancels the calling
// thread's waits, again every few milliseconds until the call returns, so a
// wait that begins after the first cancel (the next WinINet call of the same
// library call) ends too.
#include "interrupt.h"

#include <windows.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace halvorin::runner {
namespace {

constexpr char kInterrupt = 'i';
constexpr char kStop = 'q';
constexpr auto kCancelAgain = std::chrono::milliseconds(10);

struct Watch {
    int pipe[2] = {-1, -1};
    std::thread thread;
    std::mutex lock;
    std::condition_variable changed;
    bool inCall = false;          // guarded by lock
    HANDLE caller = nullptr;      // the calling thread, for CancelSynchronousIo; guarded by lock
    DWORD callerId = 0;
    struct sigaction saved {};    // the handler the call replaced
};

Watch &watch() {
    static Watch *w = new Watch; // never destroyed: a late signal must find it
    return *w;
}

// Set by the handler, read by the call; lock-free, so safe in a signal handler.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int) {
    int saved = errno;
    interrupted.store(true);
    char byte = kInterrupt;
    ssize_t written = write(watch().pipe[1], &byte, 1);
    (void)written; // a full pipe already holds a wake-up
    errno = saved;
}

void CancelUntilTheCallEnds() {
    Watch &w = watch();
    std::unique_lock hold(w.lock);
    while (w.inCall && interrupted.load()) {
        CancelSynchronousIo(w.caller); // ERROR_NOT_FOUND between two waits: tried again
        w.changed.wait_for(hold, kCancelAgain);
    }
}

void Run() {
    Watch &w = watch();
    for (;;) {
        char byte = 0;
        ssize_t n = read(w.pipe[0], &byte, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || byte == kStop)
            return;
        CancelUntilTheCallEnds();
    }
}

} // namespace

void StartInterruptWatch() {
    Watch &w = watch();
    if (w.thread.joinable())
        return;
    if (w.pipe[0] < 0 && pipe2(w.pipe, O_CLOEXEC) != 0) {
        w.pipe[0] = w.pipe[1] = -1;
        return;
    }
    // The handler's write must never block the thread it interrupts.
    fcntl(w.pipe[1], F_SETFL, fcntl(w.pipe[1], F_GETFL) | O_NONBLOCK);
    // The watch thread takes no signals: they belong to the script's thread.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    try {
        w.thread = std::thread(Run);
    } catch (...) {
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void StopInterruptWatch() {
    Watch &w = watch();
    if (!w.thread.joinable())
        return;
    char byte = kStop;
    while (write(w.pipe[1], &byte, 1) < 0 && errno == EINTR) {
    }
    w.thread.join();
    std::lock_guard hold(w.lock);
    if (w.caller)
        CloseHandle(w.caller);
    w.caller = nullptr;
    w.callerId = 0;
}

InterruptibleCall::InterruptibleCall() {
    Watch &w = watch();
    interrupted.store(false);
    if (!w.thread.joinable())
        return;
    struct sigaction current {};
    if (sigaction(SIGINT, nullptr, &current) != 0)
        return;
    bool handled = (current.sa_flags & SA_SIGINFO) ? current.sa_sigaction != nullptr
                                                   : current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN;
    if (!handled)
        return;
    {
        std::lock_guard hold(w.lock);
        DWORD id = GetCurrentThreadId();
        if (w.callerId != id) {
            if (w.caller)
                CloseHandle(w.caller);
            w.caller = OpenThread(THREAD_TERMINATE, FALSE, id);
            w.callerId = w.caller ? id : 0;
        }
        if (!w.caller)
            return;
        w.inCall = true;
    }
    struct sigaction ours {};
    ours.sa_handler = OnInterrupt;
    sigemptyset(&ours.sa_mask);
    ours.sa_flags = SA_RESTART;
    if (sigaction(SIGINT, &ours, &w.saved) != 0) {
        std::lock_guard hold(w.lock);
        w.inCall = false;
        return;
    }
    installed_ = true;
}

InterruptibleCall::~InterruptibleCall() {
    if (!installed_)
        return;
    Watch &w = watch();
    sigaction(SIGINT, &w.saved, nullptr);
    {
        std::lock_guard hold(w.lock);
        w.inCall = false;
    }
    w.changed.notify_all();
}

bool InterruptibleCall::Interrupted() const { return installed_ && interrupted.load(); }

} // namespace halvorin::runner
