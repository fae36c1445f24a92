// CreateThread and the thread object: a new thread tells the loaded modules
// of its start and its end (DLL_THREAD_ATTACH, DLL_THREAD_DETACH).
#include "threads.h"

#include "handles.h"
#include "loader.h"

#include <string>

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kernel32 {
namespace {

class Thread : public KernelObject {
  public:
    Thread(LPTHREAD_START_ROUTINE start, LPVOID parameter) : start_(start), parameter_(parameter) {}

    DWORD Wait(DWORD milliseconds) override {
        std::unique_lock hold(lock_);
        if (milliseconds == INFINITE) changed_.wait(hold, [&] { return done_; });
        else changed_.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] { return done_; });
        return done_ ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    DWORD ThreadId() const override {
        std::lock_guard hold(lock_);
        return id_;
    }
    DWORD ExitCode() {
        std::lock_guard hold(lock_);
        return done_ ? exitCode_ : STILL_ACTIVE;
    }
    DWORD WaitForId() {
        std::unique_lock hold(lock_);
        changed_.wait(hold, [&] { return id_ != 0; });
        return id_;
    }
    void Run() {
        {
            std::lock_guard hold(lock_);
            id_ = static_cast<DWORD>(syscall(SYS_gettid));
        }
        changed_.notify_all();
        NotifyThread(DLL_THREAD_ATTACH);
        DWORD code = start_(parameter_);
        NotifyThread(DLL_THREAD_DETACH);
        {
            std::lock_guard hold(lock_);
            exitCode_ = code;
            done_ = true;
        }
        changed_.notify_all();
    }

  private:
    LPTHREAD_START_ROUTINE start_;
    LPVOID parameter_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    DWORD id_ = 0;
    DWORD exitCode_ = STILL_ACTIVE;
    bool done_ = false;
};

// A thread OpenThread found by its id: it names the thread, nothing more
// (it cannot be waited on; only CreateThread's handles can).
class ThreadReference : public KernelObject {
  public:
    explicit ThreadReference(DWORD id) : id_(id) {}
    DWORD ThreadId() const override { return id_; }

  private:
    const DWORD id_;
};

bool IsThreadOfThisProcess(DWORD id) {
    return id != 0 && access(("/proc/self/task/" + std::to_string(id)).c_str(), F_OK) == 0;
}

void* ThreadMain(void* arg) {
    std::shared_ptr<Thread> self(std::move(*static_cast<std::shared_ptr<Thread>*>(arg)));
    delete static_cast<std::shared_ptr<Thread>*>(arg);
    self->Run();
    return nullptr;
}

DWORD Create(SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, HANDLE& handle,
             DWORD& id) {
    if (!start) return ERROR_INVALID_PARAMETER;
    if (flags & CREATE_SUSPENDED) return ERROR_CALL_NOT_IMPLEMENTED;  // no ResumeThread for threads yet
    auto thread = std::make_shared<Thread>(start, parameter);
    handle = AddHandle(thread);
    if (!handle) return ERROR_NOT_ENOUGH_MEMORY;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize) {
        long page = sysconf(_SC_PAGESIZE);
        SIZE_T size = (stackSize + static_cast<SIZE_T>(page) - 1) & ~static_cast<SIZE_T>(page - 1);
        if (size < static_cast<SIZE_T>(PTHREAD_STACK_MIN)) size = static_cast<SIZE_T>(PTHREAD_STACK_MIN);
        pthread_attr_setstacksize(&attributes, size);
    }
    auto* arg = new std::shared_ptr<Thread>(thread);
    pthread_t posix;
    int rc = pthread_create(&posix, &attributes, ThreadMain, arg);
    pthread_attr_destroy(&attributes);
    if (rc != 0) {
        delete arg;
        RemoveHandle(handle);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    id = thread->WaitForId();
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ThreadIdOf(HANDLE handle, DWORD& id) {
    if (handle == GetCurrentThread()) {
        id = static_cast<DWORD>(syscall(SYS_gettid));
        return ERROR_SUCCESS;
    }
    std::shared_ptr<KernelObject> object = LookUpHandle(handle);
    id = object ? object->ThreadId() : 0;
    return id ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace kernel32

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                           DWORD creationFlags, LPDWORD threadId) {
    HANDLE handle = nullptr;
    DWORD id = 0;
    DWORD err;
    try {
        err = kernel32::Create(stackSize, start, parameter, creationFlags, handle, id);
    } catch (...) {
        err = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (err) {
        SetLastError(err);
        return nullptr;
    }
    if (threadId) *threadId = id;
    return handle;
}

BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    auto object = std::dynamic_pointer_cast<kernel32::Thread>(kernel32::LookUpHandle(thread));
    if (!object || !exitCode) {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *exitCode = object->ExitCode();
    return TRUE;
}

DWORD WINAPI GetCurrentThreadId(void) { return static_cast<DWORD>(syscall(SYS_gettid)); }

HANDLE WINAPI OpenThread(DWORD, BOOL, DWORD threadId) {
    if (!kernel32::IsThreadOfThisProcess(threadId)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HANDLE handle = nullptr;
    try {
        handle = kernel32::AddHandle(std::make_shared<kernel32::ThreadReference>(threadId));
    } catch (...) {
    }
    if (!handle) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}
