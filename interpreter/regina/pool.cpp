// The services' variable pool and argument list over Regina.
#include "pool.h"

namespace halvorin::runner {
namespace {

DWORD Reason(regina::PoolStatus status) {
    switch (status) {
    case regina::PoolStatus::Ok:
        return 0;
    case regina::PoolStatus::NotSet:
        return HOST_REASON_NOT_SET;
    case regina::PoolStatus::BadName:
        return HOST_REASON_BAD_NAME;
    case regina::PoolStatus::NoMemory:
        return HOST_REASON_NO_MEMORY;
    case regina::PoolStatus::NotAvailable:
        break;
    }
    return HOST_REASON_BAD_CALL;
}

} // namespace

DWORD ReginaPool::Fetch(std::string_view name, std::string &value) { return Reason(regina::Fetch(name, value)); }

DWORD ReginaPool::Set(std::string_view name, std::string_view value) { return Reason(regina::Set(name, value)); }

DWORD ReginaPool::Drop(std::string_view name) { return Reason(regina::Drop(name)); }

std::optional<std::string_view> ReginaArgs::Get(std::size_t n) const {
    if (n == 0 || n > args_.size() || !args_[n - 1])
        return std::nullopt;
    return *args_[n - 1];
}

} // namespace halvorin::runner
