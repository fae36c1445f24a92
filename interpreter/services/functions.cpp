// Registered functions: RegisterFunctions, the name table, and calling a
// handler the way a script's call does.
#include "internal.h"

#include <map>
#include <mutex>

namespace halvorin {
namespace {

constexpr std::size_t kMaxNames = 4096; // a list longer than this has lost its zero end

struct Registry {
    std::mutex lock;
    std::map<std::string, Function, std::less<>> functions;
};

Registry &registry() {
    static Registry *r = new Registry; // never destroyed: the runner may call during exit
    return *r;
}

bool IsNameChar(char c) { return IsSymbolChar(c) && !(c >= 'a' && c <= 'z'); }

} // namespace

namespace detail {

// names: the common prefix, then one suffix per row, each a length byte and
// upper-case symbol characters, ended by a zero byte. All rows or none are taken.
DWORD WINAPI RegisterFunctions(ULONG_PTR reserved, LPCSTR library, const BYTE *names, FUNCTIONROW *table,
                               DWORD /*param*/) {
    // An injected fault stands for a host that refuses the registration; its reason is the result.
    if (DWORD fault = Enter(Service::RegisterFunctions))
        return fault;
    if (reserved)
        HostError(Service::RegisterFunctions, "reserved word not 0");
    if (!names || !table)
        return kRegisterNoList;
    try {
        auto entry = [&](const BYTE *&p) {
            std::size_t length = *p++;
            std::string text(reinterpret_cast<const char *>(p), length);
            p += length;
            return text;
        };
        const BYTE *p = names;
        if (*p == 0)
            return kRegisterBadName;
        std::string prefix = entry(p);
        std::vector<Function> found;
        for (std::size_t row = 0; *p != 0; ++row) {
            if (row == kMaxNames)
                return kRegisterBadName;
            Function function;
            function.name = prefix + entry(p);
            function.library = library ? library : "";
            function.handler = table[row].Handler;
            function.minArgs = table[row].MinArgs;
            function.maxArgs = table[row].MaxArgs;
            if (!function.handler || function.minArgs > function.maxArgs)
                return kRegisterBadRow;
            found.push_back(std::move(function));
        }
        if (found.empty())
            return kRegisterBadName;
        for (std::size_t i = 0; i < found.size(); ++i) {
            const std::string &name = found[i].name;
            for (char c : name)
                if (!IsNameChar(c))
                    return kRegisterBadName;
            if (!IsVariableSymbol(name)) // starts with a digit or a dot
                return kRegisterBadName;
            for (std::size_t j = 0; j < i; ++j)
                if (found[j].name == name)
                    return kRegisterDuplicate;
        }
        Registry &r = registry();
        std::lock_guard guard(r.lock);
        for (Function &function : found) {
            std::string name = function.name;
            r.functions.insert_or_assign(std::move(name), std::move(function));
        }
        return kRegistered;
    } catch (const std::bad_alloc &) {
        return HOST_REASON_NO_MEMORY;
    }
}

} // namespace detail

std::optional<Function> FindFunction(std::string_view name) {
    std::string key = AsciiUpper(name);
    Registry &r = registry();
    std::lock_guard guard(r.lock);
    auto it = r.functions.find(key);
    if (it == r.functions.end())
        return std::nullopt;
    return it->second;
}

std::vector<Function> Functions() {
    Registry &r = registry();
    std::lock_guard guard(r.lock);
    std::vector<Function> result;
    for (const auto &[name, function] : r.functions)
        result.push_back(function);
    return result;
}

void ClearFunctions() {
    Registry &r = registry();
    std::lock_guard guard(r.lock);
    r.functions.clear();
}

CallOutcome CallHandler(HANDLERPROC handler, VariablePool &pool, const ArgList &args, LONG errorMode, BYTE minArgs,
                        BYTE maxArgs) {
    CallOutcome outcome;
    outcome.slot.ErrorMode = errorMode;
    std::size_t count = ArgumentCount(args);
    if (count < minArgs) {
        outcome.errorCode = ARGUMENT_ERROR(3, minArgs);
        return outcome;
    }
    if (count > maxArgs) {
        outcome.errorCode = ARGUMENT_ERROR(4, maxArgs);
        return outcome;
    }
    if (!handler) {
        detail::HostError(Service::Call, "no handler");
        outcome.errorCode = kErrorRoutineNotFound;
        return outcome;
    }
    CallFrame frame(pool, args);
    // The slot's middle word is the interpreter's; a handler that writes it has strayed.
    const auto reserved = reinterpret_cast<ULONG_PTR>(&frame);
    outcome.slot.Reserved = reserved;
    outcome.errorCode = handler(frame.ctx(), frame.args(), &outcome.slot);
    outcome.handlerRan = true;
    if (outcome.slot.Reserved != reserved)
        detail::HostError(Service::Call, "the handler wrote the ResultSlot's reserved word");
    if (outcome.slot.Value) {
        std::optional<detail::Handover> text = detail::TakeOver(outcome.slot.Value, Service::Call);
        if (text)
            outcome.result.emplace(text->text());
    }
    return outcome;
}

CallOutcome CallFunction(const Function &function, VariablePool &pool, const ArgList &args, LONG errorMode) {
    return CallHandler(function.handler, pool, args, errorMode, function.minArgs, function.maxArgs);
}

} // namespace halvorin
