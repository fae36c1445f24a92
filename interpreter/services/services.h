// services.h: the Halvorin service table and its rules, shared by every host.
//
// A host (the Regina runner, the in-process test host) supplies two things:
// a VariablePool that fetches, sets and drops variables by the name a script
// writes, and an ArgList for each call. Everything else — strings and their
// ownership, number and keyword forms, stems, find records, registration and
// the calling convention of handlers — lives here, so every host behaves alike.
// The rules are written down in interpreter/README.md.
#ifndef HALVORIN_SERVICES_H
#define HALVORIN_SERVICES_H

#include <host/host.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvorin {

// The one version number; the default agent name and the runner's caller name carry it.
#define HALVORIN_VERSION "1.0"
inline constexpr char kVersion[] = HALVORIN_VERSION;
inline constexpr char kDefaultName[] = "Halvorin/" HALVORIN_VERSION;

// The services, as hooks and host errors name them. KeywordCopy is the copy
// ParseKeywords makes of a rejected word; Unused is a table entry the library
// has no business calling; Table is RexxGetHalvorinFuncs; Call is the call helper.
enum class Service : unsigned {
    GetVar,
    SetVar,
    MakeString,
    FreeMem,
    RegisterFunctions,
    GetDefaultName,
    GetCallerName,
    GetArgCopy,
    ParseKeywords,
    GetArg,
    ArgGiven,
    StrToNum,
    KeywordCopy,
    Unused,
    Table,
    Call,
};
inline constexpr unsigned kServiceCount = static_cast<unsigned>(Service::Call) + 1;
const char *ServiceName(Service service);

// Where variables live. `name` has already been checked to be a variable
// symbol; the pool upper-cases it and substitutes compound tails as VALUE()
// does. Each returns 0 or a reason: HOST_REASON_NOT_SET, HOST_REASON_NO_MEMORY,
// HOST_REASON_BAD_NAME. May throw std::bad_alloc (taken as no memory).
class VariablePool {
public:
    virtual ~VariablePool() = default;
    virtual DWORD Fetch(std::string_view name, std::string &value) = 0;
    virtual DWORD Set(std::string_view name, std::string_view value) = 0;
    virtual DWORD Drop(std::string_view name) = 0;
};

// The arguments of one call. Count() counts positions, omitted ones included.
// Get(n), n from 1: nullopt when omitted or past Count(); otherwise the bytes,
// followed in memory by a zero byte the view does not count, valid for the call.
class ArgList {
public:
    virtual ~ArgList() = default;
    virtual std::size_t Count() const = 0;
    virtual std::optional<std::string_view> Get(std::size_t n) const = 0;
};

// What a host may watch. Enter runs at the start of every service call
// (KeywordCopy included); a nonzero result makes that call fail: MakeString,
// GetArgCopy and KeywordCopy as out of memory, GetVar and SetVar with the
// result as the reason. Other services only count. HostError receives every
// call that breaks a rule; the default writes a line to stderr.
class Hooks {
public:
    virtual ~Hooks() = default;
    virtual DWORD Enter(Service) { return 0; }
    virtual void HostError(Service service, std::string_view what);
};
// nullptr: no hooks, host errors go to stderr. The hooks must outlive every call.
void InstallHooks(Hooks *hooks);

// One call's context: the pool, the arguments and the texts GetVar handed out,
// which stay valid until the frame ends.
class CallFrame {
public:
    CallFrame(VariablePool &pool, const ArgList &args);
    ~CallFrame();
    CallFrame(const CallFrame &) = delete;
    CallFrame &operator=(const CallFrame &) = delete;
    HOSTCTX ctx() const { return ctx_.get(); }
    HOSTARGS args() const;

private:
    std::unique_ptr<HOSTCTX__> ctx_;
};

// The service table, and the body of every host's RexxGetHalvorinFuncs:
// copies min(size, sizeof(HOSTSERVICES)) bytes of it into `table`, returns 0.
const HOSTSERVICES &ServiceTable();
DWORD GetHalvorinFuncs(HOSTSERVICES *table, DWORD size, DWORD level);

// What RegisterFunctions returns.
enum RegisterResult : DWORD {
    kRegistered = 0,
    kRegisterNoList = 1,    // no name list or no table
    kRegisterBadName = 2,   // an entry that is empty or not upper-case symbol characters, or no suffix at all
    kRegisterDuplicate = 3, // two entries give the same function name
    kRegisterBadRow = 4,    // a row without a handler, or a minimum above its maximum
};

// A registered function: the host looks these up by name.
struct Function {
    std::string name; // upper case, prefix and suffix joined
    std::string library;
    HANDLERPROC handler = nullptr;
    BYTE minArgs = 0;
    BYTE maxArgs = 0;
};
std::optional<Function> FindFunction(std::string_view name); // case-insensitive
std::vector<Function> Functions();                           // in name order
void ClearFunctions();

// The outcome of one handler call. The ResultSlot string has been taken
// over and released; its bytes are in `result` (nullopt when the value was 0).
struct CallOutcome {
    DWORD errorCode = 0;
    RESULTSLOT slot{};
    std::optional<std::string> result;
    bool handlerRan = false; // false: the host's own error (40.3, 40.4, 43), the handler was not called
};

// The argument count a function sees: the position of the last argument given.
std::size_t ArgumentCount(const ArgList &args);

// Calls a handler as a script's call does: ResultSlot {0, -, errorMode}, the
// minimum and maximum checked first (ARGUMENT_ERROR(3, min), ARGUMENT_ERROR(4, max)).
CallOutcome CallHandler(HANDLERPROC handler, VariablePool &pool, const ArgList &args,
                        LONG errorMode = ERRORMODE_SYNTAX, BYTE minArgs = 0, BYTE maxArgs = 255);
CallOutcome CallFunction(const Function &function, VariablePool &pool, const ArgList &args,
                         LONG errorMode = ERRORMODE_SYNTAX);
inline constexpr DWORD kErrorRoutineNotFound = 43;

// The caller name GetCallerName reports; nullopt: none, GetCallerName fails.
void SetCallerName(std::optional<std::string_view> name);

// Live host allocations: GetArgCopy copies, and strings (MakeString, rejected
// keywords) not yet handed over or freed.
struct Outstanding {
    std::size_t copies = 0;
    std::size_t strings = 0;
};
Outstanding OutstandingAllocations();
std::size_t ReleaseOutstanding(); // frees them all; returns how many there were

// Name rules shared with the pools.
bool IsSymbolChar(char c);
bool IsVariableSymbol(std::string_view name); // a simple, stem or compound symbol
char AsciiUpper(char c);
std::string AsciiUpper(std::string_view text);

} // namespace halvorin

#endif // HALVORIN_SERVICES_H
