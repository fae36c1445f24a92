// runner.h: what the runner's halvorin.dll offers its program, beside the
// "RexxGetHalvorinFuncs" export that libraries bind to.
#ifndef HALVORIN_RUNNER_H
#define HALVORIN_RUNNER_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#define HALVORIN_RUNNER_API __attribute__((visibility("default")))

namespace halvorin::runner {

// Readies the host for the script at `path`: the caller name, the dispatcher.
HALVORIN_RUNNER_API void BeginScript(const std::string &path);

// Makes every function registered so far callable from the script; returns
// the names Regina refused.
HALVORIN_RUNNER_API std::vector<std::string> PublishFunctions();

// Runs the script with one argument string; returns the exit status (regina.h).
HALVORIN_RUNNER_API int RunScript(const std::string &path, const std::optional<std::string> &argument);

// After the libraries heard that the script is over: reports on stderr the
// copies and strings a library took from the host and never gave back.
// Returns how many there were.
HALVORIN_RUNNER_API std::size_t ReportOutstanding();

} // namespace halvorin::runner

#endif // HALVORIN_RUNNER_H
