// CreateThread: thread notices to the loaded modules, waiting and exit codes.
#include <windows.h>

#include <gtest/gtest.h>

#include <sched.h>

#include <string>

#include "eventlog.h"

namespace {

DWORD WINAPI Body(LPVOID parameter) {
    LogEvent("body");
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(parameter));
}

TEST(Threads, AttachBeforeAndDetachAfterTheStartRoutine) {
    HMODULE greeter = LoadLibraryA("greeter");
    HMODULE quiet = LoadLibraryA("quiet");  // switches its thread notices off in its attach
    ASSERT_NE(greeter, nullptr);
    ASSERT_NE(quiet, nullptr);
    TakeEvents();

    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, Body, reinterpret_cast<LPVOID>(ULONG_PTR{33}), 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 33u);
    EXPECT_STREQ(TakeEvents(), "greeter:2:0;body;greeter:3:0;");
    EXPECT_TRUE(CloseHandle(thread));

    // Switched off for greeter as well: the thread runs unannounced.
    EXPECT_TRUE(DisableThreadLibraryCalls(greeter));
    thread = CreateThread(nullptr, 64 * 1024, Body, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_STREQ(TakeEvents(), "body;");
    EXPECT_TRUE(CloseHandle(thread));

    EXPECT_TRUE(FreeLibrary(quiet));
    EXPECT_TRUE(FreeLibrary(greeter));
    TakeEvents();
}

DWORD WINAPI WaitForRelease(LPVOID parameter) {
    HANDLE* gate = static_cast<HANDLE*>(parameter);
    // Runs until the test has seen it running; the handle value is the signal.
    while (__atomic_load_n(gate, __ATOMIC_ACQUIRE) == nullptr) sched_yield();
    return 5;
}

TEST(Threads, HandlesAreCheckedAndWaitsCanTimeOut) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x12345678), 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(0x12345678)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    HANDLE gate = nullptr;
    HANDLE thread = CreateThread(nullptr, 0, WaitForRelease, &gate, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    __atomic_store_n(&gate, thread, __ATOMIC_RELEASE);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 5u);
    EXPECT_TRUE(CloseHandle(thread));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(thread));  // closed twice
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
