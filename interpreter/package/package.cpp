// The function package stock Regina loads by the name "brevanto":
//
//     call RxFuncAdd 'InetLoadFuncs', 'brevanto', 'InetLoadFuncs'
//     call InetLoadFuncs
//
// InetLoadFuncs loads brevanto.dll through the platform loader with
// halvorin.dll as its host, has it register, and makes its sixteen
// functions and InetDropFuncs callable; InetDropFuncs takes them back.
// Calls of the library's functions then go through halvorin.dll exactly as
// under the runner.
#define INCL_REXXSAA
#include <rexxsaa.h>

#include "package.h"

#include <string>

#define PACKAGE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace brevanto::package;

// Neither function takes arguments: more is error 40, as for the library's own.
bool NoArguments(const char *function, ULONG argc, PRXSTRING argv) {
    for (ULONG i = 0; i < argc; ++i) {
        if (argv[i].strptr) {
            std::string name = function;
            RememberFailure(name, "40.4",
                            "Too many arguments in invocation of " + name + "; maximum expected is 0");
            return false;
        }
    }
    return true;
}

// An empty result, in the buffer Regina supplied.
void Empty(PRXSTRING result) {
    if (result)
        result->strlength = 0;
}

} // namespace

PACKAGE_EXPORT APIRET APIENTRY InetDropFuncs(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result);

PACKAGE_EXPORT APIRET APIENTRY InetLoadFuncs(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
    if (!NoArguments(kLoadName, argc, argv))
        return 1;
    std::string error = Load();
    if (error.empty()) {
        APIRET r = RexxRegisterFunctionExe(kDropName, InetDropFuncs);
        if (r != RXFUNC_OK && r != RXFUNC_DEFINED)
            error = "Regina refused the function " + std::string(kDropName);
    }
    if (!error.empty()) {
        RememberFailure(kLoadName, "40.1", error);
        return 1;
    }
    Empty(result);
    return 0;
}

PACKAGE_EXPORT APIRET APIENTRY InetDropFuncs(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
    if (!NoArguments(kDropName, argc, argv))
        return 1;
    Drop();
    RexxDeregisterFunction(kDropName);
    Empty(result);
    return 0;
}
