// The sample module the resource tests read, linked into the test program.
#ifndef SAMPLE_MODULE_H
#define SAMPLE_MODULE_H

#include <windows.h>

#include <dlfcn.h>

extern "C" int SampleFunction(void);

inline HMODULE SampleModule() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&SampleFunction), &info);
    return static_cast<HMODULE>(info.dli_fbase);
}

#endif
