// eventlog.dll: where the test modules' entry points record what they were told.
// Linked into the test program, so it outlives the modules that use it.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {
std::mutex lock;
std::string events;
}

extern "C" __attribute__((visibility("default"))) void LogEvent(const char* text) {
    std::lock_guard guard(lock);
    events += text;
    events += ';';
    // A child process that is about to exit reports on its standard output.
    if (getenv("EVENTLOG_ECHO")) {
        std::string line = std::string(text) + ";";
        if (write(STDOUT_FILENO, line.data(), line.size()) < 0) abort();
    }
}

extern "C" __attribute__((visibility("default"))) const char* TakeEvents() {
    static std::string taken;
    std::lock_guard guard(lock);
    taken.swap(events);
    events.clear();
    return taken.c_str();
}
