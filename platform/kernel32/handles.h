// Kernel object handles: the HANDLE a caller holds is looked up in a table, never trusted.
#ifndef KERNEL32_HANDLES_H
#define KERNEL32_HANDLES_H

#include <windows.h>

#include <memory>

namespace kernel32 {

class KernelObject {
  public:
    virtual ~KernelObject() = default;
    // WAIT_OBJECT_0 or WAIT_TIMEOUT; objects that cannot be waited on return WAIT_FAILED.
    virtual DWORD Wait(DWORD) { return WAIT_FAILED; }
    // The Linux thread id behind a thread object; 0 for every other kind.
    virtual DWORD ThreadId() const { return 0; }
};

// A new handle for `object`, or NULL when the table cannot grow.
HANDLE AddHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle);
bool RemoveHandle(HANDLE handle);

}  // namespace kernel32

#endif
