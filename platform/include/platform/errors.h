// Platform-private: the Windows error code for a Linux errno value, shared by the stand-ins.
#ifndef PLATFORM_ERRORS_H
#define PLATFORM_ERRORS_H

#include <windows.h>

#define PLATFORM_API __attribute__((visibility("default")))

namespace platform {

PLATFORM_API DWORD ErrorFromErrno(int error);

}  // namespace platform

#endif
