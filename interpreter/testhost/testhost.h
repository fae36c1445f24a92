// testhost.h: the in-process Halvorin host that tests load as halvorin.dll.
//
// One host per process, as RexxGetHalvorinFuncs is one export: an in-memory
// variable pool, argument lists that tell omitted from empty and carry any
// bytes, the functions a library registered, a caller name, and fault
// injection with call counts and the host allocations still outstanding.
// Call Reset() between tests. Tests reach the services only through the table
// RexxGetHalvorinFuncs fills, as the library does; the types below come from
// the shared services, whose functions this module does not export.
#ifndef HALVORIN_TESTHOST_H
#define HALVORIN_TESTHOST_H

#include <services/services.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#define TESTHOST_API __attribute__((visibility("default")))

extern "C" TESTHOST_API DWORD WINAPI RexxGetHalvorinFuncs(HOSTSERVICES *table, DWORD size, DWORD level);

namespace halvorin::testhost {

// One argument: given (any bytes, "" included) or omitted.
class Arg {
public:
    Arg(std::string text) : given_(true), text_(std::move(text)) {}
    Arg(std::string_view text) : given_(true), text_(text) {}
    Arg(const char *text) : given_(true), text_(text) {}
    static Arg Omitted() { return Arg(); }
    bool given() const { return given_; }
    const std::string &text() const { return text_; }

private:
    Arg() = default;
    bool given_ = false;
    std::string text_;
};
using Args = std::vector<Arg>;

// Forgets everything: variables, registered functions, faults, counts, host
// errors, the caller name; frees the allocations still outstanding.
TESTHOST_API void Reset();

// The table as RexxGetHalvorinFuncs fills it.
TESTHOST_API const HOSTSERVICES &Services();

// A call context of its own, for calling the services directly.
class TESTHOST_API Frame {
public:
    explicit Frame(Args args = {});
    ~Frame();
    Frame(const Frame &) = delete;
    Frame &operator=(const Frame &) = delete;
    HOSTCTX ctx() const;
    HOSTARGS args() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Calls a handler as a script would (no argument count limits).
TESTHOST_API CallOutcome Call(HANDLERPROC handler, const Args &args, LONG errorMode = ERRORMODE_SYNTAX);
// Calls a registered function by name, its counts checked; unknown: error 43, not run.
TESTHOST_API CallOutcome CallFunction(std::string_view name, const Args &args, LONG errorMode = ERRORMODE_SYNTAX);
TESTHOST_API std::optional<Function> FindFunction(std::string_view name);
TESTHOST_API std::vector<Function> Functions();

// The variable pool, by the names a script writes (false: not a variable symbol).
TESTHOST_API bool SetVariable(std::string_view name, std::string_view value);
TESTHOST_API std::optional<std::string> Variable(std::string_view name);
TESTHOST_API void DropVariable(std::string_view name);
// Every value held, by resolved name: "X", "S." (a stem's default), "S.1".
TESTHOST_API std::map<std::string, std::string> Variables();

TESTHOST_API void SetCallerName(std::optional<std::string> name);

// Fault injection: the nth call of `service` from now fails (GetArgCopy,
// MakeString and KeywordCopy as out of memory; GetVar and SetVar with `reason`).
TESTHOST_API void FailNth(Service service, unsigned n, DWORD reason = HOST_REASON_NO_MEMORY);
TESTHOST_API unsigned Calls(Service service);
TESTHOST_API std::size_t OutstandingCopies();
TESTHOST_API std::size_t OutstandingStrings();

struct HostError {
    Service service;
    std::string message;
};
TESTHOST_API std::vector<HostError> HostErrors();
TESTHOST_API std::vector<HostError> TakeHostErrors(); // returns them and forgets them
TESTHOST_API std::vector<HostError> BadFrees();       // the FreeMem ones
TESTHOST_API std::string Describe(const HostError &error);
TESTHOST_API const char *NameOf(Service service);

} // namespace halvorin::testhost

#endif // HALVORIN_TESTHOST_H
