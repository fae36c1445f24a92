// The loader's test modules: one source, built as greeter.dll (attaches),
// refuser.dll (refuses the load) and quiet.dll (switches thread notices off).
#include <windows.h>

#include <cstdio>

#include "eventlog.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    char text[64];
    snprintf(text, sizeof text, "%s:%u:%d", MODULE_NAME, reason, reserved ? 1 : 0);
    LogEvent(text);
#ifdef DISABLE_THREAD_CALLS
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
#else
    (void)instance;
#endif
#ifdef REFUSE_LOAD
    return reason != DLL_PROCESS_ATTACH;
#else
    return TRUE;
#endif
}

extern "C" __attribute__((visibility("default"))) int Greet(void) { return 7; }
