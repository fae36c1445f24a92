// calls.h: how the outcome of a handler appears to the script.
#ifndef HALVORIN_RUNNER_CALLS_H
#define HALVORIN_RUNNER_CALLS_H

#include "regina.h"

#include <services/services.h>

#include <string>

namespace halvorin::runner {

// What a failed call tells the script, besides the error or condition itself.
// Kept in the variables HALVORIN_CONDITION, HALVORIN_ERROR, HALVORIN_MESSAGE
// and HALVORIN_FUNCTION of the routine that made the call.
struct Failure {
    std::string condition; // SYNTAX, ERROR, FAILURE or "USER n"
    std::string error;     // the REXX error for SYNTAX ("40.28", "43", "5"); empty for the others
    std::string message;
};

struct Rendering {
    regina::Reply reply;
    std::optional<Failure> failure; // none when the call returns a plain value
};

// The reply for one call of `function` with `args` that ended in `outcome`.
// `pool`, when given, holds the caller's variables, for messages about an
// argument that names one.
Rendering Render(const Function &function, const ArgList &args, const CallOutcome &outcome,
                 VariablePool *pool = nullptr);

// Sets the HALVORIN_* variables in `pool` for a failure of `function`.
void Remember(VariablePool &pool, const std::string &function, const Failure &failure);

// The runner's dispatcher: calls the registered function `name` and renders the outcome.
regina::Reply Dispatch(std::string_view name, regina::Arguments args);
bool Knows(std::string_view name);

} // namespace halvorin::runner

#endif // HALVORIN_RUNNER_CALLS_H
