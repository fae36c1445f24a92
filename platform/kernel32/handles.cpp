// The kernel object handle table and CloseHandle.
#include "handles.h"

#include <map>
#include <mutex>

namespace kernel32 {
namespace {

struct Table {
    std::mutex lock;
    std::map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    uintptr_t next = 0x100;  // multiples of 4, as Windows hands them out; never 0 or -1
};
Table& table() {
    static Table* t = new Table;
    return *t;
}

}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    try {
        std::lock_guard guard(table().lock);
        uintptr_t value = table().next;
        table().next += 4;
        table().objects.emplace(value, std::move(object));
        return reinterpret_cast<HANDLE>(value);
    } catch (...) {
        return nullptr;
    }
}

std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle) {
    std::lock_guard guard(table().lock);
    auto it = table().objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table().objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> last;  // released outside the lock
    std::lock_guard guard(table().lock);
    auto it = table().objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table().objects.end()) return false;
    last = std::move(it->second);
    table().objects.erase(it);
    return true;
}

}  // namespace kernel32

BOOL WINAPI CloseHandle(HANDLE handle) {
    // The pseudo handles of the current process and thread need no closing.
    if (handle == GetCurrentProcess() || handle == GetCurrentThread()) return TRUE;
    if (!kernel32::RemoveHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto object = kernel32::LookUpHandle(handle);
    DWORD result = object ? object->Wait(milliseconds) : WAIT_FAILED;
    if (result == WAIT_FAILED) SetLastError(ERROR_INVALID_HANDLE);
    return result;
}
