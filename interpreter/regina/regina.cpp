// The runner's use of Regina's SAA interface: the options it starts with,
// the variable pool, the one external function entry that serves every
// registered name, the trace exit that completes error messages, and RexxStart.
//
// No function exit (RXFNC): once one is installed, Regina 3.6 hands it every
// name that is neither built in nor registered and fails the call with error
// 43 when the exit does not take it, so a script could no longer call its
// external REXX routines or run a routine's name as a command.
#define INCL_REXXSAA
#include <rexxsaa.h>

#include "regina.h"

#include "interrupt.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <vector>

#include <unistd.h>

namespace halvorin::regina {
namespace {

constexpr char kExitName[] = "HALVORIN";
constexpr char kEnvironment[] = "SYSTEM";
constexpr char kOptionsVariable[] = "REGINA_OPTIONS";
// A name that is no routine is error 43, not a command run in its place.
constexpr char kDefaultOptions[] = "NOEXT_COMMANDS_AS_FUNCS";

// An error or HALT the runner raised, waiting to be explained if it ends the script.
struct Pending {
    int number = 0; // the REXX error Regina reports for it: 40, or 4 for HALT
    std::string detail;
    std::string function;
    bool clauseSeen = false; // a traceback line naming the function has gone by
    bool clauseOther = false; // a traceback line without it has
    bool due = false;        // Regina's message has been written; the detail follows it
};

struct State {
    Knows knows = nullptr;
    Dispatcher dispatch = nullptr;
    std::optional<Pending> pending;
    std::optional<Pending> lastHalt; // for the check after the script ends
    bool probing = false;
};

State &state() {
    static State *s = new State; // never destroyed: Regina may call the exits during exit
    return *s;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool ContainsNoCase(std::string_view text, std::string_view word) {
    if (word.empty() || word.size() > text.size())
        return false;
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        std::size_t j = 0;
        while (j < word.size() && AsciiUpper(text[i + j]) == AsciiUpper(word[j]))
            ++j;
        if (j == word.size())
            return true;
    }
    return false;
}

void WriteLine(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

// "Error 40 running ..." is Regina's first line for error 40; "Error 40.1: ..." a second one.
bool IsErrorLine(std::string_view line, int number, char after) {
    std::string head = "Error " + std::to_string(number) + after;
    return line.substr(0, head.size()) == head;
}

void Trace(std::string_view line) {
    State &s = state();
    if (s.probing)
        return;
    if (s.pending && s.pending->due) {
        bool second = IsErrorLine(line, s.pending->number, '.');
        if (second)
            WriteLine(line);
        WriteLine(s.pending->detail);
        s.pending.reset();
        if (second)
            return;
    }
    WriteLine(line);
    if (!s.pending)
        return;
    if (line.find("+++") != std::string_view::npos)
        (ContainsNoCase(line, s.pending->function) ? s.pending->clauseSeen : s.pending->clauseOther) = true;
    if (line.substr(0, 6) == "Error ") {
        // Regina's message for the error the runner raised: the clause it names must be the call's.
        if (IsErrorLine(line, s.pending->number, ' ') && (s.pending->clauseSeen || !s.pending->clauseOther))
            s.pending->due = true;
        else
            s.pending.reset();
    }
}

void FlushPending() {
    State &s = state();
    if (s.pending && s.pending->due)
        WriteLine(s.pending->detail);
    s.pending.reset();
}

// A value Regina takes over: RexxAllocateMemory, followed by a zero byte.
bool GiveValue(RXSTRING &target, const std::string &value) {
    char *memory = static_cast<char *>(RexxAllocateMemory(static_cast<ULONG>(value.size() + 1)));
    if (!memory)
        return false;
    std::memcpy(memory, value.data(), value.size());
    memory[value.size()] = '\0';
    MAKERXSTRING(target, memory, value.size());
    return true;
}

// One call's arguments. Regina hands an external function each argument as
// a copy of its own with a zero byte after it, freed after the call, so the
// text is used where it is: a whole upload is not copied once more. One
// without that zero byte is copied here, as the services promise one.
struct CallArguments {
    std::vector<std::optional<std::string_view>> views;
    std::deque<std::string> copies;
};

void TakeArguments(ULONG argc, const RXSTRING *argv, CallArguments &args) {
    args.views.reserve(argc);
    for (ULONG i = 0; i < argc; ++i) {
        const RXSTRING &arg = argv[i];
        if (!arg.strptr)
            args.views.emplace_back(std::nullopt);
        else if (arg.strptr[arg.strlength] == '\0')
            args.views.emplace_back(std::string_view(arg.strptr, arg.strlength));
        else
            args.views.emplace_back(args.copies.emplace_back(arg.strptr, arg.strlength));
    }
}

// Runs one call and remembers what it raised; nullopt when the call could not be made.
std::optional<Reply> Serve(std::string_view name, ULONG argc, const RXSTRING *argv) {
    State &s = state();
    try {
        // A new call means an earlier error was trapped; a HALT may still be on its way.
        if (s.pending && s.pending->number != 4)
            s.pending.reset();
        CallArguments args;
        TakeArguments(argc, argv, args);
        Reply reply = s.dispatch(name, args.views);
        if (reply.kind != Reply::Kind::Value) {
            Pending p;
            p.number = reply.kind == Reply::Kind::Halt ? 4 : 40;
            p.detail = reply.detail;
            p.function = reply.function.empty() ? std::string(name) : reply.function;
            if (reply.kind == Reply::Kind::Halt)
                s.lastHalt = p;
            s.pending = std::move(p);
        }
        return reply;
    } catch (...) {
        return std::nullopt;
    }
}

std::string UpperName(const char *name, std::size_t length) {
    std::string upper(name, length);
    for (char &c : upper)
        c = AsciiUpper(c);
    return upper;
}

// The registered entry: Regina calls it for every registered name. A nonzero
// answer is error 40, whatever the reason.
APIRET APIENTRY FunctionEntry(PCSZ name, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
    State &s = state();
    std::string upper;
    try {
        upper = name ? UpperName(name, std::strlen(name)) : std::string();
    } catch (...) {
        return 1;
    }
    if (!s.dispatch || !s.knows || !s.knows(upper))
        return 1;
    std::optional<Reply> reply;
    bool interrupted = false;
    {
        runner::InterruptibleCall call;
        reply = Serve(upper, argc, argv);
        interrupted = call.Interrupted();
    }
    if (interrupted) {
        // Ctrl-C came during the call: HALT, as Regina gives it between clauses.
        RexxSetHalt(getpid(), 0);
        Pending halt;
        halt.number = 4;
        halt.function = upper;
        s.lastHalt = halt;
    }
    if (!reply || reply->kind == Reply::Kind::Error)
        return 1;
    if (!GiveValue(*result, reply->value)) {
        // The call fails after all; a HALT it asked for never comes.
        if (reply->kind == Reply::Kind::Halt && !interrupted) {
            s.lastHalt.reset();
            s.pending.reset();
        }
        return 1;
    }
    if (reply->kind == Reply::Kind::Halt && !interrupted)
        RexxSetHalt(getpid(), 0);
    return 0;
}

// Only the trace lines: everything else takes Regina's own course.
LONG APIENTRY ExitHandler(LONG function, LONG subfunction, PEXIT parameter) {
    if (function != RXSIO || subfunction != RXSIOTRC)
        return RXEXIT_NOT_HANDLED;
    auto *p = reinterpret_cast<RXSIOTRC_PARM *>(parameter);
    try {
        Trace(std::string_view(p->rxsio_string.strptr ? p->rxsio_string.strptr : "", RXSTRLEN(p->rxsio_string)));
    } catch (...) {
        return RXEXIT_NOT_HANDLED;
    }
    return RXEXIT_HANDLED;
}

// The result string as an exit status: a whole number modulo 256, as a shell sees exit(n).
int StatusOf(std::string_view text) {
    std::size_t i = 0;
    auto blank = [&](std::size_t k) { return k < text.size() && (text[k] == ' ' || text[k] == '\t'); };
    while (blank(i))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::size_t digits = 0;
    unsigned value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
        value = (value * 10 + static_cast<unsigned>(text[i] - '0')) % 256;
    if (digits == 0)
        return 0;
    if (i < text.size() && text[i] == '.') // "7.00" is whole; "7.5" is not
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            if (text[i] != '0')
                return 0;
    while (blank(i))
        ++i;
    if (i != text.size())
        return 0;
    return static_cast<int>(negative ? (256 - value) % 256 : value);
}

// Whether a HALT the runner raised is still waiting: a script that ends in
// the clause that raised it never sees it, so a clause run now would.
bool HaltStillPending(RXSYSEXIT *exits) {
    State &s = state();
    RXSTRING instore[2];
    MAKERXSTRING(instore[0], const_cast<char *>("nop"), 3);
    MAKERXSTRING(instore[1], nullptr, 0);
    SHORT rc = 0;
    RXSTRING result{};
    s.probing = true;
    APIRET r = RexxStart(0, nullptr, "halvorin-check", instore, nullptr, RXCOMMAND, exits, &rc, &result);
    s.probing = false;
    if (result.strptr)
        RexxFreeMemory(result.strptr);
    if (instore[1].strptr)
        RexxFreeMemory(instore[1].strptr);
    return static_cast<long>(r) == -4;
}

} // namespace

void ReadOptions() {
    // Regina reads REGINA_OPTIONS once, at the first call of its interface.
    // The runner's own default goes first, so that the user's options still
    // win; the environment is put back at once, so commands and programs the
    // script starts see it as the user left it.
    const char *old = std::getenv(kOptionsVariable);
    std::optional<std::string> saved;
    if (old)
        saved = old;
    std::string options = kDefaultOptions;
    if (saved && !saved->empty())
        options += " " + *saved;
    setenv(kOptionsVariable, options.c_str(), 1);
    RexxQueryExit(kExitName, nullptr, nullptr, nullptr);
    if (saved)
        setenv(kOptionsVariable, saved->c_str(), 1);
    else
        unsetenv(kOptionsVariable);
}

PoolStatus Fetch(std::string_view name, std::string &value) {
    std::string symbol(name);
    SHVBLOCK block{};
    block.shvcode = RXSHV_SYFET;
    MAKERXSTRING(block.shvname, symbol.data(), symbol.size());
    block.shvnamelen = symbol.size();
    MAKERXSTRING(block.shvvalue, nullptr, 0); // Regina allocates the value
    APIRET r = RexxVariablePool(&block);
    struct Release {
        char *p;
        ~Release() {
            if (p)
                RexxFreeMemory(p);
        }
    } release{block.shvvalue.strptr};
    if ((r & RXSHV_BADF) || (block.shvret & RXSHV_BADF))
        return PoolStatus::NotAvailable;
    if (block.shvret & RXSHV_MEMFL)
        return PoolStatus::NoMemory;
    if (block.shvret & RXSHV_BADN)
        return PoolStatus::BadName;
    if (block.shvret & RXSHV_NEWV)
        return PoolStatus::NotSet;
    if (!block.shvvalue.strptr && block.shvvalue.strlength)
        return PoolStatus::NoMemory;
    try {
        value.assign(block.shvvalue.strptr ? block.shvvalue.strptr : "", block.shvvalue.strlength);
    } catch (const std::bad_alloc &) {
        return PoolStatus::NoMemory;
    }
    return PoolStatus::Ok;
}

namespace {

PoolStatus Change(std::string_view name, const std::string_view *value) {
    std::string symbol(name);
    SHVBLOCK block{};
    block.shvcode = value ? RXSHV_SYSET : RXSHV_SYDRO;
    MAKERXSTRING(block.shvname, symbol.data(), symbol.size());
    block.shvnamelen = symbol.size();
    if (value) {
        // Regina copies the value; it never writes through the pointer.
        MAKERXSTRING(block.shvvalue, const_cast<char *>(value->data()), value->size());
        block.shvvaluelen = value->size();
    }
    APIRET r = RexxVariablePool(&block);
    if ((r & RXSHV_BADF) || (block.shvret & RXSHV_BADF))
        return PoolStatus::NotAvailable;
    if (block.shvret & RXSHV_MEMFL)
        return PoolStatus::NoMemory;
    if (block.shvret & RXSHV_BADN)
        return PoolStatus::BadName;
    return PoolStatus::Ok; // RXSHV_NEWV: a new variable, or one that had no value to drop
}

} // namespace

PoolStatus Set(std::string_view name, std::string_view value) { return Change(name, &value); }

PoolStatus Drop(std::string_view name) { return Change(name, nullptr); }

void SetDispatcher(Knows knows, Dispatcher dispatch) {
    State &s = state();
    s.knows = knows;
    s.dispatch = dispatch;
}

bool RegisterFunction(const std::string &name) {
    APIRET r = RexxRegisterFunctionExe(name.c_str(), FunctionEntry);
    return r == RXFUNC_OK || r == RXFUNC_DEFINED;
}

void DeregisterFunction(const std::string &name) { RexxDeregisterFunction(name.c_str()); }

std::optional<std::string> ScriptFile() {
    // The private variable SOURCE: "UNIX COMMAND /path/of/script.rex".
    char name[] = "SOURCE";
    SHVBLOCK block{};
    block.shvcode = RXSHV_PRIV;
    MAKERXSTRING(block.shvname, name, sizeof name - 1);
    block.shvnamelen = sizeof name - 1;
    MAKERXSTRING(block.shvvalue, nullptr, 0);
    APIRET r = RexxVariablePool(&block);
    struct Release {
        char *p;
        ~Release() {
            if (p)
                RexxFreeMemory(p);
        }
    } release{block.shvvalue.strptr};
    if (r != RXSHV_OK || block.shvret != RXSHV_OK || !block.shvvalue.strptr)
        return std::nullopt;
    std::string_view source(block.shvvalue.strptr, block.shvvalue.strlength);
    // The file name is the third word; it may hold blanks of its own.
    for (int word = 0; word < 2; ++word) {
        std::size_t blank = source.find(' ');
        if (blank == std::string_view::npos)
            return std::nullopt;
        source.remove_prefix(blank + 1);
    }
    return std::string(source);
}

int Run(const std::string &path, const std::optional<std::string> &argument) {
    char absolute[PATH_MAX];
    if (!realpath(path.c_str(), absolute)) {
        std::fprintf(stderr, "halvorin: cannot open script \"%s\": %s\n", path.c_str(), std::strerror(errno));
        return 2;
    }
    APIRET registered = RexxRegisterExitExe(kExitName, ExitHandler, nullptr);
    if (registered != RXEXIT_OK && registered != RXEXIT_DUP) {
        std::fprintf(stderr, "halvorin: Regina refused the runner's exits (%lu)\n", static_cast<unsigned long>(registered));
        return 2;
    }
    RXSYSEXIT exits[] = {
        {const_cast<char *>(kExitName), RXSIO},
        {nullptr, RXENDLST},
    };
    std::string text = argument.value_or(std::string());
    RXSTRING arg;
    MAKERXSTRING(arg, text.data(), text.size());
    SHORT rc = 0;
    RXSTRING result{};
    State &s = state();
    s.pending.reset();
    s.lastHalt.reset();
    // Commands go to SYSTEM, as under Regina's own command; without a name
    // RexxStart would make the script's extension ("rex") the environment.
    runner::StartInterruptWatch();
    APIRET r = RexxStart(argument ? 1 : 0, &arg, absolute, nullptr, kEnvironment, RXCOMMAND, exits, &rc, &result);
    runner::StopInterruptWatch();
    FlushPending();
    int status = 0;
    long code = static_cast<long>(r);
    if (code < 0) {
        status = static_cast<int>(-code) & 0xFF;
        if (status == 0)
            status = 1;
    } else if (code > 0) {
        status = 2;
    } else {
        if (result.strptr)
            status = StatusOf(std::string_view(result.strptr, result.strlength));
        if (s.lastHalt && HaltStillPending(exits)) {
            // The script ended in the very clause that raised it: not a success.
            std::fprintf(stderr, "Error 4 running \"%s\": Program interrupted\n", absolute);
            if (!s.lastHalt->detail.empty())
                WriteLine(s.lastHalt->detail);
            status = 4;
        }
    }
    if (result.strptr)
        RexxFreeMemory(result.strptr);
    RexxDeregisterExit(kExitName, nullptr);
    return status;
}

} // namespace halvorin::regina
