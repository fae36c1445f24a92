// The names the library may use as its agent: the caller's and the default.
#include "internal.h"

#include <mutex>

namespace halvorin {
namespace {

struct CallerName {
    std::mutex lock;
    bool set = false;
    std::string record; // a length byte, the name, a zero byte
};

CallerName &callerName() {
    static CallerName *c = new CallerName; // never destroyed: a late call still finds it
    return *c;
}

} // namespace

void SetCallerName(std::optional<std::string_view> name) {
    CallerName &c = callerName();
    std::lock_guard guard(c.lock);
    c.set = name.has_value();
    c.record.clear();
    if (name) {
        c.record += static_cast<char>(name->size() > 255 ? 255 : name->size());
        c.record += *name;
    }
}

namespace detail {

// *out = the address of the record: its first byte the name's length (at most
// 255), then the zero-terminated name. It stays valid until the name is set again.
ULONG_PTR WINAPI GetCallerName(HOSTCTX ctx, ULONG_PTR *out, DWORD flags, ULONG_PTR reserved) {
    Enter(Service::GetCallerName);
    Context(ctx, Service::GetCallerName);
    if (!out || flags != HOST_CALLER_NAME) {
        HostError(Service::GetCallerName, out ? "unknown flags " + std::to_string(flags) : "no out word");
        return 0;
    }
    if (reserved)
        HostError(Service::GetCallerName, "reserved word not 0");
    CallerName &c = callerName();
    std::lock_guard guard(c.lock);
    if (!c.set)
        return 0;
    *out = reinterpret_cast<ULONG_PTR>(c.record.c_str());
    return 1;
}

LPCSTR WINAPI GetDefaultName(HOSTCTX ctx, DWORD which) {
    Enter(Service::GetDefaultName);
    Context(ctx, Service::GetDefaultName);
    if (which != 1)
        HostError(Service::GetDefaultName, "name " + std::to_string(which) + " asked for; there is only name 1");
    return kDefaultName;
}

} // namespace detail
} // namespace halvorin
