// An interpreter module of the right name that lacks the service export.
#include <windows.h>

extern "C" __attribute__((visibility("default"))) DWORD WINAPI RexxGetSomethingElse(void) { return 0; }
