// One call of a registered function from a script: the handler through the
// services, then its ErrorCode and ErrorMode turned into what Regina can show.
//
// A registered function can fail in Regina only with SYNTAX error 40, and
// RexxSetHalt raises HALT on the calling clause. So every failure but a
// report that asks for ERROR, FAILURE or a USER condition is error 40, and
// those raise HALT; the variables HALVORIN_* say which error or condition was
// meant and carry the message, and the line the runner adds to Regina's
// message when nobody traps it starts with the same error number.
#include "calls.h"

#include "pool.h"

#include <cstdio>

namespace halvorin::runner {
namespace {

using Kind = regina::Reply::Kind;

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string Number(unsigned n) { return std::to_string(n); }

std::string ArgumentText(const ArgList &args, unsigned position) {
    std::optional<std::string_view> text = args.Get(position);
    return text ? std::string(*text) : std::string();
}

// A value shown in a message: long ones are cut, they would bury the message.
std::string Shown(std::string_view value) {
    constexpr std::size_t kLongest = 60;
    if (value.size() <= kLongest)
        return Quoted(value);
    return Quoted(value.substr(0, kLongest)) + "...";
}

// The value of the variable an argument names, when it names one that is set.
std::optional<std::string> NamedValue(VariablePool *pool, const ArgList &args, unsigned position) {
    std::optional<std::string_view> name = args.Get(position);
    if (!pool || !name || !IsVariableSymbol(*name))
        return std::nullopt;
    try {
        std::string value;
        if (pool->Fetch(*name, value) != 0)
            return std::nullopt;
        return value;
    } catch (...) {
        return std::nullopt;
    }
}

// Regina's own wording for the minor errors, with what it cannot know said plainly.
std::string ArgumentMessage(const std::string &name, unsigned minor, unsigned position, const ArgList &args,
                            const std::optional<std::string> &result, VariablePool *pool) {
    switch (minor) {
    case 3:
        return "Not enough arguments in invocation of " + name + "; minimum expected is " + Number(position);
    case 4:
        return "Too many arguments in invocation of " + name + "; maximum expected is " + Number(position);
    case 5:
        return "Missing argument in invocation of " + name + "; argument " + Number(position) + " is required";
    case 13:
        // An argument that names a variable is a handle variable: its value is what did not fit.
        if (std::optional<std::string> value = NamedValue(pool, args, position))
            return name + " argument " + Number(position) + " must name a variable holding an open handle; variable " +
                   AsciiUpper(*args.Get(position)) + " holds " + Shown(*value);
        return name + " argument " + Number(position) + " must be zero or positive; found " +
               Quoted(ArgumentText(args, position));
    case 14:
        return name + " argument " + Number(position) + " must be positive; found " +
               Quoted(ArgumentText(args, position));
    case 26:
        return name + " argument " + Number(position) + " must be a valid symbol; found " +
               Quoted(ArgumentText(args, position));
    case 28:
        return name + " argument " + Number(position) + ", option must be one of the keywords " + name +
               " accepts; found " + Quoted(result ? *result : std::string());
    default:
        break;
    }
    if (position == 0)
        return "Incorrect call to " + name;
    return name + " argument " + Number(position) + " is not valid; found " + Quoted(ArgumentText(args, position));
}

std::string Heading(const Function &function) {
    return (function.library.empty() ? std::string("Error") : function.library + " error") + " in " + function.name +
           ": ";
}

Rendering Syntax(std::string error, std::string message, std::string detail) {
    Rendering r;
    r.reply.kind = Kind::Error;
    r.reply.detail = std::move(detail);
    r.failure = Failure{"SYNTAX", std::move(error), std::move(message)};
    return r;
}

Rendering Report(const Function &function, const CallOutcome &outcome) {
    const std::string text = outcome.result.value_or(std::string());
    const LONG mode = outcome.slot.ErrorMode;
    if (mode == ERRORMODE_NONE) {
        Rendering r;
        r.reply.value = text;
        return r;
    }
    const bool heading = (outcome.errorCode >> 24) == 0x28;
    const std::string message = heading ? Heading(function) + text : text;
    std::string condition;
    if (mode == ERRORMODE_ERROR)
        condition = "ERROR";
    else if (mode == ERRORMODE_FAILURE)
        condition = "FAILURE";
    else if (mode > ERRORMODE_USER_BASE && mode <= ERRORMODE_USER_BASE + 200)
        condition = "USER " + Number(static_cast<unsigned>(mode - ERRORMODE_USER_BASE));
    if (condition.empty()) {
        // SYNTAX, or a mode that names no condition: either way the call failed.
        std::string detail = "Error 40.1: External routine " + Quoted(function.name) + " failed: " + message;
        if (mode != ERRORMODE_SYNTAX)
            detail += " (ErrorMode " + std::to_string(mode) + " names no condition)";
        return Syntax("40.1", message, std::move(detail));
    }
    Rendering r;
    r.reply.kind = Kind::Halt;
    r.reply.value = text;
    r.reply.detail = "Error 4.1: Program interrupted with HALT condition: " + condition + " condition raised by " +
                     function.name + ": " + message;
    r.failure = Failure{std::move(condition), std::string(), message};
    return r;
}

} // namespace

Rendering Render(const Function &function, const ArgList &args, const CallOutcome &outcome, VariablePool *pool) {
    const DWORD code = outcome.errorCode;
    const std::string &name = function.name;
    Rendering r;
    if (code == 0) {
        r.reply.value = outcome.result.value_or(std::string());
    } else if (IS_REPORT_CODE(code)) {
        r = Report(function, outcome);
    } else if (ERRORCODE_MAJOR(code) == REXX_ERROR_INCORRECT_CALL && (code >> 24) == 0) {
        const unsigned minor = ERRORCODE_MINOR(code);
        const unsigned position = ERRORCODE_POSITION(code);
        std::string message = ArgumentMessage(name, minor, position, args, outcome.result, pool);
        std::string error = "40." + Number(minor);
        r = Syntax(error, message, "Error " + error + ": " + message);
    } else if (code == REXX_ERROR_RESOURCES) {
        std::string message = "System resources exhausted in " + name;
        r = Syntax("5", message, "Error 5: " + message);
    } else if (code == kErrorRoutineNotFound) {
        std::string message = outcome.result && !outcome.result->empty() ? *outcome.result
                                                                          : "Could not find routine " + Quoted(name);
        r = Syntax("43", message, "Error 43: " + message);
    } else {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", code);
        std::string message = "External routine " + Quoted(name) + " failed with error code " + hex;
        r = Syntax("40.1", message, "Error 40.1: " + message);
    }
    r.reply.function = name;
    return r;
}

void Remember(VariablePool &pool, const std::string &function, const Failure &failure) {
    // Best effort: a variable that cannot be set must not hide the failure itself.
    pool.Set("HALVORIN_CONDITION", failure.condition);
    pool.Set("HALVORIN_ERROR", failure.error);
    pool.Set("HALVORIN_MESSAGE", failure.message);
    pool.Set("HALVORIN_FUNCTION", function);
}

bool Knows(std::string_view name) {
    try {
        return FindFunction(name).has_value();
    } catch (...) {
        return false;
    }
}

regina::Reply Dispatch(std::string_view name, regina::Arguments args) {
    std::optional<Function> function = FindFunction(name);
    if (!function) {
        // FunctionEntry asks Knows first; a name gone since then fails as not found.
        regina::Reply reply;
        reply.kind = Kind::Error;
        reply.function = std::string(name);
        reply.detail = "Error 43: Could not find routine " + Quoted(name);
        return reply;
    }
    ReginaPool pool;
    ReginaArgs list(args);
    CallOutcome outcome = CallFunction(*function, pool, list, ERRORMODE_SYNTAX);
    Rendering r = Render(*function, list, outcome, &pool);
    if (r.failure)
        Remember(pool, function->name, *r.failure);
    return std::move(r.reply);
}

} // namespace halvorin::runner
