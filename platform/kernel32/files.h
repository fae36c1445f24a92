// What the file functions share with the process functions: Windows paths
// to Linux ones, matched without regard to case as Windows names match.
#ifndef KERNEL32_FILES_H
#define KERNEL32_FILES_H

#include <windows.h>

#include <string>

namespace kernel32 {

// A Windows or Linux path to the Linux path of what it names; where a
// component is not there as written, one that differs only in case is taken.
// ERROR_PATH_NOT_FOUND for NULL or empty, else ToNativePath's errors.
DWORD NativeName(LPCSTR path, std::string& native);

}  // namespace kernel32

#endif
