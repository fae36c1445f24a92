// Loads greeter.dll, then quiet.dll, and leaves main: both must hear of the
// process exit, quiet.dll first, with a non-null reserved argument.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main() {
    setenv("EVENTLOG_ECHO", "1", 1);
    if (!LoadLibraryA("greeter") || !LoadLibraryA("quiet")) {
        printf("load failed: %u\n", GetLastError());
        return 1;
    }
    fflush(stdout);
    return 0;
}
