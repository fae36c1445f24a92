// The host's hooks, host errors, and the call contexts handed to handlers.
#include "internal.h"

#include <atomic>
#include <cstdio>

namespace halvorin {

namespace {

std::atomic<Hooks *> installed{nullptr};

constexpr const char *kServiceNames[kServiceCount] = {
    "GetVar",     "SetVar",        "MakeString", "FreeMem",  "RegisterFunctions", "GetDefaultName",
    "GetCallerName", "GetArgCopy", "ParseKeywords", "GetArg", "ArgGiven",        "StrToNum",
    "KeywordCopy", "unused entry", "RexxGetHalvorinFuncs", "call",
};

} // namespace

const char *ServiceName(Service service) {
    auto index = static_cast<unsigned>(service);
    return index < kServiceCount ? kServiceNames[index] : "?";
}

void Hooks::HostError(Service service, std::string_view what) {
    std::fprintf(stderr, "halvorin: host error in %s: %.*s\n", ServiceName(service), static_cast<int>(what.size()),
                 what.data());
}

void InstallHooks(Hooks *hooks) { installed.store(hooks); }

CallFrame::CallFrame(VariablePool &pool, const ArgList &args)
    : ctx_(new HOSTCTX__{detail::kContextTag, &pool, HOSTARGS__{detail::kArgumentsTag, &args}, {}}) {}

CallFrame::~CallFrame() {
    // A context used after its call then fails its tag check instead of reading a dead pool.
    ctx_->tag = 0;
    ctx_->args.tag = 0;
}

HOSTARGS CallFrame::args() const { return &ctx_->args; }

namespace detail {

DWORD Enter(Service service) {
    Hooks *hooks = installed.load();
    if (!hooks)
        return 0;
    try {
        return hooks->Enter(service);
    } catch (...) {
        return 0;
    }
}

void HostError(Service service, const std::string &what) {
    Hooks *hooks = installed.load();
    try {
        if (hooks)
            hooks->HostError(service, what);
        else
            Hooks{}.HostError(service, what);
    } catch (...) {
        // Reporting must never take the caller down.
    }
}

HOSTCTX__ *Context(HOSTCTX ctx, Service service) {
    if (!ctx) {
        HostError(service, "no call context");
        return nullptr;
    }
    if (ctx->tag != kContextTag) {
        HostError(service, ctx->tag == kArgumentsTag ? "an argument list passed as the call context"
                                                      : "not a live call context");
        return nullptr;
    }
    return ctx;
}

const ArgList *Arguments(HOSTARGS args, Service service) {
    if (!args) {
        HostError(service, "no argument list");
        return nullptr;
    }
    if (args->tag != kArgumentsTag) {
        HostError(service, args->tag == kContextTag ? "the call context passed as the argument list"
                                                     : "not a live argument list");
        return nullptr;
    }
    return args->list;
}

} // namespace detail
} // namespace halvorin
