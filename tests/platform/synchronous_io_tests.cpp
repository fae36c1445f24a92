// CancelSynchronousIo and the waits the stand-ins mark for it; OpenThread.
#include <windows.h>

#include <platform/synchronous_io.h>

#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct Waiter {
    std::atomic<DWORD> id{0};
    std::atomic<bool> waiting{false};
    std::atomic<bool> woken{false};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> clearedAfterEnd{false};
};

// Waits on the cancel descriptor, up to 10 s, the way a stand-in waits.
DWORD WINAPI WaitToBeCancelled(LPVOID parameter) {
    Waiter* w = static_cast<Waiter*>(parameter);
    w->id = GetCurrentThreadId();
    int fd = platform::BeginSynchronousIo();
    w->waiting = true;
    pollfd p{fd, POLLIN, 0};
    w->woken = poll(&p, 1, 10000) == 1;
    w->cancelled = platform::SynchronousIoCancelled();
    platform::EndSynchronousIo();
    w->clearedAfterEnd = !platform::SynchronousIoCancelled();
    return 0;
}

TEST(SynchronousIo, NothingToCancel) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CancelSynchronousIo(GetCurrentThread()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CancelSynchronousIo(reinterpret_cast<HANDLE>(0x12345678)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CancelSynchronousIo(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(SynchronousIo, OpenThreadFindsThreadsOfThisProcessOnly) {
    HANDLE self = OpenThread(THREAD_TERMINATE, FALSE, GetCurrentThreadId());
    ASSERT_NE(self, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CancelSynchronousIo(self));  // this thread waits on nothing now
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
    EXPECT_TRUE(CloseHandle(self));
    for (DWORD id : {0u, 1u, 0x7fffffffu}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(OpenThread(THREAD_ALL_ACCESS, FALSE, id), nullptr) << id;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << id;
    }
}

TEST(SynchronousIo, AnotherThreadEndsTheWait) {
    // Through CreateThread's handle, and through one OpenThread gives.
    for (bool opened : {false, true}) {
        Waiter w;
        DWORD id = 0;
        HANDLE thread = CreateThread(nullptr, 0, WaitToBeCancelled, &w, 0, &id);
        ASSERT_NE(thread, nullptr);
        HANDLE target = opened ? OpenThread(THREAD_TERMINATE, FALSE, id) : thread;
        ASSERT_NE(target, nullptr);
        while (!w.waiting) std::this_thread::yield();
        auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(CancelSynchronousIo(target)) << opened;
        ASSERT_EQ(WaitForSingleObject(thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_TRUE(w.woken) << opened;
        EXPECT_TRUE(w.cancelled) << opened;
        EXPECT_TRUE(w.clearedAfterEnd) << opened;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CancelSynchronousIo(target));  // the thread has ended
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
        if (opened) CloseHandle(target);
        CloseHandle(thread);
    }
}

TEST(SynchronousIo, NestedWaitsAndACancelThatCameBetweenWaits) {
    HANDLE self = OpenThread(THREAD_TERMINATE, FALSE, GetCurrentThreadId());
    ASSERT_NE(self, nullptr);
    int fd = platform::BeginSynchronousIo();
    EXPECT_EQ(platform::BeginSynchronousIo(), fd);
    EXPECT_TRUE(CancelSynchronousIo(self));
    platform::EndSynchronousIo();
    EXPECT_TRUE(platform::SynchronousIoCancelled());  // the outer wait is still cancelled
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 1);
    platform::EndSynchronousIo();
    EXPECT_FALSE(platform::SynchronousIoCancelled());
    // A new wait starts clean: an old cancel does not carry over.
    fd = platform::BeginSynchronousIo();
    EXPECT_FALSE(platform::SynchronousIoCancelled());
    p = pollfd{fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);
    platform::EndSynchronousIo();
    platform::EndSynchronousIo();  // one End too many changes nothing
    EXPECT_FALSE(CancelSynchronousIo(self));
    CloseHandle(self);
}

}  // namespace
