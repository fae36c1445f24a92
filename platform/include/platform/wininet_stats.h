// Platform-private, exported by wininet.dll for the tests: how much the
// transfers buffered on their own, past what the reader asked for.
#ifndef PLATFORM_WININET_STATS_H
#define PLATFORM_WININET_STATS_H

#include <platform/errors.h>

#include <cstddef>

namespace platform {

// The largest buffer of body data any transfer of the process has held for
// its reader, in bytes; `reset` starts the count again from 0.
PLATFORM_API std::size_t WininetSpillHighWater(bool reset);

}  // namespace platform

#endif
