// runner.h: what halvorin.dll offers the two front ends that run scripts on
// Regina, the runner program and the function package stock Regina loads,
// beside the "RexxGetHalvorinFuncs" export that libraries bind to.
#ifndef HALVORIN_RUNNER_H
#define HALVORIN_RUNNER_H

#include <host/host.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#define HALVORIN_RUNNER_API __attribute__((visibility("default")))

namespace halvorin::runner {

// Readies the host for the script at `path`: the caller name, the dispatcher.
HALVORIN_RUNNER_API void BeginScript(const std::string &path);

// Readies the host inside a Regina that is already running a script, as the
// package finds it: the caller name from the script's file, the dispatcher,
// the Ctrl-C watch. Safe to call again.
HALVORIN_RUNNER_API void BeginPackage();

// A library loaded through the platform loader that registered its functions.
struct LoadedLibrary {
    std::string path;
    HMODULE module = nullptr;
    REXXFEEDBACKPROC feedback = nullptr;
};

// Loads the library at `path` (a Linux or Windows path) and has it register
// its functions. On failure the module is gone again and `error` says why,
// e.g. "cannot load x.dll: The specified module could not be found. (error 126)".
HALVORIN_RUNNER_API std::optional<LoadedLibrary> LoadScriptLibrary(const std::string &path, std::string &error);

// The folder halvorin.dll was loaded from, in Windows form with a trailing
// backslash: brevanto.dll and the stand-ins are installed beside it.
HALVORIN_RUNNER_API std::optional<std::string> HostFolder();

// Makes every function registered so far callable from the script; returns
// the names Regina refused.
HALVORIN_RUNNER_API std::vector<std::string> PublishFunctions();

// Takes every function registered so far back from Regina: the script can
// no longer call them until they are published again.
HALVORIN_RUNNER_API void WithdrawFunctions();

// Sets the HALVORIN_* variables of the routine making the current call, as
// for a SYNTAX error of `function` (upper case) with `error` ("40.1") and `message`.
HALVORIN_RUNNER_API void RememberSyntaxFailure(const std::string &function, const std::string &error,
                                               const std::string &message);

// Runs the script with one argument string; returns the exit status (regina.h).
HALVORIN_RUNNER_API int RunScript(const std::string &path, const std::optional<std::string> &argument);

// After the libraries heard that the script is over: reports on stderr the
// copies and strings a library took from the host and never gave back.
// Returns how many there were.
HALVORIN_RUNNER_API std::size_t ReportOutstanding();

} // namespace halvorin::runner

#endif // HALVORIN_RUNNER_H
