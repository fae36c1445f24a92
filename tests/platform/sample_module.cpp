// A module that carries nothing but resources (sample.rc, sample.mc) and one function.
#include <windows.h>

extern "C" __attribute__((visibility("default"))) int SampleFunction(void) { return 42; }
