// Small helpers the platform tests share.
#ifndef PLATFORM_TEST_SUPPORT_H
#define PLATFORM_TEST_SUPPORT_H

#include <unistd.h>

#include <climits>
#include <string>

// The folder of the test program, where the test modules are built.
inline std::string TestFolder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string p(path, static_cast<size_t>(n));
    return p.substr(0, p.find_last_of('/'));
}

#endif
