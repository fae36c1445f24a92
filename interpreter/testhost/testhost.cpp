// The in-process test host: its hooks (counts, faults, host errors), its
// argument lists, and the export the library binds to.
#include "testhost.h"

#include "pool.h"

#include <array>
#include <mutex>

namespace halvorin::testhost {
namespace {

class VectorArgs final : public ArgList {
public:
    explicit VectorArgs(Args args) : args_(std::move(args)) {}
    std::size_t Count() const override { return args_.size(); }
    std::optional<std::string_view> Get(std::size_t n) const override {
        if (n == 0 || n > args_.size() || !args_[n - 1].given())
            return std::nullopt;
        return std::string_view(args_[n - 1].text()); // std::string keeps a zero byte after its text
    }

private:
    Args args_;
};

struct Fault {
    Service service;
    unsigned atCall;
    DWORD reason;
};

class TestHooks final : public Hooks {
public:
    DWORD Enter(Service service) override {
        std::lock_guard guard(lock_);
        unsigned count = ++calls_[Index(service)];
        for (auto it = faults_.begin(); it != faults_.end(); ++it) {
            if (it->service == service && it->atCall == count) {
                DWORD reason = it->reason ? it->reason : HOST_REASON_NO_MEMORY;
                faults_.erase(it);
                return reason;
            }
        }
        return 0;
    }

    void HostError(Service service, std::string_view what) override {
        std::lock_guard guard(lock_);
        errors_.push_back({service, std::string(what)});
    }

    void Fail(Service service, unsigned n, DWORD reason) {
        std::lock_guard guard(lock_);
        faults_.push_back({service, calls_[Index(service)] + (n ? n : 1), reason});
    }

    unsigned Calls(Service service) {
        std::lock_guard guard(lock_);
        return calls_[Index(service)];
    }

    std::vector<testhost::HostError> Errors(bool forget) {
        std::lock_guard guard(lock_);
        std::vector<testhost::HostError> result = errors_;
        if (forget)
            errors_.clear();
        return result;
    }

    void Reset() {
        std::lock_guard guard(lock_);
        calls_.fill(0);
        faults_.clear();
        errors_.clear();
    }

private:
    static std::size_t Index(Service service) {
        auto i = static_cast<std::size_t>(service);
        return i < kServiceCount ? i : kServiceCount - 1;
    }

    std::mutex lock_;
    std::array<unsigned, kServiceCount> calls_{};
    std::vector<Fault> faults_;
    std::vector<testhost::HostError> errors_;
};

struct Host {
    TestHooks hooks;
    MemoryPool pool;
    Host() { InstallHooks(&hooks); }
};

Host &host() {
    // Never destroyed: the services may still call the hooks while the process exits.
    static Host *h = new Host;
    return *h;
}

// Installed when the module loads, so that even the first call is counted.
[[maybe_unused]] const bool installed = (host(), true);

} // namespace

void Reset() {
    host().hooks.Reset();
    host().pool.Clear();
    ClearFunctions();
    halvorin::SetCallerName(std::nullopt);
    ReleaseOutstanding();
}

const HOSTSERVICES &Services() { return ServiceTable(); }

struct Frame::State {
    VectorArgs args;
    CallFrame frame;
    explicit State(Args a) : args(std::move(a)), frame(host().pool, args) {}
};

Frame::Frame(Args args) : state_(std::make_unique<State>(std::move(args))) {}
Frame::~Frame() = default;
HOSTCTX Frame::ctx() const { return state_->frame.ctx(); }
HOSTARGS Frame::args() const { return state_->frame.args(); }

CallOutcome Call(HANDLERPROC handler, const Args &args, LONG errorMode) {
    VectorArgs list(args);
    return CallHandler(handler, host().pool, list, errorMode);
}

CallOutcome CallFunction(std::string_view name, const Args &args, LONG errorMode) {
    std::optional<Function> function = halvorin::FindFunction(name);
    if (!function) {
        CallOutcome outcome;
        outcome.errorCode = kErrorRoutineNotFound;
        outcome.slot.ErrorMode = errorMode;
        return outcome;
    }
    VectorArgs list(args);
    return halvorin::CallFunction(*function, host().pool, list, errorMode);
}

std::optional<Function> FindFunction(std::string_view name) { return halvorin::FindFunction(name); }
std::vector<Function> Functions() { return halvorin::Functions(); }

bool SetVariable(std::string_view name, std::string_view value) {
    return IsVariableSymbol(name) && host().pool.Set(name, value) == 0;
}

std::optional<std::string> Variable(std::string_view name) {
    std::string value;
    if (!IsVariableSymbol(name) || host().pool.Fetch(name, value) != 0)
        return std::nullopt;
    return value;
}

void DropVariable(std::string_view name) {
    if (IsVariableSymbol(name))
        host().pool.Drop(name);
}

std::map<std::string, std::string> Variables() { return host().pool.Snapshot(); }

void SetCallerName(std::optional<std::string> name) {
    if (name)
        halvorin::SetCallerName(std::string_view(*name));
    else
        halvorin::SetCallerName(std::nullopt);
}

void FailNth(Service service, unsigned n, DWORD reason) { host().hooks.Fail(service, n, reason); }
unsigned Calls(Service service) { return host().hooks.Calls(service); }
std::size_t OutstandingCopies() { return OutstandingAllocations().copies; }
std::size_t OutstandingStrings() { return OutstandingAllocations().strings; }

std::vector<HostError> HostErrors() { return host().hooks.Errors(false); }
std::vector<HostError> TakeHostErrors() { return host().hooks.Errors(true); }

std::vector<HostError> BadFrees() {
    std::vector<HostError> result;
    for (HostError &e : host().hooks.Errors(false))
        if (e.service == Service::FreeMem)
            result.push_back(std::move(e));
    return result;
}

std::string Describe(const HostError &error) { return std::string(ServiceName(error.service)) + ": " + error.message; }
const char *NameOf(Service service) { return ServiceName(service); }

} // namespace halvorin::testhost

extern "C" DWORD WINAPI RexxGetHalvorinFuncs(HOSTSERVICES *table, DWORD size, DWORD level) {
    halvorin::testhost::host();
    return halvorin::GetHalvorinFuncs(table, size, level);
}
