// regina.h: what the runner asks of the Regina engine, in plain C++.
//
// Regina's header and the Windows-style headers both define LONG, ULONG and
// friends, with different widths, so no file includes both: regina.cpp alone
// includes rexxsaa.h, and the rest of the runner reaches Regina through this.
#ifndef HALVORIN_RUNNER_REGINA_H
#define HALVORIN_RUNNER_REGINA_H

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace halvorin::regina {

// Gives Regina the runner's options before anything else: a function that is
// neither built in, nor registered, nor an external routine is error 43
// (NOEXT_COMMANDS_AS_FUNCS). REGINA_OPTIONS in the environment comes after
// them, so EXT_COMMANDS_AS_FUNCS there brings Regina's own default back.
void ReadOptions();

// RexxVariablePool, during a function call, by the name a script writes
// (upper-cased, compound tails substituted: RXSHV_SYFET, SYSET, SYDRO).
enum class PoolStatus {
    Ok,
    NotSet,       // RXSHV_NEWV on a fetch
    BadName,      // RXSHV_BADN
    NoMemory,     // RXSHV_MEMFL, or the copy of the value failed
    NotAvailable, // no script running, or a return code the pool should not give
};
PoolStatus Fetch(std::string_view name, std::string &value);
PoolStatus Set(std::string_view name, std::string_view value);
PoolStatus Drop(std::string_view name);

// What becomes of one call of an external function the runner serves. A
// registered function can fail only as "incorrect call" (SYNTAX error 40):
// Regina lets only a function exit say more, and with that exit installed it
// no longer searches for the external routines of a script.
struct Reply {
    enum class Kind {
        Value, // the function returns `value`
        Error, // SYNTAX error 40
        Halt,  // returns `value` and raises HALT on the calling clause
    };
    Kind kind = Kind::Value;
    std::string value;
    // Shown on stderr after Regina's message if the error or HALT ends the
    // script untrapped; `function` is the name its traceback line shows.
    std::string detail;
    std::string function;
};

// The runner's side of a call: `name` in upper case, each argument given
// (any bytes, with a zero byte after them) or omitted; valid for the call.
using Arguments = std::span<const std::optional<std::string_view>>;
using Dispatcher = Reply (*)(std::string_view name, Arguments args);
using Knows = bool (*)(std::string_view name);

// Calls to the names `knows` accepts go to `dispatch`, whatever their case.
void SetDispatcher(Knows knows, Dispatcher dispatch);
// Makes `name` a Regina external function served by the dispatcher; false if
// Regina refuses it (a name it has already counts as made).
bool RegisterFunction(const std::string &name);

// Takes `name` back from Regina; nothing happens when Regina has no such function.
void DeregisterFunction(const std::string &name);

// The file of the script Regina is running, as PARSE SOURCE gives it; nullopt
// when no script is running.
std::optional<std::string> ScriptFile();

// Runs the script at `path` (made absolute here) with one argument string,
// or none at all, as Regina's own command does when no ARG follows the script.
// The exit status: the script's whole-number EXIT or RETURN value modulo 256,
// else 0; the REXX error number when an error ended it; 4 when a HALT the
// runner raised was never delivered; 2 when the script could not be started.
int Run(const std::string &path, const std::optional<std::string> &argument);

} // namespace halvorin::regina

#endif // HALVORIN_RUNNER_REGINA_H
